// Forecast data at realistic scale on SQLite: saves by natural key against a plain insert, the
// consolidation of a large forecast, and the totals of one receiver.
#include "AppMessage.h"
#include "BenchSummary.h"
#include "ForecastGenerator.h"
#include "Settings.h"
#include "db/DbConnection.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/TotalForecasts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kBigForecast = 1;     // N receivers x M products, consolidated
constexpr int kSaveForecast = 2;    // empty, for the saves
constexpr int kProducts = 1000;     // M
constexpr int kReceivers = 1000;    // N
constexpr int kSaveReceivers = 100; // 100 x M = 100,000 saved rows

int g_errors = 0;

void Die(const char* what)
{
    std::fprintf(stderr, "bench_forecast_data: %s\n", what);
    std::exit(1);
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

// The big forecast with its rows (receivers 1 to N) and an empty one for the saves, whose rows go
// to the first receivers of the big one.
void GenerateData()
{
    QString error;
    CForecastShape big = CForecastShape::Benchmark();
    big.forecast = kBigForecast;
    CForecastShape empty = big;
    empty.forecast = kSaveForecast;
    empty.firstReceiverId = kReceivers + 1;
    empty.leafReceivers = kSaveReceivers;
    empty.dataRows = false;
    if (!GenerateForecast(big, &error) || !GenerateForecast(empty, &error))
        Die(qPrintable(error));
    CSqlQuery analyze(QStringLiteral("analyze"));
    if (!analyze.exec())
        Die("analyze");
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
        if (!tx.commit())
            Die("commit");
        state.PauseTiming();
        if (!DeleteForecastData(kSaveForecast))
            Die("delete");
        CSqlQuery journal(QStringLiteral("delete from tfctopjournal"));
        if (!journal.exec())
            Die("journal");
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
        if (!tx.commit())
            Die("commit");
        state.PauseTiming();
        if (!DeleteForecastData(kSaveForecast))
            Die("delete");
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
        CErrorCollector errors;
        auto totals = GetForecastDataTotals(kBigForecast, receiver, products);
        if (!totals)
            Die(qPrintable(errors.empty() ? QString() : errors.take().front().text()));
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
    CScratchDatabase db;
    QString error;
    if (!db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error))
        Die(qPrintable(error));

    std::printf("Generating %d receivers x %d products = %d data rows on SQLite...\n", kReceivers, kProducts,
                kReceivers * kProducts);
    std::fflush(stdout);
    GenerateData();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto get = [&](const char* name) { return reporter.Seconds(name); };
    const double saveOff = get("BM_SaveNewRows/journal:0/iterations:3");
    const double saveOn = get("BM_SaveNewRows/journal:1/iterations:3");
    const double plain = get("BM_PlainInsert/iterations:3");
    std::printf("\nSummary (%d saved rows; %d data rows consolidated)\n", kSaveReceivers * kProducts,
                kReceivers * kProducts);
    if (saveOff >= 0)
        PrintGoal("save by natural key, journal off", saveOff, "s", 2.0);
    if (saveOn >= 0)
        PrintGoal("save by natural key, journal on", saveOn, "s", 2.0);
    if (const double upd = get("BM_SaveExistingRows/iterations:3"); upd >= 0)
        PrintFigure("save over existing rows, journal off", upd, "s");
    if (plain >= 0)
        PrintFigure("plain prepared insert of the same rows", plain, "s");
    if (plain > 0 && saveOff >= 0)
        PrintFigure("ratio save (journal off) / plain insert", saveOff / plain, "");
    if (plain > 0 && saveOn >= 0)
        PrintFigure("ratio save (journal on) / plain insert", saveOn / plain, "");
    if (const double sums = get("BM_ForecastDataSums/iterations:3"); sums >= 0)
        PrintFigure("per-product sums alone", sums, "s");
    if (const double c = get("BM_Consolidate/iterations:3"); c >= 0)
        PrintGoal("per-product sums + accumulation (1,000,000 rows)", c, "s", 2.0);
    if (const double t = get("BM_TotalsOfOneReceiver/iterations:200"); t >= 0)
        PrintGoal("totals of one receiver over all products", t, "s", 0.050);

    PrintGoal("peak memory (ru_maxrss)", PeakMemoryMb(), "MB", 200);
    if (g_errors)
        std::printf("%d database messages were shown\n", g_errors);
    GetDBConnection().Close();
    return g_errors ? 1 : 0;
}
