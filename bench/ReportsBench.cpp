// The report road on a generated forecast of 1,000 receivers by 1,000 products (SQLite): the product
// lines over every receiver and of the consolidated forecast, writing them into the report database
// with the columns of form 1, and rendering that run into a PDF file; beside a plain SQLite pass
// that sums the data rows per product. The summary prints each mode's goal as met or MISSED.
#include "BenchSummary.h"
#include "ControlFormsBench.h"
#include "ForecastGenerator.h"
#include "HierarchyForms.h"
#include "ProductForms.h"
#include "ProductRows.h"
#include "ReportContent.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "ReportLayout.h"
#include "db/SqlQuery.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

CGeneratedForecast g_data;
std::vector<int> g_receivers;
std::vector<int> g_products;
QString g_home;
// Per mode: the lines loaded last, the run written last, its page count.
ReportProductList g_lines[2];
int g_reportId[2] = {-1, -1};
int g_pages[2] = {0, 0};

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_reports: %s\n", qPrintable(what));
    std::exit(1);
}

// The pages of a report laid out on a PDF device of the renderer's set-up.
int CountPages(const ReportDefinition& definition, const QStringList& values, const QString& title)
{
    ReportError error;
    const auto content = BuildReportContent(definition, values, title, QString(), ReportDatabasePath(), 0, &error);
    if (!content)
        return 0;
    return CReportLayout(*content, DefaultReportPageLayout(*content)).count();
}

int CountPages(const QString& file, const QStringList& values, const QString& title)
{
    ReportError error;
    const auto definition = LoadReportDefinition(g_home + file, g_home + QStringLiteral("reportdef.xsd"), &error);
    return definition ? CountPages(*definition, values, title) : 0;
}

const char* ModeName(int mode)
{
    return mode == 0 ? "receivers" : "consolidated";
}

void BM_Load(benchmark::State& state)
{
    const int mode = int(state.range(0));
    for (auto _ : state) {
        CProductDepthMap depths; // filled by the load, as a form's run does
        auto lines =
            GetProductTotalsList(g_data.forecast, mode == 0 ? g_receivers : std::vector<int>{}, g_products, depths);
        if (!lines)
            Die(QStringLiteral("no lines"));
        g_lines[mode] = std::move(*lines);
    }
    state.counters["lines"] = double(g_lines[mode].size());
}

// The columns of form 1, in their order.
void BM_Write(benchmark::State& state)
{
    const int mode = int(state.range(0));
    for (auto _ : state) {
        g_reportId[mode] = RunReportFrame([mode](CReportFrame& frame) {
            CReportTable& t = frame.Table("reportform1",
                                          {"name", "code", "measurementNatural", "measurementNaturalId",
                                           "measurementPrice", "measurementPriceId", "isMeasurementNatural", "sumCurr",
                                           "sumLast", "sumNext", "valueCurr", "valueLast", "valueNext"});
            for (const ReportProductRow& r : g_lines[mode]) {
                t << r.name.left(254) << r.code << r.measurementNatural << r.measurementNaturalId << r.measurementPrice
                  << r.measurementPriceId << r.isMeasurementNatural << r.sumCurr << r.sumLast << r.sumNext
                  << r.valueCurr << r.valueLast << r.valueNext;
                t.Write();
            }
        });
        if (g_reportId[mode] <= 0)
            Die(QStringLiteral("the run was not written"));
    }
}

void BM_Render(benchmark::State& state)
{
    const int mode = int(state.range(0));
    ReportError error;
    const auto definition = LoadReportDefinition(QStringLiteral(LIR_TEST_DATA_DIR "/reports/columns.rpt"),
                                                 g_home + QStringLiteral("reportdef.xsd"), &error);
    if (!definition)
        Die(QStringLiteral("definition: %1 %2").arg(error.code).arg(error.detail));
    const QString pdf = g_home + QStringLiteral("form1-%1.pdf").arg(QLatin1String(ModeName(mode)));
    const QStringList values{QStringLiteral("Все получатели"),
                             QStringLiteral("0"),
                             QString(),
                             QString::number(mode),
                             QStringLiteral("2026"),
                             QStringLiteral("0"),
                             QStringLiteral("По муниципальным образованиям Российской Федерации"),
                             QStringLiteral("2"),
                             QString::number(g_reportId[mode])};
    const QString title = QStringLiteral("Форма 1. Прогноз объемов продукции");
    for (auto _ : state) {
        const auto content = BuildReportContent(*definition, values, title, QString(), ReportDatabasePath(), 0, &error);
        if (!content)
            Die(QStringLiteral("content: %1 %2").arg(error.code).arg(error.detail));
        QString message;
        if (!WriteReportPdf(*content, pdf, &message))
            Die(message);
        if (content->rows.size() != g_lines[mode].size())
            Die(QStringLiteral("rendered %1 rows").arg(content->rows.size()));
    }
    // The pages, laid out again on a PDF device of the same set-up.
    g_pages[mode] = CountPages(*definition, values, title);
}

