#include "Form8Dlg.h"

#include "AppMessage.h"
#include "Form7Dlg.h"
#include "Form8.h"
#include "ReceiverChoice.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <climits>

using namespace Form8Texts;

CForm8Dlg::CForm8Dlg(const std::optional<CForecastRecord>& forecast, QWidget* parent)
    : CReportDialog(parent)
    , m_forecast(forecast)
{
    setWindowTitle(QStringLiteral("Параметры для \"Форма 8\""));
    auto* grid = new QGridLayout(this);
    m_edit = new QLineEdit(QString::number(limit), this);
    m_edit->setObjectName(QStringLiteral("id1060"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("id1018"));
    auto* prompt = new QLabel(
        QStringLiteral("Относительное изменение стоимостных показателей года прогноза к году оценки (в %):"), this);
    prompt->setWordWrap(true);
    grid->addWidget(prompt, 0, 0);
    grid->addWidget(m_edit, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Форма отчета:"), this), 1, 0);
    grid->addWidget(m_combo, 1, 1);
    QPushButton* show = AddShowAndClose(this, grid, grid->rowCount());
    connect(show, &QPushButton::clicked, this, &CForm8Dlg::OnOK);
    FillReportFormCombo(m_combo);
    resize(520, sizeHint().height());
}

bool CForm8Dlg::StoreLimit()
{
    const auto value = ReadWholeNumber(m_edit, 0, INT_MAX, kBadLimit);
    if (value)
        limit = *value;
    return value.has_value();
}

void CForm8Dlg::OnOK()
{
    if (!StoreLimit())
        return;
    if (!m_forecast) {
        AppMessageBox(Form7Texts::kNoForecast, MB_ICONEXCLAMATION, this);
        return;
    }
    const int forecastId = m_forecast->id;
    const int year = m_forecast->year;
    const Money money = Money::fromInt(limit);
    const QString caption = ReportFormCaption(m_combo);
    job().SetForecast(m_forecast->name);
    RunReport([forecastId, money] { return BuildReportForm8(forecastId, money); }, QStringLiteral("Form8.rpt"), kTitle,
              [&](int reportId) -> std::optional<QStringList> {
                  return QStringList{money.toInputText(), QString::number(year), caption, QString::number(reportId)};
              });
}
