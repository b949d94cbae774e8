// One entry's central header in memory, and the DOS date and time of zip records.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

struct CZipEntryInfo {
    uint16_t m_versionMadeBy = 0;
    uint16_t m_versionNeeded = 0;
    uint16_t m_flags = 0;
    uint16_t m_method = 8;
    uint16_t m_modTime = 0;
    uint16_t m_modDate = 0;
    uint32_t m_crc32 = 0;
    uint32_t m_compressedSize = 0;
    uint32_t m_uncompressedSize = 0;
    uint16_t m_volumeStart = 0;
    uint16_t m_internalAttr = 0;
    uint32_t m_externalAttr = 32; // Windows attributes; 32 is "archive"
    uint32_t m_localHeaderOffset = 0;
    std::string m_name; // UTF-8 through CZipBundle::ReadEntryInfo, the stored bytes inside
    std::string m_extraField;
    std::string m_comment;

    static constexpr uint16_t kFlagDataDescriptor = 0x0008;
    static constexpr uint16_t kFlagUtf8 = 0x0800;
    static constexpr uint32_t kAttrReadOnly = 0x01;
    static constexpr uint32_t kAttrDirectory = 0x10;
    static constexpr uint32_t kAttrArchive = 0x20;

    bool IsDirectory() const;
    bool HasDataDescriptor() const { return (m_flags & kFlagDataDescriptor) != 0; }
    // The modification time as local time; empty when the stored date or time is not a real one.
    std::optional<time_t> GetTime() const;
    void SetTime(time_t t);
};

// Local time to DOS date and time (years up to 1980 get year field 0).
void TimeToDos(time_t t, uint16_t& dosDate, uint16_t& dosTime);
std::optional<time_t> DosToTime(uint16_t dosDate, uint16_t dosTime);
