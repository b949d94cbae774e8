// What a report shows, ready to be laid out: the definition bound to its values and filled with the
// run's rows from the report database, every cell already a text.
#pragma once

#include "ReportDefinition.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct ReportHeadingLine {
    QString text;
    ReportAlign align = ReportAlign::Left;
    bool bold = false;
    double size = 8;
};

struct ReportLayoutColumn {
    double width = 10; // relative
    ReportAlign align = ReportAlign::Left;
};

// A cell of the table's header rows; groups span their columns, columns span down to the last row.
struct ReportHeaderCell {
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;
    QString text;
};

struct ReportBodyRow {
    QStringList cells;
    bool bold = false;
    bool spans = false; // one cell across the table, with spanText
    QString spanText;
};

struct ReportContent {
    QString title;
    bool landscape = false;
    double fontSize = 8;
    std::vector<ReportHeadingLine> heading;
    std::vector<ReportLayoutColumn> columns;
    int headerRows = 0;
    std::vector<ReportHeaderCell> header;
    std::vector<ReportBodyRow> rows;
};

// Binds the values to the parameters by position (extra values are ignored), reads the run's rows
// read-only from the report database and formats them (numberFormat: the report number format).
// None with code 3 (values) or 4 (database; the detail is its message).
std::optional<ReportContent> BuildReportContent(const ReportDefinition& definition, const QStringList& values,
                                                const QString& title, const QString& databasePath, int numberFormat,
                                                ReportError* error);
