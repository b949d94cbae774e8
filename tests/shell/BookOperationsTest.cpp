#include "AvPricesDlg.h"
#include "BookDialogs.h"
#include "BookFrames.h"
#include "BookTestSupport.h"
#include "CommandIds.h"
#include "DirectoryDialogs.h"
#include "DirectoryFilterDlg.h"
#include "JournalItemDlg.h"
#include "OpJournalExport.h"
#include "PrefDialog.h"
#include "SendDataDlg.h"
#include "Settings.h"
#include "TextUtils.h"
#include "UsersDlg.h"
#include "tables/ImportEventTypes.h"
#include "tables/Products.h"

#include "plugins/StubTransport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <tuple>

using namespace BookTexts;

namespace {

class BookOperationsTest : public ShellDbTest {
protected:
    void TearDown() override
    {
        frame.reset();
        bar.reset();
        ShellDbTest::TearDown();
    }

    // Forecast 1: ГРБС (10) > Группа А (11) > Подгруппа (13) > Лист % 3 (16); Элемент 1 (14) under
    // the top; Импорт (12) a group imported from elsewhere.
    void SeedReceivers()
    {
        Forecast(1, "Прогноз", 2012);
        Receiver(10, 0, "ГРБС", 0, 1, 1);
        Receiver(11, 10, "Группа А", 0, 1, 1);
        Receiver(12, 10, "Импорт", 7, 1, 1);
        Receiver(13, 11, "Подгруппа", 0, 1, 1);
        Receiver(14, 10, "Элемент 1", 0, 0, 1);
        Receiver(16, 13, "Лист % 3", 0, 0, 1);
        session.currentForecastId = 1;
        session.currentForecastStatus = 0;
        session.ownReceiverId = 14;
    }

    // The frame inside a window with the forecast bar's search box.
    // The window with the search box, its layout ready for the frames.
    QVBoxLayout* MakeBar()
    {
        bar = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(bar.get());
        search = new QComboBox(bar.get());
        search->setEditable(true);
        search->setObjectName(QStringLiteral("id%1").arg(ID_SEARCH_TEXT));
        layout->addWidget(search);
        return layout;
    }

    template <class Frame>
    Frame* Show()
    {
        QVBoxLayout* layout = MakeBar();
        auto* f = new Frame(session, bar.get());
        layout->addWidget(f);
        frame.reset();
        bar->resize(900, 500);
        bar->show();
        f->show();
        f->AddFilterField("Наименование", "name", FF_TEXT, true, 300);
        f->InitListColumns();
        return f;
    }

    QStringList Texts() const
    {
        QStringList out;
        for (const RecordedMessage& m : messages)
            out << m.text;
        return out;
    }

    CSessionState session;
    std::unique_ptr<QWidget> bar;
    std::unique_ptr<CDirectoryFrame> frame;
    QComboBox* search = nullptr;
    BookHook hook;
};

} // namespace

TEST_P(BookOperationsTest, ReceiverEditingRulesKeepTheTreeWhole)
{
    SeedReceivers();
    auto* f = Show<CReceiverFrame>();
    QString name;
    int id = -1;
    f->EditItem(-1, 0, false, &name, &id);
    f->EditItem(12, 10, true, &name, &id);
    EXPECT_FALSE(f->DeleteGroup(12));
    EXPECT_EQ(Texts(), QStringList({kOneRoot, kNoEditRights, kNoDeleteRights}));
    EXPECT_FALSE(f->CanEditTreeItem(f->tree()->FindItemByData(12))) << "imported";

    // With data below the group nothing goes; without, the whole subtree leaves the forecast.
    messages.clear();
    Exec("insert into tfctimportstatus (id, prognoz, receiver, event) values (1, 1, 16, null)");
    EXPECT_FALSE(f->DeleteGroup(11));
    EXPECT_EQ(Texts(), QStringList({kGroupInUse}));
    EXPECT_EQ(Count("tclsreceivermap", "prognoz = 1"), 6);
    Exec("delete from tfctimportstatus");
    EXPECT_TRUE(f->DeleteGroup(11));
    EXPECT_EQ(Count("tclsreceivermap", "prognoz = 1 and receiver in (11, 13, 16)"), 0);
    EXPECT_EQ(Count("tclsreceivermap", "prognoz = 1"), 3);

    // A row dropped on a group takes it as parent and marks the receivers changed.
    session.changeFlags = 0;
    answers = {IDYES};
    EXPECT_EQ(f->OnRowDropOnTree(f->list()->FindRowByData(14), 12), 1);
    EXPECT_EQ(Scalar("select category from tclsreceiver where id = 14").toInt(), 12);
    EXPECT_EQ(session.changeFlags & CHANGE_RECEIVERS, CHANGE_RECEIVERS);
}

