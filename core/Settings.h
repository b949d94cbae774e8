// The one settings and state object of the main program.
#pragma once

#include <QString>

#include <vector>

class ITransport;

struct CTransportEntry {
    QString displayName;
    QString code;
    ITransport* transport = nullptr; // none for the built-in file transport; never freed
};

using CTransportList = std::vector<CTransportEntry>;

// Refresh flags of CSettings::changeFlags.
enum : int {
    CHANGE_RECEIVERS = 0x1,
    CHANGE_PRODUCTS = 0x2,
};

class CSettings {
public:
    CSettings();
    virtual ~CSettings();

    // Rebuilds the transport list: "Файл"/"File" first, then every plug-in of transport/*.so.
    void LoadTransports();
    static QString GetCfgPath();
    // Reads forecast.cfg and the profile, then starts the transport host thread.
    void Load();
    // Writes forecast.cfg (whole or not at all) and the profile.
    void Save();

    int currentForecastId = -1;
    int currentForecastOwner = -1;
    int currentForecastStatus = -1;
    int forecastYear = -1;
    int ownReceiverId = -1;
    int userRoles = 0;
    int ReportFormat = 0;
    bool EnableAutoRecalc = true;
    bool EnableOpJournal = false;
    QString ImportDir;
    QString ExportDir;
    QString Transport;
    QString userName;
    int changeFlags = 0;
    CTransportList transports;

    // Reads the four fields of forecast.cfg; absent bytes keep the fields' current values.
    void ReadCfgBytes(const QByteArray& bytes);
    QByteArray CfgBytes() const;
};

// The global settings object, built on first use.
CSettings& Settings();
