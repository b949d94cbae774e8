#include "RecalcCommands.h"

#include "db/DbStatistics.h"

#include "CalcTexts.h"
#include "RecalcSets.h"
#include "RecalcWalks.h"
#include "UiThread.h"

namespace {

// The editor's receiver (none for the consolidated forecast) and product; false when one cannot be
// read. Without a product id, the forecast's top product.
CCalcResult<bool> ReadEditorRows(CRecalcRun& run, int receiverId, std::optional<int> productId,
                                 std::optional<CReceiverRecord>& receiver, std::optional<CProductRecord>& product)
{
    product = productId ? GetProduct(*productId, run.forecast()) : GetRootProduct(run.forecast());
    if (CCalcStatus db = run.CheckDb(); !db)
        return db;
    if (receiverId >= 1) {
        receiver = GetForecastReceiver(receiverId, run.forecast());
        if (CCalcStatus db = run.CheckDb(); !db)
            return db;
        if (!receiver)
            return false;
    }
    return product.has_value();
}

// The receiver's rows of the product and below: with its members when it is a receiver group.
CCalcStatus RecalcReceiverRows(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                               const CReceiverRecord& receiver)
{
    if (IsSubordinateGroup(receiver))
        return RecalcReceiverSubtree(run, product, row, receiver);
    return RecalcProductSubtree(run, product, row, receiver);
}

// Runs the walk on the receiver's row of the product (or the consolidated row); with saveAgain the
// row is saved once more, as the editor does, and handed back.
template <class DataWalk, class TotalWalk>
CCalcStatus OnProductRow(CRecalcRun& run, const std::optional<CReceiverRecord>& receiver, const CProductRecord& product,
                         bool saveAgain, CForecastRowFields* out, DataWalk dataWalk, TotalWalk totalWalk)
{
    auto walk = [&](auto row, auto& walkRow, const auto& rows) {
        if (!row)
            return row.failure();
        if (CCalcStatus walked = walkRow(*row); !walked)
            return walked;
        if (saveAgain)
            if (CCalcStatus saved = rows.Save(*row, false); !saved)
                return saved;
        if (out)
            *out = *row;
        return CCalcStatus();
    };
    // The row is read, walked and saved again in one transaction, after any other run over the same
    // rows: the second save must not write back what another user's run has changed meanwhile.
    auto locked = [&](const auto& rows, auto read, auto& walkRow) {
        return InSaveBatch([&] {
            if (CCalcStatus held = rows.Lock(); !held)
                return held;
            return walk(read(), walkRow, rows);
        });
    };
    if (receiver)
        return locked(
            CDataRows(run.forecast(), receiver->id), [&] { return run.DataRow(receiver->id, product.id); }, dataWalk);
    return locked(
        CTotalRows(run.forecast()), [&] { return run.TotalRow(product.id); }, totalWalk);
}

// The product's rows and below for the receiver or the consolidated forecast.
CCalcResult<int> RecalcFromProduct(CRecalcRun& run, int receiverId, std::optional<int> productId, bool saveAgain,
                                   CForecastRowFields* out, bool* receiverGroup, IRecalcStatusText* status)
{
    std::optional<CReceiverRecord> receiver;
    std::optional<CProductRecord> product;
    const auto found = ReadEditorRows(run, receiverId, productId, receiver, product);
    if (!found)
        return found.failure();
    if (!*found)
        return int(RECALC_NOTHING);
    if (receiverGroup)
        *receiverGroup = receiver && IsSubordinateGroup(*receiver);
    if (status) {
        status->SetProductText(QString());
        status->SetReceiverText(receiver ? receiver->name : QString());
    }
    const CCalcStatus walked = OnProductRow(
        run, receiver, *product, saveAgain, out,
        [&](CForecastDataRecord& row) { return RecalcReceiverRows(run, *product, row, *receiver); },
        [&](CTotalForecastRecord& row) { return RecalcProductSubtree(run, *product, row); });
    if (!walked)
        return walked;
    if (status) {
        status->SetReceiverText(QString());
        status->SetProductText(QString());
    }
    return int(RECALC_DONE);
}

} // namespace

RecalcOutcome RunRecalc(int forecast, RecalcProgressHolder& holder,
                        const std::function<CCalcResult<int>(CRecalcRun&)>& work)
{
    RecalcOutcome out;
    CRecalcRun run(forecast, holder);
    QString message;
    try {
        const CCalcResult<int> result = work(run);
        if (result) {
            out.result = *result;
        } else {
            out.result = RECALC_STOPPED;
            message = result.failure().message();
        }
    } catch (const CRecalcCancelled&) {
        out.result = RECALC_STOPPED;
        out.cancelled = true;
    } catch (...) {
        out.result = RECALC_STOPPED;
        message = ForeignFailure(std::current_exception()).message;
    }
    const std::vector<DbError> errors = run.TakeErrors();
    // Asked to stop (the window closed, the program ends): what its stop broke off is no error.
    if (ThreadStopRequested() && !IsUiThread() && out.result != RECALC_DONE) {
        out.result = RECALC_STOPPED;
        out.cancelled = true;
        return out;
    }
    for (const DbError& error : errors)
        out.errors << error.text();
    if (!message.isEmpty())
        out.errors << message;
    if (!out.errors.isEmpty())
        out.result = RECALC_STOPPED;
    return out;
}

