#include "DbConnection.h"

#include "DbSetup.h"
#include "ErrorSink.h"
#include "SqlDialect.h"
#include "SqliteFunctions.h"
#include "SqliteStatement.h"
#include "TextUtils.h"
#include "UiThread.h"

#include <libpq-fe.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include <poll.h>

namespace {

std::atomic<std::uint64_t> g_nextId{1};

QString DriverName(SqlDialect d)
{
    return d == SqlDialect::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

void CloseAndRemove(const QString& name)
{
    if (name.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// A server connection of the user-interface thread whose statements may wait for another session's
// lock: who it is on the server, how its statement is cancelled, and the connection of its own that
// asks the server whether it waits.
struct CLockWatch {
    DbConnectParams params;
    QString monitor;
    int backendPid = 0;
    PGcancel* cancel = nullptr;

    // Taken while the connection is idle: libpq lets another thread cancel through it meanwhile.
    void Watch(const DbConnectParams& connectParams, const QSqlDatabase& db)
    {
        Drop();
        PGconn* connection = db.driver() ? ServerConnection(db.driver()->handle()) : nullptr;
        if (!connection)
            return;
        params = connectParams;
        backendPid = PQbackendPID(connection);
        cancel = PQgetCancel(connection);
    }

    bool WaitsForLock(const QString& watchedName)
    {
        if (backendPid <= 0)
            return false;
        if (monitor.isEmpty()) {
            monitor = watchedName + QStringLiteral("_locks");
            // A server that lets no second connection in cannot say: the long wait counts as one.
            if (OpenDatabase(params, monitor, OpenPurpose::Monitor))
                return true;
        }
        QSqlDatabase db = QSqlDatabase::database(monitor, false);
        if (!db.isOpen())
            return true;
        QSqlQuery q(db);
        q.prepare(QStringLiteral("select exists (select 1 from pg_locks where pid = ? and not granted)"));
        q.addBindValue(backendPid);
        return !q.exec() || !q.next() || q.value(0).toBool();
    }

    void Cancel()
    {
        char why[256];
        if (cancel)
            PQcancel(cancel, why, int(sizeof why));
    }

    void Drop()
    {
        CloseAndRemove(monitor);
        monitor.clear();
        if (cancel)
            PQfreeCancel(cancel);
        cancel = nullptr;
        backendPid = 0;
    }
    ~CLockWatch() { Drop(); }
};

} // namespace

pg_conn* ServerConnection(const QVariant& handle)
{
    // Qt names the driver's handle type by the structure behind libpq's typedef.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

struct CDBConnection::ThreadState {
    QString name;
    std::uint64_t generation = 0;
    bool open = false;
    int level = 0;
    std::uint64_t epoch = 0; // counts the changes of the level
    QHash<QString, std::vector<QSqlQuery>> cache;
    // The statements kept through SQLite's own interface, by their text's storage (which the copy
    // held here keeps from being reused for another text).
    struct Kept {
        QString sql;
        std::unique_ptr<CSqliteStatement> statement;
    };
    std::unordered_map<const QChar*, Kept> kept;
    // Failed statements not yet freed on the server (see DiscardStatement), and whether a statement
    // has succeeded since, so that the next statement may free them first.
    std::vector<QSqlQuery> discarded;
    bool mayFreeDiscarded = false;
    // Actions waiting for the outermost commit, with the level that queued them.
    std::vector<std::pair<int, std::function<void()>>> afterCommit;
    // The actions of a commit run in a transaction of their own; one that failed spoils it.
    bool inAfterCommit = false;
    bool afterCommitFailed = false;
    // The server closed the connection: the next use outside a transaction opens a new one.
    bool lost = false;
    // The user-interface thread's server connection, watched while its statements run.
    CLockWatch watch;
    // A statement of this connection runs on the statement runner: nothing else may use it now.
    bool handedOff = false;
    // The user ended a wait for a lock: until the transaction ends, its statements fail at once.
    bool stopped = false;
    // Actions waiting for the outermost transaction to end, either way.
    std::vector<std::function<void()>> afterTransaction;
    // The answer of a statement sent without waiting, and the statements prepared by name on the server.
    std::function<std::optional<QSqlError>()> pending;
    QHash<QString, QByteArray> serverStatements;

    void Drop()
    {
        // Closing ends the server's session, which frees its statements: the driver goes first, so
        // that the statements do not ask a server that may be gone to free them one by one.
        watch.Drop();
        // SQLite closes no connection that still has statements of its own.
        kept.clear();
        CloseAndRemove(name);
        cache.clear();
        discarded.clear();
        pending = nullptr;
        serverStatements.clear();
        name.clear();
        open = false;
        lost = false;
        stopped = false;
        level = 0;
        afterCommit.clear();
    }
    ~ThreadState() { Drop(); }
};

namespace {
using StateMap = std::unordered_map<std::uint64_t, std::unique_ptr<CDBConnection::ThreadState>>;

// Per thread, the state of each connection object (by its id); closed when the thread ends.
StateMap& ThreadStates()
{
    thread_local StateMap states;
    return states;
}
} // namespace

namespace {

LockWaitHook& LockHook()
{
    static LockWaitHook hook;
    return hook;
}

// SQLite waits this long inside the driver before the wait goes on in ExecWaitingForLock.
constexpr int kLockSliceMs = 200;
// A server statement of the user-interface thread that has not ended after this long is asked about:
// the wait is shown while the server holds it back for another session's lock.
constexpr int kLockCheckMs = 300;
constexpr int kLockRecheckMs = 250;

// Runs the statements of the user-interface thread's server connections, one at a time, while that
// thread repaints the window. The connection is used by one thread at a time: the user-interface
// thread leaves it alone until the statement has ended. Each side spins a moment before it sleeps:
// the statements of an operation follow one another closely, and waking a thread costs more than
// most of them take.
class CStatementRunner {
public:
    using Job = std::function<std::optional<QSqlError>()>;

    ~CStatementRunner()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Start(const Job& exec)
    {
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Loop(); });
        m_done.store(false);
        {
            std::lock_guard lock(m_mutex);
            m_job.store(&exec);
        }
        m_wake.notify_one();
    }

    // Whether the statement has ended within the time.
    bool WaitFor(int ms)
    {
        if (Spin([this] { return m_done.load(); }))
            return true;
        std::unique_lock lock(m_mutex);
        return m_ended.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done.load(); });
    }

    // Once the statement has ended.
    std::optional<QSqlError> Result()
    {
        std::lock_guard lock(m_mutex);
        return m_result;
    }

private:
    static bool Spin(const std::function<bool()>& ready)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kSpinUs);
        do {
            if (ready())
                return true;
            std::this_thread::yield();
        } while (std::chrono::steady_clock::now() < until);
        return false;
    }

    void Loop()
    {
        for (;;) {
            const Job* job = nullptr;
            Spin([&] { return (job = m_job.exchange(nullptr)) != nullptr || m_stop.load(); });
            if (!job) {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stop.load() || m_job.load(); });
                job = m_job.exchange(nullptr);
            }
            if (m_stop)
                return;
            std::optional<QSqlError> result = (*job)();
            {
                std::lock_guard lock(m_mutex);
                m_result = std::move(result);
                m_done.store(true);
            }
            m_ended.notify_all();
        }
    }

    static constexpr int kSpinUs = 1000;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    std::thread m_thread;
    std::atomic<const Job*> m_job{nullptr};
    std::optional<QSqlError> m_result;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stop{false};
};

