// The receive loop against dovecot, with the test host playing the program's side of the channel.
#include "MailReceive.h"
#include "Codepage.h"
#include "MailFiles.h"
#include "MailPeers.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "Pop3Session.h"
#include "ReceivedMail.h"
#include "TransportTestHost.h"
#include "ZipException.h"
#include "zip/ZipBomb.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <set>

namespace {

using namespace MailReceiveTexts;
using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QThread::msleep(50);
    }
    return true;
}

QStringList FilesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

// For failure messages.
std::string Joined(const Texts& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

std::string Line(const char* format, const std::string& value)
{
    return MailFormat(format, value.c_str());
}

class MailReceiveTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        root = home() + QStringLiteral("received/");
        import = root + QStringLiteral("a/b/import");
        work = home() + QStringLiteral("work/");
        QDir().mkpath(import);
        QDir().mkpath(work);
    }

    void Configure(const QString& user)
    {
        CMailSettings s;
        s.pop3Server = QStringLiteral("127.0.0.1");
        s.pop3Login = user;
        s.pop3Password = QStringLiteral("secret");
        s.enableReceive = 1;
        s.Save();
    }

    // Polls every second.
    void Start(CTransportTestHost& host, int port, CReceiveOptions options = {})
    {
        options.port = port;
        options.periodSeconds = 1;
        options.stopEvent = host.StopEvent();
        host.Start([this, options](CTransportChannel* channel) { return RunReceiveLoop(transport, channel, options); });
    }

    // A forecast document of about `size` bytes in the work folder.
    QString DataFile(const QString& name, int size)
    {
        QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope>\n";
        for (int i = 0; xml.size() < size; ++i)
            xml += QStringLiteral("<row product=\"%1\" name=\"Продукция %1\" sum=\"%2.45\"/>\n")
                       .arg(i)
                       .arg(i * 7919 % 100003)
                       .toUtf8();
        WriteFile(work + name, xml + "</forecastEnvelope>\n");
        return work + name;
    }

    // A mail as the send operation composes it; with a data file, that file zipped as its attachment
    // (or, when it ends in ".zip", the file itself).
    static QByteArray Mail(const std::string& subject, const QString& dataFile = {},
                           const std::string& body = "[From:] \"Орг-1\"\n")
    {
        CCdoMailSender sender;
        sender.AddFrom("org1@example.ru", "Орг-1");
        sender.AddTo("org2@example.ru", "Орг-2");
        sender.SetSubject(subject);
        sender.SetBody(body);
        if (!dataFile.isEmpty()) {
            std::string zip = dataFile.toStdString();
            if (!dataFile.endsWith(QStringLiteral(".zip"))) {
                zip += ".zip";
                EXPECT_TRUE(ZipDataFile(dataFile.toStdString(), zip));
            }
            sender.AddAttachment(zip, "data.zip");
        }
        return QByteArray::fromStdString(sender.Compose(NewMailStamp("org1@example.ru")));
    }

    struct PollResult {
        std::vector<CTransportTestHost::Item> items;
        Texts log;
    };
    // Runs the loop until its first poll has ended.
    PollResult FirstPoll(int port)
    {
        CTransportTestHost host(import.toStdString());
        Start(host, port);
        EXPECT_TRUE(host.WaitForLog(PollDone, 1, 20s)) << Joined(host.LogTexts());
        EXPECT_EQ(host.Stop(), S_OK);
        return {host.Items(), host.LogTexts()};
    }

    static QString Path(const std::optional<std::string>& path) { return QString::fromStdString(path.value_or("")); }

    // A mailbox of the test's own (the name and the process id) on the test script's dovecot, which
    // the settings name; its Maildir, none without a server.
    std::optional<QString> OwnMailbox(const char* name)
    {
        pop3 = Pop3Server::FromEnvironment();
        if (!pop3)
            return std::nullopt;
        const QString user = QString::fromLatin1(name) + QString::number(::getpid());
        const QString maildir = pop3->AddUser(user, QStringLiteral("secret"));
        Configure(user);
        return maildir;
    }
    static constexpr char kNoPop3[] = "no POP3 server: POP3TEST_PORT is not set (scripts/test.sh starts dovecot)";

    CMailTransport transport;
    QString root, import, work;
    std::optional<Pop3Server> pop3;
};

