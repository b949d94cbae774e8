// The transport host thread with the scripted plug-in through the real registry, and the old-to-new
// id maps, on both dialects.
#include "AppMessage.h"
#include "DbTest.h"
#include "ExchangeDocuments.h"
#include "ExchangeTestSupport.h"
#include "ForecastFile.h"
#include "ForecastImport.h"
#include "MailFiles.h"
#include "MailPeers.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "OldIdMap.h"
#include "Settings.h"
#include "TransportHost.h"
#include "TransportRegistry.h"
#include "TransportSend.h"
#include "WorkspaceRefresh.h"
#include "tables/ImportEventTypes.h"
#include "tables/ReceiverMap.h"
#include "tables/Receivers.h"

#include "ModalHook.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QWidget>

#include <csignal>
#include <memory>

namespace {

// The main window as far as the host asks for it.
class ShownWindow : public QWidget, public IWorkspaceRefresh {
public:
    void FillForecastCombo() override { }
    void SelectForecast(int) override { }
    void ReloadForecastReceiver() override { }
    void ResetConsolidatedSelection() override { }
    void NotifyChildren(int) override { }
    void NotifyForecastFrame(int) override { }
    void NotifyEventJournal(int) override { }
    void UpdateTitle() override { }
};

// Reference data of forecast 5 from the organisation 3 (imported above under 77) for 4.
// The mail plug-in's settings: the mailbox of `user` (password "secret") on the loopback server,
// polled every second.
void ReceiveEverySecond(const QString& user)
{
    CMailSettings mail;
    mail.pop3Server = QStringLiteral("127.0.0.1");
    mail.pop3Login = user;
    mail.pop3Password = QStringLiteral("secret");
    mail.enableReceive = 1;
    mail.receiveTime = QStringLiteral("1");
    mail.Save();
}

XmlDocPtr NsiDocument()
{
    CReceiverList parties(2);
    parties[0].name = QStringLiteral("Управление А");
    parties[0].importedId = 77;
    parties[1].name = QStringLiteral("Отдел Б");
    parties[1].importedId = 4;
    const CForecastList forecasts = {{5, QStringLiteral("Прогноз"), 2013, -20, QString(), 1}};
    CNsiDocument nsi;
    nsi.forecastId = 5;
    nsi.from = 3;
    nsi.to = 4;
    nsi.receivers = &parties;
    nsi.forecasts = &forecasts;
    CProductList products(1);
    products[0].id = 1;
    products[0].prognoz = 5;
    products[0].parent = 0;
    products[0].name = QStringLiteral("Продукция");
    products[0].isgroup = 1;
    nsi.products = &products;
    return BuildNsiDocument(nsi);
}

class HostThreadTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        CopySchemas(home());
        QDir().mkpath(home() + QStringLiteral("transport"));
        QDir().mkpath(home() + QStringLiteral("Import"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_PLUGIN_DIR "/FakeTransport.so"),
                                home() + QStringLiteral("transport/FakeTransport.so")));
        SetEnv("LIR_FAKE_RECEIVE", (home() + QStringLiteral("receive.txt")).toUtf8());
        SetEnv("LIR_FAKE_ACKLOG", (home() + QStringLiteral("acks.txt")).toUtf8());
        SetJournal(true);
        SeedImportEventTypes();
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (5, 'Прогноз', 2013, 1, -20, "
             "'')");
        session.currentForecastId = 5;
        window.show();
        SetAppMainWindow(&window);
        SetWorkspaceRefresh(&window);
    }
    void TearDown() override
    {
        EXPECT_TRUE(StopTransportHost());
        SetWorkspaceRefresh(nullptr);
        SetAppMainWindow(nullptr);
        Settings().Transport = QStringLiteral("File");
        DbTest::TearDown();
    }
    void Start(const QString& transport, const QStringList& script)
    {
        WriteFile(home() + QStringLiteral("receive.txt"), script.join(u'\n').toUtf8());
        Settings().Transport = transport;
        registry.Load();
        InstallTransportHost(session, &ImportForecastFile);
        StartTransportThread(registry.transports(), home() + QStringLiteral("Import"));
    }
    QStringList Acks()
    {
        return QString::fromUtf8(ReadFile(home() + QStringLiteral("acks.txt"))).split(u'\n', Qt::SkipEmptyParts);
    }
    QStringList HostLines()
    {
        QStringList lines;
        CSqlQuery q(QStringLiteral("select Text from tFctOpJournal where Type = 1 order by id"));
        EXPECT_TRUE(q.exec());
        while (q.next())
            lines << q.text("Text");
        return lines;
    }
    QString Save(const QString& name, XmlDocPtr doc)
    {
        const QString path = home() + QStringLiteral("Import/") + name;
        EXPECT_TRUE(SaveExchangeDocument(doc.get(), path));
        return path;
    }

    // A forecast of another year, apart from the reference data, exported for this organisation (10)
    // by the one below it (11) into `folder`; its path.
    QString ForecastFromBelow(const QString& folder)
    {
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (3, 'Прошлый', 2012, 1, -20, "
             "'')");
        CReceiverRecord upper{10, 0, QStringLiteral("Управление"), QString(), 0, 0};
        CReceiverRecord lower{11, 10, QStringLiteral("Отдел"), QString(), 0, 0};
        for (CReceiverRecord* r : {&upper, &lower})
            EXPECT_TRUE(SaveReceiver(*r) && MapReceiverToForecast(r->id, 3, 0));
        for (int product : {40, 41})
            Exec("insert into tclsproduct (id, prognoz, parent, name, position, type, isgroup) values (?, 3, 0, "
                 "'Товар', 0, 1, 0)",
                 {product});
        const QString path = folder + QStringLiteral("Прогноз_Отдел.xml");
        EXPECT_TRUE(WriteForecastDocument({10, 11, QString(), 0}, SampleTotals(), path));
        return path;
    }

    CSessionState session;
    CTransportRegistry registry;
    ShownWindow window;
};

