#include "Mailings.h"

#include <QHash>

namespace {

const QString kSelect = QStringLiteral("select id, prognoz, Subject, Text, MailingDate from tFctMailing");
const QString kSelectReceivers = QStringLiteral("select id, MailingID, ReceiverID from tFctMailingReceivers");

// A row whose subject or text is NULL does not read (the program always stores text).
std::optional<CMailingRecord> ReadMailingRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "prognoz", "Subject", "Text"}))
        return std::nullopt;
    return CMailingRecord{q.intValue("id"), q.intValue("prognoz"), q.text("Subject"),
                          q.text("Text"),   q.date("MailingDate"), {}};
}

constexpr CRowReader<CMailingRecord> kRows{&ReadMailingRow, UnreadableRow::Skip};
constexpr CRowReader<CMailingReceiverRecord> kReceiverRows{&ReadMailingReceiverRow, UnreadableRow::Skip};

std::optional<CMailingRecord> GetMailingRow(int id)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where id = ?"), id);
}

struct ReceiverNameAddress {
    QString name;
    QString email;
};

// Names and addresses of the receivers that the forecast maps, by receiver id.
QHash<int, ReceiverNameAddress> ForecastReceivers(int prognoz)
{
    QHash<int, ReceiverNameAddress> out;
    CSqlQuery q(QStringLiteral("select r.id, r.name, r.email from tClsReceiver r "
                               "join tClsReceiverMap m on m.receiver = r.id where m.prognoz = ?"));
    q.bind(prognoz);
    if (!q.execOrReport())
        return out;
    while (q.next())
        out.insert(q.intValue("id"), {q.text("name"), q.text("email")});
    return out;
}

} // namespace

QDateTime MailingNow()
{
    return CurrentTimeToSecond();
}

// A receiver that the forecast does not map has neither a name nor an address here.
QString CMailingRecord::GetReceiverNames() const
{
    if (receivers.empty())
        return QString();
    const auto known = ForecastReceivers(prognoz);
    QString out;
    for (const CMailingReceiverRecord& entry : receivers) {
        const auto it = known.constFind(entry.receiverID);
        if (it == known.constEnd())
            continue;
        if (!out.isEmpty())
            out += QStringLiteral("; ");
        out += it->name;
    }
    return out;
}

QString MailingAddressSeparator(const QString& transport)
{
    return transport == QStringLiteral("SMTP") ? QStringLiteral(", ") : QStringLiteral("; ");
}

QString CMailingRecord::GetReceiverAddresses(const QString& separator) const
{
    if (receivers.empty())
        return QString();
    const auto known = ForecastReceivers(prognoz);
    QString out;
    for (const CMailingReceiverRecord& entry : receivers) {
        const auto it = known.constFind(entry.receiverID);
        if (it == known.constEnd() || it->email.isEmpty())
            continue;
        if (!out.isEmpty())
            out += separator;
        out += it->email;
    }
    return out;
}

std::optional<CMailingReceiverRecord> ReadMailingReceiverRow(const CSqlQuery& q)
{
    const auto id = ReadRowKey(q, "id");
    const auto mailing = ReadRowKey(q, "MailingID");
    const auto receiver = ReadRowKey(q, "ReceiverID");
    if (!id || !mailing || !receiver)
        return std::nullopt;
    return CMailingReceiverRecord{*id, *mailing, *receiver};
}

std::optional<CMailingReceiverList> LoadMailingReceivers(const SqlFilter& filter)
{
    return kReceiverRows.ListOf(OnDbError::Report, filter.apply(kSelectReceivers, QStringLiteral("id")), filter.args);
}

std::optional<CMailingReceiverList> LoadReceiversOfMailing(int mailingId)
{
    return LoadMailingReceivers(SqlFilter(QStringLiteral("MailingID = ?"), {mailingId}));
}

std::optional<CMailingRecord> GetMailing(int id)
{
    auto rec = GetMailingRow(id);
    if (!rec)
        return std::nullopt;
    // Receivers that cannot be read leave the list empty (the error was shown).
    if (auto receivers = LoadReceiversOfMailing(id))
        rec->receivers = std::move(*receivers);
    return rec;
}

