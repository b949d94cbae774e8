// Journal operation words shared by the table modules.
#pragma once

#include "db/SqlQuery.h"

#include <QDateTime>
#include <QString>

enum JournalOperation { JOURNAL_UPDATE = 0, JOURNAL_INSERT = 1, JOURNAL_DELETE = 2 };

// "Insert ", "Update " or "Delete " (any other value).
QString JournalOperationWord(int operation);

// The current local time in whole seconds, as the date columns keep it.
QDateTime CurrentTimeToSecond();

