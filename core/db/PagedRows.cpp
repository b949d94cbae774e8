#include "PagedRows.h"

#include "SqlDialect.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

void Append(SqlText& to, const SqlText& part)
{
    to.text += part.text;
    to.args += part.args;
}

// Marks the rows busy while it lives.
class CBusy {
public:
    explicit CBusy(bool& busy)
        : m_busy(busy)
    {
        m_busy = true;
    }
    ~CBusy() { m_busy = false; }
    CBusy(const CBusy&) = delete;
    CBusy& operator=(const CBusy&) = delete;

private:
    bool& m_busy;
};

bool Names(const QString& text, const QString& alias)
{
    return text.contains(QRegularExpression(QStringLiteral("\\b%1\\.").arg(QRegularExpression::escape(alias))));
}

} // namespace

CPagedRows::CPagedRows(CPagedSource source, SqlFilter filter, int pageRows, int pagesKept)
    : m_source(std::move(source))
    , m_filter(std::move(filter))
    , m_pageRows(std::max(1, pageRows))
    , m_pagesKept(std::max(2, pagesKept))
    , m_column(m_source.orderColumn)
    , m_ascending(m_source.ascending)
{
    if (m_column >= int(m_source.columns.size()))
        m_column = -1;
    // A join the filter names, and the joins it reads through, become plain joins.
    for (auto it = m_source.joins.rbegin(); it != m_source.joins.rend(); ++it) {
        if (m_filter.hasCondition() && (Names(m_filter.where, it->alias) || m_plainJoins.contains(it->alias))) {
            m_plainJoins << it->alias;
            if (!it->needs.isEmpty())
                m_plainJoins << it->needs;
        }
    }
}

bool CPagedRows::Open()
{
    if (m_busy)
        return false;
    const CBusy busy(m_busy);
    m_pages.clear();
    m_keys.clear();
    m_failed = false;
    m_error = DbError();
    m_count = 0;
    if (KeepsKeys())
        return ReadKeys();
    const auto n = CountWhere({});
    if (!n)
        return false;
    m_count = *n;
    return true;
}

bool CPagedRows::SetOrder(int column, bool ascending)
{
    if (m_busy)
        return false;
    const bool keptKeys = KeepsKeys();
    m_column = column >= 0 && column < int(m_source.columns.size()) ? column : -1;
    m_ascending = ascending;
    if (keptKeys || KeepsKeys() || m_failed)
        return Open();
    m_pages.clear();
    return true;
}

// ---- the statements

SqlText CPagedRows::OrderExpression() const
{
    if (KeyOnly())
        return {m_source.key, {}};
    const CPagedColumn& c = m_source.columns[size_t(m_column)];
    SqlText e = c.order.text.isEmpty() ? c.value : c.order;
    if (c.isText)
        e.text = Dialect().ByteOrder(QStringLiteral("(%1)").arg(e.text));
    return e;
}

SqlText CPagedRows::OrderBy(bool ascending) const
{
    const QString direction = ascending ? QStringLiteral(" asc") : QStringLiteral(" desc");
    if (KeyOnly())
        return {m_source.key + direction, {}};
    SqlText order = OrderExpression();
    // NULL first as the lists sort empty cells, written out: the server's default differs.
    order.text += direction + (ascending ? QStringLiteral(" nulls first, ") : QStringLiteral(" nulls last, "))
        + m_source.key + direction;
    return order;
}

std::vector<CPagedRows::Segment> CPagedRows::Segments(bool ascending) const
{
    if (KeyOnly() || !m_source.columns[size_t(m_column)].nullable)
        return {Values};
    return ascending ? std::vector<Segment>{Nulls, Values} : std::vector<Segment>{Values, Nulls};
}

CPagedRows::Segment CPagedRows::SegmentOf(const Key& key) const
{
    return Segments(true).size() > 1 && key.order.isNull() ? Nulls : Values;
}

// The rows of one segment, after (or from) a key in the direction given: each segment is a range
// of the index, so that a page is read where it starts.
SqlText CPagedRows::SegmentCondition(Segment segment, const Key* from, bool inclusive, bool ascending) const
{
    const QString op = ascending ? (inclusive ? QStringLiteral(" >= ") : QStringLiteral(" > "))
                                 : (inclusive ? QStringLiteral(" <= ") : QStringLiteral(" < "));
    if (KeyOnly()) {
        if (!from)
            return {};
        return {m_source.key + op + u'?', {from->key}};
    }
    const SqlText e = OrderExpression();
    if (segment == Nulls) {
        SqlText c{QStringLiteral("(%1) is null").arg(e.text), e.args};
        if (from) {
            c.text += QStringLiteral(" and ") + m_source.key + op + u'?';
            c.args << from->key;
        }
        return c;
    }
    if (!from) {
        if (Segments(true).size() == 1)
            return {};
        return {QStringLiteral("(%1) is not null").arg(e.text), e.args};
    }
    SqlText c{QStringLiteral("(%1, %2)%3(?, ?)").arg(e.text, m_source.key, op), e.args};
    c.args << from->order << from->key;
    return c;
}