TEST_P(BookOperationsTest, SearchFindsRowsLoadsHiddenGroupsAndWrapsOnce)
{
    SeedReceivers();
    Receiver(15, 10, "Элемент 2", 0, 0, 1);
    auto* f = Show<CReceiverFrame>();
    // The top group lists Группа А, Импорт, Элемент 1, Элемент 2.
    search->setEditText("элемент");
    f->OnSearch();
    EXPECT_EQ(f->list()->GetItemText(f->list()->GetSelectedRow(), 0), "Элемент 1");
    f->OnSearch();
    EXPECT_EQ(f->list()->GetItemText(f->list()->GetSelectedRow(), 0), "Элемент 2");
    // From the last row nothing is left: the question comes once, and No ends it.
    answers = {IDNO};
    f->OnSearch();
    EXPECT_EQ(Texts(), QStringList({BookSearchTexts::kWrap}));

    // A match two levels down, in a group never expanded; "%" stands for itself.
    messages.clear();
    f->list()->SelectRow(0);
    search->setEditText("% 3");
    f->OnSearch();
    EXPECT_EQ(CTreeCtrlX::ItemData(f->tree()->currentItem()), 13);
    EXPECT_EQ(f->list()->GetItemText(f->list()->GetSelectedRow(), 0), "Лист % 3");
    search->setEditText("%");
    f->OnSearch();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(f->list()->GetItemText(f->list()->GetSelectedRow(), 0), "Лист % 3");
}

TEST_P(BookOperationsTest, EventJournalNamesOrganisationsAndFiltersNewestFirst)
{
    SeedReceivers();
    SeedImportEventTypes();
    Receiver(20, 10, "Минздрав", 0, 0, 1);
    Receiver(21, 10, "минфин", 0, 0, 1);
    Forecast(2, "Другой", 2013);
    Receiver(99, 0, "Чужой", 0, 0, 2);
    const struct {
        int id, receiver;
        const char* send;
    } rows[] = {{1, 20, "2010-03-14 10:00:00"},
                {2, 21, "2010-03-15 10:00:00"},
                {3, 99, nullptr},
                {4, 14, "2010-03-16 10:00:00"}};
    for (const auto& r : rows)
        Exec("insert into tfctimportstatus (id, prognoz, receiver, send, event) values (?, 1, ?, ?, 2)",
             {r.id, r.receiver, r.send ? QVariant(QString(r.send)) : QVariant()});
    Exec(
        "insert into tfctopjournal (id, UserID, Date, Text, Type) values (1, '', '2010-03-14 10:00:00', 'Система', 1)");

    bar = std::make_unique<QWidget>();
    auto* f = new CEventJrnFrame(session, bar.get());
    const std::pair<const char*, int> fields[] = {
        {"r.name", FF_TEXT}, {"t.name", FF_TEXT}, {"send", FF_DATE}, {"received", FF_DATE}, {"comment", FF_TEXT}};
    for (const auto& [column, kind] : fields)
        f->AddFilterField(column, column, kind, true, 100);
    f->InitListColumns();
    CReportView* list = f->list();
    ASSERT_EQ(list->GetItemCount(), 4);
    const int unknown = list->FindRowByData(3);
    EXPECT_EQ(list->GetItemText(unknown, 0), kUnknownOrganisation);
    EXPECT_EQ(list->GetItemText(unknown, 2), "");
    EXPECT_EQ(list->GetItemText(list->FindRowByData(2), 2), "15.03.2010 10:00:00");

    f->filterFields()[0].value = "мин";
    SqlFilter filter = FilterCondition(f->filterFields());
    list->DeleteAllItems();
    f->FillList(list, 2, filter);
    ASSERT_EQ(list->GetItemCount(), 2);
    EXPECT_EQ(list->GetItemText(0, 0), "минфин");
    EXPECT_EQ(list->GetItemText(1, 0), "Минздрав");

    f->FillList(list, 1, {});
    EXPECT_EQ(list->GetColumnCount(), 2);
    EXPECT_EQ(list->GetItemText(0, 1), "Система");
}

