#include "FilterField.h"

#include "tables/Measurements.h"
#include "tables/Products.h"
#include "tables/Receivers.h"

#include <QDebug>
#include <QLocale>

#include <cmath>

namespace {

const char* ComparisonOf(int op)
{
    switch (op) {
    case FO_EQUAL:
        return " = ?";
    case FO_GREATER:
        return " > ?";
    case FO_LESS:
        return " < ?";
    case FO_GREATER_EQUAL:
        return " >= ?";
    case FO_LESS_EQUAL:
        return " <= ?";
    case FO_NOT_EQUAL:
        return " <> ?";
    default:
        return nullptr;
    }
}

// A date condition over whole days: the column holds times of day too.
bool AddDateTerm(SqlFilter& f, const QString& column, int op, const QDate& day)
{
    const QDateTime from(day, QTime(0, 0));
    const QDateTime to(day.addDays(1), QTime(0, 0));
    switch (op) {
    case FO_EQUAL:
        f.where += QStringLiteral("(%1 >= ? and %1 < ?)").arg(column);
        f.args << from << to;
        return true;
    case FO_NOT_EQUAL:
        f.where += QStringLiteral("(%1 < ? or %1 >= ?)").arg(column);
        f.args << from << to;
        return true;
    case FO_GREATER:
    case FO_GREATER_EQUAL:
        f.where += column + QStringLiteral(" >= ?");
        f.args << (op == FO_GREATER ? to : from);
        return true;
    case FO_LESS:
    case FO_LESS_EQUAL:
        f.where += column + QStringLiteral(" < ?");
        f.args << (op == FO_LESS ? from : to);
        return true;
    default:
        return false;
    }
}

bool AddTerm(SqlFilter& f, const CFilterField& field)
{
    const QString value = field.value.trimmed();
    switch (field.kind) {
    case FF_TEXT: {
        const LikeMatch match = field.op == FO_STARTS_WITH ? LikeMatch::StartsWith
            : field.op == FO_ENDS_WITH                     ? LikeMatch::EndsWith
                                                           : LikeMatch::Contains;
        f.where += Dialect().CaseInsensitiveLike(field.column);
        f.args << LikeArgument(value, match);
        return true;
    }
    case FF_INTEGER:
    case FF_DECIMAL: {
        const char* comparison = ComparisonOf(field.op);
        QVariant bound;
        if (field.kind == FF_INTEGER) {
            if (const auto n = ParseFilterInteger(value))
                bound = *n;
        } else if (const auto d = ParseFilterNumber(value)) {
            bound = *d;
        }
        if (!comparison || !bound.isValid())
            return false;
        f.where += field.column + QLatin1String(comparison);
        f.args << bound;
        return true;
    }
    case FF_DATE: {
        const auto day = ParseFilterDate(value);
        return day && AddDateTerm(f, field.column, field.op, *day);
    }
    case FF_YESNO:
        if (field.op != FO_YES && field.op != FO_NO)
            return false;
        f.where += field.column + (field.op == FO_YES ? QStringLiteral(" <> 0") : QStringLiteral(" = 0"));
        return true;
    case FF_REFERENCE: {
        const auto id = ParseFilterInteger(value);
        if (!id)
            return false;
        f.where += field.column + QStringLiteral(" = ?");
        f.args << *id;
        return true;
    }
    default:
        return false;
    }
}

} // namespace

SqlFilter FilterCondition(const CFilterFieldList& fields)
{
    SqlFilter filter;
    for (const CFilterField& field : fields) {
        if (!field.visible || field.value.trimmed().isEmpty())
            continue;
        SqlFilter term;
        if (!AddTerm(term, field))
            continue;
        if (!filter.where.isEmpty())
            filter.where += QStringLiteral(" and ");
        filter.where += term.where;
        filter.args += term.args;
    }
    return filter;
}

std::optional<double> ParseFilterNumber(const QString& text)
{
    QString s = text.trimmed();
    s.replace(u',', u'.');
    bool ok = false;
    const double d = QLocale::c().toDouble(s, &ok);
    // "nan" and "inf" read as doubles but are no number to compare with.
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

std::optional<qlonglong> ParseFilterInteger(const QString& text)
{
    bool ok = false;
    const qlonglong n = QLocale::c().toLongLong(text.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return n;
}

std::optional<QDate> ParseFilterDate(const QString& text)
{
    const QString s = text.trimmed();
    for (const char* format : {"dd/MM/yyyy", "d/M/yyyy", "dd.MM.yyyy", "d.M.yyyy"}) {
        const QDate d = QDate::fromString(s, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    const QDate d = QLocale(QLocale::Russian, QLocale::Russia).toDate(s, QLocale::ShortFormat);
    if (d.isValid())
        return d;
    return std::nullopt;
}

QString FilterDateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

std::vector<std::pair<int, QString>> FilterLookupEntries(const QString& table, const QString& field)
{
    std::vector<std::pair<int, QString>> entries;
    auto is = [](const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; };
    if (is(table, "tClsMeasurement") && is(field, "name")) {
        if (const auto units = LoadMeasurements(SqlFilter(QString(), {}, QStringLiteral("m.id")))) {
            for (const CMeasurementRecord& u : *units)
                entries.emplace_back(u.id, u.name);
        }
    } else if (is(field, "type") && is(table, "product")) {
        for (int type = PRODUCT_GOODS; type <= PRODUCT_OTHER; ++type)
            entries.emplace_back(type, GetProductTypeName(type));
    } else if (is(field, "type") && is(table, "receiver")) {
        for (int type = RT_FEDERAL; type <= RT_OTHER; ++type)
            entries.emplace_back(type, GetReceiverTypeName(type));
    } else {
        qWarning().noquote() << "filter: no value list for" << table << field;
    }
    return entries;
}
