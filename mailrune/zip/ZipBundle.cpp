#include "ZipBundle.h"

#include "BigFile.h"
#include "Codepage.h"
#include "ZipRecords.h"
#include "ZipStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

using namespace ziprec;

namespace {

constexpr size_t kMaxChunk = size_t(1) << 20;

// Exchange documents deflate to a tenth or a fiftieth; an entry that grows more is a bomb, unless
// it is small anyway.
constexpr uint64_t kMostExpansion = 100;
constexpr uint64_t kAlwaysAllowed = uint64_t(16) << 20;

// Half of what the nearest existing folder on the way to `path` has free for this user; no
// bound when that cannot be learnt.
uint64_t HalfTheFreeSpace(std::filesystem::path path)
{
    std::error_code ec;
    while (!path.empty() && !std::filesystem::exists(path, ec) && path != path.parent_path())
        path = path.parent_path();
    struct statvfs fs = {};
    if (::statvfs(path.empty() ? "." : path.c_str(), &fs) != 0)
        return UINT64_MAX;
    return uint64_t(fs.f_bavail) * fs.f_frsize / 2;
}

uint16_t FlagsForLevel(int level)
{
    switch (level) {
    case 1:
        return 6;
    case 2:
        return 4;
    case 8:
    case 9:
        return 2;
    default:
        return 0;
    }
}

uint32_t AttributesOf(const struct stat& st)
{
    uint32_t attr = S_ISDIR(st.st_mode) ? CZipEntryInfo::kAttrDirectory : CZipEntryInfo::kAttrArchive;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= CZipEntryInfo::kAttrReadOnly;
    return attr;
}

// The entry name of a disk path: no root, no "." or ".." parts.
std::string EntryNameFromPath(const std::string& path)
{
    std::string name;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        const std::string part = path.substr(pos, next - pos);
        if (!part.empty() && part != "." && part != "..") {
            if (!name.empty())
                name += '/';
            name += part;
        }
        pos = next + 1;
    }
    return name;
}

// A name that stays inside the target folder: relative, no drive, no "..".
bool IsSafeName(const std::string& name)
{
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos)
        return false;
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
        return false;
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t next = name.find('/', pos);
        if (next == std::string::npos)
            next = name.size();
        if (name.compare(pos, next - pos, "..") == 0)
            return false;
        pos = next + 1;
    }
    return true;
}

bool ApplyTimeAndAttributes(int fd, const CZipEntryInfo& info)
{
    const auto mtime = info.GetTime();
    struct timespec times[2]{};
    times[0].tv_nsec = UTIME_NOW;
    if (mtime)
        times[1].tv_sec = *mtime;
    else
        times[1].tv_nsec = UTIME_NOW; // an unreadable stored time is no reason to fail the file
    bool ok = ::futimens(fd, times) == 0;
    if (info.m_externalAttr & CZipEntryInfo::kAttrReadOnly) {
        struct stat st { };
        ok = ::fstat(fd, &st) == 0 && ::fchmod(fd, st.st_mode & 07555) == 0 && ok;
    }
    return ok;
}

} // namespace

CZipBundle::CZipBundle() = default;

CZipBundle::~CZipBundle()
{
    if (m_open)
        CloseArchive(true);
}

bool CZipBundle::OpenArchive(const std::string& path, int mode, int volumeSize)
{
    if (m_open)
        return false;
    ResetArchive();
    try {
        m_storage.Open(path, mode, volumeSize);
        m_open = true;
        m_data.assign(m_dataSize, 0);
        m_dataEnd = m_storage.Position();
        if (mode == ModeOpen || mode == ModeOpenReadOnly)
            ReadCentralDirectory();
    } catch (...) {
        m_storage.Close(true);
        ResetArchive();
        throw;
    }
    return true;
}

void CZipBundle::ResetArchive()
{
    m_stream.reset();
    m_data.clear();
    m_data.shrink_to_fit();
    m_dataFill = m_inPos = m_inAvail = 0;
    m_compLeft = m_uncompLeft = m_compDone = m_uncompDone = 0;
    m_crc = 0;
    m_openState = 0;
    m_current = -1;
    m_headers.clear();
    m_comment.clear();
    m_bytesBefore = 0;
    m_dataEnd = 0;
    m_dirOnDisk = false;
    m_dirDirty = false;
    m_open = false;
}

