// The reference books' controls at their largest, offscreen: a report view of 20,000 rows x 5
// columns filled through its operations (against building the same texts) and sorted by a date
// column and by a mixed column (against std::stable_sort over keys read beforehand); the receiver
// selection opened on 5,000 receivers in 500 groups and the report category selection on 5,000
// priced products, both on SQLite; and the products book of a 50,000-product classifier as the
// navigation panel opens it (the tree and the top group's list), with 500 groups of 100 products
// and with all the products in the top group, and then one group's list. The summary prints each
// goal as met or MISSED.
#include "AppMessage.h"
#include "BenchSummary.h"
#include "BookFrames.h"
#include "FilterField.h"
#include "ForecastGenerator.h"
#include "ReceiverSelectDlg.h"
#include "ReportSort.h"
#include "ReportView.h"
#include "Session.h"
#include "Settings.h"
#include "db/SqlQuery.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 20000;
constexpr int kColumns = 5;
constexpr int kReceiverGroups = 500;
constexpr int kReceivers = 5000;
constexpr int kProducts = 5000;
constexpr int kForecast = 1;
// The classifier of 50,000 products: in 500 groups (forecast 2) or all in the top group (3).
constexpr int kClassifier = 50000;
constexpr int kGrouped = 2;
constexpr int kFlat = 3;
constexpr int kClassifierGroups = 500;

enum Column { NAME, NUMBER, DATE, MIXED, SHUFFLE };

// Row r's texts: a name, a number, a date (some with a time), a column mixing all kinds, and a key
// that puts the rows back into a scrambled order between the timed sorts.
QString CellText(int row, int column)
{
    const unsigned h = unsigned(row) * 2654435761u;
    switch (column) {
    case NAME:
        return QStringLiteral("Получатель %1").arg(h % 100000);
    case NUMBER:
        return QStringLiteral("%1,%2").arg(h % 10000).arg(h % 7);
    case DATE: {
        const QDate d = QDate(2000, 1, 1).addDays(int(h % 7000));
        return h % 3 ? d.toString(QStringLiteral("dd.MM.yyyy"))
                     : d.toString(QStringLiteral("dd.MM.yyyy "))
                + QStringLiteral("%1:%2:00").arg(h % 24).arg(h % 60, 2, 10, QLatin1Char('0'));
    }
    case MIXED:
        switch (h % 4) {
        case 0:
            return QString::number(h % 1000);
        case 1:
            return QDate(2010, 1, 1).addDays(int(h % 365)).toString(QStringLiteral("dd.MM.yyyy"));
        case 2:
            return QStringLiteral("Текст %1").arg(h % 500);
        default:
            return QString();
        }
    default:
        return QString::number((h >> 7) % 1000003);
    }
}

void Fill(CReportView& view)
{
    for (int r = 0; r < kRows; ++r) {
        view.InsertItem(r, CellText(r, 0), 1);
        for (int c = 1; c < kColumns; ++c)
            view.SetItemText(r, c, CellText(r, c));
        view.SetItemData(r, r);
    }
}

std::unique_ptr<CReportView> NewView()
{
    auto view = std::make_unique<CReportView>();
    for (int c = 0; c < kColumns; ++c)
        view->InsertColumn(c, QStringLiteral("Столбец %1").arg(c), 120);
    view->resize(1024, 768);
    view->show();
    return view;
}

void BM_BuildTexts(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<QString> texts;
        texts.reserve(kRows * kColumns);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kColumns; ++c)
                texts.push_back(CellText(r, c));
        benchmark::DoNotOptimize(texts.data());
    }
}

void BM_ReportViewInsert(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto view = NewView();
        state.ResumeTiming();
        Fill(*view);
        QApplication::processEvents(); // the view lays the rows out and paints
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}

void SortBy(benchmark::State& state, int column)
{
    auto view = NewView();
    Fill(*view);
    for (auto _ : state) {
        state.PauseTiming();
        view->SortByColumn(SHUFFLE, true);
        state.ResumeTiming();
        view->SortByColumn(column, true);
        QApplication::processEvents();
    }
}

void BM_SortDate(benchmark::State& state)
{
    SortBy(state, DATE);
}

void BM_SortMixed(benchmark::State& state)
{
    SortBy(state, MIXED);
}

// The least a sort must do: order indexes by keys that were read beforehand.
void StableSortPreparsed(benchmark::State& state, int column)
{
    std::vector<CSortKey> keys;
    for (int r = 0; r < kRows; ++r)
        keys.push_back(MakeSortKey(CellText(r, column)));
    for (auto _ : state) {
        std::vector<int> order(kRows);
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return CompareSortKeys(keys[size_t(a)], keys[size_t(b)]) < 0; });
        benchmark::DoNotOptimize(order.data());
    }
}

