#include "ForecastApp.h"
#include "AppMessage.h"
#include "DbTest.h"
#include "FontStatic.h"
#include "MainFrame.h"
#include "ProgressBar.h"
#include "ReportEngine.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "ShellTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocalServer>
#include <QSettings>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

QByteArray Cfg(int forecast, int year, int own, int flags)
{
    QByteArray out;
    for (int v : {forecast, year, own, flags})
        for (int b = 0; b < 4; ++b)
            out.append(char((unsigned(v) >> (8 * b)) & 0xFF));
    return out;
}

class ForecastAppTest : public ShellDbTest {
protected:
    void SetUp() override
    {
        ShellDbTest::SetUp();
        m_runtime = std::make_unique<ScopedRuntimeDir>(home() + "run");
        ShellHooks() = CShellHooks{};
    }
    void TearDown() override
    {
        SetAppMainWindow(nullptr);
        m_runtime.reset();
        ShellDbTest::TearDown();
    }

    QString CfgPath() { return home() + "forecast.cfg"; }

private:
    std::unique_ptr<ScopedRuntimeDir> m_runtime;
};

} // namespace

TEST_P(ForecastAppTest, StartRepairsAnOldTreeChoosesTheNewestForecastAndExitSavesIt)
{
    Forecast(3, "Прогноз 2011", 2011);
    Forecast(5, "Прогноз 2012", 2012);
    Receiver(1, -1, "Заглушка", 0, 1, 5);
    Receiver(2, 1, "Министерство", 200, 1, 5);
    Receiver(4, 2, "Управление", 201, 0, 5);
    // The saved forecast was deleted meanwhile.
    WriteFile(CfgPath(), Cfg(99, 2000, 7, 0));

    CForecastApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    // The old tree's receiver at -1 stays, with what refers to it; its child is the top now.
    EXPECT_EQ(Count("tclsreceiver", "category = -1"), 1);
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 2").toInt(), 0);
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 4").toInt(), 2);
    EXPECT_EQ(Count("tclsimporteventtype"), 5);

    const CSessionState& s = app.session();
    EXPECT_EQ(s.currentForecastId, 5);
    EXPECT_EQ(s.ownReceiverId, 4);
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(GetAppMainWindow(), frame);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->isMaximized());
    EXPECT_EQ(frame->windowTitle(), "Прогноз (Управление)");
    EXPECT_EQ(frame->forecastBar()->forecastCombo()->currentData().toInt(), 5);
    EXPECT_TRUE(IsReportEngineLoaded());
    // The splash window is gone.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(w->objectName(), "id168");

    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->Action(57664)->isEnabled()); // the application's commands are routed too
    EXPECT_TRUE(frame->Action(32870)->isEnabled());

    // Showing the forecast tab takes the receivers' refresh flag; the editor's stays.
    EXPECT_EQ(app.session().changeFlags, 3);
    auto* tabs = frame->findChild<QTabBar*>("id1039");
    ASSERT_NE(tabs, nullptr);
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    EXPECT_EQ(app.session().changeFlags, 2);

    EXPECT_EQ(app.ExitInstance(0), 0);
    EXPECT_EQ(ReadFile(CfgPath()), Cfg(5, 2012, 4, 2));
    EXPECT_FALSE(IsReportEngineLoaded());
    EXPECT_FALSE(GetDBConnection().isConnected());
    QSettings ini(profilePath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Settings/Transport").toString(), "File");
    EXPECT_EQ(ini.value("Settings/EnableAutoRecalc").toInt(), 1);
    EXPECT_EQ(ini.value("Settings/EnableOpJournal").toInt(), 0);
    EXPECT_EQ(ini.value("Settings/ImportDir").toString(), home() + "Import");
}

