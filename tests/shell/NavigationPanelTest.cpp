#include "ChildMainFrm.h"
#include "CommandIds.h"
#include "FontStatic.h"
#include "MainDlg.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "ReceiverSelectDlg.h"
#include "ShellHooks.h"
#include "ShellTestSupport.h"
#include "TreeCtrlX.h"
#include "tables/SystemUsers.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <array>
#include <memory>
#include <utility>

namespace {

// A frame that writes down what the panel and the routing do to it.
class RecordingFrame : public CForecastFrameBase {
public:
    RecordingFrame(QWidget* parent, const QString& name, QStringList& log)
        : CForecastFrameBase(parent)
        , name(name)
        , log(log)
    {
        for (int id : {ID_BOOK_ADD_ELEMENT, ID_BOOK_DELETE, ID_BOOK_REFRESH, ID_OPEN_ROW})
            OnCommand(id, [this, id] { Write(QStringLiteral("run %1").arg(id)); });
    }
    void OnForecastChanged(int wParam) override
    {
        Write(QStringLiteral("1124 %1").arg(wParam));
        // What a reference-book frame does: a hidden frame gets its fields afresh when shown.
        if (isHidden())
            filterFields().clear();
    }
    void InitListColumns() override { Write(QStringLiteral("columns")); }
    void SetReceiver(int receiverId) override
    {
        CForecastFrameBase::SetReceiver(receiverId);
        Write(QStringLiteral("receiver %1").arg(receiverId));
    }
    void Refresh(bool, bool) override { Write(QStringLiteral("refresh")); }
    void Write(const QString& what) { log << name + u' ' + what; }

    QString name;
    QStringList& log;
};

class NavigationPanelTest : public ShellDbTest {
protected:
    void SetUp() override
    {
        ShellDbTest::SetUp();
        ShellHooks() = CShellHooks{};
        PanelFrameFactories() = CPanelFrameFactories{};
    }
    void TearDown() override
    {
        frame.reset();
        SetAppMainWindow(nullptr);
        ShellHooks() = CShellHooks{};
        PanelFrameFactories() = CPanelFrameFactories{};
        ShellDbTest::TearDown();
    }

    // 2012 (current) and 2011, each with an own receiver below a top group; 2010 without receivers.
    void Forecasts()
    {
        Forecast(1, "Прогноз-2011", 2011);
        Forecast(2, "Прогноз-2012", 2012);
        Forecast(3, "Прогноз-2010", 2010);
        Receiver(10, 0, "Министерство", 100, 1, 1);
        Receiver(11, 10, "Управление А", 101, 0, 1);
        Receiver(20, 0, "Министерство", 200, 1, 2);
        Receiver(21, 20, "Управление Б", 201, 0, 2);
        session.currentForecastId = 2;
    }

    // Recording frames in all nine slots; without editor and journal those factories answer null.
    void MakeFrame(bool editorAndJournal = true)
    {
        CPanelFrameFactories& f = PanelFrameFactories();
        auto make = [this](int slot, const QString& name) {
            return [this, slot, name](QWidget* parent, CSessionState&) {
                return frames[size_t(slot)] = new RecordingFrame(parent, name, log);
            };
        };
        for (int i = 0; i < BOOK_COUNT; ++i)
            f.books[size_t(i)] = make(i, QStringLiteral("b%1").arg(i));
        f.forecast = make(BOOK_COUNT, "forecast");
        f.journal = make(BOOK_COUNT + 1, "journal");
        if (!editorAndJournal) {
            f.forecast = [](QWidget*, CSessionState&) { return nullptr; };
            f.journal = [](QWidget*, CSessionState&) { return nullptr; };
        }
        frame = std::make_unique<CMainFrame>(session);
        SetAppMainWindow(frame.get());
        ASSERT_TRUE(frame->Create());
        frame->resize(1200, 800);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        panel = static_cast<CChildMainFrm*>(frame->childFrame())->panel();
        frame->UpdateCommandUI();
    }

