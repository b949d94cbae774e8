#include "ZipEntryInfo.h"

bool CZipEntryInfo::IsDirectory() const
{
    // Other tools mark folders only by the trailing separator.
    return (m_externalAttr & kAttrDirectory) != 0 || (!m_name.empty() && m_name.back() == '/');
}

std::optional<time_t> CZipEntryInfo::GetTime() const
{
    return DosToTime(m_modDate, m_modTime);
}

void CZipEntryInfo::SetTime(time_t t)
{
    TimeToDos(t, m_modDate, m_modTime);
}

void TimeToDos(time_t t, uint16_t& dosDate, uint16_t& dosTime)
{
    struct tm local { };
    if (localtime_r(&t, &local) == nullptr) {
        dosDate = dosTime = 0;
        return;
    }
    const int year = local.tm_year + 1900;
    const unsigned y = year > 1980 ? static_cast<unsigned>(year + 68) % 256 : 0;
    dosDate = static_cast<uint16_t>(local.tm_mday + (local.tm_mon + 1) * 32 + y * 512);
    dosTime = static_cast<uint16_t>(local.tm_sec / 2 + local.tm_min * 32 + local.tm_hour * 2048);
}

std::optional<time_t> DosToTime(uint16_t dosDate, uint16_t dosTime)
{
    const int sec = (dosTime & 0x1F) * 2;
    const int min = (dosTime >> 5) & 0x3F;
    const int hour = dosTime >> 11;
    const int day = dosDate & 0x1F;
    const int month = (dosDate >> 5) & 0x0F;
    const int year = (dosDate >> 9) + 1980;
    static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    // mktime would quietly roll "February 30" or "25:70" over into another time.
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || min > 59 || sec > 59)
        return std::nullopt;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return std::nullopt;
    struct tm local { };
    local.tm_sec = sec;
    local.tm_min = min;
    local.tm_hour = hour;
    local.tm_mday = day;
    local.tm_mon = month - 1;
    local.tm_year = year - 1900;
    local.tm_isdst = -1;
    const time_t t = mktime(&local);
    if (t == static_cast<time_t>(-1))
        return std::nullopt;
    return t;
}
