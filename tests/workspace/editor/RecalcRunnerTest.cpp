// The status window and the editor's entries, on the offscreen platform with a real worker thread.
#include "RecalcRunner.h"
#include "AppMessage.h"
#include "CalcTestSupport.h"
#include "CalcTexts.h"
#include "ForecastGenerator.h"
#include "RecalcStatusDlg.h"
#include "Settings.h"
#include "tables/Products.h"
#include "tables/Receivers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

CRecalcStatusDlg* ShownStatusWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CRecalcStatusDlg*>(w); dlg && dlg->isVisible())
            return dlg;
    return nullptr;
}

QString LabelText(QWidget* dlg, const char* id)
{
    const auto* label = dlg->findChild<QLabel*>(QLatin1String(id));
    return label ? label->text() : QString();
}

} // namespace

TEST(RecalcStatusDlgTest, ProgressFromAWorkerReachesTheWindowAtMost20TimesASecondLastStateExactly)
{
    CRecalcStatusDlg dlg;
    dlg.show();
    CReceiverRecord receiver;
    receiver.name = QStringLiteral("Получатель");
    CProductRecord product;
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        dlg.BeginOuter(4);
        dlg.StepOuter(&receiver);
        for (int i = 0; i < 200000; ++i) {
            product.name = QStringLiteral("Продукт %1").arg(i % 3); // the worker's own record
            dlg.BeginInner(3);
            dlg.StepInner(&product);
            dlg.ShowInner(nullptr);
        }
        product.name = QStringLiteral("Последний");
        dlg.StepInner(&product);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    const qint64 ms = clock.elapsed();
    QTest::qWait(120);
    EXPECT_LE(dlg.shownCount(), ms / 50 + 3) << ms << " ms";
    EXPECT_EQ(LabelText(&dlg, "id1038"), QStringLiteral("Получатель"));
    EXPECT_EQ(LabelText(&dlg, "id1114"), QStringLiteral("Последний"));
    EXPECT_EQ(dlg.findChild<QProgressBar*>(QStringLiteral("id1111"))->value(), 66) << "2 of 3 inner steps";
    EXPECT_EQ(dlg.state().outerDone, 1);
}

class RecalcRunnerTest : public CalcDbTest {
protected:
    void Generate(CForecastShape shape)
    {
        QString error;
        const auto generated = GenerateForecast(shape, &error);
        ASSERT_TRUE(generated) << error.toStdString();
        g = *generated;
    }

    // Larger on SQLite, so that a run takes long enough to be interrupted.
    CForecastShape Medium() const
    {
        return {.receiverGroups = 4,
                .leafReceivers = isPg() ? 300 : 600,
                .productGroups = 3,
                .productSubgroups = 3,
                .leafProducts = 300,
                .secondUnitEvery = 4};
    }

    // A unit without pairs for a member of the top group: every walk of group rows fails at the top.
    void AddUnconvertibleMember()
    {
        Exec("insert into tclsmeasurement (id, name, type) values (9100, 'шт', 2)");
        const int odd = CGeneratedForecast::ProductId(g.forecast, 900);
        Exec("insert into tclsproduct (prognoz, id, parent, measurementPrice, name, position, type, isgroup, "
             "offsetMin, offsetMax, avRep, avCur, avProg, priceIdx) values (?, ?, ?, 9100, 'Штучный', 99, 1, 0, 0, 0, "
             "0, 0, 0, 0)",
             {g.forecast, odd, g.topProduct});
        Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, 0, 0, 0)",
             {g.forecast, odd});
    }

    CGeneratedForecast g;
};
LIR_INSTANTIATE_DB_TEST(RecalcRunnerTest);

TEST_P(RecalcRunnerTest, WorkerErrorShowsOverTheWindowThenItCloses)
{
    Generate(Medium());
    AddUnconvertibleMember();
    struct Shown {
        QString text;
        unsigned flags;
        QString over;
        bool windowUp;
    };
    std::vector<Shown> shown;
    SetMessageBoxHandler([&](const QString& text, unsigned flags, QObject* parent) {
        shown.push_back({text, flags, parent ? parent->objectName() : QString(), ShownStatusWindow() != nullptr});
        return IDOK;
    });
    EXPECT_EQ(RunRecalcWorker(RecalcCommand::WholeForecast, g.forecast, g.root, nullptr), RECALC_STOPPED);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, QStringLiteral("Не задана единица пересчёта из 'шт' в 'руб.'"));
    EXPECT_EQ(shown[0].flags, unsigned(MB_ICONHAND));
    EXPECT_EQ(shown[0].over, QStringLiteral("id177"));
    EXPECT_TRUE(shown[0].windowUp);
    EXPECT_FALSE(ShownStatusWindow());
}