TEST_P(HostThreadTest, FileTransportStartsNoReceiveThread)
{
    Start(QStringLiteral("File"), {QStringLiteral("8 never")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return HostLines().size() >= 3; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(HostLines(),
              (QStringList{"Dll пропущена (всего пропущено 1)", "Найдена dll, Прием включен",
                           "Просмотр и запуск модулей завершен."}));
    EXPECT_TRUE(Acks().isEmpty());
}

TEST_P(HostThreadTest, EveryCodeIsServedAndAnswered)
{
    // Reference data naming this organisation (4) below its sender (3), then comments from it.
    const QString nsiPath = Save(QStringLiteral("nsi.xml"), NsiDocument());
    CForecastDataRecord row;
    row.product = 1;
    row.comment = QStringLiteral("Проверить");
    const QString commentPath = Save(QStringLiteral("comment.xml"), BuildCommentDocument({3, 5, 4, QString()}, {row}));
    const QString forecastPath = ForecastFromBelow(home() + QStringLiteral("Import/"));

    answers = {IDOK, IDYES, IDOK, IDYES, IDOK, IDYES, IDOK, IDOK};
    Start(QStringLiteral("FAKE"),
          {"8 Журнал модуля", "1 [InfoSubject:] Тема\\r\\n[x]\\r\\nТекст\\r\\n", "2 " + forecastPath, "3 " + nsiPath,
           "2 " + commentPath, "2 " + commentPath + ".missing", "4 op|msg", "4null op", "5", "9"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Acks().size() >= 10; }, 10000)) << Acks().join(' ').toStdString();
    EXPECT_EQ(Acks(), QString("6 6 6 6 6 6 7 7 6 6").split(' '));
    EXPECT_EQ(Scalar("select count(*) from tfctprognozdata where prognoz = 3 and receiver = 11").toInt(), 2);
    EXPECT_TRUE(HostLines().contains("Получена информация от транспортного модуля:\r\nЖурнал модуля"));
    EXPECT_EQ(Scalar("select subject || '|' || text from tFctMailing").toString(), " Тема|Текст");
    EXPECT_EQ(Scalar("select MailingDate from tFctMailing").toDateTime().time(), QTime(0, 0));
    EXPECT_EQ(Scalar("select comment from tfcttotalprognoz where prognoz = 5 and product = 1").toString(), "Проверить");
    QStringList texts;
    for (const RecordedMessage& m : messages)
        texts << m.text;
    EXPECT_EQ(texts.filter("Error!!!!").join('|'), "Error!!!!. Операция op, Сообщение msg");
    EXPECT_EQ(texts.count("Получено информационное сообщение"), 1);
    EXPECT_EQ(texts.count("НСИ успешно загружен!"), 1) << texts.join('|').toStdString();
    EXPECT_EQ(texts.count(ForecastImportTexts::kLoaded.arg(forecastPath)), 1) << texts.join('|').toStdString();
}

TEST_P(HostThreadTest, AnItemIsTakenOnlyOnceDecidedAndADeclinedOneIsJournalled)
{
    // "Нет" declines the reference data (the plug-in deletes the mail, and the journal says why); a box
    // closed without an answer, as when the program ends, decides nothing and the plug-in keeps the mail.
    const QString nsiPath = Save(QStringLiteral("nsi.xml"), NsiDocument());
    answers = {IDNO, 0, 0, IDYES, IDOK};
    Start(QStringLiteral("FAKE"), {"3 " + nsiPath, "3 " + nsiPath, "1 [InfoSubject:]Тема\\r\\nТекст", "3 " + nsiPath});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Acks().size() >= 4; }, 10000)) << Acks().join(' ').toStdString();
    EXPECT_EQ(Acks(), QString("6 9 9 6").split(' '));
    EXPECT_EQ(HostLines().count(HostTexts::kDeclined.arg(nsiPath)), 1) << HostLines().join('\n').toStdString();
    EXPECT_EQ(Scalar("select count(*) from tFctMailing").toInt(), 0);
    EXPECT_EQ(Scalar("select count(*) from tfctimportstatus where event = 1 and comment = 'НСИ'").toInt(), 1);
}

