#include "ReportLayout.h"

#include "ReportText.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

namespace {

// Families that fontconfig substitutes where they are missing.
const QString kFontFamily = QStringLiteral("Arial");
constexpr double kMarginMm = 10;
constexpr double kHeadingGapMm = 3;
constexpr double kPageLineGapMm = 1.5;
constexpr double kPartGapMm = 4;

double Mm(double mm)
{
    return mm * kReportLayoutDpi / 25.4;
}

} // namespace

// A font at a size in layout units. Texts are measured and painted through its own glyphs and their
// design advances, so that a text is as wide on every device as it was laid out; a text it has no
// glyph for (or one with combining marks or control characters) goes through Qt's text layout.
class CReportFont {
public:
    CReportFont(double points, bool bold)
        : m_points(points)
        , m_bold(bold)
        , m_font(kFontFamily)
    {
        const double pixels = points * kReportLayoutDpi / 72.0;
        m_font.setPixelSize(std::max(1, int(std::lround(pixels))));
        m_font.setBold(bold);
        m_font.setKerning(false);
        m_font.setHintingPreference(QFont::PreferNoHinting);
        m_raw = QRawFont::fromFont(m_font);
        const QFontMetricsF metrics(m_font);
        if (m_raw.isValid()) {
            m_raw.setPixelSize(pixels);
            m_ascent = m_raw.ascent();
            m_lineHeight = m_raw.ascent() + m_raw.descent();
        } else {
            m_ascent = metrics.ascent();
            m_lineHeight = metrics.height();
        }
        // The characters of Russian and Latin texts are looked up at once; others when first met.
        for (char16_t u = 0; u < m_table.size(); ++u)
            m_table[u] = Look(QChar(u));
    }

    double points() const { return m_points; }
    bool bold() const { return m_bold; }
    const QFont& font() const { return m_font; }
    const QRawFont& raw() const { return m_raw; }
    double ascent() const { return m_ascent; }
    double lineHeight() const { return m_lineHeight; }

    // Whether the font's own glyphs show the text.
    bool Simple(QStringView text) const
    {
        for (QChar c : text)
            if (Of(c).advance < 0)
                return false;
        return true;
    }

    double Width(QStringView text) const
    {
        double width = 0;
        for (QChar c : text) {
            const Glyph& g = Of(c);
            if (g.advance < 0)
                return QFontMetricsF(m_font).horizontalAdvance(text.toString());
            width += g.advance;
        }
        return width;
    }

    // The widest line (lines end at line feeds) and the widest word of the text.
    struct Extent {
        double line = 0;
        double word = 0;
    };
    Extent ExtentOf(QStringView text) const
    {
        Extent e;
        double line = 0;
        double word = 0;
        for (QChar c : text) {
            const Glyph& g = Of(c);
            if (g.advance < 0)
                return ComplexExtent(text);
            if (c == u'\n') {
                line = word = 0;
            } else if (c == u' ') {
                line += g.advance;
                word = 0;
            } else {
                line += g.advance;
                word += g.advance;
            }
            e.line = std::max(e.line, line);
            e.word = std::max(e.word, word);
        }
        return e;
    }

    // Adds the glyphs of a simple text from the baseline point on. Each glyph stands at whole layout
    // units (a 1200th of an inch): the PDF then spells its places short.
    void AddGlyphs(QStringView text, QPointF at, QList<quint32>& glyphs, QList<QPointF>& positions) const
    {
        double x = at.x();
        const double y = std::round(at.y());
        for (QChar c : text) {
            const Glyph& g = Of(c);
            glyphs.push_back(g.index);
            positions.push_back(QPointF(std::round(x), y));
            x += g.advance;
        }
    }

private:
    // advance -1: the font's own glyphs do not serve the character.
    struct Glyph {
        quint32 index = 0;
        float advance = -1;
    };

    const Glyph& Of(QChar c) const
    {
        const char16_t u = c.unicode();
        if (u < m_table.size())
            return m_table[u];
        // Layouts measure on several threads at once.
        const std::lock_guard<std::mutex> lock(m_otherLock);
        const auto it = m_other.constFind(u);
        return it != m_other.constEnd() ? *it : *m_other.insert(u, Look(c));
    }

