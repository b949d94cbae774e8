// The renderer: definitions against the schema (xmllint), runs of the report database rendered into
// PDF files that pdftotext and pdfinfo read back, and the errors of reports that cannot be shown.
// The PDFs stay in build/test-out/reports/render/; the definitions are read from the source tree.
#include "ReportTestSupport.h"

#include "AppMessage.h"
#include "ReportContent.h"
#include "ReportDatabase.h"
#include "ReportJob.h"
#include "ReportPreview.h"
#include "Settings.h"
#include "xml/XmlRecord.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString kData = QStringLiteral(LIR_TEST_DATA_DIR "/reports/");
const QString kTitle = QStringLiteral("Форма 1. Прогноз объемов продукции");

QString OutDir()
{
    const QString dir = QStringLiteral(LIR_TEST_OUT_DIR "/reports/render/");
    QDir().mkpath(dir);
    return dir;
}

// A line of reportform8: a receiver (no product) or a product.
struct Form8Row {
    QString name;
    std::optional<int> product;
    qlonglong estimate;
    qlonglong forecast;
};

class ReportRenderTest : public ReportHomeTest {
protected:
    int WriteForm8(const std::vector<Form8Row>& rows)
    {
        return RunReportFrame([&](CReportFrame& frame) {
            CReportTable& t = frame.Table("reportform8", {"Name", "Group", "ProductId", "sumEstimate", "sumForecast"});
            for (const Form8Row& r : rows) {
                t << r.name << (r.product ? QStringLiteral("01.%1").arg(*r.product) : QString());
                if (r.product)
                    t << *r.product;
                else
                    t.Null();
                t << Money::fromRaw(r.estimate) << Money::fromRaw(r.forecast);
                t.Write();
            }
        });
    }

    bool Render(const QString& definition, const QStringList& values, const QString& pdf)
    {
        CReportJob job;
        job.SetReportFile(definition);
        job.SetTitle(kTitle);
        job.SetLogOnInfo(ReportDatabasePath());
        job.SetParameterValues(values);
        return job.ExportPdf(pdf);
    }

    std::optional<ReportContent> Content(const QString& definition, const QStringList& values)
    {
        ReportError error;
        const auto d = LoadReportDefinition(definition, home() + kReportSchemaFile, &error);
        EXPECT_TRUE(d) << error.code;
        if (!d)
            return std::nullopt;
        return BuildReportContent(*d, values, kTitle, QString(), ReportDatabasePath(), Settings().ReportFormat, &error);
    }
};

