#include "tables/ReceiverTree.h"
#include "DbTest.h"
#include "Settings.h"
#include "tables/ImportEventTypes.h"
#include "tables/ReceiverMap.h"

#include <QSqlQuery>

#include <set>

class ReceiverTreeTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status, ownername) values "
             "(1, 'src', 2026, 0, 'Минфин'), (2, 'dst', 2026, 0, null), (3, 'own', 2026, 0, 'Минздрав')");
        // Forecast 1: top group 1 with Минфин (group: Школа, Сад) and Больница; Школа has a child.
        Add(1, 0, QStringLiteral("Минфин"), 1, 0);
        Add(2, 1, QStringLiteral("Минфин"), 1, 1);
        Add(3, 2, QStringLiteral("Школа"), 1, 1);
        Add(4, 2, QStringLiteral("Сад"), 0, 2);
        Add(5, 1, QStringLiteral("Больница"), 0, 2);
        Add(6, 3, QStringLiteral("Класс"), 0, 1);
    }

    void Add(int id, int category, const QString& name, int isgroup, int position, int forecast = 1)
    {
        Exec("insert into tClsReceiver (id, category, name, email, position, importedId, type, isgroup) "
             "values (?, ?, ?, '', ?, 0, 1, ?)",
             {id, category, name, position, isgroup});
        Exec("insert into tClsReceiverMap (prognoz, receiver) values (?, ?)", {forecast, id});
    }

    // The forecast's tree as "parent name/name" lines, sorted.
    QStringList Tree(int forecast)
    {
        QStringList out;
        CSqlQuery q("select coalesce(p.name, '-') as parent, r.name from tClsReceiver r "
                    "join tClsReceiverMap m on m.receiver = r.id left join tClsReceiver p on p.id = r.category "
                    "where m.prognoz = ?");
        q.bind(forecast);
        if (q.exec())
            while (q.next())
                out << q.text("parent") + u'/' + q.text("name");
        out.sort();
        return out;
    }
};
LIR_INSTANTIATE_DB_TEST(ReceiverTreeTest);

TEST_P(ReceiverTreeTest, CopyCreatesTheTopGroupAndRepeatsWithoutDuplicates)
{
    SetJournal(true);
    ASSERT_TRUE(CopyReceiverTree(1, 2));
    const QStringList expected = {QStringLiteral("-/ГРБС"),        QStringLiteral("Минфин/Больница"),
                                  QStringLiteral("Минфин/Минфин"), QStringLiteral("Минфин/Сад"),
                                  QStringLiteral("Минфин/Школа"),  QStringLiteral("Школа/Класс")};
    QStringList withRoot = expected;
    withRoot.replaceInStrings(QStringLiteral("Минфин/Минфин"), QStringLiteral("ГРБС/Минфин"));
    withRoot.replaceInStrings(QStringLiteral("Минфин/Больница"), QStringLiteral("ГРБС/Больница"));
    withRoot.sort();
    EXPECT_EQ(Tree(2), withRoot);
    EXPECT_EQ(JournalTexts().first(), QStringLiteral("Insert Receiver; id=7; Name=ГРБС; EMail="));
    const qlonglong rows = Count("tClsReceiver");

    // Found again by name (letter case aside) and parent, and updated in place.
    Exec("update tClsReceiver set name = 'МИНФИН' where id = 2");
    ASSERT_TRUE(CopyReceiverTree(1, 2));
    EXPECT_EQ(Count("tClsReceiver"), rows);
    QStringList renamed = Tree(2).replaceInStrings(QStringLiteral("ГРБС"), QStringLiteral("Минфин"));
    renamed.sort();
    EXPECT_EQ(Tree(1), renamed);
    EXPECT_TRUE(messages.empty());

    // A forecast with an owner gets its top group named after it.
    ASSERT_TRUE(CopyReceiverTree(1, 3));
    EXPECT_EQ(GetForecastRootReceiver(3)->name, QStringLiteral("Минздрав"));
    EXPECT_EQ(GetForecastRootReceiver(3)->isgroup, 1);
}