    Glyph Look(QChar c) const
    {
        Glyph g;
        if (c == u'\n') {
            g.advance = 0; // lines are broken before they are painted
            return g;
        }
        quint32 index = 0;
        int count = 1;
        const bool plain = !c.isSurrogate() && !c.isMark() && c.category() != QChar::Other_Control
            && c.category() != QChar::Other_Format;
        if (plain && m_raw.isValid() && m_raw.glyphIndexesForChars(&c, 1, &index, &count) && count == 1 && index != 0) {
            QPointF advance;
            m_raw.advancesForGlyphIndexes(&index, &advance, 1, QRawFont::UseDesignMetrics);
            g.index = index;
            g.advance = float(advance.x());
        }
        return g;
    }

    Extent ComplexExtent(QStringView text) const
    {
        Extent e;
        const QFontMetricsF metrics(m_font);
        for (QStringView line : text.split(u'\n')) {
            e.line = std::max(e.line, metrics.horizontalAdvance(line.toString()));
            for (QStringView word : line.split(u' '))
                e.word = std::max(e.word, metrics.horizontalAdvance(word.toString()));
        }
        return e;
    }

    double m_points;
    bool m_bold;
    QFont m_font;
    QRawFont m_raw;
    double m_ascent = 0;
    double m_lineHeight = 0;
    mutable std::array<Glyph, 0x500> m_table;
    mutable QHash<char16_t, Glyph> m_other;
    mutable std::mutex m_otherLock;
};

namespace {

// Calls `line` with each line of a paragraph set in the width: where the next word does not fit, the
// line ends before it (the blanks at the break go); a word wider than the width breaks between letters
// only when `anywhere`, else it stands alone. Answers the number of lines.
template <class Line>
int BreakParagraph(QStringView text, const CReportFont& font, double width, bool anywhere, Line& line)
{
    if (text.isEmpty() || font.Width(text) <= width) {
        line(text);
        return 1;
    }
    int count = 0;
    qsizetype start = -1; // of the line being filled
    qsizetype end = 0;
    double filled = 0;
    const auto output = [&](QStringView part) {
        line(part);
        ++count;
    };
    qsizetype pos = 0;
    const qsizetype length = text.size();
    while (pos < length) {
        const qsizetype gap = pos;
        while (pos < length && text[pos] == u' ')
            ++pos;
        if (pos >= length)
            break;
        const qsizetype wordStart = pos;
        while (pos < length && text[pos] != u' ')
            ++pos;
        const QStringView word = text.mid(wordStart, pos - wordStart);
        const double wordWidth = font.Width(word);
        if (start >= 0) {
            const double gapWidth = font.Width(text.mid(end, wordStart - end));
            if (filled + gapWidth + wordWidth <= width) {
                filled += gapWidth + wordWidth;
                end = pos;
                continue;
            }
            output(text.mid(start, end - start));
            start = -1;
        }
        // The paragraph's leading blanks (an indentation) stay with its first word.
        qsizetype from = count == 0 && gap == 0 ? 0 : wordStart;
        if (anywhere && font.Width(text.mid(from, pos - from)) > width) {
            // Letter by letter: full parts go out, the rest begins the next line.
            qsizetype partStart = from;
            for (qsizetype i = from + 1; i <= pos; ++i) {
                if (font.Width(text.mid(partStart, i - partStart)) > width && i - 1 > partStart) {
                    output(text.mid(partStart, i - 1 - partStart));
                    partStart = i - 1;
                }
            }
            from = partStart;
        }
        start = from;
        end = pos;
        filled = font.Width(text.mid(start, end - start));
    }
    if (start >= 0)
        output(text.mid(start, end - start));
    return std::max(count, 1);
}

// The same over the text's lines, which line feeds end.
template <class Line>
int BreakLines(QStringView text, const CReportFont& font, double width, bool anywhere, Line&& line)
{
    int count = 0;
    qsizetype from = 0;
    while (true) {
        qsizetype end = text.indexOf(u'\n', from);
        if (end < 0)
            end = text.size();
        count += BreakParagraph(text.mid(from, end - from), font, width, anywhere, line);
        if (end >= text.size())
            break;
        from = end + 1;
    }
    return count;
}

int CountLines(QStringView text, const CReportFont& font, double width, bool anywhere)
{
    if (!text.contains(u'\n') && font.Width(text) <= width)
        return 1;
    return BreakLines(text, font, width, anywhere, [](QStringView) {});
}

// Calls work(from, to) over [0, count) in parts side by side on a few threads when the count is large.
template <class Work>
void InParts(size_t count, Work&& work)
{
    constexpr size_t kPerPart = 100000;
    const size_t parts =
        std::clamp<size_t>(count / kPerPart, 1, size_t(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)));
    std::vector<std::thread> threads;
    for (size_t part = 1; part < parts; ++part)
        threads.emplace_back([&, part] { work(count * part / parts, count * (part + 1) / parts); });
    work(0, count / parts);
    for (std::thread& thread : threads)
        thread.join();
}

