#include "BastrelTestSupport.h"

#include "DbTest.h"
#include "db/DbConnection.h"

#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <atomic>
#include <unistd.h>

QString FixturePath(const QString& name)
{
    return QStringLiteral(LIR_TEST_DATA_DIR "/bastrel/") + name;
}

QString SourcePath(const QString& relative)
{
    return QStringLiteral(LIR_SOURCE_DIR "/") + relative;
}

PeerRun RunBastrel(const QStringList& arguments)
{
    return RunPeer(QStringLiteral(LIR_BASTREL_EXE), arguments);
}

bool PgClusterRunning()
{
    return PgAdminParams().has_value() && HaveProgram(QStringLiteral("psql"));
}

QString NewPgDatabaseName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("lir_b%1_%2").arg(getpid()).arg(++counter);
}

PeerRun Psql(const QString& db, const QString& sql)
{
    return RunPeer(QStringLiteral("psql"),
                   {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"),
                    QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), db,
                    QStringLiteral("-c"), sql});
}

QString PsqlValue(const QString& db, const QString& sql)
{
    const PeerRun run = Psql(db, sql);
    EXPECT_EQ(run.exitCode, 0) << sql.toStdString() << ": " << run.output.toStdString();
    return run.exitCode == 0 ? run.output.trimmed() : QString();
}

void LoadPgFixture(const QString& db, const QString& file)
{
    QString text = QString::fromUtf8(ReadFile(file));
    text.replace(QRegularExpression(QStringLiteral("(?m)^GO\\s*$")), QStringLiteral(";"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fixture.sql"));
    WriteFile(path, text.toUtf8());
    const PeerRun run =
        RunPeer(QStringLiteral("psql"),
                {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                 QStringLiteral("-d"), db, QStringLiteral("-f"), path});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
}

void CreatePgDatabase(const QString& db)
{
    const PeerRun run = Psql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(db));
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
}

void DropPgDatabase(const QString& db)
{
    Psql(QStringLiteral("postgres"), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(db));
}

QString PgDump(const QString& db, bool schemaOnly)
{
    QStringList args{QStringLiteral("--no-owner"), db};
    if (schemaOnly)
        args.prepend(QStringLiteral("--schema-only"));
    const PeerRun run = RunPeer(QStringLiteral("pg_dump"), args);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    QStringList lines = run.output.split(u'\n');
    // Newer pg_dump fences its output with a random key.
    lines.removeIf([](const QString& l) { return l.startsWith(u"\\restrict") || l.startsWith(u"\\unrestrict"); });
    return lines.join(u'\n');
}

CAdminLoginLock::CAdminLoginLock()
    : m_name(QStringLiteral("adminlock_") + QUuid::createUuid().toString(QUuid::Id128))
{
    if (const auto error = OpenDatabase(*PgAdminParams(), m_name)) {
        ADD_FAILURE() << error->text().toStdString();
        return;
    }
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    // The road holds the login for its whole run, minutes on a busy machine: no lock limit of the
    // program's sessions here; the test's own time limit bounds the wait.
    EXPECT_TRUE(q.exec(QStringLiteral("set lock_timeout = 0")));
    EXPECT_TRUE(q.exec(QStringLiteral("set statement_timeout = 0")));
    EXPECT_TRUE(q.exec(QStringLiteral("select pg_advisory_lock(4711028)")));
}

CAdminLoginLock::~CAdminLoginLock()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}
