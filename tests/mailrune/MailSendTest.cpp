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
#include <QRegularExpression>
#include <QSettings>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using namespace MailSendTexts;
using Elements = QList<std::pair<QString, QString>>;

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

QString Failure(const char* text)
{
    return Utf8(ErrorPrefix) + Utf8(text);
}

struct Outcome {
    HRESULT hr = S_OK;
    QString resultPath;
    QString response;
};

class MailSendTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
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
        qputenv("TMPDIR", m_savedTmp);
        TempHomeTest::TearDown();
    }

    void Configure(int port, int checkLogin = 0, const QString& login = {}, const QString& password = {})
    {
        CMailSettings s;
        s.smtpServer = QStringLiteral("127.0.0.1");
        s.smtpCheckLogin = checkLogin;
        s.smtpLogin = login;
        s.smtpPassword = password;
        s.Save();
        QSettings(profilePath(), QSettings::IniFormat).setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), port);
    }

    QString Describe(const Elements& elements)
    {
        QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecastEnvelope>\n");
        for (const auto& [name, text] : elements)
            xml += QStringLiteral("<%1>%2</%1>\n").arg(name, text.toHtmlEscaped());
        WriteFile(outbox + QStringLiteral("send.xml"), (xml + QStringLiteral("</forecastEnvelope>\n")).toUtf8());
        return outbox + QStringLiteral("send.xml");
    }

    // A 600 KB forecast document as the data file.
    Elements DataEnvelope(const QString& to)
    {
        dataFile = outbox + QStringLiteral("НСИ_2026.xml");
        QByteArray xml = "<?xml version=\"1.0\"?>\n<forecastEnvelope>\n";
        for (int i = 0; xml.size() < 600 * 1024; ++i)
            xml += QStringLiteral("<row product=\"%1\" name=\"Продукция %1\" sum=\"%2.45\"/>\n")
                       .arg(i)
                       .arg(i * 7919 % 100003)
                       .toUtf8();
        WriteFile(dataFile, xml + "</forecastEnvelope>\n");
        return {{"fromName", "Орг-1"}, {"fromEmail", "org1@example.ru"}, {"toName", "Орг-2"},
                {"toEmail", to},       {"nameFile", dataFile},           {"typeData", "НСИ"}};
    }

    // Sends and reads the response through xmllint and libxml2.
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

    static QString Response(const QString& path)
    {
        if (HaveProgram(QStringLiteral("xmllint"))) {
            EXPECT_EQ(RunPeer(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path}).exitCode, 0);
        }
        QString text;
        if (xmlDocPtr doc = xmlReadFile(path.toUtf8().constData(), nullptr, XML_PARSE_NONET)) {
            const xmlNode* root = xmlDocGetRootElement(doc);
            if (xmlStrEqual(root->name, BAD_CAST "mailrune_result") && root->children && root->children->next) {
                xmlChar* content = xmlNodeGetContent(root->children->next); // after the indentation
                text = QString::fromUtf8(reinterpret_cast<const char*>(content));
                xmlFree(content);
            }
            xmlFreeDoc(doc);
        }
        return text;
    }

    // The temporary folder holds the result file and nothing else; it is removed afterwards.
    void ExpectOnlyResult(const Outcome& o)
    {
        const QString name = QFileInfo(o.resultPath).fileName();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^quillpost[0-9a-f]{1,4}\\.xml$")).match(name).hasMatch())
            << name.toStdString();
        EXPECT_EQ(QDir(tmp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{name});
        QFile::remove(o.resultPath);
    }

    QString tmp, outbox, dataFile;

private:
    QByteArray m_savedTmp;
};

} // namespace

TEST(MailPaths, NamesOfFilesAndArchives)
{
    const std::pair<const char*, const char*> zips[] = {
        {"/out/f2026.xml", "f2026.zip"}, {"/out/data.rev2.xml", "data.rev2.zip"}, {"/out/data", "data.zip"},
        {"/out.d/data", "data.zip"},     {"НСИ_2026.xml", "НСИ_2026.zip"},        {"/out/data.", "data.zip"},
    };
    for (const auto& [path, zip] : zips)
        EXPECT_EQ(ZipNameOf(path), zip) << path;
    EXPECT_EQ(FileNameOf("c.xml"), "c.xml");
    EXPECT_TRUE(GetHostFolder().ends_with("/") && FolderExists(GetHostFolder()));
}

