#include "SqliteFunctions.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <cmath>

namespace {

QString ArgText(sqlite3_value* v)
{
    const void* text = sqlite3_value_text16(v);
    const int bytes = sqlite3_value_bytes16(v);
    return QString(reinterpret_cast<const QChar*>(text), bytes / 2);
}

void ResultText(sqlite3_context* ctx, const QString& s)
{
    sqlite3_result_text16(ctx, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
}

void Lower(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    ResultText(ctx, ArgText(argv[0]).toLower());
}

void Upper(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    ResultText(ctx, ArgText(argv[0]).toUpper());
}

// '%' any run, '_' one character, escape before either takes it literally.
bool Match(const QChar* p, const QChar* pe, const QChar* s, const QChar* se, QChar escape, bool hasEscape)
{
    while (p < pe) {
        if (hasEscape && *p == escape && p + 1 < pe) {
            if (s == se || *s != p[1])
                return false;
            p += 2;
            ++s;
        } else if (*p == u'%') {
            while (p < pe && *p == u'%')
                ++p;
            if (p == pe)
                return true;
            for (; s <= se; ++s)
                if (Match(p, pe, s, se, escape, hasEscape))
                    return true;
            return false;
        } else if (*p == u'_') {
            if (s == se)
                return false;
            ++p;
            ++s;
        } else {
            if (s == se || *s != *p)
                return false;
            ++p;
            ++s;
        }
    }
    return s == se;
}

void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    // like(pattern, text [, escape])
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const QString pattern = ArgText(argv[0]).toLower();
    const QString text = ArgText(argv[1]).toLower();
    QChar escape;
    bool hasEscape = false;
    if (argc == 3 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
        const QString e = ArgText(argv[2]);
        if (e.size() != 1)
            return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        escape = e[0].toLower();
        hasEscape = true;
    }
    sqlite3_result_int(ctx,
                       Match(pattern.constData(), pattern.constData() + pattern.size(), text.constData(),
                             text.constData() + text.size(), escape, hasEscape));
}

// An operand of lir_money_add in ten-thousandths: NULL counts as 0; false when it does not fit.
bool MoneyOperand(sqlite3_value* v, sqlite3_int64* out)
{
    switch (sqlite3_value_numeric_type(v)) {
    case SQLITE_NULL:
        *out = 0;
        return true;
    case SQLITE_INTEGER:
        *out = sqlite3_value_int64(v);
        return true;
    case SQLITE_FLOAT: {
        const double d = std::nearbyint(sqlite3_value_double(v));
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            return false;
        *out = static_cast<sqlite3_int64>(d);
        return true;
    }
    default:
        *out = 0;
        return true;
    }
}

// lir_money_add(a, b): the sum of two money values; an overflow fails the statement as sum() does.
void MoneyAdd(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    sqlite3_int64 a = 0, b = 0, sum = 0;
    if (!MoneyOperand(argv[0], &a) || !MoneyOperand(argv[1], &b) || __builtin_add_overflow(a, b, &sum))
        return sqlite3_result_error(ctx, "integer overflow", -1);
    sqlite3_result_int64(ctx, sum);
}

} // namespace

bool RegisterSqliteFunctions(QSqlDatabase& db)
{
    QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3* handle = *static_cast<sqlite3**>(v.data());
    if (!handle)
        return false;
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function16(handle, u"lower", 1, flags, nullptr, &Lower, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function16(handle, u"upper", 1, flags, nullptr, &Upper, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function16(handle, u"like", 2, flags, nullptr, &Like, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function16(handle, u"like", 3, flags, nullptr, &Like, nullptr, nullptr) == SQLITE_OK
        && sqlite3_create_function16(handle, u"lir_money_add", 2, flags, nullptr, &MoneyAdd, nullptr, nullptr)
        == SQLITE_OK;
}