// The books that grow without bound read their rows from the database as the list shows them. Each
// holds more rows than one read brings: the first screen, End, a sort by a header, the filter and the
// search (which finds a row never read) go through the database, and Enter on that far row opens it.
TEST_P(BookOperationsTest, LongBooksReadTheScreenTheyShowFromTheDatabase)
{
    SeedReceivers();
    SeedImportEventTypes();
    Forecast(2, "Другой", 2013);
    const QDateTime base(QDate(2026, 3, 14), QTime(0, 0));
    // The order of the lists: by a value (none first), ties by the id, or all of it backwards.
    const auto ordered = [](std::vector<std::pair<QVariant, int>> rows, bool ascending) {
        std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
            const auto key = [](const auto& r) {
                return std::tuple(!r.first.isNull(), r.first.toString().toUtf8(), r.second);
            };
            return ascending ? key(a) < key(b) : key(b) < key(a);
        });
        std::vector<int> ids;
        for (const auto& r : rows)
            ids.push_back(r.second);
        return ids;
    };
    std::vector<std::pair<QVariant, int>> bySend, byOrganisation, byLine, byText, byDate, bySubject;
    {
        CTransaction tx;
        // The exchange journal: every fiftieth a receipt without a send date.
        for (int i = 1; i <= 700; ++i) {
            const QVariant send = i % 50 ? QVariant(base.addSecs(60 * i).toString("yyyy-MM-dd HH:mm:ss")) : QVariant();
            Exec("insert into tfctimportstatus (id, prognoz, receiver, send, comment, envelope, event) "
                 "values (?, 1, ?, ?, ?, '', ?)",
                 {i, i % 2 ? 16 : 14, send, QStringLiteral("Запись %1").arg(i, 3, 10, QChar(u'0')),
                  send.isNull() ? 1 : 2});
            bySend.emplace_back(send, i);
            byOrganisation.emplace_back(QString::fromUtf8(i % 2 ? "Лист % 3" : "Элемент 1"), i);
        }
        // The system journal, and a trace journal beside it that its list never shows.
        for (int i = 1; i <= 600; ++i) {
            const QString text = QStringLiteral("Строка %1").arg((i * 37) % 600, 3, 10, QChar(u'0'));
            Exec("insert into tfctopjournal (id, UserID, Date, Text, Type) values (?, '', ?, ?, ?)",
                 {i, base.addSecs(i).toString("yyyy-MM-dd HH:mm:ss"), text, i % 3 ? 1 : 0});
            if (i % 3) {
                byLine.emplace_back(QVariant(), i);
                byText.emplace_back(text, i);
            }
        }
        // Mailings of forecast 1 over 37 days, and one of forecast 2.
        for (int i = 1; i <= 400; ++i) {
            const QString subject = QStringLiteral("Тема %1").arg(i, 3, 10, QChar(u'0'));
            Exec("insert into tfctmailing (id, prognoz, Subject, Text, MailingDate) values (?, ?, ?, 'Текст', ?)",
                 {i, i == 400 ? 2 : 1, subject, base.addDays(i % 37).toString("yyyy-MM-dd HH:mm:ss")});
            if (i != 400) {
                byDate.emplace_back(base.addDays(i % 37).toString("yyyy-MM-dd"), i);
                bySubject.emplace_back(subject, i);
            }
        }
        ASSERT_TRUE(tx.commit());
    }

    QVBoxLayout* layout = MakeBar();
    auto* journal = new CEventJrnFrame(session, bar.get());
    auto* mailings = new CMailingFrame(session, bar.get());
    layout->addWidget(journal);
    layout->addWidget(mailings);
    const std::pair<const char*, int> fields[] = {{"Организация", FF_TEXT},
                                                  {"Событие", FF_TEXT},
                                                  {"Дата отправки", FF_DATE},
                                                  {"Дата получения", FF_DATE},
                                                  {"Примечание", FF_TEXT}};
    const char* columns[] = {"r.name", "t.name", "send", "received", "comment"};
    for (int i = 0; i < 5; ++i)
        journal->AddFilterField(QString::fromUtf8(fields[i].first), columns[i], fields[i].second, true, 100);
    mailings->AddFilterField("Дата рассылки", "mailingdate", FF_DATE, true, 100);
    mailings->AddFilterField("Тема", "subject", FF_TEXT, true, 100);
    mailings->AddFilterField("Текст", "text", FF_TEXT, true, 100);
    bar->resize(900, 700);
    bar->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
    journal->InitListColumns();
    mailings->InitListColumns();

    const auto at = [](const std::vector<int>& ids, const std::vector<int>& rows) {
        std::vector<int> out;
        for (int r : rows)
            out.push_back(r < 0 ? ids[ids.size() + size_t(r)] : ids[size_t(r)]);
        return out;
    };
    const struct {
        const char* what;
        CDirectoryFrame* frame;
        int node; // of the journal's tree
        std::vector<int> ids;
        int sortColumn;
        std::vector<int> sorted; // by that column, ascending
        const char* filterField;
        const char* filterValue;
        std::vector<int> filtered;
        const char* search;
        int found;
        QString shown; // in the dialog that Enter opens on the found row; empty: none opens
    } books[] = {
        {"exchange journal", journal, 2, ordered(bySend, false), 0, ordered(byOrganisation, true), "Организация",
         "лист", ordered({bySend.begin(), bySend.end()}, false), "2026 0:07", 7, "Запись 007"},
        {"system journal",
         journal,
         1,
         ordered(byLine, true),
         1,
         ordered(byText, true),
         nullptr,
         nullptr,
         {},
         "строка 500",
         500,
         {}},
        {"mailings", mailings, -1, ordered(byDate, true), 1, ordered(bySubject, true), "Тема", "тема 0",
         ordered(byDate, true), "тема 036", 36, "Тема 036"},
    };
    for (const auto& b : books) {
        SCOPED_TRACE(b.what);
        journal->setVisible(b.frame == journal);
        mailings->setVisible(b.frame == mailings);
        if (b.node >= 0)
            journal->tree()->setCurrentItem(journal->tree()->FindItemByData(b.node));
        CReportView* list = b.frame->list();
        list->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(list->IsPaged());
        ASSERT_EQ(list->GetItemCount(), int(b.ids.size()));
        const auto shown = [&](const std::vector<int>& rows) {
            std::vector<int> out;
            for (int r : rows)
                out.push_back(list->GetItemData(r < 0 ? list->GetItemCount() + r : r));
            return out;
        };
        EXPECT_EQ(shown({0, 1, 250, -1}), at(b.ids, {0, 1, 250, -1}));
        // The columns hold the texts of the first screen, within the list.
        for (int c = 0; c < list->GetColumnCount(); ++c)
            for (int r = 0; r < 20; ++r)
                EXPECT_GE(list->columnWidth(c),
                          list->fontMetrics().horizontalAdvance(list->GetItemText(r, c))
                              + (c == 0 ? list->iconSize().width() : 0))
                    << c << " " << r;
        EXPECT_LE(list->header()->length(), list->viewport()->width());

        // End and Home reach the real ends, PageDown goes a screen on.
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_EQ(list->GetSelectedRow(), int(b.ids.size()) - 1);
        EXPECT_EQ(list->GetItemData(list->GetSelectedRow()), b.ids.back());
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_PageDown);
        EXPECT_GT(list->GetSelectedRow(), 5);

        // A header click orders the rows in the database, a second the other way.
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {},
                          QPoint(list->header()->sectionViewportPosition(b.sortColumn) + 5, 5));
        EXPECT_EQ(shown({0, 300, -1}), at(b.sorted, {0, 300, -1}));
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {},
                          QPoint(list->header()->sectionViewportPosition(b.sortColumn) + 5, 5));
        EXPECT_EQ(shown({0, -1}), at(b.sorted, {-1, 0}));

        // The search finds a row the list never read; Enter opens that very row.
        b.frame->OnCmdMsg(ID_BOOK_REFRESH, CmdMsg::Execute, nullptr);
        hook.dialogs.clear();
        search->setEditText(QString::fromUtf8(b.search));
        b.frame->OnSearch();
        const int row = list->GetSelectedRow();
        ASSERT_GE(row, 100);
        EXPECT_EQ(row, int(std::find(b.ids.begin(), b.ids.end(), b.found) - b.ids.begin()));
        EXPECT_EQ(list->GetItemData(row), b.found);
        QString opened;
        hook.onDialog = [&](QDialog& d) {
            if (auto* comment = d.findChild<QLineEdit*>("id1010"))
                opened = comment->text();
            if (auto* mailing = dynamic_cast<CMailingDlg*>(&d))
                opened = mailing->subjectEdit()->text();
            return int(QDialog::Rejected);
        };
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(opened, b.shown);
        EXPECT_EQ(hook.dialogs.size(), b.shown.isEmpty() ? 0u : 1u);
        // Nothing further matches: the question comes once, and No ends it.
        messages.clear();
        answers = {IDNO};
        b.frame->OnSearch();
        EXPECT_EQ(Texts(), QStringList({BookSearchTexts::kWrap}));

        // The filter of the list's dialog runs in the database.
        if (!b.filterField)
            continue;
        hook.onDialog = [&](QDialog& d) {
            auto& dlg = static_cast<CDirectoryFilterDlg&>(d);
            dlg.show();
            QListWidget* fieldsBox = dlg.fieldList();
            const auto item = fieldsBox->findItems(QString::fromUtf8(b.filterField), Qt::MatchExactly);
            EXPECT_EQ(item.size(), 1);
            if (!item.isEmpty())
                QTest::mouseClick(fieldsBox->viewport(), Qt::LeftButton, {},
                                  fieldsBox->visualItemRect(item[0]).center());
            dlg.valueEdit()->setText(QString::fromUtf8(b.filterValue));
            QTest::mouseClick(dlg.findChild<QPushButton*>("id1"), Qt::LeftButton);
            return dlg.result();
        };
        b.frame->OnCmdMsg(ID_BOOK_FILTER, CmdMsg::Execute, nullptr);
        std::vector<int> expected;
        for (int id : b.filtered) {
            const bool kept = b.frame == journal
                ? id % 2 == 1
                : QStringLiteral("Тема %1").arg(id, 3, 10, QChar(u'0')).startsWith("Тема 0");
            if (kept)
                expected.push_back(id);
        }
        ASSERT_EQ(list->GetItemCount(), int(expected.size()));
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_EQ(list->GetItemData(list->GetSelectedRow()), expected.back());
        EXPECT_EQ(shown({0, 50}), at(expected, {0, 50}));
    }
    EXPECT_EQ(Texts(), QStringList({BookSearchTexts::kWrap})) << "no database error was shown";
}

