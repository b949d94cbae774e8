#include "OpJournal.h"

CPagedSource OpJournalLines(int type)
{
    CPagedSource s;
    s.table = QStringLiteral("tfctopjournal");
    s.condition = {QStringLiteral("Type = ?"), {type}};
    s.key = QStringLiteral("id");
    // The texts, of up to 7000 characters, have no index.
    s.columns = {{{QStringLiteral("Date"), {}}, {}, false, false, true},
                 {{QStringLiteral("Text"), {}}, {}, false, true, false}};
    s.search = {QStringLiteral("Text"), {}};
    return s;
}

bool ReadOpJournalBetween(const QDateTime& from, const QDateTime& until, const OpJournalVisitor& each)
{
    CSqlQuery q(QStringLiteral("select id, Date, Text from tfctopjournal where Date >= ? and Date < ? order by id"));
    q.bind(from).bind(until);
    if (!q.exec())
        return false;
    // Columns by position: an export may hold millions of lines.
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
