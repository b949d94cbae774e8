#include "tables/TotalForecasts.h"
#include "DbTest.h"
#include "xml/XmlRecord.h"

#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>

#include <clocale>

class TotalForecastsTest : public DbTest {
protected:
    // Forecast 3 with leaf 45, leaf 46 and group 50; forecast 4 with leaf 60.
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (3, 'f3', 2026, 0)");
        Exec("insert into tFctPrognoz (id, name, year, status) values (4, 'f4', 2026, 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (3, 45, 'leaf', 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (3, 46, 'leaf2', 0)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (3, 50, 'group', 1)");
        Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (4, 60, 'other', 0)");
    }

    void ExecPlain(const char* sql)
    {
        QSqlQuery q(GetDBConnection().GetConnection());
        ASSERT_TRUE(q.exec(QString::fromLatin1(sql))) << q.lastError().text().toStdString();
    }

    static CTotalForecastRecord Total(int prognoz, int product)
    {
        CTotalForecastRecord r;
        r.prognoz = prognoz;
        r.product = product;
        return r;
    }

    static QVariant M(const char* text) { return QVariant::fromValue(Money::fromXmlText(QString::fromLatin1(text))); }
};
LIR_INSTANTIATE_DB_TEST(TotalForecastsTest);

TEST_P(TotalForecastsTest, SaveUpdateAndDeleteWriteTheirJournalLines)
{
    // The next identity is 12.
    Exec("insert into tFctTotalPrognoz (id, prognoz, product) values (11, 4, 60)");
    if (isPg())
        Exec("select setval(pg_get_serial_sequence('tfcttotalprognoz', 'id'), 11)");
    SetJournal(true);

    CTotalForecastRecord r = Total(3, 45);
    r.sumLast = Money::fromXmlText(u"1234.5");
    r.sumCurr = Money::invalid();
    r.lastUpdate = QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58));
    r.comment = QStringLiteral("к");
    ASSERT_TRUE(SaveTotalForecast(r));
    EXPECT_EQ(r.id, 12);

    // A record with the stored keys but no id updates that row and keeps its own id.
    CTotalForecastRecord again = Total(3, 45);
    again.sumNext = Money::fromInt(9);
    const QDateTime stamp = again.lastUpdate;
    ASSERT_TRUE(SaveTotalForecast(again));
    EXPECT_EQ(again.id, -1);
    EXPECT_EQ(Count("tFctTotalPrognoz"), 2);

    auto stored = GetTotalForecastById(12);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->sumNext, Money::fromInt(9));
    EXPECT_EQ(stored->sumLast, Money()) << "the second save wrote its own figures";
    EXPECT_TRUE(stored->sumCurr.isValid());
    EXPECT_EQ(stored->lastUpdate, stamp) << "the save writes the record's time unchanged";
    EXPECT_EQ(stored->comment, QString());

    CTotalForecastRecord victim = *stored;
    ASSERT_TRUE(DeleteTotalForecast(victim));
    EXPECT_EQ(victim.id, -1);
    EXPECT_FALSE(GetTotalForecast(3, 45));
    // Nothing stored under the id: nothing to journal.
    CTotalForecastRecord ghost = Total(3, 45);
    ghost.id = 77;
    EXPECT_TRUE(DeleteTotalForecast(ghost));

    EXPECT_EQ(
        JournalTexts(),
        QStringList({"Insert TotalPrognoz; id=12; prognoz=3; product=45", "Update TotalPrognoz; prognoz=3; product=45",
                     "Delete TotalPrognoz; id=12; prognoz=3; product=45"}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(TotalForecastsTest, LongCommentIsCutAndLongBaseFailsWhole)
{
    CTotalForecastRecord r = Total(3, 45);
    r.comment = QString(200, u'ж') + QString(100, u'z');
    ASSERT_TRUE(SaveTotalForecast(r));
    EXPECT_EQ(r.comment, QString(200, u'ж') + QString(55, u'z'));
    EXPECT_EQ(GetTotalForecast(3, 45)->comment, r.comment);

    CTotalForecastRecord b = Total(3, 46);
    b.base = QString(300, u'о');
    EXPECT_FALSE(SaveTotalForecast(b));
    EXPECT_EQ(b.id, -1);
    EXPECT_EQ(b.base.size(), 300);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
    EXPECT_FALSE(GetTotalForecast(3, 46));
    EXPECT_EQ(GetDBConnection().transactionLevel(), 0);
}

TEST_P(TotalForecastsTest, SaveNestsInTheCallersTransaction)
{
    {
        CTransaction outer;
        CTotalForecastRecord r = Total(3, 45);
        ASSERT_TRUE(SaveTotalForecast(r));
        EXPECT_GT(r.id, 0);
        // rolled back on leaving
    }
    EXPECT_EQ(Count("tFctTotalPrognoz"), 0);

    // A failing save inside does not spoil the caller's other work.
    {
        CTransaction outer;
        CTotalForecastRecord good = Total(3, 45);
        ASSERT_TRUE(SaveTotalForecast(good));
        CTotalForecastRecord bad = Total(3, 46);
        bad.base = QString(256, u'x');
        EXPECT_FALSE(SaveTotalForecast(bad));
        CTotalForecastRecord later = Total(3, 50);
        EXPECT_TRUE(SaveTotalForecast(later));
        EXPECT_TRUE(outer.commit());
    }
    EXPECT_EQ(Count("tFctTotalPrognoz"), 2);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(TotalForecastsTest, ListsCountsAndAFailingQuery)
{
    Exec("insert into tFctTotalPrognoz (prognoz, product, comment) values (3, 45, 'есть')");
    Exec("insert into tFctTotalPrognoz (prognoz, product, comment) values (3, 46, '')");
    Exec("insert into tFctTotalPrognoz (prognoz, product) values (3, 50)");
    Exec("insert into tFctTotalPrognoz (prognoz, product, comment) values (4, 60, 'x')");
    // Not readable: no product.
    Exec("insert into tFctTotalPrognoz (prognoz, product) values (4, null)");

    auto all = LoadTotalForecasts();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 4u);
    auto empty = LoadTotalForecasts(SqlFilter(""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 4u);
    auto three = LoadTotalForecasts(SqlFilter("prognoz = ?", {3}, "product"));
    ASSERT_TRUE(three);
    ASSERT_EQ(three->size(), 3u);
    EXPECT_EQ(three->at(0).comment, QStringLiteral("есть"));
    EXPECT_FALSE(three->at(2).sumLast.isValid()) << "NULL figures";
    EXPECT_TRUE(three->at(2).valueNorm.isValid());

    EXPECT_EQ(CountCommentedTotals(3), 1);
    EXPECT_TRUE(TotalForecastExists(45, 3));
    EXPECT_FALSE(TotalForecastExists(60, 3));
    EXPECT_TRUE(messages.empty());

    ExecPlain("alter table tFctTotalPrognoz rename to tGone");
    EXPECT_TRUE(TotalForecastExists(60, 3)) << "a product whose use cannot be read is treated as used";
    EXPECT_EQ(CountCommentedTotals(3), 0);
    EXPECT_FALSE(LoadTotalForecasts());
    EXPECT_EQ(messages.size(), 3u);
    messages.clear();
    {
        CErrorCollector collector;
        EXPECT_FALSE(GetTotalForecastSums(3, {45, 46}));
        EXPECT_FALSE(collector.take().empty());
    }
    EXPECT_TRUE(messages.empty()) << "the sums leave the error to the caller";
}

TEST_P(TotalForecastsTest, SumsOverNoneOneAndSeveralProducts)
{
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, "
         "valueNorm, comment) values (3, 45, ?, ?, ?, ?, ?, ?, ?, 'c')",
         {M("10.25"), M("20"), M("30"), M("1"), M("2"), M("3"), M("4")});
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext) "
         "values (3, 50, ?, ?, ?, ?, ?, ?)",
         {M("1000"), M("1000"), M("1000"), M("0.75"), QVariant(), M("7")});
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast) values (4, 60, ?)", {M("99")});

    EXPECT_FALSE(GetTotalForecastSums(3, {}));

    auto one = GetTotalForecastSums(3, {45});
    ASSERT_TRUE(one);
    EXPECT_GT(one->id, 0);
    EXPECT_EQ(one->valueNorm, Money::fromInt(4));
    EXPECT_EQ(one->comment, QStringLiteral("c"));
    auto fresh = GetTotalForecastSums(3, {46});
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->id, -1);
    EXPECT_EQ(fresh->product, 46);

    auto several = GetTotalForecastSums(3, {45, 50, 46, 60});
    ASSERT_TRUE(several);
    EXPECT_EQ(several->id, 0);
    EXPECT_EQ(several->product, 0);
    EXPECT_EQ(several->prognoz, 3);
    EXPECT_EQ(several->sumLast, Money::fromXmlText(u"11"));
    EXPECT_EQ(several->sumCurr, Money::fromInt(20));
    EXPECT_EQ(several->sumNext, Money::fromInt(37));
    EXPECT_EQ(several->valueLast, Money());
    EXPECT_EQ(several->valueNorm, Money());
    EXPECT_EQ(several->comment, QString());
    EXPECT_TRUE(messages.empty());
}