TEST_P(BookOperationsTest, ReceiverDirectoryChoosesWithoutChangingAnything)
{
    SeedReceivers();
    CReceiverDirectoryDlg dlg(session);
    hook.onDialog = [&](QDialog& d) {
        d.show();
        CReceiverFrame* f = dlg.frame();
        EXPECT_EQ(dlg.windowTitle(), DirectoryDialogTexts::kReceiverDirectoryCaption);
        f->list()->SelectRow(f->list()->FindRowByData(-11));
        for (int id : {ID_BOOK_ADD_ELEMENT, ID_BOOK_ADD_GROUP, ID_BOOK_EDIT, ID_BOOK_DELETE})
            EXPECT_FALSE(UpdateCommand(*f, id).enabled()) << id;
        d.resize(d.width() + 50, d.height() + 40);
        QApplication::processEvents();
        dlg.accept();
        return d.result();
    };
    ASSERT_EQ(dlg.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dlg.result, std::vector<int>{11}) << "a group row gives its positive id";
    const QSettings profile(profilePath(), QSettings::IniFormat);
    EXPECT_EQ(profile.value("91/CX").toInt(), dlg.width());
    EXPECT_EQ(profile.value("91/CY").toInt(), dlg.height());
}

TEST_P(BookOperationsTest, JournalItemShowsThePathAndChecksItsFields)
{
    SeedReceivers();
    SeedImportEventTypes();
    CImportStatusRecord rec;
    rec.receiver = 16;
    rec.event = 0;
    CJournalItemDlg dlg(rec, false, session);
    hook.onDialog = [&](QDialog& d) {
        d.show();
        EXPECT_EQ(dlg.organisationEdit()->text(), "ГРБС\\Группа А\\Подгруппа\\Лист % 3");
        dlg.eventBox()->setCurrentIndex(-1);
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        return d.result();
    };
    EXPECT_NE(dlg.DoModal(), QDialog::Accepted);
    EXPECT_EQ(Texts(), QStringList({JournalItemTexts::kNoEvent}));
    // A category chain that comes round ends the path.
    Exec("update tclsreceiver set category = 16 where id = 10");
    EXPECT_EQ(dlg.OrganisationPath(16), "ГРБС\\Группа А\\Подгруппа\\Лист % 3");
}

