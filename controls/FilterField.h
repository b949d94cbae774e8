// One filterable column of a list and the list of them: the columns a reference book shows, in
// order, each with its current condition. The frame owns one list; the filter dialog edits a copy.
#pragma once

#include "db/SqlQuery.h"

#include <QDate>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Kinds of field; they decide the operators offered and how the value is entered.
enum FilterFieldKind : int {
    FF_TEXT = 0,
    FF_INTEGER = 1,
    FF_DECIMAL = 2,
    FF_DATE = 3,
    FF_YESNO = 4,
    FF_REFERENCE = 5, // an id of another table, chosen by the lookup's text
};

struct CFilterField {
    QString caption;     // field list entry and column header
    QString column;      // SQL expression of the column, such as "r.name"
    QString value;       // the condition's value; empty: no condition
    bool visible = true; // listed, shown as a column, and part of the condition
    int width = 100;     // column width in pixels
    int kind = FF_TEXT;
    int op = 7;          // operator code; 7 "contains"
    QString lookupTable; // FF_REFERENCE: the table of the referenced rows
    QString lookupField; // FF_REFERENCE: the column shown for each referenced id
};

using CFilterFieldList = std::vector<CFilterField>;

// Operator codes of a field's condition.
enum FilterOperator : int {
    FO_NONE = 0, // a reference field without a chosen value
    FO_EQUAL = 1,
    FO_GREATER = 2,
    FO_LESS = 3,
    FO_GREATER_EQUAL = 4,
    FO_LESS_EQUAL = 5,
    FO_NOT_EQUAL = 6,
    FO_CONTAINS = 7,
    FO_STARTS_WITH = 8,
    FO_ENDS_WITH = 9,
    FO_YES = 10,
    FO_NO = 11,
};

// The condition of every visible field with a value, joined with "and", each value bound by the
// field's kind: text matches letter case aside and literally; numbers are bound as numbers ("12,5"
// is 12.5); a date stands for its whole day; yes/no tests against 0; a reference is an id.
SqlFilter FilterCondition(const CFilterFieldList& fields);

// A number as the user wrote it, with ',' or '.' as the decimal separator.
std::optional<double> ParseFilterNumber(const QString& text);
std::optional<qlonglong> ParseFilterInteger(const QString& text);
// A date as the filter dialog writes it ("dd/MM/yyyy") or as Russian users type it ("dd.MM.yyyy").
std::optional<QDate> ParseFilterDate(const QString& text);
// The date as the filter dialog shows it.
QString FilterDateText(const QDate& date);

// The values a reference field offers, (id, text) in order: only the program's own lists, the unit
// names of tClsMeasurement and the code lists "type" of "product" and "receiver". Any other pair
// gives none.
std::vector<std::pair<int, QString>> FilterLookupEntries(const QString& table, const QString& field);
