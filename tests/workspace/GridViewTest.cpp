// The grid as a shown widget: drawing checked on its grabbed pixels, mouse and keys sent to its
// viewport, the clipboard through QClipboard, its commands and its title tip.
#include "CommandIds.h"
#include "GridTestSupport.h"
#include "TitleTip.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

const QColor kMark(250, 120, 250);
const QColor kGridLine(192, 192, 192);

// Dark pixels (text on a light background) inside a rectangle.
int CountDark(const QImage& image, const QRect& rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += image.pixelColor(x, y).lightness() < 100;
    return n;
}

void Hover(QWidget* w, QPoint p)
{
    QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

} // namespace

TEST(GridViewTest, ColoursFollowStateAndPalette)
{
    GridWindow w(6, 6, 1, 1);
    w.grid->SetItemBkColour(2, 2, kMark);
    w.grid->SetSelectedRange(3, 1, 4, 3);
    w.grid->SetFocusCell(4, 3);
    const QImage image = w.Grab();
    const QPalette pal = w.grid->palette();
    const QRect focus = w.Bounds(4, 3);
    const QRect data = w.Bounds(1, 4);
    const QRect header = w.Bounds(0, 3);
    const struct {
        const char* what;
        QPoint at;
        QColor colour;
        bool equal;
    } cases[] = {
        {"own background", w.Center(2, 2), kMark, true},
        {"selected", w.Center(3, 2), pal.color(QPalette::Highlight), true},
        {"focus frame", {focus.left(), focus.center().y()}, Qt::black, true},
        {"focus keeps its background", focus.center(), pal.color(QPalette::Base), true},
        {"grid line right", {data.right(), data.center().y()}, kGridLine, true},
        {"grid line bottom", {data.center().x(), data.bottom()}, kGridLine, true},
        {"header without grid line", {header.right(), header.center().y()}, kGridLine, false},
        {"fixed cell", w.Center(0, 3), pal.color(QPalette::Button), true},
        {"row header", w.Center(5, 0), pal.color(QPalette::Button), true},
        {"beyond the cells", {image.width() - 3, image.height() - 3}, pal.color(QPalette::Base), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(image.pixelColor(c.at) == c.colour, c.equal)
            << c.what << " " << image.pixelColor(c.at).name().toStdString();

    // A palette change carries the colours that followed the palette; one the user chose stays.
    w.grid->Settings().fixedBkColour = Qt::yellow;
    QPalette changed = pal;
    changed.setColor(QPalette::Base, QColor(10, 20, 30));
    changed.setColor(QPalette::Button, QColor(40, 50, 60));
    w.grid->setPalette(changed);
    EXPECT_EQ(w.grid->Settings().bkColour, QColor(10, 20, 30));
    EXPECT_EQ(w.Pixel(w.Center(1, 5)), QColor(10, 20, 30));
    EXPECT_EQ(w.Pixel(w.Center(0, 5)), QColor(Qt::yellow));
}

TEST(GridViewTest, FixedCellsAndSpans)
{
    GridWindow w(40, 20, 2, 2);
    w.grid->SetItemText(0, 6, "2026");
    w.grid->SetItemFormat(0, 6, DT_CENTER | DT_VCENTER);
    w.grid->SetItemColSpan(0, 6, 6);
    w.grid->SetItemColSpan(4, 3, 2);
    w.grid->SetItemBkColour(4, 3, kMark);
    w.grid->SetItemRowSpan(6, 2, 3);

    // The anchor's colour fills its span, with no grid line inside.
    const QRect span = w.Bounds(4, 3);
    EXPECT_EQ(span.width(), 120);
    EXPECT_EQ(w.Pixel({span.left() + 59, span.center().y()}), kMark);

    // A click on a covered cell focuses its anchor; Right passes over covered cells.
    QTest::mouseClick(w.vp(), Qt::LeftButton, {}, QPoint(span.left() + 90, span.center().y()));
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(4, 3));
    w.Key(Qt::Key_Right);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(4, 5));
    QTest::mouseClick(w.vp(), Qt::LeftButton, {}, w.Bounds(6, 2).center() + QPoint(0, 20));
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(6, 2));

    // Header clicks select whole columns or everything; the focus stays out of the fixed cells.
    w.Click(0, 5);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(2, 5));
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{2, 5, 39, 5}));
    w.Click(1, 1);
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{2, 2, 39, 19}));
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(2, 2));
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_Home, Qt::Key_PageUp, Qt::Key_Backtab}) {
        w.Key(key);
        EXPECT_EQ(w.grid->GetFocusCell(), CCellID(2, 2)) << key;
    }

    // Scrolled to the middle, the fixed rows and columns stay where they were.
    const QImage before = w.Grab();
    const int fh = w.grid->GetFixedRowHeight();
    const int fw = w.grid->GetFixedColumnWidth();
    w.grid->SetScrollPosition(Qt::Vertical, w.grid->GetScrollMax(Qt::Vertical) / 2);
    const QImage vertical = w.Grab();
    EXPECT_NE(w.grid->GetTopleftNonFixedCell().row, 2);
    EXPECT_EQ(vertical.copy(0, 0, vertical.width(), fh), before.copy(0, 0, before.width(), fh));
    w.grid->SetScrollPosition(Qt::Vertical, 0);
    w.grid->SetScrollPosition(Qt::Horizontal, w.grid->GetScrollMax(Qt::Horizontal) / 2);
    const QImage horizontal = w.Grab();
    EXPECT_EQ(horizontal.copy(0, 0, fw, horizontal.height()), before.copy(0, 0, fw, before.height()));

    // A spanned header whose anchor is scrolled out still shows its text.
    w.grid->SetScrollPosition(Qt::Horizontal, 4 * 60);
    ASSERT_EQ(w.grid->GetTopleftNonFixedCell().col, 6);
    w.grid->SetScrollPosition(Qt::Horizontal, 5 * 60);
    ASSERT_EQ(w.grid->GetTopleftNonFixedCell().col, 7);
    const QRect band(fw, 3, 5 * 60 - 2, 20 - 6); // inside the anchor's edges
    EXPECT_GT(CountDark(w.Grab(), band), 10);
}