void CZipBundle::CloseArchive(bool afterException)
{
    if (!m_open)
        return;
    if (afterException) {
        m_storage.Close(true);
    } else {
        // An entry left half-read needs no checks; one left open for writing is finished.
        if (m_openState == -1)
            AbortEntryRead();
        if (m_openState == 1)
            CloseNewEntry();
        WriteCentralDirectory();
        m_storage.Close(false);
    }
    ResetArchive();
}

bool CZipBundle::CanAddEntry() const
{
    return m_open && m_openState == 0 && !m_storage.IsExistingMulti() && !m_storage.IsReadOnly()
        && m_headers.size() < kMaxEntries;
}

std::string CZipBundle::StoredName(const std::string& given) const
{
    std::string name = given;
    if (m_storeNameOnly) {
        const bool folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
        while (!name.empty() && (name.back() == '/' || name.back() == '\\'))
            name.pop_back();
        const auto sep = name.find_last_of("/\\");
        if (sep != std::string::npos)
            name.erase(0, sep + 1);
        if (folder && !name.empty())
            name += '/';
    }
    if (m_convertSlashes)
        std::replace(name.begin(), name.end(), '\\', '/');
    if (m_oemNames)
        name = Utf8ToCodepage(name, Codepage::Cp866);
    return name;
}

