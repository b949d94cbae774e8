#include "tables/Products.h"
#include "DbTest.h"
#include "Settings.h"
#include "tables/Forecasts.h"
#include "xml/XmlRecord.h"

#include <QSet>

#include <algorithm>
#include <clocale>
#include <string>
#include <thread>

namespace {

class ProductsTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        for (int f : {1, 2})
            Exec("insert into tFctPrognoz (id, name, year, status) values (?, 'f', 2026, 0)", {f});
        Exec("insert into tClsMeasurement (id, name, type) values (1, 'шт', 1), (2, 'руб', 2), (3, 'кг', 1)");
        Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'r', 0, 0, 0)");
    }
    // A row with a price row, as the tree reads want it.
    void Product(int forecast, int id, int parent, int position, int isgroup = 0, const QString& code = {})
    {
        Exec("insert into tClsProduct (prognoz, id, parent, name, code, position, offsetMin, offsetMax, type, isgroup) "
             "values (?, ?, ?, ?, ?, ?, 0, 0, 1, ?)",
             {forecast, id, parent, QStringLiteral("p%1").arg(id), code, position, isgroup});
        Exec("insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, 0, 0, 0)",
             {forecast, id});
    }
    static std::vector<int> Ids(const std::optional<CProductList>& list)
    {
        std::vector<int> ids;
        for (const auto& r : list.value_or(CProductList()))
            ids.push_back(r.id);
        return ids;
    }
    CProductRecord NewProduct(int forecast, const QString& name)
    {
        CProductRecord r;
        r.prognoz = forecast;
        r.parent = 0;
        r.name = name;
        return r;
    }
};
LIR_INSTANTIATE_DB_TEST(ProductsTest);

} // namespace

