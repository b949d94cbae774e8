#include "CmdTarget.h"
#include "FontStatic.h"
#include "LogEdit.h"
#include "ResizableDlg.h"
#include "ShellTestSupport.h"
#include "SmartInfo.h"
#include "SplashDlg.h"
#include "SplitterWndEx.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace {

class Target : public CCmdTarget {
public:
    Target()
    {
        OnCommand(1, [this] { ++runs; });
        OnCommand(2, [this] { ++runs; });
        OnUpdateCommand(2, [this](CCmdUI& ui) { ui.Enable(secondEnabled); });
        OnUpdateCommand(3, [](CCmdUI& ui) { ui.SetCheck(true); }); // no handler, no say on enabling
        OnUpdateCommand(4, [](CCmdUI& ui) { ui.Enable(true); });   // enabled without a handler
    }
    int runs = 0;
    bool secondEnabled = false;
};

class ShellControlsTest : public TempHomeTest {
protected:
    QVariant Profile(const QString& key) { return QSettings(profilePath(), QSettings::IniFormat).value(key); }
};

} // namespace

TEST(CmdTargetTest, UpdateRuleDecidesElseAHandlerEnables)
{
    Target t;
    EXPECT_TRUE(UpdateCommand(t, 1).enabled()); // handler, no update rule
    EXPECT_FALSE(UpdateCommand(t, 2).enabled());
    t.secondEnabled = true;
    EXPECT_TRUE(UpdateCommand(t, 2).enabled());
    const CCmdUI third = UpdateCommand(t, 3);
    EXPECT_FALSE(third.enabled()); // checked, but nobody handles it
    EXPECT_TRUE(third.checkChanged() && third.checked());
    EXPECT_TRUE(UpdateCommand(t, 4).enabled());
    EXPECT_FALSE(UpdateCommand(t, 99).enabled());

    EXPECT_TRUE(t.OnCmdMsg(1, CmdMsg::Execute, nullptr));
    EXPECT_FALSE(t.OnCmdMsg(4, CmdMsg::Execute, nullptr));
    EXPECT_EQ(t.runs, 1);
}

TEST_F(ShellControlsTest, SmartInfoCanBeSwitchedOffForGood)
{
    ScriptedModalHook hook;
    int shown = 0;
    bool tick = false;
    hook.onDialog = [&](QDialog& dlg) {
        ++shown;
        EXPECT_EQ(dlg.windowTitle(), "Прогноз");
        EXPECT_EQ(dlg.findChild<QLabel*>("id1098")->text(), "Сводный прогноз сформирован.");
        EXPECT_EQ(dlg.findChild<QCheckBox*>("id1087")->text(), "Не показывать более это сообщение");
        dlg.findChild<QCheckBox*>("id1087")->setChecked(tick);
        return int(QDialog::Accepted);
    };

    ShowSmartInfo(nullptr, "Сводный прогноз сформирован.", "ForecastGeneration");
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(Profile("Smart/ForecastGeneration").isValid()); // not ticked: shown again
    tick = true;
    ShowSmartInfo(nullptr, "Сводный прогноз сформирован.", "ForecastGeneration");
    EXPECT_EQ(Profile("Smart/ForecastGeneration").toInt(), 1);
    ShowSmartInfo(nullptr, "Сводный прогноз сформирован.", "ForecastGeneration");
    ShowSmartInfo(nullptr, "Сводный прогноз сформирован.", "ForecastGeneration");
    EXPECT_EQ(shown, 2);
    // Another key is not affected.
    ShowSmartInfo(nullptr, "Сводный прогноз сформирован.", "Other");
    EXPECT_EQ(shown, 3);
}

