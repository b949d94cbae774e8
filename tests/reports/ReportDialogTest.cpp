// The run frame of the report dialogs and the preview, on the offscreen platform with real widgets,
// a real worker thread and the report database.
#include "ReportTestSupport.h"

#include "AppMessage.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "ReportDatabase.h"
#include "ReportDialog.h"
#include "ReportPreview.h"
#include "ReportProgress.h"
#include "db/SqlQuery.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QString kTitle = QStringLiteral("Форма 1. Прогноз объемов продукции");

// A form's dialog as the forms build theirs: "Показать" runs the builder and shows the columns of
// form 1 with the run's id.
class CFakeFormDlg : public CReportDialog {
public:
    explicit CFakeFormDlg(QWidget* parent)
        : CReportDialog(parent)
    {
        auto* layout = new QVBoxLayout(this);
        auto* show = new QPushButton(QStringLiteral("Показать"), this);
        show->setObjectName(QStringLiteral("id1"));
        auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
        close->setObjectName(QStringLiteral("id2"));
        layout->addWidget(show);
        layout->addWidget(close);
        connect(show, &QPushButton::clicked, this, [this] { OnOK(); });
        connect(close, &QPushButton::clicked, this, &QDialog::reject);
    }
    void OnOK()
    {
        result = RunReport(builder, QStringLiteral("Form1.rpt"), kTitle, [](int id) { return Form1Values(id); });
    }
    std::function<int()> builder;
    int result = 0;
};

class CSaveHook : public CModalHook {
public:
    QString path;
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override
    {
        return path;
    }
};

class ReportDialogTest : public ReportHomeTest {
protected:
    void SetUp() override
    {
        ReportHomeTest::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_DATA_DIR "/reports/columns.rpt"), home() + "Form1.rpt"));
        // The main window with the status text and the status-bar pane of the progress.
        status = new QLabel(QStringLiteral("Готов к работе"));
        status->setObjectName(QStringLiteral("pane0"));
        window.statusBar()->addWidget(status, 1);
        auto* pane = new QLabel;
        pane->setObjectName(QStringLiteral("pane1"));
        pane->setMinimumWidth(200);
        window.statusBar()->addPermanentWidget(pane);
        mainButton = new QPushButton(QStringLiteral("Главное окно"), &window);
        window.setCentralWidget(mainButton);
        window.resize(640, 480);
        window.show();
        SetAppMainWindow(&window);
        SetModalHook(&hook);
    }
    void TearDown() override
    {
        SetModalHook(nullptr);
        SetAppMainWindow(nullptr);
        ReportHomeTest::TearDown();
    }

    static std::vector<Form1Row> Rows(int count)
    {
        std::vector<Form1Row> rows;
        for (int i = 0; i < count; ++i)
            rows.push_back({QString::number(i), QStringLiteral("Строка %1").arg(i), 1, i * 10000, i * 30000});
        return rows;
    }

    // Clicks a widget through its window, as the platform delivers a click (modality applies).
    static void ClickThroughWindow(QWidget* widget)
    {
        QWidget* top = widget->window();
        ASSERT_TRUE(top->windowHandle());
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, widget->mapTo(top, widget->rect().center()));
    }

    QMainWindow window;
    QLabel* status = nullptr;
    QPushButton* mainButton = nullptr;
    CSaveHook hook;
};

