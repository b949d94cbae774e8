// The SQLite kind: LIR.db in a folder. A new file comes from the template beside it (or the schema
// script); an upgrade keeps a backup, builds the new file under a temporary name with the old data
// migrated into it, and only then puts it in place of the old one. Whatever fails, LIR.db and the
// backups stay as they were.
#include "DbPreparer.h"

#include "AppMessage.h"
#include "ErrorSink.h"
#include "PrepScripts.h"
#include "PrepTexts.h"
#include "db/SqlScript.h"
#include "tables/ImportEventTypes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QUuid>

#include <map>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The migrated tables: the old name (files before the rename) and the name in the new schema.
struct MigratedTable {
    const char* oldName;
    const char* newName;
};
constexpr MigratedTable kMigrated[] = {
    {"Documentation", "tFctDocumentation"},
    {"ImportStatus", "tFctImportStatus"},
    {"MConvert", "tClsMConvert"},
    {"Measurement", "tClsMeasurement"},
    {"OldImportMap", "tFctOldImportMap"},
    {"Price", "tFctPrice"},
    {"Product", "tClsProduct"},
    {"PrognozData", "tFctPrognozData"},
    {"Receiver", "tClsReceiver"},
    {"ReceiverMap", "tClsReceiverMap"},
    {"TotalPrognoz", "tFctTotalPrognoz"},
    {"Prognoz", "tFctPrognoz"},
};
// Kept too when the old file has them with columns that fit; otherwise the template's stay. The
// first files had no event kinds: the fixed ones are written after the copy.
constexpr MigratedTable kAlsoMigrated[] = {
    {"ImportEventType", "tClsImportEventType"},
    {"tFctMailing", "tFctMailing"},
    {"tFctMailingReceivers", "tFctMailingReceivers"},
    {"tFctOpJournal", "tFctOpJournal"},
    {"tFctUserRights", "tFctUserRights"},
    {"Faq", "tFctFaq"},
    {"News", "tFctNews"},
};

// A unit stored as "Штука [796]" becomes "Штука" with the code 796.
const QString kUnitNameFix =
    QStringLiteral("UPDATE tClsMeasurement SET code = substr(name, instr(name, '[') + 1, 3), "
                   "name = CASE WHEN instr(name, '[') > 2 THEN substr(name, 1, instr(name, '[') - 2) ELSE '' END "
                   "WHERE instr(name, '[') > 0");
// Versions up to 22 kept the product's code at the head of its name.
const QString kProductNameFix = QStringLiteral("UPDATE tClsProduct SET code = substr(name, 1, instr(name, ' ') - 1), "
                                               "name = substr(name, instr(name, ' ') + 1) WHERE instr(name, ' ') > 1");

bool SyncPath(const QString& path, bool directory)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), (directory ? O_RDONLY | O_DIRECTORY : O_RDWR) | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Gives the file a second name that must not exist yet; false with *taken when it does.
bool LinkNoReplace(const QString& from, const QString& to, bool* taken, QString* reason)
{
    *taken = false;
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::link(a.constData(), b.constData()) == 0)
        return true;
    if (errno == EEXIST) {
        *taken = true;
        return false;
    }
    // A file system without hard links: a rename that refuses to replace.
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return true;
    *taken = errno == EEXIST;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QString FileUri(const QString& path, const char* mode)
{
    QString p = QFileInfo(path).absoluteFilePath();
    p.replace(u'%', QStringLiteral("%25")).replace(u'?', QStringLiteral("%3f")).replace(u'#', QStringLiteral("%23"));
    return QStringLiteral("file:") + p + QStringLiteral("?mode=") + QString::fromLatin1(mode);
}

// The names of a table's columns, as the database spells them; none when the table is missing.
QStringList TableColumns(QSqlDatabase& db, const QString& schema, const QString& table, bool* failed)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select name from pragma_table_info(?, ?) order by cid"));
    q.addBindValue(table);
    q.addBindValue(schema);
    QStringList names;
    if (!q.exec()) {
        ReportComError(q.lastError());
        *failed = true;
        return names;
    }
    while (q.next())
        names << q.value(0).toString();
    return names;
}

