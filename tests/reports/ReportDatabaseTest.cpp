// The shipped report database, the header rows and the builder frame, judged by sqlite3.
#include "ReportTestSupport.h"

#include "AppMessage.h"
#include "ReportDatabase.h"
#include "db/DbConnection.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QStringList kReportTables = {"Product",     "ReportForm9", "report",      "reportform1",
                                   "reportform2", "reportform3", "reportform4", "reportform5",
                                   "reportform6", "reportform7", "reportform8"};

class ReportDatabaseTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        GetReportDBConnection().Close();
        if (!HaveProgram(QStringLiteral("sqlite3")))
            GTEST_SKIP() << "sqlite3 is needed to read the report database";
        ASSERT_TRUE(InstallReportDatabase(home()));
    }
    void TearDown() override
    {
        GetReportDBConnection().Close();
        TempHomeTest::TearDown();
    }
    QString file() const { return home() + QStringLiteral("LIRR.db"); }
    QString Query(const QString& sql) { return Sqlite3(file(), sql).value_or(QStringLiteral("<sqlite3 failed>")); }

    // A run of the frame writing rows of reportform4 (seq, name, sumNext), then `after`.
    int Run(std::vector<std::pair<QString, Money>> rows, const std::function<void(CReportFrame&)>& after = {})
    {
        return RunReportFrame([&](CReportFrame& frame) {
            CReportTable& table = frame.Table("reportform4", {"seq", "name", "sumNext"});
            for (const auto& [name, sum] : rows) {
                table << frame.NextSeq() << name << sum;
                table.Write();
            }
            if (after)
                after(frame);
        });
    }
};

TEST_F(ReportDatabaseTest, ShippedWithItsTablesAndNoRows)
{
    const auto tables = Sqlite3(ShippedReportDatabase(), QStringLiteral(".tables"));
    ASSERT_TRUE(tables);
    QStringList listed = tables->split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    listed.sort();
    QStringList expected = kReportTables;
    expected.sort();
    EXPECT_EQ(listed, expected);
    for (const QString& table : kReportTables)
        EXPECT_EQ(*Sqlite3(ShippedReportDatabase(), QStringLiteral("select count(*) from \"%1\"").arg(table)), "0")
            << table.toStdString();
    // Report ids are never handed out twice, not even after the rows went.
    EXPECT_EQ(*Sqlite3(ShippedReportDatabase(),
                       QStringLiteral("select sql like '%AUTOINCREMENT%' from sqlite_master "
                                      "where name = 'report'")),
              "1");
}

TEST_F(ReportDatabaseTest, RunsKeepTheirRowsApartAndFailuresRollBack)
{
    const int first = CreateReportHeader();
    const int second = CreateReportHeader();
    ASSERT_GT(first, 0);
    EXPECT_EQ(second, first + 1);

    // Quotients are written rounded to four decimals; signed unit ids stay signed.
    const int written = RunReportFrame([](CReportFrame& frame) {
        CReportTable& t = frame.Table("reportform1", {"name", "measurementNaturalId", "sumLast", "sumCurr"});
        t << QStringLiteral("Треть") << -1 << *Money::fromDouble(1.0 / 3) << *Money::fromDouble(2.0 / 3);
        t.Write();
        CReportTable& p = frame.Table("Product", {"name", "position"}, "report_id");
        p << QStringLiteral("Строка") << 10;
        p.Write();
    });
    ASSERT_EQ(written, second + 1);
    EXPECT_EQ(Query(QStringLiteral("select name, measurementNaturalId, sumLast, sumCurr from reportform1 "
                                   "where report = %1")
                        .arg(written)),
              "Треть|-1|3333|6667");
    EXPECT_EQ(Query(QStringLiteral("select name, position from Product where report_id = %1").arg(written)),
              "Строка|10");

    struct Failure {
        const char* what;
        std::function<void(CReportFrame&)> after;
    };
    const Failure failures[] = {
        {"a database error", [](CReportFrame& f) { f.Table("reportform4", {"nosuchcolumn"}); }},
        {"an exception of the builder", [](CReportFrame&) { throw std::runtime_error("Сбой построителя"); }},
        {"a row short of a value",
         [](CReportFrame& f) {
             CReportTable& t = f.Table("reportform4", {"seq", "name", "sumNext"});
             t << 1;
             t.Write();
         }},
        {"a money value beyond the range",
         [](CReportFrame& f) {
             f.Table("reportform4", {"seq", "name", "sumNext"}) << 1 << QString() << Money::invalid();
         }},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        messages.clear();
        const QString before = Query(QStringLiteral("select max(id) from report"));
        EXPECT_EQ(
            Run({{QStringLiteral("A"), Money::fromInt(1)}, {QStringLiteral("B"), Money::fromInt(2)}}, failure.after),
            -1);
        const QString header = Query(QStringLiteral("select max(id) from report"));
        EXPECT_EQ(header.toInt(), before.toInt() + 1) << "the header row stays";
        EXPECT_EQ(Query(QStringLiteral("select count(*) from reportform4 where report = %1").arg(header)), "0");
        ASSERT_EQ(messages.size(), 1u) << "the reason is told once";
        EXPECT_EQ(messages[0].flags, unsigned(MB_ICONHAND));
        EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
    }
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Код:")));

    // A sound run after the failures: its rows in the order begun.
    const int good =
        Run({{QStringLiteral("ВСЕГО\nв том числе"), Money::fromInt(3)}, {QStringLiteral("A"), Money::fromInt(1)}});
    ASSERT_GT(good, 0);
    EXPECT_EQ(
        Query(QStringLiteral("select seq || ':' || sumNext from reportform4 where report = %1 order by seq").arg(good)),
        "1:30000\n2:10000");
    // A run with nothing to show answers 0; its header stays.
    EXPECT_EQ(RunReportFrame([](CReportFrame& frame) { frame.SetResult(0); }), 0);
    EXPECT_EQ(Query(QStringLiteral("select max(id) from report")).toInt(), good + 1);
}

