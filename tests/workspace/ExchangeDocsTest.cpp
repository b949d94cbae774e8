// The exchange documents as the writers produce them, judged by xmllint against the shipped
// schemas and by Python's xml.etree; their file names; the reader's refusals.
#include "ExchangeTestSupport.h"

#include "CommentsFile.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ExchangeReader.h"
#include "NsiFile.h"
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTcpServer>

#include <sys/stat.h>

#include <clocale>

namespace {

const QString kRomashka = QStringLiteral("Ромашка & <Ко>");
const QString kMail = QStringLiteral("a&b@x.ru");
const QString kQuotedMail = QStringLiteral("\"Ко\" <a&b@x.ru>");

class ExchangeDocsTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        CopySchemas(home());
        out = TestOutFolder(QStringLiteral("exchange_docs"));
    }

    QString Save(const XmlDocPtr& doc, const QString& name)
    {
        EXPECT_TRUE(doc && SaveExchangeDocument(doc.get(), out + name)) << name.toStdString();
        return out + name;
    }

    // Every kind of document, in the order of ExchangeSchemas, with texts that need escaping and
    // the reference data's optional parts.
    std::vector<std::pair<QString, QString>> WriteEveryDocument()
    {
        const QString base = ExchangeFileBase(QStringLiteral("Ромашка_Прогноз 2026"));
        const std::string locale = std::setlocale(LC_ALL, nullptr);
        std::setlocale(LC_ALL, "ru_RU.UTF-8"); // numbers stay locale-free whatever the process runs under
        const QString forecast =
            Save(BuildForecastDocument({5, 7, kMail, 3}, SampleTotals(kRomashka)), ForecastFileName(base));
        std::setlocale(LC_ALL, locale.c_str());

        const CReceiverList receivers{{.id = 7, .name = QStringLiteral("Лютик"), .email = QStringLiteral("l@x.ru")},
                                      {.id = 5, .name = kRomashka, .email = kMail, .importedId = 5}};
        CProductList products(2);
        products[0].name = QStringLiteral("Топливо & энергия");
        products[0].isgroup = 1;
        products[1].code = QStringLiteral("<01>");
        products[1].offsetMin = 0.5;
        products[1].priceIdx = 1.07;
        const CForecastList forecasts{{3, QStringLiteral("Прогноз 2026"), 2026, -20, QStringLiteral("Лютик"), 1}};
        const CIdMaps maps{{{1, 3}}, {{10, 40}, {11, 41}}, {{2, 5}}};
        const CDocumentationList documents{{1, 3, QStringLiteral("Приказ"), 0, QStringLiteral("приказ.pdf"), {}},
                                           {2, 3, QStringLiteral("Без файла"), 2, QStringLiteral("нет.doc"), {}}};
        QDir().mkpath(GetDocsFolder());
        WriteFile(MakeDocFileName(documents[0]), QByteArray("%PDF-1.4 \x00\x01\xff", 12));
        const CMeasurementList units{{1, QStringLiteral("тонна"), QStringLiteral("168"), QStringLiteral("т"), 1}};
        const CMConvertList converts{{1, 1, 2, 1000.0}};
        const CPriceList prices{{1, 3, 41, Money::fromXmlText(u"1500.25"), Money::fromXmlText(u"1600"), Money()}};
        const QString nsi = Save(BuildNsiDocument({3, 7, 5, kMail, &receivers, &products, &forecasts, &maps, &documents,
                                                   &units, &converts, &prices}),
                                 NsiFileName(base));

        CForecastDataRecord commented;
        commented.id = 11;
        commented.product = 41;
        commented.comment = QStringLiteral("Проверьте & <уточните>");
        const QString comment = Save(BuildCommentDocument({7, 3, 5, kQuotedMail}, {commented}), CommentFileName(base));
        const QString envelope = Save(BuildSendEnvelope({kRomashka,
                                                         {},
                                                         QStringLiteral("Лютик"),
                                                         QStringLiteral("l@x.ru"),
                                                         forecast,
                                                         ExchangeDataType::kForecast}),
                                      SendEnvelopeFileName(base));
        const QString info =
            Save(BuildInfoEnvelope({kRomashka, kMail, QStringLiteral("Лютик"), QStringLiteral("l@x.ru"),
                                    QStringLiteral("Текст\r\nсообщения"), QStringLiteral("Тема")}),
                 InfoEnvelopeFileName(7));
        return {{forecast, "forecast.xsd"},
                {nsi, "lir.xsd"},
                {comment, "comment.xsd"},
                {envelope, "forecastEnvelope.xsd"},
                {info, "infoEnvelope.xsd"}};
    }

    QString out;
};

