#include "BookFrames.h"
#include "BookTestSupport.h"
#include "CommandIds.h"
#include "DirectoryFilterDlg.h"
#include "Session.h"
#include "tables/SystemUsers.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcessEnvironment>
#include <QSplitter>
#include <QTimer>

#include <memory>

using namespace DirectoryTexts;

namespace {

class BookFrameTest : public ShellDbTest {
protected:
    void TearDown() override
    {
        frame.reset();
        ShellDbTest::TearDown();
    }

    template <class Frame>
    Frame* Make(const CDirectoryFlags& flags)
    {
        auto* f = new Frame(session, flags);
        frame.reset(f);
        frame->resize(800, 400);
        frame->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        QApplication::setActiveWindow(frame.get());
        return f;
    }

    // The journal of forecast 1 with the list fields of the journal frame.
    JournalFrame* MakeJournal()
    {
        auto* f = Make<JournalFrame>(CDirectoryFlags{false, false, true, true, false, false, true});
        f->AddFilterField("Организация", "r.name", FF_TEXT, true, 200);
        f->AddFilterField("Событие", "t.name", FF_TEXT, true, 200);
        f->AddFilterField("Дата отправки", "send", FF_DATE, true, 100);
        f->InitListColumns();
        return f;
    }

    // ГРБС (10) > Элемент 1 (14), Группа Б (12), Группа А (11) > Подгруппа (13) > Элемент 3 (16),
    // and Элемент 2 (15) in Группа А.
    ReceiverGroupsFrame* MakeGroups(CDirectoryFlags flags = {true, true, true, false, true, false, true})
    {
        Forecast(1, "Прогноз", 2012);
        const struct {
            int id, category, position, isgroup;
            const char16_t* name;
        } rows[] = {{10, 0, 0, 1, u"ГРБС"},       {11, 10, 3, 1, u"Группа А"},  {12, 10, 2, 1, u"Группа Б"},
                    {13, 11, 1, 1, u"Подгруппа"}, {14, 10, 1, 0, u"Элемент 1"}, {15, 11, 2, 0, u"Элемент 2"},
                    {16, 13, 1, 0, u"Элемент 3"}};
        for (const auto& r : rows) {
            Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                 "values (?, ?, ?, ?, 0, 1, ?)",
                 {r.id, r.category, QString::fromUtf16(r.name), r.position, r.isgroup});
            Exec("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (1, ?, 0)", {r.id});
        }
        session.currentForecastId = 1;
        auto* f = Make<ReceiverGroupsFrame>(flags);
        f->AddFilterField("Наименование", "name", FF_TEXT, true, 300);
        f->InitListColumns();
        return f;
    }

    QStringList Rows(const CReportView* list) const
    {
        QStringList out;
        for (int r = 0; r < list->GetItemCount(); ++r)
            out << list->GetItemText(r, 0);
        return out;
    }
    QList<int> RowIds(const CReportView* list) const
    {
        QList<int> out;
        for (int r = 0; r < list->GetItemCount(); ++r)
            out << list->GetItemData(r);
        return out;
    }

    // The ids that the database's own client selects with a statement written by hand.
    std::optional<QList<int>> IdsByHand(const QString& sql)
    {
        PeerRun run;
        if (isPg()) {
            if (!HaveProgram("psql"))
                return std::nullopt;
            run = RunPeer("psql", {"-X", "-At", "-v", "ON_ERROR_STOP=1", "-d", params().dbName, "-c", sql});
        } else {
            if (!HaveProgram("sqlite3"))
                return std::nullopt;
            run = RunPeer("sqlite3", {params().file, sql});
        }
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        QList<int> ids;
        for (const QString& line : run.output.split(u'\n', Qt::SkipEmptyParts))
            ids << line.trimmed().toInt();
        return ids;
    }

    bool Enabled(int id) { return UpdateCommand(*frame, id).enabled(); }
    void Run(int id) { frame->OnCmdMsg(id, CmdMsg::Execute, nullptr); }

    CSessionState session;
    std::unique_ptr<CDirectoryFrame> frame;
    BookHook hook;
};

// Steps a combo to the entry with the arrow keys, as a user does.
void Choose(QComboBox* combo, const QString& text)
{
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    while (combo->currentIndex() != index)
        QTest::keyClick(combo, index > combo->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
}

void ClickField(CDirectoryFilterDlg& dlg, const QString& caption)
{
    QListWidget* list = dlg.fieldList();
    const auto found = list->findItems(caption, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << caption.toStdString();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.front()).center());
}

} // namespace

