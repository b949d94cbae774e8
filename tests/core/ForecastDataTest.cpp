#include "tables/ForecastData.h"
#include "DbTest.h"
#include "xml/XmlRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>

#include <limits>

class ForecastDataTest : public DbTest {
protected:
    // Forecast 1 with leaf 10, leaf 11 and group 20; forecast 2 with leaf 10; receivers 1 and 2.
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f1', 2026, 0)");
        Exec("insert into tFctPrognoz (id, name, year, status) values (2, 'f2', 2026, 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 10, 'leaf', 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 11, 'leaf2', 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 20, 'group', 1)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (2, 30, 'other', 0)");
        Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'r1', 0, 0, 0)");
        Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (2, 'r2', 0, 0, 0)");
    }

    void InsertRow(int prognoz, int product, int receiver, const QVariantList& sums)
    {
        Exec("insert into tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, "
             "valueCurr, valueNext) values (?, ?, ?, ?, ?, ?, ?, ?, ?)",
             QVariantList{prognoz, product, receiver} + sums);
    }

    // Statements that cannot be prepared (PostgreSQL prepares no DDL).
    void ExecPlain(const char* sql)
    {
        QSqlQuery q(GetDBConnection().GetConnection());
        ASSERT_TRUE(q.exec(QString::fromLatin1(sql))) << q.lastError().text().toStdString();
    }

    static QVariant M(const char* text) { return QVariant::fromValue(Money::fromXmlText(QString::fromLatin1(text))); }

    static CForecastDataRecord Row(int prognoz, int product, int receiver)
    {
        CForecastDataRecord r;
        r.prognoz = prognoz;
        r.product = product;
        r.receiver = receiver;
        return r;
    }
};
LIR_INSTANTIATE_DB_TEST(ForecastDataTest);

