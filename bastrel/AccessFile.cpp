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
#include <QSqlRecord>
#include <QTemporaryFile>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

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
    *reason = SystemReason(errno);
    return false;
}

// The statements that give the file each index of the schema it lacks or holds in another form, as
// SQLite keeps their text; false after a reported error.
bool FileIndexFixes(QSqlDatabase& db, const QString& schema, QString* script)
{
    static const QRegularExpression create(QStringLiteral("^CREATE (UNIQUE )?INDEX (\\w+) ON "),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression comments(QStringLiteral("^\\s*(--[^\\n]*\\n\\s*)*"));
    for (QString piece : SplitSqlBatches(schema)) {
        piece.remove(comments);
        piece = piece.trimmed();
        const auto m = create.match(piece);
        if (!m.hasMatch())
            continue;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("select sql from sqlite_master where type = 'index' and name = ? collate nocase"));
        q.addBindValue(m.captured(2));
        if (!q.exec()) {
            ReportComError(q.lastError());
            return false;
        }
        if (q.next()) {
            if (q.value(0).toString().simplified() == piece.simplified())
                continue;
            *script += QStringLiteral("DROP INDEX %1\nGO\n").arg(m.captured(2));
        }
        *script += piece + QStringLiteral("\nGO\n");
    }
    return true;
}

QString FileUri(const QString& path, const char* mode)
{
    QString p = QFileInfo(path).absoluteFilePath();
    p.replace(u'%', QStringLiteral("%25")).replace(u'?', QStringLiteral("%3f")).replace(u'#', QStringLiteral("%23"));
    return QStringLiteral("file:") + p + QStringLiteral("?mode=") + QString::fromLatin1(mode);
}

// The rows of a statement with its values bound, each as its columns in order; a failure is reported.
bool SelectRows(QSqlDatabase& db, const QString& sql, const QVariantList& args, std::vector<QVariantList>* rows)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : args)
        q.addBindValue(v);
    if (!q.exec()) {
        ReportComError(q.lastError());
        return false;
    }
    const int columns = q.record().count();
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i)
            row << q.value(i);
        rows->push_back(std::move(row));
    }
    return true;
}

// The first column of the rows of a statement, as text.
bool SelectTexts(QSqlDatabase& db, const QString& sql, const QVariantList& args, QStringList* texts)
{
    std::vector<QVariantList> rows;
    if (!SelectRows(db, sql, args, &rows))
        return false;
    for (const QVariantList& row : rows)
        *texts << row.value(0).toString();
    return true;
}

// The names of a table's columns, as the database spells them; none when the table is missing.
QStringList TableColumns(QSqlDatabase& db, const QString& schema, const QString& table, bool* failed)
{
    QStringList names;
    *failed = !SelectTexts(db, QStringLiteral("select name from pragma_table_info(?, ?) order by cid"), {table, schema},
                           &names);
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

// Why the database file may not be prepared; empty when it may. shown: the name the user gave.
QString RefuseFile(const QString& path, const QString& shown)
{
    const QByteArray p = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(p.constData(), &st) != 0)
        return QString();
    if (S_ISREG(st.st_mode) && st.st_size == 0)
        return PrepTexts::kEmptyFile.arg(shown);
    // The mode is asked too: the superuser may write whatever access() says.
    if ((st.st_mode & 0222) == 0 || ::access(p.constData(), W_OK) != 0)
        return PrepTexts::kReadOnlyFile.arg(shown);
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

// The journals SQLite keeps beside a file: a failed run leaves none of them behind.
void RemoveCompanions(const QString& path)
{
    for (const char* suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

// Held on the database's folders for the whole run: a second preparation there is told so at once,
// before it touches a file. A folder that cannot be locked (a file system without such locks) is
// prepared all the same.
class CFolderLocks {
public:
    CFolderLocks() = default;
    ~CFolderLocks()
    {
        for (int fd : m_fds)
            ::close(fd);
    }
    CFolderLocks(const CFolderLocks&) = delete;
    CFolderLocks& operator=(const CFolderLocks&) = delete;

    // False when another preparation holds the folder.
    bool Take(const QString& folder)
    {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return true;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            ::close(fd);
            return !held;
        }
        m_fds.push_back(fd);
        return true;
    }

private:
    std::vector<int> m_fds;
};

// Why no file can be made in the folder.
QString CannotCreate(const QString& folder, int error)
{
    return IsNoSpace(error) ? PrepTexts::kDiskFull.arg(folder)
                            : PrepTexts::kFolderNotWritable.arg(folder, SystemReason(error));
}

// A value of a key as the message shows it.
QString KeyValue(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::QString)
        return u'\'' + v.toString() + u'\'';
    return v.toString();
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
    // A link is followed: the file it names is prepared in its own folder, and the link stays.
    const QFileInfo file(m_mdbPath);
    if (file.isSymLink()) {
        m_target = file.canonicalFilePath();
        if (m_target.isEmpty()) {
            AppMessageBox(PrepTexts::kDanglingLink.arg(m_mdbPath, file.symLinkTarget()), MB_OK | MB_ICONHAND);
            return 0;
        }
        m_targetFolder = QFileInfo(m_target).absolutePath() + u'/';
    }
    QStringList folders{m_folder};
    if (QFileInfo(m_targetFolder).canonicalFilePath() != QFileInfo(m_folder).canonicalFilePath())
        folders << m_targetFolder;
    CFolderLocks locks;
    for (const QString& folder : folders) {
        if (!locks.Take(folder)) {
            AppMessageBox(PrepTexts::kPrepRunning.arg(m_mdbPath), MB_OK | MB_ICONHAND);
            return 0;
        }
    }
    // Every run writes there (the file, its journal, the backup): a folder that refuses is named
    // before anything is done.
    for (const QString& folder : folders) {
        if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
            AppMessageBox(CannotCreate(folder, errno), MB_OK | MB_ICONHAND);
            return 0;
        }
    }
    for (const QString& folder : folders)
        RemoveLeftovers(folder);
    // The file exists, or it is made; a file that cannot be read is shown, never replaced.
    if (!file.exists() && !file.isSymLink())
        return PrepareAccessFile(false, -1);
    if (const QString refusal = RefuseFile(m_target, m_mdbPath); !refusal.isEmpty()) {
        AppMessageBox(refusal, MB_OK | MB_ICONHAND);
        return 0;
    }
    QSqlDatabase db;
    if (!OpenFile(m_target, &db))
        return 0;
    const int version = GetDbVersion(db);
    Drop(db);
    return version == kVersion ? RunDataFixScript() : PrepareAccessFile(true, version);
}