TEST_P(ProductsTest, NewIdsAreTheLargestOverAllForecastsPlusOneAndGivenIdsAreKept)
{
    CProductRecord first = NewProduct(2, "first");
    ASSERT_TRUE(SaveProduct(first));
    EXPECT_EQ(first.id, 1);

    Exec("insert into tClsProduct (prognoz, id, name, isgroup) values (2, 41, 'x', 0)");
    CProductRecord rec = NewProduct(1, "new");
    rec.measurementNatural = 1;
    rec.offsetMin = 1.5;
    ASSERT_TRUE(SaveProduct(rec));
    EXPECT_EQ(rec.id, 42);
    EXPECT_EQ(Scalar("select name from tClsProduct where prognoz = 1 and id = 42").toString(), "new");
    EXPECT_TRUE(Scalar("select measurementPrice from tClsProduct where id = 42").isNull()) << "unit 0 is NULL";

    CProductRecord given = NewProduct(1, "given");
    given.id = 7;
    ASSERT_TRUE(SaveProduct(given));
    EXPECT_EQ(given.id, 7);
    given.name = "renamed";
    ASSERT_TRUE(SaveProduct(given));
    EXPECT_EQ(Count("tClsProduct", "id = 7"), 1);
    const auto stored = GetProduct(7, 1);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->name, "renamed");
    EXPECT_DOUBLE_EQ(GetProduct(42, 1)->offsetMin, 1.5);
    EXPECT_EQ(rec.balanceTitle, "Прочее");
    EXPECT_EQ(Scalar("select balanceTitle from tClsProduct where id = 42").toString(), "Прочее");

    CProductRecord group = NewProduct(1, "g");
    group.type = kGroupSumOfMembers;
    group.isgroup = 1;
    ASSERT_TRUE(SaveProduct(group));
    EXPECT_EQ(Scalar("select balanceTitle from tClsProduct where id = ?", {group.id}).toString(), "");
    EXPECT_TRUE(messages.empty());

    // A failed save leaves a new record new.
    CProductRecord orphan = NewProduct(99, "no forecast");
    EXPECT_FALSE(SaveProduct(orphan));
    EXPECT_EQ(orphan.id, -1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(ProductsTest, ConcurrentSavesNeverShareAnId)
{
    std::atomic<int> failures{0};
    auto writer = [&](int forecast) {
        for (int i = 0; i < 15; ++i) {
            CProductRecord r = NewProduct(forecast, "t");
            if (!SaveProduct(r))
                ++failures;
        }
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(Scalar("select count(distinct id) from tClsProduct").toInt(), 30);
}

TEST_P(ProductsTest, TreeReadsSeeOnlyProductsWithAPriceRowInTheirForecast)
{
    Product(1, 1, 0, 1, 1);
    Product(1, 3, 1, 2);
    Product(1, 2, 1, 1, 1);
    Exec("insert into tClsProduct (prognoz, id, parent, name, position, offsetMin, offsetMax, type, isgroup) "
         "values (1, 4, 1, 'unpriced', 0, 0, 0, 1, 0)");
    // The same id in another forecast is another product.
    Product(2, 2, 1, 1, 0);

    EXPECT_EQ(GetRootProduct(1)->id, 1);
    EXPECT_EQ(Ids(LoadProductChildren(1, 1)), (std::vector<int>{2, 3}));
    EXPECT_EQ(Ids(LoadProductChildren(1, 1, SqlFilter("p1.isgroup = ?", {1}))), std::vector<int>{2});
    EXPECT_EQ(Ids(LoadPricedProducts(1)).size(), 3u);
    EXPECT_EQ(Ids(LoadProducts(1)).size(), 4u);
    EXPECT_EQ(Ids(LoadProducts(1, SqlFilter("name = ? or name = ?", {"unpriced", "p3"}, "id"))),
              (std::vector<int>{3, 4}));
    EXPECT_TRUE(GetProduct(4, 1));
    EXPECT_FALSE(GetProduct(3, 2));
    EXPECT_EQ(IsProductGroup(2, 1), 1);
    EXPECT_EQ(IsProductGroup(2, 2), 0);
    EXPECT_EQ(IsProductGroup(4, 1), 0);
    // Subgroups count only with a price row, and only in the product's own forecast.
    EXPECT_EQ(LoadGroupsWithSubgroups(0, 1), std::set<int>{1});
    EXPECT_EQ(LoadGroupsWithSubgroups(1, 1), std::set<int>{});
    Exec("insert into tClsProduct (prognoz, id, parent, name, position, offsetMin, offsetMax, type, isgroup) "
         "values (1, 8, 2, 'unpriced group', 0, 0, 0, 64, 1)");
    EXPECT_EQ(LoadGroupsWithSubgroups(1, 1), std::set<int>{});
    Product(1, 9, 2, 1, 1);
    EXPECT_EQ(LoadGroupsWithSubgroups(1, 1), std::set<int>{2});
    EXPECT_EQ(LoadGroupsWithSubgroups(1, 2), std::set<int>{});
    EXPECT_TRUE(messages.empty());

    CProductRecord unsaved;
    EXPECT_FALSE(unsaved.LoadChildren(1));
    EXPECT_EQ(GetProduct(3, 1)->GetParent()->id, 1);
}

TEST_P(ProductsTest, PathRunsFromTheTopAndStopsAtABreakOrACycleAndComesWithThePricedChildren)
{
    Product(1, 1, 0, 1, 1);
    Product(1, 2, 1, 1, 1);
    Product(1, 3, 2, 1);
    Product(1, 5, 9, 1); // parent 9 does not exist
    Product(1, 6, 7, 1);
    Product(1, 7, 6, 1);
    Product(1, 8, 1, 2);
    Product(1, 10, 6, 2);
    Product(2, 11, 1, 1); // another forecast's
    Exec("insert into tClsProduct (prognoz, id, parent, name, position, offsetMin, offsetMax, type, isgroup) "
         "values (1, 4, 2, 'no price', 2, 0, 0, 1, 0)");
    // The path, and the priced children of the products on it (with the path, by one statement).
    const struct {
        int id;
        std::vector<int> path;
        std::vector<int> children;
    } cases[] = {
        {3, {1, 2, 3}, {2, 3, 8}}, {1, {1}, {2, 8}}, {5, {5}, {}}, {0, {}, {}}, {6, {7, 6}, {6, 7, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(Ids(LoadProductPath(1, c.id)), c.path);
        const auto read = LoadProductPathChildren(1, c.id);
        ASSERT_TRUE(read);
        EXPECT_EQ(Ids(read->path), c.path);
        std::vector<int> children = Ids(read->children);
        std::sort(children.begin(), children.end());
        EXPECT_EQ(children, c.children);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(ProductsTest, ANullInARequiredColumnFailsTheReadWithAMessage)
{
    Product(1, 1, 0, 1);
    Exec("update tClsProduct set offsetMax = null where id = 1");
    EXPECT_FALSE(LoadPricedProducts(1));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("offsetMax"));
    Exec("update tClsProduct set offsetMax = 0, code = null, comment = null, measurementPrice = null where id = 1");
    const auto rec = GetProduct(1, 1);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->code, "");
    EXPECT_EQ(rec->measurementPrice, 0);
}

TEST_P(ProductsTest, ANewForecastsRootIsFoundAtTheTop)
{
    CForecastRecord f;
    f.name = "new";
    ASSERT_TRUE(CreateForecast(f, 0, false, false, false));
    const auto root = GetRootProduct(f.id);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, kRootProductName);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ProductsTest, UnitInUseCountsAllFourUnitColumns)
{
    Product(1, 1, 0, 1);
    EXPECT_FALSE(CountProductsByMeasurement(3));
    Exec("update tClsProduct set measurementNatural2 = 3");
    EXPECT_TRUE(CountProductsByMeasurement(3));
}

TEST_P(ProductsTest, MovingRenumbersSiblingsAroundTheMovedOne)
{
    Product(1, 1, 0, 1, 1);
    Product(1, 10, 1, 1);
    Product(1, 11, 1, 2);
    Product(1, 12, 1, 3);
    auto positions = [&] {
        return QStringLiteral("%1 %2 %3")
            .arg(Scalar("select position from tClsProduct where id = 10").toInt())
            .arg(Scalar("select position from tClsProduct where id = 11").toInt())
            .arg(Scalar("select position from tClsProduct where id = 12").toInt());
    };
    ASSERT_TRUE(MoveProductPosition(10, 1, 1, true));
    EXPECT_EQ(positions(), "1 6 8");
    ASSERT_TRUE(MoveProductPosition(11, 1, 1, false));
    EXPECT_EQ(positions(), "4 9 8");
    ASSERT_TRUE(MoveProductPosition(11, 1, 1, true));
    EXPECT_EQ(positions(), "4 5 6");
    EXPECT_EQ(Ids(LoadProductChildren(1, 1)), (std::vector<int>{10, 11, 12}));
}

TEST_P(ProductsTest, AppendIsAllOrNothing)
{
    CProductList list;
    for (int i = 1; i <= 650; ++i) {
        CProductRecord r = NewProduct(1, QStringLiteral("p%1").arg(i));
        r.id = i;
        list.push_back(r);
    }
    list[5].type = kGroupSumOfMembers;
    ASSERT_TRUE(AppendProducts(list));
    EXPECT_EQ(Count("tClsProduct", "prognoz = 1"), 650);
    EXPECT_EQ(list[4].balanceTitle, "Прочее");
    EXPECT_EQ(list[5].balanceTitle, "");

    for (auto& r : list)
        r.prognoz = 2;
    list[400].id = list[399].id;
    EXPECT_FALSE(AppendProducts(list));
    EXPECT_EQ(Count("tClsProduct", "prognoz = 2"), 0);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(ProductsTest, DeleteTakesThePriceRowAlongAndFailsWhileFiguresReferToIt)
{
    SetJournal(true);
    Product(1, 1, 0, 1);
    Exec("update tClsProduct set code = 'K1' where id = 1");
    Exec("insert into tClsProduct (prognoz, id, parent, name, position, offsetMin, offsetMax, type, isgroup) "
         "values (1, 2, 0, 'no price', 0, 0, 0, 1, 0)");
    Product(1, 3, 0, 1);
    Exec("insert into tFctPrognozData (prognoz, product, receiver) values (1, 3, 1)");

    EXPECT_TRUE(DeleteProduct(1, 1));
    EXPECT_EQ(Count("tClsProduct", "id = 1"), 0);
    EXPECT_EQ(Count("tFctPrice", "product = 1"), 0);
    CProductRecord noPrice = *GetProduct(2, 1);
    EXPECT_TRUE(noPrice.Delete());
    EXPECT_EQ(noPrice.id, -1);
    EXPECT_TRUE(DeleteProduct(99, 1));
    EXPECT_EQ(
        JournalTexts(),
        (QStringList{"Delete Price; prognoz=1; product=1", "Delete Product; Prognoz=1; Parent=0; Name=p1; Code=K1",
                     "Delete Product; Prognoz=1; Parent=0; Name=no price; Code="}));

    EXPECT_FALSE(DeleteProduct(3, 1));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tClsProduct", "id = 3"), 1);
    EXPECT_EQ(Count("tFctPrice", "product = 3"), 1) << "the price row is kept with the product";
    EXPECT_EQ(JournalTexts().size(), 3);
}

TEST_P(ProductsTest, DeletingAForecastsProductsLeavesOtherForecasts)
{
    SetJournal(true);
    Product(1, 1, 0, 1);
    Product(1, 2, 1, 1);
    Product(2, 1, 0, 1);
    ASSERT_TRUE(DeleteForecastProducts(1));
    EXPECT_EQ(Count("tClsProduct", "prognoz = 1"), 0);
    EXPECT_EQ(Count("tFctPrice", "prognoz = 1"), 0);
    EXPECT_EQ(Count("tClsProduct", "prognoz = 2"), 1);
    EXPECT_EQ(JournalTexts(),
              (QStringList{"Delete Price;  all records for prognoz", "Delete Product;  all records for prognoz"}));
}

TEST_P(ProductsTest, TreeHasDataLooksBelowGroups)
{
    Product(1, 1, 0, 1, 1);
    Product(1, 2, 1, 1, 1);
    Product(1, 3, 2, 1);
    Product(1, 4, 1, 2);
    Product(1, 5, 0, 2, 1); // an empty group
    EXPECT_FALSE(ProductTreeHasData(1, 1, 1));
    EXPECT_FALSE(ProductTreeHasData(4, 1, 1));
    EXPECT_FALSE(ProductTreeHasData(5, 1, 1));
    Exec("insert into tFctTotalPrognoz (prognoz, product) values (1, 3)");
    EXPECT_TRUE(ProductTreeHasData(1, 1, 1));
    EXPECT_TRUE(ProductTreeHasData(2, 1, 1));
    EXPECT_FALSE(ProductTreeHasData(4, 1, 1));
    Exec("insert into tFctPrognozData (prognoz, product, receiver) values (1, 4, 1)");
    EXPECT_TRUE(ProductTreeHasData(4, 1, 1));
    // Figures of another forecast do not count.
    EXPECT_FALSE(ProductTreeHasData(4, 1, 2));
    EXPECT_TRUE(messages.empty());
}

namespace {

struct XmlDoc {
    XmlDocPtr doc{xmlNewDoc(BAD_CAST "1.0")};
    xmlNodePtr root;
    XmlDoc()
    {
        root = xmlNewNode(nullptr, BAD_CAST "root");
        xmlDocSetRootElement(doc.get(), root);
    }
    static XmlDocPtr Parse(const char* text) { return XmlParseMemory(QByteArray(text)); }
};

std::vector<std::string> ChildNames(const xmlNode* node)
{
    std::vector<std::string> names;
    for (const xmlNode* c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            names.push_back(reinterpret_cast<const char*>(c->name));
    return names;
}

} // namespace

TEST(ProductXml, ChildrenInOrderWithLocaleFreeDecimals)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "ru_RU.UTF-8"))
        GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed";
    CProductRecord r;
    r.offsetMin = 1.5;
    r.name = "A & B";
    XmlDoc d;
    xmlNodePtr list = WriteXml(d.root, CProductList{r});
    std::setlocale(LC_ALL, saved.c_str());
    const xmlNode* product = list->children;
    ASSERT_TRUE(product);
    EXPECT_EQ(ChildNames(product),
              (std::vector<std::string>{"id",
                                        "prognoz",
                                        "parent",
                                        "measurementNatural",
                                        "measurementPrice",
                                        "measurementNatural2",
                                        "measurementPrice2",
                                        "name",
                                        "code",
                                        "balanceTitle",
                                        "position",
                                        "comment",
                                        "offsetMin",
                                        "offsetMax",
                                        "type",
                                        "isgroup",
                                        "avRep",
                                        "avCur",
                                        "avProg",
                                        "priceIdx"}));
    const QByteArray text = XmlToBytes(d.doc.get());
    EXPECT_TRUE(text.contains("<offsetMin>1.500000</offsetMin>")) << text.toStdString();
    EXPECT_TRUE(text.contains("<id>-1</id>"));
    EXPECT_TRUE(text.contains("<name>A &amp; B</name>"));

    const auto back = ReadXmlList<CProductRecord>(list);
    ASSERT_TRUE(back && back->size() == 1);
    EXPECT_EQ((*back)[0].name, "A & B");
    EXPECT_DOUBLE_EQ((*back)[0].offsetMin, 1.5);
}

TEST(ProductXml, ReadingIgnoresCaseAndKeepsDefaults)
{
    auto doc = XmlDoc::Parse("<PRODUCT><code>X1</code><avRep>12.5</avRep><Name>n</Name><other>9</other></PRODUCT>");
    const auto r = ReadXml<CProductRecord>(xmlDocGetRootElement(doc.get()));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->id, -1);
    EXPECT_EQ(r->type, 1);
    EXPECT_EQ(r->isgroup, 0);
    EXPECT_EQ(r->code, "X1");
    EXPECT_EQ(r->name, "n");
    EXPECT_DOUBLE_EQ(r->avRep, 12.5);
    EXPECT_EQ(XmlFixed6(r->avRep), "12.500000");

    auto empty = XmlDoc::Parse("<products/>");
    const auto list = ReadXmlList<CProductRecord>(xmlDocGetRootElement(empty.get()));
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->empty());
    EXPECT_FALSE(ReadXmlList<CProductRecord>(xmlDocGetRootElement(doc.get())));
    EXPECT_FALSE(ReadXml<CProductRecord>(xmlDocGetRootElement(empty.get())));
}

