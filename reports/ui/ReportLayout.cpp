#include "ReportLayout.h"

#include "ReportPdfJoin.h"
#include "ReportText.h"

#include <QDir>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
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
// The side margins a table may take where its cells would otherwise go below the floor.
constexpr double kLeastMarginMm = 5;

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
    CReportFont(double points, bool bold, int index)
        : m_points(points)
        , m_bold(bold)
        , m_index(index)
    {
        Load();
        if (m_raw.isValid()) {
            m_ascent = m_raw.ascent();
            m_lineHeight = m_raw.ascent() + m_raw.descent();
        } else {
            const QFontMetricsF metrics(m_font);
            m_ascent = metrics.ascent();
            m_lineHeight = metrics.height();
        }
        // The characters of Russian and Latin texts are looked up at once; others when first met.
        for (char16_t u = 0; u < m_table.size(); ++u)
            m_table[u] = Look(QChar(u));
    }

    // The same font loaded anew (for another thread), its measures taken over.
    explicit CReportFont(const CReportFont& other)
        : m_points(other.m_points)
        , m_bold(other.m_bold)
        , m_index(other.m_index)
        , m_ascent(other.m_ascent)
        , m_lineHeight(other.m_lineHeight)
        , m_table(other.m_table)
    {
        Load();
        const std::lock_guard<std::mutex> lock(other.m_otherLock);
        m_other = other.m_other;
        m_other.detach();
    }
    CReportFont& operator=(const CReportFont&) = delete;

    double points() const { return m_points; }
    bool bold() const { return m_bold; }
    int index() const { return m_index; } // among the layout's fonts
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
            if (g.advance < 0) {
                const std::lock_guard<std::mutex> lock(m_complexLock);
                return QFontMetricsF(m_font).horizontalAdvance(text.toString());
            }
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
    void Load()
    {
        const double pixels = m_points * kReportLayoutDpi / 72.0;
        m_font = QFont(kFontFamily);
        m_font.setPixelSize(std::max(1, int(std::lround(pixels))));
        m_font.setBold(m_bold);
        m_font.setKerning(false);
        m_font.setHintingPreference(QFont::PreferNoHinting);
        m_raw = QRawFont::fromFont(m_font);
        if (m_raw.isValid())
            m_raw.setPixelSize(pixels);
    }

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
        const std::lock_guard<std::mutex> lock(m_complexLock);
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
    int m_index;
    QFont m_font;
    QRawFont m_raw;
    double m_ascent = 0;
    double m_lineHeight = 0;
    mutable std::array<Glyph, 0x500> m_table;
    mutable QHash<char16_t, Glyph> m_other;
    mutable std::mutex m_otherLock;
    // Qt's text layout of the font, which layouts measuring on several threads would otherwise share.
    mutable std::mutex m_complexLock;
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
// lines.
class CReportLayout::Painter {
public:
    explicit Painter(Drawing& out)
        : m_out(out)
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
        m_out.texts.push_back(Drawing::Text{font.font(), QPointF(x, baseline), text.toString()});
    }

    // The lines of the text in the rectangle less the padding, centred upright when `centre`. A text
    // that does not `wrap` breaks at its line feeds only, as its row was measured.
    void Block(QStringView text, const CReportFont& font, const QRectF& rect, double padX, double padY,
               ReportAlign align, bool centre, bool anywhere, bool wraps = true)
    {
        if (text.isEmpty())
            return;
        const double width = rect.width() - 2 * padX;
        std::vector<QStringView> lines;
        const auto add = [&](QStringView line) { lines.push_back(line); };
        if (!wraps)
            for (QStringView line : text.split(u'\n'))
                lines.push_back(line);
        else if (!text.contains(u'\n') && font.Width(text) <= width)
            lines.push_back(text);
        else
            BreakLines(text, font, width, anywhere, add);
        const double height = double(lines.size()) * font.lineHeight();
        double top = rect.top() + padY;
        if (centre)
            top = std::max(top, rect.top() + (rect.height() - height) / 2);
        for (QStringView line : lines) {
            Text(line, font, Aligned(line, font, rect.left() + padX, width, align), top + font.ascent());
            top += font.lineHeight();
        }
    }

    static double Aligned(QStringView line, const CReportFont& font, double left, double width, ReportAlign align)
    {
        if (align == ReportAlign::Left)
            return left;
        const double free = width - font.Width(line);
        return left + (align == ReportAlign::Right ? free : free / 2);
    }

    void Line(double x1, double y1, double x2, double y2)
    {
        m_out.lines.push_back(QLineF(std::round(x1), std::round(y1), std::round(x2), std::round(y2)));
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
        for (auto& [font, run] : m_runs) {
            QGlyphRun glyphs;
            glyphs.setRawFont(font->raw());
            glyphs.setGlyphIndexes(run.glyphs);
            glyphs.setPositions(run.positions);
            m_out.runs.push_back(glyphs);
        }
    }

