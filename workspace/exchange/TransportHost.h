// The transport host thread: it hands the import folder to the chosen transport, runs that
// transport's receive loop on a thread of its own and serves what the loop hands over for the
// rest of the run. Log lines (code 8) are written on the host thread with its own connection.
// Everything that shows or stores an item (codes 1 to 4) runs on the user-interface thread, once
// the main window is shown and no modal dialog, transaction or long operation is open there, and
// is answered after it returns: an item that was taken or declined with 6 (a declined one also in the
// journal), one on which nothing was decided (its question closed as the program ends) with 9, so
// that the plug-in leaves it on its server. An error report's record and its two texts (code 4) are allocated
// with malloc by the plug-in and freed by the host after its message.
#pragma once

#include "ExchangeOpen.h"
#include "Session.h"
#include "TransportStart.h"

#include <QString>
#include <QStringList>

class QWidget;
struct CTransportChannel;

namespace HostTexts {
inline const QString kSkipped = QStringLiteral("Dll пропущена (всего пропущено %1)");
inline const QString kFound = QStringLiteral("Найдена dll, Прием %1");
inline const QString kOn = QStringLiteral("включен");
inline const QString kOff = QStringLiteral("выключен");
inline const QString kStarting = QStringLiteral("Информация для запуска потока готова, запускаю поток %1");
inline const QString kScanDone = QStringLiteral("Просмотр и запуск модулей завершен.");
inline const QString kWaiting = QStringLiteral("Ожидаю событие от транспортных модулей");
inline const QString kInfoReceived = QStringLiteral("Получено информационное сообщение");
// %1 the operation, %2 the message.
inline const QString kError = QStringLiteral("Error!!!!. Операция %1, Сообщение %2");
inline const QString kLog = QStringLiteral("Получена информация от транспортного модуля:\r\n%1");
inline const QString kJournalFailed = QStringLiteral("Ошибка при попытке записи в журнал операций");
inline const QString kSubjectTag = QStringLiteral("[InfoSubject:]");
// %1 the received file.
inline const QString kDeclined =
    QStringLiteral("Пользователь отказался загружать полученный файл %1; сообщение с ним удаляется с сервера");
} // namespace HostTexts

// The import of a received forecast file.
using ForecastFileImport = ImportOutcome (*)(CSessionState& session, QWidget* frame, const QString& path);

// Installs the host body over the application's session; the transport registry then starts it.
void InstallTransportHost(CSessionState& session, ForecastFileImport forecastImport);
// Asks the host thread and the receive threads it started to end, and waits for them at most
// `timeoutMs`; true when they have ended (or never ran).
bool StopTransportHost(int timeoutMs = 3000);

void TransportHostThread(TransportStartBlock* block);
void TransportReceiveThread(CTransportChannel* channel);
// One operation-journal line of type 1 (nothing while the journal is off).
void WriteTransportJournal(const QString& text, const QString& source);
// A plug-in's log as journal rows, each kLog with as many of its whole lines as a row holds; a line
// longer than that goes on over several rows.
QStringList TransportLogRows(const QString& log);

// The subject ("[InfoSubject:]" line, a later one wins) and the text (from the first line that does
// not begin with "[") of an information message; the text loses one trailing line end.
void ParseInfoText(const QString& info, QString* subject, QString* text);

// A received data file: a comment document goes to the comments import, any other to the forecast
// import.
ImportOutcome ImportReceivedDataFile(CSessionState& session, QWidget* frame, const QString& path);
