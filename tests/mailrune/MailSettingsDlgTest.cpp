#include "Cipher.h"
#include "MAILRUNEPropsDlg.h"
#include "MailUiHook.h"
#include "TestSupport.h"

#include <transport/ITransport.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <dlfcn.h>

#include <vector>

namespace {

const QString kBadPeriod = QStringLiteral(
    "Неверные данные - период опроса очереди входящих сообщений должнен быть в числом в интерввале 1-86400");

class RecordingHook : public CMailUiHook {
public:
    int execDialog(QDialog&) override { return QDialog::Rejected; }
    void message(QWidget*, const QString& text) override { messages.push_back(text); }

    std::vector<QString> messages;
};

} // namespace

class MailSettingsDlgTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        SetMailUiHook(&hook);
    }
    void TearDown() override
    {
        SetMailUiHook(nullptr);
        TempHomeTest::TearDown();
    }

    template <typename T>
    static T* Find(const QWidget& dialog, int id)
    {
        T* w = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
        if (!w)
            ADD_FAILURE() << "no control id" << id;
        return w;
    }
    static void TypePeriod(const QWidget& dialog, const QString& text)
    {
        QLineEdit* edit = Find<QLineEdit>(dialog, 1010);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void Put(const QString& key, const QVariant& value)
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue("Transport/MAILRUNE/" + key, value);
    }
    QVariant Stored(const QString& key) const
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        return ini.value("Transport/MAILRUNE/" + key);
    }
    QStringList StoredKeys() const
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.beginGroup("Transport/MAILRUNE");
        return ini.childKeys();
    }

    RecordingHook hook;
};

TEST_F(MailSettingsDlgTest, PeriodRangeDecidesWhetherAnythingIsWritten)
{
    for (const QString& period : {QStringLiteral("0"), QStringLiteral("86401"), QString()}) {
        hook.messages.clear();
        CMAILRUNEPropsDlg dlg;
        Find<QCheckBox>(dlg, 1007)->click();
        TypePeriod(dlg, period);
        Find<QPushButton>(dlg, 1)->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted) << period.toStdString();
        Find<QPushButton>(dlg, 3)->click();
        EXPECT_EQ(hook.messages, std::vector<QString>(2, kBadPeriod)) << period.toStdString();
        EXPECT_TRUE(StoredKeys().isEmpty()) << period.toStdString();
    }
    for (const QString& period : {QStringLiteral("1"), QStringLiteral("86400")}) {
        hook.messages.clear();
        CMAILRUNEPropsDlg dlg;
        if (!Find<QCheckBox>(dlg, 1007)->isChecked())
            Find<QCheckBox>(dlg, 1007)->click();
        TypePeriod(dlg, period);
        Find<QPushButton>(dlg, 1)->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_TRUE(hook.messages.empty());
        EXPECT_EQ(Stored("ReceiveTime").toString(), period);
        EXPECT_EQ(StoredKeys().size(), 11);
    }
}

TEST_F(MailSettingsDlgTest, ReceivingOffShowsThirtyAndSavesIt)
{
    Put("EnableReceive", "0");
    Put("ReceiveTime", "120");
    CMAILRUNEPropsDlg dlg;
    EXPECT_FALSE(Find<QCheckBox>(dlg, 1007)->isChecked());
    EXPECT_EQ(Find<QLineEdit>(dlg, 1010)->text(), "30");
    EXPECT_FALSE(Find<QLineEdit>(dlg, 1010)->isEnabled());
    EXPECT_FALSE(Find<QWidget>(dlg, 1009)->isEnabled());
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Stored("ReceiveTime").toString(), "30");
    EXPECT_EQ(Stored("EnableReceive").toString(), "0");
}

