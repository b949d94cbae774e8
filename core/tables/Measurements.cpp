#include "Measurements.h"

namespace {

using R = CMeasurementRecord;

const std::array<XmlField<R>, 5> kXmlFields = {
    {{"id", &R::id}, {"name", &R::name}, {"code", &R::code}, {"oboznachenie", &R::oboznachenie}, {"type", &R::type}}};

const QString kSelect = QStringLiteral("select m.id, m.name, m.code, m.oboznachenie, m.type from tclsmeasurement m");

constexpr CRowReader<R> kRows{&ReadMeasurementRow, UnreadableRow::Skip};

} // namespace

template <>
const CXmlFormat<R>& XmlFormatOf<R>()
{
    static const CXmlFormat<R> format{XmlNames::kMeasurement, XmlNames::kMeasurements, kXmlFields, "tclsmeasurement"};
    return format;
}

std::optional<CMeasurementRecord> ReadMeasurementRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "name", "type"}))
        return std::nullopt;
    return R{q.intValue("id"), q.text("name"), q.text("code"), q.text("oboznachenie"), q.intValue("type", 0)};
}

std::optional<CMeasurementRecord> GetMeasurement(int id)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where m.id = ?"), id);
}

std::optional<CMeasurementRecord> FindMeasurementByName(const QString& name)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where lower(m.name) = lower(?) order by m.id"),
                         name);
}

std::optional<CMeasurementList> LoadMeasurements(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Silent, filter.apply(kSelect), filter.args);
}

std::optional<CMeasurementList> LoadMeasurementsByType(int type)
{
    return LoadMeasurements(SqlFilter(QStringLiteral("m.type = ?"), {type}));
}

bool SaveMeasurement(CMeasurementRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(
            QStringLiteral("update tclsmeasurement set name = ?, code = ?, oboznachenie = ?, type = ? where id = ?"));
        q.bind(rec.name).bind(rec.code).bind(rec.oboznachenie).bind(rec.type).bind(rec.id);
        if (!q.execOrReport())
            return false;
        isNew = q.numRowsAffected() == 0;
    }
    std::optional<int> id = rec.id;
    if (rec.id == -1)
        id = NextTableId(QStringLiteral("tclsmeasurement"));
    if (!id)
        return false;
    if (isNew) {
        CSqlQuery q(
            QStringLiteral("insert into tclsmeasurement (id, name, code, oboznachenie, type) values (?, ?, ?, ?, ?)"));
        q.bind(*id).bind(rec.name).bind(rec.code).bind(rec.oboznachenie).bind(rec.type);
        if (!q.execOrReport())
            return false;
    }
    return CommitSave(tx, rec, *id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteMeasurementJournal);
}

bool DeleteMeasurement(CMeasurementRecord& rec)
{
    return DeleteRow(
        rec, -1, kRows, &WriteMeasurementJournal, OnDbError::Report,
        QStringLiteral("delete from tclsmeasurement where id = ? returning id, name, code, oboznachenie, type"),
        rec.id);
}

void WriteMeasurementJournal(const CMeasurementRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "Measurement", rec.id) + QStringLiteral("Name=") + rec.name
            + QStringLiteral(" Code=") + rec.code + QStringLiteral(" oboznachenie=") + rec.oboznachenie;
    });
}
