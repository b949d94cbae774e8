#include "DbSetup.h"

#include "ProfileSettings.h"
#include "SqlDialect.h"
#include "TextUtils.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <libpq-fe.h>

#include <cerrno>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const QString kGroup = QStringLiteral("Settings/DataBase");

QString FolderOf(const QString& file)
{
    return QFileInfo(file).absolutePath() + u'/';
}

// A file made in a folder that its group may write is shared alike: the folder's group, and the
// group may read and write it (as the folders the program makes there). What the user may not change
// stays as it is.
void ShareLikeFolder(const QString& file)
{
    const QByteArray path = QFile::encodeName(file);
    const QByteArray folder = QFile::encodeName(QFileInfo(file).absolutePath());
    struct stat dir { };
    if (::stat(folder.constData(), &dir) != 0 || (dir.st_mode & S_IWGRP) == 0)
        return;
    static_cast<void>(::chown(path.constData(), uid_t(-1), dir.st_gid));
    struct stat st { };
    if (::stat(path.constData(), &st) == 0)
        static_cast<void>(::chmod(path.constData(), (st.st_mode & 07777) | S_IRGRP | S_IWGRP));
}

// The driver's own words, kept as the description under the reason.
QString DriverText(const QSqlError& e)
{
    const QString text = e.databaseText().trimmed();
    return text.isEmpty() ? e.text().trimmed() : text;
}

// The places named in a message on a missing file.
const QString kOr = QStringLiteral(" или ");

// What a failed copy says: the source unreadable, the target's folder unwritable, the copy failed.
struct CopyTexts {
    QString source;
    QString target;
    QString write;
};

// Copies a database file whole or not at all, the failing file's error as the description. In a
// folder its group shares, the copy is shared alike.
DbError CopyWhole(const QString& from, const QString& to, const CopyTexts& texts)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return DbError{0, texts.source, source.errorString()};
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return DbError{0, texts.target, target.errorString()};
    while (!source.atEnd()) {
        const QByteArray chunk = source.read(1 << 20);
        if (chunk.isEmpty() || target.write(chunk) != chunk.size()) {
            const QString why = chunk.isEmpty() ? source.errorString() : target.errorString();
            target.cancelWriting();
            return DbError{0, texts.write, why};
        }
    }
    if (!target.commit())
        return DbError{0, texts.write, target.errorString()};
    ShareLikeFolder(to);
    return DbError{};
}

using Failure = CSqlDialect::ConnectFailure;

struct ServerLoginFailure {
    Failure failure;
    QString text; // libpq's
};

Failure FailureOfSqlState(const QString& state)
{
    if (state == u"28P01") // invalid_password
        return Failure::BadLogin;
    if (state == u"28000" || state == u"42501") // no such login, pg_hba.conf or CONNECT refuse it
        return Failure::NotPermitted;
    if (state == u"3D000") // invalid_catalog_name
        return Failure::NoDatabase;
    if (state == u"57P03") // starting up or shutting down
        return Failure::Unreachable;
    return Failure::Unknown;
}

// Whether a server's name has an address; a socket folder, or several hosts, are not looked up.
bool HostResolves(const QString& host)
{
    if (host.isEmpty() || host.startsWith(u'/') || host.startsWith(u'@') || host.contains(u','))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    if (found)
        ::freeaddrinfo(found);
    return rc == 0;
}

