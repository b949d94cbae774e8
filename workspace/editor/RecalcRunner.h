// What the forecast editor calls to recompute group rows. Every entry shows its own errors (stop icon)
// and changes nothing it cannot read; the rows it saved stay when it stops early.
//
//  - SaveCellEdit: each accepted cell edit, with the group rows it changes (AutoRecalc).
//  - RecalcNode: command 32822, on the user-interface thread behind a modeless status window.
//  - RunRecalcWorker: commands 32886 and 32815, on a worker thread behind the modal status window.
#pragma once

#include "RecalcCommands.h"

class QWidget;

// Saves the row as a cell edit changed it, and while EnableAutoRecalc is on the group's row and the rows
// that depend on it, as one: false after an error was shown, and then nothing of the edit is stored.
// recalculated tells whether groupRow holds the group's row as recomputed.
bool SaveCellEdit(CForecastDataRecord& rec, int groupId, CForecastRowFields* groupRow, bool* recalculated);

enum class NodeRecalcResult {
    Failed,        // an error was shown, or the group or receiver cannot be read
    ShowGroupRows, // show the group's special rows again (groupRow)
    ReloadList,    // the receiver is a receiver group: reload the list
};
// The group and the groups below it, for the receiver (with its members when it is a receiver group)
// or for the consolidated forecast.
NodeRecalcResult RecalcNode(int forecast, int receiverId, int groupId, QWidget* parent,
                            CForecastRowFields* groupRow = nullptr);

enum class RecalcCommand {
    WholeForecast, // 32886
    GroupRows,     // 32815: asks first when the receiver is a receiver group
};
// Starts the command's worker once the status window is up and returns after the worker has ended,
// with its RecalcResult (RECALC_NOTHING when the question was declined). Closing the window (Escape,
// close box) asks the worker to stop; the wait for it keeps the window's events going. The editor
// reloads its tree and grids afterwards.
int RunRecalcWorker(RecalcCommand command, int forecast, int receiverId, QWidget* parent);
