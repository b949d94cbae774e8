#include "TextUtils.h"

#include "Codepage.h"
#include "Version.h"

#include <QDir>
#include <QFileInfo>

#include "xml/XmlRecord.h"

#include <mutex>

#include <unistd.h>

QByteArray UnicodeToAnsi(const QString& text)
{
    return QByteArray::fromStdString(
        Utf16ToCodepage(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size())));
}

namespace {

// The code units as they are: QString::fromUtf16 would take a leading U+FEFF or U+FFFE for a byte
// order mark, drop it and swap the rest.
QString FromUtf16Units(const std::u16string& units)
{
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

} // namespace

QString AnsiToUnicode(const QByteArray& text)
{
    return FromUtf16Units(CodepageToUtf16(std::string_view(text.constData(), text.size())));
}

QString Utf8ToUnicode(const QByteArray& text)
{
    return FromUtf16Units(Utf8ToUtf16(std::string_view(text.constData(), text.size())));
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

namespace {

std::mutex g_executableMutex;
QString g_executableFolder; // set by tests; empty: the running executable's

QString RunningExecutableFolder()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return QDir::currentPath() + u'/';
    QString exe = QFile::decodeName(QByteArray(buffer, n));
    int slash = exe.lastIndexOf(u'/');
    return slash < 0 ? exe : exe.left(slash + 1);
}

QString WithSlash(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString ExecutableFolder()
{
    {
        std::lock_guard lock(g_executableMutex);
        if (!g_executableFolder.isEmpty())
            return g_executableFolder;
    }
    return RunningExecutableFolder();
}

} // namespace

void SetExecutableFolder(const QString& folder)
{
    std::lock_guard lock(g_executableMutex);
    g_executableFolder = folder.isEmpty() ? QString() : WithSlash(folder);
}

QString GetProgramPath()
{
    return GetProgramFolder();
}

QString GetProgramFolder()
{
    const QString home = qEnvironmentVariable("LIR_HOME");
    return home.isEmpty() ? ExecutableFolder() : WithSlash(home);
}

QStringList ProgramFilePlaces(const QString& name)
{
    QStringList places{GetProgramFolder() + name};
    const QString beside = ExecutableFolder() + name;
    if (QDir::cleanPath(beside) != QDir::cleanPath(places.front()))
        places << beside;
    return places;
}

QString ProgramFile(const QString& name)
{
    const QStringList places = ProgramFilePlaces(name);
    for (const QString& path : places)
        if (QFileInfo::exists(path))
            return path;
    return places.front();
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
    return XmlRootAttribute(xmlPath, "version") == GetFileVersionString();
}