TEST_P(BookOperationsTest, JournalExportWritesTheDaysInCp1251WithCrlf)
{
    const struct {
        int id;
        const char* date;
        const char16_t* text;
    } rows[] = {{1, "2010-03-14 10:00:00", u"Ранее"},
                {2, "2010-03-15 10:00:00", u"Вставка; строка"},
                {3, "2010-03-16 23:59:59", u"Поздно \u2603"}};
    for (const auto& r : rows)
        Exec("insert into tfctopjournal (id, UserID, Date, Text, Type) values (?, '', ?, ?, 0)",
             {r.id, QString(r.date), QString::fromUtf16(r.text)});
    const QString out = home() + "out.txt";
    ASSERT_EQ(WriteOpJournal(QDate(2010, 3, 15), QDate(2010, 3, 16), out), OpJournalExportResult::Done);
    const QByteArray bytes = ReadFile(out);
    EXPECT_EQ(bytes,
              QByteArray("15-03-2010 10:00:00;") + UnicodeToAnsi(QString::fromUtf16(u"Вставка; строка"))
                  + "\r\n16-03-2010 23:59:59;" + UnicodeToAnsi(QString::fromUtf16(u"Поздно ?")) + "\r\n");
    if (HaveProgram("file")) {
        EXPECT_TRUE(RunPeer("file", {out}).output.contains("CRLF"));
    }

    ASSERT_EQ(WriteOpJournal(QDate(2010, 3, 16), QDate(2010, 3, 15), out), OpJournalExportResult::Done);
    EXPECT_TRUE(ReadFile(out).isEmpty());
    EXPECT_EQ(WriteOpJournal(QDate(2010, 3, 15), QDate(2010, 3, 16), home() + "missing/out.txt"),
              OpJournalExportResult::FileError);
    // Without a file name the dialog says which file is missing and stays open.
    COpJrnExportParamsDlg dlg;
    dlg.accept();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, OpJournalTexts::kNoFileName);
    EXPECT_NE(dlg.result(), int(QDialog::Accepted));
}