TEST(GridViewTest, MouseSelectsAndResizes)
{
    QApplication::setWheelScrollLines(3);
    GridWindow w(60, 8, 1, 1);
    w.grid->SetItemText(3, 2, QStringLiteral("Очень длинный текст ячейки"));

    w.Click(2, 2);
    EXPECT_EQ(w.host.commands, 0); // queued, not sent
    w.Click(4, 3, Qt::ShiftModifier);
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{2, 2, 4, 3}));
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(4, 3));
    w.Click(6, 5, Qt::ControlModifier);
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{2, 2, 6, 5}));
    EXPECT_TRUE(w.grid->GetItemState(3, 2) & GVIS_SELECTED);
    EXPECT_FALSE(w.grid->GetItemState(5, 5) & GVIS_SELECTED);

    // Clicking the focus cell again opens its editor when the button goes up.
    QTest::mousePress(w.vp(), Qt::LeftButton, {}, w.Center(6, 5));
    EXPECT_EQ(w.grid->GetInPlaceEditor(), nullptr);
    QTest::mouseRelease(w.vp(), Qt::LeftButton, {}, w.Center(6, 5));
    EXPECT_NE(w.grid->GetInPlaceEditor(), nullptr);
    w.grid->setFocus();
    QApplication::processEvents();
    EXPECT_GE(w.host.commands, 4); // one command per click, queued

    // A divider dragged 20 pixels right widens its column by 20; a double click fits the text.
    const QPoint divider(w.Bounds(0, 2).right() + 1, 10);
    QTest::mousePress(w.vp(), Qt::LeftButton, {}, divider);
    QTest::mouseMove(w.vp(), divider + QPoint(10, 0));
    QTest::mouseRelease(w.vp(), Qt::LeftButton, {}, divider + QPoint(20, 0));
    EXPECT_EQ(w.grid->GetColumnWidth(2), 80);
    w.DoubleClick({w.Bounds(0, 2).right() + 1, 10});
    const int text = QFontMetrics(w.grid->GetItemFont(3, 2)).horizontalAdvance(w.grid->GetItemText(3, 2));
    EXPECT_EQ(w.grid->GetColumnWidth(2), w.grid->MeasureCell(3, 2).width());
    EXPECT_GT(w.grid->GetColumnWidth(2), text);
    const QPoint next(w.Bounds(0, 3).right() + 1, 10); // dragged past the column's start: width 0
    QTest::mousePress(w.vp(), Qt::LeftButton, {}, next);
    QTest::mouseRelease(w.vp(), Qt::LeftButton, {}, next - QPoint(200, 0));
    EXPECT_EQ(w.grid->GetColumnWidth(3), 0);
    w.grid->SetColumnWidth(3, 60);
    w.grid->SetColumnWidth(2, 60);
    w.grid->UpdateScrollBars();

    // Tab stops at the ends and the focus stays in the grid.
    w.grid->SetFocusCell(59, 7);
    w.Key(Qt::Key_Tab);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(59, 7));
    w.grid->SetFocusCell(1, 1);
    w.Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(1, 1));
    EXPECT_TRUE(w.grid->hasFocus());

    // One wheel notch is three lines; small deltas add up.
    w.grid->SetScrollPosition(Qt::Vertical, 10 * 20);
    ASSERT_EQ(w.grid->GetTopleftNonFixedCell().row, 11);
    const auto wheel = [&](int delta) {
        QWheelEvent e(QPointF(50, 50), w.vp()->mapToGlobal(QPointF(50, 50)), {}, {0, delta}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.vp(), &e);
    };
    wheel(120);
    EXPECT_EQ(w.grid->GetTopleftNonFixedCell().row, 8);
    for (int i = 0; i < 4; ++i)
        wheel(-10);
    EXPECT_EQ(w.grid->GetTopleftNonFixedCell().row, 9);

    // End moves to the last row and scrolls it into view.
    w.grid->SetFocusCell(5, 3);
    w.Key(Qt::Key_End);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(59, 3));
    EXPECT_TRUE(w.grid->IsCellVisible(59, 3));
    EXPECT_EQ(w.grid->verticalScrollBar()->value(), w.grid->GetScrollMax(Qt::Vertical));

    GridWindow fits(5, 4, 1, 1);
    EXPECT_EQ(fits.grid->GetScrollMax(Qt::Vertical) + fits.grid->GetScrollMax(Qt::Horizontal), 0);

    // In list mode a header click sorts by its column, a second one the other way.
    fits.grid->Settings().listMode = true;
    for (int r = 1; r < 5; ++r)
        fits.grid->SetItemText(r, 2, QString::number(r * 7 % 5));
    const auto column = [&] {
        QStringList texts;
        for (int r = 1; r < 5; ++r)
            texts << fits.grid->GetItemText(r, 2);
        return texts;
    };
    fits.Click(0, 2);
    EXPECT_EQ(column(), (QStringList{"1", "2", "3", "4"}));
    fits.Click(0, 2);
    EXPECT_EQ(column(), (QStringList{"4", "3", "2", "1"}));
    EXPECT_EQ(fits.grid->GetSortColumn(), 2);
    EXPECT_FALSE(fits.grid->GetSortAscending());
}

