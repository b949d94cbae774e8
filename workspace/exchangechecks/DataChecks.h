// The two checks that tell whether an organisation's data can be passed on. The forecast data check
// walks every receiver's rows of a forecast (quantities present, prices within the admissible range,
// group rows not smaller than their members); the reference-data check walks the product classifier
// (units, deviations, prices), the documents and the unit tree. Each writes its findings into a log
// and answers true when it found nothing. Database errors on the way are reported (ReportComError)
// and logged as the failed load they cause.
#pragma once

#include "CheckLog.h"
#include "tables/Receivers.h"

#include <memory>

// The data check of one forecast, with what it reads once for all receivers: the products, their
// price rows, the priced classifier and the coefficients of the unit pairs.
class CForecastDataCheck {
public:
    CForecastDataCheck(CCheckLog& log, int forecast);
    ~CForecastDataCheck();
    CForecastDataCheck(const CForecastDataCheck&) = delete;
    CForecastDataCheck& operator=(const CForecastDataCheck&) = delete;

    // The rows of one receiver, read in one statement. A receiver without rows is no failure.
    bool CheckReceiver(const CReceiverRecord& receiver);

private:
    struct Data;
    CCheckLog& m_log;
    std::unique_ptr<Data> m_data;
};

// Every receiver placed in the forecast's tree, in id order, with a closing "Закончено.".
bool CheckForecast(CCheckLog& log, int forecast);
// The rows of one receiver (a receiver the forecast does not map is taken as a plain receiver).
bool CheckForecastData(CCheckLog& log, int forecast, int receiver);

// The reference data: CheckPrices, CheckDocuments and CheckMeasurements, always all three.
bool CheckNSI(CCheckLog& log, int forecast);
// Units, deviations and prices of the priced products.
bool CheckPrices(CCheckLog& log, int forecast);
// The stored file of every document of the forecast.
bool CheckDocuments(CCheckLog& log, int forecast);
// The price units down the classifier from its top product.
bool CheckMeasurements(CCheckLog& log, int forecast);
// The priced children below the product, depth first, each against its parent's price unit; every
// product is walked once, whatever its parent links hold.
bool CheckProductUnits(CCheckLog& log, int forecast, int productId, int priceUnit);