QJsonObject Child(const QJsonObject& element, int index)
{
    return element[QStringLiteral("children")].toArray()[index].toObject();
}

} // namespace

TEST_F(ExchangeDocsTest, WrittenDocumentsPassTheirSchemasAndNoOther)
{
    REQUIRE_XMLLINT();
    const auto written = WriteEveryDocument();
    // Each document against each schema: only its own takes it, for xmllint and libxml2 alike.
    for (const auto& [path, own] : written) {
        const XmlDocPtr doc = ParseExchangeFile(path);
        ASSERT_TRUE(doc) << path.toStdString();
        for (const auto& [other, schema] : written) {
            const PeerRun lint = Xmllint(home() + schema, path);
            const bool valid = schema == own;
            EXPECT_EQ(lint.exitCode, valid ? 0 : 3) << path.toStdString() << " " << schema.toStdString();
            EXPECT_EQ(lint.output.contains(QStringLiteral(" validates")), valid) << lint.output.toStdString();
            EXPECT_EQ(ValidateAgainstSchema(doc.get(), home() + schema), valid) << schema.toStdString();
        }
    }
}

TEST_F(ExchangeDocsTest, PythonAndTheReaderReadRootsChildrenAndEscapedTextsBack)
{
    const auto written = WriteEveryDocument();
    const QJsonObject forecast = PythonTree(written[0].first);
    QStringList attributes;
    for (const auto& a : forecast[QStringLiteral("attrib")].toArray())
        attributes << a.toArray()[0].toString() + u'=' + a.toArray()[1].toString();
    EXPECT_EQ(attributes,
              QStringList({"to=5", "version=2.0.1.40", "from=7",
                           "{http://www.w3.org/2001/XMLSchema-instance}noNamespaceSchemaLocation=forecast.xsd",
                           "mail=a&b@x.ru", "subReceiverCount=3"}));
    EXPECT_TRUE(ReadFile(written[0].first).contains("?>\n<forecast xmlns:xsi=\"")) << "UTF-8 declaration";
    const QJsonObject row = Child(forecast, 0);
    EXPECT_EQ(ChildText(row, "sumlast"), "1234.5");
    EXPECT_EQ(ChildText(row, "valueNorm"), "-0.0001");
    EXPECT_EQ(ChildText(row, "base"), kRomashka);

    const QJsonObject nsi = PythonTree(written[1].first);
    EXPECT_EQ(ChildTags(nsi),
              QStringList({"receivers", "products", "prognozs", "old2NewIDMap", "documents", "measurements", "converts",
                           "pricies"}));
    EXPECT_EQ(ChildText(Child(Child(nsi, 0), 0), "name"), "Лютик") << "the sender first";
    EXPECT_EQ(ChildText(Child(Child(nsi, 0), 1), "name"), kRomashka);
    EXPECT_EQ(ChildTags(Child(nsi, 3)), QStringList({"prognoses", "products", "products", "receivers"}));
    EXPECT_EQ(ChildText(Child(Child(nsi, 4), 0), "content"), "JVBERi0xLjQgAAH/");
    EXPECT_FALSE(ChildTags(Child(Child(nsi, 4), 1)).contains("content")) << "no stored file, no content";

    const QJsonObject envelope = PythonTree(written[3].first);
    EXPECT_EQ(ChildTags(envelope), QStringList({"toName", "toEmail", "fromName", "fromEmail", "nameFile", "typeData"}));
    EXPECT_TRUE(Child(envelope, 1)[QStringLiteral("text")].toString().isEmpty());
    EXPECT_EQ(ChildText(envelope, "toName"), kRomashka);
    const QJsonObject info = PythonTree(written[4].first);
    EXPECT_TRUE(info[QStringLiteral("attrib")].toArray().isEmpty()) << "names no schema";
    EXPECT_EQ(ChildText(info, "message"), QStringLiteral("Текст\r\nсообщения"));

    const CExchangeDocument read(ParseExchangeFile(written[0].first));
    EXPECT_EQ(read.attribute("mail"), kMail);
    EXPECT_EQ(read.intAttribute("missing", -5), -5);
    EXPECT_EQ(read.children("PrognozData").size(), 2u) << "names compare without regard to case";
    const auto rows = ReadXmlSiblings<CForecastDataRecord>(read.child("prognozdata"), &ReadXml);
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0].base, kRomashka);
    // A stored document of 9 MB travels as one text node of 12 MB, over libxml2's default limit.
    const CDocumentationList big{{5, 3, QStringLiteral("Большой"), 0, QStringLiteral("big.bin"), {}}};
    WriteFile(MakeDocFileName(big[0]), QByteArray(9 << 20, 'z'));
    CNsiDocument documentsOnly;
    documentsOnly.documents = &big;
    const QString path = Save(BuildNsiDocument(documentsOnly), QStringLiteral("large.xml"));
    const CNsiFile large = ReadNsiFile(path, home() + QStringLiteral("lir.xsd"));
    ASSERT_TRUE(large.ok()) << large.message.toStdString();
    ASSERT_TRUE(large.documents.size() == 1 && large.documents[0].receivedContent);
    EXPECT_EQ(*large.documents[0].receivedContent, QByteArray(9 << 20, 'z'));
    QFile::remove(path);

    // The root's attributes of a streamed document read as the tree has them, an ampersand too.
    QString mail;
    const CStreamHandler rootOnly{[&](const CStreamRoot& root) { mail = root.attribute("mail"); },
                                  [](const char*, const char*) { return StreamStep::Skip; },
                                  {}};
    EXPECT_EQ(StreamExchangeFile(written[2].first, home() + QStringLiteral("comment.xsd"), rootOnly), QString());
    EXPECT_EQ(mail, kQuotedMail);
    const CExchangeRead tree = ReadExchangeDocument(written[2].first, QStringLiteral("comment.xsd"), {});
    ASSERT_TRUE(tree.ok()) << tree.message.toStdString();
    EXPECT_EQ(tree.document.attribute("mail"), kQuotedMail);
    const CCommentsFile whole = ReadCommentsFile(tree.document);
    const CCommentsFile streamedComments = ReadCommentsFile(written[2].first, home() + QStringLiteral("comment.xsd"));
    ASSERT_TRUE(whole.ok() && streamedComments.ok());
    ASSERT_EQ(streamedComments.rows.size(), 1u);
    EXPECT_EQ(streamedComments.rows[0].product, 41);
    EXPECT_EQ(streamedComments.rows[0].comment, QStringLiteral("Проверьте & <уточните>"));
    EXPECT_EQ(std::tie(whole.from, whole.forecast, whole.to),
              std::tie(streamedComments.from, streamedComments.forecast, streamedComments.to));
    EXPECT_EQ(whole.rows[0].comment, streamedComments.rows[0].comment);
}

