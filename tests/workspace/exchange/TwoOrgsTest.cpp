// Two organisations, each with its own program folder and database: A above, B below and empty at
// first. The main frame's commands run offscreen with scripted answers; sqlite3, xmllint, Python and
// cmp judge what arrives.
#include "AppMessage.h"
#include "CommandIds.h"
#include "ExchangeTestSupport.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "db/DbConnection.h"
#include "tables/Documentation.h"
#include "tables/ForecastData.h"
#include "tables/ImportEventTypes.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStatusBar>

namespace {

constexpr int kForecast = 5;
constexpr int kOrgA = 3; // imported into A's database under 77
constexpr int kOrgB = 4;

class ChoosingHook : public CModalHook {
public:
    ChoosingHook() { m_previous = SetModalHook(this); }
    ~ChoosingHook() override { SetModalHook(m_previous); }
    std::optional<std::vector<int>> chooseReceivers(QWidget*, const CReceiverChoice&) override { return chosen; }
    QString getOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return openFile; }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {openFile};
    }
    std::vector<int> chosen;
    QString openFile;

private:
    CModalHook* m_previous = nullptr;
};

class TwoOrgsTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        REQUIRE_XMLLINT();
        if (!HaveProgram(QStringLiteral("sqlite3")))
            GTEST_SKIP() << "sqlite3 is not installed";
        // The full road leaves its folders for a look from outside; the other tests keep theirs private.
        const bool road = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())
            == "ReferenceDataAndCommentsTravelDownAndBack";
        const QString out = road ? TestOutFolder(QStringLiteral("exchange_two_orgs")) : home();
        for (const char* org : {"A", "B"}) {
            const QString dir = out + QString::fromLatin1(org) + u'/';
            QDir(dir).removeRecursively();
            for (const char* sub : {"Export", "Import", "docs"})
                QDir().mkpath(dir + QString::fromLatin1(sub));
            ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), dir + QStringLiteral("LIR.db")));
            QFile::setPermissions(dir + QStringLiteral("LIR.db"), QFile::ReadOwner | QFile::WriteOwner);
            CopySchemas(dir);
            (org[0] == 'A' ? a : b) = dir;
        }
        transports = {{QStringLiteral("Файл"), QStringLiteral("File"), nullptr}};
    }
    void TearDown() override
    {
        frame.reset();
        SetAppMainWindow(nullptr);
        ShellHooks() = CShellHooks{};
        GetDBConnection().Close();
        TempHomeTest::TearDown();
    }

    // The organisation's folder becomes the program folder, its database the main one, and a new
    // main frame shows it.
    void Use(const QString& dir)
    {
        frame.reset();
        GetDBConnection().Close();
        SetEnv("LIR_HOME", dir.toUtf8());
        DbConnectParams p;
        p.dialect = SqlDialect::SQLite;
        p.file = dir + QStringLiteral("LIR.db");
        ASSERT_TRUE(GetDBConnection().ConnectWith(p));
        SeedImportEventTypes();
        CSettings& s = Settings();
        s.Transport = QStringLiteral("File");
        s.ExportDir = dir + QStringLiteral("Export");
        s.ImportDir = dir + QStringLiteral("Import");
        s.EnableOpJournal = false;
        session = CSessionState{};
        session.currentForecastId = kForecast;
        session.ownReceiverId = LoadImportedLeafReceivers(kForecast);
        ShellHooks() = CShellHooks{};
        InstallExchangeCommands(session, transports);
        InstallForecastExchange(session, transports);
        frame = std::make_unique<CMainFrame>(session);
        SetAppMainWindow(frame.get());
        ASSERT_TRUE(frame->Create());
        frame->UpdateCommandUI();
    }
    bool Run(int command)
    {
        frame->UpdateCommandUI();
        return frame->ExecuteCommand(command);
    }
    // One value a line, as sqlite3 prints it.
    QString Sql(const QString& dir, const QString& query)
    {
        const PeerRun run = RunPeer(QStringLiteral("sqlite3"), {dir + QStringLiteral("LIR.db"), query});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        return run.output.trimmed();
    }
    bool Shown(const QString& text)
    {
        return std::any_of(messages.begin(), messages.end(), [&](const RecordedMessage& m) { return m.text == text; });
    }

    // A: forecast 5 with reference data closed, its own receiver at the top (imported under 77) and
    // B below it, units and a conversion, three products with prices, one document.
    void SeedA()
    {
        CForecastRecord f{kForecast, QStringLiteral("Прогноз-2013"), 2013, -20, QStringLiteral("Минфин"), 1};
        ASSERT_TRUE(SaveForecast(f));
        CReceiverRecord orgA{kOrgA, 0, QStringLiteral("Управление А"), QStringLiteral("a@example.org"), 0, 77};
        CReceiverRecord orgB{kOrgB, kOrgA, QStringLiteral("Отдел Б"), QStringLiteral("b@example.org"), 0, 0};
        for (CReceiverRecord* r : {&orgA, &orgB})
            ASSERT_TRUE(SaveReceiver(*r) && MapReceiverToForecast(r->id, kForecast, 0));
        CMeasurementRecord units[] = {
            {1, "шт", "796", "шт", 1}, {2, "руб", "383", "р", 2}, {3, "тыс.руб", "384", "тр", 2}};
        for (auto& u : units)
            ASSERT_TRUE(SaveMeasurement(u));
        CMConvertRecord convert{-1, 3, 2, 1000.0};
        ASSERT_TRUE(SaveMConvert(convert, false));
        for (int id : {1, 2, 3}) {
            CProductRecord p;
            p.id = id;
            p.prognoz = kForecast;
            p.parent = id == 1 ? 0 : 1;
            p.isgroup = id == 1;
            p.type = id == 1 ? 64 : 1;
            p.name = id == 1 ? QStringLiteral("Продукция") : QStringLiteral("Товар %1").arg(id);
            p.measurementNatural = 1;
            p.measurementPrice = id == 3 ? 3 : 2;
            ASSERT_TRUE(SaveProduct(p));
            CPriceRecord price{
                -1, kForecast, id, Money::fromRaw(15000 * id), Money::fromInt(2 * id), Money::fromRaw(25000 * id)};
            ASSERT_TRUE(SavePrice(price, false));
        }
        CDocumentationRecord doc{-1,
                                 kForecast,
                                 QStringLiteral("Методика"),
                                 0,
                                 QStringLiteral("method.txt"),
                                 QByteArray("Методика расчёта\n")};
        ASSERT_TRUE(SaveDocumentation(doc));
    }

    // A, seeded, sends its reference data to B with the file transport.
    void SendFromA()
    {
        Use(a);
        SeedA();
        Use(a);
        hook.chosen = {kOrgB};
        ASSERT_TRUE(Run(ID_NSI_SEND));
    }

    QString a, b;
    CTransportList transports;
    CSessionState session;
    std::unique_ptr<CMainFrame> frame;
    ChoosingHook hook;
};

