// An indeterminate progress bar in a pane of the main window's status bar. The panes are the
// status bar's labels named "pane<N>".
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QProgressBar>
#include <QRect>

class QLabel;
class QStatusBar;
class QThread;

class CProgressBar : public QProgressBar {
    Q_OBJECT
public:
    CProgressBar(const QString& label, int size, int maxValue, bool smooth, int pane);
    ~CProgressBar() override;

    bool Create(const QString& label, int size, int maxValue, bool smooth, int pane);
    bool Resize();
    void SetPos(int position);
    void Clear();

    static QStatusBar* GetStatusBar();
    static QLabel* PaneOf(QStatusBar* bar, int pane);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_size = 100;
    int m_pane = 1;
    QString m_label;
    QString m_previousText;
    QRect m_last;
    QPointer<QLabel> m_paneLabel;
    bool m_created = false;
};

void ProgressCreate();
void ProgressStep();
void ProgressDestroy();
// The global bar, or none.
CProgressBar* ProgressBarInstance();

// Starts the worker below normal priority and waits for its end in an event loop of the calling
// (user-interface) thread that serves the events `flags` let through, stepping the status-bar progress
// once a second. When the loop ends early (the application quits), the worker is still waited for.
void RunWithProgress(QThread& worker, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

// The status-bar text while the user-interface thread waits for another writer of the database.
extern const QString kLockWaitText;
// Installs the database's lock-wait hook: the text in the main window's status bar, and the window
// repainted (no user input, no timers) while the wait lasts.
void InstallLockWaitStatus();