std::string CZipBundle::ExternalName(const CZipEntryInfo& header) const
{
    std::string name = header.m_name;
    if ((header.m_flags & CZipEntryInfo::kFlagUtf8) == 0 && m_oemNames)
        name = CodepageToUtf8(name, Codepage::Cp866);
    if (m_convertSlashes)
        std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

bool CZipBundle::AddFileFromDisk(const std::string& path, int level, unsigned bufferSize)
{
    if (bufferSize == 0 || !CanAddEntry())
        return false;
    const std::string name = EntryNameFromPath(path);
    if (name.empty())
        return false;
    // The file is opened before anything is written, so an unreadable file leaves no entry behind.
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
        return false;
    const bool folder = S_ISDIR(st.st_mode);
    CBigFile in;
    if (!folder) {
        try {
            in.Open(path, O_RDONLY);
        } catch (const CZipException&) {
            return false;
        }
        if (::fstat(in.Fd(), &st) != 0)
            return false;
    }

    CZipEntryInfo header;
    header.m_name = folder ? name + '/' : name;
    header.SetTime(st.st_mtime);
    header.m_externalAttr = AttributesOf(st);
    StartNewEntry(std::move(header), level);
    if (!folder) {
        try {
            std::vector<unsigned char> chunk(std::min<size_t>(bufferSize, kMaxChunk));
            uint64_t offset = 0;
            for (;;) {
                const size_t n = in.ReadAt(chunk.data(), chunk.size(), offset);
                offset += n;
                if (n > 0)
                    WriteNewEntry(chunk.data(), n);
                if (n < chunk.size())
                    break;
            }
        } catch (...) {
            AbortNewEntry();
            throw;
        }
    }
    CloseNewEntry();
    return true;
}

bool CZipBundle::OpenNewEntry(CZipEntryInfo header, int level, const std::string& diskPath)
{
    if (!CanAddEntry())
        return false;
    if (!diskPath.empty()) {
        struct stat st { };
        if (::stat(diskPath.c_str(), &st) != 0)
            return false;
        header.SetTime(st.st_mtime);
        header.m_externalAttr = AttributesOf(st);
    }
    StartNewEntry(std::move(header), level);
    return true;
}

void CZipBundle::StartNewEntry(CZipEntryInfo header, int level)
{
    header.m_name = StoredName(header.m_name);
    if ((header.m_externalAttr & CZipEntryInfo::kAttrDirectory) && !header.m_name.empty()
        && header.m_name.back() != '/')
        header.m_name += '/'; // how other tools recognise a folder
    if (header.m_name.empty())
        header.m_name = "file" + std::to_string(m_headers.size() + 1);
    if (header.m_name.size() > kMaxField)
        ThrowZip(CZipException::NameTooLong, ArchivePath());

    const bool multi = m_storage.IsCreatingMulti();
    header.m_versionMadeBy = kVersion;
    header.m_versionNeeded = kVersion;
    header.m_method = header.IsDirectory() ? 0 : 8;
    header.m_flags = header.m_method == 8 ? FlagsForLevel(level) : 0;
    if (multi)
        header.m_flags |= CZipEntryInfo::kFlagDataDescriptor;
    header.m_crc32 = header.m_compressedSize = header.m_uncompressedSize = 0;
    header.m_internalAttr = 0;
    if (header.m_extraField.size() > kMaxField)
        header.m_extraField.resize(kMaxField);
    if (header.m_comment.size() > kMaxField)
        header.m_comment.resize(kMaxField);

    // New entries go where the directory was; it is written again at close.
    m_storage.BeginChange();
    if (m_dirOnDisk) {
        m_storage.Truncate(m_dataEnd);
        m_dirOnDisk = false;
    }
    m_dirDirty = true;
    if (!multi)
        m_storage.Seek(m_dataEnd);

    std::string local;
    Append32(local, kLocalSig);
    Append16(local, header.m_versionNeeded);
    Append16(local, header.m_flags);
    Append16(local, header.m_method);
    Append16(local, header.m_modTime);
    Append16(local, header.m_modDate);
    Append32(local, 0);
    Append32(local, 0);
    Append32(local, 0);
    Append16(local, static_cast<uint16_t>(header.m_name.size()));
    Append16(local, static_cast<uint16_t>(header.m_extraField.size()));
    local += header.m_name;
    local += header.m_extraField;

    m_storage.AssureFree(local.size());
    m_entryVolume = m_storage.Volume();
    m_entryStart = m_storage.Position();
    const uint64_t offset = m_entryStart - (multi ? 0 : m_bytesBefore);
    if (offset >= kMax32)
        ThrowZip(CZipException::Generic, ArchivePath(), EFBIG); // beyond what ZIP32 records can hold
    header.m_localHeaderOffset = static_cast<uint32_t>(offset);
    header.m_volumeStart = static_cast<uint16_t>(m_entryVolume);
    m_storage.Write(local.data(), local.size(), true);
    // The central header gets an extra field only if one is set while the entry is open.
    header.m_extraField.clear();

    m_headers.push_back(std::move(header));
    m_current = static_cast<int>(m_headers.size()) - 1;
    m_crc = 0;
    m_compDone = m_uncompDone = 0;
    m_dataFill = 0;
    m_openState = 1;
    if (m_headers.back().m_method == 8) {
        m_stream = std::make_unique<CZipStream>();
        const int r = m_stream->InitDeflate(level);
        if (r != Z_OK) {
            AbortNewEntry();
            ThrowZlib(r, ArchivePath());
        }
    }
}

void CZipBundle::AbortNewEntry() noexcept
{
    if (m_openState != 1)
        return;
    m_stream.reset();
    m_headers.pop_back();
    m_current = -1;
    // Single volume: the next entry or the directory overwrites it, and the file is cut at close.
    if (m_storage.Volume() == m_entryVolume)
        m_storage.DiscardFrom(m_entryStart);
    m_dataFill = 0;
    m_openState = 0;
}

void CZipBundle::FlushData()
{
    if (m_dataFill == 0)
        return;
    m_storage.Write(m_data.data(), m_dataFill, false);
    m_compDone += m_dataFill;
    m_dataFill = 0;
    if (m_compDone >= kMax32)
        ThrowZip(CZipException::Generic, ArchivePath(), EFBIG);
}

bool CZipBundle::WriteNewEntry(const void* data, size_t length)
{
    if (m_openState != 1)
        return false;
    try {
        const auto* p = static_cast<const unsigned char*>(data);
        while (length > 0) {
            const size_t n = std::min(length, kMaxChunk);
            m_crc = static_cast<uint32_t>(crc32(m_crc, p, static_cast<uInt>(n)));
            m_uncompDone += n;
            if (m_uncompDone >= kMax32)
                ThrowZip(CZipException::Generic, ArchivePath(), EFBIG);
            if (m_stream) {
                z_stream& z = m_stream->z;
                z.next_in = const_cast<Bytef*>(p);
                z.avail_in = static_cast<uInt>(n);
                while (z.avail_in > 0) {
                    z.next_out = m_data.data() + m_dataFill;
                    z.avail_out = static_cast<uInt>(m_data.size() - m_dataFill);
                    const int r = deflate(&z, Z_NO_FLUSH);
                    if (r != Z_OK)
                        ThrowZlib(r, ArchivePath());
                    m_dataFill = m_data.size() - z.avail_out;
                    if (m_dataFill == m_data.size())
                        FlushData();
                }
            } else {
                size_t done = 0;
                while (done < n) {
                    const size_t k = std::min(n - done, m_data.size() - m_dataFill);
                    std::memcpy(m_data.data() + m_dataFill, p + done, k);
                    m_dataFill += k;
                    done += k;
                    if (m_dataFill == m_data.size())
                        FlushData();
                }
            }
            p += n;
            length -= n;
        }
    } catch (...) {
        AbortNewEntry();
        throw;
    }
    return true;
}

bool CZipBundle::CloseNewEntry()
{
    if (m_openState != 1)
        return false;
    try {
        if (m_stream) {
            z_stream& z = m_stream->z;
            z.next_in = nullptr;
            z.avail_in = 0;
            for (;;) {
                z.next_out = m_data.data() + m_dataFill;
                z.avail_out = static_cast<uInt>(m_data.size() - m_dataFill);
                const int r = deflate(&z, Z_FINISH);
                m_dataFill = m_data.size() - z.avail_out;
                if (r == Z_STREAM_END)
                    break;
                if (r != Z_OK && !(r == Z_BUF_ERROR && z.avail_out == 0))
                    ThrowZlib(r, ArchivePath());
                if (m_dataFill == m_data.size())
                    FlushData();
            }
        }
        FlushData();
        m_stream.reset();

        CZipEntryInfo& header = m_headers[static_cast<size_t>(m_current)];
        header.m_crc32 = m_crc;
        header.m_compressedSize = static_cast<uint32_t>(m_compDone);
        header.m_uncompressedSize = static_cast<uint32_t>(m_uncompDone);
        unsigned char values[12];
        Put32(values, header.m_crc32);
        Put32(values + 4, header.m_compressedSize);
        Put32(values + 8, header.m_uncompressedSize);
        if (header.HasDataDescriptor()) {
            unsigned char descriptor[kDescriptorSize];
            Put32(descriptor, kDescriptorSig);
            std::memcpy(descriptor + 4, values, sizeof values);
            m_storage.Write(descriptor, sizeof descriptor, true);
        } else {
            m_storage.Overwrite(m_entryStart + 14, values, sizeof values);
        }
        m_dataEnd = m_storage.Position();
    } catch (...) {
        AbortNewEntry();
        throw;
    }
    m_openState = 0;
    m_current = -1;
    return true;
}

bool CZipBundle::SetEntryExtraField(const void* data, size_t length)
{
    if (m_openState != 1 || length == 0)
        return false;
    m_headers[static_cast<size_t>(m_current)].m_extraField.assign(static_cast<const char*>(data),
                                                                  std::min(length, kMaxField));
    return true;
}

bool CZipBundle::ReadEntryInfo(CZipEntryInfo& info, uint16_t index) const
{
    if (!m_open || index >= m_headers.size())
        return false;
    info = m_headers[index];
    info.m_name = ExternalName(m_headers[index]);
    return true;
}

bool CZipBundle::OpenEntry(uint16_t index)
{
    if (!m_open || index >= m_headers.size() || m_storage.IsCreatingMulti() || m_openState != 0)
        return false;
    const CZipEntryInfo& header = m_headers[index];
    if (m_storage.IsExistingMulti())
        m_storage.SeekVolume(header.m_volumeStart, header.m_localHeaderOffset);
    else
        m_storage.Seek(m_bytesBefore + header.m_localHeaderOffset);

    unsigned char local[kLocalSize];
    m_storage.Read(local, sizeof local);
    const uint16_t flags = Get16(local + 6);
    const uint16_t method = Get16(local + 8);
    const bool descriptor = (flags & CZipEntryInfo::kFlagDataDescriptor) != 0;
    bool ok = Get32(local) == kLocalSig && method == header.m_method && (method == 0 || method == 8)
        && Get16(local + 26) == header.m_name.size()
        && (method == 8 || header.m_compressedSize == header.m_uncompressedSize);
    // Info-ZIP writing into a seekable output marks the local sizes for a zip64 block that
    // repeats the central ones.
    const bool localMarked = Get32(local + 18) == kMax32 && Get32(local + 22) == kMax32;
    if (ok && !descriptor)
        ok = Get32(local + 14) == header.m_crc32
            && (localMarked
                || (Get32(local + 18) == header.m_compressedSize && Get32(local + 22) == header.m_uncompressedSize));
    if (!ok)
        ThrowZip(CZipException::BadArchive, ArchivePath());
    std::string name(Get16(local + 26), '\0');
    std::string extra(Get16(local + 28), '\0');
    m_storage.Read(name.data(), name.size());
    m_storage.Read(extra.data(), extra.size());
    // A streamed entry announces 8-byte sizes in its descriptor by a zip64 block; anywhere else
    // that block may only repeat the central sizes.
    const bool zip64 = HasExtraBlock(extra, kZip64ExtraId);
    const bool repeatsSizes =
        !descriptor && localMarked && Zip64BlockSizesAre(extra, header.m_uncompressedSize, header.m_compressedSize);
    if (name != header.m_name || (!descriptor && (zip64 || localMarked) && !repeatsSizes))
        ThrowZip(CZipException::BadArchive, ArchivePath());

    if (method == 8) {
        auto stream = std::make_unique<CZipStream>();
        const int r = stream->InitInflate();
        if (r != Z_OK)
            ThrowZlib(r, ArchivePath());
        m_stream = std::move(stream);
    }
    m_current = index;
    m_compLeft = header.m_compressedSize;
    m_uncompLeft = header.m_uncompressedSize;
    m_crc = 0;
    m_inPos = m_inAvail = 0;
    m_streamEnded = false;
    m_readDescriptor = descriptor;
    m_descriptor64 = zip64;
    m_openState = -1;
    return true;
}

void CZipBundle::Refill()
{
    const size_t n = static_cast<size_t>(std::min<uint64_t>(m_data.size(), m_compLeft));
    m_storage.Read(m_data.data(), n);
    m_compLeft -= n;
    m_inPos = 0;
    m_inAvail = n;
}

size_t CZipBundle::ReadEntry(void* buffer, size_t size)
{
    if (m_openState != -1 || m_streamEnded)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    // At most 0xFFFFFFFF: ZIP32 sizes fit zlib's counters.
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, m_uncompLeft));
    size_t delivered = 0;
    try {
        if (m_stream) {
            z_stream& z = m_stream->z;
            z.next_out = out;
            z.avail_out = static_cast<uInt>(want);
            while (z.avail_out > 0) {
                if (m_inAvail == 0 && m_compLeft > 0)
                    Refill();
                z.next_in = m_data.data() + m_inPos;
                z.avail_in = static_cast<uInt>(m_inAvail);
                const int r = inflate(&z, Z_SYNC_FLUSH);
                m_inPos += m_inAvail - z.avail_in;
                m_inAvail = z.avail_in;
                if (r == Z_STREAM_END) {
                    m_streamEnded = true;
                    break;
                }
                if (r == Z_OK)
                    continue;
                if (r == Z_BUF_ERROR && m_inAvail == 0 && m_compLeft == 0)
                    ThrowZip(CZipException::BadArchive, ArchivePath()); // the compressed data ended early
                ThrowZlib(r, ArchivePath());
            }
            delivered = want - z.avail_out;
        } else {
            while (delivered < want) {
                if (m_inAvail == 0) {
                    if (m_compLeft == 0)
                        break;
                    Refill();
                }
                const size_t n = std::min(want - delivered, m_inAvail);
                std::memcpy(out + delivered, m_data.data() + m_inPos, n);
                m_inPos += n;
                m_inAvail -= n;
                delivered += n;
            }
        }
    } catch (...) {
        AbortEntryRead();
        throw;
    }
    m_crc = static_cast<uint32_t>(crc32(m_crc, out, static_cast<uInt>(delivered)));
    m_uncompLeft -= delivered;
    return delivered;
}

