// What a report shows, ready to be laid out: the definition bound to its values and filled with the
// run's rows from the report database, every cell already a text.
#pragma once

#include "ReportDefinition.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct ReportHeadingLine {
    QString text;
    ReportAlign align = ReportAlign::Left;
    bool bold = false;
    double size = 8;
};

// A line at the top or the foot of every page; {page} and {pages} are filled in page by page.
struct ReportPageText {
    QString left;
    QString center;
    QString right;
};

struct ReportLayoutColumn {
    double width = 10; // relative
    ReportAlign align = ReportAlign::Left;
    bool wraps = true; // a text that may break between words; numbers and units stand on one line
};

// A cell of the table's header rows; groups span their columns, columns span down to the last row.
struct ReportHeaderCell {
    int row = 0;
    int column = 0;
    int rowSpan = 1;
    int columnSpan = 1;
    QString text;
};

// The table's rows, every cell a text, kept in a few large blocks: a report of hundreds of thousands
// of rows stays small, and its texts are read in place.
class ReportRows {
public:
    void SetColumnCount(int columns) { m_columns = columns; }
    int columnCount() const { return m_columns; }
    size_t size() const { return m_flags.size(); }
    bool empty() const { return m_flags.empty(); }

    // A spanning row's text stands in its column 0.
    QStringView Cell(size_t row, int column) const { return Slot(row * Slots() + size_t(column)); }
    bool Bold(size_t row) const { return m_flags[row] & kBold; }
    bool Spans(size_t row) const { return m_flags[row] & kSpans; }
    // A row that begins a group; a page that begins inside the group repeats its caption.
    bool BeginsGroup(size_t row) const { return m_flags[row] & kGroup; }
    QStringView GroupCaption(size_t row) const { return Slot(row * Slots() + size_t(m_columns)); }

    // A row is built cell by cell in column order (cells left out stay empty), then ended.
    void AddCell(QStringView text);
    void AddUtf8Cell(QByteArrayView text);
    void EndRow(bool bold, bool spans, bool beginsGroup, QStringView groupCaption = {});
    // The group caption of the row just ended.
    void SetGroupCaption(QByteArrayView text);
    // Takes the other's rows after these.
    void Append(ReportRows&& other);

private:
    enum : std::uint8_t { kBold = 1, kSpans = 2, kGroup = 4 };
    size_t Slots() const { return size_t(m_columns) + 1; }
    QStringView Slot(size_t slot) const;
    // Room for so many characters at the end of the last block (a new block when it has none left).
    char16_t* Reserve(size_t length);
    // Keeps the text of that length written into the room.
    void Keep(size_t length);
    void Store(QStringView text);
    void StoreUtf8(QByteArrayView text);

    int m_columns = 0;
    int m_cellsInRow = 0;
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    size_t m_blockUsed = 0;
    std::vector<std::uint32_t> m_start; // per slot: block * block size + offset
    std::vector<std::uint16_t> m_length;
    std::vector<std::uint8_t> m_flags;
};

struct ReportContent {
    QString title;
    QString forecast;
    bool landscape = false;
    double fontSize = 8;
    std::vector<ReportHeadingLine> heading;
    std::vector<ReportPageText> pageHeader;
    std::vector<ReportPageText> pageFooter;
    std::vector<ReportLayoutColumn> columns;
    int headerRows = 0;
    std::vector<ReportHeaderCell> header;
    ReportRows rows;
    QString groupSuffix; // after a group's caption repeated on a page that continues it
};

// Binds the values to the parameters by position (extra values are ignored), reads the run's rows
// read-only from the report database and formats them (numberFormat: the report number format).
// forecast: the forecast's name for {forecast}. None with code 3 (values) or 4 (database; the detail
// is its message).
std::optional<ReportContent> BuildReportContent(const ReportDefinition& definition, const QStringList& values,
                                                const QString& title, const QString& forecast,
                                                const QString& databasePath, int numberFormat, ReportError* error);