// The program ends only once no thread of its own is left inside a plug-in: the stop ends a receive
// loop that would otherwise go on for ever, also one waiting for an answer the host will not give.
TEST_P(HostThreadTest, TheStopEndsThePluginsReceiveLoop)
{
    Start(QStringLiteral("FAKE"), {QStringLiteral("every 20 tick")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Acks().size() >= 3; }, 10000));
    EXPECT_TRUE(StopTransportHost(3000));
    const qsizetype answered = Acks().size();
    QTest::qWait(200);
    EXPECT_EQ(Acks().size(), answered);
}

// An item that waits for the window at the stop is answered as undecided: the plug-in need not wait
// to know that it keeps the mail.
TEST_P(HostThreadTest, AnItemWaitingAtTheStopIsAnsweredKept)
{
    window.hide();
    Start(QStringLiteral("FAKE"), {QStringLiteral("1 [InfoSubject:]Тема\\r\\nТекст")});
    QTest::qWait(300);
    EXPECT_TRUE(StopTransportHost(3000));
    EXPECT_EQ(Acks(), QStringList{"9"});
    EXPECT_EQ(Scalar("select count(*) from tFctMailing").toInt(), 0);
}

TEST_P(HostThreadTest, ALongPluginLogTakesSeveralRowsAndLosesNothing)
{
    // Lines as the mail plug-in writes them, and one longer than a row whose characters take two
    // code units each.
    QString log;
    for (int i = 0; i < 12; ++i)
        log += QStringLiteral("\t09/12/2026 13:08:18.%1 SMTP Получено сообщениею Тема {Auto} АИС ЛИР. Данные:%2\r\n")
                   .arg(i, 3, 10, QChar(u'0'))
                   .arg(i);
    log += QStringLiteral("\tТема ") + QString(300, u'x').replace(u'x', QStringLiteral("\U0001F600")) + "\r\n";
    log += QStringLiteral("\tЦикл приема сообщений завершен\r\n");
    QString script = log;
    script.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    Start(QStringLiteral("FAKE"), {"8 " + script});
    ASSERT_TRUE(QTest::qWaitFor([&] { return Acks().size() >= 1; }, 10000));

    const QString heading = HostTexts::kLog.arg(QString());
    QString joined;
    int rows = 0;
    for (const QString& row : HostLines()) {
        if (!row.startsWith(heading))
            continue;
        ++rows;
        EXPECT_LE(row.size(), 255) << row.toStdString();
        const QString body = row.mid(heading.size());
        EXPECT_FALSE(body.front().isLowSurrogate()) << rows;
        // A row ends with a whole line unless the line does not fit in one.
        if (!body.contains(QStringLiteral("\U0001F600"))) {
            EXPECT_TRUE(body.endsWith("\r\n")) << body.toStdString();
        }
        joined += body;
    }
    EXPECT_EQ(joined, log);
    EXPECT_GE(rows, 8);
}

