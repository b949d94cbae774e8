#include "CalcTestSupport.h"

#include "db/SqlQuery.h"
#include "tables/ForecastRow.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>

std::optional<QStringList> CalcDbTest::Peer(const QString& sql)
{
    const DbConnectParams& p = params();
    const QString client = QStandardPaths::findExecutable(isPg() ? QStringLiteral("psql") : QStringLiteral("sqlite3"));
    if (client.isEmpty()) {
        peerMissing = isPg() ? QStringLiteral("psql is not installed") : QStringLiteral("sqlite3 is not installed");
        return std::nullopt;
    }
    QProcess process;
    QStringList args;
    if (isPg()) {
        args << QStringLiteral("-X") << QStringLiteral("-A") << QStringLiteral("-t") << QStringLiteral("-F")
             << QStringLiteral("|") << QStringLiteral("-v") << QStringLiteral("ON_ERROR_STOP=1") << QStringLiteral("-h")
             << p.host << QStringLiteral("-p") << QString::number(p.port) << QStringLiteral("-U") << p.user
             << QStringLiteral("-d") << p.dbName << QStringLiteral("-c") << sql;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), p.password);
        process.setProcessEnvironment(env);
    } else {
        args << QStringLiteral("-batch") << QStringLiteral("-noheader") << QStringLiteral("-separator")
             << QStringLiteral("|") << p.file << sql;
    }
    process.start(client, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        ADD_FAILURE() << client.toStdString() << ": " << process.readAllStandardError().toStdString();
        return QStringList();
    }
    return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QString CalcDbTest::Raw(const QString& column) const
{
    return isPg() ? QStringLiteral("cast(%1 * 10000 as bigint)").arg(column) : column;
}

QStringList CalcDbTest::DumpRows()
{
    QStringList out;
    const QString columns = ForecastFigureColumns() + QStringLiteral(", comment, base, baseMethod");
    for (const QString& sql :
         {QStringLiteral("select prognoz, product, receiver, %1 from tfctprognozdata order by prognoz, product, "
                         "receiver"),
          QStringLiteral("select prognoz, product, -1, %1 from tfcttotalprognoz order by prognoz, product")}) {
        CSqlQuery q(sql.arg(columns));
        EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < 22; ++i)
                fields << q.value(i).toString();
            out << fields.join(u'|');
        }
    }
    return out;
}

QStringList CalcDbTest::TakeJournal()
{
    static const QRegularExpression id(QStringLiteral("id=-?\\d+; "));
    QStringList lines = JournalTexts();
    for (QString& line : lines)
        line.remove(id);
    lines.sort();
    Exec(QStringLiteral("delete from tfctopjournal"));
    return lines;
}

void CalcDbTest::ExecText(const QString& sql)
{
    QSqlQuery q(GetDBConnection().GetConnection());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

void CalcDbTest::SaveSnapshot()
{
    ExecText(QStringLiteral("create table snapdata as select * from tfctprognozdata"));
    ExecText(QStringLiteral("create table snaptotal as select * from tfcttotalprognoz"));
}

void CalcDbTest::RestoreSnapshot()
{
    Exec(QStringLiteral("delete from tfctprognozdata"));
    Exec(QStringLiteral("delete from tfcttotalprognoz"));
    Exec(QStringLiteral("insert into tfctprognozdata select * from snapdata"));
    Exec(QStringLiteral("insert into tfcttotalprognoz select * from snaptotal"));
    Exec(QStringLiteral("delete from tfctopjournal"));
}
