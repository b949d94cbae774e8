#include "DbPreparer.h"

#include "AppMessage.h"
#include "ErrorSink.h"
#include "PrepScripts.h"
#include "PrepTexts.h"
#include "db/DbSetup.h"
#include "db/SqlScript.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <algorithm>

namespace {

// Every table of the program at once, before anything changes. Views and sequences are not taken
// (a view's lock reaches every table under it, the catalogs too): while another session still uses
// one, the try ends as a lock wait does.
const QString kTakeTables = QStringLiteral(R"(DO $$
DECLARE
    v_tables text;
BEGIN
    SELECT string_agg(c.oid::regclass::text, ', ' ORDER BY c.oid) INTO v_tables
      FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace AND n.nspname IN ('public', 'lir_private')
     WHERE c.relkind IN ('r', 'p');
    IF v_tables IS NOT NULL THEN
        EXECUTE 'LOCK TABLE ' || v_tables || ' IN ACCESS EXCLUSIVE MODE';
    END IF;
    IF EXISTS (SELECT 1 FROM pg_locks l JOIN pg_class c ON c.oid = l.relation
                 JOIN pg_namespace n ON n.oid = c.relnamespace AND n.nspname IN ('public', 'lir_private')
                WHERE l.locktype = 'relation' AND l.granted AND l.pid <> pg_backend_pid()
                  AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database())) THEN
        RAISE EXCEPTION 'the program''s views or sequences are in use' USING ERRCODE = 'lock_not_available';
    END IF;
END
$$
GO
)");

// A failed connection as the program's "Соединение" explains it: the reason, then the driver's words.
DbError ConnectError(const DbConnectParams& p, const QSqlError& e)
{
    CDbSetupSettings s;
    s.sql = p.dialect == SqlDialect::PostgreSQL ? 1 : 0;
    s.dbFile = p.file;
    s.hostName = p.host;
    s.port = p.port;
    s.dbName = p.dbName;
    s.userName = p.user;
    s.password = p.password;
    s.useWindowsAuth = p.osAuth;
    // On a server a login of libpq's own tells the cause by the server's code, in whatever language
    // the server and libpq speak.
    if (s.sql == 1)
        if (const DbError failed = s.OpenAccessDatabase(); Failed(failed))
            return failed;
    return s.ConnectFailure(e);
}

} // namespace

CDbPreparer::CDbPreparer() = default;

