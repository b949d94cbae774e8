#include "RecalcWalks.h"

#include "CalcTexts.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_set>

namespace {

template <class Rows>
typename Rows::Row& Fetch(std::unordered_map<int, typename Rows::Row>& stored, const Rows& rows, int product)
{
    auto it = stored.find(product);
    if (it == stored.end())
        it = stored.emplace(product, rows.New(product)).first;
    return it->second;
}

std::vector<int> IdsOf(const std::vector<const CProductRecord*>& products)
{
    std::vector<int> ids;
    ids.reserve(products.size());
    for (const CProductRecord* p : products)
        ids.push_back(p->id);
    return ids;
}

// What a walk's rows are computed from: for a receiver group the category sums of its members,
// otherwise the product members' sums, to which each recomputed group adds its own new sums.
template <class Rows>
class CRowSources {
public:
    // With deferSaves the recomputed rows wait for SaveDeferred, to be written together.
    CRowSources(CRecalcRun& run, const Rows& rows, const CProductTree& tree, const CReceiverRecord* groupReceiver,
                bool deferSaves = false)
        : m_run(run)
        , m_rows(rows)
        , m_tree(tree)
        , m_groupReceiver(groupReceiver)
        , m_defer(deferSaves)
    {
    }

    // Reads the sources of the products' rows, and the stored rows of `stored` (Stored); without a
    // receiver group both together.
    CCalcStatus Read(const std::vector<const CProductRecord*>& products,
                     const std::vector<const CProductRecord*>& stored = {})
    {
        if (!m_groupReceiver)
            return m_rows.ReadRowsAndSums(IdsOf(stored), m_tree.ChildIds(products), m_stored, m_members);
        auto category = ReadCategorySums(m_run.forecast(), m_groupReceiver->id, IdsOf(products));
        if (!category)
            return category.failure();
        m_category = std::move(*category);
        auto rows = m_rows.ReadRows(IdsOf(stored));
        if (!rows)
            return rows.failure();
        m_stored = std::move(*rows);
        return {};
    }

    // The stored rows read, by product (others may be among them).
    std::unordered_map<int, typename Rows::Row>& Stored() { return m_stored; }

    // Fills the product's row and saves it.
    CCalcStatus Recompute(const CProductRecord& p, typename Rows::Row& target)
    {
        if constexpr (std::is_same_v<typename Rows::Row, CForecastDataRecord>) {
            if (m_groupReceiver) {
                ApplyCategorySums(m_category, target);
                return m_rows.Save(target, true);
            }
        }
        if (CCalcStatus summed =
                SumGroupRows(p, MembersOf(m_tree, p, m_members), m_run.koef(), target, m_run.progress());
            !summed)
            return summed;
        if (m_defer)
            m_unsaved.push_back(&target);
        else if (CCalcStatus saved = m_rows.Save(target, true); !saved)
            return saved;
        m_members[p.id] = CMemberSums::Of(target);
        return {};
    }

    // Writes the rows waiting, before those they point into go.
    CCalcStatus SaveDeferred()
    {
        const std::vector<typename Rows::Row*> rows = std::move(m_unsaved);
        m_unsaved.clear();
        return m_rows.SaveAll(rows);
    }

private:
    CRecalcRun& m_run;
    const Rows& m_rows;
    const CProductTree& m_tree;
    const CReceiverRecord* m_groupReceiver;
    std::unordered_map<int, CCategorySums> m_category;
    std::unordered_map<int, CMemberSums> m_members;
    std::unordered_map<int, typename Rows::Row> m_stored;
    bool m_defer;
    std::vector<typename Rows::Row*> m_unsaved;
};

// One receiver's rows (or the consolidated rows) of `product` and the products below it, deepest
// first: with a receiver group every product's, otherwise the groups'.
template <class Rows>
CCalcStatus WalkProductSubtree(CRecalcRun& run, const CProductRecord& product, typename Rows::Row& row,
                               const Rows& rows, const CReceiverRecord* groupReceiver)
{
    const auto tree = run.products();
    if (!tree)
        return tree.failure();
    const auto list = CollectGroupProducts(**tree, product, groupReceiver == nullptr);
    IRecalcProgress* progress = run.progress();
    if (progress)
        progress->BeginInner(int(list.size()));
    return InSaveBatch([&] {
        // What the rows are summed from is read once no other run can change the rows summed.
        if (CCalcStatus locked = rows.Lock(); !locked)
            return locked;
        auto stored = rows.ReadRows(IdsOf(list));
        if (!stored)
            return stored.failure();
        // The caller's row as stored now: another user may have written it since it was read.
        if (const auto it = stored->find(product.id); it != stored->end())
            row = it->second;
        CRowSources<Rows> sources(run, rows, **tree, groupReceiver);
        if (CCalcStatus read = sources.Read(list); !read)
            return read;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            run.CheckCancel();
            const CProductRecord& p = **it;
            if (progress)
                progress->StepInner(&p);
            if (CCalcStatus done = sources.Recompute(p, p.id == product.id ? row : Fetch(*stored, rows, p.id)); !done)
                return done;
        }
        return CCalcStatus();
    });
}

