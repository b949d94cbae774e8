// Multi-volume archives: fixed-size volumes written and read back, spanning refused.
#include "ZipTestSupport.h"

#include <filesystem>

namespace fs = std::filesystem;

TEST_F(ZipTest, FixedSizeVolumesAreWrittenInTurnAndReadBackWhole)
{
    const std::string binary = RandomBytes(200000, 11); // does not compress: about three volumes
    const std::string text = XmlText(20000);
    WriteBytes(dir() + "src/b.bin", binary);
    WriteBytes(dir() + "src/a.xml", text);
    const std::string folder = dir() + "vol/";
    fs::create_directories(folder);
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(folder + "t.zip", CZipBundle::ModeCreateSpan, 65536));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/b.bin"));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/a.xml"));
        EXPECT_EQ(archive.GetCurrentVolume(), 3);
        archive.CloseArchive(false);
    }
    const std::vector<std::string> expected{"t.000", "t.001", "t.002", "t.zip"};
    ASSERT_EQ(ListFolder(folder), expected);
    for (const char* name : {"t.000", "t.001", "t.002"})
        EXPECT_EQ(fs::file_size(folder + name), 65536u) << name;
    EXPECT_LE(fs::file_size(folder + "t.zip"), 65536u);
    EXPECT_EQ(ReadBytes(folder + "t.000").substr(0, 4), std::string("PK\x07\x08", 4));

    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(folder + "t.zip", CZipBundle::ModeOpen, 0));
    CZipEntryInfo info;
    ASSERT_TRUE(archive.ReadEntryInfo(info, 1));
    EXPECT_EQ(info.m_volumeStart, 3);
    EXPECT_TRUE(info.HasDataDescriptor());
    EXPECT_TRUE(archive.ExtractEntry(0, dir() + "out"));
    EXPECT_TRUE(archive.ExtractEntry(1, dir() + "out"));
    // An existing multi-volume archive cannot change.
    EXPECT_FALSE(archive.AddFileFromDisk(dir() + "src/a.xml"));
    EXPECT_FALSE(archive.DeleteEntries(std::vector<uint16_t>{0}));
    EXPECT_FALSE(archive.SetArchiveComment("x"));
    archive.CloseArchive(false);
    EXPECT_TRUE(ReadBytes(dir() + "out/b.bin") == binary);
    EXPECT_TRUE(ReadBytes(dir() + "out/a.xml") == text);
    EXPECT_EQ(ListFolder(folder), expected);

    // A missing middle volume is damage, not a crash.
    fs::remove(folder + "t.001");
    ASSERT_TRUE(archive.OpenArchive(folder + "t.zip", CZipBundle::ModeOpenReadOnly, 0));
    EXPECT_NE(ZipErrorCode([&] { archive.ExtractEntry(0, dir() + "out2"); }), 0);
    archive.CloseArchive(true);
    EXPECT_FALSE(fs::exists(dir() + "out2/b.bin"));
}

TEST_F(ZipTest, MultiVolumeArchiveThatFitsOneVolumeBecomesAPlainArchive)
{
    const std::string text = XmlText(30000);
    WriteBytes(dir() + "src/a.xml", text);
    WriteBytes(dir() + "src/e.txt", "");
    const std::string folder = dir() + "vol/";
    fs::create_directories(folder);
    {
        CZipBundle archive;
        archive.SetStoreNameOnly(1);
        ASSERT_TRUE(archive.OpenArchive(folder + "t.zip", CZipBundle::ModeCreateSpan, 65536));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/a.xml"));
        ASSERT_TRUE(archive.AddFileFromDisk(dir() + "src/e.txt"));
        archive.CloseArchive(false);
    }
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"t.zip"});

    CZipBundle archive;
    ASSERT_TRUE(archive.OpenArchive(folder + "t.zip", CZipBundle::ModeOpenReadOnly, 0));
    CZipEntryInfo info;
    for (uint16_t i = 0; i < 2; ++i) {
        ASSERT_TRUE(archive.ReadEntryInfo(info, i));
        EXPECT_FALSE(info.HasDataDescriptor());
        EXPECT_TRUE(archive.ExtractEntry(i, dir() + "out"));
    }
    archive.CloseArchive(false);
    EXPECT_TRUE(ReadBytes(dir() + "out/a.xml") == text);
    EXPECT_EQ(ReadBytes(dir() + "out/e.txt"), "");
    if (HaveProgram("unzip")) {
        std::string output;
        EXPECT_EQ(RunCommand("unzip -t " + ShellQuote(folder + "t.zip"), &output), 0) << output;
    }
}

TEST_F(ZipTest, SpanningOnRemovableDisksIsRefusedBecauseNoDriveIsRemovable)
{
    const std::string zip = dir() + "span.zip";
    CZipBundle archive;
    EXPECT_EQ(ZipErrorCode([&] { archive.OpenArchive(zip, CZipBundle::ModeCreateSpan, 0); }),
              CZipException::NoCallback);
    bool asked = false;
    archive.SetChangeDiskCallback([&](int, int64_t) { return asked = true; });
    EXPECT_EQ(ZipErrorCode([&] { archive.OpenArchive(zip, CZipBundle::ModeCreateSpan, 0); }),
              CZipException::NotRemovable);
    EXPECT_FALSE(asked);
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_TRUE(ListFolder(dir()).empty());
}
