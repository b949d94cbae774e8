// Builders of forms 2 (average purchase prices) and 4 (share of product volumes): one product's
// figures per receiver, walked down the receiver hierarchy from the chosen groups, with a total row.
// Rows go into reportform2 / reportform4 with `seq` in the order the walk begins them: the total row
// first, each group before its members.
#pragma once

#include "Money.h"

#include <vector>

class CReportFrame;

inline const QString kHierarchyTotalName = QStringLiteral("ВСЕГО\nв том числе");

// The chosen receivers widened: a chosen group (other than the own receiver) brings its direct
// children, any other chosen receiver (and the own one) its parent when that is placed (id above 0).
// First-seen order, no id twice. A chosen id that the forecast does not hold adds nothing else.
void ExpandReceiverSelection(int ownReceiverId, int forecastId, const std::vector<int>& chosen,
                             std::vector<int>& expanded);

// Sums and quantities of the report year (Last), the current year (Curr) and the forecast year (Next).
struct HierarchyFigures {
    Money sumLast, sumCurr, sumNext;
    Money valueLast, valueCurr, valueNext;
    HierarchyFigures& operator+=(const HierarchyFigures& other);
};

// summary: the consolidated forecast instead of the chosen receivers. -1 when nothing was built
// (the product cannot be read, or a read or write failed: the run's rows are rolled back).
int BuildReportForm2(int forecastId, const std::vector<int>& receiverIds, int productId, bool summary);
// One level of the walk: receiverId -1 is the consolidated forecast. out: what the level adds up to.
void BuildReportForm2Level(CReportFrame& frame, int forecastId, int receiverId, const std::vector<int>& productIds,
                           HierarchyFigures& out, const std::vector<int>& selection, int depth, bool productIsGroup);

// The totals of the run's total row come back in totals.
int BuildReportForm4(int forecastId, const std::vector<int>& receiverIds, int productId, HierarchyFigures& totals,
                     bool summary);
void BuildReportForm4Level(CReportFrame& frame, int forecastId, int receiverId, int productId, HierarchyFigures& out,
                           const std::vector<int>& selection, int depth);
