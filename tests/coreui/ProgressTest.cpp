#include "ModalHook.h"
#include "ProgressBar.h"
#include "TestSupport.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace {

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(600, 300);
        pane0 = new QLabel("Готов к работе");
        pane0->setObjectName("pane0");
        pane1 = new QLabel("до");
        pane1->setObjectName("pane1");
        pane1->setMinimumWidth(200);
        window.statusBar()->addWidget(pane0, 1);
        window.statusBar()->addPermanentWidget(pane1);
        window.show();
        SetAppMainWindow(&window);
    }
    void TearDown() override
    {
        ProgressDestroy();
        SetAppMainWindow(nullptr);
    }
    QMainWindow window;
    QLabel* pane0 = nullptr;
    QLabel* pane1 = nullptr;
};

} // namespace

TEST_F(ProgressTest, StepsWrapAfterHundredAndDestroyRestoresThePane)
{
    ProgressCreate();
    CProgressBar* bar = ProgressBarInstance();
    ASSERT_NE(bar, nullptr);
    ProgressCreate(); // a second create keeps the first bar
    EXPECT_EQ(ProgressBarInstance(), bar);

    for (int step = 0; step <= 100; ++step) {
        ProgressStep();
        ASSERT_EQ(bar->value(), step);
    }
    ProgressStep();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(pane1->text(), ""); // the bar's empty label

    ProgressDestroy();
    EXPECT_EQ(ProgressBarInstance(), nullptr);
    EXPECT_EQ(pane1->text(), "до");
    ProgressStep(); // ticks after destroy change nothing
    EXPECT_EQ(ProgressBarInstance(), nullptr);
}

TEST_F(ProgressTest, EmptyLabelSpansThePaneMinusATenthTopAndBottom)
{
    ProgressCreate();
    ProgressStep();
    CProgressBar* bar = ProgressBarInstance();
    const QRect pane = pane1->rect();
    const int d = pane.height() / 10;
    EXPECT_EQ(bar->geometry().left(), pane.left());
    EXPECT_EQ(bar->geometry().right(), pane.right());
    EXPECT_EQ(bar->geometry().top(), pane.top() + d);
    EXPECT_EQ(bar->geometry().bottom(), pane.bottom() - d);
}

TEST_F(ProgressTest, LabelledBarInPaneZeroRestoresTheIdleText)
{
    {
        CProgressBar bar("Загрузка", 50, 100, true, 0);
        bar.SetPos(10);
        EXPECT_EQ(pane0->text(), "Загрузка");
        // Right of the label, over half of what is left of the pane.
        const QRect r = bar.geometry();
        EXPECT_GT(r.left(), pane0->fontMetrics().horizontalAdvance("Загрузка"));
        EXPECT_EQ(r.right(), pane0->rect().right() - 50 * (pane0->rect().right() - r.left()) / 100);
    }
    EXPECT_EQ(pane0->text(), "Готов к работе");
}

TEST_F(ProgressTest, AMainWindowClosedBeforeTheEndTakesTheBarAlong)
{
    auto* other = new QMainWindow;
    auto* pane = new QLabel("до");
    pane->setObjectName("pane1");
    other->statusBar()->addPermanentWidget(pane);
    other->show();
    SetAppMainWindow(other);
    ProgressCreate();
    ProgressStep();
    ASSERT_NE(ProgressBarInstance(), nullptr);

    SetAppMainWindow(&window);
    delete other;
    EXPECT_EQ(ProgressBarInstance(), nullptr);
    ProgressStep(); // nothing left to step
    ProgressDestroy();

    // The next bar goes to the window that is there now.
    ProgressCreate();
    ASSERT_NE(ProgressBarInstance(), nullptr);
    EXPECT_EQ(ProgressBarInstance()->parent(), pane1);
}
