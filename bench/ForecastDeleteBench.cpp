// Deleting a large forecast on SQLite: the whole transaction (every table of the forecast, its
// documents, mailings and rights) beside a bare delete of its data rows (through SQLite's own interface), each on a
// fresh copy of the same database, with a second forecast left in place.
#include "AppMessage.h"
#include "BenchSummary.h"
#include "ForecastGenerator.h"
#include "PlainStatement.h"
#include "db/DbConnection.h"
#include "db/SqlQuery.h"
#include "tables/Forecasts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDeleted = 1; // F: 1,000 receivers x 1,000 products
constexpr int kKept = 2;    // G: 100 receivers x 1,000 products

QString g_master; // the generated database, copied before each run
QString g_file;

void Die(const char* what)
{
    std::fprintf(stderr, "bench_forecast_delete: %s\n", what);
    std::exit(1);
}

void Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        Die(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
}

// Consolidated rows, 100 documents with their files and 1,000 exchange-journal rows of a forecast.
void AddForecastExtras(const CGeneratedForecast& f)
{
    CTransaction tx;
    Run(QStringLiteral("insert into tfcttotalprognoz (prognoz, product) select prognoz, id from tclsproduct "
                       "where prognoz = ?"),
        {f.forecast});
    QDir().mkpath(QString::fromLocal8Bit(qgetenv("LIR_HOME")) + QStringLiteral("/docs"));
    for (int i = 1; i <= 100; ++i) {
        const int id = f.forecast * 1000 + i;
        Run(QStringLiteral("insert into tfctdocumentation (id, prognoz, name, position, filename) "
                           "values (?, ?, 'Документ', ?, 'doc.txt')"),
            {id, f.forecast, i});
        QFile file(QString::fromLocal8Bit(qgetenv("LIR_HOME"))
                   + QStringLiteral("/docs/doc_%1_%2").arg(f.forecast).arg(id));
        if (!file.open(QIODevice::WriteOnly) || file.write("document") != 8)
            Die("document file");
    }
    for (int i = 0; i < 1000; ++i)
        Run(QStringLiteral("insert into tfctimportstatus (prognoz, receiver, event) values (?, ?, null)"),
            {f.forecast, f.leafReceivers[size_t(i) % f.leafReceivers.size()]});
    if (!tx.commit())
        Die("commit of the extras");
}

void Generate(CScratchDatabase& db)
{
    QString error;
    if (!db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error))
        Die(qPrintable(error));
    std::printf("Generating F (1,000 receivers x 1,000 products) and G (100 x 1,000) on SQLite...\n");
    std::fflush(stdout);
    CForecastShape big = CForecastShape::Benchmark();
    big.forecast = kDeleted;
    CForecastShape small = big;
    small.forecast = kKept;
    small.firstReceiverId = 2001;
    small.receiverGroups = 4;
    small.leafReceivers = 95;
    const auto f = GenerateForecast(big, &error);
    const auto g = f ? GenerateForecast(small, &error) : std::nullopt;
    if (!g)
        Die(qPrintable(error));
    AddForecastExtras(*f);
    AddForecastExtras(*g);
    Run(QStringLiteral("analyze"));
    Run(QStringLiteral("pragma wal_checkpoint(truncate)"));
    g_file = db.file();
    g_master = g_file + QStringLiteral(".master");
    GetDBConnection().Close();
    if (!QFile::copy(g_file, g_master))
        Die("copy of the generated database");
}

// A fresh copy of the generated database, connected.
void Restore()
{
    GetDBConnection().Close();
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(g_file + QLatin1String(suffix));
    if (!QFile::copy(g_master, g_file))
        Die("copy of the database");
    QFile::setPermissions(g_file, QFile::ReadOwner | QFile::WriteOwner);
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = g_file;
    if (!GetDBConnection().ConnectWith(params))
        Die("reconnect");
    Run(QStringLiteral("select count(*) from tfctprognozdata")); // warm the page cache as a user's would be
}

qlonglong CountOf(const char* table, int forecast)
{
    CSqlQuery q(QStringLiteral("select count(*) from %1 where prognoz = ?").arg(QLatin1String(table)));
    q.bind(forecast);
    if (!q.exec() || !q.next())
        Die("count");
    return q.value(0).toLongLong();
}

void BM_DeleteForecast(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Restore();
        const qlonglong kept = CountOf("tfctprognozdata", kKept);
        state.ResumeTiming();
        if (!DeleteForecastWithData(kDeleted))
            Die("delete of the forecast");
        state.PauseTiming();
        if (CountOf("tfctprognozdata", kDeleted) != 0 || CountOf("tfctprognozdata", kKept) != kept)
            Die("the delete took the wrong rows");
        state.ResumeTiming();
    }
}

// The floor: the forecast's data rows alone, in one transaction, through SQLite's own interface.
void BM_BareDataDelete(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Restore();
        state.ResumeTiming();
        CTransaction tx;
        CPlainStatement bare("delete from tfctprognozdata where prognoz = $1");
        if (bare.bind(kDeleted).run() < 0)
            Die(bare.error().c_str());
        if (!tx.commit())
            Die("commit");
    }
}

BENCHMARK(BM_DeleteForecast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareDataDelete)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return IDOK;
    });
    CScratchDatabase db;
    Generate(db);
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double whole = reporter.Seconds("BM_DeleteForecast/iterations:3");
    const double floor = reporter.Seconds("BM_BareDataDelete/iterations:3");
    std::printf("\n");
    PrintGoal("Deleting F with all its rows (one transaction)", whole, "s", 3.0);
    PrintFigure("Floor: bare delete of F's 1,000,000 data rows", floor, "s");
    if (whole > 0 && floor > 0)
        PrintRatio("Ratio of the whole delete to the floor", whole / floor);
    PrintFigure("Peak memory", PeakMemoryMb(), "MB");
    return 0;
}