void CZipBundle::CheckStreamEnd()
{
    // Once the entry's size is delivered the deflate stream must end, exactly where the entry's
    // compressed data ends: whatever it holds beyond either is not what the headers describe.
    if (!m_stream)
        return;
    z_stream& z = m_stream->z;
    unsigned char beyond = 0;
    while (!m_streamEnded) {
        if (m_inAvail == 0 && m_compLeft > 0)
            Refill();
        z.next_in = m_data.data() + m_inPos;
        z.avail_in = static_cast<uInt>(m_inAvail);
        z.next_out = &beyond;
        z.avail_out = 1;
        const int r = inflate(&z, Z_SYNC_FLUSH);
        m_inPos += m_inAvail - z.avail_in;
        m_inAvail = z.avail_in;
        if (z.avail_out == 0)
            ThrowZip(CZipException::BadArchive, ArchivePath()); // more data than the headers say
        if (r == Z_STREAM_END)
            m_streamEnded = true;
        else if (r == Z_BUF_ERROR && m_inAvail == 0 && m_compLeft == 0)
            ThrowZip(CZipException::BadArchive, ArchivePath());
        else if (r != Z_OK)
            ThrowZlib(r, ArchivePath());
    }
    if (m_inAvail != 0 || m_compLeft != 0)
        ThrowZip(CZipException::BadArchive, ArchivePath()); // the stream ended before its data
}

