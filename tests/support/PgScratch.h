// Databases of the PostgreSQL test cluster that PGHOST, PGPORT, PGUSER and PGPASSWORD name, each made
// from a template that holds the program's schema (built once per cluster and schema text). Without
// gtest, so that the benchmarks use them too.
#pragma once

#include "db/DbConnection.h"

#include <QString>

#include <optional>

// The cluster's maintenance database as its administrator; none when no cluster is named.
std::optional<DbConnectParams> PgAdminParams();
// A new database `name` with the schema; the failure's text, empty when it was made.
QString CreateScratchPgDatabase(const QString& name);
// Drops it, closing the sessions still on it.
void DropScratchPgDatabase(const QString& name);
// One plain statement as the administrator in the database `name`; the failure's text, or empty.
QString ExecPgAsAdmin(const QString& name, const QString& sql);
// Ends the server session `pid` in the database `name` as soon as it waits for a lock (within
// `ms`), as an administrator would; the failure's text, or empty.
QString TerminateOnceWaiting(const QString& name, int pid, int ms);

// A session of its own as the administrator in the database `name`, for another program's locks.
class CPgAdminSession {
public:
    explicit CPgAdminSession(const QString& name);
    ~CPgAdminSession();
    CPgAdminSession(const CPgAdminSession&) = delete;
    CPgAdminSession& operator=(const CPgAdminSession&) = delete;
    // The failure's text, or empty.
    QString exec(const QString& sql);

private:
    QString m_connection;
};
