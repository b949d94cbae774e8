// The recalculation of group rows on a generated forecast of 1,000 receivers by 1,000 products, on
// SQLite and, when the PostgreSQL test cluster runs, on it: the whole forecast against one aggregate
// pass over its rows (through the library's own interface), and one member edit with the recalculation after it, with
// its statements and written rows counted through SQLite's trace.
#include "BenchDatabases.h"
#include "BenchSummary.h"
#include "ForecastGenerator.h"
#include "PlainStatement.h"
#include "RecalcCommands.h"
#include "Settings.h"
#include "StatementCount.h"
#include "db/SqlQuery.h"
#include "tables/Products.h"

#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

CGeneratedForecast g_data;
CBenchDatabases g_db;
int g_edits = 0;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_recalc: %s\n", qPrintable(what));
    g_db.Close();
    std::exit(1);
}

BenchDialect DialectOf(const benchmark::State& state)
{
    return BenchDialect(state.range(0));
}

bool Generate(BenchDialect dialect, QString* error)
{
    std::printf("Generating the forecast on %s...\n", DialectLabel(dialect));
    std::fflush(stdout);
    const auto generated = GenerateForecast(CForecastShape::Benchmark(), error);
    if (!generated)
        return false;
    g_data = *generated;
    return RunPlain(QStringLiteral("analyze"));
}

void CheckOutcome(const RecalcOutcome& outcome)
{
    if (!outcome.errors.isEmpty())
        Die(outcome.errors.join(u'\n'));
    if (outcome.result != RECALC_DONE)
        Die(QStringLiteral("the recalculation ended with %1").arg(outcome.result));
}

void BM_RecalcForecast(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    Settings().EnableOpJournal = state.range(1) != 0;
    const RecalcThreadParams params{nullptr, nullptr, g_data.forecast, g_data.root};
    for (auto _ : state) {
        // Every member changed, so that every group row is written again (a run over sums as they
        // are writes nothing).
        state.PauseTiming();
        CSqlQuery change(QStringLiteral("update tfctprognozdata set sumLast = sumLast + 1 where prognoz = ?"));
        change.bind(g_data.forecast);
        if (!change.exec())
            Die(change.lastError().text());
        // The change's pages are written back now, not by the run's first commit.
        if (state.range(0) == kSQLite) {
            CSqlQuery checkpoint(QStringLiteral("pragma wal_checkpoint(truncate)"));
            if (!checkpoint.exec())
                Die(checkpoint.lastError().text());
        }
        state.ResumeTiming();
        CheckOutcome(RecalcForecastThread(params));
    }
    Settings().EnableOpJournal = false;
}

void BM_AggregatePass(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    for (auto _ : state) {
        CPlainStatement pass("select receiver, sum(sumNext) from tfctprognozdata where prognoz = $1 group by receiver");
        const long long n = pass.bind(g_data.forecast).run();
        if (n < 0)
            Die(QString::fromStdString(pass.error()));
        if (n != int(g_data.leafReceivers.size() + g_data.receiverGroups.size() + 1))
            Die(QStringLiteral("aggregate pass: %1 receivers").arg(n));
    }
}

// The editor's save of a member's cell and the recalculation after it.
void EditOnce()
{
    const int receiver = g_data.leafReceivers[size_t(g_edits++) % g_data.leafReceivers.size()];
    CForecastDataRecord row = GetOrNewForecastData({g_data.forecast, receiver, g_data.deepLeaf});
    row.sumNorm += Money::fromInt(1);
    row.sumNext += Money::fromInt(1);
    if (!SaveForecastData(row, false))
        Die(QStringLiteral("save of the edited row"));
    CheckOutcome(RecalcEditedGroup(g_data.forecast, receiver, g_data.deepGroup));
}

void BM_MemberEdit(benchmark::State& state)
{
    if (!g_db.Use(state, DialectOf(state)))
        return;
    for (auto _ : state)
        EditOnce();
}

BENCHMARK(BM_RecalcForecast)
    ->ArgNames({"pg", "journal"})
    ->ArgsProduct({{kSQLite, kPostgreSQL}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_AggregatePass)
    ->ArgName("pg")
    ->Arg(kSQLite)
    ->Arg(kPostgreSQL)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_MemberEdit)->ArgName("pg")->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(500);

void Summary(const CSummaryReporter& reporter, BenchDialect dialect)
{
    const char* label = DialectLabel(dialect);
    std::printf("\n%s (%lld data rows)\n", label, g_data.rows);
    if (!g_db.Has(dialect)) {
        PrintSkipped(label, qPrintable(g_db.Reason(dialect)));
        return;
    }
    const std::string pg = "/pg:" + std::to_string(int(dialect));
    const bool server = dialect == kPostgreSQL;
    const double off = reporter.Seconds("BM_RecalcForecast" + pg + "/journal:0/iterations:1");
    const double on = reporter.Seconds("BM_RecalcForecast" + pg + "/journal:1/iterations:1");
    const double pass = reporter.Seconds("BM_AggregatePass" + pg + "/iterations:5");
    if (server) {
        if (off >= 0)
            PrintGoal("whole-forecast recalculation, journal off", off, "s", 10.0);
        if (on >= 0)
            PrintGoal("whole-forecast recalculation, journal on", on, "s", 10.0);
    } else {
        if (off >= 0)
            PrintFigure("whole-forecast recalculation, journal off", off, "s");
        if (on >= 0)
            PrintFigure("whole-forecast recalculation, journal on", on, "s");
    }
    if (pass > 0) {
        PrintFigure("one aggregate pass (sum of sumNext per receiver)", pass, "s");
        if (off >= 0)
            PrintRatio("ratio recalculation (journal off) / aggregate pass", off / pass, server ? 0 : 8.0);
        if (on >= 0)
            PrintRatio("ratio recalculation (journal on) / aggregate pass", on / pass, server ? 0 : 12.0);
    }
    if (const double edit = reporter.Seconds("BM_MemberEdit" + pg + "/iterations:500"); edit >= 0)
        PrintGoal("one member edit: save and recalculation after it", edit * 1000.0, "ms", 10.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    QString error;
    if (!g_db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &Generate, &error))
        Die(error);
    std::printf("%lld data rows; the edited member lies below %d group levels\n", g_data.rows,
                int(LoadProductPath(g_data.forecast, g_data.deepLeaf).size()) - 1);

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    Summary(reporter, kSQLite);
    Summary(reporter, kPostgreSQL);

    // One more edit on SQLite, counted.
    if (!g_db.Use(kSQLite))
        Die(QStringLiteral("no SQLite database"));
    long long statements = 0;
    long long written = 0;
    {
        CStatementCount count;
        if (!count.valid())
            Die(QStringLiteral("no SQLite handle"));
        const long long changesBefore = sqlite3_total_changes64(count.handle());
        EditOnce();
        written = sqlite3_total_changes64(count.handle()) - changesBefore;
        statements = count.statements();
    }
    std::printf("\n");
    PrintGoal("SQL statements of one edit (SQLite)", double(statements), "", 30);
    PrintFigure("rows written by one edit (SQLite)", double(written), "");
    PrintGoal("peak memory (ru_maxrss)", PeakMemoryMb(), "MB", 200);
    g_db.Close();
    return 0;
}
