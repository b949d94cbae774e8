// The forecast editor on a shown window, driven by mouse and key events; what it stores is read back
// through sqlite3 or psql.
#include "AppMessage.h"
#include "CalcTexts.h"
#include "CommandIds.h"
#include "DirectoryTreeView.h"
#include "EditorTestSupport.h"
#include "EditorTexts.h"
#include "ForecastFilter.h"
#include "ForecastNumbers.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "PgScratch.h"
#include "ProgressBar.h"
#include "Settings.h"
#include "TitleTip.h"
#include "db/BulkStatement.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <thread>

using namespace EditorTexts;

namespace {

const QColor kWrong(250, 120, 250);
const QColor kMissing(120, 250, 250);
const QColor kUnmarked(240, 240, 240);
const QColor kCommented(160, 220, 190);

QStringList Texts(const CGridView* grid, int row, int from, int to)
{
    QStringList out;
    for (int c = from; c <= to; ++c)
        out << grid->GetItemText(row, c);
    return out;
}

// Runs each dialog through a function of the test instead of its own loop.
class DialogHook : public CModalHook {
public:
    explicit DialogHook(std::function<int(QDialog&)> run)
        : m_run(std::move(run))
        , m_previous(SetModalHook(this))
    {
    }
    ~DialogHook() override { SetModalHook(m_previous); }
    int execDialog(QDialog& dialog) override { return m_run(dialog); }

private:
    std::function<int(QDialog&)> m_run;
    CModalHook* m_previous;
};

} // namespace

