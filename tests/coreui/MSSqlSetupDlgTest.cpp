#include "MSSqlSetupDlg.h"
#include "MessageBoxDlg.h"
#include "ModalHook.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

class MSSqlSetupDlgTest : public TempHomeTest { };

TEST_F(MSSqlSetupDlgTest, EditsTheSettingsAndEnablesWhatTheChoiceNeeds)
{
    CDbSetupSettings s;
    s.dbFile = "/data/LIR.db";
    CMSSqlSetupDlg dlg(s);
    EXPECT_EQ(dlg.windowTitle(), "Соединение");
    auto* path = dlg.findChild<QLineEdit*>("dbFile");
    auto* host = dlg.findChild<QLineEdit*>("hostName");
    auto* login = dlg.findChild<QLineEdit*>("userName");
    auto* password = dlg.findChild<QLineEdit*>("password");
    auto* osAuth = dlg.findChild<QCheckBox*>("useWindowsAuth");
    auto* savePass = dlg.findChild<QCheckBox*>("savePass");
    EXPECT_TRUE(dlg.fileChoice()->isChecked());
    EXPECT_EQ(path->text(), "/data/LIR.db");
    EXPECT_TRUE(path->isEnabled());
    EXPECT_FALSE(host->isEnabled());
    EXPECT_FALSE(login->isEnabled());

    dlg.serverChoice()->setChecked(true);
    EXPECT_FALSE(path->isEnabled());
    EXPECT_TRUE(host->isEnabled());
    EXPECT_TRUE(login->isEnabled());
    osAuth->setChecked(true);
    EXPECT_FALSE(login->isEnabled());
    EXPECT_FALSE(password->isEnabled());
    osAuth->setChecked(false);

    host->setText("db.example");
    dlg.findChild<QSpinBox*>("port")->setValue(5433);
    dlg.findChild<QLineEdit*>("dbName")->setText("lir2");
    login->setText("ivanov");
    password->setText("pw");
    savePass->setChecked(false);
    dlg.accept();
    EXPECT_EQ(s.sql, 1);
    EXPECT_EQ(s.hostName, "db.example");
    EXPECT_EQ(s.port, 5433);
    EXPECT_EQ(s.dbName, "lir2");
    EXPECT_EQ(s.userName, "ivanov");
    EXPECT_EQ(s.password, "pw");

    // Not remembered: the password stays out of the profile.
    s.SaveSettings();
    QSettings ini(profilePath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Settings/DataBase/Password").toString(), "");
    EXPECT_EQ(ini.value("Settings/DataBase/Sql").toInt(), 1);
    EXPECT_EQ(ini.value("Settings/DataBase/UserName").toString(), "ivanov");
}

TEST_F(MSSqlSetupDlgTest, CancelLeavesTheSettingsAlone)
{
    CDbSetupSettings s;
    s.dbFile = "/a.db";
    CMSSqlSetupDlg dlg(s);
    dlg.findChild<QLineEdit*>("dbFile")->setText("/b.db");
    dlg.reject();
    EXPECT_EQ(s.dbFile, "/a.db");
}

TEST_F(MSSqlSetupDlgTest, AnEmptyFileOrServerIsRefusedWithAMessage)
{
    for (const bool server : {false, true}) {
        messages.clear();
        CDbSetupSettings s;
        s.dbFile = "/a.db";
        s.hostName = "db.example";
        CMSSqlSetupDlg dlg(s);
        (server ? dlg.serverChoice() : dlg.fileChoice())->setChecked(true);
        dlg.findChild<QLineEdit*>(server ? "hostName" : "dbFile")->setText("  ");
        dlg.accept();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, server ? CMSSqlSetupDlg::kNoServerMessage : CMSSqlSetupDlg::kNoFileMessage);
        EXPECT_EQ(s.dbFile, "/a.db");
        EXPECT_EQ(s.hostName, "db.example");
        EXPECT_EQ(s.sql, 0);
    }
}

namespace {

// Counts the questions for the new file and cancels them.
struct SaveCounter : CModalHook {
    int asked = 0;
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override
    {
        ++asked;
        return QString();
    }
};

} // namespace

// "Создать..." asks for the new file only where a template is: without one it says why at once.
TEST_F(MSSqlSetupDlgTest, CreateWithoutATemplateSaysWhy)
{
    SaveCounter hook;
    CModalHook* old = SetModalHook(&hook);
    CDbSetupSettings s;
    CMSSqlSetupDlg dlg(s);
    auto* create = dlg.findChild<QToolButton*>("create");
    create->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              CMSSqlSetupDlg::kNoTemplateMessage.arg("Не найден шаблон базы данных: " + home() + "LIR.db.tmpl или "
                                                     + shippedFolder() + "LIR.db.tmpl"));
    EXPECT_EQ(hook.asked, 0);
    // The template beside the program will do.
    WriteFile(shippedFolder() + "LIR.db.tmpl", "template");
    create->click();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(hook.asked, 1);
    SetModalHook(old);
}

// The password asked at start-up: under the program's title, as its messages; the cursor stands in
// the field to fill, which takes the typing at once, and Return takes it into the settings.
TEST_F(MSSqlSetupDlgTest, ThePasswordDialogOpensInItsPasswordField)
{
    const struct {
        const char* login;
        const char* field;
    } cases[] = {{"ivanov", "password"}, {"", "userName"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        CDbSetupSettings s;
        s.sql = 1;
        s.hostName = "db.example";
        s.userName = c.login;
        s.password.clear();
        CDbPasswordDlg dlg(s);
        EXPECT_EQ(dlg.windowTitle(), "Прогноз");
        EXPECT_EQ(dlg.windowTitle(), CMessageBoxDlg().windowTitle());
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QWidget* focused = QApplication::focusWidget();
        ASSERT_EQ(focused, dlg.findChild<QLineEdit*>(c.field));
        QTest::keyClicks(focused, "secret");
        QTest::keyClick(focused, Qt::Key_Return);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(QString(c.field) == "password" ? s.password : s.userName, "secret");
        EXPECT_TRUE(s.passwordEntered);
    }
}
