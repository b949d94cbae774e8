#include "DirectoryTreeView.h"
#include "TreeCtrlX.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Builds items from "text:data" words; "(" opens the children of the last item, ")" closes them.
void Fill(CTreeCtrlX& tree, const QString& words)
{
    QTreeWidgetItem* parent = nullptr;
    QTreeWidgetItem* last = nullptr;
    for (const QString& word : words.split(u' ', Qt::SkipEmptyParts)) {
        if (word == "(") {
            parent = last;
        } else if (word == ")") {
            parent = parent->parent();
        } else {
            last = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
            last->setText(0, word.section(u':', 0, 0));
            CTreeCtrlX::SetItemData(last, word.section(u':', 1).toInt());
        }
    }
    tree.expandAll();
}

// The same notation back, data words where they are not 0.
QString Dump(const CTreeCtrlX& tree)
{
    QString out;
    int depth = 0;
    for (QTreeWidgetItem* i = tree.topLevelItem(0); i; i = tree.GetNextItemDeep(i)) {
        int level = 0;
        for (QTreeWidgetItem* p = i->parent(); p; p = p->parent())
            ++level;
        for (; depth > level; --depth)
            out += QStringLiteral(" )");
        for (; depth < level; ++depth)
            out += QStringLiteral(" (");
        out += u' ' + i->text(0);
        if (CTreeCtrlX::ItemData(i))
            out += u':' + QString::number(CTreeCtrlX::ItemData(i));
    }
    for (; depth > 0; --depth)
        out += QStringLiteral(" )");
    return out.trimmed();
}

QTreeWidgetItem* Named(const CTreeCtrlX& tree, const QString& text)
{
    const auto found = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

QStringList Selected(CTreeCtrlX& tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        if ((*it)->isSelected())
            out << (*it)->text(0);
    }
    return out;
}

QPoint At(const CTreeCtrlX& tree, const QString& name)
{
    return tree.visualItemRect(Named(tree, name)).center();
}

} // namespace

TEST(TreeCtrlXTest, MouseAndKeysSelectLeavesOfOneParent)
{
    CTreeCtrlX tree;
    tree.resize(300, 400);
    Fill(tree, "P1 ( a b c d e ) P2 ( x )");
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));

    const struct {
        const char* item; // clicked, or empty for a key
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
        QStringList selected;
    } steps[] = {
        {"b", Qt::NoModifier, Qt::Key_unknown, {"b"}},
        {"d", Qt::ControlModifier, Qt::Key_unknown, {"b", "d"}},
        {"x", Qt::ControlModifier, Qt::Key_unknown, {"b", "d"}},  // another parent
        {"P1", Qt::ControlModifier, Qt::Key_unknown, {"b", "d"}}, // a group
        {"d", Qt::ControlModifier, Qt::Key_unknown, {"b"}},
        {"d", Qt::NoModifier, Qt::Key_unknown, {"d"}},
        {"b", Qt::ShiftModifier, Qt::Key_unknown, {"b", "c", "d"}}, // from the anchor upwards
        {"b", Qt::NoModifier, Qt::Key_unknown, {"b"}},
        {"d", Qt::ShiftModifier, Qt::Key_unknown, {"b", "c", "d"}},
        {"", Qt::ShiftModifier, Qt::Key_Down, {"b", "c", "d", "e"}},
        {"", Qt::ShiftModifier, Qt::Key_Down, {"b", "c", "d", "e"}}, // P2 is another parent
        {"", Qt::ShiftModifier, Qt::Key_Up, {"b", "c", "d"}},        // back towards the anchor
        {"", Qt::NoModifier, Qt::Key_Down, {"e"}},
        {"", Qt::NoModifier, Qt::Key_Down, {"P2"}},
        {"", Qt::NoModifier, Qt::Key_Shift, {"P2"}}, // a modifier alone keeps the selection
    };
    for (const auto& s : steps) {
        if (s.key != Qt::Key_unknown)
            QTest::keyClick(&tree, s.key, s.modifiers);
        else
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, s.modifiers, At(tree, s.item));
        EXPECT_EQ(Selected(tree), s.selected) << s.item << " key " << s.key;
    }
    EXPECT_EQ(tree.currentItem(), Named(tree, "P2"));
}

