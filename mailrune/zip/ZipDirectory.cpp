// The central directory of CZipBundle: finding and reading it, writing it at close, deleting
// entries, comments, and turning a multi-volume archive that fitted on one volume into a plain one.
#include "ZipBundle.h"

#include "Codepage.h"
#include "ZipRecords.h"
#include "ZipStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace ziprec;

namespace {

constexpr uint64_t kEndSearchSpan = kEndSize + kMaxField;

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// A name that can become a file name: UTF-8 when flagged so, and no control characters.
bool IsReadableName(const CZipEntryInfo& h)
{
    if (h.m_flags & CZipEntryInfo::kFlagUtf8) {
        const std::u16string text = Utf8ToUtf16(h.m_name);
        if (Utf16ToUtf8(text) != h.m_name) // invalid sequences came back as U+FFFD
            return false;
        return std::none_of(text.begin(), text.end(), IsControl);
    }
    // Both single-byte code pages of the system keep ASCII below 0x80.
    return std::none_of(h.m_name.begin(), h.m_name.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Values that point to zip64 records, which hold the real ones.
bool HasZip64Marker(const CZipEntryInfo& h)
{
    return h.m_compressedSize == kMax32 || h.m_uncompressedSize == kMax32 || h.m_localHeaderOffset == kMax32
        || h.m_volumeStart == kMax16 || HasExtraBlock(h.m_extraField, kZip64ExtraId);
}

// Bytes of zip64 end records (record and locator) standing right before the classic end
// record at `found`; 0 when there are none. Records that could change what the classic one
// says (other values, more volumes, an extensible part) make the archive unreadable here.
uint64_t Zip64EndRecordsBefore(CBigFile& file, uint64_t found, uint16_t volume, uint16_t total, uint32_t dirSize,
                               uint32_t dirOffset, const std::string& path)
{
    constexpr uint32_t kZip64EndSig = 0x06064b50;
    constexpr size_t kZip64EndSize = 56;
    unsigned char locator[kZip64LocatorSize];
    if (found < kZip64LocatorSize || file.ReadAt(locator, sizeof locator, found - kZip64LocatorSize) != sizeof locator
        || Get32(locator) != kZip64LocatorSig)
        return 0;
    unsigned char end[kZip64EndSize];
    const uint64_t records = kZip64LocatorSize + kZip64EndSize;
    if (found < records || file.ReadAt(end, sizeof end, found - records) != sizeof end || Get32(end) != kZip64EndSig
        || Get64(end + 4) != kZip64EndSize - 12 || volume != 0 || Get32(locator + 4) != 0 || Get32(locator + 16) != 1
        || Get32(end + 16) != 0 || Get32(end + 20) != 0 || Get64(end + 24) != total || Get64(end + 32) != total
        || Get64(end + 40) != dirSize || Get64(end + 48) != dirOffset
        || Get64(locator + 8) != uint64_t(dirOffset) + dirSize)
        ThrowZip(CZipException::BadArchive, path);
    return records;
}

} // namespace

void CZipBundle::ReadCentralDirectory()
{
    const std::string& path = ArchivePath();
    const uint64_t length = m_storage.Length();
    if (length < kEndSize)
        ThrowZip(CZipException::BadArchive, path);

    // Backwards in overlapping chunks through the last 22 + 65535 bytes; the last signature wins.
    const uint64_t lowest = length > kEndSearchSpan ? length - kEndSearchSpan : 0;
    const uint64_t highest = length - kEndSize; // a record must fit before the end of the file
    std::vector<unsigned char> chunk(std::max<size_t>(m_searchSize, 1024));
    uint64_t chunkEnd = length;
    uint64_t found = UINT64_MAX;
    for (;;) {
        const uint64_t chunkStart = chunkEnd - std::min<uint64_t>(chunkEnd - lowest, chunk.size());
        const size_t n = static_cast<size_t>(chunkEnd - chunkStart);
        if (m_storage.File().ReadAt(chunk.data(), n, chunkStart) != n)
            ThrowZip(CZipException::BadArchive, path);
        for (size_t i = n >= 4 ? n - 4 + 1 : 0; i-- > 0;) {
            if (chunkStart + i <= highest && Get32(chunk.data() + i) == kEndSig) {
                found = chunkStart + i;
                break;
            }
        }
        if (found != UINT64_MAX || chunkStart == lowest)
            break;
        chunkEnd = chunkStart + 3;
    }
    if (found == UINT64_MAX)
        ThrowZip(CZipException::BadArchive, path);

    unsigned char end[kEndSize];
    m_storage.Seek(found);
    m_storage.Read(end, sizeof end);
    const uint16_t thisVolume = Get16(end + 4);
    const uint16_t dirVolume = Get16(end + 6);
    const uint16_t total = Get16(end + 10);
    const uint32_t dirSize = Get32(end + 12);
    const uint32_t dirOffset = Get32(end + 16);
    m_comment.assign(Get16(end + 20), '\0');
    m_storage.Read(m_comment.data(), m_comment.size());
    if ((dirSize == 0) != (total == 0) || dirVolume > thisVolume)
        ThrowZip(CZipException::BadArchive, path);
    if (thisVolume == kMax16 || dirSize == kMax32 || dirOffset == kMax32)
        ThrowZip(CZipException::BadArchive, path); // a zip64 archive
    // Info-ZIP writes zip64 end records into any seekable output; they are harmless only
    // when they repeat what the classic record says.
    const uint64_t dirEnd =
        found - Zip64EndRecordsBefore(m_storage.File(), found, thisVolume, total, dirSize, dirOffset, path);

    m_storage.SettleKind(thisVolume);
    if (thisVolume == 0) {
        if (dirEnd < uint64_t(dirOffset) + dirSize)
            ThrowZip(CZipException::BadArchive, path);
        m_bytesBefore = dirEnd - dirSize - dirOffset;
        m_dataEnd = m_bytesBefore + dirOffset;
        m_storage.Seek(m_dataEnd);
    } else {
        m_bytesBefore = 0;
        m_storage.SeekVolume(dirVolume, dirOffset);
    }

    m_headers.reserve(total);
    for (uint16_t i = 0; i < total; ++i) {
        unsigned char c[kCentralSize];
        m_storage.Read(c, sizeof c);
        if (Get32(c) != kCentralSig)
            ThrowZip(CZipException::BadArchive, path);
        CZipEntryInfo h;
        h.m_versionMadeBy = Get16(c + 4);
        h.m_versionNeeded = Get16(c + 6);
        h.m_flags = Get16(c + 8);
        h.m_method = Get16(c + 10);
        h.m_modTime = Get16(c + 12);
        h.m_modDate = Get16(c + 14);
        h.m_crc32 = Get32(c + 16);
        h.m_compressedSize = Get32(c + 20);
        h.m_uncompressedSize = Get32(c + 24);
        h.m_volumeStart = Get16(c + 34);
        h.m_internalAttr = Get16(c + 36);
        h.m_externalAttr = Get32(c + 38);
        h.m_localHeaderOffset = Get32(c + 42);
        h.m_name.assign(Get16(c + 28), '\0');
        h.m_extraField.assign(Get16(c + 30), '\0');
        h.m_comment.assign(Get16(c + 32), '\0');
        m_storage.Read(h.m_name.data(), h.m_name.size());
        m_storage.Read(h.m_extraField.data(), h.m_extraField.size());
        m_storage.Read(h.m_comment.data(), h.m_comment.size());
        if (HasZip64Marker(h) || !IsReadableName(h))
            ThrowZip(CZipException::BadArchive, path);
        m_headers.push_back(std::move(h));
    }
    if (thisVolume == 0)
        CheckEntrySpans();
    m_dirOnDisk = true;
    m_dirDirty = false;
}

void CZipBundle::CheckEntrySpans()
{
    // Every entry's local header, data and descriptor lie apart, before the directory: entries
    // that share or quote each other's bytes would unpack far more than the file holds, and an
    // offset past the data would send deletion far beyond the end of the file.
    struct Span {
        uint64_t start;
        uint64_t end;
    };
    std::vector<Span> spans;
    spans.reserve(m_headers.size());
    CBigFile& file = m_storage.File();
    for (const CZipEntryInfo& h : m_headers) {
        const uint64_t start = m_bytesBefore + h.m_localHeaderOffset;
        unsigned char local[kLocalSize];
        if (start + kLocalSize > m_dataEnd || file.ReadAt(local, sizeof local, start) != sizeof local)
            ThrowZip(CZipException::BadArchive, ArchivePath());
        uint64_t end = start + kLocalSize + Get16(local + 26) + Get16(local + 28) + h.m_compressedSize;
        if (h.HasDataDescriptor())
            end += 12; // the shortest descriptor: no signature, 4-byte sizes
        spans.push_back({start, end});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    uint64_t reached = m_bytesBefore;
    for (const Span& span : spans) {
        if (span.start < reached)
            ThrowZip(CZipException::BadArchive, ArchivePath());
        reached = span.end;
    }
    if (reached > m_dataEnd)
        ThrowZip(CZipException::BadArchive, ArchivePath());
}

void CZipBundle::WriteCentralDirectory()
{
    if (m_dirOnDisk && !m_dirDirty)
        return;
    if (m_storage.IsExistingMulti())
        return; // nothing in such an archive can change
    if (m_storage.IsCreatingMulti() && m_storage.Volume() == 0)
        ConvertToSingleVolume();
    const bool multi = m_storage.IsCreatingMulti();
    if (!multi) {
        m_storage.BeginChange();
        if (m_dirOnDisk)
            m_storage.Truncate(m_dataEnd);
        m_storage.Seek(m_dataEnd);
    }
    if (m_comment.size() > kMaxField)
        m_comment.resize(kMaxField);

    const auto relative = [&](uint64_t position) {
        const uint64_t value = position - (multi ? 0 : m_bytesBefore);
        if (value >= kMax32)
            ThrowZip(CZipException::Generic, ArchivePath(), EFBIG);
        return static_cast<uint32_t>(value);
    };

    int dirVolume = -1;
    uint32_t dirOffset = 0;
    uint64_t dirSize = 0;
    int lastVolume = -1;
    uint16_t onLastVolume = 0;
    for (const CZipEntryInfo& h : m_headers) {
        std::string c;
        Append32(c, kCentralSig);
        Append16(c, h.m_versionMadeBy);
        Append16(c, h.m_versionNeeded);
        Append16(c, h.m_flags);
        Append16(c, h.m_method);
        Append16(c, h.m_modTime);
        Append16(c, h.m_modDate);
        Append32(c, h.m_crc32);
        Append32(c, h.m_compressedSize);
        Append32(c, h.m_uncompressedSize);
        Append16(c, static_cast<uint16_t>(h.m_name.size()));
        Append16(c, static_cast<uint16_t>(h.m_extraField.size()));
        Append16(c, static_cast<uint16_t>(std::min(h.m_comment.size(), kMaxField)));
        Append16(c, h.m_volumeStart);
        Append16(c, h.m_internalAttr);
        Append32(c, h.m_externalAttr);
        Append32(c, h.m_localHeaderOffset);
        c += h.m_name;
        c += h.m_extraField;
        c.append(h.m_comment, 0, kMaxField);

        m_storage.AssureFree(c.size());
        if (dirVolume < 0) {
            dirVolume = m_storage.Volume();
            dirOffset = relative(m_storage.Position());
        }
        if (m_storage.Volume() != lastVolume) {
            lastVolume = m_storage.Volume();
            onLastVolume = 0;
        }
        m_storage.Write(c.data(), c.size(), true);
        ++onLastVolume;
        dirSize += c.size();
    }

    const size_t endLength = kEndSize + m_comment.size();
    m_storage.AssureFree(endLength);
    if (dirVolume < 0) {
        dirVolume = m_storage.Volume();
        dirOffset = relative(m_storage.Position());
    }
    if (m_storage.Volume() != lastVolume)
        onLastVolume = 0;
    if (dirSize >= kMax32)
        ThrowZip(CZipException::Generic, ArchivePath(), EFBIG);
    std::string end;
    Append32(end, kEndSig);
    Append16(end, static_cast<uint16_t>(m_storage.Volume()));
    Append16(end, static_cast<uint16_t>(dirVolume));
    Append16(end, onLastVolume);
    Append16(end, static_cast<uint16_t>(m_headers.size()));
    Append32(end, static_cast<uint32_t>(dirSize));
    Append32(end, dirOffset);
    Append16(end, static_cast<uint16_t>(m_comment.size()));
    end += m_comment;
    m_storage.Write(end.data(), end.size(), true);
    // Drop whatever an abandoned entry or a deletion left behind the end record.
    m_storage.Truncate(m_storage.Position());
    m_dirOnDisk = true;
    m_dirDirty = false;
}

bool CZipBundle::ConvertToSingleVolume()
{
    CBigFile& file = m_storage.File();
    const std::string& path = file.Path();

    std::vector<uint64_t> localLength(m_headers.size());
    uint64_t total = 0;
    uint64_t directory = kEndSize + std::min(m_comment.size(), kMaxField);
    for (size_t i = 0; i < m_headers.size(); ++i) {
        const CZipEntryInfo& h = m_headers[i];
        unsigned char local[kLocalSize];
        if (file.ReadAt(local, sizeof local, h.m_localHeaderOffset) != sizeof local)
            ThrowZip(CZipException::BadArchive, path);
        localLength[i] = kLocalSize + Get16(local + 26) + Get16(local + 28);
        total += localLength[i] + h.m_compressedSize;
        directory += kCentralSize + h.m_name.size() + h.m_extraField.size() + std::min(h.m_comment.size(), kMaxField);
    }
    if (total + directory > m_storage.VolumeSize())
        return false;

    // Entries lie in offset order, so moving each one down in turn never overwrites unread data.
    uint64_t target = 0;
    for (size_t i = 0; i < m_headers.size(); ++i) {
        CZipEntryInfo& h = m_headers[i];
        const uint64_t source = h.m_localHeaderOffset;
        const uint64_t length = localLength[i] + h.m_compressedSize;
        for (uint64_t done = 0; done < length;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(m_data.size(), length - done));
            if (file.ReadAt(m_data.data(), n, source + done) != n)
                ThrowZip(CZipException::BadArchive, path);
            file.WriteAt(m_data.data(), n, target + done);
            done += n;
        }
        h.m_flags &= static_cast<uint16_t>(~CZipEntryInfo::kFlagDataDescriptor);
        unsigned char fields[16];
        Put16(fields, h.m_flags);
        file.WriteAt(fields, 2, target + 6);
        Put32(fields, h.m_crc32);
        Put32(fields + 4, h.m_compressedSize);
        Put32(fields + 8, h.m_uncompressedSize);
        file.WriteAt(fields, 12, target + 14);
        h.m_localHeaderOffset = static_cast<uint32_t>(target);
        target += length;
    }
    m_storage.BecomeSingleVolume();
    m_storage.Seek(target);
    m_dataEnd = target;
    m_bytesBefore = 0;
    return true;
}

bool CZipBundle::DeleteEntries(std::vector<uint16_t> indices)
{
    if (!m_open || m_storage.IsMultiVolume() || m_storage.IsReadOnly() || m_openState != 0)
        return false;
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    while (!indices.empty() && indices.back() >= m_headers.size())
        indices.pop_back();
    if (indices.empty())
        return true;
    // Opening checked the entries it read; this keeps a wrong offset from moving data past the end.
    for (const uint16_t index : indices)
        if (m_bytesBefore + m_headers[index].m_localHeaderOffset >= m_dataEnd)
            ThrowZip(CZipException::BadArchive, ArchivePath());

    m_storage.BeginChange();
    if (m_dirOnDisk) {
        m_storage.Truncate(m_dataEnd);
        m_dirOnDisk = false;
    }
    m_dirDirty = true;
    CBigFile& file = m_storage.File();
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        const uint32_t offset = m_headers[*it].m_localHeaderOffset;
        const uint64_t start = m_bytesBefore + offset;
        uint64_t end = m_dataEnd;
        for (const CZipEntryInfo& h : m_headers) {
            const uint64_t other = m_bytesBefore + h.m_localHeaderOffset;
            if (other > start && other < end)
                end = other;
        }
        const uint64_t length = end - start;
        for (uint64_t from = end; from < m_dataEnd;) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(m_data.size(), m_dataEnd - from));
            if (file.ReadAt(m_data.data(), n, from) != n)
                ThrowZip(CZipException::BadArchive, ArchivePath());
            file.WriteAt(m_data.data(), n, from - length);
            from += n;
        }
        m_dataEnd -= length;
        for (CZipEntryInfo& h : m_headers)
            if (h.m_localHeaderOffset > offset)
                h.m_localHeaderOffset -= static_cast<uint32_t>(length);
        m_headers.erase(m_headers.begin() + *it);
    }
    m_storage.Truncate(m_dataEnd);
    m_storage.Seek(m_dataEnd);
    return true;
}

