#include "ReportJob.h"

#include "AppMessage.h"
#include "ReportLayout.h"
#include "ReportPreview.h"
#include "Settings.h"
#include "TextUtils.h"

void ShowReportError(const ReportError& error, QWidget* parent)
{
    AppMessageBox(kReportShowErrorText.arg(error.detail).arg(error.code), MB_OK | MB_ICONHAND, parent);
}

CReportJob::CReportJob(QWidget* owner)
    : m_owner(owner)
{
}

CReportJob::~CReportJob()
{
    delete m_preview.data();
}

CReportPreview* CReportJob::preview() const
{
    return m_preview.data();
}

void CReportJob::Fail(const ReportError& error)
{
    m_error = error;
    ShowReportError(error, m_owner);
}

std::optional<ReportContent> CReportJob::Prepare()
{
    m_error = ReportError();
    ReportError error;
    const auto definition = LoadReportDefinition(m_file, ProgramFile(kReportSchemaFile), &error);
    if (!definition) {
        Fail(error);
        return std::nullopt;
    }
    auto content =
        BuildReportContent(*definition, m_values, m_title, m_forecast, m_database, Settings().ReportFormat, &error);
    if (!content) {
        if (error.code == REPORT_ERROR_VALUES)
            error.detail = m_file;
        Fail(error);
    }
    return content;
}

void CReportJob::Close()
{
    delete m_preview.data();
}

bool CReportJob::Show()
{
    Close();
    auto content = Prepare();
    if (!content)
        return false;
    m_preview = new CReportPreview(std::move(*content), m_owner);
    m_preview->setGeometry(30, 30, 800, 600);
    m_preview->showMaximized();
    return true;
}

bool CReportJob::ExportPdf(const QString& path)
{
    const auto content = Prepare();
    if (!content)
        return false;
    QString message;
    if (!WriteReportPdf(*content, path, &message)) {
        Fail(ReportError{REPORT_ERROR_OUTPUT, message});
        return false;
    }
    return true;
}
