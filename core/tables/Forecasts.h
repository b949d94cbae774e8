// Forecasts (tfctprognoz).
#pragma once

#include "db/SqlQuery.h"

#include <libxml/tree.h>

#include <optional>
#include <vector>

struct CForecastRecord {
    int id = -1;
    QString name;
    int year = 0;
    int owner = -1;
    QString ownerName;
    int status = 0; // 0 "Проект", 1 "Ввод НСИ закрыт", 2 "Прогноз закрыт"
};

using CForecastList = std::vector<CForecastRecord>;

enum ForecastJournalOperation { FJ_UPDATE = 0, FJ_INSERT = 1, FJ_DELETE = 2, FJ_CHANGE_STATUS = 3 };

QString GetForecastStatusName(int status);

std::optional<CForecastRecord> GetForecast(int id);
int GetNewestForecast();
int GetForecastCount();
std::optional<CForecastList> LoadForecasts(const SqlFilter& filter = {});
CForecastRecord ReadForecastRow(const CSqlQuery& q);
bool SaveForecast(CForecastRecord& rec);
// A new forecast (id -1) is created in one transaction with status 0 and the next id, copying from the
// source forecast: the receivers' membership when copyReferenceData or copyReceiversOnly is set; the
// products and prices when copyReferenceData is set without copyReceiversOnly, and then also the data
// when copyData is set. Without copied products it gets the root product. An existing forecast is
// saved, and the answer is the save's.
bool CreateForecast(CForecastRecord& rec, int sourceForecast, bool copyReferenceData, bool copyReceiversOnly,
                    bool copyData);
bool DeleteForecast(CForecastRecord& rec);
void WriteForecastJournal(const CForecastRecord& rec, int operation);
xmlNodePtr ForecastToXml(xmlNodePtr parent, const CForecastRecord& rec);
xmlNodePtr ForecastsToXml(xmlNodePtr parent, const CForecastList& list);
std::optional<CForecastRecord> ReadForecastXml(const xmlNode* node);
std::optional<CForecastList> ReadForecastsXml(const xmlNode* node);

// The per-forecast tables, in the order in which a forecast's rows are deleted.
extern const char* const kPerForecastTables[7];

// Name, type and group flag of the root product that a new forecast gets.
inline const QString kRootProductName = QStringLiteral("Продукция");
constexpr int kRootProductType = 64;
