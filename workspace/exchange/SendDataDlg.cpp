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
#include <QTabBar>
#include <QVBoxLayout>

namespace {

constexpr int kListId = 1090;
constexpr int kTabsId = 1039;
constexpr int kLogId = 1058;
constexpr int kSendId = 1037;
constexpr int kCloseId = 1;
constexpr int kDescriptionTab = 1;

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
    top->addWidget(group, 2);
    top->addLayout(right, 3);
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
        m_resultText = SendTexts::kNotLoaded.arg(m_transportCode) + QStringLiteral("\r\n");
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
            m_resultText += file.name + SendTexts::kFailed + QStringLiteral("\r\n");
            m_log->AppendLine(file.name + SendTexts::kFailed);
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
