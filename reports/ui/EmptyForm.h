// The parameters of the blank form: one receiver for its heading, the product kinds (all of them until
// the user confirms a choice) and the caption.
#pragma once

#include "ReportDialog.h"
#include "Session.h"

#include <vector>

class QLineEdit;

namespace EmptyFormTexts {
inline const QString kTitle = QStringLiteral("Прогноз объемов продукции");
inline const QString kNoKinds = QStringLiteral("Невозможно сгенерировать отчет. Не заданы виды продукции.");
} // namespace EmptyFormTexts

class CEmptyForm : public CReportDialog {
    Q_OBJECT
public:
    explicit CEmptyForm(const CSessionState& session, QWidget* parent = nullptr);

    void OnChooseReceiver();
    void OnChooseKinds();
    void OnOK();

    bool kindsChosen = false;
    std::vector<int> productIds;
    int receiverId = -1;
    QString receiverName;

private:
    int m_forecastId;
    int m_year;
    QLineEdit* m_receiverEdit;
    QComboBox* m_combo;
};