CDbPreparer::~CDbPreparer()
{
    for (const QString& name : m_connections) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

int CDbPreparer::Run(bool isSql, const QString& server, const QString& login, const QString& password, int windowsAuth,
                     const QString& folder)
{
    m_isSql = isSql;
    m_server = server;
    m_login = login;
    m_password = password;
    m_windowsAuth = windowsAuth != 0;
    m_folder = folder;
    m_mdbPath = folder + QStringLiteral("LIR.db");
    m_target = m_mdbPath;
    m_targetFolder = folder;
    m_tablesLeft.clear();
    m_oldNames.clear();
    m_oldColumns.clear();
    m_left.clear();
    m_repaired.clear();
    return isSql ? RunServer() : RunFile();
}

DbConnectParams CDbPreparer::ServerParams(const QString& dbName) const
{
    DbConnectParams p;
    p.dialect = SqlDialect::PostgreSQL;
    p.host = m_server;
    p.port = m_port;
    p.dbName = dbName;
    p.user = m_login;
    p.password = m_password;
    p.osAuth = m_windowsAuth;
    return p;
}

bool CDbPreparer::Open(const DbConnectParams& params, QSqlDatabase* db)
{
    const QString name = QStringLiteral("bastrel_") + QUuid::createUuid().toString(QUuid::Id128);
    if (const auto error = OpenDatabase(params, name, OpenPurpose::Probe)) {
        QSqlDatabase::removeDatabase(name);
        ReportComError(ConnectError(params, *error));
        return false;
    }
    m_connections << name;
    *db = QSqlDatabase::database(name, false);
    // The database's limits on stalled sessions are not for a preparation: an upgrade of a large
    // database runs long statements in one transaction. Lock waits keep the program's limit.
    return params.dialect != SqlDialect::PostgreSQL
        || RunStatement(*db,
                        QStringLiteral("select set_config('statement_timeout', '0', false), "
                                       "set_config('idle_in_transaction_session_timeout', '0', false)"));
}

void CDbPreparer::Drop(QSqlDatabase& db)
{
    const QString name = db.connectionName();
    if (db.isOpen())
        db.close();
    db = QSqlDatabase();
    m_connections.removeAll(name);
    QSqlDatabase::removeDatabase(name);
}

int CDbPreparer::RunServer()
{
    // The name goes into CREATE DATABASE: only a plain lower-case identifier is taken.
    static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    if (!plain.match(m_dbName).hasMatch()) {
        AppMessageBox(PrepTexts::kBadDbName.arg(m_dbName), MB_OK | MB_ICONHAND);
        return 0;
    }
    QSqlDatabase maintenance;
    if (!Open(ServerParams(QStringLiteral("postgres")), &maintenance))
        return 0;
    QSqlQuery q(maintenance);
    // Databases, roles and rights are made: only a superuser may.
    if (!q.exec(QStringLiteral("select session_user, current_setting('is_superuser')")) || !q.next()) {
        ReportComError(q.lastError());
        return 0;
    }
    if (q.value(1).toString() != u"on") {
        AppMessageBox(PrepTexts::kNoServerRights.arg(q.value(0).toString(), m_server), MB_OK | MB_ICONHAND);
        return 0;
    }
    // One preparation of a database at a time; the lock goes with this session.
    q.prepare(QStringLiteral("select pg_try_advisory_lock(?, hashtext(?))"));
    q.addBindValue(kServerLockClass);
    q.addBindValue(m_dbName);
    if (!q.exec() || !q.next()) {
        ReportComError(q.lastError());
        return 0;
    }
    if (!q.value(0).toBool()) {
        AppMessageBox(PrepTexts::kServerPrepRunning.arg(m_dbName, m_server), MB_OK | MB_ICONHAND);
        return 0;
    }
    q.prepare(QStringLiteral("select 1 from pg_database where datname = ?"));
    q.addBindValue(m_dbName);
    if (!q.exec()) {
        ReportComError(q.lastError());
        return 0;
    }
    const bool exists = q.next();
    q.finish();
    const int result = exists ? UpgradeServerDatabase() : CreateServerDatabase(maintenance);
    Drop(maintenance);
    if (result) {
        QString text = PrepTexts::kChangePassword.arg(m_dbName, kAdminLogin, kAdminPassword);
        if (!m_repaired.isEmpty())
            text += QStringLiteral("\n\n") + m_repaired;
        AppMessageBox(text, MB_OK | MB_ICONINFORMATION);
    }
    return result;
}

int CDbPreparer::CreateServerDatabase(QSqlDatabase& maintenance)
{
    const QString schema = SchemaScript(SqlDialect::PostgreSQL);
    const QString admin = LoadPrepScript(kAdministratorScript);
    if (schema.isEmpty() || admin.isEmpty())
        return 0;
    if (!RunStatement(maintenance,
                      QStringLiteral("CREATE DATABASE %1 ENCODING 'UTF8' TEMPLATE template0").arg(m_dbName)))
        return 0;
    QSqlDatabase db;
    bool ok = Open(ServerParams(m_dbName), &db);
    if (ok) {
        ok = db.transaction();
        if (!ok)
            ReportComError(db.lastError());
        ok = ok && RunPieces(db, SqlDialect::PostgreSQL, schema) && RunPieces(db, SqlDialect::PostgreSQL, admin)
            && RunPieces(db, SqlDialect::PostgreSQL, kStampScript);
        if (ok && !db.commit()) {
            ReportComError(db.lastError());
            ok = false;
        }
        Drop(db);
    }
    // A database this run made and could not fill is not left behind.
    if (!ok)
        RunStatement(maintenance, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_dbName));
    return ok ? 1 : 0;
}