TEST(ForecastNumbers, AmountsAreWrittenWithAPointAndCardTextsMustReadBackTheSame)
{
    for (const auto& [value, text] :
         {std::pair{12.5, "12.5"}, {100.0, "100"}, {0.0, "0"}, {-0.25, "-0.25"}, {1234567.0001, "1234567.0001"}})
        EXPECT_EQ(FormatAmount(value), QLatin1String(text)) << value;
    const struct {
        const char* typed;
        QChar separator;
        std::optional<qint64> raw;
    } cases[] = {
        {"1.5", u',', 15000}, {"1,5", u',', 15000},  {" 2 ", u',', 20000},    {"", u',', 0},
        {"1,50", u',', {}},   {"1.23456", u',', {}}, {"1 000", u',', {}},     {"05", u',', {}},
        {"1,5", u'.', 15000}, {"1.50", u'.', {}},    {"-3,25", u',', -32500}, {"12%", u',', {}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseCardAmount(QString::fromUtf8(c.typed), c.separator);
        EXPECT_EQ(parsed ? std::optional(parsed->raw()) : std::nullopt, c.raw) << c.typed;
    }
    EXPECT_EQ(EditorDecimalSeparator(), QChar(u',')) << "the program's Russian locale, whatever LC_ALL says";
}

LIR_INSTANTIATE_DB_TEST(EditorTest);

TEST_P(EditorTest, LayoutOfTheListTheCardAndTheTree)
{
    Open(kLeaf);
    CDirectoryTreeView* tree = frame->tree();
    EXPECT_EQ(TreeItem(kFood)->text(0), QStringLiteral("[01]Продовольствие"));
    EXPECT_EQ(TreeItem(kFood)->childCount(), 1) << "a placeholder until first expanded";
    EXPECT_EQ(TreeItem(kTech)->childCount(), 0) << "products only: no expander";
    EXPECT_FALSE(TreeItem(kMeat));

    ClickGroup(kMeat);
    EXPECT_EQ(TreeItem(kMeat)->text(0), QStringLiteral("[011]Мясо"));
    EXPECT_EQ(TreeItem(kFood)->childCount(), 2);
    const CGridView* list = frame->listGrid();
    EXPECT_EQ(Texts(list, 0, 0, 5), QStringList({kCode, kProducts, kUnit, "2024", "2025", "2026"}));
    EXPECT_EQ(list->GetCell(0, 5)->colSpan, 6);
    EXPECT_EQ(Texts(list, 0, 11, 12), QStringList({kJustification, kComment}));
    EXPECT_EQ(Texts(list, 1, 5, 10), QStringList({"Итого", "Норматив", "Индексация", "План", "Формула", "Иное"}));
    EXPECT_EQ(Texts(list, 2, 0, 2), QStringList({kTotal, "Мясо", "руб."}));
    EXPECT_EQ(Texts(list, ListRow(kBeef), 0, 2), QStringList({"01101", "Мясо говяжье", "шт"}));
    EXPECT_EQ(list->GetItemText(ListRow(kBeef) + 1, 2), "руб.");
    // Kind 112 ends with its balancing row; kind 64 has none.
    EXPECT_EQ(list->GetItemText(list->GetRowCount() - 1, 1), QStringLiteral("Прочее мясо"));
    ClickGroup(kTech);
    EXPECT_EQ(frame->balanceRow(), -1);
    EXPECT_EQ(list->GetItemText(list->GetRowCount() - 1, 0), " ") << "the last row is a product's sum row";

    ClickList(ListRow(kComputer), 3);
    const CGridView* card = frame->cardGrid();
    EXPECT_EQ(card->GetItemText(0, 0), QStringLiteral("02001 Компьютер"));
    EXPECT_EQ(Texts(card, 0, 1, 4), QStringList({kUnit, "2024", "2025", "2026"}));
    EXPECT_EQ(Texts(card, 1, 4, 9), Texts(list, 1, 5, 10));
    QStringList captions;
    for (int r = 2; r <= 9; ++r)
        captions << card->GetItemText(r, 0);
    EXPECT_EQ(captions,
              QStringList({"Количество", "Сумма", "Обоснование", "Цена", "Минимальная цена", "Максимальная цена",
                           "Индекс-дефлятор (%)", "Комментарий"}));
    // Every text of a single cell fits its column, in the card and in the list.
    for (const CGridView* grid : {card, list})
        for (int r = 0; r < grid->GetRowCount(); ++r)
            for (int c = 0; c < grid->GetColumnCount(); ++c)
                if (grid->GetCell(r, c)->colSpan <= 1) {
                    EXPECT_LT(grid->fontMetrics().horizontalAdvance(grid->GetItemText(r, c)), grid->GetColumnWidth(c))
                        << r << "," << c << " " << grid->GetItemText(r, c).toStdString();
                }
    // Bounds from the price, the deflator from the product.
    EXPECT_EQ(Texts(card, 6, 2, 4), QStringList({"72", "81", "81"}));
    EXPECT_EQ(Texts(card, 7, 2, 4), QStringList({"88", "99", "99"}));
    EXPECT_EQ(card->GetItemText(8, 2), "4.5");
    // The card keeps its height when the frame grows.
    const int cardHeight = card->height();
    host->resize(host->width(), host->height() + 100);
    QTest::qWait(20);
    EXPECT_EQ(card->height(), cardHeight);
    EXPECT_GE(tree->width(), 100);
    EXPECT_TRUE(messages.empty());
}

TEST_P(EditorTest, MarksFollowTheFiguresThePricesAndTheComments)
{
    Row(kLeaf, kBeef, {.valueNorm = 10, .sumNorm = 1000});
    Row(kLeaf, kPork, {.sumNorm = 1000});
    Row(kLeaf, kCowMilk, {.valueNorm = 10, .sumNorm = 900, .comment = "с комментарием"});
    Exec("insert into tfctprognozdata (prognoz, product, receiver, sumNext, valueNext) values (1, ?, ?, 0, ?)",
         {kMeat, kLeaf, QVariant::fromValue(Money::fromInt(-50))});
    Open(kLeaf);
    ClickGroup(kMeat);
    const int beef = ListRow(kBeef);
    ClickList(beef, 12);
    EXPECT_EQ(CardColour(3, 4), kWrong) << "100 lies above 1.1 x 90";
    EXPECT_EQ(ListColour(beef + 1, 5), kWrong);
    EXPECT_EQ(ListColour(frame->balanceRow(), 5), kWrong) << "a negative balance";

    ClickList(ListRow(kPork), 12);
    EXPECT_EQ(CardColour(2, 4), kMissing) << "a sum without quantity";
    EXPECT_EQ(ListColour(ListRow(kPork), 5), kMissing);

    SetNextPrice(kBeef, 100);
    ClickGroup(kFood);
    ClickGroup(kMeat);
    ClickList(ListRow(kBeef), 12);
    EXPECT_EQ(CardColour(3, 4), FixedBk()) << "unmarked: the colour of a read-only total";
    EXPECT_EQ(CardColour(3, 5), frame->cardGrid()->Settings().bkColour);
    EXPECT_EQ(ListColour(ListRow(kBeef) + 1, 5), kUnmarked);

    ClickGroup(kMilk);
    ClickList(ListRow(kCowMilk), 12);
    for (int col = 2; col <= 4; ++col)
        EXPECT_EQ(CardColour(3, col), kCommented) << col;
    EXPECT_TRUE(messages.empty());
}

TEST_P(EditorTest, WhatMayBeEdited)
{
    Row(kLeaf, kBeef, {.valueNorm = 1, .sumNorm = 90});
    Row(kSubGroup, kBeef, {.valueNorm = 1, .sumNorm = 90});
    Exec("insert into tfcttotalprognoz (prognoz, product, sumNext) values (1, ?, 0)", {kBeef});
    const auto allReadOnly = [this] {
        const CGridView* card = frame->cardGrid();
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 10; ++c)
                if (!(card->GetItemState(r, c) & GVIS_READONLY))
                    return false;
        return true;
    };
    const struct {
        int receiver, status;
    } readOnly[] = {{kLeaf, 0}, {kLeaf, 2}, {0, 1}, {kSubGroup, 1}};
    for (const auto& c : readOnly) {
        Open(c.receiver, c.status);
        ClickGroup(kMeat);
        ClickList(ListRow(kBeef), 12);
        EXPECT_TRUE(allReadOnly()) << c.receiver << " in status " << c.status;
        ClickCard(2, 2);
        ClickCard(2, 2);
        EXPECT_FALSE(frame->cardGrid()->GetInPlaceEditor()) << c.receiver << " in status " << c.status;
    }

    Open(kLeaf, 1);
    ClickGroup(kMeat);
    ClickList(ListRow(kBeef), 12);
    const CGridView* card = frame->cardGrid();
    for (int r = 2; r <= 9; ++r)
        for (int c = 2; c <= 9; ++c) {
            const bool expected = (r <= 4 || r == 9) && !(c == 4 && r <= 3);
            const CGridCell* cell = card->GetCell(r, c);
            if (cell->rowSpan && cell->colSpan) {
                EXPECT_EQ(!(cell->state & GVIS_READONLY), expected) << r << "," << c;
            }
        }
    // Header captions are never edited, not even by a click on a year part.
    const QPoint norm = [&] {
        QRect rect;
        card->GetCellBounds(1, 5, rect);
        return rect.center();
    }();
    QTest::mouseClick(frame->cardGrid()->viewport(), Qt::LeftButton, {}, norm);
    EXPECT_FALSE(card->GetInPlaceEditor());

    ClickGroup(kTech);
    ClickList(ListRow(kPrinter), 12);
    for (int c = 2; c <= 9; ++c)
        EXPECT_TRUE(card->GetItemState(2, c) & GVIS_READONLY) << c;
    EXPECT_EQ(CardColour(2, 3), FixedBk()) << "no natural unit: a grey quantity row";
    EXPECT_TRUE(messages.empty());
}