void CZipBundle::CheckDataDescriptor(const CZipEntryInfo& header)
{
    // The signature is optional; without it the values follow the data directly. Sizes take
    // 8 bytes each after a local zip64 block (what zip writes when it streams).
    const size_t sizeBytes = m_descriptor64 ? 8 : 4;
    unsigned char d[24];
    m_storage.Read(d, 4);
    unsigned char* v = d;
    if (Get32(d) == kDescriptorSig) {
        v = d + 4;
        m_storage.Read(v, 4);
    }
    m_storage.Read(v + 4, 2 * sizeBytes);
    const uint64_t compressed = m_descriptor64 ? Get64(v + 4) : Get32(v + 4);
    const uint64_t uncompressed = m_descriptor64 ? Get64(v + 12) : Get32(v + 8);
    if (Get32(v) != header.m_crc32 || compressed != header.m_compressedSize
        || uncompressed != header.m_uncompressedSize)
        ThrowZip(CZipException::BadArchive, ArchivePath());
}

bool CZipBundle::CloseEntry(int targetFd)
{
    if (m_openState != -1)
        return false;
    const CZipEntryInfo& header = m_headers[static_cast<size_t>(m_current)];
    try {
        if (m_uncompLeft == 0) {
            CheckStreamEnd();
            if (m_crc != header.m_crc32)
                ThrowZip(CZipException::BadCrc, ArchivePath());
            if (m_readDescriptor)
                CheckDataDescriptor(header);
        }
    } catch (...) {
        AbortEntryRead();
        throw;
    }
    const bool ok = targetFd < 0 || ApplyTimeAndAttributes(targetFd, header);
    AbortEntryRead();
    return ok;
}