// Form 1 as its dialog runs it: the real builder over the whole product tree, then its definition.
int g_form1Id[2] = {-1, -1};
int g_form1Rows[2] = {0, 0};
int g_form2Id = -1;
int g_formPages[3] = {0, 0, 0}; // form 1 per mode, form 2

bool RenderForm(const QString& file, const QString& title, const QStringList& values, const QString& pdf)
{
    CReportJob job;
    job.SetReportFile(g_home + file);
    job.SetTitle(title);
    job.SetLogOnInfo(ReportDatabasePath());
    job.SetParameterValues(values);
    return job.ExportPdf(pdf);
}

void BM_Form1Build(benchmark::State& state)
{
    const int mode = int(state.range(0));
    for (auto _ : state) {
        std::vector<int> products = g_products;
        CProductDepthMap depths;
        g_form1Id[mode] =
            BuildReportForm1(g_data.forecast, mode == 0 ? g_receivers : std::vector<int>{}, products, depths, false);
        if (g_form1Id[mode] <= 0)
            Die(QStringLiteral("form 1 was not built"));
    }
    CSqlQuery count(QStringLiteral("select count(*) from reportform1 where report = ?"), GetReportDBConnection());
    count.bind(g_form1Id[mode]);
    if (count.exec() && count.next())
        g_form1Rows[mode] = count.value(0).toInt();
    state.counters["rows"] = g_form1Rows[mode];
}

void BM_Form1Pdf(benchmark::State& state)
{
    const int mode = int(state.range(0));
    const QString pdf = g_home + QStringLiteral("Form1-%1.pdf").arg(QLatin1String(ModeName(mode)));
    const QStringList values{mode == 0 ? QStringLiteral("Все получатели") : QString(),
                             QStringLiteral("0"),
                             QString(),
                             QString::number(mode),
                             QStringLiteral("2026"),
                             QStringLiteral("0"),
                             QStringLiteral("По муниципальным образованиям Российской Федерации"),
                             QStringLiteral("2"),
                             QString::number(g_form1Id[mode])};
    const QString title = QStringLiteral("Форма 1. Прогноз объемов продукции");
    for (auto _ : state)
        if (!RenderForm(QStringLiteral("Form1.rpt"), title, values, pdf))
            Die(QStringLiteral("form 1 was not rendered"));
    g_formPages[mode] = CountPages(QStringLiteral("Form1.rpt"), values, title);
}

// Form 2 with the root group chosen: the root, each receiver below it, their groups' walks.
void BM_Form2(benchmark::State& state)
{
    const QString pdf = g_home + QStringLiteral("Form2.pdf");
    const QString title = QStringLiteral("Отчет Ф2. Средние цены закупок товаров");
    QStringList values;
    for (auto _ : state) {
        g_form2Id = BuildReportForm2(g_data.forecast, {g_data.root}, g_data.topProduct, false);
        if (g_form2Id <= 0)
            Die(QStringLiteral("form 2 was not built"));
        values = QStringList{
            QStringLiteral("2026"),      QString::number(g_form2Id),
            QStringLiteral("Продукция"), QStringLiteral("руб."),
            QStringLiteral(" "),         QStringLiteral("По муниципальным образованиям Российской Федерации"),
            QStringLiteral("0")};
        if (!RenderForm(QStringLiteral("Form2.rpt"), title, values, pdf))
            Die(QStringLiteral("form 2 was not rendered"));
    }
    g_formPages[2] = CountPages(QStringLiteral("Form2.rpt"), values, title);
}

