// The dialogs of forms 7 to 9 and the blank form, offscreen with real widgets on the SQLite fixture:
// what they refuse before anything is built, and what they hand to the report job.
#include "Forms79Support.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "ControlForecastDlg.h"
#include "EmptyForm.h"
#include "Form7Dlg.h"
#include "Form8Dlg.h"
#include "ModalHook.h"
#include "ReceiverSelectDlg.h"
#include "ReportForms.h"
#include "ReportPreview.h"
#include "TreeCtrlX.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidgetItem>

#include <functional>
#include <memory>

namespace {

const QString kCaption = QStringLiteral("По муниципальным образованиям Российской Федерации");

// Answers the tree choices: checks the ids given (or selects the first one without check boxes) and
// confirms.
class CChoiceHook : public CModalHook {
public:
    std::vector<int> ids;
    int execDialog(QDialog& dialog) override
    {
        auto* select = qobject_cast<ReceiverSelectDlg*>(&dialog);
        if (!select)
            return CModalHook::execDialog(dialog);
        for (QTreeWidgetItem* item : select->tree()->findItems(QString(), Qt::MatchContains | Qt::MatchRecursive))
            if (select->checkMode != 0)
                item->setCheckState(0, Qt::Unchecked);
        for (int id : ids) {
            QTreeWidgetItem* item = select->itemOf(id);
            if (!item)
                continue;
            if (select->checkMode != 0)
                item->setCheckState(0, Qt::Checked);
            else {
                select->tree()->setCurrentItem(item);
                item->setSelected(true);
            }
        }
        select->accept();
        return dialog.result();
    }
};

class ReportForms79DialogTest : public FormsDbTest {
protected:
    void SetUp() override
    {
        FormsDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        SetModalHook(&hook);
        session.currentForecastId = 1;
        session.forecastYear = 2026;
    }
    void TearDown() override
    {
        SetModalHook(nullptr);
        FormsDbTest::TearDown();
    }
    QString Headers() { return Sqlite3(reportDatabase(), "select count(*) from report").value_or("?"); }
    static void Click(QWidget* dlg, const char* name)
    {
        auto* button = dlg->findChild<QAbstractButton*>(QLatin1String(name));
        ASSERT_TRUE(button) << name;
        button->click();
    }
    static void Type(QWidget* dlg, const char* name, const QString& text)
    {
        auto* edit = dlg->findChild<QLineEdit*>(QLatin1String(name));
        ASSERT_TRUE(edit) << name;
        edit->setText(text);
    }

    CChoiceHook hook;
    CSessionState session;
};

TEST_P(ReportForms79DialogTest, WhatTheDialogsRefuseBuildsNothing)
{
    struct Case {
        const char* what;
        std::function<std::unique_ptr<CReportDialog>()> make;
        std::function<void(CReportDialog*)> act;
        QString text;
        unsigned flags;
    };
    const auto form7 = [] { return std::make_unique<CForm7Dlg>(GetForecast(1)); };
    const auto form8 = [](const char* limit) {
        return Case{limit, [] { return std::make_unique<CForm8Dlg>(GetForecast(1)); },
                    [limit](CReportDialog* d) {
                        Type(d, "id1060", QString::fromUtf8(limit));
                        Click(d, "id1");
                        EXPECT_EQ(d->findChild<QLineEdit*>("id1060")->text(), QString::fromUtf8(limit));
                    },
                    Form8Texts::kBadLimit, MB_ICONEXCLAMATION};
    };
    const auto form9 = [](const char* divergence) {
        return Case{divergence, [] { return std::make_unique<CControlForecastDlg>(1); },
                    [divergence](CReportDialog* d) {
                        Type(d, "id1063", QString::fromUtf8(divergence));
                        Click(d, "id1");
                    },
                    ControlForecastTexts::kBadDivergence, MB_ICONEXCLAMATION};
    };
    const Case cases[] = {
        {"form 7 without a forecast", [] { return std::make_unique<CForm7Dlg>(std::nullopt); },
         [](CReportDialog* d) { Click(d, "id1"); }, Form7Texts::kNoForecast, MB_ICONEXCLAMATION},
        {"form 7 with its receivers unchecked", form7,
         [this](CReportDialog* d) {
             EXPECT_EQ(d->findChild<QLineEdit*>("id1059")->text(), "Учреждение А");
             hook.ids = {};
             Click(d, "id1067");
             Click(d, "id1");
         },
         Form7Texts::kNoReceiver, MB_ICONEXCLAMATION},
        {"form 7 where the own receiver takes no part", [] { return std::make_unique<CForm7Dlg>(GetForecast(3)); },
         [](CReportDialog* d) { Click(d, "id1"); }, Form7Texts::kNoReceiver, MB_ICONEXCLAMATION},
        form8("-1"),
        form8("abc"),
        form8("12abc"),
        {"form 8 without a forecast", [] { return std::make_unique<CForm8Dlg>(std::nullopt); },
         [](CReportDialog* d) { Click(d, "id1"); }, Form7Texts::kNoForecast, MB_ICONEXCLAMATION},
        form9("101"),
        form9("-1"),
        {"form 9 with the same consolidated forecast twice", [] { return std::make_unique<CControlForecastDlg>(1); },
         [](CReportDialog* d) {
             Click(d, "id1112");
             Click(d, "id1115");
             Click(d, "id1");
         },
         ControlForecastTexts::kSameChoice, MB_ICONASTERISK},
        {"form 9 with a receivers side left empty", [] { return std::make_unique<CControlForecastDlg>(1); },
         [](CReportDialog* d) {
             // Forecast 3 has no receivers: its side stays on "Получатели" with none.
             auto* second = d->findChild<QComboBox*>("id1019");
             second->setCurrentIndex(second->findData(3));
             EXPECT_TRUE(d->findChild<QRadioButton*>("id1114")->isChecked());
             Click(d, "id1");
         },
         ControlForecastTexts::kNoReceivers, MB_ICONEXCLAMATION},
        {"the blank form with no kinds confirmed", [this] { return std::make_unique<CEmptyForm>(session); },
         [](CReportDialog* d) {
             auto* blank = static_cast<CEmptyForm*>(d);
             blank->kindsChosen = true;
             blank->productIds.clear();
             Click(d, "id1");
         },
         EmptyFormTexts::kNoKinds, MB_ICONEXCLAMATION},
    };
    Exec("insert into tFctPrognoz (id, name, year, status, owner, ownername)"
         " values (3, 'Прогноз без получателей', 2028, 0, 0, '')");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        auto dlg = c.make();
        c.act(dlg.get());
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, c.text);
        EXPECT_EQ(messages[0].flags, c.flags);
        EXPECT_EQ(dlg->job().preview(), nullptr);
        EXPECT_EQ(Headers(), "0");
    }
}

