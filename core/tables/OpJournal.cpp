#include "OpJournal.h"

namespace {

bool Visit(CSqlQuery& q, OnDbError onError, const OpJournalVisitor& each)
{
    if (!(onError == OnDbError::Report ? q.execOrReport() : q.exec()))
        return false;
    // Columns by position: a journal may hold 100,000 lines.
    COpJournalLine line;
    while (q.next()) {
        line.id = q.value(0).toInt();
        line.date = q.value(1);
        line.text = q.value(2).toString();
        if (!each(line))
            return false;
    }
    return !q.readFailed() && !q.lastError().isValid();
}

} // namespace

bool ReadOpJournalOfType(int type, const OpJournalVisitor& each)
{
    CSqlQuery q(QStringLiteral("select id, Date, Text from tfctopjournal where Type = ? order by id"));
    q.bind(type);
    return Visit(q, OnDbError::Report, each);
}

bool ReadOpJournalBetween(const QDateTime& from, const QDateTime& until, const OpJournalVisitor& each)
{
    CSqlQuery q(QStringLiteral("select id, Date, Text from tfctopjournal where Date >= ? and Date < ? order by id"));
    q.bind(from).bind(until);
    return Visit(q, OnDbError::Silent, each);
}
