#include "ReportView.h"
#include "ReportSort.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

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
