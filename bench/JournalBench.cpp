// The event journal at its largest, as the program shows it (offscreen, the real frame), on SQLite
// and on the PostgreSQL test cluster: 2,000,000 exchange events over 1,000 receivers and 1,000,000
// trace lines. In a process of its own per database, for its peak memory: the first screen of
// "Журнал событий", End, the filter by a part of "Организация", the orders by a header, the search
// for a row near the end and the first screen of "Журнал трассировки". Beside them the floors: the
// same screens selected by SQLite's own interface and by libpq, with nothing of ours or Qt's in
// between. Then the export of the trace lines with each line flushed against the same export
// flushed once at the end (SQLite). The summary prints each goal as met or MISSED.
#include "AppMessage.h"
#include "BenchDatabases.h"
#include "BenchSummary.h"
#include "BookFrames.h"
#include "CommandIds.h"
#include "DirectoryFilterDlg.h"
#include "FilterField.h"
#include "ModalHook.h"
#include "OpJournalExport.h"
#include "PgScratch.h"
#include "ReportView.h"
#include "Session.h"
#include "Settings.h"
#include "db/SqlQuery.h"
#include "tables/ImportEventTypes.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kReceivers = 1000;
constexpr int kEvents = 2000000;
constexpr int kOpRows = 1000000;
constexpr int kScreenRows = 50; // what a 1280 × 1024 window shows of the list
// The journal as the list orders it at first, in each database's own words.
const char* const kFirstScreen =
    "select i.id, coalesce(r.name, '[Не известна]'), t.name, i.send, i.received, i.comment "
    "from tfctimportstatus i left join tclsimporteventtype t on t.id = i.event "
    "left join tclsreceivermap m on m.receiver = i.receiver and m.prognoz = 1 "
    "left join tclsreceiver r on r.id = m.receiver %1 order by i.send %2, i.id %3 limit 50";
const char* const kMinistries = "where r.name like '%Министерство%'";

CBenchDatabases g_db;
QString g_home;

[[noreturn]] void Die(const QString& what)
{
    std::fprintf(stderr, "bench_journal: %s\n", qPrintable(what));
    std::exit(1);
}

bool Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec()) {
        std::fprintf(stderr, "bench_journal: %s\n", qPrintable(q.lastError().text()));
        return false;
    }
    return true;
}

// The same rows on both databases, written by each database itself. One receiver in a hundred is a
// ministry; every fifth event a receipt, which has no send date.
bool Fill(BenchDialect dialect, QString* reason)
{
    const bool pg = dialect == kPostgreSQL;
    SeedImportEventTypes();
    const QString numbers = pg ? QStringLiteral("generate_series(0, %1) x")
                               : QStringLiteral("(with recursive n(x) as (select 0 union all select x + 1 from n "
                                                "where x < %1) select x from n)");
    const QString at = pg ? QStringLiteral("timestamp '2020-01-01' + (%1) * interval '1 second'")
                          : QStringLiteral("datetime('2020-01-01', '+' || (%1) || ' seconds')");
    const bool filled =
        Run(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (1, 'Прогноз', 2026, 0)"))
        && Run(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                              "select x + 1, case when x = 0 then 0 else 1 end, case when (x + 1) % 100 = 0 then "
                              "'Министерство ' || (x + 1) else 'Получатель ' || (x + 1) end, 0, 0, 1, "
                              "case when x = 0 then 1 else 0 end from ")
               + numbers.arg(kReceivers - 1))
        && Run(QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) "
                              "select 1, id, 0 from tclsreceiver"))
        && Run(QStringLiteral("insert into tfctimportstatus (id, prognoz, receiver, send, received, comment, "
                              "envelope, event) select x + 1, 1, 1 + x % %1, case when x % 5 = 0 then null else %2 "
                              "end, case when x % 5 = 0 then %3 end, 'Запись ' || x, '', 1 + x % 5 from ")
                   .arg(kReceivers)
                   .arg(at.arg(QStringLiteral("x * 37")), at.arg(QStringLiteral("x * 37 + 60")))
               + numbers.arg(kEvents - 1))
        && Run(QStringLiteral("insert into tfctopjournal (id, UserID, Date, Text, Type) select x + 1, '', %1, "
                              "'Изменение записи ' || x || '; поле значение', 0 from ")
                   .arg(at.arg(QStringLiteral("x")))
               + numbers.arg(kOpRows - 1))
        && (pg ? RunPlain(QStringLiteral("vacuum analyze")) : Run(QStringLiteral("analyze")));
    if (!filled)
        *reason = QStringLiteral("cannot fill the database");
    return filled;
}

