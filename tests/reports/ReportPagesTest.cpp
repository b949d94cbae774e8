// The pages of every shipped form at its widest data: a 15-digit sum in every money column, 9-digit
// quantities and prices, long names and units, many pages; and of every form that lists receivers,
// with a thousand of them. pdftotext (-layout, -bbox) and pdfinfo read the PDFs back: no number split
// across lines, no caption's word broken, nothing outside the page or over another text, every row of
// the run printed, "Стр. N из M" on every page, a group's caption on the pages that continue it, and
// the preview showing as many pages as the PDF holds. The PDFs stay in build/test-out/reports/pages/.
#include "ReportTestSupport.h"

#include "ModalHook.h"
#include "ProgressBar.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "ReportLayout.h"
#include "ReportPdfJoin.h"
#include "ReportPreview.h"
#include "Settings.h"
#include "db/DbConnection.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStatusBar>
#include <QTest>

#include <map>
#include <set>

namespace {

const QString kForecast = QStringLiteral("Прогноз на 2026 год");
const QString kCaption = QStringLiteral("По муниципальным образованиям Российской Федерации");
constexpr qlonglong kWidest = 1234567890123456789; // 123456789012345,6789
constexpr qlonglong kQuantity = 1234567891234;     // 123456789,1234

QString OutDir()
{
    const QString dir = QStringLiteral(LIR_TEST_OUT_DIR "/reports/pages/");
    QDir().mkpath(dir);
    return dir;
}

// A shipped form: its table, the values of its parameters for a run, and which of them list
// receivers (with what follows the names).
struct Form {
    const char* file;
    const char* table;
    const char* title;
    std::function<QStringList(int id)> values;
    std::vector<std::pair<int, const char*>> receivers;
    const char* pageList = nullptr; // where the page lines name the receivers in short: what goes before
};

const Form kForms[] = {
    {"Form1.rpt",
     "reportform1",
     "Форма 1. Прогноз объемов продукции",
     [](int id) { return Form1Values(id); },
     {{0, ""}}},
    // Form 2 of a group product, which has no natural unit.
    {"Form2.rpt",
     "reportform2",
     "Отчет Ф2. Средние цены закупок товаров",
     [](int id) {
         return QStringList{"2026", QString::number(id), "[01.1] Хлебобулочные изделия", "тыс. руб.", " ", kCaption,
                            "0"};
     },
     {}},
    {"Form3.rpt",
     "reportform3",
     "Форма 3. Отчет по детализации прогнозных данных с точки зрения методик обоснования",
     [](int id) { return QStringList{"", "0", "2026", "0", kCaption, "2", QString::number(id), "Учреждение А"}; },
     {{7, ""}}},
    {"Form4.rpt",
     "reportform4",
     "Отчет Ф4. Удельный вес объемов продукции",
     [](int id) {
         return QStringList{QString::number(id),
                            "2026",
                            "Хлеб",
                            "тыс. руб.",
                            "123456789012345,6789",
                            "123456789012345,6789",
                            "123456789012345,6789",
                            "государственные заказчики",
                            "0"};
     },
     {}},
    {"Form5.rpt",
     "reportform5",
     "Форма 5. Динамика объемов и цен продукции",
     [](int id) { return QStringList{"2026", QString::number(id), "Учреждение А", kCaption, "0", "2"}; },
     {{2, ""}}},
    {"Form6.rpt",
     "reportform6",
     "Форма 6. Структура продукции",
     [](int id) { return QStringList{"Учреждение А", "", "0", "2026", "0", kCaption, "2", QString::number(id)}; },
     {{0, ""}}},
    {"Form7.rpt",
     "reportform7",
     "Ф7. Отчет о количестве участников разработки прогноза",
     [](int id) { return QStringList{"Учреждение А", "0", "2026", kCaption, "2", QString::number(id)}; },
     {{0, ""}},
     "Получатели: "},
    {"Form8.rpt",
     "reportform8",
     "Отчет Ф8. Сведения об изменениях стоимостных показателей по видам продукции",
     [](int id) {
         return QStringList{"10", "2026", kCaption, QString::number(id)};
     },
     {}},
    {"Form9.rpt",
     "ReportForm9",
     "Внутренняя аналитическая форма сравнения двух прогнозов",
     [](int id) {
         return QStringList{
             "10", "2026", QString::number(id), "Все получатели (2026 год)", "Сводный прогноз (2027 год)", "2027"};
     },
     {{3, " (2026 год)"}, {4, " (2027 год)"}}},
    {"Empty.rpt",
     "Product",
     "Прогноз объемов продукции",
     [](int id) {
         return QStringList{"2026", kCaption, QString::number(id), ""};
     },
     {}},
};

// Of form 8 every 25th row is a receiver and the next one a receiver below it; of forms 2 and 4 every
// 11th row is a group (a name without hyphens).
bool GroupRow(const QString& table, int i)
{
    return table == u"reportform8" ? i % 25 <= 1 : i % 11 == 0;
}

// Writes `count` rows of the widest data into the table, each named from `named` (%1: its number)
// where it is given; answers the run's report id.
int WriteWideRows(const QString& table, int count, const QString& named = QString())
{
    const int id = CreateReportHeader();
    if (id <= 0)
        return -1;
    QSqlDatabase db = GetReportDBConnection().GetConnection();
    const QSqlRecord record = db.record(table);
    QStringList names;
    QStringList marks;
    for (int c = 0; c < record.count(); ++c) {
        names << QLatin1Char('"') + record.fieldName(c) + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("insert into \"%1\" (%2) values (%3)").arg(table, names.join(','), marks.join(','))))
        return -1;
    db.transaction();
    for (int i = 0; i < count; ++i) {
        const bool group = GroupRow(table, i);
        for (int c = 0; c < record.count(); ++c) {
            const QString name = record.fieldName(c).toLower();
            QVariant v;
            if (name == u"report" || name == u"report_id")
                v = id;
            else if (name == u"seq" || name == u"position")
                v = i + 1;
            else if (name == u"ismeasurementnatural" || name == u"type")
                v = 1;
            else if (name == u"parent")
                v = 2;
            else if (name == u"quantity")
                v = 123456;
            else if (name == u"productid")
                v = group ? QVariant() : QVariant(i);
            else if (name.endsWith(u"id") || name == u"receiverisgroup")
                v = 1;
            else if ((name == u"name" || name == u"organization") && !named.isEmpty())
                v = named.arg(i);
            else if (name == u"name" || name == u"organization")
                v = table == u"reportform8" && group ? QStringLiteral("Получатель %1").arg(i)
                    : group && table != u"reportform8"
                    ? QStringLiteral("Группа получателей %1").arg(i)
                    : QStringLiteral("----Продукция номер %1 с довольно длинным наименованием").arg(i);
            else if (name == u"code" || name == u"group")
                v = QStringLiteral("01.02.03.%1").arg(i);
            else if (name.startsWith(u"measurement"))
                v = QStringLiteral("тыс. руб.");
            else if (name.startsWith(u"ratio") || name.startsWith(u"percent"))
                v = (i % 7 == 3 ? -1 : 1) * 98765432LL; // 9876,5432 %
            else if (name.startsWith(u"sum"))
                v = (i % 7 == 3 ? -1 : 1) * kWidest;
            else
                v = (i % 7 == 3 ? -1 : 1) * kQuantity; // quantities and prices
            q.addBindValue(v);
        }
        if (!q.exec())
            return -1;
    }
    db.commit();
    return id;
}

