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

    // Reads the sources of the products' rows.
    CCalcStatus Read(const std::vector<const CProductRecord*>& products)
    {
        if (m_groupReceiver) {
            auto category = ReadCategorySums(m_run.forecast(), m_groupReceiver->id, IdsOf(products));
            if (!category)
                return category.failure();
            m_category = std::move(*category);
        } else {
            auto members = m_rows.ReadSums(m_tree.ChildIds(products));
            if (!members)
                return members.failure();
            m_members = std::move(*members);
        }
        return {};
    }

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
    auto stored = rows.ReadRows(IdsOf(list));
    if (!stored)
        return stored.failure();
    CRowSources<Rows> sources(run, rows, **tree, groupReceiver);
    if (CCalcStatus read = sources.Read(list); !read)
        return read;
    return InSaveBatch([&] {
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

// The group's ancestor products, nearest first, and the children with a price row of them and of
// the group.
struct CProductAncestry {
    CProductList path;
    CProductTree children;
    std::vector<const CProductRecord*> pathPointers;
};

CCalcStatus LoadAncestry(CRecalcRun& run, const CProductRecord& group, CProductAncestry& a)
{
    a.path = LoadProductPath(run.forecast(), group.parent);
    if (CCalcStatus db = run.CheckDb(); !db)
        return db;
    std::reverse(a.path.begin(), a.path.end());
    std::erase_if(a.path, [&](const CProductRecord& p) { return p.id == group.id; });
    std::vector<int> parents{group.id};
    for (const CProductRecord& p : a.path) {
        parents.push_back(p.id);
        a.pathPointers.push_back(&p);
    }
    auto children =
        LoadProducts(run.forecast(),
                     SqlFilter(Dialect().IdSetCondition(QStringLiteral("parent"))
                                   + QStringLiteral(" and exists (select 1 from tfctprice pr where pr.prognoz = "
                                                    "tclsproduct.prognoz and pr.product = tclsproduct.id)"),
                               {IdSetArgument(parents)}));
    if (!children)
        return CCalcStatus::Failed(CalcTexts::kProductsBroken);
    a.children = CProductTree(std::move(*children));
    return {};
}

// The receiver's (or the consolidated) rows of the ancestor products, nearest first; from the
// sources the edited group's row was summed from when given (SumEditedGroup).
template <class Rows>
CCalcStatus WalkAncestorRows(CRecalcRun& run, const CProductAncestry& a, const Rows& rows,
                             const CReceiverRecord* groupReceiver, CRowSources<Rows>* read = nullptr)
{
    if (a.path.empty())
        return read ? read->SaveDeferred() : CCalcStatus();
    auto stored = rows.ReadRows(IdsOf(a.pathPointers));
    if (!stored)
        return stored.failure();
    std::optional<CRowSources<Rows>> own;
    if (!read) {
        own.emplace(run, rows, a.children, groupReceiver);
        if (CCalcStatus done = own->Read(a.pathPointers); !done)
            return done;
        read = &*own;
    }
    for (const CProductRecord& p : a.path)
        if (CCalcStatus done = read->Recompute(p, Fetch(*stored, rows, p.id)); !done) {
            // What was summed stays, as if saved alone.
            static_cast<void>(read->SaveDeferred());
            return done;
        }
    return read->SaveDeferred();
}

// The edited group's row from its members' stored sums, saved. The members of the group and of its
// ancestor products are read together; the group's new sums stand for it among the latter.
template <class Rows>
CCalcStatus SumEditedGroup(const CProductRecord& group, typename Rows::Row& row, const CProductAncestry& ancestry,
                           CRowSources<Rows>& sources)
{
    std::vector<const CProductRecord*> parents{&group};
    parents.insert(parents.end(), ancestry.pathPointers.begin(), ancestry.pathPointers.end());
    if (CCalcStatus read = sources.Read(parents); !read)
        return read;
    return sources.Recompute(group, row);
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

CCalcStatus RecalcAfterEdit(CRecalcRun& run, const CProductRecord& group, CForecastDataRecord& row,
                            const CReceiverRecord& receiver)
{
    return InSaveBatch([&] {
        const CDataRows rows(run.forecast(), receiver.id);
        CProductAncestry ancestry;
        if (IsSubordinateGroup(receiver)) {
            if (CCalcStatus summed = GetCategoryForecastSums(group, row, receiver); !summed)
                return summed;
            if (CCalcStatus saved = rows.Save(row, true); !saved)
                return saved;
            if (CCalcStatus loaded = LoadAncestry(run, group, ancestry); !loaded)
                return loaded;
            return RecalcAncestors(run, group, receiver, ancestry, nullptr);
        }
        if (CCalcStatus loaded = LoadAncestry(run, group, ancestry); !loaded)
            return loaded;
        CRowSources<CDataRows> sources(run, rows, ancestry.children, nullptr, true);
        if (CCalcStatus summed = SumEditedGroup(group, row, ancestry, sources); !summed)
            return summed;
        const CCalcStatus done = RecalcAncestors(run, group, receiver, ancestry, &sources);
        if (!done)
            static_cast<void>(sources.SaveDeferred()); // the group's row, when stopped before its ancestors'
        return done;
    });
}

CCalcStatus RecalcAfterEdit(CRecalcRun& run, const CProductRecord& group, CTotalForecastRecord& row)
{
    return InSaveBatch([&] {
        const CTotalRows rows(run.forecast());
        CProductAncestry ancestry;
        if (CCalcStatus loaded = LoadAncestry(run, group, ancestry); !loaded)
            return loaded;
        CRowSources<CTotalRows> sources(run, rows, ancestry.children, nullptr, true);
        if (CCalcStatus summed = SumEditedGroup(group, row, ancestry, sources); !summed)
            return summed;
        const CCalcStatus done = WalkAncestorRows(run, ancestry, rows, nullptr, &sources);
        if (!done)
            static_cast<void>(sources.SaveDeferred());
        return done;
    });
}
