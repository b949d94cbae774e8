// Connection settings of the main database, and the steps of the connect loop that need no user: the
// test open, the version check and the copy of the template. The loop itself belongs to the application.
#pragma once

#include "DbConnection.h"
#include "ErrorSink.h"
#include "SqlDialect.h"

// The values of the profile section Settings/DataBase, as the connect loop and the dialog
// "Соединение" use them.
class CDbSetupSettings {
public:
    CDbSetupSettings(); // reads the stored values

    QString dbFile;
    QString hostName;
    QString userName;
    QString password;
    bool useWindowsAuth = false;
    int sql = 0; // 0 SQLite file, 1 PostgreSQL server
    int port = 5432;
    QString dbName = QStringLiteral("lir");
    bool savePass = true;
    bool passwordEntered = false; // set by the dialog: only then may the password be remembered
    bool passwordMissing = false; // the last server login asked for a password none gave
    // The profile names a database file: one that fails to open is never replaced without the user.
    bool storedFile = false;
    // Set by the dialog: a missing dbFile is made from the template (a new database of the user's).
    bool createFile = false;

    DbConnectParams params() const;
    static QString DefaultFile();
    // The default file beside the program.
    void UseDefaultAccessFile();
    void SaveSettings();

    // Each answers an error value; code 0 with empty texts is success. A failure to connect carries
    // its reason in Russian as the message (FailureOf). Neither the test open nor the version check
    // changes the database file; on a server the test open asks libpq itself, for the cause in any
    // language.
    DbError OpenAccessDatabase();
    // *busy: the database did not answer (another session's lock, a wait the user ended), which
    // says nothing of the database itself.
    DbError GetDbVersion(bool* opened, bool* current, bool* busy = nullptr);
    // Copies the template over the file (the default one without a path), whole or not at all. In a
    // folder its group shares, the file takes the folder's group and the group may write it.
    DbError PrepareAccessFile(const QString& file = QString());
    // The template of new database files where the program finds its own files; empty, with
    // *missing naming the places looked at, when there is none.
    static QString TemplateFile(DbError* missing = nullptr);
    // A failed open as OpenAccessDatabase answers it.
    DbError ConnectFailure(const QSqlError& error) const;
    // The reason of a failure in Russian, with the driver's words as the description.
    DbError FailureOf(CSqlDialect::ConnectFailure failure, const QString& driverText, unsigned code) const;
};

// The reason and the description of a failed connection, one under the other.
QString ConnectFailureText(const DbError& error);

constexpr int kDbVersion = 36;

inline const QString kTemplateName = QStringLiteral("LIR.db.tmpl");
inline const QString kReportDatabaseFile = QStringLiteral("LIRR.db");

// The reports' work database stays in the program folder: when it is missing there, it is made from
// the empty one the program ships, whole or not at all.
DbError PrepareReportDatabaseFile();
