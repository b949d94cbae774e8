// The state of one run of the program, apart from its saved settings: the current forecast with its
// owner, status and year, the organisation's own receiver in it, the refresh flags, and the login
// with its role bits. The application object owns the one instance and hands it to its frames; core
// functions that need the current forecast take it (or the forecast id) as an argument.
#pragma once

#include <QByteArray>
#include <QString>

// Refresh flags of CSessionState::changeFlags.
enum : int {
    CHANGE_RECEIVERS = 0x1,
    CHANGE_PRODUCTS = 0x2,
};

struct CSessionState {
    int currentForecastId = -1; // below 1: no forecast is current
    int currentForecastOwner = -1;
    int currentForecastStatus = -1;
    int forecastYear = -1;
    int ownReceiverId = -1; // below 1: none known
    int changeFlags = 0;
    // The login and its role bits (1 administrator, 2 expert, 4 user). A file database has no logins:
    // the name stays empty, and then every rights test passes.
    QString userName;
    int userRoles = 0;

    // Whether the login holds one of the role bits (always without a login).
    bool HasRights(int roles) const { return userName.isEmpty() || (userRoles & roles) != 0; }
    // A current forecast and the organisation's own receiver in it are known.
    bool IsForecastSet() const { return currentForecastId > 0 && ownReceiverId > 0; }

    // forecast.cfg beside the program: current forecast, year, own receiver and refresh flags as four
    // little-endian 32-bit values. A missing file or missing bytes keep the fields as they are.
    static QString GetCfgPath();
    void LoadCfg();
    // Whole or not at all; false when the file could not be written.
    bool SaveCfg() const;
    void ReadCfgBytes(const QByteArray& bytes);
    QByteArray CfgBytes() const;
};
