// Archives of the component checked by other zip programs, and their archives read by the component.
#include "ZipTestSupport.h"

#include <cstring>
#include <filesystem>

namespace {

const std::string kForecastName = "Прогноз_2026.xml";

uint16_t Le16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

uint32_t Le32(const std::string& b, size_t at)
{
    return Le16(b, at) | (static_cast<uint32_t>(Le16(b, at + 2)) << 16);
}

// The value of "key: value" in the entry part of zipinfo -v output.
std::string ZipinfoField(const std::string& output, const std::string& key)
{
    const auto at = output.find("  " + key + ":");
    if (at == std::string::npos)
        return {};
    const auto start = output.find_first_not_of(' ', at + key.size() + 3);
    return output.substr(start, output.find('\n', start) - start);
}

} // namespace

// A 600 KB data file zipped the way the plug-in sends it.
class ZipSendTest : public ZipTest {
protected:
    void SetUp() override
    {
        ZipTest::SetUp();
        source = dir() + "outbox/" + kForecastName;
        content = XmlText(600 * 1024);
        WriteBytes(source, content);
        zip = dir() + "send.zip";
        MakeArchive(zip, {source});
    }

    std::string source, content, zip;
};

TEST_F(ZipSendTest, UnzipFindsNoErrors)
{
    REQUIRE_PROGRAM("unzip");
    std::string output;
    EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(zip), &output), 0) << output;
    EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;
}

TEST_F(ZipSendTest, ZipinfoShowsFatHostVersion20AndDeflate)
{
    REQUIRE_PROGRAM("zipinfo");
    std::string output;
    ASSERT_EQ(RunCommand("zipinfo -v " + ShellQuote(zip), &output), 0) << output;
    EXPECT_EQ(ZipinfoField(output, "file system or operating system of origin"), "MS-DOS, OS/2 or NT FAT");
    EXPECT_EQ(ZipinfoField(output, "version of encoding software"), "2.0");
    EXPECT_EQ(ZipinfoField(output, "minimum software version required to extract"), "2.0");
    EXPECT_EQ(ZipinfoField(output, "compression method"), "deflated");
    EXPECT_EQ(ZipinfoField(output, "extended local header"), "no");
}

TEST_F(ZipSendTest, PythonReadsTheCp866NameAndValidData)
{
    if (!HavePythonZipfile())
        GTEST_SKIP() << "python3 3.11 or later with zipfile is not installed";
    const std::string script = dir() + "check.py";
    WriteBytes(script,
               "import sys, zipfile\n"
               "with zipfile.ZipFile(sys.argv[1], metadata_encoding='cp866') as z:\n"
               "    print(z.namelist())\n"
               "    print('bad:', z.testzip())\n"
               "    i = z.infolist()[0]\n"
               "    print('flags', i.flag_bits, 'size', i.file_size, 'type', i.compress_type)\n");
    std::string output;
    ASSERT_EQ(RunCommand("PYTHONIOENCODING=utf-8 python3 " + ShellQuote(script) + " " + ShellQuote(zip), &output), 0)
        << output;
    EXPECT_NE(output.find("['" + kForecastName + "']"), std::string::npos) << output;
    EXPECT_NE(output.find("bad: None"), std::string::npos) << output;
    EXPECT_NE(output.find("flags 0 size 614400 type 8"), std::string::npos) << output;
}

TEST_F(ZipSendTest, BsdtarExtractsAnIdenticalFile)
{
    REQUIRE_PROGRAM("bsdtar");
    const std::string out = dir() + "bsdtar/";
    std::filesystem::create_directories(out);
    std::string output;
    ASSERT_EQ(RunCommand("cd " + ShellQuote(out) + " && LC_ALL=C.UTF-8 bsdtar --options hdrcharset=CP866 -xf "
                             + ShellQuote(zip),
                         &output),
              0)
        << output;
    EXPECT_EQ(ListFolder(out), std::vector<std::string>{kForecastName});
    EXPECT_TRUE(ReadBytes(out + kForecastName) == content);
}

