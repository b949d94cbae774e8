#include "DataChecks.h"

#include "CheckTexts.h"
#include "GroupSums.h"
#include "RecalcRun.h"
#include "RecalcWalks.h"
#include "tables/Documentation.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/PriceChecks.h"
#include "tables/Prices.h"

#include <QFileInfo>

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

using namespace CheckTexts;

void CCheckLog::AddLogLine(const QString& text)
{
    if (!m_checkText.isEmpty())
        m_checkText += QStringLiteral("\r\n");
    m_checkText += text;
}

void CLinesLog::AppendLine(const QString& text)
{
    m_lines += text.split(QStringLiteral("\r\n"));
}

namespace {

using F = CForecastRowFields;
constexpr Money F::*kSums[3] = {&F::sumLast, &F::sumCurr, &F::sumNext};
constexpr Money F::*kValues[3] = {&F::valueLast, &F::valueCurr, &F::valueNext};

using UnitPair = std::pair<int, int>;

// A value of each unit pair, looked up once in a run.
template <class V>
class CPairMemo {
public:
    explicit CPairMemo(V (*lookup)(int, int))
        : m_lookup(lookup)
    {
    }
    V Get(int base, int produce)
    {
        const UnitPair key{base, produce};
        if (const auto it = m_known.find(key); it != m_known.end())
            return it->second;
        return m_known.emplace(key, m_lookup(base, produce)).first->second;
    }

private:
    V (*m_lookup)(int, int);
    std::map<UnitPair, V> m_known;
};

std::optional<std::unordered_map<int, CPriceRecord>> LoadForecastPrices(int forecast)
{
    const auto list = LoadPrices(SqlFilter(QStringLiteral("prognoz = ?"), {forecast}));
    if (!list)
        return std::nullopt;
    std::unordered_map<int, CPriceRecord> prices;
    for (const CPriceRecord& price : *list)
        prices.emplace(price.product, price);
    return prices;
}

// What the check reads of a row: the product, and the sums and quantities of the three years.
struct CCheckedRow {
    int product = 0;
    Money sums[3];
    Money values[3];

    CForecastDataRecord ToRecord() const
    {
        CForecastDataRecord rec;
        rec.product = product;
        for (int year = 0; year < 3; ++year) {
            rec.*kSums[year] = sums[year];
            rec.*kValues[year] = values[year];
        }
        return rec;
    }
};

// The rows of one receiver in one statement, in the order they were stored; none after a reported
// database error.
std::optional<std::vector<CCheckedRow>> LoadCheckedRows(int forecast, int receiver)
{
    CSqlQuery q(QStringLiteral("select product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext "
                               "from tfctprognozdata where prognoz = ? and receiver = ? order by id"));
    q.bind(forecast).bind(receiver);
    if (!q.execOrReport())
        return std::nullopt;
    // Read by position: a million rows make the lookup by name count.
    const CSqlDialect& dialect = Dialect();
    bool overflow = false;
    std::vector<CCheckedRow> rows;
    while (q.next()) {
        CCheckedRow& row = rows.emplace_back();
        row.product = q.value(0).toInt();
        for (int year = 0; year < 3; ++year) {
            row.sums[year] = dialect.MoneyFromValue(q.value(1 + year), &overflow);
            row.values[year] = dialect.MoneyFromValue(q.value(4 + year), &overflow);
        }
    }
    if (overflow) {
        ReportComError(MoneyOverflowError());
        return std::nullopt;
    }
    return rows;
}

} // namespace

// ---- the forecast data check

struct CForecastDataCheck::Data {
    int forecast = 0;
    bool loaded = false;
    std::unordered_map<int, CProductRecord> products; // every product of the forecast
    CProductTree priced;                              // the members that group sums add up
    std::unordered_map<int, CPriceRecord> prices;
    CUnitPairCache units; // of the price test (Koef) and of the group sums
};

