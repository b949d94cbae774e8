// The card grid of the editor: one product's quantities, sums, justification, prices, bounds,
// deflator and comment, which cells may be edited, the price marks, and the end of an edit.
#include "ForecastFrame.h"

#include "AppMessage.h"
#include "ColumnWidths.h"
#include "EditorColumns.h"
#include "EditorTexts.h"
#include "ForecastNumbers.h"
#include "RecalcRunner.h"
#include "Session.h"
#include "SplitterWndEx.h"
#include "tables/ForecastData.h"
#include "tables/PriceChecks.h"
#include "tables/Receivers.h"

#include <QFontMetrics>

#include <algorithm>

using namespace EditorColumns;
using namespace EditorTexts;

namespace {

constexpr int kCardSize = 10; // rows and columns
// The least widths; a caption that needs more gets it. The unit column holds a unit's name.
constexpr int kCardWidths[kCardSize] = {140, 100, 60, 60, 60, 60, 80, 60, 60, 60};
constexpr int kQuantityRow = 2;
constexpr int kSumRow = 3;
constexpr int kJustificationRow = 4;
constexpr int kPriceRow = 5;
constexpr int kMinPriceRow = 6;
constexpr int kMaxPriceRow = 7;
constexpr int kDeflatorRow = 8;
constexpr int kCommentRow = 9;
constexpr int kNextTotal = 4; // the card's column of "Итого" of Y
constexpr int kMaxText = 255;

void MarkReadOnly(CGridView& grid, int row, int col)
{
    grid.SetItemState(row, col, grid.GetItemState(row, col) | GVIS_READONLY);
}

// Read only: state bit 8 and the fixed-cell background; editable: the grid's own background.
void SetEditable(CGridView& grid, int row, int col, bool editable)
{
    const unsigned state = grid.GetItemState(row, col);
    if (editable) {
        grid.SetItemState(row, col, state & ~unsigned(GVIS_READONLY));
        grid.SetItemBkColour(row, col, QColor());
    } else {
        grid.SetItemState(row, col, state | GVIS_READONLY);
        grid.SetItemBkColour(row, col, grid.Settings().fixedBkColour);
    }
}

// A card cell's text as read: a figure on the quantity and sum rows, a text of at most kMaxText
// characters on the justification and comment rows; the other rows hold no field.
struct CardInput {
    enum Kind { Figure, Text, Wrong, NoField } kind;
    Money amount;
    QString cellText; // what the cell shows once the edit is saved
};

CardInput ParseCardInput(int row, const QString& typed)
{
    if (row == kQuantityRow || row == kSumRow) {
        const auto parsed = ParseCardAmount(typed);
        if (!parsed)
            return {CardInput::Wrong, {}, {}};
        return {CardInput::Figure, *parsed, FormatAmount(*parsed)};
    }
    if (row == kJustificationRow || row == kCommentRow)
        return {typed.size() > kMaxText ? CardInput::Wrong : CardInput::Text, {}, typed};
    return {CardInput::NoField, {}, {}};
}

// The stored row of the receiver and product, else a new one; none when there is none and the
// text is empty (nothing to clear). A failed read sets *failed.
std::optional<CForecastDataRecord> CardEditRecord(int forecast, int receiver, int product, const QString& typed,
                                                  bool* failed)
{
    const auto stored = ReadEditorRow({forecast, receiver, product}, failed);
    if (*failed || (!stored && typed.isEmpty()))
        return std::nullopt;
    CForecastDataRecord rec;
    if (stored)
        static_cast<CForecastRowFields&>(rec) = *stored;
    rec.prognoz = forecast;
    rec.product = product;
    rec.receiver = receiver;
    return rec;
}

enum class CardEdit { Unchanged, Refused, Ready };

// Puts the input into the field of the row that the cell shows. A member's next year then follows
// from its parts; a total that does not fit refuses the edit.
CardEdit ApplyCardInput(CForecastDataRecord& rec, CForecastFrame::CardSubject subject, int row, int column,
                        const CardInput& input)
{
    const bool member = subject == CForecastFrame::CardSubject::Member;
    const bool number = input.kind == CardInput::Figure;
    const int part = column - kCardFirstValueColumn; // 0..7: Y-2, Y-1, Y, norm, index, plan, formula, other
    if (row == kJustificationRow && column == 2)
        rec.base = input.cellText;
    else if (row == kCommentRow && column == 2 && member)
        rec.comment = input.cellText;
    else if (number && member && part >= 0 && part < 8 && column != kNextTotal)
        rec.*(row == kQuantityRow ? kValues : kSums)[part] = input.amount;
    else if (row == kSumRow && !member && part >= 0 && part < 3)
        rec.*(subject == CForecastFrame::CardSubject::Total ? kSums : kValues)[part] = input.amount;
    else
        return CardEdit::Unchanged;
    if (member && !ApplyNextYearRule(rec))
        return CardEdit::Refused;
    return CardEdit::Ready;
}

QString PriceText(Money price, double factor)
{
    const auto bound = MulQuantityPrice(price, factor);
    return bound ? FormatAmount(*bound) : QString();
}

Money PriceOfYear(const CPriceRecord& price, int year)
{
    return year == 0 ? price.pricePrev : year == 1 ? price.priceCur : price.priceNext;
}

} // namespace

