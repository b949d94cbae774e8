// The report tests' databases: the main database filled from tests/data/reports/fixture.sql (on both
// dialects) and a copy of the shipped LIRR.db in the test's program folder; sqlite3 as the judge of
// what the report database holds.
#pragma once

#include "DbTest.h"

#include <QString>
#include <QStringList>

// Loads the fixture into the connected main database; on PostgreSQL the money columns are divided by
// 10000 and the identities moved past the ids it writes.
void LoadReportFixture(SqlDialect dialect);
// Copies the shipped report database into the folder; false when it is not built.
bool InstallReportDatabase(const QString& folder);
// The path of the shipped report database.
QString ShippedReportDatabase();
// sqlite3's output for the statements on the file ("sqlite3 -batch file sql"); none when sqlite3 is
// missing or fails.
std::optional<QString> Sqlite3(const QString& file, const QString& sql);

// A test on both dialects with the fixture loaded and a report database of its own.
class ReportDbTest : public DbTest {
protected:
    void SetUp() override;
    void TearDown() override;
    QString reportDatabase() const { return home() + QStringLiteral("LIRR.db"); }
};
