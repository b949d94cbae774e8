// Budget receivers (tClsReceiver): one tree per forecast through `category`; which receivers take
// part in a forecast is the receiver map (ReceiverMap.h).
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <optional>
#include <vector>

enum ReceiverType { RT_FEDERAL = 1, RT_REGION = 2, RT_MUNICIPAL = 3, RT_OTHER = 4 };

struct CReceiverRecord {
    int id = -1;
    int category = -1; // the parent; 0 the top group of a forecast; -1 not placed yet
    QString name;
    QString email;
    int position = 0;   // order among the children of one parent
    int importedId = 0; // id in the database it was imported from; 0 created here
    int type = RT_FEDERAL;
    int isgroup = 0;

    int IsGroup() const { return isgroup; }
};

using CReceiverList = std::vector<CReceiverRecord>;

QString GetReceiverTypeName(int type);

// None for a row without a name (it is left out). Reads the columns of ReceiverColumns.
std::optional<CReceiverRecord> ReadReceiverRow(const CSqlQuery& q);

// The single reads answer the first row (lowest id), or none; a database error is shown.
std::optional<CReceiverRecord> GetReceiverByImportedId(int importedId); // in any forecast
std::optional<CReceiverRecord> GetForecastReceiverByImportedId(int importedId, int forecast);
std::optional<CReceiverRecord> GetForecastReceiver(int id, int forecast);
std::optional<CReceiverRecord> GetForecastRootReceiver(int forecast);
// Id of the first receiver of the forecast under that parent, or -1.
int FindChildReceiverId(int forecast, int category);
inline int LoadReceiversByParent(int forecast, int category)
{
    return FindChildReceiverId(forecast, category);
}
// Mapped into the forecast with category 0 or -1.
bool IsTopLevelReceiver(int id, int forecast);

// The lists answer none after a (shown) database error.
// Receivers of the forecast that are placed in its tree (category > -1).
std::optional<CReceiverList> LoadForecastTreeReceivers(int forecast);
// The condition may name the columns as tclsreceiver.<column>.
std::optional<CReceiverList> LoadForecastReceivers(int forecast, const SqlFilter& filter = {});
// The condition may name the columns as r1.<column>; without an order of the filter's own the
// children come in position order.
std::optional<CReceiverList> LoadReceiverChildren(int parent, int forecast, const SqlFilter& filter = {});
// The receivers (in every forecast) whose category is one of the given ids, as (id, category); none
// after a reported database error.
std::optional<std::vector<std::pair<int, int>>> LoadReceiversOfCategories(const std::vector<int>& categories);
// The receiver, its parent, the parent's parent ... as far as the forecast maps them.
std::optional<CReceiverList> LoadReceiverAncestors(int forecast, int id);

// Inserts (id -1: the largest id + 1; another id without a row: under that id) or updates, and
// writes one journal line. An unplaced receiver is stored with category -1.
[[nodiscard]] bool SaveReceiver(CReceiverRecord& rec);
// Deletes a receiver that the forecast (the current one) maps, unless it is a top group; false when
// no row went.
[[nodiscard]] bool DeleteReceiver(int id, int forecast);
[[nodiscard]] bool DeleteReceiver(CReceiverRecord& rec, int forecast); // sets the record's id to -1 on success
void WriteReceiverJournal(const CReceiverRecord& rec, int operation);

// "receiver" with name, email, importedId and isgroup; "receivers" around a list.
template <>
const CXmlFormat<CReceiverRecord>& XmlFormatOf<CReceiverRecord>();

// The select list that ReadReceiverRow reads, each column qualified by the table name or alias.
QString ReceiverColumns(const QString& qualifier);

// On a server a login that is neither administrator nor expert works with the receivers its rights
// rows grant it: the receiver lists hold what V_Receiver grants it and the groups above those, and it
// writes the data of the granted receivers only. Set from the login's roles when it connects.
void SetReceiverListsByRights(bool byRights);
bool ReceiverListsByRights();
// The join that keeps a list to those receivers, given the statement's receiver id and map forecast
// columns; empty while every receiver is listed.
QString ListedReceiversJoin(const QString& receiverId, const QString& forecast);
// Whether the login may write the forecast data of the receiver (always, unless by its rights).
bool MayWriteReceiverData(int forecast, int receiver);
// The first receiver of the forecast that the login's rights grant (in position order), or -1.
int FirstGrantedReceiver(int forecast);
