// The parameters of form 9, the control forecast: two forecasts, for each side its consolidated
// forecast or chosen receivers, and the divergence in percent.
#pragma once

#include "ReceiverChoice.h"
#include "ReportDialog.h"

class QLineEdit;
class QRadioButton;

namespace ControlForecastTexts {
inline const QString kTitle = QStringLiteral("Внутренняя аналитическая форма сравнения двух прогнозов");
inline const QString kSummary = QStringLiteral("Сводный прогноз");
inline const QString kBadDivergence =
    QStringLiteral("Расхождение должно быть целым числом не больше 100 и не меньше 0.");
inline const QString kSameChoice = QStringLiteral("Выбранны одинаковые данные для сравнения.");
inline const QString kNoReceivers = QStringLiteral("Невозможно сгенерировать отчет. Не заданы получатели.");
} // namespace ControlForecastTexts

class CControlForecastDlg : public CReportDialog {
    Q_OBJECT
public:
    // currentForecastId: the forecast both lists start with.
    explicit CControlForecastDlg(int currentForecastId, QWidget* parent = nullptr);

    // One side of the comparison and its controls.
    struct Side {
        ChosenReceivers receivers;
        bool summary = false;
        QComboBox* forecasts = nullptr;
        QLineEdit* edit = nullptr;
        QRadioButton* summaryRadio = nullptr;
        QRadioButton* receiversRadio = nullptr;
        QPushButton* choose = nullptr;
        int forecastId() const;
    };

    void OnForecastChange(Side& side);
    void OnReceivers(Side& side);
    void OnSummary(Side& side);
    void OnChoose(Side& side);
    void OnOK();

    Side first;
    Side second;
    int divergence = 0;

private:
    void Update();
    bool StoreDivergence();
    void BuildSide(Side& side, int row, int comboId, int editId, int summaryId, int receiversId, int chooseId,
                   const QString& forecastLabel, const QString& receiverLabel);

    QLineEdit* m_divergence = nullptr;
};
