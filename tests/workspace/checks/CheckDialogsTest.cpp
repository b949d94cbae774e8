// The window of the checks and exports on the offscreen platform, and the editor's commands that
// open it.
#include "CheckTestSupport.h"

#include "CheckDialogs.h"
#include "ForecastCommands.h"
#include "ForecastGenerator.h"
#include "LogEdit.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

void DeleteClosed()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// Lines wait to be shown in batches; a blank line that opens a batch is kept like any other.
TEST(CheckDialogTest, BlankLinesSurviveTheBatchesOfTheLog)
{
    CExportNSIDlg dlg;
    dlg.AppendLine(QStringLiteral("А"));
    EXPECT_EQ(dlg.LogLines(), QStringList({"А"}));
    for (const QString& line : {QString(), QStringLiteral("Б"), QString(), QString()})
        dlg.AppendLine(line);
    EXPECT_EQ(dlg.LogLines(), QStringList({"А", "", "Б", "", ""}));
}

TEST(CheckDialogTest, CaptionsAndClosingWhileLocked)
{
    struct Case {
        QPointer<CExportNSIDlg> dlg;
        QString caption;
        bool byEscape; // else by OK
    };
    const Case dialogs[] = {
        {new CExportNSIDlg, "Отправка НСИ", true},
        {new CExportDataDlg, "Отправка прогноза", false},
        {new CCheckForecastDlg, "Проверка прогнозных данных", true},
        {new CCalculateForecastDlg, "Генерация сводного прогноза", false},
    };
    for (const auto& [dlg, caption, byEscape] : dialogs) {
        SCOPED_TRACE(caption.toStdString());
        EXPECT_EQ(dlg->windowTitle(), caption);
        EXPECT_FALSE(dlg->isModal());
        for (int id : {1, 1058, 1091})
            EXPECT_TRUE(dlg->findChild<QWidget*>(QStringLiteral("id%1").arg(id)));
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg));
        dlg->okButton()->setEnabled(false);
        QTest::keyClick(dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg->close());
        DeleteClosed();
        ASSERT_TRUE(dlg);
        EXPECT_TRUE(dlg->isVisible());

        dlg->okButton()->setEnabled(true);
        if (byEscape)
            QTest::keyClick(dlg, Qt::Key_Escape);
        else
            dlg->okButton()->click();
        DeleteClosed();
        EXPECT_FALSE(dlg) << "closed and deleted";
    }
}

class CheckWindowDbTest : public CheckDbTest { };
INSTANTIATE_TEST_SUITE_P(SQLite, CheckWindowDbTest, ::testing::Values(SqlDialect::SQLite), DialectName);

// As on a slower machine: each row of the check takes at least 20 µs.
class CSlowCheckDlg : public CCheckForecastDlg {
public:
    void KeepAlive() override
    {
        QElapsedTimer spent;
        spent.start();
        while (spent.nsecsElapsed() < 20000) { }
        CCheckForecastDlg::KeepAlive();
    }
};

// The generated rows are random, so most group rows have findings all through the run.
TEST_P(CheckWindowDbTest, LogGrowsWhileTheCheckRuns)
{
    CForecastShape shape;
    shape.receiverGroups = 5;
    shape.leafReceivers = 100;
    shape.productGroups = 4;
    shape.productSubgroups = 5;
    shape.deepLevels = 0;
    shape.leafProducts = 200;
    QString error;
    ASSERT_TRUE(GenerateForecast(shape, &error)) << error.toStdString();

    std::vector<int> seen;
    int total = 0;
    OnShownWindow<CSlowCheckDlg>([&](CSlowCheckDlg& dlg) {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            seen.push_back(dlg.logEdit()->blockCount());
            // Closing is refused while the check runs.
            EXPECT_FALSE(dlg.close());
        });
        timer.start(50);
        EXPECT_FALSE(dlg.CheckForecast(shape.forecast));
        total = dlg.logEdit()->blockCount();
        return true;
    });
    ASSERT_GE(seen.size(), 5u);
    EXPECT_GT(seen[1], seen[0]);
    EXPECT_LT(seen[1], total);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

class ForecastCommandsTest : public CheckDbTest { };
LIR_INSTANTIATE_DB_TEST(ForecastCommandsTest);

TEST_P(ForecastCommandsTest, EnablingFollowsStatusRightsAndTheSession)
{
    for (int status : {0, 1, 2})
        Forecast(status + 1, status);
    // Forecast (its status + 1), own receiver, login, roles; 32821 and 32811 enabled.
    const std::tuple<int, int, const char*, int, bool, bool> cases[] = {
        {1, 10, "", 0, true, false},   {2, 10, "", 0, true, true},   {3, 10, "", 0, true, false},
        {2, 10, "u", 2, true, true},   {2, 10, "u", 5, true, false}, {2, -1, "", 0, false, false},
        {-1, 10, "", 0, false, false}, {99, 10, "", 0, true, false},
    };
    for (const auto& [forecast, receiver, user, roles, check, total] : cases) {
        SCOPED_TRACE(testing::Message() << forecast << ' ' << receiver << ' ' << user << ' ' << roles);
        const CSessionState s{forecast, -1, -1, -1, receiver, 0, QString::fromUtf8(user), roles};
        EXPECT_EQ(IsForecastCheckEnabled(s), check);
        EXPECT_EQ(IsTotalForecastEnabled(s), total);
    }
}

TEST_P(ForecastCommandsTest, CommandsOpenTheirWindowOverTheFrame)
{
    Forecast(1);
    Receiver(1, 11, 0, QStringLiteral("А"));
    Product(1, {2, 0, "02", "Мясо"});
    Row(1, 11, 2, {90, 90, 90}, {1, 1, 1});
    QWidget frame;
    CSessionState s;
    s.ownReceiverId = 11;

    // Without a current forecast the consolidation says so and opens nothing.
    EXPECT_FALSE(OnTotalForecast(s, &frame));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Не установлен текущий прогноз!"));
    EXPECT_TRUE(frame.findChildren<CExportNSIDlg*>().isEmpty());

    s.currentForecastId = 1;
    EXPECT_TRUE(OnTotalForecast(s, &frame));
    EXPECT_TRUE(OnForecastCheck(s, &frame));
    const auto total = frame.findChildren<CCalculateForecastDlg*>();
    const auto check = frame.findChildren<CCheckForecastDlg*>();
    ASSERT_EQ(total.size(), 1);
    ASSERT_EQ(check.size(), 1);
    EXPECT_TRUE(total[0]->isVisible());
    EXPECT_EQ(total[0]->LogLines().back(), QStringLiteral("Сводный прогноз успешно сформирован."));
    EXPECT_EQ(check[0]->LogLines().back(), QStringLiteral("Закончено."));
    EXPECT_EQ(Count("tfcttotalprognoz", "prognoz = 1"), 1);
    EXPECT_EQ(messages.size(), 1u);
}
