#include "Settings.h"

#include "ProfileSettings.h"
#include "TextUtils.h"
#include "TransportStart.h"

#include <transport/ITransport.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <dlfcn.h>

#include <cstdlib>

namespace {

QString TakeHostString(char16_t* s)
{
    if (!s)
        return QString();
    QString out = QString::fromUtf16(s);
    std::free(s);
    return out;
}

} // namespace

CSettings::CSettings()
{
    LoadTransports();
}

CSettings::~CSettings() = default;

void CSettings::LoadTransports()
{
    transports.clear();
    transports.push_back({QStringLiteral("Файл"), QStringLiteral("File"), nullptr});

    const QString folder = GetProgramFolder() + QStringLiteral("transport/");
    QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.so")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(folder + name);
        void* lib = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            continue;
        auto get = reinterpret_cast<GetTransportFunc>(dlsym(lib, "get_transport"));
        ITransport* transport = get ? get() : nullptr;
        if (!transport) {
            // Without an object there is nothing to call: unload and skip.
            dlclose(lib);
            continue;
        }
        CTransportEntry entry;
        entry.displayName = TakeHostString(transport->GetDisplayName());
        entry.code = TakeHostString(transport->GetCode());
        entry.transport = transport;
        transports.push_back(std::move(entry));
    }
}

QString CSettings::GetCfgPath()
{
    return GetProgramFolder() + QStringLiteral("forecast.cfg");
}

void CSettings::ReadCfgBytes(const QByteArray& bytes)
{
    int* fields[4] = {&currentForecastId, &forecastYear, &ownReceiverId, &changeFlags};
    for (int f = 0; f < 4; ++f) {
        std::uint32_t value = std::uint32_t(*fields[f]);
        for (int b = 0; b < 4; ++b) {
            const qsizetype at = f * 4 + b;
            if (at >= bytes.size())
                break;
            value &= ~(std::uint32_t(0xFF) << (8 * b));
            value |= std::uint32_t(std::uint8_t(bytes[at])) << (8 * b);
        }
        *fields[f] = int(value);
    }
}

QByteArray CSettings::CfgBytes() const
{
    QByteArray out(16, '\0');
    const int fields[4] = {currentForecastId, forecastYear, ownReceiverId, changeFlags};
    for (int f = 0; f < 4; ++f)
        for (int b = 0; b < 4; ++b)
            out[f * 4 + b] = char((std::uint32_t(fields[f]) >> (8 * b)) & 0xFF);
    return out;
}

void CSettings::Load()
{
    QFile cfg(GetCfgPath());
    if (cfg.open(QIODevice::ReadOnly))
        ReadCfgBytes(cfg.read(16));

    const QString folder = GetProgramFolder();
    CProfileSettings profile;
    profile.beginGroup(QStringLiteral("Settings"));
    ImportDir = profile.value(QStringLiteral("ImportDir"), folder + QStringLiteral("Import")).toString();
    ExportDir = profile.value(QStringLiteral("ExportDir"), folder + QStringLiteral("Export")).toString();
    Transport = profile.value(QStringLiteral("Transport"), QStringLiteral("File")).toString();
    ReportFormat = profile.value(QStringLiteral("ReportFormat"), 0).toInt();
    EnableAutoRecalc = profile.value(QStringLiteral("EnableAutoRecalc"), 1).toInt() != 0;
    EnableOpJournal = profile.value(QStringLiteral("EnableOpJournal"), 0).toInt() != 0;
    profile.endGroup();

    StartTransportThread(transports, ImportDir);
}

void CSettings::Save()
{
    QSaveFile cfg(GetCfgPath());
    if (cfg.open(QIODevice::WriteOnly)) {
        cfg.write(CfgBytes());
        cfg.commit();
    }

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
