// Every file the component puts in place reaches the disk before its name does. A separate program
// because it takes over fsync and rename to record the order of the calls.
#include "ZipTestSupport.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls; // "fsync <path>" and "rename <from> <to>"

std::string PathOfFd(int fd)
{
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = readlink(link.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// Whether `target` got its name from a file that was synced under its temporary name first.
::testing::AssertionResult SyncedBeforeRenamed(const std::string& target)
{
    const std::string canonical = std::filesystem::canonical(target).string();
    for (size_t i = 0; i < g_calls.size(); ++i) {
        const std::string& call = g_calls[i];
        const auto space = call.find(' ', 7);
        if (call.rfind("rename ", 0) != 0 || space == std::string::npos)
            continue;
        const std::string from = call.substr(7, space - 7);
        if (std::filesystem::weakly_canonical(call.substr(space + 1)).string() != canonical)
            continue;
        const std::string synced = "fsync " + std::filesystem::weakly_canonical(from).string();
        for (size_t j = 0; j < i; ++j)
            if (g_calls[j] == synced)
                return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << from << " was renamed to " << target << " without fsync";
    }
    return ::testing::AssertionFailure() << "nothing was renamed to " << target;
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    g_calls.push_back("fsync " + PathOfFd(fd));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept
{
    static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    g_calls.push_back(std::string("rename ") + from + " " + to);
    return real(from, to);
}

TEST_F(ZipTest, CreatedChangedAndExtractedFilesAreSyncedBeforeTheirRename)
{
    WriteBytes(dir() + "src/a.xml", XmlText(50000));
    WriteBytes(dir() + "src/b.bin", RandomBytes(20000, 8));
    const std::string zip = dir() + "a.zip";
    g_calls.clear();
    MakeArchive(zip, {dir() + "src/a.xml"});
    EXPECT_TRUE(SyncedBeforeRenamed(zip));

    g_calls.clear();
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/b.bin"));
        archive.CloseArchive(false);
    }
    EXPECT_TRUE(SyncedBeforeRenamed(zip));

    g_calls.clear();
    EXPECT_EQ(ExtractAll(zip, dir() + "out"), 2);
    EXPECT_TRUE(SyncedBeforeRenamed(dir() + "out/a.xml"));
    EXPECT_TRUE(SyncedBeforeRenamed(dir() + "out/b.bin"));
}
