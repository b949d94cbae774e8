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

int g_shownWaits = 0;

// The wait for a database lock: in the main window's status bar, at start-up on the splash window.
// No command can start other database work meanwhile.
class CLockWaitUi {
public:
    // Answers whether to go on waiting.
    bool Step(bool waiting)
    {
        if (!waiting) {
            m_wait.Hide();
            return true;
        }
        // The program is closing: a later wait ends before it shows.
        if (!m_wait.shown() && g_closeRequested)
            return false;
        if (!m_wait.shown()) {
            QWidget* main = GetAppMainWindow();
            QStatusBar* bar = CProgressBar::GetStatusBar();
            m_onWaitWindow = g_waitWindow && !(bar && main && main->isVisible());
            if (m_onWaitWindow)
                m_wait.ShowOn(g_waitWindow, kLockWaitText);
            else
                m_wait.ShowIn(bar, kLockWaitText);
        }
        const bool goOn = m_wait.Step();
        // A start cannot go on without its database: ending the wait there ends the start, as the
        // window's close box does, instead of opening a window the database has not filled.
        if (!goOn && m_onWaitWindow && g_stopEndsProgram && !g_closeRequested)
            RequestAppClose();
        return goOn;
    }

private:
    CStopWait m_wait{QStringLiteral("lockWait")};
    bool m_onWaitWindow = false;
};

CLockWaitUi& LockWaitUi()
{
    static CLockWaitUi* ui = new CLockWaitUi; // lives as long as the application's widgets
    return *ui;
}

} // namespace

CStopWait::CStopWait(const QString& name)
    : m_name(name)
{
}

CStopWait::~CStopWait()
{
    Hide();
}

void CStopWait::Show(const QString& text, QWidget* window)
{
    Hide();
    m_shown = true;
    ++g_shownWaits;
    m_stop = false;
    m_closeAsked = false;
    m_text = text;
    m_window = window;
    auto* button = new QPushButton(kStopWaitCaption);
    button->setObjectName(m_name + QStringLiteral("Stop"));
    button->setFocusPolicy(Qt::NoFocus);
    QObject::connect(button, &QPushButton::clicked, this, [this] { m_stop = true; });
    m_button = button;
    qApp->installEventFilter(this);
}

void CStopWait::ShowIn(QStatusBar* bar, const QString& text, QWidget* window)
{
    Show(text, window);
    if (!bar) {
        delete m_button;
        return;
    }
    m_bar = bar;
    bar->showMessage(text);
    bar->addPermanentWidget(m_button);
    m_button->show();
}

void CStopWait::ShowOn(QWidget* window, const QString& text)
{
    Show(text, window);
    // Above the version line at the window's foot.
    auto* panel = new QWidget(window);
    panel->setObjectName(m_name + QStringLiteral("Panel"));
    panel->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(4, 2, 4, 2);
    auto* label = new QLabel(text, panel);
    label->setObjectName(m_name + QStringLiteral("Text"));
    layout->addWidget(label, 1);
    m_button->setParent(panel);
    layout->addWidget(m_button);
    const QSize size = panel->sizeHint();
    const QRect area = window->rect();
    panel->setGeometry(area.left(), qMax(0, area.bottom() - 16 - size.height()), area.width(), size.height());
    panel->show();
    panel->raise();
    m_panel = panel;
}

void CStopWait::SetText(const QString& text)
{
    if (!m_shown || text == m_text)
        return;
    if (m_bar && m_bar->currentMessage() == m_text)
        m_bar->showMessage(text);
    if (auto* label = m_panel ? m_panel->findChild<QLabel*>() : nullptr)
        label->setText(text);
    m_text = text;
}

void CStopWait::SetProgress(int done, int of)
{
    if (!m_bar)
        return;
    if (!m_progress) {
        auto* progress = new QProgressBar;
        progress->setObjectName(m_name + QStringLiteral("Progress"));
        progress->setTextVisible(false);
        progress->setMaximumWidth(200);
        // Before the button.
        m_bar->removeWidget(m_button);
        m_bar->addPermanentWidget(progress);
        m_bar->addPermanentWidget(m_button);
        progress->show();
        m_button->show();
        m_progress = progress;
    }
    m_progress->setRange(0, qMax(of, 1));
    m_progress->setValue(qBound(0, done, qMax(of, 1)));
}

bool CStopWait::Step()
{
    if (!m_shown)
        return !g_closeRequested;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::X11ExcludeTimers);
    return !m_stop && !g_closeRequested;
}

void CStopWait::Hide()
{
    if (!m_shown)
        return;
    m_shown = false;
    --g_shownWaits;
    qApp->removeEventFilter(this);
    if (m_bar) {
        if (m_bar->currentMessage() == m_text)
            m_bar->clearMessage();
        for (QWidget* w : {static_cast<QWidget*>(m_progress.data()), static_cast<QWidget*>(m_button.data())})
            if (w)
                m_bar->removeWidget(w);
    }
    delete m_progress;
    delete m_button;
    delete m_panel;
    m_bar = nullptr;
    m_window = nullptr;
}

bool CStopWait::eventFilter(QObject* watched, QEvent* event)
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
        else if (m_window && widget == m_window)
            m_stop = m_closeAsked = true;
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
        g_closeHandler(g_shownWaits > 0);
}

bool AppCloseRequested()
{
    return g_closeRequested;
}
