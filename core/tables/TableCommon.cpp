#include "TableCommon.h"


QString JournalOperationWord(int operation)
{
    switch (operation) {
    case JOURNAL_INSERT:
        return QStringLiteral("Insert ");
    case JOURNAL_UPDATE:
        return QStringLiteral("Update ");
    default:
        return QStringLiteral("Delete ");
    }
}

