#include "AppMessage.h"
#include "ChildMainFrm.h"
#include "CommandIds.h"
#include "DbTest.h"
#include "FontStatic.h"
#include "MainDlg.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "ShellHooks.h"
#include "ShellTestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include <array>
#include <memory>

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
        session.changeFlags = 0;
    }
    void TearDown() override
    {
        frame.reset();
        SetAppMainWindow(nullptr);
        ShellHooks() = CShellHooks{};
        PanelFrameFactories() = CPanelFrameFactories{};
        ShellDbTest::TearDown();
    }

    // 2012 (id 2, current) and 2011 (id 1), each with an own receiver below a top group; 2010 (id 3)
    // without receivers.
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
        if (editorAndJournal) {
            f.forecast = make(BOOK_COUNT, "forecast");
            f.journal = make(BOOK_COUNT + 1, "journal");
        } else {
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
        ASSERT_EQ(panel->objectName(), "id148");
        frame->UpdateCommandUI();
    }

    template <class T = QWidget>
    T* Control(int id)
    {
        auto* w = panel->findChild<T*>(QStringLiteral("id%1").arg(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    // The names of the frames not hidden.
    QStringList Shown()
    {
        QStringList out;
        for (RecordingFrame* f : frames) {
            if (f && !f->isHidden())
                out << f->name;
        }
        return out;
    }
    QStringList HiddenControls()
    {
        QStringList out;
        for (int id : {1018, 1040, 1042, 1038, 1104, 1103, 1105, 1106}) {
            if (Control(id)->isHidden())
                out << QString::number(id);
        }
        return out;
    }
    void ClickTab(int tab)
    {
        QTabBar* tabs = panel->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(tab).center());
    }
    void Click(int id) { QTest::mouseClick(Control<QAbstractButton>(id), Qt::LeftButton); }
    // Steps a combo to the entry with the arrow keys, as a user would.
    static void Step(QComboBox* combo, int index)
    {
        while (combo->currentIndex() != index) {
            const int before = combo->currentIndex();
            QTest::keyClick(combo, index > before ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_NE(combo->currentIndex(), before);
        }
    }
    void ChooseBook(int book) { Step(Control<QComboBox>(1018), book); }
    void ChooseForecast(int index)
    {
        Step(frame->forecastBar()->forecastCombo(), index);
        frame->UpdateCommandUI();
    }
    QStringList Take()
    {
        QStringList out = log;
        log.clear();
        return out;
    }
    bool Enabled(int id) { return UpdateCommand(*frame, id).enabled(); }

    CSessionState session;
    std::unique_ptr<CMainFrame> frame;
    CMainDlg* panel = nullptr;
    std::array<RecordingFrame*, BOOK_COUNT + 2> frames = {};
    QStringList log;
};

QString Describe(const CFilterField& f)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(f.caption, f.column)
        .arg(f.kind)
        .arg(f.visible)
        .arg(f.width)
        .arg(f.lookupTable, f.lookupField);
}

QStringList Describe(const CPanelFrame* frame)
{
    QStringList out;
    for (const CFilterField& f : frame->filterFields())
        out << Describe(f);
    return out;
}

} // namespace