// Logs in to the server through libpq itself: libpq's words and the server's come in their
// languages, but the server's SQLSTATE and how far libpq got tell the cause in any of them.
std::optional<ServerLoginFailure> TryServerLogin(const DbConnectParams& p)
{
    const QByteArray host = p.host.toUtf8(), port = QByteArray::number(p.port), db = p.dbName.toUtf8();
    const QByteArray user = p.osAuth ? QByteArray() : p.user.toUtf8();
    const QByteArray password = p.osAuth ? QByteArray() : p.password.toUtf8();
    const std::pair<const char*, const QByteArray*> given[] = {
        {"host", &host}, {"port", &port}, {"dbname", &db}, {"user", &user}, {"password", &password}};
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : given)
        if (!value->isEmpty()) {
            keys.push_back(key);
            values.push_back(value->constData());
        }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectStartParams(keys.data(), values.data(), 0),
                                                            &PQfinish);
    if (!conn)
        return ServerLoginFailure{Failure::Unknown, QString()};
    // The server's code stands in the message: "FATAL:  28P01: ...".
    PQsetErrorVerbosity(conn.get(), PQERRORS_VERBOSE);
    QElapsedTimer clock;
    clock.start();
    bool timedOut = false;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(conn.get()) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
        const qint64 left = kConnectTimeoutS * 1000 - clock.elapsed();
        pollfd fd{PQsocket(conn.get()), short(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const int ready = left > 0 ? ::poll(&fd, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            break;
        if (ready == 0) {
            timedOut = true;
            break;
        }
        state = PQconnectPoll(conn.get());
    }
    if (!timedOut && PQstatus(conn.get()) == CONNECTION_OK)
        return std::nullopt;
    QString text = QString::fromUtf8(PQerrorMessage(conn.get())).trimmed();
    static const QRegularExpression sqlState(QStringLiteral(":  ([0-9A-Z]{5}): "));
    const QRegularExpressionMatch code = sqlState.match(text);
    // The detail keeps libpq's words without the server's code and source lines.
    static const QRegularExpression where(QStringLiteral("\\n[^\\n]*:  \\w+, [\\w./-]+:\\d+(?=\\n|$)"));
    text.remove(where).replace(sqlState, QStringLiteral(":  "));
    if (timedOut)
        return ServerLoginFailure{Failure::TimedOut, text};
    if (code.hasMatch())
        return ServerLoginFailure{FailureOfSqlState(code.captured(1)), text};
    if (PQconnectionNeedsPassword(conn.get()))
        return ServerLoginFailure{Failure::NoPassword, text};
    return ServerLoginFailure{HostResolves(p.host) ? Failure::Unreachable : Failure::HostNotFound, text};
}

} // namespace

