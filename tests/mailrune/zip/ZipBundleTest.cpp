// The archive component on its own: damaged input, unsafe names, extraction, modification, states.
#include "BigFile.h"
#include "ZipBomb.h"
#include "ZipTestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <zlib.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The whole receive path of the plug-in, which must throw for a damaged attachment.
void Receive(const std::string& zip, const std::string& folder)
{
    CZipBundle archive;
    archive.SetStoreNameOnly(1);
    archive.OpenArchive(zip, CZipBundle::ModeOpen, 0);
    CZipEntryInfo info;
    for (uint16_t i = 0; archive.ReadEntryInfo(info, i); ++i)
        archive.ExtractEntry(i, folder, 65535);
    archive.CloseArchive(false);
}

std::string Le(uint64_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

// A stored entry as crafted archives describe it.
struct RawEntry {
    std::string name;
    uint32_t crc = 0;
    uint32_t compressed = 0;
    uint32_t uncompressed = 0;
    uint32_t offset = 0;
    std::string centralExtra;
};

std::string LocalRecord(const RawEntry& e)
{
    return Le(0x04034b50, 4) + Le(20, 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0x5A21, 2) + Le(e.crc, 4)
        + Le(e.compressed, 4) + Le(e.uncompressed, 4) + Le(e.name.size(), 2) + Le(0, 2) + e.name;
}

// The central directory and end record behind `data`.
std::string WithDirectory(const std::string& data, const std::vector<RawEntry>& entries)
{
    std::string central;
    for (const RawEntry& e : entries)
        central += Le(0x02014b50, 4) + Le(20, 2) + Le(20, 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0x5A21, 2)
            + Le(e.crc, 4) + Le(e.compressed, 4) + Le(e.uncompressed, 4) + Le(e.name.size(), 2)
            + Le(e.centralExtra.size(), 2) + Le(0, 6) + Le(32, 4) + Le(e.offset, 4) + e.name + e.centralExtra;
    return data + central + Le(0x06054b50, 4) + Le(0, 4) + Le(entries.size(), 2) + Le(entries.size(), 2)
        + Le(central.size(), 4) + Le(data.size(), 4) + Le(0, 2);
}

uint32_t Crc(const std::string& data)
{
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Each entry's stored data is the next entry's local header and data: every byte is unpacked by
// all the entries before it.
std::string QuotingArchive(int count)
{
    std::vector<RawEntry> entries(static_cast<size_t>(count));
    std::string data = XmlText(1000);
    for (int i = count - 1; i >= 0; --i) {
        RawEntry& e = entries[static_cast<size_t>(i)];
        e.name = 'f' + std::to_string(i) + ".xml";
        e.crc = Crc(data);
        e.compressed = e.uncompressed = static_cast<uint32_t>(data.size());
        data = LocalRecord(e) + data;
    }
    uint32_t offset = 0;
    for (RawEntry& e : entries) {
        e.offset = offset;
        offset += static_cast<uint32_t>(30 + e.name.size());
    }
    return WithDirectory(data, entries);
}

// One stored entry with a zip64 block that says 4 GB unpacked; `size` in the headers is either
// the zip64 marker or the real size.
std::string Zip64Archive(uint32_t size)
{
    const std::string data = "0123456789abcdef";
    const std::string block = Le(1, 2) + Le(16, 2) + Le(uint64_t(4) << 30, 8) + Le(data.size(), 8);
    const RawEntry e{"data.xml", Crc(data), size, size, 0, block};
    return WithDirectory(LocalRecord(e) + data, {e});
}

// One stored entry whose local header marks its sizes for a zip64 block holding `unpacked`
// and 16, as Info-ZIP writes into a seekable file; the central header holds the real sizes.
std::string LocalZip64Archive(uint64_t unpacked)
{
    const std::string data = "0123456789abcdef";
    const std::string block = Le(1, 2) + Le(16, 2) + Le(unpacked, 8) + Le(data.size(), 8);
    const std::string local = Le(0x04034b50, 4) + Le(45, 2) + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0x5A21, 2)
        + Le(Crc(data), 4) + Le(0xFFFFFFFF, 4) + Le(0xFFFFFFFF, 4) + Le(8, 2) + Le(block.size(), 2) + "data.xml"
        + block;
    return WithDirectory(local + data, {RawEntry{"data.xml", Crc(data), 16, 16, 0, ""}});
}

} // namespace

