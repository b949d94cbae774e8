// The forecast editor on a generated forecast (SQLite, offscreen): 5,000 priced products in 500
// groups below a top group plus a branch three levels deep, 200 receivers with a row for every
// product (about 1,100,000 rows), a tenth of the rows out of their price bounds. Measures the opening
// of the editor against one select of the same data rows through SQLite's own interface, and one edit of a quantity in
// the card with the automatic recalculation, whose SQL statements are counted through SQLite's trace.
#include "BenchSummary.h"
#include "ForecastFrame.h"
#include "ForecastGenerator.h"
#include "PlainStatement.h"
#include "Session.h"
#include "Settings.h"
#include "StatementCount.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/Products.h"

#include <QApplication>
#include <QVBoxLayout>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

CGeneratedForecast g_data;
CSessionState g_session;
std::unique_ptr<QWidget> g_host;
CForecastFrame* g_frame = nullptr;
int g_receiver = 0;
std::vector<int> g_topMembers;
int g_edits = 0;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_editor: %s\n", qPrintable(what));
    std::exit(1);
}

void Open()
{
    g_frame->SetReceiver(g_receiver);
    g_frame->Refresh(false, true);
    if (g_frame->listGrid()->GetRowCount() < 500)
        Die(QStringLiteral("the top group lists %1 rows").arg(g_frame->listGrid()->GetRowCount()));
}

void BM_OpenEditor(benchmark::State& state)
{
    for (auto _ : state)
        Open();
}

// The floor: one select of the same rows through SQLite's own interface, every value of them read.
void BM_SelectSameRows(benchmark::State& state)
{
    const QByteArray sql = (ForecastDataSelect() + QStringLiteral(" where prognoz = ? and receiver = ? and ")
                            + Dialect().IdSetCondition(QStringLiteral("product")))
                               .toUtf8();
    const QString ids = IdSetArgument(g_topMembers);
    for (auto _ : state) {
        CPlainStatement select(sql.constData());
        const long long rows = select.bind(g_data.forecast).bind(g_receiver).bind(ids).run();
        if (rows != (long long)g_topMembers.size())
            Die(QStringLiteral("select of the rows: ") + QString::fromStdString(select.error()));
    }
}

// A member of a group of the deep branch: its card, then each edit types a new quantity of the norm.
void PrepareEdit()
{
    if (!g_frame->SelectGroup(g_data.deepGroup))
        Die(QStringLiteral("the deep group is not in the tree"));
    CGridView* list = g_frame->listGrid();
    const int row = list->GetFixedRowCount() + 1;
    list->SetFocusCell(row, 3);
    if (g_frame->cardSubject() != CForecastFrame::CardSubject::Member)
        Die(QStringLiteral("no product card"));
}

void EditOnce()
{
    CGridView* card = g_frame->cardGrid();
    g_frame->OnCardBeginEdit(2, 5);
    card->SetItemText(2, 5, QString::number(++g_edits));
    card->GetCell(2, 5)->data1 = 13; // ended with Enter
    g_frame->OnCardEndEdit(2, 5);
}

void CheckLastEdit()
{
    const auto stored = GetForecastData({g_data.forecast, g_receiver, g_frame->cardProductId()});
    if (!stored || stored->valueNorm != Money::fromInt(g_edits))
        Die(QStringLiteral("the edit was not stored"));
}

void BM_CardEdit(benchmark::State& state)
{
    PrepareEdit();
    for (auto _ : state)
        EditOnce();
    CheckLastEdit();
}

BENCHMARK(BM_OpenEditor)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SelectSameRows)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CardEdit)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    benchmark::Initialize(&argc, argv);

    CScratchDatabase db;
    QString error;
    if (!db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error))
        Die(error);
    std::printf("Generating 200 receivers x 5,000 products in 500 groups on SQLite...\n");
    std::fflush(stdout);
    CForecastShape shape;
    shape.receiverGroups = 9;
    shape.leafReceivers = 190;
    shape.productGroups = 500;
    shape.productSubgroups = 0;
    shape.deepLevels = 3;
    shape.leafProducts = 5000;
    const auto generated = GenerateForecast(shape, &error);
    if (!generated)
        Die(error);
    g_data = *generated;
    // A tenth of the products have price bounds, which their pseudo-random figures miss.
    for (const QString& sql :
         {QStringLiteral("update tclsproduct set offsetMin = 0.9, offsetMax = 1.1 where isgroup = 0 "
                         "and id % 10 = 0"),
          QStringLiteral("update tfctprognoz set status = 1"), QStringLiteral("analyze")}) {
        CSqlQuery q(sql);
        if (!q.exec())
            Die(q.lastError().text());
    }
    g_receiver = g_data.leafReceivers.front();
    if (const auto members = LoadProductChildren(g_data.topProduct, g_data.forecast))
        for (const CProductRecord& p : *members)
            g_topMembers.push_back(p.id);
    std::printf("%lld data rows; the top group has %zu members\n", g_data.rows, g_topMembers.size());

    g_session.currentForecastId = g_data.forecast;
    g_session.forecastYear = 2026;
    g_session.currentForecastStatus = 1;
    g_session.ownReceiverId = g_receiver;
    Settings().EnableAutoRecalc = true;
    g_host = std::make_unique<QWidget>();
    g_host->resize(1280, 1024);
    auto* layout = new QVBoxLayout(g_host.get());
    g_frame = new CForecastFrame(g_session, g_host.get());
    layout->addWidget(g_frame);
    g_host->show();
    QApplication::processEvents();
    Open();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // One more edit, counted.
    PrepareEdit();
    long long statements = 0;
    {
        CStatementCount count;
        if (!count.valid())
            Die(QStringLiteral("no SQLite handle"));
        EditOnce();
        statements = count.statements();
    }
    CheckLastEdit();

    std::printf("\nSummary (%lld data rows)\n", g_data.rows);
    const double open = reporter.Seconds("BM_OpenEditor/iterations:10");
    const double select = reporter.Seconds("BM_SelectSameRows/iterations:20");
    if (open >= 0)
        PrintGoal("opening: receiver, tree, list of the top group, card", open * 1000.0, "ms", 300.0);
    if (select > 0) {
        PrintFigure("one select of the same data rows", select * 1000.0, "ms");
        if (open >= 0)
            PrintRatio("ratio opening / select", open / select);
    }
    if (const double edit = reporter.Seconds("BM_CardEdit/iterations:200"); edit >= 0)
        PrintGoal("one card edit of a quantity with the recalculation", edit * 1000.0, "ms", 30.0);
    PrintFigure("SQL statements of one edit", double(statements), "");
    PrintFigure("peak memory (ru_maxrss)", PeakMemoryMb(), "MB");
    g_host.reset();
    GetDBConnection().Close();
    return 0;
}