TEST_P(BookOperationsTest, AveragePricesKeepTheBoundsOfAProductWithoutReportPrice)
{
    Forecast(1, "Текущий", 2012);
    Forecast(2, "Прошлый", 2011);
    for (int f : {1, 2}) {
        Exec("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, offsetMin, offsetMax, type, position) "
             "values (?, 1, 0, 'Товар', 'A1', 0, ?, ?, 1, 0)",
             {f, f == 1 ? 0.5 : 0.8, f == 1 ? 1.5 : 1.2});
        Exec("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, offsetMin, offsetMax, type, position) "
             "values (?, 2, 0, 'Без цены', 'B2', 0, 0.7, 1.7, 1, 1)",
             {f});
    }
    const QVariant ten = isPg() ? QVariant("10") : QVariant(100000);
    const QVariant zero = 0;
    Exec("insert into tfctprice (id, prognoz, product, pricePrev, priceCur, priceNext) values (1, 1, 1, ?, ?, ?)",
         {ten, ten, ten});
    Exec("insert into tfctprice (id, prognoz, product, pricePrev, priceCur, priceNext) values (2, 1, 2, ?, ?, ?)",
         {zero, zero, zero});
    Exec("insert into tfctprice (id, prognoz, product, pricePrev, priceCur, priceNext) values (3, 2, 1, ?, ?, ?)",
         {ten, ten, ten});
    Exec("insert into tfctprice (id, prognoz, product, pricePrev, priceCur, priceNext) values (4, 2, 2, ?, ?, ?)",
         {ten, ten, ten});
    const auto rows = CollectAveragePrices(1, {2});
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_DOUBLE_EQ(rows->front().values[0], 8.0);
    EXPECT_DOUBLE_EQ(rows->front().values[1], 12.0);
    ASSERT_TRUE(ApplyAveragePrices(1, *rows));
    const auto priced = GetProduct(1, 1);
    const auto unpriced = GetProduct(2, 1);
    EXPECT_DOUBLE_EQ(priced->offsetMin, 0.8);
    EXPECT_DOUBLE_EQ(priced->offsetMax, 1.2);
    EXPECT_DOUBLE_EQ(unpriced->offsetMin, 0.7) << "report price 0: the bounds stay";
    EXPECT_DOUBLE_EQ(unpriced->offsetMax, 1.7);
    EXPECT_DOUBLE_EQ(unpriced->avRep, rows->back().values[2]);
}

TEST_P(BookOperationsTest, NewMailingIsSavedSentAndJournalledPerReceiver)
{
    SeedReceivers();
    SeedImportEventTypes();
    Exec("update tclsreceiver set email = 'own@org.ru' where id = 14");
    session.currentForecastStatus = 1;
    Exec("update tfctprognoz set status = 1 where id = 1");
    Settings().ExportDir = home() + "Export";
    Settings().Transport = "File";
    CTransportRegistry registry;
    registry.Load();
    SetAppTransports(&registry);
    auto* f = Show<CMailingFrame>();
    EXPECT_TRUE(UpdateCommand(*f, ID_BOOK_ADD_ELEMENT).enabled()) << "closed reference data still takes mailings";

    hook.onChooseReceivers = [](const CReceiverChoice&) { return std::vector<int>{14, 16}; };
    bool sent = false;
    hook.onDialog = [&](QDialog& d) {
        if (auto* mailing = dynamic_cast<CMailingDlg*>(&d)) {
            mailing->subjectEdit()->setText("Тема");
            mailing->textEdit()->setPlainText("Текст <письма>");
            mailing->chooseButton()->click();
            return int(QDialog::Accepted);
        }
        d.show(); // the send dialog sends once it is on screen
        for (int i = 0; i < 200 && !static_cast<CSendDataDlg&>(d).isDone(); ++i)
            QTest::qWait(5);
        sent = static_cast<CSendDataDlg&>(d).isDone();
        return int(QDialog::Accepted);
    };
    f->OnCmdMsg(ID_BOOK_ADD_ELEMENT, CmdMsg::Execute, nullptr);
    SetAppTransports(nullptr);
    EXPECT_TRUE(sent);
    EXPECT_EQ(Count("tfctmailingreceivers"), 2);
    EXPECT_EQ(DateFromValue(Scalar("select MailingDate from tfctmailing")),
              QDateTime(QDate::currentDate(), QTime(0, 0)));
    EXPECT_EQ(Count("tfctimportstatus", "event = 2 and prognoz = 1 and received is null"), 2);
    EXPECT_EQ(f->list()->GetItemCount(), 1);

    const QString envelope = home() + "Export/ИНФ_14_envelope.xml";
    ASSERT_TRUE(QFile::exists(envelope));
    if (!HaveProgram("xmllint"))
        GTEST_SKIP() << "xmllint is not installed";
    const PeerRun check =
        RunPeer("xmllint", {"--noout", "--nonet", "--schema", LIR_BIN_DIR "/infoEnvelope.xsd", envelope});
    EXPECT_EQ(check.exitCode, 0) << check.output.toStdString();
}

