// Forecast data at realistic scale, on SQLite and, when the PostgreSQL test cluster runs, on it:
// saves by natural key against a plain prepared insert of the same rows on the same database, the
// program's consolidation of a large forecast against one insert ... select ... group by of the same
// sums (both floors through the library's own interface: SQLite's C interface, libpq), and the
// totals of one receiver.
#include "AppMessage.h"
#include "BenchDatabases.h"
#include "BenchSummary.h"
#include "CheckLog.h"
#include "PlainStatement.h"
#include "Settings.h"
#include "TotalForecastBuild.h"
#include "db/DbConnection.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/TotalForecasts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kBigForecast = 1;     // N receivers x M products, consolidated
constexpr int kSaveForecast = 2;    // empty, for the saves
constexpr int kProducts = 1000;     // M
constexpr int kReceivers = 1000;    // N
constexpr int kSaveReceivers = 100; // 100 x M = 100,000 saved rows

int g_errors = 0;
CBenchDatabases g_db;

void Die(const char* what)
{
    std::fprintf(stderr, "bench_forecast_data: %s\n", what);
    g_db.Close();
    std::exit(1);
}

void Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        Die(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
}

int ProductId(int forecast, int i)
{
    return CGeneratedForecast::ProductId(forecast, i);
}

CForecastDataRecord MakeRow(int forecast, int receiver, int i)
{
    CForecastDataRecord r;
    r.prognoz = forecast;
    r.product = ProductId(forecast, i);
    r.receiver = receiver;
    const std::int64_t base = std::int64_t(receiver) * 1000 + i;
    int k = 1;
    for (const auto& m : kForecastMoneyColumns)
        r.*m.field = Money::fromRaw(base * 100 + k++);
    r.baseMethod = i % 5;
    return r;
}

// The big forecast with its rows (receivers 1 to N) and an empty one for the saves, whose rows go
// to the first receivers of the big one.
bool GenerateData(BenchDialect dialect, QString* error)
{
    std::printf("Generating %d receivers x %d products = %d data rows on %s...\n", kReceivers, kProducts,
                kReceivers * kProducts, DialectLabel(dialect));
    std::fflush(stdout);
    QElapsedTimer generating;
    generating.start();
    const auto done = qScopeGuard([&] { std::printf("  in %.1f s\n", double(generating.elapsed()) / 1000.0); });
    CForecastShape big = CForecastShape::Benchmark();
    big.forecast = kBigForecast;
    CForecastShape empty = big;
    empty.forecast = kSaveForecast;
    empty.firstReceiverId = kReceivers + 1;
    empty.leafReceivers = kSaveReceivers;
    empty.dataRows = false;
    // On the server a vacuum too, which would otherwise start during the first runs, and a checkpoint,
    // which would write the generated pages during them.
    return GenerateForecast(big, error) && GenerateForecast(empty, error)
        && RunPlain(dialect == kPostgreSQL ? QStringLiteral("vacuum analyze") : QStringLiteral("analyze"))
        && (dialect != kPostgreSQL || RunPlain(QStringLiteral("checkpoint")));
}

template <typename Fn>
void ForEachSaveRow(Fn fn)
{
    for (int receiver = 1; receiver <= kSaveReceivers; ++receiver)
        for (int i = 0; i < kProducts; ++i)
            fn(MakeRow(kSaveForecast, receiver, i));
}

// The floor's statement: the same insert through the library's own interface (PlainStatement.h).
const char* const kPlainInsert =
    "insert into tfctprognozdata (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
    "valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, "
    "sumOther, comment, base, baseMethod) values ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, "
    "$16, $17, $18, $19, $20, $21, $22)";

void PlainInsert(CPlainStatement& insert, const CForecastDataRecord& r)
{
    insert.bind(r.prognoz).bind(r.product).bind(r.receiver);
    for (const auto& m : kForecastMoneyColumns)
        insert.bindMoney((r.*m.field).raw());
    insert.bind(r.comment).bind(r.base).bind(r.baseMethod);
    if (insert.run() < 0)
        Die(("plain insert: " + insert.error()).c_str());
}

// Every save row by the floor's insert, in the caller's transaction.
void PlainInsertAll()
{
    CPlainStatement insert(kPlainInsert);
    if (!insert.ok())
        Die(("plain insert: " + insert.error()).c_str());
    ForEachSaveRow([&](const CForecastDataRecord& r) { PlainInsert(insert, r); });
}

// The saved rows and their journal lines go.
void ClearSaves()
{
    if (!DeleteForecastData(kSaveForecast))
        Die("delete");
    Run(QStringLiteral("delete from tfctopjournal"));
}

// The same between two timed runs.
void ClearSaves(benchmark::State& state)
{
    state.PauseTiming();
    ClearSaves();
    state.ResumeTiming();
}

