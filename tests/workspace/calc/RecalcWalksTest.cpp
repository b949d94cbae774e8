#include "RecalcWalks.h"
#include "CalcTestSupport.h"
#include "ForecastGenerator.h"
#include "RecalcCommands.h"
#include "RecalcReference.h"
#include "tables/ReceiverMap.h"
#include "tables/SystemUsers.h"

#include <algorithm>
#include <functional>

#include <unistd.h>

namespace {

// Four receiver levels with leaves on two of them, groups of all kinds over three levels and a deeper
// branch, members in two further units, leaves without a price row, about a quarter of the rows
// missing, and enough products that whole receivers are read rather than products one by one.
CForecastShape SmallShape()
{
    return {.receiverGroups = 2,
            .receiverSubgroups = 2,
            .leafReceivers = 10,
            .directLeafEvery = 4,
            .productGroups = 2,
            .productSubgroups = 2,
            .leafProducts = 72,
            .secondUnitEvery = 3,
            .unpricedEvery = 7,
            .missingRowEvery = 4,
            .seed = 17};
}

void ExpectDone(const RecalcOutcome& outcome)
{
    EXPECT_EQ(outcome.result, RECALC_DONE);
    EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.join(u'\n').toStdString();
}

} // namespace

class RecalcWalksTest : public CalcDbTest {
protected:
    void Generate(const CForecastShape& shape)
    {
        QString error;
        const auto generated = GenerateForecast(shape, &error);
        ASSERT_TRUE(generated) << error.toStdString();
        g = *generated;
    }

    // A consolidated forecast with a third of the products missing.
    void Consolidate()
    {
        QStringList sums;
        for (const QString& c : ForecastFigureColumns().split(QStringLiteral(", ")))
            sums << QStringLiteral("sum(%1)").arg(c);
        Exec(QStringLiteral("insert into tfcttotalprognoz (prognoz, product, %1, lastUpdate, comment, base, "
                            "baseMethod) select prognoz, product, %2, '2026-01-02 03:04:05', '', '', 0 "
                            "from tfctprognozdata where product % 3 <> 0 group by prognoz, product")
                 .arg(ForecastFigureColumns(), sums.join(QStringLiteral(", "))));
    }

    CGeneratedForecast g;
};
LIR_INSTANTIATE_DB_TEST(RecalcWalksTest);

TEST_P(RecalcWalksTest, WalksAgreeWithTheRowByRowRules)
{
    Generate(SmallShape());
    Consolidate();
    SaveSnapshot();
    SetJournal(true);
    const int f = g.forecast;
    const int subgroup = g.receiverGroups.back(); // a receiver group below a receiver group
    const int leaf = g.leafReceivers.front();     // below a subgroup
    const int middle = g.productGroups[1];        // a group below the top one
    struct Scenario {
        const char* name;
        std::function<RecalcOutcome()> walk;
        std::function<void()> reference;
    };
    const Scenario scenarios[] = {
        {"whole forecast",
         [&] {
             return RecalcForecastThread({nullptr, nullptr, f, leaf});
         },
         [&] { Reference::WholeForecast(f); }},
        {"groups of a receiver group",
         [&] {
             return RecalcGroupsThread({nullptr, nullptr, f, g.receiverGroups[0]});
         },
         [&] { Reference::GroupRows(f, g.receiverGroups[0]); }},
        {"groups of a leaf",
         [&] {
             return RecalcGroupsThread({nullptr, nullptr, f, leaf});
         },
         [&] { Reference::GroupRows(f, leaf); }},
        {"groups of the consolidated forecast",
         [&] {
             return RecalcGroupsThread({nullptr, nullptr, f, 0});
         },
         [&] { Reference::GroupRows(f, 0); }},
        {"after an edit below a subgroup", [&] { return RecalcEditedGroup(f, leaf, g.deepGroup); },
         [&] { Reference::AfterEdit(f, leaf, g.deepGroup); }},
        {"after an edit by a subgroup", [&] { return RecalcEditedGroup(f, subgroup, middle); },
         [&] { Reference::AfterEdit(f, subgroup, middle); }},
        {"after an edit in the consolidated forecast", [&] { return RecalcEditedGroup(f, 0, g.deepGroup); },
         [&] { Reference::AfterEdit(f, 0, g.deepGroup); }},
        {"node of a receiver group",
         [&] {
             RecalcProgressHolder none;
             return RecalcGroupNode(f, g.receiverGroups[0], middle, none);
         },
         [&] { Reference::Node(f, g.receiverGroups[0], middle); }},
    };
    const QStringList before = DumpRows();
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        RestoreSnapshot();
        ExpectDone(s.walk());
        const QStringList walked = DumpRows();
        const QStringList walkJournal = TakeJournal();
        RestoreSnapshot();
        s.reference();
        ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
        EXPECT_EQ(walked, DumpRows());
        EXPECT_EQ(walkJournal, TakeJournal()) << "the same rows saved, one journal line each";
        EXPECT_NE(walked, before);
    }
}

