#include "ImportStatus.h"

#include "db/SqlDialect.h"
#include "db/Variant.h"
#include "tables/ImportEventTypes.h"

namespace {

const QString kColumns =
    QStringLiteral("i.id, i.prognoz, i.receiver, i.send, i.received, i.comment, i.envelope, i.event");
const QString kFrom = QStringLiteral(" from tfctimportstatus i join tclsimporteventtype t on t.id = i.event");

constexpr CRowReader<CImportStatusRecord> kRows{&ReadImportStatusRow, UnreadableRow::Skip};

void BindColumns(CSqlQuery& q, const CImportStatusRecord& rec)
{
    q.bind(rec.prognoz).bind(rec.receiver).bind(rec.send).bind(rec.received).bind(rec.comment).bind(rec.envelope);
    q.bind(rec.event);
}

} // namespace

std::optional<CImportStatusRecord> ReadImportStatusRow(const CSqlQuery& q)
{
    const auto comment = VariantToString(q.value("comment"));
    const auto envelope = VariantToString(q.value("envelope"));
    if (!comment || !envelope || q.isNull("id") || q.isNull("prognoz") || q.isNull("receiver") || q.isNull("event"))
        return std::nullopt;
    return CImportStatusRecord{q.intValue("id"), q.intValue("prognoz"), q.intValue("receiver"),
                               q.date("send"),   q.date("received"),    *comment,
                               *envelope,        q.intValue("event")};
}

std::optional<CImportStatusRecord> GetImportStatus(int id, int prognoz)
{
    return kRows.FirstOf(OnDbError::Silent,
                         QStringLiteral("select ") + kColumns + kFrom
                             + QStringLiteral(" where i.id = ? and i.prognoz = ?"),
                         id, prognoz);
}

std::optional<CImportStatusList> LoadImportStatus(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Silent,
                        filter.apply(QStringLiteral("select ") + kColumns + kFrom
                                     + QStringLiteral(" left join tclsreceiver r on r.id = i.receiver")),
                        filter.args);
}

CPagedSource ImportStatusLines(int forecast, const QString& unknown)
{
    CPagedSource s;
    s.table = QStringLiteral("tfctimportstatus i");
    s.joins = {
        {QStringLiteral("t"), QStringLiteral("tclsimporteventtype t"), {QStringLiteral("t.id = i.event"), {}}, {}},
        {QStringLiteral("m"),
         QStringLiteral("tclsreceivermap m"),
         {QStringLiteral("m.receiver = i.receiver and m.prognoz = ?"), {forecast}},
         {}},
        {QStringLiteral("r"),
         QStringLiteral("tclsreceiver r"),
         {QStringLiteral("r.id = m.receiver"), {}},
         QStringLiteral("m")}};
    s.key = QStringLiteral("i.id");
    const SqlText organisation{QStringLiteral("coalesce(r.name, ?)"), {unknown}};
    // Orders of the journal's own columns have indexes; the joined names have none.
    s.columns = {{organisation, {}, false, true, false},
                 {{QStringLiteral("t.name"), {}}, {}, true, true, false},
                 {{QStringLiteral("i.send"), {}}, {}, true, false, true},
                 {{QStringLiteral("i.received"), {}}, {}, true, false, true},
                 {{QStringLiteral("i.comment"), {}}, {}, true, true, true}};
    s.search = {QStringLiteral("coalesce(t.name, '') || ';' || coalesce(r.name, ?) || ';' || coalesce(%1, '')")
                    .arg(Dialect().ListDateText(QStringLiteral("i.send"))),
                {unknown}};
    s.orderColumn = ISC_SEND;
    s.ascending = false;
    return s;
}

bool CountImportStatus(int receiver, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfctimportstatus where receiver = ? and prognoz = ?"),
                          receiver, prognoz);
}

bool SaveImportStatus(CImportStatusRecord& rec)
{
    if (rec.event == IEK_SENT || rec.event == IEK_SEND_FAILED)
        rec.received = QDateTime();
    else if (rec.event == IEK_RECEIVED)
        rec.send = QDateTime();

    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        const auto stored = RowExists(QStringLiteral("select 1 from tfctimportstatus where id = ? and prognoz = ?"),
                                      rec.id, rec.prognoz);
        if (!stored)
            return false;
        isNew = !*stored;
    }
    std::optional<int> id = rec.id;
    if (!isNew) {
        CSqlQuery q(QStringLiteral("update tfctimportstatus set prognoz = ?, receiver = ?, send = ?, received = ?, "
                                   "comment = ?, envelope = ?, event = ? where id = ? and prognoz = ?"));
        BindColumns(q, rec);
        q.bind(rec.id).bind(rec.prognoz);
        if (!q.execOrReport())
            return false;
    } else {
        id = InsertIdentityRow(
            "tfctimportstatus", QStringLiteral("prognoz, receiver, send, received, comment, envelope, event"),
            rec.id == -1 ? std::nullopt : std::optional<int>(rec.id), [&](CSqlQuery& q) { BindColumns(q, rec); });
        if (!id)
            return false;
    }
    return CommitSave(tx, rec, *id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteImportStatusJournal);
}

bool WriteExchangeJournal(int forecast, int receiver, const QString& comment, int event)
{
    CImportStatusRecord row;
    row.prognoz = forecast;
    row.receiver = receiver;
    row.comment = comment;
    row.event = event;
    if (event != IEK_RECEIVED)
        row.received = QDateTime();
    return SaveImportStatus(row);
}

bool SaveImportStatusOfReceivers(const CImportStatusRecord& pattern, const std::vector<int>& receivers)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    for (int receiver : receivers) {
        CImportStatusRecord row = pattern;
        row.id = -1;
        row.receiver = receiver;
        if (!SaveImportStatus(row))
            return false;
    }
    return tx.commit();
}

bool DeleteImportStatus(CImportStatusRecord& rec)
{
    return DeleteRow(rec, -1, kRows, &WriteImportStatusJournal, OnDbError::Report,
                     QStringLiteral("delete from tfctimportstatus where id = ? and prognoz = ? "
                                    "returning id, prognoz, receiver, send, received, comment, envelope, event"),
                     rec.id, rec.prognoz);
}

void WriteImportStatusJournal(const CImportStatusRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "importstatus", rec.id)
            + QStringLiteral("prognoz=%1; receiver=%2").arg(rec.prognoz).arg(rec.receiver);
    });
}
