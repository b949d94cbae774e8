#include "tables/ImportStatus.h"
#include "DbTest.h"
#include "tables/ImportEventTypes.h"

class ImportStatusTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        SeedImportEventTypes();
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'a', 2026, 0), (2, 'b', 2026, 0)");
        Exec("insert into tClsReceiver (id, category, name, importedId, isgroup) values "
             "(1, 0, 'Минфин', 0, 1), (2, 1, 'Школа', 0, 0)");
    }

    CImportStatusRecord Saved(int prognoz, int receiver, int event, const QString& comment = QStringLiteral("Прогноз"))
    {
        CImportStatusRecord rec;
        rec.prognoz = prognoz;
        rec.receiver = receiver;
        rec.event = event;
        rec.comment = comment;
        EXPECT_TRUE(SaveImportStatus(rec));
        return rec;
    }
};
LIR_INSTANTIATE_DB_TEST(ImportStatusTest);

TEST_P(ImportStatusTest, EventDecidesWhichDateIsStored)
{
    const QDateTime when(QDate(2026, 2, 3), QTime(4, 5, 6));
    CImportStatusRecord received;
    received.prognoz = 1;
    received.receiver = 2;
    received.event = IEK_RECEIVED;
    received.send = received.received = when;
    ASSERT_TRUE(SaveImportStatus(received));
    EXPECT_TRUE(received.send.isNull());
    const auto sent = Saved(1, 2, IEK_SEND_FAILED);
    const auto other = Saved(1, 2, IEK_DATA_CORRECT);

    auto r = GetImportStatus(received.id, 1);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->send.isValid());
    EXPECT_EQ(r->received, when);
    r = GetImportStatus(sent.id, 1);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->received.isValid());
    EXPECT_EQ(r->send, sent.send);
    r = GetImportStatus(other.id, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->send, other.send);
    EXPECT_EQ(r->received, other.received);
    EXPECT_TRUE(r->send.isValid());
    EXPECT_EQ(r->comment, QStringLiteral("Прогноз"));
    EXPECT_FALSE(GetImportStatus(other.id, 2)) << "the row belongs to forecast 1";
}

TEST_P(ImportStatusTest, IdsJournalAndDelete)
{
    SetJournal(true);
    auto rec = Saved(1, 2, IEK_SENT);
    EXPECT_EQ(rec.id, 1);
    rec.comment = QStringLiteral("НСИ");
    ASSERT_TRUE(SaveImportStatus(rec));
    EXPECT_EQ(rec.id, 1);

    // An id without a row in its forecast is inserted under that id; later rows come after it.
    CImportStatusRecord given;
    given.id = 40;
    given.prognoz = 2;
    given.receiver = 1;
    given.event = IEK_SENT;
    ASSERT_TRUE(SaveImportStatus(given));
    EXPECT_EQ(given.id, 40);
    const auto next = Saved(2, 1, IEK_SENT);
    EXPECT_EQ(next.id, 41);

    EXPECT_TRUE(CountImportStatus(2, 1));
    EXPECT_FALSE(CountImportStatus(2, 2));
    ASSERT_TRUE(DeleteImportStatus(rec));
    EXPECT_EQ(rec.id, -1);
    EXPECT_FALSE(CountImportStatus(2, 1));

    EXPECT_EQ(JournalTexts(),
              (QStringList{QStringLiteral("Insert importstatus; id=1; prognoz=1; receiver=2"),
                           QStringLiteral("Update importstatus; prognoz=1; receiver=2"),
                           QStringLiteral("Insert importstatus; id=40; prognoz=2; receiver=1"),
                           QStringLiteral("Insert importstatus; id=41; prognoz=2; receiver=1"),
                           QStringLiteral("Delete importstatus; id=1; prognoz=1; receiver=2")}));
    EXPECT_EQ(Scalar("select comment from tFctImportStatus where id = 1").toString(), QString());
    EXPECT_TRUE(messages.empty());
}

TEST_P(ImportStatusTest, LoadAppliesTheCondition)
{
    Saved(1, 2, IEK_SENT, QStringLiteral("один"));
    Saved(2, 2, IEK_SENT);
    Saved(1, 1, IEK_RECEIVED, QStringLiteral("два"));
    Saved(2, 1, IEK_RECEIVED);

    auto list = LoadImportStatus(SqlFilter(QStringLiteral("prognoz = ?"), {1}, QStringLiteral("i.id")));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].comment, QStringLiteral("один"));
    EXPECT_EQ((*list)[1].comment, QStringLiteral("два"));
    for (const auto& rec : *list)
        EXPECT_EQ(rec.prognoz, 1);

    list = LoadImportStatus(SqlFilter(QStringLiteral("i.prognoz = ? and lower(r.name) like lower(?) and t.name = ?"),
                                      {1, QStringLiteral("%ШКОЛ%"), QStringLiteral("Отправлено")},
                                      QStringLiteral("send desc")));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ(list->front().receiver, 2);

    list = LoadImportStatus();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 4u);
    EXPECT_FALSE(LoadImportStatus(SqlFilter(QStringLiteral("nosuchcolumn = 1"))));
    EXPECT_TRUE(messages.empty());
}

