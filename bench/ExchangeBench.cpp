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

#include <sqlite3.h>
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
// xmllint's run over the file: its seconds, negative when it failed.
double XmllintOnce(const QString& schema, const QString& file)
{
    QElapsedTimer timer;
    timer.start();
    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"),
                  {QStringLiteral("--stream"), QStringLiteral("--noout"), QStringLiteral("--nonet"),
                   QStringLiteral("--schema"), schema, file});
    if (!xmllint.waitForFinished(120000) || xmllint.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

void Xmllint(benchmark::State& state, const QString& schema, const QString& file)
{
    for (auto _ : state)
        if (XmllintOnce(schema, file) < 0)
            state.SkipWithError("xmllint failed or is missing");
}

void BM_XmllintStream(benchmark::State& state)
{
    Xmllint(state, kSchema, WithFile(int(state.range(0))).file);
}

// The floor of the import's writes: the same rows, with the journal also their lines, by one insert
// prepared through SQLite's own interface (prepare, bind, step, reset) on a connection of its own to the
// same database, opened as the program opens it, in one transaction. The texts are made beforehand.
struct CPlainRow {
    std::int64_t keys[3];
    std::int64_t money[16];
    std::string base;
    std::int64_t method;
    std::string line;
};

std::vector<CPlainRow> PlainRows(const CTotalForecastList& rows, int receiver)
{
    std::vector<CPlainRow> plain;
    plain.reserve(rows.size());
    for (const CTotalForecastRecord& r : rows) {
        CPlainRow row{{r.prognoz, r.product, receiver}, {}, r.base.toStdString(), r.baseMethod, {}};
        int i = 0;
        for (const auto& m : kForecastMoneyColumns)
            row.money[i++] = (r.*m.field).raw();
        row.line = "Insert PrognozData; id=-1; prognoz=" + std::to_string(r.prognoz)
            + "; product=" + std::to_string(r.product) + "; receiver=" + std::to_string(receiver);
        plain.push_back(std::move(row));
    }
    return plain;
}

void SqliteExec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        Die(QString::fromUtf8(sqlite3_errmsg(db)));
}

sqlite3_stmt* SqlitePrepare(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
        Die(QString::fromUtf8(sqlite3_errmsg(db)));
    return statement;
}

void SqliteStep(sqlite3* db, sqlite3_stmt* statement)
{
    if (sqlite3_step(statement) != SQLITE_DONE)
        Die(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_reset(statement);
}

// A connection of the floor's own to the database file, opened as the program opens it.
sqlite3* OpenNative(const QString& file)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        Die(QStringLiteral("sqlite3_open_v2"));
    SqliteExec(db,
               "pragma foreign_keys=on; pragma journal_mode=wal; pragma synchronous=normal; "
               "pragma cache_size=-16384");
    return db;
}

// A's emptied receiver, on a connection of the floor's own.
sqlite3* OpenFloor(const CPair& p)
{
    Connect(p.a);
    ClearReceiver();
    Run(QStringLiteral("delete from tfctopjournal"));
    return OpenNative(p.a.file);
}

void BindText(sqlite3_stmt* statement, int column, const std::string& text)
{
    sqlite3_bind_text(statement, column, text.data(), int(text.size()), SQLITE_STATIC);
}

void InsertNative(sqlite3* db, const std::vector<CPlainRow>& rows, bool journal)
{
    SqliteExec(db, "begin immediate");
    sqlite3_stmt* insert = SqlitePrepare(
        db,
        QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, %1, comment, base, baseMethod) "
                       "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(ForecastFigureColumns()));
    for (const CPlainRow& row : rows) {
        int column = 0;
        for (std::int64_t key : row.keys)
            sqlite3_bind_int64(insert, ++column, key);
        for (std::int64_t money : row.money)
            sqlite3_bind_int64(insert, ++column, money);
        sqlite3_bind_text(insert, ++column, "", 0, SQLITE_STATIC);
        BindText(insert, ++column, row.base);
        sqlite3_bind_int64(insert, ++column, row.method);
        SqliteStep(db, insert);
    }
    sqlite3_finalize(insert);
    if (journal) {
        sqlite3_stmt* line = SqlitePrepare(
            db, QStringLiteral("insert into tFctOpJournal (Text, Date, Type, UserID) values (?, ?, 0, ?)"));
        sqlite3_bind_text(line, 2, "2026-12-10 12:00:00", -1, SQLITE_STATIC);
        sqlite3_bind_text(line, 3, "bench", -1, SQLITE_STATIC);
        for (const CPlainRow& row : rows) {
            BindText(line, 1, row.line);
            SqliteStep(db, line);
        }
        sqlite3_finalize(line);
    }
    SqliteExec(db, "commit");
}

