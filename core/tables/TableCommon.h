// Journal operation words shared by the table modules.
#pragma once

#include "db/SqlQuery.h"

#include <QString>

enum JournalOperation { JOURNAL_UPDATE = 0, JOURNAL_INSERT = 1, JOURNAL_DELETE = 2 };

// "Insert ", "Update " or "Delete " (any other value).
QString JournalOperationWord(int operation);

