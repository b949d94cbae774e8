// Received documents and texts as a hostile sender would make them.
#include "TestSupport.h"
#include "TextUtils.h"
#include "tables/Products.h"
#include "xml/XmlRecord.h"

#include <QElapsedTimer>
#include <QFile>

#include <cmath>

namespace {

// A figure of /proc/self/status in KiB.
long StatusKiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Entities that grow a hundredfold at each of three levels.
QByteArray EntityLayers()
{
    return "<!ENTITY a \"" + QByteArray(100, 'x') + "\">" + "<!ENTITY b \"" + QByteArray("&a;").repeated(100) + "\">"
        + "<!ENTITY c \"" + QByteArray("&b;").repeated(100) + "\">";
}

} // namespace

class XmlInputTest : public TempHomeTest { };

TEST_F(XmlInputTest, DocumentsWithADocumentTypeAreRefusedBeforeAnythingIsRead)
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
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"products with an entity bomb", products},
        {"version attribute with an entity bomb", version},
        {"a bare document type", "<!DOCTYPE products><products/>"},
        {"an outside document type",
         "<!DOCTYPE forecast SYSTEM \"http://127.0.0.1:9/x.dtd\"><forecast version=\"2.0.1.40\"/>"},
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
        EXPECT_LT(timer.elapsed(), 100) << c.what;
        EXPECT_EQ(error, kXmlDoctypeRefused) << c.what;
        EXPECT_EQ(inMemory, kXmlDoctypeRefused) << c.what;
        RecordProperty(std::string(c.what) + " ms", int(timer.elapsed()));
    }
    const long grown = StatusKiB("VmHWM:") - rssBefore;
    EXPECT_LT(grown, 50 * 1024);
    RecordProperty("peak growth KiB", int(grown));

    // Without a document type an entity is undeclared: not well-formed.
    QString error;
    EXPECT_FALSE(XmlParseMemory("<products><product><name>&c;</name></product></products>", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(XmlParseMemory("<products><product><name>A &amp; B &#x416;</name></product></products>"));
}

TEST(XmlFields, NumbersAreReadAsTheCLibraryReadsThemAndSixDecimalsMustFit)
{
    const std::pair<const char*, int> ints[] = {
        {"+-5", 0}, {"-+5", 0}, {"+5", 5}, {" -12x", -12}, {"", 0}, {"x1", 0}, {"99999999999", INT_MAX}};
    for (const auto& [text, expected] : ints)
        EXPECT_EQ(XmlToInt(QString::fromLatin1(text)), expected) << text;

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
    for (const auto& [text, expected] : decimals)
        EXPECT_EQ(XmlToDecimal6(QString::fromStdString(text)), expected) << text.substr(0, 20);

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