TEST_F(ReportRenderTest, DefinitionsHoldToTheSchema)
{
    if (!HaveProgram(QStringLiteral("xmllint")))
        GTEST_SKIP() << "xmllint is needed";
    const QString schema = QStringLiteral(LIR_BIN_DIR "/reportdef.xsd");
    const auto check = [&](const QString& file, bool valid) {
        const PeerRun run = RunPeer(QStringLiteral("xmllint"), {"--noout", "--nonet", "--schema", schema, file});
        EXPECT_EQ(run.exitCode == 0, valid) << file.toStdString() << run.output.toStdString();
        ReportError error;
        EXPECT_EQ(LoadReportDefinition(file, schema, &error).has_value(), valid) << file.toStdString();
        if (!valid) {
            EXPECT_EQ(error.code, REPORT_ERROR_INVALID) << file.toStdString();
        }
    };
    for (const QString& f : QDir(kData).entryList({"*.rpt"}, QDir::Files))
        check(kData + f, true);
    const QString shipped = QStringLiteral(LIR_BIN_DIR "/");
    const QStringList forms = QDir(shipped).entryList({"*.rpt"}, QDir::Files);
    EXPECT_EQ(forms.size(), 10);
    for (const QString& f : forms)
        check(shipped + f, true);
    const QStringList bad = QDir(kData + "bad").entryList({"*.rpt"}, QDir::Files);
    EXPECT_GE(bad.size(), 3);
    for (const QString& f : bad)
        check(kData + "bad/" + f, false);

    // What the schema cannot tell: every name the definition uses is declared, numbers where numbers
    // are needed.
    const QString head = QStringLiteral("<report><parameters><parameter name=\"id\" type=\"integer\"/>"
                                        "<parameter name=\"text\"/></parameters>");
    const QString table = QStringLiteral("<table name=\"reportform1\" key=\"report\" parameter=\"id\">");
    const QString undeclared[] = {
        head + "<heading><line>{nosuch}</line></heading>" + table
            + "<column caption=\"a\" field=\"name\"/></table></report>",
        head + "<heading><line>{text-1}</line></heading>" + table
            + "<column caption=\"a\" field=\"name\"/></table></report>",
        head + "<heading><line if=\"nosuch\" is=\"1\">x</line></heading>" + table
            + "<column caption=\"a\" field=\"name\"/></table></report>",
        head + table + "<column caption=\"a\" field=\"name\" blankWhen=\"nosuch\"/></table></report>",
        head
            + "<table name=\"reportform1\" key=\"report\" parameter=\"text\"><column caption=\"a\" "
              "field=\"name\"/></table></report>",
        head + table + "<column caption=\"a\" kind=\"money\"/></table></report>",
        head + table
            + "<column caption=\"a\" field=\"name\"><quotient field=\"sumNext\" "
              "divisorField=\"sumLast\"/></column></table></report>",
        head + table
            + "<column caption=\"a\" kind=\"percent\"><quotient field=\"sumNext\" "
              "divisorParameter=\"text\"/></column></table></report>",
        head + "<heading><line if=\"text\">x</line></heading>" + table
            + "<column caption=\"a\" field=\"name\"/></table></report>",
        // Page numbers belong to page lines; a group caption names a declared condition; a row condition
        // makes one test.
        head + "<heading><line>Стр. {page}</line></heading>" + table
            + "<column caption=\"a\" field=\"name\"/></table></report>",
        head + table + "<groupCaption when=\"nosuch\" field=\"name\"/><column caption=\"a\" field=\"name\"/>"
            + "</table></report>",
        head + table + "<rowCondition name=\"c\" field=\"name\" is=\"a\" startsWith=\"b\"/>"
            + "<column caption=\"a\" field=\"name\"/></table></report>",
    };
    // Groups of columns nested without end, as the schema lets them: refused with the reason, at once.
    WriteFile(home() + "deep.rpt",
              (head + table + QStringLiteral("<group caption=\"g\">").repeated(30000)
               + "<column caption=\"a\" field=\"name\"/>" + QStringLiteral("</group>").repeated(30000)
               + "</table></report>")
                  .toUtf8());
    ReportError deep;
    EXPECT_FALSE(LoadReportDefinition(home() + "deep.rpt", schema, &deep));
    EXPECT_EQ(deep.code, REPORT_ERROR_UNREADABLE);
    EXPECT_EQ(deep.detail, home() + "deep.rpt — " + kXmlTooDeep.arg(kXmlMostDepth));
    for (const QString& text : undeclared) {
        WriteFile(home() + "x.rpt", text.toUtf8());
        ReportError error;
        EXPECT_FALSE(LoadReportDefinition(home() + "x.rpt", schema, &error)) << text.toStdString();
        EXPECT_EQ(error.code, REPORT_ERROR_INVALID) << text.toStdString();
    }
}

TEST_F(ReportRenderTest, PdfShowsTheRunInTheChosenNumberFormat)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    const int other = WriteForm1({{"99", "Чужая строка", 1, 7770000, 7770000}});
    const int id = WriteForm1({{"", "Продукция", 0, 0, 12345678910},
                               {"01.1.1", "---Хлеб", 1, 4440000, 12345678910},
                               {"02.1", "--Связь", 0, 5550000, 9000000}});
    ASSERT_GT(other, 0);
    ASSERT_GT(id, other);

    struct Case {
        int format;
        const char* number;
    };
    for (const Case& c : {Case{0, "1234567,891"}, Case{1, "1234567,89"}, Case{6, "1235000"}}) {
        SCOPED_TRACE(c.format);
        Settings().ReportFormat = c.format;
        const QString pdf = OutDir() + QStringLiteral("form1-format%1.pdf").arg(c.format);
        ASSERT_TRUE(Render(kData + "columns.rpt", Form1Values(id), pdf)) << messages.size();
        const QString text = PdfText(pdf);
        for (const QString& expected : {kTitle, QStringLiteral("Получатели: Учреждение А"), QStringLiteral("Форма Ф1"),
                                        QStringLiteral("2024"), QStringLiteral("2025"), QStringLiteral("Количество"),
                                        QStringLiteral("---Хлеб"), QString::fromLatin1(c.number)})
            EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
        // Another run's rows stay out; a line without a natural unit shows no quantity.
        EXPECT_FALSE(text.contains(QStringLiteral("Чужая строка")));
        EXPECT_FALSE(text.contains(QStringLiteral("555"))) << text.toStdString();
        const PdfPages info = PdfInfo(pdf);
        EXPECT_GT(info.width, info.height);
        EXPECT_EQ(info.pages, 1);
    }

    // Form 1-а: its corner, no quantities; the summary heading instead of the receivers.
    const QString pdf = OutDir() + "form1a-summary.pdf";
    ASSERT_TRUE(Render(kData + "columns.rpt", Form1Values(id, "1", "1"), pdf));
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Форма Ф1-а")));
    EXPECT_TRUE(text.contains(QStringLiteral("Сводный прогноз")));
    EXPECT_FALSE(text.contains(QStringLiteral("Количество")));
    EXPECT_FALSE(text.contains(QStringLiteral("Получатели:")));
}