TEST(GridViewTest, ClipboardCopyCutAndPaste)
{
    GridWindow w(5, 5, 1, 1);
    w.grid->SetItemText(1, 1, "a");
    w.grid->SetItemText(1, 2, "b");
    w.grid->SetItemText(2, 1, "c");
    w.grid->SetFocusCell(1, 1);
    w.grid->SetSelectedRange(1, 1, 2, 2);
    w.Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toUtf8(), QByteArray("a\tb\nc\t "));

    // Cut leaves read-only cells alone and reports each cleared cell.
    w.grid->SetItemState(1, 2, w.grid->GetItemState(1, 2) | GVIS_READONLY);
    w.grid->SetItemData(2, 1, VK_ESCAPE, 0); // left by an earlier Escape
    w.host.notes.clear();
    w.Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(w.grid->GetItemData(2, 1), 0u);
    EXPECT_EQ(QApplication::clipboard()->text().toUtf8(), QByteArray("a\tb\nc\t "));
    EXPECT_EQ(w.grid->GetItemText(1, 1), "");
    EXPECT_EQ(w.grid->GetItemText(1, 2), "b");
    EXPECT_EQ(w.host.notes.front(), (Note{LVN_BEGINLABELEDITA, 1, 1}));
    EXPECT_EQ(w.host.notes.size(), 6u);
    EXPECT_TRUE(w.grid->GetItemState(1, 1) & GVIS_FOCUSED);

    // Paste: fields stay in their columns, what falls outside is dropped.
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 5; ++c)
            w.grid->SetItemText(r, c, "old");
    w.grid->SetItemState(1, 2, 0);
    w.grid->SetFocusCell(1, 1);
    w.grid->SetColumnCount(4);
    QApplication::clipboard()->setText("1\t2\t3\t9\n4\t\t6");
    w.host.notes.clear();
    w.Key(Qt::Key_V, Qt::ControlModifier);
    const QStringList row1 = {w.grid->GetItemText(1, 1), w.grid->GetItemText(1, 2), w.grid->GetItemText(1, 3)};
    const QStringList row2 = {w.grid->GetItemText(2, 1), w.grid->GetItemText(2, 2), w.grid->GetItemText(2, 3)};
    EXPECT_EQ(row1, (QStringList{"1", "2", "3"}));
    EXPECT_EQ(row2, (QStringList{"4", "old", "6"}));
    std::vector<Note> expected;
    for (CCellID id : {CCellID(1, 1), CCellID(1, 2), CCellID(1, 3), CCellID(2, 1), CCellID(2, 3)}) {
        expected.push_back({LVN_BEGINLABELEDITA, id.row, id.col});
        expected.push_back({LVN_ENDLABELEDITA, id.row, id.col});
    }
    EXPECT_EQ(w.host.notes, expected);
    EXPECT_TRUE(w.grid->GetItemState(2, 3) & GVIS_MODIFIED);

    struct Case {
        const char* what;
        QString text;
        CCellID readOnly;
        CCellID at;
        QString expected;
    };
    const Case cases[] = {
        {"read-only target keeps its text", "x\ty", {1, 2}, {1, 2}, "old"},
        {"decimal comma stays in one cell", "1,5", {-1, -1}, {1, 1}, "1,5"},
        {"field of blanks writes empty text", "  \tz", {-1, -1}, {1, 1}, ""},
    };
    for (const Case& c : cases) {
        w.grid->SetItemText(1, 1, "old");
        w.grid->SetItemText(1, 2, "old");
        w.grid->SetItemState(1, 2, 0);
        if (c.readOnly.IsValid())
            w.grid->SetItemState(c.readOnly.row, c.readOnly.col, GVIS_READONLY);
        w.grid->SetFocusCell(1, 1);
        QApplication::clipboard()->setText(c.text);
        EXPECT_TRUE(w.grid->OnEditPaste()) << c.what;
        EXPECT_EQ(w.grid->GetItemText(c.at.row, c.at.col), c.expected) << c.what;
    }

    // Far too much text fills what fits; a read-only start cell takes nothing.
    QStringList lines;
    for (int l = 0; l < 300; ++l) {
        QStringList fields;
        for (int f = 0; f < 200; ++f)
            fields << QString::number(l * 1000 + f);
        lines << fields.join('\t');
    }
    QApplication::clipboard()->setText(lines.join('\n'));
    w.grid->SetItemState(1, 2, 0);
    w.grid->SetFocusCell(1, 1);
    EXPECT_TRUE(w.grid->OnEditPaste());
    EXPECT_EQ(w.grid->GetItemText(4, 3), "3002");
    EXPECT_EQ(w.grid->GetRowCount(), 5);
    w.grid->SetItemState(1, 1, GVIS_READONLY | GVIS_FOCUSED);
    QApplication::clipboard()->setText("new");
    EXPECT_FALSE(w.grid->OnEditPaste());
    EXPECT_EQ(w.grid->GetItemText(1, 1), "0");
}

