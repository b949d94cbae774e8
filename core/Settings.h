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

// Makes the import and export folders of the settings when they are the default ones in the program
// folder and missing, with the program folder's permissions. A folder chosen elsewhere is left alone:
// when it is gone, its user gets the message of the command that needs it.
void CreateDefaultFolders(const CSettings& settings);
