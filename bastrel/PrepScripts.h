// The SQL scripts Bastrel runs and the runner that shows the first failing piece.
#pragma once

#include "db/DbConnection.h"

#include <QSqlDatabase>
#include <QString>

// Scripts carried by the program.
inline const QString kUpgradeScript = QStringLiteral(":/bastrel/sql/postgresql/upgrade.sql");
inline const QString kAdministratorScript = QStringLiteral(":/bastrel/sql/postgresql/administrator.sql");
inline const QString kUnitsScript = QStringLiteral(":/bastrel/sql/units.sql");

// The text of a carried script; a missing one is shown and gives an empty text.
QString LoadPrepScript(const QString& resource);

// The schema script of a dialect in two parts: the tables, and from the line that opens its
// programmable objects and rights on, what an upgrade runs again on an existing database.
struct SchemaParts {
    QString tables;
    QString objects;
};
inline const QString kObjectsMarker = QStringLiteral("-- Programmable objects and rights");
SchemaParts SplitSchema(const QString& schema);

// Runs the pieces of a script (batches cut at lines holding only GO) in order. The first piece that
// fails is shown, its SQL with the database's message, and ends the run with false.
bool RunPieces(QSqlDatabase& db, SqlDialect dialect, const QString& script);
// Runs one statement with its values bound; a failure is shown as a piece's.
bool RunStatement(QSqlDatabase& db, const QString& sql, const QVariantList& args = {});

// The version stamp that ends every preparation, in the same transaction as the work.
inline const QString kStampScript =
    QStringLiteral("Delete from tSysDbVersion\nGO\nINSERT INTO tSysDbVersion (n) VALUES (36)\nGO\n");
