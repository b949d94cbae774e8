#include "RecalcCommands.h"

#include "CalcTexts.h"
#include "RecalcWalks.h"

namespace {

// The editor's receiver (none for the consolidated forecast) and product; false when one cannot be
// read. Without a product id, the forecast's top product.
bool ReadEditorRows(CRecalcRun& run, int receiverId, std::optional<int> productId,
                    std::optional<CReceiverRecord>& receiver, std::optional<CProductRecord>& product)
{
    product = productId ? GetProduct(*productId, run.forecast()) : GetRootProduct(run.forecast());
    run.CheckDb();
    if (receiverId >= 1) {
        receiver = GetForecastReceiver(receiverId, run.forecast());
        run.CheckDb();
        if (!receiver)
            return false;
    }
    return product.has_value();
}

// The receiver's rows of the product and below: with its members when it is a receiver group.
void RecalcReceiverRows(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                        const CReceiverRecord& receiver)
{
    if (IsSubordinateGroup(receiver))
        RecalcReceiverSubtree(run, product, row, receiver);
    else
        RecalcProductSubtree(run, product, row, receiver);
}

// Runs the walk on the receiver's row of the product (or the consolidated row); with saveAgain the
// row is saved once more, as the editor does, and handed back.
template <class DataWalk, class TotalWalk>
void OnProductRow(CRecalcRun& run, const std::optional<CReceiverRecord>& receiver, const CProductRecord& product,
                  bool saveAgain, CForecastRowFields* out, DataWalk dataWalk, TotalWalk totalWalk)
{
    auto finish = [&](auto& row, const auto& rows) {
        if (saveAgain)
            rows.Save(row, false);
        if (out)
            *out = row;
    };
    if (receiver) {
        CForecastDataRecord row = run.DataRow(receiver->id, product.id);
        dataWalk(row);
        finish(row, CDataRows(run.forecast(), receiver->id));
    } else {
        CTotalForecastRecord row = run.TotalRow(product.id);
        totalWalk(row);
        finish(row, CTotalRows(run.forecast()));
    }
}

// The product's rows and below for the receiver or the consolidated forecast.
int RecalcFromProduct(CRecalcRun& run, int receiverId, std::optional<int> productId, bool saveAgain,
                      CForecastRowFields* out, bool* receiverGroup, IRecalcStatusText* status)
{
    std::optional<CReceiverRecord> receiver;
    std::optional<CProductRecord> product;
    if (!ReadEditorRows(run, receiverId, productId, receiver, product))
        return RECALC_NOTHING;
    if (receiverGroup)
        *receiverGroup = receiver && IsSubordinateGroup(*receiver);
    if (status) {
        status->SetProductText(QString());
        status->SetReceiverText(receiver ? receiver->name : QString());
    }
    OnProductRow(
        run, receiver, *product, saveAgain, out,
        [&](CForecastDataRecord& row) { RecalcReceiverRows(run, *product, row, *receiver); },
        [&](CTotalForecastRecord& row) { RecalcProductSubtree(run, *product, row); });
    if (status) {
        status->SetReceiverText(QString());
        status->SetProductText(QString());
    }
    return RECALC_DONE;
}

} // namespace

RecalcOutcome RunRecalc(int forecast, RecalcProgressHolder& holder, const std::function<int(CRecalcRun&)>& work)
{
    RecalcOutcome out;
    CRecalcRun run(forecast, holder);
    QString message;
    try {
        out.result = work(run);
    } catch (const CRecalcCancelled&) {
        out.result = RECALC_STOPPED;
        out.cancelled = true;
    } catch (const CRecalcDbFailure&) {
        out.result = RECALC_STOPPED;
    } catch (const std::exception& e) {
        out.result = RECALC_STOPPED;
        message = QString::fromUtf8(e.what());
    }
    for (const DbError& error : run.TakeErrors())
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
    return RunRecalc(params.forecast, holder, [&](CRecalcRun& run) {
        const int forecast = run.forecast();
        const auto product = GetRootProduct(forecast);
        run.CheckDb();
        const auto root = GetForecastRootReceiver(forecast);
        run.CheckDb();
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
            throw std::logic_error(CalcTexts::kReceiversBroken.toStdString());
        for (const CReceiverRecord& child : *children) {
            run.CheckCancel();
            if (child.id == root->id)
                continue;
            if (status)
                status->SetReceiverText(child.name);
            CForecastDataRecord row = run.DataRow(child.id, product->id);
            RecalcReceiverRows(run, *product, row, child);
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

RecalcOutcome RecalcEditedGroup(int forecast, int receiverId, int groupId, CForecastRowFields* groupRow)
{
    RecalcProgressHolder none; // the automatic recalculation reports no progress
    return RunRecalc(forecast, none, [&](CRecalcRun& run) {
        std::optional<CReceiverRecord> receiver;
        std::optional<CProductRecord> group;
        if (!ReadEditorRows(run, receiverId, groupId, receiver, group))
            return int(RECALC_NOTHING);
        OnProductRow(
            run, receiver, *group, true, groupRow,
            [&](CForecastDataRecord& row) { RecalcAfterEdit(run, *group, row, *receiver); },
            [&](CTotalForecastRecord& row) { RecalcAfterEdit(run, *group, row); });
        return int(RECALC_DONE);
    });
}

RecalcOutcome RecalcGroupNode(int forecast, int receiverId, int groupId, RecalcProgressHolder& holder,
                              CForecastRowFields* groupRow, bool* receiverGroup)
{
    return RunRecalc(forecast, holder, [&](CRecalcRun& run) {
        return RecalcFromProduct(run, receiverId, groupId, true, groupRow, receiverGroup, nullptr);
    });
}