TEST_F(ExchangeDocsTest, FileNamesAreValidAndFitTheFileSystem)
{
    const QString longName = QString(200, QChar(u'Ж'));
    const struct {
        QString text;
        QString expected; // empty: only the limits are checked
    } cases[] = {
        {QStringLiteral("ООО \"Ромашка\" <юг>/север_Прогноз 2026"),
         QStringLiteral("Прогноз_ООО__Ромашка___юг__север_Прогноз_2026.xml")},
        {QStringLiteral("a|b?c*d\te\x01"), QStringLiteral("Прогноз_a_b_c_d_e_.xml")},
        {QString(113, QChar(u'я')) + QString::fromUtf16(u"\U0001F600") + u'x', QString()},
        {longName + QStringLiteral("_Прогноз 2026"), QString()},
    };
    QString base;
    for (const auto& c : cases) {
        base = ExchangeFileBase(c.text);
        EXPECT_TRUE(c.expected.isEmpty() || ForecastFileName(base) == c.expected) << base.toStdString();
        EXPECT_FALSE(base.back().isHighSurrogate()) << "cut at a character boundary";
        for (const QString& name :
             {ForecastFileName(base), NsiFileName(base), CommentFileName(base), SendEnvelopeFileName(base)})
            EXPECT_LE(name.toUtf8().size(), kMaxFileNameBytes) << name.toStdString();
        // Left for a look from outside: the documents and send descriptions these names give.
        const QString document = Save(BuildForecastDocument({}, SampleTotals()), ForecastFileName(base));
        Save(BuildSendEnvelope({c.text, {}, {}, {}, document, ExchangeDataType::kForecast}),
             SendEnvelopeFileName(base));
    }
    EXPECT_GT(base.toUtf8().size(), 200);
    EXPECT_EQ(InfoEnvelopeFileName(7), "ИНФ_7_envelope.xml");
    EXPECT_FALSE(SaveExchangeDocument(BuildSendEnvelope({}).get(), home() + QStringLiteral("no/such/folder/x.xml")));

    QString folderPath;
    {
        CSendFolder folder;
        ASSERT_TRUE(folder.isValid());
        folderPath = folder.path();
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(folderPath).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_TRUE(folderPath.startsWith(GetTempFolder()));
        WriteFile(folder.filePath(QStringLiteral("Прогноз_x.xml")), "<x/>");
    }
    EXPECT_FALSE(QFileInfo::exists(folderPath)) << "removed with what it held";
}

