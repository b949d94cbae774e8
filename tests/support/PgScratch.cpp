#include "PgScratch.h"

#include "db/SqlScript.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <chrono>
#include <thread>

namespace {

// Opens a connection named `connection` to the database `name` as the administrator; the failure's
// text, or empty.
QString OpenAsAdmin(const QString& name, const QString& connection)
{
    const auto admin = PgAdminParams();
    if (!admin)
        return QStringLiteral("PostgreSQL test cluster is not running (PGHOST is not set)");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(admin->host);
    db.setPort(admin->port);
    db.setUserName(admin->user);
    db.setPassword(admin->password);
    db.setDatabaseName(name);
    return db.open() ? QString() : db.lastError().text();
}

// Runs `work` on a connection of its own to the database `name` as the administrator.
template <class Work>
QString WithAdmin(const QString& name, Work work)
{
    const QString connection = QStringLiteral("pgadmin_") + QUuid::createUuid().toString(QUuid::Id128);
    QString failure = OpenAsAdmin(name, connection);
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (failure.isEmpty())
            failure = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return failure;
}

QString Exec(QSqlQuery& q, const QString& sql)
{
    return q.exec(sql) ? QString() : sql + QStringLiteral(": ") + q.lastError().text();
}

// The template of the schema text, made under an advisory lock when it is missing.
QString EnsureTemplate(QSqlDatabase& admin, QString* name)
{
    const QString script = SchemaScript(SqlDialect::PostgreSQL);
    *name = QStringLiteral("lir_tmpl_")
        + QString::fromLatin1(QCryptographicHash::hash(script.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    QSqlQuery q(admin);
    if (QString failure = Exec(q, QStringLiteral("select pg_advisory_lock(4711)")); !failure.isEmpty())
        return failure;
    q.prepare(QStringLiteral("select 1 from pg_database where datname = ?"));
    q.addBindValue(*name);
    QString failure;
    if (!(q.exec() && q.next())) {
        failure = Exec(q, QStringLiteral("create database %1").arg(*name));
        if (failure.isEmpty())
            failure = WithAdmin(*name, [&](QSqlDatabase& db) {
                const auto failed = RunSqlScript(db, SqlDialect::PostgreSQL, script);
                return failed ? QStringLiteral("batch %1: %2").arg(failed->batch).arg(failed->error.text()) : QString();
            });
        if (!failure.isEmpty())
            q.exec(QStringLiteral("drop database if exists %1").arg(*name));
    }
    q.exec(QStringLiteral("select pg_advisory_unlock(4711)"));
    return failure;
}

} // namespace

std::optional<DbConnectParams> PgAdminParams()
{
    const QString host = qEnvironmentVariable("PGHOST");
    if (host.isEmpty())
        return std::nullopt;
    DbConnectParams p;
    p.dialect = SqlDialect::PostgreSQL;
    p.host = host;
    p.port = qEnvironmentVariableIntValue("PGPORT");
    if (p.port == 0)
        p.port = 5432;
    p.user = qEnvironmentVariable("PGUSER");
    p.password = qEnvironmentVariable("PGPASSWORD");
    p.dbName = QStringLiteral("postgres");
    return p;
}

QString CreateScratchPgDatabase(const QString& name)
{
    return WithAdmin(QStringLiteral("postgres"), [&](QSqlDatabase& db) {
        QString tmpl;
        if (QString failure = EnsureTemplate(db, &tmpl); !failure.isEmpty())
            return QStringLiteral("PostgreSQL schema: ") + failure;
        QSqlQuery q(db);
        if (QString failure = Exec(q, QStringLiteral("create database %1 template %2").arg(name, tmpl));
            !failure.isEmpty())
            return failure;
        // Database privileges are not copied from the template: each login is given CONNECT of its own.
        return Exec(q, QStringLiteral("revoke connect on database %1 from public").arg(name));
    });
}

void DropScratchPgDatabase(const QString& name)
{
    WithAdmin(QStringLiteral("postgres"), [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        return Exec(q, QStringLiteral("drop database if exists %1 with (force)").arg(name));
    });
}

QString ExecPgAsAdmin(const QString& name, const QString& sql)
{
    return WithAdmin(name, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        return Exec(q, sql);
    });
}

QString TerminateOnceWaiting(const QString& name, int pid, int ms)
{
    return WithAdmin(name, [&](QSqlDatabase& db) {
        QElapsedTimer clock;
        clock.start();
        QSqlQuery q(db);
        q.prepare(QStringLiteral("select exists (select 1 from pg_locks where pid = ? and not granted)"));
        while (clock.elapsed() < ms) {
            q.addBindValue(pid);
            if (!q.exec() || !q.next())
                return q.lastError().text();
            if (q.value(0).toBool())
                return Exec(q, QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return QStringLiteral("session %1 did not wait for a lock").arg(pid);
    });
}

CPgAdminSession::CPgAdminSession(const QString& name)
    : m_connection(QStringLiteral("pgsession_") + QUuid::createUuid().toString(QUuid::Id128))
{
    OpenAsAdmin(name, m_connection);
}

CPgAdminSession::~CPgAdminSession()
{
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString CPgAdminSession::exec(const QString& sql)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen())
        return db.lastError().text();
    QSqlQuery q(db);
    return Exec(q, sql);
}
