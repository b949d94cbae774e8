// A shown, active window holding one grid, whose parent records the grid's notifications.
#pragma once

#include "GridView.h"
#include "TestSupport.h"

#include <QImage>
#include <QTest>

#include <vector>

struct Note {
    int code, row, col;
    friend bool operator==(const Note&, const Note&) = default;
    friend void PrintTo(const Note& n, std::ostream* os) { *os << n.code << "@" << n.row << "," << n.col; }
};

class GridHost : public QWidget, public IGridListener {
public:
    std::vector<Note> notes;
    qintptr beginReply = 0; // the answer to LVN_BEGINLABELEDITA
    QStringList options;
    QList<quint32> optionData;
    int commands = 0;

    qintptr OnGridNotify(const GridNotify& n) override
    {
        notes.push_back({n.code, n.row, n.col});
        if (n.code != LVN_BEGINLABELEDITA)
            return 0;
        if (beginReply)
            n.grid->SetOptions(options, optionData);
        return beginReply;
    }
    void OnGridCommand(CGridView*, int) override { ++commands; }
};

// Rows 20 pixels high, columns 60 wide.
template <class Grid>
struct BasicGridWindow {
    GridHost host;
    Grid* grid;

    BasicGridWindow(int rows, int cols, int fixedRows, int fixedCols, QSize size = {600, 400})
    {
        host.resize(size);
        grid = new Grid(rows, cols, fixedRows, fixedCols, &host);
        grid->setGeometry(host.rect());
        for (int r = 0; r < rows; ++r)
            grid->SetRowHeight(r, 20);
        for (int c = 0; c < cols; ++c)
            grid->SetColumnWidth(c, 60);
        host.show();
        host.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&host));
        grid->UpdateScrollBars();
        grid->setFocus();
    }

    QWidget* vp() const { return grid->viewport(); }
    QRect Bounds(int row, int col) const
    {
        QRect r;
        EXPECT_TRUE(grid->GetCellBounds(row, col, r)) << row << "," << col;
        return r;
    }
    QPoint Center(int row, int col) const { return Bounds(row, col).center(); }
    QImage Grab() const { return vp()->grab().toImage(); }
    QColor Pixel(QPoint p) const { return Grab().pixelColor(p); }
    void Click(int row, int col, Qt::KeyboardModifiers mods = {}) const
    {
        QTest::mouseClick(vp(), Qt::LeftButton, mods, Center(row, col));
    }
    // As a real double click arrives: press, release, press, double click, release.
    void DoubleClick(QPoint p) const
    {
        QTest::mouseClick(vp(), Qt::LeftButton, {}, p);
        QTest::mousePress(vp(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(vp(), Qt::LeftButton, {}, p);
        QTest::mouseRelease(vp(), Qt::LeftButton, {}, p);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) const { QTest::keyClick(vp(), key, mods); }
    template <class T>
    T* Editor() const
    {
        return qobject_cast<T*>(grid->GetInPlaceEditor());
    }
};

using GridWindow = BasicGridWindow<CGridView>;