std::optional<CProductRecord> CForecastFrame::ProductRecord(int productId) const
{
    if (m_data)
        if (const CProductRecord* p = m_data->Find(productId))
            return *p;
    return GetProduct(productId, m_session.currentForecastId);
}

const CPriceRecord* CForecastFrame::CachedPrice(int productId) const
{
    return m_data ? m_data->Price(productId) : nullptr;
}

QColor CForecastFrame::CardBase(int row, int column, const QColor& base) const
{
    if (base.isValid())
        return base;
    return (m_card->GetItemState(row, column) & GVIS_READONLY) ? FixedBk() : QColor();
}

bool CForecastFrame::LocateMemberRows(CardView& view) const
{
    const auto holds = [this, &view](int row, quint32 kind) {
        quint32 id = 0, k = 0;
        m_list->GetItemDataPair(row, 0, id, k);
        return row >= m_list->GetFixedRowCount() && row < m_list->GetRowCount() && int(id) == view.product && k == kind;
    };
    if (holds(view.quantityRow, 1) && holds(view.sumRow, 2))
        return true;
    for (int r = m_list->GetFixedRowCount(); r + 1 < m_list->GetRowCount(); ++r)
        if (holds(r, 1) && holds(r + 1, 2)) {
            view.quantityRow = r;
            view.sumRow = r + 1;
            return true;
        }
    return false;
}

void CForecastFrame::BuildCardGrid()
{
    CGridView& g = *m_card;
    std::vector<int> widths;
    if (m_cardBuilt)
        for (int c = 0; c < g.GetColumnCount(); ++c)
            widths.push_back(g.GetColumnWidth(c));
    g.DeleteAllItems();
    g.SetColumnCount(kCardSize);
    g.SetRowCount(kCardSize);
    g.SetFixedRowCount(2);
    g.SetFixedColumnCount(2);
    for (int c = 0; c <= 3; ++c)
        g.SetItemRowSpan(0, c, 2);
    g.SetItemColSpan(0, 4, 6);
    g.SetItemText(0, 1, kUnit);
    if (const int year = m_session.forecastYear; year >= 0)
        for (int i = 0; i < 3; ++i)
            g.SetItemText(0, 2 + i, QString::number(year - 2 + i));
    for (int i = 0; i < 6; ++i)
        g.SetItemText(1, 4 + i, kYearParts[i]);
    for (int i = 0; i < 8; ++i)
        g.SetItemText(2 + i, 0, kCardRows[i]);
    for (int row : {kJustificationRow, kDeflatorRow, kCommentRow})
        g.SetItemColSpan(row, 2, 8);
    // A long product name wraps over the two header rows.
    g.SetItemFormat(0, 0, DT_WORDBREAK);
    if (!m_cardBuilt) {
        g.FitAllSizes();
        m_cardWidths = UserWidths(m_nested->ProfilePath(kCardColumnsValue), kCardWidths, kCardSize);
        for (int c = 0; c < kCardSize; ++c)
            widths.push_back(m_cardWidths[size_t(c)] >= 0 ? m_cardWidths[size_t(c)]
                                                          : std::max(kCardWidths[c], g.GetColumnWidth(c)));
    } else {
        for (int r = 0; r < kCardSize; ++r)
            g.FitRowHeight(r);
    }
    for (int c = 0; c < kCardSize && c < int(widths.size()); ++c)
        g.SetColumnWidth(c, widths[size_t(c)]);
    m_cardHeaderHeight = g.GetRowHeight(1);
    for (int r = 0; r < kCardSize; ++r)
        for (int c = 0; c < kCardSize; ++c)
            if (r < 2 || c < 2)
                MarkReadOnly(g, r, c);
    // A figure too wide for its field shows its beginning and an ellipsis, never a part alone.
    for (int r : {kQuantityRow, kSumRow, kPriceRow, kMinPriceRow, kMaxPriceRow, kDeflatorRow})
        for (int c = kCardFirstValueColumn; c < (r == kDeflatorRow ? kCardFirstValueColumn + 1 : kCardSize); ++c)
            g.SetItemFormat(r, c, GVF_FIGURE | DT_END_ELLIPSIS);
    m_cardBuilt = true;
    m_cardProduct = -1;
    m_cardView = {};
    ApplyCardEditRules(true, nullptr);
    FitCardColumns();
}

