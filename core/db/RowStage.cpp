#include "RowStage.h"

#include "SqlDialect.h"
#include "SqliteStatement.h"

#include <atomic>

CRowStage::CRowStage(const QString& name, std::vector<BulkColumn> columns, const QString& key)
    : m_columns(std::move(columns))
    , m_key(key)
{
    static std::atomic<int> counter{0};
    m_table = QStringLiteral("tmp_stage_%1_%2").arg(name).arg(++counter);
}

CRowStage::~CRowStage()
{
    // An unfinished copy stores none of its rows; the table goes with the stage, and a connection
    // opened anew has none.
    m_copy.reset();
    if (m_made && m_session == ServerSessionId() && GetDBConnection().isConnected())
        for (const QString& table : m_tables)
            RunOnStage(QStringLiteral("drop table if exists ") + table);
}

bool CRowStage::Start()
{
    if (!GetDBConnection().isConnected())
        return false;
    m_server = Dialect().HasLogins();
    // On SQLite the place is the row's own key: the rows are in its order, and no index copies it.
    QString columns = m_server ? QStringLiteral("ord integer") : QStringLiteral("ord integer primary key");
    for (const BulkColumn& c : m_columns) {
        // SQLite keeps money as its integer units, as the tables do; the server as the tables' own
        // numeric, which any money value fits, so that storing the rows converts nothing.
        const QString type = c.type == BulkType::Int || (c.type == BulkType::Money && !m_server)
            ? QStringLiteral("integer")
            : c.type == BulkType::Text  ? QStringLiteral("text")
            : c.type == BulkType::Money ? QStringLiteral("numeric(19,4)")
            : m_server                  ? QStringLiteral("numeric")
                                        : QStringLiteral("real");
        columns += QStringLiteral(", %1 %2").arg(QLatin1String(c.name), type);
    }
    if (!RunOnStage(QStringLiteral("create temporary table %1 (%2)").arg(m_table, columns)))
        return false;
    m_made = true;
    m_tables << m_table;
    m_session = ServerSessionId();
    std::vector<BulkColumn> copied{{"ord", BulkType::Int}};
    copied.insert(copied.end(), m_columns.begin(), m_columns.end());
    auto copy = std::make_unique<CTempTableCopy>();
    if (!copy->start(m_table, copied))
        return false;
    m_copy = std::move(copy);
    return true;
}

CTempTableCopy* CRowStage::NextValue()
{
    if (m_copy && m_column++ == 0)
        m_copy->add(m_rows);
    return m_copy.get();
}

CRowStage& CRowStage::add(int value)
{
    if (CTempTableCopy* copy = NextValue())
        copy->add(value);
    return *this;
}

CRowStage& CRowStage::add(Money value)
{
    if (CTempTableCopy* copy = NextValue())
        copy->add(value);
    return *this;
}

CRowStage& CRowStage::add(const QString& value)
{
    if (CTempTableCopy* copy = NextValue())
        copy->add(value);
    return *this;
}

CRowStage& CRowStage::add(Decimal6 value)
{
    if (CTempTableCopy* copy = NextValue())
        copy->add(value);
    return *this;
}

bool CRowStage::endRow()
{
    m_column = 0;
    if (m_failed)
        return false;
    if (!m_copy || !m_copy->endRow()) {
        m_failed = true;
        if (m_copy)
            m_error = m_copy->error();
        m_copy.reset();
        return false;
    }
    ++m_rows;
    return true;
}

bool CRowStage::Finish()
{
    if (m_failed || !m_copy)
        return false;
    m_ready = m_copy->finish();
    m_error = m_copy->error();
    m_copy.reset();
    m_failed = !m_ready;
    // Without the index a lookup reads the whole stage: slower, never wrong.
    if (m_ready && !m_key.isEmpty() && (m_server || m_key != QLatin1String("ord")))
        static_cast<void>(RunOnStage(QStringLiteral("create index %1_key on %1 (%2)").arg(m_table, m_key)));
    return m_ready;
}

bool CRowStage::AddTable(const QString& suffix, const QString& columns)
{
    const QString table = m_table + u'_' + suffix;
    if (!m_made || !RunOnStage(QStringLiteral("create temporary table %1 (%2)").arg(table, columns)))
        return false;
    m_tables << table;
    return true;
}

QString CRowStage::shortage() const
{
    return m_failed ? Dialect().OutOfSpace(m_error) : QString();
}

bool CRowStage::ready() const
{
    if (!m_ready)
        return false;
    if (m_server)
        return m_session != 0 && m_session == ServerSessionId();
    const auto found =
        CSqliteStatement::Prepare(QStringLiteral("select 1 from sqlite_temp_master where name = ?"), nullptr);
    if (!found)
        return false;
    found->bind(1, m_table);
    return found->step();
}
