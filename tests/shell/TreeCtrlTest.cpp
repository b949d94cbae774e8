#include "DirectoryTreeView.h"
#include "TreeCtrlX.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

QTreeWidgetItem* Add(CTreeCtrlX& tree, QTreeWidgetItem* parent, const QString& text, int data)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
    item->setText(0, text);
    CTreeCtrlX::SetItemData(item, data);
    return item;
}

QTreeWidgetItem* Named(const CTreeCtrlX& tree, const QString& text)
{
    const auto found = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// "text(children)" in depth-first order, data words after a colon where they are not 0.
QString Dump(const QTreeWidgetItem* item)
{
    QString out = item->text(0);
    if (CTreeCtrlX::ItemData(item))
        out += u':' + QString::number(CTreeCtrlX::ItemData(item));
    if (item->childCount() > 0) {
        QStringList children;
        for (int i = 0; i < item->childCount(); ++i)
            children << Dump(item->child(i));
        out += u'(' + children.join(u' ') + u')';
    }
    return out;
}

QString Dump(const CTreeCtrlX& tree)
{
    QStringList top;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        top << Dump(tree.topLevelItem(i));
    return top.join(u' ');
}

QStringList Selected(const CTreeCtrlX& tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(const_cast<CTreeCtrlX*>(&tree)); *it; ++it) {
        if ((*it)->isSelected())
            out << (*it)->text(0);
    }
    return out;
}

QPoint Centre(const CTreeCtrlX& tree, const QTreeWidgetItem* item)
{
    return tree.visualItemRect(item).center();
}

template <class Tree>
std::unique_ptr<Tree> ShownTree(int height = 400)
{
    auto tree = std::make_unique<Tree>();
    tree->resize(300, height);
    return tree;
}

} // namespace

TEST(TreeCtrlXTest, MouseAndKeysSelectLeavesOfOneParent)
{
    auto tree = ShownTree<CTreeCtrlX>();
    QTreeWidgetItem* p1 = Add(*tree, nullptr, "P1", 1);
    for (const char* leaf : {"a", "b", "c", "d", "e"})
        Add(*tree, p1, leaf, 0);
    QTreeWidgetItem* p2 = Add(*tree, nullptr, "P2", 2);
    Add(*tree, p2, "x", 0);
    tree->expandAll();
    tree->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));

    struct Step {
        const char* what; // an item clicked, or a key pressed when key is set
        Qt::KeyboardModifiers modifiers;
        int key;
        QStringList selected;
    };
    const Step steps[] = {
        {"b", Qt::NoModifier, 0, {"b"}},
        {"d", Qt::ControlModifier, 0, {"b", "d"}},
        {"x", Qt::ControlModifier, 0, {"b", "d"}},  // another parent
        {"P1", Qt::ControlModifier, 0, {"b", "d"}}, // a group
        {"d", Qt::ControlModifier, 0, {"b"}},
        {"d", Qt::NoModifier, 0, {"d"}},
        {"b", Qt::ShiftModifier, 0, {"b", "c", "d"}}, // from the anchor upwards
        {"b", Qt::NoModifier, 0, {"b"}},
        {"d", Qt::ShiftModifier, 0, {"b", "c", "d"}},
        {"", Qt::ShiftModifier, Qt::Key_Down, {"b", "c", "d", "e"}},
        {"", Qt::ShiftModifier, Qt::Key_Down, {"b", "c", "d", "e"}}, // P2 is another parent
        {"", Qt::ShiftModifier, Qt::Key_Up, {"b", "c", "d"}},        // back towards the anchor
        {"", Qt::NoModifier, Qt::Key_Down, {"e"}},
        {"", Qt::NoModifier, Qt::Key_Down, {"P2"}},
        {"", Qt::NoModifier, Qt::Key_Shift, {"P2"}}, // a modifier alone keeps the selection
    };
    for (const Step& s : steps) {
        const QString what = QString::fromLatin1(s.what);
        if (s.key)
            QTest::keyClick(tree.get(), Qt::Key(s.key), s.modifiers);
        else
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, s.modifiers, Centre(*tree, Named(*tree, what)));
        EXPECT_EQ(Selected(*tree), s.selected) << what.toStdString() << " key " << s.key;
    }
    EXPECT_EQ(tree->currentItem(), p2);
    EXPECT_EQ(tree->GetFirstSelectedItem(), p2);

    // The multi-selection is ours: the view's own selection rules are off.
    EXPECT_EQ(tree->selectionMode(), QAbstractItemView::NoSelection);
    tree->SetMultiSelect(false);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, Centre(*tree, Named(*tree, "x")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ShiftModifier, Centre(*tree, Named(*tree, "a")));
    EXPECT_EQ(Selected(*tree), QStringList({"a"}));
}

