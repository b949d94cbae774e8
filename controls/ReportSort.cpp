#include "ReportSort.h"

#include "Codepage.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>

namespace {

// Digits with at most one '.' or ',', a '+' anywhere, a '-' first in a text of two or more.
bool LooksNumeric(const QString& s)
{
    int separators = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isDigit() && c.unicode() < 128)
            continue;
        if (c == u'.' || c == u',') {
            if (++separators > 1)
                return false;
        } else if (c == u'-') {
            if (i != 0 || s.size() < 2)
                return false;
        } else if (c != u'+') {
            return false;
        }
    }
    return true;
}

double NumberOf(const QString& s)
{
    std::string text;
    text.reserve(size_t(s.size()));
    for (QChar c : s) {
        if (c == u',')
            text += '.';
        else if (c != u'+')
            text += char(c.unicode());
    }
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

int Digits(const QString& s, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = s[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "dd.MM.yyyy" or "dd.MM.yyyy H:mm:ss" as seconds; false for anything else.
bool DateOf(const QString& s, double* seconds)
{
    if (s.size() < 10 || s[2] != u'.' || s[5] != u'.')
        return false;
    const int day = Digits(s, 0, 2), month = Digits(s, 3, 2), year = Digits(s, 6, 4);
    const QDate date(year, month, day);
    if (day < 0 || month < 0 || year < 0 || !date.isValid())
        return false;
    int secs = 0;
    if (s.size() > 10) {
        // " H:mm:ss" or " HH:mm:ss"
        const qsizetype hourDigits = s.size() - 17;
        if (s[10] != u' ' || hourDigits < 1 || hourDigits > 2 || s[11 + hourDigits] != u':'
            || s[14 + hourDigits] != u':')
            return false;
        const int h = Digits(s, 11, hourDigits), m = Digits(s, 12 + hourDigits, 2), sec = Digits(s, 15 + hourDigits, 2);
        if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
            return false;
        secs = h * 3600 + m * 60 + sec;
    }
    *seconds = double(date.toJulianDay()) * 86400.0 + secs;
    return true;
}

} // namespace

CSortKey MakeSortKey(const QString& text)
{
    CSortKey key;
    const QString s = text.trimmed();
    if (s.isEmpty())
        return key;
    if (LooksNumeric(s)) {
        key.kind = CSortKey::Number;
        key.value = NumberOf(s);
    } else if (DateOf(s, &key.value)) {
        key.kind = CSortKey::Date;
    } else {
        key.kind = CSortKey::Text;
        const std::string bytes =
            Utf16ToCodepage(std::u16string_view(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())));
        key.bytes = QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    return key;
}

int CompareSortKeys(const CSortKey& a, const CSortKey& b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind ? -1 : 1;
    switch (a.kind) {
    case CSortKey::Empty:
        return 0;
    case CSortKey::Number:
    case CSortKey::Date:
        return a.value < b.value ? -1 : (b.value < a.value ? 1 : 0);
    case CSortKey::Text: {
        const qsizetype n = std::min(a.bytes.size(), b.bytes.size());
        const int c = std::memcmp(a.bytes.constData(), b.bytes.constData(), size_t(n));
        if (c != 0)
            return c < 0 ? -1 : 1;
        return a.bytes.size() < b.bytes.size() ? -1 : (a.bytes.size() > b.bytes.size() ? 1 : 0);
    }
    }
    return 0;
}

std::vector<int> SortedOrder(const std::vector<QString>& texts, bool ascending)
{
    std::vector<CSortKey> keys;
    keys.reserve(texts.size());
    for (const QString& t : texts)
        keys.push_back(MakeSortKey(t));
    std::vector<int> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = CompareSortKeys(keys[size_t(a)], keys[size_t(b)]);
        return ascending ? c < 0 : c > 0;
    });
    return order;
}
