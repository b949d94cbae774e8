// SQL scripts cut into batches at lines that hold only "GO"; the schema scripts of both dialects.
#pragma once

#include "DbConnection.h"

#include <QSqlError>
#include <QStringList>

QStringList SplitSqlBatches(const QString& script);
// The embedded creation script of the dialect.
QString SchemaScript(SqlDialect dialect);
// Runs every batch in order; stops at the first failure (its error and the batch number).
bool RunSqlScript(QSqlDatabase& db, SqlDialect dialect, const QString& script, QSqlError* error = nullptr,
                  int* failedBatch = nullptr);
