// The two database connections of the program: the main database (SQLite file or PostgreSQL server)
// and the local report database. Every thread gets its own connection to the same database. The main
// connection is opened by whoever knows where the database is (the application's connect loop, a
// tool with its own parameters); until then it answers "not connected" and shows nothing.
#pragma once

#include "ErrorSink.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

enum class SqlDialect : int {
    SQLite = 0,
    PostgreSQL = 1,
};

struct DbConnectParams {
    SqlDialect dialect = SqlDialect::SQLite;
    QString file; // SQLite
    QString host; // PostgreSQL
    int port = 5432;
    QString dbName = QStringLiteral("lir");
    QString user;
    QString password;
    bool osAuth = false; // the operating system's authentication: no login or password is sent
};

enum class LockWaitKind {
    Never,     // waits for no lock on a server (a savepoint): runs at once, also after a stopped wait
    Statement, // may wait for a lock
    Answer,    // the answer of a statement already sent: waited for, also after a stopped wait
};

class CSqliteStatement;

class CDBConnection {
public:
    explicit CDBConnection(bool localFile);
    ~CDBConnection();
    CDBConnection(const CDBConnection&) = delete;
    CDBConnection& operator=(const CDBConnection&) = delete;

    // The calling thread's connection: invalid while the main connection is not connected, or when
    // this thread's open failed (that error was reported). The report connection connects itself.
    QSqlDatabase GetConnection();
    // The report connection opens LIRR.db beside the program; the main one only answers whether it
    // is connected.
    bool Connect();
    // Connects with known parameters; a failure is reported and answered with false.
    [[nodiscard]] bool ConnectWith(const DbConnectParams& params);
    static DbError NotConnectedError();
    // Nested transactions: the first level is a real transaction, deeper ones are savepoints.
    // BeginTrans answers the new level, 0 on failure.
    [[nodiscard]] int BeginTrans();
    [[nodiscard]] bool CommitTrans();
    bool RollbackTrans();
    void Close();

    // -1 on any error, also for a name that is not a table (or column) of the database.
    int CountRecords(const QString& table);
    int GetMaxValue(const QString& table, const QString& column);

    SqlDialect dialect() const { return m_dialect; }
    bool isConnected() const { return m_connected; }
    bool isLocalFile() const { return m_localFile; }
    const DbConnectParams& params() const { return m_params; }
    // Transaction level of the calling thread.
    int transactionLevel();
    // Changes whenever the calling thread begins, commits or rolls back a level of its transaction.
    std::uint64_t transactionEpoch();

    // A prepared statement of the calling thread's connection, taken from this thread's cache.
    // Give it back with ReleaseStatement so that the next caller reuses it, or, when it failed or
    // holds values that were never run, with DiscardStatement.
    QSqlQuery AcquireStatement(const QString& sql, bool* prepared);
    void ReleaseStatement(const QString& sql, QSqlQuery&& query);
    // A statement of the calling thread's SQLite connection through SQLite's own interface, for a
    // write of one row that runs many times: prepared at its first use and kept until the connection
    // closes. Meant for texts made once (the text's storage is the key). Null on another dialect or
    // without a connection, and when the text does not prepare (`error` is then set). Run it with
    // RunKept.
    CSqliteStatement* KeptSqliteStatement(const QString& sql, QSqlError* error);
    // Runs it as any statement runs (lock waits, a lost connection, a wait the user ended); false
    // after reporting the error.
    [[nodiscard]] bool RunKept(CSqliteStatement& statement);
    // A server frees a prepared statement only on request, which it refuses inside a failed
    // transaction or without a connection: the statement is kept until the statement after one of
    // this thread that succeeded, or until its transaction ends, or, when neither happens, until the
    // connection closes (which frees it on the server).
    void DiscardStatement(QSqlQuery&& query);
    void StatementSucceeded();
    // Called before a statement runs: collects the answer of a statement sent without waiting, and
    // frees the discarded statements once one has succeeded since.
    void BeforeStatement();

    // A statement sent without waiting for its answer (a chunk of a bulk write on a server), so that
    // the next chunk is made meanwhile. The answer is collected before the next statement of the
    // calling thread's connection, at the latest at its commit or rollback; a failure collected there
    // is reported, and the commit fails.
    void SetPendingAnswer(std::function<std::optional<QSqlError>()> collect);
    // Waits for that answer (a lock wait shown as for any statement): its error, none when it
    // succeeded or nothing was sent.
    std::optional<QSqlError> CollectPendingAnswer();
    // The name under which the calling thread's connection has prepared `sql` on the server, empty
    // when it has not; the names go with the connection.
    QByteArray ServerStatementName(const QString& sql);
    void NoteServerStatement(const QString& sql, const QByteArray& name);

