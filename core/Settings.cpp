#include "Settings.h"

#include "ProfileSettings.h"
#include "TextUtils.h"

CSettings::CSettings() = default;

CSettings::~CSettings() = default;

void CSettings::Load()
{
    const QString folder = GetProgramFolder();
    CProfileSettings profile;
    profile.beginGroup(QStringLiteral("Settings"));
    ImportDir = profile.value(QStringLiteral("ImportDir"), folder + QStringLiteral("Import")).toString();
    ExportDir = profile.value(QStringLiteral("ExportDir"), folder + QStringLiteral("Export")).toString();
    Transport = profile.value(QStringLiteral("Transport"), QStringLiteral("File")).toString();
    ReportFormat = profile.intValue(QStringLiteral("ReportFormat"), 0);
    EnableAutoRecalc = profile.intValue(QStringLiteral("EnableAutoRecalc"), 1) != 0;
    EnableOpJournal = profile.intValue(QStringLiteral("EnableOpJournal"), 0) != 0;
    profile.endGroup();
}

void CSettings::Save()
{
    CProfileSettings profile;
    profile.beginGroup(QStringLiteral("Settings"));
    profile.setValue(QStringLiteral("ImportDir"), ImportDir);
    profile.setValue(QStringLiteral("ExportDir"), ExportDir);
    profile.setValue(QStringLiteral("Transport"), Transport);
    profile.setValue(QStringLiteral("ReportFormat"), ReportFormat);
    profile.setValue(QStringLiteral("EnableAutoRecalc"), EnableAutoRecalc ? 1 : 0);
    profile.setValue(QStringLiteral("EnableOpJournal"), EnableOpJournal ? 1 : 0);
    profile.endGroup();
}

CSettings& Settings()
{
    static CSettings settings;
    return settings;
}
