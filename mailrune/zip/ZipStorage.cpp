#include "ZipStorage.h"

#include "ZipException.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kSpanMarker[4] = {'P', 'K', 7, 8};
constexpr int kLastVolumeNumber = 998;

} // namespace

void CZipStorage::Open(const std::string& path, int mode, int volumeSize)
{
    Reset();
    m_path = path;
    m_mode = mode;
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    m_title = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(0, dot) : path;
    m_buffer.assign(std::max<size_t>(m_writeBufferSize, 1024), 0);
    try {
        OpenFiles(mode, volumeSize);
    } catch (...) {
        Reset();
        throw;
    }
    m_open = true;
}

void CZipStorage::OpenFiles(int mode, int volumeSize)
{
    const std::string& path = m_path;
    switch (mode) {
    case 0:
    case 1:
        m_file.Open(path, mode == 0 ? O_RDWR : O_RDONLY);
        m_kind = volumeSize > 0 ? PendingFixed : PendingByDrive;
        m_volume = 0;
        break;
    case 2:
        // Written beside the target and renamed over it at close: never a half-written archive.
        m_file.CreateBeside(path, true);
        m_finalName = path;
        m_replacing = true;
        m_kind = SingleVolume;
        m_volume = 0;
        break;
    case 3:
        if (volumeSize <= 0) {
            // Spanning needs removable disks, and every drive here counts as fixed.
            ThrowZip(m_changeDisk ? CZipException::NotRemovable : CZipException::NoCallback, path);
        }
        m_kind = FixedVolumes;
        m_creating = true;
        m_volumeSize = static_cast<uint64_t>(volumeSize);
        m_volume = -1;
        NextVolume();
        m_finalName = m_title + ".zip";
        Write(kSpanMarker, sizeof kSpanMarker, true);
        break;
    default:
        ThrowZip(CZipException::Generic, path, EINVAL);
    }
}