TEST_P(HostThreadTest, ReferenceDataArriveByMailThroughDovecot)
{
    const auto sink = SmtpSink::FromEnvironment("SMTPTEST_");
    const auto server = Pop3Server::FromEnvironment();
    if (!sink || !server)
        GTEST_SKIP() << "no SMTP sink or POP3 server: scripts/test.sh starts both";
    const QString user = QStringLiteral("road%1%2").arg(::getpid()).arg(isPg() ? "pg" : "lite");
    const QString maildir = server->AddUser(user, QStringLiteral("secret"));
    ReceiveEverySecond(user);
    QSettings profile(profilePath(), QSettings::IniFormat);
    profile.setValue(QStringLiteral("Transport/MAILRUNE/SMTPServer"), QStringLiteral("127.0.0.1"));
    profile.setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), sink->port);
    profile.sync();
    SetEnv("LIR_POP3_PORT", QByteArray::number(server->port));
    ASSERT_TRUE(QFile::copy(QStringLiteral(MAILRUNE_MODULE_PATH), home() + QStringLiteral("transport/mailrune.so")));
    registry.Load();
    const auto mailer = std::find_if(registry.transports().begin(), registry.transports().end(),
                                     [](const CTransportEntry& e) { return e.code == "SMTP"; });
    ASSERT_NE(mailer, registry.transports().end());

    // The upper organisation sends its reference data, the lower one below this its forecast, both
    // through the real plug-in; the sink's mail lands in dovecot.
    const QString out = home() + QStringLiteral("out/");
    QDir().mkpath(out);
    const QString nsi = out + QStringLiteral("НСИ_Отдел_Б.xml");
    ASSERT_TRUE(SaveExchangeDocument(NsiDocument().get(), nsi));
    const QString to = user + QStringLiteral("@example.ru");
    const struct {
        QString data;
        QString type;
    } mails[] = {{nsi, ExchangeDataType::kNsi}, {ForecastFromBelow(out), ExchangeDataType::kForecast}};
    for (const auto& mail : mails) {
        const QString envelope = mail.data + QStringLiteral(".envelope.xml");
        ASSERT_TRUE(SaveExchangeDocument(
            BuildSendEnvelope({"Отдел Б", to, "Управление А", "a@example.ru", mail.data, mail.type}).get(), envelope));
        EXPECT_EQ(SendFileThroughTransport(mailer->transport, envelope), QString()) << mail.type.toStdString();
    }
    const QList<QJsonObject> sent = sink->MessagesTo(to);
    ASSERT_EQ(sent.size(), 2);
    for (const QJsonObject& m : sent)
        DeliverToMaildir(maildir, ReadFile(sink->folder + u'/' + m["file"].toString()));

    // This organisation's host thread takes both from the mailbox and imports them.
    answers = {IDYES, IDOK, IDYES, IDOK};
    Settings().Transport = QStringLiteral("SMTP");
    InstallTransportHost(session, &ImportForecastFile);
    StartTransportThread(registry.transports(), home() + QStringLiteral("Import"));
    const auto loaded = [&] {
        return std::count_if(messages.begin(), messages.end(),
                             [](const RecordedMessage& m) { return m.text.endsWith("успешно загружен!"); })
            == 2;
    };
    ASSERT_TRUE(QTest::qWaitFor(loaded, 20000)) << HostLines().join('\n').toStdString();
    EXPECT_EQ(Scalar("select count(*) from tclsreceiver where importedId <> 0").toInt(), 2);
    EXPECT_EQ(Scalar("select count(*) from tfctprognozdata where prognoz = 3 and receiver = 11").toInt(), 2);
    EXPECT_EQ(Scalar("select count(*) from tfctimportstatus where event = 1 and comment = 'Прогноз' and receiver = 11")
                  .toInt(),
              1);
    EXPECT_EQ(Scalar("select count(*) from tfctimportstatus where event = 1").toInt(), 2);
    // The plug-in's whole log reaches the journal, the lines on each mail among it, once the poll ends.
    const auto logged = [&] {
        return HostLines().join(QString()).contains("Получено сообщениею Тема {Auto} АИС ЛИР. Данные:НСИ");
    };
    EXPECT_TRUE(QTest::qWaitFor(logged, 5000)) << HostLines().join('\n').toStdString();
    // The mail goes from the server once the session that read it ends.
    EXPECT_TRUE(QTest::qWaitFor([&] { return MaildirCount(maildir) == 0; }, 5000));
}

LIR_INSTANTIATE_DB_TEST(HostThreadTest);

