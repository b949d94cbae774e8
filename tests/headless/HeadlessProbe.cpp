// A program without a window on core alone: a table read with whatever LIR_HOME holds. Its errors go
// to standard error and it ends with its own exit code.
#include "db/DbConnection.h"
#include "db/DbSetup.h"
#include "tables/Forecasts.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DbConnectParams params;
    params.file = CDbSetupSettings::DefaultFile();
    const bool connected = GetDBConnection().ConnectWith(params);
    const auto forecasts = LoadForecasts();
    if (!forecasts)
        return connected ? 4 : 3;
    return 0;
}
