// A report's content laid out on pages once, in units of 1/1200 inch that every device shares, so
// that the preview, the printer and the PDF writer show the same pages with the same breaks: the
// lines at the top and foot of every page ("Стр. N из M"), the heading lines on the first page, the
// table's header rows at the top of every page, a group's caption again on a page that continues
// the group, then the rows as far as they fit. Numbers and units stand on one line: the columns are
// sized from their content and the page's width, and where even that does not serve, the font of the
// widest columns is reduced, not below a legible floor. Texts break between words only. Laying out
// measures the rows' heights; a page is painted only when it is shown, printed or written.
#pragma once

#include "ReportContent.h"

#include <QPageLayout>
#include <QRectF>

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
    // Paints the page (from 0); the painter's coordinates are layout units from the area's top-left.
    void Paint(QPainter& painter, int page, const std::optional<Hit>& highlight = std::nullopt) const;
    // The first item after `after` (none: from the start) whose text holds `text`, letter case aside.
    std::optional<Hit> Find(const QString& text, const std::optional<Hit>& after) const;

    // The rows of a page, [first, end), and the group row whose caption it repeats (none when it begins
    // with a group's own row or outside any group).
    struct PageRows {
        size_t first = 0;
        size_t end = 0;
        std::optional<size_t> group;
    };
    PageRows Rows(int page) const;
    // The points of a column's cells.
    double ColumnPoints(int column) const;

private:
    struct Page {
        std::uint32_t first = 0;
        std::uint32_t end = 0;
        std::int32_t group = -1;
    };
    struct Item {
        QRectF rect;
        QStringView text;
    };
    struct Column {
        double x = 0;
        double width = 0;
        const CReportFont* font = nullptr;
        const CReportFont* bold = nullptr;
        double padX = 0;
    };
    class Painter;

    const CReportFont& Font(double points, bool bold);
    double PageLines(const std::vector<ReportPageText>& lines, std::vector<bool>& together) const;
    void SizeColumns();
    void MeasureHeader();
    double RowHeight(size_t row) const;
    double CaptionHeight(size_t row) const;
    void Paginate();
    double TableTop(int page) const;
    QString PageText(const QString& text, int page) const;
    std::vector<Item> Items(int page) const;

    const ReportContent& m_content;
    QPageLayout m_page;
    QSizeF m_sheet;
    QRectF m_area;
    double m_padX;
    double m_padY;
    std::vector<std::unique_ptr<CReportFont>> m_fonts;
    const CReportFont* m_normal = nullptr;
    const CReportFont* m_bold = nullptr;
    std::vector<const CReportFont*> m_headingFonts;
    std::vector<Column> m_columns;
    double m_tableWidth = 0;
    std::vector<double> m_headingHeights;
    double m_headingBottom = 0;
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
// Paints pages `from` to `to` (from 1; 0: to the last) onto a device that pages itself (a printer, a
// PDF writer), set to the layout's page; false when painting could not begin or a page could not be
// added.
bool PaintReportPages(const CReportLayout& layout, QPagedPaintDevice* device, int from = 1, int to = 0);
// Writes the pages as a PDF file page by page, whole or not at all (the file is replaced only once
// written); false with the reason.
bool WriteReportPdf(const CReportLayout& layout, const QString& path, QString* error);
// The same on the content's default page.
bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error);