TEST(InfoTextTest, SubjectAndTextComeFromTheirLines)
{
    const struct {
        const char* info;
        const char* subject;
        const char* text;
    } cases[] = {
        {"[InfoSubject:] Тема\r\n[x]\r\nТекст\r\n", " Тема", "Текст"},
        {"Первая\nвторая", "", "Первая\nвторая"},
        {"", "", ""},
        {"[InfoSubject:]A\n[InfoSubject:]B\nтекст\n", "B", "текст"},
        {"[x]\n", "", ""},
    };
    for (const auto& c : cases) {
        QString subject, text;
        ParseInfoText(QString::fromUtf8(c.info), &subject, &text);
        EXPECT_EQ(subject, QString::fromUtf8(c.subject)) << c.info;
        EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.info;
    }
}

class IdMapTest : public DbTest {
protected:
    QString Entities()
    {
        CSqlQuery q(QStringLiteral("select entity, count(*) from tFctOldImportMap group by entity order by entity"));
        EXPECT_TRUE(q.exec());
        QStringList out;
        while (q.next())
            out << q.value(0).toString() + u'|' + q.value(1).toString();
        return out.join(u' ');
    }
};

TEST_P(IdMapTest, StoredPairsTravelWithTheirForecastsAndReceivedOnesReplaceThem)
{
    for (int f : {5, 6})
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (?, 'П', 2013, 1, -20, '')",
             {f});
    Exec("insert into tclsproduct (id, prognoz, parent, name, position, type, isgroup) values (1, 6, 0, 'Продукция', "
         "0, 64, 1)");
    Exec("insert into tfctprice (prognoz, product, priceprev, pricecur, pricenext) values (6, 1, 1, 1, 1)");
    for (const auto& [entity, oldId, newId] :
         std::vector<std::tuple<int, int, int>>{{2, 1, 6}, {4, 9, 4}, {4, 8, 99}, {1, 3, 3}})
        Exec("insert into tFctOldImportMap (entity, oldID, newID) values (?, ?, ?)", {entity, oldId, newId});
    CReceiverList receivers(2);
    receivers[0].id = 3;
    receivers[1].id = 4;

    COldIdMap map;
    CPriceList prices;
    auto maps = map.WriteExchangeMaps(receivers, prices, 5);
    ASSERT_TRUE(maps);
    EXPECT_FALSE(maps->idMaps);
    ASSERT_EQ(maps->forecasts.size(), 1u);
    EXPECT_EQ(maps->forecasts[0].id, 5);
    EXPECT_TRUE(prices.empty());

    Exec("insert into tFctOldImportMap (entity, oldID, newID) values (2, 2, 5)");
    maps = map.WriteExchangeMaps(receivers, prices, 5);
    ASSERT_TRUE(maps && maps->idMaps);
    ASSERT_EQ(maps->forecasts.size(), 2u);
    EXPECT_EQ(maps->forecasts[0].id, 6);
    EXPECT_EQ(prices.size(), 1u); // forecast 6's
    ASSERT_EQ(maps->idMaps->receivers.size(), 1u);
    EXPECT_EQ(maps->idMaps->receivers[0].oldId, 9);

    // Only exactly named pairs count; a pair that fails to store leaves every stored pair.
    const auto doc = XmlParseMemory("<old2NewIDMap><products><oldID>7</oldID><newID>8</newID></products>"
                                    "<Products><oldID>1</oldID><newID>1</newID></Products>"
                                    "<products><oldID>x</oldID><newID>13</newID></products></old2NewIDMap>");
    ASSERT_TRUE(doc);
    const COldIdMapSet set = COldIdMap::Load(xmlDocGetRootElement(doc.get()));
    EXPECT_EQ(set.products, (CIdMap{{0, 13}, {7, 8}}));
    if (isPg())
        ExecAsAdmin(
            "create function refuse() returns trigger language plpgsql as $$begin raise exception 'refused'; end$$;"
            "create trigger refuse before insert on tfctoldimportmap for each row when (new.newid = 13) "
            "execute function refuse()");
    else
        Exec("create trigger refuse before insert on tFctOldImportMap when new.newID = 13 "
             "begin select raise(abort, 'refused'); end");
    EXPECT_FALSE(map.Save(set));
    EXPECT_EQ(Entities(), "1|1 2|2 4|2");
    if (isPg())
        ExecAsAdmin("drop trigger refuse on tfctoldimportmap");
    else
        Exec("drop trigger refuse");
    EXPECT_TRUE(map.Save(set));
    EXPECT_EQ(Entities(), "1|2 4|2");
}