SqlText CPagedRows::Statement(const std::vector<SqlText>& select, const std::vector<SqlText>& conditions,
                              const SqlText& order, int limit, int offset) const
{
    std::vector<SqlText> where;
    if (!m_source.condition.text.isEmpty())
        where.push_back(m_source.condition);
    if (m_filter.hasCondition())
        where.push_back({m_filter.where, m_filter.args});
    for (const SqlText& c : conditions) {
        if (!c.text.isEmpty())
            where.push_back(c);
    }

    // The joins the statement names, and those they read through.
    QString named;
    for (const SqlText& s : select)
        named += s.text + u' ';
    for (const SqlText& w : where)
        named += w.text + u' ';
    named += order.text;
    QStringList used;
    for (auto it = m_source.joins.rbegin(); it != m_source.joins.rend(); ++it) {
        if (Names(named, it->alias) || used.contains(it->alias)) {
            used << it->alias;
            if (!it->needs.isEmpty())
                used << it->needs;
        }
    }

    SqlText sql{QStringLiteral("select "), {}};
    for (size_t i = 0; i < select.size(); ++i) {
        if (i)
            sql.text += QStringLiteral(", ");
        Append(sql, select[i]);
    }
    sql.text += QStringLiteral(" from ") + m_source.table;
    for (const CPagedJoin& j : m_source.joins) {
        if (!used.contains(j.alias))
            continue;
        sql.text += (m_plainJoins.contains(j.alias) ? QStringLiteral(" join ") : QStringLiteral(" left join "))
            + j.table + QStringLiteral(" on ");
        Append(sql, j.on);
    }
    for (size_t i = 0; i < where.size(); ++i) {
        sql.text += i ? QStringLiteral(" and (") : QStringLiteral(" where (");
        Append(sql, where[i]);
        sql.text += u')';
    }
    if (!order.text.isEmpty()) {
        sql.text += QStringLiteral(" order by ");
        Append(sql, order);
    }
    if (limit > 0) {
        sql.text += QStringLiteral(" limit ?");
        sql.args << limit;
        if (offset > 0) {
            sql.text += QStringLiteral(" offset ?");
            sql.args << offset;
        }
    }
    return sql;
}

bool CPagedRows::Run(CSqlQuery& q, const SqlText& statement)
{
    q.bindAll(statement.args);
    if (q.exec())
        return true;
    m_failed = true;
    m_error = DbError::fromSql(q.lastError());
    return false;
}

std::vector<SqlText> CPagedRows::RowSelect() const
{
    std::vector<SqlText> select{{m_source.key, {}}, OrderExpression()};
    for (const CPagedColumn& c : m_source.columns)
        select.push_back(c.value);
    return select;
}

CPagedRow CPagedRows::ReadRow(const CSqlQuery& q) const
{
    CPagedRow row;
    row.key = q.value(0).toInt();
    row.order = q.value(1);
    QVariantList values;
    for (size_t i = 0; i < m_source.columns.size(); ++i)
        values << q.value(int(i) + 2);
    if (m_source.cells) {
        row.cells = m_source.cells(values);
    } else {
        for (const QVariant& v : values)
            row.cells << v.toString();
    }
    return row;
}

std::optional<int> CPagedRows::CountWhere(const std::vector<SqlText>& conditions)
{
    if (m_failed)
        return std::nullopt;
    const SqlText s = Statement({{QStringLiteral("count(*)"), {}}}, conditions, {}, 0);
    CSqlQuery q(s.text);
    if (!Run(q, s))
        return std::nullopt;
    return q.next() ? q.value(0).toInt() : 0;
}

// ---- an order that an index answers: keys of neighbours and offsets

// Up to `rows` rows from the key on (or from the first row) in the list's order, or against it.
std::optional<std::vector<CPagedRow>> CPagedRows::Walk(const Key* from, bool inclusive, bool forward, int rows)
{
    std::vector<CPagedRow> out;
    if (m_failed)
        return std::nullopt;
    const bool ascending = m_ascending == forward;
    const std::vector<Segment> segments = Segments(ascending);
    auto segment = segments.begin();
    if (from)
        segment = std::find(segments.begin(), segments.end(), SegmentOf(*from));
    const std::vector<SqlText> select = RowSelect();
    for (bool atStart = true; segment != segments.end() && int(out.size()) < rows; ++segment, atStart = false) {
        const SqlText s =
            Statement(select, {SegmentCondition(*segment, atStart ? from : nullptr, inclusive, ascending)},
                      OrderBy(ascending), rows - int(out.size()));
        CSqlQuery q(s.text);
        if (!Run(q, s))
            return std::nullopt;
        while (q.next())
            out.push_back(ReadRow(q));
    }
    return out;
}

