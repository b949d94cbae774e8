#include "tables/ReceiverRoots.h"
#include "DbTest.h"

#include <map>

namespace {

// id -> category
using Tree = std::map<int, int>;

class ReceiverRootsTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (1, 'П', 2012, 0, -20, '')");
        Exec("insert into tclsimporteventtype (id, name) values (1, 'Получено')");
    }
    // Each receiver mapped to the forecast, with a data row and an exchange-journal row on the first.
    void Arrange(const Tree& tree)
    {
        for (const auto& [id, category] : tree) {
            Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                 "values (?, ?, ?, 0, ?, 1, 1)",
                 {id, category, QStringLiteral("Получатель %1").arg(id), id * 10});
            Exec("insert into tclsreceivermap (prognoz, receiver) values (1, ?)", {id});
        }
        const int first = tree.begin()->first;
        Exec("insert into tclsproduct (prognoz, id, name, isgroup) values (1, 1, 'Товар', 0)");
        Exec("insert into tfctprognozdata (prognoz, product, receiver) values (1, 1, ?)", {first});
        Exec("insert into tfctimportstatus (prognoz, receiver, event, comment) values (1, ?, 1, 'НСИ')", {first});
    }
    Tree Stored()
    {
        Tree tree;
        for (int id = 1; id <= 9; ++id) {
            const QVariant category = Scalar("select category from tclsreceiver where id = ?", {id});
            if (category.isValid())
                tree[id] = category.toInt();
        }
        return tree;
    }
    void ExpectNothingLost(size_t receivers)
    {
        EXPECT_EQ(Count("tclsreceiver"), qlonglong(receivers));
        EXPECT_EQ(Count("tclsreceivermap"), qlonglong(receivers));
        EXPECT_EQ(Count("tfctprognozdata"), 1);
        EXPECT_EQ(Count("tfctimportstatus"), 1);
    }
};

} // namespace

// A tree kept below a receiver at -1 with nothing at the top: its children come up, the receiver at
// -1 stays with its rows, and the next start finds nothing to do.
TEST_P(ReceiverRootsTest, OldTreeGetsItsTopLevelOnce)
{
    SetJournal(true);
    Arrange({{1, -1}, {2, 1}, {3, 1}, {4, 2}});
    ASSERT_TRUE(HasUnplacedReceivers());
    EXPECT_TRUE(RepairReceiverRoots());
    const Tree repaired = {{1, -1}, {2, 0}, {3, 0}, {4, 2}};
    EXPECT_EQ(Stored(), repaired);
    ExpectNothingLost(4);
    const QStringList journal = JournalTexts();
    ASSERT_EQ(journal.size(), 2);
    EXPECT_EQ(journal[0], "Update Receiver; Name=Получатель 2; EMail=");
    EXPECT_EQ(journal[1], "Update Receiver; Name=Получатель 3; EMail=");

    EXPECT_TRUE(RepairReceiverRoots());
    EXPECT_EQ(Stored(), repaired);
    EXPECT_EQ(JournalTexts().size(), 2);
    EXPECT_TRUE(messages.empty());
}

// The trees this program writes are never touched: the reference-data import keeps the organisation
// above at -1 beside a tree that has its top level.
TEST_P(ReceiverRootsTest, TreesWithATopLevelStayAsTheyAre)
{
    const struct {
        const char* name;
        Tree tree;
    } cases[] = {
        {"organisation above beside the own tree", {{1, -1}, {2, 0}, {3, 2}}},
        {"own receiver first, organisation above later", {{1, 0}, {2, 1}, {3, -1}}},
        {"organisation above alone", {{1, -1}}},
        {"a top level and a receiver at -1 with a child", {{1, -1}, {2, 1}, {3, 0}}},
        {"no receiver at -1", {{1, 0}, {2, 1}}},
    };
    SetJournal(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Exec("delete from tfctimportstatus");
        Exec("delete from tfctprognozdata");
        Exec("delete from tclsproduct");
        Exec("delete from tclsreceivermap");
        Exec("delete from tclsreceiver");
        Arrange(c.tree);
        EXPECT_TRUE(RepairReceiverRoots());
        EXPECT_EQ(Stored(), c.tree);
        ExpectNothingLost(c.tree.size());
    }
    EXPECT_TRUE(JournalTexts().empty());
    EXPECT_TRUE(messages.empty());
}

LIR_INSTANTIATE_DB_TEST(ReceiverRootsTest);
