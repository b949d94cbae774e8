#include "ImportEventTypes.h"

#include "db/Variant.h"

#include <algorithm>
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

constexpr CRowReader<CImportEventType> kRows{&ReadImportEventTypeRow, UnreadableRow::Skip};

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
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where id = ?"), id);
}

std::optional<CImportEventTypeList> LoadImportEventTypes(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Silent, filter.apply(kSelect), filter.args);
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
        const auto stored = RowExists(QStringLiteral("select 1 from tclsimporteventtype where id = ?"), rec.id);
        if (!stored)
            return false;
        isNew = !*stored;
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
    if (!q.execOrReport())
        return false;
    if (writeJournal)
        WriteImportEventTypeJournal(CImportEventType{id, rec.name}, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    if (!tx.commit())
        return false;
    rec.id = id;
    return true;
}

bool DeleteImportEventType(CImportEventType& rec)
{
    return DeleteRow(rec, -1, kRows, &WriteImportEventTypeJournal, OnDbError::Report,
                     QStringLiteral("delete from tclsimporteventtype where id = ? returning id, name"), rec.id);
}

void WriteImportEventTypeJournal(const CImportEventType& rec, int operation)
{
    QueueJournal(
        [&] { return JournalHead(operation, "importeventtype", rec.id) + QStringLiteral("Name=") + rec.name; });
}

CImportEventTypeList FixedImportEventKinds()
{
    CImportEventTypeList kinds;
    for (const FixedKind& kind : kFixedKinds)
        kinds.push_back(CImportEventType{kind.id, QString::fromUtf16(kind.name)});
    return kinds;
}

void SeedImportEventTypes()
{
    // Every start does it: when the kinds are there as they should be, nothing is written, so that
    // the start neither waits for the write lock nor needs the right to write.
    const CImportEventTypeList fixed = FixedImportEventKinds();
    std::vector<int> ids;
    for (const CImportEventType& kind : fixed)
        ids.push_back(kind.id);
    const auto stored =
        kRows.ListOf(OnDbError::Report,
                     kSelect + QStringLiteral(" where ") + Dialect().IdSetCondition(QStringLiteral("id"))
                         + QStringLiteral(" order by id"),
                     {IdSetArgument(ids)});
    // A read that failed (a wait the user ended, say) was reported; the start goes on without them.
    if (!stored)
        return;
    if (std::equal(fixed.begin(), fixed.end(), stored->begin(), stored->end(),
                   [](const auto& a, const auto& b) { return a.id == b.id && a.name == b.name; }))
        return;
    // One transaction for speed; each save is a savepoint of its own, so a kind that fails to be
    // written does not keep the others out.
    CTransaction tx;
    // Without its transaction (the write lock not had, a wait ended) no save could write either.
    if (!tx.isActive())
        return;
    for (CImportEventType rec : fixed) {
        // A kind that fails was reported; the others are kept.
        static_cast<void>(SaveImportEventType(rec, false));
    }
    static_cast<void>(tx.commit());
}