// One run of the floor's insert: its seconds.
double TrueInsertOnce(const CPair& p, const std::vector<CPlainRow>& rows, bool journal)
{
    sqlite3* db = OpenFloor(p);
    QElapsedTimer timer;
    timer.start();
    InsertNative(db, rows, journal);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return seconds;
}

void TrueInsert(benchmark::State& state, bool journal)
{
    CPair& p = WithFile(int(state.range(0)));
    const std::vector<CPlainRow> rows = PlainRows(p.rows, kLowerInA);
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = OpenFloor(p);
        state.ResumeTiming();
        InsertNative(db, rows, journal);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
}

void BM_PlainInsert(benchmark::State& state)
{
    TrueInsert(state, false);
}

void BM_PlainInsertJournal(benchmark::State& state)
{
    TrueInsert(state, true);
}

// The floor's seconds (xmllint and the insert, with the journal's lines when on) of each run of
// BM_ImportInterleaved, by journal off (0) and on (1).
std::map<int, std::vector<double>> g_floorSeconds;

// The 50,000-row import into an empty receiver, each run after the floor's xmllint and insert timed
// on their own: on a shared machine both then meet the same load, and the ratio holds.
void BM_ImportInterleaved(benchmark::State& state)
{
    CPair& p = WithFile(int(state.range(0)));
    const bool journal = state.range(1) != 0;
    const std::vector<CPlainRow> rows = PlainRows(p.rows, kLowerInA);
    for (auto _ : state) {
        state.PauseTiming();
        const double lint = XmllintOnce(kSchema, p.file);
        const double insert = TrueInsertOnce(p, rows, journal);
        if (lint < 0)
            state.SkipWithError("xmllint failed or is missing");
        g_floorSeconds[journal ? 1 : 0].push_back(lint + insert);
        ClearReceiver();
        Run(QStringLiteral("delete from tfctopjournal"));
        Settings().EnableOpJournal = journal;
        state.ResumeTiming();
        const bool imported = ImportOnce(p);
        state.PauseTiming();
        Settings().EnableOpJournal = false;
        state.ResumeTiming();
        if (!imported)
            state.SkipWithError("import failed");
    }
}

