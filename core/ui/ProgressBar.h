// An indeterminate progress bar in a pane of the main window's status bar. The panes are the
// status bar's labels named "pane<N>".
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QProgressBar>
#include <QRect>

#include <functional>

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
    // The pane as a widget: while the pane is being destroyed (its children go with it) it is no
    // label any more, and PaneLabel() answers none.
    QPointer<QWidget> m_paneWidget;
    QLabel* PaneLabel() const;
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

// The status-bar text while the user-interface thread waits for another writer of the database,
// and the caption of the button beside it that ends the wait.
extern const QString kLockWaitText;
extern const QString kStopWaitCaption;
// Installs the database's lock-wait hook: the text in the main window's status bar (while that
// window is not shown, in the start-up window) with the button that ends it; the windows repaint
// meanwhile and take of the user's input only Escape and that button, which end the wait, and a
// request to close the program (RequestAppClose).
void InstallLockWaitStatus();
// The window that shows the wait while the main window is not shown (the splash window); none to
// stop. With stopEndsProgram, Escape or the button there ends the program as a close request does.
void SetLockWaitWindow(QWidget* window, bool stopEndsProgram = false);

// Requests to close the program: the close box of the main window or the start-up window while the
// program waits for a lock, or the end of the session. A wait ends at once and start-up goes no
// further; the handler the application installs then ends the program (told whether a wait is
// shown: then the windows are in use and must not go yet). Installing a handler starts afresh.
void SetAppCloseHandler(std::function<void(bool duringWait)> handler);
void RequestAppClose();
bool AppCloseRequested();