// A dovecot of the test's own, for the tests that stop it.
class MailReceiveOwnServerTest : public MailReceiveTest {
protected:
    void SetUp() override
    {
        MailReceiveTest::SetUp();
        QString why;
        // The server's user must reach the folder, which a private temporary folder would not let it.
        ASSERT_TRUE(m_serverRoot.isValid());
        QFile::setPermissions(m_serverRoot.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                  | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                  | QFileDevice::ExeGroup);
        server = Pop3Server::StartOwn(m_serverRoot.path() + QStringLiteral("/pop3"), &why);
        if (!server)
            GTEST_SKIP() << "dovecot-pop3d does not start here: " << why.toStdString();
        maildir = server->AddUser(QStringLiteral("lirmail"), QStringLiteral("secret"));
        Configure(QStringLiteral("lirmail"));
    }
    void TearDown() override
    {
        if (server)
            RunPeer(QStringLiteral("bash"),
                    {QStringLiteral(LIR_SCRIPTS_DIR "/pop3-server.sh"), QStringLiteral("remove"), server->folder});
        MailReceiveTest::TearDown();
    }

    std::optional<Pop3Server> server;
    QString maildir;

private:
    QTemporaryDir m_serverRoot{QDir::tempPath() + QStringLiteral("/lir-pop3-XXXXXX")};
};

} // namespace

TEST_F(MailReceiveTest, OnePollHandsOverTheSystemsMailsInOrderAndLeavesOnlyForeignOnes)
{
    const auto server = Pop3Server::FromEnvironment();
    if (!server)
        GTEST_SKIP() << "no POP3 server: POP3TEST_PORT is not set (scripts/test.sh starts dovecot)";
    const QString maildir = server->AddUser(QStringLiteral("lirmail"), QStringLiteral("secret"));
    Configure(QStringLiteral("lirmail"));

    const std::string nsi = "{Auto} АИС ЛИР. Данные:НСИ", data = "{Auto} АИС ЛИР. Данные:Данные";
    const std::string info = MailSendTexts::InfoSubject, forwarded = "Fwd: {Auto} АИС ЛИР. Данные:НСИ";
    const QString files[] = {DataFile(QStringLiteral("НСИ_2026.xml"), 40000),
                             DataFile(QStringLiteral("Прогноз_2026.xml"), 300000),
                             DataFile(QStringLiteral("НСИ_2027.xml"), 1000)};
    const QByteArray mails[] = {
        Mail(nsi, files[0]), Mail(data, files[1]), Mail(info, {}, "[From:] \"Орг-1\"\n[InfoSubject:]Сроки\nКоллеги!"),
        QByteArray::fromStdString(Utf8ToCodepage("From: friend@example.ru\r\nSubject: Обед\r\n\r\nВ час?\r\n")),
        Mail(forwarded, files[2])};
    qint64 size = 0;
    for (const QByteArray& mail : mails) {
        DeliverToMaildir(maildir, mail);
        size += mail.size();
    }

    const auto [items, log] = FirstPoll(server->port);
    ASSERT_EQ(items.size(), 4u);
    const std::int32_t codes[] = {TC_NSI, TC_DATA, TC_INFO, TC_NSI};
    const int fileOf[] = {0, 1, -1, 2};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].code, codes[i]);
        EXPECT_EQ(items[i].from, "org1@example.ru");
        if (fileOf[i] < 0) {
            EXPECT_EQ(items[i].subject, info);
            EXPECT_EQ(items[i].infoText, "[From:] \"Орг-1\"\n[InfoSubject:]Сроки\nКоллеги!\n");
            EXPECT_FALSE(items[i].filePath);
            continue;
        }
        EXPECT_FALSE(items[i].infoText);
        EXPECT_EQ(Path(items[i].filePath), import + u'/' + QFileInfo(files[fileOf[i]]).fileName());
        EXPECT_EQ(items[i].file, ReadFile(files[fileOf[i]]).toStdString());
    }
    EXPECT_EQ(FilesUnder(root),
              (QStringList{"a/b/import/НСИ_2026.xml", "a/b/import/НСИ_2027.xml", "a/b/import/Прогноз_2026.xml"}));
    EXPECT_EQ(MaildirCount(maildir), 1);

    const Texts expected = {
        Started,
        SessionCreated,
        "Считаны настройки приема сообщений: Сервер 127.0.0.1, Пользователь lirmail",
        TimerFired,
        Connected,
        MailFormat(Mailbox, 5, static_cast<long long>(size)),
        Line(Received, nsi),
        KindNsi,
        Line(Stored, "НСИ_2026.xml"),
        Line(Received, data),
        KindData,
        Line(Stored, "Прогноз_2026.xml"),
        Line(Received, info),
        KindInfo,
        Line(Received, "Обед"),
        Line(Received, forwarded),
        KindNsi,
        Line(Stored, "НСИ_2027.xml"),
        Disconnected,
        PollDone,
    };
    ASSERT_GE(log.size(), expected.size());
    EXPECT_EQ(Joined(Texts(log.begin(), log.begin() + std::ptrdiff_t(expected.size()))), Joined(expected));
    EXPECT_EQ(log.back(), Ending);
}

