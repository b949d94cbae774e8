// What the tests of forms 7 to 9 and the blank form share: the definitions beside the program, the
// run's files kept under test-out, and the report database read by sqlite3.
#pragma once

#include "ReportTestSupport.h"

#include <QString>
#include <QStringList>

// Copies the shipped definitions of forms 7 to 9, the blank form and the schema into the folder.
bool InstallFormDefinitions(const QString& folder);

// build/test-out/reports/<sqlite|pg>/<form>/, made empty.
QString FormOutputFolder(bool pg, const QString& form);

// A copy of the open SQLite database behind the connection, written whole.
bool CopyDatabase(CDBConnection& connection, const QString& target);

// The report test with the definitions beside the program and sqlite3 to read the report database.
class FormsDbTest : public ReportDbTest {
protected:
    void SetUp() override;
    QString Query(const QString& sql);
};
