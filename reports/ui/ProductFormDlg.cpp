#include "ProductFormDlg.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "ProductForms.h"
#include "ReceiverSelectDlg.h"
#include "ReportProgress.h"
#include "tables/Products.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
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

CProductFormDlg::CProductFormDlg(Form form, const CSessionState& session,
                                 const std::optional<CForecastRecord>& forecast, QWidget* parent)
    : CReportDialog(parent)
    , m_form(form)
    , m_forecastId(forecast ? forecast->id : session.currentForecastId)
    , m_forecast(forecast)
{
    setWindowTitle(Text(kForms[form].windowTitle));
    auto* grid = new QGridLayout(this);
    receivers = new CReceiverChoiceControls(
        this, grid, 0,
        {QStringLiteral("Текущая организация:"), QStringLiteral("Получатели"), 1060, QStringLiteral("...")},
        m_forecastId, [this] { UpdateControls(); });

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

    connect(AddShowAndClose(this, grid, row), &QPushButton::clicked, this, &CProductFormDlg::OnOK);
    connect(m_chooseProducts, &QPushButton::clicked, this, &CProductFormDlg::OnChooseProducts);
    connect(m_includeEmpty, &QCheckBox::toggled, this, &CProductFormDlg::UpdateControls);

    // Whose data at the start: the installation's own receiver of the forecast (the list stays empty
    // without one); without a forecast, the consolidated forecast.
    if (m_forecast)
        receivers->StartWithOwnReceiver(false);
    else
        receivers->summary = 1;
    FillReportFormCombo(m_formCombo);
    UpdateControls();
}

void CProductFormDlg::UpdateControls()
{
    receivers->Update();
    // With empty rows shown a run covers every product anyway.
    m_chooseProducts->setEnabled(!m_includeEmpty->isChecked());
    if (m_form1Radio) {
        m_form1Radio->setChecked(formVariant != 0);
        m_form1aRadio->setChecked(formVariant == 0);
    }
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
        ReportStep(ReportStepTexts::kProductTree);
        if (!CollectProductTree(m_forecastId, depthMap, &productIds, nullptr))
            return -1;
    } else {
        depthMap.clear();
    }
    const std::vector<int> chosen = receivers->summary ? std::vector<int>{} : receivers->ids;
    switch (m_form) {
    case FORM_1:
        return BuildReportForm1(m_forecastId, chosen, productIds, depthMap, m_includeEmptyRows);
    case FORM_3:
        return BuildReportForm3(m_forecastId, chosen, productIds, m_includeEmptyRows);
    case FORM_5:
        return BuildReportForm5(m_forecastId, chosen, productIds, depthMap, m_includeEmptyRows);
    case FORM_6:
        return BuildReportForm6(m_forecastId, chosen, productIds, depthMap, m_includeEmptyRows);
    }
    return -1;
}

QStringList CProductFormDlg::Parameters(int reportId) const
{
    const QString names = receivers->summary ? QString() : JoinReceiverNames(m_forecastId, receivers->ids);
    const QString summary = Flag(receivers->summary == 1);
    const QString year = QString::number(m_forecast->year);
    const QString emptyRows = Flag(m_includeEmptyRows);
    const QString caption = ReportFormCaption(m_formCombo);
    const QString id = QString::number(reportId);
    const QString two = QStringLiteral("2");
    switch (m_form) {
    case FORM_1:
        return {names,     formVariant != 0 ? QStringLiteral("0") : QStringLiteral("1"),
                QString(), summary,
                year,      emptyRows,
                caption,   two,
                id};
    case FORM_3:
        return {QString(), summary, year, emptyRows, caption, two, id, names};
    case FORM_5:
        return {year, id, names, caption, summary, two};
    case FORM_6:
        return {names, QString(), summary, year, emptyRows, caption, two, id};
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
    if (receivers->ids.empty() && receivers->summary == 0) {
        AppMessageBox(kNoReceiver, MB_ICONEXCLAMATION, this);
        return;
    }
    job().SetForecast(m_forecast->name);
    lastReportId = RunReport([this] { return Build(); }, Text(kForms[m_form].file), Text(kForms[m_form].title),
                             [this](int reportId) -> std::optional<QStringList> {
                                 if (receivers->summary == 1)
                                     ShowSummaryNotice(this);
                                 return Parameters(reportId);
                             });
}
