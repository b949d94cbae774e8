#include "ReportDialog.h"

#include "ErrorSink.h"
#include "OperationStatus.h"
#include "ProgressBar.h"
#include "ReportDatabase.h"
#include "ReportProgress.h"
#include "SmartInfo.h"
#include "TextUtils.h"
#include "WaitCursor.h"
#include "db/DbConnection.h"
#include "tables/Forecasts.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

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

// The builders run one after another on one thread, which stays a minute after each: a new thread
// would start each run with memory the system must map afresh, a cost the size of a large report's
// lines. The connections close after each run, as they would with its own thread.
class CBuilderHost {
public:
    static CBuilderHost& Instance()
    {
        static CBuilderHost host;
        return host;
    }

    ~CBuilderHost() { End(); }

    // Runs the job on the host's thread, or on a thread of its own while another job holds the host.
    void Run(const std::function<void()>& job)
    {
        std::unique_lock serial(m_serial, std::try_to_lock);
        if (!serial.owns_lock()) {
            std::thread own(job);
            own.join();
            return;
        }
        std::unique_lock lock(m_mutex);
        if (!m_alive) {
            if (m_thread.joinable())
                m_thread.join();
            m_alive = true;
            m_thread = std::thread([this] { Loop(); });
            static const bool ended = [] {
                // Before the application's drivers go.
                if (QCoreApplication::instance())
                    qAddPostRoutine([] { Instance().End(); });
                return true;
            }();
            (void)ended;
        }
        m_job = &job;
        m_wake.notify_one();
        m_done.wait(lock, [this] { return m_job == nullptr; });
    }

private:
    void End()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard lock(m_mutex);
        m_stop = false;
        m_alive = false;
    }

    void Loop()
    {
        std::unique_lock lock(m_mutex);
        while (m_wake.wait_for(lock, kIdle, [this] { return m_stop || m_job; }) && !m_stop) {
            lock.unlock();
            (*m_job)();
            CloseThreadConnections();
            lock.lock();
            m_job = nullptr;
            m_done.notify_all();
        }
        m_alive = false;
    }

    static constexpr std::chrono::seconds kIdle{60};
    std::mutex m_serial; // held by the run on the host
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void()>* m_job = nullptr;
    bool m_alive = false;
    bool m_stop = false;
    std::thread m_thread;
};

// The builder's thread: it answers through its result slot, which holds "nothing built" until the
// builder returns, and collects what the builder reports; its steps and its stop go through the run's
// progress.
class CBuilderThread : public QThread {
public:
    CBuilderThread(const std::function<int()>& builder, int nothing, CReportProgress& progress)
        : m_builder(builder)
        , m_progress(progress)
        , result(nothing)
    {
    }
    std::vector<DbError> errors;

protected:
    void run() override
    {
        CBuilderHost::Instance().Run([this] { Build(); });
    }

private:
    void Build()
    {
        CErrorCollector collector;
        {
            CReportProgressScope scope(m_progress);
            try {
                result = m_builder();
            } catch (...) {
                ReportRunFailure(std::current_exception());
            }
        }
        errors = collector.take();
    }

    const std::function<int()>& m_builder;
    CReportProgress& m_progress;

public:
    int result;
};

// How often the status text follows the builder's step.
constexpr int kStatusMs = 100;

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
    // Escape while a builder runs stops it; the dialog stays.
    if (m_running) {
        if (m_progress)
            m_progress->stop().Stop();
        return;
    }
    if (CloseAllowed())
        QDialog::reject();
}

int CReportDialog::RunDataThread(const std::function<int()>& builder, const QString& title, COperationStatus& status,
                                 int nothing)
{
    CReportProgress progress;
    CBuilderThread worker(builder, nothing, progress);
    {
        CWaitCursor wait;
        if (!m_stop)
            m_stop = new CStopButton(this);
        // The dialog stays enabled for its stop: every other control is disabled ("Закрыть" among them),
        // as the dialog would be; the stop stands where "Закрыть" is.
        std::vector<QPointer<QWidget>> disabled;
        for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w != m_stop && !w->isWindow() && w->isEnabled()) {
                w->setEnabled(false);
                disabled.emplace_back(w);
            }
        m_running = true;
        m_progress = &progress;
        m_stop->Offer(&progress.stop(), closeButton());
        const auto showStep = [&] {
            status.Show(title, progress.stopped() ? OperationStatusTexts::kStopping : progress.step());
        };
        showStep();
        QTimer follow;
        follow.setInterval(kStatusMs);
        QObject::connect(&follow, &QTimer::timeout, this, showStep);
        follow.start();
        RunWithProgress(worker);
        follow.stop();
        m_stop->Offer(nullptr, nullptr);
        m_progress = nullptr;
        m_running = false;
        for (const QPointer<QWidget>& w : disabled)
            if (w)
                w->setEnabled(true);
    }
    if (progress.stopped())
        return nothing;
    if (!worker.errors.empty())
        ReportComError(worker.errors.front());
    return worker.result;
}

int CReportDialog::RunReport(const std::function<int()>& builder, const QString& file, const QString& title,
                             const std::function<std::optional<QStringList>(int reportId)>& parameters, int nothing)
{
    // The earlier report goes first: a run that builds nothing must not leave it open as its answer.
    m_job.Close();
    COperationStatus status;
    const int reportId = RunDataThread(builder, title, status, nothing);
    if (reportId <= 0)
        return reportId;
    status.Show(title, ReportDialogTexts::kPreparingPreview);
    const auto values = parameters(reportId);
    if (!values)
        return reportId;
    CWaitCursor wait;
    m_job.SetReportFile(ProgramFile(file));
    m_job.SetTitle(title);
    m_job.SetLogOnInfo(ReportDatabasePath());
    m_job.SetParameterValues(*values);
    m_job.Show();
    return reportId;
}
