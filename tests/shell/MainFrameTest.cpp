#include "MainFrame.h"
#include "AppMessage.h"
#include "ChildFrameBase.h"
#include "CommandIds.h"
#include "DbTest.h"
#include "ProgressBar.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "ShellTestSupport.h"
#include "db/SqlQuery.h"
#include "tables/SystemUsers.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include <memory>

#include <unistd.h>

namespace {

// A child frame that records what the main frame tells it and handles one command itself.
class RecordingChild : public CChildFrameBase {
public:
    RecordingChild(QWidget* parent, CSessionState& session)
        : CChildFrameBase(parent)
        , session(session)
    {
        OnCommand(32773, [this] { ++deletes; });
        OnCommand(32906, [this] { ++ownAveragePrices; });
    }
    void OnUpdateChildren(int wParam) override
    {
        updates << wParam;
        forecastAtUpdate = session.currentForecastId;
    }
    void NotifyEventJournal(int wParam) override { journal << wParam; }
    void FillSections() override { ++sections; }
    bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui) override
    {
        return handleCommands && CChildFrameBase::OnCmdMsg(id, msg, ui);
    }

    CSessionState& session;
    QList<int> updates;
    QList<int> journal;
    int forecastAtUpdate = 0;
    int sections = 0;
    int deletes = 0;
    int ownAveragePrices = 0;
    bool handleCommands = false;
};

class TestFrame : public CMainFrame {
public:
    using CMainFrame::CMainFrame;
    RecordingChild* child = nullptr;

protected:
    CChildFrameBase* CreateChildFrame() override { return child = new RecordingChild(this, session()); }
};

QStringList MenuTexts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->menu())
            out << a->text() << MenuTexts(a->menu());
        else if (!a->isSeparator())
            out << a->text();
    }
    return out;
}

class MainFrameTest : public ShellDbTest {
protected:
    void SetUp() override
    {
        ShellDbTest::SetUp();
        ShellHooks() = CShellHooks{};
        session.changeFlags = 0;
    }
    void TearDown() override
    {
        frame.reset();
        SetAppMainWindow(nullptr);
        ShellHooks() = CShellHooks{};
        ShellDbTest::TearDown();
    }

    // Two forecasts: 2012 (id 2, draft) and 2011 (id 1, reference data closed), each with the
    // organisation's own receiver below a top group.
    void TwoForecasts()
    {
        Forecast(1, "Прогноз-2011", 2011, 1, -20, "Минфин");
        Forecast(2, "Прогноз-2012", 2012, 0, 7, "Минобороны");
        Receiver(10, 0, "Министерство", 100, 1, 1);
        Receiver(11, 10, "Управление А", 101, 0, 1);
        Receiver(20, 0, "Министерство", 200, 1, 2);
        Receiver(21, 20, "Управление Б", 201, 0, 2);
    }

    TestFrame& MakeFrame()
    {
        frame = std::make_unique<TestFrame>(session);
        SetAppMainWindow(frame.get());
        EXPECT_TRUE(frame->Create());
        frame->UpdateCommandUI();
        return *frame;
    }
    bool Enabled(int id)
    {
        QAction* action = frame->Action(id);
        EXPECT_NE(action, nullptr) << id;
        return action && action->isEnabled();
    }
    QComboBox* Combo() { return frame->forecastBar()->forecastCombo(); }
    bool PictureShown(int id) { return !frame->findChild<QLabel*>(QStringLiteral("id%1").arg(id))->isHidden(); }
    void Choose(int index)
    {
        Combo()->setCurrentIndex(index);
        emit Combo()->activated(index);
        frame->UpdateCommandUI();
    }

    CSessionState session;
    std::unique_ptr<TestFrame> frame;
};

} // namespace

