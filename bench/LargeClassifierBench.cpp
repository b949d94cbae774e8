// The 50,000-product classifier of the exchange benchmark everywhere a user meets it, on SQLite
// databases as the program leaves them after its imports (the benchmark never analyses them): B's
// database after the upper organisation's reference data were handed over (no figures), and A's after
// B's consolidated forecast was handed over (50,000 figures of one receiver); and, for form Ф8, a
// database of 490,000 rows that 49 forecast hand-overs of 10,000 products built and one of 500,000
// rows that ten hand-overs of 50,000 products built. Forms Ф1 with empty
// rows, Ф3 with nothing chosen and Ф8 at 10 %, each from its dialog's "Показать" to the first page of
// its preview; the books "Виды продукции" and "Журнал событий" opened as the panel opens them; the
// data and reference-data checks and the consolidation on their shown windows. Each beside a floor:
// SQLite's own interface (prepare, bind, step) reading the same rows and sums from the same file. The
// summary prints each goal met or MISSED, the floors, the ratios and the peak resident memory.
#include "BenchSummary.h"
#include "ExchangeGenerator.h"
#include "ExchangeHandOver.h"

#include "BookFrames.h"
#include "CheckDialogs.h"
#include "ErrorSink.h"
#include "FilterField.h"
#include "ForecastImport.h"
#include "Form8.h"
#include "Form8Dlg.h"
#include "ProductFormDlg.h"
#include "ReportDatabase.h"
#include "ReportPreview.h"
#include "ReportView.h"
#include "Settings.h"
#include "TransportHost.h"
#include "db/SqlQuery.h"
#include "tables/ImportEventTypes.h"
#include "tables/ReceiverTree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

using namespace ExchangeIds;

namespace {

constexpr int kForecast = 7;
constexpr int kProducts = 50000;
// The database of many receivers: 49 lower organisations of 10,000 products each.
constexpr int kManyProducts = 10000;
constexpr int kSenders = 49;
// And one of ten lower organisations of 50,000 products each.
constexpr int kLargeSenders = 10;
constexpr int kFirstSender = 100;

enum Base : int { kNsiOnly = 0, kWithFigures = 1, kManyReceivers = 2, kTenImports = 3 };
enum Form : int { kForm1 = 0, kForm3 = 1, kForm8 = 2 };

struct CBase {
    DbConnectParams params;
    CSessionState session;
    std::optional<CForecastRecord> forecast;
    std::vector<int> receivers; // the forecast's receiver tree
    long long dataRows = 0;
    int rows[3] = {-1, -1, -1}; // rows the last run of forms 1, 3 and 8 wrote
    int products = 0;
    bool analysed = false; // the program left statistics in the file
};
CBase g_bases[4];
QTemporaryDir g_home;
int g_errors = 0;
int g_current = -1;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_large_classifier: %s\n", qPrintable(what));
    std::exit(1);
}

QString Folder(const QString& name)
{
    const QString folder = g_home.filePath(name);
    if (!QDir().mkpath(folder))
        Die(QStringLiteral("cannot make ") + folder);
    return folder;
}

DbConnectParams NewDatabase(const QString& name)
{
    DbConnectParams p;
    p.file = Folder(name) + QStringLiteral("/LIR.db");
    if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), p.file))
        Die(QStringLiteral("cannot copy the template database"));
    QFile::setPermissions(p.file, QFile::ReadOwner | QFile::WriteOwner);
    return p;
}

void Connect(const DbConnectParams& p)
{
    g_current = -1;
    if (!GetDBConnection().ConnectWith(p))
        Die(QStringLiteral("cannot open ") + p.file);
}

long long ScalarOf(const QString& sql, CDBConnection& connection = GetDBConnection())
{
    CSqlQuery q(sql, connection);
    return q.exec() && q.next() ? q.value(0).toLongLong() : -1;
}