void CZipStorage::Reset()
{
    m_file.Abandon();
    m_path.clear();
    m_title.clear();
    m_finalName.clear();
    m_replacing = false;
    m_mode = 0;
    m_kind = SingleVolume;
    m_creating = false;
    m_open = false;
    m_volumeSize = 0;
    m_lastVolume = 0;
    m_free = 0;
    m_volume = -1;
    m_pos = 0;
    m_count = 0;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

void CZipStorage::Close(bool afterException)
{
    if (!m_open)
        return;
    if (afterException) {
        // A new or changed single archive was never put in place; fixed-size volumes stay as they
        // were written.
        if (m_replacing)
            ::unlink(m_file.Path().c_str());
        Reset();
        return;
    }
    if (m_file.IsOpen()) {
        Flush();
        if (!m_finalName.empty())
            m_file.Sync();
    }
    const std::string written = m_file.Path();
    m_file.Close();
    if (!m_finalName.empty() && std::rename(written.c_str(), m_finalName.c_str()) != 0)
        ThrowZip(CZipException::Generic, m_finalName, errno);
    Reset();
}

void CZipStorage::SettleKind(int lastVolume)
{
    if (lastVolume == 0) {
        m_kind = SingleVolume;
        return;
    }
    // Both pending kinds end up as fixed-size volumes: no drive is removable.
    m_kind = FixedVolumes;
    m_creating = false;
    m_lastVolume = lastVolume;
    m_volume = lastVolume;
}

void CZipStorage::BecomeSingleVolume()
{
    m_kind = SingleVolume;
    m_creating = false;
}

void CZipStorage::BeginChange()
{
    if (m_mode != 0 || m_replacing || m_kind != SingleVolume)
        return;
    Flush();
    // Through a symbolic link the file it names is replaced, as a change in place would have done.
    std::string target = m_path;
    if (char* real = ::realpath(m_path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    CBigFile copy;
    copy.CreateBeside(target, true);
    try {
        std::vector<unsigned char> chunk(size_t(1) << 20);
        uint64_t offset = 0;
        for (;;) {
            const size_t n = m_file.ReadAt(chunk.data(), chunk.size(), offset);
            copy.WriteAt(chunk.data(), n, offset);
            offset += n;
            if (n < chunk.size())
                break;
        }
    } catch (...) {
        copy.Abandon();
        ::unlink(copy.Path().c_str());
        throw;
    }
    m_file = std::move(copy);
    m_finalName = target;
    m_replacing = true;
}

std::string CZipStorage::VolumeName(int volume) const
{
    if (!m_creating && volume == m_lastVolume)
        return m_path;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03d", volume);
    return m_title + suffix;
}

void CZipStorage::NextVolume()
{
    Flush();
    if (m_volume >= 0 && m_pos == 0)
        return; // nothing on this volume yet: keep using it
    if (m_volume + 1 > kLastVolumeNumber)
        ThrowZip(CZipException::TooManyVolumes, m_path);
    m_file.Close();
    ++m_volume;
    m_file.Open(VolumeName(m_volume), O_RDWR | O_CREAT | O_TRUNC);
    m_pos = 0;
    m_free = m_volumeSize;
}

void CZipStorage::Buffer(const unsigned char* data, size_t size)
{
    while (size > 0) {
        const size_t n = std::min(size, m_buffer.size() - m_count);
        std::memcpy(m_buffer.data() + m_count, data, n);
        m_count += n;
        data += n;
        size -= n;
        if (m_count == m_buffer.size())
            Flush();
    }
}

void CZipStorage::Write(const void* data, size_t size, bool whole)
{
    const auto* p = static_cast<const unsigned char*>(data);
    if (!IsCreatingMulti()) {
        Buffer(p, size);
        return;
    }
    if (whole)
        AssureFree(size);
    while (size > 0) {
        if (m_free == 0)
            NextVolume();
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, m_free));
        Buffer(p, n);
        m_free -= n;
        p += n;
        size -= n;
    }
}

void CZipStorage::AssureFree(size_t size)
{
    // Something larger than a whole volume has to be split anyway.
    if (IsCreatingMulti() && m_free < size && size <= m_volumeSize)
        NextVolume();
}

void CZipStorage::Flush()
{
    if (m_count == 0)
        return;
    m_file.WriteAt(m_buffer.data(), m_count, m_pos);
    m_pos += m_count;
    m_count = 0;
}

void CZipStorage::Overwrite(uint64_t offset, const void* data, size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    if (offset < m_pos) {
        const size_t onDisk = static_cast<size_t>(std::min<uint64_t>(size, m_pos - offset));
        m_file.WriteAt(p, onDisk, offset);
        p += onDisk;
        offset += onDisk;
        size -= onDisk;
    }
    if (size > 0)
        std::memcpy(m_buffer.data() + (offset - m_pos), p, size);
}

void CZipStorage::DiscardFrom(uint64_t position)
{
    if (position >= m_pos) {
        m_count = static_cast<size_t>(std::min<uint64_t>(m_count, position - m_pos));
    } else {
        m_count = 0;
        m_pos = position;
    }
    if (IsCreatingMulti())
        m_free = m_volumeSize - std::min(m_volumeSize, Position());
}

void CZipStorage::Seek(uint64_t position)
{
    Flush();
    m_pos = position;
}

void CZipStorage::SeekVolume(int volume, uint64_t position)
{
    Flush();
    if (volume != m_volume) {
        if (!IsExistingMulti() || volume < 0 || volume > m_lastVolume)
            ThrowZip(CZipException::BadArchive, m_path);
        m_file.Close();
        m_file.Open(VolumeName(volume), O_RDONLY);
        m_volume = volume;
    }
    m_pos = position;
}

void CZipStorage::Read(void* buffer, size_t size)
{
    Flush();
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const size_t n = m_file.ReadAt(p, size, m_pos);
        m_pos += n;
        p += n;
        size -= n;
        if (size == 0)
            break;
        if (!IsExistingMulti() || m_volume >= m_lastVolume)
            ThrowZip(CZipException::BadArchive, m_path);
        SeekVolume(m_volume + 1, 0);
    }
}

uint64_t CZipStorage::Length()
{
    Flush();
    return m_file.Length();
}

void CZipStorage::Truncate(uint64_t length)
{
    Flush();
    m_file.SetLength(length);
}

CBigFile& CZipStorage::File()
{
    Flush();
    return m_file;
}