void CForecastFrame::FitCardColumns()
{
    CGridView& g = *m_card;
    if (g.GetColumnCount() != kCardSize || g.GetRowCount() != kCardSize || m_cardWidths.size() != size_t(kCardSize))
        return;
    // Never below the captions: of the rows in the first column, of the columns in the others. The
    // product's name wraps: it takes what the other columns leave, up to its one line.
    const int spare = FitGridColumns(g, m_cardWidths, 0, kCardSize - 1, g.viewport()->width(), [&g](int c) {
        const int least = c == 0 ? g.ColumnContentWidth(0, kQuantityRow, kCardSize - 1) : g.ColumnContentWidth(c, 0, 1);
        return CColumnFit{least, c == 0 ? least : g.ColumnContentWidth(c, 0, kCardSize - 1), kCardWidths[c]};
    });
    if (m_cardWidths.front() < 0)
        g.SetColumnWidth(0,
                         g.GetColumnWidth(0)
                             + std::clamp(g.MeasureCell(0, 0).width() - g.GetColumnWidth(0), 0, std::max(0, spare)));

    // The name's lines below each other, as the header cell draws them.
    int header = m_cardHeaderHeight;
    if (const QString name = g.GetItemText(0, 0); !name.isEmpty()) {
        QFont font = g.GetItemFont(0, 0);
        font.setWeight(QFont::DemiBold);
        const int margin = g.Model().GetMargin();
        const QRect lines = QFontMetrics(font).boundingRect(
            QRect(0, 0, std::max(1, g.GetColumnWidth(0) - 2 - 2 * margin), 1 << 20), Qt::TextWordWrap, name);
        header = std::max(header, lines.height() + 2 + 2 * margin - g.GetRowHeight(0));
    }
    if (header != g.GetRowHeight(1)) {
        const int before = CardHeight();
        const bool whole = !m_layoutPending && m_nested->sizes().value(1) >= before;
        g.SetRowHeight(1, header);
        // A card pane that showed the whole card keeps showing it.
        if (whole) {
            QList<int> sizes = m_nested->sizes();
            const int grow = CardHeight() - before;
            sizes[0] = std::max(0, sizes[0] - grow);
            sizes[1] += grow;
            m_nested->setSizes(sizes);
        }
    }
    g.UpdateScrollBars();
    g.viewport()->update();
}

void CForecastFrame::ClearCardValues()
{
    CGridView& g = *m_card;
    if (g.GetRowCount() < 3)
        return;
    for (int r = 2; r < g.GetRowCount(); ++r)
        for (int c = 2; c < g.GetColumnCount(); ++c)
            g.SetItemText(r, c, QString());
    g.viewport()->update();
}