LIR_INSTANTIATE_DB_TEST(IdMapTest);

} // namespace

namespace {

// forecast itself, started from outside with the mail plug-in on the dovecot of the test script.
class ProgramWithMailTest : public TempHomeTest { };

} // namespace

// A signal while the question on received reference data waits ends the program, and the mail stays
// on the server; "Нет" deletes it, and the journal says that the user declined it.
TEST_F(ProgramWithMailTest, ASignalDuringTheQuestionKeepsTheMailAndNoDeletesItWithAJournalLine)
{
    const auto server = Pop3Server::FromEnvironment();
    if (!server)
        GTEST_SKIP() << "no POP3 server: POP3TEST_PORT is not set (scripts/test.sh starts dovecot)";
    const QString user = QStringLiteral("hup%1").arg(::getpid());
    const QString maildir = server->AddUser(user, QStringLiteral("secret"));
    ReceiveEverySecond(user);
    QSettings profile(profilePath(), QSettings::IniFormat);
    profile.setValue(QStringLiteral("Settings/Transport"), QStringLiteral("SMTP"));
    profile.setValue(QStringLiteral("Settings/EnableOpJournal"), 1);
    profile.sync();

    const QString folder = home() + QStringLiteral("program/");
    for (const char* sub : {"transport", "Import", "run"})
        QDir().mkpath(folder + QLatin1String(sub));
    QFile::setPermissions(folder + QStringLiteral("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(QFile::copy(QStringLiteral(MAILRUNE_MODULE_PATH), folder + QStringLiteral("transport/mailrune.so")));
    for (const char* file : {"LIR.db.tmpl", "LIRR.db", "lir.xsd", "forecast.xsd", "comment.xsd"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(file), folder + QLatin1String(file)));
    const QString nsi = home() + QStringLiteral("НСИ_Отдел.xml");
    ASSERT_TRUE(SaveExchangeDocument(NsiDocument().get(), nsi));
    ASSERT_TRUE(ZipDataFile(nsi.toStdString(), (nsi + QStringLiteral(".zip")).toStdString()));
    CCdoMailSender sender;
    sender.AddFrom("a@example.ru", "Управление А");
    sender.AddTo("b@example.ru", "Отдел Б");
    sender.SetSubject("{Auto} АИС ЛИР. Данные:НСИ");
    sender.SetBody("[From:] \"Управление А\"\n");
    sender.AddAttachment((nsi + QStringLiteral(".zip")).toStdString(), "НСИ.zip");
    DeliverToMaildir(maildir, QByteArray::fromStdString(sender.Compose(NewMailStamp("a@example.ru"))));

    const auto start = [&](const QByteArray& answer) {
        auto program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LIR_HOME"), folder);
        env.insert(QStringLiteral("LIR_POP3_PORT"), QString::number(server->port));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder + QStringLiteral("run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("LIR_MSGBOX"));
        if (!answer.isEmpty())
            env.insert(QStringLiteral("LIR_MSGBOX"), QString::fromLatin1(answer));
        program->setProcessEnvironment(env);
        program->start(QStringLiteral(LIR_BIN_DIR "/forecast"), {});
        EXPECT_TRUE(program->waitForStarted(5000));
        return program;
    };
    const QString received = folder + QStringLiteral("Import/НСИ_Отдел.xml");
    {
        const auto program = start({});
        // The file is unpacked and handed over: the question opens and waits.
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(received); }, 20000));
        QTest::qWait(1500);
        ::kill(pid_t(program->processId()), SIGHUP);
        EXPECT_TRUE(program->waitForFinished(5000));
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_EQ(MaildirCount(maildir), 1) << "the mail is still on the server";
    }
    QFile::remove(received);
    const auto program = start("no");
    EXPECT_TRUE(QTest::qWaitFor([&] { return MaildirCount(maildir) == 0; }, 20000));
    ::kill(pid_t(program->processId()), SIGTERM);
    EXPECT_TRUE(program->waitForFinished(5000));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("child"));
        db.setDatabaseName(folder + QStringLiteral("LIR.db"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.prepare(QStringLiteral("select count(*) from tFctOpJournal where Text = ?")));
        q.addBindValue(HostTexts::kDeclined.arg(received));
        ASSERT_TRUE(q.exec());
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 1);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("child"));
}