CStatementRunner& StatementRunner()
{
    static CStatementRunner runner;
    return runner;
}

std::optional<QSqlError> RunOnRunner(CLockWatch& watch, const QString& watchedName,
                                     const std::function<std::optional<QSqlError>()>& exec, bool* stopped);

// A server statement of the user-interface thread, run on the statement runner while this thread
// shows the wait once the server holds it back; a wait the user ends cancels it.
std::optional<QSqlError> RunShowingWait(CLockWatch& watch, const QString& watchedName,
                                        const std::function<std::optional<QSqlError>()>& exec, bool* stopped)
{
    // Work let through while a statement waits may run one of its own (another connection's): at once.
    static bool running = false;
    if (running)
        return exec();
    running = true;
    const auto result = RunOnRunner(watch, watchedName, exec, stopped);
    running = false;
    return result;
}

std::optional<QSqlError> RunOnRunner(CLockWatch& watch, const QString& watchedName,
                                     const std::function<std::optional<QSqlError>()>& exec, bool* stopped)
{
    CStatementRunner& runner = StatementRunner();
    runner.Start(exec);
    if (runner.WaitFor(kLockCheckMs))
        return runner.Result();
    const LockWaitHook hook = LockHook();
    // Work that other threads queue for this one waits until the statement has ended.
    BeginUiOperation();
    bool shown = false;
    bool waiting = false;
    QElapsedTimer asked;
    QElapsedTimer cancelled;
    do {
        if (!hook)
            continue;
        if (!*stopped && (!asked.isValid() || asked.elapsed() >= kLockRecheckMs)) {
            waiting = watch.WaitsForLock(watchedName);
            asked.restart();
        }
        if (!waiting)
            continue;
        shown = true;
        // Once ended, the wait still paints until the server has cancelled the statement.
        const bool goOn = hook(true);
        if (!goOn && (!*stopped || cancelled.elapsed() >= 1000)) {
            *stopped = true;
            watch.Cancel();
            cancelled.restart();
        }
    } while (!runner.WaitFor(50));
    if (shown)
        hook(false);
    EndUiOperation();
    return runner.Result();
}

// Cancels the server statements of worker threads that were asked to stop while they waited, from a
// thread of its own: the worker itself sits in libpq until the server answers.
class CWorkerCanceller {
public:
    struct Watched {
        const std::atomic<bool>* flag;
        QThread* thread;
        PGcancel* cancel;
        bool cancelled = false;
        bool StopRequested() const { return (flag && flag->load()) || thread->isInterruptionRequested(); }
    };

