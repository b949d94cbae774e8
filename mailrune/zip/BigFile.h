// A file behind a POSIX descriptor with positioned reads and writes and 64-bit offsets.
// Every failure throws CZipException (Generic, with errno).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CBigFile {
public:
    CBigFile() = default;
    ~CBigFile();
    CBigFile(const CBigFile&) = delete;
    CBigFile& operator=(const CBigFile&) = delete;
    CBigFile(CBigFile&& other) noexcept;
    CBigFile& operator=(CBigFile&& other) noexcept;

    // flags as for open(2); O_CLOEXEC is added.
    void Open(const std::string& path, int flags);
    // Creates a new file next to `target` under a name nobody else uses, for writing it before
    // it replaces `target`. With `targetMode` it gets the permission bits of an existing `target`.
    void CreateBeside(const std::string& target, bool targetMode = false);
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }

    // Reads until `size` bytes or the end of the file; returns the number read.
    size_t ReadAt(void* buffer, size_t size, uint64_t offset);
    void WriteAt(const void* data, size_t size, uint64_t offset);
    uint64_t Length() const;
    void SetLength(uint64_t length);
    void Sync();
    // Closes and reports a failed close (a late write error).
    void Close();
    // Closes without reporting anything; for clean-up paths.
    void Abandon() noexcept;

private:
    [[noreturn]] void Fail() const;

    int m_fd = -1;
    std::string m_path;
};

// `target` with "(n)" before its extension ("a/f.xml" -> "a/f(2).xml", "a/data" -> "a/data(2)"), the
// name shortened where it would not fit the file system.
std::string NumberedName(const std::string& target, unsigned n);
// Gives the file `written` the name `target`, or when a file of that name exists the first free one
// of NumberedName(target, 1, 2, ...): no file is ever replaced. The name taken; empty when none could
// be taken (errno tells why).
std::string RenameWithoutReplacing(const std::string& written, const std::string& target);