TEST(GridViewTest, EditCommandsFollowTheirRules)
{
    GridWindow w(4, 4, 1, 1);
    const auto enabled = [&](int id) { return UpdateCommand(*w.grid, id).enabled(); };
    QApplication::clipboard()->setText("x");
    EXPECT_FALSE(enabled(ID_EDIT_COPY));
    EXPECT_FALSE(enabled(ID_EDIT_PASTE)); // no focus cell
    EXPECT_TRUE(enabled(ID_EDIT_SELECT_ALL));
    EXPECT_TRUE(w.grid->OnCmdMsg(ID_EDIT_SELECT_ALL, CmdMsg::Execute, nullptr));
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{1, 1, 3, 3}));
    w.grid->SetFocusCell(2, 2);
    EXPECT_TRUE(enabled(ID_EDIT_COPY));
    EXPECT_TRUE(enabled(ID_EDIT_CUT));
    EXPECT_TRUE(enabled(ID_EDIT_PASTE));
    w.grid->SetItemState(2, 2, w.grid->GetItemState(2, 2) | GVIS_READONLY);
    EXPECT_FALSE(enabled(ID_EDIT_PASTE));
    w.grid->SetEditable(false);
    EXPECT_FALSE(enabled(ID_EDIT_CUT));
    EXPECT_TRUE(enabled(ID_EDIT_COPY));
    w.grid->Settings().selectionEnabled = false;
    EXPECT_FALSE(enabled(ID_EDIT_SELECT_ALL));
}

