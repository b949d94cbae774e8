#include "ProgressBar.h"

#include "AppMessage.h"
#include "ModalHook.h"
#include "db/DbConnection.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {
// The bar belongs to its status-bar pane: it goes with the main window.
QPointer<CProgressBar> g_bar;
bool g_created = false;
bool g_started = false;
std::atomic<bool> g_busy{false};
} // namespace

CProgressBar::CProgressBar(const QString& label, int size, int maxValue, bool smooth, int pane)
{
    setObjectName(QStringLiteral("id1"));
    Create(label, size, maxValue, smooth, pane);
}

CProgressBar::~CProgressBar()
{
    Clear();
}

QStatusBar* CProgressBar::GetStatusBar()
{
    QWidget* main = GetAppMainWindow();
    if (!main)
        return nullptr;
    if (auto* frame = qobject_cast<QMainWindow*>(main)) {
        if (auto* bar = frame->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly))
            return bar;
    }
    return main->findChild<QStatusBar*>(QStringLiteral("id59393"));
}

QLabel* CProgressBar::PaneOf(QStatusBar* bar, int pane)
{
    return bar ? bar->findChild<QLabel*>(QStringLiteral("pane%1").arg(pane)) : nullptr;
}

QLabel* CProgressBar::PaneLabel() const
{
    return qobject_cast<QLabel*>(m_paneWidget.data());
}

bool CProgressBar::Create(const QString& label, int size, int maxValue, bool smooth, int pane)
{
    QStatusBar* bar = GetStatusBar();
    QLabel* paneLabel = PaneOf(bar, pane);
    if (!paneLabel)
        return false;
    setParent(paneLabel);
    setTextVisible(false);
    setRange(0, qBound(0, maxValue, 0xFFFF));
    if (!smooth)
        setStyleSheet(QString());
    m_label = label;
    m_size = size;
    m_pane = pane;
    m_paneWidget = paneLabel;
    m_previousText = paneLabel->text();
    paneLabel->installEventFilter(this);
    m_created = true;
    show();
    Resize();
    return true;
}

bool CProgressBar::Resize()
{
    QLabel* paneLabel = PaneLabel();
    if (!m_created || !paneLabel)
        return false;
    if (isVisible()) {
        paneLabel->setText(m_label);
        paneLabel->repaint();
    }
    const QFontMetrics fm(paneLabel->font());
    QRect r = paneLabel->rect();
    if (!m_label.isEmpty())
        r.setLeft(r.left() + fm.horizontalAdvance(m_label) + 4 * fm.horizontalAdvance(u' '));
    int right = r.right() - (100 - m_size) * (r.right() - r.left()) / 100;
    r.setRight(qMax(right, r.left()));
    const int d = r.height() / 10;
    r.adjust(0, d, 0, -d);
    if (r != m_last) {
        setGeometry(r);
        m_last = r;
    }
    return true;
}

void CProgressBar::SetPos(int position)
{
    if (!m_created)
        return;
    show();
    if (QLabel* paneLabel = PaneLabel())
        paneLabel->setText(m_label);
    setValue(position);
}

void CProgressBar::Clear()
{
    if (!m_created)
        return;
    hide();
    if (QLabel* paneLabel = PaneLabel()) {
        paneLabel->setText(m_pane == 0 ? LoadStringRes(57345) : m_previousText);
        paneLabel->repaint();
    }
}

bool CProgressBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_paneWidget && event->type() == QEvent::Resize)
        Resize();
    return QProgressBar::eventFilter(watched, event);
}

void ProgressCreate()
{
    if (g_created)
        return;
    g_bar = new CProgressBar(QString(), 100, 100, false, 1);
    g_busy = false;
    g_created = true;
}

void ProgressStep()
{
    if (g_busy || !g_bar)
        return;
    g_busy = true;
    try {
        if (!g_started) {
            g_bar->SetPos(0);
            g_started = true;
        } else {
            const int pos = g_bar->value();
            g_bar->SetPos(pos < 100 ? pos + 1 : 0);
        }
    } catch (...) {
    }
    g_busy = false;
}

void ProgressDestroy()
{
    if (!g_created)
        return;
    g_busy = true;
    delete g_bar;
    g_bar = nullptr;
    g_created = false;
    // Stays busy, so that timer ticks do nothing until the next ProgressCreate.
}

CProgressBar* ProgressBarInstance()
{
    return g_bar;
}

void RunWithProgress(QThread& worker, QEventLoop::ProcessEventsFlags flags)
{
    ProgressCreate();
    QEventLoop loop;
    QTimer step;
    step.setInterval(1000);
    QObject::connect(&step, &QTimer::timeout, &loop, [] { ProgressStep(); });
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.start(QThread::LowPriority);
    step.start();
    if (!worker.isFinished())
        loop.exec(flags);
    worker.wait();
    ProgressDestroy();
}