TEST_F(MailSendTest, BadInputFailsWithItsMessageAndLeavesOnlyTheResult)
{
    const QString broken = outbox + QStringLiteral("broken.xml");
    const QString missing = outbox + QStringLiteral("нет.xml");
    const QString pipe = outbox + QStringLiteral("pipe.xml");
    const QString doctype = outbox + QStringLiteral("doctype.xml");
    WriteFile(broken, "<forecastEnvelope><row></forecastEnvelope>");
    WriteFile(doctype,
              "<!DOCTYPE forecastEnvelope [<!ENTITY a \"Орг-2\">]><forecastEnvelope><toName>&a;</toName>"
              "<toEmail>o@x.ru</toEmail><fromName>Орг-1</fromName><fromEmail>org1@example.ru</fromEmail>"
              "<typeData>НСИ</typeData></forecastEnvelope>");
    ASSERT_EQ(::mkfifo(pipe.toUtf8().constData(), 0600), 0);
    const Elements from = {{"fromName", "Орг-1"}, {"fromEmail", "org1@example.ru"}, {"typeData", "НСИ"}};
    const struct {
        QString description; // empty: made from the elements
        Elements elements;
        QString response;
    } cases[] = {
        {missing, {}, Failure(NoDescription) + missing},
        {broken, {}, Failure(BadDescription)},
        {doctype, {}, Failure(BadDescription)},
        {{}, {{"toName", "Орг-2"}, {"fromName", "Орг-1"}}, Failure(NoTypeData)},
        {{}, from + Elements{{"toName", "Орг-2"}}, Failure(NoToEmail)},
        // TONAME fills the receiver name and the later toEmail wins: only the data file is left to fail.
        {{},
         from + Elements{{"TONAME", "Орг-2"}, {"toEmail", ""}, {"toEmail", "o@x.ru"}, {"nameFile", broken}},
         Failure(BadDataFile)},
        {{}, from + Elements{{"toName", "Орг-2"}, {"toEmail", "o@x.ru"}, {"nameFile", missing}}, Failure(BadDataFile)},
        {{}, from + Elements{{"toName", "Орг-2"}, {"toEmail", "o@x.ru"}, {"nameFile", pipe}}, Failure(BadDataFile)},
        {{}, from + Elements{{"toName", "Орг-2"}, {"toEmail", "o@x.ru"}, {"nameFile", doctype}}, Failure(BadDataFile)},
    };
    for (const auto& c : cases) {
        const Outcome o = Send(c.description.isEmpty() ? Describe(c.elements) : c.description);
        EXPECT_EQ(o.hr, E_FAIL);
        EXPECT_EQ(o.response, c.response);
        ExpectOnlyResult(o);
    }
}

