// Plain types of the grid control: cell ids and ranges, the cell record, state bits, text formats,
// the transfer record and the notifications the grid sends to its owner.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class CGridView;

struct CCellID {
    int row = -1;
    int col = -1;

    constexpr CCellID() = default;
    constexpr CCellID(int r, int c)
        : row(r)
        , col(c)
    {
    }
    bool IsValid() const { return row >= 0 && col >= 0; }
    friend bool operator==(const CCellID&, const CCellID&) = default;
};

struct CCellRange {
    int minRow = -1;
    int minCol = -1;
    int maxRow = -1;
    int maxCol = -1;

    bool IsValid() const { return minRow >= 0 && minCol >= 0 && minRow <= maxRow && minCol <= maxCol; }
    bool InRange(int row, int col) const { return row >= minRow && row <= maxRow && col >= minCol && col <= maxCol; }
    friend bool operator==(const CCellRange&, const CCellRange&) = default;
};

// Cell state bits.
enum GridCellState : unsigned {
    GVIS_FOCUSED = 1,
    GVIS_SELECTED = 2,
    GVIS_MARKED = 4, // drawn with a frame; set only by the grid's user
    GVIS_READONLY = 8,
    GVIS_MODIFIED = 32,
};

enum GridLines { GVL_NONE = 0, GVL_HORZ = 1, GVL_VERT = 2, GVL_BOTH = 3 };

// Text formats: the numbers of the text-drawing flags that stored layouts use (5 = centred both ways).
enum GridTextFormat : unsigned {
    DT_LEFT = 0,
    DT_CENTER = 1,
    DT_RIGHT = 2,
    DT_VCENTER = 4,
    DT_BOTTOM = 8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_NOCLIP = 0x100,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
    // The grid's own: the cell holds a figure, which is never drawn cut. One too wide for its cell
    // shows "###" (with DT_END_ELLIPSIS its beginning and an ellipsis), and the title tip shows it whole.
    GVF_FIGURE = 0x40000000,
};

// Which fields of a GridItem are meant.
enum GridItemMask : unsigned {
    GVIF_TEXT = 1,
    GVIF_IMAGE = 2,
    GVIF_PARAM = 4, // data 1
    GVIF_STATE = 8,
    GVIF_BKCLR = 16,
    GVIF_FGCLR = 32,
    GVIF_FORMAT = 64,
    GVIF_FONT = 128,
    GVIF_PARAM2 = 256, // data 2 as well (the list editor's choice)
};

// Notification codes sent to the owner.
constexpr int LVN_ITEMCHANGING = -100; // the focus leaves a cell
constexpr int LVN_ITEMCHANGED = -101;  // a cell got the focus
constexpr int LVN_BEGINLABELEDITA =
    -105; // before a cell's text changes; at an edit's start a nonzero reply asks for the list
constexpr int LVN_ENDLABELEDITA = -106; // after a change, or at the end of an edit

// Key numbers that travel as the first key of an edit and as the ending key in data 1.
constexpr unsigned VK_LBUTTON = 1;
constexpr unsigned VK_BACK = 8;
constexpr unsigned VK_TAB = 9;
constexpr unsigned VK_RETURN = 13;
constexpr unsigned VK_ESCAPE = 27;
constexpr unsigned VK_SPACE = 32;
constexpr unsigned VK_PRIOR = 33;
constexpr unsigned VK_NEXT = 34;
constexpr unsigned VK_END = 35;
constexpr unsigned VK_HOME = 36;
constexpr unsigned VK_LEFT = 37;
constexpr unsigned VK_UP = 38;
constexpr unsigned VK_RIGHT = 39;
constexpr unsigned VK_DOWN = 40;
constexpr unsigned VK_DELETE = 46;
// Marks a typed character whose number equals a navigation key's ('!' to '('), so that it is typed.
constexpr unsigned kTypedChar = 0x10000;

// Control id of the in-place editors.
constexpr int kInPlaceEditId = 8;

// One cell. Heap object owned by its row; a derived grid may create derived cells.
class CGridCell {
public:
    CGridCell() = default;
    explicit CGridCell(const QFont& cellFont)
        : font(cellFont)
    {
    }
    virtual ~CGridCell() = default;

    unsigned state = 0;
    unsigned format = 0;
    QString text;
    int image = -1;
    QColor bkColour; // invalid: the grid's colour
    QColor fgColour;
    QFont font;
    quint32 data1 = 0;
    quint32 data2 = 0;
    int rowSpan = 1; // 0: covered by a cell above
    int colSpan = 1; // 0: covered by a cell to the left
};

// Transfer record of GetItem and of the editors' end of an edit.
struct GridItem {
    int row = -1;
    int col = -1;
    unsigned mask = 0;
    unsigned state = 0;
    unsigned format = 0;
    QString text;
    int image = -1;
    QColor bkColour;
    QColor fgColour;
    quint32 data1 = 0;
    quint32 data2 = 0;
    QFont font;
};

struct GridNotify {
    CGridView* grid = nullptr;
    int idFrom = 0;
    int code = 0;
    int row = -1;
    int col = -1;
};

// What an in-place editor reports when its edit ends: data 1 is the key that ended it.
struct GridDispInfo {
    int idFrom = 0;
    GridItem item;
    Qt::KeyboardModifiers modifiers; // held with the ending key (Shift+Tab)
};

// Receives the grid's notifications: set as the grid's owner, or implemented by its parent.
class IGridListener {
public:
    // The reply of LVN_BEGINLABELEDITA at an edit's start chooses the editor; others are ignored.
    virtual qintptr OnGridNotify(const GridNotify& notify) = 0;
    // Queued after the left button is released over a cell.
    virtual void OnGridCommand(CGridView* grid, int id) = 0;

protected:
    ~IGridListener() = default;
};
