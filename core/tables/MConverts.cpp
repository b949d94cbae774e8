#include "MConverts.h"

#include "tables/Measurements.h"

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
    static const CXmlFormat<R> format{XmlNames::kConvert, XmlNames::kConverts, kXmlFields, "tclsmconvert"};
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

bool SaveReceivedMConvert(CMConvertRecord& rec)
{
    bool failed = false;
    const auto stored = WatchedRead(failed, [&] { return FirstOfPair(rec.base, rec.produce); });
    if (failed)
        return false;
    rec.id = stored ? stored->id : -1;
    return SaveMConvert(rec, false);
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

CUnitPairCache::CUnitPairCache(OnDbError onError)
    : m_onError(onError)
{
}

void CUnitPairCache::Reset()
{
    m_loaded = m_readable = m_namesRead = false;
    m_koef.clear();
    m_names.clear();
}

void CUnitPairCache::Load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    const auto list = kRows.ListOf(m_onError, kSelect + QStringLiteral(" order by mc.id"));
    m_readable = list.has_value();
    if (list)
        for (const R& rec : *list)
            m_koef.emplace(std::make_pair(rec.base, rec.produce), rec.koef); // the first row of a pair wins
}

std::optional<double> CUnitPairCache::Stored(int base, int produce)
{
    Load();
    const auto it = m_koef.find(std::make_pair(base, produce));
    return it == m_koef.end() ? std::nullopt : std::optional<double>(it->second);
}

double CUnitPairCache::Koef(int base, int produce)
{
    return base == produce ? 1.0 : Stored(base, produce).value_or(1.0);
}

std::optional<double> CUnitPairCache::Factor(int fromUnit, int toUnit)
{
    if (fromUnit == toUnit)
        return 1.0;
    if (const auto direct = Stored(fromUnit, toUnit))
        return direct;
    // A stored 0 cannot be inverted: it counts as missing.
    if (const auto reverse = Stored(toUnit, fromUnit); reverse && *reverse != 0.0)
        return 1.0 / *reverse;
    return std::nullopt;
}

bool CUnitPairCache::Readable()
{
    Load();
    return m_readable;
}

std::optional<QString> CUnitPairCache::Name(int unit)
{
    if (!m_namesRead) {
        m_namesRead = true;
        if (const auto units = LoadMeasurements())
            for (const CMeasurementRecord& m : *units)
                m_names.emplace(m.id, m.name);
    }
    const auto it = m_names.find(unit);
    return it == m_names.end() ? std::nullopt : std::optional<QString>(it->second);
}