TEST_P(MainFrameTest, MenusToolbarAndAcceleratorsAreThoseOfTheProgram)
{
    MakeFrame();
    QStringList texts;
    QStringList titles;
    for (QAction* top : frame->menuBar()->actions()) {
        titles << top->text();
        texts << MenuTexts(top->menu());
    }
    EXPECT_EQ(titles, QStringList({"&Файл", "&Вид", "Правка", "&Справочник", "&Отчет", "П&рогноз", "&Помощь"}));
    EXPECT_TRUE(
        texts.contains("Отчет Ф3. «Отчет по детализации прогнозных данных с точки зрения методик обоснования»"));
    EXPECT_TRUE(texts.contains("Расчет строк \"Всего\" и \"Прочее\""));
    EXPECT_TRUE(texts.contains("Копировать\tCtrl+C"));
    EXPECT_TRUE(texts.contains("У&далить\tDelete"));
    EXPECT_TRUE(texts.contains("Только с заполненными данными"));
    for (const char* removed : {"Импорт цен из внешних систем...", "Импорт средних цен..."})
        EXPECT_FALSE(texts.contains(QString::fromUtf8(removed))) << removed;
    // A database file has no logins to administer; a server database keeps the entry.
    EXPECT_EQ(texts.contains("Администрирование..."), isPg());
    EXPECT_EQ(texts.indexOf("Соединение..."), texts.indexOf("Настройки") + 1);
    // Their commands stay.
    EXPECT_NE(frame->Action(32902), nullptr);
    EXPECT_EQ(frame->Action(32902)->text(), "Импорт цен из внешних систем...");

    QList<int> buttons;
    for (QAction* a : frame->toolBar()->actions())
        buttons << (a->isSeparator() ? 0 : a->objectName().mid(2).toInt());
    EXPECT_EQ(buttons,
              QList<int>({57635, 57634, 57637, 0, 32772, 0, 32771, 32785, 32879, 32773, 32843, 32844, 32778, 0, 32815,
                          32821, 0, 57664}));
    for (QAction* a : frame->toolBar()->actions()) {
        if (!a->isSeparator()) {
            EXPECT_FALSE(a->icon().isNull()) << a->objectName().toStdString();
        }
    }
    EXPECT_EQ(frame->toolBar()->iconSize(), QSize(16, 16));

    // The menu shows "Delete" but the accelerator is Ctrl+Delete; Enter and Ctrl+Z have no entry.
    EXPECT_EQ(frame->Action(32773)->shortcuts(), QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_Delete)}));
    EXPECT_EQ(frame->Action(57637)->shortcuts(),
              QList<QKeySequence>({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}));
    EXPECT_EQ(frame->Action(117)->shortcuts().size(), 2);
    EXPECT_EQ(frame->Action(57643)->shortcuts().size(), 2);

    QStatusBar* status = frame->findChild<QStatusBar*>("id59393");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->findChild<QLabel*>("pane0")->text(), "Готов к работе");
    EXPECT_EQ(status->findChild<QLabel*>("pane1")->text(), QString(72, u' '));
    EXPECT_NE(frame->findChild<QPushButton*>("id1135"), nullptr);
    EXPECT_EQ(frame->findChild<QPushButton*>("id1135")->text(), "Искать");
    EXPECT_NE(frame->findChild<QWidget*>("id10000"), nullptr);
}

TEST_P(MainFrameTest, EmptyDatabaseLeavesNoForecastAndDisablesItsCommands)
{
    session.currentForecastId = 5;
    MakeFrame();
    EXPECT_EQ(Combo()->count(), 0);
    EXPECT_EQ(session.currentForecastId, -1);
    EXPECT_EQ(session.ownReceiverId, -1);
    EXPECT_EQ(frame->windowTitle(), "Прогноз (Неизвестная организация)");
    EXPECT_EQ(session.changeFlags, 3);
    for (int id : {1095, 1096, 1097})
        EXPECT_FALSE(PictureShown(id));
    for (int id : {32806, 32902, 32906, 32835, 32800, 32888, 32805, 32794})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(frame->findChild<QPushButton*>("id1135")->isEnabled());
    EXPECT_FALSE(frame->findChild<QComboBox*>("id1016")->isEnabled());
    EXPECT_TRUE(Combo()->isEnabled());
    // No frame handles the book commands yet.
    EXPECT_FALSE(Enabled(32773));
    // The frame's own commands.
    for (int id : {32790, 59392, 59393, 32896, 32897})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(messages.empty());
}

TEST_P(MainFrameTest, ChoosingAForecastSetsTheCurrentOneAndAnnouncesIt)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    ASSERT_EQ(Combo()->count(), 2);
    EXPECT_EQ(Combo()->itemText(0), "Прогноз-2012 (2012 год) Минобороны");
    EXPECT_EQ(Combo()->itemText(1), "Прогноз-2011 (2011 год) Минфин");
    EXPECT_EQ(Combo()->currentIndex(), 0);
    EXPECT_EQ(session.ownReceiverId, 21);
    EXPECT_EQ(frame->windowTitle(), "Прогноз (Управление Б)");
    EXPECT_TRUE(PictureShown(1095));
    EXPECT_FALSE(PictureShown(1096));

    session.changeFlags = 0;
    frame->child->updates.clear();
    Choose(1);
    const CSessionState& s = session;
    EXPECT_EQ(s.currentForecastId, 1);
    EXPECT_EQ(s.forecastYear, 2011);
    EXPECT_EQ(s.currentForecastStatus, 1);
    EXPECT_EQ(s.currentForecastOwner, -20);
    EXPECT_EQ(s.ownReceiverId, 11);
    EXPECT_EQ(s.changeFlags, 3);
    EXPECT_FALSE(PictureShown(1095));
    EXPECT_TRUE(PictureShown(1096));
    EXPECT_FALSE(PictureShown(1097));
    EXPECT_EQ(frame->windowTitle(), "Прогноз (Управление А)");
    EXPECT_EQ(frame->child->updates, QList<int>({0}));
    EXPECT_EQ(frame->child->forecastAtUpdate, 1);
    EXPECT_GE(frame->child->sections, 2);
    EXPECT_TRUE(frame->findChild<QPushButton*>("id1135")->isEnabled());

    // A forecast deleted behind the combo's back: everything unknown.
    Exec("delete from tclsreceivermap");
    Exec("delete from tfctprognoz where id = 2");
    Choose(0);
    EXPECT_EQ(s.currentForecastId, -1);
    EXPECT_EQ(s.forecastYear, -1);
    EXPECT_EQ(s.currentForecastStatus, -1);
    EXPECT_EQ(s.currentForecastOwner, -1);
    EXPECT_EQ(frame->windowTitle(), "Прогноз (Неизвестная организация)");
    for (int id : {1095, 1096, 1097})
        EXPECT_FALSE(PictureShown(id));
    EXPECT_TRUE(messages.empty());
}

