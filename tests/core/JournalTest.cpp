#include "Journal.h"
#include "DbTest.h"
#include "db/SqlQuery.h"
#include "tables/OpJournal.h"
#include "tables/TableCommon.h"

#include <QSqlQuery>

#include <functional>

class JournalTest : public DbTest {
protected:
    // A trigger that refuses the journal line of that text; answers the statement that drops it.
    QString RefuseLine(QSqlQuery& ddl, const char* text)
    {
        if (isPg()) {
            EXPECT_TRUE(ddl.exec(QStringLiteral("create function refuse_line() returns trigger language plpgsql as $$ "
                                                "begin if new.Text = '%1' then raise exception 'line refused'; end if; "
                                                "return new; end $$")
                                     .arg(QLatin1String(text))));
            EXPECT_TRUE(ddl.exec("create trigger refuse_line before insert on tFctOpJournal for each row "
                                 "execute function refuse_line()"));
            return QStringLiteral("drop trigger refuse_line on tFctOpJournal");
        }
        EXPECT_TRUE(ddl.exec(QStringLiteral("create trigger refuse_line before insert on tFctOpJournal when new.Text = "
                                            "'%1' begin select raise(abort, 'line refused'); end")
                                 .arg(QLatin1String(text))));
        return QStringLiteral("drop trigger refuse_line");
    }
};
LIR_INSTANTIATE_DB_TEST(JournalTest);

TEST_P(JournalTest, WritesOnlyWhenSwitchedOn)
{
    WriteOpJournal(QStringLiteral("off"));
    EXPECT_EQ(Count("tFctOpJournal"), 0);

    SetJournal(true);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    WriteOpJournal(QString(300, u'ж'));
    WriteOpJournal(QString(255, u'ы'));
    const QDateTime after = QDateTime::currentDateTime();

    const QStringList texts = JournalTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], QString(254, u'ж'));
    EXPECT_EQ(texts[1], QString(255, u'ы'));

    CSqlQuery q("select Date, Type, UserID from tFctOpJournal order by id");
    ASSERT_TRUE(q.exec());
    const QString login = isPg() ? Scalar("select session_user").toString() : OperatingSystemLogin();
    while (q.next()) {
        const QDateTime d = q.date("Date");
        EXPECT_EQ(d.time().msec(), 0);
        EXPECT_GE(d, before);
        EXPECT_LE(d, after);
        EXPECT_EQ(q.intValue("Type"), 0);
        EXPECT_EQ(q.text("UserID"), login);
        EXPECT_FALSE(login.isEmpty());
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(JournalTest, AFailedLineDoesNotSpoilTheCallersTransaction)
{
    SetJournal(true);
    QSqlQuery ddl(GetDBConnection().GetConnection());
    RefuseLine(ddl, "refused");
    {
        CTransaction tx;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'a', 2026, 0)");
        WriteOpJournalAt(QStringLiteral("refused"), 0, QDateTime::currentDateTime());
        Exec("insert into tFctPrognoz (id, name, year, status) values (2, 'b', 2026, 0)");
        WriteOpJournal(QStringLiteral("kept"));
        EXPECT_TRUE(messages.empty()) << "a message does not hold the transaction open";
        EXPECT_TRUE(tx.commit());
    }
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tFctPrognoz"), 2);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("kept")});
}

// A transport's line carries the time it was handed over; the server takes no time from a program and
// stamps its own.
TEST_P(JournalTest, TheServerStampsALineWithItsOwnTime)
{
    SetJournal(true);
    const QDateTime given(QDate(2001, 2, 3), QTime(4, 5, 6));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    WriteOpJournalAt(QStringLiteral("given"), 1, given);
    WriteOpJournalLines({QStringLiteral("a"), QStringLiteral("b")});
    const QDateTime after = QDateTime::currentDateTime();
    CSqlQuery q("select Date, Type from tFctOpJournal order by id");
    ASSERT_TRUE(q.exec());
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.intValue("Type"), 1);
    if (isPg()) {
        EXPECT_GE(q.date("Date"), before);
        EXPECT_LE(q.date("Date"), after);
    } else {
        EXPECT_EQ(q.date("Date"), given);
    }
    for (int line = 0; line < 2; ++line) {
        ASSERT_TRUE(q.next());
        EXPECT_GE(q.date("Date"), before);
        EXPECT_LE(q.date("Date"), after);
    }
    EXPECT_TRUE(messages.empty());
}

