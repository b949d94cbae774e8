// The mail's bytes: golden mails kept unchanged, the wire's limits, and Python's reading of them.
#include "MailPeers.h"
#include "MailSender.h"

#include <QFile>
#include <QRegularExpression>

namespace {

const CMailStamp kGoldenStamp{"Thu, 05 Mar 2026 09:07:03 +0300", "<1772690823.GoldenMessageId0001@example.ru>",
                              "----=_RuneMixed_GoldenMixed00000000000000", "----=_RuneAlt_GoldenAlternative000000000"};

using MailMimeTest = TempHomeTest;

const QString kMailData = QStringLiteral(LIR_TEST_DATA_DIR "/mail/");

QStringList Lines(const std::string& mail)
{
    return QString::fromLatin1(mail).split(QStringLiteral("\r\n"));
}

qsizetype CountMatching(const QStringList& lines, const char* pattern)
{
    return lines.filter(QRegularExpression(QString::fromLatin1(pattern))).size();
}

} // namespace

TEST_F(MailMimeTest, GoldenMailsAreReproducedAndReadByPython)
{
    const struct {
        const char* file;
        const char* to;
        const char* subject;
        const char* body;
        bool attachment;
        QStringList types;
    } goldens[] = {
        {"data.eml",
         "org2@example.ru",
         "{Auto} АИС ЛИР. Данные:НСИ",
         "[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <org2@example.ru> \n[Data:] [АИС ЛИР]: \"НСИ\" \n ",
         true,
         {"multipart/mixed", "multipart/alternative", "text/plain; windows-1251; 8bit", "text/html; windows-1251; 8bit",
          "application/zip"}},
        {"info.eml",
         "a@example.ru, b@example.ru",
         "{Auto} АИС ЛИР. Информационное сообщение",
         "[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <a@example.ru, b@example.ru> \n"
         "[Data:] [АИС ЛИР]: \"ИНФОРМАЦИЯ\"\n[InfoSubject:]Сроки\nКоллеги!\n.xml до 1 марта\nОтдел",
         false,
         {"multipart/alternative", "text/plain; windows-1251; 8bit", "text/html; windows-1251; 8bit"}},
    };
    // The mail names the attachment after its file.
    const QString zip = home() + QStringLiteral("НСИ_2026.zip");
    ASSERT_TRUE(QFile::copy(kMailData + QStringLiteral("nsi-2026.zip"), zip));
    for (const auto& g : goldens) {
        SCOPED_TRACE(g.file);
        CCdoMailSender sender;
        sender.AddFrom("org1@example.ru", "Орг-1");
        sender.AddTo(g.to, "Орг-2");
        sender.SetSubject(g.subject);
        sender.SetBody(g.body);
        if (g.attachment)
            sender.AddAttachment(zip.toStdString(), "НСИ.zip");
        const std::string mail = sender.Compose(kGoldenStamp);
        EXPECT_EQ(QByteArray::fromStdString(mail), ReadFile(kMailData + QString::fromLatin1(g.file)));

        const QStringList lines = Lines(mail);
        EXPECT_EQ(CountMatching(lines, "^Subject: =\\?windows-1251\\?B\\?[A-Za-z0-9+/=]+\\?=$"), 1);
        EXPECT_EQ(CountMatching(lines, "^\\tboundary=\"[^\"]+\"$"), g.attachment ? 2 : 1);
        EXPECT_EQ(CountMatching(lines, "^\\t(file)?name=\"=\\?windows-1251\\?B\\?[A-Za-z0-9+/=]+\\?=\"$"),
                  g.attachment ? 2 : 0);
        EXPECT_EQ(lines.indexOf(QStringLiteral("Content-Type: multipart/mixed;")), g.attachment ? 6 : -1);

        if (!HavePythonEmail())
            continue;
        const QJsonObject read = CheckMail(kMailData + QString::fromLatin1(g.file), home());
        EXPECT_EQ(UnexpectedDefects(read), QStringList());
        EXPECT_EQ(read["bare_line_ends"].toInt(), 0);
        EXPECT_EQ(read["subject"].toString(), QString::fromUtf8(g.subject));
        EXPECT_EQ(read["types"].toVariant().toStringList(), g.types);
        EXPECT_EQ(PartText(read, QStringLiteral("text/plain")), QString::fromUtf8(g.body));
        EXPECT_EQ(PartText(read, QStringLiteral("text/html")), QString::fromUtf8(g.body));
        EXPECT_EQ(read["parts"][4]["filename"].toString(), g.attachment ? QStringLiteral("НСИ_2026.zip") : QString());
    }
}

TEST_F(MailMimeTest, MailLinesStayWithinTheWireLimits)
{
    std::string longSubject;
    for (int i = 0; i < 800; ++i)
        longSubject += "Ж";
    CCdoMailSender sender;
    sender.AddFrom("org1@example.ru\r\nBcc: from@evil.example", "");
    sender.AddTo(" a@example.ru ;b@example.ru,\r\nBcc: to@evil.example,, ", "");
    sender.SetSubject(longSubject);
    sender.SetBody("first\r\n" + std::string(2500, 'x') + "\rlast\n");
    const QStringList lines = Lines(sender.Compose(kGoldenStamp));

    for (const QString& line : lines) {
        EXPECT_LE(line.size(), 998);
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r') || line.startsWith(QStringLiteral("Bcc:")));
    }
    EXPECT_TRUE(lines.contains(QStringLiteral("To: a@example.ru, b@example.ru, Bcc: to@evil.example")));
    EXPECT_TRUE(lines.contains(QStringLiteral("From: org1@example.ruBcc: from@evil.example")));
    // The long subject stays one encoded word, carried on continuation lines.
    qsizetype at = lines.indexOf(QRegularExpression(QStringLiteral("Subject: .*")));
    ASSERT_GE(at, 0);
    QString word = lines[at].mid(9);
    while (lines[++at].startsWith(u'\t'))
        word += lines[at].mid(1);
    ASSERT_TRUE(word.startsWith(QStringLiteral("=?windows-1251?B?")) && word.endsWith(QStringLiteral("?=")));
    EXPECT_EQ(QByteArray::fromBase64(word.mid(17, word.size() - 19).toLatin1()), QByteArray(800, '\xC6'));
    // The 2,500-octet line arrives as lines of 998, 998 and 504 octets, in both bodies.
    EXPECT_EQ(lines.count(QString(998, u'x')), 4);
    EXPECT_EQ(lines.count(QString(504, u'x')), 2);

    // An attachment that cannot be read is a send error.
    sender.AddAttachment(home().toStdString() + "missing.zip", "x.zip");
    try {
        sender.Compose(kGoldenStamp);
        ADD_FAILURE() << "no error";
    } catch (const CCurlError& error) {
        EXPECT_EQ(error.code, 26u); // CURLE_READ_ERROR
        EXPECT_NE(error.description.find("missing.zip"), std::string::npos);
    }
}

TEST(MailStamp, RandomPartsDifferAndNeitherBoundaryBeginsWithTheOther)
{
    const CMailStamp a = NewMailStamp("org1@Example.ru");
    const CMailStamp b = NewMailStamp("no domain");
    EXPECT_NE(a.mixedBoundary, b.mixedBoundary);
    EXPECT_NE(a.messageId, b.messageId);
    EXPECT_FALSE(a.mixedBoundary.starts_with(a.alternativeBoundary)
                 || a.alternativeBoundary.starts_with(a.mixedBoundary));
    EXPECT_TRUE(a.messageId.ends_with("@Example.ru>") && b.messageId.ends_with("@localhost>"));
}