// The import into an empty receiver with the operation journal on.
void BM_ImportEmptyJournal(benchmark::State& state)
{
    const CPair& p = WithFile(int(state.range(0)));
    Settings().EnableOpJournal = true;
    for (auto _ : state) {
        state.PauseTiming();
        ClearReceiver();
        Run(QStringLiteral("delete from tfctopjournal"));
        state.ResumeTiming();
        if (!ImportOnce(p))
            state.SkipWithError("import failed");
    }
    Settings().EnableOpJournal = false;
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

// The floor of the reference data: their products and prices by plain inserts prepared through
// SQLite's own interface (prepare once, bind, step, reset a row) in one transaction, on a connection
// of the floor's own. The texts are made beforehand.
struct CPlainProduct {
    int id, parent, isgroup, type, position, natural, price;
    std::string name, code, comment;
};

void BM_PlainNsiInsert(benchmark::State& state)
{
    CPair& p = Prepare(int(state.range(0)));
    static_cast<void>(NsiFile(p));
    Connect(p.b);
    const auto products = LoadProducts(kForecast);
    const auto prices = LoadPrices(SqlFilter(QStringLiteral("prognoz=?"), {kForecast}));
    if (!products || !prices)
        Die(QStringLiteral("cannot read B's products"));
    std::vector<CPlainProduct> plain;
    plain.reserve(products->size());
    for (const CProductRecord& r : *products)
        plain.push_back({r.id, r.parent, r.isgroup, r.type, r.position, r.measurementNatural, r.measurementPrice,
                         r.name.toStdString(), r.code.toStdString(), r.comment.toStdString()});
    constexpr int kOther = 99;
    Run(QStringLiteral("insert or ignore into tfctprognoz (id, name, year, owner, ownerName, status) "
                       "values (99, 'Копия', 2013, -20, 'Минфин', 1)"));
    for (auto _ : state) {
        state.PauseTiming();
        Run(QStringLiteral("delete from tfctprice where prognoz = 99"));
        Run(QStringLiteral("delete from tclsproduct where prognoz = 99"));
        sqlite3* db = OpenNative(p.b.file);
        state.ResumeTiming();
        SqliteExec(db, "begin immediate");
        sqlite3_stmt* product =
            SqlitePrepare(db,
                          QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, "
                                         "type, position, comment, measurementNatural, measurementPrice) "
                                         "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const CPlainProduct& r : plain) {
            sqlite3_bind_int(product, 1, kOther);
            sqlite3_bind_int(product, 2, r.id);
            sqlite3_bind_int(product, 3, r.parent);
            BindText(product, 4, r.name);
            BindText(product, 5, r.code);
            sqlite3_bind_int(product, 6, r.isgroup);
            sqlite3_bind_int(product, 7, r.type);
            sqlite3_bind_int(product, 8, r.position);
            BindText(product, 9, r.comment);
            sqlite3_bind_int(product, 10, r.natural);
            sqlite3_bind_int(product, 11, r.price);
            SqliteStep(db, product);
        }
        sqlite3_finalize(product);
        sqlite3_stmt* price =
            SqlitePrepare(db,
                          QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) "
                                         "values (?, ?, ?, ?, ?)"));
        for (const CPriceRecord& r : *prices) {
            sqlite3_bind_int(price, 1, kOther);
            sqlite3_bind_int(price, 2, r.product);
            sqlite3_bind_int64(price, 3, r.pricePrev.raw());
            sqlite3_bind_int64(price, 4, r.priceCur.raw());
            sqlite3_bind_int64(price, 5, r.priceNext.raw());
            SqliteStep(db, price);
        }
        sqlite3_finalize(price);
        SqliteExec(db, "commit");
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
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
BENCHMARK(BM_ImportEmptyJournal)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainInsertJournal)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ImportInterleaved)->Args({50000, 0})->Args({50000, 1})->Unit(benchmark::kMillisecond)->Iterations(5);
#define LARGE ->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3)
BENCHMARK(BM_HostForecast) LARGE;
BENCHMARK(BM_HostNsi) LARGE;
BENCHMARK(BM_XmllintNsi) LARGE;
BENCHMARK(BM_PlainNsiInsert) LARGE;
BENCHMARK(BM_ImportServer)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_HostNsiServer)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(4);

// ---- the hand-over of a 1,000,000-row forecast, for its peak memory alone

constexpr int kHugeRows = 1000000;

struct CHugeForecast {
    bool tried = false;
    std::unique_ptr<QTemporaryDir> dir;
    DbConnectParams sqlite;
    QString file;
    QString server; // A's database on the server, empty without one
    QString serverReason;
};
CHugeForecast g_huge;

// A's organisation with every product of the document, on the connected database: a small generated
// one, the other products below its top group by one statement.
bool HugeUpper(int lastProduct, QString* error)
{
    const auto g = GenerateUpperOrganisation({kForecast, 110, 1}, error);
    if (!g)
        return false;
    SeedImportEventTypes();
    CSqlQuery q(
        QStringLiteral("with recursive n(i) as (select cast(? as int) union all select i + 1 from n where i < ?) "
                       "insert into tclsproduct (prognoz, id, parent, name, code, isgroup, type, position) "
                       "select ?, i, ?, 'Продукт', '', 0, 1, 0 from n "
                       "where i not in (select id from tclsproduct where prognoz = ?)"));
    q.bind(CGeneratedForecast::ProductId(kForecast, 0)).bind(lastProduct).bind(kForecast).bind(g->topProduct);
    q.bind(kForecast);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    QSqlQuery analyze(GetDBConnection().GetConnection());
    if (!analyze.exec(QStringLiteral("analyze"))) {
        *error = analyze.lastError().text();
        return false;
    }
    return true;
}

