#include "ImportEventTypes.h"

#include "Journal.h"
#include "TableCommon.h"
#include "db/Variant.h"

#include <array>

namespace {

const QString kSelect = QStringLiteral("select id, name from tclsimporteventtype");

struct FixedKind {
    int id;
    const char16_t* name;
};

const std::array<FixedKind, 5> kFixedKinds = {{
    {IEK_RECEIVED, u"Получено"},
    {IEK_SENT, u"Отправлено"},
    {IEK_SENT_FOR_CORRECTION, u"Отправлено на корректировку"},
    {IEK_DATA_CORRECT, u"Данные корректны"},
    {IEK_SEND_FAILED, u"Ошибка отправки"},
}};

} // namespace

std::optional<CImportEventType> ReadImportEventTypeRow(const CSqlQuery& q)
{
    const QVariant id = q.value("id");
    const auto name = VariantToString(q.value("name"));
    if (id.isNull() || !name)
        return std::nullopt;
    CImportEventType rec;
    rec.id = id.toInt();
    rec.name = *name;
    return rec;
}

std::optional<CImportEventType> LoadImportEventType(int id)
{
    CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
    q.bind(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadImportEventTypeRow(q);
}

std::optional<CImportEventTypeList> LoadImportEventTypes(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    return ReadRows(q, ReadImportEventTypeRow, false);
}

int CountImportEventTypesByName(const CImportEventType& rec)
{
    CSqlQuery q(QStringLiteral("select count(id) as cnt from tclsimporteventtype where lower(name) = lower(?)"));
    q.bind(rec.name);
    if (!q.exec() || !q.next())
        return 0;
    return q.intValue("cnt", 0);
}

bool SaveImportEventType(CImportEventType& rec, bool writeJournal)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(QStringLiteral("select count(*) from tclsimporteventtype where id = ?"));
        q.bind(rec.id);
        if (!q.execOrReport() || !q.next())
            return false;
        isNew = q.value(0).toInt() == 0;
    }
    int id = rec.id;
    if (isNew && id <= 0) {
        const auto next = NextTableId(QStringLiteral("tclsimporteventtype"));
        if (!next)
            return false;
        id = *next;
    }
    CSqlQuery q(isNew ? QStringLiteral("insert into tclsimporteventtype (name, id) values (?, ?)")
                      : QStringLiteral("update tclsimporteventtype set name = ? where id = ?"));
    q.bind(rec.name).bind(id);
    if (!q.execOrReport() || !tx.commit())
        return false;
    rec.id = id;
    if (writeJournal)
        FormatImportEventTypeJournal(rec, isNew ? 1 : 0);
    return true;
}

bool DeleteImportEventType(CImportEventType& rec)
{
    const auto stored = LoadImportEventType(rec.id);
    CSqlQuery q(QStringLiteral("delete from tclsimporteventtype where id = ?"));
    q.bind(rec.id);
    if (!q.execOrReport())
        return false;
    rec.id = -1;
    // Nothing was stored under the id: nothing to record.
    if (stored)
        FormatImportEventTypeJournal(*stored, 2);
    return true;
}

void FormatImportEventTypeJournal(const CImportEventType& rec, int operation)
{
    QString text = JournalOperationWord(operation);
    text += QStringLiteral("importeventtype; ");
    if (operation != 0)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("Name=") + rec.name;
    WriteOpJournal(text);
}

void SeedImportEventTypes()
{
    // One transaction for speed; each save is a savepoint of its own, so a kind that fails to be
    // written does not keep the others out.
    CTransaction tx;
    for (const FixedKind& kind : kFixedKinds) {
        CImportEventType rec;
        rec.id = kind.id;
        rec.name = QString::fromUtf16(kind.name);
        SaveImportEventType(rec, false);
    }
    tx.commit();
}