TEST_P(RecalcRunnerTest, WorkerShowsItsProgressAndStopsOnEscapeAndARerunConverges)
{
    Generate(Medium());
    SaveSnapshot();
    // The labels show receivers and products while the worker runs, and the window is gone after.
    QSet<QString> receivers;
    QSet<QString> products;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        if (CRecalcStatusDlg* dlg = ShownStatusWindow()) {
            receivers << LabelText(dlg, "id1038");
            products << LabelText(dlg, "id1114");
        }
    });
    sample.start(2);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(RunRecalcWorker(RecalcCommand::WholeForecast, g.forecast, g.root, nullptr), RECALC_DONE);
    const qint64 whole = clock.elapsed();
    sample.stop();
    EXPECT_FALSE(ShownStatusWindow());
    receivers.remove(QString());
    products.remove(QString());
    EXPECT_FALSE(receivers.isEmpty() || products.isEmpty()) << whole << " ms";
    static const QRegularExpression receiverName(QStringLiteral("^(Получатель|Группа получателей|Организация) "));
    static const QRegularExpression productName(QStringLiteral("^(Группа|Продукт) \\d+$"));
    for (const QString& name : receivers)
        EXPECT_TRUE(receiverName.match(name).hasMatch()) << name.toStdString();
    for (const QString& name : products)
        EXPECT_TRUE(productName.match(name).hasMatch()) << name.toStdString();
    const QStringList uninterrupted = DumpRows();
    RestoreSnapshot();

    // Escape once the walk has begun, as the worker reports it (the window shows it a little later):
    // a time taken from the first run could fall after a warmer second run had ended.
    QElapsedTimer sinceEscape;
    QTimer escape;
    QObject::connect(&escape, &QTimer::timeout, [&] {
        CRecalcStatusDlg* dlg = ShownStatusWindow();
        if (!dlg || sinceEscape.isValid())
            return;
        const CRecalcProgressState now = dlg->state();
        if (now.outerDone == 0 && now.productText.isEmpty())
            return;
        sinceEscape.start();
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    escape.start(1);
    EXPECT_EQ(RunRecalcWorker(RecalcCommand::WholeForecast, g.forecast, g.root, nullptr), RECALC_STOPPED)
        << "the run ended before Escape; the whole run took " << whole << " ms";
    escape.stop();
    ASSERT_TRUE(sinceEscape.isValid());
    EXPECT_LT(sinceEscape.elapsed(), 500);
    EXPECT_TRUE(messages.empty());
    EXPECT_NE(DumpRows(), uninterrupted) << "the run was cut short";

    EXPECT_EQ(RunRecalcWorker(RecalcCommand::WholeForecast, g.forecast, g.root, nullptr), RECALC_DONE);
    EXPECT_EQ(DumpRows(), uninterrupted);
}

TEST_P(RecalcRunnerTest, EntriesOnTheUserInterfaceThread)
{
    Generate(Medium());
    const int group = g.productGroups[1];
    const int leaf = g.leafReceivers[0];
    SaveSnapshot();

    // An edit of a member: off, its row alone is stored; on, with the group rows that follow from it,
    // which a recalculation after it then leaves as they are.
    const QStringList before = DumpRows();
    const int member = g.leafProducts.front();
    const int memberGroup = GetProduct(member, g.forecast)->parent;
    const CForecastKey key{g.forecast, leaf, member};
    CForecastDataRecord edit = GetForecastData(key).value_or(CForecastDataRecord{});
    edit.prognoz = g.forecast;
    edit.receiver = leaf;
    edit.product = member;
    CForecastRowFields row;
    bool recalculated = true;
    Settings().EnableAutoRecalc = false;
    edit.sumLast = edit.sumLast + Money::fromInt(7);
    EXPECT_TRUE(SaveCellEdit(edit, memberGroup, &row, &recalculated));
    EXPECT_FALSE(recalculated);
    EXPECT_EQ(GetForecastData(key)->sumLast, edit.sumLast);
    const QStringList edited = DumpRows();
    EXPECT_EQ(edited.size(), before.size());
    Settings().EnableAutoRecalc = true;
    edit.sumLast = edit.sumLast + Money::fromInt(7);
    EXPECT_TRUE(SaveCellEdit(edit, memberGroup, &row, &recalculated));
    EXPECT_TRUE(recalculated);
    EXPECT_EQ(row.sumLast, GetForecastData({g.forecast, leaf, memberGroup})->sumLast);
    EXPECT_NE(DumpRows(), edited);
    const QStringList recalculatedRows = DumpRows();
    EXPECT_EQ(RecalcEditedGroup(g.forecast, leaf, memberGroup).result, RECALC_DONE);
    EXPECT_EQ(DumpRows(), recalculatedRows);

    EXPECT_EQ(RecalcNode(g.forecast, leaf, group, nullptr), NodeRecalcResult::ShowGroupRows);
    EXPECT_EQ(RecalcNode(g.forecast, g.receiverGroups[0], group, nullptr), NodeRecalcResult::ReloadList);
    EXPECT_EQ(RecalcNode(g.forecast, 0, group, nullptr), NodeRecalcResult::ShowGroupRows);
    EXPECT_FALSE(ShownStatusWindow());
    EXPECT_EQ(GetRecalcProgressHolder().Get(), nullptr);
    EXPECT_TRUE(messages.empty());

    // The groups command asks first for a receiver group; No leaves everything as it is.
    RestoreSnapshot();
    answers.push_back(IDNO);
    EXPECT_EQ(RunRecalcWorker(RecalcCommand::GroupRows, g.forecast, g.receiverGroups[0], nullptr), RECALC_NOTHING);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, CalcTexts::kGroupRecalcQuestion);
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(DumpRows(), before);
    messages.clear();

    // Errors are shown with the stop icon; an edit whose group rows fail is not stored either.
    AddUnconvertibleMember();
    const QStringList unconvertible = DumpRows();
    edit.sumLast = edit.sumLast + Money::fromInt(7);
    EXPECT_FALSE(SaveCellEdit(edit, g.topProduct, &row, &recalculated));
    EXPECT_EQ(DumpRows(), unconvertible);
    EXPECT_EQ(RecalcNode(g.forecast, leaf, g.topProduct, nullptr), NodeRecalcResult::Failed);
    ASSERT_EQ(messages.size(), 2u);
    for (const RecordedMessage& m : messages) {
        EXPECT_EQ(m.text, QStringLiteral("Не задана единица пересчёта из 'шт' в 'руб.'"));
        EXPECT_EQ(m.flags, unsigned(MB_ICONHAND));
    }
}