int CDbPreparer::UpgradeServerDatabase()
{
    const SchemaParts schema = SplitSchema(SchemaScript(SqlDialect::PostgreSQL));
    const QString upgrade = LoadPrepScript(kUpgradeScript);
    const QString admin = LoadPrepScript(kAdministratorScript);
    const QString units = LoadPrepScript(kUnitsScript);
    if (upgrade.isEmpty() || admin.isEmpty() || units.isEmpty())
        return 0;
    // The upgrade up to its keys, and from its keys on.
    const SchemaParts steps = SplitAtLine(upgrade, kConstraintsMarker);
    for (const auto& [part, marker] :
         {std::pair{schema.objects, kObjectsMarker}, {steps.objects, kConstraintsMarker}}) {
        if (part.isEmpty()) {
            AppMessageBox(PrepTexts::kNoScript.arg(marker), MB_OK | MB_ICONHAND);
            return 0;
        }
    }
    QSqlDatabase db;
    if (!Open(ServerParams(m_dbName), &db))
        return 0;
    // The upgrade compares the database with the schema's own tables, made for the run in a schema
    // of their own and gone with it.
    const QString reference = QStringLiteral("DROP SCHEMA IF EXISTS lir_ref CASCADE\nGO\nCREATE SCHEMA lir_ref\nGO\n"
                                             "SET LOCAL search_path = lir_ref\nGO\n")
        + schema.tables + QStringLiteral("\nGO\nSET LOCAL search_path TO DEFAULT\nGO\n");
    const QStringList before{kTakeTables, reference, steps.tables};
    const QStringList after{steps.objects, QStringLiteral("DROP SCHEMA lir_ref CASCADE\nGO\n"), schema.objects, admin,
                            units};
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QString started;
        const UpgradeTry result = TryServerUpgrade(db, before, after, &started);
        if (result != UpgradeTry::Busy) {
            if (m_status)
                m_status(QString());
            Drop(db);
            return result == UpgradeTry::Done ? 1 : 0;
        }
        const qint64 left = m_tablesWaitMs - waited.elapsed();
        if (left <= 0) {
            if (m_status)
                m_status(QString());
            QStringList sessions = BusySessions(db, started);
            if (sessions.isEmpty())
                sessions << PrepTexts::kBusyNoSession;
            AppMessageBox(PrepTexts::kTablesBusy.arg(m_dbName, m_server, sessions.join(u'\n')), MB_OK | MB_ICONHAND);
            Drop(db);
            return 0;
        }
        if (m_status)
            m_status(PrepTexts::kTablesWait.arg((left + 999) / 1000));
        QThread::msleep(std::min<qint64>(kLockPauseMs, left));
    }
}

CDbPreparer::UpgradeTry CDbPreparer::TryServerUpgrade(QSqlDatabase& db, const QStringList& before,
                                                      const QStringList& after, QString* started)
{
    if (!db.transaction()) {
        ReportComError(db.lastError());
        return UpgradeTry::Failed;
    }
    QSqlQuery q(db);
    // Short waits for this transaction alone. The quick look for deadlocks also makes autovacuum
    // give up a table the upgrade waits for.
    q.prepare(QStringLiteral("select now()::text, set_config('lock_timeout', ?, true), "
                             "set_config('deadlock_timeout', ?, true)"));
    q.addBindValue(QStringLiteral("%1ms").arg(kLockTryMs));
    q.addBindValue(QStringLiteral("%1ms").arg(kLockTryMs / 3));
    bool ok = q.exec() && q.next();
    if (ok)
        *started = q.value(0).toString();
    else
        ReportComError(q.lastError());
    q.finish();
    QSqlError busy;
    const auto run = [&](const QStringList& scripts) {
        for (const QString& script : scripts)
            if (!RunPieces(db, SqlDialect::PostgreSQL, script, &busy))
                return false;
        return true;
    };
    ok = ok && run(before) && NoBrokenServerReferences(db) && run(after);
    if (ok)
        m_repaired = RepairedText(db, &ok);
    ok = ok && run({kStampScript});
    if (ok && !db.commit()) {
        ReportComError(db.lastError());
        ok = false;
    }
    if (ok)
        return UpgradeTry::Done;
    db.rollback();
    return busy.type() != QSqlError::NoError ? UpgradeTry::Busy : UpgradeTry::Failed;
}