TEST_P(ForecastDataTest, SaveFindsTheRowByItsKeysNotByItsId)
{
    SetJournal(true);
    CForecastDataRecord a = Row(1, 10, 1);
    a.sumLast = Money::fromXmlText(u"922337203685477.5807");
    a.valueOther = Money::fromXmlText(u"-0.0001");
    a.sumCurr = Money::invalid();
    a.comment = QStringLiteral("примечание 'с кавычкой'");
    a.base = QStringLiteral("основание");
    a.baseMethod = 3;
    ASSERT_TRUE(SaveForecastData(a, true));
    ASSERT_GT(a.id, 0);
    const int storedId = a.id;

    CForecastDataRecord b = Row(1, 11, 1);
    ASSERT_TRUE(SaveForecastData(b, false));
    EXPECT_EQ(b.id, -1) << "without the flag the new id is not taken";

    // Same keys under another id: the stored row changes and keeps its id, the record keeps its own.
    CForecastDataRecord c = Row(1, 10, 1);
    c.id = 999;
    c.sumNext = Money::fromInt(7);
    ASSERT_TRUE(SaveForecastData(c, true));
    EXPECT_EQ(c.id, 999);
    EXPECT_EQ(Count("tFctPrognozData"), 2);
    EXPECT_EQ(Scalar("select id from tFctPrognozData where product = 10").toInt(), storedId);

    EXPECT_EQ(JournalTexts(),
              QStringList({QStringLiteral("Insert PrognozData; id=%1; prognoz=1; product=10; receiver=1").arg(storedId),
                           QStringLiteral("Insert PrognozData; id=-1; prognoz=1; product=11; receiver=1"),
                           QStringLiteral("Update PrognozData; prognoz=1; product=10; receiver=1")}));

    // The first save's values read back exactly, the invalid one as a stored 0.
    ASSERT_TRUE(SaveForecastData(a, false));
    auto read = GetForecastData({1, 1, 10});
    ASSERT_TRUE(read);
    EXPECT_EQ(read->id, storedId);
    EXPECT_EQ(read->sumLast.raw(), a.sumLast.raw());
    EXPECT_EQ(read->valueOther.raw(), -1);
    EXPECT_TRUE(read->sumCurr.isValid());
    EXPECT_EQ(read->sumCurr.raw(), 0);
    EXPECT_EQ(Count("tFctPrognozData", "sumCurr is null"), 0);
    EXPECT_EQ(read->comment, a.comment);
    EXPECT_EQ(read->base, a.base);
    EXPECT_EQ(read->baseMethod, 3);
    EXPECT_EQ(read->lastUpdate, ZeroRecordDate());
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastDataTest, RowsSavedTogetherAreWrittenAndJournalledAsSavedOneByOne)
{
    InsertRow(1, 10, 1, {M("1"), M("2"), M("3"), M("4"), M("5"), M("6")});
    const int storedId = Scalar("select id from tFctPrognozData where product = 10").toInt();
    SetJournal(true);
    CForecastDataRecord rows[] = {Row(1, 20, 1), Row(1, 10, 1), Row(1, 11, 1)};
    rows[1].id = 999; // found by its keys, keeps the record's id
    for (int i = 0; i < 3; ++i)
        rows[i].sumNext = Money::fromInt(10 + i);
    rows[2].comment = QStringLiteral("новая");
    ASSERT_TRUE(SaveForecastDataRows({&rows[0], &rows[1], &rows[2]}));
    EXPECT_EQ(rows[1].id, 999);
    for (int i = 0; i < 3; ++i) {
        const auto read = GetForecastData({1, 1, rows[i].product});
        ASSERT_TRUE(read);
        EXPECT_EQ(read->sumNext, Money::fromInt(10 + i));
        EXPECT_EQ(read->comment, rows[i].comment);
        EXPECT_EQ(read->id, i == 1 ? storedId : rows[i].id) << "a new row's id is taken";
    }
    EXPECT_EQ(
        JournalTexts(),
        QStringList({QStringLiteral("Insert PrognozData; id=%1; prognoz=1; product=20; receiver=1").arg(rows[0].id),
                     QStringLiteral("Update PrognozData; prognoz=1; product=10; receiver=1"),
                     QStringLiteral("Insert PrognozData; id=%1; prognoz=1; product=11; receiver=1").arg(rows[2].id)}));
    EXPECT_TRUE(messages.empty());
}

// The open descriptors of the process that name the file.
static int OpenDescriptorsOf(const QString& file)
{
    const QString target = QFileInfo(file).canonicalFilePath();
    int count = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System))
        count += fd.symLinkTarget() == target ? 1 : 0;
    return count;
}

