// Helpers of the zip tests: files, peer programs and archives made the way the plug-in makes them.
#pragma once

#include "TestSupport.h"
#include "ZipBundle.h"

#include <functional>
#include <string>
#include <vector>

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
std::string RandomBytes(size_t size, unsigned seed);
// Compressible text that looks like the system's data files.
std::string XmlText(size_t size);
void SetModificationTime(const std::string& path, time_t t);
time_t ModificationTime(const std::string& path);
// Names of the files and folders directly in `folder`, sorted.
std::vector<std::string> ListFolder(const std::string& folder);

// The damaged archives of tests/data/zip and what each must give.
struct DamagedArchive {
    std::string file;
    int code = 0;
    std::string message;
    std::string unzipPasses; // why the component refuses what `unzip -t` passes; empty when both refuse
};
std::string ZipDataFile(const std::string& name);
std::vector<DamagedArchive> ReadZipCatalogue();

std::string ShellQuote(const std::string& text);
// Runs a command with bash; returns its exit status and, when asked, its output (stdout and stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);
// True when python3 has zipfile's metadata_encoding (3.11 and later).
bool HavePythonZipfile();

// The send steps of the plug-in: name only, create, add with level -1 and 65535-byte chunks, close.
void MakeArchive(const std::string& zip, const std::vector<std::string>& files);
// Extracts every entry; returns the number of entries.
int ExtractAll(const std::string& zip, const std::string& folder, int mode = CZipBundle::ModeOpen);
// The code of the CZipException that `action` throws, 0 when it throws none.
int ZipErrorCode(const std::function<void()>& action, std::string* message = nullptr);

class ZipTest : public TempHomeTest {
protected:
    std::string dir() const { return home().toStdString(); }
};

#define REQUIRE_PROGRAM(name)                                                                                          \
    do {                                                                                                               \
        if (!HaveProgram(name))                                                                                        \
            GTEST_SKIP() << (name) << " is not installed";                                                             \
    } while (0)