TEST_P(MainFrameTest, TitleAndPicturesFollowTheSettings)
{
    TwoForecasts();
    Receiver(30, 0, "Чужой", 300, 0, 1);
    session.currentForecastId = 2;
    MakeFrame();
    // A known own receiver that is not in the current forecast: no suffix at all.
    session.ownReceiverId = 11;
    frame->UpdateTitle();
    EXPECT_EQ(frame->windowTitle(), "Прогноз");

    session.currentForecastStatus = 2;
    frame->UpdateStatusIcons();
    EXPECT_TRUE(PictureShown(1097));
    EXPECT_FALSE(PictureShown(1095));
    session.currentForecastStatus = 3;
    frame->UpdateStatusIcons();
    for (int id : {1095, 1096, 1097})
        EXPECT_FALSE(PictureShown(id));
}

TEST_P(MainFrameTest, RightsDecideTheExchangeAndReportCommands)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    int reports = 0;
    std::optional<CForecastRecord> handed;
    ShellHooks().report = [&](QWidget*, int, const CSessionState&, const std::optional<CForecastRecord>& f) {
        ++reports;
        handed = f;
    };
    ShellHooks().reportAvailable = [](int command) { return command != 32848; };
    ShellHooks().sendForecast = [](QWidget*, int) {};
    ShellHooks().receiveReferenceData = [](QWidget*) {};
    CSessionState& s = session;

    s.userName = "petrov";
    s.userRoles = 4;
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(32805));
    EXPECT_TRUE(Enabled(32850));
    EXPECT_FALSE(Enabled(32848)); // no dialog for it
    EXPECT_FALSE(Enabled(32794));
    EXPECT_FALSE(Enabled(32808));
    EXPECT_FALSE(frame->ExecuteCommand(32794));

    s.userRoles = 2;
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(32794));
    EXPECT_TRUE(Enabled(32808));
    s.userRoles = 1;
    frame->UpdateCommandUI();
    EXPECT_FALSE(Enabled(32805));
    s.userName.clear(); // no login known: no rights test
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(32805));
    EXPECT_TRUE(Enabled(32794));

    // Forms that take a forecast get the one chosen in the bar; form 2 gets none.
    Combo()->setCurrentIndex(1);
    EXPECT_TRUE(frame->ExecuteCommand(32912));
    EXPECT_EQ(s.currentForecastId, 1);
    ASSERT_TRUE(handed.has_value());
    EXPECT_EQ(handed->year, 2011);
    Combo()->setCurrentIndex(0);
    s.ownReceiverId = 21;
    EXPECT_TRUE(frame->ExecuteCommand(32817));
    EXPECT_EQ(s.currentForecastId, 2);
    EXPECT_FALSE(handed.has_value());
    EXPECT_EQ(reports, 2);

    // Without the own receiver the forecast is not set.
    s.ownReceiverId = -1;
    frame->UpdateCommandUI();
    EXPECT_FALSE(Enabled(32805));
}