// Widths by the weights within `total`, none below its minimum: columns whose share falls short get
// their minimum, the others share what is left.
std::vector<double> ShareOut(const std::vector<double>& weights, const std::vector<double>& minimum, double total)
{
    const size_t n = weights.size();
    std::vector<double> width(n, 0);
    std::vector<bool> fixed(n, false);
    for (bool changed = true; changed;) {
        changed = false;
        double weight = 0;
        double left = total;
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i])
                left -= minimum[i];
            else
                weight += weights[i];
        }
        for (size_t i = 0; i < n; ++i) {
            if (fixed[i]) {
                width[i] = minimum[i];
                continue;
            }
            width[i] = weight > 0 ? weights[i] / weight * left : 0;
            if (width[i] < minimum[i]) {
                fixed[i] = true;
                changed = true;
            }
        }
    }
    return width;
}

// The largest page number a table of so many rows may reach: at most a page a row, and one more.
int WidestPageNumber(size_t rows)
{
    int widest = 9;
    for (size_t n = rows + 1; n >= 10; n /= 10)
        widest = widest * 10 + 9;
    return widest;
}

QString WithPageNumbers(const QString& text, int page, int pages)
{
    if (!text.contains(u'{'))
        return text;
    return ExpandReportText(text, [&](const QString& name, int) {
        if (name == kReportPagePlaceholder)
            return QString::number(page);
        if (name == kReportPagesPlaceholder)
            return QString::number(pages);
        return QLatin1Char('{') + name + QLatin1Char('}');
    });
}

} // namespace

// What one page paints: the glyphs of each font gathered into one run, the rules into one set of
// lines, both drawn at the end.
class CReportLayout::Painter {
public:
    explicit Painter(QPainter& painter)
        : m_painter(painter)
    {
    }

    void Text(QStringView text, const CReportFont& font, double x, double baseline)
    {
        if (text.isEmpty())
            return;
        if (font.raw().isValid() && font.Simple(text)) {
            Run& run = m_runs[&font];
            font.AddGlyphs(text, QPointF(x, baseline), run.glyphs, run.positions);
            return;
        }
        m_painter.setFont(font.font());
        m_painter.drawText(QPointF(x, baseline), text.toString());
    }

    // The lines of the text in the rectangle less the padding, centred upright when `centre`.
    void Block(QStringView text, const CReportFont& font, const QRectF& rect, double padX, double padY,
               ReportAlign align, bool centre, bool anywhere)
    {
        if (text.isEmpty())
            return;
        const double width = rect.width() - 2 * padX;
        std::vector<QStringView> lines;
        const auto add = [&](QStringView line) { lines.push_back(line); };
        if (!text.contains(u'\n') && font.Width(text) <= width)
            lines.push_back(text);
        else
            BreakLines(text, font, width, anywhere, add);
        const double height = double(lines.size()) * font.lineHeight();
        double top = rect.top() + padY;
        if (centre)
            top = std::max(top, rect.top() + (rect.height() - height) / 2);
        for (QStringView line : lines) {
            double x = rect.left() + padX;
            if (align != ReportAlign::Left) {
                const double free = width - font.Width(line);
                x += align == ReportAlign::Right ? free : free / 2;
            }
            Text(line, font, x, top + font.ascent());
            top += font.lineHeight();
        }
    }

    void Line(double x1, double y1, double x2, double y2)
    {
        m_lines.push_back(QLineF(std::round(x1), std::round(y1), std::round(x2), std::round(y2)));
    }
    void Rect(const QRectF& r)
    {
        Line(r.left(), r.top(), r.right(), r.top());
        Line(r.left(), r.bottom(), r.right(), r.bottom());
        Line(r.left(), r.top(), r.left(), r.bottom());
        Line(r.right(), r.top(), r.right(), r.bottom());
    }