// The words of each page as pdftotext -bbox places them, in points, and the page's size.
struct PdfPageWords {
    QSizeF size;
    std::vector<std::pair<QRectF, QString>> words;
};

std::vector<PdfPageWords> PdfWords(const QString& pdf)
{
    static const QRegularExpression page(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"));
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([0-9.-]+)\" yMin=\"([0-9.-]+)\" xMax=\"([0-9.-]+)\" yMax=\"([0-9.-]+)\">([^<]*)</word>"));
    std::vector<PdfPageWords> pages;
    for (const QString& line : RunPeer("pdftotext", {"-bbox", pdf, "-"}).output.split(u'\n')) {
        if (const auto m = page.match(line); m.hasMatch()) {
            pages.push_back(PdfPageWords{QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()), {}});
        } else if (const auto w = word.match(line); w.hasMatch() && !pages.empty()) {
            const QPointF from(w.captured(1).toDouble(), w.captured(2).toDouble());
            const QPointF to(w.captured(3).toDouble(), w.captured(4).toDouble());
            pages.back().words.emplace_back(QRectF(from, to), w.captured(5));
        }
    }
    return pages;
}

// Every word stands on its page and over no other word.
void ExpectNoTextOutsideOrOverOther(const QString& pdf)
{
    const std::vector<PdfPageWords> pages = PdfWords(pdf);
    EXPECT_FALSE(pages.empty());
    int outside = 0;
    int over = 0;
    for (size_t p = 0; p < pages.size(); ++p) {
        const QRectF sheet(QPointF(0, 0), pages[p].size);
        auto words = pages[p].words;
        std::sort(words.begin(), words.end(),
                  [](const auto& a, const auto& b) { return a.first.top() < b.first.top(); });
        for (size_t i = 0; i < words.size(); ++i) {
            const QRectF& box = words[i].first;
            if (!sheet.contains(box) && outside++ < 3)
                ADD_FAILURE() << "page " << p + 1 << ": " << words[i].second.toStdString() << " outside the page";
            // Glyph boxes of lines next to each other may touch: a text over another overlaps by more.
            for (size_t k = i + 1; k < words.size() && words[k].first.top() < box.bottom() - 1; ++k) {
                const QRectF both = box.intersected(words[k].first);
                if (both.width() > 1 && both.height() > 1 && over++ < 3)
                    ADD_FAILURE() << "page " << p + 1 << ": " << words[i].second.toStdString() << " over "
                                  << words[k].second.toStdString();
            }
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(over, 0);
}

// The text of pdftotext -layout without the lines at the top and foot of each page, so that what a
// page break cuts reads on. Where the page lines name the receivers, every page's lines after the
// first must read `listed` (over as many lines as it takes).
QString WithoutPageLines(const QString& text, const QString& listed = QString())
{
    QStringList out;
    int page = 0;
    for (const QString& sheet : text.split(u'\f')) {
        QStringList lines = sheet.split(u'\n', Qt::SkipEmptyParts);
        if (lines.size() < 2)
            continue;
        ++page;
        qsizetype from = 1;
        QString read;
        while (read.simplified().size() < listed.size() && from < lines.size() - 1)
            read += u' ' + lines[from++];
        EXPECT_EQ(read.simplified(), listed) << "page " << page;
        out << lines.mid(from, lines.size() - 1 - from);
    }
    return out.join(u'\n');
}

// The rows a text shows, by their numbers ("Строка N").
std::set<int> RowsIn(const QString& text)
{
    static const QRegularExpression row(QStringLiteral("Строка\\s+(\\d+)(?!\\d)"));
    std::set<int> found;
    for (auto it = row.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured(1).toInt());
    return found;
}

// Whole numbers and decimals as pdftotext -layout reads them, each with its count.
std::map<QString, int> NumbersIn(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("(?<![\\d,])-?\\d+(?:,\\d+)?(?![\\d,])"));
    std::map<QString, int> found;
    for (auto it = number.globalMatch(text); it.hasNext();)
        ++found[it.next().captured()];
    return found;
}

class ReportPagesTest : public ReportHomeTest {
protected:
    std::optional<ReportContent> Content(const Form& form, int id)
    {
        ReportError error;
        const auto definition = LoadReportDefinition(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(form.file),
                                                     home() + kReportSchemaFile, &error);
        EXPECT_TRUE(definition) << error.code;
        if (!definition)
            return std::nullopt;
        auto content = BuildReportContent(*definition, form.values(id), QString::fromUtf8(form.title), kForecast,
                                          ReportDatabasePath(), 0, &error);
        EXPECT_TRUE(content) << error.code << error.detail.toStdString();
        return content;
    }
    // The form over so many rows of the widest data.
    std::optional<ReportContent> Wide(const Form& form, int rows)
    {
        const int id = WriteWideRows(QLatin1String(form.table), rows);
        EXPECT_GT(id, 0);
        return id > 0 ? Content(form, id) : std::nullopt;
    }
};

TEST_F(ReportPagesTest, EveryFormAtItsWidestDataKeepsEachNumberOnOneLine)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.file);
        const auto content = Wide(form, 120);
        ASSERT_TRUE(content);
        const CReportLayout layout(*content, DefaultReportPageLayout(*content));
        // One size for every cell, none below the floor, the header's neither.
        for (size_t c = 0; c < content->columns.size(); ++c) {
            EXPECT_GE(layout.ColumnPoints(int(c)), kReportFontFloor) << "column " << c;
            EXPECT_EQ(layout.ColumnPoints(int(c)), layout.ColumnPoints(0)) << "column " << c;
        }
        EXPECT_GE(layout.HeaderPoints(), kReportFontFloor);

        const QString pdf = OutDir() + QString::fromLatin1(form.file).replace(".rpt", ".pdf");
        QString message;
        ASSERT_TRUE(WriteReportPdf(layout, pdf, &message)) << message.toStdString();
        const int pages = PdfInfo(pdf).pages;
        EXPECT_EQ(pages, layout.count());
        EXPECT_GE(pages, 2);

        // Every long number of the cells comes back whole, as often as the cells hold it.
        std::map<QString, int> cells;
        static const QRegularExpression numeric(QStringLiteral("^-?\\d+(,\\d+)?$"));
        for (size_t r = 0; r < content->rows.size(); ++r)
            for (int c = 0; c < content->rows.columnCount(); ++c) {
                const QString text = content->rows.Cell(r, c).toString();
                if (text.size() >= 9 && numeric.match(text).hasMatch())
                    ++cells[text];
            }
        const QString text = PdfText(pdf, 0, true);
        const std::map<QString, int> read = NumbersIn(text);
        for (const auto& [number, count] : cells) {
            const auto it = read.find(number);
            EXPECT_EQ(it == read.end() ? 0 : it->second, count) << number.toStdString();
        }
        const QString table = QLatin1String(form.table);
        EXPECT_TRUE(!cells.empty() || table == u"Product" || table == u"reportform7");

        // No caption's word is broken, no caption has empty brackets; every page says where it is.
        const QString first = PdfText(pdf, 1, true);
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        static const QRegularExpression empty(QStringLiteral("\\(\\s*\\)"));
        for (const ReportHeaderCell& cell : content->header) {
            EXPECT_FALSE(cell.text.contains(empty)) << cell.text.toStdString();
            for (const QString& word : cell.text.split(blanks, Qt::SkipEmptyParts))
                EXPECT_TRUE(first.contains(word)) << word.toStdString();
        }
        ExpectNoTextOutsideOrOverOther(pdf);
        for (int page = 1; page <= pages; ++page) {
            const QString on = PdfText(pdf, page, true);
            EXPECT_TRUE(on.contains(QStringLiteral("Стр. %1 из %2").arg(page).arg(pages))) << page;
            EXPECT_TRUE(on.contains(kForecast)) << page;
        }
    }
}

