// The parameter dialogs of forms 1 to 6 offscreen, with real widgets, a real worker and the shipped
// definitions: what "Показать" refuses, what it hands the report job, and the notice before a report
// on the consolidated forecast.
#include "ReportTestSupport.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "HierarchyFormDlg.h"
#include "ModalHook.h"
#include "ProductFormDlg.h"
#include "ReportForms.h"
#include "ReportPreview.h"
#include "Session.h"
#include "SmartInfo.h"
#include "profile/ProfileSettings.h"
#include "tables/Forecasts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kMunicipal = QStringLiteral("По муниципальным образованиям Российской Федерации");

// Records the modal dialogs (the notice among them, and the report dialogs that the commands open)
// instead of running them.
class CRecordingHook : public CModalHook {
public:
    QStringList titles;
    QStringList notices;
    int execDialog(QDialog& dialog) override
    {
        titles << dialog.windowTitle();
        if (auto* info = qobject_cast<CSmartInfoDialog*>(&dialog))
            notices << info->messageLabel()->text();
        return QDialog::Rejected;
    }
};

class ReportFormsDialogTest : public ReportDbTest {
protected:
    void SetUp() override
    {
        ReportDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(InstallReportFiles(home()));
        for (int n = 1; n <= 6; ++n) {
            const QString file = QStringLiteral("Form%1.rpt").arg(n);
            ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/") + file, home() + file));
        }
        session.currentForecastId = 1;
        session.forecastYear = 2026;
        forecast = GetForecast(1);
        ASSERT_TRUE(forecast);
        SetModalHook(&hook);
    }
    void TearDown() override
    {
        SetModalHook(nullptr);
        ReportDbTest::TearDown();
    }
    QString HeaderRows() { return Sqlite3(reportDatabase(), "select count(*) from report").value_or("?"); }
    static void Click(QWidget* dlg, int id)
    {
        auto* button = dlg->findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id));
        ASSERT_TRUE(button) << id;
        button->click();
    }

    CSessionState session;
    std::optional<CForecastRecord> forecast;
    CRecordingHook hook;
};

TEST_P(ReportFormsDialogTest, ChecksRefuseTheRunBeforeAnythingStarts)
{
    struct Case {
        const char* what;
        std::function<std::unique_ptr<CReportDialog>()> make;
        QString told;
    };
    const auto product = [&](std::function<void(CProductFormDlg&)> arrange, bool withForecast = true) {
        return [=, this]() -> std::unique_ptr<CReportDialog> {
            auto dlg = std::make_unique<CReportForm1Dlg>(session, withForecast ? forecast : std::nullopt);
            arrange(*dlg);
            return dlg;
        };
    };
    const auto hierarchy = [&](std::function<void(CHierarchyFormDlg&)> arrange, int forecastId = 1) {
        return [=, this]() -> std::unique_ptr<CReportDialog> {
            CSessionState s = session;
            s.currentForecastId = forecastId;
            auto dlg = std::make_unique<CForm4Dlg>(s, std::nullopt);
            arrange(*dlg);
            return dlg;
        };
    };
    const Case cases[] = {
        {"no forecast", product([](CProductFormDlg&) {}, false),
         "Невозможно сгенерировать отчет. Неверно задан Прогноз."},
        {"no receiver", product([](CProductFormDlg& d) { d.receivers->ids.clear(); }),
         "Невозможно сгенерировать отчет. Не задан Получатель."},
        {"no receivers", hierarchy([](CHierarchyFormDlg& d) { d.receivers->ids.clear(); }),
         "Невозможно сгенерировать отчет. Не заданы получатели."},
        {"no product", hierarchy([](CHierarchyFormDlg& d) { d.productId = -1; }),
         "Невозможно сгенерировать отчет. Не задан Продукт/Отрасль."},
        {"a forecast that cannot be read",
         hierarchy(
             [](CHierarchyFormDlg& d) {
                 d.receivers->summary = 1;
                 d.productId = 13;
             },
             99),
         "Невозможно сгенерировать отчет. Невозможно загрузить прогноз."},
        {"a product that cannot be read", hierarchy([](CHierarchyFormDlg& d) { d.productId = 999; }),
         "Невозможно сгенерировать отчет. Невозможно загрузить продукт."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        auto dlg = c.make();
        Click(dlg.get(), 1);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, c.told);
        EXPECT_EQ(messages[0].flags, unsigned(MB_ICONEXCLAMATION));
        EXPECT_EQ(dlg->job().preview(), nullptr);
    }
    EXPECT_EQ(HeaderRows(), "0");
}