TEST_F(ZipSendTest, LocalHeaderCarriesTheCentralCrcAndSizes)
{
    const std::string b = ReadBytes(zip);
    ASSERT_GE(b.size(), 22u + 46u + 30u);
    const size_t end = b.size() - 22;
    ASSERT_EQ(Le32(b, end), 0x06054b50u);
    const size_t central = Le32(b, end + 16);
    ASSERT_EQ(Le32(b, central), 0x02014b50u);
    ASSERT_EQ(Le32(b, 0), 0x04034b50u);
    EXPECT_EQ(Le16(b, central + 4), 20); // made by 2.0 on FAT
    EXPECT_EQ(Le16(b, central + 6), 20);
    EXPECT_EQ(Le16(b, 4), 20);
    EXPECT_EQ(Le16(b, 6), 0); // level -1: no flags, no descriptor
    EXPECT_EQ(Le16(b, 8), 8);
    EXPECT_EQ(Le32(b, 14), Le32(b, central + 16));
    EXPECT_EQ(Le32(b, 18), Le32(b, central + 20));
    EXPECT_EQ(Le32(b, 22), Le32(b, central + 24));
    EXPECT_EQ(Le32(b, 22), 600u * 1024);
    EXPECT_EQ(30 + Le16(b, 26) + Le16(b, 28) + Le32(b, 18), central); // nothing between data and directory
    EXPECT_EQ(Le32(b, central + 38), 32u);
    // The name is stored in code page 866 without the UTF-8 flag: "П" is 0x8F.
    EXPECT_EQ(static_cast<unsigned char>(b[30]), 0x8F);
}

TEST_F(ZipTest, EmptyFileGivesAValidDeflatedEntry)
{
    const std::string empty = dir() + "empty.xml";
    WriteBytes(empty, "");
    const std::string zip = dir() + "empty.zip";
    MakeArchive(zip, {empty});

    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpenReadOnly, 0));
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    EXPECT_EQ(info.m_method, 8);
    EXPECT_EQ(info.m_uncompressedSize, 0u);
    EXPECT_EQ(info.m_crc32, 0u);
    EXPECT_GT(info.m_compressedSize, 0u); // the raw deflate stream of nothing
    ASSERT_TRUE(archive.ExtractEntry(0, dir() + "out", 65535));
    archive.CloseArchive(false);
    EXPECT_EQ(ReadBytes(dir() + "out/empty.xml"), "");
    EXPECT_TRUE(std::filesystem::exists(dir() + "out/empty.xml"));

    if (HaveProgram("unzip")) {
        std::string output;
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(zip), &output), 0) << output;
    }
}

TEST_F(ZipTest, ExtractsAnInfoZipArchiveWithFoldersAndStoredEntries)
{
    REQUIRE_PROGRAM("zip");
    const std::string src = dir() + "src/";
    const std::string text = XmlText(100000);
    const std::string binary = RandomBytes(50000, 3);
    WriteBytes(src + "a.xml", text);
    WriteBytes(src + "sub/b.bin", binary);
    std::filesystem::create_directories(src + "empty");
    const std::string zip = dir() + "info.zip";
    std::string output;
    // -n .bin stores b.bin, so both methods come from the peer.
    ASSERT_EQ(RunCommand("cd " + ShellQuote(src) + " && zip -q -r -n .bin " + ShellQuote(zip) + " .", &output), 0)
        << output;

    // Once as it is, once with 1,000 bytes of something else in front (offsets all shifted).
    const std::string shifted = dir() + "shifted.zip";
    WriteBytes(shifted, RandomBytes(1000, 4) + ReadBytes(zip));
    for (const std::string& archive : {zip, shifted}) {
        const std::string out = archive + ".out/";
        EXPECT_EQ(ExtractAll(archive, out), 4); // a.xml, sub/, sub/b.bin, empty/
        EXPECT_TRUE(ReadBytes(out + "a.xml") == text);
        EXPECT_TRUE(ReadBytes(out + "sub/b.bin") == binary);
        EXPECT_TRUE(std::filesystem::is_directory(out + "empty"));
    }
}

TEST_F(ZipTest, ExtractsPythonStreamedArchiveWithDataDescriptorsAndUtf8Names)
{
    if (!HavePythonZipfile())
        GTEST_SKIP() << "python3 3.11 or later with zipfile is not installed";
    const std::string text = XmlText(200000);
    const std::string binary = RandomBytes(70000, 5);
    WriteBytes(dir() + "a.xml", text);
    WriteBytes(dir() + "b.bin", binary);
    const std::string script = dir() + "stream.py";
    // Standard output into a pipe is not seekable: zipfile then writes data descriptors.
    WriteBytes(script,
               "import sys, zipfile\n"
               "with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:\n"
               "    z.comment = b'c' * 65535\n"
               "    for name, path in (('Сводка.xml', sys.argv[1]), ('sub/b.bin', sys.argv[2])):\n"
               "        with z.open(name, 'w') as f, open(path, 'rb') as src:\n"
               "            f.write(src.read())\n");
    const std::string zip = dir() + "stream.zip";
    std::string output;
    ASSERT_EQ(RunCommand("python3 " + ShellQuote(script) + " " + ShellQuote(dir() + "a.xml") + " "
                             + ShellQuote(dir() + "b.bin") + " | cat > " + ShellQuote(zip),
                         &output),
              0)
        << output;

    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 0));
    EXPECT_EQ(info.m_name, "Сводка.xml");
    EXPECT_TRUE(info.HasDataDescriptor());
    EXPECT_TRUE(info.m_flags & CZipEntryInfo::kFlagUtf8);
    EXPECT_EQ(archive.GetArchiveComment(), std::string(65535, 'c'));
    EXPECT_TRUE(archive.ExtractEntry(0, dir() + "out", 65535));
    EXPECT_TRUE(archive.ExtractEntry(1, dir() + "out", 1000)); // chunks smaller than the data buffer
    archive.CloseArchive(false);
    EXPECT_TRUE(ReadBytes(dir() + "out/Сводка.xml") == text);
    EXPECT_TRUE(ReadBytes(dir() + "out/sub/b.bin") == binary);
}

