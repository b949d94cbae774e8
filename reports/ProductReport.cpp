#include "ProductReport.h"

#include "FormRows.h"
#include "ProductRows.h"
#include "ReportDatabase.h"
#include "tables/Measurements.h"
#include "tables/ProductTree.h"

#include <algorithm>

namespace {

// An id without a unit record gives an empty symbol and is asked again next time.
QString UnitSymbol(int id, CUnitSymbolCache& cache)
{
    const auto it = cache.find(id);
    if (it != cache.end())
        return it->second;
    const auto unit = GetMeasurement(id);
    if (!unit)
        return QString();
    cache.emplace(id, unit->oboznachenie);
    return unit->oboznachenie;
}

} // namespace

void WriteProductTreeRows(int forecastId, int parentId, int level, CReportTable& table, const std::vector<int>& chosen,
                          CUnitSymbolCache& unitCache, int& lineCounter, int allProducts)
{
    const QString indent(level + 1, u'-');
    const auto children = CheckedRead([&] { return LoadProductChildren(parentId, forecastId); });
    if (!children)
        throw CReportFailure(ReportFailureTexts::kProducts);
    for (const CProductRecord& child : *children) {
        const bool wanted = allProducts != 0 || std::find(chosen.begin(), chosen.end(), child.id) != chosen.end();
        if (wanted) {
            table << IndentedReportName(level + 1, child.name) << child.code << (child.parent == 0 ? 1 : 0)
                  << UnitSymbol(child.measurementNatural, unitCache) << UnitSymbol(child.measurementPrice, unitCache)
                  << (lineCounter + 1) * 10;
            table.Write();
            ++lineCounter;
        }
        if (child.IsGroup())
            WriteProductTreeRows(forecastId, child.id, level + 1, table, chosen, unitCache, lineCounter, allProducts);
        if (wanted && child.IsGroup() && HasFooterLine(child.type)) {
            table << indent + QLatin1Char(' ') + child.balanceTitle;
            table.Null() << 1;
            table.Null().Null() << (lineCounter + 1) * 10;
            table.Write();
            ++lineCounter;
        }
    }
}

int BuildProductReport(int forecastId, const std::vector<int>& productIds, int /*receiverId*/, int allProducts)
{
    return RunReportFrame([&](CReportFrame& frame) {
        std::vector<int> chosen;
        if (allProducts == 0) {
            const auto top = CheckedRead([&] { return GetRootProduct(forecastId); });
            if (!top) {
                frame.SetResult(0);
                return;
            }
            chosen = productIds;
            if (std::find(chosen.begin(), chosen.end(), top->id) == chosen.end())
                chosen.push_back(top->id);
        }
        CReportTable& table = frame.Table(
            "Product", {"name", "code", "parent", "measurementNatural", "measurementPrice", "position"}, "report_id");
        CUnitSymbolCache units;
        int lineCounter = 0;
        WriteProductTreeRows(forecastId, 0, 0, table, chosen, units, lineCounter, allProducts);
    });
}
