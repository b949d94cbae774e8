#include "RowStage.h"

#include "SqlDialect.h"
#include "SqliteStatement.h"

#include <QSqlQuery>

#include <atomic>
#include <cmath>

namespace {

// Rows between two commits of the temporary database: a statement of its own each row would cost a
// transaction each.
constexpr int kSqliteBatch = 10000;

// A statement on the stage's own table; failures are not reported (the stage is then not made, or
// its table goes with the connection).
bool RunOnStage(const QString& sql)
{
    GetDBConnection().BeforeStatement();
    QSqlDatabase db = GetDBConnection().GetConnection();
    QSqlQuery q(db);
    return db.isValid() && q.exec(sql);
}

std::unique_ptr<CSqliteStatement> PrepareOnStage(const QString& sql)
{
    QSqlError error;
    return CSqliteStatement::Prepare(sql, &error);
}

bool RunNative(const QString& sql)
{
    const auto statement = PrepareOnStage(sql);
    return statement && statement->run();
}

} // namespace

struct CRowStage::Sqlite {
    std::unique_ptr<CSqliteStatement> insert;
    std::unique_ptr<CSqliteStatement> begin;
    std::unique_ptr<CSqliteStatement> commit;
    bool open = false; // a transaction of the stage's own
};

CRowStage::CRowStage(const QString& name, std::vector<BulkColumn> columns, const QString& key)
    : m_columns(std::move(columns))
    , m_key(key)
{
    static std::atomic<int> counter{0};
    m_table = QStringLiteral("tmp_stage_%1_%2").arg(name).arg(++counter);
}

CRowStage::~CRowStage()
{
    m_copy.reset();
    if (m_sqlite) {
        if (m_sqlite->open)
            RunNative(m_failed ? QStringLiteral("rollback") : QStringLiteral("commit"));
        m_sqlite.reset();
        RunNative(QStringLiteral("drop table if exists temp.") + m_table);
    } else if (m_made && m_session == ServerSessionId()) {
        RunOnStage(QStringLiteral("drop table if exists ") + m_table);
    }
}

bool CRowStage::Start()
{
    if (!GetDBConnection().isConnected())
        return false;
    const bool server = Dialect().HasLogins();
    QString columns = QStringLiteral("ord integer");
    for (const BulkColumn& c : m_columns) {
        const bool number = c.type == BulkType::Money || c.type == BulkType::Decimal;
        // SQLite keeps money as its integer units, as the tables do.
        const QString type = c.type == BulkType::Int || (c.type == BulkType::Money && !server)
            ? QStringLiteral("integer")
            : c.type == BulkType::Text ? QStringLiteral("text")
            : server && number         ? QStringLiteral("numeric")
                                       : QStringLiteral("real");
        columns += QStringLiteral(", %1 %2").arg(QLatin1String(c.name), type);
    }
    return server ? StartServer(columns) : StartSqlite(columns);
}

bool CRowStage::StartServer(const QString& columns)
{
    if (!RunOnStage(QStringLiteral("create temporary table %1 (%2)").arg(m_table, columns)))
        return false;
    m_made = true;
    m_session = ServerSessionId();
    std::vector<BulkColumn> copied{{"ord", BulkType::Int}};
    copied.insert(copied.end(), m_columns.begin(), m_columns.end());
    m_copy = std::make_unique<CServerCopy>();
    if (!m_copy->start(m_table, copied)) {
        m_copy.reset();
        return false;
    }
    return true;
}

bool CRowStage::StartSqlite(const QString& columns)
{
    if (!RunNative(QStringLiteral("create temp table %1 (%2)").arg(m_table, columns)))
        return false;
    m_made = true;
    auto sqlite = std::make_unique<Sqlite>();
    QString values = QStringLiteral("?");
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        values += QStringLiteral(", ?");
    sqlite->insert = PrepareOnStage(QStringLiteral("insert into temp.%1 values (%2)").arg(m_table, values));
    sqlite->begin = PrepareOnStage(QStringLiteral("begin"));
    sqlite->commit = PrepareOnStage(QStringLiteral("commit"));
    if (!sqlite->insert || !sqlite->begin || !sqlite->commit) {
        RunNative(QStringLiteral("drop table if exists temp.") + m_table);
        return false;
    }
    m_sqlite = std::move(sqlite);
    return true;
}

int CRowStage::NextValue()
{
    // COPY takes the row's place first, as the table has it.
    if (m_copy && m_column == 0)
        m_copy->add(m_rows);
    return ++m_column + 1;
}

CRowStage& CRowStage::add(int value)
{
    const int index = NextValue();
    if (m_copy)
        m_copy->add(value);
    else if (m_sqlite)
        m_sqlite->insert->bind(index, std::int64_t(value));
    return *this;
}

CRowStage& CRowStage::add(Money value)
{
    const int index = NextValue();
    if (m_copy)
        m_copy->add(value);
    else if (m_sqlite)
        m_sqlite->insert->bind(index, std::int64_t(value.raw()));
    return *this;
}

CRowStage& CRowStage::add(const QString& value)
{
    const int index = NextValue();
    if (m_copy)
        m_copy->add(value);
    else if (m_sqlite)
        m_sqlite->insert->bind(index, value.isNull() ? QStringLiteral("") : value);
    return *this;
}

CRowStage& CRowStage::add(Decimal6 value)
{
    const int index = NextValue();
    if (m_copy) {
        m_copy->add(value);
    } else if (m_sqlite) {
        if (std::isfinite(value.value))
            m_sqlite->insert->bind(index, RoundDecimal6(value.value));
        else
            m_sqlite->insert->bindNull(index);
    }
    return *this;
}

bool CRowStage::EndSqliteBatch()
{
    Sqlite& s = *m_sqlite;
    // Inside a transaction of the program the rows go with it; otherwise the stage's own transaction
    // writes the temporary database alone and takes no lock of the main one.
    if (!s.open && GetDBConnection().transactionLevel() == 0) {
        if (!s.begin->run())
            return false;
        s.open = true;
    }
    s.insert->bind(1, std::int64_t(m_rows));
    if (!s.insert->run())
        return false;
    if (s.open && (m_rows + 1) % kSqliteBatch == 0) {
        if (!s.commit->run())
            return false;
        s.open = false;
    }
    return true;
}

bool CRowStage::endRow()
{
    m_column = 0;
    if (m_failed)
        return false;
    const bool ok = m_copy ? m_copy->endRow() : m_sqlite && EndSqliteBatch();
    if (!ok) {
        m_failed = true;
        m_copy.reset();
        return false;
    }
    ++m_rows;
    return true;
}

bool CRowStage::Finish()
{
    if (m_failed || (!m_copy && !m_sqlite))
        return false;
    if (m_copy) {
        m_ready = !m_copy->finish();
        m_copy.reset();
    } else {
        m_ready = !m_sqlite->open || m_sqlite->commit->run();
        m_sqlite->open = false;
    }
    m_failed = !m_ready;
    // Without the index a lookup reads the whole stage: slower, never wrong.
    if (m_ready && !m_key.isEmpty()) {
        const QString index = QStringLiteral("create index %1_key on %1 (%2)").arg(m_table, m_key);
        static_cast<void>(m_sqlite ? RunNative(index) : RunOnStage(index));
    }
    return m_ready;
}

bool CRowStage::ready() const
{
    if (!m_ready)
        return false;
    if (!m_sqlite)
        return m_session != 0 && m_session == ServerSessionId();
    const auto found = PrepareOnStage(QStringLiteral("select 1 from sqlite_temp_master where name = ?"));
    if (!found)
        return false;
    found->bind(1, m_table);
    return found->step();
}
