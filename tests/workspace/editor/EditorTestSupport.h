// The forecast editor in a shown window with the forecast bar's search box and button, over a small
// classifier on either dialect, driven by mouse and key events. The SQLite database of each test
// is left in build/test-out/editor/ for a look from outside.
#pragma once

#include "CalcTestSupport.h"
#include "ForecastFrame.h"
#include "Session.h"

#include <QColor>
#include <QComboBox>
#include <QPushButton>

#include <memory>

class QTreeWidgetItem;

class EditorTest : public CalcDbTest {
protected:
    // Ids of the classifier.
    enum : int {
        kRoot = 100,
        kFood = 110,  // kind 64, with subgroups
        kMeat = 111,  // kind 112
        kBeef = 1111, // "Мясо говяжье", price bounds 0.9 and 1.1
        kPork = 1112, // "Свинина"
        kMilk = 112,  // kind 96
        kCowMilk = 1121,
        kTech = 120, // kind 64, products only
        kComputer = 1201,
        kPrinter = 1202,  // no natural unit
        kMincer = 1203,   // "Мясорубка"
        kOther = 130,     // kind 64
        kCotton = 1301,   // "100% хлопок_1"
        kArtagnan = 1302, // "Д'Артаньян"
    };
    // Receivers: the root group, a group below it, a leaf below that group, a leaf below the root.
    enum : int { kTop = 1, kSubGroup = 2, kLeaf = 3, kRootLeaf = 4 };

    void SetUp() override;
    void TearDown() override;

    // A data row with the given figures (raw ten-thousandths are written as given times 10,000).
    struct Figures {
        double valueLast = 0, sumLast = 0, valueNorm = 0, sumNorm = 0;
        QString comment{};
    };
    void Row(int receiver, int product, const Figures& f);
    void SetNextPrice(int product, double price);

    // The frame in a shown, active window; the status of the forecast decides what may be edited.
    void Open(int receiver, int status = 1);
    // Expands the branches down to the item of the group by key presses and selects it by a click.
    void ClickGroup(int groupId);
    QTreeWidgetItem* TreeItem(int groupId) const;

    // The list row of a product (its quantity row; the single row of a group); -1 when not listed.
    int ListRow(int product) const;
    QString ListText(int row, int col) const { return frame->listGrid()->GetItemText(row, col); }
    QString CardText(int row, int col) const { return frame->cardGrid()->GetItemText(row, col); }
    void ClickList(int row, int col);
    void ClickCard(int row, int col);
    // Clicks the card cell, types the text into the edit box that opens and ends with the key.
    void TypeIntoCard(int row, int col, const QString& text, Qt::Key end = Qt::Key_Return);
    // Two siblings of one group; the first one's sum typed in the card, as a user's first edit.
    void EditOneOfTwoSiblings()
    {
        Row(kLeaf, kComputer, {.valueNorm = 1, .sumNorm = 90});
        Row(kLeaf, kMincer, {.valueNorm = 2, .sumNorm = 10});
        Open(kLeaf);
        ClickGroup(kTech);
        ClickList(ListRow(kComputer), 12);
        TypeIntoCard(3, 5, "190");
    }
    // The colour drawn at the centre of a cell.
    QColor ListColour(int row, int col) const;
    QColor CardColour(int row, int col) const;
    QColor FixedBk() const { return frame->cardGrid()->Settings().fixedBkColour; }

    void Search(const QString& text);
    // Runs a command through the frame as the main window does: only when it is enabled.
    bool Command(int id);

    // A money column of the data row through sqlite3 or psql, in ten-thousandths; "" without a row.
    QString PeerRaw(int receiver, int product, const QString& column);

    CSessionState session;
    std::unique_ptr<QWidget> host;
    CForecastFrame* frame = nullptr;
    QComboBox* searchBox = nullptr;
    QPushButton* searchButton = nullptr;
};
