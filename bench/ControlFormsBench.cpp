#include "ControlFormsBench.h"

#include "Form8.h"
#include "Form9.h"
#include "ProductRows.h"
#include "ReceiverChoiceControls.h"
#include "ReportContent.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "ReportLayout.h"
#include "ReportPreview.h"
#include "Settings.h"
#include "TextUtils.h"
#include "db/DbConnection.h"
#include "db/SqlQuery.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

CGeneratedForecast g_forecast;
int g_second = 0;
std::vector<int> g_allReceivers;
std::vector<int> g_allProducts;
QString g_folder;
size_t g_form8Rows = 0;
size_t g_form9Rows = 0;

// What the separate form 8 process measured; -1: not measured.
struct Form8Figures {
    double build = -1;
    double firstPage = -1;
    double pdf = -1;
    double one = -1;  // the same PDF by one writer
    double bare = -1; // the floor: the laid-out pages drawn by a plain loop
    int parts = -1;
    double read = -1;
    double layout = -1;
    double peakMb = -1;
    int previewPages = -1;
    int pdfPages = -1;
    long long rows = -1;
} g_form8;

// The one writer lays out each page as it paints it: at most so much slower than drawing the pages
// laid out beforehand.
constexpr double kOneWriterOverFloor = 1.3;

const QString kForm8Title =
    QStringLiteral("Отчет Ф8. Сведения об изменениях стоимостных показателей по видам продукции");

// The floor of the PDF writing: the pages' texts and rules as the layout lays them out, drawn by a
// plain loop onto one PDF writer of the same page and resolution. Laying the pages out is not timed,
// a few hundred pages at a time: only their drawing and the writer's end. Answers the seconds.
double WriteFloorPdf(const CReportLayout& layout, const QString& path)
{
    QPdfWriter writer(path);
    writer.setResolution(int(kReportLayoutDpi));
    writer.setPageLayout(layout.pageLayout());
    QPainter painter(&writer);
    constexpr int kPagesAtOnce = 200;
    std::vector<CReportLayout::Drawing> pages;
    QElapsedTimer timer;
    qint64 drawn = 0;
    for (int first = 0; first < layout.count(); first += kPagesAtOnce) {
        pages.clear();
        for (int page = first; page < std::min(layout.count(), first + kPagesAtOnce); ++page)
            pages.push_back(layout.Draw(page));
        timer.start();
        for (size_t k = 0; k < pages.size(); ++k) {
            if (first + int(k) > 0)
                writer.newPage();
            const CReportLayout::Drawing& page = pages[k];
            painter.setPen(page.pen);
            for (const CReportLayout::Drawing::Text& text : page.texts) {
                painter.setFont(text.font);
                painter.drawText(text.at, text.text);
            }
            painter.drawLines(page.lines.data(), int(page.lines.size()));
            for (const QGlyphRun& run : page.runs)
                painter.drawGlyphRun(QPointF(0, 0), run);
        }
        drawn += timer.nsecsElapsed();
    }
    timer.start();
    painter.end();
    return double(drawn + timer.nsecsElapsed()) / 1e9;
}

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
    // Each side's caption as the dialog gives it: the names of every receiver and the year.
    const QString side = JoinReceiverNames(g_forecast.forecast, g_allReceivers) + QStringLiteral(" (2026 год)");
    for (auto _ : state) {
        const int id = BuildReportForm9(10, g_forecast.forecast, g_second, g_allReceivers, g_allReceivers);
        if (id <= 0)
            Die(QStringLiteral("form 9 was not written"));
        const QStringList values{QStringLiteral("10"),  QStringLiteral("2026"), QString::number(id), side, side,
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

// Form 8 as the program shows it, in a process of its own (MeasureForm8Preview).
void BM_Form8Preview(benchmark::State& state)
{
    for (auto _ : state)
        MeasureForm8Preview(QCoreApplication::applicationFilePath(), g_forecast.forecast);
}

BENCHMARK(BM_LoadOneReceiver)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Form8)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Form9)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Form8Preview)->Unit(benchmark::kMillisecond)->Iterations(1);

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

