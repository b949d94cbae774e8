#include "ReportView.h"
#include "ReportSort.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include <memory>

#include <random>

namespace {

QStringList Column(const CReportView& view, int column)
{
    QStringList out;
    for (int r = 0; r < view.GetItemCount(); ++r)
        out << view.GetItemText(r, column);
    return out;
}

void ClickHeader(CReportView& view, int column)
{
    QHeaderView* header = view.header();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
}

} // namespace

TEST(ReportViewTest, HeaderClicksSortNumbersDatesAndTextWithTheIndicator)
{
    CReportView view;
    view.InsertColumn(0, "Число");
    view.InsertColumn(1, "Дата");
    view.InsertColumn(2, "Текст");
    const char* rows[][3] = {{"10", "15.03.2010 10:00:00", "Бета"},
                             {"9,5", "02.04.2009", "альфа"},
                             {"100", "", "Альфа"},
                             {"-3", "15.03.2010 9:59:59", "beta"}};
    for (const auto& r : rows) {
        const int row = view.InsertItem(view.GetItemCount(), QString::fromUtf8(r[0]), 1);
        for (int c = 1; c < 3; ++c)
            view.SetItemText(row, c, QString::fromUtf8(r[c]));
        view.SetItemData(row, row + 1);
    }
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.SelectRow(1); // 9,5

    const struct {
        int column;
        Qt::SortOrder order;
        QStringList texts;
    } clicks[] = {
        {0, Qt::AscendingOrder, {"-3", "9,5", "10", "100"}},
        {0, Qt::DescendingOrder, {"100", "10", "9,5", "-3"}},
        {1, Qt::AscendingOrder, {"", "02.04.2009", "15.03.2010 9:59:59", "15.03.2010 10:00:00"}},
        // Text as code page 1251 bytes: Latin before Cyrillic, capitals before small letters.
        {2, Qt::AscendingOrder, {"beta", "Альфа", "Бета", "альфа"}},
    };
    for (const auto& c : clicks) {
        ClickHeader(view, c.column);
        EXPECT_EQ(Column(view, c.column), c.texts) << c.column;
        EXPECT_EQ(view.header()->sortIndicatorSection(), c.column);
        EXPECT_EQ(view.header()->sortIndicatorOrder(), c.order);
        EXPECT_TRUE(view.header()->isSortIndicatorShown());
    }
    // Rows keep their data, image and selection through the sorts.
    const int selected = view.GetSelectedRow();
    EXPECT_EQ(view.GetItemText(selected, 0), "9,5");
    EXPECT_EQ(view.GetItemData(selected), 2);
    view.SetSortColumn(-1);
    EXPECT_FALSE(view.header()->isSortIndicatorShown());

    // Moves stop at the ends and take the selection along; a predicate can refuse a deletion.
    view.SelectRow(0);
    EXPECT_EQ(view.MoveItemUp(0, 1), 0);
    EXPECT_EQ(view.MoveItemDown(0, 2), 2);
    EXPECT_EQ(view.GetItemText(2, 2), "beta");
    EXPECT_EQ(view.GetSelectedRow(), 2);
    EXPECT_FALSE(view.DeleteRow(0, true, [](int data) { return data < 0; }));
    EXPECT_EQ(view.DeleteRows([](int data) { return data == 3 || data == 1; }), 2);
    EXPECT_EQ(Column(view, 2), QStringList({"beta", "альфа"}));
}

TEST(ReportViewTest, MixedColumnsHaveOneConsistentOrder)
{
    // Words, numbers, dates and blanks in one column: the order is total, so sorting twice gives the
    // same rows and neighbours never compare the wrong way.
    std::mt19937 random(7);
    const QString samples[] = {"10",         "9,5",
                               "abc",        "Ъ",
                               "",           "01.02.2003",
                               "-1",         "1.5",
                               "+7",         "15.03.2010 10:00:00",
                               "x9",         " 42 ",
                               "31.02.2010", "99999999999999999"};
    CReportView view;
    view.InsertColumn(0, "Смесь");
    for (int i = 0; i < 10000; ++i)
        view.SetItemData(view.InsertItem(i, samples[random() % std::size(samples)]), i);
    view.SortByColumn(0, true);
    const QStringList first = Column(view, 0);
    QList<int> firstData;
    for (int r = 0; r < view.GetItemCount(); ++r)
        firstData << view.GetItemData(r);
    view.SortByColumn(0, true);
    EXPECT_EQ(Column(view, 0), first);
    for (int r = 1; r < view.GetItemCount(); ++r) {
        ASSERT_LE(CompareSortKeys(MakeSortKey(first[r - 1]), MakeSortKey(first[r])), 0) << r;
        EXPECT_EQ(view.GetItemData(r), firstData[r]);
    }
    // Equal texts keep their order.
    EXPECT_TRUE(std::is_sorted(firstData.begin(), firstData.begin() + int(first.count(first.front()))));
}

