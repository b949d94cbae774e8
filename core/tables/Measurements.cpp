#include "Measurements.h"

#include "Journal.h"
#include "TableCommon.h"
#include "xml/XmlRecord.h"

#include <array>

namespace {

const std::array<XmlField<CMeasurementRecord>, 5> kXmlFields = {{
    XmlField<CMeasurementRecord>::integer("id", &CMeasurementRecord::id),
    XmlField<CMeasurementRecord>::text("name", &CMeasurementRecord::name),
    XmlField<CMeasurementRecord>::text("code", &CMeasurementRecord::code),
    XmlField<CMeasurementRecord>::text("oboznachenie", &CMeasurementRecord::oboznachenie),
    XmlField<CMeasurementRecord>::integer("type", &CMeasurementRecord::type),
}};

const QString kSelect = QStringLiteral("select m.id, m.name, m.code, m.oboznachenie, m.type from tclsmeasurement m");

std::optional<CMeasurementRecord> FirstRow(CSqlQuery& q)
{
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadMeasurementRow(q);
}

std::optional<CMeasurementList> ReadList(CSqlQuery& q)
{
    return ReadRows(q, ReadMeasurementRow, false);
}

} // namespace

std::optional<CMeasurementRecord> ReadMeasurementRow(const CSqlQuery& q)
{
    if (q.isNull("id") || q.isNull("name") || q.isNull("type"))
        return std::nullopt;
    CMeasurementRecord r;
    r.id = q.intValue("id");
    r.name = q.text("name");
    r.code = q.text("code");
    r.oboznachenie = q.text("oboznachenie");
    r.type = q.intValue("type", 0);
    return r;
}

std::optional<CMeasurementRecord> GetMeasurement(int id)
{
    CSqlQuery q(kSelect + QStringLiteral(" where m.id = ?"));
    q.bind(id);
    return FirstRow(q);
}

std::optional<CMeasurementRecord> FindMeasurementByName(const QString& name)
{
    CSqlQuery q(kSelect + QStringLiteral(" where lower(m.name) = lower(?) order by m.id"));
    q.bind(name);
    return FirstRow(q);
}

std::optional<CMeasurementList> LoadMeasurements(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    return ReadList(q);
}

std::optional<CMeasurementList> LoadMeasurementsByType(int type)
{
    CSqlQuery q(kSelect + QStringLiteral(" where m.type = ?"));
    q.bind(type);
    return ReadList(q);
}

bool SaveMeasurement(CMeasurementRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(QStringLiteral("update tclsmeasurement set name = ?, code = ?, oboznachenie = ?, type = ? where id = ?"));
        q.bind(rec.name).bind(rec.code).bind(rec.oboznachenie).bind(rec.type).bind(rec.id);
        if (!q.execOrReport())
            return false;
        isNew = q.numRowsAffected() == 0;
    }
    int id = rec.id;
    if (isNew) {
        if (rec.id == -1) {
            if (!LockTableForNewId(QStringLiteral("tclsmeasurement")))
                return false;
            CSqlQuery q(QStringLiteral(
                "insert into tclsmeasurement (id, name, code, oboznachenie, type) "
                "values ((select coalesce(max(id), 0) + 1 from tclsmeasurement), ?, ?, ?, ?) returning id"));
            q.bind(rec.name).bind(rec.code).bind(rec.oboznachenie).bind(rec.type);
            if (!q.execOrReport() || !q.next())
                return false;
            id = q.intValue("id");
        } else {
            CSqlQuery q(QStringLiteral(
                "insert into tclsmeasurement (id, name, code, oboznachenie, type) values (?, ?, ?, ?, ?)"));
            q.bind(rec.id).bind(rec.name).bind(rec.code).bind(rec.oboznachenie).bind(rec.type);
            if (!q.execOrReport())
                return false;
        }
    }
    if (!tx.commit())
        return false;
    rec.id = id;
    JournalMeasurement(rec, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

bool DeleteMeasurement(CMeasurementRecord& rec)
{
    CSqlQuery q(QStringLiteral("delete from tclsmeasurement where id = ? returning id, name, code, oboznachenie, type"));
    q.bind(rec.id);
    if (!q.execOrReport())
        return false;
    std::optional<CMeasurementRecord> stored;
    if (q.next())
        stored = ReadMeasurementRow(q);
    if (stored)
        JournalMeasurement(*stored, JOURNAL_DELETE);
    rec.id = -1;
    return true;
}

void JournalMeasurement(const CMeasurementRecord& rec, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("Measurement; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("Name=") + rec.name + QStringLiteral(" Code=") + rec.code + QStringLiteral(" oboznachenie=")
        + rec.oboznachenie;
    WriteOpJournal(text);
}

xmlNodePtr WriteMeasurementXml(xmlNodePtr parent, const CMeasurementRecord& rec)
{
    return RecordToXml<CMeasurementRecord>(parent, XmlNames::kMeasurement, rec, kXmlFields);
}

xmlNodePtr MeasurementListToXml(xmlNodePtr parent, const CMeasurementList& list)
{
    return ListToXml<CMeasurementRecord>(parent, XmlNames::kMeasurements, XmlNames::kMeasurement, list, kXmlFields);
}

std::optional<CMeasurementRecord> ReadMeasurementXml(const xmlNode* node)
{
    return ReadRecordXml<CMeasurementRecord>(node, XmlNames::kMeasurement, kXmlFields);
}

std::optional<CMeasurementList> ImportMeasurementsXml(const xmlNode* node)
{
    return ReadListXml<CMeasurementRecord>(node, XmlNames::kMeasurements, XmlNames::kMeasurement, kXmlFields);
}