int RunForm8Preview(int forecast, int reportId)
{
    const QString home = GetProgramFolder();
    QElapsedTimer timer;
    timer.start();
    int id = reportId;
    if (id <= 0) {
        Settings().EnableOpJournal = false;
        DbConnectParams params;
        params.dialect = SqlDialect::SQLite;
        params.file = home + QStringLiteral("LIR.db");
        if (!GetDBConnection().ConnectWith(params))
            Die(QStringLiteral("cannot open the database"));
        id = BuildReportForm8(forecast, Money::fromInt(10));
        if (id <= 0)
            Die(QStringLiteral("form 8 was not written"));
    }
    const double build = double(timer.nsecsElapsed()) / 1e9;

    // From the builder's end to the first page on the screen, as the dialog shows the run.
    timer.restart();
    CReportJob job;
    job.SetReportFile(home + QStringLiteral("Form8.rpt"));
    job.SetTitle(kForm8Title);
    job.SetForecast(QStringLiteral("Прогноз на 2026 год"));
    job.SetLogOnInfo(ReportDatabasePath());
    job.SetParameterValues({QStringLiteral("10"), QStringLiteral("2026"),
                            QStringLiteral("По муниципальным образованиям Российской Федерации"), QString::number(id)});
    if (!job.Show())
        Die(QStringLiteral("form 8 was not shown"));
    CReportPreview* preview = job.preview();
    while (preview->view()->paintedPages() == 0 && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const double first = double(timer.nsecsElapsed()) / 1e9;

    // The whole PDF from the preview's own layout.
    timer.restart();
    if (!preview->ExportTo(home + QStringLiteral("form8.pdf")))
        Die(QStringLiteral("form 8 PDF was not written"));
    const double pdf = double(timer.nsecsElapsed()) / 1e9;
    const double peak = PeakResidentMb();

    const double bare = WriteFloorPdf(preview->layout(), home + QStringLiteral("form8-floor.pdf"));

    // The same pages by one PDF writer, as before they were written in parts.
    timer.restart();
    QString message;
    if (!WriteReportPdf(preview->layout(), home + QStringLiteral("form8-one.pdf"), &message, 1))
        Die(message);
    const double one = double(timer.nsecsElapsed()) / 1e9;

    // The parts of the first page: reading the rows into texts, and laying them out.
    ReportError error;
    const auto definition = LoadReportDefinition(job.reportFile(), home + QStringLiteral("reportdef.xsd"), &error);
    if (!definition)
        Die(QStringLiteral("definition: %1").arg(error.code));
    timer.restart();
    const auto content = BuildReportContent(*definition, job.parameterValues(), job.title(), job.forecast(),
                                            ReportDatabasePath(), 0, &error);
    const double read = double(timer.nsecsElapsed()) / 1e9;
    if (!content)
        Die(QStringLiteral("content: %1").arg(error.code));
    timer.restart();
    const CReportLayout layout(*content, DefaultReportPageLayout(*content));
    const double laid = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%.4f %.4f %.4f %.4f %.1f %d %lld %.4f %.4f %.4f %d\n", build, first, pdf, bare, peak,
                preview->pageCount(), static_cast<long long>(preview->layout().content().rows.size()), read, laid, one,
                ReportPdfParts(preview->pageCount()));
    GetReportDBConnection().Close();
    GetDBConnection().Close();
    return 0;
}

void MeasureForm8Preview(const QString& program, int forecast)
{
    if (!QFile::exists(g_folder + QStringLiteral("Form8.rpt"))
        && !QFile::copy(QStringLiteral(LIR_BIN_DIR "/Form8.rpt"), g_folder + QStringLiteral("Form8.rpt")))
        Die(QStringLiteral("cannot copy Form8.rpt"));
    std::printf("Form 8 over every receiver in a process of its own: builder, preview, PDF...\n");
    std::fflush(stdout);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QStringLiteral("--form8-preview"), QString::number(forecast)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        Die(QStringLiteral("the form 8 process failed"));
    const QStringList f = QString::fromUtf8(child.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    if (f.size() < 11)
        Die(QStringLiteral("the form 8 process told nothing"));
    g_form8.build = f[0].toDouble();
    g_form8.firstPage = f[1].toDouble();
    g_form8.pdf = f[2].toDouble();
    g_form8.bare = f[3].toDouble();
    g_form8.peakMb = f[4].toDouble();
    g_form8.previewPages = f[5].toInt();
    g_form8.rows = f[6].toLongLong();
    g_form8.read = f[7].toDouble();
    g_form8.layout = f[8].toDouble();
    g_form8.one = f[9].toDouble();
    g_form8.parts = f[10].trimmed().toInt();
    // The pages the PDF holds, read back.
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {g_folder + QStringLiteral("form8.pdf")});
    if (info.waitForFinished(60000) && info.exitCode() == 0) {
        for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split(u'\n'))
            if (line.startsWith(QStringLiteral("Pages:")))
                g_form8.pdfPages = line.mid(6).trimmed().toInt();
    }
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
    if (g_form8.build >= 0) {
        const std::string rows = std::to_string(g_form8.rows);
        const std::string pages = std::to_string(g_form8.previewPages);
        PrintFigure(("form 8 alone: builder (" + rows + " rows)").c_str(), g_form8.build, "s");
        PrintGoal("form 8: first page shown after the builder", g_form8.firstPage, "s", 2.0);
        PrintFigure("form 8: of which the rows read into texts", g_form8.read, "s");
        PrintFigure("form 8: of which the pages laid out", g_form8.layout, "s");
        const std::string parts = std::to_string(g_form8.parts) + " parts, "
            + std::to_string(std::max(1u, std::thread::hardware_concurrency())) + " threads";
        PrintGoal(("form 8: whole PDF, " + pages + " pages in " + parts).c_str(), g_form8.pdf, "s", 20.0);
        PrintGoal("form 8: peak resident memory (builder, preview, PDF)", g_form8.peakMb, "MB", 300.0);
        std::printf("%-58s %10d pages, PDF %d pages   %s\n", "form 8: preview against the PDF (pdfinfo)",
                    g_form8.previewPages, g_form8.pdfPages,
                    g_form8.pdfPages == g_form8.previewPages ? "equal" : "DIFFERENT");
        PrintFigure("form 8: the same PDF by one writer", g_form8.one, "s");
        if (g_form8.one > 0)
            PrintRatio("ratio form 8 PDF / one writer", g_form8.pdf / g_form8.one);
        PrintFigure("form 8: floor, the laid-out pages drawn by one QPdfWriter", g_form8.bare, "s");
        if (g_form8.bare > 0) {
            PrintRatio("ratio form 8 PDF / floor", g_form8.pdf / g_form8.bare, 1.0);
            PrintRatio("ratio form 8 one writer / floor", g_form8.one / g_form8.bare, kOneWriterOverFloor);
        }
    }
}
