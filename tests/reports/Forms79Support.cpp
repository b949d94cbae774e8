#include "Forms79Support.h"

#include "db/SqlQuery.h"

#include <QDir>
#include <QFile>

bool InstallFormDefinitions(const QString& folder)
{
    if (!InstallReportFiles(folder))
        return false;
    for (const char* file : {"Form7.rpt", "Form8.rpt", "Form9.rpt", "Empty.rpt"}) {
        QFile::remove(folder + QLatin1String(file));
        if (!QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(file), folder + QLatin1String(file)))
            return false;
    }
    return true;
}

QString FormOutputFolder(bool pg, const QString& form)
{
    const QString folder = QStringLiteral(LIR_TEST_OUT_DIR "/reports/%1/%2/")
                               .arg(pg ? QStringLiteral("pg") : QStringLiteral("sqlite"), form);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

bool CopyDatabase(CDBConnection& connection, const QString& target)
{
    QFile::remove(target);
    CSqlQuery q(QStringLiteral("vacuum into ?"), connection);
    q.bind(target);
    return q.exec();
}

void FormsDbTest::SetUp()
{
    ReportDbTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    if (!HaveProgram(QStringLiteral("sqlite3")))
        GTEST_SKIP() << "sqlite3 is needed to read the report database";
    ASSERT_TRUE(InstallFormDefinitions(home()));
}

QString FormsDbTest::Query(const QString& sql)
{
    return Sqlite3(reportDatabase(), sql).value_or(QStringLiteral("<sqlite3 failed>"));
}
