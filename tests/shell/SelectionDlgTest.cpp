#include "BookTestSupport.h"
#include "ReceiverSelectDlg.h"

#include <QApplication>
#include <QPushButton>
#include <QSettings>

#include <memory>

namespace {

class SelectionDlgTest : public ShellDbTest {
protected:
    // Министерство > (Департамент > Отдел 1, Отдел 2), Управление А; beside it a second top group.
    void Receivers()
    {
        Forecast(1, "Прогноз", 2012);
        Receiver(1, 0, "Министерство", 0, 1, 1);
        Receiver(2, 0, "Второй верх", 0, 1, 1);
        Receiver(3, 1, "Департамент", 0, 1, 1);
        Receiver(4, 1, "Управление А", 0, 0, 1);
        Receiver(5, 3, "Отдел 1", 0, 0, 1);
        Receiver(6, 3, "Отдел 2", 0, 0, 1);
    }
    // Продукты > (Группа B > Изделие C), Изделие D; Без цены E (no price row) > Изделие F.
    void Products(bool withForecast = true)
    {
        if (withForecast)
            Forecast(1, "Прогноз", 2012);
        const struct {
            int id, parent, position, isgroup;
            const char* code;
            const char16_t* name;
            bool priced;
        } products[] = {{1, 0, 0, 1, "01", u"Продукты", true},    {2, 1, 1, 1, "", u"Группа B", true},
                        {3, 2, 0, 0, "01.1", u"Изделие C", true}, {4, 1, 2, 0, "02", u"Изделие D", true},
                        {5, 1, 3, 1, "03", u"Без цены E", false}, {6, 5, 0, 0, "03.1", u"Изделие F", true}};
        for (const auto& p : products) {
            Exec("insert into tclsproduct (prognoz, id, parent, name, code, position, offsetMin, offsetMax, type, "
                 "isgroup) values (1, ?, ?, ?, ?, ?, 0, 0, 1, ?)",
                 {p.id, p.parent, QString::fromUtf16(p.name), QString::fromLatin1(p.code), p.position, p.isgroup});
            if (p.priced)
                Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (1, ?, 0, 0, 0)",
                     {p.id});
        }
    }
    QStringList Checked(ReceiverSelectDlg& dlg)
    {
        QStringList out;
        for (QTreeWidgetItem* i = dlg.tree()->GetFirstCheckedItem(); i; i = dlg.tree()->GetNextCheckedItem(i))
            out << i->text(0);
        return out;
    }

    BookHook hook;
};

} // namespace

TEST_P(SelectionDlgTest, CheckBoxesPassTheirStateOnAndOkTakesTheTreeOrder)
{
    Receivers();
    ReceiverSelectDlg dlg(1, true, true, 1);
    dlg.resultIds = {5};
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CTreeCtrlX* tree = dlg.tree();
    ASSERT_EQ(tree->topLevelItemCount(), 1) << "one top receiver";
    EXPECT_EQ(dlg.windowTitle(), "Выбор получателя");
    EXPECT_EQ(ItemNamed(tree, "Второй верх"), nullptr);
    EXPECT_TRUE(ItemNamed(tree, "Департамент")->font(0).bold());
    EXPECT_FALSE(ItemNamed(tree, "Отдел 1")->font(0).bold());
    tree->expandAll();
    EXPECT_EQ(Checked(dlg), QStringList({"Отдел 1"}));
    EXPECT_TRUE(dlg.okButton()->isEnabled());

    const struct {
        const char* click;
        QStringList checked;
    } steps[] = {
        {"Отдел 1", {}},
        {"Отдел 2", {"Отдел 2"}},
        {"Отдел 1", {"Департамент", "Отдел 1", "Отдел 2"}}, // the last child checks its parent
        {"Управление А", {"Министерство", "Департамент", "Отдел 1", "Отдел 2", "Управление А"}},
        {"Отдел 1", {"Отдел 2", "Управление А"}}, // unchecking unchecks the ancestors
        {"Департамент", {"Министерство", "Департамент", "Отдел 1", "Отдел 2", "Управление А"}}, // the subtree too
        {"Департамент", {"Управление А"}},
        {"Управление А", {}},
        {"Отдел 2", {"Отдел 2"}},
        {"Управление А", {"Отдел 2", "Управление А"}},
    };
    for (const auto& s : steps) {
        ClickCheckBox(tree, ItemNamed(tree, s.click));
        EXPECT_EQ(Checked(dlg), s.checked) << s.click;
        EXPECT_EQ(dlg.okButton()->isEnabled(), !s.checked.isEmpty()) << s.click;
    }
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.resultIds, std::vector<int>({6, 4}));
}

