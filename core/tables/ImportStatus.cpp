#include "ImportStatus.h"

#include "Journal.h"
#include "TableCommon.h"
#include "db/Variant.h"
#include "tables/ImportEventTypes.h"

namespace {

const QString kColumns = QStringLiteral("i.id, i.prognoz, i.receiver, i.send, i.received, i.comment, i.envelope, i.event");

} // namespace


std::optional<CImportStatusRecord> ReadImportStatusRow(const CSqlQuery& q)
{
    const auto comment = VariantToString(q.value("comment"));
    const auto envelope = VariantToString(q.value("envelope"));
    if (!comment || !envelope || q.isNull("id") || q.isNull("prognoz") || q.isNull("receiver") || q.isNull("event"))
        return std::nullopt;
    CImportStatusRecord rec;
    rec.id = q.intValue("id");
    rec.prognoz = q.intValue("prognoz");
    rec.receiver = q.intValue("receiver");
    rec.send = q.date("send");
    rec.received = q.date("received");
    rec.comment = *comment;
    rec.envelope = *envelope;
    rec.event = q.intValue("event");
    return rec;
}

std::optional<CImportStatusRecord> GetImportStatus(int id, int prognoz)
{
    CSqlQuery q(QStringLiteral("select ") + kColumns
                + QStringLiteral(" from tfctimportstatus i join tclsimporteventtype t on t.id = i.event "
                                 "where i.id = ? and i.prognoz = ?"));
    q.bind(id).bind(prognoz);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadImportStatusRow(q);
}

std::optional<CImportStatusList> LoadImportStatus(const SqlFilter& filter)
{
    const QString base = QStringLiteral("select ") + kColumns
        + QStringLiteral(" from tfctimportstatus i join tclsimporteventtype t on t.id = i.event "
                         "left join tclsreceiver r on r.id = i.receiver");
    CSqlQuery q(filter.apply(base));
    q.bindAll(filter.args);
    return ReadRows(q, ReadImportStatusRow, false);
}

bool CountImportStatus(int receiver, int prognoz)
{
    CSqlQuery q(QStringLiteral("select count(id) from tfctimportstatus where receiver = ? and prognoz = ?"));
    q.bind(receiver).bind(prognoz);
    if (!q.execOrReport() || !q.next())
        return true;
    return q.value(0).toInt() != 0;
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
        CSqlQuery q(QStringLiteral("select count(*) from tfctimportstatus where id = ? and prognoz = ?"));
        q.bind(rec.id).bind(rec.prognoz);
        if (!q.execOrReport() || !q.next())
            return false;
        isNew = q.value(0).toInt() == 0;
    }
    int id = rec.id;
    if (!isNew) {
        CSqlQuery q(QStringLiteral("update tfctimportstatus set prognoz = ?, receiver = ?, send = ?, received = ?, "
                                   "comment = ?, envelope = ?, event = ? where id = ? and prognoz = ?"));
        q.bind(rec.prognoz).bind(rec.receiver).bind(rec.send).bind(rec.received).bind(rec.comment).bind(rec.envelope);
        q.bind(rec.event).bind(rec.id).bind(rec.prognoz);
        if (!q.execOrReport())
            return false;
    } else if (rec.id == -1) {
        CSqlQuery q(QStringLiteral("insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, "
                                   "event) values (?, ?, ?, ?, ?, ?, ?) returning id"));
        q.bind(rec.prognoz).bind(rec.receiver).bind(rec.send).bind(rec.received).bind(rec.comment).bind(rec.envelope);
        q.bind(rec.event);
        if (!q.execOrReport() || !q.next())
            return false;
        id = q.value(0).toInt();
    } else {
        CSqlQuery q(QStringLiteral("insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, "
                                   "event, id) values (?, ?, ?, ?, ?, ?, ?, ?)"));
        q.bind(rec.prognoz).bind(rec.receiver).bind(rec.send).bind(rec.received).bind(rec.comment).bind(rec.envelope);
        q.bind(rec.event).bind(rec.id);
        if (!q.execOrReport())
            return false;
        if (q.dialect() == SqlDialect::PostgreSQL) {
            // The identity sequence does not see ids written by hand: move it past them.
            CSqlQuery fix(QStringLiteral("select setval(pg_get_serial_sequence('tfctimportstatus', 'id'), "
                                         "(select max(id) from tfctimportstatus))"));
            if (!fix.execOrReport())
                return false;
        }
    }
    if (!tx.commit())
        return false;
    rec.id = id;
    WriteImportStatusJournal(rec, isNew ? 1 : 0);
    return true;
}

bool DeleteImportStatus(CImportStatusRecord& rec)
{
    const auto stored = GetImportStatus(rec.id, rec.prognoz);
    CSqlQuery q(QStringLiteral("delete from tfctimportstatus where id = ? and prognoz = ?"));
    q.bind(rec.id).bind(rec.prognoz);
    if (!q.execOrReport())
        return false;
    rec.id = -1;
    // No row was there: nothing to record.
    if (stored)
        WriteImportStatusJournal(*stored, 2);
    return true;
}

void WriteImportStatusJournal(const CImportStatusRecord& rec, int operation)
{
    QString text = JournalOperationWord(operation);
    text += QStringLiteral("importstatus; ");
    if (operation != 0)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("prognoz=%1; receiver=%2").arg(rec.prognoz).arg(rec.receiver);
    WriteOpJournal(text);
}
