// Operation numbers of the table modules' journal lines.
#pragma once

#include <QString>

enum TableJournalOperation : int { TJ_UPDATE = 0, TJ_INSERT = 1, TJ_DELETE = 2 };

// "Insert ", "Update " or, for any other operation, "Delete ".
inline QString JournalOperationWord(int operation)
{
    switch (operation) {
    case TJ_INSERT:
        return QStringLiteral("Insert ");
    case TJ_UPDATE:
        return QStringLiteral("Update ");
    default:
        return QStringLiteral("Delete ");
    }
}
