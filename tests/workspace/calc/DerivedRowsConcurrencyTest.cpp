// Two copies of the program at once over the same derived rows: consolidations of one forecast, and
// edits of sibling receivers whose group sums both. Each copy is a process of its own (lir_derived_writer);
// the database's own client judges the rows. A third connection holds the rows both need until both
// are under way, so that they meet every time; then they also start together without it.
#include "CalcTestSupport.h"
#include "ForecastGenerator.h"
#include "db/SqlQuery.h"
#include "tables/ForecastRow.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>

#include <memory>

namespace {

// Receivers: the root, one group with three leaves; products: a top group, three groups of the kinds,
// 24 leaves.
CForecastShape Shape()
{
    return {.receiverGroups = 1,
            .leafReceivers = 3,
            .productGroups = 3,
            .productSubgroups = 0,
            .deepLevels = 0,
            .leafProducts = 24,
            .secondUnitEvery = 0,
            .seed = 5};
}

} // namespace

class DerivedRowsConcurrencyTest : public CalcDbTest {
protected:
    void SetUp() override
    {
        CalcDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QString error;
        const auto generated = GenerateForecast(Shape(), &error);
        ASSERT_TRUE(generated) << error.toStdString();
        g = *generated;
    }
    void TearDown() override
    {
        if (m_blocker.isValid()) {
            m_blocker.close();
            m_blocker = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("blocker"));
        }
        CalcDbTest::TearDown();
    }

    QStringList Connection() const
    {
        if (isPg())
            return {"postgresql",    params().host, QString::number(params().port),
                    params().dbName, params().user, params().password};
        return {"sqlite", params().file};
    }

    std::unique_ptr<QProcess> StartWriter(QStringList args)
    {
        auto writer = std::make_unique<QProcess>();
        writer->start(QStringLiteral(LIR_DERIVED_WRITER_EXE), args << Connection());
        return writer;
    }

    void Finish(std::vector<std::unique_ptr<QProcess>>& writers)
    {
        for (auto& w : writers) {
            ASSERT_TRUE(w->waitForFinished(180000)) << "a writer did not end";
            EXPECT_EQ(w->exitCode(), 0) << w->readAllStandardError().toStdString();
        }
        writers.clear();
    }

    // A connection of its own that takes what the writers need and keeps it until Release: on SQLite
    // the write lock, on a server the statements' row locks (and the program's own locks where it
    // runs the program's statements).
    void Hold(const QStringList& statements)
    {
        if (!m_blocker.isValid()) {
            ASSERT_FALSE(OpenDatabase(params(), QStringLiteral("blocker")));
            m_blocker = QSqlDatabase::database(QStringLiteral("blocker"), false);
        }
        QSqlQuery q(m_blocker);
        ASSERT_TRUE(q.exec(isPg() ? QStringLiteral("begin") : QStringLiteral("begin immediate")))
            << q.lastError().text().toStdString();
        for (const QString& sql : statements)
            ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    // Once `waiting` sessions wait for a lock (on SQLite, after a while: the writers' waits cannot be
    // seen), the held transaction commits.
    void Release(int waiting)
    {
        if (isPg()) {
            QElapsedTimer waited;
            waited.start();
            while (Scalar(QStringLiteral("select count(*) from pg_stat_activity where datname = current_database() "
                                         "and wait_event_type = 'Lock'"))
                           .toInt()
                       < waiting
                   && waited.elapsed() < 30000)
                QThread::msleep(20);
            EXPECT_LT(waited.elapsed(), 30000) << "the writers never waited for the held rows";
        } else {
            QThread::msleep(700);
        }
        QSqlQuery q(m_blocker);
        ASSERT_TRUE(q.exec(QStringLiteral("commit"))) << q.lastError().text().toStdString();
    }

    // Consolidated rows that differ from the sums of the data rows that count (leaves and top-level
    // receivers), and products summed without a consolidated row.
    QStringList WrongTotals()
    {
        QStringList differs;
        for (const QString& c : ForecastFigureColumns().split(QStringLiteral(", ")))
            differs << QStringLiteral("coalesce(t.%1, 0) <> s.%1").arg(c);
        QStringList sums;
        for (const QString& c : ForecastFigureColumns().split(QStringLiteral(", ")))
            sums << QStringLiteral("coalesce(sum(d.%1), 0) as %1").arg(c);
        const QString sql =
            QStringLiteral("select s.product from (select d.product, %1 from tfctprognozdata d join tclsreceiver r on "
                           "r.id = d.receiver where d.prognoz = %2 and (r.isgroup = 0 or r.category = 0) group by "
                           "d.product) s left join tfcttotalprognoz t on t.prognoz = %2 and t.product = s.product "
                           "where t.id is null or %3 order by s.product")
                .arg(sums.join(QStringLiteral(", ")))
                .arg(g.forecast)
                .arg(differs.join(QStringLiteral(" or ")));
        const auto rows = Peer(sql);
        return rows ? *rows : QStringList{peerMissing};
    }

    // The receiver group's rows of the products that differ from the sums of its members' rows.
    QStringList WrongGroupRows(int group, const QList<int>& products)
    {
        QStringList ids;
        for (int p : products)
            ids << QString::number(p);
        QStringList differs;
        for (const char* c : {"sumLast", "sumCurr", "sumNext", "valueLast", "valueCurr", "valueNext"})
            differs << QStringLiteral("coalesce(d.%1, 0) <> (select coalesce(sum(m.%1), 0) from tfctprognozdata m "
                                      "join tclsreceiver r on r.id = m.receiver where r.category = %2 and "
                                      "m.prognoz = d.prognoz and m.product = d.product)")
                           .arg(QLatin1String(c))
                           .arg(group);
        const auto rows = Peer(QStringLiteral("select d.product from tfctprognozdata d where d.prognoz = %1 and "
                                              "d.receiver = %2 and d.product in (%3) and (%4) order by d.product")
                                   .arg(g.forecast)
                                   .arg(group)
                                   .arg(ids.join(u','), differs.join(QStringLiteral(" or "))));
        return rows ? *rows : QStringList{peerMissing};
    }

    CGeneratedForecast g;
    QSqlDatabase m_blocker;
};
LIR_INSTANTIATE_DB_TEST(DerivedRowsConcurrencyTest);

