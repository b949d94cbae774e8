// Prices of a forecast's products (tfctprice): one row per forecast and product.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <memory>
#include <optional>
#include <set>
#include <vector>

struct CPriceRecord {
    int id = -1;
    int prognoz = 0;
    int product = 0;
    Money pricePrev; // report year
    Money priceCur;  // current year
    Money priceNext; // forecast year
};

using CPriceList = std::vector<CPriceRecord>;

// None for a row whose id, prognoz or product is NULL (it fails the whole read); a NULL price reads as
// an invalid zero.
std::optional<CPriceRecord> ReadPriceRow(const CSqlQuery& q);

// The reads show nothing on failure.
std::optional<CPriceRecord> GetPrice(int product, int prognoz);
std::optional<CPriceRecord> GetPriceById(int id, int prognoz);
std::optional<CPriceList> LoadPrices(const SqlFilter& filter = {});

// The row is found by product and forecast, not by the record's id; a new row's id is put into the
// record only with takeNewId. An invalid price is stored as 0.
[[nodiscard]] bool SavePrice(CPriceRecord& rec, bool takeNewId);
// All rows or none, except the products of the skip set; ids come from the database.
[[nodiscard]] bool AppendPrices(const CPriceList& list, const std::set<int>& skipProducts);
// The prices of the list whose product is stored in its forecast and has no price there yet, the
// first of each product only; the stored products and prices of all the list's forecasts are read
// in one statement. None after a reported database error.
std::optional<CPriceList> PricesToAppend(const CPriceList& prices);
class CRowStage;
// Received prices that wait in the database until they are stored (db/RowStage.h); none when no stage
// can be made.
std::unique_ptr<CRowStage> StartPriceStage();
[[nodiscard]] bool StagePrice(CRowStage& stage, const CPriceRecord& rec);
// The staged prices that PricesToAppend would give, stored as AppendPrices stores them, by one
// statement.
[[nodiscard]] bool AppendStagedPrices(const CRowStage& stage);
[[nodiscard]] bool DeleteForecastPrices(int prognoz);
// Deletes the row with the record's id and product in the forecast; the record's id becomes -1.
[[nodiscard]] bool DeletePrice(CPriceRecord& rec, int prognoz);
// The line of a delete: of one stored row, or of all rows of a forecast (none).
void WritePriceJournal(const CPriceRecord* stored);

// "price" elements in "pricies".
template <>
const CXmlFormat<CPriceRecord>& XmlFormatOf<CPriceRecord>();
