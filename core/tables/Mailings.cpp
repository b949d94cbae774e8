#include "Mailings.h"

#include "Journal.h"
#include "Settings.h"
#include "TableCommon.h"

#include <QHash>

namespace {

const QString kSelect = QStringLiteral("select id, prognoz, Subject, Text, MailingDate from tFctMailing");
const QString kSelectReceivers = QStringLiteral("select id, MailingID, ReceiverID from tFctMailingReceivers");

// A row whose subject or text is NULL does not read (the program always stores text).
std::optional<CMailingRecord> ReadMailingRow(const CSqlQuery& q)
{
    if (q.isNull("id") || q.isNull("prognoz") || q.isNull("Subject") || q.isNull("Text"))
        return std::nullopt;
    CMailingRecord r;
    r.id = q.intValue("id");
    r.prognoz = q.intValue("prognoz");
    r.subject = q.text("Subject");
    r.text = q.text("Text");
    r.MailingDate = q.date("MailingDate");
    return r;
}

std::optional<CMailingRecord> GetMailingRow(int id)
{
    CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
    q.bind(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadMailingRow(q);
}

// After a row was inserted under an id of its own, the PostgreSQL identity must not hand that id out
// again; it never moves backwards.
bool AdvanceMailingIdentity(int id)
{
    if (GetDBConnection().dialect() != SqlDialect::PostgreSQL)
        return true;
    CSqlQuery q(QStringLiteral("select setval(s, ?) from (select pg_get_serial_sequence('tfctmailing', 'id')::regclass as s) q "
                               "where coalesce(pg_sequence_last_value(s), 0) < ?"));
    q.bind(id).bind(id);
    return q.execOrReport();
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

QString CMailingRecord::GetReceiverAddresses() const
{
    if (receivers.empty())
        return QString();
    const auto known = ForecastReceivers(prognoz);
    const QString separator = Settings().Transport == QStringLiteral("SMTP") ? QStringLiteral(", ") : QStringLiteral("; ");
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

CMailingReceiverRecord ReadMailingReceiverRow(const CSqlQuery& q)
{
    CMailingReceiverRecord r;
    r.id = q.intValue("id");
    r.mailingID = q.intValue("MailingID");
    r.receiverID = q.intValue("ReceiverID");
    return r;
}

std::optional<CMailingReceiverList> LoadMailingReceivers(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelectReceivers, QStringLiteral("id")));
    q.bindAll(filter.args);
    if (!q.execOrReport())
        return std::nullopt;
    CMailingReceiverList list;
    while (q.next())
        list.push_back(ReadMailingReceiverRow(q));
    return list;
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
    auto rows = ReadRows(q, ReadMailingRow);
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

bool SaveMailingReceiver(CMailingReceiverRecord& rec, bool fetchNewId)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    CSqlQuery find(QStringLiteral("select id from tFctMailingReceivers where ReceiverID = ? and MailingID = ?"));
    find.bind(rec.receiverID).bind(rec.mailingID);
    if (!find.execOrReport())
        return false;
    const bool isNew = !find.next();
    if (isNew) {
        CSqlQuery insert(QStringLiteral("insert into tFctMailingReceivers (MailingID, ReceiverID) values (?, ?) returning id"));
        insert.bind(rec.mailingID).bind(rec.receiverID);
        if (!insert.execOrReport() || !insert.next())
            return false;
        if (fetchNewId)
            rec.id = insert.value(0).toInt();
    }
    // A stored pair holds the same two values already: nothing to rewrite.
    WriteMailingReceiverJournal(rec, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return tx.commit();
}

bool SaveMailing(CMailingRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = rec.id == 0;
    if (!isNew) {
        CSqlQuery find(QStringLiteral("select id from tFctMailing where id = ?"));
        find.bind(rec.id);
        if (!find.execOrReport())
            return false;
        isNew = !find.next();
    }

    int id = rec.id;
    if (!isNew) {
        CSqlQuery q(QStringLiteral("update tFctMailing set Subject = ?, Text = ?, prognoz = ?, MailingDate = ? where id = ?"));
        q.bind(rec.subject).bind(rec.text).bind(rec.prognoz).bind(rec.MailingDate).bind(rec.id);
        if (!q.execOrReport())
            return false;
    } else if (rec.id == 0) {
        // The id of this very row: another writer may add mailings at the same time.
        CSqlQuery q(QStringLiteral("insert into tFctMailing (Subject, Text, prognoz, MailingDate) values (?, ?, ?, ?) returning id"));
        q.bind(rec.subject).bind(rec.text).bind(rec.prognoz).bind(rec.MailingDate);
        if (!q.execOrReport() || !q.next())
            return false;
        id = q.value(0).toInt();
    } else {
        CSqlQuery q(QStringLiteral("insert into tFctMailing (id, Subject, Text, prognoz, MailingDate) values (?, ?, ?, ?, ?)"));
        q.bind(rec.id).bind(rec.subject).bind(rec.text).bind(rec.prognoz).bind(rec.MailingDate);
        if (!q.execOrReport() || !AdvanceMailingIdentity(rec.id))
            return false;
    }

    // A receiver that fails is reported and skipped; the mailing is saved all the same.
    for (CMailingReceiverRecord& r : rec.receivers) {
        r.mailingID = id;
        SaveMailingReceiver(r, false);
    }
    const int previousId = rec.id;
    rec.id = id;
    WriteMailingJournal(rec, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    if (!tx.commit()) {
        rec.id = previousId;
        return false;
    }
    return true;
}

bool DeleteMailing(CMailingRecord& rec)
{
    const auto stored = GetMailingRow(rec.id);
    CSqlQuery q(QStringLiteral("delete from tFctMailing where id = ?"));
    q.bind(rec.id);
    if (!q.execOrReport())
        return false;
    rec.id = 0;
    // A row that was gone already leaves no line.
    if (stored)
        WriteMailingJournal(*stored, JOURNAL_DELETE);
    return true;
}

void WriteMailingJournal(const CMailingRecord& rec, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("Mailing; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("Subject=") + rec.subject;
    WriteOpJournal(text);
}

void WriteMailingReceiverJournal(const CMailingReceiverRecord& rec, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("MailingReceivers; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("mailingID=%1; receiverID=%2").arg(rec.mailingID).arg(rec.receiverID);
    WriteOpJournal(text);
}