    // Runs the action once the calling thread's outermost transaction commits (at once when none is
    // open); a rollback of the level that queued it drops it. For the journal's lines and for work
    // outside the database, such as writing a file, that must happen only when the rows that describe
    // it are stored. The actions of one commit run in one transaction of their own.
    void AfterCommit(std::function<void()> action);
    // Runs the action once the calling thread's outermost transaction has ended, committed or rolled
    // back (at once when none is open): for what must not hold a transaction and its locks open, such
    // as a message box that waits for the user.
    void AfterTransaction(std::function<void()> action);
    // Whether the calling thread runs the actions of a commit now; an action that failed to write
    // marks them failed, and their transaction is rolled back whole.
    bool InAfterCommit();
    bool AfterCommitFailed();
    void FailAfterCommit();

    // Runs a statement of the calling thread's connection (`exec` answers its error, none when it
    // succeeded). SQLite: on the user-interface thread SQLite waits only a moment inside the driver,
    // so that the window does not freeze; a statement that met another writer's lock is run again
    // here until it gets the lock, kLockWaitMs have passed or the user ends the wait. PostgreSQL: the
    // server waits for another session's lock up to kLockWaitMs; on the user-interface thread a
    // statement runs on a thread of its own meanwhile, and a wait the user ends cancels it on the
    // server. Either way the lock-wait hook shows the wait. After a wait the user ended, the
    // statements of its transaction fail at once (StatementError: WaitStoppedError), and so does its
    // commit: the transaction stores nothing.
    bool ExecWaitingForLock(LockWaitKind kind, const std::function<std::optional<QSqlError>()>& exec);
    // A command of the calling thread's libpq connection, run as ExecWaitingForLock runs a statement:
    // `send` puts it on the wire (false when libpq refused it; its error is then `collect`'s), and
    // `collect` takes its answer. The user-interface thread awaits a quick answer itself and hands
    // the wait to the statement thread only when the server holds the command back.
    bool ExecServerCommand(struct pg_conn* connection, const std::function<bool()>& send,
                           const std::function<std::optional<QSqlError>()>& collect);
    // Whether the calling thread's server connection takes a command of its own now: the rows a
    // discarded statement left unread are dropped first (nobody reads them). False while another
    // statement's rows are still being read.
    bool ServerConnectionFree(struct pg_conn* connection);
    // After a failed statement: whether the server closed the calling thread's connection. The
    // connection is then opened anew by the next use outside a transaction.
    bool NoteLostConnection(const QSqlError& error);
    // The error a failed statement is reported with: a lost connection, a wait the user ended or a
    // lock waited for too long in the program's words, any other as it is.
    QSqlError StatementError(const QSqlError& error);

    struct ThreadState;

private:
    ThreadState& State();
    void RunAfterCommit(std::vector<std::pair<int, std::function<void()>>>& actions);
    void TransactionEnded(ThreadState& state);
    // The calling thread's state while it has an open transaction.
    ThreadState* OpenTransaction();
    static void DropAfterCommit(ThreadState& state, int level);
    QSqlDatabase OpenForThread(ThreadState& state);
    bool ExecPlain(const QString& sql);

    bool m_localFile;
    DbConnectParams m_params;
    std::atomic<SqlDialect> m_dialect{SqlDialect::SQLite};
    std::atomic<bool> m_connected{false};
    std::atomic<std::uint64_t> m_generation{0};
    std::uint64_t m_id;
    std::mutex m_mutex;
};

CDBConnection& GetDBConnection();
CDBConnection& GetReportDBConnection();
// The calling thread's connections to both databases close, as they do when the thread ends.
void CloseThreadConnections();

struct pg_conn;
// The libpq connection behind a server driver's handle, null for another driver.
pg_conn* ServerConnection(const QVariant& driverHandle);

enum class OpenPurpose {
    Use,     // the connection the program works with
    Probe,   // a look that changes nothing in the file (SQLite stays in its journal mode)
    Monitor, // asks the server whether another connection waits for a lock
};
// Opens a connection with the given parameters under the given Qt connection name and prepares the
// session (foreign keys, WAL, busy timeout and Unicode case functions on SQLite; the time limits of
// its kind of work on a server). Answers why it failed, none once the database is open; the caller
// removes the connection either way.
[[nodiscard]] std::optional<QSqlError> OpenDatabase(const DbConnectParams& params, const QString& connectionName,
                                                    OpenPurpose purpose = OpenPurpose::Use);

// How long a server gets to answer a connection.
inline constexpr int kConnectTimeoutS = 10;

// How long a writer waits for another one's lock (a long import holds it that long) before its
// statement fails, on both dialects.
inline constexpr int kLockWaitMs = 120000;

// Shown while the user-interface thread waits for a lock: called with true again and again while it
// waits (show the wait and let the window repaint; of the user's input only what ends the wait),
// answering false once the user ended the wait or the program is to close; called with false when
// the wait is over.
using LockWaitHook = std::function<bool(bool waiting)>;
void SetLockWaitHook(LockWaitHook hook);

// A statement of a connection of the calling thread that is none of CDBConnection's (the connect
// loop's look at a database), run and shown as ExecWaitingForLock runs the program's own. Answers
// its error: WaitStoppedError when the user ended the wait.
std::optional<QSqlError> ExecOnOwnConnection(const DbConnectParams& params, const QString& connectionName,
                                             const std::function<std::optional<QSqlError>()>& exec);
