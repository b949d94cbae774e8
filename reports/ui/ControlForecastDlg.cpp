#include "ControlForecastDlg.h"

#include "AppMessage.h"
#include "Form7Dlg.h"
#include "Form9.h"
#include "tables/Forecasts.h"
#include "tables/Receivers.h"

#include <QCollator>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

using namespace ControlForecastTexts;

namespace {

QString ForecastText(const QString& name, int year)
{
    return QStringLiteral("%1 (%2 год)").arg(name).arg(year);
}

} // namespace

int CControlForecastDlg::Side::forecastId() const
{
    return forecasts->currentIndex() < 0 ? -1 : forecasts->currentData().toInt();
}

void CControlForecastDlg::BuildSide(Side& side, int row, int comboId, int editId, int summaryId, int receiversId,
                                    int chooseId, const QString& forecastLabel, const QString& receiverLabel)
{
    auto* grid = static_cast<QGridLayout*>(layout());
    side.forecasts = new QComboBox(this);
    side.forecasts->setObjectName(QStringLiteral("id%1").arg(comboId));
    side.edit = new QLineEdit(this);
    side.edit->setObjectName(QStringLiteral("id%1").arg(editId));
    side.edit->setReadOnly(true);
    // Each side's radio buttons exclude only each other.
    auto* radios = new QWidget(this);
    auto* radioRow = new QHBoxLayout(radios);
    radioRow->setContentsMargins(0, 0, 0, 0);
    side.summaryRadio = new QRadioButton(kSummary, radios);
    side.summaryRadio->setObjectName(QStringLiteral("id%1").arg(summaryId));
    side.receiversRadio = new QRadioButton(QStringLiteral("Получатели"), radios);
    side.receiversRadio->setObjectName(QStringLiteral("id%1").arg(receiversId));
    radioRow->addWidget(side.summaryRadio);
    radioRow->addWidget(side.receiversRadio);
    radioRow->addStretch();
    side.choose = new QPushButton(QStringLiteral("..."), this);
    side.choose->setObjectName(QStringLiteral("id%1").arg(chooseId));
    grid->addWidget(new QLabel(forecastLabel, this), row, 0);
    grid->addWidget(side.forecasts, row, 1, 1, 2);
    grid->addWidget(radios, row + 1, 1, 1, 2);
    grid->addWidget(new QLabel(receiverLabel, this), row + 2, 0);
    grid->addWidget(side.edit, row + 2, 1);
    grid->addWidget(side.choose, row + 2, 2);
    connect(side.summaryRadio, &QRadioButton::clicked, this, [this, &side] { OnSummary(side); });
    connect(side.receiversRadio, &QRadioButton::clicked, this, [this, &side] { OnReceivers(side); });
    connect(side.choose, &QPushButton::clicked, this, [this, &side] { OnChoose(side); });
}

CControlForecastDlg::CControlForecastDlg(int currentForecastId, QWidget* parent)
    : CReportDialog(parent)
{
    setWindowTitle(QStringLiteral("Параметры для \"Контрольный прогноз\""));
    auto* grid = new QGridLayout(this);
    BuildSide(first, 0, 1018, 1059, 1112, 1113, 1060, QStringLiteral("Прогноз 1:"), QStringLiteral("Получатель 1:"));
    BuildSide(second, 3, 1019, 1061, 1115, 1114, 1062, QStringLiteral("Прогноз 2:"), QStringLiteral("Получатель 2:"));
    m_divergence = new QLineEdit(QString::number(divergence), this);
    m_divergence->setObjectName(QStringLiteral("id1063"));
    grid->addWidget(new QLabel(QStringLiteral("Расхождение:"), this), 6, 0);
    grid->addWidget(m_divergence, 6, 1);
    grid->addWidget(new QLabel(QStringLiteral("%"), this), 6, 2);
    QPushButton* show = AddShowAndClose(this, grid, grid->rowCount());
    connect(show, &QPushButton::clicked, this, &CControlForecastDlg::OnOK);

    // Both lists: every forecast as "name (year год)" in Russian alphabetical order.
    struct Item {
        QString text;
        int id;
    };
    std::vector<Item> items;
    if (const auto forecasts = LoadForecasts())
        for (const CForecastRecord& f : *forecasts)
            items.push_back({ForecastText(f.name, f.year), f.id});
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return collator.compare(a.text, b.text) < 0; });
    bool current = false;
    for (Side* side : {&first, &second}) {
        for (const Item& item : items) {
            side->forecasts->addItem(item.text, item.id);
            if (item.id == currentForecastId) {
                side->forecasts->setCurrentIndex(side->forecasts->count() - 1);
                current = true;
            }
        }
        if (!current)
            side->forecasts->setCurrentIndex(-1);
        connect(side->forecasts, &QComboBox::currentIndexChanged, this, [this, side] { OnForecastChange(*side); });
    }
    if (current) {
        OnForecastChange(first);
        OnForecastChange(second);
    }
    Update();
    resize(560, sizeHint().height());
}

