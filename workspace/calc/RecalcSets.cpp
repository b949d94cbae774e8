#include "RecalcSets.h"

#include "RecalcWalks.h"
#include "tables/TableCommon.h"

#include <unordered_map>
#include <unordered_set>

namespace {

using Figures = std::array<Money, 6>; // sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext

// A figure read from NULL counts as 0 when it is added.
bool AddFigures(Figures& to, const Figures& from)
{
    for (std::size_t i = 0; i < to.size(); ++i) {
        to[i] += Money::fromRaw(from[i].raw());
        if (!to[i].isValid())
            return false;
    }
    return true;
}

CMemberSums SumsOf(const Figures& f)
{
    return {f[0], f[1], f[2]};
}

// The products of the forecast's tree below the top: the groups whose rows are derived (walk order
// is their list backwards, deepest first), every product (a receiver group's rows), and of each
// product the group it is a member of with the factor into that group's unit.
struct CProductPlan {
    std::vector<const CProductRecord*> groups;
    std::vector<const CProductRecord*> all;
    std::unordered_map<int, int> slot;         // product id -> index in all
    std::vector<int> groupIndex;               // by index in all: index in groups, or -1
    std::vector<int> parentGroup;              // by index in all: index in groups of the group it is a member of
    std::vector<std::optional<double>> factor; // by index in all: into the parent group's unit

    // Fails as the first group of the walk that would fail: a member without a price unit or without a
    // conversion into the group's unit.
    CCalcStatus Make(const CProductTree& tree, const CProductRecord& top, CUnitPairCache& koef)
    {
        groups = CollectGroupProducts(tree, top, true);
        all = CollectGroupProducts(tree, top, false);
        groupIndex.assign(all.size(), -1);
        parentGroup.assign(all.size(), -1);
        factor.assign(all.size(), std::nullopt);
        for (std::size_t i = 0; i < all.size(); ++i)
            slot.emplace(all[i]->id, int(i));
        for (std::size_t g = 0; g < groups.size(); ++g)
            groupIndex[std::size_t(slot.at(groups[g]->id))] = int(g);
        for (auto it = groups.rbegin(); it != groups.rend(); ++it) {
            const CProductRecord& group = **it;
            for (const CProductRecord* member : tree.Children(group.id)) {
                const auto found = MemberFactor(group, *member, koef);
                if (!found)
                    return found.failure();
                const auto s = slot.find(member->id);
                if (s == slot.end())
                    continue;
                parentGroup[std::size_t(s->second)] = groupIndex[std::size_t(slot.at(group.id))];
                factor[std::size_t(s->second)] = *found;
            }
        }
        return {};
    }
};

// The receivers in the order the walks take them: each child of the root (a receiver group's subtree
// deepest first, the group last), then the root. Ordinary receivers have their group rows derived,
// receiver groups all their rows.
struct CReceiverSlot {
    CReceiverRecord receiver;
    bool group = false;
    int index = 0;   // among the ordinary receivers, or among the groups
    int target = -1; // the group (index) that sums this receiver's rows, when it is recalculated
};

class CWholeForecast {
public:
    CWholeForecast(CRecalcRun& run, const CProductTree& tree)
        : m_run(run)
        , m_tree(tree)
    {
    }

    CCalcStatus Run(const CProductRecord& top, const CReceiverRecord& root, const CReceiverList& children)
    {
        if (CCalcStatus made = m_products.Make(m_tree, top, m_run.koef()); !made)
            return made;
        if (CCalcStatus listed = ListReceivers(root, children); !listed)
            return listed;
        // Read, computed and written while no other run (an edit's recalculation included) changes
        // the forecast's derived rows.
        return InSaveBatch([&] {
            if (!LockDerivedRows(DerivedRows::WholeForecast, m_run.forecast()))
                return CCalcStatus::DbFailed();
            if (CCalcStatus read = Read(); !read)
                return read;
            if (CCalcStatus computed = Compute(); !computed)
                return computed;
            return Write();
        });
    }

private:
    // An ordinary receiver's row of a group: as stored, then as derived; the members' totals so far.
    struct CGroupRow {
        bool stored = false;
        bool overflow = false;
        Figures figures;
        Money totals[3];
    };

