// The builders of forms 1 to 6 on both dialects, judged against the main database's own sums; the
// report database read by sqlite3, the shipped definitions rendered and read back by pdftotext and
// pdfinfo. Each form's first run stays in build/test-out/reports/<sqlite|pg>/<form>/ (LIRR.db with
// report id 1, the PDF and, on SQLite, the main database as main.db).
#include "ReportTestSupport.h"

#include "HierarchyForms.h"
#include "NumberFormat.h"
#include "ProductForms.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "Settings.h"

#include <QDir>
#include <QFile>

#include <cmath>

namespace {

const QString kForm1Title = QStringLiteral("Форма 1. Прогноз объемов продукции");

// Forecast 1 of the fixture: receivers, and the products by id.
enum { MINISTRY = 1, DEPARTMENT = 2, OWN = 3, OTHER = 4, SECTION = 5, UNPLACED = 6, BRANCH = 7 };
enum { TOP = 10, FOOD = 12, BREAD = 13, MILK = 14, PHONE = 16 };

// The quotient as the builders round it: half to even on the exact value.
qlonglong HalfEven(qlonglong numerator, qlonglong divisor)
{
    if (divisor == 0)
        return 0;
    const __int128 n = __int128(numerator) * 10000;
    __int128 q = n / divisor;
    const __int128 r = n % divisor;
    const __int128 twice = (r < 0 ? -r : r) * 2;
    const __int128 d = divisor < 0 ? -divisor : divisor;
    if (twice > d || (twice == d && q % 2 != 0))
        q += (n < 0) != (divisor < 0) ? -1 : 1;
    return qlonglong(q);
}

class ReportFormsTest : public ReportDbTest {
protected:
    void SetUp() override
    {
        ReportDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!HaveProgram(QStringLiteral("sqlite3")))
            GTEST_SKIP() << "sqlite3 is needed to read the report database";
        ASSERT_TRUE(InstallReportFiles(home()));
        Settings().ReportFormat = 0;
        // A receiver that is no group but has a sub-receiver: Отдел (5) > Филиал (7).
        Exec("insert into tClsReceiver (id, category, name, position, importedId, type, isgroup) "
             "values (7, 5, 'Филиал', 1, 0, 1, 0)");
        Exec("insert into tClsReceiverMap (prognoz, receiver, subReceiverCount) values (1, 7, 0)");
        Exec("insert into tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, "
             "valueCurr, valueNext) values (1, 13, 7, ?, ?, ?, ?, ?, ?)",
             {M(30000), M(40000), M(50000), M(3000), M(4000), M(5000)});
    }

    // A money value of the fixture (ten-thousandths) as the dialect stores it.
    QVariant M(qlonglong raw) const { return isPg() ? QVariant(double(raw) / 10000) : QVariant(raw); }
    // A money value read from the main database, in ten-thousandths.
    qlonglong Raw(const QVariant& v) const
    {
        return isPg() ? qlonglong(std::llround(v.toDouble() * 10000)) : v.toLongLong();
    }
    qlonglong DataSum(const char* column, int product, const std::vector<int>& receivers)
    {
        QStringList ids;
        for (int r : receivers)
            ids << QString::number(r);
        return Raw(Scalar(QStringLiteral("select coalesce(sum(d.%1), 0) from tFctPrognozData d join tClsReceiver r "
                                         "on r.id = d.receiver where d.prognoz = 1 and d.product = ? and "
                                         "(r.category = 0 or r.isgroup = 0) and d.receiver in (%2)")
                              .arg(QLatin1String(column), ids.join(',')),
                          {product}));
    }
    qlonglong OwnSum(int receiver, int product)
    {
        return Raw(Scalar("select coalesce(sum(sumNext), 0) from tFctPrognozData where prognoz = 1 and "
                          "receiver = ? and product = ?",
                          {receiver, product}));
    }

    // The rows of the run as sqlite3 prints them, one line each.
    QStringList Rows(const QString& sql)
    {
        const auto out = Sqlite3(reportDatabase(), sql);
        EXPECT_TRUE(out) << sql.toStdString();
        return out ? out->split('\n', Qt::SkipEmptyParts) : QStringList();
    }
    QString One(const QString& sql) { return Rows(sql).value(0); }