TEST_P(BookFrameTest, FilterBindsEachKindAndMatchesWhatTheDatabaseClientSelects)
{
    Forecast(1, "Прогноз", 2010);
    session.currentForecastId = 1;
    Exec("insert into tclsimporteventtype (id, name) values (1, 'Получено'), (2, 'Отправлено')");
    const char16_t* names[] = {u"Минздрав", u"минфин", u"Управление мин", u"O'Brien", u"50% скидка", u"505 скидка",
                               u"a_b",      u"axb"};
    for (int i = 0; i < 8; ++i)
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (?, 0, ?, 0, 0, 1, 0)",
             {i + 1, QString::fromUtf16(names[i])});
    const struct {
        int id, receiver;
        const char* send;
    } journal[] = {{1, 1, "2010-03-14 23:59:59"},  {2, 1, "2010-03-15 00:00:00"}, {3, 2, "2010-03-15 23:59:59"},
                   {4, 2, "2010-03-16 00:00:00"},  {5, 3, "2010-03-15 12:00:00"}, {6, 1, "2010-03-01 08:00:00"},
                   {7, 4, "2011-01-01 00:00:00"},  {8, 5, "2011-01-01 00:00:00"}, {9, 6, "2011-01-01 00:00:00"},
                   {10, 7, "2011-01-01 00:00:00"}, {11, 8, "2011-01-01 00:00:00"}};
    for (const auto& j : journal)
        Exec("insert into tfctimportstatus (id, prognoz, receiver, send, comment, envelope, event) "
             "values (?, 1, ?, ?, '', '', 2)",
             {j.id, j.receiver, QString::fromLatin1(j.send)});
    JournalFrame* f = MakeJournal();
    ASSERT_EQ(f->list()->GetItemCount(), 11);

    const QString join = "select i.id from tfctimportstatus i join tclsreceiver r on r.id = i.receiver where ";
    const struct {
        const char* what;
        const char16_t* name; // empty: no condition on the name
        const char* nameOperator;
        int sendOperator; // 0: no condition on the date
        QString byHand;
    } cases[] = {
        {"name starts with, sent from the day on", u"мин", "начинается с", 4,
         join + "(r.name like 'мин%' or r.name like 'Мин%') and i.send >= '2010-03-15 00:00:00' order by i.id"},
        {"sent on the day", u"", "", 1,
         join + "i.send >= '2010-03-15 00:00:00' and i.send < '2010-03-16 00:00:00' order by i.id"},
        {"sent on another day", u"", "", 6,
         join + "(i.send < '2010-03-15 00:00:00' or i.send >= '2010-03-16 00:00:00') order by i.id"},
        {"apostrophe", u"O'Brien", "содержит", 0, join + "r.name like '%O''Brien%' order by i.id"},
        {"percent", u"50%", "содержит", 0, join + "r.name like '%50\\%%' escape '\\' order by i.id"},
        {"underscore", u"a_b", "заканчивается", 0, join + "r.name like '%a\\_b' escape '\\' order by i.id"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hook.onDialog = [&](QDialog& d) {
            auto& dlg = static_cast<CDirectoryFilterDlg&>(d);
            dlg.show();
            QTest::mouseClick(dlg.findChild<QPushButton*>("id1132"), Qt::LeftButton);
            ClickField(dlg, "Организация");
            TypeText(dlg.valueEdit(), QString::fromUtf16(c.name));
            if (*c.nameOperator)
                Choose(dlg.operatorBox(), QString::fromUtf8(c.nameOperator));
            ClickField(dlg, "Дата отправки");
            if (c.sendOperator) {
                EXPECT_TRUE(dlg.valueEdit()->isReadOnly());
                dlg.datePicker()->setDate(QDate(2010, 3, 1));
                dlg.datePicker()->setDate(QDate(2010, 3, 15));
                Choose(dlg.operatorBox(), QStringList{"", "=", ">", "<", ">=", "<=", "<>"}[c.sendOperator]);
                EXPECT_EQ(dlg.valueEdit()->text(), "15/03/2010");
            }
            QTest::mouseClick(dlg.findChild<QPushButton*>("id1"), Qt::LeftButton);
            return dlg.result();
        };
        Run(ID_BOOK_FILTER);
        ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
        EXPECT_TRUE(UpdateCommand(*f, ID_BOOK_FILTER).checked());
        const auto expected = IdsByHand(c.byHand);
        if (!expected)
            GTEST_SKIP() << "the database's command-line client is not installed";
        EXPECT_EQ(RowIds(f->list()), *expected);
        EXPECT_FALSE(expected->isEmpty());
    }
    EXPECT_EQ(RowIds(f->list()), QList<int>({10}));

    // A unit field lists the units of the database after an empty entry.
    Exec("insert into tclsmeasurement (id, name, type) values (2, 'штука', 1), (1, 'тонна', 1), (3, 'рубль', 2)");
    CFilterFieldList fields(1);
    fields[0] = CFilterField{"Единица старая", "base", "", true, 200, FF_REFERENCE, 7, "tClsMeasurement", "name"};
    CDirectoryFilterDlg dlg(fields);
    dlg.show();
    ClickField(dlg, "Единица старая");
    QStringList entries;
    for (int i = 0; i < dlg.operatorBox()->count(); ++i)
        entries << dlg.operatorBox()->itemText(i);
    QStringList units{""};
    for (int id : IdsByHand("select id from tclsmeasurement order by id").value_or(QList<int>{1, 2, 3}))
        units << Scalar("select name from tclsmeasurement where id = ?", {id}).toString();
    EXPECT_EQ(entries, units);
    Choose(dlg.operatorBox(), "штука");
    EXPECT_EQ(dlg.valueEdit()->text(), "2");
}

