// Placeholders in the texts of a report definition: {name} is a parameter's value (or {title}, the
// report's title; {forecast}, the forecast's name; on page lines {page} and {pages}, the page's number
// and the count), {name-2} and {name+1} a number parameter's value moved by so much; a year below 0
// (no forecast) leaves such a text empty.
#pragma once

#include <QString>

#include <functional>

inline const QString kReportTitlePlaceholder = QStringLiteral("title");
inline const QString kReportForecastPlaceholder = QStringLiteral("forecast");
inline const QString kReportPagePlaceholder = QStringLiteral("page");
inline const QString kReportPagesPlaceholder = QStringLiteral("pages");

// {title} and {forecast}, which every text may hold unless a parameter has the name.
inline bool IsReportPlaceholder(const QString& name)
{
    return name == kReportTitlePlaceholder || name == kReportForecastPlaceholder;
}
// {page} and {pages}, which only the lines at the top and foot of a page may hold.
inline bool IsReportPagePlaceholder(const QString& name)
{
    return name == kReportPagePlaceholder || name == kReportPagesPlaceholder;
}

// Whether every placeholder is well formed and `known` (name, has an offset) accepts it.
bool CheckReportText(const QString& text, const std::function<bool(const QString& name, bool offset)>& known);
// The text with each placeholder replaced by what `value` answers for (name, offset). A part in
// brackets that holds placeholders and blanks only is left out, with the blanks before it, where
// they all come out blank ("Количество ({unit})" without a unit is "Количество").
QString ExpandReportText(const QString& text, const std::function<QString(const QString& name, int offset)>& value);
// The short form of names joined by "; ": its first names (up to three, within some 80 characters,
// at least one) and "и ещё N" for the others; the whole text when that is all. With `bracketedTail`
// a part in brackets after the last name ends the short form too.
QString ShortReportList(const QString& text, bool bracketedTail);