    template <class T = QWidget>
    T* W(int id)
    {
        return panel->findChild<T*>(QStringLiteral("id%1").arg(id));
    }
    // The frames and the header controls not hidden.
    QStringList Shown()
    {
        QStringList out;
        for (RecordingFrame* f : frames) {
            if (f && !f->isHidden())
                out << f->name;
        }
        for (int id : {1018, 1040, 1042, 1038, 1104, 1103, 1105, 1106}) {
            if (!W(id)->isHidden())
                out << QString::number(id);
        }
        return out;
    }
    void ClickTab(int tab)
    {
        QTest::mouseClick(panel->tabBar(), Qt::LeftButton, {}, panel->tabBar()->tabRect(tab).center());
    }
    void Click(int id) { QTest::mouseClick(W<QAbstractButton>(id), Qt::LeftButton); }
    // Steps a combo to the entry with the arrow keys, as a user does.
    void Step(QComboBox* combo, int index)
    {
        while (combo->currentIndex() != index)
            QTest::keyClick(combo, index > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
        frame->UpdateCommandUI();
    }
    QStringList Take() { return std::exchange(log, {}); }

    CSessionState session;
    std::unique_ptr<CMainFrame> frame;
    CMainDlg* panel = nullptr;
    std::array<RecordingFrame*, BOOK_COUNT + 2> frames = {};
    QStringList log;
};

// "caption|column|kind|visible|width|lookup table|lookup field" of each field.
QStringList Fields(const CPanelFrame* frame)
{
    QStringList out;
    for (const CFilterField& f : frame->filterFields())
        out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                   .arg(f.caption, f.column)
                   .arg(f.kind)
                   .arg(f.visible)
                   .arg(f.width)
                   .arg(f.lookupTable, f.lookupField);
    return out;
}

} // namespace

TEST_P(NavigationPanelTest, StartShowsTheReceiversBookAndTheOwnOrganisation)
{
    Forecasts();
    MakeFrame();
    ASSERT_EQ(panel->objectName(), "id148");
    QTabBar* tabs = W<QTabBar>(1039);
    EXPECT_EQ(QStringList({tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
              QStringList({"Справочники", "Прогноз", "Журнал событий"}));
    auto* books = W<QComboBox>(1018);
    QStringList names;
    for (int i = 0; i < books->count(); ++i)
        names << books->itemText(i);
    EXPECT_EQ(names,
              QStringList({"Категории и получатели", "Виды продукции", "Единицы измерения", "Коэффициенты пересчета",
                           "Документация", "Рассылки", "Типы событий отправки/получения"}));
    auto* bookName = W<CFontStatic>(1042);
    EXPECT_EQ(bookName->text(), "Категории и получатели");
    const QImage image = bookName->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(100, 100, 100));
    bool white = false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            white = white || image.pixelColor(x, y) == QColor(255, 255, 255);
    EXPECT_TRUE(white);

    EXPECT_EQ(Shown(), QStringList({"b0", "1018", "1040", "1042"}));
    EXPECT_TRUE(W<QRadioButton>(1106)->isChecked());
    EXPECT_EQ(W<QLabel>(1104)->text(), "Управление Б");
    EXPECT_EQ(frames[BOOK_COUNT]->receiverId(), 21);
    EXPECT_EQ(Fields(frames[BOOK_RECEIVERS]), QStringList({"Наименование|name|0|1|400||", "E-Mail|email|0|1|100||"}));
    EXPECT_FALSE(frames[BOOK_PRODUCTS]->HasFilterFields());
    EXPECT_TRUE(messages.empty());
}

TEST_P(NavigationPanelTest, TabsShowTheirFrameAndHeaderAndBooksGetTheirFieldsOnce)
{
    Forecasts();
    MakeFrame();
    ASSERT_EQ(session.changeFlags, 3);
    Step(W<QComboBox>(1018), BOOK_DOCUMENTATION);
    EXPECT_EQ(Shown(), QStringList({"b4", "1018", "1040", "1042"}));
    EXPECT_EQ(W<QLabel>(1042)->text(), "Документация");
    Step(W<QComboBox>(1018), BOOK_CONVERSIONS);
    Step(W<QComboBox>(1018), BOOK_DOCUMENTATION);
    EXPECT_EQ(Fields(frames[BOOK_DOCUMENTATION]),
              QStringList({"Наименование|name|0|1|300||", "Файл|filename|0|1|400||"}));
    EXPECT_EQ(log.count("b4 columns"), 1);
    Step(W<QComboBox>(1018), BOOK_CONVERSIONS);
    EXPECT_EQ(Fields(frames[BOOK_CONVERSIONS]).value(0), "Единица старая|base|5|1|200|tClsMeasurement|name");

    ClickTab(CMainDlg::TAB_FORECAST);
    EXPECT_EQ(Shown(), QStringList({"forecast", "1038", "1104", "1103", "1105", "1106"}));
    EXPECT_EQ(session.changeFlags, 2);
    // The forecast change at start-up emptied the hidden journal's fields: its tab registers them again.
    ASSERT_FALSE(frames[BOOK_COUNT + 1]->HasFilterFields());
    ClickTab(CMainDlg::TAB_JOURNAL);
    EXPECT_EQ(Shown(), QStringList({"journal"}));
    EXPECT_EQ(Fields(frames[BOOK_COUNT + 1]),
              QStringList({"Организация|r.name|0|1|200||", "Событие|t.name|0|1|200||", "Дата отправки|send|3|1|100||",
                           "Дата получения|received|3|1|100||", "Примечание|comment|0|1|300||"}));
    ClickTab(CMainDlg::TAB_BOOKS);
    EXPECT_EQ(Shown(), QStringList({"b3", "1018", "1040", "1042"}));
}

TEST_P(NavigationPanelTest, TheOrganisationFollowsTheForecastAndTheUsersChoice)
{
    Forecasts();
    MakeFrame();
    ClickTab(CMainDlg::TAB_FORECAST);
    Take();
    Step(frame->forecastBar()->forecastCombo(), 1); // 2011
    const QStringList calls = Take();
    EXPECT_EQ(calls.filter("1124"),
              QStringList({"b0 1124 0", "b1 1124 0", "b2 1124 0", "b3 1124 0", "b4 1124 0", "b5 1124 0", "b6 1124 0",
                           "forecast 1124 0", "journal 1124 0"}));
    EXPECT_EQ(calls.last(), "forecast receiver 11");
    EXPECT_EQ(W<QLabel>(1104)->text(), "Управление А");
    EXPECT_FALSE(W(1103)->isEnabled()); // nobody offers the choice yet
    Step(frame->forecastBar()->forecastCombo(), 0);

    int answer = 20;
    ShellHooks().chooseOrganisation = [&answer](QWidget*, int forecast) -> std::optional<int> {
        EXPECT_EQ(forecast, 2);
        return answer;
    };
    Click(1106);
    ASSERT_TRUE(W(1103)->isEnabled());
    Take();
    Click(1103);
    answer = 11; // a receiver of another forecast changes nothing
    Click(1103);
    EXPECT_EQ(W<QLabel>(1104)->text(), "Министерство");
    // Back from the consolidated forecast, also after a second click on it.
    Click(1105);
    EXPECT_EQ(W<QLabel>(1104)->text(), "Сводный прогноз");
    EXPECT_FALSE(W(1103)->isEnabled());
    Click(1105);
    Click(1106);
    EXPECT_EQ(W<QLabel>(1104)->text(), "Министерство");
    EXPECT_EQ(
        Take(),
        QStringList({"forecast receiver 20", "forecast receiver 0", "forecast receiver 0", "forecast receiver 20"}));

    // The import's reset forgets the organisation and lets the editor reload.
    frame->childFrame()->ResetConsolidatedSelection();
    EXPECT_EQ(panel->rememberedReceiver(), -1);
    EXPECT_EQ(Take(), QStringList({"forecast refresh"}));
    // A forecast without the organisation and without an own receiver.
    Step(frame->forecastBar()->forecastCombo(), 2); // 2010
    EXPECT_EQ(Take().last(), "forecast receiver -1");
    EXPECT_EQ(W<QLabel>(1104)->text(), "");
    EXPECT_TRUE(messages.empty());
}

TEST_P(NavigationPanelTest, CommandsGoToTheShownFrameOnly)
{
    Forecasts();
    MakeFrame();
    Step(W<QComboBox>(1018), BOOK_MEASUREMENTS);
    Take();
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    ClickTab(CMainDlg::TAB_FORECAST);
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    ClickTab(CMainDlg::TAB_BOOKS);
    EXPECT_EQ(Take(), QStringList({"b2 run 32900", "forecast run 32900"}));

    // Return belongs to the text box that has the focus; elsewhere it opens the frame's row.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->UpdateCommandUI();
    QComboBox* search = frame->forecastBar()->searchCombo();
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Return);
    panel->tabBar()->setFocus();
    QTest::keyClick(panel->tabBar(), Qt::Key_Return);
    EXPECT_EQ(Take(), QStringList({"b2 run 117"}));
}

TEST_P(NavigationPanelTest, WithoutAForecastThePanelIsDisabledAndItsFramesGetNoCommand)
{
    MakeFrame();
    EXPECT_FALSE(panel->isEnabled());
    for (int id : {ID_BOOK_ADD_ELEMENT, ID_BOOK_DELETE, ID_BOOK_REFRESH}) {
        EXPECT_FALSE(UpdateCommand(*frame, id).enabled()) << id;
        EXPECT_FALSE(frame->ExecuteCommand(id));
    }
    EXPECT_TRUE(UpdateCommand(*frame, ID_SEARCH).enabled());
    EXPECT_EQ(Take().filter("run"), QStringList());
}

// An empty database says in the window what the first step is; once a forecast is there the panel
// comes back, disabled until a forecast is chosen.
TEST_P(NavigationPanelTest, AnEmptyDatabaseShowsTheFirstStep)
{
    MakeFrame();
    const QLabel* firstStep = static_cast<CChildMainFrm*>(frame->childFrame())->firstStep();
    const struct {
        const char* what;
        int select; // the forecast chosen in the bar, -1 none
        bool notice, panelShown, panelEnabled;
    } states[] = {{"empty", -1, true, false, false},
                  {"a forecast none chose", -1, false, true, false},
                  {"a forecast chosen", 2, false, true, true}};
    for (const auto& s : states) {
        SCOPED_TRACE(s.what);
        if (s.select < 0 && std::string(s.what) != "empty") {
            Forecasts();
            frame->FillForecastCombo();
        }
        frame->SelectForecast(s.select);
        EXPECT_EQ(firstStep->isVisible(), s.notice);
        EXPECT_EQ(panel->isVisible(), s.panelShown);
        EXPECT_EQ(panel->isEnabled(), s.panelEnabled);
    }
    EXPECT_TRUE(firstStep->text().contains("Первый шаг: получите НСИ от вышестоящей организации командой "
                                           "\"Прогноз > Получение НСИ...\""));
}

// The first step needs the expert's role: a login without it is told so, and an administrator where
// roles are given (a server database only has logins to give them to).
TEST_P(NavigationPanelTest, TheFirstStepSaysWhatTheLoginLacks)
{
    ShellHooks().receiveReferenceData = [](QWidget*) {};
    ShellHooks().users = [](QWidget*, const CSessionState&) {};
    MakeFrame();
    const QLabel* firstStep = static_cast<CChildMainFrm*>(frame->childFrame())->firstStep();
    const QString lacks = QStringLiteral("\n\nДля этой команды нужна роль «Ведущий специалист», а у пользователя "
                                         "«petrov» ее нет.");
    const struct {
        const char* user;
        int roles;
        QString note;
    } cases[] = {
        {"", 0, ""},
        {"petrov", ROLE_ADMIN | ROLE_EXPERT, ""},
        {"petrov", ROLE_USER, lacks + " Роли назначает администратор."},
        {"petrov", ROLE_ADMIN,
         isPg() ? lacks
                 + " Назначьте эту роль себе или другому пользователю командой \"Прогноз > "
                   "Администрирование...\"; роль начнет действовать после перезапуска программы."
                : lacks},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.roles);
        session.userName = c.user;
        session.userRoles = c.roles;
        frame->UpdateCommandUI();
        EXPECT_TRUE(firstStep->isVisible());
        EXPECT_EQ(firstStep->text(), ChildFrameTexts::kFirstStep + c.note);
    }
    session.userName.clear();
}