    void Finish()
    {
        if (!m_lines.empty())
            m_painter.drawLines(m_lines.data(), int(m_lines.size()));
        for (auto& [font, run] : m_runs) {
            QGlyphRun glyphs;
            glyphs.setRawFont(font->raw());
            glyphs.setGlyphIndexes(run.glyphs);
            glyphs.setPositions(run.positions);
            m_painter.drawGlyphRun(QPointF(0, 0), glyphs);
        }
    }

private:
    struct Run {
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    QPainter& m_painter;
    std::map<const CReportFont*, Run> m_runs;
    std::vector<QLineF> m_lines;
};

CReportLayout::CReportLayout(const ReportContent& content, const QPageLayout& page)
    : m_content(content)
    , m_page(page)
    , m_padX(Mm(1))
    , m_padY(Mm(0.6))
{
    const QRectF sheet = page.fullRect(QPageLayout::Millimeter);
    const QRectF paint = page.paintRect(QPageLayout::Millimeter);
    m_sheet = QSizeF(Mm(sheet.width()), Mm(sheet.height()));
    m_area = QRectF(Mm(paint.left()), Mm(paint.top()), Mm(paint.width()), Mm(paint.height()));
    m_normal = &Font(content.fontSize, false);
    m_bold = &Font(content.fontSize, true);

    const double width = m_area.width();
    for (const ReportHeadingLine& line : content.heading) {
        const CReportFont& font = Font(line.size, line.bold);
        m_headingFonts.push_back(&font);
        m_headingHeights.push_back(double(CountLines(line.text, font, width, true)) * font.lineHeight());
    }
    m_headingBottom = std::accumulate(m_headingHeights.begin(), m_headingHeights.end(), 0.0);
    if (!content.heading.empty())
        m_headingBottom += Mm(kHeadingGapMm);

    m_pageHeaderHeight = PageLines(content.pageHeader, m_headerTogether);
    m_pageFooterHeight = PageLines(content.pageFooter, m_footerTogether);

    SizeColumns();
    MeasureHeader();
    m_heights.resize(content.rows.size());
    InParts(content.rows.size(), [this](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            m_heights[i] = float(RowHeight(i));
    });
    Paginate();
}

CReportLayout::~CReportLayout() = default;

// A page line whose parts do not fit side by side stands on as many lines as it has parts; the page
// numbers are measured as wide as they may grow.
double CReportLayout::PageLines(const std::vector<ReportPageText>& lines, std::vector<bool>& together) const
{
    const int widest = WidestPageNumber(m_content.rows.size());
    double height = 0;
    for (const ReportPageText& line : lines) {
        int parts = 0;
        double used = 0;
        for (const QString* part : {&line.left, &line.center, &line.right}) {
            if (part->isEmpty())
                continue;
            ++parts;
            used += m_normal->Width(WithPageNumbers(*part, widest, widest));
        }
        together.push_back(used + Mm(kPartGapMm) * std::max(0, parts - 1) <= m_area.width());
        height += m_normal->lineHeight() * (together.back() ? 1 : std::max(parts, 1));
    }
    return lines.empty() ? 0.0 : height + Mm(kPageLineGapMm);
}

const CReportFont& CReportLayout::Font(double points, bool bold)
{
    for (const auto& font : m_fonts)
        if (font->bold() == bold && std::abs(font->points() - points) < 1e-6)
            return *font;
    m_fonts.push_back(std::make_unique<CReportFont>(points, bold));
    return *m_fonts.back();
}

double CReportLayout::ColumnPoints(int column) const
{
    return m_columns[size_t(column)].font->points();
}

void CReportLayout::SizeColumns()
{
    const ReportContent& c = m_content;
    const ReportRows& rows = c.rows;
    const size_t n = c.columns.size();
    // What each column needs at the report's size: its widest number or unit, or its widest word.
    std::vector<double> need(n, 0);
    std::mutex merge;
    InParts(rows.size(), [&](size_t from, size_t to) {
        std::vector<double> part(n, 0);
        for (size_t r = from; r < to; ++r) {
            if (rows.Spans(r))
                continue;
            const CReportFont& font = rows.Bold(r) ? *m_bold : *m_normal;
            for (size_t i = 0; i < n; ++i) {
                const QStringView text = rows.Cell(r, int(i));
                if (text.isEmpty())
                    continue;
                const CReportFont::Extent e = font.ExtentOf(text);
                part[i] = std::max(part[i], c.columns[i].wraps ? e.word : e.line);
            }
        }
        const std::lock_guard<std::mutex> lock(merge);
        for (size_t i = 0; i < n; ++i)
            need[i] = std::max(need[i], part[i]);
    });
    for (const ReportHeaderCell& cell : c.header)
        if (cell.columnSpan == 1)
            need[size_t(cell.column)] = std::max(need[size_t(cell.column)], m_normal->ExtentOf(cell.text).word);

    const double total = m_area.width();
    std::vector<double> weights;
    std::vector<double> minimum; // the column's need with its padding, both of which scale with its font
    for (size_t i = 0; i < n; ++i) {
        weights.push_back(c.columns[i].width);
        minimum.push_back(need[i] + 2 * m_padX);
    }
    std::vector<double> width;
    if (std::accumulate(minimum.begin(), minimum.end(), 0.0) <= total) {
        width = ShareOut(weights, minimum, total);
    } else {
        // The numbers and units do not fit as they are: the widest of them are brought down to one
        // width, their font with them (not below the floor), while the texts keep their widest word.
        // Should even that not serve, the texts' fonts go down too, and at last every font below the
        // floor: never is a number or a word broken.
        const double floorScale = std::min(1.0, kReportFontFloor / c.fontSize);
        double texts = 0;
        double numbersAtFloor = 0;
        for (size_t i = 0; i < n; ++i) {
            if (c.columns[i].wraps)
                texts += minimum[i];
            else
                numbersAtFloor += minimum[i] * floorScale;
        }
        width = minimum;
        if (texts + numbersAtFloor <= total) {
            const auto capped = [&](double cap, size_t i) {
                return std::max(std::min(minimum[i], cap), minimum[i] * floorScale);
            };
            double low = 0;
            double high = *std::max_element(minimum.begin(), minimum.end());
            for (int step = 0; step < 60; ++step) {
                const double cap = (low + high) / 2;
                double sum = texts;
                for (size_t i = 0; i < n; ++i)
                    if (!c.columns[i].wraps)
                        sum += capped(cap, i);
                (sum <= total ? low : high) = cap;
            }
            double textWeight = 0;
            for (size_t i = 0; i < n; ++i) {
                if (c.columns[i].wraps)
                    textWeight += weights[i];
                else
                    width[i] = capped(low, i);
            }
            // What the search leaves goes to the texts by their weights.
            const double left = total - std::accumulate(width.begin(), width.end(), 0.0);
            for (size_t i = 0; i < n; ++i)
                if (c.columns[i].wraps && textWeight > 0 && left > 0)
                    width[i] += left * weights[i] / textWeight;
        } else {
            const double textScale = texts > 0 ? (total - numbersAtFloor) / texts : floorScale;
            const double all = total / std::accumulate(minimum.begin(), minimum.end(), 0.0);
            for (size_t i = 0; i < n; ++i)
                width[i] = minimum[i] * (textScale < floorScale ? all : c.columns[i].wraps ? textScale : floorScale);
        }
    }
    double x = 0;
    for (size_t i = 0; i < n; ++i) {
        // A column narrower than it needs has its font and padding scaled down alike; a tenth of a point
        // less, so that rounding never makes a text wider.
        double points = c.fontSize;
        double scale = 1;
        if (width[i] < minimum[i] - 1e-6 && minimum[i] > 0) {
            scale = width[i] / minimum[i];
            points = std::floor(c.fontSize * scale * 10) / 10;
        }
        Column column;
        column.x = x;
        column.width = width[i];
        column.padX = m_padX * scale;
        column.font = &Font(points, false);
        column.bold = &Font(points, true);
        m_columns.push_back(column);
        x += width[i];
    }
    m_tableWidth = x;
}

void CReportLayout::MeasureHeader()
{
    const ReportContent& c = m_content;
    m_headerHeights.assign(size_t(c.headerRows), m_normal->lineHeight() + 2 * m_padY);
    std::vector<const ReportHeaderCell*> spanning;
    const auto need = [&](const ReportHeaderCell& cell) {
        const Column& first = m_columns[size_t(cell.column)];
        const Column& last = m_columns[size_t(cell.column + cell.columnSpan - 1)];
        const double padX = cell.columnSpan == 1 ? first.padX : m_padX;
        const double width = last.x + last.width - first.x - 2 * padX;
        const CReportFont& font = cell.columnSpan == 1 ? *first.font : *m_normal;
        const bool anywhere = font.ExtentOf(cell.text).word > width;
        return double(CountLines(cell.text, font, width, anywhere)) * font.lineHeight() + 2 * m_padY;
    };
    for (const ReportHeaderCell& cell : c.header) {
        if (cell.rowSpan > 1) {
            spanning.push_back(&cell);
            continue;
        }
        m_headerHeights[size_t(cell.row)] = std::max(m_headerHeights[size_t(cell.row)], need(cell));
    }
    // A cell spanning rows that needs more makes its last row higher.
    for (const ReportHeaderCell* cell : spanning) {
        const auto first = m_headerHeights.begin() + cell->row;
        const double have = std::accumulate(first, first + cell->rowSpan, 0.0);
        const double wanted = need(*cell);
        if (wanted > have)
            m_headerHeights[size_t(cell->row + cell->rowSpan - 1)] += wanted - have;
    }
    m_headerHeight = std::accumulate(m_headerHeights.begin(), m_headerHeights.end(), 0.0);
}

double CReportLayout::RowHeight(size_t row) const
{
    const ReportRows& rows = m_content.rows;
    const bool bold = rows.Bold(row);
    if (rows.Spans(row)) {
        const CReportFont& font = bold ? *m_bold : *m_normal;
        return CountLines(rows.Cell(row, 0), font, m_tableWidth - 2 * m_padX, true) * font.lineHeight() + 2 * m_padY;
    }
    double height = m_normal->lineHeight();
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QStringView text = rows.Cell(row, int(i));
        if (text.isEmpty())
            continue;
        const Column& column = m_columns[i];
        const CReportFont& font = bold ? *column.bold : *column.font;
        const int lines = m_content.columns[i].wraps ? CountLines(text, font, column.width - 2 * column.padX, false)
                                                     : int(text.count(u'\n')) + 1;
        height = std::max(height, lines * font.lineHeight());
    }
    return height + 2 * m_padY;
}