// A command that the login's roles keep disabled says in the status bar which role it needs; one
// disabled for another reason, or enabled, says nothing.
TEST_P(MainFrameTest, ADisabledCommandSaysWhichRoleItNeeds)
{
    TwoForecasts();
    session.currentForecastId = 2;
    ShellHooks().report = [](QWidget*, int, const CSessionState&, const std::optional<CForecastRecord>&) {};
    ShellHooks().reportAvailable = [](int) { return true; };
    ShellHooks().receiveReferenceData = [](QWidget*) {};
    ShellHooks().selectForecastCopy = [](QWidget*, int*, int*) { return false; };
    MakeFrame();
    frame->show();
    const QString expert = "Команда недоступна: нужна роль «Ведущий специалист».";
    const struct {
        int roles;
        int command;
        QString tip;
    } cases[] = {
        {ROLE_ADMIN, ID_NSI_RECEIVE, expert},
        {ROLE_EXPERT, ID_NSI_RECEIVE, ""},
        {ROLE_ADMIN, ID_REPORT_FORM1, "Команда недоступна: нужна роль «Ведущий специалист» или «Пользователь»."},
        {ROLE_USER, ID_FORECAST_COPY, "Команда недоступна: нужна роль «Администратор» или «Ведущий специалист»."},
        {ROLE_USER, ID_FORECAST_SEND, ""}, // no send dialog: disabled, but not for the role
    };
    session.userName = "petrov";
    for (const auto& c : cases) {
        session.userRoles = c.roles;
        frame->UpdateCommandUI();
        EXPECT_EQ(frame->Action(c.command)->statusTip(), c.tip) << c.roles << " " << c.command;
    }

    // Hovered in its open menu, the disabled entry puts its reason into the status bar.
    session.userRoles = ROLE_ADMIN;
    frame->UpdateCommandUI();
    QMenu* menu = nullptr;
    for (QAction* top : frame->menuBar()->actions())
        if (top->menu() && top->menu()->actions().contains(frame->Action(ID_NSI_RECEIVE)))
            menu = top->menu();
    ASSERT_NE(menu, nullptr);
    frame->menuBar()->setActiveAction(menu->menuAction());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QRect entry = menu->actionGeometry(frame->Action(ID_NSI_RECEIVE));
    QTest::mouseMove(menu, entry.center() - QPoint(0, 1));
    QTest::mouseMove(menu, entry.center());
    EXPECT_EQ(frame->statusBar()->currentMessage(), expert);
    menu->hide();
    session.userName.clear();
}

TEST_P(MainFrameTest, TheLoginsRoleBitsDecideTheRightsOnAServer)
{
    TwoForecasts();
    session.currentForecastId = 2;
    ShellHooks().sendForecast = [](QWidget*, int) {};
    // The test's own login is the cluster's superuser: on a server it holds every bit.
    ASSERT_TRUE(ReadSessionLogin(session));
    EXPECT_EQ(session.userName.isEmpty(), !isPg());
    EXPECT_EQ(session.userRoles, isPg() ? 7 : 0);
    MakeFrame();
    EXPECT_TRUE(Enabled(ID_FORECAST_SEND)) << "the owner, or the file database";
    if (!isPg())
        return;

    // Sending a forecast needs the expert's bit 2.
    const DbConnectParams owner = params();
    for (const auto& [group, enabled] : {std::pair{"lir_users", false}, std::pair{"lir_experts", true}}) {
        const QString login = QStringLiteral("%1_%2").arg(QLatin1String(group)).arg(getpid());
        ExecAsAdmin(QStringLiteral("create role %1 login password 'login-secret' in role %2").arg(login, group));
        // The groups hold no CONNECT: each login gets its own.
        ExecAsAdmin(QStringLiteral("grant connect on database %1 to %2").arg(owner.dbName, login));
        DbConnectParams p = owner;
        p.host = qEnvironmentVariable("PGTEST_TCPHOST", QStringLiteral("127.0.0.1"));
        p.user = login;
        p.password = QStringLiteral("login-secret");
        ASSERT_TRUE(GetDBConnection().ConnectWith(p));
        CSessionState seen = session;
        ASSERT_TRUE(ReadSessionLogin(seen));
        EXPECT_EQ(seen.userName, login);
        EXPECT_EQ(seen.userRoles, enabled ? ROLE_EXPERT : ROLE_USER);
        session.userName = seen.userName;
        session.userRoles = seen.userRoles;
        frame->UpdateCommandUI();
        EXPECT_EQ(Enabled(ID_FORECAST_SEND), enabled) << group;
        ASSERT_TRUE(GetDBConnection().ConnectWith(owner));
        ExecAsAdmin(QStringLiteral("revoke connect on database %1 from %2").arg(owner.dbName, login));
        ExecAsAdmin(QStringLiteral("drop role %1").arg(login));
    }
}

TEST_P(MainFrameTest, CommandsOfLaterDialogsComeAliveWithThem)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    for (int id : {32792, 32868, 32890, 32794, 32807, 32904, 32861, 32850})
        EXPECT_FALSE(Enabled(id)) << id;

    int managed = 0;
    ShellHooks().forecastManager = [&](QWidget*) {
        ++managed;
        Exec("delete from tclsreceivermap where prognoz = 2");
        Exec("delete from tfctprognoz where id = 2");
    };
    int sent = 0;
    ShellHooks().sendForecast = [&](QWidget*, int forecast) {
        ++sent;
        EXPECT_EQ(forecast, 2);
    };
    ShellHooks().preferences = [](QWidget*) { return true; };
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(32792));
    EXPECT_TRUE(Enabled(32868));
    EXPECT_TRUE(Enabled(32794));

    EXPECT_TRUE(frame->ExecuteCommand(32794));
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(frame->child->journal, QList<int>({1}));

    // The manager deleted the current forecast: the combo is refilled and nothing is current.
    frame->child->updates.clear();
    EXPECT_TRUE(frame->ExecuteCommand(32792));
    EXPECT_EQ(managed, 1);
    EXPECT_EQ(Combo()->count(), 1);
    EXPECT_EQ(Combo()->currentIndex(), -1);
    EXPECT_EQ(session.currentForecastId, -1);
    EXPECT_EQ(session.forecastYear, -1);
    EXPECT_EQ(frame->child->updates, QList<int>({0}));

    // Settings OK: the forecast is chosen again from the bar.
    Combo()->setCurrentIndex(0);
    EXPECT_TRUE(frame->ExecuteCommand(32868));
    EXPECT_EQ(session.currentForecastId, -1); // the refill selects nothing that is not current
    EXPECT_EQ(session.changeFlags & 3, 3);
}