TEST(TreeCtrlXTest, SearchesWalkDepthFirstAndBranchesCopyWhole)
{
    CTreeCtrlX tree;
    QTreeWidgetItem* top = Add(tree, nullptr, "top", 1);
    QTreeWidgetItem* mid = Add(tree, top, "mid", 7);
    QTreeWidgetItem* deep = Add(tree, mid, "deep", 3);
    Add(tree, mid, "lazy", -1);
    QTreeWidgetItem* second = Add(tree, top, "second", 7);
    QTreeWidgetItem* other = Add(tree, nullptr, "other", 9);

    EXPECT_EQ(tree.FindItemByData(7), mid);
    EXPECT_EQ(tree.FindItemByData(99), nullptr);
    QStringList walk;
    for (QTreeWidgetItem* i = tree.topLevelItem(0); i; i = tree.GetNextItemDeep(i))
        walk << i->text(0);
    EXPECT_EQ(walk, QStringList({"top", "mid", "deep", "lazy", "second", "other"}));

    for (QTreeWidgetItem* i : {other, second, deep})
        i->setCheckState(0, Qt::Checked);
    mid->setCheckState(0, Qt::Unchecked);
    QStringList checked;
    for (QTreeWidgetItem* i = tree.GetFirstCheckedItem(); i; i = tree.GetNextCheckedItem(i))
        checked << i->text(0);
    EXPECT_EQ(checked, QStringList({"deep", "second", "other"}));

    // Selection searches: depth-first from an item, then along its siblings only.
    second->setSelected(true);
    other->setSelected(true);
    EXPECT_EQ(tree.GetFirstSelectedItem(), second);
    EXPECT_EQ(tree.GetFirstSelectedItem(deep), nullptr); // below mid only
    EXPECT_EQ(tree.GetNextSelectedItem(mid), second);
    EXPECT_EQ(tree.GetNextSelectedItem(second), nullptr);
    tree.ClearSelection(mid);
    EXPECT_EQ(Selected(tree), QStringList({"other"}));

    const QString before = Dump(tree);
    QTreeWidgetItem* copy = tree.CopyBranch(mid, other);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Dump(tree), before.chopped(QStringLiteral("other:9").size()) + "other:9(mid:7(deep:3 lazy:-1))");
    EXPECT_EQ(copy->checkState(0), Qt::Unchecked);
    EXPECT_EQ(copy->child(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(mid->parent(), top); // the old branch stays
    // Inserted after a given sibling.
    QTreeWidgetItem* after = tree.CopyItem(deep, top, mid);
    EXPECT_EQ(top->indexOfChild(after), 1);

    // Into itself or below itself: nothing.
    EXPECT_EQ(tree.CopyBranch(mid, deep), nullptr);
    EXPECT_EQ(tree.CopyBranch(mid, mid), nullptr);
    EXPECT_EQ(tree.CopyBranch(top, top->child(0)), nullptr);
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
        return answer(targetData);
    }
    void OnTreeContextMenu(const QPoint& globalPos) override { menus.push_back(globalPos); }

    bool allowDrag = true;
    int asked = 0;
    std::function<int(int)> answer = [](int target) { return target; };
    std::vector<std::pair<int, int>> drops;
    std::vector<QPoint> menus;
};

class DirectoryTreeTest : public ::testing::Test {
protected:
    void SetUp() override { Build(); }
    // G and H under the top group R, S a second top group.
    void Build()
    {
        owner.drops.clear();
        owner.asked = 0;
        tree = ShownTree<CDirectoryTreeView>();
        tree->SetOwner(&owner);
        QTreeWidgetItem* root = Add(*tree, nullptr, "R", 1);
        QTreeWidgetItem* g = Add(*tree, root, "G", 2);
        QTreeWidgetItem* g1 = Add(*tree, g, "G1", 3);
        Add(*tree, g1, "G2", 4);
        Add(*tree, root, "H", 5);
        Add(*tree, nullptr, "S", 6);
        tree->expandAll();
        tree->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(tree.get()));
    }

    QPoint At(const QString& name) { return Centre(*tree, Named(*tree, name)); }
    // Presses on one item and drags the mouse over another, without letting go.
    void Drag(const QString& from, const QString& to)
    {
        QWidget* vp = tree->viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, At(from));
        QTest::mouseMove(vp, At(from) + QPoint(QApplication::startDragDistance() + 2, 0));
        QTest::mouseMove(vp, At(to));
    }

    RecordingOwner owner;
    std::unique_ptr<CDirectoryTreeView> tree;
    const QString original = "R:1(G:2(G1:3(G2:4)) H:5) S:6";
};

} // namespace

