#include "Settings.h"
#include "Session.h"
#include "TestSupport.h"
#include "TransportStart.h"

#include <transport/ITransport.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

class SettingsTest : public TempHomeTest { };

TEST_F(SettingsTest, DefaultsWithoutFileAndProfile)
{
    CSessionState session;
    session.LoadCfg();
    EXPECT_EQ(session.currentForecastId, -1);
    EXPECT_EQ(session.forecastYear, -1);
    EXPECT_EQ(session.ownReceiverId, -1);
    EXPECT_EQ(session.changeFlags, 0);
    EXPECT_EQ(session.currentForecastOwner, -1);
    EXPECT_EQ(session.currentForecastStatus, -1);
    EXPECT_EQ(session.userRoles, 0);
    EXPECT_TRUE(session.userName.isEmpty());
    CSettings s;
    s.Load();
    EXPECT_EQ(s.ImportDir, home() + "Import");
    EXPECT_EQ(s.ExportDir, home() + "Export");
    EXPECT_EQ(s.Transport, "File");
    EXPECT_EQ(s.ReportFormat, 0);
    EXPECT_TRUE(s.EnableAutoRecalc);
    EXPECT_FALSE(s.EnableOpJournal);
    // The default folders are neither created nor tested.
    EXPECT_FALSE(QFileInfo::exists(home() + "Import"));
}

// Only the default folders in the program folder are made, with the program folder's permissions.
TEST_F(SettingsTest, DefaultFoldersAreMadeWithTheProgramFoldersMode)
{
    const QString elsewhere = home() + "chosen/Export";
    ASSERT_EQ(::chmod(QFile::encodeName(home()).constData(), 02775), 0);
    const mode_t umask = ::umask(077);
    CSettings s;
    s.Load();
    CreateDefaultFolders(s);
    s.ExportDir = elsewhere;
    CreateDefaultFolders(s);
    ::umask(umask);
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(home() + "Import").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02775u);
    ASSERT_EQ(::stat(QFile::encodeName(home() + "Export").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02775u);
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
}

TEST_F(SettingsTest, SaveWritesSixteenBytesAndTheProfile)
{
    CSessionState session;
    session.currentForecastId = 7;
    session.forecastYear = 2026;
    session.ownReceiverId = -1;
    session.changeFlags = 3;
    ASSERT_TRUE(session.SaveCfg());
    CSettings s;
    s.ImportDir = "/tmp/in";
    s.Transport = "SMTP";
    s.EnableOpJournal = true;
    s.Save();

    const QByteArray bytes = ReadFile(CSessionState::GetCfgPath());
    EXPECT_EQ(bytes.toHex(' '), QByteArray("07 00 00 00 ea 07 00 00 ff ff ff ff 03 00 00 00"));

    QSettings ini(profilePath(), QSettings::IniFormat);
    ini.beginGroup("Settings");
    EXPECT_EQ(ini.childKeys().size(), 6);
    EXPECT_EQ(ini.value("ImportDir").toString(), "/tmp/in");
    EXPECT_EQ(ini.value("Transport").toString(), "SMTP");
    EXPECT_EQ(ini.value("EnableOpJournal").toInt(), 1);
    EXPECT_EQ(ini.value("EnableAutoRecalc").toInt(), 1);
    EXPECT_EQ(QFile::permissions(profilePath()) & (QFile::ReadGroup | QFile::ReadOther), 0);

    CSessionState restored;
    restored.LoadCfg();
    EXPECT_EQ(restored.currentForecastId, 7);
    EXPECT_EQ(restored.forecastYear, 2026);
    EXPECT_EQ(restored.ownReceiverId, -1);
    EXPECT_EQ(restored.changeFlags, 3);
    CSettings t;
    t.Load();
    EXPECT_EQ(t.ImportDir, "/tmp/in");
    EXPECT_EQ(t.ExportDir, ""); // saved as it was
    EXPECT_TRUE(t.EnableOpJournal);
}

TEST_F(SettingsTest, ShortCfgFillsOnlyTheBytesItHas)
{
    // Six bytes: the first field whole, the second only in its two low-order bytes.
    WriteFile(CSessionState::GetCfgPath(), QByteArray::fromHex("050000003412"));
    CSessionState s;
    s.LoadCfg();
    EXPECT_EQ(s.currentForecastId, 5);
    EXPECT_EQ(s.forecastYear, int(0xFFFF1234)); // -1 keeps its high bytes
    EXPECT_EQ(s.ownReceiverId, -1);
    EXPECT_EQ(s.changeFlags, 0);
}

TEST_F(SettingsTest, NonZeroSwitchesAreOn)
{
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue("Settings/EnableAutoRecalc", 0);
        ini.setValue("Settings/EnableOpJournal", 5);
        ini.setValue("Settings/ReportFormat", 2);
    }
    CSettings s;
    s.Load();
    EXPECT_FALSE(s.EnableAutoRecalc);
    EXPECT_TRUE(s.EnableOpJournal);
    EXPECT_EQ(s.ReportFormat, 2);
}