TEST_P(MainFrameTest, ChildFrameIsOfferedCommandsFirst)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    messages.clear();
    frame->child->handleCommands = true;
    frame->UpdateCommandUI();
    EXPECT_TRUE(Enabled(32773));
    EXPECT_TRUE(frame->ExecuteCommand(32773));
    EXPECT_EQ(frame->child->deletes, 1);
    // The child's handler wins over the frame's own.
    EXPECT_TRUE(frame->ExecuteCommand(32906));
    EXPECT_EQ(frame->child->ownAveragePrices, 1);
    EXPECT_TRUE(messages.empty());

    frame->child->handleCommands = false;
    frame->UpdateCommandUI();
    EXPECT_FALSE(Enabled(32773));
    EXPECT_FALSE(frame->ExecuteCommand(32773));
    EXPECT_EQ(frame->child->deletes, 1);
}

TEST_P(MainFrameTest, ViewCommandsShowAndHideTheBars)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    frame->show();
    QWidget* band = frame->findChild<QToolBar*>("id32790");
    ASSERT_NE(band, nullptr);
    EXPECT_TRUE(frame->Action(32790)->isChecked());
    EXPECT_TRUE(frame->ExecuteCommand(32790));
    frame->UpdateCommandUI();
    EXPECT_TRUE(band->isHidden());
    EXPECT_FALSE(frame->Action(32790)->isChecked());
    EXPECT_TRUE(frame->ExecuteCommand(59393));
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_TRUE(frame->ExecuteCommand(32790));
    EXPECT_FALSE(band->isHidden());

    EXPECT_TRUE(frame->ExecuteCommand(32896));
    QApplication::processEvents();
    EXPECT_TRUE(frame->findChild<QComboBox*>("id1016")->hasFocus());
}

TEST_P(MainFrameTest, CopyReportsWhatWasCopied)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    ShellHooks().selectForecastCopy = [](QWidget*, int* source, int* mode) {
        *source = 1;
        *mode = 2; // "reference data and data"
        return true;
    };
    frame->UpdateCommandUI();
    ASSERT_TRUE(Enabled(32806));
    // The copy writes receivers: a plain user's login may not.
    for (const int roles : {ROLE_USER, ROLE_ADMIN, ROLE_EXPERT}) {
        session.userName = "petrov";
        session.userRoles = roles;
        frame->UpdateCommandUI();
        EXPECT_EQ(Enabled(32806), roles != ROLE_USER) << roles;
    }
    session.userName.clear();
    frame->UpdateCommandUI();

    messages.clear();
    answers = {IDNO};
    EXPECT_TRUE(frame->ExecuteCommand(32806));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "ВНИМАНИЕ! При копировании все данные текущего прогноза будут удалены. Продолжить?");
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_EQ(Count("tclsreceivermap", "prognoz = 2"), 2);

    messages.clear();
    answers = {IDYES};
    session.changeFlags = 0;
    EXPECT_TRUE(frame->ExecuteCommand(32806));
    ASSERT_EQ(messages.size(), 2u);
    // Only receivers were copied, whatever the mode promised.
    EXPECT_EQ(messages[1].text, "Получатели успешно скопированы!");
    EXPECT_EQ(messages[1].flags, unsigned(MB_ICONINFORMATION));
    EXPECT_EQ(Count("tclsreceiver r, tclsreceivermap m", "m.receiver = r.id and m.prognoz = 2 and r.name = ?",
                    {QStringLiteral("Управление А")}),
              1);
    EXPECT_EQ(session.changeFlags, 3); // the forecast was chosen anew

    // With one forecast left in the list there is nothing to copy from.
    ShellHooks().forecastManager = [&](QWidget*) {
        Exec("delete from tclsreceivermap where prognoz = 1");
        Exec("delete from tfctprognoz where id = 1");
    };
    EXPECT_TRUE(frame->ExecuteCommand(32792));
    frame->UpdateCommandUI();
    EXPECT_EQ(Combo()->count(), 1);
    EXPECT_FALSE(Enabled(32806));
}