TEST_P(EditorTest, EntryIntoTheCard)
{
    Settings().EnableAutoRecalc = false;
    Row(kLeaf, kBeef, {.valueLast = 2, .sumLast = 180});
    Open(kLeaf);
    ClickGroup(kMeat);
    const int beef = ListRow(kBeef);
    ClickList(beef, 12);

    // A text that does not read back the same is refused and changes nothing.
    for (const char* wrong : {"1,50", "1.23456"}) {
        TypeIntoCard(2, 2, QString::fromUtf8(wrong));
        ASSERT_FALSE(messages.empty()) << wrong;
        EXPECT_EQ(messages.back().text, kWrongData);
        EXPECT_EQ(messages.back().flags, unsigned(MB_ICONEXCLAMATION));
        EXPECT_EQ(CardText(2, 2), "2") << wrong;
        EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueLast"), "20000") << wrong;
    }
    messages.clear();
    TypeIntoCard(2, 2, "1.5");
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueLast"), "15000");
    EXPECT_EQ(CardText(2, 2), "1.5");
    EXPECT_EQ(ListText(beef, 3), "1.5");
    TypeIntoCard(2, 2, "7", Qt::Key_Escape);
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueLast"), "15000") << "Escape saves nothing";
    EXPECT_EQ(CardText(2, 2), "1.5");

    // The parts of the year add up to its total.
    TypeIntoCard(2, 5, "10");
    TypeIntoCard(2, 7, "5");
    EXPECT_EQ(CardText(2, 4), "15");
    EXPECT_EQ(ListText(beef, 5), "15");
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueNext"), "150000");
    TypeIntoCard(9, 2, "  дорого  ");
    EXPECT_EQ(ListText(beef, 12), "дорого");
    EXPECT_EQ(Scalar("select comment from tfctprognozdata where product = ?", {kBeef}).toString(), "дорого");

    // An empty text on a product without a row adds none.
    ClickList(ListRow(kPork), 12);
    TypeIntoCard(2, 2, "");
    EXPECT_EQ(Count("tfctprognozdata", "product = ?", {kPork}), 0);

    // Clicking another row ends the edit: the value goes to the product whose card was edited.
    ClickCard(3, 3);
    ClickCard(3, 3);
    ASSERT_TRUE(frame->cardGrid()->GetInPlaceEditor());
    QTest::keyClicks(frame->cardGrid()->GetInPlaceEditor(), "250");
    ClickList(beef, 12);
    EXPECT_EQ(PeerRaw(kLeaf, kPork, "sumCurr"), "2500000");
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "sumCurr"), "0");
    EXPECT_EQ(CardText(0, 0), QStringLiteral("01101 Мясо говяжье"));

    // A later Delete on a cell whose edit was cancelled still saves.
    TypeIntoCard(3, 2, "1", Qt::Key_Escape);
    QTest::keyClick(frame->cardGrid(), Qt::Key_Delete);
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "sumLast"), "0");
    EXPECT_TRUE(messages.empty());
}