TEST_F(ShellControlsTest, SplittersWriteTheirPaneSizesWhenDestroyed)
{
    {
        QWidget parent;
        parent.resize(400, 300);
        auto* splitter = new CSplitterWndEx(2, &parent);
        ASSERT_TRUE(splitter->CreateTwoPanes(&parent, new QWidget, new QWidget, true, 59648));
        EXPECT_EQ(splitter->objectName(), "id59648");
        CSplitterWndEx* nested = splitter->CreateNestedSplitter(1, 3, new QLabel("a"), nullptr, false);
        ASSERT_NE(nested, nullptr);
        EXPECT_EQ(splitter->widget(1), nested);
        splitter->setGeometry(0, 0, 400, 300);
        parent.show();
        splitter->setSizes({150, 250 - splitter->handleWidth()});
        QApplication::processEvents();
    }
    const QString outer = Profile("SplitterWnd/Panes_2").toString();
    const QStringList parts = outer.split(' ');
    ASSERT_EQ(parts.size(), 4) << outer.toStdString();
    EXPECT_EQ(parts[0], "-1");
    EXPECT_EQ(parts[1], "150");
    EXPECT_EQ(parts[2], "-1");
    EXPECT_GT(parts[3].toInt(), 200);
    // A nested splitter with one view: the missing second pane counts as 100.
    const QStringList inner = Profile("SplitterWnd/Panes_3").toString().split(' ');
    ASSERT_EQ(inner.size(), 4);
    EXPECT_EQ(inner[0], "-1");
    EXPECT_EQ(inner[2], "-1");
    EXPECT_EQ(inner[3], "100");
}

TEST_F(ShellControlsTest, ANestedSplitterReplacedByAnotherIsDeletedOnce)
{
    int destroyed = 0;
    {
        QWidget parent;
        parent.show();
        auto* splitter = new CSplitterWndEx(2, &parent);
        ASSERT_TRUE(splitter->CreateTwoPanes(&parent, new QWidget, new QWidget, true, 59648));
        CSplitterWndEx* first = splitter->CreateNestedSplitter(1, 3, new QLabel("a"), new QLabel("b"), false);
        ASSERT_NE(first, nullptr);
        QObject::connect(first, &QObject::destroyed, [&] { ++destroyed; });
        CSplitterWndEx* second = splitter->CreateNestedSplitter(1, 4, new QLabel("c"), nullptr, true);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(splitter->widget(1), second);
        EXPECT_EQ(splitter->count(), 2);
    }
    EXPECT_EQ(destroyed, 1);
    // Both wrote their values: the replaced one when it went, the other with the outer splitter.
    for (const char* key : {"SplitterWnd/Panes_2", "SplitterWnd/Panes_3", "SplitterWnd/Panes_4"})
        EXPECT_EQ(Profile(key).toString().split(' ').size(), 4) << key;
}

// The panes of a frame that was never shown (a tab never opened) have no sizes of the user's: they
// write nothing, and no nested splitter ever shows as a window of its own.
TEST_F(ShellControlsTest, SplittersNeverShownWriteNothing)
{
    {
        QWidget parent;
        auto* splitter = new CSplitterWndEx(5, &parent);
        ASSERT_TRUE(splitter->CreateTwoPanes(&parent, new QWidget, new QWidget, true, 59648));
        CSplitterWndEx* nested = splitter->CreateNestedSplitter(1, 6, new QLabel("a"), new QLabel("b"), false);
        ASSERT_NE(nested, nullptr);
        QApplication::processEvents();
        EXPECT_FALSE(nested->isVisible());
        EXPECT_FALSE(nested->isWindow());
    }
    for (const char* key : {"SplitterWnd/Panes_5", "SplitterWnd/Panes_6"})
        EXPECT_FALSE(Profile(key).isValid()) << key;
}

namespace {

class AnchoredDlg : public CResizableDlg {
public:
    AnchoredDlg()
        : CResizableDlg(0x9c)
    {
        ok = new QPushButton("ОК", this);
        ok->setObjectName("id1");
        ok->setGeometry(200, 150, 80, 24);
        list = new QLabel(this);
        list->setObjectName("id1001");
        list->setGeometry(10, 10, 270, 130);
        fixed = new QLabel(this);
        fixed->setObjectName("id1002");
        fixed->setGeometry(10, 150, 50, 20);
        AddAnchor(1, MoveRight | MoveDown);
        AddAnchor(1001, StretchRight | StretchDown);
        AddAnchor(1002, 0);
        resize(300, 190);
    }
    QPushButton* ok;
    QLabel* list;
    QLabel* fixed;
};

} // namespace