TEST_P(TotalForecastsTest, AccumulationAddsEveryFigureIntoOneRowPerProduct)
{
    CForecastDataRecord a;
    a.prognoz = 3;
    a.product = 45;
    a.receiver = 1;
    CForecastDataRecord b = a;
    int i = 1;
    for (const auto& m : kForecastMoneyColumns) {
        a.*m.field = Money::fromRaw(i * 10000 + 1);
        b.*m.field = Money::fromRaw(i * 100);
        ++i;
    }
    b.sumLast = Money::invalid();
    a.comment = QStringLiteral("not taken");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    SetJournal(true);
    ASSERT_TRUE(AccumulateTotalForecast(a));
    ASSERT_TRUE(AccumulateTotalForecast(b));
    EXPECT_EQ(Count("tFctTotalPrognoz"), 1);

    auto row = GetTotalForecast(3, 45);
    ASSERT_TRUE(row);
    i = 1;
    for (const auto& m : kForecastMoneyColumns) {
        const std::int64_t expected = i == 1 ? 10001 : i * 10000 + 1 + i * 100;
        EXPECT_EQ(((*row).*m.field).raw(), expected) << m.column;
        ++i;
    }
    EXPECT_GE(row->lastUpdate, before);
    EXPECT_EQ(row->comment, QString());
    const QStringList journal = JournalTexts();
    ASSERT_EQ(journal.size(), 2);
    EXPECT_EQ(journal[1], QStringLiteral("Update TotalPrognoz; prognoz=3; product=45"));

    // A stored NULL figure counts as 0; the comment of the stored row stays.
    Exec("update tFctTotalPrognoz set sumCurr = null, comment = 'keep'");
    ASSERT_TRUE(AccumulateTotalForecast(a));
    row = GetTotalForecast(3, 45);
    EXPECT_EQ(row->sumCurr, a.sumCurr);
    EXPECT_EQ(row->comment, QStringLiteral("keep"));
    EXPECT_TRUE(messages.empty());

    // A product that the forecast does not have: the save fails and so does the step.
    CForecastDataRecord stray = a;
    stray.product = 999;
    EXPECT_FALSE(AccumulateTotalForecast(stray));
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(TotalForecastsTest, ResetKeepsRowsAndDeleteOfForecastRemovesThem)
{
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast, sumOther, comment) values (3, 45, ?, ?, 'c')",
         {M("5"), M("6")});
    Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast) values (4, 60, ?)", {M("7")});
    SetJournal(true);
    EXPECT_TRUE(ResetTotalForecastSums(3, CurrentTimeToSecond()));
    auto row = GetTotalForecast(3, 45);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->sumLast, Money());
    EXPECT_TRUE(row->sumLast.isValid());
    EXPECT_EQ(row->sumOther, Money());
    EXPECT_EQ(row->comment, QStringLiteral("c"));
    EXPECT_EQ(GetTotalForecast(4, 60)->sumLast, Money::fromInt(7));
    EXPECT_TRUE(DeleteTotalForecastsOf(3));
    EXPECT_EQ(Count("tFctTotalPrognoz"), 1);
    EXPECT_TRUE(JournalTexts().isEmpty());
}

