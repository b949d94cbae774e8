// The forecast's export and import between two organisations (SQLite, file transport, no check or
// consolidation): B's export from loading the consolidated rows to the file written whole, A's
// import from the version check to the committed journal row, into an empty receiver and over
// stored rows, for 5,000 and 50,000 products; beside xmllint's streaming validation of the same file
// and a plain prepared insert of the same rows; and the peak memory of the large import. The large
// import also into A's database on the PostgreSQL test cluster when one runs, beside COPY of the same
// rows (psql's \copy) on the same server. Then the
// hand-over of received files as the transport host makes it (the received forecast and reference
// data of 50,000 products, every question answered yes), with its own floor and peak memory.
#include "BenchSummary.h"
#include "ExchangeGenerator.h"
#include "ExchangeHandOver.h"
#include "PgScratch.h"

#include "AppMessage.h"
#include "ErrorSink.h"
#include "ExchangeFiles.h"
#include "ForecastFile.h"
#include "ForecastImport.h"
#include "Money.h"
#include "Session.h"
#include "Settings.h"
#include "TransportHost.h"
#include "db/SqlQuery.h"
#include "tables/ImportEventTypes.h"
#include "tables/Prices.h"
#include "tables/Products.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <unistd.h>

using namespace ExchangeIds;

namespace {

constexpr int kForecast = 7;
const QString kSchema = QStringLiteral(LIR_BIN_DIR "/forecast.xsd");
const QString kNsiSchema = QStringLiteral(LIR_BIN_DIR "/lir.xsd");
int g_errors = 0;

[[noreturn]] void Die(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::exit(2);
}

// B's and A's databases for one size, and the file B writes.
struct CPair {
    QTemporaryDir lower, upper;
    DbConnectParams b, a;
    QString file;
    CTotalForecastList rows;
};
std::map<int, std::unique_ptr<CPair>> g_pairs;

DbConnectParams Database(const QTemporaryDir& dir)
{
    DbConnectParams p;
    p.file = dir.filePath(QStringLiteral("LIR.db"));
    if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), p.file))
        Die(QStringLiteral("cannot copy the template database"));
    QFile::setPermissions(p.file, QFile::ReadOwner | QFile::WriteOwner);
    return p;
}

void Connect(const DbConnectParams& p)
{
    if (!GetDBConnection().ConnectWith(p))
        Die(QStringLiteral("cannot open ") + p.file);
}

void Run(const QString& sql)
{
    CSqlQuery q(sql);
    if (!q.exec())
        Die(sql + QStringLiteral(": ") + q.lastError().text());
}

CPair& Prepare(int products)
{
    auto& slot = g_pairs[products];
    if (slot)
        return *slot;
    slot = std::make_unique<CPair>();
    CPair& p = *slot;
    const CExchangeShape shape{kForecast, products, 1};
    QString error;
    std::printf("generating B and A with %d products...\n", products);
    std::fflush(stdout);
    p.b = Database(p.lower);
    Connect(p.b);
    const auto lower = GenerateLowerOrganisation(shape, &error);
    if (!lower)
        Die(error);
    p.rows = ExchangeTotals(shape, *lower);
    Run(QStringLiteral("analyze"));
    p.a = Database(p.upper);
    Connect(p.a);
    if (!GenerateUpperOrganisation(shape, &error))
        Die(error);
    SeedImportEventTypes();
    Run(QStringLiteral("analyze"));
    p.file = p.lower.filePath(ForecastFileName(ExchangeFileBase(QStringLiteral("Управление образования_Прогноз 7"))));
    return p;
}

bool ExportOnce(const CPair& p)
{
    return !ExportLowerForecast(kForecast, p.lower.path()).isEmpty();
}

void UseLower(CPair& p)
{
    Connect(p.b);
    SeedImportEventTypes();
}