TEST_F(ReportDialogTest, TheDialogWaitsForItsBuilderAndShowsTheRun)
{
    CFakeFormDlg dlg(&window);
    dlg.show();
    dlg.builder = [] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return WriteForm1(Rows(5));
    };
    struct Seen {
        int ticks = 0;
        bool showEnabled = false;
        bool closeEnabled = false;
        bool closed = false;
        int steps = 0;
        bool watching = false;
        QString status;
    } seen;
    QTimer probe;
    probe.setInterval(100);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!dlg.isRunning())
            return;
        ++seen.ticks;
        seen.showEnabled = seen.showEnabled || dlg.findChild<QPushButton*>("id1")->isEnabled();
        seen.closeEnabled = seen.closeEnabled || dlg.closeButton()->isEnabled();
        seen.status = status->text();
        if (seen.ticks == 5) {
            dlg.close();
            seen.closed = !dlg.isVisible();
        }
        if (CProgressBar* bar = ProgressBarInstance(); bar && !seen.watching) {
            QObject::connect(bar, &QProgressBar::valueChanged, [&] { ++seen.steps; });
            seen.watching = true;
        }
    });
    probe.start();
    QTest::mouseClick(dlg.findChild<QPushButton*>("id1"), Qt::LeftButton);

    EXPECT_GE(seen.ticks, 20) << "the user-interface thread kept serving its timers";
    EXPECT_FALSE(seen.showEnabled);
    EXPECT_FALSE(seen.closeEnabled);
    EXPECT_EQ(seen.status, "Форма 1. Прогноз объемов продукции: построение отчета...");
    EXPECT_EQ(status->text(), "Готов к работе");
    EXPECT_FALSE(seen.closed);
    EXPECT_GE(seen.steps, 2);
    EXPECT_EQ(ProgressBarInstance(), nullptr);
    EXPECT_TRUE(dlg.findChild<QPushButton*>("id1")->isEnabled() && dlg.closeButton()->isEnabled());

    ASSERT_GT(dlg.result, 0);
    EXPECT_EQ(dlg.job().parameterValues(), Form1Values(dlg.result));
    EXPECT_EQ(dlg.job().reportFile(), home() + "Form1.rpt");
    EXPECT_EQ(dlg.job().logOnInfo(), home() + "LIRR.db");
    CReportPreview* preview = dlg.job().preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible() && preview->isMaximized());
    EXPECT_EQ(preview->windowTitle(), kTitle);
    EXPECT_EQ(preview->parentWidget(), &dlg);
    EXPECT_TRUE(messages.empty());

    // Closing is allowed again once the builder is done.
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(ReportDialogTest, ARunThatBuiltNothingTellsWhyOnceAndOpensNothing)
{
    struct Case {
        const char* what;
        std::function<int()> builder;
        QString told;
    };
    const Case cases[] = {
        {"a builder that fails", []() -> int { throw CReportFailure(QStringLiteral("Сбой построителя")); },
         "Сбой построителя"},
        {"a foreign exception, whose own text is not shown",
         []() -> int { throw std::runtime_error("builder failed"); }, "Неизвестная ошибка."},
        {"a missing report database",
         [this] {
             QFile::remove(home() + "LIRR.db");
             return WriteForm1(Rows(1));
         },
         "Произошла исключительная ситуация."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeFormDlg dlg(&window);
        // An earlier run's report does not stay open as if it answered the run that failed.
        dlg.builder = [] { return WriteForm1(Rows(1)); };
        dlg.OnOK();
        const QPointer<CReportPreview> earlier = dlg.job().preview();
        ASSERT_TRUE(earlier);
        messages.clear();
        dlg.builder = c.builder;
        dlg.OnOK();
        EXPECT_EQ(dlg.result, -1);
        EXPECT_EQ(dlg.job().preview(), nullptr);
        EXPECT_FALSE(earlier);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(c.told)) << messages[0].text.toStdString();
        EXPECT_EQ(messages[0].flags, unsigned(MB_ICONHAND));
    }
}

TEST_F(ReportDialogTest, EscapeOrTheStopButtonEndsTheBuildWhoseStepTheStatusNames)
{
    // A builder that would run for minutes: its statement on the main database ends only when stopped.
    DbConnectParams p;
    p.file = home() + "LIR.db";
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), p.file));
    QFile::setPermissions(p.file, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(GetDBConnection().ConnectWith(p));
    const auto endless = [] {
        ReportStep(ReportStepTexts::kProductSums);
        CSqlQuery q(QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                                   "where x < 4000000000) select count(*) from c"));
        static_cast<void>(q.exec());
        return WriteForm1(Rows(3));
    };
    struct Case {
        const char* what;
        std::function<void(CFakeFormDlg&)> stop;
    };
    const Case cases[] = {
        {"Escape", [](CFakeFormDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"the stop button", [](CFakeFormDlg& d) { ClickThroughWindow(d.findChild<QPushButton*>("stop")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeFormDlg dlg(&window);
        dlg.show();
        dlg.builder = endless;
        QString seen;
        bool offered = false;
        QElapsedTimer stopped;
        QTimer probe;
        probe.setInterval(200);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!dlg.isRunning() || stopped.isValid() || !status->text().contains("подсчет"))
                return;
            seen = status->text();
            auto* stop = dlg.findChild<QPushButton*>("stop");
            offered = stop && stop->isVisible() && stop->isEnabled() && stop->text() == "Остановить";
            stopped.start();
            c.stop(dlg);
        });
        probe.start();
        dlg.OnOK();
        ASSERT_TRUE(stopped.isValid());
        EXPECT_LT(stopped.elapsed(), 3000) << "the build ended soon after the stop";
        EXPECT_EQ(seen, "Форма 1. Прогноз объемов продукции: подсчет сумм по продуктам...");
        EXPECT_TRUE(offered);
        EXPECT_LE(dlg.result, 0);
        EXPECT_EQ(dlg.job().preview(), nullptr);
        EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
        EXPECT_EQ(status->text(), "Готов к работе");
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(dlg.findChild<QPushButton*>("stop")->isVisible());
        EXPECT_TRUE(dlg.closeButton()->isEnabled());
    }
    GetDBConnection().Close();
    // The workers' connections are closed by the time their runs end: the last one took the log file.
    EXPECT_FALSE(QFile::exists(p.file + "-wal"));
}