TEST_P(BookFrameTest, NumbersYesNoAndReferencesAreBoundByTheirKind)
{
    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 1), (2, 'кг', 1), (3, 'т', 1)");
    Exec("insert into tclsmconvert (id, base, produce, koef) values (1, 1, 2, 12.5), (2, 2, 1, 0.08), (3, 1, 3, 1000)");
    const struct {
        int kind;
        const char* column;
        const char* value;
        int op;
        QList<int> ids;
    } cases[] = {
        {FF_DECIMAL, "koef", "12,5", FO_EQUAL, {1}},
        {FF_DECIMAL, "koef", "12.5", FO_GREATER_EQUAL, {1, 3}},
        {FF_DECIMAL, "koef", "1000", FO_NOT_EQUAL, {1, 2}},
        {FF_INTEGER, "id", "1", FO_GREATER, {2, 3}},
        {FF_REFERENCE, "base", "1", FO_EQUAL, {1, 3}},
        {FF_YESNO, "(base - 1)", "Да", FO_YES, {2}},
        {FF_YESNO, "(base - 1)", "Нет", FO_NO, {1, 3}},
        {FF_TEXT, "koef", "", FO_CONTAINS, {1, 2, 3}},
        // No number: the field sets no condition.
        {FF_DECIMAL, "koef", "nan", FO_EQUAL, {1, 2, 3}},
        {FF_DECIMAL, "koef", "inf", FO_GREATER_EQUAL, {1, 2, 3}},
        {FF_DECIMAL, "koef", "-inf", FO_LESS_EQUAL, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        CFilterFieldList fields(1);
        fields[0] = CFilterField{"", c.column, QString::fromUtf8(c.value), true, 100, c.kind, c.op, "", ""};
        const SqlFilter filter = FilterCondition(fields);
        CSqlQuery q(filter.apply("select id from tclsmconvert", "id"));
        q.bindAll(filter.args);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        QList<int> ids;
        while (q.next())
            ids << q.value(0).toInt();
        EXPECT_EQ(ids, c.ids) << c.column << ' ' << c.value;
    }
    // The list shows the digits the column holds, not those of the value's binary fraction.
    Exec("insert into tclsmconvert (id, base, produce, koef) values (4, 3, 1, 12345678901234.57)");
    CConvertFrame convert(session);
    CReportView view;
    for (int c = 0; c < 3; ++c)
        view.InsertColumn(c, QString());
    convert.FillList(&view, 1, SqlFilter());
    QStringList koefs;
    for (int r = 0; r < view.GetItemCount(); ++r)
        koefs << view.GetItemText(r, 2);
    EXPECT_EQ(koefs, QStringList({"12.5", "0.08", "1000", "12345678901234.57"}));
    // Value lists come only from the program's own tables and columns.
    EXPECT_TRUE(FilterLookupEntries("tclsreceiver", "name").empty());
    EXPECT_EQ(FilterLookupEntries("receiver", "type").size(), 4u);
}

