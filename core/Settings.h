// The saved settings of the program: the profile section "Settings". Reading them touches nothing
// else (no plug-in is loaded, no thread started); the state of the run is CSessionState.
#pragma once

#include <QString>

class CSettings {
public:
    CSettings();
    virtual ~CSettings();

    // Reads the profile; absent values take their defaults.
    void Load();
    void Save();

    int ReportFormat = 0;
    bool EnableAutoRecalc = true;
    bool EnableOpJournal = false;
    QString ImportDir;
    QString ExportDir;
    QString Transport;
};

// The global settings object, built on first use.
CSettings& Settings();
