#include "db/PagedRows.h"
#include "DbTest.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"

#include <algorithm>
#include <numeric>

namespace {

const QString kUnknown = QStringLiteral("[Не известна]");

// One exchange-journal row as the test wrote it.
struct Written {
    int id;
    QString organisation;
    QVariant event; // name, or null
    QDateTime send, received;
    QVariant comment;
};

class PagedRowsTest : public DbTest {
protected:
    // 37 rows over receivers mapped into forecast 1 or not, with NULL and repeated values in every
    // column, Cyrillic and Latin texts (ё among them), and hours of one and two digits.
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        SeedImportEventTypes();
        Exec("insert into tfctprognoz (id, name, year, status) values (1, 'a', 2026, 0), (2, 'b', 2026, 0)");
        const char16_t* receivers[] = {u"Минфин", u"Ёлкин", u"abc", u"Zeta", u"Школа"};
        for (int r = 1; r <= 5; ++r) {
            Exec("insert into tclsreceiver (id, category, name, importedId, isgroup) values (?, 0, ?, 0, 0)",
                 {r, QString::fromUtf16(receivers[r - 1])});
            if (r != 4)
                Exec("insert into tclsreceivermap (prognoz, receiver) values (1, ?)", {r});
        }
        const char16_t* comments[] = {u"", u"Прогноз", u"НСИ", u"ёлка", u"Ёж", u"abc", u"Abc", u"10", u"9", u"я"};
        const QDateTime base(QDate(2026, 3, 14), QTime(0, 0));
        for (int id = 1; id <= 37; ++id) {
            Written w;
            w.id = id;
            const int receiver = 1 + id % 5;
            w.organisation = receiver == 4 ? kUnknown : QString::fromUtf16(receivers[receiver - 1]);
            const int event = id % 6; // 0: none
            if (event)
                w.event = Scalar("select name from tclsimporteventtype where id = ?", {event});
            if (id % 5)
                w.send = base.addSecs(3600 * (id % 13)).addDays(id % 3);
            if (id % 4)
                w.received = base.addSecs(60 * (id % 7));
            if (id % 11)
                w.comment = QString::fromUtf16(comments[id % 10]);
            Exec("insert into tfctimportstatus (id, prognoz, receiver, send, received, comment, envelope, event) "
                 "values (?, ?, ?, ?, ?, ?, '', ?)",
                 {id, 1 + id % 2, receiver, Date(w.send), Date(w.received), w.comment,
                  event ? QVariant(event) : QVariant()});
            written.push_back(w);
        }
    }

    static QVariant Date(const QDateTime& d) { return d.isValid() ? QVariant(DateParam(d)) : QVariant(); }

    // The column's value of a written row, and the lists' order of two of them.
    static QVariant ValueOf(const Written& w, int column)
    {
        switch (column) {
        case ISC_ORGANISATION:
            return w.organisation;
        case ISC_EVENT:
            return w.event;
        case ISC_SEND:
            return w.send.isValid() ? QVariant(w.send) : QVariant();
        case ISC_RECEIVED:
            return w.received.isValid() ? QVariant(w.received) : QVariant();
        default:
            return w.comment;
        }
    }
    static int Compare(const QVariant& a, const QVariant& b)
    {
        if (a.isNull() || b.isNull())
            return int(b.isNull()) - int(a.isNull());
        if (a.typeId() == QMetaType::QDateTime)
            return a.toDateTime() < b.toDateTime() ? -1 : b.toDateTime() < a.toDateTime() ? 1 : 0;
        const QByteArray x = a.toString().toUtf8(), y = b.toString().toUtf8();
        return x < y ? -1 : y < x ? 1 : 0;
    }
    // The ids in the order of the column (-1: by the id alone).
    std::vector<int> Expected(int column, bool ascending) const
    {
        std::vector<Written> rows = written;
        std::sort(rows.begin(), rows.end(), [&](const Written& a, const Written& b) {
            const int c = column < 0 ? 0 : Compare(ValueOf(a, column), ValueOf(b, column));
            if (c != 0)
                return ascending ? c < 0 : c > 0;
            return ascending ? a.id < b.id : a.id > b.id;
        });
        std::vector<int> ids;
        for (const Written& w : rows)
            ids.push_back(w.id);
        return ids;
    }
    // What the search looks in: "event;organisation;send date" as the list shows the date.
    static QString SearchText(const Written& w)
    {
        return (w.event.toString() + u';' + w.organisation + u';'
                + (w.send.isValid() ? w.send.toString(QStringLiteral("dd.MM.yyyy H:mm:ss")) : QString()))
            .toUpper();
    }

    std::unique_ptr<CPagedRows> Rows(const SqlFilter& filter = {})
    {
        // Pages of 4 rows and 3 pages kept: every walk crosses pages and forgets them again.
        auto rows = std::make_unique<CPagedRows>(ImportStatusLines(1, kUnknown), filter, 4, 3);
        EXPECT_TRUE(rows->Open()) << rows->error().message.toStdString();
        return rows;
    }

    std::vector<Written> written;
};
LIR_INSTANTIATE_DB_TEST(PagedRowsTest);

} // namespace

