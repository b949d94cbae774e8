#include "ProgressBar.h"

#include "AppMessage.h"
#include "ModalHook.h"
#include "db/DbConnection.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
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
    m_paneLabel = paneLabel;
    m_previousText = paneLabel->text();
    paneLabel->installEventFilter(this);
    m_created = true;
    show();
    Resize();
    return true;
}

bool CProgressBar::Resize()
{
    if (!m_created || !m_paneLabel)
        return false;
    if (isVisible()) {
        m_paneLabel->setText(m_label);
        m_paneLabel->repaint();
    }
    const QFontMetrics fm(m_paneLabel->font());
    QRect r = m_paneLabel->rect();
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
    if (m_paneLabel)
        m_paneLabel->setText(m_label);
    setValue(position);
}

void CProgressBar::Clear()
{
    if (!m_created)
        return;
    hide();
    if (m_paneLabel) {
        m_paneLabel->setText(m_pane == 0 ? LoadStringRes(57345) : m_previousText);
        m_paneLabel->repaint();
    }
}

bool CProgressBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_paneLabel && event->type() == QEvent::Resize)
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

void InstallLockWaitStatus()
{
    SetLockWaitHook([](bool waiting) {
        QStatusBar* bar = CProgressBar::GetStatusBar();
        if (!waiting) {
            if (bar && bar->currentMessage() == kLockWaitText)
                bar->clearMessage();
            return;
        }
        if (bar && bar->currentMessage() != kLockWaitText)
            bar->showMessage(kLockWaitText);
        // Paint and window-system events only: nothing that could start other database work.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers
                                        | QEventLoop::X11ExcludeTimers);
    });
}
