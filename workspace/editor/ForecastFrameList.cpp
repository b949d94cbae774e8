// The list grid of the editor: the header, the group's "Всего" and balancing rows and the rows of
// its members, with the filter conditions applied while loading.
#include "ForecastFrame.h"

#include "AppMessage.h"
#include "ColumnWidths.h"
#include "EditorColumns.h"
#include "EditorTexts.h"
#include "ForecastNumbers.h"
#include "Session.h"
#include "SplitterWndEx.h"
#include "WaitCursor.h"
#include "tables/PriceChecks.h"
#include "tables/TotalForecasts.h"

#include <algorithm>

using namespace EditorColumns;
using namespace EditorTexts;

namespace {

constexpr int kListColumns = 13;
constexpr int kListFixedRows = 2;
constexpr int kListFixedColumns = 3;
// The usual widths: a product's name, a unit's name, a sum in millions and each caption fit.
constexpr int kListWidths[kListColumns] = {70, 260, 110, 100, 100, 100, 100, 100, 100, 100, 100, 150, 150};
// The rows whose texts the fitted columns hold.
constexpr int kFitRows = 2000;
constexpr int kFirstValueColumn = kListFirstValueColumn;
constexpr int kJustificationColumn = 11;
constexpr int kCommentColumn = 12;
// Data word 2 of column 0: which row of a product.
constexpr quint32 kQuantityRow = 1;
constexpr quint32 kSumRow = 2;

// The mark of one year of a row: 0 none, 1 sum or quantity missing, 2 price out of bounds.
int YearMark(const CProductRecord& product, const CPriceRecord* price, CUnitPairCache& units,
             const CForecastRowFields& row, int year)
{
    int sumResult = 0, quantityResult = 0;
    CheckRowPrice(product, price, units.Koef(product.measurementPrice, product.measurementPrice2),
                  units.Koef(product.measurementNatural, product.measurementNatural2), (row.*kSums[year]).toDouble(),
                  (row.*kValues[year]).toDouble(), year, sumResult, quantityResult);
    if (sumResult == ROW_PRICE_WRONG)
        return 2;
    return sumResult == ROW_PRICE_MISSING || quantityResult == ROW_PRICE_MISSING ? 1 : 0;
}

void MarkReadOnly(CGridView& grid, int row, int col)
{
    grid.SetItemState(row, col, grid.GetItemState(row, col) | GVIS_READONLY);
}

// A value cell: a figure too wide for its column shows "###", never a part of it.
void MarkValueCell(CGridView& grid, int row, int col)
{
    MarkReadOnly(grid, row, col);
    grid.SetItemFormat(row, col, grid.GetItemFormat(row, col) | GVF_FIGURE);
}

// Header cells are never edited.
void MarkFixedCells(CGridView& grid)
{
    for (int r = 0; r < grid.GetRowCount(); ++r)
        for (int c = 0; c < grid.GetColumnCount(); ++c)
            if (r < grid.GetFixedRowCount() || c < grid.GetFixedColumnCount())
                MarkReadOnly(grid, r, c);
}

} // namespace

int CForecastFrame::FocusProductId() const
{
    const CCellID focus = m_list->GetFocusCell();
    return focus.row >= 0 ? int(m_list->GetItemData(focus.row, 0)) : -1;
}

QColor CForecastFrame::FixedBk() const
{
    return m_list->Settings().fixedBkColour;
}

void CForecastFrame::ReloadList()
{
    if (m_receiverId == 0)
        LoadTotalList();
    else
        LoadReceiverList();
}

void CForecastFrame::LoadReceiverList()
{
    LoadList();
}

void CForecastFrame::LoadTotalList()
{
    LoadList();
}

