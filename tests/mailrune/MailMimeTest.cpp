// The mail's bytes: golden mails kept unchanged, the wire's limits, and Python's reading of them.
#include "MailFiles.h"
#include "MailPeers.h"
#include "MailSender.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

const CMailStamp kGoldenStamp{"Thu, 05 Mar 2026 09:07:03 +0300", "<1772690823.GoldenMessageId0001@example.ru>",
                              "----=_RuneMixed_GoldenMixed00000000000000", "----=_RuneAlt_GoldenAlternative000000000"};

const QString kMailData = QStringLiteral(LIR_TEST_DATA_DIR "/mail/");

struct Golden {
    const char* file;
    const char* to;
    const char* subject;
    const char* body;
    bool attachment;
    QStringList types; // the content types Python walks through
};

const Golden kGoldens[] = {
    {"data.eml", "org2@example.ru", "{Auto} АИС ЛИР. Данные:НСИ",
     "[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <org2@example.ru> \n[Data:] [АИС ЛИР]: \"НСИ\" \n ", true,
     {"multipart/mixed", "multipart/alternative", "text/plain", "text/html", "application/zip"}},
    {"info.eml", "a@example.ru, b@example.ru", "{Auto} АИС ЛИР. Информационное сообщение",
     "[From:] \"Орг-1\" <org1@example.ru> \n[To:] \"Орг-2\" <a@example.ru, b@example.ru> \n"
     "[Data:] [АИС ЛИР]: \"ИНФОРМАЦИЯ\"\n[InfoSubject:]Сроки\nКоллеги!\n.xml до 1 марта\nОтдел",
     false, {"multipart/alternative", "text/plain", "text/html"}},
};

class MailMimeTest : public TempHomeTest {
protected:
    std::string Compose(const Golden& g)
    {
        CCdoMailSender sender;
        sender.AddFrom("org1@example.ru", "Орг-1");
        sender.AddTo(g.to, "Орг-2");
        sender.SetSubject(g.subject);
        sender.SetBody(g.body);
        if (g.attachment) {
            // The mail names the attachment after the file.
            const QString zip = home() + QStringLiteral("НСИ_2026.zip");
            EXPECT_TRUE(QFile::copy(kMailData + QStringLiteral("nsi-2026.zip"), zip));
            sender.AddAttachment(zip.toStdString(), "НСИ.zip");
        }
        return sender.Compose(kGoldenStamp);
    }

    QStringList Lines(const QByteArray& mail) { return QString::fromLatin1(mail).split(QStringLiteral("\r\n")); }
};

} // namespace

TEST_F(MailMimeTest, GoldenMailsAreReproducedAndReadByPython)
{
    for (const Golden& g : kGoldens) {
        SCOPED_TRACE(g.file);
        const QByteArray golden = ReadFile(kMailData + QString::fromLatin1(g.file));
        ASSERT_FALSE(golden.isEmpty());
        EXPECT_EQ(QByteArray::fromStdString(Compose(g)), golden);

        const QStringList lines = Lines(golden);
        EXPECT_TRUE(lines.last().isEmpty()); // a final CRLF
        EXPECT_TRUE(lines.filter(QRegularExpression(QStringLiteral("^Subject: =\\?windows-1251\\?B\\?[A-Za-z0-9+/=]+\\?=$"))).size() == 1);
        if (g.attachment) {
            const qsizetype type = lines.indexOf(QStringLiteral("Content-Type: multipart/mixed;"));
            ASSERT_GE(type, 0);
            EXPECT_TRUE(lines[type + 1].startsWith(QStringLiteral("\tboundary=\"")));
            EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^\\tname=\"=\\?windows-1251\\?B\\?[A-Za-z0-9+/=]+\\?=\"$"))).size(), 1);
            EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^\\tfilename=\"=\\?windows-1251\\?B\\?[A-Za-z0-9+/=]+\\?=\"$"))).size(), 1);
        }

        if (!HavePythonEmail())
            continue;
        const QJsonObject mail = CheckMail(kMailData + QString::fromLatin1(g.file), home());
        EXPECT_EQ(UnexpectedDefects(mail), QStringList());
        EXPECT_EQ(mail[QStringLiteral("subject")].toString(), QString::fromUtf8(g.subject));
        EXPECT_EQ(mail[QStringLiteral("bare_line_ends")].toInt(), 0);
        const QJsonArray parts = mail[QStringLiteral("parts")].toArray();
        QStringList types;
        for (const auto& part : parts)
            types << part[QStringLiteral("type")].toString();
        EXPECT_EQ(types, g.types);
        // Both bodies carry the same text.
        EXPECT_EQ(PartText(mail, QStringLiteral("text/plain")), QString::fromUtf8(g.body));
        EXPECT_EQ(PartText(mail, QStringLiteral("text/html")), QString::fromUtf8(g.body));
        if (g.attachment) {
            EXPECT_EQ(parts.last()[QStringLiteral("filename")].toString(), QStringLiteral("НСИ_2026.zip"));
        }
    }
}

