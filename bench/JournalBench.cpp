// The event journal at its largest, on SQLite, offscreen: the exchange journal of 100,000 records
// over 1,000 receivers filled into the book's list, and filtered by a part of the organisation's
// name; and the export of 1,000,000 operation-journal rows, with each line flushed against the
// same export flushed once at the end. The summary prints each goal as met or MISSED.
#include "AppMessage.h"
#include "BenchSummary.h"
#include "BookFrames.h"
#include "FilterField.h"
#include "ForecastGenerator.h"
#include "OpJournalExport.h"
#include "ReportView.h"
#include "Session.h"
#include "Settings.h"
#include "db/SqlQuery.h"
#include "tables/ImportEventTypes.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kReceivers = 1000;
constexpr int kRecords = 100000;
constexpr int kOpRows = 1000000;

QString g_home;
CSessionState g_session;
std::unique_ptr<CEventJrnFrame> g_frame;

[[noreturn]] void Die(const char* what)
{
    std::fprintf(stderr, "bench_journal: %s\n", what);
    std::exit(1);
}

void Run(CSqlQuery& q)
{
    if (!q.exec())
        Die(qPrintable(q.lastError().text()));
}

void GenerateData()
{
    SeedImportEventTypes();
    CTransaction tx;
    CSqlQuery forecast(
        QStringLiteral("insert into tfctprognoz (id, name, year, status) values (1, 'Прогноз', 2026, 0)"));
    Run(forecast);
    CSqlQuery receiver(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, "
                                      "isgroup) values (?, ?, ?, 0, 0, 1, ?)"));
    CSqlQuery map(QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (1, ?, 0)"));
    for (int id = 1; id <= kReceivers; ++id) {
        // One receiver in a hundred belongs to a ministry.
        const QString name =
            id % 100 == 0 ? QStringLiteral("Министерство %1").arg(id) : QStringLiteral("Получатель %1").arg(id);
        receiver.bind(id).bind(id == 1 ? 0 : 1).bind(name).bind(id == 1 ? 1 : 0);
        Run(receiver);
        map.bind(id);
        Run(map);
    }
    CSqlQuery status(QStringLiteral("insert into tfctimportstatus (prognoz, receiver, send, received, comment, event) "
                                    "values (1, ?, ?, ?, ?, ?)"));
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 0; i < kRecords; ++i) {
        status.bind(1 + i % kReceivers).bind(start.addSecs(i * 37)).bind(start.addSecs(i * 37 + 60));
        status.bind(QStringLiteral("Запись %1").arg(i)).bind(1 + i % 5);
        Run(status);
    }
    CSqlQuery op(QStringLiteral("insert into tfctopjournal (UserID, Date, Text, Type) values ('', ?, ?, 0)"));
    for (int i = 0; i < kOpRows; ++i) {
        op.bind(start.addSecs(i)).bind(QStringLiteral("Изменение записи %1; поле значение").arg(i));
        Run(op);
    }
    if (!tx.commit())
        Die("cannot commit the generated data");
}

void Fill(benchmark::State& state, const QString& organisation)
{
    g_frame->filterFields()[0].value = organisation;
    const SqlFilter filter = FilterCondition(g_frame->filterFields());
    int rows = 0;
    for (auto _ : state) {
        g_frame->list()->DeleteAllItems();
        g_frame->FillList(g_frame->list(), 2, filter);
        rows = g_frame->list()->GetItemCount();
    }
    state.counters["rows"] = rows;
}

void BM_ExchangeJournalFill(benchmark::State& state)
{
    Fill(state, QString());
}

void BM_ExchangeJournalFilter(benchmark::State& state)
{
    Fill(state, QStringLiteral("министерство"));
}

void Export(benchmark::State& state, bool flushEachLine)
{
    const QString out = g_home + QStringLiteral("/journal.txt");
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

BENCHMARK(BM_ExchangeJournalFill)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExchangeJournalFilter)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpJournalExport)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OpJournalExportOneFlush)->Unit(benchmark::kMillisecond)->Iterations(2);

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
    g_home = QFileInfo(db.file()).path();
    SetMessageBoxHandler([](const QString& text, unsigned, QObject*) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        return IDOK;
    });
    GenerateData();

    g_session.currentForecastId = 1;
    g_frame = std::make_unique<CEventJrnFrame>(g_session);
    const std::pair<const char16_t*, const char*> fields[] = {{u"Организация", "r.name"},
                                                              {u"Событие", "t.name"},
                                                              {u"Дата отправки", "send"},
                                                              {u"Дата получения", "received"},
                                                              {u"Примечание", "comment"}};
    for (const auto& [caption, column] : fields)
        g_frame->AddFilterField(QString::fromUtf16(caption), QString::fromLatin1(column), FF_TEXT, true, 100);

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double fill = reporter.Seconds("BM_ExchangeJournalFill/iterations:3");
    const double filter = reporter.Seconds("BM_ExchangeJournalFilter/iterations:3");
    const double exportFlush = reporter.Seconds("BM_OpJournalExport/iterations:2");
    const double exportOnce = reporter.Seconds("BM_OpJournalExportOneFlush/iterations:2");
    std::printf("\nSummary (%d exchange records over %d receivers, %d operation-journal rows, SQLite)\n", kRecords,
                kReceivers, kOpRows);
    PrintGoal("exchange journal: fill the list", fill, "s", 1.0);
    PrintGoal("exchange journal: filter by \"Организация\"", filter, "s", 0.5);
    PrintGoal("operation journal: export, each line flushed", exportFlush, "s", 5.0);
    if (exportFlush >= 0 && exportOnce > 0)
        PrintRatio("ratio / the same export flushed once", exportFlush / exportOnce);
    PrintFigure("peak memory", PeakMemoryMb(), "MB");
    g_frame.reset();
    return 0;
}
