// Printing into PDF files, read back by pdfinfo and pdftotext.
#include "GridView.h"
#include "TestSupport.h"

#include <QDate>
#include <QLocale>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

QString Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PageCount(const QString& pdf)
{
    const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(Run("pdfinfo", {pdf}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString PageText(const QString& pdf, int page)
{
    return Run("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
}

QString RowText(int row)
{
    return QStringLiteral("Строка %1").arg(row, 3, 10, QLatin1Char('0'));
}

} // namespace

TEST(GridPrintTest, PagesRepeatTheHeaderRowsAndBands)
{
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty() || QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdfinfo and pdftotext (poppler-utils) are needed";
    QTemporaryDir dir;
    QWidget window;
    window.setWindowTitle(QStringLiteral("Проверка печати"));
    CGridView grid(3, 3, 2, 0, &window);
    for (int c = 0; c < 3; ++c)
        grid.SetColumnWidth(c, 120);
    grid.SetItemText(0, 0, QStringLiteral("Код"));
    grid.SetItemText(0, 1, QStringLiteral("Наименование"));
    const auto print = [&](const QString& name) {
        const QString path = dir.filePath(name);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        EXPECT_TRUE(grid.Print(printer));
        return path;
    };
    const auto fill = [&](int rows) {
        grid.SetRowCount(rows);
        for (int r = 0; r < rows; ++r) {
            grid.SetRowHeight(r, 20);
            if (r >= 2)
                grid.SetItemText(r, 1, RowText(r));
        }
    };

    // Only the fixed rows: one page with the bands.
    grid.SetRowCount(2);
    QString pdf = print("fixed.pdf");
    EXPECT_EQ(PageCount(pdf), 1);
    EXPECT_TRUE(PageText(pdf, 1).contains(QStringLiteral("Наименование")));

    // One row more than a page holds starts page 2.
    fill(3);
    print("probe.pdf");
    const int fit = grid.GetPrintMetrics().usableHeight / 20;
    ASSERT_GT(fit, 5);
    fill(2 + fit + 1);
    pdf = print("two.pdf");
    EXPECT_EQ(PageCount(pdf), 2);
    const QString today = QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
    for (int page : {1, 2}) {
        const QString text = PageText(pdf, page);
        for (const QString& needed : {QStringLiteral("Прогноз"), QStringLiteral("Проверка печати"),
                                      QStringLiteral("Код"), QStringLiteral("Page %1 of 2").arg(page), today})
            EXPECT_TRUE(text.contains(needed)) << page << ": " << needed.toStdString();
    }
    EXPECT_TRUE(PageText(pdf, 1).contains(RowText(fit + 1)));
    EXPECT_TRUE(PageText(pdf, 2).contains(RowText(fit + 2)));
    EXPECT_FALSE(PageText(pdf, 2).contains(RowText(fit + 1)));

    // A row taller than a page gets a page of its own, and no page is blank.
    grid.SetRowHeight(4, grid.GetPrintMetrics().usableHeight + 40);
    pdf = print("tall.pdf");
    EXPECT_EQ(PageCount(pdf), 3);
    const QString alone = PageText(pdf, 2);
    EXPECT_TRUE(alone.contains(RowText(4)));
    EXPECT_EQ(alone.count(QStringLiteral("Строка")), 1);
    EXPECT_TRUE(PageText(pdf, 3).contains(RowText(5)));
}