    ~CWorkerCanceller()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void Add(Watched* w)
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Loop(); });
        m_watched.push_back(w);
        m_wake.notify_all();
    }

    // Whether its statement was cancelled.
    bool Remove(Watched* w)
    {
        std::lock_guard lock(m_mutex);
        std::erase(m_watched, w);
        return w->cancelled;
    }

private:
    void Loop()
    {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            m_wake.wait_for(lock, std::chrono::milliseconds(m_watched.empty() ? 1000 : 50));
            for (Watched* w : m_watched)
                if (!w->cancelled && w->StopRequested()) {
                    char why[256];
                    PQcancel(w->cancel, why, int(sizeof why));
                    w->cancelled = true;
                }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Watched*> m_watched;
    std::thread m_thread;
    bool m_quit = false;
};

CWorkerCanceller& WorkerCanceller()
{
    static CWorkerCanceller canceller;
    return canceller;
}

// A statement of a worker thread: its wait for another session's lock ends when the thread is asked
// to stop (a closed window, the program's end), as the user ends one of the window's.
std::optional<QSqlError> RunOnWorker(PGcancel* cancel, const std::function<std::optional<QSqlError>()>& exec,
                                     bool* stopped)
{
    if (!cancel)
        return exec();
    CWorkerCanceller::Watched watched{CurrentThreadStopFlag(), QThread::currentThread(), cancel};
    WorkerCanceller().Add(&watched);
    std::optional<QSqlError> error = exec();
    if (WorkerCanceller().Remove(&watched))
        *stopped = true;
    return error;
}

// A SQLite statement: run again while another writer holds the lock, until the user (on the
// user-interface thread) or the thread's stop (on a worker) ends the wait.
std::optional<QSqlError> RetryWhileLocked(std::optional<QSqlError> error,
                                          const std::function<std::optional<QSqlError>()>& exec, bool* stopped)
{
    const CSqlDialect& sqlite = DialectOf(SqlDialect::SQLite);
    if (!error || !sqlite.IsLocked(*error))
        return error;
    const bool ui = IsUiThread();
    const LockWaitHook hook = ui ? LockHook() : LockWaitHook();
    // Work that other threads queue for the user-interface thread waits until the statement has ended.
    if (ui)
        BeginUiOperation();
    QElapsedTimer waited;
    waited.start();
    while (error && waited.elapsed() < kLockWaitMs) {
        if (ui ? hook && !hook(true) : ThreadStopRequested()) {
            *stopped = true;
            break;
        }
        error = exec();
        if (error && !sqlite.IsLocked(*error))
            break;
    }
    if (hook)
        hook(false);
    if (ui)
        EndUiOperation();
    return error;
}

} // namespace

void SetLockWaitHook(LockWaitHook hook)
{
    LockHook() = std::move(hook);
}

bool CDBConnection::ExecWaitingForLock(LockWaitKind kind, const std::function<std::optional<QSqlError>()>& exec)
{
    const SqlDialect d = dialect();
    ThreadState& state = State();
    if (state.stopped) {
        if (state.level == 0)
            state.stopped = false;
        else if (kind == LockWaitKind::Statement)
            return false;
    }
    if (!IsUiThread()) {
        bool stopped = false;
        const std::optional<QSqlError> error = d == SqlDialect::PostgreSQL && kind != LockWaitKind::Never
            ? RunOnWorker(state.watch.cancel, exec, &stopped)
            : d == SqlDialect::SQLite ? RetryWhileLocked(exec(), exec, &stopped)
                                      : exec();
        if (stopped && (error || state.level > 0))
            state.stopped = true;
        return !error;
    }
    bool stopped = false;
    std::optional<QSqlError> error;
    if (d == SqlDialect::PostgreSQL && kind != LockWaitKind::Never) {
        // The server waits for another session's lock itself, up to kLockWaitMs; this thread shows
        // the wait and repaints meanwhile.
        state.handedOff = true;
        error = RunShowingWait(state.watch, state.name, exec, &stopped);
        state.handedOff = false;
    } else if (d == SqlDialect::SQLite) {
        error = RetryWhileLocked(exec(), exec, &stopped);
    } else {
        error = exec();
    }
    // A statement that went through before the cancel stands outside a transaction; inside one, the
    // transaction still ends without storing.
    if (stopped && (error || state.level > 0))
        state.stopped = true;
    return !error;
}

namespace {

// Whether the connection's answer has come within the time; false on a broken socket too, whose
// error the answer then tells.
bool AnswerWithin(PGconn* connection, int ms)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (!PQconsumeInput(connection))
            return true;
        if (!PQisBusy(connection))
            return true;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return false;
        pollfd fd{PQsocket(connection), POLLIN, 0};
        if (poll(&fd, 1, int(left)) < 0 && errno != EINTR)
            return true;
    }
}

} // namespace