QString Quoted(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Whether another process has the file open in write-ahead-log mode: every such connection holds a
// read lock on the "dead man switch" byte of the shared-memory file, which SQLite itself tests to
// learn whether it is the last user.
bool SharedMemoryInUse(const QString& database)
{
    const QByteArray shm = QFile::encodeName(database + QStringLiteral("-shm"));
    const int fd = ::open(shm.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 128;
    lock.l_len = 1;
    const bool inUse = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return inUse;
}

// Held on each temporary file of a run until the run ends: the next run removes only the temporary
// files that no running preparation holds (those of a run that was killed).
class CTempMark {
public:
    explicit CTempMark(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
        if (m_fd >= 0)
            ::flock(m_fd, LOCK_EX | LOCK_NB);
    }
    // Closed only once SQLite is done with the file: a close drops this process's locks on it.
    ~CTempMark()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CTempMark(const CTempMark&) = delete;
    CTempMark& operator=(const CTempMark&) = delete;

private:
    int m_fd;
};

// The temporary files of earlier runs that ended without cleaning up, with their SQLite journals.
void RemoveLeftovers(const QString& folder)
{
    static const QRegularExpression kName(
        QStringLiteral("^(LIR(?:\\.Bak)?\\.[A-Za-z0-9]{6}\\.tmp)(-journal|-wal|-shm)?$"));
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    QStringList held;
    for (const QString& entry : entries) {
        const auto m = kName.match(entry);
        if (!m.hasMatch() || !m.captured(2).isEmpty())
            continue;
        const int fd = ::open(QFile::encodeName(dir.filePath(entry)).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            QFile::remove(dir.filePath(entry));
        else
            held << entry;
        ::close(fd);
    }
    for (const QString& entry : entries) {
        const auto m = kName.match(entry);
        if (m.hasMatch() && !m.captured(2).isEmpty() && !held.contains(m.captured(1))
            && !QFileInfo::exists(dir.filePath(m.captured(1))))
            QFile::remove(dir.filePath(entry));
    }
}

// Why the database file may not be prepared; empty when it may.
QString RefuseFile(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(p.constData(), &st) != 0)
        return QString();
    if (S_ISREG(st.st_mode) && st.st_size == 0)
        return PrepTexts::kEmptyFile.arg(path);
    // The mode is asked too: the superuser may write whatever access() says.
    if ((st.st_mode & 0222) == 0 || ::access(p.constData(), W_OK) != 0)
        return PrepTexts::kReadOnlyFile.arg(path);
    return QString();
}

// A file that takes the place of `like` gets its owner, group and mode where the process may set them;
// a new one the mode a file made in the folder would get.
void GiveAccess(const QString& path, const struct stat* like)
{
    const QByteArray p = QFile::encodeName(path);
    if (like) {
        if (::chown(p.constData(), like->st_uid, like->st_gid) != 0)
            static_cast<void>(::chown(p.constData(), uid_t(-1), like->st_gid));
        // After chown, which may clear the set-id bits.
        static_cast<void>(::chmod(p.constData(), like->st_mode & 07777));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        static_cast<void>(::chmod(p.constData(), 0666 & ~mask));
    }
}

// Keys are deferred while the tables are copied, and a broken one would fail the COMMIT in English
// without naming a row: they are looked for before, and each table's rows are named.
bool NoBrokenReferences(QSqlDatabase& db, const QString& oldFile, const QHash<QString, QString>& oldNames)
{
    // The user mends the old file: its tables are named as it names them.
    const auto named = [&](const QString& table) { return oldNames.value(table.toLower(), table); };
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA main.foreign_key_check"))) {
        ReportComError(q.lastError());
        return false;
    }
    std::map<std::pair<QString, QString>, QStringList> broken; // (table, parent) -> row ids
    while (q.next())
        broken[{named(q.value(0).toString()), named(q.value(2).toString())}] << q.value(1).toString();
    if (broken.empty())
        return true;
    constexpr int kShown = 10;
    QStringList lines;
    for (const auto& [key, rows] : broken) {
        QStringList ids = rows.mid(0, kShown);
        if (rows.size() > kShown)
            ids << QStringLiteral("…");
        lines << PrepTexts::kBrokenReferenceLine.arg(key.first, ids.join(QStringLiteral(", ")), key.second);
    }
    AppMessageBox(PrepTexts::kBrokenReferences.arg(lines.join(u'\n'), oldFile), MB_OK | MB_ICONHAND);
    return false;
}

// The schema's indexes on a file of this version that an earlier build made: one that is missing is
// made, one whose definition differs from the schema's is made again; the file's data stay.
bool AlignIndexes(QSqlDatabase& db)
{
    static const QRegularExpression index(QStringLiteral("^CREATE\\s+(?:UNIQUE\\s+)?INDEX\\s+(\\w+)\\s"),
                                          QRegularExpression::CaseInsensitiveOption);
    for (const QString& piece : SplitSqlBatches(SchemaScript(SqlDialect::SQLite))) {
        // The comments before a statement are no part of what the file keeps of it.
        QStringList lines;
        for (const QString& line : piece.split(u'\n'))
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                lines << line;
        const QString sql = lines.join(u'\n').trimmed();
        const auto m = index.match(sql);
        if (!m.hasMatch())
            continue;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("select sql from sqlite_master where type = 'index' and lower(name) = lower(?)"));
        q.addBindValue(m.captured(1));
        if (!q.exec()) {
            ReportComError(q.lastError());
            return false;
        }
        const bool present = q.next();
        const bool same =
            present && q.value(0).toString().simplified().compare(sql.simplified(), Qt::CaseInsensitive) == 0;
        q.finish();
        if (same)
            continue;
        if (present && !RunStatement(db, QStringLiteral("DROP INDEX ") + m.captured(1)))
            return false;
        // As the schema writes it, so that the file keeps the same text as a new one.
        if (!RunStatement(db, piece))
            return false;
    }
    return true;
}

