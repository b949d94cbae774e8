// The databases a benchmark runs on: a SQLite file in a temporary program folder and, when the
// PostgreSQL test cluster runs (PGHOST, PGPORT, PGUSER), a scratch database on it; both made from the
// program's schema and filled by the benchmark once. Runs on a database that is missing are skipped
// with the reason.
#pragma once

#include "ForecastGenerator.h"
#include "db/DbConnection.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <functional>

enum BenchDialect : int { kSQLite = 0, kPostgreSQL = 1 };

class CBenchDatabases {
public:
    CBenchDatabases() = default;
    ~CBenchDatabases();
    CBenchDatabases(const CBenchDatabases&) = delete;
    CBenchDatabases& operator=(const CBenchDatabases&) = delete;

    // Makes both databases and fills each through `fill` while it is the main connection; false from
    // `fill` (with the reason) leaves that database out. Fails only when the SQLite one cannot be made.
    bool Open(const QString& templateFile, const std::function<bool(BenchDialect, QString*)>& fill, QString* error);
    bool Has(BenchDialect dialect) const
    {
        return !m_params[dialect].file.isEmpty() || !m_params[dialect].host.isEmpty();
    }
    QString SqliteFile() const { return m_sqlite.file(); }
    // The PostgreSQL database's name; empty without one.
    QString PgName() const { return m_pgName; }
    // Why the dialect's database is missing.
    QString Reason(BenchDialect dialect) const { return m_reason[dialect]; }
    // Connects the main connection to the dialect's database unless it is connected already; skips
    // the run (with the reason) when there is none.
    bool Use(benchmark::State& state, BenchDialect dialect);
    bool Use(BenchDialect dialect);
    // Closes the connection and drops the PostgreSQL database (before the application object goes).
    void Close();

private:
    CScratchDatabase m_sqlite;
    QString m_pgName;
    DbConnectParams m_params[2];
    QString m_reason[2];
    int m_current = -1;
};

const char* DialectLabel(BenchDialect dialect);
// A statement the server does not prepare (analyze, set), on the main connection; false on failure.
bool RunPlain(const QString& sql);
