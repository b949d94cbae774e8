// The exchange journal (tFctImportStatus): one row per document sent to or received from a receiver
// in a forecast.
#pragma once

#include "db/PagedRows.h"
#include "tables/TableCommon.h"

#include <optional>
#include <vector>

struct CImportStatusRecord {
    int id = -1;
    int prognoz = 0;
    int receiver = 0;
    QDateTime send = CurrentTimeToSecond();     // a null date is stored as NULL
    QDateTime received = CurrentTimeToSecond(); // likewise
    QString comment;
    QString envelope;
    int event = 0; // ImportEventKind or a further kind
};

using CImportStatusList = std::vector<CImportStatusRecord>;

// None for a row whose forecast, receiver, event, comment or envelope is NULL: it is left out.
std::optional<CImportStatusRecord> ReadImportStatusRow(const CSqlQuery& q);
// The reads show no message; a failure gives none.
std::optional<CImportStatusRecord> GetImportStatus(int id, int prognoz);
// The condition may name the journal's columns (or i.<column>), the event type's as t.<column> and
// the receiver's as r.<column>.
std::optional<CImportStatusList> LoadImportStatus(const SqlFilter& filter = {});
// The exchange journal as its list shows it, a page at a time: every forecast's records, the
// organisation named as `forecast` maps the receiver (`unknown` where it does not), newest first. The
// columns are those of ImportStatusColumn; the dates are read as stored. A filter may name the
// journal's columns as i.<column> (or alone), the event type's as t.<column> and the receiver's as
// r.<column>. The search looks in "event;organisation;send date" with the date as the list shows it.
enum ImportStatusColumn { ISC_ORGANISATION, ISC_EVENT, ISC_SEND, ISC_RECEIVED, ISC_COMMENT };
CPagedSource ImportStatusLines(int forecast, const QString& unknown);
// Whether the receiver has journal rows in the forecast; true also when that cannot be read.
bool CountImportStatus(int receiver, int prognoz);
// Event 1 clears the send date, events 2 and 5 the received date (in the record too). A new record
// (id -1) gets the new row's id; an id without a row in the forecast is inserted under that id.
[[nodiscard]] bool SaveImportStatus(CImportStatusRecord& rec);
// One new row per receiver, each a copy of the pattern (id -1) with its receiver, in one transaction:
// all of them or none.
[[nodiscard]] bool SaveImportStatusOfReceivers(const CImportStatusRecord& pattern, const std::vector<int>& receivers);
[[nodiscard]] bool DeleteImportStatus(CImportStatusRecord& rec); // the id becomes -1
// One row of the exchange journal with the current time as the event keeps it: a receipt its
// received time, anything sent its send time. False after a reported error.
[[nodiscard]] bool WriteExchangeJournal(int forecast, int receiver, const QString& comment, int event);
void WriteImportStatusJournal(const CImportStatusRecord& rec, int operation);