TEST_P(ReportFormsDialogTest, ShowHandsTheJobItsParameters)
{
    // Form 1: the own receiver at the start; the consolidated forecast with the notice.
    CReportForm1Dlg form1(session, forecast);
    EXPECT_EQ(form1.windowTitle(), "Параметры для отчетов \"Ф1 и Ф1-а. Прогноз объемов закупаемой продукции\"");
    EXPECT_EQ(form1.findChild<QLineEdit*>("id1059")->text(), "Учреждение А");
    form1.findChild<QCheckBox*>("id1087")->setChecked(true);
    EXPECT_FALSE(form1.findChild<QPushButton*>("id1147")->isEnabled());
    form1.findChild<QCheckBox*>("id1087")->setChecked(false);
    Click(&form1, 1112);
    EXPECT_EQ(form1.findChild<QLineEdit*>("id1059")->text(), "Сводный прогноз");
    Click(&form1, 1);
    ASSERT_GT(form1.lastReportId, 0);
    EXPECT_EQ(form1.job().parameterValues(),
              QStringList({"", "0", "", "1", "2026", "0", kMunicipal, "2", QString::number(form1.lastReportId)}));
    EXPECT_EQ(form1.job().title(), "Форма 1. Прогноз объемов продукции");
    EXPECT_EQ(form1.job().forecast(), "Прогноз на 2026 год");
    EXPECT_EQ(form1.job().reportFile(), home() + "Form1.rpt");
    ASSERT_NE(form1.job().preview(), nullptr);
    EXPECT_TRUE(form1.job().preview()->isMaximized());
    EXPECT_EQ(hook.notices, QStringList({ReportDialogTexts::kSummaryNotice}));
    // The product list was refilled from the tree, the top product first.
    ASSERT_FALSE(form1.productIds.empty());
    EXPECT_EQ(form1.productIds.front(), 10);
    EXPECT_EQ(form1.depthMap.at(13), 3);
    // Switched off, the notice stays away; back to receivers, the top receiver alone.
    CProfileSettings().setValue("Smart/ForecastGeneration", 1);
    Click(&form1, 1);
    EXPECT_EQ(hook.notices.size(), 1);
    Click(&form1, 1113);
    Click(&form1, 1146);
    Click(&form1, 1);
    EXPECT_EQ(form1.job().parameterValues().mid(0, 4), QStringList({"Министерство", "1", "", "0"}));

    // Forms 3, 5 and 6: their titles and lists.
    struct Listed {
        std::function<std::unique_ptr<CProductFormDlg>()> make;
        QString windowTitle;
        QString title;
        int count;
        int yearAt;
        int idAt;
    };
    const Listed listed[] = {
        {[&] { return std::make_unique<CReportForm3Dlg>(session, forecast); },
         "Параметры для отчета \"Ф3. Отчет по детализации данных с точки зрения методик обоснования\"",
         "Форма 3. Отчет по детализации прогнозных данных с точки зрения методик обоснования", 8, 2, 6},
        {[&] { return std::make_unique<CReportForm5Dlg>(session, forecast); },
         "Параметры для отчета \"Ф5. Динамика объемов и цен продукции\"", "Форма 5. Динамика объемов и цен продукции",
         6, 0, 1},
        {[&] { return std::make_unique<CReportForm6Dlg>(session, forecast); },
         "Параметры для отчета \"Ф6. Структура продукции\"", "Форма 6. Структура продукции", 8, 3, 7},
    };
    for (const Listed& l : listed) {
        SCOPED_TRACE(l.title.toStdString());
        auto dlg = l.make();
        EXPECT_EQ(dlg->windowTitle(), l.windowTitle);
        Click(dlg.get(), 1);
        ASSERT_GT(dlg->lastReportId, 0);
        const QStringList values = dlg->job().parameterValues();
        EXPECT_EQ(values.size(), l.count);
        EXPECT_EQ(values.value(l.yearAt), "2026");
        EXPECT_EQ(values.value(l.idAt), QString::number(dlg->lastReportId));
        EXPECT_TRUE(values.contains("Учреждение А"));
        EXPECT_EQ(dlg->job().title(), l.title);
        EXPECT_EQ(dlg->job().forecast(), "Прогноз на 2026 год");
        EXPECT_NE(dlg->job().preview(), nullptr) << dlg->job().lastError().detail.toStdString();
    }

    // Form 2: the code in the caption; form 4: the customers and the totals as input texts.
    CForm2a1Dlg form2(session, std::nullopt);
    EXPECT_EQ(form2.windowTitle(), "Параметры для отчета \"Ф2. Средние цены закупок товаров\"");
    form2.productId = 13;
    Click(&form2, 1);
    ASSERT_GT(form2.lastReportId, 0);
    EXPECT_EQ(
        form2.job().parameterValues(),
        QStringList({"2026", QString::number(form2.lastReportId), "[01.1.1] Хлеб", "Рубль", "Штука", kMunicipal, "0"}));
    EXPECT_NE(form2.job().preview(), nullptr);
    EXPECT_EQ(form2.job().forecast(), "Прогноз на 2026 год");

    CForm4Dlg form4(session, std::nullopt);
    EXPECT_EQ(form4.windowTitle(), "Параметры для \"Ф4. Удельный вес объемов продукции\"");
    EXPECT_EQ(form4.findChild<QComboBox*>("id1018")->currentText(), "государственные заказчики");
    Click(&form4, 1112);
    form4.productId = 12;
    Click(&form4, 1);
    ASSERT_GT(form4.lastReportId, 0);
    const QStringList values4 = form4.job().parameterValues();
    ASSERT_EQ(values4.size(), 9);
    EXPECT_EQ(values4[2], "Группа Продукты питания");
    EXPECT_EQ(values4.mid(4, 5), QStringList({"360", "380", "400", "государственные заказчики", "1"}));
    EXPECT_EQ(form4.totals.sumNext, Money::fromInt(400));
}