// A save's statement is kept with the connection: a close lets the file go, and the next connection
// saves as the first did.
TEST_P(ForecastDataTest, AClosedConnectionLetsTheFileGoAndTheNextOneSaves)
{
    CForecastDataRecord a = Row(1, 10, 1);
    ASSERT_TRUE(SaveForecastData(a, true));
    GetDBConnection().Close();
    if (!isPg()) {
        EXPECT_EQ(OpenDescriptorsOf(params().file), 0) << "the file is still open";
    }
    ASSERT_TRUE(GetDBConnection().ConnectWith(params()));
    CForecastDataRecord b = Row(1, 11, 1);
    b.sumNext = Money::fromInt(7);
    ASSERT_TRUE(SaveForecastData(b, true));
    EXPECT_NE(b.id, a.id);
    EXPECT_EQ(GetForecastData({1, 1, 11})->sumNext, Money::fromInt(7));
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastDataTest, TextsOverTheColumnLimitFailWithTheErrorShown)
{
    SetJournal(true);
    CForecastDataRecord r = Row(1, 10, 1);
    r.base = QString(300, u'б');
    EXPECT_FALSE(SaveForecastData(r, true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")))
        << messages[0].text.toStdString();
    EXPECT_EQ(r.id, -1);

    r.base.clear();
    r.comment = QString(256, u'к');
    EXPECT_FALSE(SaveForecastData(r, true));
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(Count("tFctPrognozData"), 0);
    EXPECT_TRUE(JournalTexts().isEmpty());

    r.comment = QString(255, u'к');
    EXPECT_TRUE(SaveForecastData(r, true));
    EXPECT_EQ(GetForecastData({1, 1, 10})->comment, r.comment);
}

TEST_P(ForecastDataTest, ReadsSkipUnreadableRowsAndKeepNullsApart)
{
    InsertRow(1, 10, 1, {M("1.5"), QVariant(), M("3"), QVariant(), QVariant(), QVariant()});
    InsertRow(1, 11, 2, {M("2"), M("2"), M("2"), M("2"), M("2"), M("2")});
    InsertRow(2, 30, 1, {M("9"), M("9"), M("9"), M("9"), M("9"), M("9")});
    // A row without a receiver cannot be read.
    Exec("insert into tFctPrognozData (prognoz, product, receiver) values (1, 20, null)");

    auto all = LoadForecastData();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 3u);
    auto first = LoadForecastData(SqlFilter("prognoz = ? and receiver = ?", {1, 1}));
    ASSERT_TRUE(first);
    ASSERT_EQ(first->size(), 1u);
    const CForecastDataRecord& r = first->front();
    EXPECT_EQ(r.sumLast, Money::fromXmlText(u"1.5"));
    EXPECT_FALSE(r.sumCurr.isValid());
    EXPECT_TRUE(r.sumNext.isValid());
    EXPECT_TRUE(r.valueNorm.isValid()) << "the method columns default to 0";
    EXPECT_EQ(r.comment, QString());

    EXPECT_FALSE(GetForecastData({1, 1, 11}));
    EXPECT_EQ(GetOrNewForecastData({1, 2, 10}).id, -1);
    EXPECT_EQ(GetOrNewForecastData({1, 2, 11}).sumLast, Money::fromInt(2));

    EXPECT_TRUE(HasForecastDataForReceiver(2, 1));
    EXPECT_FALSE(HasForecastDataForReceiver(2, 2));
    EXPECT_TRUE(HasForecastDataForProduct(30, 2));
    EXPECT_FALSE(HasForecastDataForProduct(30, 1));
    EXPECT_TRUE(messages.empty());

    EXPECT_TRUE(DeleteForecastData(1));
    EXPECT_EQ(Count("tFctPrognozData"), 1);
}

TEST_P(ForecastDataTest, FailingReadsAreShownAndAnsweredSafely)
{
    ExecPlain("alter table tFctPrognozData rename to tGone");
    EXPECT_TRUE(HasForecastDataForProduct(10, 1)) << "a product whose data cannot be counted is kept";
    EXPECT_TRUE(HasForecastDataForReceiver(1, 1));
    EXPECT_FALSE(LoadForecastData());
    EXPECT_FALSE(DeleteForecastData(1));
    EXPECT_EQ(messages.size(), 4u);

    // The totals hand their error to a caller that collects it instead of showing it.
    messages.clear();
    {
        CErrorCollector collector;
        EXPECT_FALSE(GetForecastDataTotals(1, 1, {10, 20}));
        EXPECT_FALSE(collector.take().empty());
        EXPECT_FALSE(GetForecastDataTotals(1, 1, {10}));
        EXPECT_FALSE(collector.take().empty());
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastDataTest, TotalsTakeSumsOfLeavesAndQuantitiesOfGroups)
{
    // sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext
    InsertRow(1, 10, 1, {M("100.0001"), M("200"), QVariant(), M("1"), M("2"), M("3")});
    InsertRow(1, 20, 1, {M("5000"), M("5000"), M("5000"), M("10.5"), QVariant(), M("30")});
    InsertRow(1, 11, 2, {M("7"), M("7"), M("7"), M("7"), M("7"), M("7")}); // another receiver
    InsertRow(2, 30, 1, {M("8"), M("8"), M("8"), M("8"), M("8"), M("8")}); // another forecast

    auto t = GetForecastDataTotals(1, 1, {10, 20, 11, 30, 10});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->id, 0);
    EXPECT_EQ(t->product, 0);
    EXPECT_EQ(t->prognoz, 1);
    EXPECT_EQ(t->receiver, 1);
    EXPECT_EQ(t->sumLast, Money::fromXmlText(u"110.5001"));
    EXPECT_EQ(t->sumCurr, Money::fromXmlText(u"200"));
    EXPECT_EQ(t->sumNext, Money::fromXmlText(u"30"));
    EXPECT_TRUE(t->sumNext.isValid());
    EXPECT_EQ(t->valueLast, Money());
    EXPECT_TRUE(t->valueLast.isValid());

    // Products without rows give zeros.
    auto none = GetForecastDataTotals(1, 2, {10, 20});
    ASSERT_TRUE(none);
    EXPECT_EQ(none->id, 0);
    EXPECT_EQ(none->sumLast, Money());
    EXPECT_TRUE(none->sumLast.isValid());

    // One product: its stored row as it is, quantities included; no row gives a new record.
    auto one = GetForecastDataTotals(1, 1, {20});
    ASSERT_TRUE(one);
    EXPECT_GT(one->id, 0);
    EXPECT_EQ(one->sumLast, Money::fromInt(5000));
    EXPECT_EQ(one->valueLast, Money::fromXmlText(u"10.5"));
    auto missing = GetForecastDataTotals(1, 2, {20});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->id, -1);
    EXPECT_EQ(missing->product, 20);
    EXPECT_EQ(missing->receiver, 2);

    EXPECT_FALSE(GetForecastDataTotals(1, 1, {}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastDataTest, TotalsStayExactForLargeSums)
{
    // Three receivers' worth of near-limit figures would lose cents in floating point.
    Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (3, 'r3', 0, 0, 0)");
    for (int product : {10, 11})
        InsertRow(1, product, 3, {M("300000000000000.0001"), M("0.0001"), M("0"), M("0"), M("0"), M("0")});
    auto t = GetForecastDataTotals(1, 3, {10, 11});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->sumLast.toXmlText(), QStringLiteral("600000000000000.0002"));
    EXPECT_EQ(t->sumCurr.toXmlText(), QStringLiteral("0.0002"));
}

TEST_P(ForecastDataTest, PerProductSumsOverReceivers)
{
    InsertRow(1, 10, 1, {M("1.25"), M("1"), QVariant(), M("1"), M("1"), M("1")});
    InsertRow(1, 10, 2, {M("2.5"), M("2"), QVariant(), M("2"), M("2"), M("2")});
    InsertRow(1, 11, 1, {M("4"), M("4"), M("4"), M("4"), M("4"), M("4")});
    InsertRow(2, 30, 1, {M("9"), M("9"), M("9"), M("9"), M("9"), M("9")});
    Exec("update tFctPrognozData set sumOther = ? where product = 10", {M("0.5")});

    auto sums = LoadForecastDataSums(SqlFilter("prognoz = ?", {1}, "product"));
    ASSERT_TRUE(sums);
    ASSERT_EQ(sums->size(), 2u);
    const CForecastDataRecord& p10 = sums->at(0);
    EXPECT_EQ(p10.product, 10);
    EXPECT_EQ(p10.prognoz, 1);
    EXPECT_EQ(p10.id, -1);
    EXPECT_EQ(p10.receiver, 0);
    EXPECT_EQ(p10.sumLast, Money::fromXmlText(u"3.75"));
    EXPECT_EQ(p10.valueCurr, Money::fromInt(3));
    EXPECT_EQ(p10.sumOther, Money::fromInt(1));
    EXPECT_FALSE(p10.sumNext.isValid()) << "a sum over NULLs only";
    EXPECT_EQ(sums->at(1).sumNext, Money::fromInt(4));

    auto everything = LoadForecastDataSums();
    ASSERT_TRUE(everything);
    EXPECT_EQ(everything->size(), 3u);
}

namespace {

XmlDocPtr Parse(const char* text)
{
    return XmlParseMemory(QByteArray(text));
}

} // namespace

TEST(ForecastDataXmlTest, ReadsNamesWithoutRegardToCase)
{
    auto doc = Parse("<forecast>"
                     "<x/>"
                     "<PrognozData><ID>4</ID><Prognoz> 2</Prognoz><product>12abc</product><SUMLAST>1234.5</SUMLAST>"
                     "<sumCurr>1,5</sumCurr><valueformula>-3</valueformula><receiver>9</receiver>"
                     "<lastUpdate>2026-01-01T00:00:00</lastUpdate><comment>a &amp; b</comment><base>осн</base>"
                     "<basemethod>2</basemethod></PrognozData>"
                     "text"
                     "<prognozdata><product>13</product></prognozdata>"
                     "</forecast>");
    ASSERT_TRUE(doc);
    const xmlNode* first = xmlDocGetRootElement(doc.get())->children;
    EXPECT_FALSE(ReadXml<CForecastDataRecord>(first)) << "another element name";

    auto list = ReadXmlSiblings<CForecastDataRecord>(first, &ReadXml<CForecastDataRecord>);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    const CForecastDataRecord& r = list->at(0);
    EXPECT_EQ(r.id, 4);
    EXPECT_EQ(r.prognoz, 2);
    EXPECT_EQ(r.product, 12);
    EXPECT_EQ(r.sumLast, Money::fromXmlText(u"1234.5"));
    EXPECT_FALSE(r.sumCurr.isValid()) << "',' is no decimal separator here";
    EXPECT_EQ(r.sumCurr.raw(), 0);
    EXPECT_EQ(r.valueFormula, Money::fromInt(-3));
    EXPECT_EQ(r.receiver, 0);
    EXPECT_EQ(r.lastUpdate, ZeroRecordDate());
    EXPECT_EQ(r.comment, QStringLiteral("a & b"));
    EXPECT_EQ(r.base, QStringLiteral("осн"));
    EXPECT_EQ(r.baseMethod, 2);
    EXPECT_EQ(list->at(1).id, -1);
    EXPECT_EQ(list->at(1).product, 13);

    auto empty = Parse("<forecast><a/><b/></forecast>");
    EXPECT_FALSE(ReadXmlSiblings<CForecastDataRecord>(xmlDocGetRootElement(empty.get())->children,
                                                      &ReadXml<CForecastDataRecord>));
}

TEST(ForecastDataXmlTest, CommentElementsCarryIdProductAndEscapedComment)
{
    CForecastDataList list(2);
    list[0].id = 3;
    list[0].product = 45;
    list[0].sumLast = Money::fromInt(1);
    list[0].comment = QStringLiteral("R&D <план> &amp;");
    list[1].id = 4;
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "comments");
    xmlDocSetRootElement(doc.get(), root);
    ForecastCommentsToXml(root, list);

    auto reread = XmlParseMemory(XmlToBytes(doc.get()));
    ASSERT_TRUE(reread);
    const xmlNode* element = xmlDocGetRootElement(reread.get())->children;
    while (element && element->type != XML_ELEMENT_NODE)
        element = element->next;
    ASSERT_TRUE(element);
    QStringList names;
    for (const xmlNode* c = element->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            names << QString::fromUtf8(reinterpret_cast<const char*>(c->name));
    EXPECT_EQ(names, QStringList({"id", "product", "comment"}));

    auto read = ReadXmlSiblings<CForecastDataRecord>(element, &ReadXml<CForecastDataRecord>);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 2u);
    EXPECT_EQ(read->at(0).comment, list[0].comment);
    EXPECT_EQ(read->at(0).product, 45);
    EXPECT_EQ(read->at(0).sumLast, Money()) << "only the comment travels";
    EXPECT_EQ(read->at(1).comment, QString());
    EXPECT_TRUE(XmlToBytes(reread.get()).contains("<comment/>")
                || XmlToBytes(reread.get()).contains("<comment></comment>"));
}