TEST_F(ReportDatabaseTest, TextsAreStoredAsGivenRowAfterRow)
{
    // A long text, then shorter ones in the same column: each row keeps only its own text.
    const QString wide = QString(300, QChar(u'Ж')) + QString::fromUtf16(u"\U0001F600");
    const int run = Run({{wide, Money::fromInt(1)},
                         {QStringLiteral("Хлеб"), Money::fromInt(2)},
                         {QString(), Money::fromInt(3)},
                         {QStringLiteral("a"), Money::fromInt(4)}});
    ASSERT_GT(run, 0);
    EXPECT_EQ(Query(QStringLiteral("select length(name), hex(substr(name, 300)), typeof(name) from reportform4 "
                                   "where report = %1 order by seq")
                        .arg(run)),
              "301|D096F09F9880|text\n4||text\n0||text\n1||text");
    EXPECT_EQ(
        Query(QStringLiteral("select group_concat(name, ',') from reportform4 where report = %1 and seq > 1").arg(run)),
        "Хлеб,,a");
}

TEST_F(ReportDatabaseTest, AMissingFileIsToldAndNotCreated)
{
    QFile::remove(file());
    EXPECT_EQ(Run({{QStringLiteral("A"), Money::fromInt(1)}}), -1);
    EXPECT_FALSE(QFileInfo::exists(file()));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONHAND));
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
    EXPECT_FALSE(CleanReportDatabase());
    EXPECT_FALSE(QFileInfo::exists(file()));
}

TEST_F(ReportDatabaseTest, EarlierRunsGoWhenNoOtherCopyUsesTheFile)
{
    QString many;
    for (int i = 0; i < 2000; ++i)
        many += QStringLiteral("x");
    for (int run = 0; run < 20; ++run)
        ASSERT_GT(RunReportFrame([&](CReportFrame& frame) {
                      CReportTable& t = frame.Table("reportform1", {"name"});
                      for (int i = 0; i < 50; ++i) {
                          t << many;
                          t.Write();
                      }
                  }),
                  0);
    GetReportDBConnection().Close();
    const qint64 grown = QFileInfo(file()).size();
    const QString lastId = Query(QStringLiteral("select max(id) from report"));

    // Another running copy holds its mark on the file: nothing goes.
    const int other = ::open(QFile::encodeName(file()).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_SH), 0);
    EXPECT_FALSE(CleanReportDatabase());
    EXPECT_EQ(Query(QStringLiteral("select count(*) from reportform1")), "1000");
    ::close(other);

    EXPECT_TRUE(CleanReportDatabase());
    GetReportDBConnection().Close();
    for (const QString& table : kReportTables)
        EXPECT_EQ(Query(QStringLiteral("select count(*) from \"%1\"").arg(table)), "0") << table.toStdString();
    EXPECT_LT(QFileInfo(file()).size(), grown / 4);
    // Ids go on from where they were.
    EXPECT_EQ(CreateReportHeader(), lastId.toInt() + 1);
}

} // namespace
