// The zip archive component of the mail plug-in: single-volume archives (read, create, modify)
// and fixed-size multi-volume archives, deflate and stored entries.
//
// Names cross the interface as UTF-8 with "/" separators; inside the archive they are stored in
// code page 866 (see m_oemNames). Damaged data, zlib and storage errors throw CZipException;
// calls made in the wrong state return false without throwing.
#pragma once

#include "ZipEntryInfo.h"
#include "ZipException.h"
#include "ZipStorage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CZipStream;

class CZipBundle {
public:
    enum OpenMode {
        ModeOpen = 0, // existing archive, read and write; a changed copy replaces it at close
        ModeOpenReadOnly = 1,
        ModeCreate = 2,     // new archive; it replaces the file of that name at close
        ModeCreateSpan = 3, // new multi-volume archive; needs a volume size
    };
    static constexpr size_t kMaxEntries = 65535;

    CZipBundle();
    ~CZipBundle();
    CZipBundle(const CZipBundle&) = delete;
    CZipBundle& operator=(const CZipBundle&) = delete;

    void SetStoreNameOnly(int flag) { m_storeNameOnly = flag != 0; }
    // False when an archive is already open.
    bool OpenArchive(const std::string& path, int mode, int volumeSize = 0);
    // Adds a disk file (or folder) as one entry; false when it cannot be read or the state is wrong,
    // in which case nothing is written.
    bool AddFileFromDisk(const std::string& path, int level = -1, unsigned bufferSize = 65535);
    bool ReadEntryInfo(CZipEntryInfo& info, uint16_t index) const;
    // Writes the entry to folder + "/" + its name; the file appears only when it is complete and
    // its CRC matches. Names that would lead outside `folder` throw BadArchive; an entry larger
    // than ExtractionLimit (with half the folder's free space as the room) throws TooLarge, and
    // nothing of it stays. With `placed`, no file is replaced: an entry whose name is taken gets a
    // numbered one (NumberedName), and `placed` the path written.
    bool ExtractEntry(uint16_t index, const std::string& folder, unsigned bufferSize = 65535,
                      std::string* placed = nullptr);
    // What an entry may grow to: 100 times its compressed size, at least 16 MiB, at most roomLeft.
    static uint64_t ExtractionLimit(uint32_t compressedSize, uint64_t roomLeft);
    // Writes the central directory unless `afterException`, which drops what can be dropped.
    void CloseArchive(bool afterException = false);
    bool IsOpen() const { return m_open; }

    int FindEntry(const std::string& name, bool caseSensitive) const;
    bool DeleteEntries(std::vector<uint16_t> indices);
    bool DeleteEntries(const std::vector<std::string>& names);
    std::string GetArchiveComment() const;
    bool SetArchiveComment(std::string comment);
    bool SetEntryComment(uint16_t index, std::string comment);
    // Only while closed; each size is at least 1024.
    bool SetBufferSizes(unsigned writeBuffer, unsigned dataBuffer, unsigned searchBuffer);
    // Only while an entry is open for writing: the extra field of its central header.
    bool SetEntryExtraField(const void* data, size_t length);
    int GetCurrentVolume() const;
    void SetChangeDiskCallback(CZipStorage::ChangeDiskCallback callback);

    // Entry-level operations that the ones above are made of.
    bool OpenNewEntry(CZipEntryInfo header, int level, const std::string& diskPath = {});
    bool WriteNewEntry(const void* data, size_t length);
    bool CloseNewEntry();
    bool OpenEntry(uint16_t index);
    size_t ReadEntry(void* buffer, size_t size);
    // Checks the CRC (when the whole entry was read) and the data descriptor; with a descriptor
    // sets the file's time and attributes and returns whether that worked.
    bool CloseEntry(int targetFd = -1);

    bool m_convertSlashes = true; // "\" in names becomes "/"
    bool m_oemNames = true;       // names stored in code page 866

private:
    bool CanAddEntry() const;
    void StartNewEntry(CZipEntryInfo header, int level);
    void AbortNewEntry() noexcept;
    void AbortEntryRead() noexcept;
    void FlushData();
    void Refill();
    void CheckStreamEnd();
    void CheckDataDescriptor(const CZipEntryInfo& header);
    std::string StoredName(const std::string& name) const;
    std::string ExternalName(const CZipEntryInfo& header) const;
    static std::u16string FoldCase(const std::string& name);
    void ReadCentralDirectory();
    void CheckEntrySpans();
    void WriteCentralDirectory();
    bool ConvertToSingleVolume();
    void ResetArchive();
    const std::string& ArchivePath() const { return m_storage.Path(); }

    CZipStorage m_storage;
    std::unique_ptr<CZipStream> m_stream;
    std::vector<unsigned char> m_data;
    size_t m_dataSize = 16384;
    size_t m_searchSize = 32768;
    size_t m_dataFill = 0; // writing: compressed bytes waiting in m_data
    size_t m_inPos = 0;    // reading: unread part of m_data
    size_t m_inAvail = 0;
    uint64_t m_compLeft = 0;
    uint64_t m_uncompLeft = 0;
    uint64_t m_compDone = 0;
    uint64_t m_uncompDone = 0;
    uint32_t m_crc = 0;
    bool m_streamEnded = false;
    bool m_readDescriptor = false;
    bool m_descriptor64 = false; // the entry's descriptor has 8-byte sizes
    int8_t m_openState = 0;      // 0 none, 1 writing, -1 reading
    int m_current = -1;
    uint64_t m_entryStart = 0; // where the entry being written starts on its volume
    int m_entryVolume = 0;

    std::vector<CZipEntryInfo> m_headers; // names as stored
    std::string m_comment;
    uint64_t m_bytesBefore = 0;
    uint64_t m_dataEnd = 0;   // single volume: where the entries end and the directory begins
    bool m_dirOnDisk = false; // the file holds the current directory at m_dataEnd
    bool m_dirDirty = false;

    bool m_open = false;
    bool m_storeNameOnly = false;
};
