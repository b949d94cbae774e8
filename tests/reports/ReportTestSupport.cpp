#include "ReportTestSupport.h"

#include "ReportDatabase.h"
#include "Settings.h"
#include "db/DbConnection.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "db/SqlScript.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>

namespace {

// The money columns of the fixture, written in ten-thousandths.
const std::pair<const char*, const char*> kMoneyColumns[] = {
    {"tFctPrognozData",
     "sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, "
     "valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther"},
    {"tFctTotalPrognoz",
     "sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, valueIndex, "
     "valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther"},
    {"tFctPrice", "pricePrev, priceCur, priceNext"},
};

const char* const kIdentityTables[] = {"tClsReceiver", "tFctPrognozData", "tFctTotalPrognoz", "tFctPrice",
                                       "tClsMConvert"};

} // namespace

void LoadReportFixture(SqlDialect dialect)
{
    const QByteArray script = ReadFile(QStringLiteral(LIR_TEST_DATA_DIR "/reports/fixture.sql"));
    ASSERT_FALSE(script.isEmpty());
    QSqlDatabase db = GetDBConnection().GetConnection();
    ASSERT_TRUE(db.isValid());
    const auto failure = RunSqlScript(db, dialect, QString::fromUtf8(script));
    ASSERT_FALSE(failure) << "batch " << failure->batch << ": " << failure->error.text().toStdString();
    if (dialect != SqlDialect::PostgreSQL)
        return;
    for (const auto& [table, columns] : kMoneyColumns) {
        QStringList sets;
        for (const QString& c : QString::fromLatin1(columns).split(QStringLiteral(", ")))
            sets << c + QStringLiteral(" = ") + c + QStringLiteral(" / 10000");
        CSqlQuery q(QStringLiteral("update %1 set %2").arg(QLatin1String(table), sets.join(QStringLiteral(", "))));
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    // The fixture's rows carry their ids: each identity goes on past them.
    for (const char* table : kIdentityTables) {
        CSqlQuery q(QStringLiteral("select setval(pg_get_serial_sequence(?, 'id'), max(id)) from ")
                    + QLatin1String(table));
        q.bind(QString::fromLatin1(table).toLower());
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
}

QString ShippedReportDatabase()
{
    return QStringLiteral(LIR_BIN_DIR "/LIRR.db");
}

bool InstallReportDatabase(const QString& folder)
{
    const QString target = folder + QStringLiteral("LIRR.db");
    QFile::remove(target);
    if (!QFile::copy(ShippedReportDatabase(), target))
        return false;
    return QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
}

bool InstallReportFiles(const QString& folder)
{
    QFile::remove(folder + QStringLiteral("reportdef.xsd"));
    return InstallReportDatabase(folder)
        && QFile::copy(QStringLiteral(LIR_BIN_DIR "/reportdef.xsd"), folder + QStringLiteral("reportdef.xsd"));
}

int WriteForm1(const std::vector<Form1Row>& rows)
{
    return RunReportFrame([&](CReportFrame& frame) {
        CReportTable& t = frame.Table("reportform1",
                                      {"code", "name", "measurementNatural", "measurementPrice", "isMeasurementNatural",
                                       "valueLast", "valueNext", "sumLast", "sumNext"});
        for (const Form1Row& r : rows) {
            t << r.code << r.name << QStringLiteral("шт.") << QStringLiteral("руб.") << r.natural
              << Money::fromRaw(r.valueNext / 2) << Money::fromRaw(r.valueNext) << Money::fromRaw(r.sumNext / 2)
              << Money::fromRaw(r.sumNext);
            t.Write();
        }
    });
}

QStringList Form1Values(int reportId, const QString& variant, const QString& summary, const QString& year)
{
    return {QStringLiteral("Учреждение А"),
            variant,
            QString(),
            summary,
            year,
            QStringLiteral("0"),
            QStringLiteral("По муниципальным образованиям Российской Федерации"),
            QStringLiteral("2"),
            QString::number(reportId)};
}

std::optional<QString> Sqlite3(const QString& file, const QString& sql)
{
    if (!HaveProgram(QStringLiteral("sqlite3")))
        return std::nullopt;
    const PeerRun run = RunPeer(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), file, sql});
    if (run.exitCode != 0)
        return std::nullopt;
    return run.output.trimmed();
}

QString PdfText(const QString& pdf, int page, bool layout)
{
    QStringList args;
    if (layout)
        args << "-layout";
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return RunPeer(QStringLiteral("pdftotext"), args << pdf << "-").output;
}

PdfPages PdfInfo(const QString& pdf)
{
    const QString info = RunPeer(QStringLiteral("pdfinfo"), {pdf}).output;
    PdfPages p;
    const auto size = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+)")).match(info);
    p.width = size.captured(1).toDouble();
    p.height = size.captured(2).toDouble();
    p.pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
    return p;
}

void ReportDbTest::SetUp()
{
    DbTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    LoadReportFixture(dialect());
    ASSERT_TRUE(InstallReportDatabase(home())) << "the report database is built with the project";
    GetReportDBConnection().Close();
}

void ReportDbTest::TearDown()
{
    GetReportDBConnection().Close();
    DbTest::TearDown();
}

void ReportHomeTest::SetUp()
{
    TempHomeTest::SetUp();
    GetReportDBConnection().Close();
    ASSERT_TRUE(InstallReportFiles(home()));
    Settings().ReportFormat = 0;
}

void ReportHomeTest::TearDown()
{
    GetReportDBConnection().Close();
    Settings().ReportFormat = 0;
    TempHomeTest::TearDown();
}

bool ReportHomeTest::HavePdfPeers()
{
    return HaveProgram(QStringLiteral("pdftotext")) && HaveProgram(QStringLiteral("pdfinfo"));
}