namespace {

class ReportViewFitTest : public TempHomeTest { };

// A list as the book frames make it: columns with their usual widths, the user's widths kept.
std::unique_ptr<CReportView> FittedList(int width, const std::vector<std::pair<QString, int>>& columns,
                                        const QStringList& row)
{
    auto view = std::make_unique<CReportView>();
    view->KeepColumnWidths(QStringLiteral("SplitterWnd/Columns_99"));
    view->SetImageList({QIcon(QPixmap(16, 16))});
    for (const auto& [caption, usual] : columns)
        view->InsertColumn(view->GetColumnCount(), caption, usual);
    for (int r = 0; r < 3; ++r) {
        const int i = view->InsertItem(r, r == 1 ? row.value(0) : QStringLiteral("1"), 0);
        for (int c = 1; c < row.size(); ++c)
            view->SetItemText(i, c, r == 1 ? row[c] : QString());
    }
    view->resize(width, 200);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QTest::qWait(20);
    return view;
}

// Whether the column shows the longest text of its rows whole.
bool Whole(const CReportView& view, int column)
{
    const int icon = column == 0 ? view.iconSize().width() : 0;
    return view.columnWidth(column) >= view.fontMetrics().horizontalAdvance(view.GetItemText(1, column)) + icon;
}

} // namespace

// Each column holds its longest text when the list has room for all of them (a 400-pixel code column
// shrinks to its codes); when it has not, the narrow columns still hold theirs and the widest takes
// what is left; no column runs past the list. A width the user sets stays through the fits and comes
// back with the next list.
TEST_F(ReportViewFitTest, ColumnsHoldTheirTextsWithinTheListAndTheUsersWidthStays)
{
    const QString longName = QStringLiteral("Федеральное государственное бюджетное учреждение «Центр информационных "
                                            "технологий и систем органов исполнительной власти» по округу");
    const struct {
        const char* what;
        int width;
        std::vector<std::pair<QString, int>> columns;
        QStringList row;
        std::vector<bool> whole;
    } cases[] = {
        {"products",
         1000,
         {{"Код", 400}, {"Наименование", 400}, {"Комментарии", 100}, {"Минимальное", 90}, {"Максимальное", 90}},
         {"01.02.003.0001", "Бумага для офисной техники белая формата А4 плотностью 80 г/м2", "", "0.85", "1.15"},
         {true, true, true, true, true}},
        {"receivers",
         800,
         {{"Наименование", 400}, {"E-Mail", 100}},
         {longName, "fgbu.centr.informacionnyh.tehnologiy@cit-sistemy.example.ru"},
         {false, true}},
        {"journal",
         1200,
         {{"Организация", 200}, {"Событие", 200}, {"Дата отправки", 130}, {"Дата получения", 130}, {"Примечание", 300}},
         {"Территориальное управление по Северо-Западному федеральному округу", "Отправлено на корректировку",
          "04.03.2026 9:00:00", "", "НСИ. Получатель неопределен."},
         {true, true, true, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto view = FittedList(c.width, c.columns, c.row);
        for (size_t i = 0; i < c.whole.size(); ++i)
            EXPECT_EQ(Whole(*view, int(i)), c.whole[i]) << i;
        EXPECT_LE(view->header()->length(), view->viewport()->width());
        if (!c.whole.front()) {
            EXPECT_GE(view->header()->length(), view->viewport()->width() - int(c.columns.size()));
        }
    }

    const auto& receivers = cases[1];
    {
        const auto view = FittedList(receivers.width, receivers.columns, receivers.row);
        view->header()->resizeSection(1, 150);
        view->resize(900, 200);
        QTest::qWait(20);
        EXPECT_EQ(view->columnWidth(1), 150);
        EXPECT_EQ(view->header()->length(), view->viewport()->width()) << "the name takes the rest";
    }
    const auto again = FittedList(receivers.width, receivers.columns, receivers.row);
    EXPECT_EQ(again->columnWidth(1), 150);
}