TEST_F(ExchangeDocsTest, ReaderRefusesTheCatalogueWithItsMessages)
{
    const QString data = QStringLiteral(LIR_TEST_DATA_DIR "/exchange/");
    int entries = 0;
    for (const QString& line : QString::fromUtf8(ReadFile(data + QStringLiteral("catalogue.txt"))).split(u'\n')) {
        const QStringList fields = line.split(u'\t');
        if (line.startsWith(u'#') || fields.size() != 3)
            continue;
        const QString path = home() + fields[0];
        ASSERT_TRUE(QFile::copy(data + fields[0], path));
        const QString expected = QString(fields[2]).replace(QStringLiteral("\\n"), QStringLiteral("\n")).arg(path);
        // The streaming reader of received documents refuses them with these messages, as the one of
        // whole trees does.
        const CExchangeRead read = ReadExchangeDocument(path, fields[1], {});
        EXPECT_EQ(read.status, CExchangeRead::Refused) << fields[0].toStdString();
        EXPECT_TRUE(expected.endsWith(u'\n') ? read.message.startsWith(expected) : read.message == expected)
            << read.message.toStdString();
        const CStreamHandler skipAll{{}, [](const char*, const char*) { return StreamStep::Skip; }, {}};
        const QString streamed = StreamExchangeFile(path, FindSchemaFile(fields[1], {}), skipAll);
        // A message ending in a line end goes on with the parser's own.
        EXPECT_TRUE(expected.endsWith(u'\n') ? streamed.startsWith(expected) && streamed.size() > expected.size()
                                             : streamed == expected)
            << fields[0].toStdString() << ": " << streamed.toStdString();
        EXPECT_FALSE(streamed.contains(QStringLiteral("SECRET"))) << "an outside entity is never read";
        ++entries;
    }
    EXPECT_EQ(entries, 10);
    EXPECT_EQ(ExchangeTexts::kVersionMismatch.toUtf8().at(0), 0x43) << "a Latin C";

    REQUIRE_XMLLINT();
    for (const char* sample :
         {"swapped-children.xml", "envelope-without-toEmail.xml", "forecast-with-measurements.xml"}) {
        const XmlDocPtr doc = ParseExchangeFile(data + QLatin1String(sample));
        ASSERT_TRUE(doc) << sample;
        for (const QString& schema : QDir(home()).entryList({QStringLiteral("*.xsd")})) {
            EXPECT_EQ(Xmllint(home() + schema, data + QLatin1String(sample)).exitCode, 3)
                << sample << schema.toStdString();
            EXPECT_FALSE(ValidateAgainstSchema(doc.get(), home() + schema)) << sample << schema.toStdString();
        }
    }
}

TEST_F(ExchangeDocsTest, NothingOutsideTheDocumentIsFetched)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(listener.serverPort());
    const QString document = home() + QStringLiteral("remote.xml");
    WriteFile(document,
              QStringLiteral("<!DOCTYPE forecast SYSTEM \"%1dtd\" [<!ENTITY remote SYSTEM \"%1entity\">]>\n"
                             "<forecast version=\"2.0.1.40\">&remote;</forecast>\n")
                  .arg(url)
                  .toUtf8());
    const CStreamHandler skipAll{{}, [](const char*, const char*) { return StreamStep::Skip; }, {}};
    EXPECT_EQ(StreamExchangeFile(document, home() + QStringLiteral("forecast.xsd"), skipAll),
              ExchangeTexts::kReadFailed.arg(document, kXmlDoctypeRefused));
    // A schema the user picks cannot pull anything from the network either.
    const QString schema = home() + QStringLiteral("picked.xsd");
    WriteFile(schema,
              QStringLiteral("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                             "<xs:include schemaLocation=\"%1include.xsd\"/></xs:schema>")
                  .arg(url)
                  .toUtf8());
    const XmlDocPtr valid = ParseExchangeFile(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/old-version.xml"));
    EXPECT_FALSE(ValidateAgainstSchema(valid.get(), schema));
    EXPECT_FALSE(listener.waitForNewConnection(100));
}

