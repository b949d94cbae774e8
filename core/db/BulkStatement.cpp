#include "BulkStatement.h"

#include "ErrorSink.h"
#include "SqliteStatement.h"

namespace {

// A value of the statement's own as SQLite keeps it (as CSqlQuery::bindVariant binds it).
void BindNative(CSqliteStatement& statement, int index, const QVariant& v)
{
    if (v.typeId() == qMetaTypeId<Money>())
        statement.bind(index, std::int64_t(v.value<Money>().raw()));
    else if (v.typeId() == QMetaType::QDateTime)
        statement.bind(index, DateParam(v.toDateTime()).toString());
    else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
        statement.bind(index, std::int64_t(v.toLongLong()));
    else if (v.isNull())
        statement.bindNull(index);
    else
        statement.bind(index, v.toString());
}

} // namespace

QString ArrayElementText(const QString& text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

CBulkStatement::CBulkStatement(const QString& sql, const QString& alias, std::vector<BulkColumn> columns,
                               QVariantList before, QVariantList after, BulkRows rows)
    : m_columns(std::move(columns))
    , m_before(std::move(before))
    , m_after(std::move(after))
{
    const CSqlDialect& dialect = Dialect();
    const QString text = sql.arg(dialect.BulkSource(alias, m_columns));
    m_chunk = dialect.BulkChunkRows();
    m_arrays = m_chunk > 1;
    if (!m_arrays && rows == BulkRows::None) {
        QSqlError error;
        m_native = CSqliteStatement::Prepare(text, &error);
        if (m_native) {
            int index = 1;
            for (const QVariant& v : m_before)
                BindNative(*m_native, index++, v);
            index += int(m_columns.size());
            for (const QVariant& v : m_after)
                BindNative(*m_native, index++, v);
            return;
        }
        if (error.type() != QSqlError::NoError) {
            ReportComError(error);
            m_prepareFailed = true;
            return;
        }
    }
    m_query = std::make_unique<CSqlQuery>(text);
    if (m_arrays)
        m_arrayTexts.resize(m_columns.size());
}

CBulkStatement::~CBulkStatement() = default;

void CBulkStatement::AddValue(const QVariant& value, const QString& arrayElement)
{
    if (m_arrays) {
        QString& text = m_arrayTexts[m_column];
        text += text.isEmpty() ? u'{' : u',';
        text += arrayElement;
    } else if (m_query) {
        if (m_column == 0)
            m_query->bindAll(m_before);
        m_query->bindVariant(value);
    }
    ++m_column;
}

CBulkStatement& CBulkStatement::add(int value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, std::int64_t(value));
    else
        AddValue(value, m_arrays ? QString::number(value) : QString());
    return *this;
}

CBulkStatement& CBulkStatement::add(Money value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, std::int64_t(value.raw()));
    else if (m_query)
        AddValue(QVariant::fromValue(value), m_arrays ? MoneyParam(value, m_query->dialect()).toString() : QString());
    else
        ++m_column;
    return *this;
}

CBulkStatement& CBulkStatement::add(const QString& value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, value);
    else
        AddValue(value.isNull() ? QStringLiteral("") : value, m_arrays ? ArrayElementText(value) : QString());
    return *this;
}

bool CBulkStatement::endRow()
{
    Q_ASSERT(m_column == m_columns.size());
    m_column = 0;
    ++m_rows;
    return m_rows < m_chunk || run();
}

bool CBulkStatement::finish()
{
    return m_rows == 0 || run();
}

bool CBulkStatement::run()
{
    m_rows = 0;
    if (m_prepareFailed)
        return false;
    if (m_native) {
        if (!m_native->run()) {
            ReportComError(m_native->error());
            return false;
        }
    } else {
        if (m_arrays) {
            m_query->bindAll(m_before);
            for (QString& text : m_arrayTexts) {
                text += text.isEmpty() ? QStringLiteral("{}") : QStringLiteral("}");
                m_query->bind(text);
                text.clear();
            }
        }
        m_query->bindAll(m_after);
        if (!m_query->execOrReport())
            return false;
        if (onRows && !onRows(*m_query))
            return false;
    }
    if (afterRun)
        afterRun();
    return true;
}

CRowStream::CRowStream(const QString& sql, const QVariantList& args)
    : m_sql(sql)
    , m_args(args)
{
}

CRowStream::~CRowStream() = default;

bool CRowStream::start()
{
    QSqlError error;
    m_native = CSqliteStatement::Prepare(m_sql, &error);
    if (m_native) {
        int index = 1;
        for (const QVariant& v : m_args)
            BindNative(*m_native, index++, v);
        return true;
    }
    if (error.type() != QSqlError::NoError) {
        ReportComError(error);
        return false;
    }
    m_query = std::make_unique<CSqlQuery>(m_sql);
    m_query->bindAll(m_args);
    return m_query->execOrReport();
}

bool CRowStream::next()
{
    return m_native ? m_native->step() : m_query->next();
}

bool CRowStream::finish()
{
    QSqlError error;
    if (m_native)
        error = m_overflow ? MoneyOverflowError() : m_native->error();
    else if (m_query->readFailed())
        error = m_query->lastError();
    if (error.type() == QSqlError::NoError)
        return true;
    ReportComError(error);
    return false;
}

int CRowStream::intAt(int column) const
{
    return m_native ? int(m_native->int64(column)) : m_query->value(column).toInt();
}

Money CRowStream::moneyAt(int column)
{
    return m_native ? m_native->money(column, &m_overflow) : m_query->money(column);
}