void CForecastFrame::ClearList()
{
    if (m_listWidths.empty())
        m_listWidths = UserWidths(m_nested->ProfilePath(kListColumnsValue), kListWidths, kListColumns);
    // The widths stay while the rows change; the fit follows the new rows.
    std::vector<int> widths = m_listWidths;
    if (m_list->GetColumnCount() == kListColumns)
        for (int c = 0; c < kListColumns; ++c)
            widths[size_t(c)] = m_list->GetColumnWidth(c);
    m_list->DeleteAllItems();
    m_list->SetColumnCount(kListColumns);
    m_list->SetRowCount(kListFixedRows + 1);
    m_list->SetFixedRowCount(kListFixedRows);
    m_list->SetFixedColumnCount(kListFixedColumns);
    for (int c = 0; c < kListColumns; ++c)
        m_list->SetColumnWidth(c, widths[size_t(c)] >= 0 ? widths[size_t(c)] : kListWidths[c]);
    m_totalRow = kListFixedRows;
    m_balanceRow = kListFixedRows;
    m_rowList.clear();
    m_data.reset();
    MarkFixedCells(*m_list);
}

void CForecastFrame::LoadList()
{
    CWaitCursor wait;
    // The rows shown may change (a filter): the card keeps no product of the old list.
    ClearCard();
    m_cardProduct = -1;
    m_cardView = {};
    ClearList();
    m_units.Reset();
    if (m_receiverId < 0) {
        m_list->UpdateScrollBars();
        m_list->viewport()->update();
        return;
    }
    const int groupId = GetSelectedGroupId();
    auto data = groupId > 0 ? LoadGroupListData(m_session.currentForecastId, m_receiverId, groupId) : std::nullopt;
    if (!data) {
        if (groupId > 0 && isVisible())
            AppMessageBox(kProductReadError, MB_ICONHAND, this);
        m_list->viewport()->update();
        return;
    }
    UpdateReadOnly();
    const CForecastRowFields* groupRow = data->groupRow ? &*data->groupRow : nullptr;
    BuildListHeader(data->group, groupRow);
    AddProductRows(*data);
    m_balanceRow = data->group.type == kGroupSumOfMembers ? -1 : m_list->GetRowCount();
    MarkTotalRows(data->group);
    ShowTotalRowValues(groupRow);
    MarkFixedCells(*m_list);
    m_data = std::make_unique<CGroupListData>(std::move(*data));
    FitListColumns();
    m_list->viewport()->update();
}

void CForecastFrame::FitListColumns()
{
    CGridView& g = *m_list;
    if (g.GetColumnCount() != kListColumns || m_listWidths.size() != size_t(kListColumns))
        return;
    const int last = std::min(g.GetRowCount(), kFitRows) - 1;
    const auto fit = [&](int c) {
        return CColumnFit{g.ColumnContentWidth(c, 0, kListFixedRows - 1), g.ColumnContentWidth(c, 0, last),
                          kListWidths[c]};
    };
    const int room = g.viewport()->width();
    // The frozen columns leave room for the first two years beside them.
    FitGridColumns(g, m_listWidths, 0, kListFixedColumns - 1,
                   room - kListWidths[kFirstValueColumn] - kListWidths[kFirstValueColumn + 1], fit);
    // A scrolled column is never wider than the room beside the frozen ones.
    const int scrolled = std::max(0, room - g.GetFixedColumnWidth());
    for (int c = kListFixedColumns; c < kListColumns; ++c) {
        const int user = m_listWidths[size_t(c)];
        g.SetColumnWidth(c, user >= 0 ? user : FitColumnWidths({fit(c)}, scrolled).front());
    }
    g.UpdateScrollBars();
    g.viewport()->update();
}

void CForecastFrame::RefitListForRows(std::initializer_list<int> rows)
{
    const CGridView& g = *m_list;
    for (int row : rows)
        for (int c = kFirstValueColumn; row >= kListFixedRows && row < g.GetRowCount() && c < kJustificationColumn; ++c)
            if (g.GetShownText(row, c) != g.GetItemText(row, c)) {
                FitListColumns();
                return;
            }
}

