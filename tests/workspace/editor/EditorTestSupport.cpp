#include "EditorTestSupport.h"

#include "CommandIds.h"
#include "DirectoryTreeView.h"
#include "Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

void EditorTest::SetUp()
{
    CalcDbTest::SetUp();
    if (IsSkipped())
        return;
    Settings().EnableAutoRecalc = true;
    Exec("insert into tfctprognoz (id, name, year, status) values (1, 'Прогноз', 2026, 1)");
    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 1), (2, 'руб.', 2)");
    struct P {
        int id, parent, isgroup, type;
        const char* code;
        const char* name;
        int natural;
        double offsetMin, offsetMax;
        bool priced;
    };
    const P products[] = {
        {kRoot, 0, 1, 64, "", "Продукция", 0, 0, 0, true},
        {kFood, kRoot, 1, 64, "01", "Продовольствие", 0, 0, 0, true},
        {kMeat, kFood, 1, 112, "011", "Мясо", 0, 0, 0, true},
        {kBeef, kMeat, 0, 1, "01101", "Мясо говяжье", 1, 0.9, 1.1, true},
        {kPork, kMeat, 0, 1, "01102", "Свинина", 1, 0.9, 1.1, true},
        {kMilk, kFood, 1, 96, "012", "Молоко", 0, 0, 0, true},
        {kCowMilk, kMilk, 0, 1, "01201", "Молоко коровье", 1, 0.9, 1.1, true},
        {kTech, kRoot, 1, 64, "02", "Техника", 0, 0, 0, true},
        {kComputer, kTech, 0, 1, "02001", "Компьютер", 1, 0.9, 1.1, true},
        {kPrinter, kTech, 0, 1, "02002", "Принтер", 0, 0.9, 1.1, true},
        {kMincer, kTech, 0, 1, "02003", "Мясорубка", 1, 0, 0, true},
        {1204, kTech, 0, 1, "02004", "Мясо без цены", 1, 0, 0, false},
        {kOther, kRoot, 1, 64, "03", "Разное", 0, 0, 0, true},
        {kCotton, kOther, 0, 1, "03_1", "100% хлопок_1", 1, 0, 0, true},
        {kArtagnan, kOther, 0, 1, "03.2", "Д'Артаньян", 1, 0, 0, true},
    };
    int position = 0;
    for (const P& p : products) {
        Exec("insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, code, "
             "position, offsetMin, offsetMax, type, isgroup, balanceTitle, avRep, avCur, avProg, priceIdx) "
             "values (1, ?, ?, ?, 2, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 4.5)",
             {p.id, p.parent, p.natural ? QVariant(p.natural) : QVariant(), QString::fromUtf8(p.name),
              QString::fromUtf8(p.code), ++position, p.offsetMin, p.offsetMax, p.type, p.isgroup,
              p.type == 112 ? QStringLiteral("Прочее мясо") : QStringLiteral("Прочее")});
        if (p.priced)
            Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (1, ?, ?, ?, ?)",
                 {p.id, QVariant::fromValue(Money::fromInt(80)), QVariant::fromValue(Money::fromInt(90)),
                  QVariant::fromValue(Money::fromInt(90))});
    }
    const struct {
        int id, category, isgroup;
        const char* name;
    } receivers[] = {{kTop, 0, 1, "Министерство"},
                     {kSubGroup, kTop, 1, "Управление"},
                     {kLeaf, kSubGroup, 0, "Отдел"},
                     {kRootLeaf, kTop, 0, "Филиал"}};
    for (const auto& r : receivers) {
        // The chain down to the leaf came from above: the leaf is the organisation's own receiver.
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (?, ?, ?, ?, ?, 1, ?)",
             {r.id, r.category, QString::fromUtf8(r.name), r.id, r.id == kRootLeaf ? 0 : r.id, r.isgroup});
        Exec("insert into tclsreceivermap (prognoz, receiver) values (1, ?)", {r.id});
    }
    session.currentForecastId = 1;
    session.forecastYear = 2026;
    session.currentForecastStatus = 1;
    session.ownReceiverId = kLeaf;
}

void EditorTest::TearDown()
{
    host.reset();
    frame = nullptr;
    if (!isPg() && !params().file.isEmpty()) {
        const QString dir = QStringLiteral(LIR_TEST_OUT_DIR "/editor");
        QDir().mkpath(dir);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString copy = dir + u'/' + QString::fromLatin1(info->name()).section(u'/', 0, 0) + QStringLiteral(".db");
        GetDBConnection().Close();
        QFile::remove(copy);
        QFile::copy(params().file, copy);
    }
    Settings().EnableAutoRecalc = true;
    CalcDbTest::TearDown();
}

void EditorTest::Row(int receiver, int product, const Figures& f)
{
    const auto m = [](double v) { return QVariant::fromValue(*Money::fromDouble(v)); };
    Exec("insert into tfctprognozdata (prognoz, product, receiver, valueLast, sumLast, valueNorm, sumNorm, valueNext, "
         "sumNext, comment) values (1, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
         {product, receiver, m(f.valueLast), m(f.sumLast), m(f.valueNorm), m(f.sumNorm), m(f.valueNorm), m(f.sumNorm),
          f.comment});
}

