// In-place editing: keys typed into the grid and its editors, the records the owner sees, and the
// hooks a derived grid overrides.
#include "GridInPlaceEdit.h"
#include "GridTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>

namespace {

// A grid as the forecast editor derives one: own cells, header cells of row 1 edited on a click,
// numbers only in rows 2 and 3.
class DerivedGrid : public CGridView {
public:
    struct Cell : CGridCell { };

    DerivedGrid(int rows, int cols, int fixedRows, int fixedCols, QWidget* parent)
        : CGridView(0, 0, 0, 0, parent)
    {
        SetRowCount(rows);
        SetColumnCount(cols);
        SetFixedRowCount(fixedRows);
        SetFixedColumnCount(fixedCols);
    }

    std::unique_ptr<CGridCell> NewCell(int row, int col) override
    {
        auto cell = std::make_unique<Cell>();
        cell->font = CGridView::NewCell(row, col)->font;
        return cell;
    }
    void OnFixedColumnClick(CCellID cell) override
    {
        if (cell.row == 1 && cell.col >= 2 && cell.col <= 6)
            BeginCellEdit(cell.row, cell.col, VK_LBUTTON);
        else
            CGridView::OnFixedColumnClick(cell);
    }
    QWidget* CreateCellEditor(const QRect& rect, Qt::Alignment style, int id, int row, int col, const QString& text,
                              unsigned key) override
    {
        return new GridInPlaceEdit(viewport(), rect, style, id, row, col, text, key, row == 2 || row == 3);
    }
};

Note Last(const GridHost& host)
{
    return host.notes.empty() ? Note{0, -1, -1} : host.notes.back();
}

} // namespace

TEST(GridEditTest, EditBoxTypedKeysAndEndingKeys)
{
    GridWindow w(5, 6, 1, 1);
    w.grid->SetItemText(1, 1, "12");
    w.grid->SetItemText(1, 2, "34");
    w.grid->SetItemText(1, 3, "56");
    w.grid->SetItemText(2, 2, "1,5");
    w.grid->SetItemData(1, 1, 0, 77);
    w.grid->SetFocusCell(1, 1);

    // A typed digit replaces the text; Right stores it and opens the next cell with its text selected.
    QTest::keyClicks(w.vp(), "7");
    QLineEdit* edit = w.Editor<QLineEdit>();
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->text(), "7");
    QTest::keyClick(edit, Qt::Key_Right);
    EXPECT_EQ(w.grid->GetItemText(1, 1), "7");
    EXPECT_TRUE(w.grid->GetItemState(1, 1) & GVIS_MODIFIED);
    quint32 d1 = 0, d2 = 0;
    w.grid->GetItemDataPair(1, 1, d1, d2);
    EXPECT_EQ(d1, VK_RIGHT);
    EXPECT_EQ(d2, 77u); // the edit box keeps data 2
    EXPECT_NE(std::find(w.host.notes.begin(), w.host.notes.end(), Note{LVN_ENDLABELEDITA, 1, 1}), w.host.notes.end());
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(1, 2));
    edit = w.Editor<QLineEdit>();
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->selectedText(), "34");

    // Escape puts the text back and leaves 27 for the owner; Delete then empties the cell with 0.
    QTest::keyClicks(edit, "9");
    EXPECT_EQ(edit->text(), "9");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(w.grid->GetItemText(1, 2), "34");
    EXPECT_FALSE(w.grid->GetItemState(1, 2) & GVIS_MODIFIED);
    EXPECT_EQ(w.grid->GetItemData(1, 2), VK_ESCAPE);
    EXPECT_EQ(Last(w.host), (Note{LVN_ENDLABELEDITA, 1, 2}));
    EXPECT_EQ(w.grid->GetInPlaceEditor(), nullptr);
    w.host.notes.clear();
    w.Key(Qt::Key_Delete);
    EXPECT_EQ(w.grid->GetItemText(1, 2), "");
    EXPECT_EQ(w.grid->GetItemData(1, 2), 0u);
    EXPECT_EQ(w.host.notes, (std::vector<Note>{{LVN_BEGINLABELEDITA, 1, 2}, {LVN_ENDLABELEDITA, 1, 2}}));

    // Numbers only: one decimal separator, no letters; a typed '%' is a character, not a key.
    struct Case {
        CCellID cell;
        const char* typed;
        QString expected;
    };
    w.grid->SetItemText(3, 3, "8");
    for (const Case& c : {Case{{2, 2}, "\r.", "1,5"}, Case{{2, 2}, "\ra,", "1,5"}, Case{{3, 3}, "a", "8"},
                          Case{{3, 3}, "%", "%"}, Case{{3, 3}, "\r5.2.", "85.2"}}) {
        w.grid->SetFocusCell(c.cell.row, c.cell.col);
        QTest::keyClick(w.vp(), c.typed[0]);
        edit = w.Editor<QLineEdit>();
        ASSERT_TRUE(edit) << c.typed;
        QTest::keyClicks(edit, c.typed + 1);
        EXPECT_EQ(edit->text(), c.expected) << c.typed;
        QTest::keyClick(edit, Qt::Key_Escape);
    }

    // Pasted text is checked too; a focus loss to a popup (the box's menu) keeps the edit open.
    w.grid->SetFocusCell(3, 3);
    w.Key(Qt::Key_Return);
    edit = w.Editor<QLineEdit>();
    ASSERT_TRUE(edit);
    QApplication::clipboard()->setText("1a");
    edit->paste();
    EXPECT_EQ(edit->text(), "8");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(edit, &popup);
    EXPECT_EQ(w.grid->GetInPlaceEditor(), edit);
    QTest::keyClick(edit, Qt::Key_Escape);

    // A double click puts the caret at the end; arrows move it, Ctrl+arrows leave.
    w.DoubleClick(w.Center(1, 3));
    edit = w.Editor<QLineEdit>();
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->cursorPosition(), 2);
    QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(edit->cursorPosition(), 1);
    EXPECT_EQ(w.grid->GetInPlaceEditor(), edit);
    QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(1, 4));
    ASSERT_TRUE(w.Editor<QLineEdit>());
    EXPECT_EQ(w.grid->GetItemData(1, 3), VK_RIGHT);

    // Tab ends the edit and goes on; a resize ends an open edit.
    QTest::keyClick(w.Editor<QLineEdit>(), Qt::Key_Tab);
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(1, 5));
    ASSERT_TRUE(w.Editor<QLineEdit>());
    w.grid->resize(500, 300);
    QApplication::processEvents();
    EXPECT_EQ(w.grid->GetInPlaceEditor(), nullptr);
    EXPECT_EQ(w.grid->GetItemData(1, 5), 0u);
}

