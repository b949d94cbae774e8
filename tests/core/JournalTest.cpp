#include "DbTest.h"
#include "Journal.h"
#include "db/SqlQuery.h"

class JournalTest : public DbTest {};
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
    {
        CTransaction tx;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'a', 2026, 0)");
        WriteOpJournalAt(QStringLiteral("no date"), 0, QDateTime());
        EXPECT_EQ(messages.size(), 1u);
        Exec("insert into tFctPrognoz (id, name, year, status) values (2, 'b', 2026, 0)");
        WriteOpJournal(QStringLiteral("kept"));
        EXPECT_TRUE(tx.commit());
    }
    EXPECT_EQ(Count("tFctPrognoz"), 2);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("kept")});
}