void EditorTest::SetNextPrice(int product, double price)
{
    Exec("update tfctprice set priceNext = ? where product = ?",
         {QVariant::fromValue(*Money::fromDouble(price)), product});
}

void EditorTest::Open(int receiver, int status)
{
    session.currentForecastStatus = status;
    host = std::make_unique<QWidget>();
    host->resize(1100, 700);
    auto* layout = new QVBoxLayout(host.get());
    searchBox = new QComboBox(host.get());
    searchBox->setObjectName(QStringLiteral("id1016"));
    searchBox->setEditable(true);
    searchBox->setInsertPolicy(QComboBox::NoInsert);
    searchButton = new QPushButton(QStringLiteral("Искать"), host.get());
    searchButton->setObjectName(QStringLiteral("id1135"));
    layout->addWidget(searchBox);
    layout->addWidget(searchButton);
    frame = new CForecastFrame(session, host.get());
    layout->addWidget(frame, 1);
    QObject::connect(searchButton, &QPushButton::clicked, [this] { Command(ID_SEARCH_BUTTON); });
    frame->SetReceiver(receiver);
    host->show();
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    QTest::qWait(20); // the panes take their first sizes
    ASSERT_TRUE(frame->tree()->topLevelItemCount() == 1);
}

QTreeWidgetItem* EditorTest::TreeItem(int groupId) const
{
    return frame->tree()->FindItemByData(groupId);
}

void EditorTest::ClickGroup(int groupId)
{
    CDirectoryTreeView* tree = frame->tree();
    for (const int id : [&] {
             std::vector<int> path;
             for (int g = groupId; g > 0;) {
                 path.insert(path.begin(), g);
                 g = g == kRoot ? 0 : Scalar("select parent from tclsproduct where id = ?", {g}).toInt();
             }
             return path;
         }()) {
        QTreeWidgetItem* item = TreeItem(id);
        ASSERT_TRUE(item) << id;
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
        ASSERT_EQ(tree->currentItem(), item) << id;
        if (id != groupId && !item->isExpanded())
            QTest::keyClick(tree, Qt::Key_Right);
    }
}

int EditorTest::ListRow(int product) const
{
    const CGridView* list = frame->listGrid();
    for (int r = list->GetFixedRowCount(); r < list->GetRowCount(); ++r) {
        quint32 id = 0, kind = 0;
        list->GetItemDataPair(r, 0, id, kind);
        if (int(id) == product && kind != 0 && r != frame->totalRow())
            return r;
    }
    return -1;
}

void EditorTest::ClickList(int row, int col)
{
    CGridView* list = frame->listGrid();
    list->ScrollToCell(row, col);
    QRect rect;
    ASSERT_TRUE(list->GetCellBounds(row, col, rect)) << row << "," << col;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void EditorTest::ClickCard(int row, int col)
{
    CGridView* card = frame->cardGrid();
    QRect rect;
    ASSERT_TRUE(card->GetCellBounds(row, col, rect)) << row << "," << col;
    QTest::mouseClick(card->viewport(), Qt::LeftButton, {}, rect.center());
}

void EditorTest::TypeIntoCard(int row, int col, const QString& text, Qt::Key end)
{
    ClickCard(row, col);
    ClickCard(row, col); // a click on the focus cell opens the edit box
    QWidget* editor = frame->cardGrid()->GetInPlaceEditor();
    ASSERT_TRUE(editor) << "no edit box over " << row << "," << col;
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    for (const QChar c : text) {
        // Letters beyond ASCII travel as the text of a key event, as a keyboard layout sends them.
        if (c.unicode() < 128)
            QTest::keyClick(editor, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QTest::keyClick(editor, end);
    QTest::qWait(1);
}

namespace {

QColor Centre(CGridView* grid, int row, int col)
{
    QRect rect;
    if (!grid->GetCellBounds(row, col, rect))
        return QColor();
    // Off the text: a pixel near the left edge, inside the grid lines.
    return grid->viewport()->grab().toImage().pixelColor(rect.left() + 3, rect.center().y());
}

} // namespace

QColor EditorTest::ListColour(int row, int col) const
{
    frame->listGrid()->ScrollToCell(row, col);
    return Centre(frame->listGrid(), row, col);
}

QColor EditorTest::CardColour(int row, int col) const
{
    return Centre(frame->cardGrid(), row, col);
}

void EditorTest::Search(const QString& text)
{
    searchBox->setEditText(text);
    QTest::mouseClick(searchButton, Qt::LeftButton);
}

bool EditorTest::Command(int id)
{
    if (!UpdateCommand(*frame, id).enabled())
        return false;
    return frame->OnCmdMsg(id, CmdMsg::Execute, nullptr);
}

QString EditorTest::PeerRaw(int receiver, int product, const QString& column)
{
    const auto rows = Peer(QStringLiteral("select %1 from tfctprognozdata where prognoz = 1 and receiver = %2 and "
                                          "product = %3")
                               .arg(Raw(column))
                               .arg(receiver)
                               .arg(product));
    return rows && !rows->isEmpty() ? rows->front() : QString();
}
