// Drawing and printing of the grid.
#include "GridView.h"

#include "AppMessage.h"

#include <QDateTime>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLocale>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>

namespace {

constexpr const char* kCharWidthSample = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ";

int QtTextFlags(unsigned format)
{
    int flags = (format & DT_RIGHT) ? Qt::AlignRight : (format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
    flags |= (format & DT_BOTTOM) ? Qt::AlignBottom : (format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
    if (format & DT_WORDBREAK)
        flags |= Qt::TextWordWrap;
    if (format & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;
    if (format & DT_NOCLIP)
        flags |= Qt::TextDontClip;
    return flags;
}

} // namespace

void CGridView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    OnDraw(painter, event->rect());
}

QFont CGridView::DeviceFont(const QFont& font) const
{
    if (!m_printing || font.pixelSize() > 0)
        return font;
    // Point sizes would follow the printer's resolution; the page keeps the screen's proportions.
    QFont scaled(font);
    scaled.setPixelSize(QFontInfo(font).pixelSize());
    return scaled;
}

void CGridView::DrawCellText(QPainter& painter, const QRect& rect, const CGridCell& cell, int width)
{
    if (cell.text.isEmpty() || rect.width() <= 0)
        return;
    painter.drawText(rect, QtTextFlags(cell.format), ShownText(cell, width, painter.fontMetrics()));
}

QString CGridView::ShownText(const CGridCell& cell, int width, const QFontMetrics& metrics) const
{
    if (!(cell.format & (GVF_FIGURE | DT_END_ELLIPSIS)) || cell.text.isEmpty())
        return cell.text;
    // Inside the margins, the grid lines and a focus frame, as ColumnContentWidth measures: a figure
    // shows whole or cut whether or not its cell has the focus.
    const int margin = m_model.GetMargin();
    int room = width - 2 - 2 * margin;
    if (cell.image >= 0 && cell.image < m_images.size())
        room -= m_images[cell.image].width() + margin;
    if ((cell.format & GVF_FIGURE) && metrics.horizontalAdvance(cell.text) <= room)
        return cell.text;
    if (!(cell.format & DT_END_ELLIPSIS))
        return QStringLiteral("###");
    const QString cut = metrics.elidedText(cell.text, Qt::ElideRight, std::max(0, room));
    // Even a cell too narrow for one digit shows that something is cut.
    return cut.isEmpty() ? QStringLiteral("\u2026") : cut;
}

QString CGridView::GetShownText(int row, int col) const
{
    const CGridCell* cell = GetCell(row, col);
    if (!cell || cell->rowSpan == 0 || cell->colSpan == 0)
        return QString();
    int width = 0;
    for (int c = col; c < col + std::max(1, cell->colSpan) && c < GetColumnCount(); ++c)
        width += GetColumnWidth(c);
    QFont font = cell->font;
    // A header cell in the focus cell's row or column is drawn in its bolder weight.
    const CCellID focus = GetFocusCell();
    if ((row < GetFixedRowCount() || col < GetFixedColumnCount()) && focus.IsValid()
        && (focus.row == row || focus.col == col))
        font.setWeight(QFont::DemiBold);
    return ShownText(*cell, width, QFontMetrics(font));
}

void CGridView::FillBackground(QPainter& painter, const QRect& clip)
{
    QRect visible;
    GetVisibleCellRange(&visible);
    const int right = visible.width(); // edges of the visible cells, exclusive
    const int bottom = visible.height();
    const int fw = GetFixedColumnWidth();
    const int fh = GetFixedRowHeight();
    const QColor& fixedBk = m_settings.fixedBkColour;
    painter.fillRect(QRect(0, clip.top(), fw, bottom - clip.top()) & clip, fixedBk);
    painter.fillRect(QRect(fw - 1, 0, right - fw + 1, fh) & clip, fixedBk);
    painter.fillRect(QRect(fw, fh, right - fw, bottom - fh) & clip, m_settings.bkColour);
    painter.fillRect(QRect(right, clip.top(), clip.right() - right + 1, clip.height()) & clip, m_settings.outerColour);
    painter.fillRect(QRect(clip.left(), bottom, right - clip.left(), clip.bottom() - bottom + 1) & clip,
                     m_settings.outerColour);
}

void CGridView::OnDraw(QPainter& painter, const QRect& clip)
{
    if (clip.isEmpty() || !m_settings.allowDraw)
        return;
    FillBackground(painter, clip);
    const CCellID tl = GetTopleftNonFixedCell();
    const CCellRange visible = GetVisibleCellRange();
    const int fr = GetFixedRowCount();
    const int fc = GetFixedColumnCount();
    const int fw = GetFixedColumnWidth();
    const int fh = GetFixedRowHeight();
    const QRect client = viewport()->rect();
    DrawCells(painter, clip, {0, 0, fr - 1, fc - 1}, {0, 0}, true, client);
    DrawCells(painter, clip, {tl.row, 0, visible.maxRow, fc - 1}, {0, fh}, true,
              QRect(0, fh, fw, client.height() - fh));
    DrawCells(painter, clip, {0, tl.col, fr - 1, visible.maxCol}, {fw, 0}, true, QRect(fw, 0, client.width() - fw, fh));
    DrawCells(painter, clip, {tl.row, tl.col, visible.maxRow, visible.maxCol}, {fw, fh}, false,
              QRect(fw, fh, client.width() - fw, client.height() - fh));
}

// One pass over a block of cells drawn from origin on. A covered cell whose anchor was not drawn
// in this pass (scrolled out, on an earlier page, or outside the clip) draws its anchor, cut
// to the pass's region, so that a span never leaves a hole.
void CGridView::DrawCells(QPainter& painter, const QRect& clip, CCellRange range, QPoint origin, bool header,
                          const QRect& region)
{
    std::vector<CCellID> spans;
    const auto draw = [&](int row, int col, const QRect& rect) {
        return header ? DrawHeaderCell(painter, row, col, rect, false) : DrawDataCell(painter, row, col, rect, false);
    };
    int y = origin.y();
    for (int r = range.minRow; r <= range.maxRow; ++r) {
        const int h = GetRowHeight(r);
        if (y > clip.bottom())
            break;
        if (y + h - 1 < clip.top()) {
            y += h;
            continue;
        }
        int x = origin.x();
        for (int c = range.minCol; c <= range.maxCol; ++c) {
            const int w = GetColumnWidth(c);
            if (x > clip.right())
                break;
            const CGridCell* cell = x + w - 1 < clip.left() ? nullptr : GetCell(r, c);
            if (cell && cell->rowSpan == 1 && cell->colSpan == 1) {
                draw(r, c, QRect(x, y, w, h));
            } else if (cell && cell->rowSpan != 0 && cell->colSpan != 0) {
                spans.emplace_back(r, c);
                draw(r, c, m_model.GetSpanRect(r, c, {r, c}, {x, y}));
            } else if (cell) {
                const CCellID anchor = m_model.GetAnchor(r, c);
                if (std::find(spans.begin(), spans.end(), anchor) == spans.end()) {
                    spans.push_back(anchor);
                    painter.save();
                    painter.setClipRect(region, Qt::IntersectClip);
                    draw(anchor.row, anchor.col, m_model.GetSpanRect(anchor.row, anchor.col, {r, c}, {x, y}));
                    painter.restore();
                }
            }
            x += w;
        }
        y += h;
    }
}

bool CGridView::DrawHeaderCell(QPainter& painter, int row, int col, const QRect& rect, bool)
{
    const CGridCell* cell = GetCell(row, col);
    if (!m_settings.allowDraw || !cell)
        return false;
    if (!m_printing)
        painter.fillRect(rect, cell->bkColour.isValid() ? cell->bkColour : m_settings.fixedBkColour);
    QFont font = cell->font;
    const CCellID focus = GetFocusCell();
    const bool focusLine = !m_printing && focus.IsValid() && (focus.row == row || focus.col == col);
    if (focusLine)
        font.setWeight(QFont::DemiBold);
    if (!m_printing) {
        // Sunken for the focus cell's row and column, raised for the others; on paper the
        // printed lines stand for both.
        const QPalette& pal = palette();
        painter.setPen(QPen(pal.color(focusLine ? QPalette::Dark : QPalette::Light), 0));
        painter.drawLine(rect.topRight(), rect.topLeft());
        painter.drawLine(rect.topLeft(), rect.bottomLeft());
        painter.setPen(QPen(pal.color(focusLine ? QPalette::Light : QPalette::Shadow), 0));
        painter.drawLine(rect.topRight(), rect.bottomRight());
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    }
    QRect text = rect.adjusted(1 + m_model.GetMargin(), 1, -1 - m_model.GetMargin(), -1);
    if (cell->image >= 0 && cell->image < m_images.size()) {
        painter.drawPixmap(text.topLeft(), m_images[cell->image]);
        text.setLeft(text.left() + m_images[cell->image].width() + m_model.GetMargin());
    }
    painter.setFont(DeviceFont(font));
    painter.setPen(cell->fgColour.isValid() ? cell->fgColour : m_settings.fixedTextColour);
    DrawCellText(painter, text, *cell, rect.width());
    return true;
}

bool CGridView::DrawDataCell(QPainter& painter, int row, int col, const QRect& rect, bool)
{
    const CGridCell* cell = GetCell(row, col);
    if (!m_settings.allowDraw || !cell)
        return false;
    const QColor bk = cell->bkColour.isValid() ? cell->bkColour : m_settings.bkColour;
    QColor fg = cell->fgColour.isValid() ? cell->fgColour : m_settings.textColour;
    QRect inner = rect;
    if ((cell->state & GVIS_FOCUSED) && !m_printing) {
        painter.fillRect(rect, bk);
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -2, -2)); // inside the grid lines
        inner.adjust(1, 1, -1, -1);
    } else if ((cell->state & GVIS_SELECTED) && !m_printing) {
        painter.fillRect(rect, palette().color(QPalette::Highlight));
        fg = palette().color(QPalette::HighlightedText);
    } else {
        painter.fillRect(rect, bk);
    }
    if ((cell->state & GVIS_MARKED) && !m_printing) {
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -2, -2));
    }
    inner.adjust(m_model.GetMargin(), 0, -m_model.GetMargin(), 0);
    if (cell->image >= 0 && cell->image < m_images.size()) {
        painter.drawPixmap(inner.topLeft(), m_images[cell->image]);
        inner.setLeft(inner.left() + m_images[cell->image].width() + m_model.GetMargin());
    }
    painter.setFont(DeviceFont(cell->font));
    painter.setPen(fg);
    DrawCellText(painter, inner, *cell, rect.width());
    painter.setPen(QPen(m_settings.gridLineColour, 0));
    if (m_settings.gridLines & GVL_VERT)
        painter.drawLine(rect.topRight(), rect.bottomRight());
    if (m_settings.gridLines & GVL_HORZ)
        painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    return true;
}

