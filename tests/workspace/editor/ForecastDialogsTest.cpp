// The forecast list with its properties and status dialogs and the two selection dialogs, on the
// offscreen platform; deletion on both dialects, judged by sqlite3 and psql.
#include "ForecastDialogs.h"
#include "AppMessage.h"
#include "CheckDialogs.h"
#include "CheckTestSupport.h"
#include "ModalHook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>

#include <unistd.h>

using namespace ForecastDlgTexts;

namespace {

// Nested dialogs are handed to onDialog instead of running.
class DialogScript : public CModalHook {
public:
    DialogScript() { m_previous = SetModalHook(this); }
    ~DialogScript() override { SetModalHook(m_previous); }
    std::function<int(QDialog&)> onDialog = [](QDialog&) { return int(QDialog::Rejected); };
    int execDialog(QDialog& dialog) override
    {
        const int result = onDialog(dialog);
        dialog.setResult(result);
        return result;
    }

private:
    CModalHook* m_previous;
};

// The pixels of the rectangle that stand out from its most frequent colour: the strokes of a text.
int TextPixels(const QImage& image, const QRect& rect)
{
    std::map<QRgb, int> counts;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++counts[image.pixel(x, y)];
    const QColor back(std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                          return a.second < b.second;
                      })->first);
    int strokes = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c(image.pixel(x, y));
            strokes +=
                std::abs(c.red() - back.red()) + std::abs(c.green() - back.green()) + std::abs(c.blue() - back.blue())
                > 150;
        }
    return strokes;
}

QStringList Texts(const std::vector<RecordedMessage>& messages)
{
    QStringList texts;
    for (const RecordedMessage& m : messages)
        texts << m.text;
    return texts;
}

} // namespace

class ForecastMngrTest : public CheckDbTest {
protected:
    void Named(int id, const QString& name, int year, int status, int owner, const QString& ownerName = {})
    {
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownerName) values (?, ?, ?, ?, ?, ?)",
             {id, name, year, status, owner, ownerName});
    }
    // A row in every table that holds the forecast's data, a mailing and a user's right on it, and the
    // stored file of its document.
    void Fill(int f)
    {
        Product(f, {f * 10, 0, "01", "Продукция", 1, 2, 64});
        Product(f, {f * 10 + 1, f * 10, "01'1", "Бумага"});
        Row(f, 1, f * 10 + 1, {1, 2, 3}, {1, 1, 1});
        Exec("insert into tclsreceivermap (prognoz, receiver) values (?, 1)", {f});
        Exec("insert into tfcttotalprognoz (prognoz, product) values (?, ?)", {f, f * 10 + 1});
        Exec("insert into tfctimportstatus (prognoz, receiver) values (?, 1)", {f});
        Exec("insert into tfctdocumentation (id, prognoz, name, position, filename) values (?, ?, 'd', 1, 'd.txt')",
             {f * 10, f});
        Exec("insert into tfctmailing (id, prognoz, MailingDate) values (?, ?, current_timestamp)", {f, f});
        Exec("insert into tfctmailingreceivers (MailingID, ReceiverID) values (?, 1)", {f});
        Exec("insert into tfctuserrights (UserSID, ForecastID, ReceiverID) values (?, ?, 1)", {QByteArray("sid"), f});
        QDir().mkpath(home() + "docs");
        WriteFile(DocFile(f), "text");
    }
    QString DocFile(int f) const { return home() + QStringLiteral("docs/doc_%1_%2").arg(f).arg(f * 10); }
    // The forecast's rows per table as the database's own client counts them.
    QStringList Counts(int f)
    {
        QStringList parts;
        for (const char* table : kPerForecastTables)
            parts << QStringLiteral("select count(*) from %1 where prognoz = %2").arg(QLatin1String(table)).arg(f);
        parts << QStringLiteral("select count(*) from tfctmailing where prognoz = %1").arg(f)
              << QStringLiteral("select count(*) from tfctprognoz where id = %1").arg(f)
              << QStringLiteral("select count(*) from tfctuserrights where ForecastID = %1").arg(f)
              << QStringLiteral("select count(*) from tfctmailingreceivers");
        const auto rows = Peer(parts.join(QStringLiteral(" union all ")));
        return rows ? *rows : QStringList{peerMissing};
    }
    QTreeWidgetItem* Select(CForecastMngrDlg& dlg, const QString& name)
    {
        const auto found = dlg.list()->findItems(name, Qt::MatchExactly, 1);
        if (found.isEmpty())
            return nullptr;
        dlg.list()->setCurrentItem(found.front());
        return found.front();
    }
};
LIR_INSTANTIATE_DB_TEST(ForecastMngrTest);

