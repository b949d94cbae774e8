#include "RecalcRunner.h"

#include "AppMessage.h"
#include "CalcTexts.h"
#include "ModalHook.h"
#include "RecalcStatusDlg.h"
#include "Settings.h"
#include "UiThread.h"
#include "WaitCursor.h"
#include "tables/ReceiverMap.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

void ShowErrors(const RecalcOutcome& outcome, QWidget* parent)
{
    for (const QString& text : outcome.errors)
        AppMessageBox(text, MB_ICONHAND, parent);
}

// Waits for the worker in an event loop, so that what it asks of this thread (a message box) is
// served. While the application quits, event loops end at once: then the events are polled.
void WaitForWorker(QThread* worker)
{
    if (!worker->isFinished()) {
        QEventLoop loop;
        QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
        if (!worker->isFinished())
            loop.exec();
    }
    while (!worker->wait(QDeadlineTimer(20)))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

bool SaveCellEdit(CForecastDataRecord& rec, int groupId, CForecastRowFields* groupRow, bool* recalculated)
{
    const bool recalc = Settings().EnableAutoRecalc;
    CWaitCursor wait;
    const RecalcOutcome outcome = SaveEditedRow(rec, groupId, recalc, groupRow);
    ShowErrors(outcome, nullptr);
    *recalculated = recalc && outcome.result == RECALC_DONE;
    return outcome.errors.isEmpty() && !outcome.cancelled;
}

NodeRecalcResult RecalcNode(int forecast, int receiverId, int groupId, QWidget* parent, CForecastRowFields* groupRow)
{
    CWaitCursor wait;
    CRecalcStatusDlg dlg(parent);
    dlg.show();
    RecalcProgressHolder& holder = GetRecalcProgressHolder();
    CRecalcProgressScope scope(holder, &dlg);
    bool receiverGroup = false;
    const RecalcOutcome outcome = RecalcGroupNode(forecast, receiverId, groupId, holder, groupRow, &receiverGroup);
    dlg.FlushState();
    ShowErrors(outcome, &dlg);
    if (!outcome.errors.isEmpty() || outcome.result != RECALC_DONE)
        return NodeRecalcResult::Failed;
    return receiverGroup ? NodeRecalcResult::ReloadList : NodeRecalcResult::ShowGroupRows;
}

int RunRecalcWorker(RecalcCommand command, int forecast, int receiverId, QWidget* parent)
{
    if (command == RecalcCommand::GroupRows && receiverId >= 1 && IsForecastReceiverGroup(receiverId, forecast)
        && AppMessageBox(CalcTexts::kGroupRecalcQuestion, MB_YESNO | MB_ICONQUESTION, parent) != IDYES)
        return RECALC_NOTHING;

    CRecalcStatusDlg dlg(parent);
    const RecalcThreadParams params{&dlg, &dlg, forecast, receiverId};
    std::atomic<bool> stop{false};
    RecalcOutcome outcome;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        SetThreadStopFlag(&stop);
        outcome = command == RecalcCommand::WholeForecast ? RecalcForecastThread(params) : RecalcGroupsThread(params);
        SetThreadStopFlag(nullptr);
    }));
    bool ended = false;
    QObject::connect(worker.get(), &QThread::finished, &dlg, [&] {
        ended = true;
        ShowErrors(outcome, dlg.isVisible() ? static_cast<QWidget*>(&dlg) : parent);
        if (dlg.isVisible())
            dlg.EndDialog(outcome.result);
    });
    // The work starts once the window is up.
    QTimer::singleShot(0, &dlg, [&] { worker->start(QThread::LowPriority); });
    ExecModal(dlg);
    if (worker->isRunning()) {
        // The window was closed early, or the application is quitting.
        stop = true;
        worker->requestInterruption();
        WaitForWorker(worker.get());
    }
    // What the worker's end queued for the window, when no event loop ran it.
    QCoreApplication::sendPostedEvents(&dlg, QEvent::MetaCall);
    return worker->isFinished() ? outcome.result : RECALC_NOTHING;
}
