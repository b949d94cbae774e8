// The tree collectors and the product lines on both dialects, against the fixture and against sums
// the database makes itself.
#include "ReportTestSupport.h"

#include "ProductRows.h"
#include "db/SqlDialect.h"
#include "tables/ProductTree.h"
#include "tables/ReceiverTree.h"

#include <thread>

namespace {

class ProductRowsTest : public ReportDbTest {
protected:
    // A money value the test's own statement read.
    Money ScalarMoney(const QString& sql, const QVariantList& args = {})
    {
        bool overflow = false;
        return Money::fromRaw(Dialect().MoneyFromValue(Scalar(sql, args), &overflow).raw());
    }

    static std::vector<int> TreeOf(int forecast, CProductDepthMap* depths = nullptr)
    {
        CProductDepthMap map;
        std::vector<int> ids;
        EXPECT_TRUE(CollectProductTree(forecast, map, &ids, nullptr));
        if (depths)
            *depths = map;
        return ids;
    }

    // What the last failed load told.
    std::string Told() const { return messages.empty() ? std::string() : messages.back().text.toStdString(); }

    static QStringList Names(const ReportProductList& rows)
    {
        QStringList names;
        for (const ReportProductRow& r : rows)
            names << r.name;
        return names;
    }

    static const ReportProductRow& Row(const ReportProductList& rows, int id, bool footer = false)
    {
        for (const ReportProductRow& r : rows)
            if (r.id == id && (r.level == -1 || r.isFooter) == footer)
                return r;
        static const ReportProductRow none;
        ADD_FAILURE() << "no line of product " << id;
        return none;
    }
};

TEST_P(ProductRowsTest, CollectorsWalkTheForecastsTrees)
{
    struct Case {
        const char* what;
        std::function<bool(CDepthMap&, std::vector<int>&)> collect;
        std::vector<std::pair<int, int>> expected; // id, depth, in order
    };
    const Case cases[] = {
        // 17 has no price row: it drops with 18 below it.
        {"products of forecast 1",
         [](CDepthMap& m, std::vector<int>& ids) { return CollectProductTree(1, m, &ids, nullptr); },
         {{10, 0}, {11, 1}, {12, 2}, {13, 3}, {14, 3}, {15, 1}, {16, 2}}},
        // The same ids in forecast 2: 12 is a leaf there.
        {"products of forecast 2",
         [](CDepthMap& m, std::vector<int>& ids) { return CollectProductTree(2, m, &ids, nullptr); },
         {{10, 0}, {11, 1}, {12, 2}}},
        // The unplaced receiver is no part of the tree.
        {"receivers of forecast 1",
         [](CDepthMap& m, std::vector<int>& ids) { return CollectReceiverTree(1, m, &ids, nullptr); },
         {{1, 0}, {2, 1}, {3, 2}, {4, 2}, {5, 1}}},
        {"a forecast without a tree",
         [](CDepthMap& m, std::vector<int>& ids) { return CollectReceiverTree(7, m, &ids, nullptr); },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CDepthMap depths{{999, 5}};
        std::vector<int> ids{999};
        ASSERT_TRUE(c.collect(depths, ids));
        std::vector<std::pair<int, int>> got;
        for (int id : ids)
            got.emplace_back(id, depths.at(id));
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(depths.size(), c.expected.size());
    }
}

TEST_P(ProductRowsTest, ReceiverLinesFollowTheTreeWithFootersAfterTheirGroups)
{
    const std::vector<int> chosen{1, 2, 3, 4, 5};
    CProductDepthMap depths;
    const auto rows = GetProductTotalsList(1, chosen, TreeOf(1), depths);
    ASSERT_TRUE(rows) << Told();
    EXPECT_EQ(depths.size(), 7u) << "the empty depth map comes back filled";
    EXPECT_EQ(Names(*rows),
              QStringList({"Продукция", "-Товары", "--Продукты питания", "---Хлеб", "---Молоко", "---Прочие продукты",
                           "--Прочие товары", "-Услуги", "--Связь"}));

    // Every line's figures are the chosen receivers' own data: the top receiver and receivers that are
    // no group count, the department (a group below the top) does not.
    const QString sum = QStringLiteral(
        "select sum(d.%1) from tFctPrognozData d join tClsReceiver r on r.id = d.receiver where d.prognoz = 1 "
        "and d.product = ? and d.receiver in (1, 2, 3, 4, 5) and (r.category = 0 or r.isgroup = 0)");
    for (const ReportProductRow& r : *rows) {
        if (r.isFooter)
            continue;
        SCOPED_TRACE(r.name.toStdString());
        EXPECT_EQ(r.sumNext, ScalarMoney(sum.arg("sumNext"), {r.id}));
        EXPECT_EQ(r.valueLast, ScalarMoney(sum.arg("valueLast"), {r.id}));
        EXPECT_EQ(r.sumNorm, ScalarMoney(sum.arg("sumNorm"), {r.id}));
        EXPECT_EQ(r.valuePlan, ScalarMoney(sum.arg("valuePlan"), {r.id}));
    }
    const ReportProductRow& bread = Row(*rows, 13);
    EXPECT_EQ(bread.sumNext, Money::fromInt(400));
    EXPECT_EQ(bread.isMeasurementNatural, 1);
    EXPECT_EQ(bread.shareLast, Money::fromInt(90));     // 360 of 400
    EXPECT_EQ(bread.shareNext, Money::fromRaw(869600)); // 400 of 460, to four decimals, times 100
    // Milk is kept in тыс. руб.: the top's sum is converted first (460 руб. = 0,46 тыс. руб.).
    const ReportProductRow& milk = Row(*rows, 14);
    EXPECT_EQ(milk.shareNext, Money::fromRaw(8695700));
    EXPECT_EQ(Row(*rows, 16).isMeasurementNatural, 0); // no natural unit
    EXPECT_EQ(Row(*rows, 10).shareCurr, Money::fromInt(100));

    // A footer carries its group's quantities as sums, at its group's depth.
    const ReportProductRow& food = Row(*rows, 12, true);
    EXPECT_TRUE(food.isFooter && !food.isGroup && food.level == 2);
    EXPECT_EQ(food.sumLast, Money::fromInt(7));
    EXPECT_EQ(food.sumNext, Money::fromInt(6));
    EXPECT_EQ(Row(*rows, 11, true).sumNext, Money::fromInt(10));

    // The product set went into a table of the run's own, not into the shared one.
    EXPECT_EQ(Count("tSvcIdentifiers"), 0);
}

TEST_P(ProductRowsTest, ReceiverSetsAndProductListsDecideTheLines)
{
    struct Case {
        const char* what;
        int forecast;
        std::vector<int> receivers;
        std::vector<int> products;                      // empty: the forecast's tree
        std::vector<std::pair<int, qlonglong>> sumNext; // id, raw
    };
    const Case cases[] = {
        {"one receiver", 1, {3}, {}, {{10, 2400000}, {13, 1200000}, {14, 40000}, {16, 900000}}},
        {"a receiver the forecast does not know counts nothing", 1, {3, 99}, {}, {{13, 1200000}}},
        {"no known receiver at all: zeros", 1, {99}, {}, {{10, 0}, {13, 0}}},
        {"the department alone: a group below the top", 1, {2}, {}, {{13, 0}}},
        // A product of no such id gives no line, one listed twice one line; one without a price row
        // its own (empty) figures.
        {"a chosen list", 1, {3, 4}, {10, 13, 17, 99, 13}, {{10, 4600000}, {13, 3400000}, {17, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CProductDepthMap depths;
        const auto rows =
            GetProductTotalsList(c.forecast, c.receivers, c.products.empty() ? TreeOf(c.forecast) : c.products, depths);
        ASSERT_TRUE(rows) << Told();
        for (const auto& [id, raw] : c.sumNext) {
            EXPECT_EQ(Row(*rows, id).sumNext.raw(), raw) << id;
        }
        if (!c.products.empty()) {
            EXPECT_EQ(rows->size(), 3u);
        }
    }

    // Forecast 2 shares product ids with forecast 1, where 12 is a group: here it is a leaf and keeps
    // its quantities.
    CProductDepthMap depths;
    const auto rows = GetProductTotalsList(2, {3}, TreeOf(2), depths);
    ASSERT_TRUE(rows) << Told();
    const ReportProductRow& food = Row(*rows, 12);
    EXPECT_FALSE(food.isGroup);
    EXPECT_EQ(food.valueNext, Money::fromInt(32));
    EXPECT_EQ(food.isMeasurementNatural, 1);
    EXPECT_EQ(food.name, "--Продукты питания");
}

TEST_P(ProductRowsTest, ConsolidatedLinesStandProductByProduct)
{
    // 17 has no price row and no consolidated row; 99 is no product of the forecast.
    std::vector<int> products = TreeOf(1);
    products.push_back(17);
    products.push_back(99);
    CProductDepthMap depths;
    const auto rows = GetProductTotalsList(1, {}, products, depths);
    ASSERT_TRUE(rows) << Told();
    EXPECT_EQ(Names(*rows),
              QStringList({"Продукция", "Товары", "-Прочие товары", "Продукты питания", "-Прочие продукты", "Хлеб",
                           "Молоко", "Услуги", "Связь", "Без цены"}));
    const QString total = QStringLiteral("select %1 from tFctTotalPrognoz where prognoz = 1 and product = ?");
    for (int id : {10, 11, 12, 13, 14, 16}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Row(*rows, id).sumNext, ScalarMoney(total.arg("sumNext"), {id}));
        EXPECT_EQ(Row(*rows, id).valueCurr, ScalarMoney(total.arg("valueCurr"), {id}));
        EXPECT_EQ(Row(*rows, id).level, 1);
    }
    EXPECT_EQ(Row(*rows, 13).sumPlan, Money::fromInt(220));
    const ReportProductRow& footer = Row(*rows, 11, true);
    EXPECT_TRUE(footer.level == -1 && !footer.isFooter);
    EXPECT_EQ(footer.sumNext, Money::fromInt(10));
    EXPECT_EQ(Row(*rows, 10).shareNext, Money::fromInt(100));
    EXPECT_EQ(Row(*rows, 13).shareNext, Money());
    const ReportProductRow& unpriced = Row(*rows, 17);
    EXPECT_TRUE(unpriced.isGroup && unpriced.sumNext.isZero() && unpriced.measurementPriceId == -1);
}

TEST_P(ProductRowsTest, LongNamesAndMissingConversionsAreHandled)
{
    Exec(QStringLiteral("update tClsProduct set name = ? where prognoz = 1 and id = 12"), {QString(255, u'Я')});
    CProductDepthMap depths;
    auto rows = GetProductTotalsList(1, {3}, TreeOf(1), depths);
    ASSERT_TRUE(rows) << Told();
    const QString& name = Row(*rows, 12).name;
    EXPECT_EQ(name.size(), 255);
    EXPECT_TRUE(name.startsWith(QStringLiteral("--Я")));

    // Milk in a money unit without any conversion from the top's: the conversion tells, no list.
    Exec(QStringLiteral("insert into tClsMeasurement (id, name, type, code, oboznachenie) values (5, 'Доллар', 2, "
                        "'840', '$')"));
    Exec(QStringLiteral("update tClsProduct set measurementPrice = 5 where prognoz = 1 and id = 14"));
    messages.clear();
    rows = GetProductTotalsList(1, {3}, TreeOf(1), depths);
    EXPECT_FALSE(rows);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Нет коэффициента пересчета из Рубль в Доллар!");
    EXPECT_EQ(messages[0].flags, 0u);
    // The consolidated lines compute no shares against the top: no conversion is asked for.
    EXPECT_TRUE(GetProductTotalsList(1, {}, TreeOf(1), depths));
}

TEST_P(ProductRowsTest, LoadsOnTwoThreadsKeepTheirOwnProductSets)
{
    const std::vector<int> all = TreeOf(1);
    const std::vector<int> some{10, 13};
    const auto load = [](const std::vector<int>& receivers, const std::vector<int>& products) {
        CProductDepthMap depths;
        const auto rows = GetProductTotalsList(1, receivers, products, depths);
        std::vector<std::pair<int, qlonglong>> out;
        if (rows)
            for (const ReportProductRow& r : *rows)
                out.emplace_back(r.id, r.sumNext.raw());
        return out;
    };
    const auto expectedAll = load({3}, all);
    const auto expectedSome = load({4}, some);
    ASSERT_EQ(expectedAll.size(), 9u);
    ASSERT_EQ(expectedSome.size(), 2u);

    std::atomic<int> mismatches{0};
    const auto worker = [&](const std::vector<int>& receivers, const std::vector<int>& products,
                            const std::vector<std::pair<int, qlonglong>>& expected) {
        // One loader, loaded again and again, as a builder that walks its receivers does.
        CProductDepthMap depths;
        CProductTotalsLoader loader(1, products, depths);
        for (int i = 0; i < 15; ++i) {
            const auto rows = loader.Load(receivers);
            std::vector<std::pair<int, qlonglong>> got;
            if (rows)
                for (const ReportProductRow& r : *rows)
                    got.emplace_back(r.id, r.sumNext.raw());
            if (got != expected)
                ++mismatches;
            if (got != load(receivers, products))
                ++mismatches;
        }
    };
    std::thread a(worker, std::vector<int>{3}, all, expectedAll);
    std::thread b(worker, std::vector<int>{4}, some, expectedSome);
    a.join();
    b.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Count("tSvcIdentifiers"), 0);
}

LIR_INSTANTIATE_DB_TEST(ProductRowsTest);

} // namespace