    // A report database with no runs, so that the next run gets report id 1.
    void Fresh()
    {
        GetReportDBConnection().Close();
        ASSERT_TRUE(InstallReportDatabase(home()));
    }

    QString OutDir(const QString& form) const
    {
        const QString dir = QStringLiteral(LIR_TEST_OUT_DIR "/reports/%1/%2/")
                                .arg(isPg() ? QStringLiteral("pg") : QStringLiteral("sqlite"), form);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        return dir;
    }

    // Renders the run through the shipped definition into the form's folder and keeps the report
    // database (and the main one) beside it; the PDF's path.
    QString Keep(const QString& form, const QString& title, const QStringList& values)
    {
        const QString dir = OutDir(form);
        const QString pdf = dir + form + QStringLiteral(".pdf");
        EXPECT_TRUE(Render(form, title, values, pdf));
        GetReportDBConnection().Close();
        EXPECT_TRUE(QFile::copy(reportDatabase(), dir + QStringLiteral("LIRR.db")));
        if (!isPg())
            Exec(QStringLiteral("vacuum into ?"), {dir + QStringLiteral("main.db")});
        else if (QFile::exists(QString(dir).replace("/pg/", "/sqlite/") + "LIRR.db")) {
            // Both dialects wrote the same rows.
            const QString table = form == "form1a" ? QStringLiteral("reportform1") : "report" + form;
            const QString sql = QStringLiteral("select * from %1 order by rowid").arg(table);
            EXPECT_EQ(Sqlite3(dir + "LIRR.db", sql), Sqlite3(QString(dir).replace("/pg/", "/sqlite/") + "LIRR.db", sql))
                << form.toStdString();
        }
        return pdf;
    }
    bool Render(const QString& form, const QString& title, const QStringList& values, const QString& pdf)
    {
        CReportJob job;
        const QString file = form == "form1a" ? QStringLiteral("Form1") : form.at(0).toUpper() + form.mid(1);
        job.SetReportFile(QStringLiteral(LIR_BIN_DIR "/") + file + QStringLiteral(".rpt"));
        job.SetTitle(title);
        job.SetLogOnInfo(reportDatabase());
        job.SetParameterValues(values);
        return job.ExportPdf(pdf);
    }
    static bool HavePdfPeers() { return HaveProgram("pdftotext") && HaveProgram("pdfinfo"); }
};

