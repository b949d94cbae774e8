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


QDateTime CurrentTimeToSecond()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    return QDateTime(now.date(), QTime(t.hour(), t.minute(), t.second()));
}