void BM_StableSortDateKeys(benchmark::State& state)
{
    StableSortPreparsed(state, DATE);
}

void BM_StableSortMixedKeys(benchmark::State& state)
{
    StableSortPreparsed(state, MIXED);
}

void BM_ReceiverSelectOpen(benchmark::State& state)
{
    for (auto _ : state) {
        ReceiverSelectDlg dlg(kForecast, true, true, 1);
        dlg.OnInitDialog();
        dlg.show();
        QApplication::processEvents();
        if (dlg.tree()->topLevelItem(0) == nullptr || dlg.tree()->topLevelItem(0)->childCount() != kReceiverGroups)
            state.SkipWithError("the receiver tree is incomplete");
    }
}

void BM_ReportSelectOpen(benchmark::State& state)
{
    for (auto _ : state) {
        ReportReceiverSelectDlg dlg(kForecast, nullptr, 2);
        dlg.OnInitDialog();
        dlg.show();
        QApplication::processEvents();
        if (dlg.tree()->topLevelItem(0) == nullptr || dlg.tree()->topLevelItem(0)->childCount() != kReceiverGroups)
            state.SkipWithError("the category tree is incomplete");
    }
}

// The products book as the navigation panel makes and shows it.
std::unique_ptr<CProductFrame> OpenProductBook(CSessionState& session, int forecast)
{
    session.currentForecastId = forecast;
    auto frame = std::make_unique<CProductFrame>(session);
    const std::pair<const char16_t*, int> fields[] = {{u"Код", FF_TEXT},
                                                      {u"Наименование", FF_TEXT},
                                                      {u"Комментарии", FF_TEXT},
                                                      {u"Минимальное", FF_DECIMAL},
                                                      {u"Максимальное", FF_DECIMAL}};
    for (const auto& [caption, kind] : fields)
        frame->AddFilterField(QString::fromUtf16(caption), QStringLiteral("x"), kind, true, 100);
    frame->InitListColumns();
    frame->resize(1280, 1024);
    frame->show();
    QApplication::processEvents();
    frame->grab();
    return frame;
}

void BM_ProductBookOpen(benchmark::State& state)
{
    CSessionState session;
    const int forecast = int(state.range(0));
    int rows = 0;
    for (auto _ : state)
        rows = OpenProductBook(session, forecast)->list()->GetItemCount();
    if (rows != (forecast == kFlat ? kClassifier - 1 : kClassifierGroups))
        state.SkipWithError("the top group's list is incomplete");
    state.counters["rows"] = rows;
}

void BM_ProductBookGroup(benchmark::State& state)
{
    CSessionState session;
    auto frame = OpenProductBook(session, kGrouped);
    QTreeWidgetItem* top = frame->tree()->topLevelItem(0);
    int rows = 0;
    for (auto _ : state) {
        frame->tree()->setCurrentItem(top->child(int(rows + 1) % top->childCount()));
        frame->grab();
        rows = frame->list()->GetItemCount();
    }
    state.counters["rows"] = rows;
}

BENCHMARK(BM_BuildTexts)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReportViewInsert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SortDate)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SortMixed)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StableSortDateKeys)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StableSortMixedKeys)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ReceiverSelectOpen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReportSelectOpen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ProductBookOpen)->Arg(kGrouped)->Arg(kFlat)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ProductBookGroup)->Unit(benchmark::kMillisecond)->Iterations(5);

[[noreturn]] void Die(const char* what)
{
    std::fprintf(stderr, "bench_books: %s\n", what);
    std::exit(1);
}

void Run(CSqlQuery& q)
{
    if (!q.exec())
        Die(qPrintable(q.lastError().text()));
}

