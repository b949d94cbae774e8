// The parameters of form 7 (participants of the forecast): the chosen receivers and the caption.
#pragma once

#include "ReceiverChoice.h"
#include "ReportDialog.h"
#include "tables/Forecasts.h"

#include <optional>

class QLineEdit;

namespace Form7Texts {
inline const QString kFormName = QStringLiteral("Ф7. Отчет о количестве участников разработки прогноза");
inline const QString kNoForecast = QStringLiteral("Невозможно сгенерировать отчет. Неверно задан Прогноз.");
inline const QString kNoReceiver = QStringLiteral("Невозможно сгенерировать отчет. Не задан Получатель.");
} // namespace Form7Texts

class CForm7Dlg : public CReportDialog {
    Q_OBJECT
public:
    // forecast: the current forecast's record, none when it cannot be read.
    CForm7Dlg(const std::optional<CForecastRecord>& forecast, QWidget* parent = nullptr);

    void OnChange();
    void OnOK();

    ChosenReceivers receivers;

private:
    std::optional<CForecastRecord> m_forecast;
    QLineEdit* m_edit;
    QComboBox* m_combo;
};