namespace {

// Restores the process locale whatever the test does.
struct LocaleGuard {
    QLocale savedDefault;
    std::string savedNumeric = std::setlocale(LC_NUMERIC, nullptr);
    ~LocaleGuard()
    {
        QLocale::setDefault(savedDefault);
        std::setlocale(LC_NUMERIC, savedNumeric.c_str());
    }
};

QStringList ChildNames(const xmlNode* node)
{
    QStringList names;
    for (const xmlNode* c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            names << QString::fromUtf8(reinterpret_cast<const char*>(c->name));
    return names;
}

const xmlNode* FirstElement(const xmlNode* node)
{
    while (node && node->type != XML_ELEMENT_NODE)
        node = node->next;
    return node;
}

} // namespace

TEST(TotalForecastXmlTest, ForecastElementHasItsChildrenInOrderAndReadsBack)
{
    LocaleGuard guard;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");

    CTotalForecastList list(2);
    list[0].id = 7;
    list[0].prognoz = 3;
    list[0].product = 45;
    list[0].sumLast = Money::fromXmlText(u"1234.5");
    list[0].valueNorm = Money();
    list[0].sumOther = Money::fromXmlText(u"-0.0001");
    list[0].base = QStringLiteral("Смета & расчёт <2026>");
    list[0].baseMethod = 2;
    list[0].comment = QStringLiteral("не уходит");
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "forecast");
    xmlDocSetRootElement(doc.get(), root);
    TotalForecastsToXml(root, list);
    const QByteArray bytes = XmlToBytes(doc.get());

