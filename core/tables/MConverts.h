// Conversion coefficients between pairs of units (tclsmconvert). A pair is directional: (A, B) and
// (B, A) are two rows, and a lookup never inverts a coefficient.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <optional>
#include <vector>

struct CMConvertRecord {
    int id = -1;
    int base = 0;    // unit converted from
    int produce = 0; // unit converted to
    double koef = 0.0;
};

using CMConvertList = std::vector<CMConvertRecord>;

// None for a row with a NULL column; such rows are left out of lists.
std::optional<CMConvertRecord> ReadMConvertRow(const CSqlQuery& q);

std::optional<CMConvertRecord> GetMConvert(int id); // silent on failure
// The first row of the pair; a database error is shown.
std::optional<CMConvertRecord> FindMConvert(int base, int produce);
// 1.0 for equal units and for a pair that is not stored.
double GetMConvertKoef(int base, int produce);
// Whether a row uses the unit on either side; true also when the count cannot be read.
bool IsMeasurementInConverts(int unit);
// False also when the count cannot be read.
bool MConvertExists(int base, int produce);
// Silent on failure. The filter of the second may use the aliases mc and m (the base unit).
std::optional<CMConvertList> LoadMConverts(const SqlFilter& filter = {});
std::optional<CMConvertList> LoadMConvertsByType(int unitType, const SqlFilter& filter = {});

// A conversion as its book lists it: with the names of both units.
struct CMConvertListRow {
    int id = -1;
    QString baseName;
    QString produceName;
    double koef = 0.0;
};
// The conversions from units of the type; a conversion whose unit is gone (or was never set) is left
// out. The filter may use the aliases mc, b (the base unit) and p (the unit converted to); id order
// unless it orders. None after a reported error.
std::optional<std::vector<CMConvertListRow>> LoadMConvertListRows(int unitType, const SqlFilter& filter = {});

// The id of a new row comes from the database; it is put into the record only with fetchId.
[[nodiscard]] bool SaveMConvert(CMConvertRecord& rec, bool fetchId);
// Silent on failure; the record's id becomes -1, also when the row was already gone.
[[nodiscard]] bool DeleteMConvert(CMConvertRecord& rec);
void WriteMConvertJournal(const CMConvertRecord& rec, int operation);

// "convert" elements in "converts".
template <>
const CXmlFormat<CMConvertRecord>& XmlFormatOf<CMConvertRecord>();