TEST_F(ReportPagesTest, APageThatContinuesAGroupRepeatsItsCaption)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    static const QRegularExpression product(QStringLiteral("Продукция\\s+номер\\s+(\\d+)"));
    for (const Form& form : kForms) {
        const QString table = QLatin1String(form.table);
        if (table != u"reportform8" && table != u"reportform2" && table != u"reportform4")
            continue;
        SCOPED_TRACE(form.file);
        const int rows = table == u"reportform8" ? 130 : 95;
        const auto content = Wide(form, rows);
        ASSERT_TRUE(content);
        const QString pdf =
            OutDir() + QStringLiteral("groups-") + QString::fromLatin1(form.file).replace(".rpt", ".pdf");
        const CReportLayout layout(*content, DefaultReportPageLayout(*content));
        QString message;
        ASSERT_TRUE(WriteReportPdf(layout, pdf, &message)) << message.toStdString();
        const int pages = PdfInfo(pdf).pages;
        ASSERT_GE(pages, 3);
        // No group's row, nor a receiver's with the one below it, stands alone at a page's foot.
        for (int page = 0; page + 1 < layout.count(); ++page)
            EXPECT_FALSE(content->rows.BeginsGroup(layout.Rows(page).end - 1)) << "page " << page + 1;
        // The first product on a page belongs to the last group row before it: the page names it.
        int continued = 0;
        for (int page = 2; page <= pages; ++page) {
            const QString text = PdfText(pdf, page, true);
            const auto match = product.match(text);
            if (!match.hasMatch())
                continue;
            int group = match.captured(1).toInt();
            while (!GroupRow(table, group))
                --group;
            const QString name = table == u"reportform8" ? QStringLiteral("Получатель %1").arg(group)
                                                         : QStringLiteral("Группа получателей %1").arg(group);
            EXPECT_TRUE(text.contains(name)) << page << "\n" << text.left(600).toStdString();
            continued += text.contains(name + QStringLiteral(" (продолжение)")) ? 1 : 0;
        }
        EXPECT_GE(continued, 1);
    }
}

