#include "AvPricesDlg.h"

#include "ForecastDialogs.h"

#include "BookDialogs.h"
#include "ModalHook.h"
#include "Money.h"
#include "tables/Forecasts.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

using namespace AvPriceTexts;

namespace {

const struct {
    const char16_t* caption;
    int width;
} kColumns[] = {{u"Код", 60},
                {u"Наименование", 150},
                {u"Отчет минимальная", 150},
                {u"Отчет максимальная", 150},
                {u"Отчет средняя", 100},
                {u"Оценка минимальная", 150},
                {u"Оценка максимальная", 150},
                {u"Оценка средняя", 100},
                {u"Прогноз минимальная", 150},
                {u"Прогноз максимальная", 150},
                {u"Прогноз средняя", 100}};

// The forecasts to take prices from; none on Cancel.
std::optional<std::vector<int>> ChooseForecasts(QWidget* parent)
{
    CSelectMultiForecast dlg(parent);
    if (dlg.DoModal() != QDialog::Accepted)
        return std::nullopt;
    return dlg.selectedIds;
}

} // namespace

QString AvPriceText(double value)
{
    // Rounded as the six-decimal text reads, not as the binary value lies: 0.00015 gives 0.0002.
    bool ok = false;
    const qlonglong micro = QString::number(value, 'f', 6).remove(u'.').toLongLong(&ok);
    if (!ok || !std::isfinite(value))
        return QString();
    qlonglong units = micro / 100;
    const qlonglong rest = std::abs(micro % 100);
    if (rest > 50 || (rest == 50 && units % 2 != 0))
        units += micro < 0 ? -1 : 1;
    return Money::fromRaw(units).toXmlText();
}

CAvPricesDlg::CAvPricesDlg(const CAvPriceList& rows, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id196"));
    setWindowTitle(kCaption);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("id1074"));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(int(std::size(kColumns)));
    QStringList captions;
    for (const auto& c : kColumns)
        captions << QString::fromUtf16(c.caption);
    m_list->setHeaderLabels(captions);
    for (int i = 0; i < int(std::size(kColumns)); ++i)
        m_list->header()->resizeSection(i, kColumns[i].width);
    for (const CAvPriceRow& row : rows)
        AddRow(row, -1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(OkCancelButtons(this));
    resize(900, 400);
}

void CAvPricesDlg::AddRow(const CAvPriceRow& row, int index)
{
    QTreeWidgetItem* item =
        index >= 0 && index < m_list->topLevelItemCount() ? m_list->topLevelItem(index) : new QTreeWidgetItem(m_list);
    item->setText(0, row.code);
    item->setText(1, row.name);
    for (size_t i = 0; i < row.values.size(); ++i)
        item->setText(int(i) + 2, AvPriceText(row.values[i]));
    item->setData(0, Qt::UserRole, row.productId);
}

void ImportAveragePrices(QWidget* parent, const CSessionState& session)
{
    const auto sources = ChooseForecasts(parent);
    if (!sources || sources->empty())
        return;
    const auto rows = CollectAveragePrices(session.currentForecastId, *sources);
    if (!rows)
        return;
    CAvPricesDlg dlg(*rows, parent);
    if (ExecModal(dlg) != QDialog::Accepted)
        return;
    static_cast<void>(ApplyAveragePrices(session.currentForecastId, *rows));
}
