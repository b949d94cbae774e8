// Many rows through one statement. The statement takes its rows from a source that the dialect
// makes: on SQLite one row of bound values, the statement prepared once and run for every row (a run
// costs no round trip there); on PostgreSQL a chunk of rows bound as one array per column, the
// statement run once for each chunk.
#pragma once

#include "Money.h"
#include "SqlDialect.h"
#include "SqlQuery.h"

#include <QString>
#include <QVariantList>

#include <functional>
#include <vector>

class CBulkStatement {
public:
    // `sql` holds %1 where the source goes: a table expression named `alias` whose columns are
    // `columns`. `before` and `after` are the statement's other values, bound before and after the
    // source's. After each run `onRun` may read what the statement returns; false stops the work.
    CBulkStatement(const QString& sql, const QString& alias, std::vector<BulkColumn> columns, QVariantList before = {},
                   QVariantList after = {});
    CBulkStatement(const CBulkStatement&) = delete;
    CBulkStatement& operator=(const CBulkStatement&) = delete;

    std::function<bool(CSqlQuery&)> onRun;
    // Runs before each run of the prepared statement (an upsert's BeforeUpsert).
    std::function<void(CSqlQuery&)> beforeRun;

    // The values of one row, in the columns' order; then endRow, which runs the statement once a
    // chunk is full. False after an error, which was reported (or onRun's refusal).
    CBulkStatement& add(int value);
    CBulkStatement& add(Money value);
    CBulkStatement& add(const QString& value);
    [[nodiscard]] bool endRow();
    // Runs the statement for the rows not run yet.
    [[nodiscard]] bool finish();

    // Rows in one run.
    int chunkRows() const { return m_chunk; }

private:
    [[nodiscard]] bool run();

    std::vector<BulkColumn> m_columns;
    QVariantList m_before;
    QVariantList m_after;
    CSqlQuery m_query;
    int m_chunk;
    bool m_arrays;
    std::vector<QString> m_arrayTexts; // one per column, while rows collect as arrays
    std::size_t m_column = 0;
    int m_rows = 0;
};

// Quotes a text as an element of a PostgreSQL array literal.
QString ArrayElementText(const QString& text);
