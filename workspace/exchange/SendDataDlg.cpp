#include "SendDataDlg.h"

#include "LogEdit.h"
#include "Settings.h"
#include "WaitCursor.h"

#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTextOption>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>

namespace {

constexpr int kListId = 1090;
constexpr int kTabsId = 1039;
constexpr int kLogId = 1058;
constexpr int kSendId = 1037;
constexpr int kCloseId = 1;
constexpr int kDescriptionTab = 1;
// The transports' list and the text share the width the dialog gains two to three.
constexpr int kListStretch = 2;
constexpr int kTextStretch = 3;
constexpr int kTabSpaces = 4;

QString IdName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

// The texts keep their CR LF; the edit shows plain line ends.
QString ForDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

QStringList SendFailureLines(const QString& name, const QString& error)
{
    QStringList lines;
    for (const QString& line : error.split(u'\n'))
        if (const QString text = line.trimmed(); !text.isEmpty())
            lines << text;
    if (lines.size() > 2)
        lines = QStringList{lines.front(), lines.back()};
    for (QString& line : lines)
        line.prepend(u'\t');
    lines.prepend(name + SendTexts::kFailed);
    return lines;
}

CSendDataDlg::CSendDataDlg(const CStringPairList& files, const CTransportList& transports, QWidget* parent,
                           std::unique_ptr<CSendFolder> dataFolder)
    : QDialog(parent)
    , m_files(files)
    , m_transports(transports)
    , m_dataFolder(std::move(dataFolder))
{
    setObjectName(IdName(IDD));
    setWindowTitle(SendTexts::kCaption);

    auto* group = new QGroupBox(QStringLiteral("Транспорт"), this);
    m_list = new QListWidget(group);
    m_list->setObjectName(IdName(kListId));
    m_list->setSortingEnabled(true);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_list);

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(IdName(kTabsId));
    m_log = new CLogEdit(this);
    m_log->setObjectName(IdName(kLogId));
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A transport's cause can be longer than the edit is wide: it wraps, nothing is cut off.
    m_log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_log->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_log->setTabStopDistance(m_log->fontMetrics().horizontalAdvance(QString(kTabSpaces, u' ')));
    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(m_tabs);
    right->addWidget(m_log, 1);

    m_send = new QPushButton(QStringLiteral("Отправить"), this);
    m_send->setObjectName(IdName(kSendId));
    m_send->setAutoDefault(false);
    m_send->hide();
    m_close = new QPushButton(QStringLiteral("Закрыть"), this);
    m_close->setObjectName(IdName(kCloseId));
    m_close->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(group, kListStretch);
    top->addLayout(right, kTextStretch);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_send);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    // 372 x 198 dialog units.
    resize(558, 322);

    connect(m_send, &QPushButton::clicked, this, [this] { OnSend(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { ShowTabText(); });
    OnInitDialog();
}

CSendDataDlg::~CSendDataDlg() = default;

void CSendDataDlg::OnInitDialog()
{
    m_success = 1;
    m_list->setEnabled(false);
    m_tabs->addTab(QStringLiteral("Результат"));
    m_tabs->addTab(QStringLiteral("Описание"));
    m_transportCode = Settings().Transport;
    QListWidgetItem* chosen = nullptr;
    for (std::size_t i = 0; i < m_transports.size(); ++i) {
        auto* item = new QListWidgetItem(m_transports[i].displayName, m_list);
        item->setData(Qt::UserRole, qulonglong(i));
        // Codes compare exactly; the last entry of the code wins.
        if (m_transports[i].code == m_transportCode)
            chosen = item;
    }
    if (chosen)
        m_list->setCurrentItem(chosen);
    m_close->setEnabled(false);
}

void CSendDataDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Sending starts once the dialog is on screen, and only once.
    if (!m_started) {
        m_started = true;
        QMetaObject::invokeMethod(m_send, &QPushButton::click, Qt::QueuedConnection);
    }
}

void CSendDataDlg::OnSend()
{
    if (m_done)
        return;
    QListWidgetItem* item = m_list->currentItem();
    if (!item) {
        // The chosen transport is not loaded: nothing is sent or deleted, and nothing went through.
        m_success = 0;
        m_failureLines << SendTexts::kNotLoaded.arg(m_transportCode);
        m_resultText = m_failureLines.back() + QStringLiteral("\r\n");
        Finish();
        return;
    }
    m_resultText.clear();
    m_descriptionText.clear();
    if (m_files.empty()) {
        m_resultText = SendTexts::kFileError;
        m_descriptionText = SendTexts::kNoFiles;
        m_success = 0;
        Finish();
        return;
    }
    if (m_transportCode == QStringLiteral("File")) {
        m_success = 1;
        m_resultText = SendTexts::kFileTransportDone;
        for (const CStringPair& file : m_files)
            m_resultText += file.name + QStringLiteral(": ") + file.path + QStringLiteral("\r\n");
        Finish();
        return;
    }
    SendThroughTransport(m_transports[item->data(Qt::UserRole).toULongLong()].transport);
    Finish();
}

void CSendDataDlg::SendThroughTransport(ITransport* transport)
{
    // The transport works on this thread; the dialog is repainted between files.
    CWaitCursor wait;
    for (const CStringPair& file : m_files) {
        const QString error = SendFileThroughTransport(transport, file.path);
        if (!error.isEmpty()) {
            const QStringList lines = SendFailureLines(file.name, error);
            m_resultText += lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
            m_log->AppendLine(lines.join(QStringLiteral("\r\n")));
            m_failureLines += lines;
            m_descriptionText += file.name + QStringLiteral(": ") + error + QStringLiteral("\r\n");
            m_success = 0;
        } else {
            m_resultText += file.name + SendTexts::kSucceeded + QStringLiteral("\r\n");
            m_log->AppendLine(file.name + SendTexts::kSucceeded);
        }
        QFile::remove(file.path);
        repaint();
    }
}

void CSendDataDlg::Finish()
{
    m_done = true;
    ShowTabText();
    repaint();
    m_close->setEnabled(true);
}

void CSendDataDlg::ShowTabText()
{
    m_log->setPlainText(ForDisplay(m_tabs->currentIndex() == kDescriptionTab ? m_descriptionText : m_resultText));
    FitWidthToText();
}

void CSendDataDlg::FitWidthToText()
{
    const QFontMetrics metrics = m_log->fontMetrics();
    int widest = 0;
    for (const QString& line : m_log->toPlainText().split(u'\n'))
        widest = std::max(widest, metrics.horizontalAdvance(QString(line).replace(u'\t', QString(kTabSpaces, u' '))));
    const int chrome = m_log->width() - m_log->viewport()->width() + 2 * qCeil(m_log->document()->documentMargin()) + 2;
    const int missing = widest + chrome - m_log->width();
    if (missing <= 0)
        return;
    int target = width() + (missing * (kListStretch + kTextStretch) + kTextStretch - 1) / kTextStretch;
    QRect room(x(), y(), target, height());
    if (const QScreen* s = screen())
        room = s->availableGeometry();
    target = std::min(target, room.width());
    if (target <= width())
        return;
    // It grows to both sides and stays on the screen.
    const int left = std::clamp(x() - (target - width()) / 2, room.left(), room.left() + room.width() - target);
    move(left, y());
    resize(target, height());
}

void CSendDataDlg::done(int result)
{
    // Escape and closing do nothing until sending is over.
    if (!m_done)
        return;
    m_dataFolder.reset();
    QDialog::done(result);
}

void CSendDataDlg::closeEvent(QCloseEvent* event)
{
    if (!m_done) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
