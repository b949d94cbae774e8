#include "tables/Forecasts.h"
#include "DbTest.h"
#include "Session.h"
#include "db/SqlQuery.h"
#include "xml/XmlRecord.h"

class ForecastsTest : public DbTest {
protected:
    void AddForecast(int id, const QString& name, int status = 0)
    {
        Exec("insert into tFctPrognoz (id, name, year, status, owner, ownername) values (?, ?, 2026, ?, 3, 'Минфин')",
             {id, name, status});
    }
};
LIR_INSTANTIATE_DB_TEST(ForecastsTest);

TEST_P(ForecastsTest, EmptyTableAndFirstSave)
{
    EXPECT_EQ(GetNewestForecast(), 0);
    EXPECT_EQ(GetForecastCount(), 0);
    auto list = LoadForecasts();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->empty());

    SetJournal(true);
    CForecastRecord rec;
    rec.name = QStringLiteral("Прогноз на 2027 год");
    rec.year = 2027;
    ASSERT_TRUE(SaveForecast(rec));
    EXPECT_EQ(rec.id, 1);
    EXPECT_EQ(GetNewestForecast(), 1);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("Insert Prognoz; id=1; Name=Прогноз на 2027 год")});
    // owner -1 is stored as -1 and a NULL owner reads as -1 too
    EXPECT_EQ(Scalar("select owner from tFctPrognoz where id = 1").toInt(), -1);
    Exec("update tFctPrognoz set owner = null, ownername = null");
    const auto back = GetForecast(1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->owner, -1);
    EXPECT_EQ(back->ownerName, QString());
    EXPECT_EQ(back->year, 2027);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastsTest, OnlyADraftIsEditable)
{
    AddForecast(1, "проект", 0);
    AddForecast(2, "НСИ закрыт", 1);
    AddForecast(3, "закрыт", 2);
    CSessionState session;
    for (const auto& [id, editable] : {std::pair{1, true}, {2, false}, {3, false}, {4, false}, {-1, false}}) {
        session.currentForecastId = id;
        EXPECT_EQ(IsCurrentForecastEditable(session), editable) << id;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastsTest, JournalLinesOfStatusChangeAndUpdate)
{
    AddForecast(4, QStringLiteral("Ф'4"));
    SetJournal(true);
    auto rec = GetForecast(4);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->owner, 3);
    rec->status = 1;
    ASSERT_TRUE(SaveForecast(*rec));
    rec->year = 2030;
    ASSERT_TRUE(SaveForecast(*rec));
    EXPECT_EQ(JournalTexts(),
              (QStringList{QStringLiteral("Change status Prognoz; id=4; Name=Ф'4"),
                           QStringLiteral("Update Prognoz; Name=Ф'4")}));
    EXPECT_EQ(GetForecast(4)->year, 2030);

    auto filtered = LoadForecasts(SqlFilter(QStringLiteral("name = ?"), {QStringLiteral("Ф'4")}));
    ASSERT_TRUE(filtered);
    ASSERT_EQ(filtered->size(), 1u);
    EXPECT_EQ(filtered->front().status, 1);
}

TEST_P(ForecastsTest, FailedSaveReportsAndKeepsTheRecordNew)
{
    AddForecast(1, QStringLiteral("a"));
    CForecastRecord rec;
    rec.name = QString(256, u'я');
    EXPECT_FALSE(SaveForecast(rec));
    EXPECT_EQ(rec.id, -1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(GetForecastCount(), 1);

    auto existing = *GetForecast(1);
    existing.status = 7; // outside the allowed statuses
    EXPECT_FALSE(SaveForecast(existing));
    EXPECT_EQ(existing.id, 1);
}

TEST_P(ForecastsTest, CreateMakesTheForecastWithItsRootProduct)
{
    AddForecast(3, QStringLiteral("a"));
    AddForecast(7, QStringLiteral("b"));
    SetJournal(true);
    CForecastRecord rec;
    rec.name = QStringLiteral("Новый");
    rec.ownerName = QStringLiteral("ГРБС 1");
    rec.year = 2027;
    rec.status = 2;
    ASSERT_TRUE(CreateForecast(rec, -1, false, false, false));
    EXPECT_EQ(rec.id, 8);
    EXPECT_EQ(rec.status, 0);
    const auto stored = GetForecast(8);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, 0);
    EXPECT_EQ(stored->ownerName, QStringLiteral("ГРБС 1"));
    EXPECT_EQ(Count("tClsProduct", "prognoz = 8 and name = ? and type = ? and isgroup = 1",
                    {kRootProductName, kRootProductType}),
              1);
    EXPECT_EQ(
        Scalar("select count(*) from tFctPrice p join tClsProduct c on c.id = p.product and c.prognoz = p.prognoz "
               "where p.prognoz = 8 and p.priceCur = 0")
            .toInt(),
        1);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("Insert Prognoz; id=8; Name=Новый")});

    // An existing forecast is saved; the answer is the save's.
    rec.status = 9;
    EXPECT_FALSE(CreateForecast(rec, -1, false, false, false));
    rec.status = 1;
    EXPECT_TRUE(CreateForecast(rec, -1, false, false, false));
    EXPECT_EQ(GetForecast(8)->status, 1);
}

