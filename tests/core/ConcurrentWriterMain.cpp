// A writer process for the tests of concurrent writers: it connects to the test's database and runs
// one kind of write many times, as a second copy of the program would.
//
//   lir_concurrent_writer accumulate|save COUNT sqlite FILE
//   lir_concurrent_writer accumulate|save COUNT postgresql HOST PORT DATABASE USER PASSWORD
//
// accumulate: COUNT additions of one data row into the consolidated row of forecast 1, product 1.
// save: COUNT rounds of a forecast data save and a price save over products 1..5 of forecast 1.
// Errors go to standard error; the exit code is the number of failed writes (at most 100).
#include "db/DbConnection.h"
#include "tables/ForecastData.h"
#include "tables/Prices.h"
#include "tables/TotalForecasts.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fputs("usage: lir_concurrent_writer accumulate|save COUNT sqlite FILE | postgresql HOST PORT DB USER "
                   "PASSWORD\n",
                   stderr);
        return 100;
    }
    const QString mode = args[1];
    const int count = args[2].toInt();
    DbConnectParams params;
    if (args[3] == QLatin1String("sqlite")) {
        params.dialect = SqlDialect::SQLite;
        params.file = args[4];
    } else if (args.size() >= 9) {
        params.dialect = SqlDialect::PostgreSQL;
        params.host = args[4];
        params.port = args[5].toInt();
        params.dbName = args[6];
        params.user = args[7];
        params.password = args[8];
    } else {
        return 100;
    }
    if (!GetDBConnection().ConnectWith(params))
        return 100;

    int failed = 0;
    for (int i = 0; i < count; ++i) {
        if (mode == QLatin1String("accumulate")) {
            CForecastDataRecord data;
            data.prognoz = 1;
            data.product = 1;
            data.sumLast = Money::fromInt(1);
            data.valueNorm = Money::fromRaw(1);
            failed += AccumulateTotalForecast(data) ? 0 : 1;
        } else {
            // Every process walks the same keys, each from its own starting point.
            const int product = 1 + (i + int(QCoreApplication::applicationPid() % 5)) % 5;
            CForecastDataRecord data;
            data.prognoz = 1;
            data.product = product;
            data.receiver = 1;
            data.sumNext = Money::fromInt(i);
            failed += SaveForecastData(data, true) ? 0 : 1;
            CPriceRecord price;
            price.prognoz = 1;
            price.product = product;
            price.priceNext = Money::fromInt(i);
            failed += SavePrice(price, true) ? 0 : 1;
        }
    }
    GetDBConnection().Close();
    return failed > 99 ? 99 : failed;
}
