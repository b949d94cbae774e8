// The user's profile: $XDG_CONFIG_HOME/LIR/Forecast.ini, shared by the program and its plug-ins.
// Header-only so that a plug-in gets the same file without linking the program's core.
#pragma once

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <climits>

inline QString ProfileIniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/LIR/Forecast.ini");
}

// The profile holds stored passwords, so the file is kept readable by its owner only.
class CProfileSettings : public QSettings {
public:
    CProfileSettings()
        : QSettings(PrepareFile(), QSettings::IniFormat)
    {
    }
    ~CProfileSettings() override
    {
        sync();
        QFile::setPermissions(fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // A whole number of the profile; a missing value, text that is no number, or a number outside
    // [low, high] gives the default (QVariant::toInt would wrap a number beyond int).
    int intValue(const QString& key, int defaultValue, int low = INT_MIN, int high = INT_MAX) const
    {
        const QVariant v = value(key);
        if (!v.isValid())
            return defaultValue;
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        return ok && n >= low && n <= high ? int(n) : defaultValue;
    }

private:
    static QString PrepareFile()
    {
        const QString path = ProfileIniPath();
        if (!QFile::exists(path)) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            if (f.open(QIODevice::WriteOnly))
                f.close();
        }
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return path;
    }
};
