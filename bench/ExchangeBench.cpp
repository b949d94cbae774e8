// The forecast's export and import between two organisations (SQLite, file transport, no check or
// consolidation): B's export from loading the consolidated rows to the file written whole, A's
// import from the version check to the committed journal row, into an empty receiver and over
// stored rows, for 5,000 and 50,000 products; beside xmllint's streaming validation of the same file
// and a plain prepared insert of the same rows; and the peak memory of the large import.
#include "BenchSummary.h"
#include "ExchangeGenerator.h"

#include "CheckLog.h"
#include "ErrorSink.h"
#include "ExchangeFiles.h"
#include "ForecastExport.h"
#include "ForecastFile.h"
#include "Settings.h"
#include "db/SqlQuery.h"
#include "tables/ImportEventTypes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

using namespace ExchangeIds;

namespace {

constexpr int kForecast = 7;
const QString kSchema = QStringLiteral(LIR_BIN_DIR "/forecast.xsd");
int g_errors = 0;

[[noreturn]] void Die(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::exit(2);
}

// B's and A's databases for one size, and the file B writes.
struct CPair {
    QTemporaryDir lower, upper;
    DbConnectParams b, a;
    QString file;
    CTotalForecastList rows;
};
std::map<int, std::unique_ptr<CPair>> g_pairs;

DbConnectParams Database(const QTemporaryDir& dir)
{
    DbConnectParams p;
    p.file = dir.filePath(QStringLiteral("LIR.db"));
    if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), p.file))
        Die(QStringLiteral("cannot copy the template database"));
    QFile::setPermissions(p.file, QFile::ReadOwner | QFile::WriteOwner);
    return p;
}

void Connect(const DbConnectParams& p)
{
    if (!GetDBConnection().ConnectWith(p))
        Die(QStringLiteral("cannot open ") + p.file);
}

void Run(const QString& sql)
{
    CSqlQuery q(sql);
    if (!q.exec())
        Die(sql + QStringLiteral(": ") + q.lastError().text());
}

CPair& Prepare(int products)
{
    auto& slot = g_pairs[products];
    if (slot)
        return *slot;
    slot = std::make_unique<CPair>();
    CPair& p = *slot;
    const CExchangeShape shape{kForecast, products, 1};
    QString error;
    std::printf("generating B and A with %d products...\n", products);
    std::fflush(stdout);
    p.b = Database(p.lower);
    Connect(p.b);
    const auto lower = GenerateLowerOrganisation(shape, &error);
    if (!lower)
        Die(error);
    p.rows = ExchangeTotals(shape, *lower);
    Run(QStringLiteral("analyze"));
    p.a = Database(p.upper);
    Connect(p.a);
    if (!GenerateUpperOrganisation(shape, &error))
        Die(error);
    SeedImportEventTypes();
    Run(QStringLiteral("analyze"));
    p.file = p.lower.filePath(ForecastFileName(ExchangeFileBase(QStringLiteral("Управление образования_Прогноз 7"))));
    return p;
}

bool ExportOnce()
{
    CLinesLog log;
    bool empty = false;
    return ExportConsolidatedForecast(log, nullptr, kForecast, kLowerInB, {}, &empty);
}

void UseLower(CPair& p)
{
    Connect(p.b);
    SeedImportEventTypes();
    Settings().Transport = ForecastExportTexts::kFileTransport;
    Settings().ExportDir = p.lower.path();
}

// B's file, written once for the import's measurements.
CPair& WithFile(int products)
{
    CPair& p = Prepare(products);
    if (!QFile::exists(p.file)) {
        UseLower(p);
        if (!ExportOnce())
            Die(QStringLiteral("the export failed"));
    }
    Connect(p.a);
    return p;
}

bool ImportOnce(const CPair& p)
{
    CForecastFile file = ReadForecastFile(p.file, kSchema);
    if (!file.ok())
        return false;
    static_cast<void>(HasForecastDataForReceiver(file.from, file.forecast, OnDbError::Silent));
    return StoreForecastFile(file);
}

