#include "TextUtils.h"
#include "AppMessage.h"
#include "TestSupport.h"
#include "xml/XmlRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QThread>

#include <thread>

TEST(TextUtils, CodepageRoundTrip)
{
    const QByteArray cp1251("\xCF\xF0\xEE\xE3\xED\xEE\xE7"); // "Прогноз"
    const QByteArray utf8 = AnsiToUtf8(cp1251);
    EXPECT_EQ(utf8.size(), 14);
    EXPECT_EQ(QString::fromUtf8(utf8), QStringLiteral("Прогноз"));
    EXPECT_EQ(Utf8ToAnsi(utf8), cp1251);
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("Ёё№ abc")), QByteArray("\xA8\xB8\xB9 abc"));
    EXPECT_EQ(AnsiToUnicode(QByteArray("\xA8\xB8\xB9")), QStringLiteral("Ёё№"));
}

TEST(TextUtils, ConvertersHandleWhatCp1251CannotHoldAndBadUtf8)
{
    // A character outside cp1251 (and one outside the BMP) becomes one '?'.
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("a\u4E2Db") + QString::fromUcs4(U"\U0001F600")), QByteArray("a?b?"));
    // Truncated and invalid sequences become replacement characters, nothing is read past the end.
    EXPECT_EQ(Utf8ToUnicode(QByteArray("a\xD0")), QStringLiteral("a\uFFFD"));
    EXPECT_EQ(Utf8ToUnicode(QByteArray("\xC0\xAF")), QStringLiteral("\uFFFD\uFFFD"));
    // A surrogate pair is written as one four-byte sequence, not as two three-byte ones.
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    EXPECT_EQ(UnicodeToUtf8(emoji), QByteArray("\xF0\x9F\x98\x80"));
    EXPECT_EQ(Utf8ToUnicode(QByteArray("\xF0\x9F\x98\x80")), emoji);
    EXPECT_EQ(Utf8ToAnsi(QByteArray()), QByteArray());
}

TEST(TextUtils, MakeValidFileName)
{
    EXPECT_EQ(MakeValidFileName("a b/c:d"), "a_b_c:d");
    EXPECT_EQ(MakeValidFileName(QStringLiteral("x<>\"|?*\\\t\x01y")), QStringLiteral("x______\\__y"));
    EXPECT_EQ(MakeValidFileName(QStringLiteral("Минфин России 2026")), QStringLiteral("Минфин_России_2026"));
}

class FileUtilsTest : public TempHomeTest { };

TEST_F(FileUtilsTest, DirectoryAndFileTests)
{
    const QString dir = home() + "sub";
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_TRUE(DirectoryExists(dir + "/"));
    EXPECT_FALSE(DirectoryExists(dir + "x"));
    EXPECT_FALSE(DirectoryExists(dir + "x/"));
    WriteFile(dir + "/a.xml", "x");
    EXPECT_FALSE(DirectoryExists(dir + "/a.xml"));
    EXPECT_TRUE(FileExists(dir + "/a.xml"));
    EXPECT_TRUE(FileExists(dir));
    EXPECT_TRUE(FileExists(dir + "/*.xml"));
    EXPECT_FALSE(FileExists(dir + "/*.zip"));
}

TEST_F(FileUtilsTest, ProgramFolderFollowsLirHome)
{
    EXPECT_EQ(GetProgramFolder(), home());
    qputenv("LIR_HOME", (home() + "sub").toUtf8());
    EXPECT_EQ(GetProgramFolder(), home() + "sub/");
    qunsetenv("LIR_HOME");
    EXPECT_TRUE(GetProgramFolder().endsWith('/'));
    EXPECT_TRUE(QFileInfo(GetProgramFolder()).isDir());
    EXPECT_TRUE(GetTempFolder().endsWith('/'));
}