TEST_F(ReportDialogTest, ASecondDialogsRunEndsWhileTheFirstBuilderStillRuns)
{
    // The first builder waits for the second run to end: it would wait forever if that run waited
    // behind it for the builders' thread.
    std::atomic<bool> secondDone{false};
    CFakeFormDlg first(&window);
    CFakeFormDlg second(&window);
    first.builder = [&] {
        QElapsedTimer waited;
        waited.start();
        while (!secondDone && waited.elapsed() < 20000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return WriteForm1(Rows(2));
    };
    second.builder = [] { return WriteForm1(Rows(3)); };
    QTimer::singleShot(100, &second, [&] {
        second.OnOK();
        secondDone = true;
    });
    QElapsedTimer took;
    took.start();
    first.OnOK();
    EXPECT_LT(took.elapsed(), 10000);
    EXPECT_TRUE(secondDone);
    ASSERT_GT(first.result, 0);
    ASSERT_GT(second.result, 0);
    EXPECT_NE(first.result, second.result);
    EXPECT_TRUE(first.job().preview() && second.job().preview());
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReportDialogTest, ThePreviewStaysUsableBesideTheModalDialogAndGoesWithIt)
{
    QPointer<CReportPreview> first;
    QPointer<CReportPreview> second;
    {
        CFakeFormDlg dlg(&window);
        dlg.builder = [] { return WriteForm1(Rows(100)); };
        dlg.setWindowModality(Qt::ApplicationModal);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.OnOK();
        first = dlg.job().preview();
        dlg.OnOK();
        second = dlg.job().preview();
        ASSERT_TRUE(second);
        EXPECT_FALSE(first) << "the earlier preview is closed";
        EXPECT_EQ(dlg.findChildren<CReportPreview*>().size(), 1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
        ASSERT_GE(second->pageCount(), 2);

        // The main window is blocked by the modal dialog, the preview is not.
        int mainClicks = 0;
        QObject::connect(mainButton, &QPushButton::clicked, [&] { ++mainClicks; });
        ClickThroughWindow(mainButton);
        EXPECT_EQ(mainClicks, 0);
        EXPECT_EQ(second->currentPage(), 1);
        auto* bar = second->findChild<QToolBar*>("reportToolBar");
        ASSERT_TRUE(bar);
        QAction* next = second->findChild<QAction*>("nextPage");
        ASSERT_TRUE(next);
        ClickThroughWindow(bar->widgetForAction(next));
        EXPECT_EQ(second->currentPage(), 2);

        // Search: the place holding the text comes into view.
        EXPECT_TRUE(second->FindNext(QStringLiteral("Строка 99")));
        EXPECT_EQ(second->currentPage(), second->pageCount());
        messages.clear();
        EXPECT_FALSE(second->FindNext(QStringLiteral("Строка 99")));
        ASSERT_EQ(messages.size(), 1u);

        // Export through the modal hook: a whole PDF.
        hook.path = home() + "export";
        EXPECT_TRUE(second->Export());
        ASSERT_TRUE(QFile::exists(home() + "export.pdf"));
        EXPECT_TRUE(ReadFile(home() + "export.pdf").startsWith("%PDF-"));
        if (HaveProgram(QStringLiteral("pdfinfo"))) {
            EXPECT_EQ(RunPeer(QStringLiteral("pdfinfo"), {home() + "export.pdf"}).exitCode, 0);
        }
        hook.path.clear();
        EXPECT_FALSE(second->Export());
    }
    EXPECT_FALSE(second) << "the preview goes with its dialog";
}

} // namespace
