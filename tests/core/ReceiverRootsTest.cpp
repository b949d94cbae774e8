#include "DbTest.h"
#include "tables/ReceiverRoots.h"

namespace {

class ReceiverRootsTest : public DbTest {
protected:
    void Receiver(int id, int category, const QString& name, int isgroup = 0)
    {
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (?, ?, ?, 0, 0, 0, ?)",
             {id, category, name, isgroup});
    }
    int Category(int id) { return Scalar("select category from tclsreceiver where id = ?", {id}).toInt(); }
};

} // namespace

TEST_P(ReceiverRootsTest, PlaceholderGoesAndItsChildrenBecomeRootsOnce)
{
    Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (1, 'П', 2012, 0, -20, '')");
    Receiver(1, -1, "Заглушка", 1);
    Receiver(2, 1, "Первый", 1);
    Receiver(3, 1, "Второй");
    Receiver(4, 2, "Внук");
    Exec("insert into tclsreceivermap (prognoz, receiver) values (1, 1), (1, 2), (1, 3), (1, 4)");

    ASSERT_TRUE(HasUnplacedReceivers());
    EXPECT_TRUE(RepairReceiverRoots());
    EXPECT_EQ(Count("tclsreceiver", "category = -1"), 0);
    EXPECT_EQ(Count("tclsreceiver", "id = 1"), 0);
    EXPECT_EQ(Category(2), 0);
    EXPECT_EQ(Category(3), 0);
    EXPECT_EQ(Category(4), 2); // deeper levels keep their parents
    EXPECT_EQ(Count("tclsreceivermap"), 3);

    // The next start finds nothing to repair: the tree is not flattened again.
    EXPECT_FALSE(HasUnplacedReceivers());
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiverRootsTest, FailedDeleteLeavesTheTreeAsItWas)
{
    Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (1, 'П', 2012, 0, -20, '')");
    Receiver(1, -1, "Заглушка", 1);
    Receiver(2, 1, "Первый");
    Receiver(5, 0, "Старый корень", 1);
    // A right on the placeholder keeps it from being deleted.
    Exec("insert into tfctuserrights (id, userSID, receiverID, forecastID) values (1, 'x', 1, 1)");

    EXPECT_FALSE(RepairReceiverRoots());
    EXPECT_EQ(Category(1), -1);
    EXPECT_EQ(Category(2), 1);
    EXPECT_EQ(Category(5), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiverRootsTest, DatabaseWithoutPlaceholderNeedsNoRepair)
{
    Receiver(1, 0, "Корень", 1);
    Receiver(2, 1, "Лист");
    EXPECT_FALSE(HasUnplacedReceivers());
}

LIR_INSTANTIATE_DB_TEST(ReceiverRootsTest);