// However many receivers a form lists, their names stand in full once, flowing over as many pages as
// they need before the table, and the table's every row is printed, in the PDF and by the preview;
// where the header or the page lines name them, they name the first few and "и ещё N". A first name
// wider than the page breaks the page line between words.
TEST_F(ReportPagesTest, AFormListingManyReceiversPrintsEveryRowAfterThem)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    constexpr size_t kRows = 40;
    static const QRegularExpression numbered(QStringLiteral("№\\s+(\\d+)"));
    for (const Form& form : kForms) {
        if (form.receivers.empty())
            continue;
        SCOPED_TRACE(form.file);
        const int id = WriteWideRows(QLatin1String(form.table), int(kRows), QStringLiteral("Строка %1"));
        ASSERT_GT(id, 0);
        std::set<int> rows;
        for (size_t r = 0; r < kRows; ++r)
            rows.insert(int(r));
        const QString wide = QStringLiteral("Центр бухгалтерского обслуживания муниципальных учреждений ").repeated(4);
        const std::pair<int, QString> runs[] = {{1, QString()}, {250, QString()}, {1000, QString()}, {250, wide}};
        for (const auto& [count, first] : runs) {
            SCOPED_TRACE(count);
            SCOPED_TRACE(first.isEmpty() ? "" : "a first name wider than the page");
            QStringList names;
            for (int n = 1; n <= count; ++n)
                names << (n == 1 ? first : QString())
                        + QStringLiteral("Муниципальное казённое учреждение «Центр обслуживания» № %1").arg(n);
            // Names this long leave room for one in the short form.
            const QString listed = !form.pageList ? QString()
                : count == 1                      ? form.pageList + names[0]
                             : form.pageList + names[0] + QStringLiteral(" и ещё %1").arg(count - 1);
            QStringList values = form.values(id);
            for (const auto& [at, tail] : form.receivers)
                values[at] = names.join(QStringLiteral("; ")) + QString::fromUtf8(tail);
            ReportError error;
            const auto definition = LoadReportDefinition(QStringLiteral(LIR_BIN_DIR "/") + QLatin1String(form.file),
                                                         home() + kReportSchemaFile, &error);
            ASSERT_TRUE(definition);
            auto content = BuildReportContent(*definition, values, QString::fromUtf8(form.title), kForecast,
                                              ReportDatabasePath(), 0, &error);
            ASSERT_TRUE(content);
            const QString pdf = OutDir()
                + QStringLiteral("receivers-%1-%2%3.pdf")
                      .arg(QString::fromLatin1(form.file).replace(".rpt", ""))
                      .arg(count)
                      .arg(first.isEmpty() ? "" : "-wide");
            QWidget owner;
            auto* preview = new CReportPreview(std::move(*content), &owner);
            ASSERT_TRUE(preview->ExportTo(pdf));
            EXPECT_EQ(PdfInfo(pdf).pages, preview->pageCount());
            const QString text = WithoutPageLines(PdfText(pdf, 0, true), listed);
            EXPECT_EQ(RowsIn(text), rows);
            // Each list whole, in its order: no name cut, none left out.
            const QString flowing = text.simplified();
            for (const auto& [at, tail] : form.receivers)
                EXPECT_TRUE(flowing.contains(values[at])) << at;
            std::set<int> receivers;
            std::map<int, int> times;
            for (auto it = numbered.globalMatch(text); it.hasNext();) {
                const int n = it.next().captured(1).toInt();
                receivers.insert(n);
                ++times[n];
            }
            EXPECT_EQ(receivers.size(), size_t(count));
            EXPECT_EQ(receivers.empty() ? 0 : *receivers.rbegin(), count);
            // The last name stands in the heading alone: in full once per list, never in a header.
            if (count > 3) {
                EXPECT_EQ(times[count], int(form.receivers.size()));
            }
            if (count > 3 && form.receivers.size() > 1) {
                EXPECT_TRUE(PdfText(pdf, PdfInfo(pdf).pages, true).contains(QStringLiteral("и ещё")));
            }
            ExpectNoTextOutsideOrOverOther(pdf);

            // The preview printed to a file: the same pages, every row.
            const QString printed = OutDir() + QStringLiteral("receivers-printed.pdf");
            QPrinter printer(QPrinter::ScreenResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printed);
            ASSERT_TRUE(PaintReportPages(preview->layout(), &printer));
            EXPECT_EQ(PdfInfo(printed).pages, preview->pageCount());
            EXPECT_EQ(RowsIn(PdfText(printed, 0, true)), rows);
        }
    }
}