TEST(NextYearRule, TheYearIsTheSumOfItsPartsAndMustFit)
{
    const Money max = Money::fromRaw(std::numeric_limits<std::int64_t>::max());
    const Money one = Money::fromInt(1);
    const struct {
        const char* what;
        Money sums[5], values[5]; // formula, index, norm, other, plan
        bool fits;
        Money sumNext, valueNext;
    } cases[] = {
        {"parts add up",
         {Money::fromInt(1), Money::fromInt(2), Money::fromInt(3), Money::fromInt(4), Money::fromInt(5)},
         {Money::fromRaw(5000), Money::fromInt(-1), {}, {}, {}},
         true,
         Money::fromInt(15),
         Money::fromRaw(-5000)},
        {"a missing part", {one, Money::invalid(), one, one, one}, {}, false, {}, {}},
        {"sums beyond the range", {max, {}, {}, {}, one}, {}, false, {}, {}},
        {"quantities beyond the range", {one}, {{}, {}, max, one, {}}, false, {}, {}},
    };
    for (const auto& c : cases) {
        CForecastRowFields rec;
        rec.sumLast = rec.valueCurr = Money::fromInt(7);
        rec.sumFormula = c.sums[0];
        rec.sumIndex = c.sums[1];
        rec.sumNorm = c.sums[2];
        rec.sumOther = c.sums[3];
        rec.sumPlan = c.sums[4];
        rec.valueFormula = c.values[0];
        rec.valueIndex = c.values[1];
        rec.valueNorm = c.values[2];
        rec.valueOther = c.values[3];
        rec.valuePlan = c.values[4];
        EXPECT_EQ(ApplyNextYearRule(rec), c.fits) << c.what;
        if (c.fits) {
            EXPECT_EQ(rec.sumNext, c.sumNext) << c.what;
            EXPECT_EQ(rec.valueNext, c.valueNext) << c.what;
        }
        EXPECT_EQ(rec.sumLast, Money::fromInt(7)) << "the other years stay";
        EXPECT_EQ(rec.valueCurr, Money::fromInt(7));
    }
}