// ---- the floors: the screens selected by each database's own interface

QByteArray Screen(bool last, bool filter)
{
    return QString::fromLatin1(kFirstScreen)
        .arg(filter ? QString::fromUtf8(kMinistries) : QString(),
             last ? QStringLiteral("asc nulls first") : QStringLiteral("desc nulls last"),
             last ? QStringLiteral("asc") : QStringLiteral("desc"))
        .toUtf8();
}

void SqliteFloor(benchmark::State& state, bool last, bool filter)
{
    if (!g_db.Has(kSQLite)) {
        state.SkipWithError("no SQLite database");
        return;
    }
    const QByteArray sql = Screen(last, filter);
    const QByteArray file = QFile::encodeName(g_home + QStringLiteral("LIR.db"));
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            Die(QStringLiteral("sqlite3_open_v2"));
        state.ResumeTiming();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            Die(QString::fromUtf8(sqlite3_errmsg(db)));
        rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 6; ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(st, c));
            ++rows;
        }
        sqlite3_finalize(st);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
}

std::string PgConnectInfo()
{
    const auto p = PgAdminParams();
    std::string info = "host='" + p->host.toStdString() + "' port=" + std::to_string(p->port) + " user='"
        + p->user.toStdString() + "' dbname='" + g_db.PgName().toStdString() + "'";
    if (!p->password.isEmpty())
        info += " password='" + p->password.toStdString() + "'";
    return info;
}

void PgFloor(benchmark::State& state, bool last, bool filter)
{
    if (!g_db.Has(kPostgreSQL)) {
        state.SkipWithError(qPrintable(g_db.Reason(kPostgreSQL)));
        return;
    }
    const QByteArray sql = Screen(last, filter);
    PGconn* conn = PQconnectdb(PgConnectInfo().c_str());
    if (PQstatus(conn) != CONNECTION_OK)
        Die(QString::fromUtf8(PQerrorMessage(conn)));
    int rows = 0;
    for (auto _ : state) {
        PGresult* r = PQexec(conn, sql.constData());
        if (PQresultStatus(r) != PGRES_TUPLES_OK)
            Die(QString::fromUtf8(PQresultErrorMessage(r)));
        rows = PQntuples(r);
        for (int i = 0; i < rows; ++i)
            for (int c = 0; c < 6; ++c)
                benchmark::DoNotOptimize(PQgetvalue(r, i, c));
        PQclear(r);
    }
    PQfinish(conn);
    state.counters["rows"] = rows;
}

void BM_FloorFirst(benchmark::State& state)
{
    state.range(0) == kPostgreSQL ? PgFloor(state, false, false) : SqliteFloor(state, false, false);
}
void BM_FloorLast(benchmark::State& state)
{
    state.range(0) == kPostgreSQL ? PgFloor(state, true, false) : SqliteFloor(state, true, false);
}
void BM_FloorFilter(benchmark::State& state)
{
    state.range(0) == kPostgreSQL ? PgFloor(state, false, true) : SqliteFloor(state, false, true);
}

// ---- the export of the trace lines (SQLite)

void Export(benchmark::State& state, bool flushEachLine)
{
    if (!g_db.Use(state, kSQLite))
        return;
    const QString out = g_home + QStringLiteral("journal.txt");
    for (auto _ : state) {
        if (WriteOpJournal(QDate(2020, 1, 1), QDate(2021, 1, 1), out, flushEachLine) != OpJournalExportResult::Done)
            state.SkipWithError("export failed");
    }
    state.counters["bytes"] = double(QFile(out).size());
}

void BM_OpJournalExport(benchmark::State& state)
{
    Export(state, true);
}

void BM_OpJournalExportOneFlush(benchmark::State& state)
{
    Export(state, false);
}

BENCHMARK(BM_FloorFirst)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FloorLast)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_FloorFilter)->Arg(kSQLite)->Arg(kPostgreSQL)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpJournalExport)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OpJournalExportOneFlush)->Unit(benchmark::kMillisecond)->Iterations(2);

// ---- the book as the program shows it, in a process of its own

// Answers the filter dialog as a user does: "Организация" contains "министерство".
class FilterAnswer : public CModalHook {
public:
    int execDialog(QDialog& dialog) override
    {
        auto* filter = qobject_cast<CDirectoryFilterDlg*>(&dialog);
        if (!filter)
            return CModalHook::execDialog(dialog);
        filter->fieldList()->setCurrentRow(0);
        filter->valueEdit()->setText(QStringLiteral("министерство"));
        filter->accept();
        return filter->result();
    }
};