private:
    struct Run {
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    Drawing& m_out;
    std::map<const CReportFont*, Run> m_runs;
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

    BreakHeading();
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

// The heading's lines as they stand on the pages: each broken between words at the area's width.
void CReportLayout::BreakHeading()
{
    const double width = m_area.width();
    for (size_t i = 0; i < m_content.heading.size(); ++i) {
        const ReportHeadingLine& line = m_content.heading[i];
        const CReportFont& font = Font(line.size, line.bold);
        m_headingFonts.push_back(&font);
        const auto add = [&](QStringView text) {
            m_headingLines.push_back(HeadingLine{std::uint32_t(i), text, float(font.lineHeight())});
        };
        if (!line.text.contains(u'\n') && font.Width(line.text) <= width)
            add(line.text);
        else
            BreakLines(line.text, font, width, true, add);
    }
}

// A page line whose parts do not fit side by side stands on as many lines as its parts need, each
// part broken between words at the area's width; the page numbers are measured as wide as they may
// grow.
double CReportLayout::PageLines(const std::vector<ReportPageText>& lines, std::vector<bool>& together) const
{
    const int widest = WidestPageNumber(m_content.rows.size() + m_headingLines.size());
    double height = 0;
    for (const ReportPageText& line : lines) {
        int parts = 0;
        int broken = 0;
        double used = 0;
        for (const QString* part : {&line.left, &line.center, &line.right}) {
            if (part->isEmpty())
                continue;
            const QString text = WithPageNumbers(*part, widest, widest);
            ++parts;
            broken += CountLines(text, *m_normal, m_area.width(), true);
            used += m_normal->Width(text);
        }
        together.push_back(used + Mm(kPartGapMm) * std::max(0, parts - 1) <= m_area.width());
        height += m_normal->lineHeight() * (together.back() ? 1 : std::max(broken, 1));
    }
    return lines.empty() ? 0.0 : height + Mm(kPageLineGapMm);
}

const CReportFont& CReportLayout::Font(double points, bool bold)
{
    for (const auto& font : m_fonts)
        if (font->bold() == bold && std::abs(font->points() - points) < 1e-6)
            return *font;
    m_fonts.push_back(std::make_unique<CReportFont>(points, bold, int(m_fonts.size())));
    return *m_fonts.back();
}

double CReportLayout::ColumnPoints(int column) const
{
    return column >= 0 && size_t(column) < m_columns.size() ? m_cells->points() : 0;
}

double CReportLayout::HeaderPoints() const
{
    return m_header->points();
}

void CReportLayout::SizeColumns()
{
    const ReportContent& c = m_content;
    const ReportRows& rows = c.rows;
    const size_t n = c.columns.size();
    const CReportFont& bold = Font(c.fontSize, true);
    // What each column's cells need at the report's size: the widest number or unit, or the widest
    // word (and, of a text, the widest line); and what its own caption needs: its widest word.
    std::vector<double> cells(n, 0);
    std::vector<double> lines(n, 0);
    std::mutex merge;
    InParts(rows.size(), [&](size_t from, size_t to) {
        std::vector<double> part(n, 0);
        std::vector<double> partLines(n, 0);
        for (size_t r = from; r < to; ++r) {
            if (rows.Spans(r))
                continue;
            const CReportFont& font = rows.Bold(r) ? bold : *m_normal;
            for (size_t i = 0; i < n; ++i) {
                const QStringView text = rows.Cell(r, int(i));
                if (text.isEmpty())
                    continue;
                const CReportFont::Extent e = font.ExtentOf(text);
                part[i] = std::max(part[i], c.columns[i].wraps ? e.word : e.line);
                partLines[i] = std::max(partLines[i], e.line);
            }
        }
        const std::lock_guard<std::mutex> lock(merge);
        for (size_t i = 0; i < n; ++i) {
            cells[i] = std::max(cells[i], part[i]);
            lines[i] = std::max(lines[i], partLines[i]);
        }
    });
    std::vector<double> caption(n, 0);
    for (const ReportHeaderCell& cell : c.header)
        if (cell.columnSpan == 1)
            caption[size_t(cell.column)] = std::max(caption[size_t(cell.column)], m_normal->ExtentOf(cell.text).word);
    // Where nothing else serves, a text's words break down to a few letters.
    const double broken = m_normal->Width(u"оооооо");

    // A text column keeps as many letters a line as its share of the width gives at the report's size
    // (not more than its widest line) while that lets the cells keep the floor. Where it does not, in
    // this order: the texts go down to their widest word, the table takes of the side margins what it
    // needs (down to the least a printer leaves), pads its cells half as much, breaks its texts' words.
    struct Relief {
        bool roomy = false;
        bool margins = false;
        double padding = 1;
        bool breaks = false;
    };
    static constexpr Relief kReliefs[] = {
        {true, false, 1, false}, {}, {false, true, 1, false}, {false, true, 0.5, false}, {false, true, 0.5, true}};
    Relief relief;
    std::vector<double> weights;
    for (const ReportLayoutColumn& column : c.columns)
        weights.push_back(column.width);
    const double weight = std::accumulate(weights.begin(), weights.end(), 0.0);
    std::vector<double> roomy(n, 0);
    for (size_t i = 0; i < n; ++i)
        if (c.columns[i].wraps && weight > 0)
            roomy[i] = std::min(lines[i], weights[i] / weight * m_area.width() - 2 * m_padX);
    // The columns' least widths with the cells at `scale` of the report's size and the captions at
    // `captions`, each with its padding and a trace more, as a smaller font's advances may round up.
    constexpr double kSlack = 2;
    const auto least = [&](double scale, double captions) {
        std::vector<double> width(n);
        const double pad = 2 * m_padX * relief.padding;
        for (size_t i = 0; i < n; ++i) {
            const double text = relief.breaks && c.columns[i].wraps ? std::min(cells[i], broken)
                : relief.roomy                                      ? std::max(cells[i], roomy[i])
                                                                    : cells[i];
            width[i] = std::max((text + pad) * scale, (caption[i] + pad) * captions) + kSlack;
        }
        return width;
    };
    const auto sum = [](const std::vector<double>& width) { return std::accumulate(width.begin(), width.end(), 0.0); };
    const double area = m_area.width();
    const QMarginsF margins = m_page.margins(QPageLayout::Millimeter);
    const double spareLeft = Mm(std::max(0.0, margins.left() - kLeastMarginMm));
    const double spareRight = Mm(std::max(0.0, margins.right() - kLeastMarginMm));
    double total = area;
    const auto fits = [&](double scale, double captions) { return sum(least(scale, captions)) <= total; };
    // The largest scale from `low` up to 1 at which `fit` holds (it holds at `low`).
    const auto largest = [](double low, const std::function<bool(double)>& fit) {
        if (fit(1))
            return 1.0;
        double high = 1;
        for (int step = 0; step < 40; ++step) {
            const double mid = (low + high) / 2;
            (fit(mid) ? low : high) = mid;
        }
        return low;
    };
    // The cells keep the largest size they fit at beside the captions at the floor, then the captions
    // the largest beside them; only where no relief lets them keep the floor does everything go below
    // it alike: never is a number or a caption's word broken.
    const double floorScale = std::min(1.0, kReportFontFloor / c.fontSize);
    double scale = 1;
    double captions = 1;
    for (const Relief& next : kReliefs) {
        relief = next;
        if (relief.margins)
            total = std::clamp(sum(least(floorScale, floorScale)), area, area + spareLeft + spareRight);
        if (fits(floorScale, floorScale))
            break;
    }
    if (fits(floorScale, floorScale)) {
        scale = largest(floorScale, [&](double s) { return fits(s, floorScale); });
        captions = largest(floorScale, [&](double h) { return fits(scale, h); });
    } else {
        scale = captions = total / sum(least(1, 1));
    }
    // Sizes to a tenth of a point, never above what was found (but for a rounding's trace), so that
    // rounding never makes a text wider.
    const auto points = [&](double of) { return std::floor(c.fontSize * of * 10 + 1e-6) / 10; };
    const double cellPoints = points(scale);
    scale = cellPoints / c.fontSize;
    const std::vector<double> width = ShareOut(weights, least(scale, captions), total);
    // What the table takes of the margins, from each side as it has to spare.
    double x = spareLeft + spareRight > 0 ? -(total - area) * spareLeft / (spareLeft + spareRight) : 0;
    m_tableLeft = x;
    for (size_t i = 0; i < n; ++i) {
        m_columns.push_back(Column{x, width[i]});
        x += width[i];
    }
    m_tableWidth = x - m_tableLeft;

    // The captions over several columns shrink further where a word of theirs needs it, not below the
    // floor (nor below what the columns' own captions were given).
    for (const ReportHeaderCell& cell : c.header) {
        if (cell.columnSpan == 1)
            continue;
        const Column& first = m_columns[size_t(cell.column)];
        const Column& last = m_columns[size_t(cell.column + cell.columnSpan - 1)];
        const double word = m_normal->ExtentOf(cell.text).word;
        if (word > 0)
            captions = std::min(captions,
                                std::max(std::min(floorScale, captions),
                                         (last.x + last.width - first.x) / (word + 2 * m_padX * relief.padding)));
    }
    const double headerPoints = points(captions);
    m_cells = &Font(cellPoints, false);
    m_cellsBold = &Font(cellPoints, true);
    m_header = &Font(headerPoints, false);
    m_cellPadX = m_padX * relief.padding * scale;
    m_headerPadX = m_padX * relief.padding * headerPoints / c.fontSize;
    m_wordsBreak = relief.breaks;
}

void CReportLayout::MeasureHeader()
{
    const ReportContent& c = m_content;
    const CReportFont& font = *m_header;
    m_headerHeights.assign(size_t(c.headerRows), font.lineHeight() + 2 * m_padY);
    std::vector<const ReportHeaderCell*> spanning;
    const auto need = [&](const ReportHeaderCell& cell) {
        const Column& first = m_columns[size_t(cell.column)];
        const Column& last = m_columns[size_t(cell.column + cell.columnSpan - 1)];
        const double width = last.x + last.width - first.x - 2 * m_headerPadX;
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
    const CReportFont& font = rows.Bold(row) ? *m_cellsBold : *m_cells;
    if (rows.Spans(row))
        return CountLines(rows.Cell(row, 0), font, m_tableWidth - 2 * m_cellPadX, true) * font.lineHeight()
            + 2 * m_padY;
    int lines = 1;
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QStringView text = rows.Cell(row, int(i));
        if (text.isEmpty())
            continue;
        const Column& column = m_columns[i];
        lines =
            std::max(lines,
                     m_content.columns[i].wraps ? CountLines(text, font, column.width - 2 * m_cellPadX, m_wordsBreak)
                                                : int(text.count(u'\n')) + 1);
    }
    return lines * font.lineHeight() + 2 * m_padY;
}

double CReportLayout::CaptionHeight(size_t row, const CReportFont& bold) const
{
    const QString text = m_content.rows.GroupCaption(row).toString() + m_content.groupSuffix;
    return CountLines(text, bold, m_tableWidth - 2 * m_cellPadX, true) * bold.lineHeight() + 2 * m_padY;
}

// The height the row needs at the foot of a page: a group's own row goes with the group rows right
// after it and the first row of their members, unless they would not fit a page's `room` together.
double CReportLayout::Wanted(size_t row, double room) const
{
    const ReportRows& rows = m_content.rows;
    double wanted = m_heights[row];
    if (!rows.BeginsGroup(row))
        return wanted;
    for (size_t next = row + 1; next < rows.size(); ++next) {
        wanted += m_heights[next];
        if (wanted > room)
            return m_heights[row] + m_heights[row + 1];
        if (!rows.BeginsGroup(next))
            break;
    }
    return wanted;
}

void CReportLayout::Paginate()
{
    const ReportRows& rows = m_content.rows;
    const double bottom = m_area.height() - m_pageFooterHeight;
    Page page;
    // The heading's lines as far as they fit, page after page.
    double y = m_pageHeaderHeight;
    for (size_t i = 0; i < m_headingLines.size(); ++i) {
        const double height = m_headingLines[i].height;
        if (y + height > bottom && page.headingEnd > page.headingFirst) {
            m_pages.push_back(page);
            page = Page();
            page.headingFirst = page.headingEnd = std::uint32_t(i);
            y = m_pageHeaderHeight;
        }
        page.headingEnd = std::uint32_t(i + 1);
        y += height;
    }
    // The table begins under the heading where its header and first rows fit, else on a page of its own.
    const double room = bottom - m_pageHeaderHeight - m_headerHeight;
    if (!m_headingLines.empty()) {
        y += Mm(kHeadingGapMm);
        const double first = m_headerHeight + (rows.empty() ? 0 : Wanted(0, room));
        if (y + first > bottom) {
            m_pages.push_back(page);
            page = Page();
            page.headingFirst = page.headingEnd = std::uint32_t(m_headingLines.size());
            y = m_pageHeaderHeight;
        }
    }
    page.tableTop = float(y);
    y += m_headerHeight;
    std::int32_t group = -1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const double height = m_heights[i];
        if (y + Wanted(i, room) > bottom && page.end > page.first) {
            m_pages.push_back(page);
            page = Page();
            page.first = page.end = std::uint32_t(i);
            page.headingFirst = page.headingEnd = std::uint32_t(m_headingLines.size());
            page.tableTop = float(m_pageHeaderHeight);
            y = m_pageHeaderHeight + m_headerHeight;
            if (group >= 0 && !rows.BeginsGroup(i)) {
                page.group = group;
                y += CaptionHeight(size_t(group), *m_cellsBold);
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

struct CReportLayout::Fonts {
    std::vector<std::unique_ptr<CReportFont>> all; // in the order of the layout's own
};

std::shared_ptr<const CReportLayout::Fonts> CReportLayout::CopyFonts() const
{
    auto fonts = std::make_shared<Fonts>();
    for (const auto& font : m_fonts)
        fonts->all.push_back(std::make_unique<CReportFont>(*font));
    return fonts;
}

void CReportLayout::Paint(QPainter& painter, int page, const std::optional<Hit>& highlight, const Fonts* fonts) const
{
    if (page < 0 || page >= count())
        return;
    const Drawing drawing = Draw(page, highlight, fonts);
    painter.save();
    if (drawing.mark)
        painter.fillRect(*drawing.mark, QColor(255, 236, 130));
    painter.setPen(drawing.pen);
    for (const Drawing::Text& text : drawing.texts) {
        painter.setFont(text.font);
        painter.drawText(text.at, text.text);
    }
    if (!drawing.lines.empty())
        painter.drawLines(drawing.lines.data(), int(drawing.lines.size()));
    for (const QGlyphRun& run : drawing.runs)
        painter.drawGlyphRun(QPointF(0, 0), run);
    painter.restore();
}

CReportLayout::Drawing CReportLayout::Draw(int pageIndex, const std::optional<Hit>& highlight, const Fonts* fonts) const
{
    Drawing drawing;
    if (pageIndex < 0 || pageIndex >= count())
        return drawing;
    drawing.pen = QPen(Qt::black, Mm(0.2));
    const auto on = [fonts](const CReportFont* font) -> const CReportFont& {
        return fonts ? *fonts->all[size_t(font->index())] : *font;
    };
    const Page& page = m_pages[size_t(pageIndex)];
    const ReportContent& c = m_content;
    const ReportRows& rows = c.rows;
    const double width = m_area.width();
    Painter out(drawing);
    int item = 0;
    const auto marked = [&](const QRectF& rect) {
        if (highlight && highlight->page == pageIndex && highlight->item == item)
            drawing.mark = rect;
        ++item;
    };

    // The lines at the top and the foot of the page.
    const auto pageLines = [&](const std::vector<ReportPageText>& lines, const std::vector<bool>& together, double y) {
        const CReportFont& font = on(m_normal);
        for (size_t l = 0; l < lines.size(); ++l) {
            const QString parts[] = {PageText(lines[l].left, pageIndex), PageText(lines[l].center, pageIndex),
                                     PageText(lines[l].right, pageIndex)};
            for (int k = 0; k < 3; ++k) {
                const auto place = [&](QStringView text) {
                    const double w = font.Width(text);
                    const double x = k == 0 ? 0 : k == 1 ? (width - w) / 2 : width - w;
                    out.Text(text, font, x, y + font.ascent());
                    if (!together[l])
                        y += font.lineHeight();
                };
                if (parts[k].isEmpty())
                    continue;
                if (together[l] || font.Width(parts[k]) <= width)
                    place(parts[k]);
                else
                    BreakLines(parts[k], font, width, true, place);
            }
            if (together[l])
                y += font.lineHeight();
        }
    };
    pageLines(c.pageHeader, m_headerTogether, 0);
    pageLines(c.pageFooter, m_footerTogether, m_area.height() - m_pageFooterHeight + Mm(kPageLineGapMm));

    double y = m_pageHeaderHeight;
    for (std::uint32_t i = page.headingFirst; i < page.headingEnd; ++i) {
        const HeadingLine& line = m_headingLines[i];
        const CReportFont& font = on(m_headingFonts[line.line]);
        marked(QRectF(0, y, width, line.height));
        out.Text(line.text, font, Painter::Aligned(line.text, font, 0, width, c.heading[line.line].align),
                 y + font.ascent());
        y += line.height;
    }
    if (page.tableTop < 0) {
        out.Finish();
        return drawing;
    }

    const double top = page.tableTop;
    const CReportFont& header = on(m_header);
    for (const ReportHeaderCell& cell : c.header) {
        const Column& first = m_columns[size_t(cell.column)];
        const Column& last = m_columns[size_t(cell.column + cell.columnSpan - 1)];
        const auto heights = m_headerHeights.begin();
        const QRectF rect(first.x, top + std::accumulate(heights, heights + cell.row, 0.0),
                          last.x + last.width - first.x,
                          std::accumulate(heights + cell.row, heights + cell.row + cell.rowSpan, 0.0));
        out.Rect(rect);
        out.Block(cell.text, header, rect, m_headerPadX, m_padY, ReportAlign::Center, true,
                  header.ExtentOf(cell.text).word > rect.width() - 2 * m_headerPadX);
    }

    y = top + m_headerHeight;
    // Rules: a line above every row and under the last; the outer edges; the columns' edges beside
    // the rows that have cells.
    const auto ruleColumns = [&](double from, double to) {
        for (size_t i = 1; i < m_columns.size(); ++i)
            out.Line(m_columns[i].x, from, m_columns[i].x, to);
    };
    const double bodyTop = y;
    const double left = m_tableLeft;
    const double right = m_tableLeft + m_tableWidth;
    const CReportFont& cells = on(m_cells);
    const CReportFont& bold = on(m_cellsBold);
    if (page.group >= 0) {
        const QRectF rect(left, y, m_tableWidth, CaptionHeight(size_t(page.group), bold));
        out.Line(left, rect.bottom(), right, rect.bottom());
        out.Block(rows.GroupCaption(size_t(page.group)).toString() + c.groupSuffix, bold, rect, m_cellPadX, m_padY,
                  ReportAlign::Left, true, true);
        y = rect.bottom();
    }
    double cellsFrom = -1;
    for (std::uint32_t r = page.first; r < page.end; ++r) {
        const double height = m_heights[r];
        out.Line(left, y, right, y);
        const CReportFont& font = rows.Bold(r) ? bold : cells;
        if (rows.Spans(r)) {
            if (cellsFrom >= 0)
                ruleColumns(cellsFrom, y);
            cellsFrom = -1;
            const QRectF rect(left, y, m_tableWidth, height);
            marked(rect);
            out.Block(rows.Cell(r, 0), font, rect, m_cellPadX, m_padY, ReportAlign::Left, true, true);
        } else {
            if (cellsFrom < 0)
                cellsFrom = y;
            for (size_t i = 0; i < m_columns.size(); ++i) {
                const Column& column = m_columns[i];
                const QRectF rect(column.x, y, column.width, height);
                marked(rect);
                const ReportLayoutColumn& layout = c.columns[i];
                out.Block(rows.Cell(r, int(i)), font, rect, m_cellPadX, m_padY, layout.align, true,
                          layout.wraps && m_wordsBreak, layout.wraps);
            }
        }
        y += height;
    }
    if (cellsFrom >= 0)
        ruleColumns(cellsFrom, y);
    out.Line(left, y, right, y);
    out.Line(left, bodyTop, left, y);
    out.Line(right, bodyTop, right, y);
    out.Finish();
    return drawing;
}

std::vector<CReportLayout::Item> CReportLayout::Items(int pageIndex) const
{
    std::vector<Item> items;
    const Page& page = m_pages[size_t(pageIndex)];
    const ReportRows& rows = m_content.rows;
    double y = m_pageHeaderHeight;
    for (std::uint32_t i = page.headingFirst; i < page.headingEnd; ++i) {
        items.push_back(Item{QRectF(0, y, m_area.width(), m_headingLines[i].height), m_headingLines[i].text});
        y += m_headingLines[i].height;
    }
    if (page.tableTop < 0)
        return items;
    y = page.tableTop + m_headerHeight;
    if (page.group >= 0)
        y += CaptionHeight(size_t(page.group), *m_cellsBold);
    for (std::uint32_t r = page.first; r < page.end; ++r) {
        const double height = m_heights[r];
        if (rows.Spans(r)) {
            items.push_back(Item{QRectF(m_tableLeft, y, m_tableWidth, height), rows.Cell(r, 0)});
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

namespace {

const QString kPagesFailed = QStringLiteral("Не удалось построить страницы отчета.");

// From so many pages a PDF is written in parts side by side, each part of at least so many pages.
constexpr int kPartsFrom = 48;
constexpr int kPagesPerPart = 16;
// How often the writer of parts tells how far it is while it waits for them.
constexpr auto kProgressEvery = std::chrono::milliseconds(200);

// `next(page)` is asked before each page is painted; false stops the painting (which then fails).
bool PaintPages(const CReportLayout& layout, QPagedPaintDevice* device, int from, int to,
                const CReportLayout::Fonts* fonts = nullptr, const std::function<bool(int page)>& next = {})
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
        if ((next && !next(page)) || (page > from && !device->newPage())) {
            painter.end();
            return false;
        }
        painter.resetTransform();
        painter.scale(sx, sy);
        layout.Paint(painter, page - 1, std::nullopt, fonts);
    }
    return painter.end();
}

// Pages from..to (from 1) by one PDF writer onto the device.
bool WritePdfPages(const CReportLayout& layout, QIODevice* device, int from, int to,
                   const CReportLayout::Fonts* fonts = nullptr, const std::function<bool(int page)>& next = {})
{
    QPdfWriter writer(device);
    writer.setTitle(layout.content().title);
    writer.setCreator(QStringLiteral("Прогноз"));
    writer.setResolution(int(kReportLayoutDpi));
    return PaintPages(layout, &writer, from, to, fonts, next);
}

bool WriteOnePdf(const CReportLayout& layout, const QString& path, QString* error, const ReportPagesProgress& progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    bool stopped = false;
    const auto next = [&](int page) {
        stopped = progress && !progress(page - 1, layout.count());
        return !stopped;
    };
    if (!WritePdfPages(layout, &file, 1, 0, nullptr, next)) {
        file.cancelWriting();
        if (error)
            *error = stopped ? kReportPdfStopped : kPagesFailed;
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (progress)
        progress(layout.count(), layout.count());
    return true;
}

// The parts of a PDF painted side by side: each thread takes the next part still to be painted,
// and the joining thread waits for the parts in order.
class CPdfParts {
public:
    enum class State { Waiting, Written, Failed };
    struct Part {
        int from = 0;
        int to = 0;
        QString file;
        State state = State::Waiting;
        QString error; // why it failed, when the file told
    };

    CPdfParts(int pages, int parts, const QTemporaryDir& folder)
        : m_parts(size_t(std::min(parts, pages)))
    {
        for (size_t k = 0; k < m_parts.size(); ++k) {
            Part& part = m_parts[k];
            part.from = int(qint64(pages) * qint64(k) / qint64(m_parts.size())) + 1;
            part.to = int(qint64(pages) * qint64(k + 1) / qint64(m_parts.size()));
            part.file = folder.filePath(QStringLiteral("part%1.pdf").arg(k + 1));
        }
    }
    size_t count() const { return m_parts.size(); }

    // The next part to paint; none when all are taken or the work stopped.
    const Part* Take()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        return m_stopped || m_next >= m_parts.size() ? nullptr : &m_parts[m_next++];
    }
    // Asked before each page a thread paints: whether to go on; counts the pages painted.
    bool Next()
    {
        m_painted.fetch_add(1, std::memory_order_relaxed);
        return !m_stopped.load(std::memory_order_relaxed);
    }
    int painted() const { return m_painted.load(std::memory_order_relaxed); }
    void Done(const Part* part, bool written, const QString& error)
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            Part& done = m_parts[size_t(part - m_parts.data())];
            done.state = written ? State::Written : State::Failed;
            done.error = error;
            if (!written)
                m_stopped = true;
        }
        m_changed.notify_all();
    }
    // Waits for the part to be painted, calling `waiting` every so often (false stops the work), also
    // while other parts end meanwhile; none when it failed or the work stopped.
    const Part* Wait(size_t k, const std::function<bool()>& waiting)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        auto next = std::chrono::steady_clock::now() + kProgressEvery;
        while (m_parts[k].state == State::Waiting && !m_stopped) {
            m_changed.wait_until(guard, next);
            if (waiting && std::chrono::steady_clock::now() >= next) {
                guard.unlock();
                const bool go = waiting();
                guard.lock();
                if (!go)
                    m_stopped = true;
                next = std::chrono::steady_clock::now() + kProgressEvery;
            }
        }
        return m_parts[k].state == State::Written ? &m_parts[k] : nullptr;
    }
    // Why the work failed: the first failed part's reason, if it told one.
    QString Failure()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        for (const Part& part : m_parts)
            if (part.state == State::Failed && !part.error.isEmpty())
                return part.error;
        return QString();
    }
    void Stop()
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_stopped = true;
    }

private:
    std::vector<Part> m_parts;
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_next = 0;
    std::atomic<bool> m_stopped = false; // set under the lock, read by the painting threads without it
    std::atomic<int> m_painted = 0;
};

// The parts are painted on up to as many threads as the machine runs at once; this thread joins them
// in order as they are ready, each part's file removed once joined. The private folder goes with every
// part in it, whatever happens.
bool WritePdfInParts(const CReportLayout& layout, const QString& path, int parts, QString* error,
                     const ReportPagesProgress& progress)
{
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/lir-report-XXXXXX"));
    if (!folder.isValid()) {
        if (error)
            *error = folder.errorString();
        return false;
    }
    // The file is opened first: a folder that takes no file fails before a page is painted.
    CPdfJoin join(path);
    if (!join.Open(error))
        return false;
    CPdfParts list(layout.count(), parts, folder);
    const auto work = [&] {
        // Qt's fonts serve the thread that made them: each thread paints with fonts of its own.
        const auto fonts = layout.CopyFonts();
        while (const CPdfParts::Part* part = list.Take()) {
            QFile file(part->file);
            const bool painted = file.open(QIODevice::WriteOnly)
                && WritePdfPages(layout, &file, part->from, part->to, fonts.get(), [&](int) { return list.Next(); });
            file.close();
            const bool written = painted && file.error() == QFileDevice::NoError;
            list.Done(part, written, file.error() == QFileDevice::NoError ? QString() : file.errorString());
        }
    };
    // The threads end before the folder and the parts go.
    struct Threads {
        CPdfParts& list;
        std::vector<std::thread> all;
        ~Threads()
        {
            list.Stop();
            for (std::thread& thread : all)
                thread.join();
        }
    } threads{list, {}};
    const size_t count = std::min(list.count(), size_t(std::max(1u, std::thread::hardware_concurrency())));
    for (size_t t = 0; t < count; ++t)
        threads.all.emplace_back(work);

    bool stopped = false;
    const auto tell = [&](int pages) {
        stopped = stopped || (progress && !progress(std::min(pages, layout.count()), layout.count()));
        return !stopped;
    };
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    for (size_t k = 0; k < list.count(); ++k) {
        const CPdfParts::Part* part = list.Wait(k, [&] { return tell(list.painted()); });
        if (stopped)
            return fail(kReportPdfStopped);
        if (!part) {
            const QString why = list.Failure();
            return fail(why.isEmpty() ? kPagesFailed : why);
        }
        if (!join.Add(part->file, part->to - part->from + 1, error, [&] { return tell(list.painted()); }))
            return stopped ? fail(kReportPdfStopped) : false;
        QFile::remove(part->file);
        if (!tell(list.painted()))
            return fail(kReportPdfStopped);
    }
    if (!join.Commit(error))
        return false;
    tell(layout.count());
    return true;
}

} // namespace