TEST_F(MailSettingsDlgTest, SwitchingReceivingOffKeepsTheTypedPeriod)
{
    Put("EnableReceive", "1");
    Put("ReceiveTime", "120");
    CMAILRUNEPropsDlg dlg;
    EXPECT_EQ(Find<QLineEdit>(dlg, 1010)->text(), "120");
    EXPECT_TRUE(Find<QLineEdit>(dlg, 1010)->isEnabled());

    Find<QCheckBox>(dlg, 1007)->click();
    EXPECT_EQ(Find<QLineEdit>(dlg, 1010)->text(), "120");
    EXPECT_FALSE(Find<QLineEdit>(dlg, 1010)->isEnabled());
    EXPECT_FALSE(Find<QWidget>(dlg, 1009)->isEnabled());

    Find<QPushButton>(dlg, 3)->click(); // apply: saved, dialog stays open
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Stored("ReceiveTime").toString(), "120");
    EXPECT_EQ(Stored("EnableReceive").toString(), "0");
}

TEST_F(MailSettingsDlgTest, LoginAndPasswordOnlyWithAuthentication)
{
    Put("SMTPCheckLogin", "0");
    Put("SMTPLogin", "user");
    Put("SMTPPassword", EncipherPassword("pw"));
    CMAILRUNEPropsDlg dlg;
    auto* login = Find<QLineEdit>(dlg, 1004);
    auto* password = Find<QLineEdit>(dlg, 1005);
    EXPECT_FALSE(login->isEnabled());
    EXPECT_FALSE(password->isEnabled());
    EXPECT_TRUE(login->text().isEmpty());
    EXPECT_TRUE(password->text().isEmpty());

    Find<QPushButton>(dlg, 3)->click();
    EXPECT_EQ(Stored("SMTPLogin").toString(), "");
    EXPECT_EQ(Stored("SMTPPassword").typeId(), QMetaType::QByteArray);
    EXPECT_TRUE(Stored("SMTPPassword").toByteArray().isEmpty());
    EXPECT_EQ(Stored("SMTPCheckLogin").toString(), "0");

    Find<QCheckBox>(dlg, 1014)->click();
    EXPECT_TRUE(login->isEnabled());
    EXPECT_TRUE(password->isEnabled());
    login->setText("почта");
    QTest::keyClicks(password, "password");
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(Stored("SMTPCheckLogin").toString(), "1");
    EXPECT_EQ(Stored("SMTPLogin").toString(), "почта");
    EXPECT_EQ(Stored("SMTPPassword").toByteArray().toHex(' '), "e9 47 98 c1 1a f1 07 a7");

    // Switching authentication off again empties what was typed.
    Find<QCheckBox>(dlg, 1014)->click();
    EXPECT_TRUE(login->text().isEmpty());
    EXPECT_TRUE(password->text().isEmpty());
}

TEST_F(MailSettingsDlgTest, LoadShowsStoredValuesWithDecipheredPasswords)
{
    Put("SMTPServer", "smtp.example.org");
    Put("SMTPLogin", "out");
    Put("SMTPPassword", EncipherPassword("секрет"));
    Put("SMTPCheckLogin", "1");
    Put("SMTPKeepPassword", "1");
    Put("POP3Server", "pop.example.org");
    Put("POP3Login", "in");
    Put("POP3Password", EncipherPassword("secret"));
    Put("EnableReceive", "1");
    Put("ReceiveTime", "45");
    CMAILRUNEPropsDlg dlg;
    EXPECT_EQ(Find<QLineEdit>(dlg, 1001)->text(), "smtp.example.org");
    EXPECT_EQ(Find<QLineEdit>(dlg, 1004)->text(), "out");
    EXPECT_EQ(Find<QLineEdit>(dlg, 1005)->text(), "секрет");
    EXPECT_TRUE(Find<QCheckBox>(dlg, 1014)->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(dlg, 1015)->isChecked());
    EXPECT_EQ(Find<QLineEdit>(dlg, 1000)->text(), "pop.example.org");
    EXPECT_EQ(Find<QLineEdit>(dlg, 1002)->text(), "in");
    EXPECT_EQ(Find<QLineEdit>(dlg, 1003)->text(), "secret");
    EXPECT_TRUE(Find<QCheckBox>(dlg, 1007)->isChecked());
    EXPECT_EQ(Find<QLineEdit>(dlg, 1010)->text(), "45");
}