TEST_F(TwoOrgsTest, ReferenceDataAndCommentsTravelDownAndBack)
{
    SendFromA();
    const QString nsi = a + QStringLiteral("Export/НСИ_Отдел_Б_Прогноз-2013.xml");
    const PeerRun lint = Xmllint(a + QStringLiteral("lir.xsd"), nsi);
    EXPECT_EQ(lint.exitCode, 0) << lint.output.toStdString();
    const QJsonObject tree = PythonTree(nsi);
    const QJsonObject receivers = tree.value("children").toArray().at(0).toObject();
    ASSERT_EQ(ChildTags(receivers), (QStringList{"receiver", "receiver"}));
    EXPECT_EQ(ChildText(receivers.value("children").toArray().at(0).toObject(), "name"), "Управление А");
    EXPECT_FALSE(ChildTags(tree).contains("old2NewIDMap"));

    // B, empty, takes it in.
    Use(b);
    ASSERT_TRUE(QFile::copy(nsi, b + QStringLiteral("Import/nsi.xml")));
    hook.openFile = b + QStringLiteral("Import/nsi.xml");
    answers = {IDYES};
    ASSERT_TRUE(Run(ID_NSI_RECEIVE));
    EXPECT_TRUE(Shown(QStringLiteral("НСИ успешно загружен!"))) << [&] {
        QStringList t;
        for (auto& m : messages)
            t << m.text;
        return t.join("|").toStdString();
    }();
    for (const char* query : {"select id from tclsproduct where prognoz=5 order by id",
                              "select count(*) from tfctprice where prognoz=5", "select count(*) from tclsmeasurement",
                              "select count(*) from tclsmconvert", "select name, year from tfctprognoz where id=5"})
        EXPECT_EQ(Sql(b, QString::fromUtf8(query)), Sql(a, QString::fromUtf8(query))) << query;
    EXPECT_EQ(Sql(b, "select category from tclsreceiver order by importedId"), "-1\n0");
    EXPECT_EQ(Sql(b, "select count(*) from tfctimportstatus where event=1 and received is not null"), "1");
    EXPECT_EQ(RunPeer("cmp", {a + "docs/doc_5_1", b + "docs/doc_5_1"}).exitCode, 0)
        << Sql(a, "select * from tfctdocumentation").toStdString();

    // B enters its rows, consolidates and sends them up; A takes them in as B's.
    for (int product : {2, 3}) {
        CForecastDataRecord row;
        row.prognoz = kForecast;
        row.receiver = session.ownReceiverId;
        row.product = product;
        row.valueNext = Money::fromInt(product);
        row.sumNext = Money::fromRaw(123456 * product);
        ASSERT_TRUE(SaveForecastData(row, false));
    }
    answers = {IDYES, IDYES};
    ASSERT_TRUE(Run(ID_FORECAST_SEND));
    const QStringList sent = QDir(b + QStringLiteral("Export")).entryList({QStringLiteral("Прогноз_*.xml")});
    ASSERT_EQ(sent.size(), 1) << Sql(b, "select * from tfctimportstatus").toStdString();
    const QString totals = "select count(*), sum(sumNext) from tfcttotalprognoz where prognoz=5";
    EXPECT_EQ(Sql(b, totals).section(u'|', 0, 0), "2");
    Use(a);
    hook.openFile = b + QStringLiteral("Export/") + sent[0];
    answers = {IDYES};
    messages.clear();
    ASSERT_TRUE(Run(ID_FORECAST_RECEIVE));
    EXPECT_EQ(Sql(a, "select count(*), sum(sumNext) from tfctprognozdata where prognoz=5 and receiver=4"),
              Sql(b, totals))
        << messages.back().text.toStdString();

    // A comments on two of B's rows; B stores them on its consolidated rows.
    Sql(a, "update tfctprognozdata set comment='Уточнить '||product where prognoz=5 and receiver=4");
    ASSERT_TRUE(Run(ID_COMMENTS_SEND));
    const QString comments = a + QStringLiteral("Export/Комментарий_Отдел_Б.xml");
    EXPECT_EQ(Xmllint(a + QStringLiteral("comment.xsd"), comments).exitCode, 0);
    Use(b);
    hook.openFile = comments;
    answers = {IDYES};
    ASSERT_TRUE(Run(ID_COMMENTS_RECEIVE));
    EXPECT_EQ(Sql(b, "select comment from tfcttotalprognoz where prognoz=5 order by product"),
              "Уточнить 2\nУточнить 3");
    const QString journal = "select event from tfctimportstatus where comment='Комментарии к прогнозу'";
    EXPECT_EQ(Sql(a, journal), "3");
    EXPECT_EQ(Sql(b, journal), "1");

    // A sends again: "No" leaves B as it was, "Yes" keeps one receiver at the top for B.
    Use(a);
    QFile::remove(nsi);
    ASSERT_TRUE(Run(ID_NSI_SEND));
    Use(b);
    const auto dump = [&] {
        return RunPeer("sh", {"-c", "sqlite3 '" + b + "LIR.db' .dump | sha256sum; ls -l '" + b + "docs'"}).output;
    };
    const QString before = dump();
    hook.openFile = nsi;
    answers = {IDNO};
    messages.clear();
    ASSERT_TRUE(Run(ID_NSI_RECEIVE));
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(
        messages.front().text.contains("Внимание! При повторной загрузке НСИ предыдущие данные могут быть потеряны!"));
    EXPECT_EQ(dump(), before);
    answers = {IDYES};
    ASSERT_TRUE(Run(ID_NSI_RECEIVE));
    EXPECT_EQ(Sql(b, "select count(*) from tclsreceiver where category=0"), "1");
}