double CReportLayout::CaptionHeight(size_t row) const
{
    const QString text = m_content.rows.GroupCaption(row).toString() + m_content.groupSuffix;
    return CountLines(text, *m_bold, m_tableWidth - 2 * m_padX, true) * m_bold->lineHeight() + 2 * m_padY;
}

double CReportLayout::TableTop(int page) const
{
    return m_pageHeaderHeight + (page == 0 ? m_headingBottom : 0);
}

void CReportLayout::Paginate()
{
    const ReportRows& rows = m_content.rows;
    const double bottom = m_area.height() - m_pageFooterHeight;
    Page page;
    double y = TableTop(0) + m_headerHeight;
    std::int32_t group = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const double height = m_heights[i];
        // A group's own row does not stand alone at the foot of a page.
        double wanted = height;
        if (rows.BeginsGroup(i) && i + 1 < rows.size() && !rows.BeginsGroup(i + 1))
            wanted += m_heights[i + 1];
        if (y + wanted > bottom && page.end > page.first) {
            m_pages.push_back(page);
            page = Page();
            page.first = page.end = std::uint32_t(i);
            y = TableTop(int(m_pages.size())) + m_headerHeight;
            if (group >= 0 && !rows.BeginsGroup(i)) {
                page.group = group;
                y += CaptionHeight(size_t(group));
            }
        }
        page.end = std::uint32_t(i + 1);
        y += height;
        if (rows.BeginsGroup(i))
            group = std::int32_t(i);
    }
    m_pages.push_back(page);
}