// The dialogs' own paths: the storage under them is tested on both dialects.
class ForecastDialogTest : public ForecastMngrTest { };
INSTANTIATE_TEST_SUITE_P(SQLite, ForecastDialogTest, ::testing::Values(SqlDialect::SQLite), DialectName);

TEST_P(ForecastDialogTest, ListShowsEveryForecastWithItsStatusImage)
{
    Named(1, QStringLiteral("Прогноз А"), 2025, 1, kOwnForecastOwner, QStringLiteral("Минфин"));
    Named(2, QStringLiteral("Прогноз Б"), 2026, 2, 5, QStringLiteral("ГРБС"));
    CForecastMngrDlg dlg;
    QTreeWidget* list = dlg.list();
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << list->headerItem()->text(c);
    EXPECT_EQ(headers, QStringList({"Статус", "Наименование", "Год", "Владелец прогноза"}));
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const struct {
        QStringList texts;
        int image;
    } expected[] = {{{"Ввод НСИ закрыт", "Прогноз А", "2025", "Минфин"}, 4},
                    {{"Прогноз закрыт", "Прогноз Б", "2026", "ГРБС"}, 2}};
    for (int r = 0; r < 2; ++r) {
        QTreeWidgetItem* item = list->topLevelItem(r);
        QStringList texts;
        for (int c = 0; c < 4; ++c)
            texts << item->text(c);
        EXPECT_EQ(texts, expected[r].texts);
        EXPECT_EQ(item->data(0, Qt::UserRole + 1).toInt(), expected[r].image);
        EXPECT_FALSE(item->icon(0).isNull());
    }
    EXPECT_FALSE(dlg.button(1025)->isEnabled());
    Select(dlg, QStringLiteral("Прогноз Б"));
    EXPECT_TRUE(dlg.button(1026)->isEnabled() && dlg.button(1027)->isEnabled() && dlg.button(1028)->isEnabled());
    list->clearSelection();
    EXPECT_FALSE(dlg.button(1026)->isEnabled() || dlg.button(1027)->isEnabled() || dlg.button(1028)->isEnabled());

    // Every cell shows its text, the selected row's as well.
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    list->setFocus();
    // Clicked as the user does: the row is selected and current, the mouse above it.
    const QPoint onRow = list->visualItemRect(list->topLevelItem(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow);
    QTest::mouseMove(list->viewport(), onRow);
    ASSERT_TRUE(list->topLevelItem(1)->isSelected());
    const QImage shot = list->viewport()->grab().toImage();
    for (int r = 0; r < 2; ++r)
        for (int c = 1; c < 4; ++c) {
            const QRect cell = list->visualItemRect(list->topLevelItem(r))
                & QRect(list->header()->sectionViewportPosition(c), 0, list->columnWidth(c), shot.height());
            EXPECT_GT(TextPixels(shot, cell.adjusted(3, 2, -3, -2)), 10)
                << r << " " << c << (list->topLevelItem(r)->isSelected() ? " selected" : "");
        }

    // A login whose role changes no forecast sees the list only.
    CForecastMngrDlg shown(nullptr, false);
    Select(shown, QStringLiteral("Прогноз Б"));
    EXPECT_FALSE(shown.button(1026)->isEnabled() || shown.button(1027)->isEnabled() || shown.button(1028)->isEnabled());
}

// Each column shows its whole text in a dialog sized from its contents, and a width the user set
// comes back the next time the list opens (after a restart: through the profile).
TEST_P(ForecastDialogTest, ColumnsShowTheirTextsAndKeepTheUsersWidths)
{
    // A name longer than its column is usually wide, within the offscreen screen's 800 pixels.
    Named(1, QStringLiteral("Прогноз на финансовый год"), 2025, 1, kOwnForecastOwner, QStringLiteral("Минфин области"));
    {
        CForecastMngrDlg dlg;
        FitDialogToContents(dlg);
        dlg.show();
        QTreeWidget* list = dlg.list();
        const QFontMetrics metrics(list->font());
        for (int c = 0; c < 4; ++c) {
            EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(list->topLevelItem(0)->text(c))) << c;
            EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(list->headerItem()->text(c))) << c;
        }
        EXPECT_LE(list->header()->length(), list->viewport()->width()) << "no column runs past the list";
        list->header()->resizeSection(1, 421);
    }
    CForecastMngrDlg again;
    EXPECT_EQ(again.list()->columnWidth(1), 421);
    EXPECT_EQ(QSettings(profilePath(), QSettings::IniFormat)
                  .value("8e/Columns")
                  .toStringList()
                  .filter(QStringLiteral("Наименование")),
              QStringList{QStringLiteral("421 Наименование")});
}