// Every order of the list, read forwards, backwards and by jumps across forgotten pages, gives the
// rows in the order the list sorts them: NULL first, texts by their bytes, ties by the key; the row
// of a key is found where it stands.
TEST_P(PagedRowsTest, EveryOrderReadsTheSameRowsWhicheverWayTheListMoves)
{
    auto rows = Rows();
    ASSERT_EQ(rows->count(), 37);
    EXPECT_EQ(rows->orderColumn(), ISC_SEND) << "newest first";
    EXPECT_FALSE(rows->ascending());
    std::vector<int> jumps(37);
    std::iota(jumps.begin(), jumps.end(), 0);
    for (size_t i = 0; i < jumps.size(); ++i)
        std::swap(jumps[i], jumps[(i * 7 + 3) % jumps.size()]);
    for (int column = -1; column <= ISC_COMMENT; ++column) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(testing::Message() << "column " << column << (ascending ? " ascending" : " descending"));
            rows->SetOrder(column, ascending);
            const std::vector<int> expected = Expected(column, ascending);
            std::vector<int> forward, backward(37), jumped(37);
            for (int i = 0; i < 37; ++i)
                forward.push_back(rows->At(i) ? rows->At(i)->key : -1);
            for (int i = 36; i >= 0; --i)
                backward[size_t(i)] = rows->At(i) ? rows->At(i)->key : -1;
            rows->SetOrder(column, ascending); // forgets the pages: every read is a jump first
            for (int i : jumps)
                jumped[size_t(i)] = rows->At(i) ? rows->At(i)->key : -1;
            EXPECT_EQ(forward, expected);
            EXPECT_EQ(backward, expected);
            EXPECT_EQ(jumped, expected);
            for (int i : {0, 17, 36})
                EXPECT_EQ(rows->RowOf(expected[size_t(i)]), i);
            EXPECT_EQ(rows->At(37), nullptr);
        }
    }
    EXPECT_FALSE(rows->failed());
    EXPECT_FALSE(rows->RowOf(99));
}

// The search looks through rows never read, from the given row on, in the list's order, letter case
// aside; the date is matched as the list shows it.
TEST_P(PagedRowsTest, SearchFindsTheNextMatchInTheListsOrder)
{
    auto rows = Rows();
    for (const char16_t* text : {u"отправ", u"[не", u"ёЛКИН;", u"14.03.2026 9:", u"14.03.2026 12:", u"нет такого"}) {
        for (int column : {ISC_SEND, ISC_ORGANISATION}) {
            rows->SetOrder(column, column == ISC_ORGANISATION);
            const std::vector<int> order = Expected(column, column == ISC_ORGANISATION);
            for (int from : {0, 1, 20, 36}) {
                int expected = -1;
                for (int i = from; i < 37 && expected < 0; ++i) {
                    const auto w = std::find_if(written.begin(), written.end(),
                                                [&](const Written& x) { return x.id == order[size_t(i)]; });
                    if (SearchText(*w).contains(QString::fromUtf16(text).toUpper()))
                        expected = i;
                }
                EXPECT_EQ(rows->Find(QString::fromUtf16(text), from).value_or(-1), expected)
                    << QString::fromUtf16(text).toStdString() << " from " << from << " by " << column;
            }
        }
    }
    EXPECT_FALSE(rows->failed());
}

// The user's filter joins the tables it names plainly and keeps their rows only; an error stops the
// reads until the rows are opened again.
TEST_P(PagedRowsTest, FilterOnJoinedTablesAndFailures)
{
    auto rows = Rows(SqlFilter(
        Dialect().CaseInsensitiveLike(QStringLiteral("r.name")) + QStringLiteral(" and i.send >= ?"),
        {LikeArgument(QStringLiteral("ё"), LikeMatch::Contains), QDateTime(QDate(2026, 3, 15), QTime(0, 0))}));
    std::vector<int> expected;
    for (int id : Expected(ISC_SEND, false)) {
        const Written& w = written[size_t(id - 1)];
        if (w.organisation == QStringLiteral("Ёлкин") && w.send >= QDateTime(QDate(2026, 3, 15), QTime(0, 0)))
            expected.push_back(id);
    }
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(rows->count(), int(expected.size()));
    for (int i = int(expected.size()) - 1; i >= 0; --i) {
        ASSERT_TRUE(rows->At(i));
        EXPECT_EQ(rows->At(i)->key, expected[size_t(i)]);
        EXPECT_EQ(rows->At(i)->cells.value(ISC_ORGANISATION), QStringLiteral("Ёлкин"));
    }

    CPagedRows broken(ImportStatusLines(1, kUnknown), SqlFilter(QStringLiteral("nosuchcolumn = 1")));
    EXPECT_FALSE(broken.Open());
    EXPECT_TRUE(broken.failed());
    EXPECT_FALSE(broken.error().message.isEmpty());
    EXPECT_EQ(broken.At(0), nullptr);
    EXPECT_FALSE(broken.Find(QStringLiteral("a"), 0));
    EXPECT_TRUE(messages.empty()) << "the list tells its own failures";
}
