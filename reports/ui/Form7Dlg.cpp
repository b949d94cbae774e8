#include "Form7Dlg.h"

#include "AppMessage.h"
#include "Form7.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace Form7Texts;

CForm7Dlg::CForm7Dlg(const std::optional<CForecastRecord>& forecast, QWidget* parent)
    : CReportDialog(parent)
    , m_forecast(forecast)
{
    setWindowTitle(QStringLiteral("Параметры для \"%1\"").arg(kFormName));
    auto* grid = new QGridLayout(this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("id1059"));
    m_edit->setReadOnly(true);
    auto* change = new QPushButton(QStringLiteral("Изменить"), this);
    change->setObjectName(QStringLiteral("id1067"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("id1018"));
    grid->addWidget(new QLabel(QStringLiteral("Получатели:"), this), 0, 0);
    grid->addWidget(m_edit, 0, 1);
    grid->addWidget(change, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Форма отчета:"), this), 1, 0);
    grid->addWidget(m_combo, 1, 1, 1, 2);
    QPushButton* show = AddShowAndClose(this, grid, grid->rowCount());
    connect(change, &QPushButton::clicked, this, &CForm7Dlg::OnChange);
    connect(show, &QPushButton::clicked, this, &CForm7Dlg::OnOK);

    if (m_forecast)
        receivers = OwnReceiverChoice(m_forecast->id);
    m_edit->setText(receivers.text);
    FillReportFormCombo(m_combo);
    resize(520, sizeHint().height());
}

void CForm7Dlg::OnChange()
{
    const int forecastId = m_forecast ? m_forecast->id : -1;
    if (auto chosen = ChooseForecastReceivers(this, forecastId, receivers.ids, 2)) {
        receivers = std::move(*chosen);
        m_edit->setText(receivers.text);
    }
}

void CForm7Dlg::OnOK()
{
    if (!m_forecast) {
        AppMessageBox(kNoForecast, MB_ICONEXCLAMATION, this);
        return;
    }
    if (receivers.ids.empty()) {
        AppMessageBox(kNoReceiver, MB_ICONEXCLAMATION, this);
        return;
    }
    const CForecastRecord forecast = *m_forecast;
    const std::vector<int> ids = receivers.ids;
    const QString caption = ReportFormCaption(m_combo);
    job().SetForecast(forecast.name);
    RunReport([forecast, ids] { return BuildReportForm7(forecast.id, ids); }, QStringLiteral("Form7.rpt"), kFormName,
              [&](int reportId) -> std::optional<QStringList> {
                  const QString names = ReadChosenReceivers(forecast.id, ids).text;
                  return QStringList{names,   QStringLiteral("0"), QString::number(forecast.year),
                                     caption, QStringLiteral("2"), QString::number(reportId)};
              });
}
