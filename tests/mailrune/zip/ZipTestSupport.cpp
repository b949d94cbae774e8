#include "ZipTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string XmlText(size_t size)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<forecast>\n";
    std::mt19937 random(7);
    while (text.size() < size)
        text += "  <row product=\"" + std::to_string(random() % 5000) + "\" qty=\"" + std::to_string(random() % 100000)
            + "\" sum=\"" + std::to_string(random()) + "\"/>\n";
    text.resize(size);
    return text;
}

void SetModificationTime(const std::string& path, time_t t)
{
    struct timespec times[2]{};
    times[0].tv_sec = t;
    times[1].tv_sec = t;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

time_t ModificationTime(const std::string& path)
{
    struct stat st { };
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string ZipDataFile(const std::string& name)
{
    return std::string(LIR_TEST_DATA_DIR) + "/zip/" + name;
}

std::vector<DamagedArchive> ReadZipCatalogue()
{
    std::vector<DamagedArchive> archives;
    std::ifstream catalogue(ZipDataFile("catalogue.txt"));
    std::string line;
    while (std::getline(catalogue, line)) {
        std::vector<std::string> fields;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        if (fields.size() < 3)
            continue;
        fields.resize(4);
        archives.push_back({fields[0], std::stoi(fields[1]), fields[2], fields[3]});
    }
    return archives;
}

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int RunCommand(const std::string& command, std::string* output)
{
    const std::string line = "bash -c " + ShellQuote("set -o pipefail; " + command) + " 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HavePythonZipfile()
{
    return HaveProgram("python3")
        && RunCommand("python3 -c 'import sys, zipfile; sys.exit(0 if sys.version_info >= (3, 11) else 1)'") == 0;
}

void MakeArchive(const std::string& zip, const std::vector<std::string>& files)
{
    CZipBundle archive;
    archive.SetStoreNameOnly(1);
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
    for (const std::string& file : files)
        ASSERT_TRUE(archive.AddFileFromDisk(file, -1, 65535)) << file;
    archive.CloseArchive(false);
}

int ExtractAll(const std::string& zip, const std::string& folder, int mode)
{
    CZipBundle archive;
    archive.OpenArchive(zip, mode, 0);
    CZipEntryInfo info;
    int count = 0;
    while (archive.ReadEntryInfo(info, static_cast<uint16_t>(count))) {
        EXPECT_TRUE(archive.ExtractEntry(static_cast<uint16_t>(count), folder, 65535)) << info.m_name;
        ++count;
    }
    archive.CloseArchive(false);
    return count;
}

int ZipErrorCode(const std::function<void()>& action, std::string* message)
{
    try {
        action();
    } catch (const CZipException& e) {
        if (message)
            *message = e.what();
        return e.Code();
    }
    return 0;
}