TEST_F(ZipTest, LocalZip64BlocksAreReadOnlyWhenTheyRepeatTheCentralSizes)
{
    for (const uint64_t unpacked : {uint64_t(16), uint64_t(4) << 30}) {
        const std::string name = "local" + std::to_string(unpacked) + ".zip";
        WriteBytes(dir() + name, LocalZip64Archive(unpacked));
        const std::string out = dir() + "out-" + name + "/";
        const int code = ZipErrorCode([&] { Receive(dir() + name, out); });
        if (unpacked == 16) {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(ReadBytes(out + "data.xml"), "0123456789abcdef");
        } else {
            EXPECT_EQ(code, CZipException::BadArchive);
            EXPECT_TRUE(ListFolder(out).empty());
        }
    }
}

TEST_F(ZipTest, DamagedArchivesOfTheCatalogueGiveTheirCodeAndMessage)
{
    const std::vector<DamagedArchive> catalogue = ReadZipCatalogue();
    for (const DamagedArchive& damaged : catalogue) {
        const std::string& file = damaged.file;
        // A copy: the receive path opens read-write and must not be able to spoil the catalogue.
        const std::string zip = dir() + file;
        fs::copy_file(ZipDataFile(file), zip);
        const std::string out = dir() + "out-" + file + "/";
        std::string what;
        EXPECT_EQ(ZipErrorCode([&] { Receive(zip, out); }, &what), damaged.code) << file;
        EXPECT_EQ(what.rfind(damaged.message, 0), 0u) << file << ": " << what;
        EXPECT_TRUE(ReadBytes(zip) == ReadBytes(ZipDataFile(file))) << file;
        // Nothing half-written is left for the importer to pick up.
        EXPECT_TRUE(ListFolder(out).empty()) << file;
    }
    EXPECT_GE(catalogue.size(), 22u);
}

TEST_F(ZipTest, GeneratedBombsAreRefusedWhenOpenedBeforeAnythingIsWritten)
{
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"quoting.zip", QuotingArchive(200)},
        {"zip64-4gb.zip", Zip64Archive(0xFFFFFFFF)},
        {"zip64-block.zip", Zip64Archive(16)},
    };
    for (const auto& c : cases) {
        const std::string zip = dir() + c.file;
        WriteBytes(zip, c.bytes);
        CZipBundle archive;
        EXPECT_EQ(ZipErrorCode([&] { archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0); }),
                  CZipException::BadArchive)
            << c.file;
        const std::string out = dir() + "out-" + c.file;
        EXPECT_EQ(ZipErrorCode([&] { Receive(zip, out); }), CZipException::BadArchive) << c.file;
        EXPECT_TRUE(ListFolder(out).empty()) << c.file;
    }
    EXPECT_LT(cases[0].bytes.size(), 20u * 1024);
    if (HaveProgram("unzip")) {
        std::string output;
        EXPECT_NE(RunCommand("unzip -t " + ShellQuote(dir() + "quoting.zip"), &output), 0) << output;
    }
}

TEST_F(ZipTest, EntriesThatGrowPastTheLimitAreRefusedAtOnceAndLeaveNothing)
{
    const struct {
        const char* file;
        uint32_t actualMiB, declared;
        int code;
    } cases[] = {
        {"bomb.zip", 2048, 0, CZipException::TooLarge},
        // Headers that understate the size: the reader stops where they say, and the rest is found.
        {"understated.zip", 64, 16u << 20, CZipException::BadArchive},
        // Small entries may deflate as well as they can.
        {"small.zip", 16, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string zip = dir() + c.file;
        WriteBytes(zip, ZeroBombArchive("data.xml", c.actualMiB, c.declared));
        const std::string out = dir() + "out-" + c.file;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ZipErrorCode([&] { Receive(zip, out); }), c.code);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        if (c.code)
            EXPECT_TRUE(ListFolder(out).empty());
        else
            EXPECT_EQ(fs::file_size(out + "/data.xml"), uintmax_t(c.actualMiB) << 20);
    }
    if (HavePythonZipfile()) {
        // A sound archive by another reader's judgement: only its size makes it a bomb.
        std::string output;
        EXPECT_EQ(RunCommand("python3 -c 'import sys, zipfile; i = zipfile.ZipFile(sys.argv[1]).infolist()[0]; "
                             "print(i.file_size, i.compress_type)' "
                                 + ShellQuote(dir() + "bomb.zip"),
                             &output),
                  0);
        EXPECT_EQ(output, "2147483648 8\n");
    }
}

