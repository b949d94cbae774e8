// Decides what a database needs and does it: creates it, upgrades it to the current schema with
// its data kept, or only refreshes the unit symbols, and stamps the schema version. One kind is the
// SQLite file LIR.db in a folder, the other a PostgreSQL database on a server. Every problem is
// shown (ReportComError for the database's errors, the message box for the rest) and ends the run
// with the database as it was.
#pragma once

#include "db/DbConnection.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>

class CDbPreparer {
public:
    CDbPreparer();
    ~CDbPreparer();
    CDbPreparer(const CDbPreparer&) = delete;
    CDbPreparer& operator=(const CDbPreparer&) = delete;

    // The server's port (libpq's: PGPORT, else 5432) and the database's name ("lir").
    void SetPort(int port) { m_port = port; }
    void SetDbName(const QString& name) { m_dbName = name; }
    // How long an upgrade keeps trying to take the tables that other sessions use.
    void SetTablesWait(int ms) { m_tablesWaitMs = ms; }
    // Told what a long wait is for (empty once it is over): the window says why it does not answer.
    void SetStatusHandler(std::function<void(const QString&)> handler) { m_status = std::move(handler); }

    // One preparation: 1 prepared, 0 failed. windowsAuth: the operating system's authentication,
    // no login or password sent. folder: where LIR.db is, ending with "/".
    int Run(bool isSql, const QString& server, const QString& login, const QString& password, int windowsAuth,
            const QString& folder);

    // After a successful file upgrade: the tables whose data did not fit the new schema.
    const QStringList& tablesLeft() const { return m_tablesLeft; }

    static constexpr int kVersion = 36;
    static inline const QString kAdminLogin = QStringLiteral("lir_admin");
    static inline const QString kAdminPassword = QStringLiteral("tarno");
    // The class of the server's advisory lock that a preparation holds on a database (the other key:
    // hashtext of the database's name).
    static constexpr int kServerLockClass = 0x4c495250;
    // An upgrade takes every table before it changes anything. One try waits this long for a table
    // that another session holds, so that the reads queued behind the upgrade wait no longer; then
    // it lets go, pauses, and tries again, for kTablesWaitMs in all.
    static constexpr int kLockTryMs = 300;
    static constexpr int kLockPauseMs = 1000;
    static constexpr int kTablesWaitMs = 30000;

private:
    DbConnectParams ServerParams(const QString& dbName) const;
    // Opens a connection of its own; a failure is shown.
    bool Open(const DbConnectParams& params, QSqlDatabase* db);
    bool OpenFile(const QString& path, QSqlDatabase* db);
    void Drop(QSqlDatabase& db);

    int RunServer();
    int CreateServerDatabase(QSqlDatabase& maintenance);
    int UpgradeServerDatabase();
    enum class UpgradeTry { Done, Failed, Busy };
    // One try of the whole upgrade in one transaction, rolled back unless it is Done: the scripts
    // before the look for rows that would break the keys, and those after it. `started`: the
    // server's time when it began.
    UpgradeTry TryServerUpgrade(QSqlDatabase& db, const QStringList& before, const QStringList& after,
                                QString* started);
    // The sessions that held the program's tables at the time `since` and hold them still, one line each.
    QStringList BusySessions(QSqlDatabase& db, const QString& since);
    // What the upgrade repaired, in the words of its closing message; empty when nothing.
    QString RepairedText(QSqlDatabase& db, bool* ok);
    // Before the keys are made: the rows that would break them are named; false when there are any.
    bool NoBrokenServerReferences(QSqlDatabase& db);

    int RunFile();
    // Not an upgrade: a new file from the template (or the schema script); an upgrade: backup, new
    // file, data migration, unit symbols and stamp, then the new file in place of the old.
    int PrepareAccessFile(bool upgrade, int oldVersion);
    bool MigrateAccessData(QSqlDatabase& target, const QString& backupPath, int oldVersion);
    // The migrated rows that refer to missing rows are named by the old file's tables, columns and
    // key values; false when there are any.
    bool NoBrokenReferences(QSqlDatabase& db);
    int RunDataFixScript();
    // Opens the file for this run alone: no other connection reads or writes it until this one is
    // dropped. A file that another program holds is refused with a message.
    bool HoldAlone(const QString& path, QSqlDatabase* lock);
    // The version of the file's schema, -1 when it cannot be read.
    static int GetDbVersion(QSqlDatabase& db);

    bool m_isSql = false;
    QString m_server;
    QString m_login;
    QString m_password;
    bool m_windowsAuth = false;
    int m_port = 5432;
    int m_tablesWaitMs = kTablesWaitMs;
    std::function<void(const QString&)> m_status;
    QString m_repaired;
    QString m_dbName = QStringLiteral("lir");
    QString m_folder;
    QString m_mdbPath;
    // The file the work is done on, and its folder: LIR.db itself, or the file that it links to.
    QString m_target;
    QString m_targetFolder;
    QStringList m_tablesLeft;
    // Each migrated table's name and columns in the old file, by its new name in lower case.
    QHash<QString, QString> m_oldNames;
    QHash<QString, QStringList> m_oldColumns;
    // Why a table's data stay behind (the template's rows stay), by its new name in lower case.
    QHash<QString, QString> m_left;
    QStringList m_connections;
};