// The key of the row `offset` places from the first (or the last) row; none beyond the rows.
std::optional<std::optional<CPagedRows::Key>> CPagedRows::KeyAt(bool forward, int offset)
{
    if (m_failed)
        return std::nullopt;
    const SqlText s =
        Statement({{m_source.key, {}}, OrderExpression()}, {}, OrderBy(m_ascending == forward), 1, offset);
    CSqlQuery q(s.text);
    if (!Run(q, s))
        return std::nullopt;
    if (!q.next())
        return std::optional<Key>();
    return std::optional<Key>(Key{q.value(1), q.value(0).toInt()});
}

// The rows before the key in the list's order.
std::optional<int> CPagedRows::CountBefore(const Key& key)
{
    const bool ascending = !m_ascending;
    const std::vector<Segment> segments = Segments(ascending);
    int before = 0;
    for (auto s = std::find(segments.begin(), segments.end(), SegmentOf(key)); s != segments.end(); ++s) {
        const bool own = *s == SegmentOf(key);
        const auto n = CountWhere({SegmentCondition(*s, own ? &key : nullptr, false, ascending)});
        if (!n)
            return std::nullopt;
        before += *n;
    }
    return before;
}

// ---- any other order: the keys kept

bool CPagedRows::ReadKeys()
{
    const SqlText s = Statement({{m_source.key, {}}}, {}, OrderBy(m_ascending), 0);
    CSqlQuery q(s.text);
    if (!Run(q, s))
        return false;
    while (q.next())
        m_keys.push_back(q.value(0).toInt());
    if (q.lastError().isValid()) {
        m_failed = true;
        m_error = DbError::fromSql(q.lastError());
        m_keys.clear();
        return false;
    }
    m_keys.shrink_to_fit();
    m_count = int(m_keys.size());
    return true;
}

// The rows of the kept keys from `first` on, in their order; none for a row no longer there.
std::optional<std::vector<std::optional<CPagedRow>>> CPagedRows::RowsOfKeys(int first, int rows)
{
    const std::vector<int> keys(m_keys.begin() + first, m_keys.begin() + first + rows);
    const SqlText s = Statement(RowSelect(), {{Dialect().FewIdsCondition(m_source.key), {IdSetArgument(keys)}}}, {}, 0);
    CSqlQuery q(s.text);
    if (!Run(q, s))
        return std::nullopt;
    QHash<int, CPagedRow> read;
    while (q.next()) {
        CPagedRow row = ReadRow(q);
        const int key = row.key;
        read.insert(key, std::move(row));
    }
    std::vector<std::optional<CPagedRow>> out;
    out.reserve(keys.size());
    for (int key : keys) {
        const auto it = read.find(key);
        out.push_back(it == read.end() ? std::nullopt : std::optional<CPagedRow>(std::move(*it)));
    }
    return out;
}

// The kept keys a stretch at a time, so that a match near `from` is found soon.
std::optional<int> CPagedRows::FindByKeys(const SqlText& match, int from)
{
    constexpr int kStretch = 2000;
    for (int first = from; first < m_count; first += kStretch) {
        const std::vector<int> keys(m_keys.begin() + first, m_keys.begin() + std::min(m_count, first + kStretch));
        const SqlText s = Statement({{m_source.key, {}}},
                                    {{Dialect().FewIdsCondition(m_source.key), {IdSetArgument(keys)}}, match}, {}, 0);
        CSqlQuery q(s.text);
        if (!Run(q, s))
            return std::nullopt;
        QSet<int> found;
        while (q.next())
            found.insert(q.value(0).toInt());
        for (size_t i = 0; i < keys.size(); ++i) {
            if (found.contains(keys[i]))
                return first + int(i);
        }
    }
    return std::nullopt;
}

// ---- the pages

CPagedRows::Page* CPagedRows::FindPage(int index)
{
    for (Page& p : m_pages) {
        if (p.index == index)
            return &p;
    }
    return nullptr;
}