bool IsBusy(const QSqlError& e)
{
    const int code = e.nativeErrorCode().toInt();
    return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

} // namespace

int CDbPreparer::GetDbVersion(QSqlDatabase& db)
{
    QSqlQuery q(db);
    // Files before the rename keep the version in DbVersion.
    if (!q.exec(QStringLiteral("select n from tSysDbVersion")) && !q.exec(QStringLiteral("select n from DbVersion")))
        return -1;
    return q.next() ? q.value(0).toInt() : -1;
}

bool CDbPreparer::OpenFile(const QString& path, QSqlDatabase* db)
{
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = path;
    return Open(params, db);
}

int CDbPreparer::RunFile()
{
    if (!QFileInfo(m_folder).isDir()) {
        AppMessageBox(PrepTexts::kNoFolder.arg(m_folder), MB_OK | MB_ICONHAND);
        return 0;
    }
    RemoveLeftovers(m_folder);
    // The file exists, or it is made; a file that cannot be read is shown, never replaced.
    const QFileInfo file(m_mdbPath);
    if (!file.exists() && !file.isSymLink())
        return PrepareAccessFile(false, -1);
    if (const QString refusal = RefuseFile(m_mdbPath); !refusal.isEmpty()) {
        AppMessageBox(refusal, MB_OK | MB_ICONHAND);
        return 0;
    }
    QSqlDatabase db;
    if (!OpenFile(m_mdbPath, &db))
        return 0;
    const int version = GetDbVersion(db);
    Drop(db);
    return version == kVersion ? RunDataFixScript() : PrepareAccessFile(true, version);
}

