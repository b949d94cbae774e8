#include "tables/PriceChecks.h"
#include "DbTest.h"
#include "Settings.h"
#include "tables/MConverts.h"
#include "tables/Prices.h"
#include "tables/ProductAveragePrices.h"
#include "tables/Products.h"

namespace {

class PriceChecksTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0), (2, 'g', 2026, 0)");
        Exec("insert into tClsMeasurement (id, name, type) values (1, 'шт', 1), (2, 'руб', 2), (3, 'кг', 1), "
             "(4, 'тыс.руб', 2), (5, 'у.е.', 2)");
        Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'a', 0, 0, 0), "
             "(2, 'b', 0, 0, 0), (3, 'c', 0, 0, 0)");
    }
    void Product(int forecast, int id, int natural, int priceUnit, double offsetMin, double offsetMax)
    {
        Exec("insert into tClsProduct (prognoz, id, parent, name, code, position, measurementNatural, "
             "measurementPrice, offsetMin, offsetMax, type, isgroup) values (?, ?, 0, 'p', 'A', 1, ?, ?, ?, ?, 1, 0)",
             {forecast, id, natural > 0 ? QVariant(natural) : QVariant(),
              priceUnit > 0 ? QVariant(priceUnit) : QVariant(), offsetMin, offsetMax});
    }
    void Price(int forecast, int product, double cur)
    {
        Exec("insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)",
             {forecast, product, QVariant::fromValue(Money()), QVariant::fromValue(*Money::fromDouble(cur)),
              QVariant::fromValue(Money())});
    }
    void Figures(int forecast, int product, int receiver, double sumCurr, double valueCurr, double sumNext = 0,
                 double valueNext = 0)
    {
        Exec("insert into tFctPrognozData (prognoz, product, receiver, sumLast, valueLast, sumCurr, valueCurr, "
             "sumNext, valueNext) values (?, ?, ?, 0, 0, ?, ?, ?, ?)",
             {forecast, product, receiver, QVariant::fromValue(*Money::fromDouble(sumCurr)),
              QVariant::fromValue(*Money::fromDouble(valueCurr)), QVariant::fromValue(*Money::fromDouble(sumNext)),
              QVariant::fromValue(*Money::fromDouble(valueNext))});
    }
    // The check that reads its product, and the one on what the caller holds, agree.
    std::pair<int, int> Check(int product, double sum, double quantity, int column = 1)
    {
        int s = -1, q = -1;
        CheckRowPrice(1, product, sum, quantity, column, s, q);
        if (const auto held = GetProduct(product, 1)) {
            const auto price = GetPrice(product, 1);
            int hs = -1, hq = -1;
            CheckRowPrice(
                *held, price ? &*price : nullptr, GetMConvertKoef(held->measurementPrice, held->measurementPrice2),
                GetMConvertKoef(held->measurementNatural, held->measurementNatural2), sum, quantity, column, hs, hq);
            EXPECT_EQ(std::pair(hs, hq), std::pair(s, q)) << product << ": " << sum << " / " << quantity;
        }
        return {s, q};
    }
};
LIR_INSTANTIATE_DB_TEST(PriceChecksTest);

using Results = std::pair<int, int>;

} // namespace

