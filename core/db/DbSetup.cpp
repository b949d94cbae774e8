#include "DbSetup.h"

#include "ProfileSettings.h"
#include "TextUtils.h"

#include <QFile>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

const QString kGroup = QStringLiteral("Settings/DataBase");

DbError ErrorOf(const QSqlError& e)
{
    DbError d = DbError::fromSql(e);
    if (!Failed(d))
        d.description = QStringLiteral("Неизвестная ошибка.");
    return d;
}

} // namespace

CDbSetupSettings::CDbSetupSettings()
{
    CProfileSettings profile;
    profile.beginGroup(kGroup);
    dbFile = profile.value(QStringLiteral("DBFile")).toString();
    hostName = profile.value(QStringLiteral("HostName")).toString();
    userName = profile.value(QStringLiteral("UserName")).toString();
    password = profile.value(QStringLiteral("Password")).toString();
    useWindowsAuth = profile.value(QStringLiteral("UseWindowsAuth"), 0).toInt() != 0;
    sql = profile.value(QStringLiteral("Sql"), 0).toInt() == 1 ? 1 : 0;
    port = profile.value(QStringLiteral("Port"), 5432).toInt();
    dbName = profile.value(QStringLiteral("DbName"), QStringLiteral("lir")).toString();
    savePass = profile.value(QStringLiteral("SavePass"), 1).toInt() != 0;
}

DbConnectParams CDbSetupSettings::params() const
{
    DbConnectParams p;
    p.dialect = sql == 1 ? SqlDialect::PostgreSQL : SqlDialect::SQLite;
    p.file = dbFile;
    p.host = hostName;
    p.port = port;
    p.dbName = dbName;
    p.user = userName;
    p.password = password;
    p.osAuth = useWindowsAuth;
    return p;
}

QString CDbSetupSettings::DefaultFile()
{
    return GetProgramFolder() + QStringLiteral("LIR.db");
}

void CDbSetupSettings::UseDefaultAccessFile()
{
    dbFile = DefaultFile();
}

void CDbSetupSettings::SaveSettings()
{
    CProfileSettings profile;
    profile.beginGroup(kGroup);
    profile.setValue(QStringLiteral("DBFile"), dbFile);
    profile.setValue(QStringLiteral("HostName"), hostName);
    profile.setValue(QStringLiteral("UserName"), userName);
    // A password is kept only when the user asked for it in the dialog.
    profile.setValue(QStringLiteral("Password"), passwordEntered && savePass ? password : QString());
    profile.setValue(QStringLiteral("Sql"), sql);
    profile.setValue(QStringLiteral("UseWindowsAuth"), useWindowsAuth ? 1 : 0);
    profile.setValue(QStringLiteral("SavePass"), passwordEntered ? (savePass ? 1 : 0) : 1);
    profile.setValue(QStringLiteral("Port"), port);
    profile.setValue(QStringLiteral("DbName"), dbName);
}

DbError CDbSetupSettings::PrepareAccessFile()
{
    const QString tmpl = GetProgramFolder() + QStringLiteral("LIR.db.tmpl");
    QFile source(tmpl);
    if (!source.open(QIODevice::ReadOnly))
        return DbError{0, QStringLiteral("Не найден шаблон базы данных."), tmpl};
    QSaveFile target(DefaultFile());
    if (!target.open(QIODevice::WriteOnly))
        return DbError{0, target.errorString(), DefaultFile()};
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(1 << 20);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size()) {
            target.cancelWriting();
            return DbError{0, QStringLiteral("Не удалось создать базу данных."), DefaultFile()};
        }
    }
    if (!target.commit())
        return DbError{0, target.errorString(), DefaultFile()};
    return DbError{};
}

DbError CDbSetupSettings::OpenAccessDatabase()
{
    // A missing template leaves the file missing: the open below tells. A server set-up never
    // touches the local file.
    if (sql == 0 && !QFile::exists(DefaultFile()))
        PrepareAccessFile();
    const QString name = QStringLiteral("lir_test_open_") + QUuid::createUuid().toString(QUuid::Id128);
    QSqlError error;
    const bool ok = OpenDatabase(params(), name, &error);
    QSqlDatabase::removeDatabase(name);
    return ok ? DbError{} : ErrorOf(error);
}

DbError CDbSetupSettings::GetDbVersion(bool* opened, bool* current)
{
    *opened = false;
    *current = false;
    const QString name = QStringLiteral("lir_version_") + QUuid::createUuid().toString(QUuid::Id128);
    QSqlError error;
    DbError result;
    if (OpenDatabase(params(), name, &error)) {
        *opened = true;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            QSqlQuery q(db);
            // A database without the version table counts as an old one.
            if (q.exec(QStringLiteral("select n from tSysDbVersion"))) {
                const int version = q.next() ? q.value(0).toInt() : -1;
                *current = version == kDbVersion;
            }
            q.finish();
            db.close();
        }
    } else {
        result = ErrorOf(error);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
