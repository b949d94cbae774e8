// The grid's in-place editors: a free-text edit box and a drop-down list of choices. Each lives
// over one cell from the start of an edit to the loss of its keyboard focus, then reports its text
// and the key that ended it (data 1; 27 = Escape) to the grid and deletes itself.
#pragma once

#include "GridTypes.h"

#include <QComboBox>
#include <QLineEdit>

// The end of an edit, shared by both editors.
class CInPlaceEditorEnd {
public:
    // Reports the edit now unless it was reported already (the grid calls this when it cannot
    // take the focus, e.g. in an inactive window).
    virtual void EndNow() = 0;

protected:
    CInPlaceEditorEnd(int id, int row, int col)
        : m_id(id)
        , m_row(row)
        , m_col(col)
    {
    }
    ~CInPlaceEditorEnd() = default;

    // The key that ends the edit: the focus goes back to the grid, whose taking it ends the edit.
    void EndWithKey(QWidget* self, unsigned key, Qt::KeyboardModifiers modifiers);
    // A focus loss to a popup (the box's context menu, the list's drop-down) keeps the edit open.
    static bool EndsEdit(const QFocusEvent* event);
    // Sends the end record to the grid once and schedules the editor's deletion.
    void Finish(QWidget* self, const QString& text, unsigned mask, quint32 data2);

    int m_id;
    int m_row;
    int m_col;
    unsigned m_lastKey = 0;
    Qt::KeyboardModifiers m_modifiers;
    bool m_ended = false;
};

class GridInPlaceEdit : public QLineEdit, public CInPlaceEditorEnd {
    Q_OBJECT
public:
    // firstKey: VK_LBUTTON or VK_RETURN put the caret at the end, VK_BACK deletes the last
    // character, Tab, space and the navigation keys select the text, any other key is typed
    // over the selected text. Arrow keys end the edit unless it was started by the mouse.
    GridInPlaceEdit(QWidget* parent, const QRect& rect, Qt::Alignment style, int id, int row, int col,
                    const QString& initialText, unsigned firstKey, bool numericOnly);

    void EndNow() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Grow();

    QString m_initialText;
    QString m_accepted; // the text before a change, for the numeric check
    bool m_exitOnArrows;
};

class GridInPlaceList : public QComboBox, public CInPlaceEditorEnd {
    Q_OBJECT
public:
    // Choices with their data words; the first choice that begins with initialText is selected.
    GridInPlaceList(QWidget* parent, const QRect& rect, int id, int row, int col, const QStringList& items,
                    const QString& initialText, const QList<quint32>& data, unsigned firstKey);

    void EndNow() override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_initialIndex = -1;
};