CForecastDataCheck::CForecastDataCheck(CCheckLog& log, int forecast)
    : m_log(log)
    , m_data(std::make_unique<Data>())
{
    m_data->forecast = forecast;
    auto all = LoadProducts(forecast);
    auto priced = LoadPricedProducts(forecast);
    auto prices = LoadForecastPrices(forecast);
    if (!all || !priced || !prices)
        return;
    for (CProductRecord& p : *all)
        m_data->products.emplace(p.id, std::move(p));
    m_data->priced = CProductTree(std::move(*priced));
    m_data->prices = std::move(*prices);
    m_data->loaded = true;
}

CForecastDataCheck::~CForecastDataCheck() = default;

bool CForecastDataCheck::CheckReceiver(const CReceiverRecord& receiver)
{
    Data& d = *m_data;
    const auto rows = LoadCheckedRows(d.forecast, receiver.id);
    if (!rows) {
        m_log.AppendLine(kRowsNotLoaded);
        return false;
    }
    if (rows->empty()) {
        m_log.AppendLine(kNoRows);
        return true;
    }
    if (!d.loaded) {
        m_log.AppendLine(kProductNotLoaded);
        return false;
    }

    // A subordinate receiver group's rows are the sums over its members, read for all its group rows
    // at once; any other receiver's group rows are the sums of the member rows held here.
    const bool subordinate = IsSubordinateGroup(receiver);
    std::unordered_map<int, CMemberSums> memberSums;
    memberSums.reserve(rows->size());
    std::vector<int> groupProducts;
    for (const CCheckedRow& row : *rows) {
        memberSums.emplace(row.product, CMemberSums{row.sums[0], row.sums[1], row.sums[2]});
        const auto it = d.products.find(row.product);
        if (it != d.products.end() && it->second.IsGroup())
            groupProducts.push_back(row.product);
    }
    // Read once, when the first group row needs them; a failed read fails every group row.
    std::optional<CCalcResult<std::unordered_map<int, CCategorySums>>> categorySums;
    auto groupSums = [&](const CProductRecord& product, CForecastDataRecord& copy) {
        if (!subordinate)
            return bool(SumGroupRows(product, MembersOf(d.priced, product, memberSums), d.units, copy));
        if (!categorySums)
            categorySums = ReadCategorySums(d.forecast, receiver.id, groupProducts, true);
        if (!*categorySums)
            return false;
        ApplyCategorySums(**categorySums, copy);
        return true;
    };

    bool result = true;
    for (const CCheckedRow& row : *rows) {
        m_log.KeepAlive();
        const auto found = d.products.find(row.product);
        if (found == d.products.end()) {
            m_log.AppendLine(kProductNotLoaded);
            result = false;
            continue;
        }
        const CProductRecord& product = found->second;
        m_log.ClearCheckText();
        bool rowError = false;
        bool groupLines = false;
        if (product.measurementPrice == 0) {
            m_log.AddLogLine(kNoRowPriceUnit);
            rowError = true;
        } else {
            if (product.IsGroup()) {
                CForecastDataRecord copy = row.ToRecord();
                if (groupSums(product, copy)) {
                    for (int year = 0; year < 3; ++year) {
                        if (copy.*kSums[year] > row.sums[year]) {
                            m_log.AppendLine(kGroupSumAbove[year]);
                            rowError = groupLines = true;
                        }
                    }
                } else {
                    m_log.AppendLine(kGroupSumFailed);
                    rowError = groupLines = true;
                }
            }
            const bool tested = !product.IsGroup() || product.parent == 0;
            if (!rowError && tested && product.measurementNatural != 0) {
                for (int year = 0; year < 3; ++year) {
                    if (row.values[year].isZero()) {
                        m_log.AddLogLine(kNoQuantity[year]);
                        rowError = true;
                    }
                }
            }
            if (!rowError && tested) {
                const auto price = d.prices.find(product.id);
                const double k1 = d.units.Koef(product.measurementPrice, product.measurementPrice2);
                const double k2 = d.units.Koef(product.measurementNatural, product.measurementNatural2);
                bool outOfRange = false;
                for (int year = 0; year < 3 && !outOfRange; ++year) {
                    int sumResult = ROW_PRICE_OK;
                    int quantityResult = ROW_PRICE_OK;
                    CheckRowPrice(product, price == d.prices.end() ? nullptr : &price->second, k1, k2,
                                  row.sums[year].toDouble(), row.values[year].toDouble(), year, sumResult,
                                  quantityResult);
                    outOfRange = sumResult != ROW_PRICE_OK || quantityResult != ROW_PRICE_OK;
                }
                if (outOfRange) {
                    m_log.AddLogLine(kPriceOutOfRange);
                    rowError = true;
                }
            }
        }
        // The group-sum lines went to the log at once: the group's name follows them.
        if (!m_log.GetCheckText().isEmpty()) {
            m_log.AppendLine(product.GetDisplayName());
            m_log.AppendLine(m_log.GetCheckText());
        } else if (groupLines) {
            m_log.AppendLine(product.GetDisplayName());
        }
        if (rowError)
            result = false;
    }
    return result;
}