TEST_P(ForecastsTest, CreateCopiesFromTheSourceAsTheFlagsSay)
{
    AddForecast(1, QStringLiteral("src"));
    Exec("insert into tClsReceiver (id, category, name, importedId, isgroup) values (1, 0, 'r', 0, 1)");
    Exec("insert into tClsReceiverMap (prognoz, receiver, subReceiverCount) values (1, 1, 3)");
    Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (1, 5, 'p', 0)");
    Exec("insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values (1, 5, ?, ?, ?)",
         {QVariant::fromValue(Money::fromInt(1)), QVariant::fromValue(Money::fromInt(2)),
          QVariant::fromValue(Money::fromInt(3))});
    Exec("insert into tFctPrognozData (prognoz, product, receiver, sumCurr) values (1, 5, 1, ?)",
         {QVariant::fromValue(Money::fromInt(10))});

    CForecastRecord receiversOnly;
    receiversOnly.name = QStringLiteral("r");
    ASSERT_TRUE(CreateForecast(receiversOnly, 1, false, true, true));
    EXPECT_EQ(Count("tClsReceiverMap", "prognoz = ? and subReceiverCount = 3", {receiversOnly.id}), 1);
    EXPECT_EQ(Count("tClsProduct", "prognoz = ?", {receiversOnly.id}), 1); // its own root product
    EXPECT_EQ(Count("tFctPrognozData", "prognoz = ?", {receiversOnly.id}), 0);

    CForecastRecord all;
    all.name = QStringLiteral("all");
    ASSERT_TRUE(CreateForecast(all, 1, true, false, true));
    EXPECT_EQ(all.id, 3);
    EXPECT_EQ(Count("tClsReceiverMap", "prognoz = 3"), 1);
    EXPECT_EQ(Count("tClsProduct", "prognoz = 3 and id = 5"), 1);
    EXPECT_EQ(Count("tClsProduct", "prognoz = 3"), 1);
    CSqlQuery price("select priceNext from tFctPrice where prognoz = 3 and product = 5");
    ASSERT_TRUE(price.exec() && price.next());
    EXPECT_EQ(price.money("priceNext"), Money::fromInt(3));
    EXPECT_EQ(Count("tFctPrognozData", "prognoz = 3 and receiver = 1"), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ForecastsTest, FailedCreateLeavesNothing)
{
    AddForecast(1, QStringLiteral("src"));
    CForecastRecord rec;
    rec.name = QStringLiteral("x");
    rec.ownerName = QString(300, u'o');
    EXPECT_FALSE(CreateForecast(rec, 1, true, false, true));
    EXPECT_EQ(rec.id, -1);
    EXPECT_EQ(GetForecastCount(), 1);
    EXPECT_EQ(Count("tClsProduct"), 0);
    EXPECT_EQ(messages.size(), 1u);
}

TEST(ForecastsXml, ReadsWhatItWritesAndKeepsDefaults)
{
    const QByteArray doc = "<root><Prognoz><name>x</name><other>1</other></Prognoz></root>";
    auto parsed = XmlParseMemory(doc);
    ASSERT_TRUE(parsed);
    const auto rec = ReadXml<CForecastRecord>(xmlDocGetRootElement(parsed.get())->children);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->id, -1);
    EXPECT_EQ(rec->name, QStringLiteral("x"));
    EXPECT_EQ(rec->year, 0);
    EXPECT_EQ(rec->owner, -1);
    EXPECT_EQ(rec->status, 0);

    CForecastList list(2);
    list[0].id = 4;
    list[0].name = QStringLiteral("<&>\"'");
    list[1].ownerName = QStringLiteral("Минфин");
    XmlDocPtr out(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "doc");
    xmlDocSetRootElement(out.get(), root);
    WriteXml(root, list);
    auto reparsed = XmlParseMemory(XmlToBytes(out.get()));
    ASSERT_TRUE(reparsed);
    const auto back = ReadXmlList<CForecastRecord>(xmlFirstElementChild(xmlDocGetRootElement(reparsed.get())));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    EXPECT_EQ((*back)[0].id, 4);
    EXPECT_EQ((*back)[0].name, list[0].name);
    EXPECT_EQ((*back)[1].ownerName, QStringLiteral("Минфин"));
    EXPECT_FALSE(ReadXmlList<CForecastRecord>(xmlDocGetRootElement(reparsed.get())));
}