void CForecastFrame::ClearCard()
{
    CGridView& g = *m_card;
    if (g.GetRowCount() < 3)
        return;
    g.SetItemText(0, 0, QString());
    g.SetItemData(0, 0, 0, 0);
    for (int r = 2; r < g.GetRowCount(); ++r)
        g.SetItemText(r, 1, QString());
    ClearCardValues();
    ApplyCardEditRules(true, nullptr);
    FitCardColumns();
}

void CForecastFrame::ApplyCardEditRules(bool allReadOnly, const CProductRecord* product)
{
    CGridView& g = *m_card;
    for (int r = 2; r < g.GetRowCount(); ++r) {
        for (int c = 2; c < g.GetColumnCount(); ++c) {
            bool editable = false;
            if (allReadOnly)
                editable = false;
            else if (m_receiverId != 0)
                editable = !(r == kQuantityRow && c != kNextTotal && product && product->measurementNatural == 0)
                    && !((r == kQuantityRow || r == kSumRow) && c == kNextTotal)
                    && !(r >= kPriceRow && r <= kDeflatorRow);
            else
                editable = r == kJustificationRow || r == kCommentRow;
            SetEditable(g, r, c, editable);
        }
    }
    g.viewport()->update();
}

void CForecastFrame::UpdateReadOnly()
{
    if (m_receiverId <= 0) {
        m_readOnly = true;
        return;
    }
    // A group below the top of the receiver tree shows the sums of its members.
    const auto receiver = GetForecastReceiver(m_receiverId, m_session.currentForecastId);
    if (receiver && receiver->IsGroup() && receiver->category != 0 && receiver->category != -1) {
        m_readOnly = true;
        return;
    }
    // Figures are entered while the reference data is closed and the forecast is not; on a server a
    // user enters those of the receivers its rights grant.
    m_readOnly =
        m_session.currentForecastStatus != 1 || !MayWriteReceiverData(m_session.currentForecastId, m_receiverId);
}

void CForecastFrame::ShowProductCard(int productId, const CPriceRecord* price)
{
    const int listRow = m_list->GetFocusCell().row;
    const auto product = ProductRecord(productId);
    const bool specialRow = listRow >= m_list->GetFixedRowCount() && (listRow == m_totalRow || listRow == m_balanceRow);
    if (specialRow || (product && product->IsGroup())) {
        m_cardProduct = productId;
        ShowGroupCard(productId, price);
        return;
    }
    if (productId == m_cardProduct)
        return;
    m_cardProduct = productId;
    CardView view{CardSubject::Member, productId, GetSelectedGroupId(), -1, -1};
    if (listRow >= 0) {
        quint32 id = 0, kind = 0;
        m_list->GetItemDataPair(listRow, 0, id, kind);
        view.quantityRow = kind == 1 ? listRow : listRow - 1;
        view.sumRow = view.quantityRow + 1;
    }
    LocateMemberRows(view);
    m_cardView = view;

    CGridView& g = *m_card;
    if (!product) {
        m_cardView.subject = CardSubject::None;
        ApplyCardEditRules(true, nullptr);
        ClearCardValues();
        return;
    }
    std::optional<CPriceRecord> readPrice;
    if (!price && !(price = CachedPrice(productId)))
        if ((readPrice = GetPrice(productId, m_session.currentForecastId)))
            price = &*readPrice;

    g.SetItemText(0, 0, product->code + QStringLiteral(" ") + product->name);
    g.SetItemData(0, 0, quint32(productId), 0);
    g.SetItemText(kQuantityRow, 1, m_units.Name(product->measurementNatural).value_or(QString()));
    g.SetItemText(kSumRow, 1, m_units.Name(product->measurementPrice).value_or(QString()));
    QString perUnit = m_units.Name(product->measurementPrice2).value_or(QString());
    if (!perUnit.isEmpty()) {
        if (const QString natural = m_units.Name(product->measurementNatural2).value_or(QString()); !natural.isEmpty())
            perUnit += QStringLiteral("/") + natural;
    }
    for (int r : {kPriceRow, kMinPriceRow, kMaxPriceRow})
        g.SetItemText(r, 1, perUnit);

    const auto row = ReadEditorRow({m_session.currentForecastId, m_receiverId, productId});
    if (row) {
        ApplyCardEditRules(false, &*product);
        for (int i = 0; i < 8; ++i)
            g.SetItemText(kSumRow, kCardFirstValueColumn + i, FormatAmount((*row).*kSums[i]));
        g.SetItemText(kJustificationRow, 2, row->base);
        g.SetItemText(kCommentRow, 2, row->comment);
        for (int i = 0; i < 8; ++i)
            g.SetItemText(kQuantityRow, kCardFirstValueColumn + i,
                          product->measurementNatural != 0 ? FormatAmount((*row).*kValues[i]) : QString());
    } else {
        for (int c = 2; c < kCardSize; ++c) {
            g.SetItemText(kQuantityRow, c, QString());
            g.SetItemText(kSumRow, c, QString());
        }
        g.SetItemText(kJustificationRow, 2, QString());
        g.SetItemText(kCommentRow, 2, QString());
    }
    for (int year = 0; year < 3; ++year) {
        const int col = kCardFirstValueColumn + year;
        g.SetItemText(kMinPriceRow, col, price ? PriceText(PriceOfYear(*price, year), product->offsetMin) : QString());
        g.SetItemText(kMaxPriceRow, col, price ? PriceText(PriceOfYear(*price, year), product->offsetMax) : QString());
    }
    g.SetItemText(kDeflatorRow, 2, FormatAmount(product->priceIdx));
    ShowCardPrices(*product, row ? &*row : nullptr);
    ApplyCardEditRules(m_readOnly, &*product);
    const QColor base = row && !row->comment.isEmpty() ? kCommented : m_readOnly ? FixedBk() : QColor();
    for (int col = 2; col <= kNextTotal; ++col)
        CheckCardPrice(kSumRow, col, 1, base, *product);
    FitCardColumns();
}