TEST(TreeCtrlXTest, SearchesWalkDepthFirstAndBranchesCopyWhole)
{
    CTreeCtrlX tree;
    Fill(tree, "top:1 ( mid:7 ( deep:3 lazy:-1 ) second:7 ) other:9");
    QTreeWidgetItem* mid = Named(tree, "mid");
    EXPECT_EQ(tree.FindItemByData(7), mid);
    EXPECT_EQ(tree.FindItemByData(99), nullptr);
    EXPECT_EQ(Dump(tree), "top:1 ( mid:7 ( deep:3 lazy:-1 ) second:7 ) other:9"); // the walk of GetNextItemDeep

    for (const char* name : {"other", "second", "deep"})
        Named(tree, name)->setCheckState(0, Qt::Checked);
    mid->setCheckState(0, Qt::Unchecked);
    QStringList checked;
    for (QTreeWidgetItem* i = tree.GetFirstCheckedItem(); i; i = tree.GetNextCheckedItem(i))
        checked << i->text(0);
    EXPECT_EQ(checked, QStringList({"deep", "second", "other"}));

    // Selection searches: depth-first from an item, then along its siblings only.
    Named(tree, "second")->setSelected(true);
    Named(tree, "other")->setSelected(true);
    EXPECT_EQ(tree.GetFirstSelectedItem(), Named(tree, "second"));
    EXPECT_EQ(tree.GetFirstSelectedItem(Named(tree, "deep")), nullptr);
    EXPECT_EQ(tree.GetNextSelectedItem(mid), Named(tree, "second"));
    tree.ClearSelection(mid);
    EXPECT_EQ(Selected(tree), QStringList({"other"}));

    QTreeWidgetItem* copy = tree.CopyBranch(mid, Named(tree, "other"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Dump(tree), "top:1 ( mid:7 ( deep:3 lazy:-1 ) second:7 ) other:9 ( mid:7 ( deep:3 lazy:-1 ) )");
    EXPECT_EQ(copy->checkState(0), Qt::Unchecked);
    EXPECT_EQ(copy->child(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(tree.topLevelItem(0)->indexOfChild(tree.CopyItem(mid, tree.topLevelItem(0), mid)), 1);
    // Into itself or below itself: nothing.
    EXPECT_EQ(tree.CopyBranch(mid, mid->child(0)), nullptr);
    EXPECT_EQ(tree.CopyBranch(mid, mid), nullptr);
}

namespace {

class RecordingOwner : public CTreeViewOwner {
public:
    bool CanStartDrag() override
    {
        ++asked;
        return allowDrag;
    }
    int OnTreeDrop(int dragData, int targetData) override
    {
        drops.push_back({dragData, targetData});
        return answer;
    }
    void OnTreeContextMenu(const QPoint& globalPos) override { menus.push_back(globalPos); }

    bool allowDrag = true;
    int answer = 0;
    int asked = 0;
    std::vector<std::pair<int, int>> drops;
    std::vector<QPoint> menus;
};

class DirectoryTreeTest : public ::testing::Test {
protected:
    void SetUp() override { Build(); }
    void Build()
    {
        owner = std::make_unique<RecordingOwner>();
        tree = std::make_unique<CDirectoryTreeView>();
        tree->SetOwner(owner.get());
        tree->resize(300, 400);
        Fill(*tree, kTree);
        tree->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));
    }
    // Presses on one item and drags the mouse over another, without letting go.
    void Drag(const QPoint& from, const QPoint& to)
    {
        QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(tree->viewport(), from + QPoint(0, QApplication::startDragDistance() + 1));
        QTest::mouseMove(tree->viewport(), to);
    }

    static constexpr const char* kTree = "R:1 ( G:2 ( G1:3 ( G2:4 ) ) H:5 ) S:6";
    std::unique_ptr<RecordingOwner> owner;
    std::unique_ptr<CDirectoryTreeView> tree;
};

} // namespace

TEST_F(DirectoryTreeTest, GroupsDropOntoOtherGroupsOnly)
{
    enum End { Release, Escape, Hide };
    const struct {
        const char* drag;
        const char* target;
        int owner; // 0 consents, 1 refuses the drag, 2 none
        int answer;
        End end;
        bool dragging;
        size_t drops;
        const char* tree;
    } cases[] = {
        {"G", "H", 0, 5, Release, true, 1, "R:1 ( H:5 ( G:2 ( G1:3 ( G2:4 ) ) ) ) S:6"},
        {"G1", "S", 0, 6, Release, true, 1, "R:1 ( G:2 H:5 ) S:6 ( G1:3 ( G2:4 ) )"},
        {"G", "G2", 0, 5, Release, true, 0, kTree}, // its own grandchild
        {"G", "G", 0, 5, Release, true, 0, kTree},  // itself
        {"G", "H", 0, 0, Release, true, 1, kTree},  // the owner refuses the move
        {"G", "H", 0, 5, Escape, true, 0, kTree},
        {"G", "H", 0, 5, Hide, true, 0, kTree},
        {"R", "S", 0, 6, Release, false, 0, kTree}, // the first top item
        {"G", "H", 1, 5, Release, false, 0, kTree},
        {"G", "H", 2, 5, Release, false, 0, kTree},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.drag) + " on " + c.target + " end " + std::to_string(c.end));
        Build();
        owner->allowDrag = c.owner != 1;
        owner->answer = c.answer;
        if (c.owner == 2)
            tree->SetOwner(nullptr);
        const QPoint target = At(*tree, c.target);
        Drag(At(*tree, c.drag), target);
        ASSERT_EQ(tree->isDragging(), c.dragging);
        if (c.dragging) {
            ASSERT_NE(tree->dragImage(), nullptr);
            EXPECT_EQ(tree->dragImage()->text(), c.drag);
            EXPECT_EQ(tree->dragImage()->pos(), target - QPoint(15, 15));
            const bool allowed = std::string(c.target) == "H" || std::string(c.target) == "S";
            EXPECT_EQ(tree->viewport()->cursor().shape(), allowed ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
        }
        if (c.end == Escape)
            QTest::keyClick(tree.get(), Qt::Key_Escape);
        if (c.end == Hide)
            tree->hide();
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, target);
        EXPECT_FALSE(tree->isDragging());
        EXPECT_EQ(tree->dragImage(), nullptr);
        EXPECT_EQ(owner->drops.size(), c.drops);
        EXPECT_EQ(Dump(*tree), c.tree);
        if (c.tree != kTree) {
            EXPECT_EQ(tree->currentItem()->text(0), c.drag);
            EXPECT_TRUE(tree->currentItem()->isSelected());
            EXPECT_EQ(owner->drops.front(), std::make_pair(CTreeCtrlX::ItemData(tree->currentItem()), c.answer));
        }
    }
}