// B's file, written once for the import's measurements.
CPair& WithFile(int products)
{
    CPair& p = Prepare(products);
    if (!QFile::exists(p.file)) {
        UseLower(p);
        if (!ExportOnce(p))
            Die(QStringLiteral("the export failed"));
    }
    Connect(p.a);
    return p;
}

bool ImportFile(const QString& path)
{
    CForecastFile file = ReadForecastFile(path, kSchema);
    if (!file.ok())
        return false;
    static_cast<void>(HasForecastDataForReceiver(file.from, file.forecast, OnDbError::Silent));
    return StoreForecastFile(file);
}

bool ImportOnce(const CPair& p)
{
    return ImportFile(p.file);
}

void ClearReceiver()
{
    Run(QStringLiteral("delete from tfctprognozdata where receiver = 5"));
    Run(QStringLiteral("delete from tfctimportstatus"));
}

void BM_Export(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    UseLower(p);
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(p.file);
        state.ResumeTiming();
        if (!ExportOnce(p))
            state.SkipWithError("export failed");
    }
}

// The import into A's receiver of B, emptied before each run, on the connected database.
void ImportIntoEmpty(benchmark::State& state, const CPair& p)
{
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        state.ResumeTiming();
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
    }
}

void BM_ImportEmpty(benchmark::State& state)
{
    ImportIntoEmpty(state, WithFile(int(state.range(0))));
}

void BM_ImportOverStored(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    if (!ImportOnce(p))
        state.SkipWithError("import failed");
    for (auto _ : state)
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
}

// xmllint's streaming validation of the file against the schema, the floor of a reader.
void Xmllint(benchmark::State& state, const QString& schema, const QString& file)
{
    for (auto _ : state) {
        QProcess xmllint;
        xmllint.start(QStringLiteral("xmllint"),
                      {QStringLiteral("--stream"), QStringLiteral("--noout"), QStringLiteral("--nonet"),
                       QStringLiteral("--schema"), schema, file});
        if (!xmllint.waitForFinished(120000) || xmllint.exitCode() != 0)
            state.SkipWithError("xmllint failed or is missing");
    }
}

void BM_XmllintStream(benchmark::State& state)
{
    Xmllint(state, kSchema, WithFile(int(state.range(0))).file);
}

void BM_PlainInsert(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        state.ResumeTiming();
        CTransaction tx;
        if (!InsertDataRows(p.rows, kLowerInA) || !tx.commit())
            state.SkipWithError("insert failed");
    }
}

// An organisation's database of the 50,000-product pair on the PostgreSQL test cluster, made once;
// dropped at the end.
struct CServerA {
    bool tried = false;
    QString name;
    DbConnectParams params;
    QString reason;
};
CServerA g_server;

// Connects to the organisation's database on the server, made by `generate` on the first call;
// false (with server.reason) when there is none.
bool UseScratchServer(CServerA& server, const char* what, const char* organisation,
                      std::optional<CGeneratedForecast> (*generate)(const CExchangeShape&, QString*))
{
    if (!server.tried) {
        server.tried = true;
        const auto admin = PgAdminParams();
        if (!admin) {
            server.reason = QStringLiteral("no PostgreSQL test cluster (PGHOST is not set)");
            return false;
        }
        const QString name = QStringLiteral("lir_bench_%1_%2").arg(QLatin1String(what)).arg(getpid());
        if (const QString failure = CreateScratchPgDatabase(name); !failure.isEmpty()) {
            server.reason = failure;
            return false;
        }
        server.name = name;
        server.params = *admin;
        server.params.dbName = name;
        Connect(server.params);
        std::printf("generating %s with 50000 products on PostgreSQL...\n", organisation);
        std::fflush(stdout);
        QString error;
        if (!generate({kForecast, 50000, 1}, &error)) {
            server.reason = error;
            return false;
        }
        SeedImportEventTypes();
        QSqlQuery analyze(GetDBConnection().GetConnection());
        if (!analyze.exec(QStringLiteral("analyze")))
            Die(analyze.lastError().text());
    }
    if (!server.reason.isEmpty())
        return false;
    Connect(server.params);
    return true;
}

