// The send operation against real peers: the SMTP sinks of the test script, Python's email and
// zipfile, unzip and xmllint.
#include "MailFiles.h"
#include "MailPeers.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "MailTransport.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using namespace MailSendTexts;
using Elements = QList<std::pair<QString, QString>>;

struct Outcome {
    HRESULT hr = S_OK;
    QString resultPath;
    QString response;
};

// A port on which nothing listens.
int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Rows of a forecast document, about `size` bytes.
QByteArray ForecastXml(int size)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope version=\"2.0.1.40\">\n";
    for (int i = 0; xml.size() < size; ++i)
        xml += QStringLiteral("  <row receiver=\"%1\" product=\"%2\" name=\"Продукция %2\" sumLast=\"%3.4500\" "
                              "sumCurr=\"%4.0000\" valueNext=\"%5\"/>\n")
                   .arg(i % 97)
                   .arg(i)
                   .arg(i * 7919 % 100003)
                   .arg(i * 104729 % 1000003)
                   .arg(i % 13)
                   .toUtf8();
    return xml + "</forecastEnvelope>\n";
}

class MailSendTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        m_hadTmp = qEnvironmentVariableIsSet("TMPDIR");
        m_savedTmp = qgetenv("TMPDIR");
        tmp = home() + QStringLiteral("tmp/");
        outbox = home() + QStringLiteral("outbox & co/");
        QDir().mkpath(tmp);
        QDir().mkpath(outbox);
        qputenv("TMPDIR", tmp.toUtf8());
    }
    void TearDown() override
    {
        SetUniqueNameStart(nullptr);
        if (m_hadTmp)
            qputenv("TMPDIR", m_savedTmp);
        else
            qunsetenv("TMPDIR");
        TempHomeTest::TearDown();
    }

    void Configure(int port, const char* checkLogin = "0", const QString& login = {}, const QString& password = {})
    {
        CMailSettings s;
        s.smtpServer = QStringLiteral("127.0.0.1");
        s.smtpCheckLogin = QByteArray(checkLogin).toInt();
        s.smtpLogin = login;
        s.smtpPassword = password;
        s.Save();
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), QString::number(port)); // the dialog writes 25
    }

    QString Describe(const Elements& elements)
    {
        QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope>\n");
        for (const auto& [name, text] : elements)
            xml += QStringLiteral("<%1>%2</%1>\n").arg(name, text.toHtmlEscaped());
        const QString path = outbox + QStringLiteral("send.xml");
        WriteFile(path, (xml + QStringLiteral("</forecastEnvelope>\n")).toUtf8());
        return path;
    }

    Elements DataEnvelope(const QString& to)
    {
        dataFile = outbox + QStringLiteral("НСИ_2026.xml");
        if (!QFile::exists(dataFile))
            WriteFile(dataFile, ForecastXml(600 * 1024));
        return {{"fromName", "Орг-1"}, {"fromEmail", "org1@example.ru"}, {"toName", "Орг-2"},
                {"toEmail", to},       {"nameFile", dataFile},         {"typeData", "НСИ"}};
    }

    Outcome Send(const QString& description)
    {
        CMailTransport transport;
        char16_t* result = nullptr;
        Outcome o;
        o.hr = transport.Send(reinterpret_cast<const char16_t*>(description.utf16()), &result);
        if (result) {
            o.resultPath = QString::fromUtf16(result);
            std::free(result);
            o.response = Response(o.resultPath);
        }
        return o;
    }

    // The response as an XML parser reads it; the file must also satisfy xmllint.
    static QString Response(const QString& path)
    {
        if (HaveProgram(QStringLiteral("xmllint"))) {
            const PeerRun lint = RunPeer(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
            EXPECT_EQ(lint.exitCode, 0) << lint.output.toStdString();
        }
        QString text;
        if (xmlDocPtr doc = xmlReadFile(path.toUtf8().constData(), nullptr, XML_PARSE_NONET)) {
            const xmlNode* root = xmlDocGetRootElement(doc);
            EXPECT_STREQ(reinterpret_cast<const char*>(root->name), "mailrune_result");
            for (xmlNodePtr n = root->children; n; n = n->next)
                if (n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST "response")) {
                    xmlChar* content = xmlNodeGetContent(n);
                    text = QString::fromUtf8(reinterpret_cast<const char*>(content));
                    xmlFree(content);
                }
            xmlFreeDoc(doc);
        }
        return text;
    }

    QStringList TmpEntries() const
    {
        return QDir(tmp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // The temporary folder holds the result file and nothing else.
    void ExpectOnlyResult(const Outcome& o)
    {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^quillpost[0-9a-f]{1,4}\\.xml$"))
                        .match(QFileInfo(o.resultPath).fileName())
                        .hasMatch())
            << o.resultPath.toStdString();
        EXPECT_EQ(TmpEntries(), QStringList{QFileInfo(o.resultPath).fileName()});
    }

    QString tmp, outbox, dataFile;

private:
    bool m_hadTmp = false;
    QByteArray m_savedTmp;
};