TEST_P(PriceChecksTest, RowPriceAgainstTheAdmissibleRange)
{
    Product(1, 1, 1, 2, 0.9, 1.2);
    Price(1, 1, 8);
    EXPECT_EQ(Check(1, 100, 10), Results(2, 0)) << "10 is above 9.6";
    Exec("update tFctPrice set priceCur = ?", {QVariant::fromValue(Money::fromInt(9))});
    EXPECT_EQ(Check(1, 100, 10), Results(0, 0)) << "8.1 to 10.8";
    EXPECT_EQ(Check(1, 70, 10), Results(2, 0));
    EXPECT_EQ(Check(1, 100, 10, 0), Results(0, 0)) << "no report-year price: no test";
    EXPECT_EQ(Check(1, 100, 10, 3), Results(0, 0));
    EXPECT_EQ(Check(1, 0, 10), Results(1, 0));
    EXPECT_EQ(Check(1, 100, 0), Results(0, 1));
    EXPECT_EQ(Check(1, 0, 0), Results(0, 0));
    EXPECT_EQ(Check(99, 100, 10), Results(2, 2));

    // Bounds are inclusive; the second units convert the sum and the quantity.
    Product(1, 2, 0, 2, 0.5, 2);
    Price(1, 2, 8);
    EXPECT_EQ(Check(2, 160, 10), Results(0, 0));
    EXPECT_EQ(Check(2, 40, 10), Results(0, 0));
    EXPECT_EQ(Check(2, 100, 0), Results(0, 0)) << "no natural unit: a missing quantity is not flagged";
    Exec("insert into tClsMConvert (base, produce, koef) values (2, 4, 0.001), (1, 3, 10)");
    Exec("update tClsProduct set measurementPrice2 = 4, measurementNatural = 1, measurementNatural2 = 3 where id = 2");
    EXPECT_EQ(Check(2, 160000, 1), Results(0, 0)) << "(0.001 * 160000) / (10 * 1) = 16";
    EXPECT_EQ(Check(2, 170000, 1), Results(2, 0));

    // Without bounds nothing is ever flagged.
    Product(1, 3, 1, 2, 0, 0);
    Price(1, 3, 8);
    for (auto [sum, quantity] : {std::pair{1000.0, 1.0}, {0.0, 5.0}, {5.0, 0.0}})
        EXPECT_EQ(Check(3, sum, quantity), Results(0, 0));

    EXPECT_TRUE(messages.empty());
}

