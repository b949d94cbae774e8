#include "ReceiverTree.h"

#include "AppMessage.h"
#include "tables/Forecasts.h"
#include "tables/ReceiverMap.h"

#include <unordered_set>

std::optional<CReceiverRecord> GetOrCreateRootReceiver(int forecast)
{
    auto root = GetForecastRootReceiver(forecast);
    QString name = LoadStringRes(5);
    if (name.isEmpty())
        name = QStringLiteral("ГРБС");
    if (const auto f = GetForecast(forecast); f && !f->ownerName.isEmpty())
        name = f->ownerName;

    CTransaction tx;
    if (!tx.isActive())
        return std::nullopt;
    if (root) {
        root->name = name;
        root->isgroup = 1;
        if (!SaveReceiver(*root) || !tx.commit())
            return std::nullopt;
        return root;
    }
    CReceiverRecord rec;
    rec.category = 0;
    rec.name = name;
    rec.isgroup = 1;
    // Created and mapped together: a top group that no forecast maps would be lost.
    if (!SaveReceiver(rec) || !MapReceiverToForecast(rec.id, forecast, -1) || !tx.commit())
        return std::nullopt;
    return rec;
}

namespace {

bool CopyChildren(int source, int target, int sourceParentId, int targetParentId, std::unordered_set<int>& seen)
{
    const auto children = LoadReceiverChildren(sourceParentId, source);
    if (!children)
        return false;
    bool ok = true;
    for (const CReceiverRecord& child : *children) {
        // A parent chain that runs in a circle is copied once.
        if (!seen.insert(child.id).second)
            continue;
        CReceiverRecord copy = child;
        copy.category = targetParentId;
        if (!SaveReceiverByName(copy) || !MapReceiverToForecast(copy.id, target, -1)) {
            ok = false;
            continue;
        }
        if (!CopyChildren(source, target, child.id, copy.id, seen))
            ok = false;
    }
    return ok;
}

} // namespace

bool CopyReceiverChildren(int source, int target, const CReceiverRecord& sourceParent, int targetParentId)
{
    std::unordered_set<int> seen{sourceParent.id};
    return CopyChildren(source, target, sourceParent.id, targetParentId, seen);
}

bool CopyReceiverTree(int source, int target)
{
    const auto sourceRoot = GetForecastRootReceiver(source);
    auto targetRoot = GetForecastRootReceiver(target);
    if (!targetRoot && target != -1) {
        if (!GetOrCreateRootReceiver(target))
            return false;
        targetRoot = GetForecastRootReceiver(target);
    }
    if (!sourceRoot || !targetRoot)
        return true; // nothing to copy
    // One transaction for the speed of it; every receiver is a savepoint of its own, so what could be
    // copied is kept.
    CTransaction tx;
    const bool ok = CopyReceiverChildren(source, target, *sourceRoot, targetRoot->id);
    return tx.commit() && ok;
}

bool SaveReceiverByName(CReceiverRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const int originalId = rec.id;
    {
        CSqlQuery q(
            QStringLiteral("select id from tclsreceiver where lower(name) = lower(?) and category = ? order by id"));
        q.bind(rec.name).bind(rec.category);
        if (!q.exec())
            return false;
        rec.id = q.next() ? q.value(0).toInt() : -1;
    }
    if (!SaveReceiver(rec) || !tx.commit()) {
        rec.id = originalId;
        return false;
    }
    return true;
}

bool SaveForecastReceiver(CReceiverRecord& rec, int forecast, int parentId)
{
    CTransaction tx;
    if (!tx.isActive() || !SaveReceiver(rec) || !MapReceiverToForecast(rec.id, forecast, -1))
        return false;
    if (parentId != 0) {
        auto parent = GetForecastReceiver(parentId, forecast);
        if (parent && parent->isgroup == 0) {
            parent->isgroup = 1;
            if (!SaveReceiver(*parent))
                return false;
        }
    }
    return tx.commit();
}

namespace {

bool RemoveSubtree(int groupId, int forecast)
{
    const auto children = LoadReceiverChildren(groupId, forecast);
    if (!children || !RemoveReceiverFromForecast(groupId, forecast))
        return false;
    for (const CReceiverRecord& child : *children) {
        const bool done =
            child.isgroup ? RemoveSubtree(child.id, forecast) : RemoveReceiverFromForecast(child.id, forecast);
        if (!done)
            return false;
    }
    return true;
}

} // namespace

bool RemoveReceiverGroup(int groupId, int forecast)
{
    CTransaction tx;
    return tx.isActive() && RemoveSubtree(groupId, forecast) && tx.commit();
}

std::optional<std::set<int>> LoadReceiverGroupsWithSubgroups(int forecast, int group)
{
    CSqlQuery q(QStringLiteral("select distinct r.category from tclsreceiver r "
                               "join tclsreceivermap m on m.receiver = r.id and m.prognoz = ?")
                + ListedReceiversJoin(QStringLiteral("r.id"), QStringLiteral("m.prognoz"))
                + QStringLiteral(" join tclsreceiver p on p.id = r.category where p.category = ? and r.isgroup = 1"));
    q.bind(forecast).bind(group);
    return ReadIdSet(q);
}

void MoveReceiverPosition(int receiverId, int parentId, int forecast, bool up)
{
    auto siblings = LoadReceiverChildren(parentId, forecast);
    if (siblings)
        static_cast<void>(MoveOnePlace(*siblings, receiverId, up, &SaveReceiver));
}

bool ReceiverTreeHasData(int receiver, int forecast)
{
    // The receiver, and below a group of the forecast its children in the forecast, level by level.
    CSqlQuery q(QStringLiteral(
        "with recursive sub(id) as ("
        " select cast(? as integer)"
        " union"
        " select r.id from tclsreceiver r"
        " join tclsreceivermap rm on rm.receiver = r.id and rm.prognoz = ?"
        " join tclsreceivermap pm on pm.receiver = r.category and pm.prognoz = ?"
        " join tclsreceiver p on p.id = pm.receiver"
        " join sub on sub.id = p.id"
        " where p.isgroup <> 0)"
        " select case when exists (select 1 from tfctprognozdata d where d.prognoz = ? and d.receiver in (select id "
        "from sub))"
        " or exists (select 1 from tfctimportstatus i where i.prognoz = ? and i.receiver in (select id from sub))"
        " then 1 else 0 end"));
    q.bind(receiver).bind(forecast).bind(forecast).bind(forecast).bind(forecast);
    if (!q.execOrReport() || !q.next())
        return true; // a receiver whose data cannot be read counts as used
    return q.value(0).toInt() != 0;
}

namespace {

auto ReceiverChildren(int forecastId)
{
    return [forecastId](int parentId) { return LoadReceiverChildren(parentId, forecastId); };
}

bool ReceiverIsGroup(const CReceiverRecord& r)
{
    return r.IsGroup() != 0;
}

} // namespace

bool CollectReceiverTree(int forecastId, CDepthMap& depthMap, std::vector<int>* idList, CReceiverList* recordList)
{
    return CollectTree(GetForecastRootReceiver(forecastId), depthMap, idList, recordList, ReceiverChildren(forecastId),
                       ReceiverIsGroup);
}

bool CollectReceiverSubtree(int forecastId, int parentId, CDepthMap& depthMap, int depth, std::vector<int>* idList,
                            CReceiverList* recordList)
{
    return CollectTreeLevel(parentId, depthMap, depth, idList, recordList, ReceiverChildren(forecastId),
                            ReceiverIsGroup);
}