void CForecastFrame::ShowGroupCard(int productId, const CPriceRecord*)
{
    if (productId == 0)
        productId = GetSelectedGroupId();
    const int listRow = m_list->GetFocusCell().row;
    const CardSubject subject = listRow == m_totalRow ? CardSubject::Total
        : listRow == m_balanceRow                     ? CardSubject::Balance
                                                      : CardSubject::GroupMember;
    const auto product = ProductRecord(productId);
    if (!product) {
        m_cardView = {};
        ApplyCardEditRules(true, nullptr);
        return;
    }
    CGridView& g = *m_card;
    const auto row = ReadEditorRow({m_session.currentForecastId, m_receiverId, productId});
    ClearCardValues();
    ApplyCardEditRules(true, nullptr);
    g.SetItemText(0, 0, product->code + QStringLiteral(" ") + product->name);
    g.SetItemData(0, 0, quint32(productId), 0);
    for (int r = kQuantityRow; r <= kMaxPriceRow; ++r)
        g.SetItemText(r, 1, QString());
    g.SetItemText(kSumRow, 1, m_units.Name(product->measurementPrice).value_or(QString()));
    if (row) {
        g.SetItemText(kJustificationRow, 2, row->base);
        for (int year = 0; year < 3; ++year)
            g.SetItemText(kSumRow, kCardFirstValueColumn + year,
                          FormatAmount((*row).*(subject == CardSubject::Balance ? kValues : kSums)[year]));
    }
    if (!m_readOnly) {
        const bool ownSums = m_receiverId != 0
            && ((subject == CardSubject::Total && (product->type == 112 || product->type == 1))
                || (subject == CardSubject::Balance && product->type == 96));
        if (ownSums)
            for (int col = kCardFirstValueColumn; col <= kNextTotal; ++col)
                SetEditable(g, kSumRow, col, true);
        if (subject == CardSubject::Total)
            SetEditable(g, kJustificationRow, 2, true);
    }
    m_cardView = {subject, productId, GetSelectedGroupId(), listRow, listRow};
    FitCardColumns();
}