// A's database on the server.
bool UseServerA()
{
    return UseScratchServer(g_server, "exchange", "A", &GenerateUpperOrganisation);
}

// The server's floor: the same rows as B's receiver by COPY from a CSV file, through psql. Seconds,
// negative when psql failed (its message in *error).
double CopyOnServer(const CPair& p, QString* error)
{
    const QString csv = p.upper.filePath(QStringLiteral("rows.csv"));
    if (!QFileInfo::exists(csv)) {
        QFile out(csv);
        if (!out.open(QIODevice::WriteOnly))
            Die(QStringLiteral("cannot write ") + csv);
        QByteArray text;
        for (const CTotalForecastRecord& r : p.rows) {
            text += QByteArray::number(r.prognoz) + ',' + QByteArray::number(r.product) + ','
                + QByteArray::number(kLowerInA);
            for (const auto& m : kForecastMoneyColumns) {
                text += ',';
                if ((r.*m.field).isValid())
                    text += (r.*m.field).toXmlText().toLatin1();
            }
            text += ",\"\",\"\"," + QByteArray::number(r.baseMethod) + '\n';
        }
        out.write(text);
    }
    const QString copy = QStringLiteral("\\copy tfctprognozdata (prognoz, product, receiver, %1, comment, base, "
                                        "baseMethod) from '%2' csv")
                             .arg(ForecastFigureColumns(), csv);
    QElapsedTimer timer;
    timer.start();
    QProcess psql;
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-d"), g_server.name, QStringLiteral("-c"), copy});
    if (!psql.waitForFinished(120000) || psql.exitCode() != 0) {
        *error = QString::fromLocal8Bit(psql.readAllStandardError());
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// Seconds of the COPY runs made between the imports of BM_ImportServer.
std::vector<double> g_copySeconds;

// The import into an empty receiver on the server, each run after a COPY of the same rows timed on
// its own: on a shared machine both then meet the same load, and the ratio holds.
void BM_ImportServer(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    if (!UseServerA()) {
        state.SkipWithError(qPrintable(g_server.reason));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        QString error;
        const double copied = CopyOnServer(p, &error);
        if (copied < 0)
            state.SkipWithError(qPrintable(error));
        g_copySeconds.push_back(copied);
        ClearReceiver();
        state.ResumeTiming();
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
    }
}

CSessionState g_session;

// A's reference data of the forecast as it sends them to B, written once.
const QString& NsiFile(CPair& p)
{
    static QString path;
    if (!path.isEmpty())
        return path;
    Connect(p.a);
    path = p.upper.filePath(QStringLiteral("НСИ.xml"));
    if (!WriteUpperNsi(kForecast, path))
        Die(QStringLiteral("cannot write the reference data"));
    return path;
}

// The host's hand-over on the user-interface thread: false when anything was refused.
bool HandOver(bool nsi, const QString& path)
{
    return HandOver(g_session, nsi, path).isEmpty();
}

void BM_HostForecast(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        state.ResumeTiming();
        if (!HandOver(false, p.file))
            state.SkipWithError("the hand-over was refused");
    }
}

void BM_HostNsi(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    const QString file = NsiFile(p);
    // B's export, which the reference data empty, and the event types its journal rows need.
    static_cast<void>(WithFile(int(state.range(0))));
    UseLower(p);
    for (auto _ : state)
        if (!HandOver(true, file))
            state.SkipWithError("the hand-over was refused");
}

void BM_XmllintNsi(benchmark::State& state)
{
    Xmllint(state, kNsiSchema, NsiFile(Prepare(int(state.range(0)))));
}

// The floor of the reference data: their products and prices by a plain prepared insert.
void BM_PlainNsiInsert(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    static_cast<void>(NsiFile(p));
    Connect(p.b);
    const auto products = LoadProducts(kForecast);
    const auto prices = LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {kForecast}));
    if (!products || !prices)
        Die(QStringLiteral("cannot read B's products"));
    constexpr int kOther = 99;
    Run(QStringLiteral("insert or ignore into tfctprognoz (id, name, year, owner, ownerName, status) "
                       "values (99, 'Копия', 2013, -20, 'Минфин', 1)"));
    for (auto _ : state) {
        state.PauseTiming();
        Run(QStringLiteral("delete from tfctprice where prognoz = 99"));
        Run(QStringLiteral("delete from tclsproduct where prognoz = 99"));
        state.ResumeTiming();
        CTransaction tx;
        CSqlQuery product(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, type, "
                                         "position, comment, measurementNatural, measurementPrice) "
                                         "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const CProductRecord& r : *products) {
            product.bind(kOther).bind(r.id).bind(r.parent).bind(r.name).bind(r.code).bind(r.isgroup).bind(r.type);
            product.bind(r.position).bind(r.comment).bind(r.measurementNatural).bind(r.measurementPrice);
            if (!product.exec())
                Die(product.lastError().text());
        }
        CSqlQuery price(QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) "
                                       "values (?, ?, ?, ?, ?)"));
        for (const CPriceRecord& r : *prices) {
            price.bind(kOther).bind(r.product).bind(r.pricePrev).bind(r.priceCur).bind(r.priceNext);
            if (!price.exec())
                Die(price.lastError().text());
        }
        if (!tx.commit())
            state.SkipWithError("commit failed");
    }
}