void Exec(const QString& sql, const QVariantList& args)
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        Die(sql + QStringLiteral(": ") + q.lastError().text());
}

// A's database and its reference data, B's database and its forecast file, for one size.
struct CPairFiles {
    DbConnectParams upper;
    QString nsi;
    QString forecast;
};

CPairFiles GeneratePair(int products, const QString& name)
{
    const CExchangeShape shape{kForecast, products, 1};
    QString error;
    std::printf("generating A and B with %d products...\n", products);
    std::fflush(stdout);
    CPairFiles files;
    files.upper = NewDatabase(name + QStringLiteral("/A"));
    Connect(files.upper);
    if (!GenerateUpperOrganisation(shape, &error))
        Die(error);
    SeedImportEventTypes();
    files.nsi = g_home.filePath(name + QStringLiteral("/НСИ.xml"));
    if (!WriteUpperNsi(kForecast, files.nsi))
        Die(QStringLiteral("cannot write A's reference data"));
    Connect(NewDatabase(name + QStringLiteral("/B")));
    if (!GenerateLowerOrganisation(shape, &error))
        Die(error);
    SeedImportEventTypes();
    files.forecast = ExportLowerForecast(kForecast, Folder(name + QStringLiteral("/B/Export")));
    if (files.forecast.isEmpty())
        Die(QStringLiteral("B's forecast was not exported"));
    return files;
}

void HandOverOrDie(CBase& base, bool nsi, const QString& file)
{
    if (!HandOver(base.session, nsi, file).isEmpty())
        Die(QStringLiteral("the hand-over of %1 was refused").arg(file));
}

// B's forecast as if each of the senders had sent it: the same rows under the sender's id.
void HandOverFromEverySender(CBase& base, const QString& forecast, int senders, const QString& name)
{
    QFile in(forecast);
    if (!in.open(QIODevice::ReadOnly))
        Die(QStringLiteral("cannot read ") + forecast);
    const QByteArray text = in.readAll();
    const QByteArray from = QByteArrayLiteral(" from=\"") + QByteArray::number(kLowerInA) + '"';
    const qsizetype at = text.indexOf(from);
    if (at < 0)
        Die(QStringLiteral("the forecast names no sender"));
    const int root = kUpperInA;
    for (int i = 0; i < senders; ++i) {
        const int sender = kFirstSender + i;
        Exec(QStringLiteral("insert into tclsreceiver (id, category, name, email, position, importedId, type, isgroup)"
                            " values (?, ?, ?, ?, ?, 0, 1, 0)"),
             {sender, root, QStringLiteral("Учреждение %1").arg(sender), QStringLiteral("u%1@example.org").arg(sender),
              sender});
        Exec(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (?, ?)"), {kForecast, sender});
        QByteArray own = text;
        own.replace(at, from.size(), QByteArrayLiteral(" from=\"") + QByteArray::number(sender) + '"');
        const QString path = Folder(name + QStringLiteral("/in")) + QStringLiteral("/%1.xml").arg(sender);
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(own) != own.size())
            Die(QStringLiteral("cannot write ") + path);
        out.close();
        HandOverOrDie(base, false, path);
    }
}

// A's database of `products` after the forecast of each of `senders` lower organisations was handed over.
void PrepareManyReceivers(Base which, int products, int senders, const QString& name)
{
    const CPairFiles pair = GeneratePair(products, name);
    std::printf("handing %d forecasts over into A's database...\n", senders);
    std::fflush(stdout);
    CBase& base = g_bases[which];
    base.params = pair.upper;
    Connect(pair.upper);
    HandOverFromEverySender(base, pair.forecast, senders, name);
}

