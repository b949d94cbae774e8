#include "OpJournal.h"

#include "db/DbConnection.h"
#include "db/SqlQuery.h"

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
    // An export reads most of the journal. SQLite would take its rows by the date index, which leads
    // with the type, and then sort them all by id; read in the table's own order they need no sort.
    const bool file = GetDBConnection().dialect() == SqlDialect::SQLite;
    CSqlQuery q(QStringLiteral("select id, Date, Text from tfctopjournal%1 where Date >= ? and Date < ? order by id")
                    .arg(file ? QStringLiteral(" not indexed") : QString()));
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
