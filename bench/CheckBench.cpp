// The forecast data check and the consolidation on a generated forecast of 1,000 receivers by 1,000
// priced products (1,000,000 rows, SQLite, offscreen): the check on a shown "Проверка прогнозных
// данных" window and the consolidation on a shown "Генерация сводного прогноза" window, against one
// insert ... select ... group by of the same sums through SQLite's own interface, and the
// reference-data check of the 1,000 products. About 1% of the rows have findings.
#include "BenchSummary.h"
#include "CheckDialogs.h"
#include "ForecastGenerator.h"
#include "PlainStatement.h"
#include "RecalcCommands.h"
#include "Settings.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/TotalForecasts.h"

#include <QApplication>
#include <QPointer>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

CGeneratedForecast g_data;
int g_errors = 0;
int g_checkLines = 0;
bool g_checkResult = true;
int g_nsiLines = 0;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_checks: %s\n", qPrintable(what));
    std::exit(1);
}

void Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        Die(sql + QStringLiteral(": ") + q.lastError().text());
}

// The generated rows are random: the group rows are made to agree with their members first, then
// findings are planted in about 1% of the rows: quantities left out of 0.5% of the member rows, and
// five products whose admissible range the rows' prices miss. Every other product gets a range so
// wide that the price test runs on each of its rows without a finding.
void PlantFindings()
{
    std::printf("Recomputing the group rows...\n");
    std::fflush(stdout);
    const RecalcOutcome outcome = RecalcForecastThread({nullptr, nullptr, g_data.forecast, g_data.root});
    if (!outcome.errors.isEmpty() || outcome.result != RECALC_DONE)
        Die(QStringLiteral("recalculation: ") + outcome.errors.join(u'\n'));
    Run(QStringLiteral("update tclsproduct set offsetMin = 0.000001, offsetMax = 1000000000 where prognoz = ?"),
        {g_data.forecast});
    for (int i = 0; i < 5; ++i)
        Run(QStringLiteral("update tclsproduct set offsetMin = 0.99, offsetMax = 1.01 where prognoz = ? and id = ?"),
            {g_data.forecast, g_data.leafProducts[size_t(i) * 97]});
    Run(QStringLiteral("update tfctprognozdata set valueCurr = 0 where prognoz = ? and (receiver + product) % 200 = 0 "
                       "and product in (select id from tclsproduct where prognoz = ? and isgroup = 0)"),
        {g_data.forecast, g_data.forecast});
}

template <class Dlg, class Work>
bool OnShownDialog(Work work, int* lines)
{
    QPointer<Dlg> dlg = new Dlg();
    dlg->show();
    const bool result = work(*dlg);
    if (lines)
        *lines = int(dlg->LogLines().size());
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (dlg)
        Die(QStringLiteral("the window was not deleted"));
    return result;
}

void BM_CheckForecast(benchmark::State& state)
{
    for (auto _ : state)
        g_checkResult = OnShownDialog<CCheckForecastDlg>(
            [](CCheckForecastDlg& d) { return d.CheckForecast(g_data.forecast); }, &g_checkLines);
}

void BM_Consolidate(benchmark::State& state)
{
    for (auto _ : state)
        if (!OnShownDialog<CCalculateForecastDlg>([](CCalculateForecastDlg& d) { return d.Run(g_data.forecast); },
                                                  nullptr))
            Die(QStringLiteral("the consolidation failed"));
}

// The floor of the consolidation: the same sums by one insert ... select ... group by through
// SQLite's own interface, without window or checks.
void BM_ConsolidationFloor(benchmark::State& state)
{
    for (auto _ : state) {
        CTransaction tx;
        if (const std::string error = ConsolidateByOneStatement(g_data.forecast); !error.empty())
            Die(QString::fromStdString(error));
        if (!tx.commit())
            Die(QStringLiteral("commit"));
    }
}

void BM_CheckNSI(benchmark::State& state)
{
    for (auto _ : state)
        OnShownDialog<CExportNSIDlg>([](CExportNSIDlg& d) { return d.CheckNSI(g_data.forecast); }, &g_nsiLines);
}

BENCHMARK(BM_CheckForecast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Consolidate)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConsolidationFloor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CheckNSI)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

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

    CScratchDatabase db;
    QString error;
    const auto generated = GenerateBenchmarkForecast(db, QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error);
    if (!generated)
        Die(error);
    g_data = *generated;
    PlantFindings();
    Run(QStringLiteral("analyze"));

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double check = reporter.Seconds("BM_CheckForecast/iterations:3");
    const double consolidate = reporter.Seconds("BM_Consolidate/iterations:3");
    const double bare = reporter.Seconds("BM_ConsolidationFloor/iterations:3");
    const double nsi = reporter.Seconds("BM_CheckNSI/iterations:10");
    std::printf("\nSummary (%lld data rows)\n", g_data.rows);
    if (check >= 0 && consolidate >= 0)
        PrintGoal("data check and consolidation on shown windows", check + consolidate, "s", 5.0);
    if (check >= 0)
        PrintFigure("  data check of every receiver", check, "s");
    if (consolidate >= 0)
        PrintFigure("  consolidation", consolidate, "s");
    if (bare >= 0)
        PrintFigure("one insert ... select ... group by of the same sums", bare, "s");
    if (bare > 0 && consolidate >= 0)
        PrintRatio("ratio consolidation / insert ... select ... group by", consolidate / bare);
    PrintFigure("lines of the data check's log", g_checkLines, "");
    std::printf("%-58s %10s\n", "the data check found", g_checkResult ? "nothing" : "findings");
    if (nsi >= 0)
        PrintFigure("reference-data check of 1,000 products", nsi * 1000.0, "ms");
    PrintFigure("lines of the reference-data check's log", g_nsiLines, "");
    PrintFigure("peak memory (ru_maxrss)", PeakMemoryMb(), "MB");
    if (g_errors)
        std::printf("%d database errors were reported\n", g_errors);
    GetDBConnection().Close();
    return g_errors ? 1 : 0;
}
