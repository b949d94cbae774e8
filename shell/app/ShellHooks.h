// The dialogs and operations of the program's other parts that the main frame starts. Each part
// fills its entries when it is linked in; a command whose entry is empty stays disabled.
#pragma once

#include "Session.h"
#include "TransportRegistry.h"
#include "tables/Forecasts.h"

#include <functional>
#include <optional>

class QWidget;

struct CShellHooks {
    // The forecast list (command ID_FORECAST_MANAGE); its result is not used.
    std::function<void(QWidget* parent)> forecastManager;
    // The copy dialog (ID_FORECAST_COPY): false unless OK; the chosen source forecast and copy mode
    // (0 receivers only, 1 reference data, 2 reference data and data).
    std::function<bool(QWidget* parent, int* sourceForecast, int* mode)> selectForecastCopy;
    // The settings dialog (ID_SETTINGS): true on OK.
    std::function<bool(QWidget* parent)> preferences;
    // The operation-journal export (ID_OPJOURNAL_EXPORT).
    std::function<void(QWidget* parent)> exportOpJournal;
    // The users dialog (ID_USERS), for the session's login.
    std::function<void(QWidget* parent, const CSessionState& session)> users;
    // Sending the forecast (ID_FORECAST_SEND) and the reference data (ID_NSI_SEND), each in its modeless dialog.
    std::function<void(QWidget* parent, int forecastId)> sendForecast;
    std::function<void(QWidget* parent)> sendReferenceData;
    // Receiving a forecast file (ID_FORECAST_RECEIVE) and a reference-data file (ID_NSI_RECEIVE).
    std::function<void(QWidget* parent)> receiveForecast;
    std::function<void(QWidget* parent)> receiveReferenceData;
    // Comments (ID_COMMENTS_SEND, ID_COMMENTS_RECEIVE).
    std::function<void(QWidget* parent)> sendComments;
    std::function<void(QWidget* parent)> receiveComments;
    // The parameter dialog of a report command (forms 1 to 9 and the blank form), with the session
    // (its current forecast set by the command) and the forecast chosen in the forecast bar where the
    // form takes one; reportAvailable tells the commands that have a dialog.
    std::function<void(QWidget* parent, int command, const CSessionState& session,
                       const std::optional<CForecastRecord>& forecast)>
        report;
    std::function<bool(int command)> reportAvailable;
    // Average prices from other forecasts into the current one (ID_AVERAGE_PRICE_IMPORT).
    std::function<void(QWidget* parent, const CSessionState& session)> averagePriceImport;
    // The organisation whose private forecast the editor shows, chosen from the receivers of the
    // forecast; none when the choice was cancelled.
    std::function<std::optional<int>(QWidget* parent, int forecastId)> chooseOrganisation;
};

CShellHooks& ShellHooks();

// The selection dialogs: the organisation of the navigation panel (chooseOrganisation) and the
// receiver choice of code without a window (the modal hook's chooseReceivers).
void InstallSelectionDialogs();
// The forecast list (forecastManager) and the choice of the forecast to copy (selectForecastCopy).
void InstallForecastDialogs();
// Sending and receiving forecasts (sendForecast, receiveForecast) over the run's session and the
// loaded transports, which outlive every command.
void InstallForecastExchange(CSessionState& session, const CTransportList& transports);
// The report dialogs registered for the report commands.
void InstallReportDialogs();
// The settings dialog, the journal export, the users and the average prices.
void InstallShellDialogs();
// The exchange commands (reference data, comments) over the application's session and transports,
// and the transport host thread that imports what a transport receives.
void InstallExchangeCommands(CSessionState& session, const CTransportList& transports);
