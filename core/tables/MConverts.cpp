#include "MConverts.h"

#include "Journal.h"
#include "TableCommon.h"
#include "xml/XmlRecord.h"

#include <array>

namespace {

const std::array<XmlField<CMConvertRecord>, 4> kXmlFields = {{
    XmlField<CMConvertRecord>::integer("id", &CMConvertRecord::id),
    XmlField<CMConvertRecord>::integer("base", &CMConvertRecord::base),
    XmlField<CMConvertRecord>::integer("produce", &CMConvertRecord::produce),
    XmlField<CMConvertRecord>::decimal6("koef", &CMConvertRecord::koef),
}};

const QString kSelect = QStringLiteral("select mc.id, mc.base, mc.produce, mc.koef from tclsmconvert mc");

std::optional<CMConvertList> ReadList(CSqlQuery& q)
{
    if (!q.exec())
        return std::nullopt;
    CMConvertList list;
    while (q.next())
        if (auto rec = ReadMConvertRow(q))
            list.push_back(*rec);
    return list;
}

} // namespace

std::optional<CMConvertRecord> ReadMConvertRow(const CSqlQuery& q)
{
    if (q.isNull("id") || q.isNull("base") || q.isNull("produce") || q.isNull("koef"))
        return std::nullopt;
    CMConvertRecord r;
    r.id = q.intValue("id");
    r.base = q.intValue("base");
    r.produce = q.intValue("produce");
    r.koef = q.decimal("koef");
    return r;
}

std::optional<CMConvertRecord> GetMConvert(int id)
{
    CSqlQuery q(kSelect + QStringLiteral(" where mc.id = ?"));
    q.bind(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadMConvertRow(q);
}

std::optional<CMConvertRecord> FindMConvert(int base, int produce)
{
    CSqlQuery q(kSelect + QStringLiteral(" where mc.base = ? and mc.produce = ? order by mc.id"));
    q.bind(base).bind(produce);
    if (!q.execOrReport() || !q.next())
        return std::nullopt;
    return ReadMConvertRow(q);
}

double GetMConvertKoef(int base, int produce)
{
    if (base == produce)
        return 1.0;
    const auto rec = FindMConvert(base, produce);
    return rec ? rec->koef : 1.0;
}

bool IsMeasurementInConverts(int unit)
{
    CSqlQuery q(QStringLiteral("select count(id) from tclsmconvert where base = ? or produce = ?"));
    q.bind(unit).bind(unit);
    if (!q.execOrReport() || !q.next())
        return true;
    return q.value(0).toLongLong() != 0;
}

bool MConvertExists(int base, int produce)
{
    CSqlQuery q(QStringLiteral("select count(id) from tclsmconvert where base = ? and produce = ?"));
    q.bind(base).bind(produce);
    if (!q.execOrReport() || !q.next())
        return false;
    return q.value(0).toLongLong() > 0;
}

std::optional<CMConvertList> LoadMConverts(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    return ReadList(q);
}

std::optional<CMConvertList> LoadMConvertsByType(int unitType, const SqlFilter& filter)
{
    CSqlQuery q(filter.applyAnd(kSelect + QStringLiteral(", tclsmeasurement m where mc.base = m.id and m.type = ?")));
    q.bind(unitType);
    q.bindAll(filter.args);
    return ReadList(q);
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
        CSqlQuery q(QStringLiteral("insert into tclsmconvert (base, produce, koef) values (?, ?, ?) returning id"));
        q.bind(rec.base).bind(rec.produce).bind(rec.koef);
        if (!q.execOrReport() || !q.next())
            return false;
        if (fetchId)
            id = q.intValue("id");
    }
    if (!tx.commit())
        return false;
    rec.id = id;
    JournalMConvert(rec, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

bool DeleteMConvert(CMConvertRecord& rec)
{
    CSqlQuery q(QStringLiteral("delete from tclsmconvert where id = ? returning id, base, produce, koef"));
    q.bind(rec.id);
    if (!q.exec())
        return false;
    std::optional<CMConvertRecord> stored;
    if (q.next())
        stored = ReadMConvertRow(q);
    if (stored)
        JournalMConvert(*stored, JOURNAL_DELETE);
    rec.id = -1;
    return true;
}

void JournalMConvert(const CMConvertRecord& rec, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("mconvert; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("Base=%1; Produce=%2").arg(rec.base).arg(rec.produce);
    WriteOpJournal(text);
}

xmlNodePtr WriteMConvertXml(xmlNodePtr parent, const CMConvertRecord& rec)
{
    return RecordToXml<CMConvertRecord>(parent, XmlNames::kConvert, rec, kXmlFields);
}

xmlNodePtr WriteMConvertsXml(xmlNodePtr parent, const CMConvertList& list)
{
    return ListToXml<CMConvertRecord>(parent, XmlNames::kConverts, XmlNames::kConvert, list, kXmlFields);
}

std::optional<CMConvertRecord> ReadMConvertXml(const xmlNode* node)
{
    return ReadRecordXml<CMConvertRecord>(node, XmlNames::kConvert, kXmlFields);
}

std::optional<CMConvertList> ReadMConvertsXml(const xmlNode* node)
{
    return ReadListXml<CMConvertRecord>(node, XmlNames::kConverts, XmlNames::kConvert, kXmlFields);
}