bool CDBConnection::ExecServerCommand(PGconn* connection, const std::function<bool()>& send,
                                      const std::function<std::optional<QSqlError>()>& collect)
{
    if (!IsUiThread())
        return ExecWaitingForLock(LockWaitKind::Statement, [&] {
            send();
            return collect();
        });
    ThreadState& state = State();
    if (state.stopped) {
        if (state.level > 0)
            return false;
        state.stopped = false;
    }
    // Most commands end well within the time after which the wait is shown: no thread is woken.
    if (!send() || AnswerWithin(connection, kLockCheckMs))
        return !collect();
    bool stopped = false;
    state.handedOff = true;
    const std::optional<QSqlError> error = RunShowingWait(state.watch, state.name, collect, &stopped);
    state.handedOff = false;
    if (stopped && (error || state.level > 0))
        state.stopped = true;
    return !error;
}

bool CDBConnection::ServerConnectionFree(PGconn* connection)
{
    if (PQtransactionStatus(connection) != PQTRANS_ACTIVE)
        return true;
    auto it = ThreadStates().find(m_id);
    if (it == ThreadStates().end() || it->second->discarded.empty() || it->second->pending)
        return false;
    while (PGresult* rest = PQgetResult(connection))
        PQclear(rest);
    return PQtransactionStatus(connection) != PQTRANS_ACTIVE;
}

std::optional<QSqlError> ExecOnOwnConnection(const DbConnectParams& params, const QString& connectionName,
                                             const std::function<std::optional<QSqlError>()>& exec)
{
    bool stopped = false;
    std::optional<QSqlError> error;
    if (!IsUiThread()) {
        error = exec();
    } else if (params.dialect == SqlDialect::PostgreSQL) {
        CLockWatch watch;
        watch.Watch(params, QSqlDatabase::database(connectionName, false));
        error = RunShowingWait(watch, connectionName, exec, &stopped);
    } else {
        error = RetryWhileLocked(exec(), exec, &stopped);
    }
    if (stopped && error)
        return WaitStoppedError();
    return error;
}

bool CDBConnection::NoteLostConnection(const QSqlError& error)
{
    auto it = ThreadStates().find(m_id);
    if (it == ThreadStates().end() || !it->second->open || it->second->name.isEmpty())
        return false;
    ThreadState& state = *it->second;
    if (state.lost)
        return true;
    const QSqlDatabase db = QSqlDatabase::database(state.name, false);
    if (!db.isValid())
        return false;
    // The driver may not notice what libpq knows, nor libpq before it reads on: a session the server
    // ended says so by its code (57P01 to 57P03: shut down by an administrator, a crash, a restart;
    // class 08: the connection failed).
    const QString code = error.nativeErrorCode();
    const bool ended = code == QLatin1String("57P01") || code == QLatin1String("57P02")
        || code == QLatin1String("57P03") || code.startsWith(QLatin1String("08"));
    const PGconn* server = db.driver() ? ServerConnection(db.driver()->handle()) : nullptr;
    if (db.isOpen() && !ended && !(server && PQstatus(server) == CONNECTION_BAD))
        return false;
    state.lost = true;
    return true;
}

namespace {

// The server's limits of a session, in milliseconds.
struct SessionLimits {
    int lockTimeout;
    int statementTimeout;
    int idleInTransactionTimeout;
};

// A session of the program waits for another one's lock up to kLockWaitMs and then fails in the
// program's words: its statements are let run longer than that. A transaction left idle (a program
// that hangs with it open) is ended before a waiter gives up on its locks; the program itself never
// keeps one open while it waits for the user. The lock monitor asks one quick question.
SessionLimits SessionLimitsFor(OpenPurpose purpose, bool uiThread)
{
    if (purpose == OpenPurpose::Monitor)
        return {1000, 5000, 60000};
    // Work of the window (imports included) in minutes; reports and recalculation read and write
    // a whole forecast, at the pace of whoever takes the rows.
    return {kLockWaitMs, uiThread ? 600000 : 1800000, 60000};
}

} // namespace