bool CheckForecast(CCheckLog& log, int forecast)
{
    log.AppendLine(kCheckingForecast);
    log.AppendLine(kPleaseWait);
    auto receivers = LoadForecastTreeReceivers(forecast);
    if (!receivers) {
        log.AppendLine(kReceiversNotLoaded);
        return false;
    }
    std::sort(receivers->begin(), receivers->end(),
              [](const CReceiverRecord& a, const CReceiverRecord& b) { return a.id < b.id; });
    CForecastDataCheck check(log, forecast);
    bool result = true;
    for (const CReceiverRecord& receiver : *receivers) {
        log.AppendLine(receiver.name);
        if (!check.CheckReceiver(receiver))
            result = false;
        log.AppendLine(QString());
    }
    log.AppendLine(kFinished);
    return result;
}

bool CheckForecastData(CCheckLog& log, int forecast, int receiver)
{
    CReceiverRecord record;
    if (const auto stored = GetForecastReceiver(receiver, forecast))
        record = *stored;
    else
        record.id = receiver;
    return CForecastDataCheck(log, forecast).CheckReceiver(record);
}

// ---- the reference-data check

bool CheckNSI(CCheckLog& log, int forecast)
{
    const bool prices = CheckPrices(log, forecast);
    const bool documents = CheckDocuments(log, forecast);
    const bool units = CheckMeasurements(log, forecast);
    return prices && documents && units;
}

bool CheckPrices(CCheckLog& log, int forecast)
{
    log.AppendLine(kCheckingProducts);
    const auto products = LoadPricedProducts(forecast);
    const auto prices = products ? LoadForecastPrices(forecast) : std::nullopt;
    if (!products || !prices) {
        log.AppendLine(kProductsNotLoaded);
        return false;
    }
    CPairMemo<bool> pairs(&MConvertExists);
    bool result = true;
    for (const CProductRecord& p : *products) {
        log.KeepAlive();
        log.ClearCheckText();
        if (p.measurementPrice == 0) {
            log.AddLogLine(kNoPriceUnit);
            result = false;
        }
        if (!p.IsGroup()) {
            if ((p.measurementNatural2 != 0) != (p.measurementPrice2 != 0))
                log.AddLogLine(kPartialSecondUnit);
            if (p.measurementPrice != 0 && p.measurementPrice2 != 0
                && !pairs.Get(p.measurementPrice, p.measurementPrice2))
                log.AddLogLine(kNoCostKoef);
            if (p.measurementNatural != 0 && p.measurementNatural2 != 0
                && !pairs.Get(p.measurementNatural, p.measurementNatural2))
                log.AddLogLine(kNoNaturalKoef);
            if (p.measurementNatural == 0) {
                log.AddLogLine(kNoNaturalUnit);
                result = false;
            }
            if (!(p.offsetMin > 0.0) || !(p.offsetMax > 0.0)) {
                log.AddLogLine(kOffsetsNotPositive);
                result = false;
            } else if (p.offsetMin > p.offsetMax) {
                log.AddLogLine(kOffsetsReversed);
                result = false;
            }
            const auto price = prices->find(p.id);
            if (price != prices->end()) {
                const CPriceRecord& r = price->second;
                if (r.pricePrev.raw() <= 0 || r.priceCur.raw() <= 0 || r.priceNext.raw() <= 0) {
                    log.AddLogLine(kPricesNotPositive);
                    result = false;
                }
            }
        }
        if (!log.GetCheckText().isEmpty()) {
            log.AppendLine(p.GetDisplayName());
            log.AppendLine(log.GetCheckText());
        }
    }
    log.ClearCheckText();
    log.AppendLine(kFinished);
    return result;
}

