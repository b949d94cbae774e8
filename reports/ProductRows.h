// The product line of the report builders and its loader: one line per product of the forecast's
// classifier, in the order the builder lists them, with the product's name indented by its depth,
// its units, the money sums and quantities of the three years (from the chosen receivers' own data,
// or from the consolidated forecast), the forecast year split by method of justification, the
// share of the top product's sums, and footer lines for the groups that carry a balancing line.
#pragma once

#include "Money.h"
#include "tables/ProductTree.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CUnitPairCache;

struct ReportProductRow {
    int id = -1;
    int level = 0;         // depth of the indentation; -1 on a footer line of the consolidated forecast
    bool isFooter = false; // a footer line made from a group (receivers' data)
    bool isGroup = false;
    int type = 0;
    QString name; // indented, at most 255 characters
    QString code;
    int parent = 0;
    QString balanceTitle;
    int measurementNaturalId = -1;
    int measurementPriceId = -1;
    QString measurementNatural; // unit symbols
    QString measurementPrice;
    int isMeasurementNatural = 0; // 1: no group, and the natural unit has a symbol
    Money sumLast, sumCurr, sumNext;
    Money valueLast, valueCurr, valueNext;
    Money shareLast, shareCurr, shareNext; // percent of the top product's sums
    Money sumNorm, sumIndex, sumPlan, sumFormula, sumOther;
    Money valueNorm, valueIndex, valuePlan, valueFormula, valueOther;
};

using ReportProductList = std::vector<ReportProductRow>;

// Group kinds (and the product type) whose group carries a footer line.
bool HasFooterLine(int type);
// A copy of the group's line that stands for its balancing line: the balancing title as name, the
// group's quantities as sums, no group, level -1.
ReportProductRow MakeFooterRow(const ReportProductRow& group);
// The row's three sums as percent of the top row's, the top's sums converted into the row's money
// unit first; 0 where the top's sum is 0. Throws when the two units have no conversion (after the
// conversion's own message).
void ComputeShares(ReportProductRow& row, const ReportProductRow& top, CUnitPairCache& units);
// The top's sum, kept in topUnit, expressed in unit through the same conversions. Throws when the two
// units have no conversion, after its message "Нет коэффициента пересчета ...".
double TopSumInUnit(int unit, Money topSum, int topUnit, CUnitPairCache& units);

// Loads the lines of one forecast for a list of products, as often as asked: for several receiver
// sets in turn, say. Its statements are prepared once, and the product set goes once into a
// temporary table of the calling thread's connection, so that loads on other threads keep their own.
class CProductTotalsLoader {
public:
    // productIds in report order, the top product first. An empty depth map is filled from the
    // forecast's product tree on the first load (the caller's map comes back filled).
    CProductTotalsLoader(int forecastId, std::vector<int> productIds, CProductDepthMap& depthMap);
    ~CProductTotalsLoader();
    CProductTotalsLoader(const CProductTotalsLoader&) = delete;
    CProductTotalsLoader& operator=(const CProductTotalsLoader&) = delete;

    // With receivers: the sums of their own data (a receiver that the forecast does not map counts
    // nothing; the top receiver and receivers that are no group count), each product indented by its
    // depth, a group's footer after its members. Without: the consolidated forecast, product by
    // product, a group's footer right after it. A listed product that is no product of the forecast
    // gives no line; one without a money unit none in the first mode and an empty one in the second,
    // as does one without a price row or consolidated figures there. None after a failure: a
    // database error is reported, a missing unit conversion has shown its own message.
    std::optional<ReportProductList> Load(const std::vector<int>& receiverIds);

private:
    struct State;
    std::unique_ptr<State> m;
};

// One load (the loader above, used once).
std::optional<ReportProductList> GetProductTotalsList(int forecastId, const std::vector<int>& receiverIds,
                                                      const std::vector<int>& productIds, CProductDepthMap& depthMap);
