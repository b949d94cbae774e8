// A report's content laid out on the pages of a paint device (a PDF writer, a printer, the preview):
// the heading lines on the first page, the table's header rows at the top of every page, then the
// rows as far as they fit. Everything is measured in the device's own units.
#pragma once

#include "ReportContent.h"

#include <QFont>
#include <QRectF>

#include <optional>
#include <vector>

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;

class CReportPages {
public:
    // Lays the content out on pages the size of the device's paint area.
    CReportPages(const ReportContent& content, QPaintDevice* device);

    int count() const { return int(m_pages.size()); }
    void Paint(QPainter& painter, int page) const;

    // A heading line or a table cell that holds a text.
    struct Hit {
        int page = 0;
        int item = 0; // the item's place on its page
        QRectF rect;
    };
    // The first item after `after` (none: from the start) whose text holds `text`, letter case aside.
    std::optional<Hit> Find(const QString& text, const std::optional<Hit>& after) const;
    // Painted behind the found item.
    void SetHighlight(const std::optional<Hit>& hit) { m_highlight = hit; }

private:
    struct PlacedRow {
        int row;
        double y;
        double height;
    };
    struct Page {
        double headerY = 0;
        std::vector<PlacedRow> rows;
    };
    struct Item {
        QRectF rect;
        const QString* text;
    };

    double Mm(double mm) const;
    QFont FontOf(double points, bool bold) const;
    // The height of a text set in the width, wrapped where it must be.
    double TextHeight(const QString& text, const QFont& font, double width) const;
    void DrawText(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, ReportAlign align,
                  bool centreVertically) const;
    QRectF HeaderRect(const ReportHeaderCell& cell, double top) const;
    QRectF CellRect(int column, double y, double height) const;
    // Every searchable item of a page, in reading order.
    std::vector<Item> Items(int page) const;

    const ReportContent& m_content;
    QPaintDevice* m_device;
    double m_dpi;
    QRectF m_area;
    QFont m_font;
    QFont m_bold;
    double m_padX;
    double m_padY;
    std::vector<double> m_columnX; // left edges, and the right edge of the last column
    std::vector<double> m_headerHeights;
    std::vector<double> m_headingHeights;
    double m_headingBottom = 0;
    std::vector<Page> m_pages;
    std::optional<Hit> m_highlight;
};

// Writes the content as a PDF file, whole or not at all (the file is replaced only once written);
// false with the reason.
bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error);
// Paints every page onto a device that pages itself (a printer, the preview); false when painting
// could not begin.
bool PaintReport(const ReportContent& content, QPagedPaintDevice* device,
                 const std::optional<CReportPages::Hit>& highlight = std::nullopt);
// The page set-up of the content: A4, its orientation, margins of 10 mm.
void SetUpReportPage(const ReportContent& content, QPagedPaintDevice* device);