    auto reread = XmlParseMemory(bytes);
    ASSERT_TRUE(reread) << bytes.toStdString();
    const xmlNode* element = FirstElement(xmlDocGetRootElement(reread.get())->children);
    ASSERT_TRUE(element);
    EXPECT_EQ(ChildNames(element),
              QStringList({"id",           "prognoz",    "product",    "sumlast",   "sumcurr",    "sumnext",
                           "valuelast",    "valuecurr",  "valuenext",  "valueNorm", "valueIndex", "valuePlan",
                           "valueFormula", "valueOther", "sumNorm",    "sumIndex",  "sumPlan",    "sumFormula",
                           "sumOther",     "base",       "baseMethod", "comment"}));
    EXPECT_TRUE(bytes.contains("<sumlast>1234.5</sumlast>")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("<valueNorm>0</valueNorm>"));
    EXPECT_TRUE(bytes.contains("<sumOther>-0.0001</sumOther>"));

    // The receiving side reads the rows as forecast data.
    auto data = ReadXmlSiblings<CForecastDataRecord>(element, &ReadXml<CForecastDataRecord>);
    ASSERT_TRUE(data);
    ASSERT_EQ(data->size(), 2u);
    EXPECT_EQ(data->at(0).id, 7);
    EXPECT_EQ(data->at(0).sumLast, list[0].sumLast);
    EXPECT_EQ(data->at(0).sumOther, list[0].sumOther);
    EXPECT_EQ(data->at(0).base, list[0].base);
    EXPECT_EQ(data->at(0).baseMethod, 2);
    EXPECT_EQ(data->at(0).comment, QString());
}

TEST(TotalForecastXmlTest, DocumentPassesXmllint)
{
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    CTotalForecastRecord r;
    r.base = QStringLiteral("a & b < c");
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "forecast");
    xmlDocSetRootElement(doc.get(), root);
    TotalForecastToXml(root, r);
    QProcess lint;
    lint.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("-")});
    ASSERT_TRUE(lint.waitForStarted());
    lint.write(XmlToBytes(doc.get()));
    lint.closeWriteChannel();
    ASSERT_TRUE(lint.waitForFinished());
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

TEST(TotalForecastXmlTest, CommentReaderTakesIdProductAndComment)
{
    auto doc = XmlParseMemory("<comments>"
                              "<PROGNOZDATA><id>5</id><product>45</product><prognoz>9</prognoz>"
                              "<sumlast>3</sumlast><comment>R&amp;D</comment><comment>later</comment></PROGNOZDATA>"
                              "<other/>"
                              "<prognozdata><comment>only</comment></prognozdata>"
                              "</comments>");
    ASSERT_TRUE(doc);
    const xmlNode* first = xmlDocGetRootElement(doc.get())->children;
    auto list = ReadTotalForecastCommentsXml(first);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ(list->at(0).id, 5);
    EXPECT_EQ(list->at(0).product, 45);
    EXPECT_EQ(list->at(0).prognoz, 0);
    EXPECT_EQ(list->at(0).sumLast, Money());
    EXPECT_EQ(list->at(0).comment, QStringLiteral("later"));
    EXPECT_EQ(list->at(1).id, -1);
    EXPECT_EQ(list->at(1).product, 0);
    EXPECT_EQ(list->at(1).comment, QStringLiteral("only"));

    auto none = XmlParseMemory("<comments><a/>text<b/></comments>");
    EXPECT_FALSE(ReadTotalForecastCommentsXml(xmlDocGetRootElement(none.get())->children));
}

