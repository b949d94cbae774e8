// Small helpers shared by the table modules: journal operation words, condition appending and the
// guard that keeps "largest id + 1" unique between clients of one server.
#pragma once

#include "db/SqlQuery.h"

#include <QString>

enum JournalOperation { JOURNAL_UPDATE = 0, JOURNAL_INSERT = 1, JOURNAL_DELETE = 2 };

// "Insert ", "Update " or "Delete " (any other value).
QString JournalOperationWord(int operation);

// base + " and (" + condition + ")" when the filter has one, then its order (or the default order).
QString AppendCondition(const QString& base, const SqlFilter& filter, const QString& defaultOrder = QString());

// Inside a transaction: on PostgreSQL, holds off every other writer of the table until the
// transaction ends, so that an id taken as max + 1 cannot be taken twice. SQLite serialises writers
// itself. The table name is a program constant.
bool LockTableForNewId(const QString& table);