// The import of the reference data names itself and its step in the status bar while it reads, while
// its question waits and while the windows take in what it stored; "Готов к работе" is back when it
// shows its outcome.
TEST_F(TwoOrgsTest, AnImportNamesItsStepInTheStatusBarUntilItIsDone)
{
    SendFromA();
    Use(b);
    const QLabel* pane = frame->statusBar()->findChild<QLabel*>(QStringLiteral("pane0"));
    ASSERT_NE(pane, nullptr);
    QStringList seen; // what was shown or done, with the status text at that moment
    const auto note = [&](const QString& what) {
        const QString line = what + QStringLiteral(" | ") + pane->text();
        if (seen.isEmpty() || seen.back() != line)
            seen << line;
    };
    const MessageBoxHandler recording = SetMessageBoxHandler(
        [&](const QString& text, unsigned, QObject*) {
            note(text.section(u'"', 0, 0));
            return int(IDYES);
        },
        true);
    QObject::connect(frame->forecastBar()->forecastCombo(), &QComboBox::currentIndexChanged, frame.get(),
                     [&] { note(QStringLiteral("forecast list")); });
    hook.openFile = a + QStringLiteral("Export/НСИ_Отдел_Б_Прогноз-2013.xml");
    ASSERT_TRUE(Run(ID_NSI_RECEIVE));
    SetMessageBoxHandler(recording, true);
    EXPECT_EQ(
        seen,
        QStringList({"Получен НСИ от  | Получение НСИ: чтение файла...",
                     "forecast list | Получение НСИ: обновление окон...", "НСИ успешно загружен! | Готов к работе"}));
    EXPECT_EQ(pane->text(), "Готов к работе");
}

