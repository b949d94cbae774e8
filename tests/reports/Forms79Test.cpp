// The builders of forms 7 to 9 and the blank form on both dialects: what they leave in the report
// database (read by sqlite3, judged against the main database where the judge can reach it) and what
// their definitions make of it (pdftotext, pdfinfo). Each form's first run is kept under test-out.
#include "Forms79Support.h"

#include "Form7.h"
#include "Form8.h"
#include "Form9.h"
#include "ProductForms.h"
#include "ProductReport.h"
#include "ProductRows.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "tables/MConverts.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

namespace {

const QString kCaption = QStringLiteral("По муниципальным образованиям Российской Федерации");

class ReportForms79Test : public FormsDbTest {
protected:
    // The report database with the main database attached as m (SQLite only).
    QString Judge(const QString& sql)
    {
        return Query(QStringLiteral("attach '%1' as m; %2").arg(home() + QStringLiteral("LIR.db"), sql));
    }

    // Keeps the report database, the main database (SQLite) and the PDF of run 1, and checks the PDF.
    void Keep(const QString& form, const QString& title, const QStringList& values, bool landscape,
              const QStringList& texts)
    {
        const QString folder = FormOutputFolder(isPg(), form.toLower());
        ASSERT_TRUE(CopyDatabase(GetReportDBConnection(), folder + QStringLiteral("LIRR.db")));
        if (!isPg()) {
            ASSERT_TRUE(CopyDatabase(GetDBConnection(), folder + QStringLiteral("main.db")));
        }
        CReportJob job;
        job.SetReportFile(home() + form + QStringLiteral(".rpt"));
        job.SetTitle(title);
        job.SetLogOnInfo(ReportDatabasePath());
        job.SetParameterValues(values);
        const QString pdf = folder + form + QStringLiteral(".pdf");
        ASSERT_TRUE(job.ExportPdf(pdf)) << job.lastError().detail.toStdString();
        if (!HaveProgram(QStringLiteral("pdftotext")) || !HaveProgram(QStringLiteral("pdfinfo")))
            GTEST_SKIP() << "pdftotext and pdfinfo are needed to read the PDF";
        const QString text = PdfText(pdf);
        for (const QString& t : texts)
            EXPECT_TRUE(text.contains(t)) << t.toStdString() << "\n" << text.toStdString();
        const PdfPages pages = PdfInfo(pdf);
        EXPECT_EQ(pages.width > pages.height, landscape);
    }
};

TEST_P(ReportForms79Test, Form7ListsTheChosenReceiversInTreeOrderWithTheirCounts)
{
    // A leaf, the root and a group, in reverse order; an unplaced receiver and an unknown id are ignored.
    ASSERT_EQ(BuildReportForm7(1, {3, 1, 2, 6, 99}), 1);
    EXPECT_EQ(Query("select Organization, Quantity from reportform7 where report = 1 order by rowid"),
              "Министерство|3\n-Департамент|4\n--Учреждение А|3");
    if (!isPg()) {
        EXPECT_EQ(Judge("select 1 + subReceiverCount from m.tClsReceiverMap where prognoz = 1 and receiver = 3"), "3");
    }

    ASSERT_EQ(BuildReportForm7(1, {}), 2) << "an empty choice still gets its id";
    Exec("update tClsReceiver set name = ? where id = 4", {QString(255, u'Я')});
    ASSERT_EQ(BuildReportForm7(1, {4}), 3);
    EXPECT_EQ(Query("select report, length(Organization) from reportform7 where report > 1"), "3|254");

    Keep("Form7", "Ф7. Отчет о количестве участников разработки прогноза",
         {"Министерство; Департамент; Учреждение А", "0", "2026", kCaption, "2", "1"}, false,
         {"Ф7. Отчет о количестве участников разработки прогноза", "Количество участников", "--Учреждение А",
          "Год прогноза: 2026"});
}

TEST_P(ReportForms79Test, Form8KeepsWhatReachesTheLimitInsideTheReceiverTree)
{
    // The root's own bread doubles; an empty receiver group is written and then removed.
    Exec("update tFctPrognozData set sumNext = sumCurr * 2 where prognoz = 1 and receiver = 1 and product = 13");
    Exec("insert into tClsReceiver (id, category, name, position, importedId, type, isgroup)"
         " values (7, 1, 'Пустая группа', 3, 0, 1, 1)");
    Exec("insert into tClsReceiverMap (prognoz, receiver, subReceiverCount) values (1, 7, 0)");

    ASSERT_EQ(BuildReportForm8(1, Money::fromInt(10)), 1);
    EXPECT_EQ(Query("select receiverId, Name, ReceiverPId, ReceiverIsGroup, \"Group\", ProductId, ProductPId"
                    " from reportform8 where report = 1 order by rowid"),
              "1|Министерство|0|1|||\n"
              "1|Продукция||||10|0\n"
              "1|-Товары|||01|11|10\n"
              "1|--Продукты питания|||01.1|12|11\n"
              "1|---Хлеб|||01.1.1|13|12\n"
              "2|-Департамент|1|1|||\n"
              "3|--Учреждение А|2|0|||\n"
              "3|Продукция||||10|0\n"
              "3|-Товары|||01|11|10\n"
              "3|--Продукты питания|||01.1|12|11\n"
              "3|---Молоко|||01.1.2|14|12\n"
              "3|---Прочие продукты|||01.1|12|11\n"
              "3|-Услуги|||02|15|10\n"
              "3|--Связь|||02.1|16|15");
    if (!isPg()) {
        EXPECT_EQ(Judge("select count(*) from reportform8 f join m.tClsProduct p on p.prognoz = 1"
                        " and p.id = f.ProductId where f.report = 1 and p.isgroup = 0 and (f.sumEstimate = 0"
                        " or abs(f.sumForecast * 100.0 / f.sumEstimate - 100) < 10)"),
                  "0");
        // Each receiver's passing leaves from its own data rows (the root and receivers that are no
        // group; leaves whose group has a price row).
        const QString fromData =
            Judge("select d.receiver || ':' || d.product from m.tFctPrognozData d"
                  " join m.tClsProduct p on p.prognoz = d.prognoz and p.id = d.product"
                  " join m.tClsReceiver r on r.id = d.receiver"
                  " where d.prognoz = 1 and p.isgroup = 0 and (r.isgroup = 0 or r.category = 0)"
                  " and exists (select 1 from m.tFctPrice pr where pr.prognoz = 1 and pr.product = p.parent)"
                  " group by d.receiver, d.product having sum(d.sumCurr) <> 0"
                  " and abs(sum(d.sumNext) * 100.0 / sum(d.sumCurr) - 100) >= 10 order by 1");
        const QString written = Judge("select f.receiverId || ':' || f.ProductId from reportform8 f"
                                      " join m.tClsProduct p on p.prognoz = 1 and p.id = f.ProductId"
                                      " where f.report = 1 and p.isgroup = 0 order by 1");
        EXPECT_EQ(written, fromData);
    }

    // A root whose receivers all drop out keeps its heading over its own products.
    Exec("delete from tClsReceiverMap where prognoz = 1 and receiver in (2, 3, 4, 7)");
    ASSERT_EQ(BuildReportForm8(1, Money::fromInt(50)), 2);
    EXPECT_EQ(Query("select receiverId, Name, ProductId from reportform8 where report = 2 order by rowid"),
              "1|Министерство|\n1|Продукция|10\n1|-Товары|11\n1|--Продукты питания|12\n1|---Хлеб|13");

    // A data row without figures counts as zeros: it fails no run.
    Exec("update tFctPrognozData set sumLast = NULL, sumCurr = NULL, sumNext = NULL, valueLast = NULL,"
         " valueCurr = NULL, valueNext = NULL where prognoz = 1 and receiver = 1 and product = 13");
    ASSERT_EQ(BuildReportForm8(1, Money::fromInt(0)), 3);
    EXPECT_EQ(Query("select sumReport, sumEstimate, sumForecast, valueReport, valueEstimate, valueForecast"
                    " from reportform8 where report = 3 and receiverId = 1 and ProductId = 13"),
              "0|0|0|0|0|0");

    Keep("Form8", "Отчет Ф8. Сведения об изменениях стоимостных показателей по видам продукции",
         {"10", "2026", kCaption, "1"}, true,
         {"Изменение, %", "Изменение в 2026 году к 2025 году не менее 10 %", "100,00", "Министерство"});
}

TEST_P(ReportForms79Test, Form9ListsTheProductsWhoseSumsDifferByTheThreshold)
{
    // Forecast 2's consolidated rows: the top as in forecast 1, Товары 10 % lower in the report year,
    // Продукты питания equal, Услуги only here, Связь negative against forecast 1's zero.
    Exec("insert into tClsProduct (prognoz, id, parent, name, code, position, type, isgroup, measurementNatural,"
         " measurementPrice, balanceTitle, offsetMin, offsetMax) select 2, id, parent, name, code, position, type,"
         " isgroup, measurementNatural, measurementPrice, balanceTitle, offsetMin, offsetMax from tClsProduct"
         " where prognoz = 1 and id in (15, 16)");
    const QString copy = QStringLiteral(
        "insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext)"
        " select 2, %1 from tFctTotalPrognoz where prognoz = 1 and product = %2");
    Exec(copy.arg("product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext", "10"));
    Exec(copy.arg("product, sumLast * 9 / 10, sumCurr, sumNext, valueLast, valueCurr, valueNext", "11"));
    Exec(copy.arg("product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext", "12"));
    Exec(copy.arg("15, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext", "16"));
    Exec(copy.arg("product, -sumLast, -sumCurr, -sumNext, valueLast, valueCurr, valueNext", "16"));
    Exec("update tFctTotalPrognoz set sumLast = 0, sumCurr = 0, sumNext = 0 where prognoz = 1 and product = 16");

    struct Case {
        const char* what;
        int threshold;
        std::vector<int> first, second;
        const char* names;
    };
    const Case cases[] = {
        {"totals against totals at 0", 0, {}, {}, "-Товары\n---Хлеб\n---Молоко\n-Услуги"},
        {"exactly 10 % passes", 10, {}, {}, "-Товары\n---Хлеб\n---Молоко\n-Услуги"},
        {"11 % does not", 11, {}, {}, "---Хлеб\n---Молоко\n-Услуги"},
        {"above 100 only one-sided products", 101, {}, {}, "---Хлеб\n---Молоко\n-Услуги"},
        {"data against data above 100", 101, {3}, {3}, ""},
        {"data against totals",
         0,
         {3},
         {},
         "Продукция\n-Товары\n--Продукты питания\n---Хлеб\n---Молоко\n-Услуги\n--Связь"},
        {"totals against data above 100", 101, {}, {3, 4}, ""},
        // Продукты питания: 110 against 300 in the report year, (300 - 110) / 300 = 63,3 %.
        {"data against data, 63 % passes",
         63,
         {3},
         {3},
         "Продукция\n-Товары\n--Продукты питания\n---Хлеб\n---Молоко\n--Связь"},
        {"data against data, 64 % does not", 64, {3}, {3}, "Продукция\n-Товары\n---Хлеб\n---Молоко\n--Связь"},
    };
    int reportId = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(BuildReportForm9(c.threshold, 1, 2, c.first, c.second), ++reportId);
        EXPECT_EQ(Query(QStringLiteral("select Name from ReportForm9 where report = %1 order by rowid").arg(reportId)),
                  c.names);
    }
    EXPECT_TRUE(messages.empty());
    // Услуги, with figures in forecast 2 only, has no units there.
    EXPECT_EQ(Query("select Name, measurementNatural, measurementPrice, isMeasurementNatural, sumReport1, sumReport2"
                    " from ReportForm9 where report = 1 and \"group\" = '02'"),
              "-Услуги||отсуствует|0|0|700000");
    if (!isPg()) {
        // Forecast 1's products (with a price row under a priced group) whose totals differ where either is
        // above 0, or that one of the forecasts lacks.
        const QString differ = QStringLiteral("(a.%1 <> b.%1 and max(a.%1, b.%1) > 0)");
        const QString judged =
            Judge("select coalesce(p.code, '') from m.tClsProduct p where p.prognoz = 1"
                  " and exists (select 1 from m.tFctPrice pr where pr.prognoz = 1 and pr.product = p.id)"
                  " and (p.parent = 0 or exists (select 1 from m.tFctPrice pr where pr.prognoz = 1 and pr.product = "
                  "p.parent))"
                  " and (select count(*) from m.tFctTotalPrognoz a where a.prognoz = 1 and a.product = p.id)"
                  " + (select count(*) from m.tFctTotalPrognoz b where b.prognoz = 2 and b.product = p.id) = 1"
                  " or exists (select 1 from m.tFctTotalPrognoz a join m.tFctTotalPrognoz b on b.prognoz = 2"
                  " and b.product = a.product where a.prognoz = 1 and a.product = p.id and p.prognoz = 1 and ("
                  + differ.arg("sumLast") + " or " + differ.arg("sumCurr") + " or " + differ.arg("sumNext")
                  + ")) order by 1");
        EXPECT_EQ(Query("select \"group\" from ReportForm9 where report = 1 order by 1"), judged);
    }