// The edited group, its ancestor products nearest first, and the children with a price row of them and
// of the group.
struct CProductAncestry {
    std::optional<CProductRecord> group; // none when it does not exist
    CProductList path;
    CProductTree children;
    std::vector<const CProductRecord*> pathPointers;
};

CCalcStatus LoadAncestry(CRecalcRun& run, int groupId, CProductAncestry& a)
{
    // The group and its ancestors, top first, each once, and their children with a price row.
    auto read = LoadProductPathChildren(run.forecast(), groupId);
    if (!read)
        return CCalcStatus::DbFailed();
    a.path = std::move(read->path);
    if (a.path.empty())
        return run.CheckDb();
    if (!read->children)
        return CCalcStatus::Failed(CalcTexts::kProductsBroken);
    a.group = std::move(a.path.back());
    a.path.pop_back();
    std::reverse(a.path.begin(), a.path.end());
    for (const CProductRecord& p : a.path)
        a.pathPointers.push_back(&p);
    a.children = CProductTree(std::move(*read->children));
    return {};
}

// The receiver's (or the consolidated) rows of the ancestor products, nearest first; from the
// sources the edited group's row was summed from when given (SumEditedGroup), which hold the rows.
template <class Rows>
CCalcStatus WalkAncestorRows(CRecalcRun& run, const CProductAncestry& a, const Rows& rows,
                             const CReceiverRecord* groupReceiver, CRowSources<Rows>* read = nullptr)
{
    if (a.path.empty())
        return read ? read->SaveDeferred() : CCalcStatus();
    std::optional<CRowSources<Rows>> own;
    if (!read) {
        own.emplace(run, rows, a.children, groupReceiver);
        if (CCalcStatus done = own->Read(a.pathPointers, a.pathPointers); !done)
            return done;
        read = &*own;
    }
    for (const CProductRecord& p : a.path)
        if (CCalcStatus done = read->Recompute(p, Fetch(read->Stored(), rows, p.id)); !done) {
            // What was summed stays, as if saved alone.
            static_cast<void>(read->SaveDeferred());
            return done;
        }
    return read->SaveDeferred();
}

// The edited group's row (the stored one, or a new one) from its members' stored sums. The rows of
// the group and of its ancestor products and their members' sums are read together; the group's new
// sums stand for it among the latter.
template <class Rows>
CCalcStatus SumEditedGroup(const CProductAncestry& ancestry, const Rows& rows, CRowSources<Rows>& sources,
                           std::optional<typename Rows::Row>& row)
{
    std::vector<const CProductRecord*> parents{&*ancestry.group};
    parents.insert(parents.end(), ancestry.pathPointers.begin(), ancestry.pathPointers.end());
    if (CCalcStatus read = sources.Read(parents, parents); !read)
        return read;
    auto& stored = sources.Stored();
    const auto it = stored.find(ancestry.group->id);
    row = it == stored.end() ? rows.New(ancestry.group->id) : std::move(it->second);
    if (it != stored.end())
        stored.erase(it);
    return sources.Recompute(*ancestry.group, *row);
}