std::optional<QSqlError> OpenDatabase(const DbConnectParams& params, const QString& connectionName, OpenPurpose purpose)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(DriverName(params.dialect), connectionName);
    if (params.dialect == SqlDialect::SQLite) {
        // mode=rw: a missing file fails instead of being created empty.
        // Every thread's wait goes on in ExecWaitingForLock, a slice at a time: the user-interface
        // thread repaints between the slices, a worker looks whether it was asked to stop.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kLockSliceMs));
        QString path = QFileInfo(params.file).absoluteFilePath();
        path.replace(u'%', QStringLiteral("%25"))
            .replace(u'?', QStringLiteral("%3f"))
            .replace(u'#', QStringLiteral("%23"));
        db.setDatabaseName(QStringLiteral("file:") + path + QStringLiteral("?mode=rw"));
    } else {
        if (!params.host.isEmpty())
            db.setHostName(params.host);
        if (params.port > 0)
            db.setPort(params.port);
        db.setDatabaseName(params.dbName);
        if (!params.osAuth) {
            db.setUserName(params.user);
            db.setPassword(params.password);
        }
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutS));
    }
    auto fail = [&](const QSqlError& e) {
        db.close();
        return std::optional<QSqlError>(e);
    };
    if (params.dialect == SqlDialect::SQLite && (params.file.isEmpty() || !QFileInfo(params.file).isFile()))
        return fail(QSqlError(QStringLiteral("Файл базы данных не найден."), params.file, QSqlError::ConnectionError));
    if (!db.open())
        return fail(db.lastError());

    QSqlQuery q(db);
    if (params.dialect == SqlDialect::SQLite) {
        // A file that is not a database opens; the first read tells.
        if (!q.exec(QStringLiteral("select count(*) from sqlite_master")))
            return fail(q.lastError());
        // 16 MiB of page cache (the default is 2): the rows of one product over all receivers of a
        // forecast lie a page apart, and a consolidation walks them product by product. WAL changes
        // the file: a probe (a database that may yet be refused) stays as it is. The temporary
        // database gives its free pages back to the temporary folder at each commit (set before its
        // first table): a dropped stage of received rows would hold its room until the program ends.
        for (const char* pragma : {"PRAGMA foreign_keys=ON", "PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                   "PRAGMA cache_size=-16384", "PRAGMA temp.auto_vacuum=FULL"}) {
            if (purpose != OpenPurpose::Use && qstrcmp(pragma, "PRAGMA journal_mode=WAL") == 0)
                continue;
            if (!q.exec(QString::fromLatin1(pragma)))
                return fail(q.lastError());
        }
        if (!RegisterSqliteFunctions(db))
            return fail(QSqlError(QStringLiteral("Не удалось зарегистрировать функции SQLite."), QString(),
                                  QSqlError::ConnectionError));
    } else {
        const SessionLimits limits = SessionLimitsFor(purpose, IsUiThread());
        // The program's name tells an administrator (and Bastrel's message about busy tables) whose
        // session it is.
        q.prepare(QStringLiteral("select set_config('client_min_messages', 'warning', false), "
                                 "set_config('lock_timeout', ?, false), set_config('statement_timeout', ?, false), "
                                 "set_config('idle_in_transaction_session_timeout', ?, false), "
                                 "set_config('application_name', ?, false)"));
        for (const int ms : {limits.lockTimeout, limits.statementTimeout, limits.idleInTransactionTimeout})
            q.addBindValue(QString::number(ms));
        q.addBindValue(QCoreApplication::applicationName());
        if (!q.exec())
            return fail(q.lastError());
    }
    return std::nullopt;
}

CDBConnection::CDBConnection(bool localFile)
    : m_localFile(localFile)
    , m_id(g_nextId++)
{
}

// The globals live until the process ends; the per-thread connections close with their threads.
CDBConnection::~CDBConnection() = default;

CDBConnection::ThreadState& CDBConnection::State()
{
    auto& slot = ThreadStates()[m_id];
    if (!slot)
        slot = std::make_unique<ThreadState>();
    return *slot;
}

QSqlDatabase CDBConnection::OpenForThread(ThreadState& state)
{
    // Another thread runs a statement of this connection for this one (a repaint while it waits).
    if (state.handedOff)
        return QSqlDatabase();
    const std::uint64_t generation = m_generation;
    if (state.open && state.generation == generation && !state.lost) {
        // The driver would drop an answer still due, and its error with it.
        if (state.pending)
            if (const auto error = CollectPendingAnswer())
                ReportComError(*error);
        return QSqlDatabase::database(state.name, false);
    }
    // The connection was replaced while this thread had a transaction open: its work so far is gone
    // with the old connection, so it must not go on in a new one as if nothing happened. Statements
    // fail until the transaction's owner rolls back.
    if (state.level > 0)
        return QSqlDatabase();
    state.Drop();
    DbConnectParams params;
    {
        std::lock_guard lock(m_mutex);
        params = m_params;
    }
    static std::atomic<std::uint64_t> counter{0};
    state.name = QStringLiteral("lir_%1_%2").arg(m_id).arg(++counter);
    if (const auto error = OpenDatabase(params, state.name)) {
        QSqlDatabase::removeDatabase(state.name);
        state.name.clear();
        ReportComError(*error);
        return QSqlDatabase();
    }
    state.open = true;
    state.generation = generation;
    QSqlDatabase db = QSqlDatabase::database(state.name, false);
    if (params.dialect == SqlDialect::PostgreSQL)
        state.watch.Watch(params, db);
    return db;
}

QSqlDatabase CDBConnection::GetConnection()
{
    if (!m_connected && !Connect())
        return QSqlDatabase();
    return OpenForThread(State());
}

bool CDBConnection::Connect()
{
    if (m_connected)
        return true;
    // Where the main database is, only the application knows (it runs the connect loop).
    if (!m_localFile)
        return false;
    if (const DbError made = PrepareReportDatabaseFile(); Failed(made)) {
        ReportComError(made);
        return false;
    }
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = GetProgramFolder() + kReportDatabaseFile;
    return ConnectWith(params);
}

DbError CDBConnection::NotConnectedError()
{
    return DbError{0, QStringLiteral("Нет соединения с базой данных."), QString()};
}

bool CDBConnection::ConnectWith(const DbConnectParams& params)
{
    Close();
    {
        std::lock_guard lock(m_mutex);
        m_params = params;
    }
    m_dialect = params.dialect;
    ++m_generation;
    m_connected = true;
    if (!OpenForThread(State()).isValid()) {
        m_connected = false;
        return false;
    }
    return true;
}