TEST_P(ReportForms79DialogTest, TheDialogsHandTheirParametersToTheJob)
{
    RegisterReportForms();
    for (int command : {ID_REPORT_FORM7, ID_REPORT_FORM8, ID_REPORT_FORM9, ID_REPORT_BLANK})
        EXPECT_TRUE(HasReportDialog(command)) << command;
    Exec("update tClsReceiver set name = ? where id = 4", {QString(255, u'Я')});

    struct Case {
        const char* what;
        std::function<std::unique_ptr<CReportDialog>()> make;
        std::function<void(CReportDialog*)> act;
        QString file;
        QStringList values; // "<id>" stands for the run's report id
    };
    const QString longNames = QStringLiteral("Министерство; Учреждение А; ") + QString(255, u'Я');
    const Case cases[] = {
        {"form 7 with names beyond 254 characters, whole",
         [] { return std::make_unique<CForm7Dlg>(GetForecast(1)); },
         [this](CReportDialog* d) {
             hook.ids = {4, 1, 3};
             Click(d, "id1067");
             Click(d, "id1");
         },
         "Form7.rpt",
         {longNames, "0", "2026", kCaption, "2", "<id>"}},
        {"form 8 with limit 15",
         [] { return std::make_unique<CForm8Dlg>(GetForecast(1)); },
         [](CReportDialog* d) {
             Type(d, "id1060", " 15 ");
             Click(d, "id1");
         },
         "Form8.rpt",
         {"15", "2026", kCaption, "<id>"}},
        {"form 9, consolidated against the own receiver",
         [] { return std::make_unique<CControlForecastDlg>(1); },
         [](CReportDialog* d) {
             auto* second = d->findChild<QComboBox*>("id1019");
             ASSERT_EQ(second->count(), 2);
             EXPECT_EQ(second->itemText(0), "Прогноз на 2026 год (2026 год)");
             second->setCurrentIndex(1);
             Click(d, "id1112");
             Type(d, "id1063", "10");
             Click(d, "id1");
         },
         "Form9.rpt",
         {"10", "2026", "<id>", "Сводный прогноз (2026 год)", "Учреждение А (2027 год)", "2027"}},
        {"the blank form without a receiver",
         [this] { return std::make_unique<CEmptyForm>(session); },
         [](CReportDialog* d) { Click(d, "id1"); },
         "Empty.rpt",
         {"2026", kCaption, "<id>", ""}},
        {"the blank form with a receiver",
         [this] { return std::make_unique<CEmptyForm>(session); },
         [this](CReportDialog* d) {
             hook.ids = {5};
             Click(d, "id1060");
             Click(d, "id1");
         },
         "Empty.rpt",
         {"2026", kCaption, "<id>", "Отдел"}},
    };
    int runs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        auto dlg = c.make();
        c.act(dlg.get());
        EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
        QStringList expected = c.values;
        expected.replaceInStrings(QStringLiteral("<id>"), QString::number(++runs));
        EXPECT_EQ(dlg->job().parameterValues(), expected);
        EXPECT_EQ(dlg->job().reportFile(), home() + c.file);
        // The pages name the forecast (form 9 both of its forecasts).
        EXPECT_EQ(dlg->job().forecast(),
                  c.file == u"Form9.rpt" ? "Прогноз на 2026 год / Прогноз на 2027 год" : "Прогноз на 2026 год");
        ASSERT_NE(dlg->job().preview(), nullptr);
        EXPECT_EQ(dlg->job().lastError().code, 0);
    }

    // Chosen kinds in a forecast without a top product: nothing to show.
    session.currentForecastId = 99;
    CEmptyForm blank(session);
    blank.kindsChosen = true;
    blank.productIds = {13};
    Click(&blank, "id1");
    EXPECT_EQ(blank.job().preview(), nullptr);
    EXPECT_TRUE(messages.empty());
}

LIR_INSTANTIATE_DB_TEST(ReportForms79DialogTest);

} // namespace