// The subordinate groups above the receiver, nearest first.
CCalcResult<CReceiverList> GroupsAbove(CRecalcRun& run, const CReceiverRecord& receiver)
{
    CReceiverList above;
    const auto chain = LoadReceiverAncestors(run.forecast(), receiver.category);
    if (CCalcStatus db = run.CheckDb(); !db)
        return db;
    if (!chain)
        return CCalcStatus::DbFailed();
    for (const CReceiverRecord& r : *chain) {
        if (r.id == receiver.id || !IsSubordinateGroup(r))
            break;
        above.push_back(r);
    }
    return above;
}

// The rows above the recomputed group row, inside the edit's transaction: the receiver's rows of the group's ancestor
// products, and for each subordinate group above the receiver (nearest first) its rows of the group's members, the
// group and the ancestor products.
CCalcStatus RecalcAncestors(CRecalcRun& run, const CProductRecord& group, const CReceiverRecord& receiver,
                            const CProductAncestry& ancestry, CRowSources<CDataRows>* sources)
{
    const int forecast = run.forecast();
    // A server with logins sums the groups above itself: a user may neither read the other members'
    // rows nor write the groups' own.
    const bool onServer = Dialect().HasLogins();
    const auto above = onServer ? CCalcResult<CReceiverList>(CReceiverList()) : GroupsAbove(run, receiver);
    if (!above)
        return above.failure();
    if (CCalcStatus walked = WalkAncestorRows(run, ancestry, CDataRows(forecast, receiver.id),
                                              IsSubordinateGroup(receiver) ? &receiver : nullptr, sources);
        !walked)
        return walked;
    // Each group above takes its members' sums after the nearer ones were written.
    std::vector<int> products;
    std::unordered_set<int> seen;
    auto add = [&](int id) {
        if (seen.insert(id).second)
            products.push_back(id);
    };
    for (const CProductRecord* child : ancestry.children.Children(group.id))
        add(child->id);
    add(group.id);
    for (const CProductRecord& p : ancestry.path)
        add(p.id);
    if (onServer)
        return WriteReceiverGroupSums(forecast, receiver.id, products) ? CCalcStatus() : CCalcStatus::DbFailed();
    // Each group's rows are its members' sums, formed and written by the database.
    for (const CReceiverRecord& a : *above) {
        QSqlError failure;
        if (!WriteCategorySums(forecast, a.id, products, &failure))
            return CCalcStatus::Failed(failure.databaseText().isEmpty() ? failure.text() : failure.databaseText());
    }
    return {};
}

} // namespace

bool IsSubordinateGroup(const CReceiverRecord& receiver)
{
    return receiver.isgroup != 0 && receiver.category != 0 && receiver.category != -1;
}

std::vector<const CProductRecord*> CollectGroupProducts(const CProductTree& tree, const CProductRecord& root,
                                                        bool groupsOnly)
{
    std::vector<const CProductRecord*> out;
    const CProductRecord* start = tree.Find(root.id);
    std::deque<const CProductRecord*> queue{start ? start : &root};
    std::unordered_set<int> seen{root.id};
    while (!queue.empty()) {
        const CProductRecord* front = queue.front();
        queue.pop_front();
        if (front->IsGroup())
            for (const CProductRecord* child : tree.Children(front->id))
                if ((!groupsOnly || child->IsGroup()) && seen.insert(child->id).second)
                    queue.push_back(child);
        out.push_back(front);
    }
    return out;
}

CCalcResult<CReceiverList> CollectCategoryReceivers(const CReceiverRecord& root, int forecast)
{
    CReceiverList out;
    std::deque<CReceiverRecord> queue{root};
    std::unordered_set<int> seen{root.id};
    while (!queue.empty()) {
        CReceiverRecord front = std::move(queue.front());
        queue.pop_front();
        if (front.IsGroup()) {
            auto children = LoadReceiverChildren(front.id, forecast);
            if (!children)
                return CCalcStatus::Failed(CalcTexts::kReceiversBroken);
            for (CReceiverRecord& child : *children)
                if (seen.insert(child.id).second)
                    queue.push_back(std::move(child));
        }
        out.push_back(std::move(front));
    }
    return out;
}

