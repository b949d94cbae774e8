#include "RecalcCommands.h"

#include "CalcTexts.h"
#include "RecalcWalks.h"

namespace {

// The editor's receiver (none for the consolidated forecast) and group; false when one cannot be read.
bool ReadEditorRows(CRecalcRun& run, int receiverId, int groupId, std::optional<CReceiverRecord>& receiver,
                    std::optional<CProductRecord>& group)
{
    group = GetProduct(groupId, run.forecast());
    run.CheckDb();
    if (receiverId >= 1) {
        receiver = GetForecastReceiver(receiverId, run.forecast());
        run.CheckDb();
        if (!receiver)
            return false;
    }
    return group.has_value();
}

// Runs the walk on the receiver's row of the group (or the consolidated row), saves the row once more
// and hands it back.
template <class DataWalk, class TotalWalk>
void OnGroupRow(CRecalcRun& run, const std::optional<CReceiverRecord>& receiver, const CProductRecord& group,
                CForecastRowFields* groupRow, DataWalk dataWalk, TotalWalk totalWalk)
{
    if (receiver) {
        CForecastDataRecord row = run.DataRow(receiver->id, group.id);
        dataWalk(row);
        CDataRows(run.forecast(), receiver->id).Save(row, false);
        if (groupRow)
            *groupRow = row;
    } else {
        CTotalForecastRecord row = run.TotalRow(group.id);
        totalWalk(row);
        CTotalRows(run.forecast()).Save(row, false);
        if (groupRow)
            *groupRow = row;
    }
}

void SetTexts(IRecalcStatusText* status, const QString& product, const QString& receiver)
{
    if (status) {
        status->SetProductText(product);
        status->SetReceiverText(receiver);
    }
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
        if (params.status)
            params.status->SetProductText(QString());
        auto children = LoadReceiverChildren(root->id, forecast);
        if (!children)
            throw std::logic_error(CalcTexts::kReceiversBroken.toStdString());
        for (const CReceiverRecord& child : *children) {
            run.CheckCancel();
            if (child.id == root->id)
                continue;
            if (params.status)
                params.status->SetReceiverText(child.name);
            CForecastDataRecord row = run.DataRow(child.id, product->id);
            if (IsSubordinateGroup(child))
                RecalcReceiverSubtree(run, *product, row, child);
            else
                RecalcProductSubtree(run, *product, row, child);
        }
        if (params.status)
            params.status->SetReceiverText(root->name);
        CForecastDataRecord row = run.DataRow(root->id, product->id);
        RecalcProductSubtree(run, *product, row, *root);
        SetTexts(params.status, QString(), QString());
        return int(RECALC_DONE);
    });
}

RecalcOutcome RecalcGroupsThread(const RecalcThreadParams& params, RecalcProgressHolder& holder)
{
    CRecalcProgressScope scope(holder, params.progress);
    return RunRecalc(params.forecast, holder, [&](CRecalcRun& run) {
        const int forecast = run.forecast();
        const auto product = GetRootProduct(forecast);
        run.CheckDb();
        std::optional<CReceiverRecord> receiver;
        if (params.receiverId >= 1) {
            receiver = GetForecastReceiver(params.receiverId, forecast);
            run.CheckDb();
            if (!receiver)
                return int(RECALC_NOTHING);
        }
        if (!product)
            return int(RECALC_NOTHING);
        SetTexts(params.status, QString(), receiver ? receiver->name : QString());
        if (receiver) {
            CForecastDataRecord row = run.DataRow(receiver->id, product->id);
            if (IsSubordinateGroup(*receiver))
                RecalcReceiverSubtree(run, *product, row, *receiver);
            else
                RecalcProductSubtree(run, *product, row, *receiver);
        } else {
            CTotalForecastRecord row = run.TotalRow(product->id);
            RecalcProductSubtree(run, *product, row);
        }
        SetTexts(params.status, QString(), QString());
        return int(RECALC_DONE);
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
        OnGroupRow(
            run, receiver, *group, groupRow, [&](CForecastDataRecord& row) { RecalcAfterEdit(run, *group, row, *receiver); },
            [&](CTotalForecastRecord& row) { RecalcAfterEdit(run, *group, row); });
        return int(RECALC_DONE);
    });
}

RecalcOutcome RecalcGroupNode(int forecast, int receiverId, int groupId, RecalcProgressHolder& holder,
                              CForecastRowFields* groupRow, bool* receiverGroup)
{
    return RunRecalc(forecast, holder, [&](CRecalcRun& run) {
        std::optional<CReceiverRecord> receiver;
        std::optional<CProductRecord> group;
        if (!ReadEditorRows(run, receiverId, groupId, receiver, group))
            return int(RECALC_NOTHING);
        const bool members = receiver && IsSubordinateGroup(*receiver);
        if (receiverGroup)
            *receiverGroup = members;
        OnGroupRow(
            run, receiver, *group, groupRow,
            [&](CForecastDataRecord& row) {
                if (members)
                    RecalcReceiverSubtree(run, *group, row, *receiver);
                else
                    RecalcProductSubtree(run, *group, row, *receiver);
            },
            [&](CTotalForecastRecord& row) { RecalcProductSubtree(run, *group, row); });
        return int(RECALC_DONE);
    });
}