TEST_P(BookFrameTest, CommandRulesFollowFlagsRightsStatusAndPane)
{
    ReceiverGroupsFrame* f = MakeGroups({true, true, true, true, true, false, true});
    EXPECT_EQ(f->tree()->width(), 200);
    const auto tree = f->tree();
    const int always[] = {ID_BOOK_VIEW, ID_BOOK_FILTER, ID_BOOK_REFRESH, ID_BOOK_DEFAULT_SORT};
    const int changes[] = {ID_BOOK_ADD_GROUP, ID_BOOK_ADD_ELEMENT, ID_BOOK_EDIT, ID_BOOK_DELETE};

    f->list()->setFocus();
    f->list()->SelectRow(0);
    ASSERT_EQ(f->activePane(), CDirectoryFrame::PaneList);
    for (int id : changes)
        EXPECT_FALSE(Enabled(id)) << id << " read-only";
    for (int id : always)
        EXPECT_TRUE(Enabled(id)) << id << " read-only";
    EXPECT_FALSE(Enabled(ID_BOOK_MOVE_UP));

    const struct {
        const char* what;
        int status;
        bool editableWhenClosed;
        const char* user;
        int roles;
        QList<int> on, off;
        int lacking; // the roles the commands that are off name: the status alone names none
    } cases[] = {
        {"draft", 0, false, "", 0, {ID_BOOK_ADD_ELEMENT, ID_BOOK_EDIT, ID_BOOK_DELETE}, {}, 0},
        {"closed", 1, false, "", 0, {ID_BOOK_VIEW}, {ID_BOOK_ADD_ELEMENT, ID_BOOK_EDIT}, 0},
        {"closed, editable when closed", 1, true, "", 0, {ID_BOOK_ADD_ELEMENT, ID_BOOK_EDIT}, {}, 0},
        {"administrator only",
         0,
         false,
         "u",
         1,
         {ID_BOOK_REFRESH},
         {ID_BOOK_VIEW, ID_BOOK_FILTER, ID_BOOK_EDIT},
         ROLE_EXPERT | ROLE_USER},
        {"expert", 0, false, "u", 2, {ID_BOOK_VIEW, ID_BOOK_FILTER, ID_BOOK_EDIT}, {}, 0},
    };
    f->SetReadOnly(false);
    for (const auto& c : cases) {
        Exec("update tfctprognoz set status = ? where id = 1", {c.status});
        f->editableWhenClosed = c.editableWhenClosed;
        session.userName = c.user;
        session.userRoles = c.roles;
        for (int id : c.on)
            EXPECT_TRUE(Enabled(id)) << c.what << ' ' << id;
        for (int id : c.off) {
            EXPECT_FALSE(Enabled(id)) << c.what << ' ' << id;
            EXPECT_EQ(UpdateCommand(*frame, id).lackingRoles(), c.lacking) << c.what << ' ' << id;
        }
    }
    session.userName.clear();
    Exec("update tfctprognoz set status = 0 where id = 1");

    // On the tree, the top group cannot be deleted; a group below it can.
    tree->setFocus();
    ASSERT_EQ(f->activePane(), CDirectoryFrame::PaneTree);
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_TRUE(Enabled(ID_BOOK_EDIT));
    EXPECT_FALSE(Enabled(ID_BOOK_DELETE));
    tree->setCurrentItem(ItemNamed(tree, "Группа А"));
    EXPECT_TRUE(Enabled(ID_BOOK_DELETE));
    answers = {IDNO};
    QTest::keyClick(tree, Qt::Key_Delete);

    // On the list, an element and a group row each ask their question.
    f->list()->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0));
    answers = {IDYES, IDYES};
    for (int row : {0, 1}) {
        f->list()->SelectRow(row);
        QTest::keyClick(f->list(), Qt::Key_Delete);
    }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, kDeleteGroup);
    EXPECT_EQ(messages[1].text, kDeleteElement);
    EXPECT_EQ(messages[1].text, "Удаление элемента справочника.\nПродолжить?");
    EXPECT_EQ(messages[2].text,
              "Удаление группы из справочника.\nВсе вложенные группы и данные будут удалены!\nПродолжить?");
    EXPECT_EQ(messages[2].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(f->calls, QStringList({"delete 14", "delete group 12"}));
}

