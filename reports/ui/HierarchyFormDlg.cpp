#include "HierarchyFormDlg.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "ProductFormDlg.h"
#include "ReceiverSelectDlg.h"
#include "ReportForms.h"
#include "tables/Measurements.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace HierarchyFormTexts;

namespace {

QString UnitName(int id)
{
    const auto unit = GetMeasurement(id);
    return unit ? unit->name : QStringLiteral(" ");
}

} // namespace

CHierarchyFormDlg::CHierarchyFormDlg(Form form, const CSessionState& session, QWidget* parent)
    : CReportDialog(parent)
    , m_form(form)
    , m_forecastId(session.currentForecastId)
{
    setWindowTitle(form == FORM_2 ? QStringLiteral("Параметры для отчета \"Ф2. Средние цены закупок товаров\"")
                                  : QStringLiteral("Параметры для \"Ф4. Удельный вес объемов продукции\""));
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Получатель:"), this), 0, 0);
    m_receiversEdit = IdControl<QLineEdit>(this, 1059);
    m_receiversEdit->setReadOnly(true);
    grid->addWidget(m_receiversEdit, 0, 1, 1, 2);
    m_chooseReceivers = IdControl<QPushButton>(this, 1067, QStringLiteral("...."));
    grid->addWidget(m_chooseReceivers, 0, 3);
    auto* modes = new QButtonGroup(this);
    m_receiverRadio = IdControl<QRadioButton>(this, 1113, QStringLiteral("Получатель"));
    m_summaryRadio = IdControl<QRadioButton>(this, 1112, QStringLiteral("Сводный прогноз"));
    modes->addButton(m_receiverRadio);
    modes->addButton(m_summaryRadio);
    grid->addWidget(m_receiverRadio, 1, 1);
    grid->addWidget(m_summaryRadio, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Виды продукции:"), this), 2, 0);
    m_productEdit = IdControl<QLineEdit>(this, 1063);
    m_productEdit->setReadOnly(true);
    grid->addWidget(m_productEdit, 2, 1, 1, 2);
    auto* change = IdControl<QPushButton>(this, 1064, QStringLiteral("Изменить"));
    grid->addWidget(change, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Форма отчета:"), this), 3, 0);
    m_formCombo = IdControl<QComboBox>(this, 1018);
    grid->addWidget(m_formCombo, 3, 1, 1, 3);
    auto* buttons = new QHBoxLayout;
    auto* show = IdControl<QPushButton>(this, 1, QStringLiteral("Показать"));
    show->setDefault(true);
    auto* close = IdControl<QPushButton>(this, 2, QStringLiteral("Закрыть"));
    buttons->addStretch();
    buttons->addWidget(show);
    buttons->addWidget(close);
    grid->addLayout(buttons, 4, 0, 1, 4);

    connect(show, &QPushButton::clicked, this, &CHierarchyFormDlg::OnOK);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_receiverRadio, &QRadioButton::clicked, this, &CHierarchyFormDlg::OnReceiverMode);
    connect(m_summaryRadio, &QRadioButton::clicked, this, &CHierarchyFormDlg::OnSummaryMode);
    connect(m_chooseReceivers, &QPushButton::clicked, this, &CHierarchyFormDlg::OnChooseReceivers);
    connect(change, &QPushButton::clicked, this, &CHierarchyFormDlg::OnChooseProduct);

    if (const auto own = GetForecastReceiver(LoadImportedLeafReceivers(m_forecastId), m_forecastId)) {
        receiverIds = {own->id};
        receiversText = own->name;
        summary = 0;
    } else {
        summary = 1;
    }
    if (const auto top = GetRootProduct(m_forecastId))
        ShowProduct(top->id);
    if (form == FORM_2) {
        FillReportFormCombo(m_formCombo);
    } else {
        m_formCombo->addItems({kStateCustomers, kMunicipalCustomers});
        m_formCombo->setCurrentIndex(0);
    }
    UpdateControls();
}

void CHierarchyFormDlg::ShowProduct(int id)
{
    productId = id;
    const auto product = GetProduct(id, m_forecastId);
    m_productEdit->setText(product ? product->name : QString());
}

void CHierarchyFormDlg::UpdateControls()
{
    m_receiverRadio->setChecked(summary == 0);
    m_summaryRadio->setChecked(summary == 1);
    m_chooseReceivers->setEnabled(summary == 0);
    m_receiversEdit->setText(summary == 1 ? ProductFormTexts::kSummaryText : receiversText);
}

void CHierarchyFormDlg::OnReceiverMode()
{
    receiverIds.clear();
    receiversText.clear();
    if (const auto root = GetForecastRootReceiver(m_forecastId)) {
        receiverIds = {root->id};
        receiversText = root->name;
    }
    summary = 0;
    UpdateControls();
}

void CHierarchyFormDlg::OnSummaryMode()
{
    receiverIds.clear();
    receiversText = ProductFormTexts::kSummaryText;
    summary = 1;
    UpdateControls();
}

void CHierarchyFormDlg::OnChooseReceivers()
{
    ChooseReportReceivers(this, m_forecastId, receiverIds, receiversText);
    UpdateControls();
}

void CHierarchyFormDlg::OnChooseProduct()
{
    ReportReceiverSelectDlg dlg(m_forecastId, this, 0);
    if (dlg.DoModal() != QDialog::Accepted || dlg.selectedId <= 0)
        return;
    ShowProduct(dlg.selectedId);
}

void CHierarchyFormDlg::OnOK()
{
    if (receiverIds.empty() && summary == 0) {
        AppMessageBox(kNoReceivers, MB_ICONEXCLAMATION, this);
        return;
    }
    if (productId == -1) {
        AppMessageBox(kNoProduct, MB_ICONEXCLAMATION, this);
        return;
    }
    const auto forecast = GetForecast(m_forecastId);
    if (!forecast) {
        AppMessageBox(kForecastUnreadable, MB_ICONEXCLAMATION, this);
        return;
    }
    const auto product = GetProduct(productId, forecast->id);
    if (!product) {
        AppMessageBox(kProductUnreadable, MB_ICONEXCLAMATION, this);
        return;
    }
    const QString priceUnit = UnitName(product->measurementPrice);
    const QString naturalUnit = UnitName(product->measurementNatural);
    QString caption = product->IsGroup() && product->parent > 0 ? QStringLiteral("Группа ") + product->name
                                                                : product->name;
    if (m_form == FORM_2 && !product->code.isEmpty())
        caption = QStringLiteral("[%1] %2").arg(product->code, product->name);

    const int forecastId = forecast->id;
    const std::vector<int> receivers = receiverIds;
    const int chosenProduct = productId;
    const bool consolidated = summary == 1;
    const QString year = QString::number(forecast->year);
    const QString flag = consolidated ? QStringLiteral("1") : QStringLiteral("0");
    if (m_form == FORM_2) {
        lastReportId = RunReport(
            [=] { return BuildReportForm2(forecastId, receivers, chosenProduct, consolidated); },
            QStringLiteral("Form2.rpt"), QStringLiteral("Отчет Ф2. Средние цены закупок товаров"),
            [&](int reportId) -> std::optional<QStringList> {
                return QStringList{year,       QString::number(reportId),       caption, priceUnit,
                                   naturalUnit, ReportFormCaption(m_formCombo), flag};
            });
        return;
    }
    HierarchyFigures sums;
    lastReportId = RunReport(
        [&] { return BuildReportForm4(forecastId, receivers, chosenProduct, sums, consolidated); },
        QStringLiteral("Form4.rpt"), QStringLiteral("Отчет Ф4. Удельный вес объемов продукции"),
        [&](int reportId) -> std::optional<QStringList> {
            return QStringList{QString::number(reportId),
                               year,
                               caption,
                               priceUnit,
                               sums.sumLast.toInputText(),
                               sums.sumCurr.toInputText(),
                               sums.sumNext.toInputText(),
                               m_formCombo->currentIndex() == 0 ? kStateCustomers : kMunicipalCustomers,
                               flag};
        });
    totals = sums;
}

void RegisterHierarchyFormDialogs()
{
    RegisterReportDialog(ID_REPORT_FORM2, &RunReportFormDialog<CForm2a1Dlg>);
    RegisterReportDialog(ID_REPORT_FORM4, &RunReportFormDialog<CForm4Dlg>);
}