int CDBConnection::transactionLevel()
{
    return State().level;
}

std::uint64_t CDBConnection::transactionEpoch()
{
    return State().epoch;
}

bool CDBConnection::ExecPlain(const QString& sql)
{
    QSqlDatabase db = GetConnection();
    if (!db.isValid())
        return false;
    QSqlQuery q(db);
    // Beginning a SQLite transaction waits for the write lock; savepoints wait for nothing.
    const bool ok = ExecWaitingForLock(LockWaitKind::Never, [&]() -> std::optional<QSqlError> {
        if (q.exec(sql))
            return std::nullopt;
        return q.lastError();
    });
    if (!ok) {
        ReportComError(StatementError(q.lastError()));
        return false;
    }
    return true;
}

QSqlError CDBConnection::StatementError(const QSqlError& error)
{
    if (NoteLostConnection(error))
        return ConnectionLostError();
    if (const auto it = ThreadStates().find(m_id); it != ThreadStates().end() && it->second->stopped)
        return WaitStoppedError();
    if (DialectOf(dialect()).IsLocked(error))
        return LockWaitError();
    return error;
}

int CDBConnection::BeginTrans()
{
    QSqlDatabase db = GetConnection();
    if (!db.isValid()) {
        if (!m_connected)
            ReportComError(NotConnectedError());
        return 0;
    }
    ThreadState& state = State();
    if (state.level == 0) {
        // SQLite: take the write lock at the start, so that a transaction that reads before it writes
        // waits for other writers (busy timeout) instead of failing when it comes to write.
        const bool begun =
            dialect() == SqlDialect::SQLite ? ExecPlain(QStringLiteral("BEGIN IMMEDIATE")) : db.transaction();
        if (!begun) {
            if (dialect() != SqlDialect::SQLite)
                ReportComError(db.lastError());
            return 0;
        }
    } else if (!ExecPlain(QStringLiteral("SAVEPOINT lir_sp%1").arg(state.level + 1))) {
        return 0;
    }
    ++state.epoch;
    return ++state.level;
}

CDBConnection::ThreadState* CDBConnection::OpenTransaction()
{
    if (!m_connected)
        return nullptr;
    ThreadState& state = State();
    return state.level > 0 ? &state : nullptr;
}

bool CDBConnection::CommitTrans()
{
    ThreadState* open = OpenTransaction();
    if (!open)
        return false;
    ThreadState& state = *open;
    // A statement that failed after it was sent fails the commit: its transaction is rolled back.
    if (const auto error = CollectPendingAnswer()) {
        ReportComError(*error);
        RollbackTrans();
        return false;
    }
    // The user ended a wait of this transaction: it stores nothing, also when the statement went
    // through before the cancel.
    if (state.stopped) {
        ReportComError(WaitStoppedError());
        RollbackTrans();
        return false;
    }
    QSqlDatabase db = OpenForThread(state);
    bool ok;
    if (state.level == 1) {
        ok = db.isValid() && db.commit();
        if (!ok) {
            if (db.isValid()) {
                ReportComError(db.lastError());
                db.rollback();
            }
            state.afterCommit.clear();
        }
    } else {
        ok = ExecPlain(QStringLiteral("RELEASE SAVEPOINT lir_sp%1").arg(state.level));
        if (!ok) {
            // Undo the inner work, or on PostgreSQL the outer transaction stays spoiled.
            ExecPlain(QStringLiteral("ROLLBACK TO SAVEPOINT lir_sp%1").arg(state.level));
            ExecPlain(QStringLiteral("RELEASE SAVEPOINT lir_sp%1").arg(state.level));
            DropAfterCommit(state, state.level);
        } else {
            // What the released level queued now belongs to the level around it.
            for (auto& entry : state.afterCommit)
                entry.first = std::min(entry.first, state.level - 1);
        }
    }
    --state.level;
    ++state.epoch;
    if (ok || state.level == 0)
        state.discarded.clear();
    if (ok && state.level == 0 && !state.afterCommit.empty()) {
        auto actions = std::move(state.afterCommit);
        state.afterCommit.clear();
        RunAfterCommit(actions);
    }
    if (state.level == 0)
        TransactionEnded(state);
    return ok;
}

void CDBConnection::TransactionEnded(ThreadState& state)
{
    state.stopped = false;
    auto actions = std::move(state.afterTransaction);
    state.afterTransaction.clear();
    for (auto& action : actions)
        action();
}

void CDBConnection::AfterTransaction(std::function<void()> action)
{
    ThreadState& state = State();
    if (state.level == 0)
        action();
    else
        state.afterTransaction.push_back(std::move(action));
}

