// The bodies of the recalculation commands, and the frame every recalculation runs in: errors travel
// back as values for the caller to show (RecalcRunner.h shows them).
#pragma once

#include "RecalcRun.h"

#include <QStringList>

#include <functional>

enum RecalcResult : int {
    RECALC_DONE = 0,
    RECALC_STOPPED = 1,      // cancelled, or ended by an error
    RECALC_NO_ROOT = 2,      // the forecast has no root receiver
    RECALC_CONSOLIDATED = 3, // the editor shows the consolidated forecast: nothing to do
    RECALC_NOTHING = 4,      // no top product, or the editor's receiver cannot be read
};

struct RecalcOutcome {
    int result = RECALC_DONE;
    bool cancelled = false;
    // What to show with the stop icon, in order: the database's reports, then the walk's message.
    QStringList errors;
};

// Runs the work in a run of the forecast whose progress goes to the holder. The work answers its
// RecalcResult or the failure that ended it; a cancel, a failure or an exception ends the work and
// the rows saved so far stay.
RecalcOutcome RunRecalc(int forecast, RecalcProgressHolder& holder,
                        const std::function<CCalcResult<int>(CRecalcRun&)>& work);

struct RecalcThreadParams {
    IRecalcProgress* progress = nullptr; // the status window's, or none
    IRecalcStatusText* status = nullptr;
    int forecast = -1;
    int receiverId = -1; // the editor's receiver when the command was given; 0 the consolidated forecast
};

// The whole forecast: every receiver below the root (receiver groups with their members, deepest
// first), then the root's own group rows.
RecalcOutcome RecalcForecastThread(const RecalcThreadParams& params,
                                   RecalcProgressHolder& holder = GetRecalcProgressHolder());
// The group rows of the editor's receiver (with its members when it is a receiver group), or of the
// consolidated forecast.
RecalcOutcome RecalcGroupsThread(const RecalcThreadParams& params,
                                 RecalcProgressHolder& holder = GetRecalcProgressHolder());

// After an edit of a member of the group: the group's row of the receiver (of the consolidated
// forecast for a receiver below 1) and the rows that depend on it; then the group's row is saved once
// more and handed back. Nothing happens when the group or the receiver cannot be read.
RecalcOutcome RecalcEditedGroup(int forecast, int receiverId, int groupId, CForecastRowFields* groupRow = nullptr);

// A receiver's row as the editor changed it, saved with the group rows that follow from it when recalc
// is set (as RecalcEditedGroup of the group of the edited product) in one transaction: when anything
// fails, a wait for another user's rows stopped or timed out included, nothing of it is stored.
RecalcOutcome SaveEditedRow(CForecastDataRecord& edited, int groupId, bool recalc,
                            CForecastRowFields* groupRow = nullptr);

// The group and the groups below it for the receiver (with its members when it is a receiver group),
// or for the consolidated forecast; the group's row is saved once more and handed back.
// receiverGroup tells whether the receiver is a receiver group.
RecalcOutcome RecalcGroupNode(int forecast, int receiverId, int groupId, RecalcProgressHolder& holder,
                              CForecastRowFields* groupRow = nullptr, bool* receiverGroup = nullptr);
