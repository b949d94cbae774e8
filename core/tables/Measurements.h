// Units of measure (tclsmeasurement).
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

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

// None for a row whose name or type is NULL; such rows are left out of lists.
std::optional<CMeasurementRecord> ReadMeasurementRow(const CSqlQuery& q);

// Reads fail silently with none.
std::optional<CMeasurementRecord> GetMeasurement(int id);
// Names compare without regard to case.
std::optional<CMeasurementRecord> FindMeasurementByName(const QString& name);
// The filter may use the alias m.
std::optional<CMeasurementList> LoadMeasurements(const SqlFilter& filter = {});
std::optional<CMeasurementList> LoadMeasurementsByType(int type);

// A new unit (id -1) gets the largest id + 1; a given id that is not stored is inserted as it is.
[[nodiscard]] bool SaveMeasurement(CMeasurementRecord& rec);
// The record's id becomes -1, also when the row was already gone.
[[nodiscard]] bool DeleteMeasurement(CMeasurementRecord& rec);
void WriteMeasurementJournal(const CMeasurementRecord& rec, int operation);

// "measurement" elements in "measurements".
template <>
const CXmlFormat<CMeasurementRecord>& XmlFormatOf<CMeasurementRecord>();
