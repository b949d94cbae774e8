#include "Maildir.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

bool DeliverToMaildir(const std::string& maildir, const std::string& message)
{
    // Seconds and microseconds lead the name.
    static std::mutex mutex;
    static long long last = 0;
    long long stamp = 0;
    {
        std::lock_guard lock(mutex);
        timeval now{};
        gettimeofday(&now, nullptr);
        last = std::max(last + 1, static_cast<long long>(now.tv_sec) * 1000000 + now.tv_usec);
        stamp = last;
    }
    char name[96];
    std::snprintf(name, sizeof name, "%lld.M%06lldP%d.lir", stamp / 1000000, stamp % 1000000, int(::getpid()));
    const std::string temporary = maildir + "/tmp/" + name;
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(message.data(), std::streamsize(message.size()));
        if (!out.flush())
            return false;
    }
    struct stat owner { };
    if (::stat(maildir.c_str(), &owner) != 0
        || (::geteuid() != owner.st_uid && ::chown(temporary.c_str(), owner.st_uid, owner.st_gid) != 0)) {
        std::remove(temporary.c_str());
        return false;
    }
    return std::rename(temporary.c_str(), (maildir + "/new/" + name).c_str()) == 0;
}

int MaildirCount(const std::string& maildir)
{
    int count = 0;
    std::error_code error;
    for (const char* sub : {"/new", "/cur"})
        for (const auto& entry : std::filesystem::directory_iterator(maildir + sub, error))
            count += entry.is_regular_file() ? 1 : 0;
    return count;
}