TEST_F(ReportRenderTest, AnEditedDefinitionChangesTheNextReport)
{
    if (!HavePdfPeers())
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed";
    std::vector<Form1Row> rows;
    for (int i = 0; i < 150; ++i)
        rows.push_back(
            {QStringLiteral("%1").arg(i), QStringLiteral("Строка номер %1").arg(i), 1, i * 10000, i * 20000});
    const int id = WriteForm1(rows);
    QString definition = QString::fromUtf8(ReadFile(kData + "columns.rpt"));
    definition.replace(QRegularExpression(QStringLiteral("caption=\"[^\"]*\"( field=\"name\")")),
                       QStringLiteral("caption=\"Вид продукции\"\\1"));
    WriteFile(home() + "edited.rpt", definition.toUtf8());
    const QString pdf = OutDir() + "form1-edited-long.pdf";
    ASSERT_TRUE(Render(home() + "edited.rpt", Form1Values(id), pdf));
    const PdfPages info = PdfInfo(pdf);
    ASSERT_GE(info.pages, 3);
    // The header rows stand on every page; the heading only on the first.
    for (int page : {1, 2, info.pages}) {
        const QString text = PdfText(pdf, page);
        EXPECT_TRUE(text.contains(QStringLiteral("Вид продукции"))) << page;
        EXPECT_TRUE(text.contains(QStringLiteral("2024"))) << page;
        EXPECT_EQ(text.contains(kTitle), page == 1) << page;
    }
    EXPECT_TRUE(PdfText(pdf, info.pages).contains(QStringLiteral("Строка номер 149")));
}

TEST_F(ReportRenderTest, ConditionsQuotientsAndRowStylesShapeTheCells)
{
    const int id = WriteForm8({{"Министерство", std::nullopt, 0, 0},
                               {"-Хлеб", 13, 1000000, 1100000},
                               {"-Соль", 14, 0, 500000},
                               {"-Сахар", 15, 2000000, 1234500}});
    ASSERT_GT(id, 0);
    // The receivers' list stands whole in the heading, short on every page and in the header; a
    // bracket of blank values goes.
    const QString five = QStringLiteral("Школа № 1; Школа № 2; Школа № 3; Школа № 4; Школа № 5");
    const QString many = QStringLiteral("Муниципальное бюджетное общеобразовательное учреждение № 1; "
                                        "Муниципальное бюджетное общеобразовательное учреждение № 2; Школа № 3");
    struct Case {
        const char* what;
        QStringList values;
        QStringList heading;
        std::vector<QStringList> cells; // of the product rows
        QString receivers;              // on every page and in the header
    };
    const std::vector<QStringList> figures{{"01.13", "-Хлеб", "100", "110", "10,0", "8,91", "13", ""},
                                           {"01.14", "-Соль", "0", "50", "0,0", "4,05", "14", ""},
                                           {"01.15", "-Сахар", "200", "123,45", "-38,3", "10,00", "15", ""}};
    const Case cases[] = {
        {"a total and a receiver",
         {"15", "2026", "1234,5", "2", "Учреждение А", QString::number(id), "extra values", "are ignored"},
         {kTitle, "Изменение в 2026 году к 2025 году не менее 15 %", "Получатель: Учреждение А"},
         figures,
         "Учреждение А"},
        {"no total, no receiver, no year",
         {"0", "-1", "0", "0", "", QString::number(id)},
         {kTitle, "Изменение в  году к  году не менее 0 %"},
         {{"01.13", "-Хлеб", "100", "110", "10,0", "0", "13", ""},
          {"01.14", "-Соль", "0", "50", "0,0", "0", "14", ""},
          {"01.15", "-Сахар", "200", "123,45", "-38,3", "0", "15", ""}},
         ""},
        {"five receivers",
         {"15", "2026", "1234,5", "2", five, QString::number(id)},
         {kTitle, "Изменение в 2026 году к 2025 году не менее 15 %", "Получатель: " + five},
         figures,
         "Школа № 1; Школа № 2; Школа № 3 и ещё 2"},
        {"receivers of long names",
         {"15", "2026", "1234,5", "2", many, QString::number(id)},
         {kTitle, "Изменение в 2026 году к 2025 году не менее 15 %", "Получатель: " + many},
         figures,
         "Муниципальное бюджетное общеобразовательное учреждение № 1 и ещё 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto content = Content(kData + "conditions.rpt", c.values);
        ASSERT_TRUE(content);
        EXPECT_FALSE(content->landscape);
        QStringList heading;
        for (const ReportHeadingLine& line : content->heading)
            heading << line.text;
        EXPECT_EQ(heading, c.heading);
        const ReportRows& rows = content->rows;
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_TRUE(rows.Spans(0) && rows.Bold(0));
        EXPECT_EQ(rows.Cell(0, 0), u"Министерство");
        for (size_t i = 0; i < c.cells.size(); ++i) {
            EXPECT_FALSE(rows.Spans(i + 1) || rows.Bold(i + 1));
            QStringList cells;
            for (int column = 0; column < rows.columnCount(); ++column)
                cells << rows.Cell(i + 1, column).toString();
            EXPECT_EQ(cells, c.cells[i]);
        }
        // Two header rows: "Сумма" over its years, the other columns down both.
        EXPECT_EQ(content->headerRows, 2);
        EXPECT_EQ(content->columns.size(), 8u);
        ASSERT_EQ(content->pageHeader.size(), 1u);
        EXPECT_EQ(content->pageHeader[0].left, c.receivers);
        QStringList captions;
        for (const ReportHeaderCell& cell : content->header)
            captions << cell.text;
        EXPECT_TRUE(captions.contains(c.receivers.isEmpty() ? "Товар" : "Товар (" + c.receivers + ")"))
            << captions.join('|').toStdString();
    }
    if (HavePdfPeers()) {
        const QString pdf = OutDir() + "conditions-portrait.pdf";
        ASSERT_TRUE(Render(kData + "conditions.rpt", cases[0].values, pdf));
        const PdfPages info = PdfInfo(pdf);
        EXPECT_LT(info.width, info.height);
        EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("-38,3")));
    }
}