// The program's own dialogs behind the two forecast commands.
TEST_P(MainFrameTest, ForecastDialogsBehindTheCommands)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    InstallForecastDialogs();
    ScriptedModalHook hook;
    QStringList offered;
    hook.onDialog = [&](QDialog& d) {
        if (auto* box = d.findChild<QComboBox*>("id1018"))
            for (int i = 0; i < box->count(); ++i)
                offered << box->itemText(i);
        d.accept();
        return d.result();
    };
    frame->UpdateCommandUI();
    ASSERT_TRUE(Enabled(32792) && Enabled(32806));
    messages.clear();
    answers = {IDYES};
    EXPECT_TRUE(frame->ExecuteCommand(32806));
    EXPECT_EQ(offered, QStringList{"Прогноз-2011 (2011 год)"});
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Получатели успешно скопированы!");

    EXPECT_TRUE(frame->ExecuteCommand(32792));
    EXPECT_EQ(hook.dialogs.back(), QStringLiteral("id142"));
}

TEST_P(MainFrameTest, CommandStatesAskNothingOfAnUnreachableDatabase)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    ShellHooks().selectForecastCopy = [](QWidget*, int*, int*) { return false; };
    // Every read of the forecast table fails from here on.
    QSqlQuery ddl(GetDBConnection().GetConnection());
    ASSERT_TRUE(ddl.exec("alter table tfctprognoz rename to tfctprognoz_away"));
    messages.clear();
    for (int i = 0; i < 3; ++i)
        frame->UpdateCommandUI();
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_TRUE(Enabled(32806)); // the list in the bar has two forecasts
    EXPECT_TRUE(ddl.exec("alter table tfctprognoz_away rename to tfctprognoz"));
}

TEST_P(MainFrameTest, AveragePricesComeFromTheEnteredFigures)
{
    TwoForecasts();
    Receiver(22, 20, "Управление В", 202, 0, 2);
    Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, isgroup, type, avRep, avCur, avProg) "
         "values (2, 1, 0, 'Продукция', '', 0, 1, 64, 0, 0, 0), (2, 2, 1, 'Бумага', 'B', 0, 0, 1, 9, 9, 9)");
    Exec("update tclsproduct set offsetMin = 0.9, offsetMax = 1.1, priceIdx = 1");
    Exec("insert into tfctprice (id, prognoz, product) values (1, 2, 1), (2, 2, 2)");
    auto data = [&](int id, int receiver, int sumCurr, int valueCurr) {
        Exec("insert into tfctprognozdata (id, prognoz, product, receiver, sumCurr, valueCurr, sumLast, valueLast, "
             "sumNext, valueNext) values (?, 2, 2, ?, ?, ?, ?, ?, ?, ?)",
             {id, receiver, QVariant::fromValue(Money::fromInt(sumCurr)),
              QVariant::fromValue(Money::fromInt(valueCurr)), QVariant::fromValue(Money::fromInt(0)),
              QVariant::fromValue(Money::fromInt(0)), QVariant::fromValue(Money::fromInt(0)),
              QVariant::fromValue(Money::fromInt(0))});
    };
    data(1, 21, 100, 10);
    data(2, 22, 300, 10);
    session.currentForecastId = 2;
    MakeFrame();
    ASSERT_TRUE(Enabled(32906));

    messages.clear();
    answers = {IDNO};
    EXPECT_TRUE(frame->ExecuteCommand(32906));
    EXPECT_EQ(messages.at(0).text, "Пересчитать средние цены по введенным прогнозным данным?");
    EXPECT_EQ(messages.at(0).flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_DOUBLE_EQ(Scalar("select avCur from tclsproduct where prognoz = 2 and id = 2").toDouble(), 9.0);

    answers = {IDYES};
    EXPECT_TRUE(frame->ExecuteCommand(32906));
    EXPECT_DOUBLE_EQ(Scalar("select avCur from tclsproduct where prognoz = 2 and id = 2").toDouble(), 20.0);
    EXPECT_DOUBLE_EQ(Scalar("select avRep from tclsproduct where prognoz = 2 and id = 2").toDouble(), 0.0);
    // The group is left alone.
    EXPECT_DOUBLE_EQ(Scalar("select avCur from tclsproduct where prognoz = 2 and id = 1").toDouble(), 0.0);
    EXPECT_EQ(messages.size(), 2u) << messages.back().text.toStdString();
}