TEST_F(MailReceiveTest, MailsThatCannotBeTakenAreLoggedOnceAndNeverFetchedAgain)
{
    const std::optional<QString> maildir = OwnMailbox("bad");
    if (!maildir)
        GTEST_SKIP() << kNoPop3;
    const QString data = QStringLiteral(LIR_TEST_DATA_DIR "/mail/");
    for (const char* file : {"data-plain.eml", "evil-dots.eml", "data-nonzip.eml", "evil-up.eml", "evil-control.eml"})
        DeliverToMaildir(*maildir, ReadFile(data + QString::fromLatin1(file)));
    // 2 GiB of zeros in a 2 MB attachment, then a mail that must still come through.
    const std::string data2 = "{Auto} АИС ЛИР. Данные:Данные";
    const QString bomb = work + QStringLiteral("bomb.zip");
    WriteFile(bomb, QByteArray::fromStdString(ZeroBombArchive("bomb.xml", 2048)));
    DeliverToMaildir(*maildir, Mail(data2, bomb));
    // The same, with headers that claim 16 MiB.
    const QString lying = work + QStringLiteral("lying.zip");
    WriteFile(lying, QByteArray::fromStdString(ZeroBombArchive("lying.xml", 2048, 16u << 20)));
    DeliverToMaildir(*maildir, Mail(data2, lying));
    const QString after = DataFile(QStringLiteral("Прогноз_после.xml"), 5000);
    DeliverToMaildir(*maildir, Mail(data2, after));

    CTransportTestHost host(import.toStdString());
    Start(host, pop3->port);
    ASSERT_TRUE(host.WaitForLog(PollDone, 1, 20s)) << Joined(host.LogTexts());
    EXPECT_LT(std::chrono::steady_clock::now() - host.Started(), 5s);
    ASSERT_TRUE(host.WaitForLog(PollDone, 4, 20s)) << Joined(host.LogTexts());
    EXPECT_EQ(host.Stop(), S_OK);

    const std::vector<CTransportTestHost::Item> items = host.Items();
    ASSERT_EQ(items.size(), 4u);
    // Without parts there is no attachment: the folder itself goes, as such a mail always did.
    EXPECT_EQ(items[0].code, TC_DATA);
    EXPECT_EQ(Path(items[0].filePath), import + u'/');
    EXPECT_EQ(items[1].code, TC_DATA);
    EXPECT_EQ(Path(items[1].filePath), import + QStringLiteral("/отчет.txt"));
    EXPECT_EQ(items[1].file, Utf8ToCodepage("Отчет, не архив.\r\n"));
    EXPECT_EQ(items[2].code, TC_NSI);
    EXPECT_EQ(Path(items[2].filePath), import + QStringLiteral("/НСИ_2026.xml"));
    if (HaveProgram(QStringLiteral("unzip"))) {
        const PeerRun unzip =
            RunPeer(QStringLiteral("unzip"), {QStringLiteral("-p"), data + QStringLiteral("nsi-2026.zip")});
        EXPECT_EQ(QString::fromStdString(items[2].file.value_or("")), unzip.output);
    }
    EXPECT_EQ(Path(items[3].filePath), import + QStringLiteral("/Прогноз_после.xml"));
    EXPECT_EQ(FilesUnder(root),
              (QStringList{"a/b/import/НСИ_2026.xml", "a/b/import/Прогноз_после.xml", "a/b/import/отчет.txt"}));
    // What was refused stays on the server, and nothing of it in the import folder.
    EXPECT_EQ(MaildirCount(*maildir), 4);

    const Texts log = host.LogTexts();
    const std::string nsi = "{Auto} АИС ЛИР. Данные:НСИ";
    const std::string badName = CReceivedMail::Describe(CReceivedMail::SaveFault::BadName);
    const std::string tooLarge = CZipException(CZipException::TooLarge, import.toStdString() + "/bomb.xml").what();
    const std::string damaged = CZipException(CZipException::BadArchive, import.toStdString() + "/lying.zip").what();
    for (const std::string& line :
         {MailFormat(Refused, 2, nsi.c_str(), badName.c_str()), MailFormat(Refused, 5, nsi.c_str(), badName.c_str()),
          MailFormat(Refused, 6, data2.c_str(), tooLarge.c_str()),
          MailFormat(Refused, 7, data2.c_str(), damaged.c_str())})
        EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line << "\n" << Joined(log);
    // Each was fetched once in four polls: dovecot counts the RETRs of every session.
    int fetched = 0;
    const QRegularExpression retr(QStringLiteral("pop3\\(bad%1\\).* retr=(\\d+)/").arg(::getpid()));
    for (auto m = retr.globalMatch(pop3->Log()); m.hasNext();)
        fetched += m.next().captured(1).toInt();
    EXPECT_EQ(fetched, 8);
}

