// The dialogs and operations of the program's other parts that the main frame starts. Each part
// fills its entries when it is linked in; a command whose entry is empty stays disabled.
#pragma once

#include "tables/Forecasts.h"

#include <functional>
#include <optional>

class QWidget;

struct CShellHooks {
    // The forecast list (command 32792); its result is not used.
    std::function<void(QWidget* parent)> forecastManager;
    // The copy dialog (32806): false unless OK; the chosen source forecast and copy mode
    // (0 receivers only, 1 reference data, 2 reference data and data).
    std::function<bool(QWidget* parent, int* sourceForecast, int* mode)> selectForecastCopy;
    // The settings dialog (32868): true on OK.
    std::function<bool(QWidget* parent)> preferences;
    // The operation-journal export (32890).
    std::function<void(QWidget* parent)> exportOpJournal;
    // The users dialog (32888).
    std::function<void(QWidget* parent)> users;
    // Sending the forecast (32794) and the reference data (32807), each in its modeless dialog.
    std::function<void(QWidget* parent, int forecastId)> sendForecast;
    std::function<void(QWidget* parent)> sendReferenceData;
    // Receiving a forecast file (32796) and a reference-data file (32808).
    std::function<void(QWidget* parent)> receiveForecast;
    std::function<void(QWidget* parent)> receiveReferenceData;
    // Comments (32861, 32862).
    std::function<void(QWidget* parent)> sendComments;
    std::function<void(QWidget* parent)> receiveComments;
    // The parameter dialog of a report command (forms 1 to 9 and the blank form), with the
    // forecast chosen in the forecast bar where the form takes one.
    std::function<void(QWidget* parent, int command, const std::optional<CForecastRecord>& forecast)> report;
    // Average prices from other forecasts (32904).
    std::function<void(QWidget* parent)> averagePriceImport;
};

CShellHooks& ShellHooks();