int CDbPreparer::RunDataFixScript()
{
    const QString units = LoadPrepScript(kUnitsScript);
    if (units.isEmpty())
        return 0;
    QSqlDatabase db;
    if (!OpenFile(m_mdbPath, &db))
        return 0;
    bool ok = RunStatement(db, QStringLiteral("BEGIN IMMEDIATE")) && AlignIndexes(db)
        && RunPieces(db, SqlDialect::SQLite, units) && RunPieces(db, SqlDialect::SQLite, kStampScript)
        && RunStatement(db, QStringLiteral("COMMIT"));
    if (!ok)
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    Drop(db);
    return ok ? 1 : 0;
}

int CDbPreparer::PrepareAccessFile(bool upgrade, int oldVersion)
{
    const QString tmpl = m_folder + QStringLiteral("LIR.db.tmpl");
    QString schema;
    if (!QFileInfo::exists(tmpl)) {
        schema = SchemaScript(SqlDialect::SQLite);
        if (schema.isEmpty())
            return 0;
    }
    const QString units = upgrade ? LoadPrepScript(kUnitsScript) : QString();
    if (upgrade && units.isEmpty())
        return 0;
    // The new file takes the place of the old one with its owner, group and mode.
    struct stat old = {};
    const bool known = upgrade && ::stat(QFile::encodeName(m_mdbPath).constData(), &old) == 0;
    const struct stat* like = known ? &old : nullptr;

    // An upgrade holds the old file alone from here to the end: nobody writes to it meanwhile.
    QSqlDatabase lock;
    if (upgrade) {
        const QString name = QStringLiteral("bastrel_lock_") + QUuid::createUuid().toString(QUuid::Id128);
        lock = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        m_connections << name;
        lock.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
        lock.setDatabaseName(FileUri(m_mdbPath, "rw"));
        QSqlQuery q(lock);
        const bool locked = lock.open() && q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"))
            && q.exec(QStringLiteral("BEGIN EXCLUSIVE")) && q.exec(QStringLiteral("COMMIT"));
        if (!locked || SharedMemoryInUse(m_mdbPath)) {
            const QSqlError e = lock.isOpen() ? q.lastError() : lock.lastError();
            if (locked || IsBusy(e))
                AppMessageBox(PrepTexts::kFileInUse.arg(m_mdbPath), MB_OK | MB_ICONHAND);
            else
                ReportComError(e);
            Drop(lock);
            return 0;
        }
    }

    // The backup: LIR.Bak.db, or a dated one beside it; written whole under a temporary name first.
    QString backup;
    if (upgrade) {
        QTemporaryFile temp(m_folder + QStringLiteral("LIR.Bak.XXXXXX.tmp"));
        if (!temp.open()) {
            AppMessageBox(PrepTexts::kFolderNotWritable.arg(m_folder, temp.errorString()), MB_OK | MB_ICONHAND);
            Drop(lock);
            return 0;
        }
        const CTempMark mark(temp.fileName());
        temp.close();
        QSqlQuery q(lock);
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(temp.fileName());
        if (!q.exec()) {
            AppMessageBox(PrepTexts::kBackupFailed.arg(temp.fileName(), q.lastError().databaseText()),
                          MB_OK | MB_ICONHAND);
            Drop(lock);
            return 0;
        }
        q.finish();
        GiveAccess(temp.fileName(), like);
        SyncPath(temp.fileName(), false);
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
        for (int i = 0; backup.isEmpty(); ++i) {
            const QString candidate = i == 0 ? m_folder + QStringLiteral("LIR.Bak.db")
                                             : m_folder
                    + QStringLiteral("LIR.Bak.%1%2.db").arg(stamp, i == 1 ? QString() : QStringLiteral("-%1").arg(i));
            bool taken = false;
            QString reason;
            if (LinkNoReplace(temp.fileName(), candidate, &taken, &reason))
                backup = candidate;
            else if (!taken || i > 100) {
                AppMessageBox(PrepTexts::kBackupFailed.arg(candidate, reason), MB_OK | MB_ICONHAND);
                Drop(lock);
                return 0;
            }
        }
        SyncPath(m_folder, true);
    }
    auto dropBackup = [&] {
        if (!backup.isEmpty())
            QFile::remove(backup);
    };

    // The new file, under a temporary name until it is complete.
    QTemporaryFile fresh(m_folder + QStringLiteral("LIR.XXXXXX.tmp"));
    bool ok = fresh.open();
    if (!ok) {
        AppMessageBox(PrepTexts::kFolderNotWritable.arg(m_folder, fresh.errorString()), MB_OK | MB_ICONHAND);
        Drop(lock);
        dropBackup();
        return 0;
    }
    const CTempMark mark(fresh.fileName());
    if (ok && schema.isEmpty()) {
        QFile source(tmpl);
        if (!source.open(QIODevice::ReadOnly)) {
            AppMessageBox(PrepTexts::kNoTemplate.arg(tmpl, source.errorString()), MB_OK | MB_ICONHAND);
            Drop(lock);
            dropBackup();
            return 0;
        }
        while (ok && !source.atEnd()) {
            const QByteArray chunk = source.read(1 << 20);
            ok = !chunk.isEmpty() && fresh.write(chunk) == chunk.size();
        }
    }
    ok = fresh.flush();
    if (!ok) {
        AppMessageBox(PrepTexts::kWriteFailed.arg(fresh.fileName(), fresh.errorString()), MB_OK | MB_ICONHAND);
        Drop(lock);
        dropBackup();
        return 0;
    }
    fresh.close();

    QSqlDatabase db;
    ok = OpenFile(fresh.fileName(), &db);
    if (ok && upgrade) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("ATTACH DATABASE ? AS old"));
        q.addBindValue(FileUri(backup, "ro"));
        ok = q.exec();
        if (!ok)
            ReportComError(q.lastError());
    }
    ok = ok && RunStatement(db, QStringLiteral("BEGIN IMMEDIATE"));
    if (ok) {
        ok = (schema.isEmpty() || RunPieces(db, SqlDialect::SQLite, schema))
            && (!upgrade
                || (MigrateAccessData(db, backup, oldVersion) && RunPieces(db, SqlDialect::SQLite, units)
                    && NoBrokenReferences(db, m_mdbPath, m_oldNames)))
            && RunPieces(db, SqlDialect::SQLite, kStampScript) && RunStatement(db, QStringLiteral("COMMIT"));
        if (!ok)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    }
    if (db.isValid()) {
        if (upgrade)
            QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE old"));
        Drop(db);
    }
    if (!ok) {
        Drop(lock);
        dropBackup();
        return 0;
    }
    GiveAccess(fresh.fileName(), like);
    SyncPath(fresh.fileName(), false);

    // In place: a new file never replaces one that appeared meanwhile; an upgraded one replaces the
    // old file, once nobody has it open (its write-ahead log is gone with the last connection).
    const QByteArray from = QFile::encodeName(fresh.fileName());
    const QByteArray to = QFile::encodeName(m_mdbPath);
    QString reason;
    if (upgrade) {
        Drop(lock);
        if (QFileInfo::exists(m_mdbPath + QStringLiteral("-wal")) || SharedMemoryInUse(m_mdbPath)) {
            AppMessageBox(PrepTexts::kFileInUse.arg(m_mdbPath), MB_OK | MB_ICONHAND);
            dropBackup();
            return 0;
        }
        ok = ::rename(from.constData(), to.constData()) == 0;
        if (!ok)
            reason = QString::fromLocal8Bit(std::strerror(errno));
    } else {
        bool taken = false;
        ok = LinkNoReplace(fresh.fileName(), m_mdbPath, &taken, &reason);
        if (taken)
            reason = PrepTexts::kFileExists;
    }
    if (!ok) {
        AppMessageBox(PrepTexts::kWriteFailed.arg(m_mdbPath, reason), MB_OK | MB_ICONHAND);
        dropBackup();
        return 0;
    }
    if (upgrade)
        fresh.setAutoRemove(false);
    SyncPath(m_folder, true);
    if (!m_tablesLeft.isEmpty())
        AppMessageBox(PrepTexts::kTablesLeft.arg(m_tablesLeft.join(QStringLiteral(", ")), backup),
                      MB_OK | MB_ICONINFORMATION);
    return 1;
}