TEST_P(ProductsTest, AveragePriceImportMatchesCodesWithoutRegardToCase)
{
    Product(1, 1, 0, 1, 0, QStringLiteral("Кг-1"));
    Product(1, 2, 0, 2, 0, QStringLiteral("КГ-1"));
    Product(1, 3, 0, 3, 0, QStringLiteral("д'Арт"));
    Product(2, 1, 0, 1, 0, QStringLiteral("Кг-1"));
    Exec("update tClsProduct set priceIdx = 3");
    auto doc = XmlDoc::Parse("<products>"
                             "<product><code>кг-1</code><avRep>1.5</avRep><avCur>2</avCur><avProg>3</avProg>"
                             "<priceIdx>9</priceIdx></product>"
                             "<product><code>Д'АРТ</code><avRep>4</avRep></product>"
                             "<product><code>none</code><avRep>7</avRep></product>"
                             "</products>");
    ASSERT_TRUE(ImportAveragePricesXml(xmlDocGetRootElement(doc.get()), 1));
    for (int id : {1, 2}) {
        const auto r = GetProduct(id, 1);
        EXPECT_DOUBLE_EQ(r->avRep, 1.5);
        EXPECT_DOUBLE_EQ(r->avCur, 2);
        EXPECT_DOUBLE_EQ(r->avProg, 3);
        EXPECT_DOUBLE_EQ(r->priceIdx, 3);
    }
    EXPECT_DOUBLE_EQ(GetProduct(3, 1)->avRep, 4);
    EXPECT_DOUBLE_EQ(GetProduct(1, 2)->avRep, 0) << "another forecast";
    EXPECT_TRUE(messages.empty());
}

