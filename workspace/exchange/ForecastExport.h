// The forecast's export for the upper organisation after its check and consolidation
// (CExportDataDlg::SendForecast), and its texts.
#pragma once

#include "CheckLog.h"
#include "ExchangeTexts.h"
#include "TransportRegistry.h"

#include <QString>

class QWidget;

namespace ForecastExportTexts {
inline const QString kCheckQuestion =
    QStringLiteral("Информационное сообщение: Обнаружены неточности ввода прогнозных данных. Продолжить?");
inline const QString kBuildQuestion = QStringLiteral("Сформировать сводный прогноз?");
inline const QString kSaving = QStringLiteral("Сохранение прогноза...");
inline const QString kNoRecipient = QStringLiteral("\tНе найден получатель прогноза!");
// %1 the receiving organisation.
inline const QString kNoEmail = QStringLiteral("Для %1 не задан E-Mail. Отправка невозможна.");
inline const QString kOwner = QStringLiteral("\tВы являетесь владельцем прогноза, отправка невозможна!");
inline const QString kEmpty = QStringLiteral("\tПрогноз пустой!");
inline const QString kNotGenerated = QStringLiteral(
    "\tСводный прогноз не сформирован: часть его строк создана полученными комментариями. Сформируйте сводный "
    "прогноз и повторите отправку.");
// The file and send steps say what every export says.
using ExportTexts::kFileExists;
using ExportTexts::kNoFileChosen;
using ExportTexts::kSaved;
using ExportTexts::kSaveFailed;
using ExportTexts::kTempSaveFailed;
inline const QString kDone = QStringLiteral("Прогноз успешно выгружен.");
inline const QString kFailed = QStringLiteral("\tОшибка сохранения прогноза!");
inline const QString kSendFailed = QStringLiteral("\tОшибка отправки прогноза!");
inline const QString kJournalComment = QStringLiteral("Прогноз");
inline const QString kNoName = QStringLiteral("Noname");
using ExportTexts::kFileTransport;
using ExportTexts::kMailTransport;
} // namespace ForecastExportTexts

enum class ForecastExport {
    Done,
    Failed,     // an abort before anything was sent; its reason was logged
    SendFailed, // written, but the transport did not take it; the causes were logged
    // Nothing to send (nothing is written then): the consolidated forecast holds no row, or rows that
    // a received comment made and no consolidation has filled since (their zeros would overwrite the
    // figures of the organisation above).
    Empty,
};

// Writes the consolidated forecast for the upper organisation into the export folder, or hands it to
// the chosen transport; `parent` is the parent of the save dialog.
ForecastExport ExportConsolidatedForecast(CCheckLog& log, QWidget* parent, int forecast, int ownReceiverId,
                                          const CTransportList& transports);
