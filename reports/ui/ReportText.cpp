#include "ReportText.h"

#include <QRegularExpression>

namespace {

const QRegularExpression& Placeholder()
{
    static const QRegularExpression re(QStringLiteral("\\{([^{}]*)\\}"));
    return re;
}

const QRegularExpression& Inner()
{
    static const QRegularExpression re(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)(?:([+-])([0-9]{1,2}))?$"));
    return re;
}

// A part in brackets of placeholders and blanks only, with the blanks before it.
const QRegularExpression& Bracketed()
{
    static const QRegularExpression re(QStringLiteral("\\s*\\(((?:\\s*\\{[^{}]*\\})+\\s*)\\)"));
    return re;
}

QString ExpandPlaceholders(QStringView text, const std::function<QString(const QString& name, int offset)>& value)
{
    QString out;
    qsizetype last = 0;
    for (auto it = Placeholder().globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += text.mid(last, match.capturedStart() - last);
        const auto inner = Inner().match(match.capturedView(1));
        int offset = 0;
        if (inner.hasCaptured(2))
            offset = (inner.captured(2) == u"-" ? -1 : 1) * inner.captured(3).toInt();
        out += value(inner.captured(1), offset);
        last = match.capturedEnd();
    }
    out += text.mid(last);
    return out;
}

} // namespace

bool CheckReportText(const QString& text, const std::function<bool(const QString& name, bool offset)>& known)
{
    for (auto it = Placeholder().globalMatch(text); it.hasNext();) {
        const auto inner = Inner().match(it.next().captured(1));
        if (!inner.hasMatch() || !known(inner.captured(1), inner.hasCaptured(2)))
            return false;
    }
    return true;
}

QString ExpandReportText(const QString& text, const std::function<QString(const QString& name, int offset)>& value)
{
    QString out;
    qsizetype last = 0;
    for (auto it = Bracketed().globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += ExpandPlaceholders(QStringView(text).mid(last, match.capturedStart() - last), value);
        if (!ExpandPlaceholders(match.capturedView(1), value).trimmed().isEmpty())
            out += ExpandPlaceholders(match.capturedView(), value);
        last = match.capturedEnd();
    }
    out += ExpandPlaceholders(QStringView(text).mid(last), value);
    return out;
}

QString ShortReportList(const QString& text, bool bracketedTail)
{
    static const QString separator = QStringLiteral("; ");
    constexpr int kMostNames = 3;
    constexpr qsizetype kMostCharacters = 80;
    QStringView names(text);
    QStringView tail;
    if (bracketedTail && text.endsWith(u')')) {
        const qsizetype open = text.lastIndexOf(QStringLiteral(" ("));
        if (open > text.lastIndexOf(separator)) {
            tail = names.mid(open);
            names = names.left(open);
        }
    }
    const QList<QStringView> all = names.split(separator);
    qsizetype shown = 0;
    qsizetype length = 0;
    for (QStringView name : all) {
        if (shown > 0 && (shown == kMostNames || length + name.size() > kMostCharacters))
            break;
        length += name.size() + separator.size();
        ++shown;
    }
    if (shown == all.size())
        return text;
    QString out = names.left(all[shown].data() - names.data() - separator.size()).toString();
    return out + QStringLiteral(" и ещё %1").arg(all.size() - shown) + tail.toString();
}
