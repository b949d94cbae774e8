// Which parameter dialog each report command of the main frame opens. A form registers its dialog for
// its command in RegisterReportForms; a command without a dialog stays disabled.
#pragma once

#include "Session.h"
#include "tables/Forecasts.h"

#include <functional>
#include <optional>

class QWidget;

// Opens the form's dialog modally. session: the current forecast (the command has set it) and the
// forecast year; forecast: the current forecast's record for the forms that take it, else none.
using ReportDialogOpener =
    std::function<void(QWidget* parent, const CSessionState& session, const std::optional<CForecastRecord>& forecast)>;

// A second registration for the same command replaces the first; an empty opener removes it.
void RegisterReportDialog(int command, ReportDialogOpener opener);
bool HasReportDialog(int command);
// False when the command has no dialog.
bool OpenReportDialog(int command, QWidget* parent, const CSessionState& session,
                      const std::optional<CForecastRecord>& forecast);

// Registers the dialogs of every report form; the application calls it once at start-up.
void RegisterReportForms();