TEST_P(BookOperationsTest, RightsTreeChecksWholeSubtreesAndKeepsOtherForecasts)
{
    SeedReceivers();
    UserRightsSelectDlg dlg(1, 14);
    dlg.pairs = {{77, 2}};
    hook.onDialog = [&](QDialog& d) {
        d.show();
        QTreeWidgetItem* group = dlg.tree()->FindItemByData(11);
        EXPECT_NE(group, nullptr);
        if (!group)
            return int(QDialog::Rejected);
        group->setCheckState(0, Qt::Checked);
        EXPECT_EQ(dlg.pairs, (std::set<UserRightsSelectDlg::Pair>{{11, 1}, {13, 1}, {16, 1}, {77, 2}}));
        EXPECT_EQ(dlg.tree()->FindItemByData(16)->checkState(0), Qt::Checked);
        dlg.tree()->FindItemByData(13)->setCheckState(0, Qt::Unchecked);
        return int(QDialog::Accepted);
    };
    ASSERT_EQ(dlg.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dlg.pairs, (std::set<UserRightsSelectDlg::Pair>{{11, 1}, {77, 2}}));
}

TEST_P(BookOperationsTest, UserCardKeepsTheRolesApartAndAsksForWhatIsMissing)
{
    CUserEditDlg dlg(CSystemUserRecord{});
    dlg.show();
    dlg.roleBox(ROLE_EXPERT)->click();
    EXPECT_FALSE(dlg.roleBox(ROLE_USER)->isEnabled());
    dlg.accept();
    dlg.loginEdit()->setText("Ivan");
    dlg.accept();
    dlg.loginEdit()->setText("DOMAIN\\ivan");
    EXPECT_FALSE(dlg.passwordButton()->isEnabled());
    dlg.accept();
    EXPECT_EQ(Texts(), QStringList({UserTexts::kNoLogin, UserTexts::kNoPassword}));
    EXPECT_EQ(dlg.result(), QDialog::Accepted) << "an external account needs no password";
    EXPECT_EQ(dlg.roles, ROLE_EXPERT);
    EXPECT_EQ(UserRolesText(ROLE_ADMIN | ROLE_USER), "Администратор, Пользователь");
}

TEST_P(BookOperationsTest, UsersNeedAServerDatabase)
{
    CSessionState s;
    CUsersDlg dlg(s);
    const int shown = dlg.DoModal();
    if (isPg()) {
        EXPECT_EQ(hook.dialogs, QStringList({"id180"}));
        return;
    }
    EXPECT_EQ(shown, QDialog::Rejected);
    EXPECT_EQ(Texts(), QStringList({kUsersNeedServerText}));
}

LIR_INSTANTIATE_DB_TEST(BookOperationsTest);

TEST(AvPriceTextTest, FourDecimalsHalfToEvenWithAPointInAnyLocale)
{
    const QLocale saved;
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia)}) {
        QLocale::setDefault(locale);
        EXPECT_EQ(AvPriceText(12.34567), "12.3457");
        EXPECT_EQ(AvPriceText(0.00005), "0");
        EXPECT_EQ(AvPriceText(0.00015), "0.0002");
        EXPECT_EQ(AvPriceText(100.0), "100");
    }
    QLocale::setDefault(saved);
}

class PrefDialogTest : public TempHomeTest { };

