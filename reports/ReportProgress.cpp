#include "ReportProgress.h"

#include "ReportDatabase.h"

namespace {

thread_local CReportProgress* t_progress = nullptr;

} // namespace

QString CReportProgress::step() const
{
    std::lock_guard lock(m_mutex);
    return m_step;
}

void CReportProgress::SetStep(const QString& step)
{
    std::lock_guard lock(m_mutex);
    m_step = step;
}

CReportProgressScope::CReportProgressScope(CReportProgress& progress)
    : m_outer(std::exchange(t_progress, &progress))
    , m_statements(progress.stop(), GetDBConnection())
{
}

CReportProgressScope::~CReportProgressScope()
{
    t_progress = m_outer;
}

bool ReportStopAsked()
{
    return t_progress && t_progress->stopped();
}

void CheckReportStop()
{
    if (ReportStopAsked())
        throw CReportFailure::Shown(ReportStepTexts::kStopped);
}

void ReportStep(const QString& step)
{
    CheckReportStop();
    if (t_progress)
        t_progress->SetStep(step);
}
