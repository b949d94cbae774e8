#include "CheckDialogs.h"
#include "AppMessage.h"

#include "CheckTexts.h"
#include "DataChecks.h"
#include "LogEdit.h"
#include "ModalHook.h"
#include "TextUtils.h"
#include "TotalForecastBuild.h"
#include "UiThread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

constexpr int kOkId = 1;
constexpr int kLogId = 1058;
constexpr int kSaveId = 1091;
// How long the log may go without showing what was logged.
constexpr qint64 kKeepAliveMs = 50;

QString IdName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

} // namespace

CExportNSIDlg::CExportNSIDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(IdName(IDD));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(CheckTexts::kExportNsiCaption);

    auto* group = new QGroupBox(CheckTexts::kReportGroup, this);
    m_log = new CLogEdit(group);
    m_log->setObjectName(IdName(kLogId));
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_log);

    m_save = new QPushButton(CheckTexts::kSaveReport, this);
    m_save->setObjectName(IdName(kSaveId));
    m_save->setAutoDefault(false);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(IdName(kOkId));
    m_ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    // 432 x 271 dialog units.
    resize(648, 440);

    connect(m_ok, &QPushButton::clicked, this, &CExportNSIDlg::accept);
    connect(m_save, &QPushButton::clicked, this, &CExportNSIDlg::OnSaveReport);
}

CExportNSIDlg::~CExportNSIDlg() = default;

bool CExportNSIDlg::CheckNSI(int forecast)
{
    return RunOperation([&] { return ::CheckNSI(*this, forecast); });
}

bool CExportNSIDlg::CheckForecastData(int forecast, int receiver)
{
    return RunOperation([&] { return ::CheckForecastData(*this, forecast, receiver); });
}

void CExportNSIDlg::AppendLine(const QString& text)
{
    m_pending << text;
    KeepAlive();
}

void CExportNSIDlg::KeepAlive()
{
    // Events are processed only while the window refuses to close.
    if (m_running == 0) {
        Flush();
        return;
    }
    if (m_sinceEvents.isValid() && m_sinceEvents.elapsed() < kKeepAliveMs)
        return;
    Flush();
    // Paints and timers only: what the user does waits for the end of the operation.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    m_sinceEvents.start();
}

int CExportNSIDlg::Ask(const QString& text, unsigned flags)
{
    Flush();
    m_log->repaint();
    return AppMessageBox(text, flags, this);
}

void CExportNSIDlg::Flush()
{
    if (m_pending.isEmpty())
        return;
    m_log->AppendLine(m_pending.join(QStringLiteral("\r\n")));
    m_pending.clear();
}

QStringList CExportNSIDlg::LogLines()
{
    Flush();
    QStringList lines = m_log->toPlainText().split(QLatin1Char('\n'));
    // Every line ends with a line break: the text after the last one is no line.
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

bool CExportNSIDlg::SaveReport(const QString& path)
{
    QByteArray bytes;
    for (const QString& line : LogLines())
        bytes += UnicodeToAnsi(line) + QByteArrayLiteral("\r\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size() && file.commit();
}

void CExportNSIDlg::OnSaveReport()
{
    const QString path = ModalHook().getSaveFileName(this, QStringLiteral("Сохранить как"), QString(),
                                                     CheckTexts::kSaveReportFilter, QStringLiteral("txt"));
    if (!path.isEmpty())
        SaveReport(path);
}

bool CExportNSIDlg::CanClose() const
{
    return m_running == 0 && m_ok->isEnabled();
}

void CExportNSIDlg::accept()
{
    if (m_running == 0)
        QDialog::accept();
}

void CExportNSIDlg::reject()
{
    if (CanClose())
        QDialog::reject();
}

void CExportNSIDlg::closeEvent(QCloseEvent* event)
{
    if (!CanClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CExportNSIDlg::BeginOperation()
{
    if (m_running++ == 0)
        m_sinceEvents.invalidate();
    BeginUiOperation();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    KeepAlive();
}

void CExportNSIDlg::EndOperation()
{
    QApplication::restoreOverrideCursor();
    EndUiOperation();
    --m_running;
    Flush();
}

CExportDataDlg::CExportDataDlg(QWidget* parent)
    : CExportNSIDlg(parent)
{
    setWindowTitle(CheckTexts::kExportDataCaption);
}

CCheckForecastDlg::CCheckForecastDlg(QWidget* parent)
    : CExportDataDlg(parent)
{
    setWindowTitle(CheckTexts::kCheckForecastCaption);
}

bool CCheckForecastDlg::CheckForecast(int forecast)
{
    return RunOperation([&] { return ::CheckForecast(*this, forecast); });
}

CCalculateForecastDlg::CCalculateForecastDlg(QWidget* parent)
    : CExportDataDlg(parent)
{
    setWindowTitle(CheckTexts::kCalculateCaption);
}

bool CCalculateForecastDlg::Run(int forecast)
{
    return BuildTotalForecast(forecast);
}

bool CCalculateForecastDlg::BuildTotalForecast(int forecast)
{
    return RunOperation([&] { return ::BuildTotalForecast(*this, forecast); });
}
