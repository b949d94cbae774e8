// The exchange documents as the writers produce them, judged by xmllint against the shipped
// schemas and by Python's xml.etree; their file names; the reader's refusals.
#include "ExchangeTestSupport.h"

#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ExchangeReader.h"
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>

namespace {

const QString kRomashka = QStringLiteral("Ромашка & <Ко>");
// Attribute values keep quotes as well.
const QString kQuotedMail = QStringLiteral("\"Ко\" <a&b@x.ru>");
const QString kMail = QStringLiteral("a&b@x.ru");

class ExchangeDocsTest : public TempHomeTest {
public:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        CopySchemas(home());
        out = TestOutFolder(QStringLiteral("exchange_docs"));
    }

    QString Save(const XmlDocPtr& doc, const QString& name)
    {
        const QString path = out + name;
        EXPECT_TRUE(doc);
        EXPECT_TRUE(SaveExchangeDocument(doc.get(), path)) << name.toStdString();
        return path;
    }

    QString out;
};

struct Written {
    QString path;
    const char* schema;
};

// Every kind of document, with texts that need escaping and the reference data's optional parts.
std::vector<Written> WriteEveryDocument(ExchangeDocsTest& test, const QString& home)
{
    const QString base = ExchangeFileBase(QStringLiteral("Ромашка_Прогноз 2026"));
    std::vector<Written> written;

    // Numbers stay locale-free whatever the process runs under.
    const char* saved = std::setlocale(LC_ALL, nullptr);
    const std::string previous = saved ? saved : "C";
    std::setlocale(LC_ALL, "ru_RU.UTF-8");
    CForecastHeader forecast{5, 7, kMail, 3};
    written.push_back(
        {test.Save(BuildForecastDocument(forecast, SampleTotals(kRomashka)), ForecastFileName(base)), "forecast.xsd"});
    std::setlocale(LC_ALL, previous.c_str());

    CReceiverRecord sender;
    sender.id = 7;
    sender.name = QStringLiteral("Лютик");
    sender.email = QStringLiteral("l@x.ru");
    CReceiverRecord receiver;
    receiver.id = 5;
    receiver.importedId = 5;
    receiver.name = kRomashka;
    receiver.email = kMail;
    const CReceiverList receivers{sender, receiver};
    CProductRecord group;
    group.id = 40;
    group.prognoz = 3;
    group.parent = 0;
    group.isgroup = 1;
    group.name = QStringLiteral("Топливо & энергия");
    group.offsetMin = 0.5;
    group.priceIdx = 1.07;
    CProductRecord coal = group;
    coal.id = 41;
    coal.parent = 40;
    coal.isgroup = 0;
    coal.code = QStringLiteral("<01>");
    const CProductList products{group, coal};
    const CForecastList forecasts{{3, QStringLiteral("Прогноз 2026"), 2026, -20, QStringLiteral("Лютик"), 1}};
    const CIdMaps maps{{{1, 3}}, {{10, 40}, {11, 41}}, {{2, 5}}};
    QDir().mkpath(home + QStringLiteral("docs"));
    CDocumentationRecord stored{1, 3, QStringLiteral("Приказ"), 0, QStringLiteral("приказ.pdf"), std::nullopt};
    WriteFile(MakeDocFileName(stored), QByteArray("%PDF-1.4 \x00\x01\xff", 12));
    CDocumentationRecord missing{2, 3, QStringLiteral("Без файла"), 2, QStringLiteral("нет.doc"), std::nullopt};
    const CDocumentationList documents{stored, missing};
    const CMeasurementList units{{1, QStringLiteral("тонна"), QStringLiteral("168"), QStringLiteral("т"), 1}};
    const CMConvertList converts{{1, 1, 2, 1000.0}};
    CPriceRecord price{1, 3, 41, Money::fromXmlText(u"1500.25"), Money::fromXmlText(u"1600"), Money()};
    const CPriceList prices{price};
    CNsiDocument nsi{3, 7, 5, kMail, &receivers, &products, &forecasts, &maps, &documents, &units, &converts, &prices};
    written.push_back({test.Save(BuildNsiDocument(nsi), NsiFileName(base)), "lir.xsd"});

    CForecastDataRecord commented;
    commented.id = 11;
    commented.product = 41;
    commented.comment = QStringLiteral("Проверьте & <уточните>");
    written.push_back(
        {test.Save(BuildCommentDocument({7, 3, 5, kQuotedMail}, {commented}), CommentFileName(base)), "comment.xsd"});

    const CSendEnvelope envelope{kRomashka,
                                 QString(),
                                 QStringLiteral("Лютик"),
                                 QStringLiteral("l@x.ru"),
                                 test.out + ForecastFileName(base),
                                 ExchangeDataType::kForecast};
    written.push_back({test.Save(BuildSendEnvelope(envelope), SendEnvelopeFileName(base)), "forecastEnvelope.xsd"});

    const CInfoEnvelope info{kRomashka,
                             kMail,
                             QStringLiteral("Лютик"),
                             QStringLiteral("l@x.ru"),
                             QStringLiteral("Текст\r\nсообщения"),
                             QStringLiteral("Тема")};
    written.push_back({test.Save(BuildInfoEnvelope(info), InfoEnvelopeFileName(7)), "infoEnvelope.xsd"});
    return written;
}

