#include "tables/Mailings.h"
#include "DbTest.h"
#include "Settings.h"

#include <thread>

class MailingsTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0), (2, 'g', 2026, 0)");
    }

    static CMailingRecord Mailing(const QString& subject, std::initializer_list<int> receivers, int prognoz = 1)
    {
        CMailingRecord m;
        m.prognoz = prognoz;
        m.subject = subject;
        m.text = QStringLiteral("текст");
        m.MailingDate = QDateTime(QDate(2026, 2, 3), QTime(10, 20, 30));
        for (int r : receivers)
            m.receivers.push_back({-1, -1, r});
        return m;
    }
};
LIR_INSTANTIATE_DB_TEST(MailingsTest);

TEST_P(MailingsTest, SaveTakesTheRowIdAndSavingAgainAddsOnlyMissingReceivers)
{
    SetJournal(true);
    CMailingRecord m = Mailing(QStringLiteral("Совещание"), {5, 6});
    ASSERT_TRUE(SaveMailing(m));
    EXPECT_EQ(m.id, 1);
    EXPECT_EQ(m.receivers[0].id, -1) << "receivers are saved without taking their ids";
    m.subject = QStringLiteral("Перенос");
    m.receivers.erase(m.receivers.begin());
    m.receivers.push_back({-1, -1, 7});
    ASSERT_TRUE(SaveMailing(m));
    EXPECT_EQ(m.id, 1);
    EXPECT_EQ(Count("tFctMailingReceivers", "MailingID = 1"), 3) << "a receiver taken out keeps its row";
    EXPECT_EQ(
        JournalTexts(),
        QStringList({"Insert MailingReceivers; id=-1; mailingID=1; receiverID=5",
                     "Insert MailingReceivers; id=-1; mailingID=1; receiverID=6",
                     "Insert Mailing; id=1; Subject=Совещание", "Update MailingReceivers; mailingID=1; receiverID=6",
                     "Insert MailingReceivers; id=-1; mailingID=1; receiverID=7", "Update Mailing; Subject=Перенос"}));
    const auto read = GetMailing(1);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->MailingDate, m.MailingDate);
    ASSERT_EQ(read->receivers.size(), 3u);
    EXPECT_EQ(read->receivers[2].receiverID, 7);

    // An id without a row is stored under that id; the next new mailing comes after it.
    CMailingRecord c = Mailing("c", {});
    c.id = 40;
    ASSERT_TRUE(SaveMailing(c));
    CMailingRecord d = Mailing("d", {});
    ASSERT_TRUE(SaveMailing(d));
    EXPECT_EQ(c.id, 40);
    EXPECT_EQ(d.id, 41);
    CMailingReceiverRecord extra{-1, 41, 8};
    ASSERT_TRUE(SaveMailingReceiver(extra, true));
    EXPECT_EQ(extra.id, Scalar("select id from tFctMailingReceivers where ReceiverID = 8").toInt());
    EXPECT_TRUE(messages.empty());
}

TEST_P(MailingsTest, ConcurrentWritersEachGetTheirOwnRowId)
{
    constexpr int kWriters = 3, kPerWriter = 40;
    std::vector<CMailingRecord> saved[kWriters];
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < kPerWriter; ++i) {
                CMailingRecord m = Mailing(QStringLiteral("w%1-%2").arg(w).arg(i), {w + 1});
                if (SaveMailing(m))
                    saved[w].push_back(m);
                else
                    ++failures;
            }
        });
    for (std::thread& t : threads)
        t.join();
    ASSERT_EQ(failures.load(), 0);
    for (const auto& list : saved)
        for (const CMailingRecord& m : list) {
            EXPECT_EQ(Scalar("select Subject from tFctMailing where id = ?", {m.id}).toString(), m.subject);
            EXPECT_EQ(
                Count("tFctMailingReceivers", "MailingID = ? and ReceiverID = ?", {m.id, m.receivers[0].receiverID}),
                1);
        }
}

TEST_P(MailingsTest, ReceiverNamesAndAddresses)
{
    const char* rows[][3] = {
        {"1", "Минфин", "a@x.ru"}, {"2", "", "b@x.ru"}, {"3", "Без почты", ""}, {"4", "Минэк", "d@x.ru"}};
    for (auto& r : rows) {
        Exec("insert into tClsReceiver (id, name, email, importedId, isgroup, category) values (?, ?, ?, 0, 0, 0)",
             {QString(r[0]).toInt(), QString(r[1]), QString(r[2])});
        Exec("insert into tClsReceiverMap (prognoz, receiver) values (1, ?)", {QString(r[0]).toInt()});
    }
    Exec("insert into tClsReceiver (id, name, email, importedId, isgroup, category) values (5, 'Чужой', 'e@x.ru', 0, "
         "0, 0)");
    Exec("insert into tClsReceiverMap (prognoz, receiver) values (2, 5)"); // another forecast's receiver
    const CMailingRecord m = Mailing("s", {1, 2, 5, 3, 4});

    EXPECT_EQ(m.GetReceiverNames(), QStringLiteral("Минфин; ; Без почты; Минэк"));
    EXPECT_EQ(m.GetReceiverAddresses(MailingAddressSeparator("SMTP")), QStringLiteral("a@x.ru, b@x.ru, d@x.ru"));
    EXPECT_EQ(m.GetReceiverAddresses(MailingAddressSeparator("smtp")), QStringLiteral("a@x.ru; b@x.ru; d@x.ru"));
    EXPECT_EQ(Mailing("s", {}).GetReceiverNames(), QString());
    EXPECT_TRUE(messages.empty());
}

TEST_P(MailingsTest, LoadFilterDeleteAndUnreadableRows)
{
    SetJournal(true);
    CMailingRecord a = Mailing("a", {1, 2}), b = Mailing("b", {3}), other = Mailing("other", {4}, 2);
    b.MailingDate = a.MailingDate.addDays(-1);
    ASSERT_TRUE(SaveMailing(a) && SaveMailing(b) && SaveMailing(other));
    Exec("insert into tFctMailing (id, prognoz, Subject, Text, MailingDate) values (9, 1, null, 't', '2026-01-01 "
         "00:00:00')");

    const auto list = LoadMailings(SqlFilter("prognoz = ?", {1}, "MailingDate asc"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u) << "the row without a subject is left out";
    EXPECT_EQ((*list)[0].subject, "b");
    ASSERT_EQ((*list)[0].receivers.size(), 1u);
    EXPECT_EQ((*list)[0].receivers[0].receiverID, 3);
    EXPECT_EQ((*list)[1].receivers.size(), 2u);
    EXPECT_FALSE(GetMailing(9));

    ASSERT_TRUE(DeleteMailing(a));
    EXPECT_EQ(a.id, 0);
    EXPECT_EQ(Count("tFctMailingReceivers", "MailingID = 1"), 0);
    EXPECT_EQ(JournalTexts().last(), "Delete Mailing; id=1; Subject=a");
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(LoadMailings(SqlFilter("nosuchcolumn = ?", {1})));
    EXPECT_EQ(messages.size(), 1u);
}