std::optional<CMailingList> LoadMailings(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    auto rows = kRows.List(q);
    if (!rows)
        return std::nullopt;
    CMailingList list = std::move(*rows);
    if (list.empty())
        return list;

    // The receivers of all these mailings in one statement.
    SqlFilter receiversFilter;
    if (filter.hasCondition())
        receiversFilter = SqlFilter(QStringLiteral("MailingID in (select id from tFctMailing where ") + filter.where
                                        + QStringLiteral(")"),
                                    filter.args);
    receiversFilter.orderBy = QStringLiteral("MailingID, id");
    if (auto receivers = LoadMailingReceivers(receiversFilter)) {
        QHash<int, CMailingReceiverList> byMailing;
        for (const CMailingReceiverRecord& r : *receivers)
            byMailing[r.mailingID].push_back(r);
        for (CMailingRecord& rec : list)
            rec.receivers = byMailing.value(rec.id);
    }
    return list;
}

CPagedSource MailingLines(int forecast)
{
    CPagedSource s;
    s.table = QStringLiteral("tfctmailing");
    s.condition = {QStringLiteral("prognoz = ?"), {forecast}};
    s.key = QStringLiteral("id");
    // The texts, of up to 8000 characters, have no index.
    s.columns = {{{QStringLiteral("MailingDate"), {}}, {}, false, false, true},
                 {{QStringLiteral("Subject"), {}}, {}, true, true, true},
                 {{QStringLiteral("Text"), {}}, {}, true, true, false}};
    s.search = {QStringLiteral("coalesce(Subject, '')"), {}};
    s.orderColumn = MC_DATE;
    return s;
}

bool SaveMailingReceiver(CMailingReceiverRecord& rec, bool fetchNewId)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto stored =
        RowExists(QStringLiteral("select 1 from tFctMailingReceivers where ReceiverID = ? and MailingID = ?"),
                  rec.receiverID, rec.mailingID);
    if (!stored)
        return false;
    const bool isNew = !*stored;
    int id = rec.id;
    // A stored pair holds the same two values already: nothing to rewrite.
    if (isNew) {
        const auto newId =
            InsertIdentityRow("tFctMailingReceivers", QStringLiteral("MailingID, ReceiverID"), std::nullopt,
                              [&](CSqlQuery& q) { q.bind(rec.mailingID).bind(rec.receiverID); });
        if (!newId)
            return false;
        if (fetchNewId)
            id = *newId;
    }
    return CommitSave(tx, rec, id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteMailingReceiverJournal);
}

bool SaveMailing(CMailingRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = rec.id == 0;
    if (!isNew) {
        const auto stored = RowExists(QStringLiteral("select 1 from tFctMailing where id = ?"), rec.id);
        if (!stored)
            return false;
        isNew = !*stored;
    }

    std::optional<int> id = rec.id;
    if (!isNew) {
        CSqlQuery q(
            QStringLiteral("update tFctMailing set Subject = ?, Text = ?, prognoz = ?, MailingDate = ? where id = ?"));
        q.bind(rec.subject).bind(rec.text).bind(rec.prognoz).bind(rec.MailingDate).bind(rec.id);
        if (!q.execOrReport())
            return false;
    } else {
        // Without an id of its own, the id of this very row: another writer may add mailings meanwhile.
        id = InsertIdentityRow("tFctMailing", QStringLiteral("Subject, Text, prognoz, MailingDate"),
                               rec.id == 0 ? std::nullopt : std::optional<int>(rec.id), [&](CSqlQuery& q) {
                                   q.bind(rec.subject).bind(rec.text).bind(rec.prognoz).bind(rec.MailingDate);
                               });
        if (!id)
            return false;
    }

    // A receiver that fails is reported and skipped; the mailing is saved all the same.
    for (CMailingReceiverRecord& r : rec.receivers) {
        r.mailingID = *id;
        static_cast<void>(SaveMailingReceiver(r, false));
    }
    return CommitSave(tx, rec, *id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteMailingJournal);
}

bool DeleteMailing(CMailingRecord& rec)
{
    return DeleteRow(
        rec, 0, kRows, &WriteMailingJournal, OnDbError::Report,
        QStringLiteral("delete from tFctMailing where id = ? returning id, prognoz, Subject, Text, MailingDate"),
        rec.id);
}

void WriteMailingJournal(const CMailingRecord& rec, int operation)
{
    QueueJournal([&] { return JournalHead(operation, "Mailing", rec.id) + QStringLiteral("Subject=") + rec.subject; });
}

void WriteMailingReceiverJournal(const CMailingReceiverRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "MailingReceivers", rec.id)
            + QStringLiteral("mailingID=%1; receiverID=%2").arg(rec.mailingID).arg(rec.receiverID);
    });
}