// A received file never replaces one in the import folder: a taken name gets a number, and the log
// (the program's journal) names each file as it lies there.
TEST_F(MailReceiveTest, AReceivedFileTakesAFreeNameAndTheLogNamesIt)
{
    const std::optional<QString> maildir = OwnMailbox("same");
    if (!maildir)
        GTEST_SKIP() << kNoPop3;
    // A file of the attachment's name stays too.
    WriteFile(import + QStringLiteral("/Прогноз.xml.zip"), "mine");
    const std::string data = "{Auto} АИС ЛИР. Данные:Данные";
    QByteArray sent[2];
    for (int i = 0; i < 2; ++i) {
        const QString file = DataFile(QStringLiteral("Прогноз.xml"), 1000 + 500 * i);
        sent[i] = ReadFile(file);
        DeliverToMaildir(*maildir, Mail(data, file));
    }

    const auto [items, log] = FirstPoll(pop3->port);
    ASSERT_EQ(items.size(), 2u);
    const char* names[] = {"Прогноз.xml", "Прогноз(1).xml"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Path(items[i].filePath), import + u'/' + QString::fromUtf8(names[i]));
        EXPECT_EQ(items[i].file, sent[i].toStdString());
        EXPECT_EQ(std::count(log.begin(), log.end(), Line(Stored, names[i])), 1) << Joined(log);
    }
    EXPECT_EQ(FilesUnder(import), (QStringList{"Прогноз(1).xml", "Прогноз.xml", "Прогноз.xml.zip"}));
    EXPECT_EQ(ReadFile(import + QStringLiteral("/Прогноз.xml.zip")), "mine");
    EXPECT_EQ(MaildirCount(*maildir), 0);
}