QString Failure(const char* text)
{
    return QString::fromUtf8(ErrorPrefix) + QString::fromUtf8(text);
}

} // namespace

TEST(MailPaths, NamesOfFilesAndArchives)
{
    const std::pair<const char*, const char*> zips[] = {
        {"/out/f2026.xml", "f2026.zip"}, {"/out/data.rev2.xml", "data.rev2.zip"}, {"/out/data", "data.zip"},
        {"/out.d/data", "data.zip"},     {"НСИ_2026.xml", "НСИ_2026.zip"},       {"/out/data.", "data.zip"},
    };
    for (const auto& [path, zip] : zips)
        EXPECT_EQ(ZipNameOf(path), zip) << path;
    EXPECT_EQ(FileNameOf("/a/b/c.xml"), "c.xml");
    EXPECT_EQ(FileNameOf("c.xml"), "c.xml");
    EXPECT_TRUE(GetHostFolder().ends_with("/"));
    EXPECT_TRUE(FolderExists(GetHostFolder()));
}

TEST_F(MailSendTest, BadInputFailsWithItsMessageAndLeavesOnlyTheResult)
{
    WriteFile(outbox + QStringLiteral("broken.xml"), "<forecastEnvelope><row></forecastEnvelope>");
    const QString broken = outbox + QStringLiteral("broken.xml");
    const QString missing = outbox + QStringLiteral("нет.xml");
    const Elements senders = {{"fromName", "Орг-1"}, {"fromEmail", "org1@example.ru"}};
    const struct {
        const char* what;
        QString description; // empty: made from the elements
        Elements elements;
        QString response;
    } cases[] = {
        {"missing description", missing, {}, Failure(NoDescription) + missing},
        {"description not well-formed", broken, {}, Failure(BadDescription)},
        {"no addresses, no type", {}, {{"toName", "Орг-2"}, {"fromName", "Орг-1"}}, Failure(NoTypeData)},
        {"no receiver address", {}, senders + Elements{{"toName", "Орг-2"}, {"typeData", "НСИ"}}, Failure(NoToEmail)},
        // TONAME fills the receiver name, the later toEmail wins: only the data file is left to fail.
        {"data file not well-formed", {},
         senders + Elements{{"TONAME", "Орг-2"}, {"toEmail", ""}, {"toEmail", "o@x.ru"}, {"nameFile", broken}, {"typeData", "НСИ"}},
         Failure(BadDataFile)},
        {"data file missing", {}, senders + Elements{{"toName", "Орг-2"}, {"toEmail", "o@x.ru"}, {"nameFile", missing}, {"typeData", "НСИ"}},
         Failure(BadDataFile)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& entry : TmpEntries())
            QFile::remove(tmp + entry);
        const Outcome o = Send(c.description.isEmpty() ? Describe(c.elements) : c.description);
        EXPECT_EQ(o.hr, E_FAIL);
        EXPECT_EQ(o.response, c.response);
        ExpectOnlyResult(o);
    }
}

TEST_F(MailSendTest, WithoutSettingsNothingIsWrittenAndTheArchiveIsGone)
{
    char16_t* result = nullptr;
    CMailTransport transport;
    const QString description = Describe(DataEnvelope(QStringLiteral("org2@example.ru")));
    EXPECT_EQ(transport.Send(reinterpret_cast<const char16_t*>(description.utf16()), &result), E_FAIL);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(TmpEntries(), QStringList());
}