void CForecastFrame::ShowCardPrices(const CProductRecord& product, const CForecastRowFields* row)
{
    CGridView& g = *m_card;
    const bool units = product.measurementNatural && product.measurementPrice && product.measurementNatural2
        && product.measurementPrice2;
    const double kPrice = units ? m_units.Koef(product.measurementPrice, product.measurementPrice2) : 0.0;
    const double kNatural = units ? m_units.Koef(product.measurementNatural, product.measurementNatural2) : 0.0;
    for (int year = 0; year < 3; ++year) {
        QString text;
        if (units && row) {
            const double quantity = (row->*kValues[year]).toDouble() * kNatural;
            text = FormatAmount(quantity == 0.0 ? 0.0 : (row->*kSums[year]).toDouble() * kPrice / quantity);
        }
        g.SetItemText(kPriceRow, kCardFirstValueColumn + year, text);
    }
    g.RedrawRow(kPriceRow);
}

void CForecastFrame::CheckCardPrice(int row, int column, int /*flag*/, const QColor& base,
                                    const CProductRecord& product)
{
    column = std::min(column, kNextTotal);
    if (row != kSumRow || column < kCardFirstValueColumn || m_cardView.subject != CardSubject::Member)
        return;
    if (!LocateMemberRows(m_cardView))
        return;
    const double sum = CellNumber(m_card->GetItemText(kSumRow, column));
    const double quantity = CellNumber(m_card->GetItemText(kQuantityRow, column));
    std::optional<CPriceRecord> readPrice;
    const CPriceRecord* price = CachedPrice(product.id);
    if (!price && (readPrice = GetPrice(product.id, m_session.currentForecastId)))
        price = &*readPrice;
    int sumResult = 0, quantityResult = 0;
    CheckRowPrice(product, price, m_units.Koef(product.measurementPrice, product.measurementPrice2),
                  m_units.Koef(product.measurementNatural, product.measurementNatural2), sum, quantity,
                  column - kCardFirstValueColumn, sumResult, quantityResult);
    const QColor sumMark = sumResult == ROW_PRICE_WRONG ? kWrong : sumResult == ROW_PRICE_MISSING ? kMissing : QColor();
    const QColor quantityMark = quantityResult == ROW_PRICE_MISSING ? kMissing : QColor();
    const QColor unmarked = m_readOnly ? FixedBk() : kUnmarked;
    m_card->SetItemBkColour(kSumRow, column, sumMark.isValid() ? sumMark : CardBase(kSumRow, column, base));
    m_card->SetItemBkColour(kQuantityRow, column,
                            quantityMark.isValid() ? quantityMark : CardBase(kQuantityRow, column, base));
    const int listColumn = column + 1;
    m_list->SetItemBkColour(m_cardView.sumRow, listColumn, sumMark.isValid() ? sumMark : unmarked);
    m_list->SetItemBkColour(m_cardView.quantityRow, listColumn, quantityMark.isValid() ? quantityMark : unmarked);
    m_list->RedrawCell(m_cardView.sumRow, listColumn);
    m_list->RedrawCell(m_cardView.quantityRow, listColumn);
    for (int r : {kQuantityRow, kSumRow, kJustificationRow})
        m_card->RedrawRow(r);
}

int CForecastFrame::OnCardBeginEdit(int row, int column)
{
    m_textBeforeEdit = m_card->GetItemText(row, column);
    m_editView = m_cardView;
    return 0;
}