TEST_P(EditorTest, GroupRowsFollowAnEditOrACommand)
{
    EditOneOfTwoSiblings();
    EXPECT_EQ(ListText(frame->totalRow(), 5), "200") << "the \"Всего\" row at once";
    PEER_ROWS(sums,
              QStringLiteral("select %1, (select %2 from tfctprognozdata m join tclsproduct p on p.id = m.product "
                             "where p.parent = g.product and m.receiver = g.receiver) from tfctprognozdata g "
                             "where g.product = %3 and g.receiver = %4")
                  .arg(Raw("g.sumNext"), Raw("sum(m.sumNext)"))
                  .arg(kTech)
                  .arg(kLeaf));
    ASSERT_EQ(sums->size(), 1);
    EXPECT_EQ(sums->front(), "2000000|2000000");

    // Without the automatic recalculation the group rows stay until the command runs.
    Settings().EnableAutoRecalc = false;
    TypeIntoCard(3, 5, "290");
    EXPECT_EQ(ListText(frame->totalRow(), 5), "200");
    EXPECT_EQ(PeerRaw(kSubGroup, kComputer, "sumNext"), "1900000") << "the receiver group as after the first edit";

    // On a receiver group the command asks first: No changes nothing, Yes sums the members.
    Open(kSubGroup);
    ClickGroup(kTech);
    const QStringList before = DumpRows();
    answers = {IDNO};
    EXPECT_TRUE(Command(ID_GROUP_TOTALS));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, CalcTexts::kGroupRecalcQuestion);
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(DumpRows(), before);
    answers = {IDYES};
    EXPECT_TRUE(Command(ID_GROUP_TOTALS));
    EXPECT_EQ(PeerRaw(kSubGroup, kComputer, "sumNext"), "2900000");
    EXPECT_EQ(frame->GetSelectedGroupId(), kTech) << "the tree keeps its selection";
    EXPECT_EQ(ListText(frame->totalRow(), 5), "300");
    Settings().EnableAutoRecalc = true;
    EXPECT_FALSE(Command(ID_GROUP_TOTALS)) << "only without the automatic recalculation";
    EXPECT_EQ(messages.size(), 2u);
}

// Another user's edit holds the rows that an edit's recalculation writes (on SQLite the file's write
// lock): when the wait ends, by Escape or by its limit, neither the typed figure nor a group row is
// stored, the cell shows the stored value again and the message says nothing was done. Once the other
// user lets go, the same edit stores with its group rows.
TEST_P(EditorTest, AnEditWhoseWaitEndsStoresNeitherItsFigureNorItsGroupRows)
{
    EditOneOfTwoSiblings();
    const QStringList stored = DumpRows();
    InstallLockWaitStatus();
    SetLockWaitWindow(host.get());

    const QString holderName = QStringLiteral("other-user");
    const struct {
        const char* what;
        bool escape; // else the limit, shortened here
    } cases[] = {{"Escape", true}, {"the limit", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.escape && !isPg())
            continue; // SQLite's limit ends the same wait for the write lock
        {
            QSqlDatabase holder = AddPeerConnection(holderName);
            ASSERT_TRUE(holder.open());
            QSqlQuery q(holder);
            // A sibling's edit with the receiver group's row of the product in an open transaction.
            ASSERT_TRUE(q.exec(isPg() ? "begin" : "begin immediate"));
            ASSERT_TRUE(q.exec(QStringLiteral("update tfctprognozdata set comment = 'занято' where receiver = %1 and "
                                              "product = %2")
                                   .arg(kSubGroup)
                                   .arg(kComputer)));
            if (!c.escape)
                Exec("select set_config('lock_timeout', '500', false)");
            messages.clear();
            bool escaped = false;
            {
                CWhileWaiting user(host.get(), [&] {
                    if (!c.escape || !host->findChild<QWidget*>(QStringLiteral("lockWaitStop")))
                        return false;
                    QTest::keyClick(frame, Qt::Key_Escape);
                    return escaped = true;
                });
                TypeIntoCard(3, 5, "290");
            }
            EXPECT_EQ(escaped, c.escape);
            ASSERT_TRUE(q.exec("rollback"));
            q.finish();
            holder.close();
        }
        QSqlDatabase::removeDatabase(holderName);
        if (!c.escape)
            Exec("select set_config('lock_timeout', '120000', false)");
        EXPECT_EQ(DumpRows(), stored);
        EXPECT_EQ(CardText(3, 5), "190");
        EXPECT_EQ(ListText(ListRow(kComputer) + 1, 6), "190");
        EXPECT_EQ(ListText(frame->totalRow(), 5), "200");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Операция не выполнена, повторите ее позже.")))
            << messages[0].text.toStdString();
    }
    SetLockWaitWindow(nullptr);

    messages.clear();
    TypeIntoCard(3, 5, "290");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(ListText(frame->totalRow(), 5), "300");
    EXPECT_EQ(PeerRaw(kLeaf, kComputer, "sumNorm"), "2900000");
    EXPECT_EQ(PeerRaw(kSubGroup, kComputer, "sumNext"), "2900000");
}

