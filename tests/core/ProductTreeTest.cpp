#include "tables/ProductTree.h"
#include "DbTest.h"
#include "db/SqlQuery.h"

namespace {

class ProductTreeTest : public DbTest {
protected:
    void Product(int forecast, int id, int parent, int position, int isgroup, bool priced = true)
    {
        Exec("insert into tClsProduct (prognoz, id, parent, name, code, position, offsetMin, offsetMax, type, isgroup) "
             "values (?, ?, ?, ?, '', ?, 0, 0, 1, ?)",
             {forecast, id, parent, QStringLiteral("p%1").arg(id), position, isgroup});
        if (priced)
            Exec("insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, 0, 0, 0)",
                 {forecast, id});
    }
};
LIR_INSTANTIATE_DB_TEST(ProductTreeTest);

} // namespace

TEST_P(ProductTreeTest, CollectsThePricedTreeInPreOrderWithDepths)
{
    for (int f : {1, 2})
        Exec("insert into tFctPrognoz (id, name, year, status) values (?, 'f', 2026, 0)", {f});
    // A (1) > B (2, group) > C (3); D (4) beside B; E (5) without a price, with F (6) below it;
    // G (7) a member that says it is no group, with H (8) below it anyway.
    Product(1, 1, 0, 0, 1);
    Product(1, 2, 1, 1, 1);
    Product(1, 3, 2, 0, 0);
    Product(1, 4, 1, 2, 0);
    Product(1, 5, 1, 3, 1, false);
    Product(1, 6, 5, 0, 0);
    Product(1, 7, 1, 4, 0);
    Product(1, 8, 7, 0, 0);

    CProductDepthMap depths{{99, 9}};
    std::vector<int> ids{99};
    CProductList records;
    ASSERT_TRUE(CollectProductTree(1, depths, &ids, &records));
    EXPECT_EQ(ids, std::vector<int>({1, 2, 3, 4, 7}));
    EXPECT_EQ(depths, CProductDepthMap({{1, 0}, {2, 1}, {3, 2}, {4, 1}, {7, 1}}));
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[2].name, "p3");

    // The subtree step adds below a node that the caller placed.
    CProductDepthMap below{{2, 5}};
    ASSERT_TRUE(CollectProductSubtree(1, 2, below, 5, nullptr, nullptr));
    EXPECT_EQ(below, CProductDepthMap({{2, 5}, {3, 6}}));

    // A forecast without a top product gives nothing.
    ASSERT_TRUE(CollectProductTree(2, depths, &ids, &records));
    EXPECT_TRUE(depths.empty() && ids.empty() && records.empty());
}

TEST_P(ProductTreeTest, LikeArgumentsMatchLiterallyWithoutRegardToCase)
{
    const char16_t* names[] = {u"O'Brien", u"50% скидка", u"505 скидка", u"a_b", u"axb", u"МИНФИН", u"back\\slash"};
    for (int i = 0; i < int(std::size(names)); ++i)
        Exec("insert into tClsMeasurement (id, name, type) values (?, ?, 1)", {i + 1, QString::fromUtf16(names[i])});
    const struct {
        const char16_t* text;
        LikeMatch match;
        QList<int> ids;
    } cases[] = {
        {u"o'bri", LikeMatch::StartsWith, {1}},   {u"50%", LikeMatch::Contains, {2}},
        {u"a_b", LikeMatch::EndsWith, {4}},       {u"инф", LikeMatch::Contains, {6}},
        {u"Минфин", LikeMatch::StartsWith, {6}},  {u"\\", LikeMatch::Contains, {7}},
        {u"СКИДКА", LikeMatch::EndsWith, {2, 3}},
    };
    for (const auto& c : cases) {
        CSqlQuery q("select id from tclsmeasurement where " + Dialect().CaseInsensitiveLike("name") + " order by id");
        q.bind(LikeArgument(QString::fromUtf16(c.text), c.match));
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        QList<int> ids;
        while (q.next())
            ids << q.value(0).toInt();
        EXPECT_EQ(ids, c.ids) << QString::fromUtf16(c.text).toStdString();
    }
}