TEST_F(ShellControlsTest, ResizableDialogMovesAnchoredControlsAndRemembersItsSize)
{
    {
        AnchoredDlg dlg;
        dlg.show();
        QApplication::processEvents();
        EXPECT_EQ(dlg.minimumSize(), QSize(300, 190));
        dlg.resize(700, 400);
        QApplication::processEvents();
        EXPECT_EQ(dlg.ok->geometry(), QRect(600, 360, 80, 24));
        EXPECT_EQ(dlg.list->geometry(), QRect(10, 10, 670, 340));
        EXPECT_EQ(dlg.fixed->geometry(), QRect(10, 150, 50, 20));
        dlg.accept();
    }
    EXPECT_EQ(Profile("9c/CX").toInt(), 700);
    EXPECT_EQ(Profile("9c/CY").toInt(), 400);

    // The next time it opens at the stored size, and closing it unchanged writes nothing.
    {
        QSettings(profilePath(), QSettings::IniFormat).setValue("9c/CX", 650);
        AnchoredDlg dlg;
        dlg.show();
        QApplication::processEvents();
        EXPECT_EQ(dlg.size(), QSize(650, 400));
        EXPECT_FALSE(dlg.wasResized());
        QSettings(profilePath(), QSettings::IniFormat).setValue("9c/CX", 640);
        dlg.reject();
    }
    EXPECT_EQ(Profile("9c/CX").toInt(), 640);
}

TEST_F(ShellControlsTest, NeverResizedDialogStoresNothing)
{
    {
        AnchoredDlg dlg;
        dlg.setSaveSize(true);
        dlg.show();
        QApplication::processEvents();
        dlg.accept();
    }
    EXPECT_FALSE(Profile("9c/CX").isValid());
    EXPECT_FALSE(Profile("9c/CY").isValid());
}

TEST(FontStaticTest, StyleFlagsChooseFontAndAlignment)
{
    CFontStatic label;
    EXPECT_EQ(label.textAlignment(), Qt::AlignLeft);
    EXPECT_FALSE(label.hasBackground());
    EXPECT_EQ(label.backgroundColour(), label.palette().color(QPalette::Button));

    label.SetFont("MS Sans Serif", 20, QColor(255, 255, 255), 0x21);
    QFont f = label.labelFont();
    EXPECT_EQ(f.pixelSize(), 20);
    EXPECT_EQ(f.weight(), QFont::Black);
    EXPECT_FALSE(f.italic());
    EXPECT_EQ(label.textAlignment(), Qt::AlignHCenter);

    label.SetFont("Arial", 24, QColor(0, 0, 0), 0x80 | 0x02 | 0x04 | 0x08);
    f = label.labelFont();
    EXPECT_EQ(f.weight(), QFont::Normal);
    EXPECT_TRUE(f.italic());
    EXPECT_TRUE(f.underline());
    EXPECT_TRUE(f.strikeOut());
    EXPECT_EQ(label.textAlignment(), Qt::AlignRight);
    // Centre wins over right.
    label.SetFont("Arial", 24, QColor(0, 0, 0), 0xA0);
    EXPECT_EQ(label.textAlignment(), Qt::AlignHCenter);

    label.SetBackgroundColour(QColor(100, 100, 100));
    EXPECT_TRUE(label.hasBackground());
    EXPECT_EQ(label.backgroundColour(), QColor(100, 100, 100));

    // It paints its own colours.
    label.setText("АИС ЛИР");
    label.resize(120, 30);
    const QImage image = label.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(1, 28)), QColor(100, 100, 100));
}

TEST(LogEditTest, LinesAreAppendedAtTheEndWhereverTheCaretIs)
{
    CLogEdit log;
    log.AppendLine("Проверка прогноза");
    log.AppendLine("\tнет цены");
    QTextCursor c = log.textCursor();
    c.movePosition(QTextCursor::Start);
    log.setTextCursor(c);
    log.AppendLine("Закончено.");
    EXPECT_EQ(log.toPlainText(), "Проверка прогноза\n\tнет цены\nЗакончено.\n");
    EXPECT_TRUE(log.isReadOnly());
}

TEST(SplashTest, ShowsTheProgramVersionInItsLowerLeftCorner)
{
    CSplashDlg splash;
    EXPECT_EQ(splash.windowTitle(), "Прогноз");
    EXPECT_EQ(splash.versionText(), "Версия 2.0.1.40");
    EXPECT_EQ(splash.versionRect(), QRect(QPoint(4, splash.height() - 14), QPoint(100, splash.height())));
    // The version is drawn: the corner differs from the bare bitmap.
    const QImage drawn = splash.grab().toImage();
    bool dark = false;
    for (int x = 4; x < 100 && !dark; ++x)
        for (int y = splash.height() - 14; y < splash.height() && !dark; ++y)
            dark = qGray(drawn.pixel(x, y)) < 60;
    EXPECT_TRUE(dark);
}