TEST_P(EditorTest, FilterConditions)
{
    Row(kLeaf, kBeef, {.valueNorm = 10, .sumNorm = 1000});              // out of bounds
    Row(kLeaf, kPork, {.valueNorm = 1, .sumNorm = 90, .comment = "к"}); // a comment, no mark
    Open(kLeaf);
    ClickGroup(kMeat);
    const auto listed = [this] {
        std::vector<int> ids;
        for (const CRowListEntry& e : frame->rowList())
            ids.push_back(e.productId);
        return ids;
    };
    EXPECT_EQ(listed(), (std::vector<int>{kBeef, kPork}));
    ClickList(ListRow(kPork), 12);
    ASSERT_FALSE(CardText(0, 0).isEmpty());
    EXPECT_TRUE(Command(ID_FILTER_WRONG));
    EXPECT_EQ(listed(), std::vector<int>{kBeef});
    EXPECT_EQ(CardText(0, 0), "") << "the card keeps no product the filter removed";
    EXPECT_EQ(CardText(3, 1), "");
    EXPECT_TRUE(Command(ID_FILTER_COMMENTED));
    EXPECT_EQ(listed(), std::vector<int>{kPork});
    EXPECT_FALSE(frame->filter().onlyWrong) << "the two exclude each other";
    EXPECT_TRUE(UpdateCommand(*frame, ID_BOOK_FILTER).checked());
    EXPECT_TRUE(Command(ID_FILTER_COMMENTED));
    EXPECT_TRUE(Command(ID_FILTER_FILLED));
    EXPECT_EQ(listed(), (std::vector<int>{kBeef, kPork}));
    ClickGroup(kMilk);
    EXPECT_TRUE(listed().empty()) << "no data row";

    // "Очистить" empties the controls only; OK takes what they hold.
    CForecastFilterValues seen;
    DialogHook hook([&](QDialog& dialog) {
        auto& dlg = static_cast<CForecastFilter&>(dialog);
        QTest::mouseClick(dlg.findChild<QPushButton*>("id1136"), Qt::LeftButton);
        EXPECT_FALSE(dlg.findChild<QCheckBox*>("id1134")->isChecked());
        EXPECT_TRUE(frame->filter().onlyFilled);
        QTest::keyClicks(dlg.findChild<QLineEdit*>("id1086"), "01");
        QTest::mouseClick(dlg.findChild<QPushButton*>("id1"), Qt::LeftButton);
        seen = dlg.values();
        return dlg.result();
    });
    EXPECT_TRUE(Command(ID_BOOK_FILTER));
    EXPECT_EQ(seen, (CForecastFilterValues{.code = "01"}));
    EXPECT_EQ(frame->filter(), seen);
    ClickGroup(kRoot);
    EXPECT_EQ(listed(), std::vector<int>{kFood}) << "codes containing 01 only";
    EXPECT_TRUE(messages.empty());
}

