// The grid's model on its own: no widget is created here.
#include "GridModel.h"
#include "TestSupport.h"

#include <functional>

namespace {

struct Shape {
    int rows, cols, fixedRows, fixedCols;
};

void Build(CGridModel& m, Shape s, int size = 20)
{
    m.SetDefaultSizes(size, size * 3, 2);
    m.SetRowCount(s.rows);
    m.SetColumnCount(s.cols);
    m.SetFixedRowCount(s.fixedRows);
    m.SetFixedColumnCount(s.fixedCols);
}

} // namespace

TEST(GridModelTest, OutOfRangeAccessAnswersQuietly)
{
    CGridModel empty;
    CGridModel m;
    Build(m, {3, 3, 1, 1});
    struct Case {
        const char* what;
        std::function<bool()> holds;
    };
    const QFont defaultFont = m.GetDefaultFont();
    const std::vector<Case> cases = {
        {"0 x 0 has virtual size 0", [&] { return empty.GetVirtualHeight() == 0 && empty.GetVirtualWidth() == 0; }},
        {"0 x 0 refuses text", [&] { return !empty.SetItemText(0, 0, "x"); }},
        {"0 x 0 row height -1", [&] { return empty.GetRowHeight(0) == -1 && empty.GetColumnWidth(0) == -1; }},
        {"no cell", [&] { return m.GetCell(3, 0) == nullptr && m.GetCell(-1, 0) == nullptr; }},
        {"text empty", [&] { return m.GetItemText(0, 5).isEmpty(); }},
        {"state 0 / false", [&] { return m.GetItemState(9, 9) == 0 && !m.SetItemState(9, 9, 2); }},
        {"format 0 / false", [&] { return m.GetItemFormat(-1, 0) == 0 && !m.SetItemFormat(0, 3, 5); }},
        {"image -1", [&] { return m.GetItemImage(5, 5) == -1; }},
        {"colour false", [&] { return !m.SetItemBkColour(3, 3, Qt::red); }},
        {"font is the default", [&] { return m.GetItemFont(7, 0) == defaultFont; }},
        {"data 0 / false",
         [&] {
             quint32 a = 9, b = 9;
             m.GetItemDataPair(4, 4, a, b);
             return m.GetItemData(4, 4) == 0 && a == 0 && b == 0 && !m.SetItemData(4, 4, 1, 2);
         }},
        {"spans false", [&] { return !m.SetItemColSpan(3, 0, 2) && !m.SetItemRowSpan(0, 3, 2); }},
        {"GetItem false",
         [&] {
             GridItem item;
             item.row = 3;
             item.mask = GVIF_TEXT;
             return !m.GetItem(item);
         }},
        {"sizes refuse bad index and negative size",
         [&] { return !m.SetRowHeight(3, 5) && !m.SetColumnWidth(-1, 5) && !m.SetRowHeight(0, -1); }},
        {"insert beyond the rows", [&] { return m.InsertRow("x", 3) == -1 && m.GetRowCount() == 3; }},
        {"hit test beyond the cells",
         [&] {
             m.SetClientSize({800, 600});
             return m.HitTestCell({179, 70}, true) == CCellID(-1, 2) && m.HitTestCell({190, 5}, true).col == -1;
         }},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(c.holds()) << c.what;
}

TEST(GridModelTest, ShapeChangesKeepCountsFocusAndFormats)
{
    CGridModel m;
    Build(m, {5, 3, 2, 1});
    m.SetFocusCell({3, 1});
    EXPECT_EQ(m.GetItemState(3, 1), unsigned(GVIS_FOCUSED));
    m.SetRowCount(1);
    EXPECT_EQ(m.GetFixedRowCount(), 1);
    EXPECT_EQ(m.GetFocusCell(), CCellID(-1, -1));

    m.SetFixedRowCount(8);
    EXPECT_EQ(m.GetRowCount(), 8);
    EXPECT_EQ(m.GetFixedRowCount(), 8);

    // New cells below row 0 take the format of the cell above.
    m.SetItemFormat(7, 2, DT_RIGHT);
    m.SetRowCount(10);
    EXPECT_EQ(m.GetItemFormat(9, 2), unsigned(DT_RIGHT));
    EXPECT_EQ(m.GetItemFormat(9, 1), 0u);

    m.SetFocusCell({9, 2});
    m.SetColumnCount(2);
    EXPECT_EQ(m.GetFocusCell(), CCellID(-1, -1));
    EXPECT_EQ(m.GetColumnCount(), 2);

    CGridModel rowsOnly;
    EXPECT_EQ(rowsOnly.InsertRow(QStringLiteral("Итого"), -1), 0);
    EXPECT_EQ(rowsOnly.GetColumnCount(), 1);
    EXPECT_EQ(rowsOnly.GetItemText(0, 0), QStringLiteral("Итого"));
    EXPECT_EQ(rowsOnly.InsertRow(QStringLiteral("Первая"), 0), 0);
    EXPECT_EQ(rowsOnly.GetItemText(1, 0), QStringLiteral("Итого"));

    m.DeleteAllItems();
    EXPECT_EQ(m.GetRowCount() + m.GetColumnCount() + m.GetFixedRowCount() + m.GetFixedColumnCount(), 0);
    EXPECT_EQ(m.GetVirtualHeight(), 0);

    // Modified bits live only while the grid flag is set.
    Build(m, {3, 3, 0, 0});
    m.SetCellModified(true, 1, 1);
    EXPECT_TRUE(m.IsModified());
    EXPECT_TRUE(m.GetItemState(1, 1) & GVIS_MODIFIED);
    m.SetCellModified(false, 0, 0);
    EXPECT_FALSE(m.IsModified());
    EXPECT_FALSE(m.GetItemState(1, 1) & GVIS_MODIFIED);
}

TEST(GridModelTest, SpansCoverTheirBlockAndNothingMore)
{
    CGridModel m;
    Build(m, {6, 10, 1, 1});
    const auto spans = [&](int r, int c) { return std::pair(m.GetCell(r, c)->rowSpan, m.GetCell(r, c)->colSpan); };

    m.SetItemColSpan(1, 1, 3);
    EXPECT_EQ(spans(1, 2), std::pair(1, 0));
    EXPECT_EQ(spans(1, 3), std::pair(1, 0));
    EXPECT_EQ(spans(1, 4), std::pair(1, 1));

    m.SetItemColSpan(1, 8, 3); // stops at the last column
    EXPECT_EQ(spans(1, 9), std::pair(1, 0));
    EXPECT_EQ(m.ColSpanOf(1, 8), 2);

    // Both ways: the whole block is covered and every covered cell leads back to the anchor.
    m.SetItemRowSpan(2, 2, 3);
    m.SetItemColSpan(2, 2, 2);
    for (int r = 2; r <= 4; ++r)
        for (int c = 2; c <= 3; ++c)
            if (r != 2 || c != 2) {
                EXPECT_TRUE(spans(r, c).first == 0 || spans(r, c).second == 0) << r << "," << c;
                EXPECT_EQ(m.GetAnchor(r, c), CCellID(2, 2)) << r << "," << c;
            }
    m.SetClientSize({1000, 1000});
    QRect bounds;
    ASSERT_TRUE(m.GetCellBounds(2, 2, bounds));
    EXPECT_EQ(bounds, QRect(60 + 60, 20 + 20, 120, 60));
    EXPECT_EQ(m.HitTestCell({60 + 150, 20 + 70}, true), CCellID(2, 2)); // covered (4, 3)
    EXPECT_FALSE(m.GetCellBounds(3, 3, bounds));

    // Shrinking frees the cells it no longer covers.
    m.SetItemRowSpan(2, 2, 1);
    EXPECT_EQ(spans(3, 2), std::pair(1, 1));
    EXPECT_EQ(spans(4, 3), std::pair(1, 1));
    EXPECT_EQ(spans(2, 3), std::pair(1, 0));
}

TEST(GridModelTest, SelectionFollowsTheStateBitByFullCell)
{
    CGridModel m;
    Build(m, {70001, 3, 1, 1}, 1);
    m.SetItemState(70000, 1, GVIS_SELECTED);
    EXPECT_TRUE(m.IsSelected(70000, 1));
    EXPECT_FALSE(m.IsSelected(4464, 1)); // 70000 & 0xFFFF
    EXPECT_FALSE(m.GetItemState(4464, 1) & GVIS_SELECTED);
    m.SetItemState(5, 2, GVIS_SELECTED | GVIS_READONLY);
    EXPECT_EQ(m.GetSelectionBounds(), (CCellRange{5, 1, 70000, 2}));
    m.SetItemState(70000, 1, 0);
    EXPECT_EQ(m.GetSelectionBounds(), (CCellRange{5, 2, 5, 2}));
    m.SetItemState(5, 2, GVIS_READONLY);
    EXPECT_EQ(m.GetSelectionBounds(), (CCellRange{70001, 3, -1, -1}));
    EXPECT_TRUE(m.CopySelectionText().isNull());

    CGridModel small;
    Build(small, {3, 3, 1, 1});
    small.SetItemText(1, 1, "a");
    small.SetItemText(1, 2, "b");
    small.SetItemText(2, 1, "c");
    small.SetSelectedRange({1, 1, 2, 2}, false);
    EXPECT_EQ(small.CopySelectionText().toUtf8(), QByteArray("a\tb\nc\t "));
    // A cell outside the selection gives nothing, its separators stay.
    small.SetItemState(1, 2, 0);
    EXPECT_EQ(small.CopySelectionText(), QStringLiteral("a\t\nc\t "));
}

TEST(GridModelTest, PasteTextKeepsFieldsInTheirColumns)
{
    using Row = std::vector<std::optional<QString>>;
    const struct {
        QString text;
        std::vector<Row> rows;
    } cases[] = {
        {"1\t2\t3\t9\n4\t\t6", {{"1", "2", "3", "9"}, {"4", std::nullopt, "6"}}},
        {"1,5", {{"1,5"}}},
        {"a\r\nb\r\n", {{"a"}, {"b"}}},
        {" x \t  \n\nz", {{"x", ""}, {""}, {"z"}}}, // blanks write empty text; an empty line is one blank field
    };
    for (const auto& c : cases)
        EXPECT_EQ(CGridModel::SplitPasteText(c.text), c.rows) << c.text.toStdString();
}

TEST(GridModelTest, GeometryFollowsScrollPositionsAndClientSize)
{
    CGridModel m;
    Build(m, {102, 12, 2, 2}); // rows 20 high, columns 60 wide
    m.SetClientSize({500, 300});
    EXPECT_EQ(m.GetScrollMax(Qt::Vertical), 100 * 20 - (300 - 40));
    EXPECT_EQ(m.GetScrollMax(Qt::Horizontal), 10 * 60 - (500 - 120));
    EXPECT_EQ(m.GetVisibleCellRange(), (CCellRange{2, 2, 14, 8}));
    EXPECT_EQ(m.GetWhollyVisibleCellRange(), (CCellRange{2, 2, 14, 7}));

    struct Step {
        int pos, steps, expected;
    };
    for (const Step s : {Step{0, 3, 60}, Step{60, -1, 40}, Step{0, -1, 0}, Step{1735, 5, 1740}, Step{5, -1, 0}})
        EXPECT_EQ(m.LineStep(Qt::Vertical, s.pos, s.steps), s.expected) << s.pos << " " << s.steps;

    // Into view in one move: the row lands at the bottom, whole.
    const QPoint pos = m.ScrollPositionsFor(50, 11);
    m.SetScrollPos(pos.x(), pos.y());
    QRect bounds;
    ASSERT_TRUE(m.GetCellBounds(50, 11, bounds));
    EXPECT_LE(bounds.bottom(), 299);
    EXPECT_LE(bounds.right(), 499);
    EXPECT_GE(bounds.top(), 40);
    EXPECT_EQ(m.GetTopleftNonFixedCell(), CCellID(38, 6));
    EXPECT_FALSE(m.IsCellVisible(37, 6));
    EXPECT_TRUE(m.IsCellVisible(38, 0));
    EXPECT_EQ(m.HitTestCell({10, 45}, true), CCellID(38, 0));
    EXPECT_EQ(m.HitTestCell({10, 45}, false), CCellID(38, -1));

    // A table that fits has nothing to scroll.
    m.SetRowCount(5);
    m.SetColumnCount(4);
    m.UpdateScrollMaxima();
    EXPECT_EQ(m.GetScrollMax(Qt::Vertical) + m.GetScrollMax(Qt::Horizontal), 0);
    EXPECT_EQ(m.GetScrollPos(Qt::Vertical), 0);
}

TEST(GridModelTest, PagesBreakBeforeTheRowThatDoesNotFit)
{
    CGridModel m;
    Build(m, {12, 2, 2, 0}); // ten non-fixed rows of 20
    using Pages = std::vector<std::pair<int, int>>;
    EXPECT_EQ(m.PageRows(200), (Pages{{2, 11}}));
    EXPECT_EQ(m.PageRows(180), (Pages{{2, 10}, {11, 11}}));
    m.SetRowHeight(5, 500); // taller than a page: alone, no blank page
    EXPECT_EQ(m.PageRows(100), (Pages{{2, 4}, {5, 5}, {6, 10}, {11, 11}}));
    m.SetRowCount(2);
    EXPECT_EQ(m.PageRows(100), (Pages{{2, 1}}));
}

TEST(GridModelTest, SortingComparesCodePageBytes)
{
    CGridModel m;
    Build(m, {7, 2, 1, 0});
    const QStringList texts = {"9", "10", "b", "B", QStringLiteral("я"), QStringLiteral("а")};
    for (int i = 0; i < texts.size(); ++i) {
        m.SetItemText(i + 1, 0, texts[i]);
        m.SetItemData(i + 1, 1, quint32(i), 0);
    }
    m.SetItemText(0, 0, "header");
    const auto order = [&] {
        QStringList out;
        for (int r = 1; r < m.GetRowCount(); ++r)
            out << m.GetItemText(r, 0);
        return out;
    };
    m.SortRowsByColumn(0, true);
    EXPECT_EQ(order(), (QStringList{"10", "9", "B", "b", QStringLiteral("а"), QStringLiteral("я")}));
    EXPECT_EQ(m.GetItemData(1, 1), 1u); // cells move with their row
    EXPECT_EQ(m.GetItemText(0, 0), "header");
    m.SortRowsByColumn(0, false);
    EXPECT_EQ(order(), (QStringList{QStringLiteral("я"), QStringLiteral("а"), "b", "B", "9", "10"}));

    // Equal texts are never swapped.
    for (int r = 1; r < m.GetRowCount(); ++r) {
        m.SetItemText(r, 0, "same");
        m.SetItemData(r, 1, quint32(r), 0);
    }
    m.SortRowsByColumn(0, true);
    for (int r = 1; r < m.GetRowCount(); ++r)
        EXPECT_EQ(m.GetItemData(r, 1), quint32(r));
}
