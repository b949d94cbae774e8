// A list of any length read a screen at a time: the rows of one statement in the order of one of
// its columns, counted by the database and read a page at a time. In an order that an index over
// (column, key) answers, a page is found from the first or last row of a neighbouring page (keyset)
// or, after a jump, from the key of the row at that offset, which the index gives without reading
// the rows. In any other order the database sorts the keys once, the list keeps them (4 bytes a row)
// and reads each page by its keys. The order is the lists' own: NULL before every value, texts by
// their bytes, ties by the key.
#pragma once

#include "ErrorSink.h"
#include "SqlQuery.h"

#include <functional>
#include <optional>
#include <vector>

// SQL text with the values of its placeholders, in their order.
struct SqlText {
    QString text;
    QVariantList args;
};

// A table joined to the rows; it goes only into the statements that name its alias.
struct CPagedJoin {
    QString alias;
    QString table; // "tclsreceiver r"
    SqlText on;
    QString needs; // the alias of the join its condition reads, or empty
};

struct CPagedColumn {
    SqlText value;        // read for the cell
    SqlText order;        // what the list orders by when ordered by this column; empty: the value
    bool nullable = true; // whether the ordered expression may be NULL
    bool isText = false;  // ordered by the bytes of the text
    bool indexed = false; // an index over (order, key) answers the order within the rows' condition
};

struct CPagedSource {
    QString table; // the rows' table with its alias
    std::vector<CPagedJoin> joins;
    SqlText condition; // the rows' own condition; empty for all rows
    QString key;       // an integer column unique among the rows
    std::vector<CPagedColumn> columns;
    SqlText search;       // the text the search looks in
    int orderColumn = -1; // the order the rows come in first; -1: by the key
    bool ascending = true;
    // The shown texts of a row from its columns' values in order; without it the values as text.
    std::function<QStringList(const QVariantList& values)> cells;
};

struct CPagedRow {
    int key = 0;
    QVariant order; // the value the rows are ordered by
    QStringList cells;
};

class CPagedRows {
public:
    // The user's filter is added to the rows' condition with "and". It names the joined tables'
    // columns by their aliases and lets no row through whose joined table has no row for it, as the
    // comparisons of the list filter do: those tables are joined plainly, so that the database may
    // start from them.
    CPagedRows(CPagedSource source, SqlFilter filter, int pageRows = 128, int pagesKept = 64);

    // Counts the rows and forgets what was read; false after a database error (error()).
    bool Open();
    int count() const { return m_count; }
    // Another order of the same rows: by a column, or by the key for -1. The pages read are dropped;
    // false after a database error, or with nothing changed while busy.
    bool SetOrder(int column, bool ascending);
    int orderColumn() const { return m_column; }
    bool ascending() const { return m_ascending; }

    // The row at the index; none outside the rows, for a row no longer there, or after a database
    // error. The pointer holds until the next call.
    const CPagedRow* At(int row);
    // The first row from `from` on whose search text holds the text, letter case aside.
    std::optional<int> Find(const QString& text, int from);
    // The index of the row with the key.
    std::optional<int> RowOf(int key);

    // While a read waits for the database (a window repaints meanwhile), another one answers none.
    bool busy() const { return m_busy; }
    // A failed read stops further reads until the rows are opened again.
    bool failed() const { return m_failed; }
    const DbError& error() const { return m_error; }

private:
    struct Key {
        QVariant order;
        int key = 0;
    };
    enum Segment { Nulls, Values };
    struct Page {
        int index = 0;
        std::vector<std::optional<CPagedRow>> rows; // none: no longer there
        quint64 used = 0;
    };

    bool KeyOnly() const { return m_column < 0; }
    // Whether the list keeps the keys of its order (an order no index answers).
    bool KeepsKeys() const { return !KeyOnly() && !m_source.columns[size_t(m_column)].indexed; }
    bool ReadKeys();
    std::vector<SqlText> RowSelect() const;
    CPagedRow ReadRow(const CSqlQuery& q) const;
    std::optional<std::vector<std::optional<CPagedRow>>> RowsOfKeys(int first, int rows);
    std::optional<int> FindByKeys(const SqlText& match, int from);
    SqlText OrderExpression() const;
    SqlText OrderBy(bool ascending) const;
    std::vector<Segment> Segments(bool ascending) const;
    Segment SegmentOf(const Key& key) const;
    SqlText SegmentCondition(Segment segment, const Key* from, bool inclusive, bool ascending) const;
    SqlText Statement(const std::vector<SqlText>& select, const std::vector<SqlText>& conditions, const SqlText& order,
                      int limit, int offset = 0) const;
    bool Run(CSqlQuery& q, const SqlText& statement);
    std::optional<std::vector<CPagedRow>> Walk(const Key* from, bool inclusive, bool forward, int rows);
    std::optional<std::optional<Key>> KeyAt(bool forward, int offset);
    std::optional<int> CountBefore(const Key& key);
    std::optional<int> CountWhere(const std::vector<SqlText>& conditions);
    Page* FindPage(int index);
    bool Load(int index);
    void Keep(Page page);

    CPagedSource m_source;
    SqlFilter m_filter;
    QStringList m_plainJoins; // aliases the filter names
    int m_pageRows;
    int m_pagesKept;
    int m_column;
    bool m_ascending;
    int m_count = 0;
    std::vector<int> m_keys; // in the order, when it keeps them
    std::vector<Page> m_pages;
    quint64 m_tick = 0;
    bool m_failed = false;
    bool m_busy = false;
    DbError m_error;
};