bool PaintReportPages(const CReportLayout& layout, QPagedPaintDevice* device, int from, int to,
                      const ReportPagesProgress& progress)
{
    if (!progress)
        return PaintPages(layout, device, from, to);
    from = std::max(from, 1);
    const int last = to <= 0 ? layout.count() : std::min(to, layout.count());
    const int of = std::max(0, last - from + 1);
    if (!PaintPages(layout, device, from, last, nullptr, [&](int page) { return progress(page - from, of); }))
        return false;
    progress(of, of);
    return true;
}

int ReportPdfParts(int pages)
{
    // Several parts a thread, so that a thread slowed down by other work leaves less to wait for.
    const int threads = int(std::thread::hardware_concurrency());
    return pages < kPartsFrom || threads < 2 ? 1 : std::min(pages / kPagesPerPart, 4 * threads);
}

bool WriteReportPdf(const CReportLayout& layout, const QString& path, QString* error, int parts,
                    const ReportPagesProgress& progress)
{
    if (parts <= 0)
        parts = ReportPdfParts(layout.count());
    if (parts <= 1 || layout.count() < 2)
        return WriteOnePdf(layout, path, error, progress);
    return WritePdfInParts(layout, path, parts, error, progress);
}

bool WriteReportPdf(const ReportContent& content, const QString& path, QString* error)
{
    const CReportLayout layout(content, DefaultReportPageLayout(content));
    return WriteReportPdf(layout, path, error);
}
