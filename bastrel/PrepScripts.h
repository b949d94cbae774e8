// The SQL scripts Bastrel runs, the runner that shows the first failing piece, and the words for
// what the user can mend.
#pragma once

#include "db/DbConnection.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <vector>

// Scripts carried by the program.
inline const QString kUpgradeScript = QStringLiteral(":/bastrel/sql/postgresql/upgrade.sql");
inline const QString kAdministratorScript = QStringLiteral(":/bastrel/sql/postgresql/administrator.sql");
inline const QString kUnitsScript = QStringLiteral(":/bastrel/sql/units.sql");

// The text of a carried script; a missing one is shown and gives an empty text.
QString LoadPrepScript(const QString& resource);

// A script in two parts: what comes before the line that opens with the marker, and from that line on.
struct SchemaParts {
    QString tables;
    QString objects;
};
SchemaParts SplitAtLine(const QString& script, const QString& marker);
// The schema script of a dialect: the tables, and from the line that opens its programmable objects
// and rights on, what an upgrade runs again on an existing database.
inline const QString kObjectsMarker = QStringLiteral("-- Programmable objects and rights");
inline SchemaParts SplitSchema(const QString& schema)
{
    return SplitAtLine(schema, kObjectsMarker);
}
// The upgrade script's keys come after this line; the rows that would break them are looked for first.
inline const QString kConstraintsMarker = QStringLiteral("-- создание констрейнтов");

// Runs the pieces of a script (batches cut at lines holding only GO) in order. The first piece that
// fails is shown, its SQL with the database's message (or, for a cause the user can mend, only that
// cause), and ends the run with false. With `lockWait`, a piece that gave up waiting for another
// session's lock is not shown: its error goes there, for the caller to try again.
bool RunPieces(QSqlDatabase& db, SqlDialect dialect, const QString& script, QSqlError* lockWait = nullptr);
// Runs one statement with its values bound; a failure is shown as a piece's.
bool RunStatement(QSqlDatabase& db, const QString& sql, const QVariantList& args = {});

// A failure whose cause the user can mend (a full disk, a folder without the right to write, a file
// that another program holds), in the user's words; empty for any other. folder: where the failed
// write went, when it is not the folder of the connection's file.
QString KnownFailure(const QSqlDatabase& db, const QSqlError& error, const QString& folder = QString());
// A system error number in the user's words.
QString SystemReason(int error);
bool IsNoSpace(int error);

// Rows that refer to missing rows, for one key of one table: the first few of them, and how many.
struct BrokenReferences {
    QString table; // as the old database names it
    QString parent;
    QStringList keyNames;  // the columns that identify a row of the table
    QStringList fromNames; // its columns that refer
    QStringList refNames;  // the parent's columns that they look for
    struct Row {
        QStringList keyValues;
        QStringList refValues;
    };
    std::vector<Row> rows;
    qint64 total = 0;
};
inline constexpr int kBrokenRowsShown = 10;
// The message that names them; mend: the sentence that says where to mend them.
QString BrokenReferencesText(const std::vector<BrokenReferences>& broken, const QString& mend);

// The version stamp that ends every preparation, in the same transaction as the work.
inline const QString kStampScript =
    QStringLiteral("Delete from tSysDbVersion\nGO\nINSERT INTO tSysDbVersion (n) VALUES (36)\nGO\n");
