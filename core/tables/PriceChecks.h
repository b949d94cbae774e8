// Money products, the guards of the current forecast and the own receiver, the test of a forecast
// row's implied unit price, and the conversion of a value between units.
#pragma once

#include "Money.h"
#include "Session.h"
#include "tables/TableResult.h"

#include <QString>

#include <optional>

class CUnitPairCache;
struct CPriceRecord;
struct CProductRecord;

inline const QString kNoCurrentForecastText = QStringLiteral("Не установлен текущий прогноз!");
inline const QString kNoSelfReceiverText =
    QStringLiteral("Не могу определить информацию о себе по справочнику \"Категории и получатели\"!");
// From-unit name, to-unit name.
inline const QString kNoConversionText = QStringLiteral("Нет коэффициента пересчета из %1 в %2!");

// quantity × price through doubles, rounded to four decimals; none when the product does not fit.
std::optional<Money> MulQuantityPrice(Money quantity, double price);
std::optional<Money> MulQuantityPriceCy(Money a, Money b);

// None when the session has a current forecast (an own receiver); otherwise the message to show.
std::optional<CNotice> CurrentForecastRefusal(const CSessionState& session);
std::optional<CNotice> SelfReceiverRefusal(const CSessionState& session);

// Results of the price test of one year column of a row.
enum RowPriceResult {
    ROW_PRICE_OK = 0,
    ROW_PRICE_MISSING = 1, // one of sum and quantity is missing
    ROW_PRICE_WRONG = 2,   // no such product, or the unit price lies outside the admissible range
};

// yearColumn: 0 pricePrev, 1 priceCur, 2 priceNext of the product's price in the forecast.
// Shows nothing.
void CheckRowPrice(int forecastId, int productId, double sum, double quantity, int yearColumn, int& sumResult,
                   int& quantityResult);
// The same on a product record that the caller holds (none: product not found).
void CheckRowPriceEx(int forecastId, const CProductRecord* product, double sum, double quantity, int yearColumn,
                     int& sumResult, int& quantityResult);
// The same rule without a read: the product's price row of the forecast (none: no price, no test) and
// the coefficients from its price unit to its second price unit (kPrice) and from its natural unit to
// its second natural unit (kNatural), as the caller has them.
void CheckRowPrice(const CProductRecord& product, const CPriceRecord* price, double kPrice, double kNatural, double sum,
                   double quantity, int yearColumn, int& sumResult, int& quantityResult);

// value in fromUnit expressed in toUnit, through the stored pair or the inverse of the reverse pair
// (CUnitPairCache::Factor). Without either the answer's notice names both units.
CTableResult ConvertByUnits(CUnitPairCache& units, int fromUnit, int toUnit, double value, double& result);