struct ScreenFigures {
    double first = -1, end = -1, filter = -1, sortIndexed = -1, sortPlain = -1, search = -1, trace = -1, peak = -1;
    int rows = 0, filtered = 0;
};

void Press(QWidget* widget, Qt::Key key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

// Paints the window as the screen gets it; the seconds since the timer started.
double Shown(QWidget& window, QElapsedTimer& timer)
{
    QCoreApplication::processEvents();
    window.grab();
    return double(timer.nsecsElapsed()) / 1e9;
}

int RunScreen(const char* dialect, const char* database)
{
    DbConnectParams p;
    if (std::strcmp(dialect, "pg") == 0) {
        p = *PgAdminParams();
        p.dbName = QString::fromLocal8Bit(database);
    } else {
        p.dialect = SqlDialect::SQLite;
        p.file = QString::fromLocal8Bit(database);
    }
    Settings().EnableOpJournal = false;
    if (!GetDBConnection().ConnectWith(p))
        Die(QStringLiteral("cannot connect"));
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDYES;
    });
    FilterAnswer answer;
    SetModalHook(&answer);
    CSessionState session;
    session.currentForecastId = 1;
    QWidget window;
    window.resize(1280, 1024);
    auto* layout = new QVBoxLayout(&window);
    auto* search = new QComboBox(&window);
    search->setEditable(true);
    search->setObjectName(QStringLiteral("id%1").arg(ID_SEARCH_TEXT));
    layout->addWidget(search);
    window.show();
    QCoreApplication::processEvents();

    ScreenFigures f;
    QElapsedTimer timer;
    timer.start();
    // As the navigation panel opens the book.
    auto* frame = new CEventJrnFrame(session, &window);
    layout->addWidget(frame, 1);
    const struct {
        const char16_t* caption;
        const char* column;
        int kind;
        int width;
    } fields[] = {{u"Организация", "r.name", FF_TEXT, 200},
                  {u"Событие", "t.name", FF_TEXT, 200},
                  {u"Дата отправки", "send", FF_DATE, 100},
                  {u"Дата получения", "received", FF_DATE, 100},
                  {u"Примечание", "comment", FF_TEXT, 300}};
    for (const auto& field : fields)
        frame->AddFilterField(QString::fromUtf16(field.caption), QString::fromLatin1(field.column), field.kind, true,
                              field.width);
    frame->InitListColumns();
    frame->show();
    f.first = Shown(window, timer);
    CReportView* list = frame->list();
    f.rows = list->GetItemCount();
    // Newest first; the receipts, which have no send date, last, the oldest of them at the end.
    if (f.rows != kEvents || list->GetItemData(0) != kEvents)
        Die(QStringLiteral("the first screen shows %1 rows from %2").arg(f.rows).arg(list->GetItemData(0)));

    list->setFocus();
    timer.restart();
    Press(list, Qt::Key_End);
    f.end = Shown(window, timer);
    if (list->GetItemData(list->GetSelectedRow()) != 1)
        Die(QStringLiteral("End reached %1").arg(list->GetItemData(list->GetSelectedRow())));

    timer.restart();
    list->SortByColumn(3, true); // "Дата получения": an index answers
    f.sortIndexed = Shown(window, timer);
    timer.restart();
    list->SortByColumn(0, true); // "Организация": named through the forecast's receivers, no index
    f.sortPlain = Shown(window, timer);

    // A row near the end of the list, found from the top.
    frame->Refresh();
    Shown(window, timer);
    search->setEditText(QStringLiteral("01.01.2020 0:03:42"));
    timer.restart();
    frame->OnSearch();
    f.search = Shown(window, timer);
    if (list->GetItemData(list->GetSelectedRow()) != 7)
        Die(QStringLiteral("the search found %1").arg(list->GetItemData(list->GetSelectedRow())));

    timer.restart();
    frame->OnCmdMsg(ID_BOOK_FILTER, CmdMsg::Execute, nullptr);
    f.filter = Shown(window, timer);
    f.filtered = list->GetItemCount();

    timer.restart();
    frame->tree()->setCurrentItem(frame->tree()->topLevelItem(2)); // "Журнал трассировки"
    f.trace = Shown(window, timer);
    if (list->GetItemCount() != kOpRows)
        Die(QStringLiteral("the trace journal shows %1 lines").arg(list->GetItemCount()));
    f.peak = PeakResidentMb();
    std::printf("%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.1f %d %d\n", f.first, f.end, f.filter, f.sortIndexed, f.sortPlain,
                f.search, f.trace, f.peak, f.rows, f.filtered);
    SetModalHook(nullptr);
    delete frame;
    GetDBConnection().Close();
    return 0;
}