void ClearReceiver()
{
    Run(QStringLiteral("delete from tfctprognozdata where receiver = 5"));
    Run(QStringLiteral("delete from tfctimportstatus"));
}

void BM_Export(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    UseLower(p);
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(p.file);
        state.ResumeTiming();
        if (!ExportOnce())
            state.SkipWithError("export failed");
    }
}

void BM_ImportEmpty(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        state.ResumeTiming();
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
    }
}

void BM_ImportOverStored(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    if (!ImportOnce(p))
        state.SkipWithError("import failed");
    for (auto _ : state)
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
}

void BM_XmllintStream(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    for (auto _ : state) {
        QProcess xmllint;
        xmllint.start(QStringLiteral("xmllint"),
                      {QStringLiteral("--stream"), QStringLiteral("--noout"), QStringLiteral("--nonet"),
                       QStringLiteral("--schema"), kSchema, p.file});
        if (!xmllint.waitForFinished(120000) || xmllint.exitCode() != 0)
            state.SkipWithError("xmllint failed or is missing");
    }
}

void BM_PlainInsert(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        state.ResumeTiming();
        CTransaction tx;
        if (!InsertDataRows(p.rows, kLowerInA) || !tx.commit())
            state.SkipWithError("insert failed");
    }
}

// The high-water mark of the resident memory, reset before the measured work.
void ResetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double PeakResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

double CurrentResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

} // namespace

#define SIZES ->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3)
BENCHMARK(BM_Export) SIZES;
BENCHMARK(BM_ImportEmpty) SIZES;
BENCHMARK(BM_ImportOverStored) SIZES;
BENCHMARK(BM_XmllintStream) SIZES;
BENCHMARK(BM_PlainInsert) SIZES;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    SetErrorSink([](const DbError& error) {
        ++g_errors;
        WriteErrorToStderr(error);
    });
    Settings().EnableOpJournal = false;

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // The large import once more, alone, for its memory.
    CPair& large = WithFile(50000);
    ClearReceiver();
    const double before = CurrentResidentMb();
    ResetPeakMemory();
    const bool imported = ImportOnce(large);
    const double peak = PeakResidentMb();

    std::printf("\nSummary (SQLite, file transport, check and consolidation excluded)\n");
    for (int m : {5000, 50000}) {
        const std::string arg = "/" + std::to_string(m) + "/iterations:3";
        const double goal = m == 5000 ? 1.0 : 5.0;
        const double exp = reporter.Seconds("BM_Export" + arg);
        const double empty = reporter.Seconds("BM_ImportEmpty" + arg);
        const double over = reporter.Seconds("BM_ImportOverStored" + arg);
        const double lint = reporter.Seconds("BM_XmllintStream" + arg);
        const double insert = reporter.Seconds("BM_PlainInsert" + arg);
        if (exp < 0 && empty < 0 && over < 0)
            continue; // not among the runs chosen
        const std::string n = std::to_string(m) + " rows: ";
        PrintGoal((n + "export, rows loaded to file written").c_str(), exp, "s", goal);
        PrintGoal((n + "import into an empty receiver").c_str(), empty, "s", goal);
        PrintGoal((n + "import over stored rows").c_str(), over, "s", goal);
        PrintFigure((n + "xmllint --stream with the schema").c_str(), lint, "s");
        PrintFigure((n + "plain prepared insert in one transaction").c_str(), insert, "s");
        if (lint > 0 && insert > 0) {
            PrintRatio((n + "ratio import (empty) / (xmllint + insert)").c_str(), empty / (lint + insert));
            PrintRatio((n + "ratio import (over) / (xmllint + insert)").c_str(), over / (lint + insert));
        }
    }
    if (!imported)
        std::printf("the large import failed\n");
    PrintFigure("resident memory before the 50,000-row import", before, "MB");
    PrintGoal("peak resident memory during the 50,000-row import", peak, "MB", 200.0);
    PrintFigure("peak memory of the whole run (ru_maxrss)", PeakMemoryMb(), "MB");
    if (g_errors)
        std::printf("%d database errors were reported\n", g_errors);
    g_pairs.clear();
    GetDBConnection().Close();
    return g_errors || !imported ? 1 : 0;
}