TEST(GridEditTest, OwnerChoosesAListOfChoices)
{
    GridWindow w(4, 4, 1, 1);
    w.host.beginReply = 1;
    w.host.options = {QStringLiteral("один"), QStringLiteral("два"), QStringLiteral("три")};
    w.host.optionData = {11, 22, 33};
    w.grid->SetItemText(1, 1, QStringLiteral("два"));
    w.grid->SetItemData(1, 1, 5, 7);
    w.grid->SetFocusCell(1, 1);

    struct Case {
        std::vector<Qt::Key> keys;
        QString text;
        quint32 data1, data2;
    };
    const Case cases[] = {
        {{Qt::Key_Down, Qt::Key_Return}, QStringLiteral("три"), VK_RETURN, 33},
        {{Qt::Key_Up, Qt::Key_Up, Qt::Key_Escape}, QStringLiteral("три"), VK_ESCAPE, 33},
        {{Qt::Key_Left, Qt::Key_Tab}, QStringLiteral("два"), VK_TAB, 22},
    };
    for (const Case& c : cases) {
        w.grid->SetFocusCell(1, 1);
        w.Key(Qt::Key_Return);
        auto* list = w.Editor<QComboBox>();
        ASSERT_TRUE(list);
        EXPECT_EQ(list->count(), 3);
        EXPECT_EQ(list->currentText(), w.grid->GetItemText(1, 1)); // preselected at the cell's text
        for (Qt::Key key : c.keys)
            QTest::keyClick(list, key);
        quint32 d1 = 0, d2 = 0;
        w.grid->GetItemDataPair(1, 1, d1, d2);
        EXPECT_EQ(w.grid->GetItemText(1, 1), c.text);
        EXPECT_EQ(d1, c.data1);
        EXPECT_EQ(d2, c.data2);
    }
    // Tab went on to the next cell, which opened a list of its own.
    EXPECT_EQ(w.grid->GetFocusCell(), CCellID(1, 2));
    EXPECT_TRUE(w.Editor<QComboBox>());
    w.grid->setFocus();

    // Asked for a list with no choices, nothing opens.
    w.host.options.clear();
    w.Key(Qt::Key_Return);
    EXPECT_EQ(w.grid->GetInPlaceEditor(), nullptr);
}

TEST(GridEditTest, DerivedGridHooks)
{
    BasicGridWindow<DerivedGrid> w(6, 8, 2, 2);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 8; ++c)
            ASSERT_TRUE(dynamic_cast<DerivedGrid::Cell*>(w.grid->GetCell(r, c)));
    w.grid->SetItemText(1, 3, QStringLiteral("Норматив"));

    // A click on a header of row 1 edits it, with the caret at the end and letters allowed.
    w.Click(1, 3);
    QLineEdit* edit = w.Editor<QLineEdit>();
    ASSERT_TRUE(edit);
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(edit->text(), QStringLiteral("Нормативx"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(w.grid->GetItemText(1, 3), QStringLiteral("Нормативx"));
    // Other header clicks keep the base behaviour.
    w.Click(1, 7);
    EXPECT_EQ(w.grid->GetSelectionBounds(), (CCellRange{2, 7, 5, 7}));

    for (const auto& [row, expected] : {std::pair(2, QString()), std::pair(4, QStringLiteral("a"))}) {
        w.grid->SetFocusCell(row, 3);
        QTest::keyClicks(w.vp(), "a");
        edit = w.Editor<QLineEdit>();
        ASSERT_TRUE(edit);
        EXPECT_EQ(edit->text(), expected) << row;
        QTest::keyClick(edit, Qt::Key_Escape);
    }
}