TEST_P(SelectionDlgTest, SingleChoiceFollowsTheSelectableKindsAndAnEmptyForecastOffersNothing)
{
    Receivers();
    Forecast(2, "Пустой", 2013);
    ReceiverSelectDlg empty(2, true, true, 1);
    empty.OnInitDialog();
    EXPECT_EQ(empty.tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(empty.okButton()->isEnabled());

    const struct {
        bool groups, elements, rootGroup;
        const char* title;
        const char* click;
        int chosen;
    } cases[] = {
        {true, true, true, "Выбор получателя", "Департамент", 3},
        {false, true, true, "Выбор получателя", "Департамент", 0},
        {false, true, true, "Выбор получателя", "Министерство", 1}, // a group without a parent item
        {false, true, false, "Выбор получателя", "Министерство", 0},
        {true, false, true, "Выбор категории", "Отдел 1", 0},
    };
    for (const auto& c : cases) {
        ReceiverSelectDlg dlg(1, c.groups, c.elements, 0);
        dlg.rootGroupSelectable = c.rootGroup;
        dlg.OnInitDialog();
        dlg.show();
        dlg.tree()->expandAll();
        EXPECT_EQ(dlg.windowTitle(), c.title);
        QTreeWidgetItem* item = ItemNamed(dlg.tree(), c.click);
        QTest::mouseClick(dlg.tree()->viewport(), Qt::LeftButton, {}, dlg.tree()->visualItemRect(item).center());
        EXPECT_EQ(dlg.selectedId, c.chosen) << c.click;
        EXPECT_EQ(dlg.okButton()->isEnabled(), c.chosen != 0);
        if (c.chosen) {
            QTest::mouseDClick(dlg.tree()->viewport(), Qt::LeftButton, {}, dlg.tree()->visualItemRect(item).center());
            EXPECT_EQ(dlg.result(), QDialog::Accepted) << "a double click confirms";
            EXPECT_EQ(dlg.resultIds, std::vector<int>({c.chosen}));
        }
    }
}

TEST_P(SelectionDlgTest, CategoryTreeShowsThePricedClassifierInTreeOrder)
{
    Products();
    ReportReceiverSelectDlg dlg(1, nullptr, 0);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.windowTitle(), "Включить в отчет");
    QStringList items;
    for (QTreeWidgetItem* i = dlg.tree()->topLevelItem(0); i; i = dlg.tree()->GetNextItemDeep(i))
        items << i->text(0) + (i->font(0).bold() ? "*" : "");
    EXPECT_EQ(items, QStringList({"[01] Продукты*", "Группа B*", "[01.1] Изделие C", "[02] Изделие D"}));
    EXPECT_TRUE(messages.empty());
}

// A ticked category of a report stands for everything in it: its members are ticked with it (also
// under the top item) and go to the report with it.
TEST_P(SelectionDlgTest, ATickedReportCategoryTicksItsMembers)
{
    Products();
    ReportReceiverSelectDlg dlg(1, nullptr, 2); // as the report dialogs make it
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CTreeCtrlX* tree = dlg.tree();
    tree->expandAll();
    const struct {
        const char* click;
        QStringList checked;
    } steps[] = {
        {"Группа B", {"Группа B", "[01.1] Изделие C"}},
        {"Группа B", {}},
        {"[01] Продукты", {"[01] Продукты", "Группа B", "[01.1] Изделие C", "[02] Изделие D"}},
        {"[02] Изделие D", {"Группа B", "[01.1] Изделие C"}},
    };
    for (const auto& s : steps) {
        ClickCheckBox(tree, ItemNamed(tree, s.click));
        QTest::qWait(0);
        EXPECT_EQ(Checked(dlg), s.checked) << s.click;
    }
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.resultIds, std::vector<int>({2, 3}));
}

