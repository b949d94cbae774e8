// The forecast editor's commands that open a window of the check and export family:
//  - 32821 "Контроль данных...": IsForecastCheckEnabled / OnForecastCheck;
//  - 32811 "Генерация сводного прогноза...": IsTotalForecastEnabled / OnTotalForecast. When it answers
//    true and the editor shows the consolidated forecast (receiver 0), the editor reloads its list.
// Each window is modeless, a child of the given frame, and deletes itself when the user closes it.
#pragma once

#include "Session.h"

class QWidget;

// A current forecast and the organisation's own receiver in it are known.
bool IsForecastCheckEnabled(const CSessionState& session);
// As 32821, and the current forecast is stored with status 1 "Ввод НСИ закрыт", and the login holds
// the expert role (always without a login).
bool IsTotalForecastEnabled(const CSessionState& session);

// Opens "Проверка прогнозных данных" and checks the current forecast in it; answers the check's result.
bool OnForecastCheck(const CSessionState& session, QWidget* frame);
// After CheckCurrentForecast and CheckSelfReceiver (each shows its own message), opens "Генерация
// сводного прогноза" and builds the consolidated forecast of the current forecast in it; true when
// the consolidated rows were written.
bool OnTotalForecast(const CSessionState& session, QWidget* frame);