TEST_P(MainFrameTest, AveragePricesAreStoredForAllProductsOrNone)
{
    TwoForecasts();
    Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, isgroup, type, avRep, avCur, avProg, "
         "offsetMin, offsetMax, priceIdx) values (2, 2, 0, 'Бумага', 'B', 0, 0, 1, 9, 9, 9, 1, 1, 1), "
         "(2, 3, 0, 'Картон', 'K', 1, 0, 1, 9, 9, 9, 1, 1, 1)");
    Exec("insert into tfctprice (id, prognoz, product) values (2, 2, 2), (3, 2, 3)");
    const QVariant zero = QVariant::fromValue(Money::fromInt(0));
    for (int product : {2, 3})
        Exec("insert into tfctprognozdata (id, prognoz, product, receiver, sumCurr, valueCurr, sumLast, valueLast, "
             "sumNext, valueNext) values (?, 2, ?, 21, ?, ?, ?, ?, ?, ?)",
             {product, product, QVariant::fromValue(Money::fromInt(200)), QVariant::fromValue(Money::fromInt(10)), zero,
              zero, zero, zero});
    // Whichever product is saved second fails.
    QSqlQuery ddl(GetDBConnection().GetConnection());
    if (isPg()) {
        ASSERT_TRUE(
            ddl.exec("create function block_second() returns trigger as $$ begin "
                     "if new.avcur = 20 and exists (select 1 from tclsproduct where avcur = 20 and id <> new.id) "
                     "then raise exception 'blocked'; end if; return new; end $$ language plpgsql"));
        ASSERT_TRUE(ddl.exec("create trigger block_second before update on tclsproduct for each row "
                             "execute function block_second()"));
    } else {
        ASSERT_TRUE(ddl.exec("create trigger block_second before update on tclsproduct when new.avCur = 20 and "
                             "exists (select 1 from tclsproduct where avCur = 20 and id <> new.id) "
                             "begin select raise(abort, 'blocked'); end"));
    }
    session.currentForecastId = 2;
    MakeFrame();
    messages.clear();
    answers = {IDYES};
    EXPECT_TRUE(frame->ExecuteCommand(32906));
    EXPECT_GE(messages.size(), 2u); // the question, then the error
    EXPECT_EQ(Count("tclsproduct", "avCur = 9"), 2);
}

TEST_P(MainFrameTest, AveragePricesLeaveTheOtherColumnsAndOtherUsersChangesAlone)
{
    TwoForecasts();
    Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, isgroup, type, balanceTitle, avRep, "
         "avCur, avProg) values (2, 2, 0, 'Бумага', 'B', 0, 0, 1, '', 9, 9, 9), (2, 3, 0, 'Картон', 'K', 1, 0, 1, "
         "null, 9, 9, 9), (2, 4, 0, 'Фольга', 'F', 2, 0, 1, null, 9, 9, 9)");
    Exec("update tclsproduct set offsetMin = 1, offsetMax = 1, priceIdx = 1");
    Exec("insert into tfctprice (id, prognoz, product) values (2, 2, 2), (3, 2, 3), (4, 2, 4)");
    const QVariant zero = QVariant::fromValue(Money::fromInt(0));
    for (int product : {2, 3, 4})
        Exec("insert into tfctprognozdata (id, prognoz, product, receiver, sumCurr, valueCurr, sumLast, valueLast, "
             "sumNext, valueNext) values (?, 2, ?, 21, ?, ?, ?, ?, ?, ?)",
             {product, product, QVariant::fromValue(Money::fromInt(200)), QVariant::fromValue(Money::fromInt(10)), zero,
              zero, zero, zero});
    // Another user acts while the first product is written: renames the others and deletes one of them.
    QSqlQuery ddl(GetDBConnection().GetConnection());
    ASSERT_TRUE(ddl.exec("create table meddled (x integer)"));
    const QString others = "prognoz = 2 and id <> new.id";
    const QString victim = "(select max(id) from tclsproduct where " + others + ")";
    const QString body = "insert into meddled values (1); update tclsproduct set name = 'Переименован' where " + others
        + "; delete from tfctprognozdata where prognoz = 2 and product = " + victim
        + "; delete from tfctprice where prognoz = 2 and product = " + victim
        + "; delete from tclsproduct where prognoz = 2 and id = " + victim + ";";
    if (isPg()) {
        ASSERT_TRUE(
            ddl.exec("create function meddle() returns trigger as $$ begin if not exists (select 1 from meddled) "
                     "then "
                     + body + " end if; return new; end $$ language plpgsql"))
            << ddl.lastError().text().toStdString();
        ASSERT_TRUE(
            ddl.exec("create trigger meddle after update on tclsproduct for each row execute function meddle()"));
    } else {
        ASSERT_TRUE(
            ddl.exec("create trigger meddle after update on tclsproduct when not exists (select 1 from meddled) "
                     "begin "
                     + body + " end"))
            << ddl.lastError().text().toStdString();
    }
    session.currentForecastId = 2;
    MakeFrame();
    messages.clear();
    answers = {IDYES};
    EXPECT_TRUE(frame->ExecuteCommand(32906));
    EXPECT_EQ(messages.size(), 1u) << messages.back().text.toStdString();
    EXPECT_EQ(Count("meddled"), 1);
    // The deleted product stays deleted, the renamed one keeps its new name.
    EXPECT_EQ(Count("tclsproduct", "prognoz = 2"), 2);
    EXPECT_EQ(Count("tclsproduct", "prognoz = 2 and name = 'Переименован'"), 1);
    // Empty balance titles stay empty; the averages are all written.
    EXPECT_EQ(Count("tclsproduct", "balanceTitle is not null and balanceTitle <> ''"), 0);
    EXPECT_EQ(Count("tclsproduct", "avCur = 20 and avRep = 0 and avProg = 0"), 2);
}

