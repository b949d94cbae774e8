#include "DbConnection.h"

#include "ErrorSink.h"
#include "SqlDialect.h"
#include "SqliteFunctions.h"
#include "TextUtils.h"
#include "UiThread.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

std::atomic<std::uint64_t> g_nextId{1};

QString DriverName(SqlDialect d)
{
    return d == SqlDialect::PostgreSQL ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
}

} // namespace

struct CDBConnection::ThreadState {
    QString name;
    std::uint64_t generation = 0;
    bool open = false;
    int level = 0;
    std::uint64_t epoch = 0; // counts the changes of the level
    QHash<QString, std::vector<QSqlQuery>> cache;
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
    // The server's process of the user-interface thread's connection, and the connection that asks
    // the server whether it waits for a lock.
    int backendPid = 0;
    QString monitor;
    // A statement of this connection runs on the statement runner: nothing else may use it now.
    bool handedOff = false;
    // The answer of a statement sent without waiting, and the statements prepared by name on the server.
    std::function<std::optional<QSqlError>()> pending;
    QHash<QString, QByteArray> serverStatements;

    void Drop()
    {
        // Closing ends the server's session, which frees its statements: the driver goes first, so
        // that the statements do not ask a server that may be gone to free them one by one.
        if (!name.isEmpty()) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                if (db.isOpen())
                    db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
        if (!monitor.isEmpty()) {
            {
                QSqlDatabase db = QSqlDatabase::database(monitor, false);
                if (db.isOpen())
                    db.close();
            }
            QSqlDatabase::removeDatabase(monitor);
        }
        cache.clear();
        discarded.clear();
        pending = nullptr;
        serverStatements.clear();
        name.clear();
        monitor.clear();
        open = false;
        lost = false;
        backendPid = 0;
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

// On the user-interface thread SQLite waits this long inside the driver before the wait goes on in
// ExecWaitingForLock.
constexpr int kUiLockSliceMs = 200;
// A server statement of the user-interface thread that has not ended after this long is asked about:
// the wait is shown while the server holds it back for another session's lock.
constexpr int kLockCheckMs = 300;
constexpr int kLockRecheckMs = 250;

// Runs the statements of the user-interface thread's server connection that may wait for another
// session's lock, one at a time, while that thread repaints the window. The connection is used by
// one thread at a time: the user-interface thread leaves it alone until the statement has ended.
class CStatementRunner {
public:
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

    void Start(const std::function<std::optional<QSqlError>()>& exec)
    {
        std::lock_guard lock(m_mutex);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Loop(); });
        m_job = &exec;
        m_done = false;
        m_wake.notify_all();
    }

    // Whether the statement has ended within the time.
    bool WaitFor(int ms)
    {
        std::unique_lock lock(m_mutex);
        return m_ended.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done; });
    }

    // Once the statement has ended.
    std::optional<QSqlError> Result()
    {
        std::lock_guard lock(m_mutex);
        return m_result;
    }

private:
    void Loop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_job; });
            if (m_stop)
                return;
            const auto* job = m_job;
            m_job = nullptr;
            lock.unlock();
            std::optional<QSqlError> result = (*job)();
            lock.lock();
            m_result = std::move(result);
            m_done = true;
            m_ended.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    std::thread m_thread;
    const std::function<std::optional<QSqlError>()>* m_job = nullptr;
    std::optional<QSqlError> m_result;
    bool m_done = false;
    bool m_stop = false;
};

CStatementRunner& StatementRunner()
{
    static CStatementRunner runner;
    return runner;
}

QSqlError ConnectionLostError()
{
    return QSqlError(QStringLiteral("Соединение с сервером базы данных потеряно."),
                     QStringLiteral("Операция не выполнена. При следующей операции программа соединится с сервером "
                                    "снова."),
                     QSqlError::ConnectionError);
}

} // namespace

void SetLockWaitHook(LockWaitHook hook)
{
    LockHook() = std::move(hook);
}

bool CDBConnection::ExecWaitingForLock(bool mayWait, const std::function<std::optional<QSqlError>()>& exec)
{
    const SqlDialect d = dialect();
    // The server waits for another session's lock itself, up to kLockWaitMs; the user-interface
    // thread shows the wait and repaints meanwhile.
    std::optional<QSqlError> error =
        d == SqlDialect::PostgreSQL && mayWait && IsUiThread() && LockHook() ? ExecShowingWait(exec) : exec();
    if (!error)
        return true;
    if (d != SqlDialect::SQLite || !IsUiThread() || !DialectOf(d).IsLocked(*error))
        return false;
    const LockWaitHook hook = LockHook();
    QElapsedTimer waited;
    waited.start();
    while (error && waited.elapsed() < kLockWaitMs) {
        if (hook)
            hook(true);
        error = exec();
        if (error && !DialectOf(d).IsLocked(*error))
            break;
    }
    if (hook)
        hook(false);
    return !error;
}

