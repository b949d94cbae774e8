#include "ReportLayout.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>

#include <algorithm>
#include <numeric>

namespace {

// Families that fontconfig substitutes where they are missing.
const QString kFontFamily = QStringLiteral("Arial");
constexpr double kMarginMm = 10;
constexpr double kHeadingGapMm = 3;

Qt::Alignment Horizontal(ReportAlign align)
{
    return align == ReportAlign::Right ? Qt::AlignRight
        : align == ReportAlign::Center ? Qt::AlignHCenter
                                       : Qt::AlignLeft;
}

QTextOption WrapOption(ReportAlign align)
{
    QTextOption option(Horizontal(align));
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Line feeds of a stored text break its lines.
QString WithLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(u'\n', QChar::LineSeparator);
    return out;
}

// Lays the text out in the width; answers its height.
double LayOut(QTextLayout& layout, double width)
{
    double height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

CReportPages::CReportPages(const ReportContent& content, QPaintDevice* device)
    : m_content(content)
    , m_device(device)
    , m_dpi(device->logicalDpiY())
    , m_area(0, 0, device->width(), device->height())
    , m_font(FontOf(content.fontSize, false))
    , m_bold(FontOf(content.fontSize, true))
    , m_padX(Mm(1))
    , m_padY(Mm(0.6))
{
    // Columns share the width by their weights.
    double total = 0;
    for (const ReportLayoutColumn& c : content.columns)
        total += c.width;
    double x = 0;
    m_columnX.push_back(0);
    for (const ReportLayoutColumn& c : content.columns) {
        x += total > 0 ? c.width / total * m_area.width() : 0;
        m_columnX.push_back(x);
    }

    for (const ReportHeadingLine& line : content.heading)
        m_headingHeights.push_back(TextHeight(line.text, FontOf(line.size, line.bold), m_area.width()));
    m_headingBottom = std::accumulate(m_headingHeights.begin(), m_headingHeights.end(), 0.0);
    if (!content.heading.empty())
        m_headingBottom += Mm(kHeadingGapMm);

    // Header rows: as high as their tallest single-row cell; a cell spanning rows that needs more
    // makes its last row higher.
    const double lineHeight = QFontMetricsF(m_font, m_device).height() + 2 * m_padY;
    m_headerHeights.assign(size_t(content.headerRows), lineHeight);
    std::vector<const ReportHeaderCell*> spanning;
    for (const ReportHeaderCell& cell : content.header) {
        if (cell.rowSpan > 1) {
            spanning.push_back(&cell);
            continue;
        }
        const double width = m_columnX[size_t(cell.column + cell.columnSpan)] - m_columnX[size_t(cell.column)];
        const double need = TextHeight(cell.text, m_font, width - 2 * m_padX) + 2 * m_padY;
        m_headerHeights[size_t(cell.row)] = std::max(m_headerHeights[size_t(cell.row)], need);
    }
    for (const ReportHeaderCell* cell : spanning) {
        const double width = m_columnX[size_t(cell->column + 1)] - m_columnX[size_t(cell->column)];
        const double need = TextHeight(cell->text, m_font, width - 2 * m_padX) + 2 * m_padY;
        const auto first = m_headerHeights.begin() + cell->row;
        const double have = std::accumulate(first, first + cell->rowSpan, 0.0);
        if (need > have)
            m_headerHeights[size_t(cell->row + cell->rowSpan - 1)] += need - have;
    }
    const double headerHeight = std::accumulate(m_headerHeights.begin(), m_headerHeights.end(), 0.0);

    Page page;
    page.headerY = m_headingBottom;
    double y = m_headingBottom + headerHeight;
    for (size_t i = 0; i < content.rows.size(); ++i) {
        const ReportBodyRow& row = content.rows[i];
        const QFont& font = row.bold ? m_bold : m_font;
        double height = 0;
        if (row.spans) {
            height = TextHeight(row.spanText, font, m_area.width() - 2 * m_padX);
        } else {
            for (int c = 0; c < row.cells.size() && c + 1 < int(m_columnX.size()); ++c)
                height = std::max(
                    height,
                    TextHeight(row.cells[c], font, m_columnX[size_t(c + 1)] - m_columnX[size_t(c)] - 2 * m_padX));
        }
        height += 2 * m_padY;
        if (y + height > m_area.height() && !page.rows.empty()) {
            m_pages.push_back(std::move(page));
            page = Page();
            y = headerHeight;
        }
        page.rows.push_back(PlacedRow{int(i), y, height});
        y += height;
    }
    m_pages.push_back(std::move(page));
}

double CReportPages::Mm(double mm) const
{
    return mm * m_dpi / 25.4;
}

QFont CReportPages::FontOf(double points, bool bold) const
{
    QFont font(kFontFamily);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

double CReportPages::TextHeight(const QString& text, const QFont& font, double width) const
{
    const QFontMetricsF metrics(font, m_device);
    if (!text.contains(u'\n') && metrics.horizontalAdvance(text) <= width)
        return metrics.height();
    QTextLayout layout(WithLineBreaks(text), font, m_device);
    layout.setTextOption(WrapOption(ReportAlign::Left));
    return std::max(LayOut(layout, std::max(width, 1.0)), metrics.height());
}

void CReportPages::DrawText(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                            ReportAlign align, bool centreVertically) const
{
    if (text.isEmpty())
        return;
    const QRectF inner = rect.adjusted(m_padX, m_padY, -m_padX, -m_padY);
    painter.setFont(font);
    const QFontMetricsF metrics(font, m_device);
    if (!text.contains(u'\n') && metrics.horizontalAdvance(text) <= inner.width()) {
        painter.drawText(inner, Horizontal(align) | (centreVertically ? Qt::AlignVCenter : Qt::AlignTop), text);
        return;
    }
    QTextLayout layout(WithLineBreaks(text), font, m_device);
    layout.setTextOption(WrapOption(align));
    const double height = LayOut(layout, std::max(inner.width(), 1.0));
    const double top = centreVertically ? inner.top() + std::max(0.0, (inner.height() - height) / 2) : inner.top();
    layout.draw(&painter, QPointF(inner.left(), top));
}

QRectF CReportPages::CellRect(int column, double y, double height) const
{
    return QRectF(m_columnX[size_t(column)], y, m_columnX[size_t(column + 1)] - m_columnX[size_t(column)], height);
}

QRectF CReportPages::HeaderRect(const ReportHeaderCell& cell, double top) const
{
    const auto first = m_headerHeights.begin();
    const double y = top + std::accumulate(first, first + cell.row, 0.0);
    const double height = std::accumulate(first + cell.row, first + cell.row + cell.rowSpan, 0.0);
    return QRectF(m_columnX[size_t(cell.column)], y,
                  m_columnX[size_t(cell.column + cell.columnSpan)] - m_columnX[size_t(cell.column)], height);
}

void CReportPages::Paint(QPainter& painter, int pageIndex) const
{
    if (pageIndex < 0 || pageIndex >= count())
        return;
    const Page& page = m_pages[size_t(pageIndex)];
    painter.save();
    painter.setPen(QPen(Qt::black, Mm(0.2)));
    const QColor highlight(255, 236, 130);
    const auto highlighted = [&](int item) {
        return m_highlight && m_highlight->page == pageIndex && m_highlight->item == item;
    };
    int item = 0;

    if (pageIndex == 0) {
        double y = 0;
        for (size_t i = 0; i < m_content.heading.size(); ++i) {
            const ReportHeadingLine& line = m_content.heading[i];
            const QRectF rect(0, y, m_area.width(), m_headingHeights[i]);
            if (highlighted(item))
                painter.fillRect(rect, highlight);
            // Heading lines run the whole width: no cell padding.
            painter.setFont(FontOf(line.size, line.bold));
            QTextLayout layout(WithLineBreaks(line.text), painter.font(), m_device);
            layout.setTextOption(WrapOption(line.align));
            LayOut(layout, m_area.width());
            layout.draw(&painter, rect.topLeft());
            y += m_headingHeights[i];
            ++item;
        }
    }

    for (const ReportHeaderCell& cell : m_content.header) {
        const QRectF rect = HeaderRect(cell, page.headerY);
        painter.drawRect(rect);
        DrawText(painter, rect, cell.text, m_font, ReportAlign::Center, true);
    }

    for (const PlacedRow& placed : page.rows) {
        const ReportBodyRow& row = m_content.rows[size_t(placed.row)];
        const QFont& font = row.bold ? m_bold : m_font;
        if (row.spans) {
            const QRectF rect(0, placed.y, m_area.width(), placed.height);
            if (highlighted(item))
                painter.fillRect(rect, highlight);
            painter.drawRect(rect);
            DrawText(painter, rect, row.spanText, font, ReportAlign::Left, true);
            ++item;
            continue;
        }
        for (int c = 0; c < row.cells.size() && c < int(m_content.columns.size()); ++c) {
            const QRectF rect = CellRect(c, placed.y, placed.height);
            if (highlighted(item))
                painter.fillRect(rect, highlight);
            painter.drawRect(rect);
            DrawText(painter, rect, row.cells[c], font, m_content.columns[size_t(c)].align, true);
            ++item;
        }
    }
    painter.restore();
}

std::vector<CReportPages::Item> CReportPages::Items(int pageIndex) const
{
    std::vector<Item> items;
    const Page& page = m_pages[size_t(pageIndex)];
    if (pageIndex == 0) {
        double y = 0;
        for (size_t i = 0; i < m_content.heading.size(); ++i) {
            items.push_back(Item{QRectF(0, y, m_area.width(), m_headingHeights[i]), &m_content.heading[i].text});
            y += m_headingHeights[i];
        }
    }
    for (const PlacedRow& placed : page.rows) {
        const ReportBodyRow& row = m_content.rows[size_t(placed.row)];
        if (row.spans) {
            items.push_back(Item{QRectF(0, placed.y, m_area.width(), placed.height), &row.spanText});
            continue;
        }
        for (int c = 0; c < row.cells.size() && c < int(m_content.columns.size()); ++c)
            items.push_back(Item{CellRect(c, placed.y, placed.height), &row.cells[c]});
    }
    return items;
}

std::optional<CReportPages::Hit> CReportPages::Find(const QString& text, const std::optional<Hit>& after) const
{
    if (text.isEmpty())
        return std::nullopt;
    int page = after ? after->page : 0;
    int from = after ? after->item + 1 : 0;
    for (; page < count(); ++page, from = 0) {
        const std::vector<Item> items = Items(page);
        for (int i = from; i < int(items.size()); ++i)
            if (items[size_t(i)].text->contains(text, Qt::CaseInsensitive))
                return Hit{page, i, items[size_t(i)].rect};
    }
    return std::nullopt;
}

void SetUpReportPage(const ReportContent& content, QPagedPaintDevice* device)
{
    device->setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                      content.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
}

bool PaintReport(const ReportContent& content, QPagedPaintDevice* device,
                 const std::optional<CReportPages::Hit>& highlight)
{
    CReportPages pages(content, device);
    pages.SetHighlight(highlight);
    QPainter painter;
    if (!painter.begin(device))
        return false;
    for (int i = 0; i < pages.count(); ++i) {
        if (i > 0 && !device->newPage())
            return false;
        pages.Paint(painter, i);
    }
    return painter.end();
}

bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setTitle(content.title);
        writer.setCreator(QStringLiteral("Прогноз"));
        writer.setResolution(600);
        SetUpReportPage(content, &writer);
        painted = PaintReport(content, &writer);
    }
    if (!painted) {
        file.cancelWriting();
        if (error)
            *error = QStringLiteral("Не удалось построить страницы отчета.");
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
