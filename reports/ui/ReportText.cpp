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
    for (auto it = Placeholder().globalMatch(text); it.hasNext();) {
        const auto match = it.next();
        out += QStringView(text).mid(last, match.capturedStart() - last);
        const auto inner = Inner().match(match.captured(1));
        int offset = 0;
        if (inner.hasCaptured(2))
            offset = (inner.captured(2) == u"-" ? -1 : 1) * inner.captured(3).toInt();
        out += value(inner.captured(1), offset);
        last = match.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}
