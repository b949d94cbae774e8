#include "AvPricesDlg.h"
#include "BookDialogs.h"
#include "BookFrames.h"
#include "BookTestSupport.h"
#include "CommandIds.h"
#include "DirectoryDialogs.h"
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

#include <memory>

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
    template <class Frame>
    Frame* Show()
    {
        bar = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(bar.get());
        search = new QComboBox(bar.get());
        search->setEditable(true);
        search->setObjectName(QStringLiteral("id%1").arg(ID_SEARCH_TEXT));
        layout->addWidget(search);
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
