#include "EmptyForm.h"

#include "AppMessage.h"
#include "ProductReport.h"
#include "ReceiverChoice.h"
#include "ReceiverSelectDlg.h"
#include "tables/Forecasts.h"
#include "tables/Receivers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace EmptyFormTexts;

CEmptyForm::CEmptyForm(const CSessionState& session, QWidget* parent)
    : CReportDialog(parent)
    , m_forecastId(session.currentForecastId)
    , m_year(session.forecastYear)
{
    setWindowTitle(QStringLiteral("Параметры для пустографки"));
    auto* grid = new QGridLayout(this);
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("id1018"));
    m_receiverEdit = new QLineEdit(this);
    m_receiverEdit->setObjectName(QStringLiteral("id1059"));
    m_receiverEdit->setReadOnly(true);
    auto* chooseReceiver = new QPushButton(QStringLiteral("Выбрать"), this);
    chooseReceiver->setObjectName(QStringLiteral("id1060"));
    auto* chooseKinds = new QPushButton(QStringLiteral("Включить в прогноз"), this);
    chooseKinds->setObjectName(QStringLiteral("id1147"));
    grid->addWidget(new QLabel(QStringLiteral("Прогноз:"), this), 0, 0);
    grid->addWidget(m_combo, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Получатель:"), this), 1, 0);
    grid->addWidget(m_receiverEdit, 1, 1);
    grid->addWidget(chooseReceiver, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Виды продукции:"), this), 2, 0);
    grid->addWidget(chooseKinds, 2, 1, 1, 2);
    QPushButton* show = AddShowAndClose(this, grid, grid->rowCount());
    connect(chooseReceiver, &QPushButton::clicked, this, &CEmptyForm::OnChooseReceiver);
    connect(chooseKinds, &QPushButton::clicked, this, &CEmptyForm::OnChooseKinds);
    connect(show, &QPushButton::clicked, this, &CEmptyForm::OnOK);
    FillReportFormCombo(m_combo);
    resize(520, sizeHint().height());
}

void CEmptyForm::OnChooseReceiver()
{
    if (!GetForecast(m_forecastId)) {
        receiverId = -1;
        receiverName.clear();
        m_receiverEdit->clear();
        return;
    }
    ReceiverSelectDlg dlg(m_forecastId, true, true, 0, this);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    const auto receiver =
        dlg.resultIds.empty() ? std::nullopt : GetForecastReceiver(dlg.resultIds.front(), m_forecastId);
    receiverId = receiver ? receiver->id : -1;
    receiverName = receiver ? receiver->name : QString();
    m_receiverEdit->setText(receiverName);
}

void CEmptyForm::OnChooseKinds()
{
    ReportReceiverSelectDlg dlg(m_forecastId, this, 2);
    dlg.resultIds = productIds;
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    productIds = dlg.resultIds;
    kindsChosen = true;
}

void CEmptyForm::OnOK()
{
    if (kindsChosen && productIds.empty()) {
        AppMessageBox(kNoKinds, MB_ICONEXCLAMATION, this);
        return;
    }
    const int forecastId = m_forecastId;
    const std::vector<int> ids = productIds;
    const int receiver = receiverId;
    const int all = kindsChosen ? 0 : 1;
    const QString caption = ReportFormCaption(m_combo);
    job().SetForecast(ReportForecastName(forecastId));
    RunReport([=] { return BuildProductReport(forecastId, ids, receiver, all); }, QStringLiteral("Empty.rpt"), kTitle,
              [&](int reportId) -> std::optional<QStringList> {
                  return QStringList{QString::number(m_year), caption, QString::number(reportId), receiverName};
              });
}
