#include "RecalcStatusDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr std::chrono::milliseconds kShowInterval{50};

QLabel* AddGroup(QVBoxLayout* layout, const QString& title, int labelId, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    auto* label = new QLabel(box);
    label->setObjectName(QStringLiteral("id%1").arg(labelId));
    label->setMinimumWidth(320);
    auto* inner = new QVBoxLayout(box);
    inner->addWidget(label);
    layout->addWidget(box);
    return label;
}

} // namespace

CRecalcStatusDlg::CRecalcStatusDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id177"));
    setWindowTitle(QStringLiteral("Расчет строк \"Всего\" и \"Прочее\""));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Идет пересчет"), this));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("id1111"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    layout->addWidget(m_bar);
    layout->addWidget(new QLabel(QStringLiteral("Объект пересчета"), this));
    m_receiver = AddGroup(layout, QStringLiteral("Организация"), 1038, this);
    m_product = AddGroup(layout, QStringLiteral("Продукция"), 1114, this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CRecalcStatusDlg::~CRecalcStatusDlg() = default;

template <class Change>
void CRecalcStatusDlg::Update(Change change)
{
    const auto now = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    change(m_state);
    const auto since = now - m_lastShown;
    if (QThread::currentThread() == thread()) {
        // The walk runs on this thread: the window is painted now, as often as a worker's would be.
        if (since < kShowInterval)
            return;
        lock.unlock();
        FlushState();
        repaint();
        return;
    }
    if (m_flushPosted)
        return;
    m_flushPosted = true;
    const auto wait = since < kShowInterval
        ? std::chrono::duration_cast<std::chrono::milliseconds>(kShowInterval - since)
        : std::chrono::milliseconds(0);
    lock.unlock();
    QMetaObject::invokeMethod(
        this, [this, wait] { QTimer::singleShot(wait, this, &CRecalcStatusDlg::FlushState); }, Qt::QueuedConnection);
}

void CRecalcStatusDlg::FlushState()
{
    CRecalcProgressState shown;
    {
        std::lock_guard lock(m_mutex);
        shown = m_state;
        m_flushPosted = false;
        m_lastShown = std::chrono::steady_clock::now();
    }
    ++m_shownCount;
    m_bar->setValue(shown.bar);
    m_receiver->setText(shown.receiverText);
    m_product->setText(shown.productText);
}

void CRecalcStatusDlg::EndDialog(int result)
{
    FlushState();
    done(result);
}

CRecalcProgressState CRecalcStatusDlg::state() const
{
    std::lock_guard lock(m_mutex);
    return m_state;
}

void CRecalcStatusDlg::BeginOuter(int count)
{
    Update([&](CRecalcProgressState& s) { s.BeginOuter(count); });
}

void CRecalcStatusDlg::StepOuter(const CReceiverRecord* receiver)
{
    Update([&](CRecalcProgressState& s) { s.StepOuter(receiver); });
}

void CRecalcStatusDlg::BeginInner(int count)
{
    Update([&](CRecalcProgressState& s) { s.BeginInner(count); });
}

void CRecalcStatusDlg::StepInner(const CProductRecord* product)
{
    Update([&](CRecalcProgressState& s) { s.StepInner(product); });
}

void CRecalcStatusDlg::NoteChildCount(int)
{
}

void CRecalcStatusDlg::ShowInner(const CProductRecord* product)
{
    Update([&](CRecalcProgressState& s) { s.ShowInner(product); });
}

void CRecalcStatusDlg::SetProductText(const QString& text)
{
    Update([&](CRecalcProgressState& s) { s.productText = text; });
}

void CRecalcStatusDlg::SetReceiverText(const QString& text)
{
    Update([&](CRecalcProgressState& s) { s.receiverText = text; });
}
