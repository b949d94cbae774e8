// A splitter of two panes that writes its pane sizes to the profile (SplitterWnd/Panes_<n>) when
// it is destroyed. A pane may itself be a nested splitter, owned by this one.
#pragma once

#include <QSplitter>

#include <vector>

class CSplitterWndEx : public QSplitter {
    Q_OBJECT
public:
    explicit CSplitterWndEx(int number, QWidget* parent = nullptr);
    ~CSplitterWndEx() override;

    // Side by side: two columns, else two rows. The second view may be missing. Both panes start
    // at 100.
    bool CreateTwoPanes(QWidget* parent, QWidget* first, QWidget* second, bool sideBySide, int id);
    // A splitter of its own in the given pane (0 or 1), with its two views.
    CSplitterWndEx* CreateNestedSplitter(int pane, int number, QWidget* first, QWidget* second, bool sideBySide);

    int number() const { return m_number; }
    // The profile value as it would be written now: "<marker> <first> <marker> <second>".
    QString PanesText() const;

private:
    int m_number;
    int m_marker[2] = {-1, -1};
    int m_minSize[2] = {10, 10};
    std::vector<CSplitterWndEx*> m_nested;
};