TEST_F(MailSendTest, DataAndInformationMailsReachTheSink)
{
    REQUIRE_SINK(sink, "SMTPTEST_");
    REQUIRE_PYTHON_EMAIL();
    Configure(sink.port);
    const QString to = QStringLiteral("org2.data.%1@example.ru").arg(::getpid());
    Outcome o = Send(Describe(DataEnvelope(to)));
    EXPECT_EQ(o.hr, S_OK) << o.response.toStdString();
    EXPECT_EQ(o.response, QString::fromUtf8(Success));
    ExpectOnlyResult(o);

    QList<QJsonObject> sent = sink.MessagesTo(to);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0][QStringLiteral("mail_from")].toString(), QStringLiteral("org1@example.ru"));
    QJsonObject mail = CheckMail(sink.folder + u'/' + sent[0][QStringLiteral("file")].toString(), home());
    EXPECT_EQ(UnexpectedDefects(mail), QStringList());
    EXPECT_EQ(mail[QStringLiteral("bare_line_ends")].toInt(), 0);
    EXPECT_EQ(mail[QStringLiteral("subject")].toString(), QStringLiteral("{Auto} АИС ЛИР. Данные:НСИ"));
    EXPECT_TRUE(PartText(mail, QStringLiteral("text/plain"))
                    .startsWith(QStringLiteral("[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <%1> \n"
                                               "[Data:] [АИС ЛИР]: \"НСИ\" \n ")
                                    .arg(to)));
    QJsonArray parts = mail[QStringLiteral("parts")].toArray();
    ASSERT_EQ(parts.size(), 5);
    EXPECT_EQ(parts[0][QStringLiteral("type")].toString(), QStringLiteral("multipart/mixed"));
    for (int i : {2, 3}) {
        EXPECT_EQ(parts[i][QStringLiteral("charset")].toString(), QStringLiteral("windows-1251"));
        EXPECT_EQ(parts[i][QStringLiteral("cte")].toString(), QStringLiteral("8bit"));
    }
    const QJsonObject zip = parts[4].toObject();
    EXPECT_EQ(zip[QStringLiteral("filename")].toString(), QStringLiteral("НСИ_2026.zip"));
    EXPECT_TRUE(zip[QStringLiteral("bad_entry")].isNull());
    const QJsonArray entries = zip[QStringLiteral("entries")].toArray();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0][QStringLiteral("name")].toString(), QStringLiteral("НСИ_2026.xml"));
    EXPECT_EQ(entries[0][QStringLiteral("sha256")].toString(),
              QString::fromLatin1(QCryptographicHash::hash(ReadFile(dataFile), QCryptographicHash::Sha256).toHex()));
    if (HaveProgram(QStringLiteral("unzip"))) {
        const PeerRun test = RunPeer(QStringLiteral("unzip"), {QStringLiteral("-t"), zip[QStringLiteral("file")].toString()});
        EXPECT_EQ(test.exitCode, 0) << test.output.toStdString();
    }

    // An information message to two receivers: one RCPT each, no attachment, a dot line kept.
    QFile::remove(o.resultPath);
    const QString a = QStringLiteral("a.%1@example.ru").arg(::getpid());
    const QString b = QStringLiteral("b.%1@example.ru").arg(::getpid());
    o = Send(Describe({{"fromName", "Орг-1"}, {"fromEmail", "org1@example.ru"}, {"toName", "Орг-2"},
                       {"toEmail", a + QStringLiteral(", ") + b}, {"typeData", "ИНФОРМАЦИЯ"}, {"subject", "Сроки"},
                       {"message", "Коллеги!\n.xml до 1 марта\nОтдел"}}));
    EXPECT_EQ(o.hr, S_OK) << o.response.toStdString();
    ExpectOnlyResult(o);
    sent = sink.MessagesTo(a);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0][QStringLiteral("rcpt_tos")].toArray(), (QJsonArray{a, b}));
    mail = CheckMail(sink.folder + u'/' + sent[0][QStringLiteral("file")].toString(), home());
    EXPECT_EQ(UnexpectedDefects(mail), QStringList());
    EXPECT_EQ(mail[QStringLiteral("subject")].toString(), QStringLiteral("{Auto} АИС ЛИР. Информационное сообщение"));
    parts = mail[QStringLiteral("parts")].toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0][QStringLiteral("type")].toString(), QStringLiteral("multipart/alternative"));
    const QStringList lines = PartText(mail, QStringLiteral("text/plain")).split(u'\n');
    EXPECT_TRUE(lines.contains(QStringLiteral("[InfoSubject:]Сроки")));
    EXPECT_TRUE(lines.contains(QStringLiteral(".xml до 1 марта")));
}