TEST_P(ImportStatusTest, RowsWithNullTextsAreNotRead)
{
    const auto rec = Saved(1, 2, IEK_SENT);
    Saved(1, 2, IEK_SENT);
    Exec("update tFctImportStatus set envelope = null where id = ?", {rec.id});
    EXPECT_FALSE(GetImportStatus(rec.id, 1));
    auto list = LoadImportStatus();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->size(), 1u);
}

TEST_P(ImportStatusTest, RowsForManyReceiversAndTheLinesOfTheList)
{
    Exec("insert into tClsReceiverMap (prognoz, receiver) values (1, 2)");
    CImportStatusRecord older;
    older.prognoz = 2;
    older.receiver = 2;
    older.event = IEK_DATA_CORRECT;
    older.comment = QStringLiteral("Прогноз");
    older.send = QDateTime(QDate(2026, 3, 1), QTime(9, 0));
    ASSERT_TRUE(SaveImportStatus(older));
    SetJournal(true);
    CImportStatusRecord sent;
    sent.prognoz = 1;
    sent.event = IEK_SENT;
    sent.comment = QStringLiteral("Рассылка");
    sent.send = QDateTime(QDate(2026, 3, 2), QTime(10, 0));
    ASSERT_TRUE(SaveImportStatusOfReceivers(sent, {1, 2}));
    // A receiver that is not stored fails the write, and its sibling's row goes with it.
    EXPECT_FALSE(SaveImportStatusOfReceivers(sent, {2, 99}));
    EXPECT_EQ(Count("tFctImportStatus"), 3);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(JournalTexts(),
              (QStringList{QStringLiteral("Insert importstatus; id=2; prognoz=1; receiver=1"),
                           QStringLiteral("Insert importstatus; id=3; prognoz=1; receiver=2")}));

    // Every forecast's lines, newest first; the organisation as forecast 1 maps it; the filter
    // names the joined tables by their aliases.
    const auto lines = [](const SqlFilter& filter) {
        CPagedSource source = ImportStatusLines(1, QStringLiteral("-"));
        source.cells = [](const QVariantList& v) {
            return QStringList{v[ISC_ORGANISATION].toString(), v[ISC_EVENT].toString(),
                               DateFromValue(v[ISC_SEND]).toString(QStringLiteral("dd.MM hh:mm")),
                               v[ISC_RECEIVED].isNull() ? QStringLiteral("null") : QStringLiteral("date"),
                               v[ISC_COMMENT].toString()};
        };
        CPagedRows rows(std::move(source), filter, 2);
        QStringList out;
        if (!rows.Open())
            return QStringList{rows.error().message};
        for (int i = 0; i < rows.count(); ++i) {
            const CPagedRow* row = rows.At(i);
            out << (row ? QString::number(row->key) + u' ' + row->cells.join(u' ') : QStringLiteral("?"));
        }
        return out;
    };
    const struct {
        SqlFilter filter;
        QStringList lines;
    } cases[] = {
        {{},
         {"3 Школа Отправлено 02.03 10:00 null Рассылка", "2 - Отправлено 02.03 10:00 null Рассылка",
          "1 Школа Данные корректны 01.03 09:00 date Прогноз"}},
        {{"i.prognoz = ?", {1}},
         {"3 Школа Отправлено 02.03 10:00 null Рассылка", "2 - Отправлено 02.03 10:00 null Рассылка"}},
        {{"r.name = ? and t.id = ?", {QStringLiteral("Школа"), IEK_DATA_CORRECT}},
         {"1 Школа Данные корректны 01.03 09:00 date Прогноз"}},
        {{"comment like ?", {QStringLiteral("Расс%")}},
         {"3 Школа Отправлено 02.03 10:00 null Рассылка", "2 - Отправлено 02.03 10:00 null Рассылка"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lines(c.filter), c.lines) << c.filter.where.toStdString();
    const QStringList failed = lines(SqlFilter("nosuchcolumn = 1"));
    ASSERT_EQ(failed.size(), 1);
    EXPECT_FALSE(failed[0].isEmpty());
    EXPECT_EQ(messages.size(), 1u) << "the list tells its own failures";
}