// A failure part-way changes nothing and the command can be repeated; then every row of F goes and
// nothing of G.
TEST_P(ForecastMngrTest, DeleteTakesEveryRowOfTheForecastOrNone)
{
    Receiver(0, 1, 1, QStringLiteral("Минфин"));
    Named(1, QStringLiteral("F"), 2025, 0, kOwnForecastOwner);
    Named(2, QStringLiteral("G"), 2026, 0, kOwnForecastOwner);
    Fill(1);
    Fill(2);
    const QStringList before = Counts(1), otherBefore = Counts(2);
    ASSERT_EQ(before.size(), 11) << before.join(u' ').toStdString();
    EXPECT_FALSE(before.contains(QStringLiteral("0"))) << before.join(u' ').toStdString();
    if (isPg()) {
        ExecText("create function no_delete() returns trigger language plpgsql as $$ begin "
                 "raise exception 'products are kept'; end $$");
        ExecText("create trigger no_delete before delete on tclsproduct for each row execute function no_delete()");
    } else {
        ExecText("create trigger no_delete before delete on tclsproduct begin select raise(abort, 'products are "
                 "kept'); end");
    }
    // The whole file, on SQLite: nothing at all may change.
    const auto dump = [&] { return isPg() ? std::optional<QStringList>() : Peer(QStringLiteral(".dump")); };
    const auto dumpBefore = dump();

    CForecastMngrDlg dlg;
    ASSERT_TRUE(Select(dlg, QStringLiteral("F")));
    answers = {IDNO, IDYES};
    dlg.OnDelete();
    dlg.OnDelete();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, kDeleteQuestion);
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(messages[2].flags, unsigned(MB_ICONSTOP));
    EXPECT_TRUE(messages[2].text.startsWith(QStringLiteral("Произошла исключительная ситуация.")));
    EXPECT_TRUE(messages[2].text.contains(QStringLiteral("products are kept")));
    EXPECT_EQ(dump(), dumpBefore);
    EXPECT_EQ(Counts(1), before);
    EXPECT_TRUE(QFile::exists(DocFile(1)));
    EXPECT_EQ(dlg.list()->topLevelItemCount(), 2);

    ExecText(isPg() ? "drop trigger no_delete on tclsproduct" : "drop trigger no_delete");
    answers = {IDYES};
    dlg.OnDelete();
    EXPECT_EQ(messages.size(), 4u) << messages.back().text.toStdString();
    const QStringList after = Counts(1);
    EXPECT_EQ(after.mid(0, 10), QStringList(10, QStringLiteral("0")));
    EXPECT_EQ(after[10], QStringLiteral("1")) << "G's mailing keeps its receiver";
    EXPECT_EQ(Counts(2).mid(0, 10), otherBefore.mid(0, 10));
    EXPECT_FALSE(QFile::exists(DocFile(1)));
    EXPECT_TRUE(QFile::exists(DocFile(2)));
    EXPECT_EQ(dlg.list()->topLevelItemCount(), 1);
    EXPECT_EQ(Count("tclsreceiver"), 1) << "receivers are shared";
}