// A receiver's rows staged in the connection go in by one statement. A row that fails, first or last,
// fails the save with the database's message, and its transaction stores nothing; on the
// user-interface thread with the lock-wait hook set as well.
TEST_P(ForecastDataTest, StagedReceiverRowsAreStoredAllOrNothing)
{
    constexpr int kRows = 12000;
    Exec(QStringLiteral("with recursive n(i) as (select 1000 union all select i + 1 from n where i < ?) "
                        "insert into tClsProduct (prognoz, id, name, isgroup) select 1, i, 'p', 0 from n"),
         {999 + kRows});
    CForecastDataList rows;
    for (int i = 0; i < kRows; ++i) {
        rows.push_back(Row(1, 1000 + i, 1));
        rows.back().sumNext = Money::fromRaw(i);
    }
    const struct {
        const char* what;
        int failing; // the row with a comment over the column's limit, -1 for none
        bool hook;
    } cases[] = {
        {"a fault in the first chunk", 10, false},
        {"a fault in the last chunk", kRows - 1, false},
        {"a fault in a middle chunk, the lock-wait hook set", 7000, true},
        {"no fault, the lock-wait hook set", -1, true},
    };
    for (const auto& c : cases) {
        if (c.hook)
            SetLockWaitHook([](bool) { return true; });
        messages.clear();
        CForecastDataList list = rows;
        if (c.failing >= 0)
            list[std::size_t(c.failing)].comment = QString(256, u'к');
        auto stage = std::make_shared<CForecastRowStage>();
        ASSERT_TRUE(stage->Start()) << c.what;
        for (const CForecastDataRecord& rec : list)
            ASSERT_TRUE(stage->Add(rec)) << c.what;
        ASSERT_TRUE(stage->Finish()) << c.what;
        bool saved;
        {
            CTransaction tx;
            saved = SaveReceiverForecastData(1, 1, stage) && tx.commit();
        }
        SetLockWaitHook(nullptr);
        EXPECT_EQ(saved, c.failing < 0) << c.what;
        EXPECT_EQ(messages.size(), c.failing < 0 ? 0u : 1u) << c.what;
        if (!messages.empty()) {
            EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация."))) << c.what;
        }
        EXPECT_EQ(Count("tFctPrognozData"), c.failing < 0 ? kRows : 0) << c.what;
    }
    const auto last = GetForecastData({1, 1, 999 + kRows});
    ASSERT_TRUE(last);
    EXPECT_EQ(last->sumNext, Money::fromRaw(kRows - 1));
}

