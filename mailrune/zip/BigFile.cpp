#include "BigFile.h"

#include "ZipException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

namespace {

constexpr size_t kMaxNameBytes = 255; // a file name, not a path, on the usual file systems

// The first bytes of a UTF-8 name that fit, cut before a character rather than inside one.
std::string ShortenedName(const std::string& name, size_t limit)
{
    if (name.size() <= limit)
        return name;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

// Renames unless `to` exists; false with errno EEXIST when it does.
bool RenameIfFree(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: looked at first, which a writer in between could beat.
    struct stat st { };
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

constexpr unsigned kMostNumbers = 10000;

} // namespace

std::string NumberedName(const std::string& target, unsigned n)
{
    const auto slash = target.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    auto dot = target.rfind('.');
    // A leading dot begins a name, not an extension.
    if (dot == std::string::npos || dot <= start)
        dot = target.size();
    // Built by appends: GCC 12 warns falsely (-Wrestrict) on "(" + std::to_string(n).
    std::string number(1, '(');
    number.append(std::to_string(n)).push_back(')');
    const std::string extension = target.substr(dot);
    const size_t room =
        kMaxNameBytes > number.size() + extension.size() ? kMaxNameBytes - number.size() - extension.size() : 0;
    return target.substr(0, start) + ShortenedName(target.substr(start, dot - start), room) + number + extension;
}

std::string RenameWithoutReplacing(const std::string& written, const std::string& target)
{
    for (unsigned n = 0; n < kMostNumbers; ++n) {
        const std::string name = n == 0 ? target : NumberedName(target, n);
        if (RenameIfFree(written, name))
            return name;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

CBigFile::~CBigFile()
{
    Abandon();
}

CBigFile::CBigFile(CBigFile&& other) noexcept
    : m_fd(other.m_fd)
    , m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

CBigFile& CBigFile::operator=(CBigFile&& other) noexcept
{
    if (this != &other) {
        Abandon();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

void CBigFile::Fail() const
{
    ThrowZip(CZipException::Generic, m_path, errno);
}

void CBigFile::Open(const std::string& path, int flags)
{
    Abandon();
    m_path = path;
    do {
        m_fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        Fail();
}

void CBigFile::CreateBeside(const std::string& target, bool targetMode)
{
    Abandon();
    struct stat original { };
    const bool keepMode = targetMode && ::stat(target.c_str(), &original) == 0;
    // Owner-only until the bits are copied, so nobody else can open it in between.
    const mode_t createMode = keepMode ? S_IRUSR | S_IWUSR : 0666;
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "." + std::string.
        std::string suffix(1, '.');
        suffix += std::to_string(::getpid());
        suffix += '-';
        suffix += std::to_string(counter++);
        suffix += '-';
        suffix += std::to_string(random() % 1000000);
        suffix += ".part";
        m_path = folder + "." + ShortenedName(name, kMaxNameBytes - 1 - suffix.size()) + suffix;
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (m_fd >= 0) {
            if (keepMode && ::fchmod(m_fd, original.st_mode & 07777) != 0) {
                const int error = errno;
                ::unlink(m_path.c_str());
                Abandon();
                m_path = target;
                ThrowZip(CZipException::Generic, target, error);
            }
            return;
        }
        if (errno != EEXIST && errno != EINTR) {
            m_path = target;
            Fail();
        }
    }
    m_path = target;
    ThrowZip(CZipException::Generic, target, EEXIST);
}

size_t CBigFile::ReadAt(void* buffer, size_t size, uint64_t offset)
{
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail();
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void CBigFile::WriteAt(const void* data, size_t size, uint64_t offset)
{
    const auto* in = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail();
        }
        done += static_cast<size_t>(n);
    }
}

uint64_t CBigFile::Length() const
{
    struct stat st { };
    if (::fstat(m_fd, &st) != 0)
        Fail();
    return static_cast<uint64_t>(st.st_size);
}

void CBigFile::SetLength(uint64_t length)
{
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0)
        Fail();
}

void CBigFile::Sync()
{
    if (::fsync(m_fd) != 0)
        Fail();
}

void CBigFile::Close()
{
    if (m_fd < 0)
        return;
    const int fd = m_fd;
    m_fd = -1;
    // After close(2) the descriptor is gone even when it reports an error, so never retry it.
    if (::close(fd) != 0 && errno != EINTR)
        Fail();
}

void CBigFile::Abandon() noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}