TEST_F(MailSendTest, WithoutSettingsNothingIsWrittenAndTheArchiveIsGone)
{
    char16_t* result = nullptr;
    const QString description = Describe(DataEnvelope(QStringLiteral("org2@example.ru")));
    EXPECT_EQ(CMailTransport().Send(reinterpret_cast<const char16_t*>(description.utf16()), &result), E_FAIL);
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(QDir(tmp).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(MailSendTest, DataAndInformationMailsReachTheSinkAsSent)
{
    const auto sink = SmtpSink::FromEnvironment("SMTPTEST_");
    if (!sink)
        GTEST_SKIP() << "no SMTP sink: SMTPTEST_PORT is not set (scripts/test.sh starts one)";
    if (!HavePythonEmail())
        GTEST_SKIP() << "/usr/bin/python3 3.11 or later (email, zipfile) is not installed";
    Configure(sink->port);
    const QString tag = QString::number(::getpid());
    const QString data = QStringLiteral("org2.%1@example.ru").arg(tag);
    const QString a = QStringLiteral("a.%1@example.ru").arg(tag), b = QStringLiteral("b.%1@example.ru").arg(tag);
    const QString kPlain = QStringLiteral("text/plain; windows-1251; 8bit");
    const QString kHtml = QStringLiteral("text/html; windows-1251; 8bit");
    const struct {
        Elements envelope;
        QStringList recipients;
        QString subject;
        QStringList types;
        QString plainStart;
    } cases[] = {
        {DataEnvelope(data),
         {data},
         QStringLiteral("{Auto} АИС ЛИР. Данные:НСИ"),
         {"multipart/mixed", "multipart/alternative", kPlain, kHtml, "application/zip"},
         QStringLiteral("[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <%1> \n[Data:] [АИС ЛИР]: \"НСИ\" \n ")
             .arg(data)},
        // Two receivers, no attachment, and a line that starts with a dot.
        {{{"fromName", "Орг-1"},
          {"fromEmail", "org1@example.ru"},
          {"toName", "Орг-2"},
          {"toEmail", a + ", " + b},
          {"typeData", "ИНФОРМАЦИЯ"},
          {"subject", "Сроки"},
          {"message", "Коллеги!\n.xml до 1 марта\nОтдел"}},
         {a, b},
         QStringLiteral("{Auto} АИС ЛИР. Информационное сообщение"),
         {"multipart/alternative", kPlain, kHtml},
         QStringLiteral(
             "[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <%1, %2> \n[Data:] [АИС ЛИР]: \"ИНФОРМАЦИЯ\"\n"
             "[InfoSubject:]Сроки\nКоллеги!\n.xml до 1 марта\nОтдел")
             .arg(a, b)},
    };
    for (const auto& c : cases) {
        const Outcome o = Send(Describe(c.envelope));
        EXPECT_EQ(o.hr, S_OK) << o.response.toStdString();
        EXPECT_EQ(o.response, Utf8(Success));
        ExpectOnlyResult(o);

        const QList<QJsonObject> sent = sink->MessagesTo(c.recipients.first());
        ASSERT_EQ(sent.size(), 1);
        EXPECT_EQ(sent[0]["mail_from"].toString(), QStringLiteral("org1@example.ru"));
        EXPECT_EQ(sent[0]["rcpt_tos"].toVariant().toStringList(), c.recipients);
        const QJsonObject mail = CheckMail(sink->folder + u'/' + sent[0]["file"].toString(), home());
        EXPECT_EQ(UnexpectedDefects(mail), QStringList());
        EXPECT_EQ(mail["bare_line_ends"].toInt(), 0);
        EXPECT_EQ(mail["subject"].toString(), c.subject);
        EXPECT_EQ(mail["types"].toVariant().toStringList(), c.types);
        EXPECT_EQ(PartText(mail, QStringLiteral("text/plain")), c.plainStart);
        EXPECT_EQ(PartText(mail, QStringLiteral("text/html")), c.plainStart);
    }
    // The attachment: the zip's own name, unzip finds no error, its one entry is the data file.
    const QJsonObject zip =
        CheckMail(sink->folder + u'/' + sink->MessagesTo(data)[0]["file"].toString(), home())["parts"][4].toObject();
    EXPECT_EQ(zip["filename"].toString(), QStringLiteral("НСИ_2026.zip"));
    EXPECT_TRUE(zip["bad_entry"].isNull());
    const QString sha = QCryptographicHash::hash(ReadFile(dataFile), QCryptographicHash::Sha256).toHex();
    EXPECT_EQ(zip["entries"].toArray(), (QJsonArray{QJsonObject{{"name", "НСИ_2026.xml"}, {"sha256", sha}}}));
    if (HaveProgram(QStringLiteral("unzip"))) {
        EXPECT_EQ(RunPeer(QStringLiteral("unzip"), {QStringLiteral("-t"), zip["file"].toString()}).exitCode, 0);
    }
}

TEST_F(MailSendTest, SmtpFailuresReportTheStepLogAndTheirCause)
{
    const auto sink = SmtpSink::FromEnvironment("SMTPTEST_AUTH_");
    const QString failed = Failure(MailFailed) + Utf8(Steps[0]) + Utf8(Steps[1]) + Utf8(Steps[2]);
    const QString sending =
        Utf8(Steps[11]) + Utf8(Steps[12]) + QStringLiteral("Письмо не отправлено через сервер SMTP ");
    const struct {
        bool needsSink;
        int checkLogin;
        const char* password;
        HRESULT hr;
        QString cause; // after the server and port
    } cases[] = {
        {false, 0, "", E_FAIL, QStringLiteral("сервер отказал в соединении.\n")},
        {true, 1, "pass", S_OK, {}},
        // The refused password goes into no text, nor does any argument of a command.
        {true, 1, "wrong", E_FAIL,
         QStringLiteral(
             "сервер не принял имя пользователя или пароль, ответ сервера: 535 5.7.8 Authentication credentials "
             "invalid.\n")},
        {true, 0, "pass", E_FAIL,
         QStringLiteral("сервер не принял адрес отправителя, ответ сервера: 530 5.7.0 Authentication required.\n")},
    };
    int n = 0;
    for (const auto& c : cases) {
        if (c.needsSink && !sink)
            continue;
        const int port = c.needsSink ? sink->port : 1;
        Configure(port, c.checkLogin, QStringLiteral("user"), Utf8(c.password));
        const QString to = QStringLiteral("auth.%1.%2@example.ru").arg(::getpid()).arg(++n);
        const Outcome o = Send(Describe(DataEnvelope(to)));
        EXPECT_EQ(o.hr, c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(o.response, Utf8(Success));
        } else {
            EXPECT_TRUE(o.response.startsWith(failed)) << o.response.toStdString();
            EXPECT_TRUE(o.response.endsWith(sending + QStringLiteral("\"127.0.0.1\", порт %1: ").arg(port) + c.cause))
                << o.response.toStdString();
        }
        ExpectOnlyResult(o); // the archive is gone on failure too
        if (c.needsSink) {
            const QList<QJsonObject> sent = sink->MessagesTo(to);
            ASSERT_EQ(sent.size(), c.hr == S_OK ? 1 : 0);
            EXPECT_TRUE(sent.isEmpty() || sent[0]["login"].toString() == sink->user);
        }
    }
    if (!sink)
        GTEST_SKIP() << "no SMTP sink requiring AUTH: SMTPTEST_AUTH_PORT is not set (scripts/test.sh starts one)";
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
    CMailTransport::WriteResult({}, &result);
    EXPECT_EQ(result, nullptr);
    if (kCostJudged) {
        EXPECT_LT(timer.elapsed(), 1000);
    }
    EXPECT_EQ(QDir(tmp).count(), 0xFFFFu + 2); // with "." and ".."
    SkipWhereCostIsNotJudged();
}
