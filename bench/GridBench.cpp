// The grid control at the forecast editor's scale, offscreen: filling 5,000 x 20 cells through
// the grid's operations against building the same texts, one full repaint of a 1280 x 1024
// viewport against a bare QPainter loop drawing the same texts and lines, End with its repaint,
// and the memory the filled cells take. The summary prints each goal as met or MISSED.
#include "BenchSummary.h"
#include "GridView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>

#include <sys/resource.h>

#include <clocale>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 5000;
constexpr int kCols = 20;
const QSize kViewport(1280, 1024);
const QColor kMark(250, 120, 250);

// 8 to 12 characters.
QString CellText(int row, int col)
{
    const int length = 8 + (row * 7 + col) % 5;
    return QStringLiteral("Ячейка%1.%2").arg(row).arg(col).leftJustified(length, QLatin1Char('0'), true);
}

void Fill(CGridView& grid)
{
    grid.SetRowCount(kRows);
    grid.SetColumnCount(kCols);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            grid.SetItemText(r, c, CellText(r, c));
            if ((r * kCols + c) % 10 == 0)
                grid.SetItemBkColour(r, c, kMark);
        }
}

double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A filled grid shown with a viewport of exactly 1280 x 1024.
struct ShownGrid {
    CGridView grid;

    ShownGrid()
    {
        Fill(grid);
        grid.resize(kViewport + QSize(40, 40));
        grid.show();
        for (int i = 0; i < 3 && grid.viewport()->size() != kViewport; ++i) {
            grid.resize(grid.size() + kViewport - grid.viewport()->size());
            QApplication::processEvents();
        }
        grid.UpdateScrollBars();
        grid.viewport()->repaint();
    }
};

std::unique_ptr<ShownGrid> g_shown; // made on first use, gone before the application

ShownGrid& Shown()
{
    if (!g_shown)
        g_shown = std::make_unique<ShownGrid>();
    return *g_shown;
}

void BM_BuildStrings(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<QString> texts;
        texts.reserve(size_t(kRows) * kCols);
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c)
                texts.push_back(CellText(r, c));
        benchmark::DoNotOptimize(texts.data());
    }
}

void BM_FillGrid(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto grid = std::make_unique<CGridView>();
        state.ResumeTiming();
        Fill(*grid);
        state.PauseTiming();
        grid.reset();
        state.ResumeTiming();
    }
}

void BM_Repaint(benchmark::State& state)
{
    CGridView& grid = Shown().grid;
    for (auto _ : state)
        grid.viewport()->repaint();
}

// What the repaint draws at least: the visible cells' backgrounds, texts and grid lines.
void BM_BarePainter(benchmark::State& state)
{
    CGridView& grid = Shown().grid;
    struct Cell {
        QRect rect;
        QString text;
        QColor bk;
    };
    std::vector<Cell> cells;
    const CCellRange visible = grid.GetVisibleCellRange();
    for (int r = 0; r <= visible.maxRow; ++r)
        for (int c = 0; c <= visible.maxCol; ++c) {
            QRect rect;
            if ((r >= 1 && r < visible.minRow) || (c >= 1 && c < visible.minCol) || !grid.GetCellBounds(r, c, rect))
                continue;
            const QColor bk = grid.GetCell(r, c)->bkColour;
            cells.push_back({rect, grid.GetItemText(r, c), bk.isValid() ? bk : QColor(Qt::white)});
        }
    QImage image(kViewport, QImage::Format_ARGB32_Premultiplied);
    const QFont font = grid.GetItemFont(1, 1);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setFont(font);
        for (const Cell& cell : cells) {
            painter.fillRect(cell.rect, cell.bk);
            painter.setPen(Qt::black);
            painter.drawText(cell.rect.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignTop, cell.text);
            painter.setPen(QColor(192, 192, 192));
            painter.drawLine(cell.rect.topRight(), cell.rect.bottomRight());
            painter.drawLine(cell.rect.bottomLeft(), cell.rect.bottomRight());
        }
    }
    state.counters["cells"] = double(cells.size());
}

void BM_EndKey(benchmark::State& state)
{
    CGridView& grid = Shown().grid;
    for (auto _ : state) {
        state.PauseTiming();
        grid.SetScrollPosition(Qt::Vertical, 0);
        grid.SetFocusCell(1, 1);
        grid.viewport()->repaint();
        state.ResumeTiming();
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(&grid, &end);
        grid.viewport()->repaint();
    }
    if (grid.GetFocusCell().row != kRows - 1)
        state.SkipWithError("End did not reach the last row");
}

BENCHMARK(BM_BuildStrings)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FillGrid)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Repaint)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_BarePainter)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_EndKey)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    benchmark::Initialize(&argc, argv);

    // Memory first, before any other run leaves a higher peak behind.
    double textBytes = 0;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            textBytes += double(CellText(r, c).size()) * sizeof(QChar);
    const double before = PeakRssMb();
    auto measured = std::make_unique<CGridView>();
    Fill(*measured);
    const double filledMb = PeakRssMb() - before;
    measured.reset();

    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_shown.reset();

    const auto get = [&](const char* name) { return reporter.Ms(name); };
    const double strings = get("BM_BuildStrings/iterations:10");
    const double fill = get("BM_FillGrid/iterations:10");
    const double repaint = get("BM_Repaint/iterations:50");
    const double bare = get("BM_BarePainter/iterations:50");
    const double end = get("BM_EndKey/iterations:50");
    std::printf("\nSummary (%d x %d cells, viewport %d x %d)\n", kRows, kCols, kViewport.width(), kViewport.height());
    if (fill >= 0)
        PrintGoal("fill through the grid's operations", fill, "ms", 100);
    if (fill >= 0 && strings > 0)
        PrintRatio("ratio fill / building the same QStrings", fill / strings);
    if (repaint >= 0)
        PrintGoal("one full repaint", repaint, "ms", 16);
    if (repaint >= 0 && bare > 0)
        PrintRatio("ratio repaint / bare QPainter loop", repaint / bare, 2);
    if (end >= 0)
        PrintGoal("End (focus to the last row) and the repaint", end, "ms", 16);
    PrintGoal("memory of the filled cells (peak RSS growth)", filledMb, "MB", 50);
    PrintRatio("ratio memory / the texts' own bytes", filledMb * 1024 * 1024 / textBytes);
    return 0;
}