CReportLayout::PageRows CReportLayout::Rows(int page) const
{
    const Page& p = m_pages[size_t(page)];
    PageRows out;
    out.first = p.first;
    out.end = p.end;
    if (p.group >= 0)
        out.group = size_t(p.group);
    return out;
}

QString CReportLayout::PageText(const QString& text, int page) const
{
    return WithPageNumbers(text, page + 1, count());
}

void CReportLayout::Paint(QPainter& painter, int pageIndex, const std::optional<Hit>& highlight) const
{
    if (pageIndex < 0 || pageIndex >= count())
        return;
    const Page& page = m_pages[size_t(pageIndex)];
    const ReportContent& c = m_content;
    const ReportRows& rows = c.rows;
    const double width = m_area.width();
    painter.save();
    painter.setPen(QPen(Qt::black, Mm(0.2)));
    Painter out(painter);
    int item = 0;
    const QColor mark(255, 236, 130);
    const auto marked = [&](const QRectF& rect) {
        if (highlight && highlight->page == pageIndex && highlight->item == item)
            painter.fillRect(rect, mark);
        ++item;
    };

    // The lines at the top and the foot of the page.
    const auto pageLines = [&](const std::vector<ReportPageText>& lines, const std::vector<bool>& together, double y) {
        const CReportFont& font = *m_normal;
        for (size_t l = 0; l < lines.size(); ++l) {
            const QString parts[] = {PageText(lines[l].left, pageIndex), PageText(lines[l].center, pageIndex),
                                     PageText(lines[l].right, pageIndex)};
            for (int k = 0; k < 3; ++k) {
                if (parts[k].isEmpty())
                    continue;
                const double w = font.Width(parts[k]);
                const double x = k == 0 ? 0 : k == 1 ? (width - w) / 2 : width - w;
                out.Text(parts[k], font, x, y + font.ascent());
                if (!together[l])
                    y += font.lineHeight();
            }
            if (together[l])
                y += font.lineHeight();
        }
    };
    pageLines(c.pageHeader, m_headerTogether, 0);
    pageLines(c.pageFooter, m_footerTogether, m_area.height() - m_pageFooterHeight + Mm(kPageLineGapMm));

    if (pageIndex == 0) {
        double y = m_pageHeaderHeight;
        for (size_t i = 0; i < c.heading.size(); ++i) {
            const QRectF rect(0, y, width, m_headingHeights[i]);
            marked(rect);
            out.Block(c.heading[i].text, *m_headingFonts[i], rect, 0, 0, c.heading[i].align, false, true);
            y += m_headingHeights[i];
        }
    }

    const double top = TableTop(pageIndex);
    for (const ReportHeaderCell& cell : c.header) {
        const Column& first = m_columns[size_t(cell.column)];
        const Column& last = m_columns[size_t(cell.column + cell.columnSpan - 1)];
        const auto heights = m_headerHeights.begin();
        const QRectF rect(first.x, top + std::accumulate(heights, heights + cell.row, 0.0),
                          last.x + last.width - first.x,
                          std::accumulate(heights + cell.row, heights + cell.row + cell.rowSpan, 0.0));
        const CReportFont& font = cell.columnSpan == 1 ? *first.font : *m_normal;
        const double padX = cell.columnSpan == 1 ? first.padX : m_padX;
        out.Rect(rect);
        out.Block(cell.text, font, rect, padX, m_padY, ReportAlign::Center, true,
                  font.ExtentOf(cell.text).word > rect.width() - 2 * padX);
    }

    double y = top + m_headerHeight;
    // Rules: a line above every row and under the last; the outer edges; the columns' edges beside
    // the rows that have cells.
    const auto ruleColumns = [&](double from, double to) {
        for (size_t i = 1; i < m_columns.size(); ++i)
            out.Line(m_columns[i].x, from, m_columns[i].x, to);
    };
    const double bodyTop = y;
    if (page.group >= 0) {
        const QRectF rect(0, y, m_tableWidth, CaptionHeight(size_t(page.group)));
        out.Line(0, rect.bottom(), m_tableWidth, rect.bottom());
        out.Block(rows.GroupCaption(size_t(page.group)).toString() + c.groupSuffix, *m_bold, rect, m_padX, m_padY,
                  ReportAlign::Left, true, true);
        y = rect.bottom();
    }
    double cellsFrom = -1;
    for (std::uint32_t r = page.first; r < page.end; ++r) {
        const double height = m_heights[r];
        out.Line(0, y, m_tableWidth, y);
        const bool bold = rows.Bold(r);
        if (rows.Spans(r)) {
            if (cellsFrom >= 0)
                ruleColumns(cellsFrom, y);
            cellsFrom = -1;
            const QRectF rect(0, y, m_tableWidth, height);
            marked(rect);
            out.Block(rows.Cell(r, 0), bold ? *m_bold : *m_normal, rect, m_padX, m_padY, ReportAlign::Left, true, true);
        } else {
            if (cellsFrom < 0)
                cellsFrom = y;
            for (size_t i = 0; i < m_columns.size(); ++i) {
                const Column& column = m_columns[i];
                const QRectF rect(column.x, y, column.width, height);
                marked(rect);
                const ReportLayoutColumn& layout = c.columns[i];
                out.Block(rows.Cell(r, int(i)), bold ? *column.bold : *column.font, rect, column.padX, m_padY,
                          layout.align, true, false);
            }
        }
        y += height;
    }
    if (cellsFrom >= 0)
        ruleColumns(cellsFrom, y);
    out.Line(0, y, m_tableWidth, y);
    out.Line(0, bodyTop, 0, y);
    out.Line(m_tableWidth, bodyTop, m_tableWidth, y);
    out.Finish();
    painter.restore();
}