BenchDialect DialectOf(const benchmark::State& state)
{
    return BenchDialect(state.range(0));
}

// The floor: a plain prepared insert of the same rows in one transaction, then cleared; seconds.
double PlainInsertRound()
{
    QElapsedTimer timer;
    timer.start();
    CTransaction tx;
    PlainInsertAll();
    if (!tx.commit())
        Die("commit");
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    ClearSaves();
    return seconds;
}

// Every save row by the program's save, in one transaction.
void SaveAllRows()
{
    CTransaction tx;
    ForEachSaveRow([](CForecastDataRecord r) {
        if (!SaveForecastData(r, true))
            Die("save");
    });
    if (!tx.commit())
        Die("commit");
}

// Seconds of the plain inserts made between the runs of BM_SaveNewRows, and of each run after its
// insert, by dialect and journal.
std::map<std::pair<int, int>, std::vector<double>> g_floorSeconds;
std::map<std::pair<int, int>, std::vector<double>> g_saveSeconds;

// 100,000 new rows saved by natural key in one transaction, its journal lines written after the
// commit when the journal is on. Each run follows a plain insert of the same rows, timed on its own:
// on a shared machine both meet the same load, and the ratio holds.
void BM_SaveNewRows(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    std::vector<double>& floor = g_floorSeconds[{int(state.range(0)), int(state.range(1))}];
    std::vector<double>& saves = g_saveSeconds[{int(state.range(0)), int(state.range(1))}];
    for (auto _ : state) {
        state.PauseTiming();
        Settings().EnableOpJournal = false;
        floor.push_back(PlainInsertRound());
        Settings().EnableOpJournal = state.range(1) != 0;
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        SaveAllRows();
        saves.push_back(double(timer.nsecsElapsed()) / 1e9);
        ClearSaves(state);
    }
    Settings().EnableOpJournal = false;
    state.SetItemsProcessed(state.iterations() * kSaveReceivers * kProducts);
}

// The same rows saved again over themselves: the update path.
void BM_SaveExistingRows(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    {
        CTransaction tx;
        PlainInsertAll();
        if (!tx.commit())
            Die("commit");
    }
    for (auto _ : state)
        SaveAllRows();
    ClearSaves();
    state.SetItemsProcessed(state.iterations() * kSaveReceivers * kProducts);
}

double Mean(const std::vector<double>& seconds)
{
    double sum = 0;
    for (double s : seconds)
        sum += s;
    return seconds.empty() ? -1 : sum / double(seconds.size());
}

// The median of each run's ratio to the floor run just before it: a run that meets a checkpoint of
// the server, or a slow minute of the machine that its floor did not meet, does not decide the goal.
double MedianRatio(const std::vector<double>& runs, const std::vector<double>& floors)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < runs.size() && i < floors.size(); ++i)
        if (floors[i] > 0)
            ratios.push_back(runs[i] / floors[i]);
    if (ratios.empty())
        return -1;
    std::sort(ratios.begin(), ratios.end());
    const std::size_t n = ratios.size();
    return n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
}

class CNoLog : public CCheckLog {
public:
    void AppendLine(const QString&) override { }
};

// The program's consolidation of 1,000,000 rows: the consolidated rows built anew in one transaction.
void BM_Consolidate(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    for (auto _ : state) {
        CNoLog log;
        if (!BuildTotalForecast(log, kBigForecast))
            Die("consolidation");
    }
}

// Its floor: the same sums by one insert ... select ... group by, in one transaction, through the
// library's own interface.
void BM_ConsolidateFloor(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    for (auto _ : state) {
        CTransaction tx;
        if (const std::string error = ConsolidateByOneStatement(kBigForecast); !error.empty())
            Die(error.c_str());
        if (!tx.commit())
            Die("commit");
    }
}

void BM_TotalsOfOneReceiver(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    std::vector<int> products;
    for (int i = 0; i < kProducts; ++i)
        products.push_back(ProductId(kBigForecast, i));
    int receiver = 1;
    for (auto _ : state) {
        CErrorCollector errors;
        auto totals = GetForecastDataTotals(kBigForecast, receiver, products);
        if (!totals)
            Die(qPrintable(errors.empty() ? QString() : errors.take().front().text()));
        benchmark::DoNotOptimize(totals);
        receiver = receiver % kReceivers + 1;
    }
}

