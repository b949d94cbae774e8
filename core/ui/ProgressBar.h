// An indeterminate progress bar in a pane of the main window's status bar. The panes are the
// status bar's labels named "pane<N>".
#pragma once

#include <QEventLoop>
#include <QPointer>
#include <QProgressBar>
#include <QRect>

#include <functional>

class QLabel;
class QPushButton;
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

// A wait of the user-interface thread that the user may end, where the user looks: its text with the
// button "Прервать" beside it in a status bar (with a bar of the work done, when told), or on a panel
// at the foot of a window. While it is shown the windows repaint, and of the user's input only Escape
// and that button get through, which end the wait, and requests to close: that of the window the
// wait serves ends it too, that of the main window or the start-up window asks to close the program
// (RequestAppClose), which ends every wait.
class CStopWait : public QObject {
public:
    // The names of its widgets begin with `name`: "<name>Stop" (the button), "<name>Progress",
    // "<name>Panel" and "<name>Text".
    explicit CStopWait(const QString& name);
    ~CStopWait() override;

    // In the status bar (none: nowhere, the input held all the same); the close box of `window` ends
    // the wait.
    void ShowIn(QStatusBar* bar, const QString& text, QWidget* window = nullptr);
    // On a panel above the foot of the window.
    void ShowOn(QWidget* window, const QString& text);
    void SetText(const QString& text);
    // The work done of all, on a bar beside the text in the status bar.
    void SetProgress(int done, int of);
    // Serves the windows' events once, timers excepted (what they would start could be database
    // work); false once the wait is to end.
    bool Step();
    void Hide();
    bool shown() const { return m_shown; }
    // The close box of the window the wait serves ended it: the window is to go once the work has.
    bool closeAsked() const { return m_closeAsked; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show(const QString& text, QWidget* window);

    QString m_name;
    QString m_text;
    bool m_shown = false;
    bool m_stop = false;
    bool m_closeAsked = false;
    QPointer<QWidget> m_window;
    QPointer<QStatusBar> m_bar;
    QPointer<QPushButton> m_button;
    QPointer<QProgressBar> m_progress;
    QPointer<QWidget> m_panel;
};

// Installs the database's lock-wait hook: the text in the main window's status bar (while that
// window is not shown, in the start-up window) with the button that ends it; the windows repaint
// meanwhile and take of the user's input only Escape and that button, which end the wait, and a
// request to close the program (RequestAppClose).
void InstallLockWaitStatus();
// The window that shows the wait while the main window is not shown (the splash window); none to
// stop. With stopEndsProgram, Escape or the button there ends the program as a close request does.
void SetLockWaitWindow(QWidget* window, bool stopEndsProgram = false);

// Requests to close the program: the close box of the main window or the start-up window while the
// program waits (for a lock, or for other work shown as a CStopWait), or the end of the session. A wait
// ends at once and start-up goes no further; the handler the application installs then ends the
// program (told whether a wait is shown: then the windows are in use and must not go yet). Installing
// a handler starts afresh.
void SetAppCloseHandler(std::function<void(bool duringWait)> handler);
void RequestAppClose();
bool AppCloseRequested();