std::vector<CReportLayout::Item> CReportLayout::Items(int pageIndex) const
{
    std::vector<Item> items;
    const Page& page = m_pages[size_t(pageIndex)];
    const ReportRows& rows = m_content.rows;
    if (pageIndex == 0) {
        double y = m_pageHeaderHeight;
        for (size_t i = 0; i < m_content.heading.size(); ++i) {
            items.push_back(Item{QRectF(0, y, m_area.width(), m_headingHeights[i]), m_content.heading[i].text});
            y += m_headingHeights[i];
        }
    }
    double y = TableTop(pageIndex) + m_headerHeight;
    if (page.group >= 0)
        y += CaptionHeight(size_t(page.group));
    for (std::uint32_t r = page.first; r < page.end; ++r) {
        const double height = m_heights[r];
        if (rows.Spans(r)) {
            items.push_back(Item{QRectF(0, y, m_tableWidth, height), rows.Cell(r, 0)});
        } else {
            for (size_t i = 0; i < m_columns.size(); ++i)
                items.push_back(Item{QRectF(m_columns[i].x, y, m_columns[i].width, height), rows.Cell(r, int(i))});
        }
        y += height;
    }
    return items;
}

std::optional<CReportLayout::Hit> CReportLayout::Find(const QString& text, const std::optional<Hit>& after) const
{
    if (text.isEmpty())
        return std::nullopt;
    int page = after ? after->page : 0;
    int from = after ? after->item + 1 : 0;
    for (; page < count(); ++page, from = 0) {
        const std::vector<Item> items = Items(page);
        for (int i = from; i < int(items.size()); ++i)
            if (items[size_t(i)].text.contains(text, Qt::CaseInsensitive))
                return Hit{page, i, items[size_t(i)].rect};
    }
    return std::nullopt;
}

