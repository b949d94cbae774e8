// The dialog of the server kind, offscreen: what it shows, what OK and "Отмена" do, the About box.
#include "TestSupport.h"

#include "DbPrepApp.h"
#include "DbPrepDlg.h"
#include "ModalHook.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

namespace {

// Answers every modal dialog with a scripted action instead of showing it.
class ScriptedHook : public CModalHook {
public:
    std::function<int(QDialog&)> onDialog;
    int execDialog(QDialog& dialog) override { return onDialog(dialog); }
};

class DbPrepDlgTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        m_previous = SetModalHook(&m_hook);
    }
    void TearDown() override
    {
        SetModalHook(m_previous);
        TempHomeTest::TearDown();
    }
    ScriptedHook m_hook;
    CModalHook* m_previous = nullptr;
};

TEST_F(DbPrepDlgTest, ServerFromTheCommandLineAndCancelPreparesNothing)
{
    QString shown;
    QString caption;
    m_hook.onDialog = [&](QDialog& dlg) {
        caption = dlg.windowTitle();
        shown = dlg.findChild<QLineEdit*>(QStringLiteral("id1044"))->text();
        EXPECT_EQ(dlg.findChild<QCheckBox*>(QStringLiteral("id1087"))->text(),
                  QStringLiteral("Использовать аутентификацию операционной системы"));
        EXPECT_EQ(dlg.findChild<QLineEdit*>(QStringLiteral("id1046"))->echoMode(), QLineEdit::Password);
        dlg.findChild<QPushButton*>(QStringLiteral("id2"))->click();
        return dlg.result();
    };
    EXPECT_EQ(CDbPrepApp::InitInstance({QStringLiteral("DBPATH=SRV01&BASETYPE=MSSQL")}, true), PREP_NOTHING);
    EXPECT_EQ(shown, QStringLiteral("SRV01"));
    EXPECT_EQ(caption, QStringLiteral("Подготовка БД"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(DbPrepDlgTest, OkRunsOnePreparationAndCloses)
{
    // Nothing listens on this port: the preparation fails with one message.
    SetEnv("PGPORT", "1");
    CDbPrepDlg dlg;
    dlg.m_server = QStringLiteral("127.0.0.1");
    dlg.m_login = QStringLiteral("admin");
    dlg.DoDataExchange(false);
    dlg.show();
    dlg.findChild<QPushButton*>(QStringLiteral("id1"))->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.exitCode(), PREP_FAILED);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
}

TEST_F(DbPrepDlgTest, AboutBoxFromTheContextMenu)
{
    CDbPrepDlg dlg;
    QAction* about = nullptr;
    for (QAction* a : dlg.actions())
        if (a->text() == QStringLiteral("&About Bastrel..."))
            about = a;
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(dlg.contextMenuPolicy(), Qt::ActionsContextMenu);
    QString version;
    m_hook.onDialog = [&](QDialog& box) {
        EXPECT_EQ(box.windowTitle(), QStringLiteral("About Bastrel"));
        version = box.findChild<QLabel*>(QStringLiteral("version"))->text();
        return int(QDialog::Accepted);
    };
    about->trigger();
    EXPECT_EQ(version, QStringLiteral("Bastrel Version 1.0"));
}

} // namespace