TEST_F(ReportPagesTest, ALargeRunIsReadInPartsInTheOrderItWasWritten)
{
    // 250,000 rows of form 8 between another run's rows: every 1000th a receiver, one name beyond the
    // basic plane.
    const int other = CreateReportHeader();
    const int id = CreateReportHeader();
    ASSERT_GT(id, other);
    QSqlQuery q(GetReportDBConnection().GetConnection());
    for (const int run : {other, id, other}) {
        ASSERT_TRUE(
            q.exec(QStringLiteral(
                       "with recursive n(i) as (select 0 union all select i + 1 from n where i < 249999) "
                       "insert into reportform8 (report, Name, \"Group\", ProductId, measurementPrice, sumEstimate, "
                       "sumForecast) "
                       "select %1, case when i = 77 then 'Крупа 𝔸' when i % 1000 = 0 then 'Получатель ' || i "
                       "else 'Продукция ' || i end, '01.' || i, case when i % 1000 = 0 then null else i end, 'руб.', "
                       "10000 * i, 20000 * i from n")
                       .arg(run)))
            << q.lastError().text().toStdString();
    }
    const auto content = Content(kForms[7], id);
    ASSERT_TRUE(content);
    const ReportRows& rows = content->rows;
    ASSERT_EQ(rows.size(), 250000u);
    size_t wrong = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool receiver = i % 1000 == 0;
        const QString name = i == 77 ? QStringLiteral("Крупа 𝔸")
            : receiver               ? QStringLiteral("Получатель %1").arg(i)
                                     : QStringLiteral("Продукция %1").arg(i);
        const bool right = rows.Spans(i) == receiver && rows.BeginsGroup(i) == receiver
            && (receiver ? rows.Cell(i, 0) == name && rows.GroupCaption(i) == name
                         : rows.Cell(i, 0) == QStringLiteral("01.%1").arg(i) && rows.Cell(i, 1) == name
                        && rows.Cell(i, 4) == QString::number(i) && rows.Cell(i, 5) == QString::number(2 * i));
        wrong += right ? 0 : 1;
        if (!right && wrong < 5)
            ADD_FAILURE() << "row " << i << ": " << rows.Cell(i, 0).toString().toStdString();
    }
    EXPECT_EQ(wrong, 0u);
    const CReportLayout layout(*content, DefaultReportPageLayout(*content));
    EXPECT_EQ(layout.Rows(layout.count() - 1).end, rows.size());
}

TEST_F(ReportPagesTest, ThePreviewShowsThePagesThePdfHoldsPaintingOnlyThoseInView)
{
    const Form& form8 = kForms[7];
    auto content = Wide(form8, 1500);
    ASSERT_TRUE(content);
    QWidget owner;
    auto* preview = new CReportPreview(std::move(*content), &owner);
    preview->resize(1000, 800);
    preview->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(preview));
    QCoreApplication::processEvents();
    ASSERT_GE(preview->pageCount(), 20);
    EXPECT_GE(preview->view()->paintedPages(), 1);
    EXPECT_LE(preview->view()->paintedPages(), 6) << "only the pages in view are painted";

    const QString pdf = OutDir() + "preview-form8.pdf";
    ASSERT_TRUE(preview->ExportTo(pdf));
    // Printed (here by a PDF printer at screen resolution), the pages are the same.
    const QString printed = OutDir() + "printed-form8.pdf";
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed);
    ASSERT_TRUE(PaintReportPages(preview->layout(), &printer));
    if (HavePdfPeers()) {
        EXPECT_EQ(PdfInfo(pdf).pages, preview->pageCount());
        EXPECT_EQ(PdfInfo(printed).pages, preview->pageCount());
        EXPECT_EQ(PdfText(printed, 2, true), PdfText(pdf, 2, true));
        // A page of the preview ends where the PDF's does: its last product is the PDF page's last.
        static const QRegularExpression product(QStringLiteral("Продукция\\s+номер\\s+(\\d+)"));
        const CReportLayout::PageRows rows = preview->layout().Rows(0);
        QString last;
        for (auto it = product.globalMatch(PdfText(pdf, 1, true)); it.hasNext();)
            last = it.next().captured(1);
        EXPECT_EQ(last.toULongLong(), rows.end - 1);
    }
}

// A PDF written in parts side by side, against one writer's PDF of the same layout: the same pages and
// text, a file qpdf finds sound, and each part's pages alike to the pixel.
class ReportPdfPartsTest : public ReportPagesTest {
protected:
    static bool HavePeers() { return HavePdfPeers() && HaveProgram("qpdf") && HaveProgram("pdftoppm"); }

