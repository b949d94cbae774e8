#include "BenchDatabases.h"

#include "PgScratch.h"
#include "db/SqlQuery.h"

#include <QSqlQuery>

#include <unistd.h>

CBenchDatabases::~CBenchDatabases()
{
    Close();
}

void CBenchDatabases::Close()
{
    GetDBConnection().Close();
    m_current = -1;
    if (!m_pgName.isEmpty())
        DropScratchPgDatabase(m_pgName);
    m_pgName.clear();
}

bool RunPlain(const QString& sql)
{
    QSqlQuery q(GetDBConnection().GetConnection());
    return q.exec(sql);
}

bool CBenchDatabases::Open(const QString& templateFile, const std::function<bool(BenchDialect, QString*)>& fill,
                           QString* error)
{
    if (!m_sqlite.Open(templateFile, error))
        return false;
    m_params[kSQLite].dialect = SqlDialect::SQLite;
    m_params[kSQLite].file = m_sqlite.file();
    m_current = kSQLite;
    if (!fill(kSQLite, error))
        return false;

    const auto admin = PgAdminParams();
    if (!admin) {
        m_reason[kPostgreSQL] = QStringLiteral("no PostgreSQL test cluster (PGHOST is not set)");
        return true;
    }
    m_pgName = QStringLiteral("lir_bench_%1").arg(getpid());
    if (const QString failure = CreateScratchPgDatabase(m_pgName); !failure.isEmpty()) {
        m_reason[kPostgreSQL] = failure;
        m_pgName.clear();
        return true;
    }
    DbConnectParams pg = *admin;
    pg.dbName = m_pgName;
    m_params[kPostgreSQL] = pg;
    QString reason;
    // The generated rows are known to be sound: the server skips the key checks while they are written.
    const bool filled = Use(kPostgreSQL) && RunPlain(QStringLiteral("set session_replication_role = replica"))
        && fill(kPostgreSQL, &reason) && RunPlain(QStringLiteral("set session_replication_role = default"));
    if (!filled) {
        m_reason[kPostgreSQL] = reason.isEmpty() ? QStringLiteral("cannot fill the PostgreSQL database") : reason;
        m_params[kPostgreSQL] = DbConnectParams();
        m_params[kPostgreSQL].host.clear();
        Use(kSQLite);
    }
    return true;
}

bool CBenchDatabases::Use(BenchDialect dialect)
{
    if (!Has(dialect))
        return false;
    if (m_current == dialect)
        return true;
    if (!GetDBConnection().ConnectWith(m_params[dialect]))
        return false;
    m_current = dialect;
    return true;
}

bool CBenchDatabases::Use(benchmark::State& state, BenchDialect dialect)
{
    if (Use(dialect))
        return true;
    state.SkipWithError(qPrintable(Reason(dialect).isEmpty() ? QStringLiteral("cannot connect") : Reason(dialect)));
    return false;
}

const char* DialectLabel(BenchDialect dialect)
{
    return dialect == kPostgreSQL ? "PostgreSQL" : "SQLite";
}
