#include "PrepScripts.h"

#include "AppMessage.h"
#include "PrepTexts.h"
#include "db/SqlScript.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

static void InitBastrelResources()
{
    Q_INIT_RESOURCE(bastrel);
}

namespace {

void ShowFailedPiece(const QString& sql, const QSqlError& error)
{
    QString reason = error.databaseText().trimmed();
    if (reason.isEmpty())
        reason = error.text().trimmed();
    AppMessageBox(sql.trimmed() + QStringLiteral("\n\n") + reason, MB_OK | MB_ICONHAND);
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

SchemaParts SplitSchema(const QString& schema)
{
    // The marker opens a line; what comes before it holds the tables.
    qsizetype at = schema.indexOf(QStringLiteral("\n") + kObjectsMarker);
    if (at < 0)
        return SchemaParts{schema, QString()};
    ++at;
    return SchemaParts{schema.left(at), schema.mid(at)};
}

bool RunPieces(QSqlDatabase& db, SqlDialect dialect, const QString& script)
{
    const auto failure = RunSqlScript(db, dialect, script);
    if (!failure)
        return true;
    const QStringList pieces = SplitSqlBatches(script);
    const int failed = failure->batch;
    ShowFailedPiece(failed >= 0 && failed < pieces.size() ? pieces[failed] : QString(), failure->error);
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
        ShowFailedPiece(sql, q.lastError());
    return ok;
}
