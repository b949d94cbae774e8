#include "DateFields.h"

#include "db/SqlQuery.h"

#include <QDateTime>

#include <cstdio>

namespace {

// Digits at [pos, pos + n) of the text, or -1.
int Digits(QStringView text, qsizetype pos, int n)
{
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const char16_t c = text[pos + i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

std::optional<CDateFields> ReadDateFields(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    if (value.typeId() != QMetaType::QDateTime) {
        const QString text = value.toString();
        const QStringView t(text);
        if (t.size() >= 19 && t[4] == u'-' && t[7] == u'-' && t[10] == u' ' && t[13] == u':' && t[16] == u':') {
            const CDateFields f{Digits(t, 0, 4),  Digits(t, 5, 2),  Digits(t, 8, 2),
                                Digits(t, 11, 2), Digits(t, 14, 2), Digits(t, 17, 2)};
            if (f.year >= 0 && f.month >= 1 && f.day >= 1 && f.hour >= 0 && f.minute >= 0 && f.second >= 0)
                return f;
        }
    }
    // Timestamps and any other spelling take the slow road.
    const QDateTime d = DateFromValue(value);
    if (!d.isValid())
        return std::nullopt;
    return CDateFields{d.date().year(), d.date().month(),  d.date().day(),
                       d.time().hour(), d.time().minute(), d.time().second()};
}

QString ListDateText(const QVariant& value)
{
    const auto f = ReadDateFields(value);
    if (!f)
        return QString();
    char buffer[40];
    const int n = std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d %d:%02d:%02d", f->day, f->month, f->year,
                                f->hour, f->minute, f->second);
    return QString::fromLatin1(buffer, n);
}