TEST(GridViewTest, TitleTipShowsTextsThatDoNotFit)
{
    GridWindow w(6, 4, 1, 1);
    const QString longText = QStringLiteral("Коэффициенты пересчета единиц измерения");
    w.grid->SetItemText(2, 2, longText);
    w.grid->SetItemText(3, 2, QStringLiteral("Да"));
    QFont font = w.grid->GetItemFont(2, 2);
    font.setItalic(true);
    w.grid->GetCell(2, 2)->font = font;
    CTitleTip* tip = w.grid->GetTitleTip();

    Hover(w.vp(), w.Center(3, 2));
    EXPECT_FALSE(tip->isVisible());
    Hover(w.vp(), w.Center(2, 2));
    ASSERT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->text(), QLatin1Char(' ') + longText + QLatin1Char(' '));
    EXPECT_EQ(tip->font(), font);
    const QRect cell = w.Bounds(2, 2);
    EXPECT_EQ(tip->geometry().topLeft(), w.vp()->mapToGlobal(cell.topLeft()));
    EXPECT_EQ(tip->height(), cell.height());
    EXPECT_GT(tip->width(), cell.width());
    EXPECT_FALSE(tip->hasFocus());
    EXPECT_TRUE(w.grid->hasFocus());

    // A press on the tip hides it and reaches the cell below.
    QTest::mouseClick(tip, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(2, 2));

    Hover(w.vp(), w.Center(1, 1));
    Hover(w.vp(), w.Center(2, 2));
    ASSERT_TRUE(tip->isVisible());
    w.grid->SetRowCount(60);
    w.grid->SetScrollPosition(Qt::Vertical, 40);
    EXPECT_FALSE(tip->isVisible());
}

// A figure too wide for its cell shows "###" (with the ellipsis format, its beginning and "…"); its
// title tip holds it whole, even where the tip's spaces alone would fit the cell.
TEST(GridViewTest, AFigureTooWideIsMarkedAndItsTipHoldsItWhole)
{
    GridWindow w(4, 3, 1, 1);
    const QString figure = QStringLiteral("101085236071234.4844");
    for (const auto& [row, text, format] : {std::tuple{1, figure, unsigned(GVF_FIGURE)},
                                            {2, figure, GVF_FIGURE | DT_END_ELLIPSIS},
                                            {3, QString("###"), 0u}}) {
        w.grid->SetItemText(row, 1, text);
        w.grid->SetItemFormat(row, 1, format);
    }
    EXPECT_EQ(w.Grab().copy(w.Bounds(1, 1)), w.Grab().copy(w.Bounds(3, 1))) << "drawn as the text ###";
    const QString elided = w.grid->GetShownText(2, 1);
    EXPECT_TRUE(elided.endsWith(QChar(0x2026)) && figure.startsWith(elided.chopped(1))) << elided.toStdString();

    const int whole = w.grid->ColumnContentWidth(1, 1, 1);
    w.grid->SetColumnWidth(1, whole);
    EXPECT_EQ(w.grid->GetShownText(1, 1), figure);
    w.grid->SetColumnWidth(1, whole - 1);
    const QString padded = QLatin1Char(' ') + figure + QLatin1Char(' ');
    ASSERT_LE(QFontMetrics(w.grid->GetItemFont(1, 1)).horizontalAdvance(padded), whole - 1);
    Hover(w.vp(), w.Center(1, 1));
    ASSERT_TRUE(w.grid->GetTitleTip()->isVisible());
    EXPECT_EQ(w.grid->GetTitleTip()->text(), padded);
}
