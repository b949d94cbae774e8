// SQL scripts cut into batches at lines that hold only "GO"; the schema scripts of both dialects.
#pragma once

#include "DbConnection.h"

#include <QSqlError>
#include <QStringList>

#include <optional>

QStringList SplitSqlBatches(const QString& script);
// The embedded creation script of the dialect.
QString SchemaScript(SqlDialect dialect);
struct SqlScriptFailure {
    QSqlError error;
    int batch = -1; // the number of the batch that failed, from 0
};
// Runs every batch in order; stops at the first failure and answers it (none when all ran).
[[nodiscard]] std::optional<SqlScriptFailure> RunSqlScript(QSqlDatabase& db, SqlDialect dialect, const QString& script);
