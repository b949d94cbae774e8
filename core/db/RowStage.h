// Rows of a received document that wait in the database until the user has agreed to store them, so
// that a large document is not held in memory: a temporary table of the calling thread's connection,
// which no other connection sees and which locks nothing of theirs. On a server the rows go by COPY;
// on SQLite into a TEMP table through SQLite's own interface, in a transaction of the temporary
// database alone. Each stage has a table of its own, with the rows' place in a first column "ord";
// the table goes with the stage, and with it its room in the temporary space (the connection returns
// the temporary database's free pages to the file system as each change commits).
#pragma once

#include "BulkStatement.h"

#include <QSqlError>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class CRowStage {
public:
    // `name` starts the table's name; `columns` follow "ord". Rows are looked up by the columns `key`
    // (names separated by commas, none without), indexed once they are in.
    CRowStage(const QString& name, std::vector<BulkColumn> columns, const QString& key = QString());
    ~CRowStage();
    CRowStage(const CRowStage&) = delete;
    CRowStage& operator=(const CRowStage&) = delete;

    // False, with nothing reported, when no stage can be made (no connection, no right to make a
    // temporary table): the rows must then be kept another way.
    [[nodiscard]] bool Start();
    // The values of one row in the columns' order, then endRow; false once a row could not be staged,
    // and from then on.
    CRowStage& add(int value);
    CRowStage& add(Money value);
    CRowStage& add(const QString& value);
    CRowStage& add(Decimal6 value);
    [[nodiscard]] bool endRow();
    // Whether every row added is staged.
    [[nodiscard]] bool Finish();
    // A further table of the connection, named table() + "_" + suffix, that goes with the stage.
    [[nodiscard]] bool AddTable(const QString& suffix, const QString& columns);
    // After a failure: the message to show when the rows found no room in the connection's temporary
    // space (then no other way of keeping them will do); empty otherwise.
    QString shortage() const;
    // Whether the rows are staged in the connection that is open now.
    bool ready() const;
    // The table, for statements that read it.
    const QString& table() const { return m_table; }
    int rows() const { return m_rows; }

private:
    // The copy, once the row's place is in it first, as the table has it; none without one.
    CTempTableCopy* NextValue();

    QString m_table;
    QStringList m_tables; // the stage's own and those added
    std::vector<BulkColumn> m_columns;
    QString m_key;
    std::unique_ptr<CTempTableCopy> m_copy;
    QSqlError m_error;
    bool m_server = false;
    int m_session = 0;
    int m_rows = 0;
    int m_column = 0;
    bool m_made = false;
    bool m_failed = false;
    bool m_ready = false;
};
