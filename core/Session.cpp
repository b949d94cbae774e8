#include "Session.h"

#include "TextUtils.h"

#include <QFile>
#include <QSaveFile>

#include <cstdint>

QString CSessionState::GetCfgPath()
{
    return GetProgramFolder() + QStringLiteral("forecast.cfg");
}

void CSessionState::LoadCfg()
{
    QFile cfg(GetCfgPath());
    if (cfg.open(QIODevice::ReadOnly))
        ReadCfgBytes(cfg.read(16));
}

bool CSessionState::SaveCfg() const
{
    QSaveFile cfg(GetCfgPath());
    if (!cfg.open(QIODevice::WriteOnly))
        return false;
    cfg.write(CfgBytes());
    return cfg.commit();
}

void CSessionState::ReadCfgBytes(const QByteArray& bytes)
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

QByteArray CSessionState::CfgBytes() const
{
    QByteArray out(16, '\0');
    const int fields[4] = {currentForecastId, forecastYear, ownReceiverId, changeFlags};
    for (int f = 0; f < 4; ++f)
        for (int b = 0; b < 4; ++b)
            out[f * 4 + b] = char((std::uint32_t(fields[f]) >> (8 * b)) & 0xFF);
    return out;
}