TEST_P(BookFrameTest, GroupRowsOpenWithEnterAndRowsDropOnGroups)
{
    ReceiverGroupsFrame* f = MakeGroups();
    CReportView* list = f->list();
    CDirectoryTreeView* tree = f->tree();
    list->setFocus();
    ASSERT_EQ(Rows(list), QStringList({"Элемент 1", "Группа Б", "Группа А"}));

    // Enter on a group row opens the group; the second level is loaded on the way.
    const struct {
        int row; // -1: Ctrl+Backspace
        const char* group;
        QStringList rows;
        int selected;
    } steps[] = {
        {2, "Группа А", {"Подгруппа", "Элемент 2"}, 0},
        {0, "Подгруппа", {"Элемент 3"}, 0},
        {-1, "Группа А", {"Подгруппа", "Элемент 2"}, 0},
        {1, "Группа А", {"Подгруппа", "Элемент 2"}, 1}, // an element row opens its card
        {-1, "ГРБС", {"Элемент 1", "Группа Б", "Группа А"}, 2},
    };
    for (const auto& s : steps) {
        if (s.row >= 0) {
            list->SelectRow(s.row);
            QTest::keyClick(list, Qt::Key_Return);
        } else {
            QTest::keyClick(list, Qt::Key_Backspace, Qt::ControlModifier);
        }
        EXPECT_EQ(tree->currentItem()->text(0), s.group) << s.row;
        EXPECT_EQ(Rows(list), s.rows) << s.group;
        EXPECT_EQ(list->GetSelectedRow(), s.selected) << s.group;
    }
    EXPECT_EQ(f->calls, QStringList({"view 15 in 11"}));
    f->calls.clear();

    // Drags: onto an element row, or a group onto its own parent, nothing is offered; onto a group row
    // or a group of the tree the user is asked, and the row goes.
    auto treePoint = [&](const char* name) {
        return list->viewport()->mapFromGlobal(
            tree->viewport()->mapToGlobal(tree->visualItemRect(ItemNamed(tree, name)).center()));
    };
    const struct {
        int from;
        int toRow;          // -1: onto the tree item
        const char* toItem; // of the tree
        Qt::CursorShape cursor;
        QString call;
        QStringList rows;
    } drags[] = {
        {1, 0, nullptr, Qt::ForbiddenCursor, {}, {"Элемент 1", "Группа Б", "Группа А"}},
        {0, 2, nullptr, Qt::DragMoveCursor, "move 14 to 11", {"Группа Б", "Группа А"}},
        {1, -1, "ГРБС", Qt::ForbiddenCursor, {}, {"Группа Б", "Группа А"}},
        {0, -1, "Группа А", Qt::DragMoveCursor, "move 12 to 11", {"Группа А"}},
    };
    answers = {IDYES, IDYES};
    for (const auto& d : drags) {
        const QPoint start = RowPoint(list, d.from);
        const QPoint to = d.toRow >= 0 ? RowPoint(list, d.toRow) : treePoint(d.toItem);
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, start);
        QTest::mouseMove(list->viewport(), start + QPoint(12, 0));
        ASSERT_TRUE(list->isDragging());
        QTest::mouseMove(list->viewport(), to);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), d.cursor) << d.from << ' ' << d.toRow;
        const QPoint image = list->dragImage()->mapToGlobal(QPoint(0, 0));
        EXPECT_EQ(list->viewport()->mapToGlobal(to) - image, QPoint(15, 15));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, to);
        EXPECT_FALSE(list->isDragging());
        EXPECT_EQ(f->calls.value(0), d.call);
        EXPECT_EQ(Rows(list), d.rows);
        f->calls.clear();
    }
    // The group's branch went with it in the tree.
    EXPECT_EQ(ItemNamed(tree, "Группа Б")->parent(), ItemNamed(tree, "Группа А"));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Переместить запись?");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_P(BookFrameTest, ContextMenuOffersWhatTheBookHas)
{
    Forecast(1, "Прогноз", 2012);
    session.currentForecastId = 1;
    const struct {
        bool editable, hasDocument;
        bool showsDocument, showsEdit;
    } cases[] = {{true, true, true, true}, {false, true, true, false}, {true, false, false, true}};
    for (const auto& c : cases) {
        CDirectoryFlags flags{false, false, true, true, false, c.hasDocument, c.editable};
        JournalFrame* f = Make<JournalFrame>(flags);
        QStringList shown;
        QTimer::singleShot(0, [&shown] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_TRUE(menu);
            for (QAction* a : menu->actions())
                shown << (a->isSeparator() ? QString("-") : a->text());
            menu->close();
        });
        QTest::mouseClick(f->list()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
        EXPECT_EQ(shown.contains("Сохранить документ..."), c.showsDocument);
        EXPECT_EQ(shown.contains("&Редактировать..."), c.showsEdit);
        EXPECT_EQ(shown.first(), "Добавить &группу...");
        EXPECT_EQ(shown.last(), "Обновить");
        EXPECT_EQ(shown.count("-"), 4);
    }
}

LIR_INSTANTIATE_DB_TEST(BookFrameTest);
