#include "Settings.h"

#include "ProfileSettings.h"
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

const QString kImportFolder = QStringLiteral("Import");
const QString kExportFolder = QStringLiteral("Export");

void CreateDefaultFolder(const QString& dir, const QString& name)
{
    const QString folder = GetProgramFolder();
    if (QDir::cleanPath(dir) != QDir::cleanPath(folder + name) || QFileInfo::exists(dir))
        return;
    struct stat st = {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return;
    const QByteArray path = QFile::encodeName(QDir::cleanPath(dir));
    // The umask must not narrow what the program folder grants.
    if (::mkdir(path.constData(), st.st_mode & 07777) == 0)
        ::chmod(path.constData(), st.st_mode & 07777);
}

} // namespace

CSettings::CSettings() = default;

CSettings::~CSettings() = default;

void CSettings::Load()
{
    const QString folder = GetProgramFolder();
    CProfileSettings profile;
    profile.beginGroup(QStringLiteral("Settings"));
    ImportDir = profile.value(QStringLiteral("ImportDir"), folder + kImportFolder).toString();
    ExportDir = profile.value(QStringLiteral("ExportDir"), folder + kExportFolder).toString();
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

void CreateDefaultFolders(const CSettings& settings)
{
    CreateDefaultFolder(settings.ImportDir, kImportFolder);
    CreateDefaultFolder(settings.ExportDir, kExportFolder);
}