bool CDbPreparer::HoldAlone(const QString& path, QSqlDatabase* lock)
{
    const QString name = QStringLiteral("bastrel_lock_") + QUuid::createUuid().toString(QUuid::Id128);
    *lock = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    m_connections << name;
    lock->setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    lock->setDatabaseName(FileUri(path, "rw"));
    QSqlQuery q(*lock);
    const bool locked = lock->open() && q.exec(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"))
        && q.exec(QStringLiteral("BEGIN EXCLUSIVE")) && q.exec(QStringLiteral("COMMIT"));
    if (locked && !SharedMemoryInUse(path))
        return true;
    const QSqlError e = lock->isOpen() ? q.lastError() : lock->lastError();
    if (locked || IsBusy(e)) {
        AppMessageBox(PrepTexts::kFileInUse.arg(m_mdbPath), MB_OK | MB_ICONHAND);
    } else if (const QString known = KnownFailure(*lock, e); !known.isEmpty()) {
        AppMessageBox(known, MB_OK | MB_ICONHAND);
    } else {
        ReportComError(e);
    }
    q.finish();
    Drop(*lock);
    return false;
}

int CDbPreparer::RunDataFixScript()
{
    const QString units = LoadPrepScript(kUnitsScript);
    const QString schema = SchemaScript(SqlDialect::SQLite);
    if (units.isEmpty() || schema.isEmpty())
        return 0;
    // Written in place: not while the program has the file open.
    QSqlDatabase db;
    if (!HoldAlone(m_target, &db))
        return 0;
    bool ok = RunStatement(db, QStringLiteral("BEGIN IMMEDIATE"));
    // A file of this version made before an index came lacks only the index.
    QString indexes;
    ok = ok && FileIndexFixes(db, schema, &indexes) && RunPieces(db, SqlDialect::SQLite, indexes)
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
    const bool known = upgrade && ::stat(QFile::encodeName(m_target).constData(), &old) == 0;
    const struct stat* like = known ? &old : nullptr;

    // An upgrade holds the old file alone from here to the end: nobody writes to it meanwhile.
    QSqlDatabase lock;
    if (upgrade && !HoldAlone(m_target, &lock))
        return 0;
    QSqlDatabase db;
    QString backup;
    QStringList scratch; // this run's temporary files, whose journals a failure removes
    // Whatever fails, nothing of the run stays: the connections close, the new backup goes, and the
    // temporary files go with their journals (the files themselves as their objects end).
    auto fail = [&] {
        if (db.isValid())
            Drop(db);
        if (lock.isValid())
            Drop(lock);
        if (!backup.isEmpty())
            QFile::remove(backup);
        for (const QString& path : scratch)
            RemoveCompanions(path);
        return 0;
    };
    auto show = [](const QString& text) { AppMessageBox(text, MB_OK | MB_ICONHAND); };

    // The backup: LIR.Bak.db, or a dated one beside it; written whole under a temporary name first.
    if (upgrade) {
        QTemporaryFile temp(m_folder + QStringLiteral("LIR.Bak.XXXXXX.tmp"));
        if (!temp.open()) {
            show(CannotCreate(m_folder, errno));
            return fail();
        }
        const CTempMark mark(temp.fileName());
        scratch << temp.fileName();
        temp.close();
        QSqlQuery q(lock);
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(temp.fileName());
        if (!q.exec()) {
            const QString cause = KnownFailure(lock, q.lastError(), m_folder);
            show(!cause.isEmpty() ? cause
                                  : PrepTexts::kBackupFailed.arg(temp.fileName(), q.lastError().databaseText()));
            q.finish();
            return fail();
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
            if (LinkNoReplace(temp.fileName(), candidate, &taken, &reason)) {
                backup = candidate;
            } else if (!taken || i > 100) {
                show(PrepTexts::kBackupFailed.arg(candidate, reason));
                return fail();
            }
        }
        SyncPath(m_folder, true);
    }

    // The new file, under a temporary name beside the file it replaces until it is complete.
    QTemporaryFile fresh(m_targetFolder + QStringLiteral("LIR.XXXXXX.tmp"));
    if (!fresh.open()) {
        show(CannotCreate(m_targetFolder, errno));
        return fail();
    }
    const CTempMark mark(fresh.fileName());
    scratch << fresh.fileName();
    bool ok = true;
    int writeError = 0;
    if (schema.isEmpty()) {
        QFile source(tmpl);
        if (!source.open(QIODevice::ReadOnly)) {
            show(PrepTexts::kNoTemplate.arg(tmpl, source.errorString()));
            return fail();
        }
        while (ok && !source.atEnd()) {
            const QByteArray chunk = source.read(1 << 20);
            errno = 0;
            ok = !chunk.isEmpty() && fresh.write(chunk) == chunk.size();
            writeError = errno;
        }
    }
    if (ok) {
        errno = 0;
        ok = fresh.flush();
        writeError = errno;
    }
    if (!ok) {
        show(IsNoSpace(writeError) ? PrepTexts::kDiskFull.arg(m_targetFolder)
                                   : PrepTexts::kWriteFailed.arg(
                                       fresh.fileName(), writeError ? SystemReason(writeError) : fresh.errorString()));
        return fail();
    }
    fresh.close();

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
                    && NoBrokenReferences(db)))
            && RunPieces(db, SqlDialect::SQLite, kStampScript) && RunStatement(db, QStringLiteral("COMMIT"));
        if (!ok)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    }
    if (!ok)
        return fail();
    if (upgrade)
        QSqlQuery(db).exec(QStringLiteral("DETACH DATABASE old"));
    Drop(db);
    GiveAccess(fresh.fileName(), like);
    SyncPath(fresh.fileName(), false);

    // In place: a new file never replaces one that appeared meanwhile; an upgraded one replaces the
    // old file, once nobody has it open (its write-ahead log is gone with the last connection).
    const QByteArray from = QFile::encodeName(fresh.fileName());
    const QByteArray to = QFile::encodeName(m_target);
    QString reason;
    if (upgrade) {
        Drop(lock);
        if (QFileInfo::exists(m_target + QStringLiteral("-wal")) || SharedMemoryInUse(m_target)) {
            show(PrepTexts::kFileInUse.arg(m_mdbPath));
            return fail();
        }
        ok = ::rename(from.constData(), to.constData()) == 0;
        if (!ok)
            reason = SystemReason(errno);
    } else {
        bool taken = false;
        ok = LinkNoReplace(fresh.fileName(), m_target, &taken, &reason);
        if (taken)
            reason = PrepTexts::kFileExists;
    }
    if (!ok) {
        show(PrepTexts::kWriteFailed.arg(m_mdbPath, reason));
        return fail();
    }
    if (upgrade)
        fresh.setAutoRemove(false);
    SyncPath(m_targetFolder, true);
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
    // 1 copied, 0 left as the template has it (an optional table whose data do not fit), -1 failed.
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
        m_oldColumns.insert(newName.toLower(), source);
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
                const QString why = PrepTexts::kMissingColumn.arg(c, from);
                if (required)
                    AppMessageBox(why, MB_OK | MB_ICONHAND);
                else
                    m_left.insert(newName.toLower(), why);
                return required ? -1 : 0;
            }
            names << Quoted(*it);
        }
        const QString list = names.join(QStringLiteral(", "));
        const QString sql =
            QStringLiteral("INSERT INTO main.%1 (%2) SELECT %2 FROM old.%3").arg(Quoted(newName), list, Quoted(from));
        if (required)
            return RunStatement(target, sql) ? 1 : -1;
        // A table that does not fit is left as the template has it, and so is one whose rows refer
        // to the rows of a table left so.
        QSqlQuery q(target);
        if (!q.exec(QStringLiteral("SAVEPOINT also_migrated")))
            return -1;
        bool fits = q.exec(sql);
        if (!fits) {
            m_left.insert(newName.toLower(), PrepTexts::kRowsDoNotFit.arg(from));
        } else {
            q.prepare(QStringLiteral("select \"parent\" from pragma_foreign_key_check(?)"));
            q.addBindValue(newName);
            if (!q.exec())
                return -1;
            while (fits && q.next()) {
                const QString parent = q.value(0).toString().toLower();
                if (m_left.contains(parent)) {
                    m_left.insert(newName.toLower(), m_left.value(parent));
                    fits = false;
                }
            }
            q.finish();
        }
        if (fits)
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