    // pdftoppm's grey image of a page at a low resolution.
    QByteArray PageImage(const QString& pdf, int page)
    {
        const QString out = home() + QStringLiteral("page");
        const QString n = QString::number(page);
        const PeerRun run = RunPeer("pdftoppm", {"-r", "30", "-gray", "-singlefile", "-f", n, "-l", n, pdf, out});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        return ReadFile(out + QStringLiteral(".pgm"));
    }

    // qpdf's verdict on the file: with `content`, --check (which also reads every page's content, too
    // slow for thousands of pages); else the file read through and written anew, which it does only
    // without a warning when every object, stream and reference stands where the file says.
    void Sound(const QString& pdf, bool content)
    {
        const PeerRun run = content
            ? RunPeer("qpdf", {"--check", pdf})
            : RunPeer("qpdf", {"--decode-level=none", pdf, home() + QStringLiteral("qpdf.pdf")});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_TRUE(!content || run.output.contains("No syntax or stream encoding errors")) << run.output.toStdString();
    }

    // Writes the layout with one writer and in `parts` parts and compares the two: the page count, the
    // text (of the pages listed, else of the whole file) and the images of those pages.
    void Compare(const CReportLayout& layout, const QString& name, int parts, std::vector<int> pages = {})
    {
        const QString one = OutDir() + name + QStringLiteral("-one.pdf");
        const QString joined = OutDir() + name + QStringLiteral("-parts.pdf");
        QString message;
        ASSERT_TRUE(WriteReportPdf(layout, one, &message, 1)) << message.toStdString();
        ASSERT_TRUE(WriteReportPdf(layout, joined, &message, parts)) << message.toStdString();
        EXPECT_EQ(PdfInfo(one).pages, layout.count());
        EXPECT_EQ(PdfInfo(joined).pages, layout.count());
        Sound(joined, pages.empty());
        if (pages.empty()) {
            EXPECT_EQ(PdfText(joined, 0, true), PdfText(one, 0, true));
            for (int page = 1; page <= layout.count(); ++page)
                pages.push_back(page);
        } else {
            for (int page : pages)
                EXPECT_EQ(PdfText(joined, page, true), PdfText(one, page, true)) << "page " << page;
        }
        for (int page : pages)
            EXPECT_EQ(PageImage(joined, page), PageImage(one, page)) << "page " << page;
    }
};

TEST_F(ReportPdfPartsTest, EveryFormWrittenInPartsReadsAsOneWriterWroteIt)
{
    if (!HavePeers())
        GTEST_SKIP() << "pdftotext, pdfinfo, pdftoppm (poppler-utils) and qpdf are needed";
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.file);
        const auto content = Wide(form, 60);
        ASSERT_TRUE(content);
        const CReportLayout layout(*content, DefaultReportPageLayout(*content));
        ASSERT_GE(layout.count(), 2);
        Compare(layout, QStringLiteral("parts-") + QString::fromLatin1(form.file).replace(".rpt", ""), 3);
    }
}

TEST_F(ReportPdfPartsTest, ALargeForm8InPartsIsTheOneWritersDocument)
{
    if (!HavePeers())
        GTEST_SKIP() << "pdftotext, pdfinfo, pdftoppm (poppler-utils) and qpdf are needed";
    const auto content = Wide(kForms[7], 76000);
    ASSERT_TRUE(content);
    const CReportLayout layout(*content, DefaultReportPageLayout(*content));
    ASSERT_GE(layout.count(), 2000);
    // Eight parts: the first page of each, and the last page.
    constexpr int kParts = 8;
    std::vector<int> pages;
    for (int k = 0; k < kParts; ++k)
        pages.push_back(layout.count() * k / kParts + 1);
    pages.push_back(layout.count());
    Compare(layout, QStringLiteral("parts-form8"), kParts, pages);

    // Left to choose, a report this large is written in parts too: each part brings its own fonts.
    const QString chosen = OutDir() + QStringLiteral("parts-form8-chosen.pdf");
    QString message;
    ASSERT_TRUE(WriteReportPdf(layout, chosen, &message)) << message.toStdString();
    EXPECT_EQ(PdfInfo(chosen).pages, layout.count());
    const auto fonts = [](const QString& pdf) { return ReadFile(pdf).count("/Type /FontDescriptor"); };
    EXPECT_GE(fonts(chosen), 2 * fonts(OutDir() + QStringLiteral("parts-form8-one.pdf")));
    Sound(chosen, false);
}