TEST_P(EditorTest, SearchTheListThenTheClassifier)
{
    Open(kLeaf);
    EXPECT_EQ(frame->GetSelectedGroupId(), kRoot);
    EXPECT_FALSE(TreeItem(kMeat)) << "never expanded";
    Search("мяс");
    EXPECT_EQ(frame->GetSelectedGroupId(), kMeat);
    const int beef = ListRow(kBeef);
    EXPECT_EQ(frame->listGrid()->GetFocusCell(), CCellID(beef, 3));
    EXPECT_EQ(CardText(0, 0), QStringLiteral("01101 Мясо говяжье"));
    Search("мяс");
    EXPECT_EQ(frame->listGrid()->GetFocusCell(), CCellID(beef + 1, 3)) << "its sum row";
    Search("мяс");
    EXPECT_EQ(frame->GetSelectedGroupId(), kTech);
    EXPECT_EQ(frame->listGrid()->GetFocusCell(), CCellID(ListRow(kMincer), 3));
    EXPECT_EQ(searchBox->count(), 1);

    // Below the last hit the question comes; No ends there, Yes starts from the top.
    Search("компьютер");
    const int computer = ListRow(kComputer);
    ASSERT_EQ(frame->listGrid()->GetFocusCell(), CCellID(computer, 3));
    ClickList(ListRow(kMincer), 3);
    QStringList captions;
    SetMessageBoxHandler(
        [&](const QString& text, unsigned flags, QObject*) {
            messages.push_back({text, flags});
            captions << MessageBoxCaption();
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        },
        true);
    answers = {IDNO};
    Search("компьютер");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kSearchWrap);
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(captions, QStringList{kSearchCaption});
    EXPECT_EQ(frame->listGrid()->GetFocusCell(), CCellID(ListRow(kMincer), 3));
    answers = {IDYES};
    Search("компьютер");
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(frame->listGrid()->GetFocusCell(), CCellID(computer, 3));
    messages.clear();

    // Wildcards and quotes are plain characters.
    for (const auto& [text, product] : {std::pair{"%", kCotton}, {"_", kCotton}, {"'", kArtagnan}}) {
        Search(QString::fromUtf8(text));
        EXPECT_EQ(CardText(0, 0).section(u' ', 0, 0), product == kCotton ? "03_1" : "03.2") << text;
    }
    // A match that the filter hides is not sought again and again.
    frame->SetFilter(CForecastFilterValues{.code = "нет такого"});
    ClickGroup(kRoot);
    Search("мясо");
    EXPECT_EQ(frame->rowList().size(), 0u);
    EXPECT_TRUE(messages.empty());
}

namespace {

// Whether the cell shows its whole text: on one line, or wrapped over the rows it spans where it wraps.
bool ShowsWhole(const CGridView& grid, int row, int col)
{
    const CGridCell* cell = grid.GetCell(row, col);
    QFont font = cell->font;
    if (row < grid.GetFixedRowCount() || col < grid.GetFixedColumnCount())
        font.setWeight(QFont::DemiBold);
    int height = 0;
    for (int r = row; r < row + std::max(1, cell->rowSpan); ++r)
        height += grid.GetRowHeight(r);
    const int margin = grid.Model().GetMargin();
    const QRect room(0, 0, grid.GetColumnWidth(col) - 2 - 2 * margin, height - 2);
    const QRect text =
        QFontMetrics(font).boundingRect(room, (cell->format & DT_WORDBREAK) ? Qt::TextWordWrap : 0, cell->text);
    return text.width() <= room.width() && text.height() <= room.height();
}

// The cells of a grid that do not show their whole text, as "row,column".
QStringList CutCells(const CGridView& grid)
{
    QStringList cut;
    for (int r = 0; r < grid.GetRowCount(); ++r)
        for (int c = 0; c < grid.GetColumnCount(); ++c)
            if (const CGridCell* cell = grid.GetCell(r, c);
                cell->colSpan == 1 && cell->rowSpan > 0 && !cell->text.isEmpty() && !ShowsWhole(grid, r, c))
                cut << QStringLiteral("%1,%2 %3").arg(r).arg(c).arg(cell->text);
    return cut;
}

} // namespace

