#include "tables/Documentation.h"
#include "AppMessage.h"
#include "DbTest.h"
#include "xml/XmlRecord.h"

#include <QDir>
#include <QFile>
#include <QProcess>

class DocumentationTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0), (2, 'g', 2026, 0), (3, 'h', "
             "2026, 0)");
        QDir().mkpath(GetDocsFolder());
    }

    static CDocumentationRecord Doc(const QString& name, int prognoz = 1, int position = 0)
    {
        return {-1, prognoz, name, position, name + QStringLiteral(".doc"), std::nullopt};
    }

    std::vector<int> Positions()
    {
        std::vector<int> out;
        const auto list = LoadDocumentation(SqlFilter("prognoz = ?", {1}, "id"));
        for (const auto& d : *list)
            out.push_back(d.position);
        return out;
    }
};
LIR_INSTANTIATE_DB_TEST(DocumentationTest);

TEST_P(DocumentationTest, IdsJournalDeleteAndMoves)
{
    SetJournal(true);
    CDocumentationRecord a = Doc("Положение"), b = Doc("b"), c = Doc("c", 2);
    c.id = 7; // no row under this id yet: added under it
    ASSERT_TRUE(SaveDocumentation(a) && SaveDocumentation(b) && SaveDocumentation(c));
    EXPECT_EQ(a.id, 1);
    EXPECT_EQ(b.id, 2);
    EXPECT_TRUE(GetDocumentation(7, 2));
    a.name = "Приказ";
    ASSERT_TRUE(SaveDocumentation(a));
    WriteFile(MakeDocFileName(b), "keep");
    ASSERT_TRUE(DeleteDocumentation(b));
    EXPECT_EQ(b.id, -1);
    EXPECT_EQ(ReadFile(home() + "docs/doc_1_2"), "keep") << "the stored file stays";
    EXPECT_EQ(
        JournalTexts(),
        QStringList({"Insert Documentation; id=1; Prognoz=1; Name=Положение",
                     "Insert Documentation; id=2; Prognoz=1; Name=b", "Insert Documentation; id=7; Prognoz=2; Name=c",
                     "Update Documentation; Prognoz=1; Name=Приказ", "Delete Documentation; id=2; Prognoz=1; Name=b"}));

    Exec("delete from tfctdocumentation");
    for (int i = 1; i <= 5; ++i) {
        CDocumentationRecord d = Doc(QString::number(i), 1, i);
        d.id = i;
        ASSERT_TRUE(SaveDocumentation(d));
    }
    MoveDocumentation(3, 1, true);
    EXPECT_EQ(Positions(), std::vector<int>({4, 6, 5, 10, 12}));
    Exec("update tfctdocumentation set position = id");
    MoveDocumentation(3, 1, false);
    EXPECT_EQ(Positions(), std::vector<int>({4, 6, 11, 10, 12}));

    // A row with a NULL column does not read.
    Exec("insert into tfctdocumentation (id, prognoz, name, position, filename) values (20, 1, 'n', null, 'x')");
    EXPECT_FALSE(GetDocumentation(20, 1));
    EXPECT_EQ(LoadDocumentation(SqlFilter("prognoz = ?", {1}))->size(), 5u);
    EXPECT_TRUE(messages.empty());
}

