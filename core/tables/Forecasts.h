// Forecasts (tfctprognoz).
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <optional>
#include <vector>

struct CSessionState;

struct CForecastRecord {
    int id = -1;
    QString name;
    int year = 0;
    int owner = -1;
    QString ownerName;
    int status = 0; // 0 "Проект", 1 "Ввод НСИ закрыт", 2 "Прогноз закрыт"
};

using CForecastList = std::vector<CForecastRecord>;

QString GetForecastStatusName(int status);

std::optional<CForecastRecord> GetForecast(int id);
// Whether the session's current forecast exists and is still a draft (status 0), so that its
// reference data may change.
bool IsCurrentForecastEditable(const CSessionState& session);
int GetNewestForecast();
int GetForecastCount();
std::optional<CForecastList> LoadForecasts(const SqlFilter& filter = {});
// None for a row without id, name, year or status (it is left out of lists).
std::optional<CForecastRecord> ReadForecastRow(const CSqlQuery& q);
[[nodiscard]] bool SaveForecast(CForecastRecord& rec);
// A new forecast (id -1) is created in one transaction with status 0 and the next id, copying from the
// source forecast: the receivers' membership when copyReferenceData or copyReceiversOnly is set; the
// products and prices when copyReferenceData is set without copyReceiversOnly, and then also the data
// when copyData is set. Without copied products it gets the root product. An existing forecast is
// saved, and the answer is the save's.
[[nodiscard]] bool CreateForecast(CForecastRecord& rec, int sourceForecast, bool copyReferenceData,
                                  bool copyReceiversOnly, bool copyData);
[[nodiscard]] bool DeleteForecast(CForecastRecord& rec);
// Deletes the forecast with every row that belongs to it (the per-forecast tables, the users' rights on
// it and its mailings) in one transaction; once that commits, its documents' stored files leave the
// repository (one that cannot be removed stays). False after a reported database error, with nothing
// deleted. Receivers are shared by the forecasts and stay.
[[nodiscard]] bool DeleteForecastWithData(int id);
// Operations 0 to 2, or JOURNAL_CHANGE_STATUS.
void WriteForecastJournal(const CForecastRecord& rec, int operation);

// "prognoz" elements in "prognozs".
template <>
const CXmlFormat<CForecastRecord>& XmlFormatOf<CForecastRecord>();

// The per-forecast tables, in the order in which a forecast's rows are deleted.
extern const char* const kPerForecastTables[7];

// Name, type and group flag of the root product that a new forecast gets.
inline const QString kRootProductName = QStringLiteral("Продукция");
constexpr int kRootProductType = 64;