// The reference data on the PostgreSQL test cluster: B's database of the 50,000-product pair there,
// made once with a forecast 99 for the floor's rows; dropped at the end.
CServerA g_serverB;

bool UseServerB()
{
    if (!UseScratchServer(g_serverB, "nsi", "B", &GenerateLowerOrganisation))
        return false;
    Run(QStringLiteral("insert into tfctprognoz (id, name, year, owner, ownerName, status) "
                       "values (99, 'Копия', 2013, -20, 'Минфин', 1) on conflict do nothing"));
    return true;
}

void WriteWhole(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        Die(QStringLiteral("cannot write ") + path);
}

QByteArray CsvText(const QString& text)
{
    QByteArray quoted = text.toUtf8();
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

QByteArray CsvDecimal(double value)
{
    return std::isfinite(value) ? QByteArray::number(RoundDecimal6(value), 'f', 6) : QByteArray();
}

QByteArray CsvMoney(Money value)
{
    return value.isValid() ? value.toXmlText().toLatin1() : QByteArray();
}

// The reference data's products and prices as COPY's CSV files, in forecast 99, written once from B's
// SQLite database (the products as stored there, units of 0 as NULL).
struct CNsiCsv {
    QString products, prices;
};

const CNsiCsv& NsiCsv(CPair& p)
{
    static CNsiCsv csv;
    if (!csv.products.isEmpty())
        return csv;
    Connect(p.b);
    const auto products = LoadProducts(kForecast);
    const auto prices = LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {kForecast}));
    if (!products || !prices)
        Die(QStringLiteral("cannot read B's products"));
    QByteArray text;
    const auto id = [](int v) { return v > 0 ? QByteArray::number(v) : QByteArray(); };
    for (const CProductRecord& r : *products) {
        text += "99," + QByteArray::number(r.id) + ',' + QByteArray::number(r.parent) + ',' + id(r.measurementNatural)
            + ',' + id(r.measurementPrice) + ',' + id(r.measurementNatural2) + ',' + id(r.measurementPrice2) + ','
            + CsvText(r.name) + ',' + CsvText(r.code) + ',' + QByteArray::number(r.position) + ',' + CsvText(r.comment)
            + ',' + CsvDecimal(r.offsetMin) + ',' + CsvDecimal(r.offsetMax) + ',' + QByteArray::number(r.type) + ','
            + QByteArray::number(r.isgroup) + ',' + CsvText(r.balanceTitle) + ',' + CsvDecimal(r.avRep) + ','
            + CsvDecimal(r.avCur) + ',' + CsvDecimal(r.avProg) + ',' + CsvDecimal(r.priceIdx) + '\n';
    }
    csv.products = p.upper.filePath(QStringLiteral("products.csv"));
    WriteWhole(csv.products, text);
    text.clear();
    for (const CPriceRecord& r : *prices)
        text += "99," + QByteArray::number(r.product) + ',' + CsvMoney(r.pricePrev) + ',' + CsvMoney(r.priceCur) + ','
            + CsvMoney(r.priceNext) + '\n';
    csv.prices = p.upper.filePath(QStringLiteral("prices.csv"));
    WriteWhole(csv.prices, text);
    return csv;
}

