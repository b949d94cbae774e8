// One run of a recalculation: the forecast, where its progress goes, the coefficients and products it
// has read, the database errors it met, and the reads and saves of rows that the walks share.
#pragma once

#include "Conversion.h"
#include "GroupSums.h"
#include "RecalcProgress.h"
#include "tables/ForecastData.h"
#include "tables/Products.h"
#include "tables/Receivers.h"
#include "tables/TotalForecasts.h"

#include <memory>
#include <unordered_map>
#include <vector>

// The thread running the walk was asked to stop: the one outcome that is thrown, from deep inside a
// walk to the frame of the run.
struct CRecalcCancelled { };

// Products of a forecast as a tree: children in position order.
class CProductTree {
public:
    CProductTree() = default;
    explicit CProductTree(CProductList products);
    // Moves keep the records where they are; a copy would point into the original.
    CProductTree(const CProductTree&) = delete;
    CProductTree& operator=(const CProductTree&) = delete;
    CProductTree(CProductTree&&) = default;
    CProductTree& operator=(CProductTree&&) = default;
    const CProductRecord* Find(int id) const;
    const std::vector<const CProductRecord*>& Children(int id) const;
    std::vector<int> ChildIds(const std::vector<const CProductRecord*>& parents) const;

private:
    CProductList m_products;
    std::unordered_map<int, const CProductRecord*> m_byId;
    std::unordered_map<int, std::vector<const CProductRecord*>> m_children;
};

class CRecalcRun {
public:
    explicit CRecalcRun(int forecast, RecalcProgressHolder& holder = GetRecalcProgressHolder());
    CRecalcRun(const CRecalcRun&) = delete;
    CRecalcRun& operator=(const CRecalcRun&) = delete;

    int forecast() const { return m_forecast; }
    // The sink of the holder; none for a run nobody watches.
    IRecalcProgress* progress() const { return m_holder.Get(); }
    CUnitPairCache& koef() { return m_koef; }
    // The products with a price row in the forecast, read once; the products error when they cannot
    // be read.
    CCalcResult<const CProductTree*> products();

    // Throws CRecalcCancelled when the thread was asked to stop.
    void CheckCancel() const;
    // A database failure when a database error was reported during the run.
    CCalcStatus CheckDb() const;
    // The stored row of the receiver and product, or a new one; fails after a database error.
    CCalcResult<CForecastDataRecord> DataRow(int receiver, int product);
    CCalcResult<CTotalForecastRecord> TotalRow(int product);
    // The errors reported during the run, taken out of it.
    std::vector<DbError> TakeErrors() { return m_errors.take(); }

private:
    CErrorCollector m_errors; // first: it collects everything the run reports
    int m_forecast;
    RecalcProgressHolder& m_holder;
    CUnitPairCache m_koef;
    std::unique_ptr<CProductTree> m_products;
};

// The six fields that a receiver group takes from its members.
struct CCategorySums {
    Money sumLast;
    Money sumCurr;
    Money sumNext;
    Money valueLast;
    Money valueCurr;
    Money valueNext;
};

// Per product (at least those asked for), the sums over the rows of the receivers whose category is
// the group receiver; a product without such rows is missing (it counts as zeros). A database error
// fails with the database's text, not reported. Many products are read with all the others unless
// onlyThese holds (they are a small part of the forecast's products).
CCalcResult<std::unordered_map<int, CCategorySums>>
ReadCategorySums(int forecast, int groupReceiver, const std::vector<int>& products, bool onlyThese = false);
void ApplyCategorySums(const std::unordered_map<int, CCategorySums>& sums, CForecastDataRecord& row);

// The rows a walk reads and writes: one receiver's rows of a forecast (CForecastDataRecord), or the
// consolidated rows (CTotalForecastRecord, no receiver).
template <class R>
class CRowStore {
public:
    using Row = R;
    explicit CRowStore(int forecast, int receiver = 0)
        : m_forecast(forecast)
        , m_receiver(receiver)
    {
    }
    // The three sums of the stored rows of (at least) the products. Reads and saves fail after a
    // database error, which is reported.
    CCalcResult<std::unordered_map<int, CMemberSums>> ReadSums(const std::vector<int>& products) const;
    CCalcResult<std::unordered_map<int, Row>> ReadRows(const std::vector<int>& products) const;
    // The stored rows of (at least) `products` and the sums of (at least) `members`, by one read when
    // they are few.
    CCalcStatus ReadRowsAndSums(const std::vector<int>& products, const std::vector<int>& members,
                                std::unordered_map<int, Row>& rows, std::unordered_map<int, CMemberSums>& sums) const;
    Row New(int product) const;
    // Inside the walk's transaction, before the rows it sums are read: the one run over these derived
    // rows (a receiver's, or the consolidated rows) until the transaction ends.
    CCalcStatus Lock() const;
    // A consolidated row's new id is always taken.
    CCalcStatus Save(Row& row, bool takeNewId) const;
    // Saves rows of distinct products taking new ids, on a server one receiver's by one statement.
    CCalcStatus SaveAll(const std::vector<Row*>& rows) const;

private:
    int m_forecast;
    int m_receiver;
};
using CDataRows = CRowStore<CForecastDataRecord>;
using CTotalRows = CRowStore<CTotalForecastRecord>;

// The members of a group as the tree has them, with their sums (zeros without a row).
std::vector<CGroupMember> MembersOf(const CProductTree& tree, const CProductRecord& group,
                                    const std::unordered_map<int, CMemberSums>& sums);

// Saves go in short transactions for speed; the rows saved stay when the work stops early (it
// fails or is cancelled), as if each had been saved alone. Inside a batch the work simply runs: the
// batch around it keeps what it saves.
template <class Work>
CCalcStatus InSaveBatch(Work work)
{
    if (GetDBConnection().transactionLevel() > 0)
        return work();
    CTransaction tx;
    if (!tx.isActive())
        return CCalcStatus::DbFailed();
    CCalcStatus status;
    try {
        status = work();
    } catch (...) {
        static_cast<void>(tx.commit());
        throw;
    }
    if (!tx.commit() && status)
        return CCalcStatus::DbFailed();
    return status;
}
