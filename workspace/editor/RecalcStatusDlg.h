// The status window of a recalculation (dialog 177): one bar for the receiver and product steps and
// the names of the receiver and product being recomputed. It takes the progress operations from any
// thread; a worker's reach the window at most 20 times a second, the last state always.
#pragma once

#include "RecalcProgress.h"

#include <QDialog>

#include <chrono>
#include <mutex>

class QLabel;
class QProgressBar;

class CRecalcStatusDlg : public QDialog, public IRecalcProgress, public IRecalcStatusText {
    Q_OBJECT
public:
    explicit CRecalcStatusDlg(QWidget* parent = nullptr);
    ~CRecalcStatusDlg() override;

    void BeginOuter(int count) override;
    void StepOuter(const CReceiverRecord* receiver) override;
    void BeginInner(int count) override;
    void StepInner(const CProductRecord* product) override;
    void NoteChildCount(int count) override;
    void ShowInner(const CProductRecord* product) override;

    virtual void SetProductText(const QString& text) override;
    virtual void SetReceiverText(const QString& text) override;

    // Shows the last state now (on the window's thread).
    void FlushState();
    // Shows the last state and ends the dialog with the result; from the window's thread.
    void EndDialog(int result);

    CRecalcProgressState state() const;
    // How often the controls took a new state.
    int shownCount() const { return m_shownCount; }

private:
    template <class Change>
    void Update(Change change);

    mutable std::mutex m_mutex;
    CRecalcProgressState m_state;
    bool m_flushPosted = false;
    std::chrono::steady_clock::time_point m_lastShown{};
    int m_shownCount = 0;
    QProgressBar* m_bar = nullptr;
    QLabel* m_receiver = nullptr;
    QLabel* m_product = nullptr;
};