QJsonObject Child(const QJsonObject& element, int index)
{
    return element[QStringLiteral("children")].toArray()[index].toObject();
}

} // namespace

TEST_F(ExchangeDocsTest, WrittenDocumentsPassTheirSchemasAndNoOther)
{
    REQUIRE_XMLLINT();
    const std::vector<Written> written = WriteEveryDocument(*this, home());
    for (const Written& w : written) {
        const QString schema = home() + QLatin1String(w.schema);
        const PeerRun lint = Xmllint(schema, w.path);
        EXPECT_EQ(lint.exitCode, 0) << lint.output.toStdString();
        EXPECT_TRUE(lint.output.contains(QStringLiteral("validates")));
        const XmlDocPtr doc = ParseExchangeFile(w.path);
        EXPECT_TRUE(doc && ValidateAgainstSchema(doc.get(), schema)) << w.path.toStdString();
    }
    // Each kind refused by another's schema, by xmllint and libxml2 alike.
    const struct {
        int document;
        const char* schema;
    } crossed[] = {
        {1, "forecast.xsd"}, {2, "forecast.xsd"}, {0, "lir.xsd"}, {0, "comment.xsd"}, {3, "infoEnvelope.xsd"}};
    for (const auto& c : crossed) {
        const QString schema = home() + QLatin1String(c.schema);
        EXPECT_EQ(Xmllint(schema, written[c.document].path).exitCode, 3) << c.schema;
        const XmlDocPtr doc = ParseExchangeFile(written[c.document].path);
        EXPECT_FALSE(ValidateAgainstSchema(doc.get(), schema)) << c.schema;
    }
}