RecalcOutcome RecalcForecastThread(const RecalcThreadParams& params, RecalcProgressHolder& holder)
{
    CRecalcProgressScope scope(holder, params.progress);
    IRecalcStatusText* status = params.status;
    return RunRecalc(params.forecast, holder, [&](CRecalcRun& run) -> CCalcResult<int> {
        const int forecast = run.forecast();
        const auto product = GetRootProduct(forecast);
        if (CCalcStatus db = run.CheckDb(); !db)
            return db;
        const auto root = GetForecastRootReceiver(forecast);
        if (CCalcStatus db = run.CheckDb(); !db)
            return db;
        if (!root)
            return int(RECALC_NO_ROOT);
        if (params.receiverId < 1)
            return int(RECALC_CONSOLIDATED);
        if (!product)
            return int(RECALC_NOTHING);
        if (status)
            status->SetProductText(QString());
        const auto children = LoadReceiverChildren(root->id, forecast);
        if (!children)
            return CCalcStatus::Failed(CalcTexts::kReceiversBroken);
        if (product->IsGroup()) {
            if (CCalcStatus done = RecalcWholeForecast(run, *product, *root, *children); !done)
                return done;
            // A forecast's group rows written anew can be many: plans made on the statistics of
            // before would make the edits after it slow.
            RefreshStatistics({"tfctprognozdata"});
            if (status) {
                status->SetReceiverText(QString());
                status->SetProductText(QString());
            }
            return int(RECALC_DONE);
        }
        for (const CReceiverRecord& child : *children) {
            run.CheckCancel();
            if (child.id == root->id)
                continue;
            if (status)
                status->SetReceiverText(child.name);
            auto row = run.DataRow(child.id, product->id);
            if (!row)
                return row.failure();
            if (CCalcStatus done = RecalcReceiverRows(run, *product, *row, child); !done)
                return done;
        }
        // Last the root, whose own rows stay: only its group rows are derived.
        return RecalcFromProduct(run, root->id, product->id, false, nullptr, nullptr, status);
    });
}

RecalcOutcome RecalcGroupsThread(const RecalcThreadParams& params, RecalcProgressHolder& holder)
{
    CRecalcProgressScope scope(holder, params.progress);
    return RunRecalc(params.forecast, holder, [&](CRecalcRun& run) {
        return RecalcFromProduct(run, params.receiverId, std::nullopt, false, nullptr, nullptr, params.status);
    });
}

namespace {

// The group's row after an edit of a member and the rows that depend on it, then the group's row
// saved once more and handed back; in a transaction of the caller's, or in one of its own.
CCalcResult<int> EditedGroupRows(CRecalcRun& run, int receiverId, int groupId, CForecastRowFields* groupRow)
{
    const int forecast = run.forecast();
    auto saveAgain = [&](auto& row, const auto& rows, const CCalcStatus& walked) -> CCalcResult<int> {
        if (!walked)
            return walked;
        if (!row)
            return int(RECALC_NOTHING);
        if (CCalcStatus saved = rows.Save(*row, false); !saved)
            return saved;
        if (groupRow)
            *groupRow = *row;
        return int(RECALC_DONE);
    };
    // In the walk's transaction: saved after it committed, the row could overwrite what another
    // user's recalculation wrote in between.
    CCalcResult<int> result = int(RECALC_NOTHING);
    const CCalcStatus done = InSaveBatch([&] {
        if (receiverId >= 1) {
            std::optional<CForecastDataRecord> row;
            const CCalcStatus walked = RecalcAfterEdit(run, groupId, receiverId, row);
            result = saveAgain(row, CDataRows(forecast, receiverId), walked);
        } else {
            std::optional<CTotalForecastRecord> row;
            const CCalcStatus walked = RecalcAfterEdit(run, groupId, row);
            result = saveAgain(row, CTotalRows(forecast), walked);
        }
        return result ? CCalcStatus() : result.failure();
    });
    if (!done && result)
        return done;
    return result;
}

} // namespace

RecalcOutcome RecalcEditedGroup(int forecast, int receiverId, int groupId, CForecastRowFields* groupRow)
{
    RecalcProgressHolder none; // the automatic recalculation reports no progress
    return RunRecalc(forecast, none,
                     [&](CRecalcRun& run) { return EditedGroupRows(run, receiverId, groupId, groupRow); });
}

RecalcOutcome SaveEditedRow(CForecastDataRecord& edited, int groupId, bool recalc, CForecastRowFields* groupRow)
{
    RecalcProgressHolder none;
    return RunRecalc(edited.prognoz, none, [&](CRecalcRun& run) -> CCalcResult<int> {
        // The wait for another user's run over the same rows comes before anything is written, and
        // whatever ends the work (that wait stopped or timed out included) leaves the row as it was.
        CTransaction tx;
        if (!tx.isActive())
            return CCalcStatus::DbFailed();
        if (recalc)
            if (CCalcStatus held = CDataRows(edited.prognoz, edited.receiver).Lock(); !held)
                return held;
        if (!SaveForecastData(edited, false))
            return CCalcStatus::DbFailed();
        CCalcResult<int> result = int(RECALC_DONE);
        if (recalc) {
            result = EditedGroupRows(run, edited.receiver, groupId, groupRow);
            if (!result)
                return result;
        }
        if (!tx.commit())
            return CCalcStatus::DbFailed();
        return result;
    });
}

RecalcOutcome RecalcGroupNode(int forecast, int receiverId, int groupId, RecalcProgressHolder& holder,
                              CForecastRowFields* groupRow, bool* receiverGroup)
{
    return RunRecalc(forecast, holder, [&](CRecalcRun& run) {
        return RecalcFromProduct(run, receiverId, groupId, true, groupRow, receiverGroup, nullptr);
    });
}