TEST_F(MailMimeTest, HeadersAndLinesStayWithinTheWireLimits)
{
    const std::string longLine(2500, 'x');
    std::string longSubject;
    for (int i = 0; i < 800; ++i)
        longSubject += "Ж";
    CCdoMailSender sender;
    sender.AddFrom("org1@example.ru\r\nBcc: from@evil.example", "");
    sender.AddTo(" a@example.ru ;b@example.ru,\r\nBcc: to@evil.example,, ", "");
    sender.SetSubject(longSubject);
    sender.SetBody("first\r\n" + longLine + "\rlast\n");
    const QByteArray mail = QByteArray::fromStdString(sender.Compose(kGoldenStamp));
    const QStringList lines = Lines(mail);

    for (const QString& line : lines) {
        EXPECT_LE(line.size(), 998);
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r'));
        EXPECT_FALSE(line.startsWith(QStringLiteral("Bcc:"))); // no header smuggled in through an address
    }
    EXPECT_TRUE(lines.contains(QStringLiteral("To: a@example.ru, b@example.ru, Bcc: to@evil.example")));
    EXPECT_TRUE(lines.contains(QStringLiteral("From: org1@example.ruBcc: from@evil.example")));
    // The long subject stays one encoded word, carried on continuation lines.
    const qsizetype subject = lines.indexOf(QRegularExpression(QStringLiteral("Subject: .*")));
    ASSERT_GE(subject, 0);
    QString word = lines[subject].mid(9);
    for (qsizetype i = subject + 1; lines[i].startsWith(u'\t'); ++i)
        word += lines[i].mid(1);
    ASSERT_TRUE(word.startsWith(QStringLiteral("=?windows-1251?B?")) && word.endsWith(QStringLiteral("?=")));
    EXPECT_EQ(QByteArray::fromBase64(word.mid(17, word.size() - 19).toLatin1()), QByteArray(800, '\xC6'));
    // The 2,500-octet line arrives as lines of 998, 998 and 504 octets.
    EXPECT_EQ(lines.count(QString(998, u'x')), 4);
    EXPECT_EQ(lines.count(QString(504, u'x')), 2);
    EXPECT_TRUE(lines.contains(QStringLiteral("last")));

    EXPECT_EQ(CCdoMailSender::SplitAddresses(" a@x ;b@y,\tc@z , ,"), (std::vector<std::string>{"a@x", "b@y", "c@z"}));
    EXPECT_TRUE(CCdoMailSender::SplitAddresses(" , ; ").empty());
}

TEST_F(MailMimeTest, AnAttachmentThatCannotBeReadIsASendError)
{
    CCdoMailSender sender;
    sender.AddAttachment(home().toStdString() + "missing.zip", "x.zip");
    try {
        sender.Compose(kGoldenStamp);
        FAIL() << "no error";
    } catch (const CCurlError& error) {
        EXPECT_EQ(error.code, 26u); // CURLE_READ_ERROR
        EXPECT_NE(error.description.find("missing.zip"), std::string::npos);
    }
}

TEST(MailStamp, BoundariesAndIdsDifferAndNeitherBoundaryBeginsWithTheOther)
{
    const CMailStamp a = NewMailStamp("org1@Example.ru");
    const CMailStamp b = NewMailStamp("no domain");
    EXPECT_NE(a.mixedBoundary, b.mixedBoundary);
    EXPECT_NE(a.messageId, b.messageId);
    EXPECT_NE(a.mixedBoundary.rfind(a.alternativeBoundary, 0), 0u);
    EXPECT_NE(a.alternativeBoundary.rfind(a.mixedBoundary, 0), 0u);
    EXPECT_TRUE(a.messageId.ends_with("@Example.ru>"));
    EXPECT_TRUE(b.messageId.ends_with("@localhost>"));
    // RFC 5322 with a numeric zone, whatever the locale.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d [A-Z][a-z]{2} \\d{4} "
                                                  "\\d\\d:\\d\\d:\\d\\d [+-]\\d{4}$"))
                    .match(QString::fromStdString(a.date))
                    .hasMatch());
}
