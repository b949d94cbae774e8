#include "MConverts.h"

namespace {

using R = CMConvertRecord;

const std::array<XmlField<R>, 4> kXmlFields = {
    {{"id", &R::id}, {"base", &R::base}, {"produce", &R::produce}, {"koef", &R::koef}}};

const QString kSelect = QStringLiteral("select mc.id, mc.base, mc.produce, mc.koef from tclsmconvert mc");

constexpr CRowReader<R> kRows{&ReadMConvertRow, UnreadableRow::Skip};

std::optional<R> FirstOfPair(int base, int produce)
{
    return kRows.FirstOf(OnDbError::Report,
                         kSelect + QStringLiteral(" where mc.base = ? and mc.produce = ? order by mc.id"), base,
                         produce);
}

} // namespace

template <>
const CXmlFormat<R>& XmlFormatOf<R>()
{
    static const CXmlFormat<R> format{XmlNames::kConvert, XmlNames::kConverts, kXmlFields};
    return format;
}

std::optional<CMConvertRecord> ReadMConvertRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "base", "produce", "koef"}))
        return std::nullopt;
    return R{q.intValue("id"), q.intValue("base"), q.intValue("produce"), q.decimal("koef")};
}

std::optional<CMConvertRecord> GetMConvert(int id)
{
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where mc.id = ?"), id);
}

std::optional<CMConvertRecord> FindMConvert(int base, int produce)
{
    return FirstOfPair(base, produce);
}

double GetMConvertKoef(int base, int produce)
{
    if (base == produce)
        return 1.0;
    const auto rec = FirstOfPair(base, produce);
    return rec ? rec->koef : 1.0;
}

bool IsMeasurementInConverts(int unit)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tclsmconvert where base = ? or produce = ?"), unit,
                          unit);
}

bool MConvertExists(int base, int produce)
{
    CSqlQuery q(QStringLiteral("select count(id) from tclsmconvert where base = ? and produce = ?"));
    q.bind(base).bind(produce);
    return q.execOrReport() && q.next() && q.value(0).toLongLong() > 0;
}

std::optional<CMConvertList> LoadMConverts(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Silent, filter.apply(kSelect), filter.args);
}

std::optional<CMConvertList> LoadMConvertsByType(int unitType, const SqlFilter& filter)
{
    CSqlQuery q(filter.applyAnd(kSelect + QStringLiteral(", tclsmeasurement m where mc.base = m.id and m.type = ?")));
    q.bind(unitType).bindAll(filter.args);
    return kRows.List(q, OnDbError::Silent);
}

namespace {

std::optional<CMConvertListRow> ReadMConvertListRow(const CSqlQuery& q)
{
    return CMConvertListRow{q.intValue("id"), q.text("bname"), q.text("pname"), q.decimal("koef")};
}

constexpr CRowReader<CMConvertListRow> kListRows{&ReadMConvertListRow, UnreadableRow::Skip};

} // namespace

std::optional<std::vector<CMConvertListRow>> LoadMConvertListRows(int unitType, const SqlFilter& filter)
{
    return kListRows.ListOf(
        OnDbError::Report,
        filter.applyAnd(QStringLiteral("select mc.id, b.name as bname, p.name as pname, mc.koef "
                                       "from tclsmconvert mc "
                                       "join tclsmeasurement b on b.id = mc.base "
                                       "join tclsmeasurement p on p.id = mc.produce where b.type = ?"),
                        QStringLiteral("mc.id")),
        QVariantList{unitType} + filter.args);
}

bool SaveMConvert(CMConvertRecord& rec, bool fetchId)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(QStringLiteral("update tclsmconvert set base = ?, produce = ?, koef = ? where id = ?"));
        q.bind(rec.base).bind(rec.produce).bind(rec.koef).bind(rec.id);
        if (!q.execOrReport())
            return false;
        isNew = q.numRowsAffected() == 0;
    }
    int id = rec.id;
    if (isNew) {
        const auto newId = InsertIdentityRow("tclsmconvert", QStringLiteral("base, produce, koef"), std::nullopt,
                                             [&](CSqlQuery& q) { q.bind(rec.base).bind(rec.produce).bind(rec.koef); });
        if (!newId)
            return false;
        if (fetchId)
            id = *newId;
    }
    return CommitSave(tx, rec, id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteMConvertJournal);
}

bool DeleteMConvert(CMConvertRecord& rec)
{
    return DeleteRow(rec, -1, kRows, &WriteMConvertJournal, OnDbError::Silent,
                     QStringLiteral("delete from tclsmconvert where id = ? returning id, base, produce, koef"), rec.id);
}

void WriteMConvertJournal(const CMConvertRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "mconvert", rec.id)
            + QStringLiteral("Base=%1; Produce=%2").arg(rec.base).arg(rec.produce);
    });
}