void CZipBundle::AbortEntryRead() noexcept
{
    if (m_openState != -1)
        return;
    m_stream.reset();
    m_inPos = m_inAvail = 0;
    m_openState = 0;
    m_current = -1;
}

uint64_t CZipBundle::ExtractionLimit(uint32_t compressedSize, uint64_t roomLeft)
{
    return std::min(std::max(kMostExpansion * compressedSize, kAlwaysAllowed), roomLeft);
}

bool CZipBundle::ExtractEntry(uint16_t index, const std::string& folder, unsigned bufferSize, std::string* placed)
{
    if (bufferSize == 0)
        return false;
    CZipEntryInfo info;
    if (!ReadEntryInfo(info, index))
        return false;
    if (!IsSafeName(info.m_name))
        ThrowZip(CZipException::BadArchive, ArchivePath());

    std::string target = folder;
    while (!target.empty() && target.back() == '/')
        target.pop_back();
    if (target.empty() && folder.empty())
        target.push_back('.');
    target += '/';
    target += info.m_name;

    namespace fs = std::filesystem;
    std::error_code ec;
    if (info.IsDirectory()) {
        while (target.size() > 1 && target.back() == '/')
            target.pop_back();
        fs::create_directories(target, ec);
        if (ec)
            ThrowZip(CZipException::Generic, target, ec.value());
        return true;
    }

    const fs::path parent = fs::path(target).parent_path();
    const uint64_t limit = ExtractionLimit(info.m_compressedSize, HalfTheFreeSpace(parent));
    if (info.m_uncompressedSize > limit)
        ThrowZip(CZipException::TooLarge, target);
    if (!OpenEntry(index))
        return false;
    CBigFile out;
    bool created = false;
    fs::path firstNewFolder; // the outermost folder this extraction creates
    for (fs::path p = parent; !p.empty() && !fs::exists(p, ec) && p != p.parent_path(); p = p.parent_path())
        firstNewFolder = p;
    try {
        fs::create_directories(parent, ec);
        if (ec)
            ThrowZip(CZipException::Generic, target, ec.value());
        // Written under a temporary name: a damaged entry never leaves a file that looks complete.
        out.CreateBeside(target);
        created = true;
        std::vector<unsigned char> chunk(std::min<size_t>(bufferSize, kMaxChunk));
        uint64_t written = 0;
        for (;;) {
            const size_t n = ReadEntry(chunk.data(), chunk.size());
            // Never past the limit, whatever the reader delivers.
            if (written + n > limit)
                ThrowZip(CZipException::TooLarge, target);
            out.WriteAt(chunk.data(), n, written);
            written += n;
            if (n < chunk.size())
                break;
        }
        if (m_uncompLeft != 0)
            ThrowZip(CZipException::BadArchive, ArchivePath()); // shorter than its header says
        CloseEntry(out.Fd());
        // On the disk before it has its name: never an empty or partial file under that name.
        out.Sync();
        out.Close();
        if (placed) {
            *placed = RenameWithoutReplacing(out.Path(), target);
            if (placed->empty())
                ThrowZip(CZipException::Generic, target, errno);
        } else if (std::rename(out.Path().c_str(), target.c_str()) != 0) {
            ThrowZip(CZipException::Generic, target, errno);
        }
    } catch (...) {
        AbortEntryRead();
        if (created) {
            out.Abandon();
            ::unlink(out.Path().c_str());
        }
        // Folders made for this file go too, innermost first; anything put in them meanwhile stays.
        for (fs::path p = parent; !firstNewFolder.empty() && fs::remove(p, ec) && p != firstNewFolder;)
            p = p.parent_path();
        throw;
    }
    return true;
}

