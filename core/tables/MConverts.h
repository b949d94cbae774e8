// Conversion coefficients between pairs of units (tclsmconvert). A pair is directional: (A, B) and
// (B, A) are two rows; only CUnitPairCache::Factor inverts a coefficient.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
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
// A conversion received from the organisation above replaces the stored row of its pair: the received
// id means nothing here, and a second row of the pair would never be seen by the look-ups, which take
// the pair's first row.
[[nodiscard]] bool SaveReceivedMConvert(CMConvertRecord& rec);
// Silent on failure; the record's id becomes -1, also when the row was already gone.
[[nodiscard]] bool DeleteMConvert(CMConvertRecord& rec);
void WriteMConvertJournal(const CMConvertRecord& rec, int operation);

// The conversions and the unit names as one run needs them: each table is read once, in one
// statement, at the first question. When the conversions cannot be read (the error goes as onError
// says) no pair is known.
class CUnitPairCache {
public:
    explicit CUnitPairCache(OnDbError onError = OnDbError::Report);
    // Forgets what was read, so that the next question sees the tables as they are now.
    void Reset();
    // As GetMConvertKoef: 1 for equal units and for a pair that is not stored.
    double Koef(int base, int produce);
    // The factor that turns a value in fromUnit into toUnit: 1 for equal units, else the pair's stored
    // coefficient, else the reciprocal of the reverse pair's when that is not 0; none without either.
    std::optional<double> Factor(int fromUnit, int toUnit);
    // False when the conversions could not be read.
    bool Readable();
    // The unit's name; none for a unit that does not exist, and when the units cannot be read.
    std::optional<QString> Name(int unit);

private:
    void Load();
    // The coefficient of the pair's first stored row (by id); none when the pair is not stored.
    std::optional<double> Stored(int base, int produce);

    OnDbError m_onError;
    bool m_loaded = false;
    bool m_readable = false;
    bool m_namesRead = false;
    std::map<std::pair<int, int>, double> m_koef;
    std::unordered_map<int, QString> m_names;
};

// "convert" elements in "converts".
template <>
const CXmlFormat<CMConvertRecord>& XmlFormatOf<CMConvertRecord>();
