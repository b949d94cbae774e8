// The pages of every shipped form at its widest data: a 15-digit sum in every money column, 9-digit
// quantities and prices, long names and units, many pages. pdftotext -layout and pdfinfo read the PDFs back: no number
// split across lines, "Стр. N из M" on every page, a group's caption on the pages that continue it, and the preview
// showing as many pages as the PDF holds. The PDFs stay in build/test-out/reports/pages/.
#include "ReportTestSupport.h"

#include "ReportDatabase.h"
#include "ReportJob.h"
#include "ReportLayout.h"
#include "ReportPreview.h"
#include "Settings.h"
#include "db/DbConnection.h"

#include <QDir>
#include <QPrinter>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
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

// A shipped form: its table and the values of its parameters for a run.
struct Form {
    const char* file;
    const char* table;
    const char* title;
    std::function<QStringList(int id)> values;
};

const Form kForms[] = {
    {"Form1.rpt", "reportform1", "Форма 1. Прогноз объемов продукции", [](int id) { return Form1Values(id); }},
    {"Form2.rpt", "reportform2", "Отчет Ф2. Средние цены закупок товаров",
     [](int id) {
         return QStringList{"2026", QString::number(id), "[01.1.1] Хлеб", "тыс. руб.", "шт.", kCaption, "0"};
     }},
    {"Form3.rpt", "reportform3", "Форма 3. Отчет по детализации прогнозных данных с точки зрения методик обоснования",
     [](int id) { return QStringList{"", "0", "2026", "0", kCaption, "2", QString::number(id), "Учреждение А"}; }},
    {"Form4.rpt", "reportform4", "Отчет Ф4. Удельный вес объемов продукции",
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
     }},
    {"Form5.rpt", "reportform5", "Форма 5. Динамика объемов и цен продукции",
     [](int id) { return QStringList{"2026", QString::number(id), "Учреждение А", kCaption, "0", "2"}; }},
    {"Form6.rpt", "reportform6", "Форма 6. Структура продукции",
     [](int id) { return QStringList{"Учреждение А", "", "0", "2026", "0", kCaption, "2", QString::number(id)}; }},
    {"Form7.rpt", "reportform7", "Ф7. Отчет о количестве участников разработки прогноза",
     [](int id) { return QStringList{"Учреждение А", "0", "2026", kCaption, "2", QString::number(id)}; }},
    {"Form8.rpt", "reportform8", "Отчет Ф8. Сведения об изменениях стоимостных показателей по видам продукции",
     [](int id) {
         return QStringList{"10", "2026", kCaption, QString::number(id)};
     }},
    {"Form9.rpt", "ReportForm9", "Внутренняя аналитическая форма сравнения двух прогнозов",
     [](int id) {
         return QStringList{
             "10", "2026", QString::number(id), "Все получатели (2026 год)", "Сводный прогноз (2027 год)", "2027"};
     }},
    {"Empty.rpt", "Product", "Прогноз объемов продукции",
     [](int id) {
         return QStringList{"2026", kCaption, QString::number(id), ""};
     }},
};

// Every 25th row of form 8 is a receiver, every 13th of forms 2 and 4 a group (a name without hyphens).
bool GroupRow(const QString& table, int i)
{
    return table == u"reportform8" ? i % 25 == 0 : i % 13 == 0;
}

// Writes `count` rows of the widest data into the table; answers the run's report id.
int WriteWideRows(const QString& table, int count)
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
};

TEST_F(ReportPagesTest, EveryFormAtItsWidestDataKeepsEachNumberOnOneLine)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.file);
        const int id = WriteWideRows(QLatin1String(form.table), 120);
        ASSERT_GT(id, 0);
        const auto content = Content(form, id);
        ASSERT_TRUE(content);
        const CReportLayout layout(*content, DefaultReportPageLayout(*content));
        for (size_t c = 0; c < content->columns.size(); ++c)
            EXPECT_GE(layout.ColumnPoints(int(c)), kReportFontFloor) << "column " << c;

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

        // No caption's word is broken; every page says where it is.
        const QString first = PdfText(pdf, 1, true);
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        for (const ReportHeaderCell& cell : content->header)
            for (const QString& word : cell.text.split(blanks, Qt::SkipEmptyParts))
                EXPECT_TRUE(first.contains(word)) << word.toStdString();
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
        const int id = WriteWideRows(table, rows);
        ASSERT_GT(id, 0);
        const auto content = Content(form, id);
        ASSERT_TRUE(content);
        const QString pdf =
            OutDir() + QStringLiteral("groups-") + QString::fromLatin1(form.file).replace(".rpt", ".pdf");
        QString message;
        ASSERT_TRUE(WriteReportPdf(*content, pdf, &message)) << message.toStdString();
        const int pages = PdfInfo(pdf).pages;
        ASSERT_GE(pages, 3);
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
    const int id = WriteWideRows(QLatin1String(form8.table), 1500);
    ASSERT_GT(id, 0);
    auto content = Content(form8, id);
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

} // namespace
