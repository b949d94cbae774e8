// Form 8: for every receiver of a forecast, the products whose forecast-year sum departs from the
// current-year estimate by at least a limit in percent, inside the receiver hierarchy.
#pragma once

#include "Money.h"
#include "ProductRows.h"

#include <memory>
#include <optional>
#include <vector>

struct Form8Row {
    int productId = -1;
    int parentId = 0;
    QString name; // indented
    QString code;
    bool isGroup = false;
    int level = 0;
    int measurementNaturalId = -1;
    int measurementPriceId = -1;
    QString measurementNatural;
    QString measurementPrice;
    int isMeasurementNatural = 0;
    Money sumReport, sumEstimate, sumForecast;
    Money valueReport, valueEstimate, valueForecast;
    Money change; // |sumForecast / sumEstimate x 100 - 100|; 0 for a zero estimate
};

using Form8RowList = std::vector<Form8Row>;

// The product lines of one forecast for form 8: loaded once with their names, units, depths and
// footer lines, then filled with one receiver's own sums at a time by one prepared statement.
class CForm8Lines {
public:
    // productIds in tree order with their depths (an empty map is filled).
    CForm8Lines(int forecastId, const std::vector<int>& productIds, CProductDepthMap& depthMap);
    ~CForm8Lines();
    CForm8Lines(const CForm8Lines&) = delete;
    CForm8Lines& operator=(const CForm8Lines&) = delete;
    // The lines with the receiver's sums, valid until the next call; null when they cannot be loaded
    // (a database error is reported). One buffer serves every receiver.
    const ReportProductList* Load(int receiverId);

private:
    struct State;
    std::unique_ptr<State> m;
};

// The rows of one receiver that reach the limit, with the groups that hold any of them; none when the
// product lines cannot be loaded.
std::optional<Form8RowList> BuildReportForm8Rows(CForm8Lines& lines, int receiverId, Money limit);
// The same into rows (cleared first, its capacity kept for the next receiver); false on a load failure.
bool BuildReportForm8Rows(CForm8Lines& lines, int receiverId, Money limit, Form8RowList& rows);
std::optional<Form8RowList> BuildReportForm8Rows(int forecastId, int receiverId, Money limit,
                                                 const std::vector<int>& productIds, CProductDepthMap& depthMap);

// The report id, or -1 after a failure (rows rolled back).
int BuildReportForm8(int forecastId, Money limit);
