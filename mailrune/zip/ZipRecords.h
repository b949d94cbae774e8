// Little-endian fields and fixed sizes of zip records (internal to the component).
#pragma once

#include <cstdint>
#include <string>

namespace ziprec {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kDescriptorSize = 16;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxField = 65535;
constexpr uint16_t kVersion = 20;
constexpr uint64_t kMax32 = 0xFFFFFFFFu; // also the zip64 marker: values written stay below it
constexpr uint16_t kMax16 = 0xFFFF;

inline uint16_t Get16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16)
        | (static_cast<uint32_t>(p[3]) << 24);
}

inline void Put16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void Put32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline uint64_t Get64(const unsigned char* p)
{
    return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// Whether an extra field holds a block with this id; a malformed tail ends the search.
inline bool HasExtraBlock(const std::string& extra, uint16_t id)
{
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    for (size_t at = 0; at + 4 <= extra.size();) {
        if (Get16(p + at) == id)
            return true;
        at += 4 + size_t(Get16(p + at + 2));
    }
    return false;
}

// Whether the extra field's zip64 block holds exactly these two sizes (uncompressed first).
inline bool Zip64BlockSizesAre(const std::string& extra, uint64_t uncompressed, uint64_t compressed)
{
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
    for (size_t at = 0; at + 4 <= extra.size();) {
        const size_t size = Get16(p + at + 2);
        if (Get16(p + at) == kZip64ExtraId)
            return size >= 16 && at + 4 + size <= extra.size() && Get64(p + at + 4) == uncompressed
                && Get64(p + at + 12) == compressed;
        at += 4 + size;
    }
    return false;
}

inline void Append16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

inline void Append32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace ziprec
