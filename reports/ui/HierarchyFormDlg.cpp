#include "HierarchyFormDlg.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "ReceiverSelectDlg.h"
#include "tables/Measurements.h"
#include "tables/Products.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
    receivers = new CReceiverChoiceControls(
        this, grid, 0, {QStringLiteral("Получатель:"), QStringLiteral("Получатель"), 1067, QStringLiteral("....")},
        m_forecastId, [this] { receivers->Update(); });
    grid->addWidget(new QLabel(QStringLiteral("Виды продукции:"), this), 2, 0);
    m_productEdit = IdControl<QLineEdit>(this, 1063);
    m_productEdit->setReadOnly(true);
    grid->addWidget(m_productEdit, 2, 1, 1, 2);
    auto* change = IdControl<QPushButton>(this, 1064, QStringLiteral("Изменить"));
    grid->addWidget(change, 2, 3);
    grid->addWidget(new QLabel(QStringLiteral("Форма отчета:"), this), 3, 0);
    m_formCombo = IdControl<QComboBox>(this, 1018);
    grid->addWidget(m_formCombo, 3, 1, 1, 3);
    connect(AddShowAndClose(this, grid, 4), &QPushButton::clicked, this, &CHierarchyFormDlg::OnOK);
    connect(change, &QPushButton::clicked, this, &CHierarchyFormDlg::OnChooseProduct);

    receivers->StartWithOwnReceiver(true);
    if (const auto top = GetRootProduct(m_forecastId))
        ShowProduct(top->id);
    if (form == FORM_2) {
        FillReportFormCombo(m_formCombo);
    } else {
        m_formCombo->addItems({kStateCustomers, kMunicipalCustomers});
        m_formCombo->setCurrentIndex(0);
    }
    receivers->Update();
}

void CHierarchyFormDlg::ShowProduct(int id)
{
    productId = id;
    const auto product = GetProduct(id, m_forecastId);
    m_productEdit->setText(product ? product->name : QString());
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
    if (receivers->ids.empty() && receivers->summary == 0) {
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
    QString caption =
        product->IsGroup() && product->parent > 0 ? QStringLiteral("Группа ") + product->name : product->name;
    if (m_form == FORM_2 && !product->code.isEmpty())
        caption = QStringLiteral("[%1] %2").arg(product->code, product->name);

    const int forecastId = forecast->id;
    job().SetForecast(forecast->name);
    const bool consolidated = receivers->summary == 1;
    const std::vector<int> chosen = consolidated ? std::vector<int>{} : receivers->ids;
    const int chosenProduct = productId;
    const QString year = QString::number(forecast->year);
    const QString flag = consolidated ? QStringLiteral("1") : QStringLiteral("0");
    if (m_form == FORM_2) {
        lastReportId = RunReport([=] { return BuildReportForm2(forecastId, chosen, chosenProduct, consolidated); },
                                 QStringLiteral("Form2.rpt"), QStringLiteral("Отчет Ф2. Средние цены закупок товаров"),
                                 [&](int reportId) -> std::optional<QStringList> {
                                     return QStringList{year,        QString::number(reportId),      caption, priceUnit,
                                                        naturalUnit, ReportFormCaption(m_formCombo), flag};
                                 });
        return;
    }
    HierarchyFigures sums;
    lastReportId =
        RunReport([&] { return BuildReportForm4(forecastId, chosen, chosenProduct, sums, consolidated); },
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