void CDBConnection::RunAfterCommit(std::vector<std::pair<int, std::function<void()>>>& actions)
{
    // One transaction for them all: the journal lines of an operation are stored all or none, right
    // after its rows. Without it they go one by one.
    const bool batch = BeginTrans() > 0;
    ThreadState& state = State();
    state.inAfterCommit = batch;
    state.afterCommitFailed = false;
    for (auto& [level, action] : actions)
        action();
    // What the actions hold goes inside the transaction too: the journal's lines of the commit are
    // written when the last action that gathered them goes.
    actions.clear();
    state.inAfterCommit = false;
    if (!batch)
        return;
    if (state.afterCommitFailed)
        RollbackTrans();
    else
        static_cast<void>(CommitTrans());
}

bool CDBConnection::InAfterCommit()
{
    return State().inAfterCommit;
}

bool CDBConnection::AfterCommitFailed()
{
    return State().afterCommitFailed;
}

void CDBConnection::FailAfterCommit()
{
    State().afterCommitFailed = true;
}

void CDBConnection::DropAfterCommit(ThreadState& state, int level)
{
    std::erase_if(state.afterCommit, [level](const auto& entry) { return entry.first >= level; });
}

void CDBConnection::AfterCommit(std::function<void()> action)
{
    ThreadState& state = State();
    if (state.level == 0) {
        action();
        return;
    }
    state.afterCommit.emplace_back(state.level, std::move(action));
}

bool CDBConnection::RollbackTrans()
{
    ThreadState* open = OpenTransaction();
    if (!open)
        return false;
    ThreadState& state = *open;
    static_cast<void>(CollectPendingAnswer()); // what it did is undone anyway
    QSqlDatabase db = OpenForThread(state);
    bool ok;
    DropAfterCommit(state, state.level);
    if (state.level == 1) {
        ok = db.isValid() && db.rollback();
    } else {
        ok = ExecPlain(QStringLiteral("ROLLBACK TO SAVEPOINT lir_sp%1").arg(state.level))
            && ExecPlain(QStringLiteral("RELEASE SAVEPOINT lir_sp%1").arg(state.level));
    }
    --state.level;
    ++state.epoch;
    if (ok || state.level == 0)
        state.discarded.clear();
    if (state.level == 0)
        TransactionEnded(state);
    return ok;
}

void CDBConnection::Close()
{
    auto it = ThreadStates().find(m_id);
    if (it != ThreadStates().end()) {
        // What waited for the end of a transaction that closing ends.
        auto actions = std::move(it->second->afterTransaction);
        it->second->Drop();
        for (auto& action : actions)
            action();
    }
    ++m_generation; // other threads reopen (or fail) on their next use
    m_connected = false;
}

void CloseThreadConnections()
{
    ThreadStates().clear();
}

namespace {

// Table and column names are checked against the database's own catalog before use.
bool IsSchemaName(QSqlDatabase& db, SqlDialect dialect, const QString& table, const QString& column)
{
    QSqlQuery q(db);
    if (dialect == SqlDialect::SQLite) {
        if (column.isEmpty()) {
            q.prepare(QStringLiteral(
                "select 1 from sqlite_master where type in ('table','view') and lower(name) = lower(?)"));
            q.addBindValue(table);
        } else {
            q.prepare(QStringLiteral(
                "select 1 from sqlite_master m, pragma_table_info(m.name) c "
                "where m.type in ('table','view') and lower(m.name) = lower(?) and lower(c.name) = lower(?)"));
            q.addBindValue(table);
            q.addBindValue(column);
        }
    } else {
        if (column.isEmpty()) {
            q.prepare(QStringLiteral("select 1 from information_schema.tables "
                                     "where table_schema = current_schema() and table_name = lower(?)"));
            q.addBindValue(table);
        } else {
            q.prepare(QStringLiteral("select 1 from information_schema.columns where table_schema = current_schema() "
                                     "and table_name = lower(?) and column_name = lower(?)"));
            q.addBindValue(table);
            q.addBindValue(column);
        }
    }
    return q.exec() && q.next();
}

bool IsPlainIdentifier(const QString& s)
{
    if (s.isEmpty() || s.size() > 63)
        return false;
    for (QChar c : s)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_')
            return false;
    return !s[0].isDigit();
}

} // namespace

int CDBConnection::CountRecords(const QString& table)
{
    if (!IsPlainIdentifier(table) || !m_connected)
        return -1;
    QSqlDatabase db = OpenForThread(State());
    if (!db.isValid() || !IsSchemaName(db, dialect(), table, QString()))
        return -1;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(id) as res from ") + table) || !q.next())
        return -1;
    return q.value(0).toInt();
}

int CDBConnection::GetMaxValue(const QString& table, const QString& column)
{
    if (!IsPlainIdentifier(table) || !IsPlainIdentifier(column) || !m_connected)
        return -1;
    QSqlDatabase db = OpenForThread(State());
    if (!db.isValid() || !IsSchemaName(db, dialect(), table, column))
        return -1;
    QSqlQuery q(db);
    // One query: an empty table answers 0, a column of NULLs only -1.
    if (!q.exec(QStringLiteral("select count(*), max(%1) from %2").arg(column, table)) || !q.next())
        return -1;
    if (q.value(0).toLongLong() == 0)
        return 0;
    if (q.value(1).isNull())
        return -1;
    bool ok = false;
    const int v = q.value(1).toInt(&ok);
    return ok ? v : -1;
}