TEST_F(ZipTest, UnzipStillReadsAnOpenedArchiveWhoseChangeFailedAndTheOneWhoseChangeWasClosed)
{
    REQUIRE_PROGRAM("unzip");
    WriteBytes(dir() + "src/a.xml", XmlText(50000));
    WriteBytes(dir() + "src/b.bin", RandomBytes(20000, 6));
    const std::string zip = dir() + "a.zip";
    MakeArchive(zip, {dir() + "src/a.xml"});
    const std::string before = ReadBytes(zip);
    const auto unzipTest = [&](const std::string& step) {
        std::string output;
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(zip), &output), 0) << step << ": " << output;
        EXPECT_NE(output.find("No errors detected"), std::string::npos) << step << ": " << output;
    };
    {
        CZipBundle archive;
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        CZipEntryInfo header;
        header.m_name = "c.txt";
        ASSERT_TRUE(archive.OpenNewEntry(header, -1));
        ASSERT_TRUE(archive.WriteNewEntry("abc", 3));
        archive.CloseArchive(true);
    }
    unzipTest("entry written, closed after an exception");
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/b.bin"));
    }
    unzipTest("file added, never closed");
    EXPECT_TRUE(ReadBytes(zip) == before);
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(zip, CZipBundle::ModeOpen, 0));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/b.bin"));
        archive.CloseArchive(false);
    }
    unzipTest("file added and closed");
    std::string output;
    ASSERT_EQ(RunCommand("unzip -Z1 " + ShellQuote(zip), &output), 0) << output;
    EXPECT_EQ(output, "a.xml\nb.bin\n");
}

TEST_F(ZipTest, UnzipRefusesTheCatalogueWhereverTheComponentIsNoStricter)
{
    REQUIRE_PROGRAM("unzip");
    for (const DamagedArchive& damaged : ReadZipCatalogue()) {
        std::string output;
        const int status = RunCommand("unzip -t " + ShellQuote(ZipDataFile(damaged.file)), &output);
        if (damaged.unzipPasses.empty())
            EXPECT_NE(status, 0) << damaged.file << ": " << output;
        else
            EXPECT_EQ(status, 0) << damaged.file << " (" << damaged.unzipPasses << "): " << output;
    }
}

TEST_F(ZipTest, ZipWritingToAPipeOrAFileIsRead)
{
    REQUIRE_PROGRAM("zip");
    const std::string text = XmlText(200000);
    WriteBytes(dir() + "in.xml", text);
    const struct {
        const char* command; // followed by the archive's path
        const char* zip;
        std::string content;
        int code;
    } cases[] = {
        // Into a pipe zip cannot go back: a data descriptor with 8-byte sizes follows the data.
        {"printf x | zip -q - - | cat > ", "tiny.zip", "x", 0},
        {"zip -q - - < in.xml | cat > ", "text.zip", text, 0},
        // Into a file it can go back: zip64 records that only repeat the classic ones.
        {"printf x | zip -q - - > ", "seekable.zip", "x", 0},
    };
    for (const auto& c : cases) {
        const std::string zip = dir() + c.zip;
        std::string output;
        ASSERT_EQ(RunCommand("cd " + ShellQuote(dir()) + " && " + c.command + ShellQuote(zip), &output), 0) << output;
        const std::string out = dir() + "out-" + c.zip + "/";
        int count = 0;
        EXPECT_EQ(ZipErrorCode([&] { count = ExtractAll(zip, out); }), c.code) << c.zip;
        if (c.code == 0) {
            EXPECT_EQ(count, 1) << c.zip;
            EXPECT_TRUE(ReadBytes(out + "-") == c.content) << c.zip;
        } else {
            EXPECT_TRUE(ListFolder(out).empty()) << c.zip;
        }
    }
}