std::optional<QSqlError> CDBConnection::ExecShowingWait(const std::function<std::optional<QSqlError>()>& exec)
{
    ThreadState& state = State();
    CStatementRunner& runner = StatementRunner();
    state.handedOff = true;
    runner.Start(exec);
    if (!runner.WaitFor(kLockCheckMs)) {
        const LockWaitHook hook = LockHook();
        // Work that other threads queue for this one waits until the statement has ended.
        BeginUiOperation();
        bool shown = false;
        bool waiting = false;
        QElapsedTimer asked;
        do {
            if (!asked.isValid() || asked.elapsed() >= kLockRecheckMs) {
                waiting = WaitsForLock(state);
                asked.restart();
            }
            if (waiting) {
                hook(true);
                shown = true;
            }
        } while (!runner.WaitFor(50));
        if (shown)
            hook(false);
        EndUiOperation();
    }
    state.handedOff = false;
    return runner.Result();
}

bool CDBConnection::WaitsForLock(ThreadState& state)
{
    if (state.backendPid <= 0)
        return false;
    if (state.monitor.isEmpty()) {
        DbConnectParams params;
        {
            std::lock_guard lock(m_mutex);
            params = m_params;
        }
        state.monitor = state.name + QStringLiteral("_locks");
        // A server that lets no second connection in cannot say: the long wait counts as one.
        if (OpenDatabase(params, state.monitor, OpenPurpose::Probe))
            return true;
    }
    QSqlDatabase db = QSqlDatabase::database(state.monitor, false);
    if (!db.isOpen())
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select exists (select 1 from pg_locks where pid = ? and not granted)"));
    q.addBindValue(state.backendPid);
    return !q.exec() || !q.next() || q.value(0).toBool();
}

bool CDBConnection::NoteLostConnection()
{
    auto it = ThreadStates().find(m_id);
    if (it == ThreadStates().end() || !it->second->open || it->second->name.isEmpty())
        return false;
    ThreadState& state = *it->second;
    if (state.lost)
        return true;
    const QSqlDatabase db = QSqlDatabase::database(state.name, false);
    if (!db.isValid() || db.isOpen())
        return false;
    state.lost = true;
    return true;
}

std::optional<QSqlError> OpenDatabase(const DbConnectParams& params, const QString& connectionName, OpenPurpose purpose)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(DriverName(params.dialect), connectionName);
    if (params.dialect == SqlDialect::SQLite) {
        // mode=rw: a missing file fails instead of being created empty.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(IsUiThread() ? kUiLockSliceMs : kLockWaitMs));
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
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
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
        // the file: a probe (a database that may yet be refused) stays as it is.
        for (const char* pragma : {"PRAGMA foreign_keys=ON", "PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                   "PRAGMA cache_size=-16384"}) {
            if (purpose == OpenPurpose::Probe && qstrcmp(pragma, "PRAGMA journal_mode=WAL") == 0)
                continue;
            if (!q.exec(QString::fromLatin1(pragma)))
                return fail(q.lastError());
        }
        if (!RegisterSqliteFunctions(db))
            return fail(QSqlError(QStringLiteral("Не удалось зарегистрировать функции SQLite."), QString(),
                                  QSqlError::ConnectionError));
    } else {
        // A writer held by another session's lock waits as long as on SQLite, then fails.
        if (!q.exec(QStringLiteral("select set_config('client_min_messages', 'warning', false), "
                                   "set_config('lock_timeout', '%1', false)")
                        .arg(kLockWaitMs)))
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
    if (params.dialect == SqlDialect::PostgreSQL && IsUiThread()) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("select pg_backend_pid()")) && q.next())
            state.backendPid = q.value(0).toInt();
    }
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
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = GetProgramFolder() + QStringLiteral("LIRR.db");
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
    const bool ok = ExecWaitingForLock(false, [&]() -> std::optional<QSqlError> {
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
    if (NoteLostConnection())
        return ConnectionLostError();
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
    return ok;
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
    return ok;
}

void CDBConnection::Close()
{
    auto it = ThreadStates().find(m_id);
    if (it != ThreadStates().end())
        it->second->Drop();
    ++m_generation; // other threads reopen (or fail) on their next use
    m_connected = false;
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
    *prepared = q.prepare(sql);
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
    ExecWaitingForLock(true, [&] { return error = collect(); });
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