TEST_P(NavigationPanelTest, StartShowsTheReceiversBookAndTheOwnOrganisation)
{
    Forecasts();
    MakeFrame();
    QTabBar* tabs = Control<QTabBar>(1039);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(QStringList({tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
              QStringList({"Справочники", "Прогноз", "Журнал событий"}));
    auto* books = Control<QComboBox>(1018);
    QStringList names;
    for (int i = 0; i < books->count(); ++i)
        names << books->itemText(i);
    EXPECT_EQ(names,
              QStringList({"Категории и получатели", "Виды продукции", "Единицы измерения", "Коэффициенты пересчета",
                           "Документация", "Рассылки", "Типы событий отправки/получения"}));
    auto* bookName = Control<CFontStatic>(1042);
    EXPECT_EQ(bookName->text(), "Категории и получатели");
    const QImage image = bookName->grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(100, 100, 100));
    bool white = false;
    for (int y = 0; y < image.height() && !white; ++y)
        for (int x = 0; x < image.width() && !white; ++x)
            white = image.pixelColor(x, y) == QColor(255, 255, 255);
    EXPECT_TRUE(white);

    EXPECT_EQ(Shown(), QStringList({"b0"}));
    EXPECT_EQ(HiddenControls(), QStringList({"1038", "1104", "1103", "1105", "1106"}));
    EXPECT_TRUE(Control<QRadioButton>(1106)->isChecked());
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Управление Б");
    EXPECT_EQ(frames[BOOK_COUNT]->receiverId(), 21);
    EXPECT_TRUE(panel->isEnabled());
    // The receivers got their fields when shown; the hidden books have none.
    EXPECT_EQ(Describe(frames[BOOK_RECEIVERS]), QStringList({"Наименование|name|0|1|400||", "E-Mail|email|0|1|100||"}));
    EXPECT_FALSE(frames[BOOK_PRODUCTS]->HasFilterFields());
    EXPECT_TRUE(messages.empty());
}

TEST_P(NavigationPanelTest, TabsShowTheirFrameAndHeaderAndBooksGetTheirFieldsOnce)
{
    Forecasts();
    MakeFrame();
    ASSERT_EQ(session.changeFlags, 3);

    ChooseBook(BOOK_DOCUMENTATION);
    EXPECT_EQ(Shown(), QStringList({"b4"}));
    EXPECT_EQ(Control<QLabel>(1042)->text(), "Документация");
    EXPECT_EQ(Describe(frames[BOOK_DOCUMENTATION]),
              QStringList({"Наименование|name|0|1|300||", "Файл|filename|0|1|400||"}));
    ChooseBook(BOOK_CONVERSIONS);
    ChooseBook(BOOK_DOCUMENTATION);
    EXPECT_EQ(frames[BOOK_DOCUMENTATION]->filterFields().size(), 2u);
    EXPECT_EQ(log.count("b4 columns"), 1);
    ChooseBook(BOOK_CONVERSIONS);
    ASSERT_EQ(frames[BOOK_CONVERSIONS]->filterFields().size(), 3u);
    EXPECT_EQ(Describe(frames[BOOK_CONVERSIONS]->filterFields()[0]),
              "Единица старая|base|5|1|200|tClsMeasurement|name");

    ClickTab(CMainDlg::TAB_FORECAST);
    EXPECT_EQ(Shown(), QStringList({"forecast"}));
    EXPECT_EQ(HiddenControls(), QStringList({"1018", "1040", "1042"}));
    EXPECT_EQ(session.changeFlags, 2);

    // The forecast change at start-up emptied the hidden journal's fields: its tab registers them again.
    ASSERT_FALSE(frames[BOOK_COUNT + 1]->HasFilterFields());
    ClickTab(CMainDlg::TAB_JOURNAL);
    EXPECT_EQ(Shown(), QStringList({"journal"}));
    EXPECT_EQ(HiddenControls(), QStringList({"1018", "1040", "1042", "1038", "1104", "1103", "1105", "1106"}));
    EXPECT_EQ(Describe(frames[BOOK_COUNT + 1]),
              QStringList({"Организация|r.name|0|1|200||", "Событие|t.name|0|1|200||", "Дата отправки|send|3|1|100||",
                           "Дата получения|received|3|1|100||", "Примечание|comment|0|1|300||"}));

    ClickTab(CMainDlg::TAB_BOOKS);
    EXPECT_EQ(Shown(), QStringList({"b3"}));
    EXPECT_EQ(HiddenControls(), QStringList({"1038", "1104", "1103", "1105", "1106"}));
}

TEST_P(NavigationPanelTest, AForecastSwitchReachesEveryFrameAndTheOrganisationFollows)
{
    Forecasts();
    MakeFrame();
    Take();
    ChooseForecast(1); // 2011
    const QStringList calls = Take();
    EXPECT_EQ(calls.filter("1124"),
              QStringList({"b0 1124 0", "b1 1124 0", "b2 1124 0", "b3 1124 0", "b4 1124 0", "b5 1124 0", "b6 1124 0",
                           "forecast 1124 0", "journal 1124 0"}));
    EXPECT_TRUE(calls.endsWith("forecast receiver 11"));
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Управление А");

    // A forecast without the organisation shown and without an own receiver of its own.
    ChooseForecast(2); // 2010
    EXPECT_TRUE(Take().endsWith("forecast receiver -1"));
    EXPECT_EQ(Control<QLabel>(1104)->text(), "");
    EXPECT_EQ(panel->rememberedReceiver(), -1);
    EXPECT_TRUE(panel->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_P(NavigationPanelTest, CommandsGoToTheShownFrameOnly)
{
    Forecasts();
    MakeFrame();
    ChooseBook(BOOK_MEASUREMENTS);
    Take();
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    EXPECT_EQ(Take(), QStringList({"b2 run 32900"}));
    ClickTab(CMainDlg::TAB_FORECAST);
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    EXPECT_EQ(Take(), QStringList({"forecast run 32900"}));
    ClickTab(CMainDlg::TAB_BOOKS);
    Take();

    // Return belongs to a text box that has the focus; elsewhere it opens the frame's row.
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->UpdateCommandUI();
    QComboBox* search = frame->forecastBar()->searchCombo();
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_EQ(Take(), QStringList());
    QTabBar* tabs = panel->tabBar();
    tabs->setFocus();
    QTest::keyClick(tabs, Qt::Key_Return);
    EXPECT_EQ(Take(), QStringList({"b2 run 117"}));
}

TEST_P(NavigationPanelTest, WithoutAForecastThePanelIsDisabledAndItsFramesGetNoCommand)
{
    MakeFrame();
    EXPECT_EQ(session.currentForecastId, -1);
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_EQ(Shown(), QStringList({"b0"}));
    for (int id : {ID_BOOK_ADD_ELEMENT, ID_BOOK_DELETE, ID_BOOK_REFRESH}) {
        EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_FALSE(frame->ExecuteCommand(id));
    }
    EXPECT_TRUE(Enabled(ID_SEARCH));
    EXPECT_FALSE(frame->Action(ID_BOOK_DELETE)->isEnabled());
    EXPECT_FALSE(log.join(u' ').contains("run"));
}

TEST_P(NavigationPanelTest, ConsolidatedAndPrivateForecastAndTheChosenOrganisation)
{
    Forecasts();
    MakeFrame();
    ClickTab(CMainDlg::TAB_FORECAST);
    Take();
    EXPECT_FALSE(Control(1103)->isEnabled()); // nobody offers the choice yet

    Click(1105);
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Сводный прогноз");
    EXPECT_FALSE(Control(1103)->isEnabled());
    Click(1106);
    EXPECT_EQ(Take(), QStringList({"forecast receiver 0", "forecast receiver 21"}));
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Управление Б");

    int asked = 0;
    int answer = 20;
    ShellHooks().chooseOrganisation = [&](QWidget*, int forecast) -> std::optional<int> {
        ++asked;
        EXPECT_EQ(forecast, 2);
        return answer;
    };
    Click(1106);
    ASSERT_TRUE(Control(1103)->isEnabled());
    Take();
    Click(1103);
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Министерство");
    EXPECT_EQ(Take(), QStringList({"forecast receiver 20"}));
    answer = 11; // a receiver of another forecast
    Click(1103);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Министерство");
    EXPECT_EQ(panel->rememberedReceiver(), 20);
    EXPECT_EQ(Take(), QStringList());

    // Back from the consolidated forecast, also after a second click on it.
    Click(1105);
    Click(1105);
    Click(1106);
    EXPECT_EQ(Take(), QStringList({"forecast receiver 0", "forecast receiver 0", "forecast receiver 20"}));
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Министерство");

    // The import's reset: the organisation is forgotten and the editor reloads.
    frame->childFrame()->ResetConsolidatedSelection();
    EXPECT_EQ(panel->rememberedReceiver(), -1);
    EXPECT_EQ(Take(), QStringList({"forecast refresh"}));
}

TEST_P(NavigationPanelTest, WithoutEditorAndJournalEveryControlStillWorks)
{
    Forecasts();
    MakeFrame(false);
    ShellHooks().chooseOrganisation = [](QWidget*, int) -> std::optional<int> { return 21; };
    for (int tab : {CMainDlg::TAB_FORECAST, CMainDlg::TAB_JOURNAL, CMainDlg::TAB_FORECAST}) {
        ClickTab(tab);
        EXPECT_TRUE(Shown().isEmpty());
    }
    for (int id : {1105, 1106, 1103, 1105, 1106})
        Click(id);
    EXPECT_EQ(Control<QLabel>(1104)->text(), "Управление Б");
    ChooseForecast(1);
    frame->childFrame()->NotifyForecastFrame(1);
    frame->childFrame()->NotifyEventJournal(1);
    frame->childFrame()->ResetConsolidatedSelection();
    EXPECT_FALSE(frame->ExecuteCommand(ID_BOOK_REFRESH));
    ClickTab(CMainDlg::TAB_BOOKS);
    EXPECT_EQ(Shown(), QStringList({"b0"}));
    EXPECT_TRUE(frame->ExecuteCommand(ID_BOOK_REFRESH));
}

LIR_INSTANTIATE_DB_TEST(NavigationPanelTest);