TEST_F(SettingsTest, TransportsAreLoadedSortedAndInvalidOnesSkipped)
{
    CTransportRegistry empty;
    empty.Load();
    ASSERT_EQ(empty.transports().size(), 1u);
    EXPECT_EQ(empty.transports()[0].displayName, "Файл");
    EXPECT_EQ(empty.transports()[0].code, "File");
    EXPECT_EQ(empty.transports()[0].transport, nullptr);

    const QString dir = home() + "transport/";
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString plugins = LIR_TEST_PLUGIN_DIR;
    ASSERT_TRUE(QFile::copy(plugins + "/NoExport.so", dir + "a_noexport.so"));
    ASSERT_TRUE(QFile::copy(plugins + "/NullTransport.so", dir + "b_null.so"));
    ASSERT_TRUE(QFile::copy(plugins + "/GoodTransport.so", dir + "c_good.so"));
    WriteFile(dir + "d_text.so", "not a library");
    WriteFile(dir + "e_other.dll", "ignored");

    CTransportRegistry s;
    s.Load();
    ASSERT_EQ(s.transports().size(), 2u);
    EXPECT_EQ(s.transports()[0].code, "File");
    EXPECT_EQ(s.transports()[1].displayName, "Тестовый транспорт");
    EXPECT_EQ(s.transports()[1].code, "TEST");
    ASSERT_NE(s.transports()[1].transport, nullptr);
    EXPECT_EQ(s.transports()[1].transport->HasSettings(), 0);

    // A reload rebuilds the list instead of appending to it.
    s.Load();
    EXPECT_EQ(s.transports().size(), 2u);
}

// The shipped plug-ins come from beside the executable; one of the same name in the program folder
// stands for it.
TEST_F(SettingsTest, ShippedTransportsJoinThoseOfTheProgramFolder)
{
    const QString plugins = LIR_TEST_PLUGIN_DIR;
    const struct {
        QString folder, name, plugin;
    } files[] = {
        {home(), "a.so", "GoodTransport.so"},
        {shippedFolder(), "a.so", "NullTransport.so"},
        {shippedFolder(), "b.so", "GoodTransport.so"},
    };
    for (const auto& f : files) {
        ASSERT_TRUE(QDir().mkpath(f.folder + "transport"));
        ASSERT_TRUE(QFile::copy(plugins + '/' + f.plugin, f.folder + "transport/" + f.name));
    }
    CTransportRegistry s;
    s.Load();
    ASSERT_EQ(s.transports().size(), 3u) << "the built-in one, a.so of the program folder and the shipped b.so";
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(s.transports()[i].code, "TEST");
        EXPECT_NE(s.transports()[i].transport, nullptr);
    }
}

TEST(TransportPlugins, TheTestPluginExportsOnlyItsEntryPoint)
{
    const auto lines = ExportedSymbols(QStringLiteral(LIR_TEST_PLUGIN_DIR "/GoodTransport.so"));
    if (!lines)
        GTEST_SKIP() << "nm (binutils) is not installed";
    ASSERT_EQ(lines->size(), 1) << lines->join(u'\n').toStdString();
    EXPECT_TRUE(lines->at(0).endsWith(" T get_transport"));
}

namespace {
std::atomic<int> g_bodyRuns{0};
QString g_seenFolder;
std::size_t g_seenCount = 0;

void RecordingHostThread(TransportStartBlock* block)
{
    // Copy what is needed, then release the starter: the block dies with its frame.
    g_seenFolder = block->importDir;
    g_seenCount = block->transports->size();
    ++g_bodyRuns;
    TransportEventSet(block->startEvent);
}
} // namespace

TEST_F(SettingsTest, TheRegistryStartsTheTransportThreadWithItsArguments)
{
    SetTransportHostThread(&RecordingHostThread);
    g_bodyRuns = 0;
    CSettings s;
    s.Load();
    CTransportRegistry registry;
    registry.Load();
    registry.StartHostThread(s.ImportDir);
    SetTransportHostThread(nullptr);
    // StartTransportThread returns only after the thread has taken its arguments.
    EXPECT_EQ(g_bodyRuns.load(), 1);
    EXPECT_EQ(g_seenFolder, home() + "Import");
    EXPECT_EQ(g_seenCount, 1u);
}

TEST(TransportEvents, WaitingOnNoEventFailsAtOnce)
{
    auto result = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = result->get_future();
    // Detached: a wait that never returns must not hold the test up as well.
    std::thread([result] { result->set_value(TransportEventWait(-1)); }).detach();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(answer.get());
}

TEST_F(SettingsTest, NoTransportThreadStartsWithoutItsStartEvent)
{
    // Take every descriptor below a lowered limit, so that the start event cannot be made.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> taken;
    for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        taken.push_back(fd);
    const int probe = TransportEventCreate(false);
    const bool exhausted = probe < 0;
    TransportEventClose(probe);

    SetTransportHostThread(&RecordingHostThread);
    g_bodyRuns = 0;
    CTransportList transports;
    const std::thread::id id = exhausted ? StartTransportThread(transports, home()) : std::thread::id();
    SetTransportHostThread(nullptr);
    for (int fd : taken)
        close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);

    ASSERT_TRUE(exhausted);
    EXPECT_EQ(id, std::thread::id());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(g_bodyRuns.load(), 0);
}