TEST_P(RecalcWalksTest, ReceiverGroupRowsSumAllLeavesBelowIt)
{
    // root -> G1 -> G2 -> four leaves, and a fifth leaf directly below G1.
    CForecastShape shape = SmallShape();
    shape.receiverGroups = 1;
    shape.receiverSubgroups = 1;
    shape.leafReceivers = 5;
    shape.directLeafEvery = 5;
    Generate(shape);
    const int g1 = g.receiverGroups[0];
    QStringList leaves;
    for (int id : g.leafReceivers)
        leaves << QString::number(id);
    const QString ownLeafRows = QStringLiteral("select product, %1, %2, %3 from tfctprognozdata where receiver = %4 "
                                               "and product in (select id from tclsproduct where isgroup = 0) "
                                               "order by product")
                                    .arg(Raw("sumLast"), Raw("valueNext"), Raw("sumNorm"))
                                    .arg(g.root);
    PEER_ROWS(rootBefore, ownLeafRows);

    ExpectDone(RecalcForecastThread({nullptr, nullptr, g.forecast, g.root}));
    // The rows written anew are counted in the planner's statistics: the edits after it are planned
    // on them.
    EXPECT_GT(Scalar(isPg() ? "select reltuples from pg_class where relname = 'tfctprognozdata'"
                            : "select count(*) from sqlite_stat1 where lower(tbl) = 'tfctprognozdata'")
                  .toDouble(),
              0);

    QStringList six;
    QStringList sixSums;
    for (const char* c : {"sumLast", "sumCurr", "sumNext", "valueLast", "valueCurr", "valueNext"}) {
        six << Raw(QLatin1String(c));
        sixSums << QStringLiteral("coalesce(sum(%1), 0)").arg(Raw(QLatin1String(c)));
    }
    // Every priced product, groups included; a product without leaf rows sums to 0.
    PEER_ROWS(expected,
              QStringLiteral("select pr.product, %1 from tfctprice pr left join tfctprognozdata d on "
                             "d.product = pr.product and d.prognoz = pr.prognoz and d.receiver in (%2) "
                             "where pr.prognoz = %3 group by pr.product order by pr.product")
                  .arg(sixSums.join(u','), leaves.join(u','))
                  .arg(g.forecast));
    PEER_ROWS(actual,
              QStringLiteral("select pr.product, %1 from tfctprice pr join tfctprognozdata d on "
                             "d.product = pr.product and d.prognoz = pr.prognoz and d.receiver = %2 "
                             "where pr.prognoz = %3 order by pr.product")
                  .arg(six.join(u','))
                  .arg(g1)
                  .arg(g.forecast));
    EXPECT_EQ(*actual, *expected) << "a row for every priced product";
    PEER_ROWS(rootAfter, ownLeafRows);
    EXPECT_EQ(*rootAfter, *rootBefore) << "the root keeps its own entered rows";
}