// Servers that answer what no server should: each costs one failed poll at most, logged with its
// cause, the next poll comes, and the loop stops at once even in the middle of a reply.
TEST_F(MailReceiveTest, HostileServersCostOnePollAndNeverHoldTheStop)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    Configure(QStringLiteral("user"));
    const std::string info = MailSendTexts::InfoSubject;
    const std::string tooLong = MailFormat(Pop3Fault, FaultTooLong);
    const std::string tooLarge = MailFormat(TooLarge, unsigned(CPop3Session::kLargestMessage >> 20));
    const std::string deadline = MailFormat(FaultDeadline, 1);
    const struct {
        const char* scenario;
        std::vector<std::string> lines; // once in the log of the first poll
        std::size_t items;              // at least
        int polls = 1;                  // polls waited for; a refusal is logged once in all of them
        unsigned pollDeadlineMs = 30000;
        const std::string* ending = nullptr; // how a line of the first poll ends
    } cases[] = {
        {"count", {MailFormat(FirstMessagesOnly, CPop3Session::kMostMessages)}, 1},
        {"greeting", {CannotConnect, tooLong}, 0},
        {"flood", {MailFormat(Refused, 1, info.c_str(), FaultTooLong), QuitFailed}, 0},
        {"listflood", {tooLong, QuitFailed}, 0},
        {"drop", {MailFormat(RetrFailed, 1, info.c_str(), FaultClosed)}, 0},
        {"drip", {CannotConnect, MailFormat(Pop3Fault, FaultTooSlow)}, 0, 2},
        {"large", {MailFormat(Refused, 1, info.c_str(), tooLarge.c_str())}, 1, 3},
        {"many", {QuitFailed}, 2, 2, 1500, &deadline},
        {"slow", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        FakePop3 fake(c.scenario);
        ASSERT_GT(fake.port, 0);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        CTransportTestHost host(import.toStdString());
        CReceiveOptions options;
        options.replyBaseMs = 3000;
        options.pollDeadlineMs = c.pollDeadlineMs;
        Start(host, fake.port, options);
        if (c.lines.empty()) {
            QThread::msleep(500); // the greeting has begun
        } else {
            // Each poll ends within its deadline (3 s for a reply, 1.5 s with the server), the next one runs.
            ASSERT_TRUE(host.WaitForLog(PollDone, c.polls, std::chrono::seconds(4 * c.polls + 1)))
                << Joined(host.LogTexts());
        }
        const auto stopping = std::chrono::steady_clock::now();
        EXPECT_EQ(host.Stop(), S_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s);
        ::getrusage(RUSAGE_SELF, &after);
        if (kCostJudged) {
            EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "KiB";
        }
        const Texts log = host.LogTexts();
        const auto firstPoll = std::find(log.begin(), log.end(), std::string(PollDone));
        for (const std::string& line : c.lines) {
            EXPECT_EQ(std::count(log.begin(), firstPoll, line), 1) << line << "\n" << Joined(log);
            if (line.starts_with("Сообщение")) {
                EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
            }
        }
        if (c.ending) {
            EXPECT_TRUE(std::any_of(log.begin(), firstPoll, [&](const std::string& l) {
                return l.ends_with(*c.ending);
            })) << Joined(log);
        }
        EXPECT_GE(host.Items().size(), c.items);
        if (c.items == 1) {
            EXPECT_EQ(host.Items().size(), 1u) << "a message behind a refused one is taken once";
        }
    }
    SkipWhereCostIsNotJudged();
}

// A mail whose subject is a megabyte costs a short line a poll; an item the host answers without
// taking stays on the server and comes again at the next poll; a large mail takes the plug-in at most
// about twice its size.
TEST_F(MailReceiveOwnServerTest, LongSubjectsUndecidedItemsAndLargeMailsCostLittle)
{
    const std::string subject = "Акция " + std::string(1 << 20, 'x');
    DeliverToMaildir(maildir,
                     QByteArray::fromStdString("From: shop@example.ru\r\nSubject: " + subject + "\r\n\r\nx\r\n"));
    const std::string nsi = "{Auto} АИС ЛИР. Данные:НСИ";
    QByteArray random(18 << 20, '\0');
    std::mt19937 generator(5);
    for (char& c : random)
        c = char(generator());
    WriteFile(work + QStringLiteral("НСИ_большой.xml"), random);
    const QByteArray large = Mail(nsi, work + QStringLiteral("НСИ_большой.xml"));
    DeliverToMaildir(maildir, large);

    CTransportTestHost host(import.toStdString());
    host.AnswerItems(TC_ACK_KEEP);
    host.RecordFiles(false);
    // The peak from here on: the mail fetched, decoded and unpacked.
    ResetPeakMemory();
    const double before = double(StatusKiB("VmRSS:"));
    Start(host, server->port);
    ASSERT_TRUE(host.WaitForLog(PollDone, 2, 60s)) << Joined(host.LogTexts());
    EXPECT_EQ(host.Stop(), S_OK);
    const double peak = double(StatusKiB("VmHWM:")) - before;
    RecordProperty("peak growth KiB", int(peak));
    if (kCostJudged) {
        EXPECT_LT(peak * 1024, 2.0 * double(large.size()));
    }

    EXPECT_EQ(MaildirCount(maildir), 2);
    ASSERT_GE(host.Items().size(), 2u) << Joined(host.LogTexts());
    const Texts log = host.LogTexts();
    EXPECT_EQ(std::count(log.begin(), log.end(), MailFormat(Kept, 2, nsi.c_str())), 2) << Joined(log);
    const auto first = std::find(log.begin(), log.end(), std::string(TimerFired));
    const auto next = std::find(first + 1, log.end(), std::string(TimerFired));
    std::size_t bytes = 0;
    for (auto line = first; line != next; ++line) {
        EXPECT_LE(QString::fromStdString(*line).size(), 400) << line->substr(0, 80);
        bytes += line->size();
    }
    EXPECT_LT(bytes, 2048u) << "one poll's log";
    SkipWhereCostIsNotJudged();
}

