#include "HierarchyForms.h"

#include "FormRows.h"
#include "ProductForms.h"
#include "ReportDatabase.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"
#include "tables/TotalForecasts.h"

#include <algorithm>

namespace {

constexpr int kNameWidth = 255;

QString LevelName(int depth, const QString& name)
{
    return (QStringLiteral("----").repeated(depth) + name).left(kNameWidth);
}

void AppendOnce(std::vector<int>& list, int id)
{
    if (std::find(list.begin(), list.end(), id) == list.end())
        list.push_back(id);
}

// The level's figures: the consolidated row (receiverId -1) or the receiver's own data row. A read
// that fails fails the run; a missing row is zeros.
HierarchyFigures ReadFigures(int forecastId, int receiverId, const std::vector<int>& productIds)
{
    const auto take = [&](const auto& rec) {
        HierarchyFigures f;
        if (!rec)
            return f;
        f.sumLast = rec->sumLast;
        f.sumCurr = rec->sumCurr;
        f.sumNext = rec->sumNext;
        f.valueLast = rec->valueLast;
        f.valueCurr = rec->valueCurr;
        f.valueNext = rec->valueNext;
        return f;
    };
    if (receiverId == -1)
        return take(CheckedRead([&] { return GetTotalForecastSums(forecastId, productIds); }));
    return take(CheckedRead([&] { return GetForecastDataTotals(forecastId, receiverId, productIds); }));
}

// The receiver's children in position order; a read that fails fails the run.
CReceiverList Children(int parentId, int forecastId, const SqlFilter& filter = {})
{
    CErrorCollector collector;
    auto children = LoadReceiverChildren(parentId, forecastId, filter);
    const auto errors = collector.take();
    if (!children)
        throw CReportFailure(errors.empty() ? DbError{0, ReportFailureTexts::kUnknown, QString()} : errors.front());
    return std::move(*children);
}

// The receiver's children that the selection holds.
CReceiverList SelectedChildren(int parentId, int forecastId, const std::vector<int>& selection)
{
    return Children(parentId, forecastId,
                    SqlFilter(Dialect().IdSetCondition(QStringLiteral("r1.id")), {IdSetArgument(selection)}));
}

Money Average(Money sum, Money value)
{
    return value > Money::fromInt(0) ? MoneyQuotient(sum, value) : Money::fromInt(0);
}

void WriteForm2Row(CReportFrame& frame, int seq, const QString& name, const HierarchyFigures& f, bool productIsGroup)
{
    CReportTable& t = frame.Table("reportform2",
                                  {"seq", "name", "type", "sumLast", "sumCurr", "sumNext", "valueLast", "valueCurr",
                                   "valueNext", "avgLast", "avgCurr", "avgNext"});
    const Money zero = Money::fromInt(0);
    t << seq << name << 1 << f.sumLast << f.sumCurr << f.sumNext;
    if (productIsGroup)
        t << zero << zero << zero << zero << zero << zero;
    else
        t << f.valueLast << f.valueCurr << f.valueNext << Average(f.sumLast, f.valueLast)
          << Average(f.sumCurr, f.valueCurr) << Average(f.sumNext, f.valueNext);
    t.Write();
}

void WriteForm4Row(CReportFrame& frame, int seq, const QString& name, const HierarchyFigures& f)
{
    CReportTable& t = frame.Table("reportform4", {"seq", "name", "sumLast", "sumCurr", "sumNext"});
    t << seq << name << f.sumLast << f.sumCurr << f.sumNext;
    t.Write();
}

// The groups of the expanded selection that the forecast holds, each with its walk.
template <class Walk>
void WalkSelectedGroups(int forecastId, const std::vector<int>& expanded, Walk walk)
{
    for (int id : expanded) {
        const auto rec = GetForecastReceiver(id, forecastId);
        if (rec && rec->IsGroup())
            walk(id);
    }
}

} // namespace

HierarchyFigures& HierarchyFigures::operator+=(const HierarchyFigures& other)
{
    sumLast += other.sumLast;
    sumCurr += other.sumCurr;
    sumNext += other.sumNext;
    valueLast += other.valueLast;
    valueCurr += other.valueCurr;
    valueNext += other.valueNext;
    return *this;
}

void ExpandReceiverSelection(int ownReceiverId, int forecastId, const std::vector<int>& chosen,
                             std::vector<int>& expanded)
{
    expanded.clear();
    for (int id : chosen) {
        AppendOnce(expanded, id);
        const auto rec = GetForecastReceiver(id, forecastId);
        if (!rec)
            continue;
        if (rec->IsGroup() && id != ownReceiverId) {
            for (const CReceiverRecord& child : Children(id, forecastId))
                AppendOnce(expanded, child.id);
        } else if (rec->category > 0) {
            AppendOnce(expanded, rec->category);
        }
    }
}