TEST_F(ExchangeDocsTest, MissingSchemaIsAskedForUntilAFileOrACancel)
{
    QFile::remove(home() + QStringLiteral("forecast.xsd"));
    const QString elsewhere = home() + QStringLiteral("elsewhere.xsd");
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/forecast.xsd"), elsewhere));
    const QString nothing = home() + QStringLiteral("nothing.xsd");
    const struct {
        QStringList answers;
        QString found;
    } cases[] = {{{QString()}, QString()}, {{nothing, elsewhere}, elsewhere}, {{nothing, QString()}, QString()}};
    for (const auto& c : cases) {
        int asked = 0;
        EXPECT_EQ(FindSchemaFile(QStringLiteral("forecast.xsd"), [&] { return c.answers.value(asked++); }), c.found);
        EXPECT_EQ(asked, c.answers.size());
    }
}

// A document's content arrives in many pieces of the parser's and is decoded as they come; the schema
// judges it as xmllint does and the reader of whole trees reads the same bytes.
TEST_F(ExchangeDocsTest, ContentIsJudgedAsTheSchemaJudgesItAndReadByteExact)
{
    REQUIRE_XMLLINT();
    QByteArray source(768 << 10, '\0');
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char((i * 7919) >> 3);
    const QByteArray text = source.toBase64(); // 1 MiB, no padding
    const qsizetype half = text.size() / 2;
    QByteArray lines;
    for (qsizetype i = 0; i < text.size(); i += 76)
        lines += text.mid(i, 76) + "\r\n";
    enum Verdict { Valid = 0, Unreadable = 1, Invalid = 3 }; // xmllint's exit codes
    const struct {
        const char* what;
        QByteArray content;
        Verdict verdict;
        QByteArray bytes; // of a valid one, when known
    } cases[] = {
        {"one line", text, Valid, source},
        {"lines", lines, Valid, source},
        {"a comment, a CDATA section and a character reference inside",
         text.left(100) + "<!-- x -->" + text.mid(100, 300) + "<![CDATA[" + text.mid(400, half - 400) + "]]>&#"
             + QByteArray::number(int(text[half])) + ';' + text.mid(half + 1),
         Valid, source},
        {"padding", (source + "xy").toBase64(), Valid, source + "xy"},
        {"a character outside the alphabet, which the type passes by", text.left(half) + "!" + text.mid(half), Valid,
         source},
        {"an incomplete last group", text.chopped(1), Invalid, {}},
        {"letters after the padding", text.left(half) + "=" + text.mid(half), Invalid, {}},
        {"padding after a complete group", text + "=", Invalid, {}},
        {"padding bits set", text + "QR==", Invalid, {}},
        {"three pads", text + "Q===", Invalid, {}},
        {"a character no XML holds", text.left(half) + "\x01" + text.mid(half), Unreadable, {}},
        {"empty", QByteArray(), Valid, QByteArray()},
    };
    const QString schema = home() + QStringLiteral("lir.xsd");
    const QString path = home() + QStringLiteral("content.xml");
    for (const auto& c : cases) {
        WriteFile(path,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><forecast version=\"" + GetFileVersionString().toUtf8()
                      + "\" id=\"7\" from=\"1\" to=\"2\" mail=\"a@x.ru\"><documents><document><id>1</id>"
                        "<prognoz>7</prognoz><name>Справка</name><position>0</position><filename>a.bin"
                        "</filename><content>"
                      + c.content + "</content></document></documents></forecast>");
        EXPECT_EQ(Xmllint(schema, path).exitCode, int(c.verdict)) << c.what;
        const CExchangeRead tree = ReadExchangeDocument(path, QStringLiteral("lir.xsd"), {});
        const CNsiFile streamed = ReadNsiFile(path, schema);
        if (c.verdict == Unreadable) {
            EXPECT_TRUE(tree.message.startsWith(ExchangeTexts::kReadFailed.arg(path, QString()))) << c.what;
            EXPECT_TRUE(streamed.message.startsWith(ExchangeTexts::kReadFailed.arg(path, QString()))) << c.what;
            continue;
        }
        EXPECT_EQ(streamed.message, tree.message) << c.what;
        EXPECT_EQ(streamed.message, c.verdict == Valid ? QString() : ExchangeTexts::kValidationFailed) << c.what;
        if (c.verdict != Valid || !tree.ok() || !streamed.ok())
            continue;
        const auto whole = ReadXmlList<CDocumentationRecord>(tree.document.child(XmlNames::kDocuments));
        ASSERT_TRUE(whole && whole->size() == 1 && (*whole)[0].receivedContent) << c.what;
        ASSERT_TRUE(streamed.documents.size() == 1 && streamed.documents[0].receivedContent) << c.what;
        EXPECT_EQ(*streamed.documents[0].receivedContent, *(*whole)[0].receivedContent) << c.what;
        EXPECT_EQ(*streamed.documents[0].receivedContent, c.bytes) << c.what;
    }
}