    std::size_t GroupCount() const { return m_products.groups.size(); }
    std::size_t ProductCount() const { return m_products.all.size(); }
    CGroupRow& GroupRow(int ordinary, int group)
    {
        return m_groupRows[std::size_t(ordinary) * GroupCount() + std::size_t(group)];
    }
    std::size_t CategoryCell(int group, int product) const
    {
        return std::size_t(group) * ProductCount() + std::size_t(product);
    }

    CCalcStatus ListReceivers(const CReceiverRecord& root, const CReceiverList& children)
    {
        auto add = [&](const CReceiverRecord& r) {
            if (m_slotOf.count(r.id))
                return;
            CReceiverSlot slot{r, IsSubordinateGroup(r), 0, -1};
            slot.index = slot.group ? m_groups++ : m_ordinary++;
            m_slotOf.emplace(r.id, int(m_slots.size()));
            m_slots.push_back(std::move(slot));
        };
        for (const CReceiverRecord& child : children) {
            if (child.id == root.id)
                continue;
            if (!IsSubordinateGroup(child)) {
                add(child);
                continue;
            }
            const auto subtree = CollectCategoryReceivers(child, m_run.forecast());
            if (!subtree)
                return subtree.failure();
            for (auto it = subtree->rbegin(); it != subtree->rend(); ++it)
                add(*it);
        }
        add(root);
        // Which recalculated group sums each receiver's rows, the receivers outside the walk included.
        std::vector<int> groupIds;
        std::unordered_map<int, int> groupIndex;
        for (const CReceiverSlot& s : m_slots)
            if (s.group) {
                groupIds.push_back(s.receiver.id);
                groupIndex.emplace(s.receiver.id, s.index);
            }
        const auto members = LoadReceiversOfCategories(groupIds);
        if (!members)
            return CCalcStatus::DbFailed();
        for (const auto& [id, category] : *members)
            m_targetOf.emplace(id, groupIndex.at(category));
        for (CReceiverSlot& s : m_slots)
            if (const auto t = m_targetOf.find(s.receiver.id); t != m_targetOf.end())
                s.target = t->second;
        m_groupRows.resize(std::size_t(m_ordinary) * GroupCount());
        m_categories.resize(std::size_t(m_groups) * ProductCount());
        m_groupStored.assign(std::size_t(m_groups) * ProductCount(), false);
        return {};
    }

    // One pass over the forecast's rows: the stored group rows, the members' totals, which receiver
    // group rows exist, and the category sums of the rows that the recalculation leaves as they are.
    CCalcStatus Read()
    {
        std::size_t seen = 0;
        const bool read = ReadForecastYearFigures(m_run.forecast(), [&](const CYearFiguresRow& row) {
            // A stop is taken while the rows come too: the read is a good part of the run.
            if (++seen % 4096 == 0)
                m_run.CheckCancel();
            const auto p = m_products.slot.find(row.product);
            if (p == m_products.slot.end())
                return;
            const int product = p->second;
            const int group = m_products.groupIndex[std::size_t(product)];
            bool derived = false;
            if (const auto s = m_slotOf.find(row.receiver); s != m_slotOf.end()) {
                const CReceiverSlot& slot = m_slots[std::size_t(s->second)];
                if (slot.group) {
                    m_groupStored[CategoryCell(slot.index, product)] = true;
                    derived = true;
                } else if (group >= 0) {
                    CGroupRow& r = GroupRow(slot.index, group);
                    r.stored = true;
                    r.figures = row.figures;
                    derived = true;
                } else if (const int parent = m_products.parentGroup[std::size_t(product)]; parent >= 0) {
                    CGroupRow& r = GroupRow(slot.index, parent);
                    if (!AddConvertedSums(r.totals, SumsOf(row.figures), m_products.factor[std::size_t(product)]))
                        r.overflow = true;
                }
            }
            if (derived)
                return;
            if (const auto t = m_targetOf.find(row.receiver); t != m_targetOf.end())
                AddCategory(t->second, product, row.figures);
        });
        return read ? CCalcStatus() : CCalcStatus::DbFailed();
    }

    void AddCategory(int group, int product, const Figures& figures)
    {
        const std::size_t cell = CategoryCell(group, product);
        if (!AddFigures(m_categories[cell], figures))
            m_categoryOverflow.insert(cell);
    }

    // Every receiver's derived rows in the walks' order, so that the first failure is the walks' first.
    CCalcStatus Compute()
    {
        for (const CReceiverSlot& slot : m_slots) {
            m_run.CheckCancel();
            if (CCalcStatus done = slot.group ? ComputeCategoryRows(slot) : ComputeGroupRows(slot); !done)
                return done;
        }
        return {};
    }

