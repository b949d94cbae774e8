#include "RecalcWalks.h"

#include "CalcTexts.h"

#include <algorithm>
#include <deque>
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
    CRowSources(CRecalcRun& run, const Rows& rows, const CProductTree& tree, const CReceiverRecord* groupReceiver,
                const std::vector<const CProductRecord*>& products)
        : m_run(run)
        , m_rows(rows)
        , m_tree(tree)
        , m_groupReceiver(groupReceiver)
    {
        if (groupReceiver)
            m_category = ReadCategorySums(run.forecast(), groupReceiver->id, IdsOf(products));
        else
            m_members = rows.ReadSums(tree.ChildIds(products));
    }

    // Fills the product's row and saves it.
    void Recompute(const CProductRecord& p, typename Rows::Row& target)
    {
        if constexpr (std::is_same_v<typename Rows::Row, CForecastDataRecord>) {
            if (m_groupReceiver) {
                ApplyCategorySums(m_category, target);
                m_rows.Save(target, true);
                return;
            }
        }
        SumGroupRows(p, MembersOf(m_tree, p, m_members), m_run.koef(), target, m_run.progress());
        m_rows.Save(target, true);
        m_members[p.id] = CMemberSums::Of(target);
    }

private:
    CRecalcRun& m_run;
    const Rows& m_rows;
    const CProductTree& m_tree;
    const CReceiverRecord* m_groupReceiver;
    std::unordered_map<int, CCategorySums> m_category;
    std::unordered_map<int, CMemberSums> m_members;
};

// One receiver's rows (or the consolidated rows) of `product` and the products below it, deepest
// first: with a receiver group every product's, otherwise the groups'.
template <class Rows>
void WalkProductSubtree(CRecalcRun& run, const CProductRecord& product, typename Rows::Row& row, const Rows& rows,
                        const CReceiverRecord* groupReceiver)
{
    const CProductTree& tree = run.products();
    const auto list = CollectGroupProducts(tree, product, groupReceiver == nullptr);
    IRecalcProgress* progress = run.progress();
    if (progress)
        progress->BeginInner(int(list.size()));
    auto stored = rows.ReadRows(IdsOf(list));
    CRowSources<Rows> sources(run, rows, tree, groupReceiver, list);
    InSaveBatch([&] {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            run.CheckCancel();
            const CProductRecord& p = **it;
            if (progress)
                progress->StepInner(&p);
            sources.Recompute(p, p.id == product.id ? row : Fetch(stored, rows, p.id));
        }
    });
}

// The group's ancestor products, nearest first, and the children with a price row of them and of
// the group.
struct CProductAncestry {
    CProductList path;
    CProductTree children;
    std::vector<const CProductRecord*> pathPointers;
};

CProductAncestry LoadAncestry(CRecalcRun& run, const CProductRecord& group)
{
    CProductAncestry a;
    a.path = LoadProductPath(run.forecast(), group.parent);
    run.CheckDb();
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
        throw std::logic_error(CalcTexts::kProductsBroken.toStdString());
    a.children = CProductTree(std::move(*children));
    return a;
}

// The receiver's (or the consolidated) rows of the ancestor products, nearest first.
template <class Rows>
void WalkAncestorRows(CRecalcRun& run, const CProductAncestry& a, const Rows& rows,
                      const CReceiverRecord* groupReceiver)
{
    if (a.path.empty())
        return;
    auto stored = rows.ReadRows(IdsOf(a.pathPointers));
    CRowSources<Rows> sources(run, rows, a.children, groupReceiver, a.pathPointers);
    for (const CProductRecord& p : a.path)
        sources.Recompute(p, Fetch(stored, rows, p.id));
}