// The databases, each written by generated data and the program's hand-overs alone.
void PrepareBases()
{
    const CPairFiles large = GeneratePair(kProducts, QStringLiteral("large"));
    std::printf("handing the reference data over into a new database and the forecast into A's...\n");
    std::fflush(stdout);
    CBase& nsiOnly = g_bases[kNsiOnly];
    nsiOnly.params = NewDatabase(QStringLiteral("large/C"));
    Connect(nsiOnly.params);
    SeedImportEventTypes();
    HandOverOrDie(nsiOnly, true, large.nsi);
    CBase& figures = g_bases[kWithFigures];
    figures.params = large.upper;
    Connect(figures.params);
    HandOverOrDie(figures, false, large.forecast);

    PrepareManyReceivers(kManyReceivers, kManyProducts, kSenders, QStringLiteral("many"));
    PrepareManyReceivers(kTenImports, kProducts, kLargeSenders, QStringLiteral("ten"));

    for (CBase& base : g_bases) {
        Connect(base.params);
        if (base.session.currentForecastId <= 0) {
            base.session.currentForecastId = kForecast;
            base.session.ownReceiverId = kUpperInA;
        }
        base.session.forecastYear = 2026;
        base.forecast = GetForecast(kForecast);
        CDepthMap depths;
        if (!base.forecast || !CollectReceiverTree(kForecast, depths, &base.receivers, nullptr))
            Die(QStringLiteral("the forecast cannot be read"));
        base.dataRows = ScalarOf(QStringLiteral("select count(*) from tfctprognozdata"));
        base.products = int(ScalarOf(QStringLiteral("select count(*) from tclsproduct")));
        base.analysed = ScalarOf(QStringLiteral("select count(*) from sqlite_master where name = 'sqlite_stat1'")) > 0;
    }
    GetDBConnection().Close();
}

CBase& Use(int base)
{
    if (g_current != base) {
        Connect(g_bases[base].params);
        g_current = base;
    }
    return g_bases[base];
}

void Click(QWidget* dialog, int id)
{
    auto* button = dialog->findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id));
    if (!button)
        Die(QStringLiteral("no control %1").arg(id));
    button->click();
}