void CPagedRows::Keep(Page page)
{
    if (int(m_pages.size()) >= m_pagesKept) {
        const auto oldest = std::min_element(m_pages.begin(), m_pages.end(),
                                             [](const Page& a, const Page& b) { return a.used < b.used; });
        m_pages.erase(oldest);
    }
    page.used = ++m_tick;
    m_pages.push_back(std::move(page));
}

bool CPagedRows::Load(int index)
{
    const int first = index * m_pageRows;
    const int rows = std::min(m_pageRows, m_count - first);
    Page page{index, {}, 0};
    if (KeepsKeys()) {
        auto read = RowsOfKeys(first, rows);
        if (!read)
            return false;
        page.rows = std::move(*read);
        Keep(std::move(page));
        return true;
    }
    std::optional<std::vector<CPagedRow>> read;
    bool reversed = false;
    const Page* before = FindPage(index - 1);
    const Page* after = FindPage(index + 1);
    if (before && int(before->rows.size()) == m_pageRows && before->rows.back()) {
        const Key last{before->rows.back()->order, before->rows.back()->key};
        read = Walk(&last, false, true, rows);
    } else if (after && !after->rows.empty() && after->rows.front()) {
        const Key next{after->rows.front()->order, after->rows.front()->key};
        read = Walk(&next, false, false, rows);
        reversed = true;
    } else {
        // A jump: from the nearer end, by the key at that offset.
        const int fromEnd = m_count - first - rows;
        const bool forward = first <= fromEnd;
        const int offset = forward ? first : fromEnd;
        reversed = !forward;
        if (offset == 0) {
            read = Walk(nullptr, false, forward, rows);
        } else if (const auto key = KeyAt(forward, offset)) {
            read = *key ? Walk(&**key, true, forward, rows) : std::vector<CPagedRow>();
        }
    }
    if (!read)
        return false;
    if (reversed)
        std::reverse(read->begin(), read->end());
    for (CPagedRow& row : *read)
        page.rows.emplace_back(std::move(row));
    Keep(std::move(page));
    return true;
}

const CPagedRow* CPagedRows::At(int row)
{
    if (row < 0 || row >= m_count)
        return nullptr;
    const int index = row / m_pageRows;
    Page* page = FindPage(index);
    if (!page) {
        if (m_failed || m_busy)
            return nullptr;
        const CBusy busy(m_busy);
        if (!Load(index))
            return nullptr;
        page = &m_pages.back();
    }
    page->used = ++m_tick;
    const size_t at = size_t(row - index * m_pageRows);
    return at < page->rows.size() && page->rows[at] ? &*page->rows[at] : nullptr;
}

std::optional<int> CPagedRows::Find(const QString& text, int from)
{
    if (m_failed || m_busy)
        return std::nullopt;
    SqlText match{Dialect().CaseInsensitiveLike(QStringLiteral("(%1)").arg(m_source.search.text)),
                  m_source.search.args};
    match.args << LikeArgument(text, LikeMatch::Contains);
    if (KeepsKeys()) {
        const CBusy busy(m_busy);
        return FindByKeys(match, std::max(from, 0));
    }
    std::optional<Key> after;
    if (from > 0) {
        const CPagedRow* row = At(from - 1);
        if (!row)
            return std::nullopt;
        after = Key{row->order, row->key};
    }
    const CBusy busy(m_busy);
    const std::vector<Segment> segments = Segments(m_ascending);
    auto segment = after ? std::find(segments.begin(), segments.end(), SegmentOf(*after)) : segments.begin();
    for (bool atStart = true; segment != segments.end(); ++segment, atStart = false) {
        const SqlText condition = SegmentCondition(*segment, atStart && after ? &*after : nullptr, false, m_ascending);
        const SqlText s =
            Statement({{m_source.key, {}}, OrderExpression()}, {condition, match}, OrderBy(m_ascending), 1);
        CSqlQuery q(s.text);
        if (!Run(q, s))
            return std::nullopt;
        if (q.next())
            return CountBefore(Key{q.value(1), q.value(0).toInt()});
    }
    return std::nullopt;
}

std::optional<int> CPagedRows::RowOf(int key)
{
    if (m_failed || m_busy)
        return std::nullopt;
    const CBusy busy(m_busy);
    if (KeepsKeys()) {
        const auto it = std::find(m_keys.begin(), m_keys.end(), key);
        return it == m_keys.end() ? std::nullopt : std::optional<int>(int(it - m_keys.begin()));
    }
    const SqlText s =
        Statement({{m_source.key, {}}, OrderExpression()}, {{m_source.key + QStringLiteral(" = ?"), {key}}}, {}, 0);
    CSqlQuery q(s.text);
    if (!Run(q, s) || !q.next())
        return std::nullopt;
    return CountBefore(Key{q.value(1), q.value(0).toInt()});
}