// On a server only administrators write rights: an expert deletes a forecast nobody has rights on,
// and is refused, with nothing changed, one that somebody has.
class ForecastServerTest : public ForecastMngrTest { };
INSTANTIATE_TEST_SUITE_P(PostgreSQL, ForecastServerTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

TEST_P(ForecastServerTest, AnExpertDeletesOnlyForecastsWithoutRights)
{
    Receiver(0, 1, 1, QStringLiteral("Минфин"));
    Named(1, QStringLiteral("F"), 2025, 0, kOwnForecastOwner);
    Named(2, QStringLiteral("G"), 2026, 0, kOwnForecastOwner);
    Fill(1);
    Fill(2);
    Exec("delete from tfctuserrights where ForecastID = 1");
    const DbConnectParams owner = params();
    const QString login = QStringLiteral("lir_experts_%1").arg(getpid());
    ExecAsAdmin(QStringLiteral("create role %1 login password 'login-secret' in role lir_experts").arg(login));
    ExecAsAdmin(QStringLiteral("grant connect on database %1 to %2").arg(owner.dbName, login));
    DbConnectParams expert = owner;
    expert.host = qEnvironmentVariable("PGTEST_TCPHOST", QStringLiteral("127.0.0.1"));
    expert.user = login;
    expert.password = QStringLiteral("login-secret");
    ASSERT_TRUE(GetDBConnection().ConnectWith(expert));
    EXPECT_TRUE(DeleteForecastWithData(1));
    EXPECT_FALSE(DeleteForecastWithData(2));
    ASSERT_TRUE(GetDBConnection().ConnectWith(owner));
    ExecAsAdmin(QStringLiteral("revoke connect on database %1 from %2").arg(owner.dbName, login));
    ExecAsAdmin(QStringLiteral("drop role %1").arg(login));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tfctprognoz"), 1);
    EXPECT_EQ(Count("tfctprognozdata", "prognoz = 2"), 1);
    EXPECT_EQ(Count("tfctuserrights"), 1);
}

TEST_P(ForecastDialogTest, StatusChangeAsksInOrderAndChecksTheReferenceData)
{
    Named(1, QStringLiteral("Прогноз А"), 2025, 1, kOwnForecastOwner);
    Named(2, QStringLiteral("Прогноз Б"), 2026, 2, 5);
    Product(1, {10, 0, "01", "Продукция", 1, 2, 64});
    Product(1, {11, 10, "01'1", "Бумага", 1, 2, 1, 2.0, 1.0});
    QStringList checkLog;
    auto recorder = SetMessageBoxHandler(nullptr);
    SetMessageBoxHandler(
        [&](const QString& text, unsigned flags, QObject* parent) {
            if (text == kCheckFound && parent)
                if (auto* check = parent->findChild<CExportNSIDlg*>())
                    checkLog = check->LogLines() << check->windowTitle();
            return recorder(text, flags, parent);
        },
        true);

    struct Case {
        const char* forecast;
        int to;
        std::deque<int> answers;
        QStringList questions;
        int status; // stored afterwards
    };
    const Case cases[] = {
        {"Прогноз Б", 0, {}, {kOnlyOwnToProject}, 2},
        {"Прогноз А", 0, {IDYES}, {kToProject}, 0},
        {"Прогноз А", 1, {IDYES, IDYES, IDNO}, {kNsiDone, kCheckFirst, kCheckFound}, 0},
        {"Прогноз А", 1, {IDYES, IDYES, IDYES}, {kNsiDone, kCheckFirst, kCheckFound}, 1},
        {"Прогноз А", 2, {IDYES}, {kCloseForecast}, 2},
        {"Прогноз А", 1, {IDNO}, {kBackToEditing}, 2},
        {"Прогноз А", 1, {IDYES}, {kBackToEditing}, 1},
    };
    DialogScript script;
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 to %2").arg(c.forecast).arg(c.to).toStdString());
        CForecastMngrDlg dlg;
        Select(dlg, QString::fromUtf8(c.forecast));
        script.onDialog = [&](QDialog& d) {
            auto* status = qobject_cast<CForecastStatusDlg*>(&d);
            EXPECT_TRUE(status);
            if (!status)
                return int(QDialog::Rejected);
            status->statusBox()->setCurrentIndex(c.to);
            status->accept();
            return int(QDialog::Accepted);
        };
        messages.clear();
        checkLog.clear();
        answers = c.answers;
        dlg.OnStatus();
        EXPECT_EQ(Texts(messages), c.questions);
        if (c.questions.contains(kCheckFound)) {
            EXPECT_TRUE(checkLog.join(u'\n').contains(
                QStringLiteral("Минимальное разрешенное отклонение не может быть больше максимального!")));
            EXPECT_EQ(checkLog.value(checkLog.size() - 1), kCheckTitle);
            EXPECT_FALSE(dlg.findChild<CExportNSIDlg*>()) << "the check window is gone";
        }
        const auto name = QString::fromUtf8(c.forecast);
        EXPECT_EQ(Scalar("select status from tfctprognoz where name = ?", {name}).toInt(), c.status);
        EXPECT_EQ(dlg.list()->findItems(name, Qt::MatchExactly, 1).front()->text(0), GetForecastStatusName(c.status));
    }
    EXPECT_EQ(messages.empty() ? 0u : messages.front().flags, unsigned(MB_YESNO | MB_ICONQUESTION));
}

