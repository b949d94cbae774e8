#include "TextUtils.h"

#include "Codepage.h"
#include "Version.h"

#include <QDir>
#include <QFileInfo>

#include "xml/XmlRecord.h"

#include <libxml/tree.h>

#include <unistd.h>

QByteArray UnicodeToAnsi(const QString& text)
{
    return QByteArray::fromStdString(
        Utf16ToCodepage(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size())));
}

QString AnsiToUnicode(const QByteArray& text)
{
    std::u16string u = CodepageToUtf16(std::string_view(text.constData(), text.size()));
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

QString Utf8ToUnicode(const QByteArray& text)
{
    std::u16string u = Utf8ToUtf16(std::string_view(text.constData(), text.size()));
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

QByteArray UnicodeToUtf8(const QString& text)
{
    return QByteArray::fromStdString(
        Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size())));
}

QByteArray Utf8ToAnsi(const QByteArray& text)
{
    return QByteArray::fromStdString(Utf8ToCodepage(std::string_view(text.constData(), text.size())));
}

QByteArray AnsiToUtf8(const QByteArray& text)
{
    return QByteArray::fromStdString(CodepageToUtf8(std::string_view(text.constData(), text.size())));
}

bool DirectoryExists(const QString& path)
{
    QString p = path;
    if (p.size() > 1 && (p.endsWith(u'/') || p.endsWith(u'\\')))
        p.chop(1);
    return !p.isEmpty() && QFileInfo(p).isDir();
}

bool FileExists(const QString& path)
{
    QFileInfo info(path);
    if (info.exists())
        return true;
    // A wildcard pattern counts when anything matches it.
    if (path.contains(u'*') || path.contains(u'?')) {
        QDir dir = info.dir();
        return !dir.entryList({info.fileName()}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).isEmpty();
    }
    return false;
}

static QString ExecutableFolder()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return QDir::currentPath() + u'/';
    QString exe = QFile::decodeName(QByteArray(buffer, n));
    int slash = exe.lastIndexOf(u'/');
    return slash < 0 ? exe : exe.left(slash + 1);
}

QString GetProgramPath()
{
    return GetProgramFolder();
}

QString GetProgramFolder()
{
    QString home = qEnvironmentVariable("LIR_HOME");
    if (home.isEmpty())
        return ExecutableFolder();
    if (!home.endsWith(u'/'))
        home += u'/';
    return home;
}

QString GetTempFolder()
{
    QString t = QDir::tempPath();
    if (!t.endsWith(u'/'))
        t += u'/';
    return t;
}

QString MakeValidFileName(const QString& name)
{
    QString out = name;
    for (QChar& c : out) {
        char16_t u = c.unicode();
        if ((u >= 1 && u <= 31) || u == u'<' || u == u'>' || u == u'/' || u == u'"' || u == u'|' || u == u'?'
            || u == u'*' || u == u' ')
            c = u'_';
    }
    return out;
}

QString GetFileVersionString()
{
    return QString::fromLatin1(kProgramVersion);
}

bool CheckXmlFileVersion(const QString& xmlPath)
{
    const XmlDocPtr doc = XmlParseFile(xmlPath);
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root)
        return false;
    xmlChar* version = xmlGetProp(root, BAD_CAST "version");
    if (!version)
        return false;
    const bool ok = QString::fromUtf8(reinterpret_cast<const char*>(version)) == GetFileVersionString();
    xmlFree(version);
    return ok;
}