int CForecastFrame::OnCardEndEdit(int row, int column)
{
    CGridView& g = *m_card;
    const CGridCell* cell = g.GetCell(row, column);
    if (!cell || cell->data1 == VK_ESCAPE)
        return 0;
    const CardView view = m_editView;
    const bool member = view.subject == CardSubject::Member;
    if (m_receiverId <= 0 || (!member && view.subject != CardSubject::Total && view.subject != CardSubject::Balance))
        return 0;
    const QString typed = g.GetItemText(row, column).trimmed();
    if (typed == m_textBeforeEdit.trimmed())
        return 0;
    const CardInput input = ParseCardInput(row, typed);
    if (input.kind == CardInput::Wrong) {
        RefuseCardEdit(row, column);
        return 0;
    }
    if (input.kind == CardInput::NoField)
        return 0;

    const int product = member ? view.product : view.group;
    bool failed = false;
    auto rec = CardEditRecord(m_session.currentForecastId, m_receiverId, product, typed, &failed);
    if (failed) {
        RestoreCardCell(row, column); // the database's error was shown; nothing is written over it
        return 0;
    }
    if (!rec)
        return 0;
    switch (ApplyCardInput(*rec, view.subject, row, column, input)) {
    case CardEdit::Unchanged:
        return 0;
    case CardEdit::Refused:
        RefuseCardEdit(row, column);
        return 0;
    case CardEdit::Ready:
        break;
    }
    // The edit and the group rows it changes are stored together, or neither: the cell then shows the
    // stored value again.
    CForecastRowFields groupRow;
    bool recalculated = false;
    if (!SaveCellEdit(*rec, view.group, &groupRow, &recalculated)) {
        RestoreCardCell(row, column);
        return 0;
    }
    ShowCardEdit(view, row, column, input.cellText, *rec, recalculated ? &groupRow : nullptr);
    return 0;
}

void CForecastFrame::RestoreCardCell(int row, int column)
{
    m_card->SetItemText(row, column, m_textBeforeEdit);
    m_card->RedrawCell(row, column);
}

void CForecastFrame::RefuseCardEdit(int row, int column)
{
    RestoreCardCell(row, column);
    AppMessageBox(kWrongData, MB_ICONEXCLAMATION, this);
}

void CForecastFrame::ShowCardEdit(CardView view, int row, int column, const QString& cellText,
                                  const CForecastRowFields& rec, const CForecastRowFields* groupRow)
{
    CGridView& g = *m_card;
    const bool member = view.subject == CardSubject::Member;
    const int product = member ? view.product : view.group;
    g.SetItemText(row, column, cellText);
    if (member) {
        g.SetItemText(kQuantityRow, kNextTotal, FormatAmount(rec.valueNext));
        g.SetItemText(kSumRow, kNextTotal, FormatAmount(rec.sumNext));
        if (m_data)
            m_data->rows[product] = rec;
        if (LocateMemberRows(view)) {
            const int listColumn = column + 1;
            if (row == kQuantityRow) {
                m_list->SetItemText(view.quantityRow, listColumn, cellText);
                m_list->SetItemText(view.quantityRow, kListFirstValueColumn + 2, FormatAmount(rec.valueNext));
            } else if (row == kSumRow) {
                m_list->SetItemText(view.sumRow, listColumn, cellText);
                m_list->SetItemText(view.sumRow, kListFirstValueColumn + 2, FormatAmount(rec.sumNext));
            } else {
                m_list->SetItemText(view.quantityRow, row == kJustificationRow ? 11 : 12, cellText);
            }
            m_list->RedrawRow(view.quantityRow);
            m_list->RedrawRow(view.sumRow);
        }
    } else {
        g.SetItemText(kSumRow, kNextTotal,
                      FormatAmount(view.subject == CardSubject::Total ? rec.sumNext : rec.valueNext));
        if (m_data)
            m_data->groupRow = rec;
        ShowTotalRowValues(&rec);
    }
    g.RedrawRow(kQuantityRow);
    g.RedrawRow(kSumRow);

    const auto productRecord = ProductRecord(product);
    if (productRecord && member)
        ShowCardPrices(*productRecord, &rec);
    if (groupRow)
        AutoRecalc(view.group, *groupRow);
    if (productRecord && member && m_cardView.subject == CardSubject::Member && m_cardView.product == product) {
        const QColor base = !rec.comment.isEmpty() ? kCommented : m_readOnly ? FixedBk() : QColor();
        for (int col = kCardFirstValueColumn; col <= kNextTotal; ++col)
            CheckCardPrice(kSumRow, col, 1, base, *productRecord);
    }
    RefitListForRows({view.quantityRow, view.sumRow, m_totalRow, m_balanceRow});
    FitCardColumns();
}