// ---- printing

bool CGridView::Print(QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    CPrintInfo info;
    info.printer = &printer;
    OnBeginPrinting(painter, info);
    for (int page = info.minPage; page <= info.maxPage; ++page) {
        if (page > info.minPage && !printer.newPage())
            break;
        info.curPage = page;
        OnPrint(painter, info);
    }
    OnEndPrinting(painter, info);
    return painter.end();
}

void CGridView::OnBeginPrinting(QPainter& painter, CPrintInfo& info)
{
    m_printFont = QFont(QStringLiteral("Times New Roman"));
    m_printFont.setPixelSize(9);
    m_printFont.setWeight(QFont::Normal);
    const QFontMetrics fm(m_printFont);
    GridPrintMetrics& m = m_print;
    m = {};
    m.charWidth = std::max(1, fm.horizontalAdvance(QLatin1String(kCharWidthSample)) / 52);
    m.charHeight = fm.height();
    m.printableWidth = std::max(1, painter.device()->width());
    m.printableHeight = std::max(1, painter.device()->height());
    m.pageWidth = GetVirtualWidth() + 8 * m.charWidth;
    m.pageHeight = int(qint64(m.pageWidth) * m.printableHeight / m.printableWidth);
    m.usableHeight = m.pageHeight - 6 * m.charHeight - GetFixedRowHeight();
    m.pages = m_model.PageRows(m.usableHeight);
    info.minPage = 1;
    info.maxPage = int(m.pages.size());
    info.curPage = 1;
}