TEST_F(ZipTest, LongNamesGetTemporaryNamesWithinTheFileNameLimit)
{
    std::string cyrillic;
    for (int i = 0; i < 122; ++i)
        cyrillic += "д";
    for (const std::string& stem : {std::string(240, 'd'), cyrillic}) {
        const std::string name = stem + ".xml"; // 244 and 248 bytes
        const std::string content = XmlText(3000);
        fs::remove_all(dir() + "src");
        WriteBytes(dir() + "src/" + name, content);
        const std::string zip = dir() + stem + ".zip";
        MakeArchive(zip, {dir() + "src/" + name}); // written beside the archive first
        const std::string out = dir() + "out/";
        fs::remove_all(out);
        EXPECT_EQ(ExtractAll(zip, out), 1) << name.size();
        EXPECT_EQ(ListFolder(out), std::vector<std::string>{name});
        EXPECT_TRUE(ReadBytes(out + name) == content);
        fs::remove(zip);
        EXPECT_EQ(ListFolder(dir()), (std::vector<std::string>{"out", "src"}));
    }
}

// The name an entry (or attachment) takes when its own is taken in the folder.
TEST(ZipNames, NumberedNamesKeepTheExtensionAndFitTheFileSystem)
{
    const std::string longStem(250, 'd');
    const struct {
        std::string target;
        unsigned n;
        std::string name;
    } names[] = {
        {"a/f.xml", 2, "a/f(2).xml"},       {"a/data", 1, "a/data(1)"},
        {"a/.profile", 1, "a/.profile(1)"}, {"a.b/c", 1, "a.b/c(1)"},
        {"f.tar.gz", 3, "f.tar(3).gz"},     {"a/" + longStem + ".xml", 1, "a/" + longStem.substr(0, 248) + "(1).xml"},
    };
    for (const auto& c : names)
        EXPECT_EQ(NumberedName(c.target, c.n), c.name) << c.target;
}

TEST_F(ZipTest, FlippedStoredByteIsFoundOnlyAfterTheWholeEntryWasRead)
{
    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(ZipDataFile("stored-flipped.zip"), CZipBundle::ModeOpenReadOnly, 0));
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    ASSERT_TRUE(archive.OpenEntry(0));
    std::string data(info.m_uncompressedSize + 10, '\0');
    EXPECT_EQ(archive.ReadEntry(data.data(), data.size()), info.m_uncompressedSize);
    EXPECT_EQ(ZipErrorCode([&] { archive.CloseEntry(); }), CZipException::BadCrc);
    // The entry is closed after the failure; the archive can still be used and closed normally.
    EXPECT_TRUE(archive.OpenEntry(0));
    archive.CloseArchive(false);
}

TEST_F(ZipTest, UnsafeNamesNeverProduceAFileOutsideTheTargetFolder)
{
    const bool tmpEvilExisted = fs::exists("/tmp/evil");
    for (const char* file : {"dotdot.zip", "absolute.zip", "drive.zip", "backslash-dotdot.zip"}) {
        const std::string zip = dir() + file;
        fs::copy_file(ZipDataFile(file), zip);
        const std::string target = dir() + "in/box/";
        EXPECT_EQ(ZipErrorCode([&] { Receive(zip, target); }), CZipException::BadArchive) << file;
        EXPECT_FALSE(fs::exists(dir() + "in/evil.txt")) << file;
        EXPECT_FALSE(fs::exists(dir() + "evil.txt")) << file;
        EXPECT_TRUE(ListFolder(target).empty()) << file;
    }
    if (!tmpEvilExisted) {
        EXPECT_FALSE(fs::exists("/tmp/evil"));
    }
}

