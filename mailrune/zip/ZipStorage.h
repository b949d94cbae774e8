// The archive file below CZipBundle: a write buffer, positioned access and fixed-size volumes.
#pragma once

#include "BigFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CZipStorage {
public:
    enum Kind {
        SingleVolume = 0,
        Spanned = 1, // removable disks: never possible here, every drive counts as fixed
        FixedVolumes = 2,
        PendingByDrive = 3, // opened archive, kind settled by its end record
        PendingFixed = 4,
    };
    // (volume number, bytes needed or a negative reason) -> go on?
    using ChangeDiskCallback = std::function<bool(int, int64_t)>;

    // Modes of CZipBundle::OpenArchive. Throws CZipException.
    void Open(const std::string& path, int mode, int volumeSize);
    // Flushes and gives the file its final name, or (after an exception) drops what it can.
    void Close(bool afterException);
    bool IsOpen() const { return m_open; }
    const std::string& Path() const { return m_path; }

    bool IsReadOnly() const { return m_mode == 1; }
    bool IsMultiVolume() const { return m_kind == Spanned || m_kind == FixedVolumes; }
    bool IsCreatingMulti() const { return IsMultiVolume() && m_creating; }
    bool IsExistingMulti() const { return IsMultiVolume() && !m_creating; }
    int Volume() const { return m_volume; }
    uint64_t VolumeSize() const { return m_volumeSize; }

    // Called once the end record of an opened archive names the last volume.
    void SettleKind(int lastVolume);
    // A multi-volume archive rewritten into one file keeps only its final renaming.
    void BecomeSingleVolume();
    // Called before the first change of an archive: an opened one is copied beside itself and
    // the copy is what changes, so the original stays whole until the copy replaces it at close.
    void BeginChange();

    // Appends; with `whole` the bytes are not split across volumes (headers).
    void Write(const void* data, size_t size, bool whole);
    // Moves to the next volume unless `size` bytes still fit on this one.
    void AssureFree(size_t size);
    void Flush();
    // Position on the current volume, buffered bytes included.
    uint64_t Position() const { return m_pos + m_count; }
    // Rewrites bytes already written on the current volume.
    void Overwrite(uint64_t offset, const void* data, size_t size);
    // Forgets everything from `position` on (the file is cut at close).
    void DiscardFrom(uint64_t position);
    void Seek(uint64_t position);
    void SeekVolume(int volume, uint64_t position);
    // Reads exactly `size` bytes, continuing on the next volume; BadArchive when the data ends.
    void Read(void* buffer, size_t size);
    uint64_t Length();
    void Truncate(uint64_t length);
    // Direct access for moving data around; the write buffer is flushed first.
    CBigFile& File();

    size_t m_writeBufferSize = 65535;
    ChangeDiskCallback m_changeDisk;

private:
    void OpenFiles(int mode, int volumeSize);
    std::string VolumeName(int volume) const;
    void NextVolume();
    void Buffer(const unsigned char* data, size_t size);
    void Reset();

    CBigFile m_file;
    std::string m_path;
    std::string m_title;      // path without the extension, for volume names
    std::string m_finalName;  // name the current file gets at close; empty: keeps its name
    bool m_replacing = false; // the current file is a temporary one beside m_finalName
    int m_mode = 0;
    int m_kind = SingleVolume;
    bool m_creating = false;
    bool m_open = false;
    uint64_t m_volumeSize = 0;
    int m_lastVolume = 0;
    uint64_t m_free = 0;
    int m_volume = -1;
    uint64_t m_pos = 0; // file offset of the buffer's first byte
    size_t m_count = 0; // bytes in the buffer
    std::vector<unsigned char> m_buffer;
};