QSqlQuery CDBConnection::AcquireStatement(const QString& sql, bool* prepared)
{
    *prepared = false;
    QSqlDatabase db = GetConnection();
    if (!db.isValid())
        return QSqlQuery();
    ThreadState& state = State();
    auto it = state.cache.find(sql);
    if (it != state.cache.end() && !it->empty()) {
        QSqlQuery q = std::move(it->back());
        it->pop_back();
        *prepared = true;
        return q;
    }
    QSqlQuery q(db);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    q.setForwardOnly(true);
    // A server takes the statement's table locks as it prepares it: that waits as a run does.
    *prepared = ExecWaitingForLock(LockWaitKind::Statement, [&]() -> std::optional<QSqlError> {
        if (q.prepare(sql))
            return std::nullopt;
        return q.lastError();
    });
    return q;
}

void CDBConnection::ReleaseStatement(const QString& sql, QSqlQuery&& query)
{
    if (!m_connected)
        return;
    ThreadState& state = State();
    if (!state.open || state.generation != m_generation)
        return;
    // A statement of an earlier connection of this thread is not reused.
    if (query.driver() != QSqlDatabase::database(state.name, false).driver())
        return;
    query.finish();
    auto& free = state.cache[sql];
    if (free.size() < 4)
        free.push_back(std::move(query));
}

void CDBConnection::DiscardStatement(QSqlQuery&& query)
{
    ThreadState& state = State();
    // A statement of an earlier connection dies with it.
    if (!m_connected || !state.open || state.generation != m_generation
        || query.driver() != QSqlDatabase::database(state.name, false).driver())
        return;
    query.finish();
    state.discarded.push_back(std::move(query));
    state.mayFreeDiscarded = false;
}

CSqliteStatement* CDBConnection::KeptSqliteStatement(const QString& sql, QSqlError* error)
{
    if (dialect() != SqlDialect::SQLite)
        return nullptr;
    const QSqlDatabase db = GetConnection();
    if (!db.isValid())
        return nullptr;
    ThreadState& state = State();
    const auto it = state.kept.find(sql.constData());
    if (it != state.kept.end() && it->second.sql.size() == sql.size())
        return it->second.statement.get();
    // Texts made anew for every run would only fill it.
    if (state.kept.size() >= 64)
        state.kept.clear();
    auto statement = CSqliteStatement::Prepare(db, sql, error);
    if (!statement)
        return nullptr;
    CSqliteStatement* made = statement.get();
    state.kept[sql.constData()] = ThreadState::Kept{sql, std::move(statement)};
    return made;
}

bool CDBConnection::RunKept(CSqliteStatement& statement)
{
    BeforeStatement();
    const bool ok = ExecWaitingForLock(LockWaitKind::Statement, [&]() -> std::optional<QSqlError> {
        if (statement.run())
            return std::nullopt;
        return statement.error();
    });
    if (!ok) {
        ReportComError(StatementError(statement.error()));
        return false;
    }
    StatementSucceeded();
    return true;
}

void CDBConnection::StatementSucceeded()
{
    auto it = ThreadStates().find(m_id);
    if (it != ThreadStates().end() && !it->second->discarded.empty())
        it->second->mayFreeDiscarded = true;
}

void CDBConnection::BeforeStatement()
{
    // Not while the statement that succeeded is still sending its rows: freeing one is a command of
    // its own, and a server that sends rows one by one would lose the rest of them.
    auto it = ThreadStates().find(m_id);
    if (it != ThreadStates().end() && it->second->pending)
        if (const auto error = CollectPendingAnswer())
            ReportComError(*error);
    if (it != ThreadStates().end() && it->second->mayFreeDiscarded) {
        it->second->discarded.clear();
        it->second->mayFreeDiscarded = false;
    }
}

void CDBConnection::SetPendingAnswer(std::function<std::optional<QSqlError>()> collect)
{
    State().pending = std::move(collect);
}

std::optional<QSqlError> CDBConnection::CollectPendingAnswer()
{
    auto it = ThreadStates().find(m_id);
    if (it == ThreadStates().end() || !it->second->pending)
        return std::nullopt;
    const auto collect = std::move(it->second->pending);
    it->second->pending = nullptr;
    std::optional<QSqlError> error;
    ExecWaitingForLock(LockWaitKind::Answer, [&] { return error = collect(); });
    if (!error)
        return std::nullopt;
    if (DialectOf(dialect()).IsOverflow(*error))
        return MoneyOverflowError();
    return StatementError(*error);
}

QByteArray CDBConnection::ServerStatementName(const QString& sql)
{
    return State().serverStatements.value(sql);
}

void CDBConnection::NoteServerStatement(const QString& sql, const QByteArray& name)
{
    State().serverStatements.insert(sql, name);
}

CDBConnection& GetDBConnection()
{
    static CDBConnection connection(false);
    return connection;
}

CDBConnection& GetReportDBConnection()
{
    static CDBConnection connection(true);
    return connection;
}
