// The parameters of form 8 (changes of the money figures by product): the limit in percent and the
// caption.
#pragma once

#include "ReportDialog.h"
#include "tables/Forecasts.h"

#include <optional>

class QLineEdit;

namespace Form8Texts {
inline const QString kTitle =
    QStringLiteral("Отчет Ф8. Сведения об изменениях стоимостных показателей по видам продукции");
inline const QString kBadLimit = QStringLiteral("Предел должен быть целым положительным числом.");
} // namespace Form8Texts

class CForm8Dlg : public CReportDialog {
    Q_OBJECT
public:
    CForm8Dlg(const std::optional<CForecastRecord>& forecast, QWidget* parent = nullptr);

    void OnOK();

    int limit = 0;

private:
    // Reads the limit back from its edit; false (told, the input kept) when it is no whole number >= 0.
    bool StoreLimit();

    std::optional<CForecastRecord> m_forecast;
    QLineEdit* m_edit;
    QComboBox* m_combo;
};