TEST_P(PriceChecksTest, EachForecastIsCheckedAgainstItsOwnPrices)
{
    Product(1, 1, 1, 2, 0.9, 1.2);
    Product(2, 1, 1, 2, 0.9, 1.2);
    Price(1, 1, 8);
    Price(2, 1, 9);
    for (int forecast : {1, 2}) {
        const CProductRecord held = *GetProduct(1, forecast);
        int s = -1, q = -1;
        CheckRowPriceEx(forecast, &held, 100, 10, 1, s, q);
        // 10 lies above 1.2 × 8 but within 8.1 to 10.8.
        EXPECT_EQ(Results(s, q), forecast == 1 ? Results(2, 0) : Results(0, 0)) << forecast;
        CheckRowPrice(forecast, 1, 100, 10, 1, s, q);
        EXPECT_EQ(Results(s, q), forecast == 1 ? Results(2, 0) : Results(0, 0)) << forecast;
        CheckRowPriceEx(forecast, nullptr, 70, 10, 1, s, q);
        EXPECT_EQ(Results(s, q), Results(2, 2));
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(PriceChecksTest, ConvertByUnitsUsesThePairOrTheInverseOfTheReversePair)
{
    Exec("insert into tClsMConvert (base, produce, koef) values (3, 1, 4)");
    CUnitPairCache units(OnDbError::Silent);
    double result = 0;
    EXPECT_TRUE(Shown(ConvertByUnits(units, 3, 1, 8, result)));
    EXPECT_EQ(result, 32);
    EXPECT_TRUE(Shown(ConvertByUnits(units, 1, 3, 8, result)));
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(Shown(ConvertByUnits(units, 5, 5, 7, result)));
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(messages.empty());

    result = -1;
    EXPECT_FALSE(Shown(ConvertByUnits(units, 1, 2, 8, result)));
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(Shown(ConvertByUnits(units, 99, 2, 8, result)));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Нет коэффициента пересчета из шт в руб!");
    EXPECT_EQ(messages[0].flags, 0u);
    EXPECT_EQ(messages[1].text, "Нет коэффициента пересчета из  в руб!");
}

TEST_P(PriceChecksTest, AveragePricesFromTheFiguresOfTheCurrentForecast)
{
    Product(1, 1, 1, 2, 0, 0);
    Product(2, 1, 1, 2, 0, 0);
    Figures(1, 1, 1, 100, 10, 50, 5);
    Figures(1, 1, 2, 300, 10, 50, -5);
    Figures(1, 1, 3, 50, 0);
    Figures(2, 1, 1, 1000, 1);
    double last = -1, curr = -1, next = -1;
    EXPECT_TRUE(ComputeDataAveragePrices(1, 1, last, curr, next));
    EXPECT_EQ(last, 0);
    EXPECT_EQ(curr, 20);
    EXPECT_EQ(next, 0) << "quantities that cancel out give no price";
    EXPECT_TRUE(ComputeDataAveragePrices(1, 7, last, curr, next));
    EXPECT_EQ(curr, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_P(PriceChecksTest, PriceRangesAreMeansInOneUnit)
{
    // One product copied into two forecasts under the same id, priced in different units.
    Product(1, 1, 0, 2, 0.5, 2);
    Product(2, 1, 0, 4, 0.5, 2);
    Product(2, 2, 0, 5, 1, 1);
    Exec("update tClsProduct set avCur = 12 where prognoz = 1");
    Exec("update tClsProduct set avCur = 0.015, code = 'B' where prognoz = 2 and id = 1");
    Exec("update tClsProduct set avCur = 3 where prognoz = 2 and id = 2");
    Price(1, 1, 10);
    Price(2, 1, 0.02);
    Price(2, 2, 6);
    Exec("insert into tClsMConvert (base, produce, koef) values (4, 2, 1000)");

    CAveragePriceRanges r;
    ASSERT_TRUE(ComputeAveragePriceRanges(SqlFilter("p.id = ? and p.prognoz in (1, 2)", {1}), 2, r));
    EXPECT_DOUBLE_EQ(r.minCur, 7.5);
    EXPECT_DOUBLE_EQ(r.maxCur, 30);
    EXPECT_DOUBLE_EQ(r.avCur, 13.5);
    EXPECT_EQ(r.minPrev, 0);
    EXPECT_EQ(r.avRep, 0);

    ASSERT_TRUE(ComputeAveragePriceRanges(SqlFilter("p.prognoz = ? and p.id = ?", {2, 2}), 2, r));
    EXPECT_DOUBLE_EQ(r.minCur, 6) << "no conversion: factor 1";
    EXPECT_DOUBLE_EQ(r.avCur, 3);

    ASSERT_TRUE(ComputeAveragePriceRanges(SqlFilter("p.code = ?", {"none"}), 2, r));
    EXPECT_EQ(r.maxCur, 0);
    EXPECT_TRUE(messages.empty());

    ASSERT_TRUE(ComputeAveragePriceRanges(SqlFilter("p.id = ?", {1}), 2, r));
    EXPECT_FALSE(ComputeAveragePriceRanges(SqlFilter("nosuchcolumn = ?", {1}), 2, r));
    EXPECT_EQ(r.minCur, 0);
    EXPECT_EQ(r.avCur, 0);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(PriceChecksTest, GuardsShowTheirMessage)
{
    CSessionState session;
    session.currentForecastId = 0;
    session.ownReceiverId = 0;
    EXPECT_FALSE(Passed(CurrentForecastRefusal(session)));
    EXPECT_FALSE(Passed(SelfReceiverRefusal(session)));
    session.currentForecastId = 1;
    session.ownReceiverId = 3;
    EXPECT_TRUE(Passed(CurrentForecastRefusal(session)));
    EXPECT_TRUE(Passed(SelfReceiverRefusal(session)));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Не установлен текущий прогноз!");
    EXPECT_EQ(messages[1].text, "Не могу определить информацию о себе по справочнику \"Категории и получатели\"!");
    EXPECT_EQ(messages[1].flags, 0u);
}

TEST(MoneyProducts, RoundToFourDecimalsAndRefuseOverflow)
{
    EXPECT_EQ(MulQuantityPrice(Money::fromInt(10), 2.5)->raw(), 250000);
    EXPECT_EQ(MulQuantityPrice(*Money::fromDouble(3), 1.0 / 3.0)->raw(), 10000);
    EXPECT_EQ(MulQuantityPriceCy(*Money::fromDouble(1.5), *Money::fromDouble(0.0001))->raw(), 2);
    EXPECT_FALSE(MulQuantityPrice(Money::fromInt(900000000000LL), 10000));
    EXPECT_FALSE(MulQuantityPriceCy(Money::fromInt(900000000000LL), Money::fromInt(900000000000LL)));
}