TEST_P(NavigationPanelTest, WithoutEditorAndJournalEveryControlStillWorks)
{
    Forecasts();
    MakeFrame(false);
    ShellHooks().chooseOrganisation = [](QWidget*, int) -> std::optional<int> { return 21; };
    for (int tab : {CMainDlg::TAB_FORECAST, CMainDlg::TAB_JOURNAL, CMainDlg::TAB_FORECAST})
        ClickTab(tab);
    for (int id : {1105, 1106, 1103, 1105, 1106})
        Click(id);
    EXPECT_EQ(W<QLabel>(1104)->text(), "Управление Б");
    Step(frame->forecastBar()->forecastCombo(), 1);
    frame->childFrame()->NotifyForecastFrame(1);
    frame->childFrame()->NotifyEventJournal(1);
    EXPECT_FALSE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    ClickTab(CMainDlg::TAB_BOOKS);
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
}

TEST_P(NavigationPanelTest, TheOrganisationIsChosenInTheReceiverTree)
{
    Forecasts();
    MakeFrame();
    InstallSelectionDialogs();
    ClickTab(CMainDlg::TAB_FORECAST);
    Click(1106);
    ScriptedModalHook hook;
    QString choice;
    hook.onDialog = [&choice](QDialog& d) {
        auto& dlg = dynamic_cast<ReceiverSelectDlgEx&>(d);
        dlg.show();
        CTreeCtrlX* tree = dlg.tree();
        tree->expandAll();
        const auto found = tree->findItems(choice, Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_EQ(found.size(), 1);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.value(0)).center());
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        return dlg.result();
    };
    for (const char* name : {"Министерство", "Управление Б"}) {
        choice = QString::fromUtf8(name);
        Take();
        Click(1103);
        EXPECT_EQ(W<QLabel>(1104)->text(), choice);
        EXPECT_EQ(Take().filter("receiver"),
                  QStringList({choice == "Министерство" ? "forecast receiver 20" : "forecast receiver 21"}));
    }
    EXPECT_EQ(hook.dialogs.size(), 2);
}

LIR_INSTANTIATE_DB_TEST(NavigationPanelTest);
