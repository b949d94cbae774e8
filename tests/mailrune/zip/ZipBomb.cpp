#include "ZipBomb.h"

#include <zlib.h>

#include <stdexcept>

namespace {

std::string Le(uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// What deflate gives for `input` with `flush`, the stream going on.
std::string Deflate(z_stream& z, const std::string& input, int flush)
{
    std::string out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    char buffer[65536];
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        if (deflate(&z, flush) == Z_STREAM_ERROR)
            throw std::runtime_error("deflate");
        out.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
    return out;
}

} // namespace

std::string ZeroBombArchive(const std::string& name, uint32_t actualMiB, uint32_t declaredBytes)
{
    const std::string zeros(std::size_t(1) << 20, '\0');
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    const std::string first = Deflate(z, zeros, Z_FULL_FLUSH);
    const std::string next = Deflate(z, zeros, Z_FULL_FLUSH);
    if (Deflate(z, zeros, Z_FULL_FLUSH) != next)
        throw std::runtime_error("the segments differ");
    const std::string last = Deflate(z, std::string(), Z_FINISH);
    deflateEnd(&z);

    std::string data = first;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size()));
    const uLong segmentCrc = crc;
    for (uint32_t i = 1; i < actualMiB; ++i) {
        data += next;
        crc = crc32_combine(crc, segmentCrc, static_cast<z_off_t>(zeros.size()));
    }
    data += last;
    const uint64_t size = declaredBytes ? declaredBytes : uint64_t(actualMiB) << 20;
    const std::string common = Le(20, 2) + Le(0, 2) + Le(8, 2) + Le(0, 2) + Le(0x5A21, 2) + Le(crc, 4)
        + Le(data.size(), 4) + Le(size, 4) + Le(name.size(), 2) + Le(0, 2);
    const std::string local = Le(0x04034b50, 4) + common + name;
    const std::string central = Le(0x02014b50, 4) + Le(20, 2) + common + Le(0, 6) + Le(32, 4) + Le(0, 4) + name;
    return local + data + central + Le(0x06054b50, 4) + Le(0, 4) + Le(1, 2) + Le(1, 2) + Le(central.size(), 4)
        + Le(local.size() + data.size(), 4) + Le(0, 2);
}