// The server's floor of the reference data: the same products and prices by COPY through psql, into
// forecast 99 of B's database, timed; removed again afterwards. Seconds, negative when psql failed
// (its message in *error).
double CopyNsiOnServer(const CNsiCsv& csv, QString* error)
{
    const QString products =
        QStringLiteral("\\copy tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, "
                       "measurementNatural2, measurementPrice2, name, code, position, comment, offsetMin, offsetMax, "
                       "type, isgroup, balanceTitle, avRep, avCur, avProg, priceIdx) from '%1' csv")
            .arg(csv.products);
    const QString prices =
        QStringLiteral("\\copy tfctprice (prognoz, product, pricePrev, priceCur, priceNext) from '%1' csv")
            .arg(csv.prices);
    QElapsedTimer timer;
    timer.start();
    QProcess psql;
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-d"), g_serverB.name, QStringLiteral("-c"), products, QStringLiteral("-c"), prices});
    const bool copied = psql.waitForFinished(120000) && psql.exitCode() == 0;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!copied)
        *error = QString::fromLocal8Bit(psql.readAllStandardError());
    Run(QStringLiteral("delete from tfctprice where prognoz = 99"));
    Run(QStringLiteral("delete from tclsproduct where prognoz = 99"));
    return copied ? seconds : -1;
}

std::vector<double> g_nsiCopySeconds;

// The reference data handed over into B's database on the server, each run after a COPY of the same
// products and prices timed on its own, so that both meet the same load.
void BM_HostNsiServer(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    const QString file = NsiFile(p);
    const CNsiCsv& csv = NsiCsv(p);
    if (!UseServerB()) {
        state.SkipWithError(qPrintable(g_serverB.reason));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        QString error;
        const double copied = CopyNsiOnServer(csv, &error);
        if (copied < 0)
            state.SkipWithError(qPrintable(error));
        g_nsiCopySeconds.push_back(copied);
        state.ResumeTiming();
        if (!HandOver(true, file))
            state.SkipWithError("the hand-over was refused");
    }
}

// The reference data handed over alone in this process into the database (a SQLite file, or
// "postgresql:<name>" on the test cluster), which then must hold the document's `products`: prints its
// peak resident memory in MB.
int NsiHandOverAlone(const QString& database, const QString& file, int products)
{
    DbConnectParams p;
    if (database.startsWith(QLatin1String("postgresql:"))) {
        const auto admin = PgAdminParams();
        if (!admin)
            return 1;
        p = *admin;
        p.dbName = database.mid(11);
    } else {
        p.file = database;
    }
    Connect(p);
    SeedImportEventTypes();
    Settings().EnableOpJournal = false;
    InstallTransportHost(g_session, &ImportForecastFile);
    AnswerEveryQuestionYes();
    if (!HandOver(true, file))
        return 1;
    // A hand-over that stored less than the document holds did not do the work measured.
    CSqlQuery count(QStringLiteral("select count(*) from tclsproduct where prognoz = ?"));
    count.bind(kForecast);
    if (!count.execOrReport() || !count.next() || count.value(0).toInt() != products)
        return 1;
    GetDBConnection().Close();
    std::printf("%.1f\n", PeakResidentMb());
    return 0;
}