// The program's own files: the user's folder first, then beside the executable; a path in the user's
// folder when neither holds it, so that its message names it.
TEST_F(FileUtilsTest, ProgramFilesAreFoundInTheUsersFolderThenBesideTheExecutable)
{
    const QString beside = shippedFolder();
    const struct {
        const char* name;
        bool inHome, besideIt;
        QString found;
    } cases[] = {
        {"lir.xsd", true, true, home() + "lir.xsd"},          {"Form1.rpt", false, true, beside + "Form1.rpt"},
        {"LIR.db.tmpl", true, false, home() + "LIR.db.tmpl"}, {"Empty.rpt", false, false, home() + "Empty.rpt"},
        {"transport/", false, true, beside + "transport/"},
    };
    for (const auto& c : cases) {
        for (const auto& [folder, put] : {std::pair{home(), c.inHome}, std::pair{beside, c.besideIt}}) {
            if (!put)
                continue;
            if (QString(c.name).endsWith('/'))
                ASSERT_TRUE(QDir().mkpath(folder + c.name));
            else
                WriteFile(folder + c.name, "x");
        }
        EXPECT_EQ(ProgramFile(c.name), c.found) << c.name;
        EXPECT_EQ(ProgramFilePlaces(c.name), QStringList({home() + c.name, beside + c.name})) << c.name;
    }
    // Without LIR_HOME both places are the executable's folder: it is named once.
    SetEnv("LIR_HOME", QByteArray());
    EXPECT_EQ(ProgramFilePlaces("Form1.rpt"), QStringList({beside + "Form1.rpt"}));
    EXPECT_EQ(ProgramFile("lir.xsd"), beside + "lir.xsd");
}

TEST_F(FileUtilsTest, XmlFileVersion)
{
    EXPECT_EQ(GetFileVersionString(), "2.0.1.40");
    auto check = [&](const QByteArray& xml) {
        const QString path = home() + "v.xml";
        WriteFile(path, xml);
        return CheckXmlFileVersion(path);
    };
    EXPECT_TRUE(check("<?xml version=\"1.0\"?><forecast version=\"2.0.1.40\"/>"));
    EXPECT_FALSE(check("<forecast version=\"2.0.1.41\"/>"));
    EXPECT_FALSE(check("<forecast version=\"2.0.1.40 \"/>"));
    EXPECT_FALSE(check("<forecast/>"));
    EXPECT_FALSE(check("<forecast version=\"2.0.1.40\">"));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(CheckXmlFileVersion(home() + "missing.xml"));
    // A document type declaration is refused before anything of it is fetched or read.
    EXPECT_FALSE(check("<!DOCTYPE forecast SYSTEM \"http://127.0.0.1:9/x.dtd\"><forecast version=\"2.0.1.40\"/>"));
}

TEST(XmlText, CharactersXmlCannotCarryAreLeftOutSoTheDocumentStaysReadable)
{
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "r");
    xmlDocSetRootElement(doc.get(), root);
    XmlAddText(root, "comment",
               QStringLiteral("a\x01"
                              "b\x0B"
                              "c\td & <e>")
                   + QChar(0xFFFE) + QChar(0xD800) + "f" + QString::fromUcs4(U"\U0001F600"));
    QString error;
    const XmlDocPtr back = XmlParseMemory(XmlToBytes(doc.get()), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(XmlContent(xmlFirstElementChild(xmlDocGetRootElement(back.get()))),
              QStringLiteral("abc\td & <e>f") + QString::fromUcs4(U"\U0001F600"));
    EXPECT_FALSE(XmlParseMemory("<r><unclosed></r>", &error));
    EXPECT_FALSE(error.isEmpty());
}

class MessageThreadTest : public TempHomeTest { };

TEST_F(MessageThreadTest, AMessageFromAnotherThreadIsShownOnTheUserInterfaceThread)
{
    QThread* shownOn = nullptr;
    // A handler that shows windows.
    SetMessageBoxHandler([&](const QString&, unsigned, QObject*) {
        shownOn = QThread::currentThread();
        return IDNO;
    });
    int answer = 0;
    QEventLoop loop;
    std::thread worker([&] {
        answer = AppMessageBox("?", MB_YESNO);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(shownOn, QCoreApplication::instance()->thread());
}
