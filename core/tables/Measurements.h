// Units of measure (tclsmeasurement).
#pragma once

#include "db/SqlQuery.h"

#include <libxml/tree.h>

#include <optional>
#include <vector>

struct CMeasurementRecord {
    int id = -1;
    QString name;
    QString code;
    QString oboznachenie; // symbol
    int type = 0;         // kind of unit: 1 natural, 2 price
};

using CMeasurementList = std::vector<CMeasurementRecord>;

// None for a row whose name or type is NULL.
std::optional<CMeasurementRecord> ReadMeasurementRow(const CSqlQuery& q);

// Reads fail silently with none.
std::optional<CMeasurementRecord> GetMeasurement(int id);
// Names compare without regard to case.
std::optional<CMeasurementRecord> FindMeasurementByName(const QString& name);
// The filter may use the alias m; rows that do not read are left out.
std::optional<CMeasurementList> LoadMeasurements(const SqlFilter& filter = {});
std::optional<CMeasurementList> LoadMeasurementsByType(int type);

// A new unit (id -1) gets the largest id + 1; a given id that is not stored is inserted as it is.
bool SaveMeasurement(CMeasurementRecord& rec);
// The record's id becomes -1, also when the row was already gone.
bool DeleteMeasurement(CMeasurementRecord& rec);
void JournalMeasurement(const CMeasurementRecord& rec, int operation);

xmlNodePtr WriteMeasurementXml(xmlNodePtr parent, const CMeasurementRecord& rec);
xmlNodePtr MeasurementListToXml(xmlNodePtr parent, const CMeasurementList& list);
std::optional<CMeasurementRecord> ReadMeasurementXml(const xmlNode* node);
std::optional<CMeasurementList> ImportMeasurementsXml(const xmlNode* node);