// However many lines one call writes, they are stored in their order, each cut to the column's
// length, with one time and login; a line refused leaves none of them.
TEST_P(JournalTest, TheLinesOfOneCallAreStoredInTheirOrderAllOrNone)
{
    SetJournal(true);
    for (int count : {2, 64, 65, 130}) {
        Exec("delete from tFctOpJournal");
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << (i == count / 2 ? QString(300, u'ж') : QStringLiteral("line %1").arg(i));
        WriteOpJournalLines(lines);
        lines[count / 2] = QString(254, u'ж');
        EXPECT_EQ(JournalTexts(), lines) << count << " lines";
        EXPECT_EQ(Scalar("select count(distinct Date) + count(distinct UserID) from tFctOpJournal").toInt(), 2);
    }
    Exec("delete from tFctOpJournal");
    QSqlQuery ddl(GetDBConnection().GetConnection());
    const QString drop = RefuseLine(ddl, "line 100");
    QStringList lines;
    for (int i = 0; i < 130; ++i)
        lines << QStringLiteral("line %1").arg(i);
    WriteOpJournalLines(lines);
    EXPECT_EQ(Count("tFctOpJournal"), 0);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(ddl.exec(drop));
}

TEST_P(JournalTest, LinesAreListedByTypeOrReadByDaysInIdOrder)
{
    SetJournal(true);
    const QDateTime day(QDate(2026, 4, 10), QTime(0, 0));
    const struct {
        const char* text;
        int type;
        QDateTime date;
    } rows[] = {{"a", 1, day.addSecs(-1)},
                {"b", 0, day},
                {"c", 1, day.addSecs(3600)},
                {"d", 1, day.addDays(1)},
                {"e", 0, day.addDays(1).addSecs(-1)}};
    // Stored as they were written on a file database; the server stamps its own time.
    for (const auto& r : rows)
        Exec("insert into tFctOpJournal (Text, Type, Date) values (?, ?, ?)",
             {QString::fromLatin1(r.text), r.type, r.date});
    const auto read = [](auto&& reader, int stopAfter = 99) {
        QStringList out;
        const bool ok = reader([&](const COpJournalLine& line) {
            out << line.text + u'@' + DateFromValue(line.date).toString(QStringLiteral("dd HH:mm:ss"));
            return out.size() < stopAfter;
        });
        return std::pair(ok, out);
    };
    using Lines = std::pair<bool, QStringList>;
    for (const auto& [type, lines] :
         {std::pair(1, QStringList{"a@09 23:59:59", "c@10 01:00:00", "d@11 00:00:00"}), std::pair(2, QStringList{})}) {
        CPagedSource source = OpJournalLines(type);
        source.cells = [](const QVariantList& v) {
            return QStringList{v[OJC_TEXT].toString() + u'@'
                               + DateFromValue(v[OJC_DATE]).toString(QStringLiteral("dd HH:mm:ss"))};
        };
        CPagedRows rows(std::move(source), {}, 2);
        ASSERT_TRUE(rows.Open());
        QStringList out;
        for (int i = 0; i < rows.count(); ++i)
            out << rows.At(i)->cells;
        EXPECT_EQ(out, lines) << type;
    }
    const auto between = [&](const auto& each) { return ReadOpJournalBetween(day, day.addDays(1), each); };
    EXPECT_EQ(read(between), Lines(true, {"b@10 00:00:00", "c@10 01:00:00", "e@10 23:59:59"}));
    EXPECT_EQ(read(between, 1), Lines(false, {"b@10 00:00:00"})) << "the reader stops the read";
    EXPECT_TRUE(messages.empty());
}

