// The product classifier of each forecast (tclsproduct): a tree of products and groups, keyed by
// (id, prognoz); parent 0 is the top, siblings are ordered by position. Most list reads return only
// the products that have a price row in the forecast.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <memory>
#include <optional>
#include <set>
#include <vector>

struct CProductRecord;
using CProductList = std::vector<CProductRecord>;

struct CProductRecord {
    int id = -1;
    int prognoz = -1;
    int parent = -1;
    int measurementNatural = 0; // unit of quantity; 0 none
    int measurementPrice = 0;   // unit of price; 0 none
    int measurementNatural2 = 0;
    int measurementPrice2 = 0;
    QString name;
    QString code;
    int position = 0;
    QString comment;
    double offsetMin = 0.0; // admissible price bounds as multipliers of the price
    double offsetMax = 0.0;
    int type = 1; // ProductType of an element; for a group how its total row is computed
    int isgroup = 0;
    double avRep = 0.0; // average prices of the report, current and forecast year
    double avCur = 0.0;
    double avProg = 0.0;
    double priceIdx = 0.0;
    QString balanceTitle;

    bool IsGroup() const { return isgroup != 0; }
    QString GetTypeName() const;
    // "[code] name", or the name alone without a code.
    QString GetDisplayName() const;
    std::optional<CProductRecord> GetParent() const;
    // None for a record that is not stored.
    std::optional<CProductList> LoadChildren(int prognozId) const;
    // Deletes the product; on success the id becomes -1.
    [[nodiscard]] bool Delete();
};

inline void CopyProductRecord(const CProductRecord& source, CProductRecord& destination)
{
    destination = source;
}

enum ProductType {
    PRODUCT_GOODS = 1,
    PRODUCT_CONTRACT_WORK = 2,
    PRODUCT_RESEARCH = 3,
    PRODUCT_MONOPOLY_SERVICES = 4,
    PRODUCT_TRANSPORT = 5,
    PRODUCT_OTHER = 6,
};

// The group kind whose total row is the sum of its members; it has no balancing row.
constexpr int kGroupSumOfMembers = 64;
inline const QString kDefaultBalanceTitle = QStringLiteral("Прочее");

QString GetProductTypeName(int type);

// None when a column that must hold a value is NULL (its name goes to nullColumn).
std::optional<CProductRecord> ReadProductRow(const CSqlQuery& q, QString* nullColumn = nullptr);

// Database errors are shown, and so is a row that cannot be read, which fails the whole read; the
// reads then answer none.
std::optional<CProductRecord> GetProduct(int id, int prognoz);
std::optional<CProductRecord> GetRootProduct(int prognoz);
// The filter's columns are those of tclsproduct.
std::optional<CProductList> LoadProducts(int prognoz, const SqlFilter& filter = {});
std::optional<CProductList> LoadPricedProducts(int prognoz);
// The children with a price row. Without a condition or order they come by position; otherwise in
// the filter's order (the database's when it gives none). The filter may use the alias p1.
std::optional<CProductList> LoadProductChildren(int parentId, int prognoz, const SqlFilter& filter = {});
// Which groups among the children with a price row have child groups with a price row themselves, in
// one statement; none after a (shown) database error.
std::optional<std::set<int>> LoadGroupsWithSubgroups(int parentId, int prognoz);
// A child with a price row as the book of products lists it: with its permitted deviations from the
// price (none where the column is null).
struct CProductListRow {
    int id = -1;
    bool isGroup = false;
    QString code;
    QString name;
    QString comment;
    std::optional<double> offsetMin;
    std::optional<double> offsetMax;
};
// The children of the parent with a price row in the forecast; the filter may use the alias p1 (the
// product's own columns only). Position order unless the filter orders. None after a reported error.
std::optional<std::vector<CProductListRow>> LoadProductListRows(int parentId, int prognoz,
                                                                const SqlFilter& filter = {});
// From the top of the tree down to the product; stops below the first id that is not found.
CProductList LoadProductPath(int prognoz, int id);
// The path as LoadProductPath gives it, and the products with a price row in the forecast whose parent
// is on it, by one statement. None after a reported error; an unreadable child (a required column
// NULL, reported) gives no children.
struct CProductPathChildren {
    CProductList path;
    std::optional<CProductList> children;
};
std::optional<CProductPathChildren> LoadProductPathChildren(int prognoz, int id);
// The product's isgroup when it has a price row in the forecast, else 0 (also on an error).
int IsProductGroup(int id, int prognoz);
// Whether any product uses the unit; true also when the count cannot be read.
bool CountProductsByMeasurement(int unit);

// Inserts or updates; a new product (id -1) gets the largest id over all forecasts + 1, a given id
// that is not stored is inserted as it is. An element's empty balancing title becomes "Прочее".
[[nodiscard]] bool SaveProduct(CProductRecord& rec);
// All records or none; ids are written as they are; by sets (CBulkStatement). An element's empty
// balancing title becomes "Прочее".
[[nodiscard]] bool AppendProducts(CProductList& list);
class CRowStage;
// Received products that wait in the database until they are stored (db/RowStage.h); none when no
// stage can be made.
std::unique_ptr<CRowStage> StartProductStage();
// Stages the record with the balancing title AppendProducts gives it.
[[nodiscard]] bool StageProduct(CRowStage& stage, CProductRecord& rec);
// The staged products stored as AppendProducts stores them, in the order staged, by sets. Those of the
// forecast `replaced`, whose products DeleteForecastProductsNotStaged left, take the place of the
// stored ones: a stored product that comes again keeps its row, rewritten where it differs.
[[nodiscard]] bool AppendStagedProducts(const CRowStage& stage, int replaced = 0);
// As DeleteForecastProducts, before the staged products replace the forecast's: its prices and the
// products that do not come again go, with the same journal lines.
[[nodiscard]] bool DeleteForecastProductsNotStaged(int prognoz, const CRowStage& stage);
// Deletes the product with its price rows; false on any database error.
[[nodiscard]] bool DeleteProduct(int id, int prognoz);
// Deletes every product and price row of the forecast.
[[nodiscard]] bool DeleteForecastProducts(int prognoz);
// Moves the product one place among the siblings (the children of parentId with a price row).
[[nodiscard]] bool MoveProductPosition(int id, int parentId, int prognoz, bool up);
// Whether the product or anything below it (the groups and children of prognoz) has figures in
// dataForecast (the current forecast); true on an error.
bool ProductTreeHasData(int id, int prognoz, int dataForecast);
// The delete line of a stored product, or of all products of a forecast (none).
void WriteProductJournal(const CProductRecord* stored);

// "product" elements in "products".
template <>
const CXmlFormat<CProductRecord>& XmlFormatOf<CProductRecord>();
// Copies the three average prices of each "product" child to the forecast's products of the same
// code (compared without regard to case). All or nothing.
[[nodiscard]] bool ImportAveragePricesXml(const xmlNode* node, int forecast);
// The same for every "products" element below the document's root, all or nothing.
[[nodiscard]] bool ImportAveragePricesDocument(xmlDoc* doc, int forecast);