// A long name, long unit names and figures of many digits show whole: the name over the product's
// two rows in the list and over the card's header rows, which grow to hold it; the card needs no
// scrolling. A width the user gives a column by its divider stays while the rows change and comes
// back with the next editor.
TEST_P(EditorTest, LongNamesUnitsAndFiguresShowWholeAndTheUsersWidthStays)
{
    const QString name = QStringLiteral("Мясо говяжье охлажденное на кости первой категории, в полутушах и "
                                        "четвертинах, для питания учреждений");
    Exec("update tclsproduct set name = ? where id = ?", {name, kBeef});
    Exec("update tclsmeasurement set name = ? where id = 1", {QStringLiteral("Тысяча условных единиц")});
    Exec("update tclsmeasurement set name = ? where id = 2", {QStringLiteral("Тысяча рублей")});
    SetNextPrice(kBeef, 40788.6543);
    Row(kLeaf, kBeef, {123456.789, 4078865430.25});
    const auto open = [this] {
        Open(kLeaf);
        host->resize(1280, 800); // as a maximised main window of that screen shows it
        QTest::qWait(20);
        ClickGroup(kMeat);
    };
    open();
    ClickList(ListRow(kBeef), 3);
    CGridView* list = frame->listGrid();
    const CGridView* card = frame->cardGrid();
    ASSERT_EQ(card->GetItemText(0, 0), QStringLiteral("01101 ") + name);
    EXPECT_EQ(card->GetItemText(7, 4), "44867.5197");
    EXPECT_EQ(CutCells(*card), QStringList());
    EXPECT_EQ(CutCells(*list), QStringList());
    EXPECT_GT(card->GetRowHeight(1), list->GetRowHeight(1)) << "the name takes more lines";
    EXPECT_LE(card->GetVirtualWidth(), card->viewport()->width());
    EXPECT_LE(card->GetVirtualHeight(), card->viewport()->height()) << "the pane grew with the card";

    // The user widens the unit column by its divider.
    const int wide = list->GetColumnWidth(2) + 40;
    const QPoint divider(list->GetColumnWidth(0) + list->GetColumnWidth(1) + list->GetColumnWidth(2) - 1, 5);
    QTest::mouseMove(list->viewport(), divider);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, divider);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, divider + QPoint(40, 0));
    EXPECT_EQ(list->GetColumnWidth(2), wide);
    ClickGroup(kTech);
    ClickGroup(kMeat);
    EXPECT_EQ(list->GetColumnWidth(2), wide);
    host.reset();
    open();
    EXPECT_EQ(frame->listGrid()->GetColumnWidth(2), wide);
}

// Sums of 15 digits before the point show the digits stored (as a double, 101085236071234.4844 ends
// in .484375), whole or marked as cut, "###" in the list and an ellipsis in the card, with the title
// tip holding them whole; an edit that widens a figure widens its list column.
TEST_P(EditorTest, FifteenDigitSumsShowTheirStoredDigitsWholeOrMarkedAsCut)
{
    Settings().EnableAutoRecalc = false;
    for (const auto& [product, value, sum] : {std::tuple{kComputer, 1234567890123456, 1010852360712344844},
                                              {kMincer, 0, 9223372036854775807},
                                              {kTech, 0, 1234567890123456789}})
        Exec("insert into tfctprognozdata (prognoz, product, receiver, valueLast, sumLast) values (1, ?, ?, ?, ?)",
             {product, kLeaf, QVariant::fromValue(Money::fromRaw(value)), QVariant::fromValue(Money::fromRaw(sum))});
    Exec("update tclsproduct set priceIdx = ? where id = ?", {12345678901234.57, kComputer});
    Open(kLeaf);
    ClickGroup(kTech);
    CGridView* list = frame->listGrid();
    CGridView* card = frame->cardGrid();
    // The figures that a grid does not show whole, as "<figure> as <what it shows>".
    const auto cut = [](const CGridView* grid) {
        QStringList out;
        for (int r = 2; r < grid->GetRowCount(); ++r)
            for (int c = 2; c < grid->GetColumnCount(); ++c)
                if (const QString shown = grid->GetShownText(r, c); shown != grid->GetItemText(r, c))
                    out << grid->GetItemText(r, c) + " as " + shown;
        return out;
    };
    const auto tip = [](CGridView* grid, int row, int col) {
        QRect rect;
        grid->GetCellBounds(row, col, rect);
        QMouseEvent move(QEvent::MouseMove, rect.center(), grid->viewport()->mapToGlobal(rect.center()), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(grid->viewport(), &move);
        return grid->GetTitleTip()->isVisible() ? grid->GetTitleTip()->text().trimmed() : QString();
    };
    EXPECT_EQ(cut(list), QStringList());

    // The user narrows the first year's column.
    const QPoint divider(list->GetFixedColumnWidth() + list->GetColumnWidth(3) - 1, 5);
    QTest::mouseMove(list->viewport(), divider);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, divider);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, divider + QPoint(60 - list->GetColumnWidth(3), 0));
    EXPECT_EQ(cut(list),
              QStringList({"123456789012345.6789 as ###", "123456789012.3456 as ###", "101085236071234.4844 as ###",
                           "922337203685477.5807 as ###"}));
    const int computer = ListRow(kComputer);
    EXPECT_EQ(tip(list, computer + 1, 3), "101085236071234.4844");

    host->resize(700, host->height());
    QTest::qWait(20);
    ClickList(computer, 12);
    EXPECT_NE(card->GetShownText(3, 2), card->GetItemText(3, 2));
    for (const QString& c : cut(card))
        EXPECT_TRUE(c.endsWith(QChar(0x2026)) && c.startsWith(c.section(" as ", 1).chopped(1))) << c.toStdString();
    EXPECT_EQ(tip(card, 3, 2), "101085236071234.4844");
    EXPECT_EQ(card->GetItemText(8, 2), "12345678901234.57") << "the six-decimal value stored";

    host->resize(1100, host->height());
    QTest::qWait(20);
    TypeIntoCard(3, 3, "922337203685477.5807");
    EXPECT_EQ(PeerRaw(kLeaf, kComputer, "sumCurr"), "9223372036854775807");
    EXPECT_EQ(list->GetShownText(computer + 1, 4), "922337203685477.5807");
    EXPECT_TRUE(messages.empty());
}

