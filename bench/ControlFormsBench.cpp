#include "ControlFormsBench.h"

#include "Form8.h"
#include "Form9.h"
#include "ProductRows.h"
#include "ReportContent.h"
#include "ReportDatabase.h"
#include "ReportLayout.h"
#include "db/SqlQuery.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

CGeneratedForecast g_forecast;
int g_second = 0;
std::vector<int> g_allReceivers;
std::vector<int> g_allProducts;
QString g_folder;
size_t g_form8Rows = 0;
size_t g_form9Rows = 0;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_reports: %s\n", qPrintable(what));
    std::exit(1);
}

void Run(const QString& sql, const QVariantList& values)
{
    CSqlQuery q(sql);
    q.bindAll(values);
    if (!q.exec())
        Die(q.lastError().text());
}

size_t RowsOf(const char* table, int reportId)
{
    CSqlQuery q(QStringLiteral("select count(*) from %1 where report = ?").arg(QLatin1String(table)),
                GetReportDBConnection());
    q.bind(reportId);
    return q.exec() && q.next() ? size_t(q.value(0).toLongLong()) : 0;
}

void BM_Form8(benchmark::State& state)
{
    for (auto _ : state) {
        const int id = BuildReportForm8(g_forecast.forecast, Money::fromInt(10));
        if (id <= 0)
            Die(QStringLiteral("form 8 was not written"));
        g_form8Rows = RowsOf("reportform8", id);
    }
}

// The product lines of one receiver, as form 1 loads them.
void BM_LoadOneReceiver(benchmark::State& state)
{
    const std::vector<int> one{g_forecast.leafReceivers.front()};
    for (auto _ : state) {
        CProductDepthMap depths;
        if (!GetProductTotalsList(g_forecast.forecast, one, g_allProducts, depths))
            Die(QStringLiteral("no lines"));
    }
}

void BM_Form9(benchmark::State& state)
{
    ReportError error;
    const auto definition = LoadReportDefinition(g_folder + QStringLiteral("Form9.rpt"),
                                                 g_folder + QStringLiteral("reportdef.xsd"), &error);
    if (!definition)
        Die(QStringLiteral("definition: %1 %2").arg(error.code).arg(error.detail));
    for (auto _ : state) {
        const int id = BuildReportForm9(10, g_forecast.forecast, g_second, g_allReceivers, g_allReceivers);
        if (id <= 0)
            Die(QStringLiteral("form 9 was not written"));
        const QStringList values{QStringLiteral("10"),
                                 QStringLiteral("2026"),
                                 QString::number(id),
                                 QStringLiteral("Все получатели (2026 год)"),
                                 QStringLiteral("Все получатели (2026 год)"),
                                 QStringLiteral("2026")};
        const auto content = BuildReportContent(
            *definition, values, QStringLiteral("Внутренняя аналитическая форма сравнения двух прогнозов"), QString(),
            ReportDatabasePath(), 0, &error);
        if (!content)
            Die(QStringLiteral("content: %1 %2").arg(error.code).arg(error.detail));
        QString message;
        if (!WriteReportPdf(*content, g_folder + QStringLiteral("form9.pdf"), &message))
            Die(message);
        g_form9Rows = content->rows.size();
    }
}

BENCHMARK(BM_LoadOneReceiver)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Form8)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Form9)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

void PrepareControlForms(const CGeneratedForecast& data, const std::vector<int>& receivers,
                         const std::vector<int>& products, const QString& home)
{
    g_forecast = data;
    g_allReceivers = receivers;
    g_allProducts = products;
    g_folder = home;
    g_second = data.forecast + 1;
    if (!QFile::exists(home + QStringLiteral("Form9.rpt"))
        && !QFile::copy(QStringLiteral(LIR_BIN_DIR "/Form9.rpt"), home + QStringLiteral("Form9.rpt")))
        Die(QStringLiteral("cannot copy Form9.rpt"));
    const QVariantList both{g_second, data.forecast};
    Run(QStringLiteral("insert into tfctprognoz (id, name, year, status, owner, ownername)"
                       " select ?, name, year, status, owner, ownername from tfctprognoz where id = ?"),
        both);
    Run(QStringLiteral(
            "insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, position,"
            " comment, offsetMin, offsetMax, type, isgroup, balanceTitle, code, measurementNatural2,"
            " measurementPrice2, avRep, avCur, avProg, priceIdx) select ?, id, parent, measurementNatural,"
            " measurementPrice, name, position, comment, offsetMin, offsetMax, type, isgroup, balanceTitle, code,"
            " measurementNatural2, measurementPrice2, avRep, avCur, avProg, priceIdx from tclsproduct"
            " where prognoz = ?"),
        both);
    Run(QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext)"
                       " select ?, product, pricePrev, priceCur, priceNext from tfctprice where prognoz = ?"),
        both);
    Run(QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount)"
                       " select ?, receiver, subReceiverCount from tclsreceivermap where prognoz = ?"),
        both);
    Run(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, sumLast, sumCurr, sumNext,"
                       " valueLast, valueCurr, valueNext) select ?, product, receiver, sumLast, sumCurr,"
                       " case when product % 7 = 0 then sumNext * 3 / 2 else sumNext end, valueLast, valueCurr,"
                       " valueNext from tfctprognozdata where prognoz = ?"),
        both);
    Run(QStringLiteral("analyze"), {});
}

void PrintControlFormFigures(const CSummaryReporter& reporter)
{
    const double form8 = reporter.Seconds("BM_Form8/iterations:1");
    const double one = reporter.Seconds("BM_LoadOneReceiver/iterations:5");
    const double form9 = reporter.Seconds("BM_Form9/iterations:2");
    const std::string rows8 = std::to_string(g_form8Rows);
    const std::string rows9 = std::to_string(g_form9Rows);
    PrintGoal(("form 8 over every receiver (" + rows8 + " rows)").c_str(), form8, "s", 10.0);
    if (form8 >= 0 && !g_allReceivers.empty())
        PrintFigure("form 8 per receiver", 1000.0 * form8 / double(g_allReceivers.size()), "ms");
    PrintFigure("form 1 load of one receiver", 1000.0 * one, "ms");
    PrintGoal(("form 9 data against data, every receiver, with PDF (" + rows9 + " rows)").c_str(), form9, "s", 3.0);
}