QPageLayout DefaultReportPageLayout(const ReportContent& content)
{
    return QPageLayout(QPageSize(QPageSize::A4), content.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

bool PaintReportPages(const CReportLayout& layout, QPagedPaintDevice* device, int from, int to)
{
    device->setPageLayout(layout.pageLayout());
    from = std::max(from, 1);
    to = to <= 0 ? layout.count() : std::min(to, layout.count());
    QPainter painter;
    if (!painter.begin(device))
        return false;
    // The device's origin is the area's top-left; its units are its own dots.
    const double sx = device->logicalDpiX() / kReportLayoutDpi;
    const double sy = device->logicalDpiY() / kReportLayoutDpi;
    for (int page = from; page <= to; ++page) {
        if (page > from && !device->newPage())
            return false;
        painter.resetTransform();
        painter.scale(sx, sy);
        layout.Paint(painter, page - 1);
    }
    return painter.end();
}

bool WriteReportPdf(const CReportLayout& layout, const QString& path, QString* error)
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
        writer.setTitle(layout.content().title);
        writer.setCreator(QStringLiteral("Прогноз"));
        writer.setResolution(int(kReportLayoutDpi));
        painted = PaintReportPages(layout, &writer);
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

bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error)
{
    const CReportLayout layout(content, DefaultReportPageLayout(content));
    return WriteReportPdf(layout, path, error);
}