TEST_F(MailSettingsDlgTest, BothPagesAlignTheirLoginFieldsAndTheDialogOpensOnTheFirstField)
{
    CMAILRUNEPropsDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(QApplication::focusWidget(), Find<QLineEdit>(dlg, 1001));

    auto* tab = Find<QTabWidget>(dlg, 1011);
    tab->setCurrentIndex(1);
    QApplication::processEvents();
    // Outgoing login and password, then incoming ones: same left edge and width on both pages.
    const int ids[] = {1004, 1005, 1002, 1003};
    QRect fields[4];
    for (int i = 0; i < 4; ++i)
        fields[i] = Find<QLineEdit>(dlg, ids[i])->geometry();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(fields[i].left(), fields[i + 2].left()) << ids[i];
        EXPECT_EQ(fields[i].width(), fields[i + 2].width()) << ids[i];
    }
}

TEST_F(MailSettingsDlgTest, ServerNamesAreSavedWithoutSurroundingBlanks)
{
    CMAILRUNEPropsDlg dlg;
    Find<QLineEdit>(dlg, 1001)->setText(QStringLiteral("  smtp.example.org\t"));
    Find<QLineEdit>(dlg, 1000)->setText(QStringLiteral(" pop.example.org "));
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(Stored("SMTPServer").toString(), "smtp.example.org");
    EXPECT_EQ(Stored("POP3Server").toString(), "pop.example.org");
}

TEST_F(MailSettingsDlgTest, CancelWritesNothing)
{
    CMAILRUNEPropsDlg dlg;
    Find<QLineEdit>(dlg, 1001)->setText("smtp");
    Find<QCheckBox>(dlg, 1007)->click();
    Find<QPushButton>(dlg, 2)->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(QFile::exists(profilePath())); // opened by loading, owner-only
    EXPECT_EQ(QFile::permissions(profilePath()) & (QFile::ReadGroup | QFile::ReadOther), 0);
    EXPECT_TRUE(StoredKeys().isEmpty());
    EXPECT_TRUE(hook.messages.empty());
}

TEST_F(MailSettingsDlgTest, PeriodTakesDigitsAndStepsWithinItsRange)
{
    CMAILRUNEPropsDlg dlg;
    Find<QCheckBox>(dlg, 1007)->click();
    auto* edit = Find<QLineEdit>(dlg, 1010);
    TypePeriod(dlg, "1a2-b ");
    EXPECT_EQ(edit->text(), "12");

    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "13");
    auto arrows = Find<QWidget>(dlg, 1009)->findChildren<QAbstractButton*>();
    ASSERT_EQ(arrows.size(), 2);
    arrows[1]->click(); // down
    arrows[1]->click();
    EXPECT_EQ(edit->text(), "11");

    TypePeriod(dlg, "86400");
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "86400");
    TypePeriod(dlg, "0");
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "1");
}

// The real module on the test's QApplication, as the host calls it: its dialog is modal and answered
// from a timer, since the module's own hook cannot be reached from here.
TEST_F(MailSettingsDlgTest, ModuleShowsItsDialogOnTheHostApplication)
{
    void* lib = dlopen(MAILRUNE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto get = reinterpret_cast<GetTransportFunc>(dlsym(lib, "get_transport"));
    ASSERT_NE(get, nullptr);

    QString caption;
    QTimer poke;
    poke.setInterval(20);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        caption = modal->windowTitle();
        if (auto* ok = modal->findChild<QPushButton*>("id1"))
            ok->click();
    });
    poke.start();
    QTimer::singleShot(10000, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    get()->ShowSettings();
    poke.stop();

    EXPECT_EQ(caption, "Настройки SMTP/POP3");
    EXPECT_EQ(StoredKeys().size(), 11);
    EXPECT_EQ(Stored("ReceiveTime").toString(), "30");
}
