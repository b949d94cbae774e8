#include "MailFiles.h"

#include "ZipBundle.h"
#include "ZipException.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

constexpr unsigned kNameNumbers = 0xFFFF; // numbers 0 to fffe

unsigned MillisecondsSinceStart()
{
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return unsigned((std::uint64_t(t.tv_sec) * 1000 + std::uint64_t(t.tv_nsec) / 1000000) % kNameNumbers);
}

std::atomic<UniqueNameStart> g_nameStart{&MillisecondsSinceStart};

} // namespace

std::string WithSlash(const std::string& folder)
{
    return !folder.empty() && folder.back() == '/' ? folder : folder + '/';
}

bool FileExists(const std::string& path)
{
    struct stat st { };
    return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& folder)
{
    struct stat st { };
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string GetTempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return WithSlash(tmp && *tmp ? tmp : "/tmp");
}

std::string GetHostFolder()
{
    std::error_code error;
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe", error).string();
    const auto slash = exe.rfind('/');
    return error || slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ZipNameOf(const std::string& dataPath)
{
    std::string name = FileNameOf(dataPath);
    if (const auto dot = name.rfind('.'); dot != std::string::npos)
        name.resize(dot + 1);
    if (name.empty() || name.back() != '.')
        name += '.';
    return name + "zip";
}

bool ZipDataFile(const std::string& dataFile, const std::string& zipPath)
{
    try {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        if (!archive.OpenArchive(zipPath, CZipBundle::ModeCreate))
            return false;
        if (!archive.AddFileFromDisk(dataFile, -1, 65535)) {
            archive.CloseArchive(true);
            return false;
        }
        archive.CloseArchive();
        return true;
    } catch (...) {
        return false;
    }
}

namespace {

// An attachment that says it is an archive: its name, or the signature it begins with.
bool ClaimsToBeAnArchive(const std::string& path)
{
    const std::string name = FileNameOf(path);
    if (name.size() >= 4) {
        std::string extension = name.substr(name.size() - 4);
        for (char& c : extension)
            c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (extension == ".zip")
            return true;
    }
    unsigned char head[4] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool read = fd >= 0 && ::read(fd, head, sizeof head) == ssize_t(sizeof head);
    if (fd >= 0)
        ::close(fd);
    // A local header, an empty archive's end record, or the marker of a spanned one.
    return read && head[0] == 'P' && head[1] == 'K'
        && ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6) || (head[2] == 7 && head[3] == 8));
}

} // namespace

// The path to hand over: the archive's first entry once it is extracted (the archive goes), or an
// attachment that is no archive at all as it is. An archive that cannot be unpacked whole is refused:
// `refusal` tells why, and nothing of it stays.
std::string UnpackAttachment(const std::string& archive, const std::string& folder, std::string& refusal)
{
    bool opened = false;
    try {
        CZipBundle zip;
        zip.SetStoreNameOnly(1);
        opened = zip.OpenArchive(archive, CZipBundle::ModeOpen);
        CZipEntryInfo info;
        if (!opened || !zip.ReadEntryInfo(info, 0) || info.IsDirectory()) {
            refusal = kArchiveWithoutFile;
        } else if (std::string path; !zip.ExtractEntry(0, folder, 65535, &path)) {
            refusal = CZipException::Describe(CZipException::BadArchive);
        } else {
            zip.CloseArchive();
            if (path != archive)
                ::unlink(archive.c_str());
            return path;
        }
        zip.CloseArchive(true);
    } catch (const CZipException& e) {
        // Not an archive at all, and not saying it is one: handed over as it came.
        if (!opened && e.Code() == CZipException::BadArchive && !ClaimsToBeAnArchive(archive))
            return archive;
        refusal = e.what();
    } catch (...) {
        refusal = CZipException::Describe(CZipException::Generic);
    }
    ::unlink(archive.c_str());
    return {};
}

void SetUniqueNameStart(UniqueNameStart start)
{
    g_nameStart = start ? start : &MillisecondsSinceStart;
}

namespace {

// The numbers already taken in the folder, read in one pass: a full folder is answered without
// 65,535 failing opens.
std::vector<bool> TakenNumbers(const std::string& folder, const std::string& prefix, const std::string& extension)
{
    std::vector<bool> taken(kNameNumbers, false);
    std::error_code error;
    const std::string suffix = '.' + extension;
    for (const auto& entry : std::filesystem::directory_iterator(folder.empty() ? "." : folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0
            || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.size() > 4 || digits.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        // "%x" writes no leading zeros: "01" is not a name this function makes.
        if (digits.empty() || (digits[0] == '0' && digits.size() > 1))
            continue;
        const unsigned long n = std::strtoul(digits.c_str(), nullptr, 16);
        if (n < kNameNumbers)
            taken[n] = true;
    }
    return taken;
}

} // namespace

std::string MakeUniqueFileName(const std::string& folder, const std::string& prefix, const std::string& extension)
{
    const std::string base = WithSlash(folder) + prefix;
    const std::vector<bool> taken = TakenNumbers(folder, prefix, extension);
    unsigned n = g_nameStart.load()() % kNameNumbers;
    for (unsigned tried = 0; tried < kNameNumbers; ++tried, n = (n + 1) % kNameNumbers) {
        if (taken[n])
            continue; // a free one is still claimed with O_EXCL: the listing may be stale
        char number[8];
        std::snprintf(number, sizeof number, "%x", n);
        const std::string candidate = base + number + '.' + extension;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            break; // the folder takes no new file under any number
    }
    return {};
}

CPrivateFolder::CPrivateFolder(const std::string& parent)
{
    std::string pattern = WithSlash(parent) + "quillzip.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()))
        m_path = std::string(buffer.data()) + '/';
}

CPrivateFolder::~CPrivateFolder()
{
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
}