TEST_P(ForecastDialogTest, PropertiesStoreOnlyTheRecord)
{
    Named(1, QStringLiteral("Прогноз А"), 0, 0, kOwnForecastOwner, QStringLiteral("Минфин"));
    Named(2, QStringLiteral("Прогноз Б"), 2026, 0, 5);
    Receiver(2, 1, 1, QStringLiteral("Минфин"));
    DialogScript script;
    CForecastMngrDlg dlg;
    Select(dlg, QStringLiteral("Прогноз А"));
    QStringList opened;
    script.onDialog = [&](QDialog& d) {
        auto& props = dynamic_cast<CForecastPropDlg&>(d);
        opened << props.yearEdit()->text();
        EXPECT_FALSE(props.copyBox()->isEnabled()) << "editing never copies";
        EXPECT_FALSE(props.findChild<QLineEdit*>("id1086")->isEnabled());
        props.yearEdit()->clear();
        props.accept();
        props.nameEdit()->clear();
        props.yearSpin()->setValue(2031);
        props.accept();
        props.nameEdit()->setText(QStringLiteral("Новое имя"));
        props.accept();
        return props.result();
    };
    dlg.OnEdit();
    EXPECT_EQ(opened, QStringList{QString::number(QDate::currentDate().year())});
    EXPECT_EQ(Texts(messages), QStringList({kYearEmpty, kNameEmpty}));
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONINFORMATION));
    PEER_ROWS(rows, "select name, year, ownerName from tfctprognoz order by id");
    EXPECT_EQ(*rows, QStringList({"Новое имя|2031|Минфин", "Прогноз Б|2026|"}));
    EXPECT_EQ(Count("tclsreceivermap"), 1);
    EXPECT_EQ(Count("tclsproduct"), 0);

    // A new record: the copy box, when a forecast exists, enables the two combos.
    CForecastRecord fresh;
    CForecastPropDlg props(fresh);
    QStringList modes;
    for (int i = 0; i < props.modeBox()->count(); ++i)
        modes << props.modeBox()->itemText(i);
    EXPECT_EQ(modes, QStringList({kCopyModes[0], kCopyModes[1], kCopyModes[2]}));
    EXPECT_EQ(props.sourceBox()->itemText(1), QStringLiteral("Прогноз Б (2026 год)"));
    ASSERT_TRUE(props.copyBox()->isEnabled());
    EXPECT_FALSE(props.modeBox()->isEnabled());
    props.copyBox()->click();
    EXPECT_TRUE(props.modeBox()->isEnabled() && props.sourceBox()->isEnabled());
    // The year edit takes four digits at most.
    props.yearEdit()->clear();
    QTest::keyClicks(props.yearEdit(), QStringLiteral("20x261"));
    EXPECT_EQ(props.yearEdit()->text(), QStringLiteral("2026"));

    // Created with the copy flags of the chosen mode: receivers only.
    CForecastMngrDlg manager;
    script.onDialog = [&](QDialog& d) {
        auto& p = dynamic_cast<CForecastPropDlg&>(d);
        p.nameEdit()->setText(QStringLiteral("Копия"));
        p.copyBox()->click();
        p.sourceBox()->setCurrentIndex(1);
        p.accept();
        return p.result();
    };
    manager.OnAdd();
    EXPECT_EQ(Count("tclsreceivermap", "prognoz = 3"), 1);
    EXPECT_EQ(Count("tclsproduct", "prognoz = 3"), 1) << "its own root product";
    EXPECT_EQ(manager.list()->topLevelItemCount(), 3);
}