void CControlForecastDlg::Update()
{
    for (Side* side : {&first, &second}) {
        side->receiversRadio->setChecked(!side->summary);
        side->summaryRadio->setChecked(side->summary);
        side->choose->setEnabled(!side->summary);
        side->edit->setText(side->summary ? kSummary : side->receivers.text);
    }
}

void CControlForecastDlg::OnForecastChange(Side& side)
{
    side.receivers = {};
    const int forecastId = side.forecastId();
    if (GetForecast(forecastId))
        side.receivers = OwnReceiverChoice(forecastId);
    Update();
}

void CControlForecastDlg::OnReceivers(Side& side)
{
    side.receivers = {};
    const int forecastId = side.forecastId();
    if (!GetForecast(forecastId)) {
        side.edit->clear();
        return;
    }
    if (const auto root = GetForecastRootReceiver(forecastId))
        side.receivers = ChosenReceivers{{root->id}, root->name};
    side.summary = false;
    Update();
}

void CControlForecastDlg::OnSummary(Side& side)
{
    side.receivers = ChosenReceivers{{}, kSummary};
    side.summary = true;
    Update();
}

void CControlForecastDlg::OnChoose(Side& side)
{
    const int forecastId = side.forecastId();
    if (!GetForecast(forecastId)) {
        side.receivers.ids.clear();
        side.edit->clear();
        return;
    }
    if (auto chosen = ChooseForecastReceivers(this, forecastId, side.receivers.ids, 1)) {
        side.receivers = std::move(*chosen);
        side.edit->setText(side.receivers.text);
    }
}

bool CControlForecastDlg::StoreDivergence()
{
    const auto value = ReadWholeNumber(m_divergence, 0, 100, kBadDivergence);
    if (value)
        divergence = *value;
    return value.has_value();
}

void CControlForecastDlg::OnOK()
{
    if (!StoreDivergence())
        return;
    const int firstId = first.forecastId();
    const int secondId = second.forecastId();
    // A side on the consolidated forecast compares no receivers, whatever its list last held.
    const std::vector<int> a = first.summary ? std::vector<int>{} : first.receivers.ids;
    const std::vector<int> b = second.summary ? std::vector<int>{} : second.receivers.ids;
    if (firstId == secondId && a == b) {
        AppMessageBox(kSameChoice, MB_ICONASTERISK, this);
        return;
    }
    // An empty list would compare the consolidated forecast under a receivers caption.
    if ((!first.summary && a.empty()) || (!second.summary && b.empty())) {
        AppMessageBox(kNoReceivers, MB_ICONEXCLAMATION, this);
        return;
    }
    const int threshold = divergence;
    const QString textA = first.summary ? kSummary : first.receivers.text;
    const QString textB = second.summary ? kSummary : second.receivers.text;
    const QString nameA = ReportForecastName(firstId);
    const QString nameB = ReportForecastName(secondId);
    job().SetForecast(firstId == secondId ? nameA : nameA + QStringLiteral(" / ") + nameB);
    RunReport([=] { return BuildReportForm9(threshold, firstId, secondId, a, b); }, QStringLiteral("Form9.rpt"), kTitle,
              [&](int reportId) -> std::optional<QStringList> {
                  const auto one = GetForecast(firstId);
                  const auto two = GetForecast(secondId);
                  if (!one || !two) {
                      AppMessageBox(Form7Texts::kNoForecast, MB_ICONEXCLAMATION, this);
                      return std::nullopt;
                  }
                  return QStringList{QString::number(threshold),     QString::number(one->year),
                                     QString::number(reportId),      ForecastText(textA, one->year),
                                     ForecastText(textB, two->year), QString::number(two->year)};
              });
}