TEST_P(ProductsTest, AveragePriceImportWithAnInvalidNumberTakesNothing)
{
    Product(1, 1, 0, 1, 0, QStringLiteral("A"));
    Product(1, 2, 0, 2, 0, QStringLiteral("B"));
    auto doc = XmlDoc::Parse("<products><product><code>A</code><avRep>1.5</avRep></product>"
                             "<product><code>B</code><avRep>inf</avRep></product></products>");
    EXPECT_FALSE(ImportAveragePricesXml(xmlDocGetRootElement(doc.get()), 1));
    EXPECT_DOUBLE_EQ(GetProduct(1, 1)->avRep, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Недопустимое число в поле «avRep»: inf")));
}

TEST_P(ProductsTest, BookListRowsCarryTheOffsets)
{
    Product(1, 1, 0, 1, 1);
    Product(1, 2, 1, 2, 0, "B");
    Product(1, 3, 1, 1, 1, "A");
    Product(1, 4, 1, 3, 0, "C");
    Product(2, 5, 1, 1);
    Exec("insert into tClsProduct (prognoz, id, parent, name, position, offsetMin, offsetMax, type, isgroup) "
         "values (1, 6, 1, 'unpriced', 0, 0, 0, 1, 0)");
    Exec("update tClsProduct set offsetMin = 0.85, offsetMax = 1.25, comment = 'к' where id = 2");
    Exec("update tClsProduct set offsetMin = null, offsetMax = null where id = 4");
    const auto text = [](const std::optional<std::vector<CProductListRow>>& rows) {
        const auto number = [](const std::optional<double>& v) { return v ? QString::number(*v) : QString("-"); };
        QStringList out;
        for (const CProductListRow& r : rows.value_or(std::vector<CProductListRow>()))
            out << QStringLiteral("%1%2 %3 %4 %5 %6/%7")
                       .arg(r.isGroup ? QStringLiteral("+") : QString())
                       .arg(r.id)
                       .arg(r.code, r.name, r.comment, number(r.offsetMin), number(r.offsetMax));
        return out;
    };
    const struct {
        SqlFilter filter;
        QStringList rows;
    } cases[] = {
        {{}, {"+3 A p3  0/0", "2 B p2 к 0.85/1.25", "4 C p4  -/-"}},
        {{"p1.isgroup = ? or p1.code = ?", {0, "C"}, "p1.code desc"}, {"4 C p4  -/-", "2 B p2 к 0.85/1.25"}},
        {{"p1.code = ?", {"Z"}}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(LoadProductListRows(1, 1, c.filter)), c.rows) << c.filter.where.toStdString();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(LoadProductListRows(1, 1, SqlFilter("nosuchcolumn = 1")));
    EXPECT_EQ(messages.size(), 1u);
}