void CForecastFrame::BuildListHeader(const CProductRecord& group, const CForecastRowFields* groupRow)
{
    CGridView& g = *m_list;
    for (int c = 0; c <= 4; ++c)
        g.SetItemRowSpan(0, c, 2);
    g.SetItemColSpan(0, 5, 6);
    for (int c = 0; c <= 5; ++c)
        g.SetItemFormat(0, c, DT_CENTER | DT_VCENTER);
    g.SetItemText(0, 0, kCode);
    g.SetItemText(0, 1, kProducts);
    g.SetItemText(0, 2, kUnit);
    if (const int year = m_session.forecastYear; year >= 0) {
        g.SetItemText(0, 3, QString::number(year - 2));
        g.SetItemText(0, 4, QString::number(year - 1));
        g.SetItemText(0, 5, QString::number(year));
    }
    g.SetItemText(0, kJustificationColumn, kJustification);
    g.SetItemText(0, kCommentColumn, kComment);
    for (int i = 0; i < 6; ++i)
        g.SetItemText(1, 5 + i, kYearParts[i]);
    g.SetItemText(m_totalRow, 1, group.name);
    if (groupRow)
        for (int year = 0; year < 3; ++year)
            g.SetItemText(m_totalRow, kFirstValueColumn + year, FormatAmount(groupRow->*kSums[year]));
}

void CForecastFrame::AddProductRows(const CGroupListData& data)
{
    struct Shown {
        const CProductRecord* product;
        const CForecastRowFields* row;
        int marks[3];
    };
    std::vector<Shown> shown;
    int rowsNeeded = 0;
    for (const CProductRecord& member : data.members) {
        Shown s{&member, data.Row(member.id), {0, 0, 0}};
        if (!s.row) {
            if (m_filter.NeedsRow())
                continue;
        } else {
            if (m_filter.onlyCommented && s.row->comment.isEmpty())
                continue;
            for (int year = 0; year < 3; ++year)
                s.marks[year] = YearMark(member, data.Price(member.id), m_units, *s.row, year);
            if (m_filter.onlyWrong && !s.marks[0] && !s.marks[1] && !s.marks[2])
                continue;
        }
        if (!m_filter.code.isEmpty() && !member.code.contains(m_filter.code))
            continue;
        if (!m_filter.name.isEmpty() && !member.name.contains(m_filter.name))
            continue;
        shown.push_back(s);
        rowsNeeded += member.IsGroup() ? 1 : 2;
    }

    CGridView& g = *m_list;
    int r = g.GetRowCount();
    g.SetRowCount(r + rowsNeeded);
    const QColor fixedBk = FixedBk();
    for (const Shown& s : shown) {
        const CProductRecord& p = *s.product;
        const bool group = p.IsGroup();
        const int first = r;
        const int last = group ? r : r + 1;
        g.SetItemText(first, 0, p.code.isEmpty() ? QStringLiteral(" ") : p.code);
        g.SetItemData(first, 0, quint32(p.id), group ? kSumRow : kQuantityRow);
        g.SetItemText(first, 1, p.name);
        if (!group) {
            g.SetItemText(last, 0, QStringLiteral(" "));
            g.SetItemData(last, 0, quint32(p.id), kSumRow);
            g.SetItemText(first, 2, m_units.Name(p.measurementNatural).value_or(QString()));
            // A long name goes on over the product's second row.
            g.SetItemRowSpan(first, 1, 2);
            g.SetItemFormat(first, 1, DT_WORDBREAK);
            g.SetItemRowSpan(first, kJustificationColumn, 2);
            g.SetItemRowSpan(first, kCommentColumn, 2);
        }
        g.SetItemText(last, 2, m_units.Name(p.measurementPrice).value_or(QString()));
        m_rowList.push_back({p.id, (p.code + QStringLiteral(";") + p.name).toUpper()});
        for (int row = first; row <= last; ++row) {
            const bool sums = row == last;
            for (int i = 0; i < 8; ++i) {
                const int col = kFirstValueColumn + i;
                MarkValueCell(g, row, col);
                if (s.row)
                    g.SetItemText(row, col, FormatAmount(s.row->*(sums ? kSums : kValues)[i]));
                if (i < 3) {
                    const int mark = s.marks[i];
                    g.SetItemBkColour(row, col,
                                      mark == 1                     ? kMissing
                                          : mark == 2               ? kWrong
                                          : (!m_readOnly && !group) ? kUnmarked
                                                                    : fixedBk);
                }
            }
            MarkReadOnly(g, row, kJustificationColumn);
            MarkReadOnly(g, row, kCommentColumn);
        }
        if (s.row) {
            g.SetItemText(first, kJustificationColumn, s.row->base);
            g.SetItemText(first, kCommentColumn, s.row->comment);
        }
        r = last + 1;
    }
}