TEST_F(ZipTest, FindsTheDirectoryBehindJunkAndBeforeTheLongestComment)
{
    const std::string content = XmlText(30000);
    WriteBytes(dir() + "data.xml", content);
    const std::string plain = dir() + "plain.zip";
    MakeArchive(plain, {dir() + "data.xml"});

    const std::string junk = dir() + "junk.zip";
    WriteBytes(junk, RandomBytes(1000, 9) + ReadBytes(plain));
    const std::string before = ReadBytes(junk);
    EXPECT_EQ(ExtractAll(junk, dir() + "junk-out"), 1);
    EXPECT_TRUE(ReadBytes(dir() + "junk-out/data.xml") == content);
    EXPECT_TRUE(ReadBytes(junk) == before); // opening for reading and writing changes nothing

    const std::string commented = dir() + "commented.zip";
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(commented, CZipBundle::ModeCreate, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "data.xml"));
        ASSERT_TRUE(archive.SetArchiveComment(std::string(70000, 'c'))); // cut to 65535
        archive.CloseArchive(false);
    }
    CZipBundle archive;
    ASSERT_TRUE(archive.SetBufferSizes(1024, 1024, 1024)); // the search crosses many chunk seams
    ASSERT_TRUE(archive.OpenArchive(commented, CZipBundle::ModeOpenReadOnly, 0));
    EXPECT_EQ(archive.GetArchiveComment().size(), 65535u);
    EXPECT_TRUE(archive.ExtractEntry(0, dir() + "comment-out"));
    archive.CloseArchive(false);
    EXPECT_TRUE(ReadBytes(dir() + "comment-out/data.xml") == content);

    // One byte more than the end record and the longest comment: the record is out of reach.
    const std::string lost = dir() + "lost.zip";
    WriteBytes(lost, ReadBytes(plain) + std::string(65557, 'x'));
    CZipBundle other;
    EXPECT_EQ(ZipErrorCode([&] { other.OpenArchive(lost, CZipBundle::ModeOpenReadOnly, 0); }),
              CZipException::BadArchive);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_EQ(ZipErrorCode([&] { other.OpenArchive(ZipDataFile("absolute.zip"), CZipBundle::ModeOpenReadOnly, 0); }),
              0);
}

TEST_F(ZipTest, TargetFolderWithOrWithoutSlashAndTheEntryTime)
{
    const std::string source = dir() + "Отчёт.xml";
    WriteBytes(source, XmlText(5000));
    struct tm local { };
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 15;
    local.tm_hour = 10;
    local.tm_min = 20;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const time_t when = mktime(&local);
    SetModificationTime(source, when);
    const std::string zip = dir() + "t.zip";
    MakeArchive(zip, {source});

    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    EXPECT_EQ(info.GetTime(), std::optional<time_t>(when));
    for (const std::string& folder : {dir() + "in/", dir() + "in", dir() + "in//"}) {
        fs::remove_all(dir() + "in");
        ASSERT_TRUE(archive.ExtractEntry(0, folder));
        EXPECT_EQ(ListFolder(dir() + "in"), std::vector<std::string>{"Отчёт.xml"}) << folder;
        EXPECT_EQ(ModificationTime(dir() + "in/Отчёт.xml"), when) << folder;
    }
    archive.CloseArchive(false);
}

TEST_F(ZipTest, EntryWithoutARealDateIsExtractedWithTheCurrentTime)
{
    const std::string zip = dir() + "nodate.zip";
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
        CZipEntryInfo header;
        header.m_name = "a.txt"; // no disk file: date and time stay 0, which is no date
        ASSERT_TRUE(archive.OpenNewEntry(header, -1));
        ASSERT_TRUE(archive.WriteNewEntry("abc", 3));
        archive.CloseArchive(false); // finishes the open entry
    }
    const time_t start = time(nullptr);
    EXPECT_EQ(ExtractAll(zip, dir() + "out"), 1);
    EXPECT_EQ(ReadBytes(dir() + "out/a.txt"), "abc");
    EXPECT_GE(ModificationTime(dir() + "out/a.txt"), start - 1);
}