TEST_P(RecalcWalksTest, RunsThatFindNothingToDoChangeNothing)
{
    Generate(SmallShape());
    const QStringList before = DumpRows();
    struct Case {
        const char* name;
        std::function<RecalcOutcome()> run;
        int result;
    };
    const Case cases[] = {
        {"whole forecast in the consolidated view",
         [&] {
             return RecalcForecastThread({nullptr, nullptr, g.forecast, 0});
         },
         RECALC_CONSOLIDATED},
        {"a receiver that is not in the forecast",
         [&] {
             return RecalcGroupsThread({nullptr, nullptr, g.forecast, 9999});
         },
         RECALC_NOTHING},
        {"an edit of a group that does not exist", [&] { return RecalcEditedGroup(g.forecast, g.root, 9999); },
         RECALC_NOTHING},
        {"a forecast without a root receiver",
         [&] {
             Exec("delete from tclsreceivermap where receiver = ?", {g.root});
             return RecalcForecastThread({nullptr, nullptr, g.forecast, g.leafReceivers[0]});
         },
         RECALC_NO_ROOT},
        {"a forecast without a top product",
         [&] {
             Exec("delete from tfctprice where product = ?", {g.topProduct});
             return RecalcGroupsThread({nullptr, nullptr, g.forecast, g.leafReceivers[0]});
         },
         RECALC_NOTHING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecalcOutcome outcome = c.run();
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.join(u'\n').toStdString();
        EXPECT_EQ(DumpRows(), before);
    }
}

TEST_P(RecalcWalksTest, AnErrorEndsTheRun)
{
    Generate(SmallShape());
    // A member of the top group in a unit without a pair: every receiver's walk fails at its last
    // group, the groups below it are saved already; the whole forecast fails before it writes.
    Exec("insert into tclsmeasurement (id, name, type) values (9100, 'шт', 2)");
    const int odd = CGeneratedForecast::ProductId(g.forecast, 500);
    Exec("insert into tclsproduct (prognoz, id, parent, measurementPrice, name, position, type, isgroup, offsetMin, "
         "offsetMax, avRep, avCur, avProg, priceIdx) values (?, ?, ?, 9100, 'Штучный', 99, 1, 0, 0, 0, 0, 0, 0, 0)",
         {g.forecast, odd, g.topProduct});
    Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, 0, 0, 0)",
         {g.forecast, odd});
    SaveSnapshot();
    const QStringList before = DumpRows();
    const struct {
        const char* name;
        std::function<RecalcOutcome()> run;
        bool rowsStay;
    } cases[] = {
        {"whole forecast",
         [&] {
             return RecalcForecastThread({nullptr, nullptr, g.forecast, g.root});
         },
         true},
        {"groups of a leaf",
         [&] {
             return RecalcGroupsThread({nullptr, nullptr, g.forecast, g.leafReceivers.front()});
         },
         false},
        // The edited group's row and its ancestors' below the top group are written together, and stay.
        {"an edit below the top group",
         [&] { return RecalcEditedGroup(g.forecast, g.leafReceivers.front(), g.deepGroup); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestoreSnapshot();
        const RecalcOutcome outcome = c.run();
        EXPECT_EQ(outcome.result, RECALC_STOPPED);
        EXPECT_EQ(outcome.errors, QStringList{QStringLiteral("Не задана единица пересчёта из 'шт' в 'руб.'")});
        EXPECT_EQ(DumpRows() == before, c.rowsStay);
    }

    // A failure of the category sums carries the database's own text.
    const CReceiverRecord root = *GetForecastReceiver(g.root, g.forecast);
    ExecText(QStringLiteral("alter table tclsreceiver rename to tclsreceiver_gone"));
    CForecastDataRecord row;
    row.prognoz = g.forecast;
    const CCalcStatus status = GetCategoryForecastSums(*GetProduct(g.topProduct, g.forecast), row, root);
    ASSERT_FALSE(status) << "no error";
    EXPECT_TRUE(status.message().contains(QStringLiteral("tclsreceiver"))) << status.message().toStdString();
    EXPECT_TRUE(messages.empty()) << "a run shows nothing itself";
}

// On a server a user's login writes its granted receiver's rows; the groups above it are summed by
// the server over every member, also those the user may neither read nor write, as the program
// sums them for an expert.
class RecalcServerUserTest : public RecalcWalksTest {
protected:
    void TearDown() override
    {
        static_cast<void>(GetDBConnection().ConnectWith(params()));
        CSessionState owner;
        static_cast<void>(ReadSessionLogin(owner));
        if (!m_login.isEmpty()) {
            ExecAsAdmin(QStringLiteral("revoke all on database %1 from %2").arg(params().dbName, m_login));
            ExecAsAdmin(QStringLiteral("drop role %1").arg(m_login));
        }
        RecalcWalksTest::TearDown();
    }
    QString m_login;
};
INSTANTIATE_TEST_SUITE_P(Server, RecalcServerUserTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

TEST_P(RecalcServerUserTest, AUserWritesItsReceiverAndTheServerSumsTheGroupsAbove)
{
    Generate(SmallShape());
    const int f = g.forecast;
    const int leaf = g.leafReceivers.front(); // below a subgroup below a group below the root
    const int other = g.leafReceivers.back();
    QList<int> path;
    for (int id = leaf; id > 0; id = Scalar("select category from tclsreceiver where id = ?", {id}).toInt())
        path.prepend(id);
    ASSERT_EQ(path.size(), 4);
    SetJournal(true);
    SaveSnapshot();
    Reference::AfterEdit(f, leaf, g.deepGroup);
    const QStringList expected = DumpRows();
    const QStringList expectedJournal = TakeJournal();
    RestoreSnapshot();

    m_login = QStringLiteral("calc_user_%1").arg(getpid());
    Exec("select lir_user_save(?, 'user-secret', 4)", {m_login});
    Exec("insert into tfctuserrights (UserSID, ForecastID, ReceiverID) values (convert_to(?, 'UTF8'), ?, ?)",
         {m_login, f, leaf});
    DbConnectParams user = params();
    user.host = qEnvironmentVariable("PGTEST_TCPHOST", QStringLiteral("127.0.0.1"));
    user.user = m_login;
    user.password = QStringLiteral("user-secret");
    ASSERT_TRUE(GetDBConnection().ConnectWith(user));
    CSessionState session;
    ASSERT_TRUE(ReadSessionLogin(session));
    EXPECT_EQ(session.userRoles, ROLE_USER);

    // Its lists: the granted receiver and the groups above it.
    QList<int> listed;
    for (const CReceiverRecord& r : LoadForecastTreeReceivers(f).value_or(CReceiverList()))
        listed << r.id;
    std::sort(listed.begin(), listed.end());
    QList<int> sortedPath = path;
    std::sort(sortedPath.begin(), sortedPath.end());
    EXPECT_EQ(listed, sortedPath);
    EXPECT_EQ(LoadReceiverChildren(path[2], f).value_or(CReceiverList()).size(), 1u);
    EXPECT_TRUE(MayWriteReceiverData(f, leaf));
    EXPECT_FALSE(MayWriteReceiverData(f, other));
    EXPECT_EQ(GetEditedReceiverId(f), leaf);

    ExpectDone(RecalcEditedGroup(f, leaf, g.deepGroup));
    // Another receiver's row is refused by the server.
    CForecastDataRecord foreign = GetOrNewForecastData({f, other, g.deepLeaf});
    foreign.sumLast = Money::fromRaw(10000);
    EXPECT_FALSE(SaveForecastData(foreign, true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("row-level security"))) << messages[0].text.toStdString();

    ASSERT_TRUE(GetDBConnection().ConnectWith(params()));
    EXPECT_EQ(DumpRows(), expected);
    EXPECT_EQ(TakeJournal(), expectedJournal) << "the same journal lines as the program's own sums write";
}
