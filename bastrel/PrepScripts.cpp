#include "PrepScripts.h"

#include "AppMessage.h"
#include "PrepTexts.h"
#include "db/SqlDialect.h"
#include "db/SqlScript.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

static void InitBastrelResources()
{
    Q_INIT_RESOURCE(bastrel);
}

namespace {

void ShowFailedPiece(const QSqlDatabase& db, const QString& sql, const QSqlError& error)
{
    if (const QString known = KnownFailure(db, error); !known.isEmpty()) {
        AppMessageBox(known, MB_OK | MB_ICONHAND);
        return;
    }
    QString reason = error.databaseText().trimmed();
    if (reason.isEmpty())
        reason = error.text().trimmed();
    AppMessageBox(sql.trimmed() + QStringLiteral("\n\n") + reason, MB_OK | MB_ICONHAND);
}

sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    if (!db.driver())
        return nullptr;
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

bool IsNoRights(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

QString KeyText(const QStringList& names, const QStringList& values)
{
    QStringList pairs;
    for (qsizetype i = 0; i < names.size(); ++i)
        pairs << names[i] + QStringLiteral(" = ") + values.value(i, QStringLiteral("NULL"));
    return pairs.join(QStringLiteral(", "));
}

} // namespace

QString LoadPrepScript(const QString& resource)
{
    InitBastrelResources();
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly)) {
        AppMessageBox(PrepTexts::kNoScript.arg(resource), MB_OK | MB_ICONHAND);
        return QString();
    }
    return QString::fromUtf8(f.readAll());
}

SchemaParts SplitAtLine(const QString& script, const QString& marker)
{
    qsizetype at = script.indexOf(QStringLiteral("\n") + marker);
    if (at < 0)
        return SchemaParts{script, QString()};
    ++at;
    return SchemaParts{script.left(at), script.mid(at)};
}

bool RunPieces(QSqlDatabase& db, SqlDialect dialect, const QString& script, QSqlError* lockWait)
{
    const auto failure = RunSqlScript(db, dialect, script);
    if (!failure)
        return true;
    if (lockWait && DialectOf(dialect).IsLocked(failure->error)) {
        *lockWait = failure->error;
        return false;
    }
    const QStringList pieces = SplitSqlBatches(script);
    const int failed = failure->batch;
    ShowFailedPiece(db, failed >= 0 && failed < pieces.size() ? pieces[failed] : QString(), failure->error);
    return false;
}

bool RunStatement(QSqlDatabase& db, const QString& sql, const QVariantList& args)
{
    QSqlQuery q(db);
    bool ok;
    if (args.isEmpty()) {
        // Not every statement can be prepared on the server (CREATE DATABASE cannot).
        ok = q.exec(sql);
    } else {
        ok = q.prepare(sql);
        for (const QVariant& v : args)
            q.addBindValue(v);
        ok = ok && q.exec();
    }
    if (!ok)
        ShowFailedPiece(db, sql, q.lastError());
    return ok;
}

bool IsNoSpace(int error)
{
    // A quota or a limit on the file's size leaves no room either.
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

QString SystemReason(int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return PrepTexts::kReasonNoSpace;
    if (error == EACCES || error == EPERM)
        return PrepTexts::kReasonNoRights;
    if (error == EROFS)
        return PrepTexts::kReasonReadOnlyFs;
    return PrepTexts::kReasonSystem.arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString KnownFailure(const QSqlDatabase& db, const QSqlError& error, const QString& folder)
{
    if (db.driverName() == QLatin1String("QPSQL")) {
        if (error.nativeErrorCode() == QLatin1String("53100"))
            return PrepTexts::kServerDiskFull.arg(db.hostName().isEmpty() ? QStringLiteral("localhost")
                                                                          : db.hostName());
        return QString();
    }
    sqlite3* handle = SqliteHandle(db);
    if (!handle)
        return QString();
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric) & 0xff;
    if (!numeric)
        return QString();
    const int system = sqlite3_system_errno(handle);
    const char* name = sqlite3_db_filename(handle, "main");
    const QString file = name ? QString::fromUtf8(name) : QString();
    const QString where = folder.isEmpty() ? QFileInfo(file).absolutePath() + u'/' : folder;
    if (code == SQLITE_FULL || (code == SQLITE_IOERR && IsNoSpace(system)))
        return PrepTexts::kDiskFull.arg(where);
    if ((code == SQLITE_READONLY || code == SQLITE_CANTOPEN || code == SQLITE_IOERR) && IsNoRights(system))
        return PrepTexts::kFolderNotWritable.arg(where, SystemReason(system));
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return PrepTexts::kFileInUse.arg(file);
    return QString();
}

QString BrokenReferencesText(const std::vector<BrokenReferences>& broken, const QString& mend)
{
    QStringList lines;
    for (const BrokenReferences& b : broken) {
        for (const BrokenReferences::Row& row : b.rows)
            lines << PrepTexts::kBrokenReferenceLine.arg(b.table, KeyText(b.keyNames, row.keyValues),
                                                         KeyText(b.fromNames, row.refValues), b.parent,
                                                         KeyText(b.refNames, row.refValues));
        if (b.total > qint64(b.rows.size()))
            lines << PrepTexts::kMoreBrokenReferences.arg(b.table, b.parent).arg(b.total - qint64(b.rows.size()));
    }
    return PrepTexts::kBrokenReferences.arg(lines.join(u'\n')) + u'\n' + mend;
}