TEST_P(JournalTest, QueuedLinesAreWrittenTogetherAfterTheOutermostCommit)
{
    SetJournal(true);
    // Enough lines for more than one chunk on the server and several blocks of held lines, with the
    // characters an array literal quotes, and longest lines among them.
    QStringList many;
    for (int i = 0; i < 5003; ++i)
        many << (i % 97 ? QStringLiteral("строка %1 \"в кавычках\" \\ {а,б}").arg(i) : QString(255, u'ы'));
    struct Step {
        const char* name;
        std::function<void()> run;
        QStringList written;
    };
    const Step steps[] = {
        {"outside a transaction each line at once",
         [] { QueueJournalLine(QStringLiteral("сразу")); },
         {QStringLiteral("сразу")}},
        {"levels released and rolled back",
         [this] {
             CTransaction outer;
             QueueJournalLine(QStringLiteral("a"));
             {
                 CTransaction kept;
                 QueueJournalLine(QStringLiteral("b"));
                 ASSERT_TRUE(kept.commit());
             }
             {
                 CTransaction dropped;
                 QueueJournalLine(QStringLiteral("x"));
             }
             QueueJournalLine(QStringLiteral("c"));
             EXPECT_EQ(Count("tFctOpJournal"), 0) << "nothing before the commit";
             ASSERT_TRUE(outer.commit());
         },
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
        {"a rolled back transaction writes nothing",
         [] {
             CTransaction outer;
             QueueJournalLine(QStringLiteral("y"));
         },
         {}},
        {"a queued line keeps what a row keeps, counted in characters",
         [] {
             CTransaction outer;
             QueueJournalLine(QString(300, u'ж'));
             QueueJournalLine(QString(255, u'ы'));
             ASSERT_TRUE(outer.commit());
         },
         {QString(254, u'ж'), QString(255, u'ы')}},
        {"many lines in one transaction",
         [&] {
             CTransaction outer;
             for (const QString& line : many)
                 QueueJournalLine(line);
             ASSERT_TRUE(outer.commit());
         },
         many},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.run();
        EXPECT_EQ(JournalTexts(), step.written);
        EXPECT_EQ(Scalar("select count(distinct Date) from tFctOpJournal").toInt(), step.written.isEmpty() ? 0 : 1);
        Exec("delete from tFctOpJournal");
    }
    EXPECT_TRUE(messages.empty());
}

// The lines of one operation are written together once its rows are committed: all of them, or,
// when one of them cannot be, none; the rows stay.
TEST_P(JournalTest, TheLinesOfACommitAreStoredAllOrNone)
{
    SetJournal(true);
    QSqlQuery ddl(GetDBConnection().GetConnection());
    const QString drop = RefuseLine(ddl, "line 3");
    for (const bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "a line refused" : "every line taken");
        Exec("delete from tFctPrognoz");
        messages.clear();
        {
            CTransaction tx;
            for (int i = 1; i <= 5; ++i) {
                Exec("insert into tFctPrognoz (id, name, year, status) values (?, 'f', 2026, 0)", {i});
                QueueJournalLine(QStringLiteral("line %1").arg(i));
            }
            EXPECT_EQ(Count("tFctOpJournal"), 0) << "nothing before the commit";
            ASSERT_TRUE(tx.commit());
        }
        EXPECT_EQ(Count("tFctPrognoz"), 5);
        EXPECT_EQ(GetDBConnection().transactionLevel(), 0);
        if (refused) {
            EXPECT_EQ(Count("tFctOpJournal"), 0);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_TRUE(messages[0].text.contains(QStringLiteral("line refused")));
            ASSERT_TRUE(ddl.exec(drop));
        } else {
            EXPECT_EQ(JournalTexts(), QStringList({"line 1", "line 2", "line 3", "line 4", "line 5"}));
            EXPECT_TRUE(messages.empty());
        }
    }
}