TEST_F(ZipTest, ExistingArchiveGetsEntriesAddedDeletedAndCommented)
{
    const std::string first = XmlText(40000), second = RandomBytes(30000, 1), third = "third";
    WriteBytes(dir() + "src/Прогноз.xml", first);
    WriteBytes(dir() + "src/b.bin", second);
    WriteBytes(dir() + "src/c.txt", third);
    const std::string zip = dir() + "a.zip";
    MakeArchive(zip, {dir() + "src/Прогноз.xml", dir() + "src/b.bin"});
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        EXPECT_EQ(archive.FindEntry("ПРОГНОЗ.XML", false), 0);
        EXPECT_EQ(archive.FindEntry("ПРОГНОЗ.XML", true), -1);
        EXPECT_EQ(archive.FindEntry("b.bin", true), 1);
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/c.txt"));
        ASSERT_TRUE(archive.DeleteEntries(std::vector<std::string>{"прогноз.xml"}));
        ASSERT_TRUE(archive.SetEntryComment(0, "второй"));
        ASSERT_TRUE(archive.SetArchiveComment("note"));
        archive.CloseArchive(false);
    }
    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0));
    EXPECT_EQ(archive.GetArchiveComment(), "note");
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    EXPECT_EQ(info.m_name, "b.bin");
    EXPECT_EQ(info.m_comment, "второй");
    ASSERT_TRUE(archive.ReadEntryInfo(info, 1));
    EXPECT_EQ(info.m_name, "c.txt");
    EXPECT_FALSE(archive.ReadEntryInfo(info, 2));
    EXPECT_TRUE(archive.ExtractEntry(0, dir() + "out"));
    EXPECT_TRUE(archive.ExtractEntry(1, dir() + "out"));
    archive.CloseArchive(false);
    EXPECT_TRUE(ReadBytes(dir() + "out/b.bin") == second);
    EXPECT_EQ(ReadBytes(dir() + "out/c.txt"), third);
    if (HaveProgram("unzip")) {
        std::string output;
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(zip), &output), 0) << output;
    }
}

TEST_F(ZipTest, WrongStatesReturnFalseAndUnreadableFilesAddNothing)
{
    CZipBundle archive;
    CZipEntryInfo info;
    EXPECT_FALSE(archive.ReadEntryInfo(info, 0));
    EXPECT_FALSE(archive.ExtractEntry(0, dir()));
    EXPECT_FALSE(archive.AddFileFromDisk(dir() + "x"));
    EXPECT_FALSE(archive.SetArchiveComment("x"));
    EXPECT_FALSE(archive.DeleteEntries(std::vector<uint16_t>{0}));
    archive.CloseArchive(false); // closing a closed archive does nothing

    const std::string zip = dir() + "s.zip";
    WriteBytes(dir() + "a.txt", "a");
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
    EXPECT_FALSE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
    EXPECT_FALSE(archive.SetBufferSizes(1, 1, 1));
    EXPECT_FALSE(archive.AddFileFromDisk(dir() + "missing.txt"));
    EXPECT_FALSE(archive.AddFileFromDisk(dir() + "a.txt", -1, 0));
    EXPECT_FALSE(archive.SetEntryExtraField("x", 1)); // no entry open for writing
    CZipEntryInfo longName;
    longName.m_name.assign(65536, 'n');
    EXPECT_EQ(ZipErrorCode([&] { archive.OpenNewEntry(longName, -1); }), CZipException::NameTooLong);
    ASSERT_TRUE(archive.AddFileFromDisk(dir() + "a.txt", 9, 1));
    EXPECT_FALSE(archive.ReadEntryInfo(info, 1));
    archive.CloseArchive(false);

    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0));
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    EXPECT_EQ(info.m_flags, 2); // level 9
    EXPECT_FALSE(archive.ReadEntryInfo(info, 1));
    EXPECT_FALSE(archive.AddFileFromDisk(dir() + "a.txt")); // read-only
    archive.CloseArchive(false);
    EXPECT_TRUE(archive.SetBufferSizes(1, 1, 1)); // all become 1024
    EXPECT_EQ(ExtractAll(zip, dir() + "out"), 1);

    std::string what;
    EXPECT_EQ(ZipErrorCode([&] { archive.OpenArchive(dir() + "none.zip", CZipBundle::ModeOpen, 0); }, &what),
              CZipException::Generic);
    EXPECT_NE(what.find("none.zip"), std::string::npos);
    EXPECT_FALSE(archive.IsOpen());
}