CDbSetupSettings::CDbSetupSettings()
{
    CProfileSettings profile;
    profile.beginGroup(kGroup);
    dbFile = profile.value(QStringLiteral("DBFile")).toString();
    storedFile = !dbFile.isEmpty();
    hostName = profile.value(QStringLiteral("HostName")).toString();
    userName = profile.value(QStringLiteral("UserName")).toString();
    password = profile.value(QStringLiteral("Password")).toString();
    useWindowsAuth = profile.intValue(QStringLiteral("UseWindowsAuth"), 0) != 0;
    sql = profile.intValue(QStringLiteral("Sql"), 0) == 1 ? 1 : 0;
    port = profile.intValue(QStringLiteral("Port"), 5432, 1, 65535);
    dbName = profile.value(QStringLiteral("DbName"), QStringLiteral("lir")).toString();
    savePass = profile.intValue(QStringLiteral("SavePass"), 1) != 0;
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

QString CDbSetupSettings::TemplateFile(DbError* missing)
{
    const QString tmpl = ProgramFile(kTemplateName);
    if (QFileInfo(tmpl).isFile())
        return tmpl;
    if (missing)
        *missing = DbError{
            0, QStringLiteral("Не найден шаблон базы данных: %1").arg(ProgramFilePlaces(kTemplateName).join(kOr)),
            QString()};
    return QString();
}

DbError CDbSetupSettings::PrepareAccessFile(const QString& file)
{
    const QString path = file.isEmpty() ? DefaultFile() : file;
    DbError missing;
    const QString tmpl = TemplateFile(&missing);
    if (tmpl.isEmpty())
        return missing;
    return CopyWhole(tmpl, path,
                     {QStringLiteral("Не удалось прочитать шаблон базы данных: %1").arg(tmpl),
                      file.isEmpty()
                          ? QStringLiteral("Папка программы недоступна для записи: %1").arg(GetProgramFolder())
                          : QStringLiteral("Папка недоступна для записи: %1").arg(FolderOf(path)),
                      QStringLiteral("Не удалось создать базу данных: %1").arg(path)});
}

DbError PrepareReportDatabaseFile()
{
    const QString path = GetProgramFolder() + kReportDatabaseFile;
    if (QFileInfo::exists(path))
        return DbError{};
    const QString shipped = ProgramFile(kReportDatabaseFile);
    if (!QFileInfo(shipped).isFile())
        return DbError{
            0,
            QStringLiteral("Не найдена база данных отчетов: %1").arg(ProgramFilePlaces(kReportDatabaseFile).join(kOr)),
            QString()};
    return CopyWhole(shipped, path,
                     {QStringLiteral("Не удалось прочитать базу данных отчетов: %1").arg(shipped),
                      QStringLiteral("Папка программы недоступна для записи: %1").arg(GetProgramFolder()),
                      QStringLiteral("Не удалось создать базу данных отчетов: %1").arg(path)});
}

DbError CDbSetupSettings::ConnectFailure(const QSqlError& e) const
{
    bool ok = false;
    const unsigned code = e.nativeErrorCode().toUInt(&ok);
    return FailureOf(DialectOf(params().dialect).ClassifyConnectFailure(e), DriverText(e), ok ? code : 0);
}

DbError CDbSetupSettings::FailureOf(CSqlDialect::ConnectFailure failure, const QString& driverText, unsigned code) const
{
    using F = CSqlDialect::ConnectFailure;
    const DbConnectParams p = params();
    const QString host = p.host.isEmpty() ? QStringLiteral("localhost") : p.host;
    QString reason;
    switch (failure) {
    case F::NotADatabase:
        reason = QStringLiteral("Файл не является базой данных программы: %1").arg(p.file);
        break;
    case F::Damaged:
        reason = QStringLiteral("Файл базы данных повреждён: %1").arg(p.file);
        break;
    case F::NoWriteAccess:
        reason = QStringLiteral("Нет права записи в файл базы данных или в его папку: %1").arg(p.file);
        break;
    case F::Unreachable:
        reason = QStringLiteral("Сервер базы данных «%1» не принимает соединения: он не запущен, или неверно "
                                "указаны его имя или порт.")
                     .arg(host);
        break;
    case F::HostNotFound:
        reason = QStringLiteral("Сервер базы данных «%1» не найден: неверно указано его имя, или нет связи с сетью.")
                     .arg(host);
        break;
    case F::TimedOut:
        reason = QStringLiteral("Сервер базы данных «%1» не ответил за %2 с: нет связи с ним, или неверно указаны "
                                "его имя или порт.")
                     .arg(host)
                     .arg(kConnectTimeoutS);
        break;
    case F::BadLogin:
        reason = QStringLiteral("Неверное имя пользователя или пароль.");
        break;
    case F::NoPassword:
        reason = QStringLiteral("Сервер требует пароль: укажите имя пользователя и пароль.");
        break;
    case F::NotPermitted:
        reason = QStringLiteral("Сервер не разрешает пользователю «%1» подключаться к базе данных «%2».")
                     .arg(p.user, p.dbName);
        break;
    case F::NoDatabase:
        reason = QStringLiteral("На сервере нет базы данных «%1».").arg(p.dbName);
        break;
    case F::Unknown:
        reason = p.dialect == SqlDialect::PostgreSQL
            ? QStringLiteral("Не удалось подключиться к серверу базы данных «%1».").arg(host)
            : QStringLiteral("Не удалось открыть базу данных.");
        break;
    }
    return DbError{code, reason, driverText};
}

DbError CDbSetupSettings::OpenAccessDatabase()
{
    // Only a start whose settings name no database makes the default file; a stored one that is
    // missing (the default one included) is named and asked about, never made again empty. A server
    // set-up never touches the local file.
    DbError prepared;
    if (sql == 0 && !storedFile && !QFile::exists(DefaultFile()))
        prepared = PrepareAccessFile();
    if (sql == 0 && createFile && !dbFile.isEmpty() && !QFileInfo::exists(dbFile))
        if (const DbError made = PrepareAccessFile(dbFile); Failed(made))
            return made;
    if (sql == 0) {
        const QFileInfo file(dbFile);
        if (!file.isFile()) {
            // Why the default file is missing, when its copy failed.
            if (Failed(prepared) && file.absoluteFilePath() == QFileInfo(DefaultFile()).absoluteFilePath())
                return prepared;
            return DbError{0, QStringLiteral("Файл базы данных не найден: %1").arg(dbFile), QString()};
        }
        // SQLite would take an empty file for an empty database of no version: it is a lost one.
        if (file.size() == 0)
            return DbError{0,
                           QStringLiteral("Файл базы данных пуст (0 байт) и не является базой данных: %1\n"
                                          "Восстановите его из копии или удалите его и создайте новую базу данных "
                                          "кнопкой «Создать...» в окне «Соединение».")
                               .arg(dbFile),
                           QString()};
        // The program writes beside the file too (its write-ahead log).
        if (!file.isWritable() || !QFileInfo(FolderOf(dbFile)).isWritable())
            return DbError{0, QStringLiteral("Нет права записи в файл базы данных или в его папку: %1").arg(dbFile),
                           QString()};
    }
    if (sql == 1) {
        // A known cause is said whole in Russian; libpq's words stay only where none is known.
        const auto failed = TryServerLogin(params());
        passwordMissing = failed && failed->failure == Failure::NoPassword;
        return failed ? FailureOf(failed->failure, failed->failure == Failure::Unknown ? failed->text : QString(), 0)
                      : DbError{};
    }
    const QString name = QStringLiteral("lir_test_open_") + QUuid::createUuid().toString(QUuid::Id128);
    const auto error = OpenDatabase(params(), name, OpenPurpose::Probe);
    QSqlDatabase::removeDatabase(name);
    return error ? ConnectFailure(*error) : DbError{};
}

DbError CDbSetupSettings::GetDbVersion(bool* opened, bool* current, bool* busy)
{
    *opened = false;
    *current = false;
    if (busy)
        *busy = false;
    // Read before anything changes the file: a database that is refused stays as it was.
    const QString name = QStringLiteral("lir_version_") + QUuid::createUuid().toString(QUuid::Id128);
    DbError result;
    if (const auto error = OpenDatabase(params(), name, OpenPurpose::Probe); !error) {
        *opened = true;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            QSqlQuery q(db);
            std::optional<int> version;
            const auto failure = ExecOnOwnConnection(params(), name, [&]() -> std::optional<QSqlError> {
                if (!q.exec(QStringLiteral("select n from tSysDbVersion")))
                    return q.lastError();
                version = q.next() ? q.value(0).toInt() : -1;
                return std::nullopt;
            });
            if (version) {
                *current = *version == kDbVersion;
            } else if (failure) {
                // Another session's lock, a wait the user ended or a lost connection say nothing of
                // the version: the database did not answer. Any other failure counts as an old
                // version (a database without the version table).
                const CSqlDialect& dialect = DialectOf(params().dialect);
                const bool stopped = failure->nativeErrorCode() == WaitStoppedError().nativeErrorCode();
                if (stopped || dialect.IsLocked(*failure) || failure->type() == QSqlError::ConnectionError) {
                    const QSqlError said = dialect.IsLocked(*failure) ? LockWaitError() : *failure;
                    *opened = false;
                    if (busy)
                        *busy = stopped || dialect.IsLocked(*failure);
                    result = DbError{0, said.driverText(), said.databaseText()};
                }
            }
            q.finish();
            db.close();
        }
    } else {
        result = ConnectFailure(*error);
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

QString ConnectFailureText(const DbError& error)
{
    QString text = error.message;
    if (!error.description.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + error.description;
    return text;
}