QStringList CDbPreparer::BusySessions(QSqlDatabase& db, const QString& since)
{
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("select a.pid, coalesce(a.usename::text, a.backend_type), coalesce(a.application_name, ''), "
                       "extract(epoch from coalesce(a.xact_start, a.backend_start))::float8 from pg_stat_activity a "
                       "where a.pid <> pg_backend_pid() and coalesce(a.xact_start, a.backend_start) < ?::timestamptz "
                       "and exists (select 1 from pg_locks l join pg_class c on c.oid = l.relation "
                       "join pg_namespace n on n.oid = c.relnamespace and n.nspname in ('public', 'lir_private') "
                       "where l.pid = a.pid and l.granted and l.locktype = 'relation' "
                       "and l.database = (select oid from pg_database where datname = current_database())) "
                       "order by 4, 1"));
    q.addBindValue(since);
    QStringList lines;
    if (!q.exec()) {
        ReportComError(q.lastError());
        return lines;
    }
    while (q.next()) {
        const QString program = q.value(2).toString();
        const QDateTime from = QDateTime::fromMSecsSinceEpoch(qint64(q.value(3).toDouble() * 1000));
        lines << PrepTexts::kBusySession.arg(q.value(0).toString(), q.value(1).toString(),
                                             program.isEmpty() ? PrepTexts::kNoProgramName : program,
                                             from.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    }
    return lines;
}

QString CDbPreparer::RepairedText(QSqlDatabase& db, bool* ok)
{
    QSqlQuery q(db);
    *ok = q.exec(QStringLiteral("select count(*) filter (where kind = 'sequence'), "
                                "string_agg(what, ', ' order by what) filter (where kind = 'sequence'), "
                                "coalesce(sum(n) filter (where kind = 'large object'), 0) from lir_repaired"))
        && q.next();
    if (!*ok) {
        ReportComError(q.lastError());
        return QString();
    }
    QStringList lines;
    if (const qlonglong sequences = q.value(0).toLongLong(); sequences > 0)
        lines << PrepTexts::kRepairedSequences.arg(QString::number(sequences), q.value(1).toString());
    if (const qlonglong objects = q.value(2).toLongLong(); objects > 0)
        lines << PrepTexts::kRemovedLargeObjects.arg(objects);
    return lines.isEmpty() ? QString() : PrepTexts::kRepaired.arg(lines.join(u'\n'));
}

bool CDbPreparer::NoBrokenServerReferences(QSqlDatabase& db)
{
    QSqlQuery q(db);
    // Names and values are integers and plain identifiers: joined by commas, they come back whole.
    if (!q.exec(QStringLiteral("select tab, array_to_string(key_names, ','), array_to_string(key_values, ',', 'NULL'), "
                               "array_to_string(from_names, ','), parent, array_to_string(ref_names, ','), "
                               "array_to_string(ref_values, ',', 'NULL'), total from lir_ref.broken_references()"))) {
        ReportComError(q.lastError());
        return false;
    }
    const auto list = [](const QVariant& v) { return v.toString().split(u','); };
    std::vector<BrokenReferences> broken;
    while (q.next()) {
        const QString table = q.value(0).toString();
        const QStringList fromNames = list(q.value(3));
        // The rows of one key come together.
        if (broken.empty() || broken.back().table != table || broken.back().fromNames != fromNames) {
            BrokenReferences b;
            b.table = table;
            b.keyNames = list(q.value(1));
            b.fromNames = fromNames;
            b.parent = q.value(4).toString();
            b.refNames = list(q.value(5));
            b.total = q.value(7).toLongLong();
            broken.push_back(std::move(b));
        }
        broken.back().rows.push_back({list(q.value(2)), list(q.value(6))});
    }
    q.finish();
    if (broken.empty())
        return true;
    AppMessageBox(BrokenReferencesText(broken, PrepTexts::kMendOnServer.arg(m_dbName, m_server)), MB_OK | MB_ICONHAND);
    return false;
}