    CCalcStatus ComputeGroupRows(const CReceiverSlot& slot)
    {
        const auto& groups = m_products.groups;
        for (std::size_t g = groups.size(); g-- > 0;) {
            const CProductRecord& group = *groups[g];
            CGroupRow& row = GroupRow(slot.index, int(g));
            if (row.overflow)
                return SumOverflow(group);
            CGroupAccumulator acc(group);
            Money totals[3] = {row.totals[0], row.totals[1], row.totals[2]};
            for (const CProductRecord* member : m_tree.Children(group.id)) {
                const int m = m_products.slot.at(member->id);
                const int memberGroup = m_products.groupIndex[std::size_t(m)];
                if (memberGroup >= 0
                    && !AddConvertedSums(totals, SumsOf(GroupRow(slot.index, memberGroup).figures),
                                         m_products.factor[std::size_t(m)]))
                    return SumOverflow(group);
            }
            acc.last = totals[0];
            acc.curr = totals[1];
            acc.next = totals[2];
            CForecastRowFields fields;
            for (std::size_t i = 0; i < 6; ++i)
                fields.*kYearFigures[i] = row.stored ? row.figures[i] : Money();
            if (CCalcStatus written = WriteGroupSums(acc, fields); !written)
                return written;
            for (std::size_t i = 0; i < 6; ++i)
                row.figures[i] = fields.*kYearFigures[i];
            if (slot.target >= 0)
                AddCategory(slot.target, m_products.slot.at(group.id), row.figures);
        }
        return {};
    }

    CCalcStatus ComputeCategoryRows(const CReceiverSlot& slot)
    {
        for (std::size_t p = 0; p < ProductCount(); ++p) {
            const std::size_t cell = CategoryCell(slot.index, int(p));
            if (m_categoryOverflow.count(cell))
                return CCalcStatus::Failed(MoneyOverflowError().databaseText());
            if (slot.target >= 0)
                AddCategory(slot.target, int(p), m_categories[cell]);
        }
        return {};
    }

    // The rows in the walks' order, each receiver's products deepest first, with the walks' progress.
    CCalcStatus Write()
    {
        IRecalcProgress* progress = m_run.progress();
        if (progress)
            progress->BeginOuter(int(m_slots.size()));
        CYearFiguresWriter writer(m_run.forecast());
        CYearFiguresRow out;
        for (const CReceiverSlot& slot : m_slots) {
            m_run.CheckCancel();
            const auto& list = slot.group ? m_products.all : m_products.groups;
            if (progress) {
                progress->StepOuter(&slot.receiver);
                progress->BeginInner(int(list.size()));
            }
            out.receiver = slot.receiver.id;
            for (std::size_t i = list.size(); i-- > 0;) {
                if (progress)
                    progress->StepInner(list[i]);
                out.product = list[i]->id;
                bool stored;
                if (slot.group) {
                    const std::size_t cell = CategoryCell(slot.index, int(i));
                    out.figures = m_categories[cell];
                    stored = m_groupStored[cell];
                } else {
                    const CGroupRow& row = GroupRow(slot.index, int(i));
                    out.figures = row.figures;
                    stored = row.stored;
                }
                if (!writer.Write(out, stored))
                    return CCalcStatus::DbFailed();
            }
        }
        return writer.Finish() ? CCalcStatus() : CCalcStatus::DbFailed();
    }

    CRecalcRun& m_run;
    const CProductTree& m_tree;
    CProductPlan m_products;
    std::vector<CReceiverSlot> m_slots;
    std::unordered_map<int, int> m_slotOf;   // receiver id -> index in m_slots
    std::unordered_map<int, int> m_targetOf; // receiver id -> the group that sums its rows
    int m_ordinary = 0;
    int m_groups = 0;
    std::vector<CGroupRow> m_groupRows; // ordinary receiver x group
    std::vector<Figures> m_categories;  // receiver group x product
    std::vector<bool> m_groupStored;    // receiver group x product
    std::unordered_set<std::size_t> m_categoryOverflow;
};

} // namespace

CCalcStatus RecalcWholeForecast(CRecalcRun& run, const CProductRecord& top, const CReceiverRecord& root,
                                const CReceiverList& children)
{
    const auto tree = run.products();
    if (!tree)
        return tree.failure();
    return CWholeForecast(run, **tree).Run(top, root, children);
}
