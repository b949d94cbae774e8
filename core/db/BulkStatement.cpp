#include "BulkStatement.h"

namespace {

QString WithSource(const QString& sql, const QString& alias, const std::vector<BulkColumn>& columns)
{
    return sql.arg(Dialect().BulkSource(alias, columns));
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
                               QVariantList before, QVariantList after)
    : m_columns(std::move(columns))
    , m_before(std::move(before))
    , m_after(std::move(after))
    , m_query(WithSource(sql, alias, m_columns))
    , m_chunk(DialectOf(m_query.dialect()).BulkChunkRows())
    , m_arrays(m_chunk > 1)
{
    if (m_arrays)
        m_arrayTexts.resize(m_columns.size());
}

CBulkStatement& CBulkStatement::add(int value)
{
    if (!m_arrays) {
        if (m_column == 0)
            m_query.bindAll(m_before);
        m_query.bind(value);
    } else {
        QString& text = m_arrayTexts[m_column];
        text += text.isEmpty() ? u'{' : u',';
        text += QString::number(value);
    }
    ++m_column;
    return *this;
}

CBulkStatement& CBulkStatement::add(Money value)
{
    if (!m_arrays) {
        if (m_column == 0)
            m_query.bindAll(m_before);
        m_query.bind(value);
    } else {
        QString& text = m_arrayTexts[m_column];
        text += text.isEmpty() ? u'{' : u',';
        text += MoneyParam(value, m_query.dialect()).toString();
    }
    ++m_column;
    return *this;
}

CBulkStatement& CBulkStatement::add(const QString& value)
{
    if (!m_arrays) {
        if (m_column == 0)
            m_query.bindAll(m_before);
        m_query.bind(value);
    } else {
        QString& text = m_arrayTexts[m_column];
        text += text.isEmpty() ? u'{' : u',';
        text += ArrayElementText(value);
    }
    ++m_column;
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
    if (m_arrays) {
        m_query.bindAll(m_before);
        for (QString& text : m_arrayTexts) {
            text += u'}';
            m_query.bind(text);
            text.clear();
        }
    }
    m_query.bindAll(m_after);
    if (beforeRun)
        beforeRun(m_query);
    if (!m_query.execOrReport())
        return false;
    return !onRun || onRun(m_query);
}