// Each run once per dialect: SQLite three times, the server (a round trip a row) twice. The new rows
// are saved seven times on SQLite, where a pair takes a second and its runs vary by a quarter, and
// three times on the server, so that the ratio's median stands on several pairs.
#define ON_BOTH(bench, ...) BENCHMARK(bench)->ArgNames({"pg", ##__VA_ARGS__})->Unit(benchmark::kMillisecond)
ON_BOTH(BM_SaveNewRows, "journal")->ArgsProduct({{kSQLite}, {0, 1}})->Iterations(7);
ON_BOTH(BM_SaveNewRows, "journal")->ArgsProduct({{kPostgreSQL}, {0, 1}})->Iterations(3);
ON_BOTH(BM_SaveExistingRows)->Arg(kSQLite)->Iterations(3);
ON_BOTH(BM_SaveExistingRows)->Arg(kPostgreSQL)->Iterations(2);
ON_BOTH(BM_Consolidate)->Arg(kSQLite)->Arg(kPostgreSQL)->Iterations(3);
ON_BOTH(BM_ConsolidateFloor)->Arg(kSQLite)->Arg(kPostgreSQL)->Iterations(3);
BENCHMARK(BM_TotalsOfOneReceiver)->ArgName("pg")->Arg(kSQLite)->Unit(benchmark::kMillisecond)->Iterations(200);

// A run's name; the iterations follow from the dialect.
std::string Name(const char* bench, BenchDialect dialect, const char* rest = "", bool perDialect = true)
{
    const char* iterations = perDialect && dialect == kPostgreSQL ? "/iterations:2" : "/iterations:3";
    return std::string(bench) + "/pg:" + std::to_string(int(dialect)) + rest + iterations;
}

void Summary(const CSummaryReporter& reporter, BenchDialect dialect)
{
    const char* label = DialectLabel(dialect);
    std::printf("\n%s (%d saved rows; %d data rows consolidated)\n", label, kSaveReceivers * kProducts,
                kReceivers * kProducts);
    if (!g_db.Has(dialect)) {
        PrintSkipped(label, qPrintable(g_db.Reason(dialect)));
        return;
    }
    auto get = [&](const std::string& name) { return reporter.Seconds(name); };
    const double saveOff = get(Name("BM_SaveNewRows", dialect, "/journal:0", false));
    const double saveOn = get(Name("BM_SaveNewRows", dialect, "/journal:1", false));
    const double plainOff = Mean(g_floorSeconds[{int(dialect), 0}]);
    const double plainOn = Mean(g_floorSeconds[{int(dialect), 1}]);
    const double existing = get(Name("BM_SaveExistingRows", dialect));
    if (saveOff >= 0)
        PrintFigure("save by natural key, journal off", saveOff, "s");
    if (saveOn >= 0)
        PrintFigure("save by natural key, journal on (lines written)", saveOn, "s");
    if (existing >= 0)
        PrintFigure("save over existing rows, journal off", existing, "s");
    if (plainOff >= 0)
        PrintFigure("plain prepared insert of the same rows, between the saves", plainOff, "s");
    if (plainOn >= 0)
        PrintFigure("the same, between the saves with the journal on", plainOn, "s");
    const double ratioOff = MedianRatio(g_saveSeconds[{int(dialect), 0}], g_floorSeconds[{int(dialect), 0}]);
    const double ratioOn = MedianRatio(g_saveSeconds[{int(dialect), 1}], g_floorSeconds[{int(dialect), 1}]);
    if (ratioOff >= 0)
        PrintRatio("ratio save (journal off) / plain insert", ratioOff, 1.3);
    if (ratioOn >= 0)
        PrintRatio("ratio save (journal on) / plain insert", ratioOn, 1.6);
    const double consolidate = get(Name("BM_Consolidate", dialect, "", false));
    const double floor = get(Name("BM_ConsolidateFloor", dialect, "", false));
    if (consolidate >= 0)
        PrintGoal("consolidation (1,000,000 rows)", consolidate, "s", dialect == kPostgreSQL ? 5.0 : 2.0);
    if (floor >= 0)
        PrintFigure("one insert ... select ... group by of the same sums", floor, "s");
    if (consolidate >= 0 && floor > 0)
        PrintRatio("ratio consolidation / insert ... select ... group by", consolidate / floor,
                   dialect == kPostgreSQL ? 2.0 : 0.0);
    if (const double t = get("BM_TotalsOfOneReceiver/pg:" + std::to_string(int(dialect)) + "/iterations:200"); t >= 0)
        PrintGoal("totals of one receiver over all products", t, "s", 0.050);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        ++g_errors;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    QString error;
    if (!g_db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &GenerateData, &error))
        Die(qPrintable(error));

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    Summary(reporter, kSQLite);
    Summary(reporter, kPostgreSQL);
    std::printf("\n");
    PrintGoal("peak memory (ru_maxrss)", PeakMemoryMb(), "MB", 200);
    if (g_errors)
        std::printf("%d database messages were shown\n", g_errors);
    g_db.Close();
    return g_errors ? 1 : 0;
}