TEST_F(MailSendTest, SmtpFailuresReportTheStepLogAndCurlsAnswer)
{
    const auto authSink = SmtpSink::FromEnvironment("SMTPTEST_AUTH_");
    const QString steps = QString::fromUtf8(Steps[11]) + QString::fromUtf8(Steps[12]);
    const struct {
        const char* what;
        bool needsSink;
        const char* checkLogin;
        const char* login;
        const char* password;
        HRESULT hr;
        QString fragment;
    } cases[] = {
        {"nothing listening", false, "0", "", "", E_FAIL,
         steps + QStringLiteral("Произошла исключительная ситуация.\nКод: 7\nСообщение: Couldn't connect to server\nОписание: ")},
        {"login taken", true, "1", "user", "pass", S_OK, QString::fromUtf8(Success)},
        {"wrong password", true, "1", "user", "wrong", E_FAIL, steps + QStringLiteral("Произошла исключительная ситуация.\nКод: 67\n")},
        {"login not ticked", true, "0", "user", "pass", E_FAIL, QStringLiteral("\nОписание: MAIL failed: 530")},
    };
    int sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsSink && !authSink) {
            std::printf("skipped \"%s\": no SMTP sink requiring AUTH (SMTPTEST_AUTH_PORT is not set)\n", c.what);
            continue;
        }
        Configure(c.needsSink ? authSink->port : ClosedPort(), c.checkLogin, c.login, c.password);
        const QString to = QStringLiteral("auth.%1.%2@example.ru").arg(::getpid()).arg(++sent);
        const Outcome o = Send(Describe(DataEnvelope(to)));
        EXPECT_EQ(o.hr, c.hr);
        EXPECT_TRUE(o.response.contains(c.fragment)) << o.response.toStdString();
        if (c.hr == E_FAIL) {
            EXPECT_TRUE(o.response.startsWith(Failure(MailFailed) + QString::fromUtf8(Steps[0]) + QString::fromUtf8(Steps[1]) +
                                              QString::fromUtf8(Steps[2])));
            EXPECT_FALSE(o.response.contains(QString::fromUtf8(Steps[13])));
        }
        ExpectOnlyResult(o); // the archive is gone on failure too
        QFile::remove(o.resultPath);
        if (c.needsSink) {
            const QList<QJsonObject> messages = authSink->MessagesTo(to);
            ASSERT_EQ(messages.size(), c.hr == S_OK ? 1 : 0);
            if (c.hr == S_OK) {
                EXPECT_EQ(messages[0][QStringLiteral("login")].toString(), authSink->user);
            }
        }
    }
    if (!authSink)
        GTEST_SKIP() << "no SMTP sink requiring AUTH (SMTPTEST_AUTH_PORT is not set; scripts/test.sh starts one)";
}

TEST_F(MailSendTest, ResultNamesSkipTakenOnesAndGiveUpWhenAllAreTaken)
{
    SetUniqueNameStart([] { return 0x1a2bu; });
    WriteFile(tmp + QStringLiteral("quillpost1a2b.xml"), "kept");
    char16_t* result = nullptr;
    CMailTransport::WriteResult("a & b <c>\r\n", &result);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(QString::fromUtf16(result), tmp + QStringLiteral("quillpost1a2c.xml"));
    EXPECT_EQ(Response(QString::fromUtf16(result)), QStringLiteral("Ошибка: a & b <c>\r\n"));
    std::free(result);
    EXPECT_EQ(ReadFile(tmp + QStringLiteral("quillpost1a2b.xml")), "kept");

    for (unsigned n = 0; n < 0xFFFF; ++n)
        WriteFile(tmp + QStringLiteral("quillpost%1.xml").arg(n, 0, 16), {});
    QElapsedTimer timer;
    timer.start();
    result = reinterpret_cast<char16_t*>(1);
    CMailTransport::WriteResult({}, &result);
    EXPECT_EQ(result, nullptr);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(TmpEntries().size(), 0xFFFF);

    qputenv("TMPDIR", (tmp + QStringLiteral("missing")).toUtf8());
    CMailTransport::WriteResult({}, &result);
    EXPECT_EQ(result, nullptr);
}