TEST_F(ExchangeDocsTest, PythonReadsRootsChildrenAndEscapedTextsBack)
{
    const std::vector<Written> written = WriteEveryDocument(*this, home());

    const QJsonObject forecast = PythonTree(written[0].path);
    QStringList names;
    for (const auto& a : forecast[QStringLiteral("attrib")].toArray())
        names << a.toArray()[0].toString();
    EXPECT_EQ(
        names,
        QStringList({"to", "version", "from", "{http://www.w3.org/2001/XMLSchema-instance}noNamespaceSchemaLocation",
                     "mail", "subReceiverCount"}));
    const QByteArray bytes = ReadFile(written[0].path);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<forecast"));
    EXPECT_TRUE(bytes.contains("version=\"2.0.1.40\"") && bytes.contains("mail=\"a&amp;b@x.ru\""));
    EXPECT_TRUE(bytes.contains("\n  <prognozdata>\n    <id>11</id>")) << "indented";
    const QJsonObject row = Child(forecast, 0);
    EXPECT_EQ(ChildText(row, "sumlast"), "1234.5");
    EXPECT_EQ(ChildText(row, "valueNorm"), "-0.0001");
    EXPECT_EQ(ChildText(row, "base"), kRomashka);
    EXPECT_EQ(ChildTags(row).size(), 22);

    const QJsonObject nsi = PythonTree(written[1].path);
    EXPECT_EQ(ChildTags(nsi),
              QStringList({"receivers", "products", "prognozs", "old2NewIDMap", "documents", "measurements", "converts",
                           "pricies"}));
    const QJsonObject receivers = Child(nsi, 0);
    EXPECT_EQ(ChildText(Child(receivers, 0), "name"), "Лютик");
    EXPECT_EQ(ChildText(Child(receivers, 1), "name"), kRomashka);
    EXPECT_EQ(ChildTags(Child(nsi, 3)), QStringList({"prognoses", "products", "products", "receivers"}));
    const QJsonObject documents = Child(nsi, 4);
    EXPECT_EQ(ChildText(Child(documents, 0), "content"), "JVBERi0xLjQgAAH/");
    EXPECT_FALSE(ChildTags(Child(documents, 1)).contains("content"));

    const QJsonObject envelope = PythonTree(written[3].path);
    EXPECT_EQ(ChildTags(envelope), QStringList({"toName", "toEmail", "fromName", "fromEmail", "nameFile", "typeData"}));
    EXPECT_TRUE(Child(envelope, 1)[QStringLiteral("text")].toString().isEmpty());
    EXPECT_EQ(ChildText(envelope, "toName"), kRomashka);

    const QJsonObject info = PythonTree(written[4].path);
    EXPECT_EQ(info[QStringLiteral("tag")].toString(), "infoEnvelope");
    EXPECT_TRUE(info[QStringLiteral("attrib")].toArray().isEmpty()) << "names no schema";
    EXPECT_EQ(ChildTags(info),
              QStringList({"toName", "toEmail", "fromName", "fromEmail", "message", "subject", "typeData"}));
    EXPECT_EQ(ChildText(info, "typeData"), "ИНФОРМАЦИЯ");
    EXPECT_EQ(ChildText(info, "message"), QStringLiteral("Текст\r\nсообщения")) << "line ends survive";

    // The shared reader takes the same texts back.
    const CExchangeRead read = ReadExchangeDocument(written[0].path, QStringLiteral("forecast.xsd"), {});
    ASSERT_TRUE(read.ok()) << read.message.toStdString();
    EXPECT_EQ(read.document.attribute("mail"), kMail);
    EXPECT_EQ(read.document.intAttribute("subReceiverCount"), 3);
    EXPECT_EQ(read.document.intAttribute("missing", -5), -5);
    EXPECT_EQ(read.document.children("PrognozData").size(), 2u) << "names compare without regard to case";
    const auto rows =
        ReadXmlSiblings<CForecastDataRecord>(read.document.child("prognozdata"), &ReadXml<CForecastDataRecord>);
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0].base, kRomashka);
    EXPECT_EQ((*rows)[0].sumLast.toXmlText(), "1234.5");
    const CExchangeRead comment = ReadExchangeDocument(written[2].path, QStringLiteral("comment.xsd"), {});
    ASSERT_TRUE(comment.ok()) << comment.message.toStdString();
    EXPECT_EQ(comment.document.attribute("mail"), kQuotedMail);
    EXPECT_EQ(comment.document.intAttribute("forecast"), 3);
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
        {longName + QStringLiteral("_Прогноз 2026"), QString()},
        {QString(113, QChar(u'я')) + QString::fromUtf16(u"\U0001F600") + QString(80, QChar(u'x')), QString()},
    };
    for (const auto& c : cases) {
        const QString base = ExchangeFileBase(c.text);
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(ForecastFileName(base), c.expected);
            Save(BuildForecastDocument({}, SampleTotals()), ForecastFileName(base));
        }
        EXPECT_TRUE(base.isEmpty() || !base.back().isHighSurrogate()) << "cut at a character boundary";
        for (const QString& name :
             {ForecastFileName(base), NsiFileName(base), CommentFileName(base), SendEnvelopeFileName(base)})
            EXPECT_LE(name.toUtf8().size(), kMaxFileNameBytes) << name.toStdString();
    }
    // A long organisation name still gives a document and a send description, side by side.
    const QString base = ExchangeFileBase(longName + QStringLiteral("_Прогноз 2026"));
    EXPECT_GT(base.toUtf8().size(), 200);
    const QString document = Save(BuildForecastDocument({}, SampleTotals()), ForecastFileName(base));
    const QString envelope = Save(BuildSendEnvelope({longName, {}, {}, {}, document, ExchangeDataType::kForecast}),
                                  SendEnvelopeFileName(base));
    EXPECT_TRUE(QFile::exists(document) && QFile::exists(envelope));
    EXPECT_EQ(InfoEnvelopeFileName(7), "ИНФ_7_envelope.xml");

    // A file that cannot be written is reported, and nothing is left behind.
    EXPECT_FALSE(SaveExchangeDocument(BuildSendEnvelope({}).get(), home() + QStringLiteral("no/such/folder/x.xml")));
    EXPECT_FALSE(SaveExchangeDocument(nullptr, home() + QStringLiteral("none.xml")));
    EXPECT_FALSE(QFile::exists(home() + QStringLiteral("none.xml")));

    // The private folder of the documents that wait to be sent.
    QString folderPath;
    {
        CSendFolder folder;
        ASSERT_TRUE(folder.isValid());
        folderPath = folder.path();
        EXPECT_TRUE(folderPath.startsWith(GetTempFolder()));
        struct stat st { };
        ASSERT_EQ(::stat(QFile::encodeName(folderPath).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        WriteFile(folder.filePath(QStringLiteral("Прогноз_x.xml")), "<x/>");
    }
    EXPECT_FALSE(QFileInfo::exists(folderPath)) << "removed with what it held";
}

TEST_F(ExchangeDocsTest, ReaderRefusesTheCatalogueWithItsMessages)
{
    QFile catalogue(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/catalogue.txt"));
    ASSERT_TRUE(catalogue.open(QIODevice::ReadOnly));
    int entries = 0;
    for (const QString& line : QString::fromUtf8(catalogue.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        const QString path = home() + fields[0];
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/") + fields[0], path));
        const QString expected = QString(fields[2]).replace(QStringLiteral("\\n"), QStringLiteral("\n")).arg(path);
        const CExchangeRead read = ReadExchangeDocument(path, fields[1], {});
        EXPECT_EQ(read.status, CExchangeRead::Refused) << fields[0].toStdString();
        if (expected.endsWith(u'\n')) {
            EXPECT_TRUE(read.message.startsWith(expected)) << read.message.toStdString();
            EXPECT_GT(read.message.size(), expected.size() + 5) << "the parser's message follows";
        } else {
            EXPECT_EQ(read.message, expected) << fields[0].toStdString();
        }
        EXPECT_FALSE(read.message.contains(QStringLiteral("SECRET"))) << "an outside entity is never read";
        ++entries;
    }
    EXPECT_GE(entries, 5);
    EXPECT_EQ(ExchangeTexts::kVersionMismatch.toUtf8().at(0), 0x43) << "a Latin C";

    // Damaged samples, refused by every schema, xmllint and libxml2 alike.
    REQUIRE_XMLLINT();
    for (const char* sample :
         {"swapped-children.xml", "envelope-without-toEmail.xml", "forecast-with-measurements.xml"}) {
        const QString path = QStringLiteral(LIR_TEST_DATA_DIR "/exchange/") + QLatin1String(sample);
        const XmlDocPtr doc = ParseExchangeFile(path);
        ASSERT_TRUE(doc) << sample;
        for (const QString& schema : QDir(home()).entryList({QStringLiteral("*.xsd")})) {
            EXPECT_EQ(Xmllint(home() + schema, path).exitCode, 3) << sample << " " << schema.toStdString();
            EXPECT_FALSE(ValidateAgainstSchema(doc.get(), home() + schema)) << sample << " " << schema.toStdString();
        }
    }
}

namespace {

// A TCP listener on loopback that counts whoever knocks.
class Listener {
public:
    Listener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(m_fd, 8) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(m_fd); }
    int port() const { return m_port; }
    bool knocked() const
    {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, 100) > 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

TEST_F(ExchangeDocsTest, NothingOutsideTheDocumentIsFetched)
{
    Listener listener;
    ASSERT_GT(listener.port(), 0);
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(listener.port());
    const QString document = home() + QStringLiteral("remote.xml");
    WriteFile(document,
              QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE forecast SYSTEM \"%1dtd\" [\n"
                             "<!ENTITY remote SYSTEM \"%1entity\">\n]>\n"
                             "<forecast version=\"2.0.1.40\">&remote;</forecast>\n")
                  .arg(url)
                  .toUtf8());
    const CExchangeRead read = ReadExchangeDocument(document, QStringLiteral("forecast.xsd"), {});
    EXPECT_EQ(read.message, ExchangeTexts::kReadFailed.arg(document, ExchangeTexts::kDoctypeRefused));

    // A schema the user picks cannot pull anything from the network either.
    const QString schema = home() + QStringLiteral("picked.xsd");
    WriteFile(schema,
              QStringLiteral("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
                             "<xs:include schemaLocation=\"%1include.xsd\"/>\n</xs:schema>\n")
                  .arg(url)
                  .toUtf8());
    const XmlDocPtr valid = ParseExchangeFile(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/old-version.xml"));
    ASSERT_TRUE(valid);
    EXPECT_FALSE(ValidateAgainstSchema(valid.get(), schema));
    EXPECT_FALSE(listener.knocked());
}

TEST_F(ExchangeDocsTest, MissingSchemaIsAskedForUntilAFileOrACancel)
{
    QFile::remove(home() + QStringLiteral("forecast.xsd"));
    const QString elsewhere = home() + QStringLiteral("elsewhere.xsd");
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/forecast.xsd"), elsewhere));
    const struct {
        QStringList answers;
        QString found;
    } cases[] = {
        {{QString()}, QString()},
        {{home() + QStringLiteral("nothing.xsd"), elsewhere}, elsewhere},
        {{home() + QStringLiteral("nothing.xsd"), QString()}, QString()},
    };
    for (const auto& c : cases) {
        int asked = 0;
        const QString found = FindSchemaFile(QStringLiteral("forecast.xsd"), [&] { return c.answers.value(asked++); });
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(asked, c.answers.size());
    }
    const CExchangeRead cancelled = ReadExchangeDocument(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/truncated.xml"),
                                                         "forecast.xsd", [] { return QString(); });
    EXPECT_EQ(cancelled.status, CExchangeRead::Cancelled);
    EXPECT_TRUE(cancelled.message.isEmpty());
}
