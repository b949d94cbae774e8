// A report's content laid out on pages once, in units of 1/1200 inch that every device shares, so
// that the preview, the printer and the PDF writer show the same pages with the same breaks: the
// lines at the top and foot of every page ("Стр. N из M"), the heading lines, which flow over as
// many pages as they need before the table, the table's header rows at the top of every page that
// shows the table, a group's caption again on a page that continues the group, then the rows as far
// as they fit. Numbers and units stand on one line: the columns are sized from their content and the
// page's width, and where even that does not serve, the font of the table's cells is reduced, one
// size for all of them, not below a legible floor; the header shrinks alike rather than break a
// word. Texts break between words only. Laying out measures the rows' heights; a page is painted
// only when it is shown, printed or written.
#pragma once

#include "ReportContent.h"

#include <QFont>
#include <QGlyphRun>
#include <QLineF>
#include <QPageLayout>
#include <QPen>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class CReportFont;

// Layout units per inch.
inline constexpr double kReportLayoutDpi = 1200;
// The smallest font, in points, that a column is reduced to.
inline constexpr double kReportFontFloor = 5.0;

class CReportLayout {
public:
    // The content must outlive the layout.
    CReportLayout(const ReportContent& content, const QPageLayout& page);
    ~CReportLayout();
    CReportLayout(const CReportLayout&) = delete;
    CReportLayout& operator=(const CReportLayout&) = delete;

    const ReportContent& content() const { return m_content; }
    const QPageLayout& pageLayout() const { return m_page; }
    int count() const { return int(m_pages.size()); }
    // The sheet and, on it, the area within the margins that the pages are painted in.
    QSizeF sheetSize() const { return m_sheet; }
    QRectF area() const { return m_area; }

    // A heading line or a table cell that holds a text.
    struct Hit {
        int page = 0;
        int item = 0; // the item's place on its page
        QRectF rect;  // in the area
    };
    // The layout's fonts loaded anew for painting on another thread: Qt's font objects serve one thread
    // at a time. Made, used and dropped on that thread.
    struct Fonts;
    std::shared_ptr<const Fonts> CopyFonts() const;

    // What a page paints, in layout units from the area's top-left: the mark of a highlighted item, the
    // texts that the fonts' own glyphs do not serve, the rules, and every other text as glyph runs.
    struct Drawing {
        QPen pen;
        std::optional<QRectF> mark;
        struct Text {
            QFont font;
            QPointF at; // on the baseline
            QString text;
        };
        std::vector<Text> texts;
        std::vector<QLineF> lines;
        std::vector<QGlyphRun> runs;
    };
    // The page (from 0) laid out for painting. With fonts (copied from this layout), those measure and
    // draw instead of the layout's own.
    Drawing Draw(int page, const std::optional<Hit>& highlight = std::nullopt, const Fonts* fonts = nullptr) const;
    // Paints the page; the painter's coordinates are layout units from the area's top-left.
    void Paint(QPainter& painter, int page, const std::optional<Hit>& highlight = std::nullopt,
               const Fonts* fonts = nullptr) const;
    // The first item after `after` (none: from the start) whose text holds `text`, letter case aside.
    std::optional<Hit> Find(const QString& text, const std::optional<Hit>& after) const;

    // The rows of a page, [first, end), and the group row whose caption it repeats (none when it begins
    // with a group's own row or outside any group); a page of heading lines alone holds none.
    struct PageRows {
        size_t first = 0;
        size_t end = 0;
        std::optional<size_t> group;
    };
    PageRows Rows(int page) const;
    // The points of a column's cells (one size for the whole table) and of the header's captions.
    double ColumnPoints(int column) const;
    double HeaderPoints() const;

private:
    struct Page {
        std::uint32_t first = 0;
        std::uint32_t end = 0;
        std::int32_t group = -1;
        std::uint32_t headingFirst = 0; // the heading's lines on the page, [first, end)
        std::uint32_t headingEnd = 0;
        float tableTop = -1; // none: the page shows no table
    };
    // A line of the heading as it stands on its page.
    struct HeadingLine {
        std::uint32_t line = 0; // of the content's heading
        QStringView text;
        float height = 0;
    };
    struct Item {
        QRectF rect;
        QStringView text;
    };
    struct Column {
        double x = 0;
        double width = 0;
    };
    class Painter;

    const CReportFont& Font(double points, bool bold);
    double PageLines(const std::vector<ReportPageText>& lines, std::vector<bool>& together) const;
    void BreakHeading();
    void SizeColumns();
    void MeasureHeader();
    double RowHeight(size_t row) const;
    double CaptionHeight(size_t row, const CReportFont& bold) const;
    double Wanted(size_t row, double room) const;
    void Paginate();
    QString PageText(const QString& text, int page) const;
    std::vector<Item> Items(int page) const;

    const ReportContent& m_content;
    QPageLayout m_page;
    QSizeF m_sheet;
    QRectF m_area;
    double m_padX;
    double m_padY;
    std::vector<std::unique_ptr<CReportFont>> m_fonts;
    const CReportFont* m_normal = nullptr; // the report's size, for the lines at the top and foot
    const CReportFont* m_cells = nullptr;  // the table's cells, captions and spanning rows
    const CReportFont* m_cellsBold = nullptr;
    const CReportFont* m_header = nullptr;
    double m_cellPadX = 0;
    double m_headerPadX = 0;
    bool m_wordsBreak = false; // texts' words break where nothing else lets the table fit
    std::vector<const CReportFont*> m_headingFonts;
    std::vector<HeadingLine> m_headingLines;
    std::vector<Column> m_columns;
    double m_tableLeft = 0; // below 0 where the table takes of the left margin
    double m_tableWidth = 0;
    double m_pageHeaderHeight = 0;
    double m_pageFooterHeight = 0;
    std::vector<bool> m_headerTogether; // the parts of each page line side by side
    std::vector<bool> m_footerTogether;
    std::vector<double> m_headerHeights;
    double m_headerHeight = 0;
    std::vector<float> m_heights;
    std::vector<Page> m_pages;
};

// A4 in the content's orientation with margins of 10 mm.
QPageLayout DefaultReportPageLayout(const ReportContent& content);
// Told now and then while pages are printed or a PDF is written, on the thread that called: the pages
// painted so far and of how many; false stops the work.
using ReportPagesProgress = std::function<bool(int pages, int of)>;
// Paints pages `from` to `to` (from 1; 0: to the last) onto a device that pages itself (a printer, a
// PDF writer), set to the layout's page, telling the progress before each page; false when painting
// could not begin, a page could not be added or the progress stopped it.
bool PaintReportPages(const CReportLayout& layout, QPagedPaintDevice* device, int from = 1, int to = 0,
                      const ReportPagesProgress& progress = {});
// The parts a PDF of so many pages is written in when left to choose: one below a few dozen pages.
int ReportPdfParts(int pages);
// The reason a PDF stopped at the caller's word gives.
inline const QString kReportPdfStopped = QStringLiteral("Запись PDF-файла прервана.");
// Writes the pages as a PDF file page by page, whole or not at all (the file is replaced only once
// written); false with the reason. A large report is written in parts side by side, each by a PDF
// writer of its own on a thread of its own into a private temporary folder, and the parts are then
// joined into the one file. parts: 0 chooses by the page count, 1 writes with one writer, more ask for
// so many parts.
bool WriteReportPdf(const CReportLayout& layout, const QString& path, QString* error, int parts = 0,
                    const ReportPagesProgress& progress = {});
// The same on the content's default page.
bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error);
