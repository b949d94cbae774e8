// Receiving the reference data ("НСИ") of a forecast that the organisation above sent: after the
// file checks and one question the file is stored (NsiFile.h) and the forecast becomes the current
// one. User-interface thread only.
#pragma once

#include "ExchangeOpen.h"
#include "ExchangeTexts.h"
#include "NsiFile.h"
#include "Session.h"

#include <QString>

class QWidget;

// An empty path only tells the event journal to reload.
ImportOutcome ImportNsiFile(CSessionState& session, QWidget* frame, const QString& path);

// The command "Получение НСИ...": one file from the import folder.
void OnReceiveNsi(CSessionState& session, QWidget* frame);