std::u16string CZipBundle::FoldCase(const std::string& name)
{
    // Latin and Cyrillic letters: what the system's names are made of.
    std::u16string text = Utf8ToUtf16(name);
    for (char16_t& c : text) {
        if ((c >= u'A' && c <= u'Z') || (c >= 0x0410 && c <= 0x042F))
            c = static_cast<char16_t>(c + 0x20);
        else if (c >= 0x0400 && c <= 0x040F)
            c = static_cast<char16_t>(c + 0x50);
    }
    return text;
}

int CZipBundle::FindEntry(const std::string& name, bool caseSensitive) const
{
    const std::u16string wanted = caseSensitive ? Utf8ToUtf16(name) : FoldCase(name);
    CZipEntryInfo info;
    for (size_t i = 0; i < m_headers.size(); ++i) {
        ReadEntryInfo(info, static_cast<uint16_t>(i));
        if ((caseSensitive ? Utf8ToUtf16(info.m_name) : FoldCase(info.m_name)) == wanted)
            return static_cast<int>(i);
    }
    return -1;
}

int CZipBundle::GetCurrentVolume() const
{
    return m_open ? m_storage.Volume() : -1;
}

void CZipBundle::SetChangeDiskCallback(CZipStorage::ChangeDiskCallback callback)
{
    m_storage.m_changeDisk = std::move(callback);
}

bool CZipBundle::SetBufferSizes(unsigned writeBuffer, unsigned dataBuffer, unsigned searchBuffer)
{
    if (m_open)
        return false;
    m_storage.m_writeBufferSize = std::max(writeBuffer, 1024u);
    m_dataSize = std::max(dataBuffer, 1024u);
    m_searchSize = std::max(searchBuffer, 1024u);
    return true;
}