TEST_P(ForecastDialogTest, SelectionDialogs)
{
    {
        CSelectForecastDlg empty(-1);
        EXPECT_FALSE(empty.okButton()->isEnabled());
    }
    Named(1, QStringLiteral("Прогноз А"), 2025, 1, kOwnForecastOwner);
    Named(2, QStringLiteral("Прогноз Б"), 2026, 2, 5);
    Named(3, QStringLiteral("Прогноз В"), 2027, 0, 5);

    CSelectForecastDlg copy(2);
    QComboBox* box = copy.forecastBox();
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(0), QStringLiteral("Прогноз А (2025 год)"));
    EXPECT_EQ(box->itemText(1), QStringLiteral("Прогноз В (2027 год)"));
    auto* mode = copy.findChild<QComboBox*>("id1088");
    EXPECT_FALSE(mode->isEnabled());
    EXPECT_EQ(mode->currentText(), kCopyModes[0]);
    for (const char* id : {"id1006", "id1118"})
        EXPECT_FALSE(copy.findChild<QWidget*>(id)->isEnabled());
    box->setCurrentIndex(1);
    copy.accept();
    EXPECT_EQ(copy.sourceForecast, 3);
    EXPECT_EQ(copy.copyMode, 0);

    CSelectMultiForecast multi;
    multi.accept();
    EXPECT_EQ(Texts(messages), QStringList{kSelectOne});
    EXPECT_EQ(messages[0].flags, unsigned(MB_ICONEXCLAMATION));
    EXPECT_EQ(multi.result(), 0);
    multi.list()->topLevelItem(2)->setSelected(true);
    multi.list()->topLevelItem(0)->setSelected(true);
    multi.accept();
    EXPECT_EQ(multi.selectedIds, (std::vector<int>{1, 3}));
    EXPECT_EQ(multi.result(), int(QDialog::Accepted));
}