TEST_F(MailReceiveTest, SentMailsComeBackThroughTheSinkAndDovecot)
{
    const auto sink = SmtpSink::FromEnvironment("SMTPTEST_");
    const auto server = Pop3Server::FromEnvironment();
    if (!sink || !server)
        GTEST_SKIP() << "no SMTP sink or POP3 server: scripts/test.sh starts both";
    const QString user = QStringLiteral("e2e%1").arg(::getpid());
    const QString maildir = server->AddUser(user, QStringLiteral("secret"));
    Configure(user);
    QSettings(profilePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("Transport/MAILRUNE/SMTPServer"), QStringLiteral("127.0.0.1"));
    QSettings(profilePath(), QSettings::IniFormat).setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), sink->port);

    const QString to = user + QStringLiteral("@example.ru");
    const QString dataFile = DataFile(QStringLiteral("Данные_2026.xml"), 600 * 1024);
    const QList<QList<std::pair<QString, QString>>> envelopes = {
        {{"nameFile", dataFile}, {"typeData", "Данные"}},
        {{"typeData", "ИНФОРМАЦИЯ"}, {"subject", "Сроки"}, {"message", "Коллеги!\n.xml до 1 марта\nОтдел"}},
    };
    for (const auto& elements : envelopes) {
        QString xml =
            QStringLiteral("<forecastEnvelope><fromName>Орг-1</fromName><fromEmail>org1@example.ru</fromEmail>"
                           "<toName>Орг-2</toName><toEmail>%1</toEmail>")
                .arg(to);
        for (const auto& [name, text] : elements)
            xml += QStringLiteral("<%1>%2</%1>").arg(name, text.toHtmlEscaped());
        WriteFile(work + QStringLiteral("send.xml"), (xml + QStringLiteral("</forecastEnvelope>")).toUtf8());
        char16_t* result = nullptr;
        const QString description = work + QStringLiteral("send.xml");
        EXPECT_EQ(transport.Send(reinterpret_cast<const char16_t*>(description.utf16()), &result), S_OK);
        if (result)
            QFile::remove(QString::fromUtf16(result));
        std::free(result);
    }
    const QList<QJsonObject> sent = sink->MessagesTo(to);
    ASSERT_EQ(sent.size(), 2);
    for (const QJsonObject& entry : sent)
        DeliverToMaildir(maildir, ReadFile(sink->folder + u'/' + entry["file"].toString()));

    const auto [items, log] = FirstPoll(server->port);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].code, TC_DATA);
    EXPECT_EQ(Path(items[0].filePath), import + QStringLiteral("/Данные_2026.xml"));
    EXPECT_EQ(items[0].file, ReadFile(dataFile).toStdString());
    EXPECT_EQ(items[1].code, TC_INFO);
    EXPECT_NE(items[1].infoText.value_or("").find("[InfoSubject:]Сроки\nКоллеги!\n.xml до 1 марта\nОтдел"),
              std::string::npos)
        << items[1].infoText.value_or("");
    EXPECT_EQ(MaildirCount(maildir), 0);
}

