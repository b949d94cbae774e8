#include "PriceChecks.h"

#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"

std::optional<Money> MulQuantityPrice(Money quantity, double price)
{
    return MulMoneyDouble(quantity, price);
}

std::optional<Money> MulQuantityPriceCy(Money a, Money b)
{
    return MulMoneyDouble(a, b.toDouble());
}

std::optional<CNotice> CurrentForecastRefusal(const CSessionState& session)
{
    if (session.currentForecastId >= 1)
        return std::nullopt;
    return CNotice{kNoCurrentForecastText, 0};
}

std::optional<CNotice> SelfReceiverRefusal(const CSessionState& session)
{
    if (session.ownReceiverId >= 1)
        return std::nullopt;
    return CNotice{kNoSelfReceiverText, 0};
}

void CheckRowPrice(int forecastId, int productId, double sum, double quantity, int yearColumn, int& sumResult,
                   int& quantityResult)
{
    const auto product = GetProduct(productId, forecastId);
    CheckRowPriceEx(forecastId, product ? &*product : nullptr, sum, quantity, yearColumn, sumResult, quantityResult);
}

namespace {

// The steps before the unit price; true when the test goes on to compare it.
bool NeedsUnitPrice(const CProductRecord& product, double sum, double quantity, int& sumResult, int& quantityResult)
{
    sumResult = quantityResult = ROW_PRICE_OK;
    // A product without bounds is never tested.
    if (product.offsetMax == 0.0 && product.offsetMin == 0.0)
        return false;
    if (sum == 0.0 && quantity != 0.0) {
        sumResult = ROW_PRICE_MISSING;
        return false;
    }
    if (sum != 0.0 && quantity == 0.0) {
        if (product.measurementNatural != 0)
            quantityResult = ROW_PRICE_MISSING;
        return false;
    }
    return sum != 0.0;
}

void CompareUnitPrice(const CProductRecord& product, const CPriceRecord* priceRow, double kPrice, double kNatural,
                      double sum, double quantity, int yearColumn, int& sumResult)
{
    if (!priceRow)
        return;
    double price;
    switch (yearColumn) {
    case 0:
        price = priceRow->pricePrev.toDouble();
        break;
    case 1:
        price = priceRow->priceCur.toDouble();
        break;
    case 2:
        price = priceRow->priceNext.toDouble();
        break;
    default:
        return;
    }
    if (price == 0.0)
        return;
    const double unitPrice = (kPrice * sum) / (kNatural * quantity);
    if (unitPrice > product.offsetMax * price || unitPrice < product.offsetMin * price)
        sumResult = ROW_PRICE_WRONG;
}

} // namespace

void CheckRowPriceEx(int forecastId, const CProductRecord* product, double sum, double quantity, int yearColumn,
                     int& sumResult, int& quantityResult)
{
    if (!product) {
        sumResult = quantityResult = ROW_PRICE_WRONG;
        return;
    }
    if (!NeedsUnitPrice(*product, sum, quantity, sumResult, quantityResult))
        return;
    const double kPrice = GetMConvertKoef(product->measurementPrice, product->measurementPrice2);
    const double kNatural = GetMConvertKoef(product->measurementNatural, product->measurementNatural2);
    const auto priceRow = GetPrice(product->id, forecastId);
    CompareUnitPrice(*product, priceRow ? &*priceRow : nullptr, kPrice, kNatural, sum, quantity, yearColumn, sumResult);
}

void CheckRowPrice(const CProductRecord& product, const CPriceRecord* price, double kPrice, double kNatural, double sum,
                   double quantity, int yearColumn, int& sumResult, int& quantityResult)
{
    if (NeedsUnitPrice(product, sum, quantity, sumResult, quantityResult))
        CompareUnitPrice(product, price, kPrice, kNatural, sum, quantity, yearColumn, sumResult);
}

CTableResult ConvertByUnits(CUnitPairCache& units, int fromUnit, int toUnit, double value, double& result)
{
    if (fromUnit == toUnit) {
        result = value;
        return true;
    }
    // Conversions that cannot be read answer without a message; a stored 0 counts as missing.
    if (!units.Readable())
        return false;
    const double k = units.Factor(fromUnit, toUnit).value_or(0.0);
    if (k != 0.0) {
        result = k * value;
        return true;
    }
    const auto from = GetMeasurement(fromUnit);
    const auto to = GetMeasurement(toUnit);
    return {false, {kNoConversionText.arg(from ? from->name : QString(), to ? to->name : QString()), 0}};
}