CCalcStatus GetCategoryForecastSums(const CProductRecord& product, CForecastDataRecord& row,
                                    const CReceiverRecord& groupReceiver)
{
    const auto sums = ReadCategorySums(row.prognoz, groupReceiver.id, {product.id});
    if (!sums)
        return sums.failure();
    ApplyCategorySums(*sums, row);
    return {};
}

CCalcStatus RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                                 const CReceiverRecord& receiver)
{
    return WalkProductSubtree(run, product, row, CDataRows(run.forecast(), receiver.id),
                              IsSubordinateGroup(receiver) ? &receiver : nullptr);
}

CCalcStatus RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CTotalForecastRecord& row)
{
    return WalkProductSubtree(run, product, row, CTotalRows(run.forecast()), nullptr);
}

CCalcStatus RecalcReceiverSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                                  const CReceiverRecord& receiver)
{
    const auto list = CollectCategoryReceivers(receiver, run.forecast());
    if (!list)
        return list.failure();
    IRecalcProgress* progress = run.progress();
    if (progress)
        progress->BeginOuter(int(list->size()));
    for (auto it = list->rbegin(); it != list->rend(); ++it) {
        run.CheckCancel();
        if (progress)
            progress->StepOuter(&*it);
        CCalcStatus done;
        if (it->id == receiver.id) {
            done = RecalcProductSubtree(run, product, row, receiver);
        } else {
            auto own = run.DataRow(it->id, product.id);
            done = own ? RecalcProductSubtree(run, product, *own, *it) : own.failure();
        }
        if (!done)
            return done;
    }
    return {};
}

CCalcStatus RecalcAfterEdit(CRecalcRun& run, int groupId, int receiverId, std::optional<CForecastDataRecord>& row)
{
    return InSaveBatch([&] {
        // Another user's recalculation of the same rows ends first; the sums are read after it.
        if (CCalcStatus locked = CDataRows(run.forecast(), receiverId).Lock(); !locked)
            return locked;
        CProductAncestry ancestry;
        if (CCalcStatus loaded = LoadAncestry(run, groupId, ancestry); !loaded || !ancestry.group)
            return loaded;
        const auto receiver = GetForecastReceiver(receiverId, run.forecast());
        if (CCalcStatus db = run.CheckDb(); !db)
            return db;
        if (!receiver)
            return CCalcStatus();
        const CProductRecord& group = *ancestry.group;
        const CDataRows rows(run.forecast(), receiver->id);
        if (IsSubordinateGroup(*receiver)) {
            auto own = run.DataRow(receiver->id, group.id);
            if (!own)
                return own.failure();
            row = std::move(*own);
            if (CCalcStatus summed = GetCategoryForecastSums(group, *row, *receiver); !summed)
                return summed;
            if (CCalcStatus saved = rows.Save(*row, true); !saved)
                return saved;
            return RecalcAncestors(run, group, *receiver, ancestry, nullptr);
        }
        CRowSources<CDataRows> sources(run, rows, ancestry.children, nullptr, true);
        if (CCalcStatus summed = SumEditedGroup(ancestry, rows, sources, row); !summed)
            return summed;
        const CCalcStatus done = RecalcAncestors(run, group, *receiver, ancestry, &sources);
        if (!done)
            static_cast<void>(sources.SaveDeferred()); // the group's row, when stopped before its ancestors'
        return done;
    });
}

CCalcStatus RecalcAfterEdit(CRecalcRun& run, int groupId, std::optional<CTotalForecastRecord>& row)
{
    return InSaveBatch([&] {
        if (CCalcStatus locked = CTotalRows(run.forecast()).Lock(); !locked)
            return locked;
        CProductAncestry ancestry;
        if (CCalcStatus loaded = LoadAncestry(run, groupId, ancestry); !loaded || !ancestry.group)
            return loaded;
        const CTotalRows rows(run.forecast());
        CRowSources<CTotalRows> sources(run, rows, ancestry.children, nullptr, true);
        if (CCalcStatus summed = SumEditedGroup(ancestry, rows, sources, row); !summed)
            return summed;
        const CCalcStatus done = WalkAncestorRows(run, ancestry, rows, nullptr, &sources);
        if (!done)
            static_cast<void>(sources.SaveDeferred());
        return done;
    });
}