// The reference data goes down: in its receiver choice the own organisation has no check box, so
// that ticking every organisation below it does not tick it.
TEST_P(SelectionDlgTest, TheOwnOrganisationIsNoReceiverOfTheReferenceData)
{
    Receivers();
    ReceiverSelectDlg dlg(1, true, true, 1);
    dlg.rootReceiverId = 1;
    dlg.rootSelectable = false;
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    CTreeCtrlX* tree = dlg.tree();
    tree->expandAll();
    EXPECT_FALSE(ItemNamed(tree, "Министерство")->flags() & Qt::ItemIsUserCheckable);
    for (const char* name : {"Департамент", "Управление А"}) {
        ClickCheckBox(tree, ItemNamed(tree, name));
        QTest::qWait(0);
    }
    EXPECT_EQ(Checked(dlg), QStringList({"Департамент", "Отдел 1", "Отдел 2", "Управление А"}));
    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.resultIds, std::vector<int>({3, 5, 6, 4}));
}

LIR_INSTANTIATE_DB_TEST(SelectionDlgTest);

// The receivers and the report categories open as wide as their longest item, a collapsed one too,
// within the screen; the size the user leaves comes back with the next dialog (section "6e").
TEST_P(SelectionDlgTest, TheTreeOpensAsWideAsItsLongestItemAndTheUsersSizeComesBack)
{
    Receivers();
    Products(false);
    const QString receiver = QStringLiteral("Отдел информационных технологий и систем обеспечения закупок");
    const QString product = QStringLiteral("Бумага для офисной техники белая формата А4 плотностью 80 г/м2");
    Exec("update tclsreceiver set name = ? where id = 5", {receiver});
    Exec("update tclsproduct set name = ? where id = 3", {product});
    const auto open = [](bool categories) -> std::unique_ptr<ReceiverSelectDlg> {
        if (categories)
            return std::make_unique<ReportReceiverSelectDlg>(1, nullptr, 2);
        return std::make_unique<ReceiverSelectDlg>(1, true, true, 1);
    };
    const struct {
        bool categories;
        QString longest;
    } cases[] = {{false, receiver}, {true, QStringLiteral("[01.1] ") + product}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.categories ? "categories" : "receivers");
        QSize left;
        {
            const auto dlg = open(c.categories);
            dlg->OnInitDialog();
            FitDialogToContents(*dlg);
            dlg->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
            CTreeCtrlX* tree = dlg->tree();
            tree->expandAll();
            QApplication::processEvents();
            QTreeWidgetItem* item = ItemNamed(tree, c.longest);
            ASSERT_NE(item, nullptr);
            const QRect text = tree->visualItemRect(item);
            EXPECT_GE(text.width(), tree->fontMetrics().horizontalAdvance(c.longest));
            EXPECT_LE(text.right(), tree->viewport()->width()) << "no scrolling needed";
            EXPECT_GE(dlg->minimumWidth(), 360);
            left = dlg->size() + QSize(60, 40);
            dlg->resize(left);
            QApplication::processEvents();
            dlg->reject();
        }
        const QSettings profile(profilePath(), QSettings::IniFormat);
        EXPECT_EQ(QSize(profile.value("6e/CX").toInt(), profile.value("6e/CY").toInt()), left);
        const auto again = open(c.categories);
        again->OnInitDialog();
        FitDialogToContents(*again);
        again->show();
        EXPECT_EQ(again->size(), left);
        again->reject();
        QSettings(profilePath(), QSettings::IniFormat).remove("6e");
    }
}
