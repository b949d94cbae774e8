#include "DbTest.h"

#include "Settings.h"
#include "db/SqlQuery.h"

#include <QFile>

#include <atomic>
#include <unistd.h>

namespace {

std::atomic<int> g_dbCounter{0};

} // namespace

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
        m_pgDatabase = QStringLiteral("lir_t%1_%2").arg(getpid()).arg(++g_dbCounter);
        const QString failure = CreateScratchPgDatabase(m_pgDatabase);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
        m_params = *admin;
        m_params.dbName = m_pgDatabase;
    }
    ASSERT_TRUE(GetDBConnection().ConnectWith(m_params));
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
}

void DbTest::TearDown()
{
    GetDBConnection().Close();
    if (!m_pgDatabase.isEmpty())
        DropScratchPgDatabase(m_pgDatabase);
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
    const QString failure = ExecPgAsAdmin(m_pgDatabase, sql);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
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

QSqlDatabase DbTest::AddPeerConnection(const QString& name) const
{
    QSqlDatabase db = QSqlDatabase::addDatabase(isPg() ? "QPSQL" : "QSQLITE", name);
    if (isPg()) {
        db.setHostName(m_params.host);
        db.setPort(m_params.port);
        db.setUserName(m_params.user);
        db.setPassword(m_params.password);
        db.setDatabaseName(m_params.dbName);
    } else {
        db.setDatabaseName(m_params.file);
    }
    return db;
}
