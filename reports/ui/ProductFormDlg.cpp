#include "ProductFormDlg.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "ProductForms.h"
#include "ReceiverSelectDlg.h"
#include "ReportForms.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace ProductFormTexts;

namespace {

struct ProductFormInfo {
    const char16_t* windowTitle;
    const char16_t* file;
    const char16_t* title;
};

const ProductFormInfo kForms[] = {
    {u"Параметры для отчетов \"Ф1 и Ф1-а. Прогноз объемов закупаемой продукции\"", u"Form1.rpt",
     u"Форма 1. Прогноз объемов продукции"},
    {u"Параметры для отчета \"Ф3. Отчет по детализации данных с точки зрения методик обоснования\"", u"Form3.rpt",
     u"Форма 3. Отчет по детализации прогнозных данных с точки зрения методик обоснования"},
    {u"Параметры для отчета \"Ф5. Динамика объемов и цен продукции\"", u"Form5.rpt",
     u"Форма 5. Динамика объемов и цен продукции"},
    {u"Параметры для отчета \"Ф6. Структура продукции\"", u"Form6.rpt", u"Форма 6. Структура продукции"},
};

QString Text(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString Flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString JoinReceiverNames(int forecastId, const std::vector<int>& ids, std::vector<int>* kept)
{
    QStringList names;
    std::vector<int> found;
    for (int id : ids) {
        if (const auto rec = GetForecastReceiver(id, forecastId)) {
            names << rec->name;
            found.push_back(id);
        }
    }
    if (kept)
        *kept = std::move(found);
    return names.join(QStringLiteral("; "));
}

bool ChooseReportReceivers(QWidget* parent, int forecastId, std::vector<int>& ids, QString& names)
{
    ReceiverSelectDlg dlg(forecastId, true, true, 1, parent);
    dlg.resultIds = ids;
    if (dlg.DoModal() != QDialog::Accepted)
        return false;
    names = JoinReceiverNames(forecastId, dlg.resultIds, &ids);
    return true;
}

CProductFormDlg::CProductFormDlg(Form form, const CSessionState& session,
                                 const std::optional<CForecastRecord>& forecast, QWidget* parent)
    : CReportDialog(parent)
    , m_form(form)
    , m_forecastId(forecast ? forecast->id : session.currentForecastId)
    , m_forecast(forecast)
{
    setWindowTitle(Text(kForms[form].windowTitle));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Текущая организация:"), this), 0, 0);
    m_receiverEdit = IdControl<QLineEdit>(this, 1059);
    m_receiverEdit->setReadOnly(true);
    grid->addWidget(m_receiverEdit, 0, 1, 1, 2);
    m_chooseReceivers = IdControl<QPushButton>(this, 1060, QStringLiteral("..."));
    grid->addWidget(m_chooseReceivers, 0, 3);

    auto* modes = new QButtonGroup(this);
    m_receiversRadio = IdControl<QRadioButton>(this, 1113, QStringLiteral("Получатели"));
    m_summaryRadio = IdControl<QRadioButton>(this, 1112, QStringLiteral("Сводный прогноз"));
    modes->addButton(m_receiversRadio);
    modes->addButton(m_summaryRadio);
    grid->addWidget(m_receiversRadio, 1, 1);
    grid->addWidget(m_summaryRadio, 1, 2);

    grid->addWidget(new QLabel(QStringLiteral("Форма отчета:"), this), 2, 0);
    m_formCombo = IdControl<QComboBox>(this, 1018);
    grid->addWidget(m_formCombo, 2, 1, 1, 3);

    int row = 3;
    if (form == FORM_1) {
        auto* variants = new QButtonGroup(this);
        m_form1Radio = IdControl<QRadioButton>(this, 1145, QStringLiteral("Форма 1"));
        m_form1aRadio = IdControl<QRadioButton>(this, 1146, QStringLiteral("Форма 1-а"));
        variants->addButton(m_form1Radio);
        variants->addButton(m_form1aRadio);
        grid->addWidget(m_form1Radio, row, 1);
        grid->addWidget(m_form1aRadio, row, 2);
        ++row;
        connect(m_form1Radio, &QRadioButton::clicked, this, [this] {
            formVariant = 1;
            UpdateControls();
        });
        connect(m_form1aRadio, &QRadioButton::clicked, this, [this] {
            formVariant = 0;
            UpdateControls();
        });
    }
    m_chooseProducts = IdControl<QPushButton>(this, 1147, QStringLiteral("Включить в отчет"));
    m_includeEmpty = IdControl<QCheckBox>(this, 1087, QStringLiteral("Показать отчет, включая незаполненные строки"));
    grid->addWidget(m_chooseProducts, row, 0);
    grid->addWidget(m_includeEmpty, row, 1, 1, 3);
    ++row;

    auto* buttons = new QHBoxLayout;
    auto* show = IdControl<QPushButton>(this, 1, QStringLiteral("Показать"));
    show->setDefault(true);
    auto* close = IdControl<QPushButton>(this, 2, QStringLiteral("Закрыть"));
    buttons->addStretch();
    buttons->addWidget(show);
    buttons->addWidget(close);
    grid->addLayout(buttons, row, 0, 1, 4);

    connect(show, &QPushButton::clicked, this, &CProductFormDlg::OnOK);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_chooseReceivers, &QPushButton::clicked, this, &CProductFormDlg::OnChooseReceivers);
    connect(m_receiversRadio, &QRadioButton::clicked, this, &CProductFormDlg::OnReceiversMode);
    connect(m_summaryRadio, &QRadioButton::clicked, this, &CProductFormDlg::OnSummaryMode);
    connect(m_chooseProducts, &QPushButton::clicked, this, &CProductFormDlg::OnChooseProducts);
    connect(m_includeEmpty, &QCheckBox::toggled, this, &CProductFormDlg::UpdateControls);

    // Whose data at the start: the installation's own receiver of the forecast (the list stays empty
    // without one); without a forecast, the consolidated forecast.
    if (m_forecast) {
        if (const auto own = GetForecastReceiver(LoadImportedLeafReceivers(m_forecastId), m_forecastId)) {
            receiverIds = {own->id};
            receiverNames = own->name;
        }
        summaryMode = 0;
    } else {
        summaryMode = 1;
    }
    FillReportFormCombo(m_formCombo);
    UpdateControls();
}

void CProductFormDlg::UpdateControls()
{
    m_receiversRadio->setChecked(summaryMode == 0);
    m_summaryRadio->setChecked(summaryMode == 1);
    m_chooseReceivers->setEnabled(summaryMode == 0);
    // With empty rows shown a run covers every product anyway.
    m_chooseProducts->setEnabled(!m_includeEmpty->isChecked());
    if (m_form1Radio) {
        m_form1Radio->setChecked(formVariant != 0);
        m_form1aRadio->setChecked(formVariant == 0);
    }
    m_receiverEdit->setText(summaryMode == 1 ? kSummaryText : receiverNames);
}

void CProductFormDlg::OnReceiversMode()
{
    receiverIds.clear();
    receiverNames.clear();
    if (const auto root = GetForecastRootReceiver(m_forecastId)) {
        receiverIds = {root->id};
        receiverNames = root->name;
    }
    summaryMode = 0;
    UpdateControls();
}

void CProductFormDlg::OnSummaryMode()
{
    receiverIds.clear();
    receiverNames = kSummaryText;
    summaryMode = 1;
    UpdateControls();
}

void CProductFormDlg::OnChooseReceivers()
{
    if (!m_forecast) {
        m_receiverEdit->clear();
        receiverIds.clear();
        receiverNames.clear();
        return;
    }
    ChooseReportReceivers(this, m_forecastId, receiverIds, receiverNames);
    UpdateControls();
}

void CProductFormDlg::OnChooseProducts()
{
    ReportReceiverSelectDlg dlg(m_forecastId, this, 2);
    dlg.resultIds = productIds;
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    productIds = dlg.resultIds;
    productsChosen = 1;
}

int CProductFormDlg::Build()
{
    // Without a confirmed choice, or with empty rows shown, the run covers the whole product tree; the
    // refilled list and its depths become the dialog's own.
    if (m_includeEmptyRows || productsChosen == 0) {
        if (!CollectProductTree(m_forecastId, depthMap, &productIds, nullptr))
            return -1;
    } else {
        depthMap.clear();
    }
    const std::vector<int> receivers = summaryMode ? std::vector<int>{} : receiverIds;
    switch (m_form) {
    case FORM_1:
        return BuildReportForm1(m_forecastId, receivers, productIds, depthMap, m_includeEmptyRows);
    case FORM_3:
        return BuildReportForm3(m_forecastId, receivers, productIds, m_includeEmptyRows);
    case FORM_5:
        return BuildReportForm5(m_forecastId, receivers, productIds, depthMap, m_includeEmptyRows);
    case FORM_6:
        return BuildReportForm6(m_forecastId, receivers, productIds, depthMap, m_includeEmptyRows);
    }
    return -1;
}

QStringList CProductFormDlg::Parameters(int reportId) const
{
    const QString receivers = summaryMode ? QString() : JoinReceiverNames(m_forecastId, receiverIds);
    const QString summary = Flag(summaryMode == 1);
    const QString year = QString::number(m_forecast->year);
    const QString emptyRows = Flag(m_includeEmptyRows);
    const QString caption = ReportFormCaption(m_formCombo);
    const QString id = QString::number(reportId);
    const QString two = QStringLiteral("2");
    switch (m_form) {
    case FORM_1:
        return {receivers, formVariant != 0 ? QStringLiteral("0") : QStringLiteral("1"),
                QString(), summary, year, emptyRows, caption, two, id};
    case FORM_3:
        return {QString(), summary, year, emptyRows, caption, two, id, receivers};
    case FORM_5:
        return {year, id, receivers, caption, summary, two};
    case FORM_6:
        return {receivers, QString(), summary, year, emptyRows, caption, two, id};
    }
    return {};
}

void CProductFormDlg::OnOK()
{
    m_includeEmptyRows = m_includeEmpty->isChecked();
    if (!m_forecast) {
        AppMessageBox(kNoForecast, MB_ICONEXCLAMATION, this);
        return;
    }
    if (receiverIds.empty() && summaryMode == 0) {
        AppMessageBox(kNoReceiver, MB_ICONEXCLAMATION, this);
        return;
    }
    lastReportId = RunReport([this] { return Build(); }, Text(kForms[m_form].file), Text(kForms[m_form].title),
                             [this](int reportId) -> std::optional<QStringList> {
                                 if (summaryMode == 1)
                                     ShowSummaryNotice(this);
                                 return Parameters(reportId);
                             });
}

void RegisterProductFormDialogs()
{
    RegisterReportDialog(ID_REPORT_FORM1, &RunReportFormDialog<CReportForm1Dlg>);
    RegisterReportDialog(ID_REPORT_FORM3, &RunReportFormDialog<CReportForm3Dlg>);
    RegisterReportDialog(ID_REPORT_FORM5, &RunReportFormDialog<CReportForm5Dlg>);
    RegisterReportDialog(ID_REPORT_FORM6, &RunReportFormDialog<CReportForm6Dlg>);
}