TEST_F(MailReceiveOwnServerTest, AHeldItemStaysOnTheServerUntilAnsweredAndIsDeletedOnceAfterAnOutage)
{
    const std::string nsi = "{Auto} АИС ЛИР. Данные:НСИ";
    DeliverToMaildir(maildir, Mail(nsi, DataFile(QStringLiteral("first.xml"), 2000)));
    CTransportTestHost host(import.toStdString());
    host.Hold(true);
    Start(host, server->port);
    ASSERT_TRUE(host.WaitForHeld(20s));
    CPop3Session other;
    int count = 0;
    std::int64_t size = 0;
    ASSERT_TRUE(other.Login("127.0.0.1", "lirmail", "secret", server->port));
    EXPECT_TRUE(other.Stat(count, size));
    EXPECT_EQ(count, 1);
    other.Quit();
    host.Hold(false);
    EXPECT_TRUE(Eventually([&] { return MaildirCount(maildir) == 0; }, 10s));

    // The server goes away while the second item is held: its deletion is lost with the session.
    DeliverToMaildir(maildir, Mail(nsi, DataFile(QStringLiteral("second.xml"), 2000)));
    host.Hold(true);
    ASSERT_TRUE(host.WaitForHeld(20s));
    ASSERT_TRUE(server->Stop());
    host.Hold(false);
    ASSERT_TRUE(host.WaitForLog(QuitFailed, 1, 10s)) << Joined(host.LogTexts());
    ASSERT_TRUE(host.WaitForLog(CannotConnect, 1, 10s));
    EXPECT_EQ(MaildirCount(maildir), 1);
    ASSERT_TRUE(server->Restart());
    EXPECT_TRUE(Eventually([&] { return MaildirCount(maildir) == 0; }, 10s));
    EXPECT_EQ(host.Stop(), S_OK);

    const std::vector<CTransportTestHost::Item> items = host.Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(Path(items[1].filePath), import + QStringLiteral("/second.xml"));
    const Texts log = host.LogTexts();
    EXPECT_GE(std::count(log.begin(), log.end(), Line(Received, nsi)), 3); // the second mail was seen again
}

TEST_F(MailReceiveOwnServerTest, AnOutageIsLoggedAndPollingGoesOn)
{
    ASSERT_TRUE(server->Stop());
    CTransportTestHost host(import.toStdString());
    Start(host, server->port);
    ASSERT_TRUE(host.WaitForLog(PollDone, 2, 10s));
    EXPECT_TRUE(host.Running());
    const Texts log = host.LogTexts();
    const Texts failed = {TimerFired, CannotConnect, MailFormat(Pop3Fault, FaultRefused), PollDone};
    EXPECT_NE(std::search(log.begin(), log.end(), failed.begin(), failed.end()), log.end());

    ASSERT_TRUE(server->Restart());
    DeliverToMaildir(maildir, Mail(MailSendTexts::InfoSubject));
    EXPECT_TRUE(host.WaitForItems(1, 10s));
    EXPECT_TRUE(host.Running());
    EXPECT_EQ(host.Stop(), S_OK);
    ASSERT_EQ(host.Items().size(), 1u);
    EXPECT_EQ(host.Items()[0].code, TC_INFO);
}

TEST_F(MailReceiveTest, WithoutSettingsTheLoopEndsRightAfterTheStart)
{
    CTransportTestHost host(import.toStdString());
    host.Start([this](CTransportChannel* channel) { return transport.ReceiveLoop(channel); });
    EXPECT_EQ(host.Join(5s), std::optional<HRESULT>(E_FAIL));
    EXPECT_EQ(host.LogHandOvers(), 0);
    EXPECT_TRUE(transport.LogText().ends_with(std::string(SessionCreated) + "\r\n"));
    EXPECT_EQ(ReceivePeriodSeconds(QStringLiteral("86400")), 86400);
    for (const char* stored : {"", "0", "86401", "12abc", "-5"})
        EXPECT_EQ(ReceivePeriodSeconds(QString::fromLatin1(stored)), 30) << stored;
}