// One forecast: a top receiver with 500 groups of 9 receivers each, and a top product with 500
// product groups of 9 priced products each.
void GenerateData()
{
    CTransaction tx;
    CSqlQuery forecast(
        QStringLiteral("insert into tfctprognoz (id, name, year, status) values (?, 'Прогноз', 2026, 0)"));
    forecast.bind(kForecast);
    Run(forecast);
    CSqlQuery receiver(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, "
                                      "isgroup) values (?, ?, ?, ?, 0, 1, ?)"));
    CSqlQuery map(QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (?, ?, 0)"));
    CSqlQuery product(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, code, position, offsetMin, "
                                     "offsetMax, type, isgroup) values (?, ?, ?, ?, ?, ?, 0, 0, 1, ?)"));
    CSqlQuery price(QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) "
                                   "values (?, ?, 0, 0, 0)"));
    const int perGroup = kReceivers / kReceiverGroups - 1;
    int id = 1;
    auto add = [&](int parent, int position, int isgroup, const QString& name) {
        receiver.bind(id).bind(parent).bind(name).bind(position).bind(isgroup);
        Run(receiver);
        map.bind(kForecast).bind(id);
        Run(map);
        product.bind(kForecast).bind(id).bind(parent).bind(name).bind(QString::number(id)).bind(position).bind(isgroup);
        Run(product);
        price.bind(kForecast).bind(id);
        Run(price);
        return id++;
    };
    const int top = add(0, 0, 1, QStringLiteral("Министерство"));
    for (int g = 0; g < kReceiverGroups; ++g) {
        const int group = add(top, g, 1, QStringLiteral("Группа %1").arg(g));
        for (int e = 0; e < perGroup; ++e)
            add(group, e, 0, QStringLiteral("Получатель %1.%2").arg(g).arg(e));
    }
    // The two classifiers of 50,000 products.
    for (int f : {kGrouped, kFlat}) {
        forecast.bind(f);
        Run(forecast);
        const int groups = f == kGrouped ? kClassifierGroups : 0;
        int next = 1;
        auto addProduct = [&](int parent, int position, int isgroup, const QString& name) {
            product.bind(f).bind(next).bind(parent).bind(name).bind(QString::number(next)).bind(position).bind(isgroup);
            Run(product);
            price.bind(f).bind(next);
            Run(price);
            return next++;
        };
        const int root = addProduct(0, 0, 1, QStringLiteral("Продукция"));
        std::vector<int> inGroup{root};
        for (int g = 0; g < groups; ++g)
            inGroup.push_back(addProduct(root, g, 1, QStringLiteral("Группа %1").arg(g)));
        for (int p = 0; int(next) <= kClassifier; ++p)
            addProduct(inGroup[groups ? 1 + size_t(p % groups) : 0], p, 0, QStringLiteral("Продукт %1").arg(p));
    }
    if (!tx.commit())
        Die("cannot commit the generated data");
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    CScratchDatabase db;
    QString error;
    if (!db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &error))
        Die(qPrintable(error));
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    GenerateData();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto get = [&](const char* name) { return reporter.Ms(name); };
    const double texts = get("BM_BuildTexts/iterations:5");
    const double insert = get("BM_ReportViewInsert/iterations:5");
    const double sortDate = get("BM_SortDate/iterations:10");
    const double sortMixed = get("BM_SortMixed/iterations:10");
    const double keysDate = get("BM_StableSortDateKeys/iterations:10");
    const double keysMixed = get("BM_StableSortMixedKeys/iterations:10");
    const double receivers = get("BM_ReceiverSelectOpen/iterations:5");
    const double products = get("BM_ReportSelectOpen/iterations:5");
    std::printf("\nSummary (report view %d x %d, %d receivers in %d groups, %d priced products, SQLite)\n", kRows,
                kColumns, kReceivers, kReceiverGroups, kProducts);
    PrintGoal("report view: insert 20,000 rows x 5 columns", insert, "ms", 150);
    if (insert >= 0 && texts > 0)
        PrintRatio("ratio insert / building the same QStrings", insert / texts);
    PrintGoal("report view: sort by a date column", sortDate, "ms", 100);
    if (sortDate >= 0 && keysDate > 0)
        PrintRatio("ratio / std::stable_sort over pre-parsed date keys", sortDate / keysDate);
    PrintGoal("report view: sort by a mixed column", sortMixed, "ms", 100);
    if (sortMixed >= 0 && keysMixed > 0)
        PrintRatio("ratio / std::stable_sort over pre-parsed mixed keys", sortMixed / keysMixed);
    PrintGoal("ReceiverSelectDlg opens (5,000 receivers, 500 groups)", receivers, "ms", 200);
    PrintGoal("ReportReceiverSelectDlg opens (5,000 priced products)", products, "ms", 1000);
    std::printf("\nThe products book of a classifier of %d products, as the navigation panel opens it\n", kClassifier);
    PrintFigure("in 500 groups: tree and the top group's list (500 groups)", get("BM_ProductBookOpen/2/iterations:3"),
                "ms");
    PrintFigure("then one group's list (100 products)", get("BM_ProductBookGroup/iterations:5"), "ms");
    PrintFigure("all in the top group: tree and the list of 49,999 products", get("BM_ProductBookOpen/3/iterations:3"),
                "ms");
    PrintFigure("peak memory", PeakMemoryMb(), "MB");
    return 0;
}