TEST_P(ReceiverTreeTest, SiblingsOfOneNameBecomeOneRow)
{
    Add(8, 1, QStringLiteral("больница"), 1, 3);
    Add(9, 8, QStringLiteral("Палата"), 0, 1);
    ASSERT_TRUE(CopyReceiverTree(1, 2));
    const int root = GetForecastRootReceiver(2)->id;
    EXPECT_EQ(Count("tClsReceiver", "category = ?", {root}), 2);
    const int hospital =
        Scalar("select id from tClsReceiver where lower(name) = lower('Больница') and category = ?", {root}).toInt();
    EXPECT_EQ(Count("tClsReceiver", "category = ? and name = 'Палата'", {hospital}), 1);
}

TEST_P(ReceiverTreeTest, AChildThatCannotBeSavedIsLeftOutWithItsSubtree)
{
    // Refuses new rows named Школа (the source's stays).
    QSqlQuery ddl(GetDBConnection().GetConnection());
    if (isPg()) {
        ASSERT_TRUE(ddl.exec("create function no_school() returns trigger language plpgsql as $$ begin "
                             "if new.name = 'Школа' and new.id > 6 then raise exception 'refused'; end if; "
                             "return new; end $$"));
        ASSERT_TRUE(ddl.exec("create trigger no_school before insert on tClsReceiver for each row "
                             "execute function no_school()"));
    } else {
        ASSERT_TRUE(ddl.exec("create trigger no_school before insert on tClsReceiver "
                             "when new.name = 'Школа' and new.id > 6 begin select raise(abort, 'refused'); end"));
    }
    ddl.finish();
    EXPECT_FALSE(CopyReceiverTree(1, 2));
    EXPECT_EQ(messages.size(), 1u);
    const QStringList tree = Tree(2);
    EXPECT_TRUE(tree.contains(QStringLiteral("Минфин/Сад"))) << "the sibling after it is copied";
    EXPECT_TRUE(tree.contains(QStringLiteral("ГРБС/Больница")));
    EXPECT_FALSE(tree.contains(QStringLiteral("Школа/Класс")));
    // Nothing of the source's rows was mapped into the target or got new children.
    EXPECT_EQ(Count("tClsReceiverMap", "prognoz = 2 and receiver <= 6"), 0);
    EXPECT_EQ(Count("tClsReceiver", "category = 3"), 1);
}

TEST_P(ReceiverTreeTest, SaveByNameIgnoresCaseAndTakesApostrophes)
{
    CReceiverRecord rec;
    rec.category = 1;
    rec.name = QStringLiteral("МИНФИН");
    rec.email = QStringLiteral("new@x");
    ASSERT_TRUE(SaveReceiverByName(rec));
    EXPECT_EQ(rec.id, 2);
    EXPECT_EQ(Scalar("select email from tClsReceiver where id = 2").toString(), QStringLiteral("new@x"));

    CReceiverRecord quoted;
    quoted.category = 1;
    quoted.name = QStringLiteral("О'Нил");
    ASSERT_TRUE(SaveReceiverByName(quoted));
    const int id = quoted.id;
    quoted.id = -1;
    ASSERT_TRUE(SaveReceiverByName(quoted));
    EXPECT_EQ(quoted.id, id);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiverTreeTest, MovingAmongSiblings)
{
    Add(10, 4, QStringLiteral("a"), 0, 1);
    Add(11, 4, QStringLiteral("b"), 0, 2);
    Add(12, 4, QStringLiteral("c"), 0, 3);
    Add(13, 4, QStringLiteral("d"), 0, 4);
    auto order = [&] {
        QList<QPair<int, int>> out;
        const auto children = LoadReceiverChildren(4, 1);
        for (const auto& r : *children)
            out << qMakePair(r.id, r.position);
        return out;
    };
    MoveReceiverPosition(11, 4, 1, true);
    EXPECT_EQ(order(), (QList<QPair<int, int>>{{11, 3}, {10, 4}, {12, 8}, {13, 10}}));
    MoveReceiverPosition(13, 4, 1, false);
    EXPECT_EQ(order(), (QList<QPair<int, int>>{{11, 4}, {10, 6}, {12, 8}, {13, 13}}));
}

