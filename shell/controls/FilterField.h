// One filterable column of a list and the list of them: the columns a reference book shows, in
// order, each with its current condition. The frame owns one list; the filter dialog edits a copy.
#pragma once

#include <QString>

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
