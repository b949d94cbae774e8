// The one exception of the zip component: damaged data, zlib failures and storage errors.
#pragma once

#include <stdexcept>
#include <string>

class CZipException : public std::runtime_error {
public:
    enum Cause {
        Generic = 1, // anything else, including file-system errors (see OsError())
        ZlibStreamEnd = 2,
        ZlibNeedDict = 3,
        ZlibFile = 4,
        ZlibStream = 5,
        ZlibData = 6,
        ZlibMemory = 7,
        ZlibBuffer = 8,
        ZlibVersion = 9,
        BadArchive = 10, // not an archive, inconsistent records, unsupported method, data ended early
        BadCrc = 11,
        NoCallback = 12,
        CallbackRefused = 13,
        NotRemovable = 14,
        TooManyVolumes = 15,
        NameTooLong = 16,
        TooLarge = 17, // an entry that would grow past what extraction allows
    };

    // path: the file concerned (normally the archive); osError: errno of a failed system call, or 0.
    CZipException(int code, std::string path, int osError = 0);

    int Code() const { return m_code; }
    const std::string& Path() const { return m_path; }
    int OsError() const { return m_osError; }

    // The description of a code without path and system error.
    static const char* Describe(int code);
    // The code that a zlib result maps to.
    static int FromZlib(int zlibResult);

private:
    int m_code;
    std::string m_path;
    int m_osError;
};

[[noreturn]] void ThrowZip(int code, const std::string& path, int osError = 0);
[[noreturn]] void ThrowZlib(int zlibResult, const std::string& path);