// Made once: A on SQLite and on the server, and the document B sends with a row for each product.
CHugeForecast& HugeForecast()
{
    CHugeForecast& h = g_huge;
    if (h.tried)
        return h;
    h.tried = true;
    std::printf("generating A and the document of %d rows...\n", kHugeRows);
    std::fflush(stdout);
    h.dir = std::make_unique<QTemporaryDir>();
    h.sqlite = Database(*h.dir);
    Connect(h.sqlite);
    CGeneratedForecast products;
    for (int i = 0; i < kHugeRows; ++i)
        products.leafProducts.push_back(CGeneratedForecast::ProductId(kForecast, i));
    QString error;
    if (!HugeUpper(products.leafProducts.back(), &error))
        Die(error);
    h.file = h.dir->filePath(QStringLiteral("huge.xml"));
    if (!WriteForecastDocument({kUpperInA, kLowerInA, QStringLiteral("upper@example.org"), kSubReceivers},
                               ExchangeTotals({kForecast, kHugeRows, 1}, products), h.file))
        Die(QStringLiteral("cannot write ") + h.file);
    GetDBConnection().Close();
    const auto admin = PgAdminParams();
    if (!admin) {
        h.serverReason = QStringLiteral("no PostgreSQL test cluster (PGHOST is not set)");
        return h;
    }
    const QString name = QStringLiteral("lir_bench_exchange_huge_%1").arg(getpid());
    if (const QString failure = CreateScratchPgDatabase(name); !failure.isEmpty()) {
        h.serverReason = failure;
        return h;
    }
    h.server = name;
    DbConnectParams server = *admin;
    server.dbName = name;
    Connect(server);
    if (!HugeUpper(products.leafProducts.back(), &error))
        h.serverReason = error;
    GetDBConnection().Close();
    return h;
}

// The peak resident memory in MB of one hand-over in a process of its own (`database` a SQLite file or
// "postgresql:" and a database of the test cluster); negative when it failed.
double PeakOfHandOver(const QString& kind, const QString& database, const QString& file)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hand-over"), kind, database, file});
    const bool done = child.waitForFinished(1800000) && child.exitCode() == 0;
    if (!done)
        std::fprintf(stderr, "%s\n", child.readAllStandardError().constData());
    return done ? QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble() : -1.0;
}

// The peak of the hand-over into `params` (negative when it failed or stored other than every row).
double HugePeak(const DbConnectParams& params, const QString& database)
{
    const double peak = PeakOfHandOver(QStringLiteral("forecast"), database, g_huge.file);
    Connect(params);
    CSqlQuery q(QStringLiteral("select count(*) from tfctprognozdata where receiver = ?"));
    q.bind(kLowerInA);
    const qlonglong stored = q.exec() && q.next() ? q.value(0).toLongLong() : -1;
    GetDBConnection().Close();
    if (stored != kHugeRows)
        std::printf("the hand-over stored %lld rows of %d\n", stored, kHugeRows);
    return stored == kHugeRows ? peak : -1;
}

void PrintHugeHandOver()
{
    CHugeForecast& h = HugeForecast();
    std::printf("\nThrough the transport host's hand-over (%d rows, a process of its own)\n", kHugeRows);
    PrintFigure("forecast document size", QFileInfo(h.file).size() / 1048576.0, "MB");
    QElapsedTimer timer;
    timer.start();
    const double sqlite = HugePeak(h.sqlite, h.sqlite.file);
    PrintFigure("SQLite: hand-over with its process", double(timer.nsecsElapsed()) / 1e9, "s");
    PrintGoal("SQLite: peak resident memory of the forecast hand-over", sqlite, "MB", 150.0);
    if (!h.serverReason.isEmpty()) {
        PrintSkipped("PostgreSQL: peak resident memory of the forecast hand-over", qPrintable(h.serverReason));
        return;
    }
    timer.restart();
    DbConnectParams params = *PgAdminParams();
    params.dbName = h.server;
    const double server = HugePeak(params, QStringLiteral("postgresql:") + h.server);
    PrintFigure("PostgreSQL: hand-over with its process", double(timer.nsecsElapsed()) / 1e9, "s");
    PrintGoal("PostgreSQL: peak resident memory of the forecast hand-over", server, "MB", 150.0);
}