// Last: it runs the application's own event loop and quits it.
TEST_P(RecalcRunnerTest, QuittingTheApplicationStopsAndJoinsTheWorker)
{
    Generate(Medium());
    // The worker waits for another program's hold of the forecast's rows when the program quits: the
    // wait ends with it, and no message follows.
    QSqlDatabase other;
    ASSERT_FALSE(OpenDatabase(params(), QStringLiteral("other")));
    other = QSqlDatabase::database(QStringLiteral("other"), false);
    QSqlQuery hold(other);
    ASSERT_TRUE(hold.exec(isPg() ? QStringLiteral("begin") : QStringLiteral("begin immediate")));
    if (isPg()) {
        ASSERT_TRUE(hold.exec(QStringLiteral("select lir_lock_derived_rows(2, %1, null)").arg(g.forecast)));
    }
    int result = -1;
    bool returned = false;
    QTimer::singleShot(0, [&] {
        result = RunRecalcWorker(RecalcCommand::WholeForecast, g.forecast, g.root, nullptr);
        returned = true;
    });
    QElapsedTimer quitting;
    QTimer::singleShot(700, [&] {
        EXPECT_TRUE(ShownStatusWindow());
        quitting.start();
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    EXPECT_TRUE(returned);
    EXPECT_LT(quitting.elapsed(), 3000);
    EXPECT_EQ(result, RECALC_STOPPED);
    EXPECT_FALSE(ShownStatusWindow());
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_TRUE(hold.exec(QStringLiteral("rollback")));
    hold.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}
