// Receiving the reference data ("НСИ") of a forecast that the organisation above sent: after the
// file checks and one question the file is stored (NsiFile.h) and the forecast becomes the current
// one. User-interface thread only.
#pragma once

#include "NsiFile.h"
#include "Session.h"

#include <QString>

class QWidget;

namespace NsiTexts {
// %1 the sender's name, %2 the recipient's.
inline const QString kQuestion = QStringLiteral("Получен НСИ от \"%1\" для \"%2\".\r\n");
inline const QString kRepeated =
    QStringLiteral("Внимание! При повторной загрузке НСИ предыдущие данные могут быть потеряны!\r\nЗагрузить?");
inline const QString kLoad = QStringLiteral("Загрузить?");
inline const QString kLoaded = QStringLiteral("НСИ успешно загружен!");
inline const QString kFileFilter = QStringLiteral("Файлы XML (*.xml)");
} // namespace NsiTexts

// An empty path only tells the event journal to reload.
void ImportNsiFile(CSessionState& session, QWidget* frame, const QString& path);

// The command "Получение НСИ...": one file from the import folder.
void OnReceiveNsi(CSessionState& session, QWidget* frame);