// The subordinate groups above the receiver, nearest first.
CReceiverList GroupsAbove(CRecalcRun& run, const CReceiverRecord& receiver)
{
    CReceiverList above;
    const auto chain = LoadReceiverAncestors(run.forecast(), receiver.category);
    run.CheckDb();
    if (!chain)
        throw CRecalcDbFailure();
    for (const CReceiverRecord& r : *chain) {
        if (r.id == receiver.id || !IsSubordinateGroup(r))
            break;
        above.push_back(r);
    }
    return above;
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

CReceiverList CollectCategoryReceivers(const CReceiverRecord& root, int forecast)
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
                throw std::logic_error(CalcTexts::kReceiversBroken.toStdString());
            for (CReceiverRecord& child : *children)
                if (seen.insert(child.id).second)
                    queue.push_back(std::move(child));
        }
        out.push_back(std::move(front));
    }
    return out;
}

void GetCategoryForecastSums(const CProductRecord& product, CForecastDataRecord& row,
                             const CReceiverRecord& groupReceiver)
{
    ApplyCategorySums(ReadCategorySums(row.prognoz, groupReceiver.id, {product.id}), row);
}

void RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                          const CReceiverRecord& receiver)
{
    WalkProductSubtree(run, product, row, CDataRows(run.forecast(), receiver.id),
                       IsSubordinateGroup(receiver) ? &receiver : nullptr);
}

void RecalcProductSubtree(CRecalcRun& run, const CProductRecord& product, CTotalForecastRecord& row)
{
    WalkProductSubtree(run, product, row, CTotalRows(run.forecast()), nullptr);
}

void RecalcReceiverSubtree(CRecalcRun& run, const CProductRecord& product, CForecastDataRecord& row,
                           const CReceiverRecord& receiver)
{
    const CReceiverList list = CollectCategoryReceivers(receiver, run.forecast());
    IRecalcProgress* progress = run.progress();
    if (progress)
        progress->BeginOuter(int(list.size()));
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        run.CheckCancel();
        if (progress)
            progress->StepOuter(&*it);
        if (it->id == receiver.id) {
            RecalcProductSubtree(run, product, row, receiver);
        } else {
            CForecastDataRecord own = run.DataRow(it->id, product.id);
            RecalcProductSubtree(run, product, own, *it);
        }
    }
}

void RecalcAfterEdit(CRecalcRun& run, const CProductRecord& group, CForecastDataRecord& row,
                     const CReceiverRecord& receiver)
{
    InSaveBatch([&] {
        if (IsSubordinateGroup(receiver))
            GetCategoryForecastSums(group, row, receiver);
        else
            SumGroupMembers(run.progress(), group, row, receiver.id, run.koef());
        CDataRows(run.forecast(), receiver.id).Save(row, true);
        RecalcAncestors(run, group, receiver);
    });
}

void RecalcAfterEdit(CRecalcRun& run, const CProductRecord& group, CTotalForecastRecord& row)
{
    InSaveBatch([&] {
        SumGroupMembers(run.progress(), group, row, run.koef());
        CTotalRows(run.forecast()).Save(row, true);
        RecalcAncestors(run, group);
    });
}

void RecalcAncestors(CRecalcRun& run, const CProductRecord& group, const CReceiverRecord& receiver)
{
    const int forecast = run.forecast();
    const CReceiverList above = GroupsAbove(run, receiver);
    const CProductAncestry ancestry = LoadAncestry(run, group);
    InSaveBatch([&] {
        WalkAncestorRows(run, ancestry, CDataRows(forecast, receiver.id),
                         IsSubordinateGroup(receiver) ? &receiver : nullptr);
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
        for (const CReceiverRecord& a : above) {
            const auto category = ReadCategorySums(forecast, a.id, products);
            const CDataRows rows(forecast, a.id);
            auto stored = rows.ReadRows(products);
            for (int id : products) {
                auto& target = Fetch(stored, rows, id);
                ApplyCategorySums(category, target);
                rows.Save(target, false);
            }
        }
    });
}

void RecalcAncestors(CRecalcRun& run, const CProductRecord& group)
{
    const CProductAncestry ancestry = LoadAncestry(run, group);
    InSaveBatch([&] { WalkAncestorRows(run, ancestry, CTotalRows(run.forecast()), nullptr); });
}