TEST_P(ReceiverTreeTest, TreeHasData)
{
    EXPECT_FALSE(ReceiverTreeHasData(2, 1));
    Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 1, 'p', 0)");
    Exec("insert into tFctPrognozData (prognoz, product, receiver) values (1, 1, 6)");
    EXPECT_TRUE(ReceiverTreeHasData(2, 1)) << "a grandchild has data";
    EXPECT_TRUE(ReceiverTreeHasData(6, 1));
    EXPECT_FALSE(ReceiverTreeHasData(5, 1));
    EXPECT_FALSE(ReceiverTreeHasData(2, 3));
    // A final receiver answers for itself only.
    Exec("update tClsReceiver set isgroup = 0 where id = 3");
    EXPECT_FALSE(ReceiverTreeHasData(3, 1));

    SeedImportEventTypes();
    Exec("insert into tFctImportStatus (prognoz, receiver, comment, envelope, event) values (1, 4, '', '', 1)");
    EXPECT_TRUE(ReceiverTreeHasData(4, 1));
    EXPECT_TRUE(ReceiverTreeHasData(1, 1));
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiverTreeTest, BookWritesOfTheTreeAreAllOrNothing)
{
    // Which children of a group have groups of their own below them.
    const struct {
        int forecast, group;
        std::set<int> expected;
    } subgroups[] = {{1, 1, {2}}, {1, 2, {}}, {1, 3, {}}, {2, 1, {}}};
    for (const auto& c : subgroups)
        EXPECT_EQ(LoadReceiverGroupsWithSubgroups(c.forecast, c.group), c.expected) << c.forecast << "/" << c.group;

    // A new receiver under an element: mapped, and the element becomes a group.
    CReceiverRecord ward;
    ward.category = 5;
    ward.name = QStringLiteral("Палата");
    ASSERT_TRUE(SaveForecastReceiver(ward, 1, 5));
    EXPECT_TRUE(Tree(1).contains(QStringLiteral("Больница/Палата")));
    EXPECT_EQ(Scalar("select isgroup from tClsReceiver where id = 5").toInt(), 1);
    // A map that the database refuses (no forecast 9) takes the saved row back, and the parent stays.
    CReceiverRecord lost;
    lost.category = 4;
    lost.name = QStringLiteral("Ясли");
    EXPECT_FALSE(SaveForecastReceiver(lost, 9, 4));
    EXPECT_EQ(Count("tClsReceiver", "name = ?", {lost.name}), 0);
    EXPECT_EQ(Scalar("select isgroup from tClsReceiver where id = 4").toInt(), 0);
    EXPECT_EQ(messages.size(), 1u);

    // A grandchild that cannot go (a user's right refers to it) keeps the whole group.
    Exec("insert into tFctUserRights (UserSID, ForecastID, ReceiverID) values (?, 1, 6)", {QByteArray("sid")});
    const QStringList before = Tree(1);
    EXPECT_FALSE(RemoveReceiverGroup(2, 1));
    EXPECT_EQ(Tree(1), before);
    EXPECT_EQ(messages.size(), 2u);
    Exec("delete from tFctUserRights");
    // A receiver that another forecast maps too leaves this one's tree only.
    Exec("insert into tClsReceiverMap (prognoz, receiver) values (3, 4)");
    ASSERT_TRUE(RemoveReceiverGroup(2, 1));
    EXPECT_EQ(Tree(1),
              QStringList(
                  {QStringLiteral("-/Минфин"), QStringLiteral("Больница/Палата"), QStringLiteral("Минфин/Больница")}));
    EXPECT_EQ(Count("tClsReceiver", "id in (2, 3, 6)"), 0);
    EXPECT_EQ(Count("tClsReceiver", "id = 4"), 1);
    EXPECT_EQ(messages.size(), 2u);
}