// The tree a reference-data import leaves: the organisation above at -1, stored before the own tree.
TEST_P(ForecastAppTest, SavedForecastStaysAndAnImportedTreeIsNotTouched)
{
    Forecast(3, "Прогноз 2011", 2011);
    Forecast(5, "Прогноз 2012", 2012);
    Receiver(1, -1, "Вышестоящая организация", 50, 1, 3);
    Receiver(2, 0, "Министерство", 100, 1, 3);
    Receiver(3, 2, "Управление", 101, 0, 3);
    WriteFile(CfgPath(), Cfg(3, 1999, -1, 0));

    CForecastApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 1").toInt(), -1);
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 2").toInt(), 0);
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 3").toInt(), 2);
    EXPECT_EQ(app.session().currentForecastId, 3);
    EXPECT_EQ(app.session().forecastYear, 2011);
    // The organisation above is never the own receiver.
    EXPECT_EQ(app.session().ownReceiverId, 3);
    EXPECT_EQ(app.mainFrame()->windowTitle(), "Прогноз (Управление)");
    EXPECT_TRUE(messages.empty());

    // The forecast chosen in the bar is the one saved at exit.
    QComboBox* combo = app.mainFrame()->forecastBar()->forecastCombo();
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    app.ExitInstance(0);
    EXPECT_EQ(ReadFile(CfgPath()), Cfg(5, 2012, -1, 3));
}

TEST_P(ForecastAppTest, EmptyDatabaseStartsWithoutForecast)
{
    CForecastApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_EQ(app.session().currentForecastId, -1);
    EXPECT_EQ(app.session().ownReceiverId, -1);
    EXPECT_EQ(app.mainFrame()->forecastBar()->forecastCombo()->count(), 0);
    EXPECT_EQ(app.mainFrame()->windowTitle(), "Прогноз (Неизвестная организация)");
    EXPECT_TRUE(messages.empty());
    app.ExitInstance(0);
    EXPECT_EQ(ReadFile(CfgPath()), QByteArray::fromHex("ffffffffffffffffffffffff03000000"));
}

TEST_P(ForecastAppTest, SecondStartAsksAndOnNoBringsTheFirstToTheFront)
{
    CSingleInstance first;
    ASSERT_TRUE(first.Register());
    QSignalSpy activated(&first, &CSingleInstance::activationRequested);
    WriteFile(CfgPath(), Cfg(77, 2020, -1, 0));

    {
        CForecastApp second;
        answers = {IDNO};
        EXPECT_FALSE(second.InitInstance());
        EXPECT_EQ(second.exitCode(), 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, "Данное приложение уже запущено. Продолжить повторный запуск приложения?");
        EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
        EXPECT_TRUE(activated.wait(2000));
        EXPECT_EQ(second.mainFrame(), nullptr);
        // The settings were neither read nor written.
        EXPECT_EQ(second.session().currentForecastId, -1);
    }
    EXPECT_EQ(ReadFile(CfgPath()), Cfg(77, 2020, -1, 0));

    // Yes: a second copy runs beside the first, on a socket of its own.
    messages.clear();
    CForecastApp second;
    answers = {IDYES};
    ASSERT_TRUE(second.InitInstance());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_NE(second.instanceSocket().socketPath(), first.socketPath());
    EXPECT_EQ(CSingleInstance::FindRunning(), first.socketPath());
    second.ExitInstance(0);
}

TEST_P(ForecastAppTest, AboutBoxAndConnectionSettings)
{
    CForecastApp app;
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    ScriptedModalHook hook;
    hook.onDialog = [](QDialog& dlg) {
        if (dlg.objectName() == "id100") {
            EXPECT_EQ(dlg.windowTitle(), "О программе...");
            auto* product = dlg.findChild<CFontStatic*>("id1082");
            EXPECT_EQ(product->text(), "АИС ЛИР");
            EXPECT_EQ(product->labelFont().family(), "Arial");
            EXPECT_EQ(product->labelFont().pixelSize(), 24);
            EXPECT_EQ(dlg.findChild<QLabel*>("id1083")->text(), "Версия 2.0.1.40");
        }
        return int(QDialog::Accepted);
    };
    EXPECT_TRUE(frame->ExecuteCommand(57664));
    EXPECT_EQ(hook.dialogs, QStringList({"id100"}));
    EXPECT_TRUE(messages.empty());

    EXPECT_TRUE(frame->ExecuteCommand(32870));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Изменения вступят в действяи после перезапуска программы.");
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONINFORMATION));
    EXPECT_EQ(hook.dialogs.size(), 2);
    // The open connection is kept.
    EXPECT_TRUE(GetDBConnection().isConnected());

    hook.onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    EXPECT_TRUE(frame->ExecuteCommand(32870));
    EXPECT_EQ(messages.size(), 1u);

    // Exit closes the main window.
    EXPECT_TRUE(frame->ExecuteCommand(57665));
    EXPECT_FALSE(frame->isVisible());
    app.ExitInstance(0);
}