TEST_P(ReportFormsDialogTest, TheReportCommandsOpenTheirDialogs)
{
    RegisterReportForms();
    const std::pair<int, QString> commands[] = {
        {ID_REPORT_FORM1, "Параметры для отчетов \"Ф1 и Ф1-а. Прогноз объемов закупаемой продукции\""},
        {ID_REPORT_FORM3,
         "Параметры для отчета \"Ф3. Отчет по детализации данных с точки зрения методик обоснования\""},
        {ID_REPORT_FORM5, "Параметры для отчета \"Ф5. Динамика объемов и цен продукции\""},
        {ID_REPORT_FORM6, "Параметры для отчета \"Ф6. Структура продукции\""},
        {ID_REPORT_FORM2, "Параметры для отчета \"Ф2. Средние цены закупок товаров\""},
        {ID_REPORT_FORM4, "Параметры для \"Ф4. Удельный вес объемов продукции\""},
    };
    for (const auto& [command, title] : commands) {
        hook.titles.clear();
        EXPECT_TRUE(OpenReportDialog(command, nullptr, session, forecast));
        EXPECT_EQ(hook.titles, QStringList({title}));
    }
}

INSTANTIATE_TEST_SUITE_P(Dialects, ReportFormsDialogTest, ::testing::Values(SqlDialect::SQLite), DialectName);

} // namespace
