#include "DbTest.h"

#include "Settings.h"
#include "db/SqlQuery.h"
#include "db/SqlScript.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<int> g_dbCounter{0};

QSqlDatabase AdminDb(const QString& name, const DbConnectParams& p)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(p.host);
    db.setPort(p.port);
    db.setUserName(p.user);
    db.setPassword(p.password);
    db.setDatabaseName(p.dbName);
    return db;
}

// One template database per schema text, built once for the whole cluster under an advisory lock.
QString EnsurePgTemplate(QSqlDatabase& admin)
{
    const QString script = SchemaScript(SqlDialect::PostgreSQL);
    const QString name = QStringLiteral("lir_tmpl_")
        + QString::fromLatin1(QCryptographicHash::hash(script.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
    QSqlQuery q(admin);
    EXPECT_TRUE(q.exec(QStringLiteral("select pg_advisory_lock(4711)"))) << q.lastError().text().toStdString();
    q.prepare(QStringLiteral("select 1 from pg_database where datname = ?"));
    q.addBindValue(name);
    const bool exists = q.exec() && q.next();
    if (!exists) {
        EXPECT_TRUE(q.exec(QStringLiteral("create database %1").arg(name))) << q.lastError().text().toStdString();
        const QString conn = QStringLiteral("tmpl_") + QUuid::createUuid().toString(QUuid::Id128);
        bool ok = false;
        QString failure;
        {
            auto p = *PgAdminParams();
            p.dbName = name;
            QSqlDatabase db = AdminDb(conn, p);
            if (db.open()) {
                const auto failed = RunSqlScript(db, SqlDialect::PostgreSQL, script);
                ok = !failed;
                if (failed)
                    failure = QStringLiteral("batch %1: %2").arg(failed->batch).arg(failed->error.text());
                db.close();
            } else {
                failure = db.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(conn);
        if (!ok) {
            q.exec(QStringLiteral("drop database if exists %1").arg(name));
            ADD_FAILURE() << "PostgreSQL schema: " << failure.toStdString();
        }
    }
    q.exec(QStringLiteral("select pg_advisory_unlock(4711)"));
    return name;
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

std::string DialectName(const ::testing::TestParamInfo<SqlDialect>& info)
{
    return info.param == SqlDialect::PostgreSQL ? "PostgreSQL" : "SQLite";
}

void DbTest::SetUp()
{
    TempHomeTest::SetUp();
    CSettings& s = Settings();
    s.EnableOpJournal = false;
    s.Transport = QStringLiteral("File");

    if (dialect() == SqlDialect::SQLite) {
        m_params.dialect = SqlDialect::SQLite;
        m_params.file = home() + QStringLiteral("LIR.db");
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), m_params.file))
            << "the template database is built with the project";
        QFile::setPermissions(m_params.file, QFile::ReadOwner | QFile::WriteOwner);
    } else {
        auto admin = PgAdminParams();
        if (!admin)
            GTEST_SKIP() << "PostgreSQL test cluster is not running (PGHOST is not set)";
        const QString conn = QStringLiteral("admin_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = AdminDb(conn, *admin);
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            const QString tmpl = EnsurePgTemplate(db);
            m_pgDatabase = QStringLiteral("lir_t%1_%2").arg(getpid()).arg(++g_dbCounter);
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("create database %1 template %2").arg(m_pgDatabase, tmpl)))
                << q.lastError().text().toStdString();
            // Database privileges are not copied from the template: each login is given CONNECT of its own.
            ASSERT_TRUE(q.exec(QStringLiteral("revoke connect on database %1 from public").arg(m_pgDatabase)));
            db.close();
        }
        QSqlDatabase::removeDatabase(conn);
        m_params = *admin;
        m_params.dbName = m_pgDatabase;
    }
    ASSERT_TRUE(GetDBConnection().ConnectWith(m_params));
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
}

void DbTest::TearDown()
{
    GetDBConnection().Close();
    if (!m_pgDatabase.isEmpty()) {
        const QString conn = QStringLiteral("drop_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = AdminDb(conn, *PgAdminParams());
            if (db.open()) {
                QSqlQuery q(db);
                q.exec(QStringLiteral("drop database if exists %1 with (force)").arg(m_pgDatabase));
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(conn);
    }
    Settings().EnableOpJournal = false;
    TempHomeTest::TearDown();
}

void DbTest::Exec(const QString& sql, const QVariantList& args)
{
    CSqlQuery q(sql);
    q.bindAll(args);
    ASSERT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QVariant DbTest::Scalar(const QString& sql, const QVariantList& args)
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec()) {
        ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return QVariant();
    }
    return q.next() ? q.value(0) : QVariant();
}

qlonglong DbTest::Count(const QString& table, const QString& where, const QVariantList& args)
{
    return Scalar(QStringLiteral("select count(*) from ") + table
                      + (where.isEmpty() ? QString() : QStringLiteral(" where ") + where),
                  args)
        .toLongLong();
}

void DbTest::ExecAsAdmin(const QString& sql)
{
    ASSERT_FALSE(m_pgDatabase.isEmpty());
    const QString conn = QStringLiteral("exec_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        DbConnectParams p = *PgAdminParams();
        p.dbName = m_pgDatabase;
        QSqlDatabase db = AdminDb(conn, p);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

void DbTest::SetJournal(bool on)
{
    Settings().EnableOpJournal = on;
}

QStringList DbTest::JournalTexts()
{
    QStringList out;
    CSqlQuery q(QStringLiteral("select Text from tFctOpJournal order by id"));
    if (q.exec())
        while (q.next())
            out << q.value(0).toString();
    return out;
}