TEST_P(DerivedRowsConcurrencyTest, TwoConsolidationsAtOnceSumEveryRowOnce)
{
    const QStringList once{"consolidate", QString::number(g.forecast), "1"};
    std::vector<std::unique_ptr<QProcess>> writers;
    writers.push_back(StartWriter(once));
    Finish(writers);
    ASSERT_EQ(WrongTotals(), QStringList());
    // A comment keeps its rows through a rebuild: they are zeroed, not deleted.
    for (bool commented : {false, true}) {
        SCOPED_TRACE(commented ? "with a comment" : "without comments");
        if (commented)
            Exec("update tfcttotalprognoz set comment = 'x' where prognoz = ? and product = ?",
                 {g.forecast, g.leafProducts[0]});
        for (int round = 0; round < 3; ++round) {
            Hold({QStringLiteral("update tfcttotalprognoz set lastUpdate = lastUpdate where prognoz = %1")
                      .arg(g.forecast)});
            for (int k = 0; k < 2; ++k)
                writers.push_back(StartWriter(once));
            Release(2);
            Finish(writers);
            EXPECT_EQ(WrongTotals(), QStringList()) << "round " << round;
        }
    }
    // Started together, ten consolidations each.
    for (int k = 0; k < 2; ++k)
        writers.push_back(StartWriter({"consolidate", QString::number(g.forecast), "10"}));
    Finish(writers);
    EXPECT_EQ(WrongTotals(), QStringList());
    EXPECT_EQ(Count("tfcttotalprognoz", "prognoz = ? and comment = 'x'", {g.forecast}), 1);
}

TEST_P(DerivedRowsConcurrencyTest, EditsOfSiblingReceiversBothReachTheirGroupsRows)
{
    const int group = g.receiverGroups[0];
    const int a = g.leafReceivers[0], b = g.leafReceivers[1];
    const int productGroup = g.productGroups[1];
    const QList<int> members = [&] {
        QList<int> ids;
        CSqlQuery q(QStringLiteral("select c.id from tclsproduct c where c.prognoz = ? and c.parent = ? and exists "
                                   "(select 1 from tfctprice p where p.prognoz = c.prognoz and p.product = c.id) "
                                   "order by c.id"));
        q.bind(g.forecast).bind(productGroup);
        EXPECT_TRUE(q.exec());
        while (q.next())
            ids << q.value(0).toInt();
        return ids;
    }();
    ASSERT_GE(members.size(), 2);
    const QList<int> checked = members + QList<int>{productGroup, g.topProduct};
    auto edit = [&](int receiver, int product, int count, int base) {
        return StartWriter({"edit", QString::number(g.forecast), QString::number(receiver), QString::number(product),
                            QString::number(productGroup), QString::number(count), QString::number(base)});
    };

    // Another user's edit holds its member's row and its group sums open while this one's recalculation
    // comes to sum the same group's rows: it sums that edit too once it has committed.
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int round = 0; round < 3; ++round) {
        const int value = 1000 + round;
        QStringList held{QStringLiteral("update tfctprognozdata set sumLast = %1 where prognoz = %2 and receiver = %3 "
                                        "and product = %4")
                             .arg(isPg() ? QString::number(value) : QString::number(value * 10000LL))
                             .arg(g.forecast)
                             .arg(b)
                             .arg(members[1])};
        if (isPg())
            held << QStringLiteral("select count(*) from lir_recalc_receiver_groups(%1, %2, array[%3, %4, %5])")
                        .arg(g.forecast)
                        .arg(b)
                        .arg(members[1])
                        .arg(productGroup)
                        .arg(g.topProduct);
        Hold(held);
        writers.push_back(edit(a, members[0], 1, 500 + round));
        Release(1);
        Finish(writers);
        EXPECT_EQ(WrongGroupRows(group, checked), QStringList()) << "round " << round;
    }
    // Two users typing into sibling receivers at the same moment, twenty entries each, five times over.
    for (int round = 0; round < 5; ++round) {
        writers.push_back(edit(a, members[0], 20, 100 * round));
        writers.push_back(edit(b, members[1], 20, 7 + 100 * round));
        Finish(writers);
        EXPECT_EQ(WrongGroupRows(group, checked), QStringList()) << "round " << round;
    }
}
