// What the preparation tests share: fixtures of earlier versions, the program run from outside, and
// databases of the PostgreSQL test cluster made, loaded and dumped with psql and pg_dump.
#pragma once

#include "TestSupport.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

QString FixturePath(const QString& name);
QString SourcePath(const QString& relative);

// The program, as a user starts it; no display, messages on standard error.
PeerRun RunBastrel(const QStringList& arguments);

// The test cluster, or a reason to skip.
bool PgClusterRunning();
// A new database name for this process.
QString NewPgDatabaseName();
PeerRun Psql(const QString& db, const QString& sql);
// One value of a query, trimmed; empty on failure.
QString PsqlValue(const QString& db, const QString& sql);
// A fixture file; lines holding only GO end a statement.
void LoadPgFixture(const QString& db, const QString& file);
void CreatePgDatabase(const QString& db);
void DropPgDatabase(const QString& db);
// pg_dump of the database without its run-dependent lines.
QString PgDump(const QString& db, bool schemaOnly);

// Held by tests that prepare server databases: they all touch the cluster's login lir_admin.
class CAdminLoginLock {
public:
    CAdminLoginLock();
    ~CAdminLoginLock();

private:
    QString m_name;
};
