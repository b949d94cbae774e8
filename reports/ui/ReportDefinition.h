// A report definition (.rpt): the parameters the report takes, in their order; its heading lines; and
// the one table that shows a run's rows of the report database, with its header groups, columns and
// row conditions. reportdef.xsd checks the file's form; LoadReportDefinition checks the rest (every
// name a text, condition or column uses is declared).
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

enum class ReportParameterType { Text, Integer, Year, Money };

struct ReportParameter {
    QString name;
    ReportParameterType type = ReportParameterType::Text;
    // A text of names joined by "; ": where it repeats on every page (the table's header, the page
    // lines) only its first names stand, with "и ещё N"; with `bracketedTail`, a part in brackets
    // that ends the text (a side's year) belongs to the whole list and stays.
    bool list = false;
    bool bracketedTail = false;
};

// A test of a text (a parameter's value, a row's field): equal to `value` (with `prefix`: beginning
// with it), or with `negate` not. Without `used` it always holds.
struct ReportTest {
    bool used = false;
    QString subject; // parameter or field name
    QString value;
    bool negate = false;
    bool prefix = false;

    bool Holds(QStringView actual) const
    {
        return !used || ((prefix ? actual.startsWith(value) : actual == value) != negate);
    }
};

enum class ReportAlign { Left, Center, Right };

struct ReportLine {
    QString text; // may hold {parameter}, {year-1}, {title}, {forecast}
    ReportAlign align = ReportAlign::Left;
    bool bold = false;
    double size = 0; // points; 0: the report's size
    ReportTest shownIf;
};

// A line at the top or the foot of every page: texts at its left, centre and right, which may also
// hold {page} and {pages}.
struct ReportPageLine {
    QString left;
    QString center;
    QString right;
    ReportTest shownIf;
};

// Rows where the condition `when` holds begin a group; a page that begins inside a group repeats the
// group row's `field` with the suffix under the table's header.
struct ReportGroupCaption {
    QString when;
    QString field;
    QString suffix;
};

enum class ReportCellKind { Text, Money, Quantity, Price, Percent, Integer, Empty };

// Where a text cell may break into lines; numbers always stand on one line.
enum class ReportWrap { Words, Never };

struct ReportQuotient {
    QString field;
    QString divisorField; // or
    QString divisorParameter;
    double offset = 0;
};

struct ReportColumn {
    QString caption;
    QString field;
    ReportCellKind kind = ReportCellKind::Text;
    double width = 10;
    std::optional<ReportAlign> align;
    int decimals = 2;
    QString decimalsParameter;
    QString blankWhen; // a row condition
    ReportWrap wrap = ReportWrap::Words;
    std::optional<ReportQuotient> quotient;
    ReportTest shownIf;
};

// A header node: a group with children, or a column (an index into the definition's columns).
struct ReportHeaderNode {
    QString caption;
    ReportTest shownIf;
    int column = -1;
    std::vector<ReportHeaderNode> children;
};

struct ReportRowCondition {
    QString name;
    ReportTest test; // subject: the field
};

struct ReportRowStyle {
    QString when;
    bool bold = false;
    QString span; // a field shown across the whole row
};

struct ReportDefinition {
    bool landscape = false;
    double fontSize = 8;
    std::vector<ReportParameter> parameters;
    std::vector<ReportLine> heading;
    std::vector<ReportPageLine> pageHeader;
    std::vector<ReportPageLine> pageFooter;
    QString table;
    QString key;
    QString keyParameter;
    QString order; // a field, or rowid: as stored
    std::vector<ReportRowCondition> rowConditions;
    std::vector<ReportRowStyle> rowStyles;
    std::optional<ReportGroupCaption> groupCaption;
    std::vector<ReportColumn> columns; // every column, in header order
    std::vector<ReportHeaderNode> header;

    const ReportParameter* Parameter(const QString& name) const;
    int RowCondition(const QString& name) const; // -1 when none
    // The fields the table reads, each once.
    QStringList Fields() const;
};

// Error codes of a report that cannot be shown.
enum ReportErrorCode {
    REPORT_ERROR_UNREADABLE = 1, // the definition file cannot be read
    REPORT_ERROR_INVALID = 2,    // it does not hold to the schema (or names what it does not declare)
    REPORT_ERROR_VALUES = 3,     // fewer values than parameters, or one that is not of its type
    REPORT_ERROR_DATA = 4,       // the report database or its query
    REPORT_ERROR_OUTPUT = 5,     // printing or writing the PDF
};

struct ReportError {
    int code = 0;
    QString detail; // the path, or the message
};

// Reads the definition and checks it against the schema file; none with the error's code and detail.
std::optional<ReportDefinition> LoadReportDefinition(const QString& path, const QString& schemaPath,
                                                     ReportError* error);
