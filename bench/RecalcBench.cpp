// The recalculation of group rows on a generated forecast of 1,000 receivers by 1,000 products
// (SQLite): the whole forecast against one aggregate pass over its rows, and one member edit with the
// recalculation after it, with its statements and written rows counted through SQLite's trace.
#include "BenchSummary.h"
#include "ForecastGenerator.h"
#include "RecalcCommands.h"
#include "Settings.h"
#include "StatementCount.h"
#include "db/SqlQuery.h"
#include "tables/Products.h"

#include <QCoreApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

CGeneratedForecast g_data;
int g_edits = 0;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_recalc: %s\n", qPrintable(what));
    std::exit(1);
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
    Settings().EnableOpJournal = state.range(0) != 0;
    const RecalcThreadParams params{nullptr, nullptr, g_data.forecast, g_data.root};
    for (auto _ : state)
        CheckOutcome(RecalcForecastThread(params));
    Settings().EnableOpJournal = false;
}

void BM_AggregatePass(benchmark::State& state)
{
    for (auto _ : state) {
        CSqlQuery q(QStringLiteral("select receiver, sum(sumNext) from tfctprognozdata where prognoz = ? "
                                   "group by receiver"));
        q.bind(g_data.forecast);
        if (!q.exec())
            Die(q.lastError().text());
        int n = 0;
        while (q.next())
            ++n;
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
    for (auto _ : state)
        EditOnce();
}

BENCHMARK(BM_RecalcForecast)->ArgName("journal")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AggregatePass)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MemberEdit)->Unit(benchmark::kMillisecond)->Iterations(500);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    CScratchDatabase db;
    QString error;
    const auto generated = GenerateBenchmarkForecast(db, QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error);
    if (!generated)
        Die(error);
    g_data = *generated;
    CSqlQuery analyze(QStringLiteral("analyze"));
    if (!analyze.exec())
        Die(analyze.lastError().text());
    std::printf("%lld data rows; the edited member lies below %d group levels\n", g_data.rows,
                int(LoadProductPath(g_data.forecast, g_data.deepLeaf).size()) - 1);

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // One more edit, counted.
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

    std::printf("\nSummary (%lld data rows)\n", g_data.rows);
    const double off = reporter.Seconds("BM_RecalcForecast/journal:0/iterations:1");
    const double on = reporter.Seconds("BM_RecalcForecast/journal:1/iterations:1");
    const double pass = reporter.Seconds("BM_AggregatePass/iterations:5");
    if (off >= 0)
        PrintGoal("whole-forecast recalculation, journal off", off, "s", 10.0);
    if (on >= 0)
        PrintFigure("whole-forecast recalculation, journal on", on, "s");
    if (pass > 0) {
        PrintFigure("one aggregate pass (sum of sumNext per receiver)", pass, "s");
        if (off >= 0)
            PrintFigure("ratio recalculation (journal off) / aggregate pass", off / pass, "");
    }
    if (const double edit = reporter.Seconds("BM_MemberEdit/iterations:500"); edit >= 0)
        PrintGoal("one member edit: save and recalculation after it", edit * 1000.0, "ms", 20.0);
    PrintFigure("SQL statements of one edit", double(statements), "");
    PrintFigure("rows written by one edit", double(written), "");
    PrintFigure("peak memory (ru_maxrss)", PeakMemoryMb(), "MB");
    GetDBConnection().Close();
    return 0;
}
