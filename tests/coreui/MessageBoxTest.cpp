#include "MessageBoxDlg.h"
#include "ModalHook.h"
#include "TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Shows each dialog for real and lets the test act on it once it is up.
class ActingHook : public CModalHook {
public:
    std::function<void(CMessageBoxDlg&)> act;
    int execDialog(QDialog& dialog) override
    {
        auto* box = qobject_cast<CMessageBoxDlg*>(&dialog);
        QTimer::singleShot(0, &dialog, [this, box, &dialog] {
            if (box && act)
                act(*box);
            // Whatever the action left open is closed so that the test never hangs.
            QTimer::singleShot(200, &dialog, [&dialog] {
                if (dialog.isVisible())
                    dialog.done(-99);
            });
        });
        return dialog.exec();
    }
};

class MessageBoxTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        InstallAppMessageBoxUi();
        old = SetModalHook(&hook);
    }
    void TearDown() override
    {
        SetModalHook(old);
        TempHomeTest::TearDown();
    }
    ActingHook hook;
    CModalHook* old = nullptr;
};

} // namespace

TEST_F(MessageBoxTest, OkBoxHasOneButtonAndTheExclamationIconAndIgnoresEscapeAndClose)
{
    bool checked = false;
    hook.act = [&](CMessageBoxDlg& box) {
        EXPECT_EQ(box.buttonIds(), std::vector<int>{IDOK});
        EXPECT_EQ(box.button(IDOK)->text(), "ОК");
        EXPECT_EQ(box.iconFlags(), unsigned(MB_ICONEXCLAMATION));
        EXPECT_EQ(box.windowTitle(), "Прогноз");
        EXPECT_FALSE(box.windowFlags() & Qt::WindowCloseButtonHint);
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible());
        box.close();
        EXPECT_TRUE(box.isVisible());
        checked = true;
    };
    EXPECT_EQ(AppMessageBox("Текст", 0), -99);
    EXPECT_TRUE(checked);
}

TEST_F(MessageBoxTest, YesNoAnswersNoToEscapeAndToClosing)
{
    hook.act = [](CMessageBoxDlg& box) { QTest::keyClick(&box, Qt::Key_Escape); };
    EXPECT_EQ(AppMessageBox("Вопрос?", MB_YESNO | MB_ICONQUESTION), IDNO);
    hook.act = [](CMessageBoxDlg& box) {
        EXPECT_EQ(box.iconFlags(), unsigned(MB_ICONQUESTION));
        box.close();
    };
    EXPECT_EQ(AppMessageBox("Вопрос?", MB_YESNO | MB_ICONQUESTION), IDNO);
    hook.act = [](CMessageBoxDlg& box) { QTest::keyClick(&box, Qt::Key_Return); };
    EXPECT_EQ(AppMessageBox("Вопрос?", MB_YESNO), IDYES);
}

TEST_F(MessageBoxTest, AbortRetryIgnoreCaptionsDefaultsAndTabEnter)
{
    hook.act = [](CMessageBoxDlg& box) {
        EXPECT_EQ(box.button(IDABORT)->text(), "Прекратить");
        EXPECT_EQ(box.button(IDRETRY)->text(), "Повторить");
        EXPECT_EQ(box.button(IDIGNORE)->text(), "Игнорировать");
        EXPECT_EQ(box.defaultButtonId(), IDABORT);
        EXPECT_EQ(box.cancelButtonId(), IDIGNORE);
        EXPECT_EQ(box.iconFlags(), unsigned(MB_ICONHAND));
        EXPECT_EQ(box.focusWidget(), box.button(IDABORT));
        QTest::keyClick(&box, Qt::Key_Tab);
        EXPECT_EQ(box.focusWidget(), box.button(IDRETRY));
        QTest::keyClick(&box, Qt::Key_Return);
    };
    EXPECT_EQ(AppMessageBox("Ошибка", MB_ABORTRETRYIGNORE | MB_ICONHAND), IDRETRY);
}

TEST_F(MessageBoxTest, InformationAndOkCancel)
{
    hook.act = [](CMessageBoxDlg& box) {
        EXPECT_EQ(box.iconFlags(), unsigned(MB_ICONASTERISK));
        EXPECT_EQ(box.button(IDCANCEL)->text(), "Отмена");
        QTest::mouseClick(box.button(IDCANCEL), Qt::LeftButton);
    };
    EXPECT_EQ(AppMessageBox("Готово", MB_OKCANCEL | MB_ICONINFORMATION), IDCANCEL);
}

TEST_F(MessageBoxTest, LongTextWrapsAndIsShownWhole)
{
    QString longText;
    for (int i = 0; i < 60; ++i)
        longText += QStringLiteral("слово%1 ").arg(i);
    hook.act = [&](CMessageBoxDlg& box) {
        QLabel* label = box.textLabel();
        const int screenWidth = box.screen()->availableGeometry().width();
        EXPECT_LT(box.width(), screenWidth);
        EXPECT_GE(label->height(), label->heightForWidth(label->width()));
        EXPECT_GT(label->height(), 2 * label->fontMetrics().height()); // more than one line
        box.done(IDOK);
    };
    EXPECT_EQ(AppMessageBox(longText, 0), IDOK);

    hook.act = [&](CMessageBoxDlg& box) {
        QLabel* label = box.textLabel();
        EXPECT_LT(label->heightForWidth(label->width()), 2 * label->fontMetrics().height()); // one line
        box.done(IDOK);
    };
    EXPECT_EQ(AppMessageBox("Коротко", 0), IDOK);
}

TEST_F(MessageBoxTest, ComErrorShowsTheSystemText)
{
    hook.act = [](CMessageBoxDlg& box) {
        EXPECT_EQ(box.text(), "Произошла исключительная ситуация.\nКод: 0\nСообщение: m\nОписание: d");
        EXPECT_EQ(box.iconFlags(), unsigned(MB_ICONHAND));
        box.done(IDOK);
    };
    DbError e;
    e.message = "m";
    e.description = "d";
    ReportComError(e);
}

TEST_F(MessageBoxTest, EnvironmentSwitchAnswersWithoutShowing)
{
    hook.act = [](CMessageBoxDlg&) { ADD_FAILURE() << "no dialog may be shown"; };
    qputenv("LIR_MSGBOX", "auto");
    EXPECT_EQ(AppMessageBox("q", MB_YESNO), IDYES);
    EXPECT_EQ(AppMessageBox("q", MB_OK), IDOK);
    qputenv("LIR_MSGBOX", "no");
    EXPECT_EQ(AppMessageBox("q", MB_YESNO), IDNO);
    EXPECT_EQ(AppMessageBox("q", MB_OK), IDOK);
    qputenv("LIR_MSGBOX", "cancel");
    EXPECT_EQ(AppMessageBox("q", MB_YESNOCANCEL), IDCANCEL);
    qputenv("LIR_MSGBOX", "yes");
    EXPECT_EQ(AppMessageBox("q", MB_OKCANCEL), IDOK);
    qunsetenv("LIR_MSGBOX");
}