TEST_P(TotalForecastsTest, SumsOfAForecastAddLikeOneAccumulationPerProduct)
{
    // Receivers 1 and 2 with rows of 45 and 46 (46 with NULL figures in one row), a stored row of 45
    // with a NULL figure and a comment, none of 46; forecast 4's row stays out.
    for (int receiver : {1, 2})
        Exec("insert into tClsReceiver (id, name, importedId, isgroup) values (?, 'r', ?, 0)", {receiver, receiver});
    int n = 1;
    for (int receiver : {1, 2})
        for (int product : {45, 46}) {
            QStringList values;
            for (int c = 0; c < 16; ++c)
                values << (product == 46 && receiver == 2 && c < 3 ? QStringLiteral("null")
                                                                   : QString::number(n * 100 + c));
            Exec(QStringLiteral("insert into tFctPrognozData (prognoz, receiver, product, %1) values (3, ?, ?, %2)")
                     .arg(ForecastFigureColumns(), values.join(u',')),
                 {receiver, product});
            ++n;
        }
    Exec("insert into tFctPrognozData (prognoz, receiver, product, sumLast) values (4, 1, 60, 5)");
    const auto arrange = [&] {
        Exec("delete from tFctTotalPrognoz");
        Exec("insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, comment) values (3, 45, ?, null, 'k')",
             {M("1.5")});
    };
    const auto dump = [&] {
        QStringList rows;
        CSqlQuery q(QStringLiteral("select product, %1, comment, base, baseMethod from tFctTotalPrognoz order by "
                                   "product")
                        .arg(ForecastFigureColumns()));
        EXPECT_TRUE(q.exec());
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < 20; ++i)
                fields << q.value(i).toString();
            rows << fields.join(u'|');
        }
        return rows;
    };
    const auto journal = [&] {
        QStringList lines = JournalTexts();
        lines.replaceInStrings(QRegularExpression(QStringLiteral("id=\\d+; ")), QStringLiteral("id; "));
        Exec("delete from tFctOpJournal");
        return lines;
    };
    SetJournal(true);

    arrange();
    const auto sums = LoadForecastDataSums(SqlFilter(QStringLiteral("prognoz = ?"), {3}, QStringLiteral("product")));
    ASSERT_TRUE(sums);
    for (const CForecastDataRecord& row : *sums)
        ASSERT_TRUE(AccumulateTotalForecast(row));
    const QStringList oneByOne = dump();
    const QStringList oneByOneLines = journal();

    arrange();
    const QDateTime now(QDate(2026, 5, 6), QTime(7, 8, 9));
    {
        CTransaction tx;
        EXPECT_EQ(AccumulateTotalForecastSums(3, SqlFilter(QStringLiteral("prognoz = ?"), {3}), now), 2);
        ASSERT_TRUE(tx.commit());
    }
    EXPECT_EQ(dump(), oneByOne);
    EXPECT_EQ(journal(), oneByOneLines);
    EXPECT_EQ(
        oneByOneLines,
        (QStringList{"Update TotalPrognoz; prognoz=3; product=45", "Insert TotalPrognoz; id; prognoz=3; product=46"}));
    EXPECT_EQ(Scalar("select count(*) from tFctTotalPrognoz where lastUpdate = ?", {now}).toInt(), 2);

    // A sum beyond the money range fails the statement and leaves every row as it was.
    const QStringList before = dump();
    Exec(isPg() ? "update tFctPrognozData set sumOther = 900000000000000 where product = 46"
                : "update tFctPrognozData set sumOther = 9000000000000000000 where product = 46");
    EXPECT_FALSE(AccumulateTotalForecastSums(3, SqlFilter(QStringLiteral("prognoz = ?"), {3}), now));
    EXPECT_EQ(dump(), before);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front().text, DbError::fromSql(MoneyOverflowError()).text());
}
