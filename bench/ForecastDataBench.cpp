// Forecast data at realistic scale on SQLite: saves by natural key against a plain insert, the
// consolidation of a large forecast, and the totals of one receiver.
#include "AppMessage.h"
#include "Settings.h"
#include "db/DbConnection.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/TotalForecasts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

constexpr int kBigForecast = 1;   // N receivers x M products, consolidated
constexpr int kSaveForecast = 2;  // empty, for the saves
constexpr int kProducts = 1000;   // M
constexpr int kReceivers = 1000;  // N
constexpr int kSaveReceivers = 100; // 100 x M = 100,000 saved rows
constexpr int kGroupSize = 20;    // one group heads every 20 products

int g_errors = 0;

void Die(const char* what)
{
    std::fprintf(stderr, "bench_forecast_data: %s\n", what);
    std::exit(1);
}

// Product ids of forecast f are f * 100000 + 1 .. f * 100000 + M (ids are unique over the table).
int ProductId(int forecast, int i)
{
    return forecast * 100000 + i + 1;
}

void Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        Die(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
}

// A forecast with a classifier of M products in groups under one root, and its receivers mapped.
void GenerateForecast(int forecast, int receivers)
{
    Run(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (?, ?, 2026, 0)"),
        {forecast, QStringLiteral("Прогноз %1").arg(forecast)});
    CSqlQuery product(QStringLiteral(
        "insert into tclsproduct (prognoz, id, parent, name, position, type, isgroup) values (?, ?, ?, ?, ?, 0, ?)"));
    for (int i = 0; i < kProducts; ++i) {
        const bool group = i % kGroupSize == 0;
        const int parent = i == 0 ? 0 : ProductId(forecast, group ? 0 : i - i % kGroupSize);
        product.bind(forecast).bind(ProductId(forecast, i)).bindId(parent);
        product.bind(QStringLiteral("Продукт %1").arg(i)).bind(i).bind(group ? 1 : 0);
        if (!product.exec())
            Die("product insert");
    }
    CSqlQuery map(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (?, ?)"));
    for (int r = 1; r <= receivers; ++r) {
        map.bind(forecast).bind(r);
        if (!map.exec())
            Die("receiver map insert");
    }
}

// A receiver tree: one top group, groups of 50 under it, the rest below their group.
void GenerateReceivers(int count)
{
    CSqlQuery q(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                               "values (?, ?, ?, ?, 0, 0, ?)"));
    for (int r = 1; r <= count; ++r) {
        const bool group = r == 1 || (r - 2) % 50 == 0;
        const int parent = r == 1 ? 0 : (group ? 1 : r - (r - 2) % 50);
        q.bind(r).bind(parent).bind(QStringLiteral("Получатель %1").arg(r)).bind(r).bind(group ? 1 : 0);
        if (!q.exec())
            Die("receiver insert");
    }
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

void PlainInsert(const CForecastDataRecord& r)
{
    CSqlQuery q(QStringLiteral(
        "insert into tfctprognozdata (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
        "valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, "
        "sumFormula, sumOther, comment, base, baseMethod) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.bind(r.prognoz).bind(r.product).bind(r.receiver);
    for (const auto& m : kForecastMoneyColumns)
        q.bind(r.*m.field);
    q.bind(r.comment).bind(r.base).bind(r.baseMethod);
    if (!q.exec())
        Die("plain insert");
}

void GenerateData()
{
    GenerateReceivers(kReceivers);
    GenerateForecast(kBigForecast, kReceivers);
    GenerateForecast(kSaveForecast, kSaveReceivers);
    CTransaction tx;
    for (int receiver = 1; receiver <= kReceivers; ++receiver)
        for (int i = 0; i < kProducts; ++i)
            PlainInsert(MakeRow(kBigForecast, receiver, i));
    if (!tx.commit())
        Die("commit of the generated data");
    Run(QStringLiteral("analyze"));
}

template <typename Fn>
void ForEachSaveRow(Fn fn)
{
    for (int receiver = 1; receiver <= kSaveReceivers; ++receiver)
        for (int i = 0; i < kProducts; ++i)
            fn(MakeRow(kSaveForecast, receiver, i));
}

// Saves of 100,000 new rows by natural key in one transaction (rolled back outside the timing).
void BM_SaveNewRows(benchmark::State& state)
{
    Settings().EnableOpJournal = state.range(0) != 0;
    for (auto _ : state) {
        CTransaction tx;
        ForEachSaveRow([](CForecastDataRecord r) {
            if (!SaveForecastData(r, true))
                Die("save");
        });
        state.PauseTiming();
        tx.rollback();
        state.ResumeTiming();
    }
    Settings().EnableOpJournal = false;
    state.SetItemsProcessed(state.iterations() * kSaveReceivers * kProducts);
}

// The same rows saved again over themselves: the update path.
void BM_SaveExistingRows(benchmark::State& state)
{
    {
        CTransaction tx;
        ForEachSaveRow([](const CForecastDataRecord& r) { PlainInsert(r); });
        if (!tx.commit())
            Die("commit");
    }
    for (auto _ : state) {
        CTransaction tx;
        ForEachSaveRow([](CForecastDataRecord r) {
            if (!SaveForecastData(r, true))
                Die("save");
        });
        state.PauseTiming();
        tx.rollback();
        state.ResumeTiming();
    }
    if (!DeleteForecastData(kSaveForecast))
        Die("delete");
    state.SetItemsProcessed(state.iterations() * kSaveReceivers * kProducts);
}

// The baseline: a plain prepared insert of the same rows in one transaction.
void BM_PlainInsert(benchmark::State& state)
{
    for (auto _ : state) {
        CTransaction tx;
        ForEachSaveRow([](const CForecastDataRecord& r) { PlainInsert(r); });
        state.PauseTiming();
        tx.rollback();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kSaveReceivers * kProducts);
}

// Per-product sums of 1,000,000 rows and their accumulation into the consolidated forecast.
void BM_Consolidate(benchmark::State& state)
{
    for (auto _ : state) {
        CTransaction tx;
        if (!DeleteTotalForecastsOf(kBigForecast))
            Die("delete of the consolidated rows");
        auto sums = LoadForecastDataSums(SqlFilter(QStringLiteral("prognoz = ?"), {kBigForecast}));
        if (!sums || sums->size() != size_t(kProducts))
            Die("per-product sums");
        for (const auto& row : *sums)
            if (!AccumulateTotalForecast(row))
                Die("accumulation");
        if (!tx.commit())
            Die("commit of the consolidation");
    }
}

void BM_ForecastDataSums(benchmark::State& state)
{
    for (auto _ : state) {
        auto sums = LoadForecastDataSums(SqlFilter(QStringLiteral("prognoz = ?"), {kBigForecast}));
        if (!sums || sums->size() != size_t(kProducts))
            Die("per-product sums");
        benchmark::DoNotOptimize(sums);
    }
}

void BM_TotalsOfOneReceiver(benchmark::State& state)
{
    std::vector<int> products;
    for (int i = 0; i < kProducts; ++i)
        products.push_back(ProductId(kBigForecast, i));
    int receiver = 1;
    for (auto _ : state) {
        QSqlError error;
        auto totals = GetForecastDataTotals(kBigForecast, receiver, products, &error);
        if (!totals)
            Die(qPrintable(error.text()));
        benchmark::DoNotOptimize(totals);
        receiver = receiver % kReceivers + 1;
    }
}

BENCHMARK(BM_SaveNewRows)->ArgName("journal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveExistingRows)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainInsert)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ForecastDataSums)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Consolidate)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TotalsOfOneReceiver)->Unit(benchmark::kMillisecond)->Iterations(200);

// Keeps each run's wall time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.iterations > 0)
                seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

void PrintGoal(const char* what, double seconds, double goal)
{
    std::printf("%-58s %10.3f s   goal %.3f s   %s\n", what, seconds, goal, seconds <= goal ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    QTemporaryDir home;
    if (!home.isValid())
        Die("no temporary folder");
    qputenv("LIR_HOME", home.path().toLocal8Bit());
    const QString file = home.path() + QStringLiteral("/LIR.db");
    if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), file))
        Die("cannot copy " LIR_BIN_DIR "/LIR.db.tmpl");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        ++g_errors;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    Settings().EnableOpJournal = false;
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = file;
    if (!GetDBConnection().ConnectWith(params))
        Die("cannot open the database");

    std::printf("Generating %d receivers x %d products = %d data rows on SQLite...\n", kReceivers, kProducts,
                kReceivers * kProducts);
    std::fflush(stdout);
    GenerateData();

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto get = [&](const char* name) {
        auto it = reporter.seconds.find(name);
        return it == reporter.seconds.end() ? -1.0 : it->second;
    };
    const double saveOff = get("BM_SaveNewRows/journal:0/iterations:3");
    const double saveOn = get("BM_SaveNewRows/journal:1/iterations:3");
    const double plain = get("BM_PlainInsert/iterations:3");
    std::printf("\nSummary (%d saved rows; %d data rows consolidated)\n", kSaveReceivers * kProducts,
                kReceivers * kProducts);
    if (saveOff >= 0)
        PrintGoal("save by natural key, journal off", saveOff, 2.0);
    if (saveOn >= 0)
        PrintGoal("save by natural key, journal on", saveOn, 2.0);
    if (const double upd = get("BM_SaveExistingRows/iterations:3"); upd >= 0)
        std::printf("%-58s %10.3f s\n", "save over existing rows, journal off", upd);
    if (plain >= 0)
        std::printf("%-58s %10.3f s\n", "plain prepared insert of the same rows", plain);
    if (plain > 0 && saveOff >= 0)
        std::printf("%-58s %10.2f\n", "ratio save (journal off) / plain insert", saveOff / plain);
    if (plain > 0 && saveOn >= 0)
        std::printf("%-58s %10.2f\n", "ratio save (journal on) / plain insert", saveOn / plain);
    if (const double sums = get("BM_ForecastDataSums/iterations:3"); sums >= 0)
        std::printf("%-58s %10.3f s\n", "per-product sums alone", sums);
    if (const double c = get("BM_Consolidate/iterations:3"); c >= 0)
        PrintGoal("per-product sums + accumulation (1,000,000 rows)", c, 2.0);
    if (const double t = get("BM_TotalsOfOneReceiver/iterations:200"); t >= 0)
        PrintGoal("totals of one receiver over all products", t, 0.050);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMb = double(usage.ru_maxrss) / 1024.0;
    std::printf("%-58s %10.1f MB  goal 200 MB   %s\n", "peak memory (ru_maxrss)", peakMb, peakMb < 200 ? "met" : "MISSED");
    if (g_errors)
        std::printf("%d database messages were shown\n", g_errors);
    GetDBConnection().Close();
    return g_errors ? 1 : 0;
}
