#include "ExchangeFiles.h"

#include "TextUtils.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace {

const QString kXml = QStringLiteral(".xml");

qsizetype Utf8Size(const QString& text)
{
    return text.toUtf8().size();
}

// The most bytes that any of the names adds to its base.
qsizetype LongestNameOverhead()
{
    static const qsizetype overhead =
        std::max({Utf8Size(ForecastFileName(QString())), Utf8Size(NsiFileName(QString())),
                  Utf8Size(CommentFileName(QString())), Utf8Size(SendEnvelopeFileName(QString()))});
    return overhead;
}

} // namespace

QString ExchangeFileBase(const QString& text)
{
    QString base = MakeValidFileName(text);
    base.replace(QChar(u'\0'), QChar(u'_'));
    const qsizetype budget = kMaxFileNameBytes - LongestNameOverhead();
    qsizetype bytes = 0;
    qsizetype keep = 0;
    while (keep < base.size()) {
        // A surrogate pair is one character: kept or cut together.
        const qsizetype length = base[keep].isHighSurrogate() && keep + 1 < base.size() ? 2 : 1;
        const qsizetype size = Utf8Size(base.mid(keep, length));
        if (bytes + size > budget)
            break;
        bytes += size;
        keep += length;
    }
    base.truncate(keep);
    return base;
}

QString ForecastFileName(const QString& base)
{
    return QStringLiteral("Прогноз_") + base + kXml;
}

QString NsiFileName(const QString& base)
{
    return QStringLiteral("НСИ_") + base + kXml;
}

QString CommentFileName(const QString& base)
{
    return QStringLiteral("Комментарий_") + base + kXml;
}

QString SendEnvelopeFileName(const QString& base)
{
    return QStringLiteral("НСИ_") + base + QStringLiteral("_envelope.xml");
}

QString InfoEnvelopeFileName(int mailingId)
{
    return QStringLiteral("ИНФ_%1_envelope.xml").arg(mailingId);
}

QString PathIn(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

CSendFolder::CSendFolder()
{
    // mkdtemp makes the folder with mode 0700 under a name nobody could have taken before.
    QByteArray pattern = QFile::encodeName(GetTempFolder() + QStringLiteral("lir-send-XXXXXX"));
    if (char* made = ::mkdtemp(pattern.data()))
        m_path = QFile::decodeName(made) + u'/';
}

CSendFolder::~CSendFolder()
{
    if (isValid())
        QDir(m_path).removeRecursively();
}