bool CheckDocuments(CCheckLog& log, int forecast)
{
    log.AppendLine(kCheckingDocuments);
    const auto documents =
        LoadDocumentation(SqlFilter(QStringLiteral("prognoz = ?"), {forecast}, QStringLiteral("position, id")));
    if (!documents) {
        log.AppendLine(kDocumentsNotLoaded);
        return false;
    }
    bool result = true;
    for (const CDocumentationRecord& document : *documents) {
        log.KeepAlive();
        if (!QFileInfo(MakeDocFileName(document)).isFile()) {
            log.AppendLine(document.name);
            log.AppendLine(kDocumentMissing);
            result = false;
        }
    }
    log.AppendLine(kFinished);
    return result;
}

bool CheckMeasurements(CCheckLog& log, int forecast)
{
    log.AppendLine(kCheckingUnits);
    bool result = false;
    if (const auto root = GetRootProduct(forecast); !root)
        log.AppendLine(kNoRootProduct);
    else if (root->measurementPrice == 0)
        log.AppendLine(NoPriceUnitFor(root->GetDisplayName()));
    else
        result = CheckProductUnits(log, forecast, root->id, root->measurementPrice);
    log.AppendLine(kFinished);
    return result;
}

bool CheckProductUnits(CCheckLog& log, int forecast, int productId, int priceUnit)
{
    auto products = LoadPricedProducts(forecast);
    const auto units = products ? LoadMeasurements() : std::nullopt;
    if (!products || !units) {
        log.AppendLine(kProductsNotLoaded);
        return false;
    }
    const CProductTree tree(std::move(*products));
    std::unordered_map<int, QString> unitNames;
    for (const CMeasurementRecord& unit : *units)
        unitNames.emplace(unit.id, unit.name);
    auto unitName = [&](int id) {
        const auto it = unitNames.find(id);
        return it == unitNames.end() ? QString() : it->second;
    };
    CPairMemo<bool> pairs(&MConvertExists);
    bool result = true;
    // Depth first, children in position order; a product reached twice is not walked again.
    struct Level {
        const std::vector<const CProductRecord*>* children;
        std::size_t next;
        int unit;
    };
    std::unordered_set<int> walked{productId};
    std::vector<Level> stack{{&tree.Children(productId), 0, priceUnit}};
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.children->size()) {
            stack.pop_back();
            continue;
        }
        const CProductRecord& child = *(*level.children)[level.next++];
        const int parentUnit = level.unit;
        log.KeepAlive();
        if (!walked.insert(child.id).second)
            continue;
        if (child.measurementPrice == 0) {
            log.AppendLine(NoPriceUnitFor(child.GetDisplayName()));
            result = false;
            continue;
        }
        if (child.measurementPrice != parentUnit && !pairs.Get(child.measurementPrice, parentUnit)) {
            log.AppendLine(NoUnitPair(unitName(child.measurementPrice), unitName(parentUnit)));
            result = false;
        }
        if (child.IsGroup())
            stack.push_back({&tree.Children(child.id), 0, child.measurementPrice});
    }
    return result;
}