bool CDbPreparer::MigrateAccessData(QSqlDatabase& target, const QString& backupPath, int oldVersion)
{
    Q_UNUSED(backupPath);
    // Keys are checked once all tables are in.
    if (!RunStatement(target, QStringLiteral("PRAGMA defer_foreign_keys = ON")))
        return false;
    auto copy = [&](const MigratedTable& t, bool required) -> int {
        const QString newName = QString::fromLatin1(t.newName);
        bool failed = false;
        QStringList source = TableColumns(target, QStringLiteral("old"), QString::fromLatin1(t.oldName), &failed);
        QString from = QString::fromLatin1(t.oldName);
        if (!failed && source.isEmpty()) {
            source = TableColumns(target, QStringLiteral("old"), newName, &failed);
            from = newName;
        }
        if (failed)
            return -1;
        m_oldNames.insert(newName.toLower(), from);
        if (source.isEmpty()) {
            if (!required)
                return 1;
            AppMessageBox(PrepTexts::kMissingTable.arg(newName, QString::fromLatin1(t.oldName)), MB_OK | MB_ICONHAND);
            return -1;
        }
        const QStringList columns = TableColumns(target, QStringLiteral("main"), newName, &failed);
        if (failed)
            return -1;
        // Columns by name, spelt as the new schema spells them.
        QStringList names;
        for (const QString& c : source) {
            const auto it = std::find_if(columns.begin(), columns.end(),
                                         [&](const QString& n) { return n.compare(c, Qt::CaseInsensitive) == 0; });
            if (it == columns.end()) {
                if (required)
                    AppMessageBox(PrepTexts::kMissingColumn.arg(c, from), MB_OK | MB_ICONHAND);
                return required ? -1 : 0;
            }
            names << Quoted(*it);
        }
        const QString list = names.join(QStringLiteral(", "));
        const QString sql =
            QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM old.%3").arg(Quoted(newName), list, Quoted(from));
        if (required)
            return RunStatement(target, sql) ? 1 : -1;
        // A table that does not fit is left as the template has it.
        QSqlQuery q(target);
        if (!q.exec(QStringLiteral("SAVEPOINT also_migrated")))
            return -1;
        if (q.exec(sql))
            return q.exec(QStringLiteral("RELEASE also_migrated")) ? 1 : -1;
        return q.exec(QStringLiteral("ROLLBACK TO also_migrated")) && q.exec(QStringLiteral("RELEASE also_migrated"))
            ? 0
            : -1;
    };
    for (const MigratedTable& t : kMigrated)
        if (copy(t, true) < 0)
            return false;
    for (const MigratedTable& t : kAlsoMigrated) {
        const int result = copy(t, false);
        if (result < 0)
            return false;
        if (result == 0)
            m_tablesLeft << QString::fromLatin1(t.newName);
    }
    // The journal's rows need their kinds; the program writes the fixed ones at every start anyway.
    for (const CImportEventType& kind : FixedImportEventKinds()) {
        if (!RunStatement(target,
                          QStringLiteral("INSERT INTO tClsImportEventType (id, name) SELECT ?, ? WHERE NOT EXISTS "
                                         "(SELECT 1 FROM tClsImportEventType WHERE id = ?)"),
                          {kind.id, kind.name, kind.id}))
            return false;
    }
    if (!RunStatement(target, kUnitNameFix))
        return false;
    // Only a version that was read says that names hold codes.
    if (oldVersion >= 0 && oldVersion <= 22 && !RunStatement(target, kProductNameFix))
        return false;
    return true;
}