// The peak memory of the reference data of 200,000 products handed over in a process of its own into
// a new database, on SQLite and on the server; negative where it failed or did not run.
struct CNsiPeaks {
    double sqlite = -1;
    double server = -1;
    QString serverSkipped;
};

CNsiPeaks MeasureNsiPeaks()
{
    constexpr int kProducts = 200000;
    CNsiPeaks peaks;
    QTemporaryDir upper, lower;
    const DbConnectParams a = Database(upper);
    Connect(a);
    std::printf("generating A with %d products...\n", kProducts);
    std::fflush(stdout);
    QString error;
    if (!GenerateUpperOrganisation({kForecast, kProducts, 1}, &error))
        Die(error);
    const QString file = upper.filePath(QStringLiteral("НСИ-200000.xml"));
    if (!WriteUpperNsi(kForecast, file))
        Die(QStringLiteral("cannot write the reference data"));
    GetDBConnection().Close();
    const auto alone = [&](const QString& database) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--nsi-alone"), database, file, QString::number(kProducts)});
        const bool done = child.waitForFinished(600000) && child.exitCode() == 0;
        return done ? QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() : -1.0;
    };
    peaks.sqlite = alone(Database(lower).file);
    const QString name = QStringLiteral("lir_bench_nsi200_%1").arg(getpid());
    if (!PgAdminParams())
        peaks.serverSkipped = QStringLiteral("no PostgreSQL test cluster (PGHOST is not set)");
    else if (const QString failure = CreateScratchPgDatabase(name); !failure.isEmpty())
        peaks.serverSkipped = failure;
    else {
        peaks.server = alone(QStringLiteral("postgresql:") + name);
        DropScratchPgDatabase(name);
    }
    return peaks;
}

// The reference data's figures on the server and their peak memory at 200,000 products.
void PrintNsiFigures(const CSummaryReporter& reporter, const CNsiPeaks& peaks)
{
    std::printf("\nReference data through the hand-over on PostgreSQL (50,000 products)\n");
    if (!g_serverB.reason.isEmpty()) {
        PrintSkipped("PostgreSQL", qPrintable(g_serverB.reason));
    } else if (const double server = reporter.Seconds("BM_HostNsiServer/50000/iterations:4"); server >= 0) {
        double copied = g_nsiCopySeconds.empty() ? -1 : 0;
        for (double seconds : g_nsiCopySeconds)
            copied = copied < 0 || seconds < 0 ? -1 : copied + seconds / double(g_nsiCopySeconds.size());
        PrintGoal("received reference data handed over and stored", server, "s", 5.0);
        if (copied >= 0)
            PrintFigure("COPY of the same products and prices (psql \\copy), between the hand-overs", copied, "s");
        if (copied > 0)
            PrintRatio("ratio hand-over / COPY", server / copied, 2.0);
    }
    std::printf("\nReference data of 200,000 products handed over into a new database, alone in a process\n");
    PrintGoal("peak resident memory on SQLite", peaks.sqlite, "MB", 150.0);
    if (!peaks.serverSkipped.isEmpty())
        PrintSkipped("peak resident memory on PostgreSQL", qPrintable(peaks.serverSkipped));
    else
        PrintGoal("peak resident memory on PostgreSQL", peaks.server, "MB", 150.0);
}

} // namespace