void CForecastFrame::MarkTotalRows(const CProductRecord& group)
{
    CGridView& g = *m_list;
    const QString unit = m_units.Name(group.measurementPrice).value_or(QString());
    const QColor fixedBk = FixedBk();
    const auto markValues = [&](int row, bool fixed) {
        for (int c = kFirstValueColumn; c < kListColumns; ++c) {
            if (c < kJustificationColumn)
                MarkValueCell(g, row, c);
            else
                MarkReadOnly(g, row, c);
            g.SetItemBkColour(row, c, fixed ? fixedBk : kUnmarked);
        }
    };
    g.SetItemText(m_totalRow, 0, kTotal);
    g.SetItemData(m_totalRow, 0, 0, kSumRow);
    g.SetItemData(m_totalRow, 1, 0, quint32(group.measurementPrice));
    g.SetItemText(m_totalRow, 2, unit);
    markValues(m_totalRow, group.type == 96 || group.type == kGroupSumOfMembers);
    if (m_balanceRow < 0)
        return;
    if (g.GetRowCount() <= m_balanceRow) {
        const int from = g.GetRowCount();
        g.SetRowCount(m_balanceRow + 1);
        for (int r = from; r <= m_balanceRow; ++r)
            g.SetItemText(r, 0, QStringLiteral(" "));
    }
    g.SetItemText(m_balanceRow, 1, group.balanceTitle);
    g.SetItemText(m_balanceRow, 2, unit);
    g.SetItemData(m_balanceRow, 0, quint32(group.id), 0);
    markValues(m_balanceRow, group.type == 112 || group.type == 1);
}

void CForecastFrame::ShowTotalRowValues(const CForecastRowFields* row)
{
    if (!row)
        return;
    CGridView& g = *m_list;
    for (int year = 0; year < 3; ++year)
        g.SetItemText(m_totalRow, kFirstValueColumn + year, FormatAmount(row->*kSums[year]));
    g.SetItemText(m_totalRow, kJustificationColumn, row->base);
    g.RedrawRow(m_totalRow);
    if (m_balanceRow <= 0)
        return;
    for (int year = 0; year < 3; ++year) {
        const Money balance = row->*kValues[year];
        const int col = kFirstValueColumn + year;
        g.SetItemText(m_balanceRow, col, FormatAmount(balance));
        g.SetItemBkColour(m_balanceRow, col, balance < Money() ? kWrong : FixedBk());
    }
    g.RedrawRow(m_balanceRow);
}

void CForecastFrame::RefreshTotalRows()
{
    CWaitCursor wait;
    const int forecast = m_session.currentForecastId;
    const int group = GetSelectedGroupId();
    if (m_receiverId > 0) {
        const CForecastDataRecord row = GetOrNewForecastData({forecast, m_receiverId, group});
        ShowTotalRowValues(&row);
    } else {
        CTotalForecastRecord row = GetOrCreateTotalForecast(forecast, group);
        ShowTotalRowValues(&row);
        static_cast<void>(SaveTotalForecast(row));
    }
}

void CForecastFrame::OnListSelChanged(int row, int column)
{
    if (row < 0 || column < 0)
        return;
    ShowProductCard(int(m_list->GetItemData(row, 0)));
}
