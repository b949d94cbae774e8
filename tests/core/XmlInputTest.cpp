// Received documents and texts as a hostile sender would make them.
#include "TestSupport.h"
#include "TextUtils.h"
#include "tables/Products.h"
#include "xml/XmlRecord.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <ctime>
#include <vector>

namespace {

// Entities that grow a hundredfold at each of three levels.
QByteArray EntityLayers()
{
    return "<!ENTITY a \"" + QByteArray(100, 'x') + "\">" + "<!ENTITY b \"" + QByteArray("&a;").repeated(100) + "\">"
        + "<!ENTITY c \"" + QByteArray("&b;").repeated(100) + "\">";
}

} // namespace

class XmlInputTest : public TempHomeTest { };

TEST_F(XmlInputTest, DocumentsOfATypeOrCostlyShapeAreRefusedByEveryReaderBeforeAnythingIsRead)
{
    // 16 KB of products whose name expands to gigabytes, and 40 KB whose root version does.
    QByteArray products =
        "<?xml version=\"1.0\"?><!DOCTYPE products [" + EntityLayers() + "]><products><product><name>";
    while (products.size() < 16 * 1024 - 40)
        products += "&c;";
    products += "</name></product></products>";
    QByteArray version = "<!DOCTYPE forecast [" + EntityLayers() + "]><forecast version=\"";
    while (version.size() < 40 * 1024 - 20)
        version += "&c;";
    version += "\"/>";
    // What would cost libxml2 more than linear time, or what no document of the system is in.
    QByteArray attributes = "<?xml version=\"1.0\"?><forecast version=\"2.0.1.40\"";
    for (int i = 0; i < 100000; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"1\"";
    attributes += "/>";
    const QByteArray deep = QByteArray("<g>").repeated(100000) + QByteArray("</g>").repeated(100000);
    const struct {
        const char* what;
        QByteArray bytes;
        QString message = kXmlDoctypeRefused;
    } cases[] = {
        {"products with an entity bomb", products},
        {"version attribute with an entity bomb", version},
        {"a bare document type", "<!DOCTYPE products><products/>"},
        {"an outside document type",
         "<!DOCTYPE forecast SYSTEM \"http://127.0.0.1:9/x.dtd\"><forecast version=\"2.0.1.40\"/>"},
        {"100,000 attributes on one element", attributes, kXmlTooManyAttributes.arg(kXmlMostAttributes)},
        {"100,000 nested elements", deep, kXmlTooDeep.arg(kXmlMostDepth)},
        {"UTF-7 with bytes after the root", "<?xml version=\"1.0\" encoding=\"UTF-7\"?><forecast/>+ADw-x+AD4-",
         kXmlEncodingRefused},
        {"windows-1251", "<?xml version='1.0' encoding='windows-1251'?><a>\xcf\xf0</a>", kXmlEncodingRefused},
        {"UTF-16 with its byte order mark", QByteArray("\xff\xfe<\0a\0/\0>\0", 10), kXmlEncodingRefused},
        {"UTF-16 without one", QByteArray("<\0a\0/\0>\0", 8), kXmlEncodingRefused},
    };
    const long rssBefore = StatusKiB("VmRSS:");
    for (const auto& c : cases) {
        const QString path = home() + "in.xml";
        WriteFile(path, c.bytes);
        QElapsedTimer timer;
        timer.start();
        QString error, inMemory;
        EXPECT_FALSE(XmlParseFile(path, &error)) << c.what;
        EXPECT_FALSE(XmlParseMemory(c.bytes, &inMemory)) << c.what;
        EXPECT_FALSE(CheckXmlFileVersion(path)) << c.what;
        EXPECT_FALSE(XmlIsWellFormedFile(QFile::encodeName(path).constData())) << c.what;
        EXPECT_LT(timer.elapsed(), 100) << c.what;
        EXPECT_EQ(error, c.message) << c.what;
        EXPECT_EQ(inMemory, c.message) << c.what;
        RecordProperty(std::string(c.what) + " ms", int(timer.elapsed()));
    }
    const long grown = StatusKiB("VmHWM:") - rssBefore;
    if (kCostJudged) {
        EXPECT_LT(grown, 50 * 1024);
    }
    RecordProperty("peak growth KiB", int(grown));

    // Without a document type an entity is undeclared: not well-formed.
    QString error;
    EXPECT_FALSE(XmlParseMemory("<products><product><name>&c;</name></product></products>", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(XmlParseMemory("<products><product><name>A &amp; B &#x416;</name></product></products>"));
    SkipWhereCostIsNotJudged();
}

TEST_F(XmlInputTest, UpToTheLimitsAndWhereNoTagCanBeTheGuardTakesEverything)
{
    // Up to the limits, and what only looks like markup where no tag can be, is read.
    QByteArray most = "<a";
    for (int i = 0; i < kXmlMostAttributes; ++i)
        most += " a" + QByteArray::number(i) + (i % 2 ? "=\"'/>\"" : "='\">'");
    most += "><!-- <b c='1' d=\"2\"/> --><![CDATA[<x y='1'>]]><?pi <z w='1'>?>";
    for (int i = 0; i < 1000; ++i)
        most += " a" + QByteArray::number(i) + "=\"1\"";
    most += "</a>";
    const QByteArray accepted[] = {
        most,
        QByteArray("<g>").repeated(kXmlMostDepth) + QByteArray("</g>").repeated(kXmlMostDepth),
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Utf-8\"?><a>\xd0\x96</a>",
        "<?xml version='1.0' encoding='US-ASCII' standalone='yes'?><a/>",
    };
    for (const QByteArray& bytes : accepted) {
        const QString path = home() + "in.xml";
        WriteFile(path, bytes);
        QString error;
        EXPECT_TRUE(XmlParseFile(path, &error)) << error.toStdString() << " " << bytes.left(60).toStdString();
        EXPECT_TRUE(XmlParseMemory(bytes)) << bytes.left(60).toStdString();
        EXPECT_TRUE(XmlIsWellFormedFile(QFile::encodeName(path).constData())) << bytes.left(60).toStdString();
    }
}

namespace {

// The time this thread has run, in seconds: the machine's load does not count.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Counts the text a streamed read hands over.
struct CTextCount : CXmlStreamEvents {
    bool WantsText() const override { return true; }
    bool Text(xmlChar*&, std::size_t length) override
    {
        bytes += length;
        return true;
    }
    std::size_t bytes = 0;
};

} // namespace

TEST_F(XmlInputTest, LongTextIsReadAndValidatedInLinearTime)
{
    const QString schema = home() + "text.xsd";
    WriteFile(
        schema,
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"d\"><xs:complexType>"
        "<xs:sequence><xs:element name=\"b\" type=\"xs:base64Binary\"/><xs:element name=\"s\" type=\"xs:string\"/>"
        "</xs:sequence></xs:complexType></xs:element></xs:schema>");
    // One base64 text node, and a text that the parser hands over a character at a time: character
    // references and comments between its characters.
    const auto read = [&](int mb) {
        QByteArray xml = "<d><b>" + QByteArray(mb << 20, 'A') + "</b><s>";
        xml += QByteArray("x&#13;<!---->").repeated((mb << 20) / 12) + "</s></d>";
        WriteFile(home() + "long.xml", xml);
        CTextCount text;
        const double start = ThreadSeconds();
        const CXmlReadResult result = XmlStreamFile(QFile::encodeName(home() + "long.xml").constData(),
                                                    QFile::encodeName(schema).constData(), text);
        const double seconds = ThreadSeconds() - start;
        EXPECT_EQ(result.status, CXmlReadResult::Read) << result.message;
        EXPECT_FALSE(result.invalid) << mb;
        EXPECT_EQ(text.bytes, std::size_t(mb << 20) + std::size_t((mb << 20) / 12) * 2) << mb;
        return seconds;
    };
    const double small = std::max(read(1), 0.001);
    const double large = read(8);
    RecordProperty("1 MB ms", int(small * 1000));
    RecordProperty("8 MB ms", int(large * 1000));
    EXPECT_LT(large, 3.0);
    EXPECT_LT(large / small, 20.0) << "eight times the text, " << large / small << " times the time";

    // Once the program is asked to end, a read ends at its next few kilobytes.
    const std::atomic<bool> ending{true};
    XmlSetAbortFlag(&ending);
    CTextCount text;
    const CXmlReadResult aborted =
        XmlStreamFile(QFile::encodeName(home() + "long.xml").constData(), QFile::encodeName(schema).constData(), text);
    XmlSetAbortFlag(nullptr);
    EXPECT_EQ(aborted.status, CXmlReadResult::Aborted);
    EXPECT_LT(text.bytes, 64u * 1024);
}

TEST(XmlFields, NumbersAreReadAsTheCLibraryReadsThemAndSixDecimalsMustFit)
{
    const std::pair<const char*, int> ints[] = {
        {"+-5", 0}, {"-+5", 0}, {"+5", 5}, {" -12x", -12}, {"", 0}, {"x1", 0}, {"99999999999", INT_MAX}};
    for (const auto& [text, expected] : ints) {
        EXPECT_EQ(XmlToInt(QString::fromLatin1(text)), expected) << text;
        EXPECT_EQ(XmlUtf8ToInt(text), expected) << text;
    }

    // Text that is no number reads 0, as atof reads it; what is not finite or beyond decimal(20,6)
    // is refused.
    const std::pair<std::string, std::optional<double>> decimals[] = {
        {"12.5", 12.5},
        {"abc", 0.0},
        {"+-1", 0.0},
        {"1e-999", 0.0},
        {"0." + std::string(400, '0') + "1", 0.0},
        {"-7.25x", -7.25},
        {"99999999999999.5", 99999999999999.5},
        {"nan", std::nullopt},
        {"-inf", std::nullopt},
        {"infinity", std::nullopt},
        {"1e999", std::nullopt},
        {"1" + std::string(400, '0'), std::nullopt},
        {"1e14", std::nullopt},
    };
    for (const auto& [text, expected] : decimals) {
        EXPECT_EQ(XmlToDecimal6(QString::fromStdString(text)), expected) << text.substr(0, 20);
        EXPECT_EQ(XmlUtf8ToDecimal6(text), expected) << text.substr(0, 20);
    }
    // Read from the document's bytes, any text reads as its characters read: blanks beyond ASCII, a
    // letter of another alphabet, money of any length.
    for (const std::string& text :
         std::vector<std::string>{"\u00A0 7.5\u2003", "\u00A0-12", " 3\u0416", "\u0661", "\t1.25\n", "-0.0001",
                                  std::string(80, '0') + "922337203685477.5807", "922337203685477.5808", "1.5x"}) {
        const QString chars = QString::fromStdString(text);
        EXPECT_EQ(XmlUtf8ToInt(text), XmlToInt(chars)) << text;
        EXPECT_EQ(XmlUtf8ToDecimal6(text), XmlToDecimal6(chars)) << text;
        EXPECT_EQ(XmlUtf8ToMoney(text), XmlToMoney(chars)) << text;
    }

    // A product list with such a number is refused whole, with the field named.
    for (const char* bad : {"nan", "1e999"}) {
        const XmlDocPtr doc = XmlParseMemory(QByteArray("<products><product><avRep>1</avRep></product><product><avRep>")
                                             + bad + "</avRep></product></products>");
        QString invalid;
        EXPECT_FALSE(ReadXmlList<CProductRecord>(xmlDocGetRootElement(doc.get()), &invalid)) << bad;
        EXPECT_EQ(invalid, QStringLiteral("Недопустимое число в поле «avRep»: ") + bad);
    }
}

TEST(TextConverters, ByteOrderMarksAreCharactersLikeAnyOther)
{
    for (const QString& text : {QStringLiteral("\uFEFFabc"), QStringLiteral("\uFFFEabc"), QStringLiteral("a\uFEFF")}) {
        const QByteArray utf8 = UnicodeToUtf8(text);
        EXPECT_EQ(utf8, text.toUtf8());
        EXPECT_EQ(Utf8ToUnicode(utf8), text) << utf8.toHex().toStdString();
        EXPECT_EQ(UnicodeToUtf8(Utf8ToUnicode(utf8)), utf8);
    }
}