TEST_F(DirectoryTreeTest, GroupsDropOntoOtherGroupsOnly)
{
    struct Case {
        const char* drag;
        const char* target;
        int answer;
        bool escape;
        size_t drops;
        const char* tree;
    };
    const Case cases[] = {
        {"G", "G2", 5, false, 0, nullptr}, // its own grandchild
        {"G", "G", 5, false, 0, nullptr},  // itself
        {"G", "H", 0, false, 1, nullptr},  // refused by the owner
        {"G", "H", 5, true, 0, nullptr},   // Escape
        {"G", "H", 5, false, 1, "R:1(H:5(G:2(G1:3(G2:4)))) S:6"},
        {"G1", "S", 6, false, 1, "R:1(G:2 H:5) S:6(G1:3(G2:4))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.drag) + " on " + c.target);
        Build();
        owner.answer = [&c](int) { return c.answer; };
        Drag(QString::fromLatin1(c.drag), QString::fromLatin1(c.target));
        ASSERT_TRUE(tree->isDragging());
        ASSERT_NE(tree->dragImage(), nullptr);
        EXPECT_EQ(tree->dragImage()->text(), QString::fromLatin1(c.drag));
        EXPECT_EQ(tree->dragImage()->pos(), At(QString::fromLatin1(c.target)) - QPoint(15, 15));
        const bool allowed = c.drops > 0 || c.escape;
        EXPECT_EQ(tree->viewport()->cursor().shape(), allowed ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
        if (c.escape)
            QTest::keyClick(tree.get(), Qt::Key_Escape);
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, At(QString::fromLatin1(c.target)));
        EXPECT_FALSE(tree->isDragging());
        EXPECT_EQ(tree->dragImage(), nullptr);
        EXPECT_EQ(owner.drops.size(), c.drops);
        EXPECT_EQ(Dump(*tree), c.tree ? QString::fromLatin1(c.tree) : original);
        if (c.tree) {
            EXPECT_EQ(owner.drops.front(), std::make_pair(CTreeCtrlX::ItemData(tree->currentItem()), c.answer));
            EXPECT_EQ(tree->currentItem()->text(0), QString::fromLatin1(c.drag));
            EXPECT_TRUE(tree->currentItem()->isSelected());
        }
    }
}

TEST_F(DirectoryTreeTest, TheTopGroupAndATreeWithoutOwnerOrConsentNeverDrag)
{
    Drag("R", "S");
    EXPECT_FALSE(tree->isDragging());
    EXPECT_EQ(owner.asked, 0);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, At("S"));

    owner.allowDrag = false;
    Drag("G", "S");
    EXPECT_FALSE(tree->isDragging());
    EXPECT_EQ(owner.asked, 1);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, At("S"));

    tree->SetOwner(nullptr);
    Drag("G", "S");
    EXPECT_FALSE(tree->isDragging());
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, At("S"));
    EXPECT_EQ(Dump(*tree), original);
    EXPECT_TRUE(owner.drops.empty());

    // Hiding the tree ends a drag without a drop.
    tree->SetOwner(&owner);
    owner.allowDrag = true;
    Drag("G", "S");
    ASSERT_TRUE(tree->isDragging());
    tree->hide();
    EXPECT_FALSE(tree->isDragging());
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, At("S"));
    EXPECT_TRUE(owner.drops.empty());
}

TEST_F(DirectoryTreeTest, HeldNearTheTopEdgeTheTreeScrollsUp)
{
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int i = 0; i < 60; ++i)
        Add(*tree, root, QStringLiteral("item %1").arg(i), 100 + i);
    tree->resize(300, 150);
    QTest::qWait(20);
    QScrollBar* bar = tree->verticalScrollBar();
    bar->setValue(bar->maximum());
    const int bottom = bar->value();
    ASSERT_GT(bottom, 5);

    QTreeWidgetItem* last = Named(*tree, "item 59");
    QWidget* vp = tree->viewport();
    QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, Centre(*tree, last));
    QTest::mouseMove(vp, Centre(*tree, last) + QPoint(0, -QApplication::startDragDistance() - 2));
    QTest::mouseMove(vp, QPoint(40, 5));
    ASSERT_TRUE(tree->isDragging());
    QTest::qWait(1000);
    EXPECT_LT(bar->value(), bottom);
    EXPECT_NE(tree->dropTarget(), nullptr);
    EXPECT_EQ(tree->dropTarget(), tree->itemAt(QPoint(40, 5)));
    QTest::keyClick(tree.get(), Qt::Key_Escape);
    QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(40, 5));
    EXPECT_TRUE(owner.drops.empty());
}

TEST_F(DirectoryTreeTest, ARightClickMakesTheItemCurrentAndAsksTheOwnerForTheMenu)
{
    const QPoint at = At("H");
    QTest::mouseClick(tree->viewport(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_EQ(tree->currentItem(), Named(*tree, "H"));
    EXPECT_TRUE(tree->currentItem()->isSelected());
    ASSERT_EQ(owner.menus.size(), 1u);
    EXPECT_EQ(owner.menus.front(), tree->viewport()->mapToGlobal(at));
}
