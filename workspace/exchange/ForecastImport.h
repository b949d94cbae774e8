// Reading a forecast document that a subordinate organisation sent: the sender's rows go into this
// database in one transaction after the user agreed. Every outcome is shown to the user.
#pragma once

#include "ExchangeOpen.h"
#include "Session.h"

#include <QString>

class QWidget;

// `frame` is the parent of the messages (may be null). User-interface thread only.
ImportOutcome ImportForecastFile(CSessionState& session, QWidget* frame, const QString& path);

// The command "Получение прогноза...": the chosen files in turn, the event journal told after each.
void OnReceiveForecast(CSessionState& session, QWidget* frame);
