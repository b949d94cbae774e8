#include "ReportDialog.h"

#include "ErrorSink.h"
#include "ProgressBar.h"
#include "ReportDatabase.h"
#include "SmartInfo.h"
#include "TextUtils.h"
#include "WaitCursor.h"
#include "tables/Forecasts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QThread>

using namespace ReportDialogTexts;

void FillReportFormCombo(QComboBox* combo)
{
    combo->clear();
    combo->addItems({kFormMunicipal, kFormFederal, kFormRegional});
    combo->setCurrentIndex(0);
}

QString ReportFormCaption(int index)
{
    return index == 0 ? kFormMunicipal : index == 1 ? kFormFederal : kFormRegional;
}

QString ReportFormCaption(const QComboBox* combo)
{
    return ReportFormCaption(combo->currentIndex());
}

void ShowSummaryNotice(QWidget* parent)
{
    ShowSmartInfo(parent, kSummaryNotice, kSummaryNoticeKey);
}

QString ReportForecastName(int forecastId)
{
    const auto forecast = GetForecast(forecastId);
    return forecast ? forecast->name : QString();
}

namespace {

// The builder's thread: it answers through its result slot, which holds "nothing built" until the
// builder returns, and collects what the builder reports.
class CBuilderThread : public QThread {
public:
    CBuilderThread(const std::function<int()>& builder, int nothing)
        : m_builder(builder)
        , result(nothing)
    {
    }
    std::vector<DbError> errors;

protected:
    void run() override
    {
        CErrorCollector collector;
        try {
            result = m_builder();
        } catch (...) {
            ReportRunFailure(std::current_exception());
        }
        errors = collector.take();
    }

private:
    const std::function<int()>& m_builder;

public:
    int result;
};

} // namespace

CReportDialog::CReportDialog(QWidget* parent)
    : QDialog(parent)
    , m_job(this)
{
}

CReportDialog::~CReportDialog() = default;

QPushButton* CReportDialog::closeButton() const
{
    return findChild<QPushButton*>(QStringLiteral("id2"));
}

bool CReportDialog::CloseAllowed() const
{
    const QPushButton* close = closeButton();
    return !m_running && (!close || close->isEnabled());
}

void CReportDialog::closeEvent(QCloseEvent* event)
{
    if (CloseAllowed())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void CReportDialog::reject()
{
    if (CloseAllowed())
        QDialog::reject();
}

int CReportDialog::RunDataThread(const std::function<int()>& builder, int nothing)
{
    CBuilderThread worker(builder, nothing);
    {
        CWaitCursor wait;
        QPushButton* close = closeButton();
        m_running = true;
        setEnabled(false);
        if (close)
            close->setEnabled(false);
        RunWithProgress(worker);
        if (close)
            close->setEnabled(true);
        setEnabled(true);
        m_running = false;
    }
    if (!worker.errors.empty())
        ReportComError(worker.errors.front());
    return worker.result;
}

int CReportDialog::RunReport(const std::function<int()>& builder, const QString& file, const QString& title,
                             const std::function<std::optional<QStringList>(int reportId)>& parameters, int nothing)
{
    // The earlier report goes first: a run that builds nothing must not leave it open as its answer.
    m_job.Close();
    const int reportId = RunDataThread(builder, nothing);
    if (reportId <= 0)
        return reportId;
    const auto values = parameters(reportId);
    if (!values)
        return reportId;
    CWaitCursor wait;
    m_job.SetReportFile(GetProgramFolder() + file);
    m_job.SetTitle(title);
    m_job.SetLogOnInfo(ReportDatabasePath());
    m_job.SetParameterValues(*values);
    m_job.Show();
    return reportId;
}