// A receiver's rows received again replace what it sent before, whole: its rows of products the
// stage does not carry go, with their journal lines; a row that comes again keeps its stored comment
// before the received one; the other receivers' rows and the other forecasts' stay.
TEST_P(ForecastDataTest, StagedRowsReceivedAgainReplaceTheReceiversRowsWhole)
{
    SetJournal(true);
    Exec(QStringLiteral("with recursive n(i) as (select 1000 union all select i + 1 from n where i < 1060) "
                        "insert into tClsProduct (prognoz, id, name, isgroup) select 1, i, 'p', 0 from n"));
    for (int product = 1000; product < 1050; ++product)
        for (int receiver : {1, 2}) {
            InsertRow(1, product, receiver, {M("1"), M("1"), M("1"), M("1"), M("1"), M("1")});
            Exec("update tFctPrognozData set comment = 'A' where product = ? and receiver = ?", {product, receiver});
        }
    InsertRow(2, 30, 1, {M("5"), M("5"), M("5"), M("5"), M("5"), M("5")});
    const int journalBefore = Count("tFctOpJournal");
    const int goneId = GetForecastData({1, 1, 1049})->id;

    auto stage = std::make_shared<CForecastRowStage>();
    ASSERT_TRUE(stage->Start());
    for (int product : {1001, 1060, 1000}) {
        CForecastDataRecord rec = Row(1, product, 0);
        rec.sumNext = Money::fromInt(product);
        rec.comment = QStringLiteral("B");
        ASSERT_TRUE(stage->Add(rec));
    }
    ASSERT_TRUE(stage->Finish());
    {
        CTransaction tx;
        ASSERT_TRUE(SaveReceiverForecastData(1, 1, stage) && tx.commit());
    }
    EXPECT_TRUE(messages.empty());
    QStringList rows;
    CSqlQuery q(QStringLiteral("select product, comment from tFctPrognozData where prognoz = 1 and receiver = 1 "
                               "order by product"));
    ASSERT_TRUE(q.exec());
    while (q.next())
        rows << q.value(0).toString() + u' ' + q.value(1).toString();
    EXPECT_EQ(rows, QStringList({"1000 AB", "1001 AB", "1060 B"}));
    EXPECT_EQ(GetForecastData({1, 1, 1060})->sumNext, Money::fromInt(1060));
    EXPECT_EQ(Scalar("select count(*) from tFctPrognozData where prognoz = 1 and receiver = 2").toInt(), 50);
    EXPECT_TRUE(GetForecastData({2, 1, 30}));

    const QString deleted = QStringLiteral("Delete PrognozData; id=%1; prognoz=1; product=1049; receiver=1");
    CSqlQuery lines(QStringLiteral("select text from tFctOpJournal order by id"));
    ASSERT_TRUE(lines.exec());
    QStringList texts;
    while (lines.next())
        texts << lines.value(0).toString();
    EXPECT_EQ(texts.size() - journalBefore, 48 + 3);
    EXPECT_EQ(texts
                  .filter(QRegularExpression(QStringLiteral("^Delete PrognozData; id=\\d+; prognoz=1; product=\\d+; "
                                                            "receiver=1$")))
                  .size(),
              48);
    EXPECT_TRUE(texts.contains(deleted.arg(goneId))) << "the line names the deleted row's id";
}