void CGridView::OnPrint(QPainter& painter, CPrintInfo& info)
{
    const GridPrintMetrics& m = m_print;
    const int cw = m.charWidth;
    const int ch = m.charHeight;
    const auto pageUnits = [&] {
        painter.resetTransform();
        painter.setWindow(-4 * cw, 0, m.pageWidth, m.pageHeight); // a left margin of four characters
        painter.setViewport(0, 0, m.printableWidth, m.printableHeight);
        painter.setFont(m_printFont);
    };
    m_printing = true;
    painter.save();
    pageUnits();
    const int bandWidth = m.pageWidth - 8 * cw;
    info.drawRect = QRect(0, 0, bandWidth, 2 * ch);
    PrintPageHeader(painter, info);
    painter.translate(0, 3 * ch);
    info.drawRect = QRect(0, 0, bandWidth, GetFixedRowHeight());
    PrintHeaderRows(painter, info);
    painter.translate(0, GetFixedRowHeight());
    if (info.curPage >= 1 && info.curPage <= int(m.pages.size())) {
        const auto [first, last] = m.pages[size_t(info.curPage - 1)];
        if (first <= last) {
            // A row taller than the page is cut at the page's end.
            const QRect page(0, 0, GetVirtualWidth() + 1, m.usableHeight);
            painter.save();
            painter.setClipRect(page);
            DrawCells(painter, page, {first, 0, last, GetColumnCount() - 1}, {0, 0}, false, page);
            DrawPrintLines(painter, first, last);
            painter.restore();
        }
    }
    pageUnits();
    painter.translate(0, m.pageHeight - 2 * ch);
    info.drawRect = QRect(0, 0, bandWidth, 2 * ch);
    PrintFooter(painter, info);
    painter.restore();
    m_printing = false;
}

