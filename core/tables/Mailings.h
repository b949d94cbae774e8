// Mailings (tFctMailing) and their receivers (tFctMailingReceivers): the information messages of a
// forecast with the organisations they are addressed to.
#pragma once

#include "db/PagedRows.h"
#include "tables/TableCommon.h"

#include <QDateTime>

#include <optional>
#include <vector>

struct CMailingReceiverRecord {
    int id = -1;
    int mailingID = -1;
    int receiverID = -1; // tClsReceiver
};

using CMailingReceiverList = std::vector<CMailingReceiverRecord>;

// The current local time in whole seconds, as a mailing date is stored.
QDateTime MailingNow();

struct CMailingRecord {
    int id = 0; // 0: not stored yet
    int prognoz = 0;
    QString subject;
    QString text;
    QDateTime MailingDate = MailingNow(); // invalid when the stored value does not read as a date
    CMailingReceiverList receivers;

    // The receivers' names joined by "; ", looked up in the mailing's forecast.
    QString GetReceiverNames() const;
    // Their non-empty e-mail addresses joined by the separator (MailingAddressSeparator).
    QString GetReceiverAddresses(const QString& separator) const;
};

// The separator of a mailing's addresses for the transport that sends it: ", " for "SMTP", else "; ".
QString MailingAddressSeparator(const QString& transport);

using CMailingList = std::vector<CMailingRecord>;

// A mailing with its receivers; none when there is no such row or it cannot be read (nothing is shown).
std::optional<CMailingRecord> GetMailing(int id);
// Each mailing with its receivers; rows that cannot be read are left out. None on a database error.
std::optional<CMailingList> LoadMailings(const SqlFilter& filter = {});
// The forecast's mailings as their list shows them, a page at a time: columns date (as stored),
// subject and text, by date; the search looks in the subject. A filter names the mailing's columns.
enum MailingColumn { MC_DATE, MC_SUBJECT, MC_TEXT };
CPagedSource MailingLines(int forecast);
// A new mailing (id 0) takes the id of its inserted row; an id without a row is inserted under that
// id. The receivers are saved under the mailing's id: missing rows are added, none are removed.
[[nodiscard]] bool SaveMailing(CMailingRecord& rec);
// Removes the mailing (its receiver rows go with it) and sets the record's id to 0.
[[nodiscard]] bool DeleteMailing(CMailingRecord& rec);

// Rows that cannot be read (a NULL key) are left out.
std::optional<CMailingReceiverRecord> ReadMailingReceiverRow(const CSqlQuery& q);
std::optional<CMailingReceiverList> LoadMailingReceivers(const SqlFilter& filter = {});
std::optional<CMailingReceiverList> LoadReceiversOfMailing(int mailingId);
// Adds the pair (mailing, receiver) unless it is stored already. The entry's id becomes the new row's
// id only when fetchNewId is set.
[[nodiscard]] bool SaveMailingReceiver(CMailingReceiverRecord& rec, bool fetchNewId);

void WriteMailingJournal(const CMailingRecord& rec, int operation);
void WriteMailingReceiverJournal(const CMailingReceiverRecord& rec, int operation);