std::optional<ScreenFigures> MeasureScreen(BenchDialect dialect)
{
    if (!g_db.Has(dialect))
        return std::nullopt;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const bool pg = dialect == kPostgreSQL;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--screen"), pg ? QStringLiteral("pg") : QStringLiteral("sqlite"),
                 pg ? g_db.PgName() : g_home + QStringLiteral("LIR.db")});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return std::nullopt;
    const QStringList v = QString::fromLatin1(child.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    if (v.size() < 10)
        return std::nullopt;
    ScreenFigures f;
    f.first = v[0].toDouble();
    f.end = v[1].toDouble();
    f.filter = v[2].toDouble();
    f.sortIndexed = v[3].toDouble();
    f.sortPlain = v[4].toDouble();
    f.search = v[5].toDouble();
    f.trace = v[6].toDouble();
    f.peak = v[7].toDouble();
    f.rows = v[8].toInt();
    f.filtered = v[9].trimmed().toInt();
    return f;
}

void PrintVersus(const char* what, double ours, double floor, double goal, const char* unit = "s")
{
    PrintGoal(what, ours, unit, goal);
    if (floor > 0) {
        PrintFigure("  floor: the same rows by the database's own interface", floor, unit);
        if (ours > 0)
            PrintRatio("  ratio to the floor", ours / floor);
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc == 4 && std::strcmp(argv[1], "--screen") == 0)
        return RunScreen(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    Settings().EnableOpJournal = false;

    QString error;
    std::printf("Generating %d exchange events and %d trace lines on each database...\n", kEvents, kOpRows);
    std::fflush(stdout);
    if (!g_db.Open(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), &Fill, &error))
        Die(error);
    g_home = QFileInfo(g_db.SqliteFile()).path() + u'/';

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    GetDBConnection().Close();

    for (BenchDialect dialect : {kSQLite, kPostgreSQL}) {
        const std::string arg = dialect == kPostgreSQL ? "/1/iterations:5" : "/0/iterations:5";
        std::printf("\n\"Журнал событий\" with %d exchange events over %d receivers, %s, as the program shows it "
                    "(offscreen, a process of its own)\n",
                    kEvents, kReceivers, DialectLabel(dialect));
        if (!g_db.Has(dialect)) {
            PrintSkipped(DialectLabel(dialect), qPrintable(g_db.Reason(dialect)));
            continue;
        }
        const auto f = MeasureScreen(dialect);
        if (!f) {
            std::printf("the book's process failed\n");
            continue;
        }
        PrintVersus("first screen (frame made, rows counted, screen painted)", f->first,
                    reporter.Seconds("BM_FloorFirst" + arg), 1.0);
        PrintGoal("peak resident memory of the process", f->peak, "MB", 200.0);
        PrintVersus("End: the last row selected and painted", f->end, reporter.Seconds("BM_FloorLast" + arg), 1.0);
        PrintVersus("filter \"Организация\" contains \"министерство\": rows counted, first screen", f->filter,
                    reporter.Seconds("BM_FloorFilter" + arg), 1.0);
        PrintFigure("  rows the filter lets through", f->filtered, "");
        PrintFigure("order by \"Дата получения\" (indexed): first screen", f->sortIndexed, "s");
        PrintFigure("order by \"Организация\" (no index can serve it): first screen", f->sortPlain, "s");
        PrintFigure("search for a row near the end, from the top", f->search, "s");
        PrintFigure("\"Журнал трассировки\", 1,000,000 lines: first screen", f->trace, "s");
    }

    std::printf("\nOperation journal export (%d lines, SQLite)\n", kOpRows);
    const double exportFlush = reporter.Seconds("BM_OpJournalExport/iterations:2");
    const double exportOnce = reporter.Seconds("BM_OpJournalExportOneFlush/iterations:2");
    PrintGoal("export, each line flushed", exportFlush, "s", 5.0);
    if (exportFlush >= 0 && exportOnce > 0)
        PrintRatio("ratio / the same export flushed once", exportFlush / exportOnce);
    g_db.Close();
    return 0;
}