// "Показать", then the wait until the preview has painted its first page; false when none came.
bool ShowFirstPage(CReportDialog& dialog)
{
    Click(&dialog, 1);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const CReportPreview* preview = dialog.job().preview();
        if (!preview)
            return false;
        if (preview->view()->paintedPages() > 0)
            return true;
        if (waited.elapsed() > 300000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// One run of a dialog per iteration: made and arranged untimed, then timed from "Показать" to the
// first page.
void TimeDialog(benchmark::State& state, Form form, const char* table,
                const std::function<std::unique_ptr<CReportDialog>(CBase&)>& make)
{
    CBase& base = Use(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<CReportDialog> dialog = make(base);
        dialog->show();
        state.ResumeTiming();
        if (!ShowFirstPage(*dialog)) {
            state.SkipWithError("no preview");
            return;
        }
        state.PauseTiming();
        const long long run = ScalarOf(QStringLiteral("select max(id) from report"), GetReportDBConnection());
        base.rows[form] =
            int(ScalarOf(QStringLiteral("select count(*) from %1 where report = %2").arg(QLatin1String(table)).arg(run),
                         GetReportDBConnection()));
        dialog.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}

std::unique_ptr<CReportDialog> WithReceiver(std::unique_ptr<CProductFormDlg> dialog)
{
    // No own receiver known: the top receiver, as "Получатели" chooses it.
    if (dialog->receivers->ids.empty())
        Click(dialog.get(), 1113);
    return dialog;
}

void BM_Form1EmptyRows(benchmark::State& state)
{
    TimeDialog(state, kForm1, "reportform1", [](CBase& b) {
        auto dialog = std::make_unique<CReportForm1Dlg>(b.session, b.forecast);
        dialog->findChild<QCheckBox*>(QStringLiteral("id1087"))->setChecked(true);
        return WithReceiver(std::move(dialog));
    });
}

void BM_Form3NothingChosen(benchmark::State& state)
{
    TimeDialog(state, kForm3, "reportform3",
               [](CBase& b) { return WithReceiver(std::make_unique<CReportForm3Dlg>(b.session, b.forecast)); });
}

void BM_Form8(benchmark::State& state)
{
    TimeDialog(state, kForm8, "reportform8", [](CBase& b) {
        auto dialog = std::make_unique<CForm8Dlg>(b.forecast);
        dialog->findChild<QLineEdit*>(QStringLiteral("id1060"))->setText(QStringLiteral("10"));
        return dialog;
    });
}

// The builder of form 8 alone, on the calling thread.
void BM_Form8Builder(benchmark::State& state)
{
    Use(int(state.range(0)));
    for (auto _ : state)
        if (BuildReportForm8(kForecast, Money::fromInt(10)) <= 0)
            state.SkipWithError("form 8 was not built");
}

// A book as the navigation panel opens it: made, given its list fields, filled and shown.
void OpenBook(benchmark::State& state, const CPanelFrameFactories::Factory& factory,
              std::initializer_list<std::pair<const char16_t*, const char*>> fields)
{
    CBase& base = Use(int(state.range(0)));
    int rows = 0;
    for (auto _ : state) {
        std::unique_ptr<CPanelFrame> frame(factory(nullptr, base.session));
        for (const auto& [caption, column] : fields)
            frame->AddFilterField(QString::fromUtf16(caption), QString::fromLatin1(column), FF_TEXT, true, 100);
        frame->InitListColumns();
        frame->resize(1280, 800);
        frame->show();
        QCoreApplication::processEvents();
        if (auto* list = frame->findChild<CReportView*>())
            rows = list->GetItemCount();
    }
    state.counters["rows"] = rows;
}

void BM_BookProducts(benchmark::State& state)
{
    OpenBook(state, PanelFrameFactories().books[BOOK_PRODUCTS],
             {{u"Код", "code"},
              {u"Наименование", "name"},
              {u"Комментарии", "comment"},
              {u"Минимальное", "offsetmin"},
              {u"Максимальное", "offsetmax"}});
}

void BM_BookJournal(benchmark::State& state)
{
    OpenBook(state, PanelFrameFactories().journal,
             {{u"Организация", "r.name"},
              {u"Событие", "t.name"},
              {u"Дата отправки", "send"},
              {u"Дата получения", "received"},
              {u"Примечание", "comment"}});
}

template <class Dlg, class Work>
void OnShownWindow(Work work)
{
    QPointer<Dlg> dlg = new Dlg();
    dlg->show();
    work(*dlg);
    dlg->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The data check of every receiver and the reference-data check, then the consolidation, each on
// its shown window.
void BM_ChecksAndConsolidation(benchmark::State& state)
{
    Use(int(state.range(0)));
    for (auto _ : state) {
        OnShownWindow<CCheckForecastDlg>([](CCheckForecastDlg& d) { d.CheckForecast(kForecast); });
        OnShownWindow<CExportNSIDlg>([](CExportNSIDlg& d) { d.CheckNSI(kForecast); });
        OnShownWindow<CCalculateForecastDlg>([](CCalculateForecastDlg& d) { d.Run(kForecast); });
    }
}

// ---- the floors: SQLite's own interface on the same file

class CPlain {
public:
    explicit CPlain(const CBase& base)
    {
        if (sqlite3_open_v2(QFile::encodeName(base.params.file).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            Die(QStringLiteral("cannot open the database"));
        // The page cache the program's own connections get.
        sqlite3_exec(m_db, "PRAGMA cache_size=-16384", nullptr, nullptr, nullptr);
    }
    ~CPlain()
    {
        for (auto& [sql, stmt] : m_statements)
            sqlite3_finalize(stmt);
        sqlite3_close(m_db);
    }
    CPlain(const CPlain&) = delete;
    CPlain& operator=(const CPlain&) = delete;

    // Runs the statement with its integer values (and one text) and steps through every row.
    long long Step(const char* sql, std::initializer_list<int> values, const std::string& text = {})
    {
        sqlite3_stmt*& stmt = m_statements[sql];
        if (!stmt && sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            Die(QString::fromUtf8(sqlite3_errmsg(m_db)));
        int i = 0;
        for (int v : values)
            sqlite3_bind_int(stmt, ++i, v);
        if (!text.empty())
            sqlite3_bind_text(stmt, ++i, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
        long long rows = 0;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            ++rows;
        if (rc != SQLITE_DONE)
            Die(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_reset(stmt);
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
    std::map<std::string, sqlite3_stmt*> m_statements;
};

#define SUMS(d)                                                                                                        \
    "sum(" d "sumLast), sum(" d "sumCurr), sum(" d "sumNext), sum(" d "valueLast), sum(" d "valueCurr), sum(" d        \
    "valueNext), sum(" d "valueNorm), sum(" d "valueIndex), sum(" d "valuePlan), sum(" d "valueFormula), sum(" d       \
    "valueOther), sum(" d "sumNorm), sum(" d "sumIndex), sum(" d "sumPlan), sum(" d "sumFormula), sum(" d "sumOther)"

// The priced products with their unit symbols, in tree order of their parents.
const char* const kPlainProducts =
    "select p.id, p.parent, p.name, p.code, p.type, p.isgroup, p.balanceTitle, mn.oboznachenie, mp.oboznachenie"
    " from tclsproduct p join tfctprice pr on pr.prognoz = p.prognoz and pr.product = p.id"
    " left join tclsmeasurement mn on mn.id = p.measurementNatural"
    " left join tclsmeasurement mp on mp.id = p.measurementPrice where p.prognoz = ?1 order by p.parent, p.position";

std::string ReceiverList(const CBase& base)
{
    std::string list(1, '[');
    for (int id : base.receivers) {
        if (list.size() > 1)
            list += ',';
        list += std::to_string(id);
    }
    return list + ']';
}

// Forms 1 and 3: the products with the sums of the chosen receivers' rows.
void BM_PlainProductSums(benchmark::State& state)
{
    const CBase& base = g_bases[state.range(0)];
    CPlain db(base);
    const std::string receivers = ReceiverList(base);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            db.Step("select p.id, p.parent, p.name, p.code, p.type, p.isgroup, mn.oboznachenie, mp.oboznachenie, d.*"
                    " from tclsproduct p left join tclsmeasurement mn on mn.id = p.measurementNatural"
                    " left join tclsmeasurement mp on mp.id = p.measurementPrice"
                    " left join (select product, " SUMS(
                        "") " from tfctprognozdata where prognoz = ?1"
                            " and receiver in (select value from json_each(?2)) group by product) d on d.product = p.id"
                            " where p.prognoz = ?1 order by p.parent, p.position",
                    {kForecast}, receivers));
}

// Form 8: the products once, then each receiver's sums by product.
void BM_PlainReceiverSums(benchmark::State& state)
{
    const CBase& base = g_bases[state.range(0)];
    CPlain db(base);
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.Step(kPlainProducts, {kForecast}));
        for (int receiver : base.receivers)
            benchmark::DoNotOptimize(db.Step("select product, sum(sumLast), sum(sumCurr), sum(sumNext), sum(valueLast),"
                                             " sum(valueCurr), sum(valueNext) from tfctprognozdata"
                                             " where prognoz = ?1 and receiver = ?2 group by product",
                                             {kForecast, receiver}));
    }
}

// The books: the top group's members with their deviations; the exchange journal with its names.
void BM_PlainBooks(benchmark::State& state)
{
    CPlain db(g_bases[state.range(0)]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.Step("select c.id, c.code, c.name, c.comment, c.offsetMin, c.offsetMax, c.isgroup"
                                         " from tclsproduct c where c.prognoz = ?1 and c.parent ="
                                         " (select min(id) from tclsproduct where prognoz = ?1 and parent = 0)"
                                         " order by c.position, c.id",
                                         {kForecast}));
        benchmark::DoNotOptimize(db.Step("select s.id, s.send, s.received, s.comment, r.name, t.name"
                                         " from tfctimportstatus s left join tclsreceiver r on r.id = s.receiver"
                                         " left join tclsimporteventtype t on t.id = s.event order by s.send desc",
                                         {}));
    }
}

// The checks' rows (every data row with its product and price, the priced products) and the
// consolidation's sums written and taken back.
void BM_PlainChecksAndSums(benchmark::State& state)
{
    CPlain db(g_bases[state.range(0)]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.Step(
            "select d.receiver, d.product, d.sumLast, d.sumCurr, d.sumNext, d.valueLast, d.valueCurr, d.valueNext,"
            " p.isgroup, p.parent, p.measurementNatural, p.measurementPrice, p.offsetMin, p.offsetMax,"
            " pr.pricePrev, pr.priceCur, pr.priceNext from tfctprognozdata d"
            " join tclsproduct p on p.prognoz = d.prognoz and p.id = d.product"
            " left join tfctprice pr on pr.prognoz = d.prognoz and pr.product = d.product"
            " where d.prognoz = ?1 order by d.receiver, d.id",
            {kForecast}));
        benchmark::DoNotOptimize(db.Step(kPlainProducts, {kForecast}));
        db.Step("begin immediate", {});
        db.Step("delete from tfcttotalprognoz where prognoz = ?1", {kForecast});
        db.Step("insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr,"
                " valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan,"
                " sumFormula, sumOther) select d.prognoz, d.product, " SUMS(
                    "d.") " from tfctprognozdata d"
                          " join tclsreceiver r on r.id = d.receiver where d.prognoz = ?1 and (r.isgroup = 0 or "
                          "r.category = 0)"
                          " group by d.prognoz, d.product",
                {kForecast});
        db.Step("rollback", {});
    }
}

#define LARGE(bench) BENCHMARK(bench)->ArgName("base")->Arg(kNsiOnly)->Arg(kWithFigures)->Unit(benchmark::kMillisecond)
LARGE(BM_Form1EmptyRows)->Iterations(3);
LARGE(BM_Form3NothingChosen)->Iterations(3);
LARGE(BM_Form8)->Arg(kManyReceivers)->Arg(kTenImports)->Iterations(3);
BENCHMARK(BM_Form8Builder)
    ->ArgName("base")
    ->Arg(kManyReceivers)
    ->Arg(kTenImports)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
LARGE(BM_BookProducts)->Iterations(5);
LARGE(BM_BookJournal)->Iterations(5);
LARGE(BM_ChecksAndConsolidation)->Iterations(3);
LARGE(BM_PlainProductSums)->Iterations(5);
LARGE(BM_PlainReceiverSums)->Arg(kManyReceivers)->Arg(kTenImports)->Iterations(5);
LARGE(BM_PlainBooks)->Iterations(5);
LARGE(BM_PlainChecksAndSums)->Iterations(3);

const char* BaseName(int base)
{
    switch (base) {
    case kNsiOnly:
        return "reference data";
    case kWithFigures:
        return "with figures";
    case kManyReceivers:
        return "490,000 rows";
    default:
        return "500,000 rows";
    }
}

// One goal line with its floor and ratio, for a run of a base.
void PrintAgainstFloor(const CSummaryReporter& r, const std::string& what, const char* bench, const char* floor,
                       int base, double goal)
{
    const std::string arg = "/base:" + std::to_string(base) + "/iterations:";
    const auto seconds = [&](const char* name) {
        for (int n : {1, 3, 5})
            if (const double s = r.Seconds(name + arg + std::to_string(n)); s >= 0)
                return s;
        return -1.0;
    };
    const double value = seconds(bench);
    const double plain = seconds(floor);
    if (value < 0 && plain < 0)
        return; // not among the runs chosen
    const std::string label = what + ", " + BaseName(base);
    PrintGoal(label.c_str(), value, "s", goal);
    PrintFigure("  floor: SQLite's interface, the same rows and sums", plain, "s");
    if (value >= 0 && plain > 0)
        PrintRatio("  ratio to the floor", value / plain);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    if (!g_home.isValid())
        Die(QStringLiteral("no temporary folder"));
    // The program folder: the report database, the report definitions and the schemas beside it.
    qputenv("LIR_HOME", g_home.path().toLocal8Bit());
    for (const char* file :
         {"LIRR.db", "reportdef.xsd", "Form1.rpt", "Form3.rpt", "Form8.rpt", "lir.xsd", "forecast.xsd"})
        if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(file), g_home.filePath(QLatin1String(file))))
            Die(QStringLiteral("cannot copy %1").arg(QLatin1String(file)));
    SetErrorSink([](const DbError& error) {
        ++g_errors;
        WriteErrorToStderr(error);
    });
    Settings().EnableOpJournal = false;
    CSessionState hostSession;
    InstallTransportHost(hostSession, &ImportForecastFile);
    AnswerEveryQuestionYes();
    RegisterBookFrames();
    PrepareBases();
    const double preparedMb = PeakResidentMb();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSummary (SQLite, databases as the program's hand-overs left them, not analysed by the benchmark)\n");
    for (int b : {kNsiOnly, kWithFigures, kManyReceivers, kTenImports}) {
        const CBase& base = g_bases[b];
        std::printf("%-16s %d products, %lld data rows, %zu receivers, statistics %s; rows of Ф1 %d, Ф3 %d, Ф8 %d\n",
                    BaseName(b), base.products, base.dataRows, base.receivers.size(),
                    base.analysed ? "kept by the program" : "none", base.rows[kForm1], base.rows[kForm3],
                    base.rows[kForm8]);
    }
    for (int b : {kNsiOnly, kWithFigures}) {
        PrintAgainstFloor(reporter, "Ф1 with empty rows, to the first page", "BM_Form1EmptyRows", "BM_PlainProductSums",
                          b, 3.0);
        PrintAgainstFloor(reporter, "Ф3 with nothing chosen, to the first page", "BM_Form3NothingChosen",
                          "BM_PlainProductSums", b, 3.0);
    }
    for (int b : {kNsiOnly, kWithFigures, kManyReceivers, kTenImports})
        PrintAgainstFloor(reporter, "Ф8 at 10 %, every receiver, to the first page", "BM_Form8", "BM_PlainReceiverSums",
                          b, 3.0);
    for (int b : {kManyReceivers, kTenImports})
        PrintAgainstFloor(reporter, "Ф8 at 10 %, every receiver, the builder alone", "BM_Form8Builder",
                          "BM_PlainReceiverSums", b, 3.0);
    for (int b : {kNsiOnly, kWithFigures}) {
        PrintAgainstFloor(reporter, "book \"Виды продукции\" opened", "BM_BookProducts", "BM_PlainBooks", b, 1.0);
        PrintAgainstFloor(reporter, "book \"Журнал событий\" opened", "BM_BookJournal", "BM_PlainBooks", b, 1.0);
        PrintAgainstFloor(reporter, "checks and consolidation", "BM_ChecksAndConsolidation", "BM_PlainChecksAndSums", b,
                          5.0);
    }
    PrintFigure("peak resident memory once the databases were made", preparedMb, "MB");
    PrintFigure("peak resident memory (the whole run)", PeakResidentMb(), "MB");
    if (g_errors)
        std::printf("%d database errors were reported\n", g_errors);
    GetDBConnection().Close();
    GetReportDBConnection().Close();
    return g_errors ? 1 : 0;
}