const QString kLockWaitText = QStringLiteral("Ожидание: база данных занята другой программой...");
const QString kStopWaitCaption = QStringLiteral("Прервать");

namespace {

QPointer<QWidget> g_waitWindow;
bool g_stopEndsProgram = false;
bool g_closeRequested = false;
std::function<void(bool)> g_closeHandler;

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

// The wait for a database lock as the user sees it: its text and a button that ends it, where the
// user looks (the main window's status bar, at start-up the splash window). While it is shown, of
// the user's input only Escape, that button and a close request get through: no command can start
// other database work meanwhile.
class CLockWaitUi : public QObject {
public:
    // Answers whether to go on waiting.
    bool Step(bool waiting)
    {
        if (!waiting) {
            Hide();
            return true;
        }
        // The program is closing: a later wait ends before it shows.
        if (!m_shown && g_closeRequested)
            return false;
        if (!m_shown)
            Show();
        // No timers: what they would start could be database work.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::X11ExcludeTimers);
        // A start cannot go on without its database: ending the wait there ends the start, as the
        // window's close box does, instead of opening a window the database has not filled.
        if (m_stop && m_panel && g_stopEndsProgram && !g_closeRequested)
            RequestAppClose();
        return !m_stop && !g_closeRequested;
    }

    bool shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Shortcut)
            return true;
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (type == QEvent::Close && widget->isWindow()) {
            if (widget == GetAppMainWindow() || widget == g_waitWindow)
                RequestAppClose();
            event->ignore();
            return true;
        }
        if (!IsUserInput(type))
            return false;
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_stop = true;
            return true;
        }
        // Escape comes as a key press, not as another window's shortcut.
        if (type == QEvent::ShortcutOverride)
            event->accept();
        const bool toButton = m_button && widget == m_button
            && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove);
        return !toButton;
    }

private:
    void Show()
    {
        m_shown = true;
        m_stop = false;
        auto* button = new QPushButton(kStopWaitCaption);
        button->setObjectName(QStringLiteral("lockWaitStop"));
        button->setFocusPolicy(Qt::NoFocus);
        QObject::connect(button, &QPushButton::clicked, this, [this] { m_stop = true; });
        m_button = button;
        QWidget* main = GetAppMainWindow();
        QStatusBar* bar = CProgressBar::GetStatusBar();
        if (bar && (!g_waitWindow || (main && main->isVisible()))) {
            m_bar = bar;
            bar->showMessage(kLockWaitText);
            bar->addPermanentWidget(button);
            button->show();
        } else if (g_waitWindow) {
            // Above the version line at the window's foot.
            auto* panel = new QWidget(g_waitWindow);
            panel->setObjectName(QStringLiteral("lockWaitPanel"));
            panel->setAutoFillBackground(true);
            auto* layout = new QHBoxLayout(panel);
            layout->setContentsMargins(4, 2, 4, 2);
            auto* text = new QLabel(kLockWaitText, panel);
            text->setObjectName(QStringLiteral("lockWaitText"));
            layout->addWidget(text, 1);
            button->setParent(panel);
            layout->addWidget(button);
            const QSize size = panel->sizeHint();
            const QRect area = g_waitWindow->rect();
            panel->setGeometry(area.left(), qMax(0, area.bottom() - 16 - size.height()), area.width(), size.height());
            panel->show();
            panel->raise();
            m_panel = panel;
        }
        qApp->installEventFilter(this);
    }

    void Hide()
    {
        if (!m_shown)
            return;
        m_shown = false;
        qApp->removeEventFilter(this);
        if (m_bar) {
            if (m_bar->currentMessage() == kLockWaitText)
                m_bar->clearMessage();
            if (m_button)
                m_bar->removeWidget(m_button);
        }
        delete m_button;
        delete m_panel;
        m_bar = nullptr;
    }

    bool m_shown = false;
    bool m_stop = false;
    QPointer<QStatusBar> m_bar;
    QPointer<QPushButton> m_button;
    QPointer<QWidget> m_panel;
};

CLockWaitUi& LockWaitUi()
{
    static CLockWaitUi* ui = new CLockWaitUi; // lives as long as the application's widgets
    return *ui;
}

} // namespace

void InstallLockWaitStatus()
{
    SetLockWaitHook([](bool waiting) { return LockWaitUi().Step(waiting); });
}

void SetLockWaitWindow(QWidget* window, bool stopEndsProgram)
{
    g_waitWindow = window;
    g_stopEndsProgram = window && stopEndsProgram;
}

void SetAppCloseHandler(std::function<void(bool duringWait)> handler)
{
    g_closeHandler = std::move(handler);
    g_closeRequested = false;
}

void RequestAppClose()
{
    g_closeRequested = true;
    if (g_closeHandler)
        g_closeHandler(LockWaitUi().shown());
}

bool AppCloseRequested()
{
    return g_closeRequested;
}