TEST_P(MainFrameTest, ProductImportReadsEveryProductsElement)
{
    TwoForecasts();
    Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, isgroup, type) "
         "values (2, 1, 0, 'Продукция', '', 0, 1, 64), (2, 2, 1, 'Бумага', 'Б-1', 0, 0, 1)");
    session.currentForecastId = 2;
    MakeFrame();
    ScriptedModalHook hook;

    const QString good = home() + "prices.xml";
    WriteFile(good,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><doc><PRODUCTS><product><code>б-1</code>"
              "<avRep>1.5</avRep><avCur>2.5</avCur><avProg>3.5</avProg></product></PRODUCTS></doc>");
    hook.openFileNames = {good};
    messages.clear();
    EXPECT_TRUE(frame->ExecuteCommand(32902));
    EXPECT_EQ(hook.lastDir, Settings().ImportDir);
    EXPECT_EQ(hook.lastFilter, "Файлы XML (*.xml)");
    EXPECT_DOUBLE_EQ(Scalar("select avCur from tclsproduct where prognoz = 2 and id = 2").toDouble(), 2.5);
    EXPECT_TRUE(messages.empty());

    const QString bad = home() + "bad.xml";
    WriteFile(bad, "<doc><products></doc>");
    hook.openFileNames = {bad};
    EXPECT_TRUE(frame->ExecuteCommand(32902));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Ошибка при чтении файла " + bad + "\n")) << messages[0].text.toStdString();
    EXPECT_GT(messages[0].text.size(), QString("Ошибка при чтении файла " + bad + "\n").size());
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONSTOP));

    // A failing later section undoes the earlier ones.
    Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, isgroup, type) "
         "values (2, 3, 1, 'Картон', 'К-1', 1, 0, 1)");
    QSqlQuery ddl(GetDBConnection().GetConnection());
    if (isPg()) {
        ASSERT_TRUE(
            ddl.exec("create function block_seven() returns trigger as $$ begin "
                     "if new.avcur = 7 then raise exception 'blocked'; end if; return new; end $$ language plpgsql"));
        ASSERT_TRUE(ddl.exec("create trigger block_seven before update on tclsproduct for each row "
                             "execute function block_seven()"));
    } else {
        ASSERT_TRUE(ddl.exec("create trigger block_seven before update on tclsproduct when new.avCur = 7 "
                             "begin select raise(abort, 'blocked'); end"));
    }
    const QString two = home() + "two.xml";
    WriteFile(two,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><doc>"
              "<products><product><code>Б-1</code><avRep>4</avRep><avCur>5</avCur><avProg>6</avProg></product>"
              "</products><products><product><code>К-1</code><avRep>7</avRep><avCur>7</avCur><avProg>7</avProg>"
              "</product></products></doc>");
    hook.openFileNames = {two};
    messages.clear();
    EXPECT_TRUE(frame->ExecuteCommand(32902));
    EXPECT_EQ(messages.size(), 1u); // the database error
    EXPECT_DOUBLE_EQ(Scalar("select avCur from tclsproduct where prognoz = 2 and id = 2").toDouble(), 2.5);

    // Cancelled file dialog: nothing.
    messages.clear();
    EXPECT_TRUE(frame->ExecuteCommand(32902));
    EXPECT_TRUE(messages.empty());
}

TEST_P(MainFrameTest, ScreenshotShowsTheBarsWithRussianTexts)
{
    TwoForecasts();
    session.currentForecastId = 2;
    MakeFrame();
    frame->resize(1000, 600);
    frame->show();
    QApplication::processEvents();
    for (QWidget* bar : {static_cast<QWidget*>(frame->menuBar()), frame->findChild<QWidget*>("id59392"),
                         frame->findChild<QWidget*>("id32790"), frame->findChild<QWidget*>("id59393")}) {
        ASSERT_NE(bar, nullptr);
        EXPECT_TRUE(bar->isVisible());
        EXPECT_GT(bar->height(), 10);
    }
    const QImage image = frame->grab().toImage();
    ASSERT_FALSE(image.isNull());
    QDir().mkpath(LIR_SCREENSHOT_DIR);
    EXPECT_TRUE(image.save(QStringLiteral(LIR_SCREENSHOT_DIR "/main_window_%1.png").arg(isPg() ? "pg" : "sqlite")));
}

LIR_INSTANTIATE_DB_TEST(MainFrameTest);