    Keep("Form9", "Внутренняя аналитическая форма сравнения двух прогнозов",
         {"0", "2026", "1", "Сводный прогноз (2026 год)", "Сводный прогноз (2027 год)", "2027"}, true,
         {"Внутренняя аналитическая форма сравнения двух прогнозов", "Сводный прогноз (2026 год)",
          "Расхождение не менее 0 %", "333"});
}

TEST_P(ReportForms79Test, TheBlankFormFollowsTheClassifierAndTheChosenKinds)
{
    struct Case {
        const char* what;
        int forecast;
        std::vector<int> chosen;
        int all;
        int result; // 0: none, else the run's id
        const char* lines;
    };
    const Case cases[] = {
        {"the whole classifier",
         1,
         {},
         1,
         1,
         "-Продукция|1|10\n--Товары|0|20\n---Продукты питания|0|30\n----Хлеб|0|40\n----Молоко|0|50\n"
         "--- Прочие продукты|1|60\n-- Прочие товары|1|70\n--Услуги|0|80\n---Связь|0|90"},
        {"a leaf under an unchosen group, and the top", 1, {13}, 0, 2, "-Продукция|1|10\n----Хлеб|0|20"},
        {"a group of kind 96 and its footer", 1, {11}, 0, 3, "-Продукция|1|10\n--Товары|0|20\n-- Прочие товары|1|30"},
        {"no top product", 99, {13}, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int result = BuildProductReport(c.forecast, c.chosen, -1, c.all);
        EXPECT_EQ(result, c.result);
        const int id = result > 0 ? result : 4;
        EXPECT_EQ(Query(QStringLiteral("select name, parent, position from Product where report_id = %1"
                                       " order by position")
                            .arg(id)),
                  c.lines);
    }
    EXPECT_EQ(Query("select count(*) from report"), "4") << "the run without a top keeps its header row";
    EXPECT_EQ(Query("select code, measurementNatural, measurementPrice from Product where report_id = 1"
                    " and position = 50"),
              "01.1.2|кг|тыс. руб.");

    Keep("Empty", "Прогноз объемов продукции", {"2026", kCaption, "1", "Учреждение А"}, true,
         {"Прогноз объемов продукции", "Получатель: Учреждение А", "Обоснование", "----Молоко"});
}

TEST_P(ReportForms79Test, EachBuilderFailsOnceInTheProgramsWords)
{
    // A table made unreadable for the case: of the report database, or of the main one.
    struct Case {
        const char* what;
        bool reportTable;
        const char* table;
        std::function<int()> build;
    };
    std::vector<int> products{10, 11, 13};
    CProductDepthMap depths;
    const Case cases[] = {
        {"form 7 without its report table", true, "reportform7",
         [] {
             return BuildReportForm7(1, {1, 3});
         }},
        {"form 7 without the receiver map", false, "tClsReceiverMap",
         [] {
             return BuildReportForm7(1, {1, 3});
         }},
        {"form 8 without the forecast data", false, "tFctPrognozData",
         [] { return BuildReportForm8(1, Money::fromInt(10)); }},
        {"the blank form without products", false, "tClsProduct", [] { return BuildProductReport(1, {}, -1, 1); }},
        {"form 1 without the forecast data", false, "tFctPrognozData",
         [&] { return BuildReportForm1(1, {3}, products, depths, true); }},
    };
    // Not through a prepared statement: PostgreSQL prepares no DDL.
    const auto rename = [&](const Case& c, const QString& from, const QString& to) {
        QSqlQuery q((c.reportTable ? GetReportDBConnection() : GetDBConnection()).GetConnection());
        ASSERT_TRUE(q.exec(QStringLiteral("alter table %1 rename to %2").arg(from, to)))
            << q.lastError().text().toStdString();
    };
    const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rename(c, QLatin1String(c.table), QStringLiteral("gone"));
        std::vector<DbError> errors;
        int result = 0;
        {
            CErrorCollector collector;
            result = c.build();
            errors = collector.take();
        }
        rename(c, QStringLiteral("gone"), QLatin1String(c.table));
        EXPECT_EQ(result, -1);
        ASSERT_EQ(errors.size(), 1u);
        // The database's failure comes with its code or its own text; the builders' own are Russian.
        const DbError& e = errors[0];
        EXPECT_TRUE(e.code != 0 || !e.description.isEmpty() || e.message.contains(cyrillic)) << e.text().toStdString();
    }
    EXPECT_TRUE(messages.empty());

    // A share whose units have no conversion: the conversion's box tells, the failure itself is not
    // told again.
    Exec("insert into tClsMeasurement (id, name, type, code, oboznachenie) values (5, 'Доллар', 2, '840', '$')");
    ReportProductRow top;
    top.measurementPriceId = 1;
    top.sumNext = Money::fromInt(100);
    ReportProductRow row;
    row.measurementPriceId = 5;
    row.sumNext = Money::fromInt(10);
    CUnitPairCache units;
    try {
        ComputeShares(row, top, units);
        ADD_FAILURE() << "no failure";
    } catch (const CReportFailure& failure) {
        EXPECT_TRUE(failure.shown());
        EXPECT_EQ(failure.error().message, QStringLiteral("Не найдена единица измерения"));
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Нет коэффициента пересчета из Рубль в Доллар!"));
}

LIR_INSTANTIATE_DB_TEST(ReportForms79Test);

} // namespace
