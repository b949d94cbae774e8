// The received-mail parser: header values from small header blocks, and the catalogue of mails in
// tests/data/mail with the text and the file each must give.
#include "ReceivedMail.h"
#include "Codepage.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

std::string Word(const std::string& utf8)
{
    return "=?windows-1251?B?" + QByteArray::fromStdString(Utf8ToCodepage(utf8)).toBase64().toStdString() + "?=";
}

// Files under `folder`, relative to it.
QStringList FilesUnder(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    return files;
}

class ReceivedMailCatalogue : public TempHomeTest { };

} // namespace

TEST(ReceivedMailHeaders, NamesFoldsEncodedWordsAndOccurrences)
{
    const std::string greeting = Word("Привет, коллеги");
    const struct {
        std::string headers;
        const char* name;
        int index;
        std::string value;
    } cases[] = {
        {"From: a@b\r\nsubject: lower case", "Subject", 0, "lower case"},
        {"From: a@b\r\nSubject : spaced\r\nX: y", "Subject", 0, ""},
        {"Subject: two\r\n\twords\r\nX: y", "Subject", 0, "two words"},
        {"Subject:  padded \t\r\n \r\nX: y", "Subject", 0, "padded"},
        {"Subject: " + greeting, "Subject", 0, "Привет, коллеги"},
        {"Subject: " + greeting + " (2)", "Subject", 0, "Привет, коллеги (2)"},
        {"Subject: Re: " + greeting, "Subject", 0, "Re: " + greeting},
        {"Subject: =?utf-8?B?0J8=?=", "Subject", 0, "=?utf-8?B?0J8=?="},
        {"Received: one\r\nX-Subject: no\r\nreceived: two", "Received", 1, "two"},
        {"Received: one", "Received", 1, ""},
        {"X-Mailer: Subject: inside", "Subject", 0, ""},
        {"Subject: " + Utf8ToCodepage("Данные"), "Subject", 0, "Данные"},
    };
    for (const auto& c : cases) {
        CReceivedMail mail;
        mail.SetRawText(c.headers + "\r\n\r\nSubject: in the body\r\n");
        EXPECT_EQ(mail.GetHeaderValue(c.name, c.index), c.value) << c.headers;
    }

    // What TOP gives: the headers alone.
    CReceivedMail top;
    top.SetRawText("Reply-To:  \r\nFrom: org1@example.ru\r\nSubject: s\r\n");
    EXPECT_EQ(top.GetHeaderBlock(), top.RawText());
    EXPECT_EQ(top.GetBody(), nullptr);
    EXPECT_EQ(top.GetInfoText(), "");
    EXPECT_EQ(top.GetReplyAddress(), "org1@example.ru");
    CReceivedMail none;
    EXPECT_EQ(none.GetSubject(), "");
    std::string path;
    EXPECT_EQ(none.SaveAttachment("/tmp", path), E_FAIL);
}

TEST_F(ReceivedMailCatalogue, EachMailGivesItsTextAndFile)
{
    // Parsing writes nothing beside the attachment: the temporary folder stays empty.
    const QString tmp = home() + QStringLiteral("tmp");
    QDir().mkpath(tmp);
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", tmp.toUtf8());

    const QString data = QStringLiteral(LIR_TEST_DATA_DIR "/mail/");
    const QJsonArray mails =
        QJsonDocument::fromJson(ReadFile(data + QStringLiteral("catalogue.json")))["mails"].toArray();
    ASSERT_GE(mails.size(), 12);
    int n = 0;
    for (const auto& value : mails) {
        const QJsonObject entry = value.toObject();
        const QString file = entry["mail"].toString();
        SCOPED_TRACE(file.toStdString());
        QByteArray raw = ReadFile(data + file);
        ASSERT_FALSE(raw.isEmpty());
        raw.chop(2); // as RETR gives it: the last CRLF belongs to the terminator
        CReceivedMail mail;
        mail.SetRawText(raw.toStdString());
        if (entry.contains("subject")) {
            EXPECT_EQ(QString::fromStdString(mail.GetSubject()), entry["subject"].toString());
        }
        if (entry.contains("info")) {
            EXPECT_EQ(QString::fromStdString(mail.GetInfoText()), entry["info"].toString());
        }

        const QJsonObject save = entry["save"].toObject();
        for (const QString& slash : {QString(), QStringLiteral("/")}) {
            const QString root = home() + QStringLiteral("out%1/").arg(++n);
            const QString folder = root + QStringLiteral("a/b/import");
            QDir().mkpath(folder);
            std::string path;
            const HRESULT hr = mail.SaveAttachment((folder + slash).toStdString(), path);
            if (save.isEmpty()) {
                EXPECT_EQ(hr, E_FAIL);
                EXPECT_EQ(path, "");
                EXPECT_EQ(FilesUnder(root), QStringList());
                continue;
            }
            if (save["folder"].toBool()) {
                EXPECT_EQ(hr, S_OK);
                EXPECT_EQ(QString::fromStdString(path), folder + u'/');
                EXPECT_EQ(FilesUnder(root), QStringList());
                continue;
            }
            const QString name = save["name"].toString();
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(QString::fromStdString(path), folder + u'/' + name);
            EXPECT_EQ(FilesUnder(root), QStringList{QStringLiteral("a/b/import/") + name});
            const QByteArray expected = save.contains("same_as")
                ? ReadFile(data + save["same_as"].toString())
                : QByteArray::fromStdString(Utf8ToCodepage(save["text"].toString().toStdString()));
            EXPECT_EQ(ReadFile(folder + u'/' + name), expected);
        }
    }
    // Saved again, an existing file stays whole and the attachment takes the next free number.
    CReceivedMail mail;
    mail.SetRawText(ReadFile(data + QStringLiteral("data.eml")).toStdString());
    const QString folder = home() + QStringLiteral("again");
    QDir().mkpath(folder);
    WriteFile(folder + QStringLiteral("/НСИ_2026.zip"), QByteArray(100000, 'x'));
    std::string path;
    EXPECT_EQ(mail.SaveAttachment(folder.toStdString(), path), S_OK);
    EXPECT_EQ(QString::fromStdString(path), folder + QStringLiteral("/НСИ_2026(1).zip"));
    EXPECT_EQ(ReadFile(QString::fromStdString(path)), ReadFile(data + QStringLiteral("nsi-2026.zip")));
    EXPECT_EQ(ReadFile(folder + QStringLiteral("/НСИ_2026.zip")), QByteArray(100000, 'x'));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("НСИ_2026(1).zip"), QStringLiteral("НСИ_2026.zip")}));

    EXPECT_EQ(FilesUnder(tmp), QStringList());
    qputenv("TMPDIR", savedTmp);
}