TEST_P(ReportFormsTest, ProductFormsHoldTheMainDatabasesSums)
{
    std::vector<int> products;
    CProductDepthMap depths;
    ASSERT_TRUE(CollectProductTree(1, depths, &products, nullptr));
    const std::vector<int> chosen{DEPARTMENT, OWN, OTHER};

    // Form 1 over leaves and their group: the top product first, each leaf the chosen receivers' sums.
    ASSERT_EQ(BuildReportForm1(1, chosen, products, depths, false), 1);
    EXPECT_EQ(One("select name from reportform1 where report = 1 order by rowid limit 1"), "Продукция");
    for (int leaf : {BREAD, MILK, PHONE}) {
        const QString code = Scalar("select code from tClsProduct where prognoz = 1 and id = ?", {leaf}).toString();
        SCOPED_TRACE(code.toStdString());
        EXPECT_EQ(
            One("select sumNext || ' ' || valueNext from reportform1 where report = 1 and code = '" + code + "'"),
            QStringLiteral("%1 %2").arg(DataSum("sumNext", leaf, chosen)).arg(DataSum("valueNext", leaf, chosen)));
    }
    const qlonglong topSum =
        One("select sumNext from reportform1 where report = 1 order by rowid limit 1").toLongLong();
    const QStringList form1 = Form1Values(1, "0", "0", "2026");
    const QString pdf1 = Keep("form1", kForm1Title, form1);
    if (HavePdfPeers()) {
        const QString text = PdfText(pdf1);
        for (const QString& shown :
             {kForm1Title, QStringLiteral("Форма Ф1"), QStringLiteral("Количество"), QStringLiteral("Сумма"),
              QStringLiteral("2024"), QStringLiteral("2026"), QStringLiteral("Получатели: Учреждение А"),
              FormatReportNumber(Money::fromRaw(topSum), 0)})
            EXPECT_TRUE(text.contains(shown)) << shown.toStdString();
        const QString pdf1a = OutDir("form1a") + "form1a.pdf";
        ASSERT_TRUE(Render("form1a", kForm1Title, Form1Values(1, "1", "1"), pdf1a));
        const QString a = PdfText(pdf1a);
        EXPECT_TRUE(a.contains("Форма Ф1-а") && a.contains("Сводный прогноз") && a.contains("Сумма"));
        EXPECT_FALSE(a.contains("Количество"));
    }

    // A product without figures of the chosen receivers: a row only when empty rows are asked for.
    for (bool empty : {false, true}) {
        std::vector<int> list = products;
        const int id = BuildReportForm1(1, {OTHER}, list, depths, empty);
        ASSERT_GT(id, 1);
        EXPECT_EQ(One(QStringLiteral("select count(*) from reportform1 where report = %1 and code = '01.1.2'").arg(id)),
                  empty ? "1" : "0");
    }

    // Form 3: the forecast year split by method, for the same receivers.
    Fresh();
    products.clear();
    ASSERT_EQ(BuildReportForm3(1, chosen, products, false), 1);
    EXPECT_EQ(One("select count(*) from reportform3 where report = 1"), "1") << "the top product alone was listed";
    products.assign({BREAD});
    ASSERT_EQ(BuildReportForm3(1, chosen, products, false), 2);
    EXPECT_EQ(Rows("select name from reportform3 where report = 2 order by rowid"),
              QStringList({"Продукция", "---Хлеб"}));
    EXPECT_EQ(One("select sumMethodNorm || ' ' || sumMethodPlan || ' ' || valPrognoz from reportform3 "
                  "where report = 2 and code = '01.1.1'"),
              QStringLiteral("%1 %2 %3")
                  .arg(DataSum("sumNorm", BREAD, chosen))
                  .arg(DataSum("sumPlan", BREAD, chosen))
                  .arg(DataSum("valueNext", BREAD, chosen)));
    products = {};
    Fresh();
    ASSERT_TRUE(CollectProductTree(1, depths, &products, nullptr));
    ASSERT_EQ(BuildReportForm3(1, chosen, products, false), 1);
    EXPECT_EQ(One("select sumMethodNorm from reportform3 where report = 1 and code = '01.1.1'").toLongLong(),
              DataSum("sumNorm", BREAD, chosen));
    const QString pdf3 = Keep("form3",
                              "Форма 3. Отчет по детализации прогнозных данных с точки зрения методик "
                              "обоснования",
                              {"", "0", "2026", "0", "По субъектам Российской Федерации", "2", "1", "Учреждение А"});

    // Form 5: group rows without quotients, a leaf's average as the exact quotient rounded.
    Fresh();
    ASSERT_TRUE(CollectProductTree(1, depths, &products, nullptr));
    ASSERT_EQ(BuildReportForm5(1, {MINISTRY, OWN, OTHER, SECTION}, products, depths, false), 1);
    const QString computed = "avgLast, avgCurr, avgNext, percentValueFromLastTillCurr, percentValueFromCurrTillNext, "
                             "percentSumFromLastTillCurr, percentSumFromCurrTillNext";
    EXPECT_EQ(Rows("select ltrim(name, '-') || ': ' || " + QString(computed).replace(", ", " || ' ' || ")
                   + " from reportform5 where report = 1 and ltrim(name, '-') in "
                     "('Продукция', 'Товары', 'Продукты питания', 'Услуги') order by rowid"),
              QStringList({"Продукция: 0 0 0 0 0 0 0", "Товары: 0 0 0 0 0 0 0", "Продукты питания: 0 0 0 0 0 0 0",
                           "Услуги: 0 0 0 0 0 0 0"}));
    int leaves = 0;
    for (const QString& line : Rows("select sumNext, valueNext, avgNext from reportform5 where report = 1 and "
                                    "ltrim(name, '-') in ('Хлеб', 'Молоко', 'Связь')")) {
        const QStringList v = line.split('|');
        ASSERT_EQ(v.size(), 3);
        EXPECT_EQ(v[2].toLongLong(), HalfEven(v[0].toLongLong(), v[1].toLongLong())) << line.toStdString();
        ++leaves;
    }
    EXPECT_EQ(leaves, 3);
    const QString pdf5 =
        Keep("form5", "Форма 5. Динамика объемов и цен продукции",
             {"2026", "1", "Министерство", "По муниципальным образованиям Российской Федерации", "0", "2"});

    // Form 6 on the consolidated forecast: the top's ratios 100 %, half its sum 50 %.
    Exec("update tFctTotalPrognoz set sumNext = ? where prognoz = 1 and product = ?", {M(2600000), PHONE});
    Fresh();
    ASSERT_TRUE(CollectProductTree(1, depths, &products, nullptr));
    ASSERT_EQ(BuildReportForm6(1, {}, products, depths, false), 1);
    EXPECT_EQ(One("select ratioLast || ' ' || ratioCurr || ' ' || ratioNext from reportform6 where report = 1 "
                  "order by rowid limit 1"),
              "1000000 1000000 1000000");
    EXPECT_EQ(One("select ratioNext from reportform6 where report = 1 and code = '02.1'"), "500000");
    const QString pdf6 =
        Keep("form6", "Форма 6. Структура продукции",
             {"", "", "1", "2026", "0", "По муниципальным образованиям Российской Федерации", "2", "1"});

    if (HavePdfPeers()) {
        EXPECT_TRUE(PdfText(pdf3).contains("Количество на 2026 год"));
        EXPECT_TRUE(PdfText(pdf5).contains("Средняя цена") && PdfText(pdf5).contains("105,56"));
        EXPECT_TRUE(PdfText(pdf6).contains("100,00") && PdfText(pdf6).contains("50,00"));
        for (const QString& pdf : {pdf1, pdf3, pdf5, pdf6}) {
            const PdfPages pages = PdfInfo(pdf);
            EXPECT_GT(pages.width, pages.height) << pdf.toStdString() << " is landscape";
        }
    }
}