bool CDbPreparer::NoBrokenReferences(QSqlDatabase& db)
{
    // The user mends the old file: its tables and columns are named as it names them.
    const auto table = [&](const QString& name) { return m_oldNames.value(name.toLower(), name); };
    const auto column = [&](const QString& tableName, const QString& name) {
        const QStringList old = m_oldColumns.value(tableName.toLower());
        const auto it = std::find_if(old.begin(), old.end(),
                                     [&](const QString& c) { return c.compare(name, Qt::CaseInsensitive) == 0; });
        return it == old.end() ? name : *it;
    };
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA main.foreign_key_check"))) {
        ReportComError(q.lastError());
        return false;
    }
    struct Key {
        QString table;
        int fk;
        bool operator<(const Key& o) const { return std::tie(table, fk) < std::tie(o.table, o.fk); }
    };
    struct Found {
        QString parent;
        std::vector<qint64> rowids;
        qint64 total = 0;
    };
    std::map<Key, Found> found;
    while (q.next()) {
        Found& f = found[{q.value(0).toString(), q.value(3).toInt()}];
        f.parent = q.value(2).toString();
        if (f.rowids.size() < size_t(kBrokenRowsShown))
            f.rowids.push_back(q.value(1).toLongLong());
        ++f.total;
    }
    q.finish();
    if (found.empty())
        return true;

    // Rows that refer to a table whose data stay behind are no orphans: the cause is that table.
    for (const auto& [key, f] : found) {
        if (const auto it = m_left.constFind(f.parent.toLower()); it != m_left.constEnd()) {
            AppMessageBox(PrepTexts::kParentLeft.arg(table(key.table), table(f.parent), *it, m_mdbPath),
                          MB_OK | MB_ICONHAND);
            return false;
        }
    }
    std::vector<BrokenReferences> broken;
    for (const auto& [key, f] : found) {
        BrokenReferences b;
        b.table = table(key.table);
        b.parent = table(f.parent);
        b.total = f.total;
        // The row is named by its primary key (by its rowid in a table without one).
        QStringList keyColumns;
        std::vector<QVariantList> references;
        if (!SelectTexts(db, QStringLiteral("select name from pragma_table_info(?, 'main') where pk > 0 order by pk"),
                         {key.table}, &keyColumns)
            || !SelectRows(db,
                           QStringLiteral("select \"from\", \"to\" from pragma_foreign_key_list(?, 'main') "
                                          "where id = ? order by seq"),
                           {key.table, key.fk}, &references))
            return false;
        QStringList selected;
        if (keyColumns.isEmpty()) {
            b.keyNames << QStringLiteral("rowid");
            selected << QStringLiteral("rowid");
        }
        for (const QString& c : keyColumns) {
            b.keyNames << column(key.table, c);
            selected << Quoted(c);
        }
        for (const QVariantList& r : references) {
            b.fromNames << column(key.table, r.value(0).toString());
            b.refNames << column(f.parent, r.value(1).toString());
            selected << Quoted(r.value(0).toString());
        }
        const QString sql = QStringLiteral("select %1 from main.%2 where rowid = ?")
                                .arg(selected.join(QStringLiteral(", ")), Quoted(key.table));
        for (const qint64 rowid : f.rowids) {
            std::vector<QVariantList> values;
            if (!SelectRows(db, sql, {rowid}, &values))
                return false;
            if (values.empty())
                continue;
            BrokenReferences::Row row;
            const qsizetype keys = b.keyNames.size();
            for (qsizetype i = 0; i < values[0].size(); ++i)
                (i < keys ? row.keyValues : row.refValues) << KeyValue(values[0][i]);
            b.rows.push_back(row);
        }
        broken.push_back(std::move(b));
    }
    AppMessageBox(BrokenReferencesText(broken, PrepTexts::kMendInFile.arg(m_mdbPath)), MB_OK | MB_ICONHAND);
    return false;
}
