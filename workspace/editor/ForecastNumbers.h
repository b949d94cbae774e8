// How the forecast editor writes and reads its numbers.
#pragma once

#include "Money.h"

#include <QChar>
#include <QString>

#include <optional>

// Without the zeros after the last decimal or a trailing point: 12.5, 100, 0. Always with '.',
// whatever the locale, and no grouping. A six-decimal value (a price, a factor) to at most six
// decimals of the digits it holds (Decimal6Text); a quantity or sum exactly, as stored.
QString FormatAmount(double value);
QString FormatAmount(Money value);

// The decimal separator of the program's locale (',' for the Russian one).
QChar EditorDecimalSeparator();

// A quantity or sum typed into the card: trimmed, '.' and ',' read as the separator, an empty text
// as 0. Taken only when the value written back in the same way gives the same text, so that a text
// with grouping, more than four decimals or trailing zeros is refused.
std::optional<Money> ParseCardAmount(const QString& typed, QChar separator = EditorDecimalSeparator());

// A cell text as the price check reads it: either separator, anything else counts as 0.
double CellNumber(const QString& text);
