#include "ExchangeHandOver.h"

#include "AppMessage.h"
#include "CheckLog.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ExchangeGenerator.h"
#include "ForecastExport.h"
#include "NsiImport.h"
#include "Settings.h"
#include "TransportHost.h"
#include "tables/Documentation.h"
#include "tables/Forecasts.h"
#include "tables/ImportEventTypes.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"
#include "tables/Receivers.h"

#include "db/DbConnection.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace ExchangeIds;

namespace {

QStringList g_refusals;

int AnswerYes(const QString& text, unsigned flags, QObject*)
{
    if ((flags & MB_ICONSTOP) == MB_ICONSTOP)
        g_refusals.push_back(text);
    return IDYES;
}

} // namespace

bool WriteUpperNsi(int forecast, const QString& path)
{
    const auto products = LoadProducts(forecast);
    const auto prices = LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {forecast}));
    const auto units = LoadMeasurements();
    const auto converts = LoadMConverts();
    const auto forecasts = LoadForecasts(SqlFilter(QStringLiteral("id=?"), {forecast}));
    const auto upper = GetForecastReceiver(kUpperInA, forecast);
    auto lower = GetForecastReceiver(kLowerInA, forecast);
    if (!products || !prices || !units || !converts || !forecasts || !upper || !lower)
        return false;
    lower->importedId = lower->id;
    const CReceiverList parties{*upper, *lower};
    const CDocumentationList documents;
    const CNsiDocument nsi{forecast,    kUpperInA, kLowerInA,  QString(), &parties,   &*products,
                           &*forecasts, nullptr,   &documents, &*units,   &*converts, &*prices};
    return SaveExchangeDocument(BuildNsiDocument(nsi).get(), path);
}

QString ExportLowerForecast(int forecast, const QString& folder)
{
    Settings().Transport = ForecastExportTexts::kFileTransport;
    Settings().ExportDir = folder;
    CLinesLog log;
    if (ExportConsolidatedForecast(log, nullptr, forecast, kLowerInB, {}) != ForecastExport::Done)
        return QString();
    const QStringList files = QDir(folder).entryList(QStringList{ForecastFileName(QStringLiteral("*"))}, QDir::Files);
    return files.size() == 1 ? QDir(folder).filePath(files.front()) : QString();
}

bool ConnectFreshDatabase(const QString& templatePath, const QString& folder)
{
    const QString db = folder + QStringLiteral("/LIR.db");
    QFile::remove(db);
    QDir(folder + QStringLiteral("/docs")).removeRecursively();
    if (!QFile::copy(templatePath, db))
        return false;
    QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner);
    DbConnectParams p;
    p.file = db;
    if (!GetDBConnection().ConnectWith(p))
        return false;
    SeedImportEventTypes();
    return true;
}

void AnswerEveryQuestionYes()
{
    SetMessageBoxHandler(&AnswerYes, true);
}

QStringList HandOver(CSessionState& session, bool nsi, const QString& path)
{
    g_refusals.clear();
    if (nsi)
        ImportNsiFile(session, nullptr, path);
    else
        ImportReceivedDataFile(session, nullptr, path);
    for (const QString& text : g_refusals)
        std::fprintf(stderr, "%s\n", qPrintable(text));
    return g_refusals;
}