void CGridView::OnEndPrinting(QPainter&, CPrintInfo&)
{
    m_printing = false;
}

// The lines printed over the cells of rows first..last drawn from (0, 0): bottom and right edges,
// the top edge of row 0 and the left edge of column 0, each joining its neighbour. No line
// crosses the inside of a span.
void CGridView::DrawPrintLines(QPainter& painter, int firstRow, int lastRow)
{
    painter.setPen(QPen(Qt::black, 0));
    const auto coveredFromLeft = [this](int r, int c) {
        const CGridCell* cell = GetCell(r, c);
        return cell && cell->colSpan == 0;
    };
    const auto coveredFromAbove = [this](int r, int c) {
        const CGridCell* cell = GetCell(r, c);
        return cell && cell->rowSpan == 0;
    };
    int y = 0;
    for (int r = firstRow; r <= lastRow; ++r) {
        const int bottom = y + GetRowHeight(r) - 1;
        int x = 0;
        for (int c = 0; c < GetColumnCount(); ++c) {
            const int right = x + GetColumnWidth(c) - 1;
            if (m_settings.gridLines & GVL_HORZ) {
                if (!(r < lastRow && coveredFromAbove(r + 1, c)))
                    painter.drawLine(c == 0 ? x : x - 1, bottom, right, bottom);
                if (r == 0)
                    painter.drawLine(c == 0 ? x : x - 1, y, right, y);
            }
            if (m_settings.gridLines & GVL_VERT) {
                if (!coveredFromLeft(r, c + 1))
                    painter.drawLine(right, r == firstRow ? y : y - 1, right, bottom);
                if (c == 0)
                    painter.drawLine(x, r == firstRow ? y : y - 1, x, bottom);
            }
            x = right + 1;
        }
        y = bottom + 1;
    }
}

void CGridView::PrintHeaderRows(QPainter& painter, CPrintInfo&)
{
    painter.setFont(m_printFont);
    const int rows = GetFixedRowCount();
    if (rows == 0)
        return;
    const QRect band(0, 0, GetVirtualWidth() + 1, GetFixedRowHeight());
    DrawCells(painter, band, {0, 0, rows - 1, GetColumnCount() - 1}, {0, 0}, true, band);
    DrawPrintLines(painter, 0, rows - 1);
}

void CGridView::PrintPageHeader(QPainter& painter, CPrintInfo& info)
{
    painter.save();
    QFont bold = m_printFont;
    bold.setWeight(QFont::Bold);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    painter.drawText(info.drawRect, flags | Qt::AlignRight,
                     LoadStringRes(57344)); // string 57344: the page footer "Page %d of %d"
    for (const QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (!w->windowTitle().isEmpty()) {
            painter.drawText(info.drawRect, flags | Qt::AlignHCenter, w->windowTitle());
            break;
        }
    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(info.drawRect.bottomLeft(), info.drawRect.bottomRight());
    painter.restore();
}

void CGridView::PrintFooter(QPainter& painter, CPrintInfo& info)
{
    painter.save();
    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(info.drawRect.topLeft(), info.drawRect.topRight());
    QFont bold = m_printFont;
    bold.setWeight(QFont::Bold);
    painter.setFont(bold);
    const QRect band = info.drawRect.translated(0, m_print.charHeight / 2);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip;
    painter.drawText(band, flags | Qt::AlignLeft, QStringLiteral("Page %1 of %2").arg(info.curPage).arg(info.maxPage));
    painter.drawText(band, flags | Qt::AlignRight,
                     QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    painter.restore();
}