TEST_F(ReportRenderTest, AReportThatCannotBeShownSaysWhy)
{
    const int id = WriteForm1({{"01", "Строка", 1, 10000, 10000}});
    WriteFile(home() + "wrong-table.rpt",
              ReadFile(kData + "columns.rpt").replace("name=\"reportform1\"", "name=\"reportform99\""));
    struct Case {
        const char* what;
        QString definition;
        QStringList values;
        int code;
        QString detail; // empty: the database's message
    };
    const Case cases[] = {
        {"a missing definition", home() + "Form1.rpt", Form1Values(id), REPORT_ERROR_UNREADABLE, home() + "Form1.rpt"},
        {"one without its table", kData + "bad/no-table.rpt", Form1Values(id), REPORT_ERROR_INVALID,
         kData + "bad/no-table.rpt"},
        {"fewer values than parameters",
         kData + "conditions.rpt",
         {"1", "2026"},
         REPORT_ERROR_VALUES,
         kData + "conditions.rpt"},
        {"a number that is none", kData + "columns.rpt", Form1Values(id, "0", "0", "два"), REPORT_ERROR_VALUES,
         kData + "columns.rpt"},
        {"a table the report database lacks", home() + "wrong-table.rpt", Form1Values(id), REPORT_ERROR_DATA, {}},
    };
    QWidget owner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        CReportJob job(&owner);
        job.SetReportFile(c.definition);
        job.SetTitle(kTitle);
        job.SetLogOnInfo(ReportDatabasePath());
        job.SetParameterValues(c.values);
        EXPECT_FALSE(job.Show());
        EXPECT_EQ(job.preview(), nullptr);
        EXPECT_TRUE(owner.findChildren<CReportPreview*>().isEmpty());
        EXPECT_EQ(job.lastError().code, c.code);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].flags, unsigned(MB_ICONHAND));
        if (!c.detail.isEmpty()) {
            EXPECT_EQ(messages[0].text,
                      QStringLiteral("Ошибка при отображении отчета (%1: %2). Пожалуйста сообщите "
                                     "код разработчику.")
                          .arg(c.detail)
                          .arg(c.code));
        } else {
            EXPECT_TRUE(messages[0].text.contains(QStringLiteral("reportform99"))) << messages[0].text.toStdString();
        }
    }

    // A PDF that cannot be written: code 5, and nothing left where it was to go.
    messages.clear();
    CReportJob job;
    job.SetReportFile(kData + "columns.rpt");
    job.SetLogOnInfo(ReportDatabasePath());
    job.SetParameterValues(Form1Values(id));
    EXPECT_FALSE(job.ExportPdf(home() + "no/such/folder/report.pdf"));
    EXPECT_EQ(job.lastError().code, REPORT_ERROR_OUTPUT);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.endsWith(QStringLiteral(": 5). Пожалуйста сообщите код разработчику.")));
}

} // namespace