TEST_F(DirectoryTreeTest, HeldNearTheTopEdgeTheTreeScrollsUpAndARightClickAsksForTheMenu)
{
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int i = 0; i < 60; ++i)
        new QTreeWidgetItem(root, QStringList(QStringLiteral("item %1").arg(i)));
    tree->resize(300, 150);
    QTest::qWait(20);
    QScrollBar* bar = tree->verticalScrollBar();
    bar->setValue(bar->maximum());
    const int bottom = bar->value();
    ASSERT_GT(bottom, 5);

    Drag(At(*tree, "item 59"), QPoint(40, 5));
    ASSERT_TRUE(tree->isDragging());
    QTest::qWait(1000);
    EXPECT_LT(bar->value(), bottom);
    EXPECT_EQ(tree->dropTarget(), tree->itemAt(QPoint(40, 5)));
    QTest::keyClick(tree.get(), Qt::Key_Escape);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 5));
    EXPECT_TRUE(owner->drops.empty());

    const QPoint at = At(*tree, "item 50");
    QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_EQ(tree->currentItem(), Named(*tree, "item 50"));
    EXPECT_TRUE(tree->currentItem()->isSelected());
    ASSERT_EQ(owner->menus.size(), 1u);
    EXPECT_EQ(owner->menus.front(), tree->viewport()->mapToGlobal(at));
}