TEST_F(ZipTest, FailedCreationLeavesTheOldFileAndNoTemporaryOne)
{
    const std::string zip = dir() + "send/keep.zip";
    WriteBytes(zip, "old");
    WriteBytes(dir() + "data.xml", XmlText(100000));
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "data.xml"));
        archive.CloseArchive(true);
    }
    {
        CZipBundle archive; // never closed
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeCreate, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "data.xml"));
    }
    EXPECT_EQ(ReadBytes(zip), "old");
    EXPECT_EQ(ListFolder(dir() + "send"), std::vector<std::string>{"keep.zip"});

    MakeArchive(zip, {dir() + "data.xml"});
    EXPECT_EQ(ListFolder(dir() + "send"), std::vector<std::string>{"keep.zip"});
    EXPECT_EQ(ExtractAll(zip, dir() + "out"), 1);
}

TEST(ZipDosTime, ConvertsLocalTimeAndRejectsWhatIsNoDate)
{
    struct tm local { };
    local.tm_year = 1979 - 1900;
    local.tm_mon = 5;
    local.tm_mday = 15;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    uint16_t date = 0, time = 0;
    TimeToDos(mktime(&local), date, time);
    EXPECT_EQ(date, 15 + 6 * 32); // year field 0
    EXPECT_EQ(time, 12 * 2048);

    local = {};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 31;
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59; // DOS keeps two-second steps
    local.tm_isdst = -1;
    const time_t t = mktime(&local);
    TimeToDos(t, date, time);
    EXPECT_EQ(date >> 9, 46);
    EXPECT_EQ(DosToTime(date, time), std::optional<time_t>(t - 1));

    const uint16_t noon = 12 * 2048;
    EXPECT_FALSE(DosToTime(0, 0));                         // day and month 0
    EXPECT_FALSE(DosToTime(46 * 512 + 13 * 32 + 1, noon)); // month 13
    EXPECT_FALSE(DosToTime(46 * 512 + 2 * 32 + 30, noon)); // 30 February
    EXPECT_FALSE(DosToTime(43 * 512 + 2 * 32 + 29, noon)); // 29 February 2023
    EXPECT_TRUE(DosToTime(44 * 512 + 2 * 32 + 29, noon));  // 29 February 2024
    EXPECT_FALSE(DosToTime(46 * 512 + 32 + 1, 24 * 2048)); // hour 24
    EXPECT_FALSE(DosToTime(46 * 512 + 32 + 1, 31));        // second 62
}

namespace {

// Write failures at a file size limit, as on a full disk (root is not exempt from it).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit lower = m_old;
        lower.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }

private:
    struct rlimit m_old { };
    void (*m_oldHandler)(int) = nullptr;
};

class ZipChangeTest : public ZipTest {
protected:
    void SetUp() override
    {
        ZipTest::SetUp();
        first = XmlText(40000);
        second = RandomBytes(30000, 2);
        WriteBytes(dir() + "src/a.xml", first);
        WriteBytes(dir() + "src/b.bin", second);
        WriteBytes(dir() + "src/big.bin", RandomBytes(300000, 3));
        fs::create_directories(dir() + "arc");
        zip = dir() + "arc/a.zip";
        MakeArchive(zip, {dir() + "src/a.xml", dir() + "src/b.bin"});
        original = ReadBytes(zip);
    }

    // The archive is as it was, nothing is left beside it, and its entries still come out whole.
    void ExpectUntouched(const std::string& step)
    {
        EXPECT_TRUE(ReadBytes(zip) == original) << step;
        EXPECT_EQ(ListFolder(dir() + "arc"), std::vector<std::string>{"a.zip"}) << step;
        const std::string out = dir() + "out/";
        fs::remove_all(out);
        EXPECT_EQ(ZipErrorCode([&] { EXPECT_EQ(ExtractAll(zip, out, CZipBundle::ModeOpenReadOnly), 2) << step; }), 0)
            << step;
        EXPECT_TRUE(ReadBytes(out + "a.xml") == first) << step;
        EXPECT_TRUE(ReadBytes(out + "b.bin") == second) << step;
    }

    std::string first, second, zip, original;
};

} // namespace