TEST_F(ReportPdfPartsTest, TheTemporaryPartsGoWhetherTheWritingSucceedsOrFails)
{
    const QString temp = home() + QStringLiteral("tmp");
    ASSERT_TRUE(QDir().mkpath(temp));
    SetEnv("TMPDIR", temp.toUtf8());
    const auto content = Wide(kForms[7], 400);
    ASSERT_TRUE(content);
    const CReportLayout layout(*content, DefaultReportPageLayout(*content));
    const QString target = home() + QStringLiteral("written.pdf");
    WriteFile(target, "earlier");
    ASSERT_GE(layout.count(), 8);
    struct Case {
        const char* what;
        QString path;
        int parts;
        int stopAt; // the pages painted at which the progress asks to stop; -1 never
        bool written;
    };
    const Case cases[] = {
        {"into a folder that is not there", home() + QStringLiteral("missing/report.pdf"), 4, -1, false},
        {"stopped by the one writer", target, 1, 3, false},
        {"stopped while the parts are painted", target, 4, 1, false},
        {"over an earlier file", target, 4, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QString message;
        int told = -1;
        bool forward = true;
        const auto progress = [&](int pages, int of) {
            forward = forward && pages >= told && pages <= of && of == layout.count();
            told = pages;
            return c.stopAt < 0 || pages < c.stopAt;
        };
        EXPECT_EQ(WriteReportPdf(layout, c.path, &message, c.parts, progress), c.written) << message.toStdString();
        EXPECT_TRUE(forward);
        if (c.stopAt >= 0) {
            EXPECT_EQ(message, kReportPdfStopped);
        }
        EXPECT_EQ(message.isEmpty(), c.written);
        EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        if (c.written) {
            EXPECT_EQ(told, layout.count());
            if (HavePdfPeers()) {
                EXPECT_EQ(PdfInfo(c.path).pages, layout.count());
            }
        } else {
            EXPECT_EQ(ReadFile(target), "earlier");
        }
    }
}

// The print dialog's choice: a PDF file, pages 2 to 4 of it with `range`.
class CPrintToFileHook : public CModalHook {
public:
    QString path;
    bool range = false;
    int execDialog(QDialog& dialog) override
    {
        QPrinter* printer = static_cast<QPrintDialog&>(dialog).printer();
        printer->setOutputFileName(path);
        printer->setPrintRange(range ? QPrinter::PageRange : QPrinter::AllPages);
        printer->setFromTo(range ? 2 : 0, range ? 4 : 0);
        return QDialog::Accepted;
    }
};

// A save or print of many pages from the preview shows its pages with "Прервать" and stops at once
// at the user's word (Escape, the button, the preview's close box) or the program's close: said so
// (not while the program closes), and no file, nothing beside it and nothing in the temporary folder
// stays. A print into a file not stopped puts the whole file in place.
TEST_F(ReportPagesTest, ASaveOrPrintStoppedMidwayLeavesNoFileAndNoParts)
{
    const QString temp = home() + QStringLiteral("tmp");
    const QString out = home() + QStringLiteral("out/");
    ASSERT_TRUE(QDir().mkpath(temp) && QDir().mkpath(out));
    SetEnv("TMPDIR", temp.toUtf8());
    CPrintToFileHook hook;
    hook.path = out + QStringLiteral("form8.pdf");
    SetModalHook(&hook);
    QMainWindow main; // whose close box would close the program
    SetAppMainWindow(&main);
    const int id = WriteWideRows(QStringLiteral("reportform8"), 6000);
    enum class Stop { None, Escape, Button, CloseBox, CloseProgram };
    const struct {
        bool print;
        Stop stop;
        QString told;
    } cases[] = {
        {false, Stop::Escape, kReportPdfStopped},
        {false, Stop::Button, kReportPdfStopped},
        {false, Stop::CloseBox, kReportPdfStopped},
        {false, Stop::CloseProgram, QString()},
        {true, Stop::Escape, ReportPreviewTexts::kPrintStopped},
        {true, Stop::None, QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(10 * c.print + int(c.stop));
        std::vector<bool> closes;
        SetAppCloseHandler([&](bool duringWait) { closes.push_back(duringWait); });
        QWidget owner;
        QPointer<CReportPreview> preview = new CReportPreview(std::move(*Content(kForms[7], id)), &owner);
        preview->show();
        const int pages = preview->pageCount();
        ASSERT_GE(pages, 48);
        hook.range = c.stop == Stop::None;
        messages.clear();
        QString shown;
        bool parts = false;
        QElapsedTimer stopped;
        bool done;
        {
            CWhileWaiting user(preview.data(), [&] {
                auto* button = preview->findChild<QPushButton*>(QStringLiteral("outputStop"));
                if (c.stop == Stop::None || !button || !button->isVisible())
                    return false;
                shown = preview->statusBar()->currentMessage();
                parts = !QDir(temp).entryList({QStringLiteral("lir-report-*")}, QDir::Dirs).isEmpty();
                stopped.start();
                if (c.stop == Stop::Escape)
                    QTest::keyClick(preview->view(), Qt::Key_Escape);
                else if (c.stop == Stop::Button)
                    QTest::mouseClick(button, Qt::LeftButton);
                else if (c.stop == Stop::CloseBox)
                    preview->close();
                else
                    RequestAppClose();
                return true;
            });
            done = c.print ? preview->Print() : preview->ExportTo(hook.path);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(done, c.stop == Stop::None);
        EXPECT_EQ(preview.isNull(), c.stop == Stop::CloseBox);
        if (c.stop == Stop::None) {
            EXPECT_TRUE(!HavePdfPeers() || PdfInfo(hook.path).pages == 3);
        } else {
            EXPECT_TRUE(stopped.isValid() && stopped.elapsed() < 2000);
            EXPECT_TRUE(shown.contains(QStringLiteral("страница "))
                        && shown.endsWith(QStringLiteral(" из %1").arg(pages)))
                << shown.toStdString();
            EXPECT_EQ(parts, !c.print && ReportPdfParts(pages) > 1);
            EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        EXPECT_EQ(messages.size(), c.told.isEmpty() ? 0u : 1u);
        EXPECT_TRUE(messages.empty() || messages[0].text == c.told);
        EXPECT_EQ(closes, std::vector<bool>(c.stop == Stop::CloseProgram ? 1 : 0, true));
        EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QFile::remove(hook.path);
    }
    SetAppCloseHandler(nullptr);
    SetAppMainWindow(nullptr);
    SetModalHook(nullptr);
}

// Parts of any sound shape join: as Qt's PDF writer gives them, or as qpdf rewrote them with object
// streams or linearized. A part with a fault fails the join and leaves the file as it was.
TEST_F(ReportPdfPartsTest, APartOfAnyShapeJoinsAndADamagedOneLeavesTheFile)
{
    const auto part = [](int pages, const QString& text) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            QPainter painter(&writer);
            for (int page = 1; page <= pages; ++page) {
                if (page > 1)
                    writer.newPage();
                painter.drawText(QPointF(100, 300), QStringLiteral("%1 %2").arg(text).arg(page));
            }
        }
        return buffer.data();
    };
    const QByteArray good = part(3, QStringLiteral("Часть"));
    const auto replaced = [&](const char* from, const char* to) {
        QByteArray bytes = good;
        const qsizetype at = bytes.indexOf(from);
        EXPECT_GE(at, 0) << from;
        return at < 0 ? bytes : bytes.replace(at, qsizetype(qstrlen(from)), to);
    };
    // The good part with the table's place of an object one byte off.
    const auto misplaced = [&](int object) {
        QByteArray bytes = good;
        const qsizetype table = bytes.lastIndexOf("\nxref\n");
        const qsizetype entries = bytes.indexOf('\n', bytes.indexOf('\n', table + 1) + 1) + 1;
        const qsizetype at = entries + 20 * object;
        const QByteArray offset = QByteArray::number(bytes.mid(at, 10).toLongLong() + 1).rightJustified(10, '0');
        return bytes.replace(at, 10, offset);
    };
    // The good part as qpdf rewrites it.
    const bool qpdf = HaveProgram("qpdf");
    const auto rewritten = [&](const QStringList& how) {
        if (!qpdf)
            return QByteArray();
        WriteFile(home() + QStringLiteral("good.pdf"), good);
        const PeerRun run = RunPeer("qpdf", how + QStringList{home() + "good.pdf", home() + "rewritten.pdf"});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        return ReadFile(home() + QStringLiteral("rewritten.pdf"));
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        int pages;
        bool sound;
    };
    const Case cases[] = {
        {"as Qt wrote it", good, 3, true},
        {"in object streams", rewritten({"--object-streams=generate"}), 3, true},
        {"linearized", rewritten({"--linearize"}), 3, true},
        {"cut short", good.left(good.size() / 2), 3, false},
        {"without its table", replaced("\nxref\n", "\nxrex\n"), 3, false},
        {"an object its pages use not where the table says", misplaced(4), 3, false},
        {"a stream not ended", replaced("endstream", "endstrea "), 3, false},
        {"a trailer naming another catalog", replaced("/Root 2 0 R", "/Root 4 0 R"), 3, false},
        {"other pages than were painted", good, 4, false},
    };
    const QString first = home() + QStringLiteral("first.pdf");
    WriteFile(first, part(2, QStringLiteral("Начало")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.bytes.isEmpty()) {
            ADD_FAILURE() << "qpdf is needed to rewrite the part";
            continue;
        }
        const QString folder = home() + QString::fromLatin1(c.what).replace(' ', '-') + QLatin1Char('/');
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString target = folder + QStringLiteral("joined.pdf");
        const QString second = folder + QStringLiteral("second.pdf");
        WriteFile(target, "earlier");
        WriteFile(second, c.bytes);
        QString message;
        {
            CPdfJoin join(target);
            ASSERT_TRUE(join.Open(&message)) << message.toStdString();
            ASSERT_TRUE(join.Add(first, 2, &message)) << message.toStdString();
            EXPECT_EQ(join.Add(second, c.pages, &message) && join.Commit(&message), c.sound) << message.toStdString();
            // After a part that failed, nothing more is joined.
            if (!c.sound) {
                QString after;
                EXPECT_FALSE(join.Add(first, 2, &after));
                EXPECT_FALSE(join.Commit(&after));
            }
        }
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({"joined.pdf", "second.pdf"}));
        if (!c.sound) {
            EXPECT_EQ(message, ReportPdfTexts::kPartShape.arg("second.pdf"));
            EXPECT_EQ(ReadFile(target), "earlier");
        } else if (HavePdfPeers() && qpdf) {
            EXPECT_EQ(PdfInfo(target).pages, 5);
            const QString text = PdfText(target).simplified();
            EXPECT_TRUE(text.contains("Начало 1 Начало 2 Часть 1 Часть 2 Часть 3")) << text.toStdString();
            EXPECT_EQ(RunPeer("qpdf", {"--check", target}).exitCode, 0);
        }
    }
    QString message;
    CPdfJoin join(home() + QStringLiteral("none.pdf"));
    ASSERT_TRUE(join.Open(&message));
    EXPECT_FALSE(join.Add(home() + QStringLiteral("missing.pdf"), 1, &message));
    EXPECT_EQ(message, ReportPdfTexts::kPartUnreadable.arg("missing.pdf"));
    // A join asked to stop fails without a reason of its own.
    CPdfJoin stopped(home() + QStringLiteral("stopped.pdf"));
    EXPECT_TRUE(stopped.Open(&message) && !stopped.Add(first, 2, &message, [] { return false; }) && message.isEmpty());
}

} // namespace
