#include "tables/Prices.h"
#include "DbTest.h"
#include "xml/XmlRecord.h"

namespace {

class PricesTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0), (2, 'g', 2026, 0)");
    }
    void Products(int forecast, int count)
    {
        CSqlQuery q("insert into tClsProduct (prognoz, id, name, isgroup) values (?, ?, 'p', 0)");
        for (int id = 1; id <= count; ++id) {
            q.bind(forecast).bind(id);
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
    }
    static CPriceRecord Price(int forecast, int product, double cur)
    {
        CPriceRecord r;
        r.prognoz = forecast;
        r.product = product;
        r.priceCur = *Money::fromDouble(cur);
        return r;
    }
};
LIR_INSTANTIATE_DB_TEST(PricesTest);

} // namespace

TEST_P(PricesTest, SaveFindsTheRowByProductAndForecast)
{
    Products(1, 2);
    CPriceRecord rec = Price(1, 1, 10.5);
    ASSERT_TRUE(SavePrice(rec, true));
    EXPECT_GT(rec.id, 0);
    const int id = rec.id;

    CPriceRecord again = Price(1, 1, 12.25);
    again.pricePrev = Money::invalid();
    ASSERT_TRUE(SavePrice(again, true));
    EXPECT_EQ(again.id, -1) << "an update leaves the id";
    EXPECT_EQ(Count("tFctPrice"), 1);
    const auto stored = GetPrice(1, 1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->id, id);
    EXPECT_EQ(stored->priceCur.raw(), 122500);
    EXPECT_EQ(stored->pricePrev.raw(), 0);
    EXPECT_TRUE(stored->pricePrev.isValid()) << "an invalid price is stored as 0";
    EXPECT_FALSE(GetPriceById(id, 2));

    CPriceRecord noId = Price(1, 2, 1);
    ASSERT_TRUE(SavePrice(noId, false));
    EXPECT_EQ(noId.id, -1);
    EXPECT_EQ(Count("tFctPrice"), 2);

    Exec("update tFctPrice set priceNext = null");
    const auto list = LoadPrices(SqlFilter("prognoz = ? and product = ?", {1, 2}));
    ASSERT_TRUE(list && list->size() == 1);
    EXPECT_FALSE((*list)[0].priceNext.isValid());
    EXPECT_TRUE(messages.empty());
}

TEST_P(PricesTest, AppendIsAllOrNothingAndLeavesOutTheSkippedProducts)
{
    Products(1, 650);
    CPriceList list;
    for (int p = 1; p <= 650; ++p)
        list.push_back(Price(1, p, p));
    ASSERT_TRUE(AppendPrices(list, {}));
    EXPECT_EQ(Count("tFctPrice", "prognoz = 1"), 650);
    EXPECT_EQ(Scalar("select count(distinct id) from tFctPrice").toInt(), 650);

    Products(2, 650);
    for (auto& r : list)
        r.prognoz = 2;
    ASSERT_TRUE(AppendPrices(list, {3, 300, 650}));
    EXPECT_EQ(Count("tFctPrice", "prognoz = 2"), 647);
    EXPECT_EQ(Count("tFctPrice", "prognoz = 2 and product in (3, 300, 650)"), 0);

    std::set<int> all;
    for (int p = 1; p <= 650; ++p)
        all.insert(p);
    EXPECT_TRUE(AppendPrices(list, all));
    EXPECT_EQ(Count("tFctPrice", "prognoz = 2"), 647);

    list[500].product = 9999; // no such product
    Exec("delete from tFctPrice where prognoz = 2");
    EXPECT_FALSE(AppendPrices(list, {}));
    EXPECT_EQ(Count("tFctPrice", "prognoz = 2"), 0);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(PricesTest, DeletesWriteTheirJournalLines)
{
    Products(1, 3);
    Products(2, 1);
    SetJournal(true);
    CPriceList list{Price(1, 1, 1), Price(1, 2, 2), Price(1, 3, 3), Price(2, 1, 4)};
    ASSERT_TRUE(AppendPrices(list, {}));
    CPriceRecord first = *GetPrice(1, 1);
    ASSERT_TRUE(DeletePrice(first, 1));
    EXPECT_EQ(first.id, -1);
    CPriceRecord gone = *GetPrice(2, 1);
    gone.product = 3; // does not match the stored row
    ASSERT_TRUE(DeletePrice(gone, 1));
    ASSERT_TRUE(DeleteForecastPrices(1));
    EXPECT_EQ(Count("tFctPrice"), 1);
    EXPECT_EQ(JournalTexts(),
              (QStringList{"Delete Price; prognoz=1; product=1", "Delete Price;  all records for prognoz"}));
}

TEST(PriceXml, WritesMoneyTextAndReadsWhatItCan)
{
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "root");
    xmlDocSetRootElement(doc.get(), root);
    CPriceRecord r;
    r.id = 5;
    r.prognoz = 1;
    r.product = 7;
    r.pricePrev = *Money::fromDouble(1234.5);
    WriteXml(root, CPriceList{r});
    const QByteArray text = XmlToBytes(doc.get());
    EXPECT_TRUE(text.contains("<pricies>\n    <price>\n      <id>5</id>")) << text.toStdString();
    EXPECT_TRUE(text.contains("<priceprev>1234.5</priceprev>"));
    EXPECT_TRUE(text.contains("<pricecur>0</pricecur>"));

    auto parsed = XmlParseMemory("<PRICIES><Price><PriceCur>abc</PriceCur><pricenext>2.5</pricenext></Price>"
                                 "<other/></PRICIES>");
    const auto list = ReadXmlList<CPriceRecord>(xmlDocGetRootElement(parsed.get()));
    ASSERT_TRUE(list && list->size() == 1);
    const CPriceRecord& p = (*list)[0];
    EXPECT_EQ(p.id, -1);
    EXPECT_FALSE(p.priceCur.isValid());
    EXPECT_EQ(p.priceNext.raw(), 25000);
    EXPECT_TRUE(p.pricePrev.isValid()) << "a missing child keeps the constructed value";

    auto other = XmlParseMemory("<prices/>");
    EXPECT_FALSE(ReadXmlList<CPriceRecord>(xmlDocGetRootElement(other.get())));
}