TEST_P(ReportFormsTest, HierarchyFormsWalkTheChosenReceivers)
{
    // Form 2 with the root group chosen (the own receiver is another), an unplaced receiver among them.
    ASSERT_EQ(BuildReportForm2(1, {MINISTRY, UNPLACED}, BREAD, false), 1);
    EXPECT_EQ(Rows("select replace(name, char(10), '|') from reportform2 where report = 1 order by seq"),
              QStringList({"ВСЕГО|в том числе", "Министерство", "----Отдел", "Департамент"}));
    const QStringList sums = Rows("select sumNext from reportform2 where report = 1 order by seq");
    ASSERT_EQ(sums.size(), 4);
    EXPECT_EQ(sums[1].toLongLong(), OwnSum(MINISTRY, BREAD));
    EXPECT_EQ(sums[2].toLongLong(), OwnSum(SECTION, BREAD));
    EXPECT_EQ(sums[3].toLongLong(), OwnSum(DEPARTMENT, BREAD));
    EXPECT_EQ(sums[0].toLongLong(), sums[1].toLongLong() + sums[2].toLongLong() + sums[3].toLongLong());
    EXPECT_EQ(One("select avgNext from reportform2 where report = 1 and name = '----Отдел'").toLongLong(),
              HalfEven(OwnSum(SECTION, BREAD), 50000));
    const QString pdf2 = Keep(
        "form2", "Отчет Ф2. Средние цены закупок товаров",
        {"2026", "1", "[01.1.1] Хлеб", "Рубль", "Штука", "По муниципальным образованиям Российской Федерации", "0"});

    // On the consolidated forecast: an unnamed row and the total, both the consolidated sums.
    const int summary = BuildReportForm2(1, {}, BREAD, true);
    ASSERT_GT(summary, 1);
    const qlonglong consolidated =
        Raw(Scalar("select sumNext from tFctTotalPrognoz where prognoz = 1 and product = ?", {BREAD}));
    EXPECT_EQ(Rows(QStringLiteral("select replace(name, char(10), '|') || ':' || sumNext from reportform2 "
                                  "where report = %1 order by seq")
                       .arg(summary)),
              QStringList(
                  {QStringLiteral("ВСЕГО|в том числе:%1").arg(consolidated), QStringLiteral(":%1").arg(consolidated)}));
    // A product group: no quantities, no averages.
    const int group = BuildReportForm2(1, {MINISTRY}, FOOD, false);
    EXPECT_EQ(One(QStringLiteral("select count(*) from reportform2 where report = %1 and (valueLast <> 0 or "
                                 "valueCurr <> 0 or valueNext <> 0 or avgLast <> 0 or avgCurr <> 0 or avgNext <> 0)")
                      .arg(group)),
              "0");

    // Form 4: a receiver that is no group, under the root, with its sub-receiver.
    Fresh();
    HierarchyFigures totals;
    ASSERT_EQ(BuildReportForm4(1, {SECTION, BRANCH}, BREAD, totals, false), 1);
    EXPECT_EQ(Rows("select replace(name, char(10), '|') from reportform4 where report = 1 order by seq"),
              QStringList({"ВСЕГО|в том числе", "Министерство", "----Отдел", "--------Филиал"}));
    EXPECT_EQ(One("select sumNext from reportform4 where report = 1 and name = '----Отдел'").toLongLong(),
              OwnSum(SECTION, BREAD) + OwnSum(BRANCH, BREAD));
    EXPECT_EQ(One("select sumLast || ' ' || sumCurr || ' ' || sumNext from reportform4 where report = 1 and seq = 1"),
              QStringLiteral("%1 %2 %3").arg(totals.sumLast.raw()).arg(totals.sumCurr.raw()).arg(totals.sumNext.raw()));
    EXPECT_EQ(totals.sumNext.raw(), OwnSum(MINISTRY, BREAD) + OwnSum(SECTION, BREAD) + OwnSum(BRANCH, BREAD));
    const QString pdf4 = Keep("form4", "Отчет Ф4. Удельный вес объемов продукции",
                              {"1", "2026", "Хлеб", "Рубль", totals.sumLast.toInputText(), totals.sumCurr.toInputText(),
                               totals.sumNext.toInputText(), "государственные заказчики", "0"});
    if (HavePdfPeers()) {
        const QString text2 = PdfText(pdf2);
        EXPECT_LT(text2.indexOf("ВСЕГО"), text2.indexOf("Министерство"));
        EXPECT_TRUE(text2.contains("Продукция: [01.1.1] Хлеб"));
        const QString text4 = PdfText(pdf4);
        EXPECT_TRUE(text4.contains("Удельный вес, %") && text4.contains("100,00") && text4.contains("Филиал"));
        const PdfPages pages = PdfInfo(pdf4);
        EXPECT_LT(pages.width, pages.height) << "portrait";
    }

    // A totals read that fails fails the run: nothing of it stays.
    const QString gone = QStringLiteral("alter table tFctTotalPrognoz rename to tFctTotalPrognozGone");
    isPg() ? ExecAsAdmin(gone) : Exec(gone);
    EXPECT_EQ(BuildReportForm4(1, {}, BREAD, totals, true), -1);
    EXPECT_EQ(One("select count(*) from reportform4 where report <> 1"), "0");
    EXPECT_EQ(totals.sumNext.raw(), 0);
}