// A mail that the server sends too slowly costs one cut: it is set aside, the mail behind it comes in
// the same poll, and it is tried again only once its day is over, after the mails behind it.
TEST_F(MailReceiveTest, AMailCutForTimeIsSetAsideAndHoldsUpNoOther)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    Configure(QStringLiteral("user"));
    const std::string slow = MailSendTexts::InfoSubject, good = slow + " (2)";
    const std::string setAside = MailFormat(SetAsideFor, 1, slow.c_str(), FaultTooSlow);
    const struct {
        unsigned setAsideSeconds;
        std::int32_t answer;
        int cuts; // waited for; with a day set aside, the only one
    } cases[] = {{86400, TC_ACK, 1}, {1, TC_ACK_KEEP, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setAsideSeconds);
        FakePop3 fake("slowfirst"); // 20 kB at 10 kB/s: cut after 1 s + 20 kB at 32 KiB/s
        ASSERT_GT(fake.port, 0);
        CTransportTestHost host(import.toStdString());
        host.AnswerItems(c.answer);
        CReceiveOptions options;
        options.replyBaseMs = 1000;
        options.setAsideSeconds = c.setAsideSeconds;
        Start(host, fake.port, options);
        ASSERT_TRUE(host.WaitForLog(setAside, c.cuts, 15s)) << Joined(host.LogTexts());
        ASSERT_TRUE(host.WaitForLog(PollDone, 3, 10s)) << Joined(host.LogTexts());
        EXPECT_EQ(host.Stop(), S_OK);
        const Texts log = host.LogTexts();
        const auto firstPoll = std::find(log.begin(), log.end(), std::string(PollDone));
        EXPECT_EQ(std::count(log.begin(), firstPoll, setAside), 1) << Joined(log);
        EXPECT_EQ(std::count(log.begin(), firstPoll, Line(Received, good)), 1) << Joined(log);
        ASSERT_FALSE(host.Items().empty());
        EXPECT_EQ(host.Items()[0].subject, good);
        if (c.cuts == 1) {
            EXPECT_EQ(std::count(log.begin(), log.end(), setAside), 1) << Joined(log);
            EXPECT_EQ(host.Items().size(), 1u);
        }
        // The second try comes after the good mail of its poll.
        const auto cut = std::find(std::find(log.begin(), log.end(), setAside) + 1, log.end(), setAside);
        if (cut != log.end()) {
            const auto poll = std::find(std::make_reverse_iterator(cut), log.rend(), std::string(TimerFired));
            EXPECT_NE(std::find(poll.base(), cut, Line(Received, good)), cut) << Joined(log);
        }
    }
}

// A close at any moment of a poll, also as the host answers that it has stored the document: every
// mail the host took is gone from the server, and none is offered again at the next start.
TEST_F(MailReceiveTest, ACloseAtAnyMomentLeavesNoTakenMailOnTheServer)
{
    const std::optional<QString> maildir = OwnMailbox("close");
    if (!maildir)
        GTEST_SKIP() << kNoPop3;
    const QString file = DataFile(QStringLiteral("Прогноз.xml"), 3000);
    const int runs = std::max(30, qEnvironmentVariableIntValue("LIR_CLOSE_RUNS"));
    const unsigned seed = std::random_device()();
    RecordProperty("seed", int(seed));
    std::mt19937 random(seed);
    std::set<std::string> taken;
    int delivered = 0;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run << ", seed " << seed);
        while (MaildirCount(*maildir) < 3)
            DeliverToMaildir(*maildir, Mail("{Auto} АИС ЛИР. Данные:Прогноз " + std::to_string(delivered++), file));
        CTransportTestHost host(import.toStdString());
        host.RecordFiles(false);
        // 0: the answer just before the close, 1: just after it, 2: a close anywhere in the poll.
        const int moment = int(random() % 3);
        host.Hold(moment < 2);
        Start(host, pop3->port);
        if (moment < 2) {
            ASSERT_TRUE(host.WaitForHeld(10s)) << Joined(host.LogTexts());
            QThread::usleep(random() % 20000);
        } else {
            QThread::usleep(random() % 150000);
        }
        const auto closing = std::chrono::steady_clock::now();
        if (moment == 1) {
            TransportEventSet(host.StopEvent());
            QThread::usleep(random() % 3000);
        }
        EXPECT_EQ(host.Stop(), S_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - closing, 1500ms);
        for (const CTransportTestHost::Item& item : host.Items()) {
            EXPECT_FALSE(taken.contains(item.subject.value_or(""))) << "offered again: " << *item.subject;
            if (item.answer == TC_ACK)
                taken.insert(item.subject.value_or(""));
        }
        EXPECT_TRUE(Eventually([&] { return MaildirCount(*maildir) == delivered - int(taken.size()); }, 2s))
            << MaildirCount(*maildir) << " mails, " << delivered << " delivered, " << taken.size() << " taken\n"
            << Joined(host.LogTexts());
    }
}