void BuildReportForm2Level(CReportFrame& frame, int forecastId, int receiverId, const std::vector<int>& productIds,
                           HierarchyFigures& out, const std::vector<int>& selection, int depth, bool productIsGroup)
{
    const HierarchyFigures own = ReadFigures(forecastId, receiverId, productIds);
    out = own;
    const auto rec = receiverId == -1 ? std::nullopt : GetForecastReceiver(receiverId, forecastId);
    const int seq = frame.NextSeq();
    if (rec && rec->IsGroup()) {
        // Only a root group adds its members' figures; its own row shows its own figures anyway.
        for (const CReceiverRecord& child : SelectedChildren(rec->id, forecastId, selection)) {
            if (child.IsGroup())
                continue;
            HierarchyFigures childFigures;
            BuildReportForm2Level(frame, forecastId, child.id, productIds, childFigures, selection, depth + 1,
                                  productIsGroup);
            if (rec->category == 0)
                out += childFigures;
        }
        WriteForm2Row(frame, seq, LevelName(depth, rec->name), own, productIsGroup);
        return;
    }
    WriteForm2Row(frame, seq, LevelName(depth, rec ? rec->name : QString()), out, productIsGroup);
}

int BuildReportForm2(int forecastId, const std::vector<int>& receiverIds, int productId, bool summary)
{
    const auto product = GetProduct(productId, forecastId);
    if (!product)
        return -1;
    const bool productIsGroup = product->IsGroup();
    const std::vector<int> productIds{productId};
    const int ownReceiverId = LoadImportedLeafReceivers(forecastId);
    return RunReportFrame([&](CReportFrame& frame) {
        const int totalSeq = frame.NextSeq();
        HierarchyFigures total;
        std::vector<int> expanded;
        if (summary) {
            HierarchyFigures level;
            BuildReportForm2Level(frame, forecastId, -1, productIds, level, expanded, 0, productIsGroup);
            total += level;
        } else {
            ExpandReceiverSelection(ownReceiverId, forecastId, receiverIds, expanded);
            WalkSelectedGroups(forecastId, expanded, [&](int id) {
                HierarchyFigures level;
                BuildReportForm2Level(frame, forecastId, id, productIds, level, expanded, 0, productIsGroup);
                total += level;
            });
        }
        WriteForm2Row(frame, totalSeq, kHierarchyTotalName, total, productIsGroup);
    });
}

void BuildReportForm4Level(CReportFrame& frame, int forecastId, int receiverId, int productId, HierarchyFigures& out,
                           const std::vector<int>& selection, int depth)
{
    const HierarchyFigures own = ReadFigures(forecastId, receiverId, {productId});
    out = own;
    const auto rec = receiverId == -1 ? std::nullopt : GetForecastReceiver(receiverId, forecastId);
    const int seq = frame.NextSeq();
    if (!rec) {
        WriteForm4Row(frame, seq, LevelName(depth, QString()), out);
        return;
    }
    // Every receiver's members are walked; a group below the top keeps its own figures only.
    const bool adds = !rec->IsGroup() || rec->category == 0;
    for (const CReceiverRecord& child : SelectedChildren(rec->id, forecastId, selection)) {
        if (child.IsGroup())
            continue;
        HierarchyFigures childFigures;
        BuildReportForm4Level(frame, forecastId, child.id, productId, childFigures, selection, depth + 1);
        if (adds)
            out += childFigures;
    }
    const bool topLevel = rec->category == 0 || rec->category == -1;
    WriteForm4Row(frame, seq, LevelName(depth, rec->name), topLevel ? own : out);
}

int BuildReportForm4(int forecastId, const std::vector<int>& receiverIds, int productId, HierarchyFigures& totals,
                     bool summary)
{
    totals = HierarchyFigures();
    if (!GetProduct(productId, forecastId))
        return -1;
    const int ownReceiverId = LoadImportedLeafReceivers(forecastId);
    HierarchyFigures total;
    const int reportId = RunReportFrame([&](CReportFrame& frame) {
        const int totalSeq = frame.NextSeq();
        std::vector<int> expanded;
        if (summary) {
            BuildReportForm4Level(frame, forecastId, -1, productId, total, expanded, 0);
        } else {
            ExpandReceiverSelection(ownReceiverId, forecastId, receiverIds, expanded);
            WalkSelectedGroups(forecastId, expanded, [&](int id) {
                HierarchyFigures level;
                BuildReportForm4Level(frame, forecastId, id, productId, level, expanded, 0);
                total += level;
            });
        }
        WriteForm4Row(frame, totalSeq, kHierarchyTotalName, total);
    });
    if (reportId > 0)
        totals = total;
    return reportId;
}