// The connection a hand-over alone opens: a SQLite file, or "postgresql:" and a database of the test
// cluster.
DbConnectParams HandOverDatabase(const char* database)
{
    const QString text = QString::fromLocal8Bit(database);
    DbConnectParams p;
    if (!text.startsWith(QLatin1String("postgresql:"))) {
        p.file = text;
        return p;
    }
    const auto admin = PgAdminParams();
    if (!admin)
        Die(QStringLiteral("no PostgreSQL test cluster"));
    p = *admin;
    p.dbName = text.mid(11);
    return p;
}

// The 50,000-row import with the operation journal on, against the same floor with and without the
// journal's lines.
void PrintJournalImport(CSummaryReporter& reporter)
{
    const std::string arg = "/50000/iterations:3";
    const double import = reporter.Seconds("BM_ImportEmptyJournal" + arg);
    const double lint = reporter.Seconds("BM_XmllintStream" + arg);
    const double insert = reporter.Seconds("BM_PlainInsert" + arg);
    const double withLines = reporter.Seconds("BM_PlainInsertJournal" + arg);
    for (int on : {0, 1}) {
        const auto& floors = g_floorSeconds[on];
        const double interleaved =
            reporter.Seconds("BM_ImportInterleaved/50000/" + std::to_string(on) + "/iterations:5");
        if (floors.empty() || interleaved < 0)
            continue;
        double floor = 0;
        for (double seconds : floors)
            floor += seconds / double(floors.size());
        std::printf("\nInterleaved with its floor (50,000 rows into an empty receiver, journal %s)\n",
                    on ? "on" : "off");
        PrintGoal("import into an empty receiver", interleaved, "s", 5.0);
        PrintFigure(on ? "xmllint + insert of the rows and their journal lines, between the imports"
                       : "xmllint + insert of the rows, between the imports",
                    floor, "s");
        PrintRatio("ratio import / (xmllint + insert)", interleaved / floor, 1.5);
    }
    if (import < 0)
        return;
    std::printf("\nWith the operation journal on (50,000 rows into an empty receiver)\n");
    PrintGoal("import into an empty receiver, journal on", import, "s", 5.0);
    PrintFigure("plain prepared insert of the rows and their journal lines (SQLite's interface)", withLines, "s");
    if (lint > 0 && insert > 0)
        PrintRatio("ratio import (journal on) / (xmllint + insert of the rows)", import / (lint + insert), 1.5);
    if (lint > 0 && withLines > 0)
        PrintRatio("ratio import (journal on) / (xmllint + insert of the rows and lines)", import / (lint + withLines),
                   1.5);
}

// The hand-over of one received file into the database (kind "nsi" or "forecast"), or the forecast
// import alone (kind "import"), alone in this process: prints its peak resident memory in MB.
int HandOverAlone(const char* kind, const char* database, const char* file)
{
    Connect(HandOverDatabase(database));
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
        PrintFigure((n + "plain prepared insert in one transaction (SQLite's interface)").c_str(), insert, "s");
        if (lint > 0 && insert > 0) {
            // Timed minutes apart from their floor: the goal is judged where the floor runs between
            // the imports (PrintJournalImport), as this machine's speed drifts between the two.
            PrintRatio((n + "ratio import (empty) / (xmllint + insert)").c_str(), empty / (lint + insert));
            PrintRatio((n + "ratio import (over) / (xmllint + insert)").c_str(), over / (lint + insert));
        }
    }
    PrintJournalImport(reporter);
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
        PrintFigure("reference data: plain prepared insert of products and prices (SQLite's interface)", nsiInsert,
                    "s");
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
    if (handOvers)
        PrintHugeHandOver();
    PrintFigure("peak memory of the whole run (ru_maxrss)", PeakMemoryMb(), "MB");
    if (g_errors)
        std::printf("%d database errors were reported\n", g_errors);
    g_pairs.clear();
    GetDBConnection().Close();
    if (!g_server.name.isEmpty())
        DropScratchPgDatabase(g_server.name);
    if (!g_serverB.name.isEmpty())
        DropScratchPgDatabase(g_serverB.name);
    if (!g_huge.server.isEmpty())
        DropScratchPgDatabase(g_huge.server);
    g_huge.dir.reset();
    return g_errors || peak < 0 ? 1 : 0;
}