TEST_F(TwoOrgsTest, OnlyGroupsChosenWriteNoFileAndOneJournalRow)
{
    Use(a);
    SeedA();
    CReceiverRecord group{10, kOrgA, QStringLiteral("Группа"), QString(), 0, 0, RT_FEDERAL, 1};
    ASSERT_TRUE(SaveReceiver(group) && MapReceiverToForecast(10, kForecast, 0));
    Use(a);
    hook.chosen = {10};
    ASSERT_TRUE(Run(ID_NSI_SEND));
    EXPECT_TRUE(QDir(a + QStringLiteral("Export")).isEmpty());
    EXPECT_EQ(Sql(a, "select receiver, comment, event from tfctimportstatus"), "10|НСИ|2");
}

} // namespace

namespace {

TEST_F(TwoOrgsTest, AFailingPriceInsertLeavesTheReceiverAsItWas)
{
    SendFromA();
    Use(b);
    Sql(b, "create trigger refuse before insert on tfctprice begin select raise(abort, 'no prices'); end;");
    hook.openFile = a + QStringLiteral("Export/НСИ_Отдел_Б_Прогноз-2013.xml");
    answers = {IDYES};
    ASSERT_TRUE(Run(ID_NSI_RECEIVE));
    EXPECT_FALSE(Shown(QStringLiteral("НСИ успешно загружен!")));
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [](const RecordedMessage& m) { return m.text.contains("no prices"); }));
    EXPECT_EQ(Sql(b,
                  "select (select count(*) from tclsproduct) + (select count(*) from tclsreceiver) + "
                  "(select count(*) from tfctprognoz) + (select count(*) from tfctimportstatus)"),
              "0");
    EXPECT_TRUE(QDir(b + QStringLiteral("docs")).isEmpty());
}

} // namespace