TEST_F(ZipChangeTest, ChangesThatAreNeverClosedLeaveTheArchiveAsItWas)
{
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        CZipEntryInfo header;
        header.m_name = "new.txt";
        ASSERT_TRUE(archive.OpenNewEntry(header, -1));
        ASSERT_TRUE(archive.WriteNewEntry("abc", 3));
        archive.CloseArchive(true);
    }
    ExpectUntouched("entry written, closed after an exception");
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/big.bin"));
    }
    ExpectUntouched("file added, never closed");
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.DeleteEntries(std::vector<uint16_t>{0}));
        archive.CloseArchive(true);
    }
    ExpectUntouched("entry deleted, closed after an exception");
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.SetArchiveComment("note"));
        ASSERT_TRUE(archive.DeleteEntries(std::vector<std::string>{"b.bin"}));
    }
    ExpectUntouched("commented and deleted, never closed");
}

TEST_F(ZipChangeTest, WritesThatFailWhileChangingLeaveTheArchiveAsItWas)
{
    {
        // Not even room for a copy of the archive.
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        FileSizeLimit limit(original.size() / 2);
        EXPECT_EQ(ZipErrorCode([&] { archive.AddFileFromDisk(dir() + "src/big.bin"); }), CZipException::Generic);
        EXPECT_EQ(ZipErrorCode([&] { archive.CloseArchive(false); }), 0); // nothing was added
    }
    ExpectUntouched("no room for the copy");
    {
        // Room for the copy, not for the new entry.
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        FileSizeLimit limit(original.size() + 1000);
        EXPECT_EQ(ZipErrorCode([&] {
                      archive.AddFileFromDisk(dir() + "src/big.bin");
                      archive.CloseArchive(false);
                  }),
                  CZipException::Generic);
    }
    ExpectUntouched("no room for the new entry");
    {
        // Room for the remaining entry, not for the directory after it.
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        CZipEntryInfo info;
        ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
        ASSERT_TRUE(archive.DeleteEntries(std::vector<uint16_t>{1}));
        FileSizeLimit limit(30 + info.m_name.size() + info.m_compressedSize + 10); // inside its central header
        EXPECT_EQ(ZipErrorCode([&] { archive.CloseArchive(false); }), CZipException::Generic);
        EXPECT_TRUE(archive.IsOpen());
        archive.CloseArchive(true);
    }
    ExpectUntouched("no room for the directory");
}

TEST_F(ZipChangeTest, ClosedChangeOpenedThroughALinkReplacesTheFileItNames)
{
    const std::string link = dir() + "arc/link.zip";
    fs::create_symlink("a.zip", link);
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(link, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/big.bin"));
        ASSERT_TRUE(archive.DeleteEntries(std::vector<std::string>{"a.xml"}));
        ASSERT_TRUE(archive.SetArchiveComment("note"));
        archive.CloseArchive(false);
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ListFolder(dir() + "arc"), (std::vector<std::string>{"a.zip", "link.zip"}));
    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0));
    EXPECT_EQ(archive.GetArchiveComment(), "note");
    EXPECT_EQ(archive.FindEntry("a.xml", true), -1);
    EXPECT_EQ(archive.FindEntry("b.bin", true), 0);
    EXPECT_EQ(archive.FindEntry("big.bin", true), 1);
    archive.CloseArchive(false);
}

TEST_F(ZipChangeTest, ReplacedArchiveKeepsThePermissionBitsOfTheOldOne)
{
    struct MaskGuard {
        mode_t old = umask(022);
        ~MaskGuard() { umask(old); }
    } mask;
    ASSERT_EQ(chmod(zip.c_str(), 0600), 0);
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/big.bin"));
        archive.CloseArchive(false);
    }
    EXPECT_EQ(fs::status(zip).permissions(), fs::perms(0600));
    EXPECT_EQ(ExtractAll(zip, dir() + "out", CZipBundle::ModeOpenReadOnly), 3);

    // A new archive over an existing file takes its bits too; one without a predecessor the usual ones.
    ASSERT_EQ(chmod(zip.c_str(), 0640), 0);
    MakeArchive(zip, {dir() + "src/a.xml"});
    EXPECT_EQ(fs::status(zip).permissions(), fs::perms(0640));
    const std::string fresh = dir() + "arc/fresh.zip";
    MakeArchive(fresh, {dir() + "src/a.xml"});
    EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0644));
}
