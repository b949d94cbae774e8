// A second copy of the program for the tests of runs over derived rows: it connects to the test's
// database and does what a user's command does, once or many times over.
//
//   lir_derived_writer consolidate FORECAST COUNT                       CONNECTION
//   lir_derived_writer edit FORECAST RECEIVER PRODUCT GROUP COUNT BASE  CONNECTION
//   CONNECTION: sqlite FILE | postgresql HOST PORT DATABASE USER PASSWORD
//
// consolidate: "Генерация сводного прогноза..." of the forecast, COUNT times.
// edit: COUNT entries of the sum of the report year of the receiver's row of PRODUCT (BASE, BASE + 1,
// ...), each saved and followed by the recalculation after an edit of GROUP, as the editor's card does.
// Errors go to standard error; the exit code is the number of failed runs (at most 99), 100 for a wrong
// command line or no connection.
#include "CheckLog.h"
#include "RecalcCommands.h"
#include "TotalForecastBuild.h"
#include "db/DbConnection.h"
#include "tables/ForecastData.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

class CErrorLog : public CCheckLog {
public:
    void AppendLine(const QString&) override { }
};

// The connection's arguments from `at` on.
bool ReadConnection(const QStringList& args, int at, DbConnectParams& params)
{
    if (args.size() == at + 2 && args[at] == QLatin1String("sqlite")) {
        params.dialect = SqlDialect::SQLite;
        params.file = args[at + 1];
        return true;
    }
    if (args.size() == at + 6 && args[at] == QLatin1String("postgresql")) {
        params.dialect = SqlDialect::PostgreSQL;
        params.host = args[at + 1];
        params.port = args[at + 2].toInt();
        params.dbName = args[at + 3];
        params.user = args[at + 4];
        params.password = args[at + 5];
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool consolidate = args.size() > 1 && args[1] == QLatin1String("consolidate");
    const bool edit = args.size() > 1 && args[1] == QLatin1String("edit");
    DbConnectParams params;
    if (!(consolidate && ReadConnection(args, 4, params)) && !(edit && ReadConnection(args, 8, params))) {
        std::fputs("usage: lir_derived_writer consolidate FORECAST COUNT | edit FORECAST RECEIVER PRODUCT GROUP "
                   "COUNT BASE, then sqlite FILE | postgresql HOST PORT DATABASE USER PASSWORD\n",
                   stderr);
        return 100;
    }
    if (!GetDBConnection().ConnectWith(params))
        return 100;
    const int forecast = args[2].toInt();
    int failed = 0;
    if (consolidate) {
        for (int i = 0, n = args[3].toInt(); i < n; ++i) {
            CErrorLog log;
            if (!BuildTotalForecast(log, forecast)) {
                std::fputs("the consolidation failed\n", stderr);
                ++failed;
            }
        }
    } else {
        const int receiver = args[3].toInt();
        const int product = args[4].toInt();
        const int group = args[5].toInt();
        const int base = args[7].toInt();
        for (int i = 0, n = args[6].toInt(); i < n; ++i) {
            CForecastDataRecord rec = GetOrNewForecastData({forecast, receiver, product});
            rec.sumLast = Money::fromInt(base + i);
            if (!SaveForecastData(rec, true)) {
                ++failed;
                continue;
            }
            const RecalcOutcome outcome = RecalcEditedGroup(forecast, receiver, group, nullptr);
            for (const QString& e : outcome.errors)
                std::fprintf(stderr, "%s\n", e.toLocal8Bit().constData());
            failed += outcome.errors.isEmpty() && outcome.result == RECALC_DONE ? 0 : 1;
        }
    }
    GetDBConnection().Close();
    return failed > 99 ? 99 : failed;
}
