// Dates of the lists and the journal export, read from the database value without QDateTime's
// time-zone work: a list of 100,000 rows shows two dates each.
#pragma once

#include <QString>
#include <QVariant>

#include <optional>

struct CDateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// A stored date (the text "yyyy-MM-dd HH:mm:ss" or a timestamp); none for NULL or an unreadable value.
std::optional<CDateFields> ReadDateFields(const QVariant& value);

// "dd.MM.yyyy H:mm:ss"; empty for none.
QString ListDateText(const QVariant& value);
