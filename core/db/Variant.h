// Strict conversions of column values for the row readers whose rows are unusable without the value:
// a NULL (or a value of no such kind) gives none, and the reader rejects the row.
#pragma once

#include <QString>
#include <QVariant>

#include <optional>

inline std::optional<QString> VariantToString(const QVariant& v)
{
    if (!v.isValid() || v.isNull() || !v.canConvert<QString>())
        return std::nullopt;
    return v.toString();
}

inline std::optional<double> VariantToDecimal(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return d;
}
