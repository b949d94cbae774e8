#include "ReportForms.h"

#include "HierarchyFormDlg.h"
#include "ProductFormDlg.h"

#include <map>

namespace {

std::map<int, ReportDialogOpener>& Openers()
{
    static std::map<int, ReportDialogOpener> openers;
    return openers;
}

} // namespace

void RegisterReportDialog(int command, ReportDialogOpener opener)
{
    if (opener)
        Openers()[command] = std::move(opener);
    else
        Openers().erase(command);
}

bool HasReportDialog(int command)
{
    return Openers().count(command) != 0;
}

bool OpenReportDialog(int command, QWidget* parent, const CSessionState& session,
                      const std::optional<CForecastRecord>& forecast)
{
    const auto it = Openers().find(command);
    if (it == Openers().end())
        return false;
    // A copy: the dialog may register again while it runs.
    const ReportDialogOpener open = it->second;
    open(parent, session, forecast);
    return true;
}

void RegisterReportForms()
{
    // Each form adds its dialog here: RegisterReportDialog(ID_REPORT_FORMn, <opener>).
    RegisterProductFormDialogs();
    RegisterHierarchyFormDialogs();
}