TEST_F(PrefDialogTest, EmptyFoldersChangeNothingAndTheTransportComesFromTheList)
{
    Settings().ExportDir = "/tmp/export";
    Settings().ImportDir = "/tmp/import";
    Settings().Transport = "File";
    // A plug-in with settings: "Свойства" follows the chosen transport both ways.
    CStubTransport mail(1);
    const CTransportList transports{{"Файл", "File", nullptr}, {"Другой", "OTHER", nullptr}, {"Почта", "MAIL", &mail}};
    CPrefDialog dlg(nullptr, &transports);
    EXPECT_EQ(dlg.transportPage()->transportList->currentRow(), 0);
    EXPECT_FALSE(dlg.transportPage()->properties->isEnabled()) << "the file transport has no settings";
    dlg.transportPage()->transportList->setCurrentRow(2);
    EXPECT_TRUE(dlg.transportPage()->properties->isEnabled());
    dlg.transportPage()->transportList->setCurrentRow(0);
    EXPECT_FALSE(dlg.transportPage()->properties->isEnabled()) << "back on the file transport";
    dlg.transportPage()->exportDir->clear();
    dlg.transportPage()->transportList->setCurrentRow(1);
    EXPECT_FALSE(dlg.Apply());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front().text, PrefTexts::kEmptyFolders);
    EXPECT_EQ(Settings().ExportDir, "/tmp/export");
    EXPECT_EQ(Settings().Transport, "File");
    dlg.transportPage()->exportDir->setText("/tmp/out");
    EXPECT_TRUE(dlg.Apply());
    EXPECT_EQ(Settings().ExportDir, "/tmp/out");
    EXPECT_EQ(Settings().Transport, "OTHER");
}

// The product list shows each product's permitted deviations under "Минимальное" and "Максимальное",
// as the database's own client reads them; the tree's width and the columns' widths the user set
// come back with the next frame (after a restart: through the profile).
TEST_P(BookOperationsTest, ProductListShowsTheDeviationsAndKeepsTheUsersLayout)
{
    Forecast(1, "Прогноз", 2012);
    const struct {
        int id, parent, isgroup;
        const char* code;
        QVariant low, high;
    } products[] = {{1, 0, 1, "01", 0, 0},
                    {2, 1, 0, "01.1", 0.85, 1.25},
                    {3, 1, 0, "01.2", 1, 2.5},
                    {4, 1, 1, "01.3", QVariant(), QVariant()}};
    int position = 0;
    for (const auto& p : products) {
        Exec("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, offsetMin, offsetMax, type, position) "
             "values (1, ?, ?, ?, ?, ?, ?, ?, 1, ?)",
             {p.id, p.parent, QStringLiteral("Продукт %1").arg(p.id), p.code, p.isgroup, p.low, p.high, position++});
        Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (1, ?, 0, 0, 0)", {p.id});
    }
    session.currentForecastId = 1;
    const auto open = [this] {
        auto* f = Show<CProductFrame>();
        f->filterFields().clear();
        const std::pair<const char*, int> fields[] = {{"Код", FF_TEXT},
                                                      {"Наименование", FF_TEXT},
                                                      {"Комментарии", FF_TEXT},
                                                      {"Минимальное", FF_DECIMAL},
                                                      {"Максимальное", FF_DECIMAL}};
        for (const auto& [caption, kind] : fields)
            f->AddFilterField(QString::fromUtf8(caption), "x", kind, true, 90);
        f->InitListColumns();
        QTest::qWait(50); // the panes get their sizes once shown
        return f;
    };
    CProductFrame* f = open();
    CReportView* list = f->list();
    ASSERT_EQ(list->GetItemCount(), 3);
    const QString query = "select coalesce(offsetMin, -1), coalesce(offsetMax, -1) from tclsproduct "
                          "where prognoz = 1 and parent = 1 order by position";
    const PeerRun run = isPg() ? RunPeer("psql", {"-X", "-At", "-F", " ", "-d", params().dbName, "-c", query})
                               : RunPeer("sqlite3", {"-separator", " ", params().file, query});
    if (run.exitCode != 0)
        GTEST_SKIP() << "the database's client did not run: " << run.output.toStdString();
    const QStringList lines = run.output.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        const QStringList peer = lines[r].trimmed().split(u' ');
        for (int side = 0; side < 2; ++side) {
            const QString shown = list->GetItemText(r, 3 + side);
            const double stored = peer.value(side).toDouble();
            if (stored < 0)
                EXPECT_EQ(shown, "") << r;
            else
                EXPECT_DOUBLE_EQ(shown.toDouble(), stored) << r << " " << side;
        }
    }

    f->splitter()->setSizes({333, 500});
    list->header()->resizeSection(1, 277);
    bar.reset();
    CProductFrame* again = open();
    EXPECT_EQ(again->splitter()->sizes().value(0), 333);
    EXPECT_EQ(again->list()->header()->sectionSize(1), 277);
}