TEST_P(DocumentationTest, ExportedContentIsTheStoredFileAndImportWritesOnlyOnSave)
{
    QByteArray bytes;
    for (int i = 0; i < 300; ++i)
        bytes.append(char(i * 7));
    CDocumentationRecord a = Doc("a & <b>"), empty = Doc("empty"), missing = Doc("missing");
    ASSERT_TRUE(SaveDocumentation(a) && SaveDocumentation(empty) && SaveDocumentation(missing));
    WriteFile(MakeDocFileName(a), bytes);
    WriteFile(MakeDocFileName(empty), QByteArray());

    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "forecast");
    xmlDocSetRootElement(doc.get(), root);
    xmlNodePtr documents = WriteXml(root, *LoadDocumentation(SqlFilter("prognoz = ?", {1})));
    const QString xmlPath = home() + "f.xml";
    WriteFile(xmlPath, XmlToBytes(doc.get()));
    QProcess p;
    p.start("sh", {"-c", "xmllint --xpath 'string(//document[1]/content)' \"$0\" | base64 -d", xmlPath});
    ASSERT_TRUE(p.waitForFinished());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardOutput(), bytes);

    // A local document under the sent name keeps its file until the import saves the received one.
    WriteFile(MakeDocFileName(a), "local");
    auto list = ReadXmlList<CDocumentationRecord>(documents);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ(ReadFile(MakeDocFileName(a)), "local");
    CDocumentationRecord got = (*list)[0];
    EXPECT_EQ(got.name, "a & <b>");
    ASSERT_TRUE(got.receivedContent && (*list)[1].receivedContent);
    EXPECT_TRUE((*list)[1].receivedContent->isEmpty());
    EXPECT_FALSE((*list)[2].receivedContent) << "nothing is sent for a missing file";
    got.id = -1;
    got.prognoz = 2;
    {
        // An import that is rolled back leaves no file behind.
        CTransaction import;
        CDocumentationRecord attempt = got;
        ASSERT_TRUE(SaveDocumentation(attempt));
        EXPECT_FALSE(QFile::exists(MakeDocFileName(attempt)));
    }
    EXPECT_EQ(Count("tfctdocumentation", "prognoz = 2"), 0);
    EXPECT_FALSE(QFile::exists(GetDocsFolder() + "doc_2_4"));
    ASSERT_TRUE(SaveDocumentation(got));
    EXPECT_EQ(ReadFile(MakeDocFileName(got)), bytes);
    EXPECT_EQ(ReadFile(MakeDocFileName(a)), "local");

    // An empty list still gives the element, and it reads back as an empty list.
    xmlNodePtr none = WriteXml(root, CDocumentationList{});
    ASSERT_TRUE(ReadXmlList<CDocumentationRecord>(none));
    EXPECT_TRUE(ReadXmlList<CDocumentationRecord>(none)->empty());
    EXPECT_FALSE(ReadXmlList<CDocumentationRecord>(root));
    EXPECT_TRUE(messages.empty());
}

TEST_P(DocumentationTest, CopyReplacesTargetFilesAndSaveAsReportsTheResult)
{
    CDocumentationRecord a = Doc("a"), b = Doc("b");
    ASSERT_TRUE(SaveDocumentation(a) && SaveDocumentation(b));
    WriteFile(MakeDocFileName(a), "A");
    WriteFile(MakeDocFileName(b), "B");
    WriteFile(GetDocsFolder() + "doc_2_3", "stale");
    ASSERT_TRUE(CopyDocumentation(1, 2));
    EXPECT_EQ(LoadDocumentation(SqlFilter("prognoz = ?", {2}))->size(), 2u);
    EXPECT_EQ(ReadFile(GetDocsFolder() + "doc_2_3"), "A");
    EXPECT_EQ(ReadFile(GetDocsFolder() + "doc_2_4"), "B");
    EXPECT_TRUE(CopyDocumentation(3, 1)) << "a forecast without documents copies nothing";
    EXPECT_EQ(Count("tfctdocumentation"), 4);

    const QString target = home() + "out.doc";
    WriteFile(target, "old");
    EXPECT_TRUE(Shown(SaveDocumentAs(a, target)));
    EXPECT_EQ(ReadFile(target), "A");
    EXPECT_TRUE(Shown(SaveDocumentAs(a, QString()))) << "cancelled";
    EXPECT_FALSE(Shown(SaveDocumentAs(a, home() + "no/such/folder/x")));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, kDocumentSavedText);
    EXPECT_EQ(messages[0].flags, unsigned(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(messages[1].text, kDocumentSaveFailedText);
    EXPECT_EQ(messages[1].flags, unsigned(MB_OK | MB_ICONERROR));
}

TEST(DecodeBase64Test, ToleranceAndResults)
{
    auto decode = [](const QByteArray& text, qsizetype capacity, int* result = nullptr, qsizetype* used = nullptr) {
        QByteArray out(capacity, '\0');
        qsizetype length = text.size(), size = capacity;
        const int r = DecodeBase64(text.constData(), &length, out.data(), &size);
        if (result)
            *result = r;
        if (used)
            *used = length;
        return out.left(size);
    };
    int r = 0;
    qsizetype used = 0;
    EXPECT_EQ(decode("UHJv\r\nZ25v\n eg==", 20, &r), "Prognoz");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(decode("UHJvZ25veg", 20, &r, &used), "Progno") << "an incomplete last group is dropped";
    EXPECT_EQ(r, 1);
    EXPECT_EQ(used, 8);
    EXPECT_EQ(decode("QUJDREU=", 20), "ABCDE");
    EXPECT_EQ(decode("....", 20), QByteArray(3, '\0'));
    EXPECT_EQ(decode("=QUJD", 20, &r), "");
    EXPECT_EQ(r, 1);
    EXPECT_EQ(decode("QUJDREVG", 6, &r, &used), "ABC") << "the next group must fit with room to spare";
    EXPECT_EQ(r, 2);
    EXPECT_EQ(used, 4);
    qsizetype n = 4;
    char out[4];
    EXPECT_EQ(DecodeBase64("QUJD", &n, out, nullptr), -1);
}