LIR_INSTANTIATE_DB_TEST(ForecastAppTest);

class SingleInstanceTest : public TempHomeTest { };

TEST_F(SingleInstanceTest, SocketOfACopyThatDidNotEndIsTakenOver)
{
    ScopedRuntimeDir runtime(home() + "run");
    const QString stale = QDir(home() + "run").filePath(CSingleInstance::BaseName());
    WriteFile(stale, QByteArray());
    EXPECT_TRUE(CSingleInstance::FindRunning().isEmpty());
    CSingleInstance instance;
    ASSERT_TRUE(instance.Register());
    EXPECT_EQ(instance.socketPath(), stale);
    EXPECT_EQ(CSingleInstance::FindRunning(), stale);
    EXPECT_TRUE(CSingleInstance::Activate(stale));
}

namespace {

// Sets (or with a null value removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_saved(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_saved;
};

} // namespace

TEST_F(SingleInstanceTest, InTheSharedTemporaryFolderTheNameCarriesTheUserId)
{
    const QString tmp = home() + "tmp";
    QDir().mkpath(tmp);
    ScopedEnv runtime("XDG_RUNTIME_DIR", QByteArray());
    ScopedEnv temp("TMPDIR", tmp.toUtf8());

    EXPECT_EQ(CSingleInstance::SocketFolder(), tmp);
    EXPECT_EQ(CSingleInstance::SocketName(), CSingleInstance::BaseName() + "-" + QString::number(getuid()));
    // Someone holds the fixed name: it is not taken for one of our copies.
    QLocalServer squatter;
    ASSERT_TRUE(squatter.listen(QDir(tmp).filePath(CSingleInstance::BaseName())));
    EXPECT_TRUE(CSingleInstance::FindRunning().isEmpty());
    CSingleInstance instance;
    ASSERT_TRUE(instance.Register());
    EXPECT_EQ(instance.socketPath(), QDir(tmp).filePath(CSingleInstance::SocketName()));
    EXPECT_EQ(CSingleInstance::FindRunning(), instance.socketPath());
}

// A runtime folder too deep for a socket's path is passed over rather than ending the start.
TEST_F(SingleInstanceTest, ARuntimeFolderTooLongForASocketFallsBackToTheTemporaryFolder)
{
    const QString tmp = home() + "tmp";
    const QString deep = home() + QString(70, u'r');
    QDir().mkpath(tmp);
    QDir().mkpath(deep);
    ScopedEnv runtime("XDG_RUNTIME_DIR", deep.toUtf8());
    ScopedEnv temp("TMPDIR", tmp.toUtf8());
    EXPECT_EQ(CSingleInstance::SocketFolder(), tmp);
    CSingleInstance instance;
    ASSERT_TRUE(instance.Register());
    EXPECT_EQ(CSingleInstance::FindRunning(), instance.socketPath());
}

TEST_F(SingleInstanceTest, ASocketOfAnotherUserUnderOurNameIsNoCopyOfOurs)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root can make a socket that belongs to another user";
    const QString tmp = home() + "tmp";
    QDir().mkpath(tmp);
    ScopedEnv runtime("XDG_RUNTIME_DIR", QByteArray());
    ScopedEnv temp("TMPDIR", tmp.toUtf8());
    QLocalServer squatter;
    const QString path = QDir(tmp).filePath(CSingleInstance::SocketName());
    ASSERT_TRUE(squatter.listen(path));
    ASSERT_EQ(chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
    EXPECT_TRUE(CSingleInstance::FindRunning().isEmpty());
}
