// A splitter of two panes that writes its pane sizes to the profile (SplitterWnd/Panes_<n>) when
// it is destroyed, once it has been shown, so that its owner can give them back at the next start.
// A pane may itself be a nested splitter, owned by this one.
#pragma once

#include <QSplitter>

#include <optional>
#include <utility>
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
    // The sizes of the first and the second pane that the last splitter of this number wrote; none
    // when there are none or they are not sizes.
    std::optional<std::pair<int, int>> StoredSizes() const;
    // The panes take the stored sizes; false (nothing changes) without them.
    bool RestoreSizes();
    // The profile path of a value that belongs with this splitter ("SplitterWnd/<name>_<n>").
    QString ProfilePath(const QString& name) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_shown = false;
    int m_number;
    int m_marker[2] = {-1, -1};
    int m_minSize[2] = {10, 10};
    std::vector<CSplitterWndEx*> m_nested;
};
