#include "SqlScript.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

static void InitSchemaResources()
{
    Q_INIT_RESOURCE(schema);
}

QStringList SplitSqlBatches(const QString& script)
{
    static const QRegularExpression go(QStringLiteral("^\\s*go\\s*$"), QRegularExpression::CaseInsensitiveOption);
    QStringList batches;
    QString current;
    for (const QString& line : script.split(u'\n')) {
        QString l = line;
        if (l.endsWith(u'\r'))
            l.chop(1);
        if (go.match(l).hasMatch()) {
            if (!current.trimmed().isEmpty())
                batches << current;
            current.clear();
        } else {
            current += l;
            current += u'\n';
        }
    }
    if (!current.trimmed().isEmpty())
        batches << current;
    return batches;
}

QString SchemaScript(SqlDialect dialect)
{
    InitSchemaResources();
    QFile f(dialect == SqlDialect::PostgreSQL ? QStringLiteral(":/sql/postgresql/schema.sql")
                                              : QStringLiteral(":/sql/sqlite/schema.sql"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

std::optional<SqlScriptFailure> RunSqlScript(QSqlDatabase& db, SqlDialect dialect, const QString& script)
{
    const QStringList batches = SplitSqlBatches(script);
    for (int i = 0; i < batches.size(); ++i) {
        bool ok = true;
        QSqlError e;
        if (dialect == SqlDialect::SQLite) {
            // A batch may hold several statements (triggers have their own semicolons):
            // SQLite's own executor runs them all.
            QVariant v = db.driver()->handle();
            sqlite3* handle = v.isValid() ? *static_cast<sqlite3**>(v.data()) : nullptr;
            char* message = nullptr;
            if (!handle) {
                ok = false;
                e = QSqlError(QStringLiteral("Нет соединения с базой данных."), QString(), QSqlError::ConnectionError);
            } else if (sqlite3_exec(handle, batches[i].toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
                ok = false;
                e = QSqlError(QStringLiteral("Ошибка выполнения сценария SQL."), QString::fromUtf8(message),
                              QSqlError::StatementError, QString::number(sqlite3_errcode(handle)));
            }
            sqlite3_free(message);
        } else {
            QSqlQuery q(db);
            ok = q.exec(batches[i]);
            if (!ok)
                e = q.lastError();
        }
        if (!ok)
            return SqlScriptFailure{e, i};
    }
    return std::nullopt;
}