TEST_P(ReportFormsTest, SharesAndBalancingLinesKeepToTheirOwnFigures)
{
    // Bread kept in млн руб., milk in тыс. руб., the phone in руб. under a top in руб.: the own
    // receiver's figures add up, converted, to the top's.
    Exec("insert into tClsMeasurement (id, name, type, code, oboznachenie) values (5, 'Миллион рублей', 2, '385', "
         "'млн руб.')");
    Exec("insert into tClsMConvert (base, produce, koef) values (5, 1, 1000000)");
    Exec("update tClsProduct set measurementPrice = 5 where prognoz = 1 and id = ?", {BREAD});
    const auto figures = [&](int product, qlonglong raw) {
        Exec("update tFctPrognozData set sumLast = ?, sumCurr = ?, sumNext = ? where prognoz = 1 and receiver = ? "
             "and product = ?",
             {M(raw), M(raw), M(raw), OWN, product});
    };
    figures(BREAD, 20000);       // 2 млн руб.
    figures(MILK, 5000000);      // 500 тыс. руб.
    figures(PHONE, 15000000000); // 1 500 000 руб.
    figures(TOP, 40000000000);   // 4 000 000 руб.
    struct Share {
        int product;
        qlonglong raw; // ten-thousandths of a percent
    };
    std::vector<int> products;
    CProductDepthMap depths;
    ASSERT_TRUE(CollectProductTree(1, depths, &products, nullptr));
    const int id = BuildReportForm6(1, {OWN}, products, depths, false);
    ASSERT_GT(id, 0) << messages.size();
    qlonglong total = 0;
    for (const Share& s : {Share{BREAD, 500000}, Share{MILK, 125000}, Share{PHONE, 375000}}) {
        const QString code =
            Scalar("select code from tClsProduct where prognoz = 1 and id = ?", {s.product}).toString();
        SCOPED_TRACE(code.toStdString());
        const QStringList ratios =
            One(QStringLiteral("select ratioLast || ' ' || ratioCurr || ' ' || ratioNext from reportform6 where "
                               "report = %1 and code = '%2'")
                    .arg(id)
                    .arg(code))
                .split(' ');
        ASSERT_EQ(ratios.size(), 3);
        for (const QString& ratio : ratios)
            EXPECT_EQ(ratio.toLongLong(), s.raw);
        total += ratios[2].toLongLong();
    }
    EXPECT_EQ(total, 1000000) << "the shares add up as the converted sums do";

    // Without the conversion the run fails with the conversion's message, on the consolidated
    // forecast too.
    Exec("delete from tClsMConvert where base = 5");
    Exec("update tFctTotalPrognoz set sumNext = ? where prognoz = 1 and product = ?", {M(20000), BREAD});
    for (const std::vector<int>& receivers : {std::vector<int>{OWN}, std::vector<int>{}}) {
        messages.clear();
        std::vector<int> list = products;
        EXPECT_EQ(BuildReportForm6(1, receivers, list, depths, false), -1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, QStringLiteral("Нет коэффициента пересчета из Рубль в Миллион рублей!"));
    }

    // A balancing line shows its own figures: its sum, and no group's split by method.
    Exec("update tFctPrognozData set sumNorm = ?, sumPlan = ?, valueNorm = ? where prognoz = 1 and receiver = ? and "
         "product = ?",
         {M(3032720000), M(1000000), M(5000), OWN, FOOD});
    Exec("update tFctTotalPrognoz set sumNorm = ?, sumIndex = ? where prognoz = 1 and product = ?",
         {M(3032720000), M(1000000), FOOD});
    Exec("update tClsProduct set measurementPrice = 1 where prognoz = 1 and id = ?", {BREAD});
    for (const std::vector<int>& receivers : {std::vector<int>{OWN}, std::vector<int>{}}) {
        std::vector<int> list = products;
        const int run = BuildReportForm3(1, receivers, list, false);
        ASSERT_GT(run, 0);
        const QStringList balancing =
            Rows(QStringLiteral("select sumPrognoz, sumMethodNorm + sumMethodIndex + sumMethodPlan + sumMethodForm + "
                                "sumMethodOther from reportform3 where report = %1 and ltrim(name, '-') in "
                                "('Прочие продукты', 'Прочие товары') order by ltrim(name, '-')")
                     .arg(run));
        ASSERT_EQ(balancing.size(), 2);
        for (const QString& line : balancing)
            EXPECT_EQ(line.section('|', 1), "0") << line.toStdString();
        EXPECT_EQ(
            balancing[0].section('|', 0, 0).toLongLong(),
            Raw(Scalar(receivers.empty() ? "select valueNext from tFctTotalPrognoz where prognoz = 1 and product = ?"
                                         : "select valueNext from tFctPrognozData where prognoz = 1 and receiver = 3 "
                                           "and product = ?",
                       {FOOD})));
        // The group's own line keeps its split.
        EXPECT_EQ(One(QStringLiteral("select sumMethodNorm from reportform3 where report = %1 and "
                                     "ltrim(name, '-') = 'Продукты питания'")
                          .arg(run))
                      .toLongLong(),
                  3032720000);
    }
}

LIR_INSTANTIATE_DB_TEST(ReportFormsTest);

} // namespace