#define SIZES ->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3)
BENCHMARK(BM_Export) SIZES;
BENCHMARK(BM_ImportEmpty) SIZES;
BENCHMARK(BM_ImportOverStored) SIZES;
BENCHMARK(BM_XmllintStream) SIZES;
BENCHMARK(BM_PlainInsert) SIZES;
#define LARGE ->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3)
BENCHMARK(BM_HostForecast) LARGE;
BENCHMARK(BM_HostNsi) LARGE;
BENCHMARK(BM_XmllintNsi) LARGE;
BENCHMARK(BM_PlainNsiInsert) LARGE;
BENCHMARK(BM_ImportServer)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_HostNsiServer)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);

// The hand-over of one received file into the database (kind "nsi" or "forecast"), or the forecast
// import alone (kind "import"), alone in this process: prints its peak resident memory in MB.
int HandOverAlone(const char* kind, const char* database, const char* file)
{
    DbConnectParams p;
    p.file = QString::fromLocal8Bit(database);
    Connect(p);
    Settings().EnableOpJournal = false;
    InstallTransportHost(g_session, &ImportForecastFile);
    AnswerEveryQuestionYes();
    const QString path = QString::fromLocal8Bit(file);
    if (std::strcmp(kind, "import") == 0 ? !ImportFile(path) : !HandOver(std::strcmp(kind, "nsi") == 0, path))
        return 1;
    GetDBConnection().Close();
    std::printf("%.1f\n", PeakResidentMb());
    return 0;
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--hand-over") == 0)
        return HandOverAlone(argv[2], argv[3], argv[4]);
    if (argc == 5 && std::strcmp(argv[1], "--nsi-alone") == 0)
        return NsiHandOverAlone(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);
    SetErrorSink([](const DbError& error) {
        ++g_errors;
        WriteErrorToStderr(error);
    });
    Settings().EnableOpJournal = false;
    InstallTransportHost(g_session, &ImportForecastFile);
    AnswerEveryQuestionYes();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    // The large import and each hand-over once more in a process of its own, as the program makes
    // it, for its peak memory: this process still holds what the measurements before left behind.
    CPair& large = WithFile(50000);
    const auto peakAlone = [&](const QString& kind) {
        const bool nsi = kind == QLatin1String("nsi");
        const QString file = nsi ? NsiFile(large) : large.file;
        Connect(nsi ? large.b : large.a);
        if (!nsi)
            ClearReceiver();
        GetDBConnection().Close();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--hand-over"), kind, nsi ? large.b.file : large.a.file, file});
        const bool done = child.waitForFinished(300000) && child.exitCode() == 0;
        return done ? QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() : -1.0;
    };
    const double peak = peakAlone(QStringLiteral("import"));
    const bool handOvers = reporter.Seconds("BM_HostForecast/50000/iterations:3") >= 0;
    const double forecastPeak = handOvers ? peakAlone(QStringLiteral("forecast")) : -1;
    const double nsiPeak = handOvers ? peakAlone(QStringLiteral("nsi")) : -1;
    std::printf("\nSummary (SQLite, file transport, check and consolidation excluded)\n");
    for (int m : {5000, 50000}) {
        const std::string arg = std::string("/").append(std::to_string(m)).append("/iterations:3");
        const double goal = m == 5000 ? 1.0 : 5.0;
        const double exp = reporter.Seconds("BM_Export" + arg);
        const double empty = reporter.Seconds("BM_ImportEmpty" + arg);
        const double over = reporter.Seconds("BM_ImportOverStored" + arg);
        const double lint = reporter.Seconds("BM_XmllintStream" + arg);
        const double insert = reporter.Seconds("BM_PlainInsert" + arg);
        if (exp < 0 && empty < 0 && over < 0)
            continue; // not among the runs chosen
        const std::string n = std::to_string(m) + " rows: ";
        PrintGoal((n + "export, rows loaded to file written").c_str(), exp, "s", goal);
        PrintGoal((n + "import into an empty receiver").c_str(), empty, "s", goal);
        PrintGoal((n + "import over stored rows").c_str(), over, "s", goal);
        PrintFigure((n + "xmllint --stream with the schema").c_str(), lint, "s");
        PrintFigure((n + "plain prepared insert in one transaction").c_str(), insert, "s");
        if (lint > 0 && insert > 0) {
            PrintRatio((n + "ratio import (empty) / (xmllint + insert)").c_str(), empty / (lint + insert),
                       m == 50000 ? 1.5 : 0.0);
            PrintRatio((n + "ratio import (over) / (xmllint + insert)").c_str(), over / (lint + insert));
        }
    }
    if (handOvers) {
        const std::string arg = "/50000/iterations:3";
        const double host = reporter.Seconds("BM_HostForecast" + arg);
        const double lint = reporter.Seconds("BM_XmllintStream" + arg);
        const double insert = reporter.Seconds("BM_PlainInsert" + arg);
        const double nsi = reporter.Seconds("BM_HostNsi" + arg);
        const double nsiLint = reporter.Seconds("BM_XmllintNsi" + arg);
        const double nsiInsert = reporter.Seconds("BM_PlainNsiInsert" + arg);
        std::printf("\nThrough the transport host's hand-over (50,000 products)\n");
        PrintGoal("received forecast handed over and stored", host, "s", 5.0);
        PrintGoal("peak resident memory of the forecast hand-over", forecastPeak, "MB", 150.0);
        if (lint > 0 && insert > 0)
            PrintRatio("ratio forecast hand-over / (xmllint + insert)", host / (lint + insert));
        PrintGoal("received reference data handed over and stored", nsi, "s", 5.0);
        PrintGoal("peak resident memory of the reference data hand-over", nsiPeak, "MB", 200.0);
        PrintFigure("reference data: xmllint --stream with the schema", nsiLint, "s");
        PrintFigure("reference data: plain prepared insert of products and prices", nsiInsert, "s");
        if (nsiLint > 0 && nsiInsert > 0)
            PrintRatio("ratio reference data hand-over / (xmllint + insert)", nsi / (nsiLint + nsiInsert));
        PrintFigure("reference data document size", QFileInfo(NsiFile(large)).size() / 1048576.0, "MB");
    }
    std::printf("\nPostgreSQL (50,000 rows into an empty receiver)\n");
    if (!g_server.reason.isEmpty()) {
        PrintSkipped("PostgreSQL", qPrintable(g_server.reason));
    } else {
        const double server = reporter.Seconds("BM_ImportServer/50000/iterations:4");
        double copied = g_copySeconds.empty() ? -1 : 0;
        for (double seconds : g_copySeconds)
            copied = copied < 0 || seconds < 0 ? -1 : copied + seconds / double(g_copySeconds.size());
        if (server >= 0)
            PrintGoal("import into an empty receiver", server, "s", 5.0);
        if (copied >= 0)
            PrintFigure("COPY of the same rows (psql \\copy), between the imports", copied, "s");
        if (server >= 0 && copied > 0)
            PrintRatio("ratio import / COPY", server / copied, 2.0);
    }
    if (reporter.Seconds("BM_HostNsi/50000/iterations:3") >= 0
        || reporter.Seconds("BM_HostNsiServer/50000/iterations:4") >= 0 || !g_serverB.reason.isEmpty())
        PrintNsiFigures(reporter, MeasureNsiPeaks());
    if (peak < 0)
        std::printf("the large import failed\n");
    PrintGoal("peak resident memory of the 50,000-row import", peak, "MB", 200.0);
    PrintFigure("peak memory of the whole run (ru_maxrss)", PeakMemoryMb(), "MB");
    if (g_errors)
        std::printf("%d database errors were reported\n", g_errors);
    g_pairs.clear();
    GetDBConnection().Close();
    if (!g_server.name.isEmpty())
        DropScratchPgDatabase(g_server.name);
    if (!g_serverB.name.isEmpty())
        DropScratchPgDatabase(g_serverB.name);
    return g_errors || peak < 0 ? 1 : 0;
}
