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

// pdftotext's text of the PDF (of one page when page > 0; with -layout when asked).
QString PdfText(const QString& pdf, int page = 0, bool layout = false);
// Width and height in points, and the page count, as pdfinfo tells them.
struct PdfPages {
    double width = 0;
    double height = 0;
    int pages = 0;
};
PdfPages PdfInfo(const QString& pdf);

// Copies the shipped report database and the definition schema into the program folder.
bool InstallReportFiles(const QString& folder);

// A line of reportform1 as the report tests write it (natural: isMeasurementNatural); the report
// year's figures are half the forecast year's.
struct Form1Row {
    QString code;
    QString name;
    int natural;
    qlonglong valueNext; // ten-thousandths
    qlonglong sumNext;
};
// A run of reportform1 written through the builder frame: its report id.
int WriteForm1(const std::vector<Form1Row>& rows);
// The nine values of the form 1 columns (tests/data/reports/columns.rpt).
QStringList Form1Values(int reportId, const QString& variant = QStringLiteral("0"),
                        const QString& summary = QStringLiteral("0"), const QString& year = QStringLiteral("2026"));

// A test in a program folder of its own with the shipped report database, its definition schema and
// the exact number format; pdftotext and pdfinfo read the PDFs back.
class ReportHomeTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;
    static bool HavePdfPeers();
};

// A test on both dialects with the fixture loaded and a report database of its own.
class ReportDbTest : public DbTest {
protected:
    void SetUp() override;
    void TearDown() override;
    QString reportDatabase() const { return home() + QStringLiteral("LIRR.db"); }
};