bool CZipBundle::DeleteEntries(const std::vector<std::string>& names)
{
    if (!m_open)
        return false;
    std::vector<std::u16string> wanted;
    for (const std::string& name : names)
        wanted.push_back(FoldCase(name));
    std::vector<uint16_t> indices;
    CZipEntryInfo info;
    for (size_t i = 0; i < m_headers.size(); ++i) {
        ReadEntryInfo(info, static_cast<uint16_t>(i));
        if (std::find(wanted.begin(), wanted.end(), FoldCase(info.m_name)) != wanted.end())
            indices.push_back(static_cast<uint16_t>(i));
    }
    return DeleteEntries(std::move(indices));
}

std::string CZipBundle::GetArchiveComment() const
{
    return m_open ? m_comment : std::string();
}

bool CZipBundle::SetArchiveComment(std::string comment)
{
    if (!m_open || m_storage.IsExistingMulti() || m_storage.IsReadOnly())
        return false;
    if (comment.size() > kMaxField)
        comment.resize(kMaxField);
    m_comment = std::move(comment);
    m_dirDirty = true;
    return true;
}

bool CZipBundle::SetEntryComment(uint16_t index, std::string comment)
{
    if (!m_open || m_storage.IsExistingMulti() || m_storage.IsReadOnly() || index >= m_headers.size())
        return false;
    if (comment.size() > kMaxField)
        comment.resize(kMaxField);
    m_headers[index].m_comment = std::move(comment);
    m_dirDirty = true;
    return true;
}
