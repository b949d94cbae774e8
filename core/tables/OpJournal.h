// The reads of the operation journal (tFctOpJournal), which Journal.h writes: line by line, for lists
// and exports of any length.
#pragma once

#include "db/PagedRows.h"
#include "tables/TableCommon.h"

#include <QVariant>

#include <functional>

struct COpJournalLine {
    int id = 0;
    QVariant date; // as stored: the reader turns it into its own text
    QString text;
};

// Hands each line to `each` in id order until it answers false.
using OpJournalVisitor = std::function<bool(const COpJournalLine& line)>;

// The lines of one type as the event journal lists them, a page at a time: columns date (as stored)
// and text, in id order; the search looks in the text.
enum OpJournalColumn { OJC_DATE, OJC_TEXT };
CPagedSource OpJournalLines(int type);
// The lines dated from `from` up to before `until`. False after a database error, which is not
// reported (the caller tells it in its own words), or when `each` stopped the read.
bool ReadOpJournalBetween(const QDateTime& from, const QDateTime& until, const OpJournalVisitor& each);
