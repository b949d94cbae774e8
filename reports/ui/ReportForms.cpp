#include "ReportForms.h"

#include "CommandIds.h"
#include "ControlForecastDlg.h"
#include "EmptyForm.h"
#include "Form7Dlg.h"
#include "Form8Dlg.h"
#include "HierarchyFormDlg.h"
#include "ModalHook.h"
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

namespace {

// Opens a dialog built from the session and the current forecast, as most forms' dialogs are.
template <class Dlg>
void OpenFormDialog(QWidget* parent, const CSessionState& session, const std::optional<CForecastRecord>& forecast)
{
    Dlg dlg(session, forecast, parent);
    ExecModal(dlg);
}

// Forms 7 and 8 take only the current forecast.
template <class Dlg>
void OpenForecastDialog(QWidget* parent, const CSessionState&, const std::optional<CForecastRecord>& forecast)
{
    Dlg dlg(forecast, parent);
    ExecModal(dlg);
}

void OpenControlForecastDialog(QWidget* parent, const CSessionState& session, const std::optional<CForecastRecord>&)
{
    CControlForecastDlg dlg(session.currentForecastId, parent);
    ExecModal(dlg);
}

void OpenEmptyForm(QWidget* parent, const CSessionState& session, const std::optional<CForecastRecord>&)
{
    CEmptyForm dlg(session, parent);
    ExecModal(dlg);
}

struct ReportFormEntry {
    int command;
    void (*open)(QWidget*, const CSessionState&, const std::optional<CForecastRecord>&);
};

// Every report form and the dialog its command opens: a new form adds its line here and nowhere else
// in this library.
const ReportFormEntry kReportForms[] = {
    {ID_REPORT_FORM1, &OpenFormDialog<CReportForm1Dlg>}, {ID_REPORT_FORM2, &OpenFormDialog<CForm2a1Dlg>},
    {ID_REPORT_FORM3, &OpenFormDialog<CReportForm3Dlg>}, {ID_REPORT_FORM4, &OpenFormDialog<CForm4Dlg>},
    {ID_REPORT_FORM5, &OpenFormDialog<CReportForm5Dlg>}, {ID_REPORT_FORM6, &OpenFormDialog<CReportForm6Dlg>},
    {ID_REPORT_FORM7, &OpenForecastDialog<CForm7Dlg>},   {ID_REPORT_FORM8, &OpenForecastDialog<CForm8Dlg>},
    {ID_REPORT_FORM9, &OpenControlForecastDialog},       {ID_REPORT_BLANK, &OpenEmptyForm},
};

} // namespace

void RegisterReportForms()
{
    for (const ReportFormEntry& form : kReportForms)
        RegisterReportDialog(form.command, form.open);
}