BENCHMARK(BM_Form1Build)->ArgName("consolidated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Form1Pdf)->ArgName("consolidated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Form2)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same rows summed per product by SQLite alone, through a plain connection of its own.
void BM_PlainSum(benchmark::State& state)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(g_home + QStringLiteral("LIR.db")).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr)
        != SQLITE_OK)
        Die(QStringLiteral("cannot open the database"));
    // The page cache the program's own connections get.
    sqlite3_exec(db, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
    const char* sql = "select product, sum(sumLast), sum(sumCurr), sum(sumNext), sum(valueLast), sum(valueCurr), "
                      "sum(valueNext), sum(valueNorm), sum(valueIndex), sum(valuePlan), sum(valueFormula), "
                      "sum(valueOther), sum(sumNorm), sum(sumIndex), sum(sumPlan), sum(sumFormula), sum(sumOther) "
                      "from tfctprognozdata where prognoz = ? group by product";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        Die(QString::fromUtf8(sqlite3_errmsg(db)));
    for (auto _ : state) {
        sqlite3_bind_int(stmt, 1, g_data.forecast);
        int rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            ++rows;
        sqlite3_reset(stmt);
        benchmark::DoNotOptimize(rows);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

BENCHMARK(BM_Load)->ArgName("consolidated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Write)->ArgName("consolidated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Render)->ArgName("consolidated")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainSum)->Unit(benchmark::kMillisecond)->Iterations(3);

void Exec(const QString& sql, int forecast)
{
    CSqlQuery q(sql);
    q.bind(forecast);
    if (!q.exec())
        Die(q.lastError().text());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // bench_reports --form8-preview <forecast> [<report id>], in the program folder $LIR_HOME.
    if (argc >= 3 && QByteArray(argv[1]) == "--form8-preview")
        return RunForm8Preview(QByteArray(argv[2]).toInt(), argc > 3 ? QByteArray(argv[3]).toInt() : 0);
    benchmark::Initialize(&argc, argv);

    CScratchDatabase db;
    QString error;
    if (!db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error))
        Die(error);
    g_home = QFileInfo(db.file()).path() + QLatin1Char('/');
    for (const char* file : {"LIRR.db", "reportdef.xsd", "Form1.rpt", "Form2.rpt"})
        if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(file), g_home + QLatin1String(file)))
            Die(QStringLiteral("cannot copy %1").arg(QLatin1String(file)));
    std::printf("Generating 1,000 receivers x 1,000 products on SQLite...\n");
    std::fflush(stdout);
    const auto generated = GenerateForecast(CForecastShape::Benchmark(), &error);
    if (!generated)
        Die(error);
    g_data = *generated;
    // The consolidated forecast as a consolidation leaves it: the sums of the top and of the
    // receivers that are no group.
    Exec(QStringLiteral(
             "insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
             "valueNext) select d.prognoz, d.product, sum(d.sumLast), sum(d.sumCurr), sum(d.sumNext), "
             "sum(d.valueLast), sum(d.valueCurr), sum(d.valueNext) from tfctprognozdata d join tclsreceiver r on "
             "r.id = d.receiver where d.prognoz = ? and (r.category = 0 or r.isgroup = 0) group by d.prognoz, "
             "d.product"),
         g_data.forecast);
    CSqlQuery analyze(QStringLiteral("analyze"));
    if (!analyze.exec())
        Die(analyze.lastError().text());
    g_receivers.push_back(g_data.root);
    g_receivers.insert(g_receivers.end(), g_data.receiverGroups.begin(), g_data.receiverGroups.end());
    g_receivers.insert(g_receivers.end(), g_data.leafReceivers.begin(), g_data.leafReceivers.end());
    CProductDepthMap depths;
    if (!CollectProductTree(g_data.forecast, depths, &g_products, nullptr))
        Die(QStringLiteral("product tree"));
    std::printf("%lld data rows, %zu receivers, %zu priced products\n", g_data.rows, g_receivers.size(),
                g_products.size());
    PrepareControlForms(g_data, g_receivers, g_products, g_home);

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSummary (%lld data rows)\n", g_data.rows);
    const double plain = reporter.Seconds("BM_PlainSum/iterations:3");
    for (int mode : {0, 1}) {
        const auto seconds = [&](const char* bench) {
            return reporter.Seconds(
                QStringLiteral("%1/consolidated:%2/iterations:3").arg(QLatin1String(bench)).arg(mode).toStdString());
        };
        const double load = seconds("BM_Load");
        const double write = seconds("BM_Write");
        const double render = seconds("BM_Render");
        const std::string name = ModeName(mode);
        PrintFigure(("load, " + name + " (" + std::to_string(g_lines[mode].size()) + " lines)").c_str(), load, "s");
        PrintFigure(("write into reportform1, " + name).c_str(), write, "s");
        PrintFigure(("render to PDF, " + name + " (" + std::to_string(g_pages[mode]) + " pages)").c_str(), render, "s");
        if (load >= 0 && write >= 0 && render >= 0)
            PrintGoal(("load, write and render, " + name).c_str(), load + write + render, "s", 3.0);
        else
            PrintGoal(("load, write and render, " + name).c_str(), -1, "s", 3.0);
    }
    for (int mode : {0, 1}) {
        const auto seconds = [&](const char* bench) {
            return reporter.Seconds(
                QStringLiteral("%1/consolidated:%2/iterations:3").arg(QLatin1String(bench)).arg(mode).toStdString());
        };
        const std::string name = ModeName(mode);
        const double build = seconds("BM_Form1Build");
        const double pdf = seconds("BM_Form1Pdf");
        PrintFigure(("form 1 builder, " + name + " (" + std::to_string(g_form1Rows[mode]) + " rows)").c_str(), build,
                    "s");
        PrintFigure(("form 1 PDF, " + name + " (" + std::to_string(g_formPages[mode]) + " pages)").c_str(), pdf, "s");
        PrintGoal(("form 1 builder, layout and PDF, " + name).c_str(), build >= 0 && pdf >= 0 ? build + pdf : -1, "s",
                  3.0);
    }
    PrintFigure(("form 2, root group chosen, builder and PDF (" + std::to_string(g_formPages[2]) + " pages)").c_str(),
                reporter.Seconds("BM_Form2/iterations:3"), "s");
    if (plain > 0) {
        PrintFigure("plain SQLite sum per product of the rows", plain, "s");
        const double load = reporter.Seconds("BM_Load/consolidated:0/iterations:3");
        if (load >= 0)
            PrintRatio("ratio load over every receiver / plain sum", load / plain);
    }
    PrintControlFormFigures(reporter);
    PrintFigure("peak memory (ru_maxrss)", PeakMemoryMb(), "MB");
    GetDBConnection().Close();
    GetReportDBConnection().Close();
    return 0;
}