// Under xvfb-run with the xcb platform as well as offscreen.
TEST_P(EditorTest, TheForecastTabOfTheMainWindowShowsTheEditor)
{
    RegisterForecastEditor();
    CMainFrame main(session);
    SetAppMainWindow(&main);
    ASSERT_TRUE(main.Create());
    main.resize(1200, 800);
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    auto* tabs = main.findChild<QTabBar*>(QStringLiteral("id1039"));
    ASSERT_TRUE(tabs);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QTest::qWait(20);
    auto* list = main.findChild<CGridView*>(QStringLiteral("id59648"));
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(Texts(list, 0, 0, 5), QStringList({kCode, kProducts, kUnit, "2024", "2025", "2026"}));
    EXPECT_EQ(Texts(list, 1, 5, 10), QStringList({"Итого", "Норматив", "Индексация", "План", "Формула", "Иное"}));
    EXPECT_EQ(Texts(list, 0, 11, 12), QStringList({kJustification, kComment}));
    EXPECT_EQ(list->GetItemText(2, 0), kTotal);
    // The frame answers the forecast commands while it is shown.
    main.UpdateCommandUI();
    EXPECT_TRUE(main.Action(ID_FILTER_WRONG)->isEnabled());
    EXPECT_TRUE(main.Action(ID_FORECAST_CHECK)->isEnabled());
    EXPECT_TRUE(main.Action(ID_TOTAL_GENERATE)->isEnabled());
    EXPECT_TRUE(main.ExecuteCommand(ID_FILTER_WRONG));
    EXPECT_TRUE(main.ExecuteCommand(ID_SEARCH));
    EXPECT_TRUE(main.findChild<QComboBox*>("id1016")->hasFocus());

    // The grids' menu is made of the window's own actions, the filter checked as it is.
    QStringList menu;
    QTimer::singleShot(100, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(popup);
        for (QAction* action : popup->actions())
            menu << (action->menu() ? action->menu()->title() : action->objectName());
        for (QAction* action : popup->actions().last()->menu()->actions())
            menu << action->objectName() + (action->isChecked() ? "+" : "");
        popup->close();
    });
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(menu, QStringList({"id57634", "id57635", "id57637", "", kFilterMenu, "id32856+", "id32858"}));
    SetAppMainWindow(nullptr);
    PanelFrameFactories() = CPanelFrameFactories{};
    EXPECT_TRUE(messages.empty());
}

class EditorServerTest : public EditorTest { };
INSTANTIATE_TEST_SUITE_P(PostgreSQL, EditorServerTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

// The server ends the editor's session while its save waits for another session's row lock: the
// program says so in its own words, nothing is stored, and the next edit saves on a new connection.
TEST_P(EditorServerTest, ASaveWhoseSessionTheServerEndsSaysSoAndTheNextOneSaves)
{
    Settings().EnableAutoRecalc = false;
    Row(kLeaf, kBeef, {.valueLast = 2, .sumLast = 180});
    Open(kLeaf);
    ClickGroup(kMeat);
    ClickList(ListRow(kBeef), 12);
    CPgAdminSession other(params().dbName);
    ASSERT_EQ(other.exec("begin"), "");
    ASSERT_EQ(other.exec(QStringLiteral("update tfctprognozdata set comment = 'занято' where receiver = %1 "
                                        "and product = %2")
                             .arg(kLeaf)
                             .arg(kBeef)),
              "");
    QString failure;
    std::thread server([&, pid = ServerSessionId()] { failure = TerminateOnceWaiting(params().dbName, pid, 10000); });
    messages.clear();
    TypeIntoCard(2, 2, "7");
    server.join();
    EXPECT_EQ(other.exec("rollback"), "");
    EXPECT_EQ(failure, "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Соединение с сервером базы данных потеряно.")))
        << messages[0].text.toStdString();
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueLast"), "20000");

    messages.clear();
    TypeIntoCard(2, 2, "8");
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(PeerRaw(kLeaf, kBeef, "valueLast"), "80000");
}
