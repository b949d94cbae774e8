#include "SplitterWndEx.h"

#include "ProfileSettings.h"

CSplitterWndEx::CSplitterWndEx(int number, QWidget* parent)
    : QSplitter(parent)
    , m_number(number)
{
    setChildrenCollapsible(false);
}

CSplitterWndEx::~CSplitterWndEx()
{
    // Own sizes first: deleting a nested pane would change them.
    const QString text = PanesText();
    for (CSplitterWndEx* nested : m_nested)
        delete nested; // each writes its own value
    m_nested.clear();
    CProfileSettings profile;
    profile.setValue(QStringLiteral("SplitterWnd/Panes_%1").arg(m_number), text);
}

bool CSplitterWndEx::CreateTwoPanes(QWidget* parent, QWidget* first, QWidget* second, bool sideBySide, int id)
{
    if (!first)
        return false;
    if (parent)
        setParent(parent);
    setOrientation(sideBySide ? Qt::Horizontal : Qt::Vertical);
    setObjectName(QStringLiteral("id%1").arg(id));
    addWidget(first);
    first->setMinimumSize(m_minSize[0], m_minSize[0]);
    QList<int> sizes{100};
    if (second) {
        addWidget(second);
        second->setMinimumSize(m_minSize[1], m_minSize[1]);
        sizes << 100;
    }
    setSizes(sizes);
    show();
    return true;
}

CSplitterWndEx* CSplitterWndEx::CreateNestedSplitter(int pane, int number, QWidget* first, QWidget* second,
                                                     bool sideBySide)
{
    if (pane < 0 || pane > 1)
        return nullptr;
    auto* nested = new CSplitterWndEx(number);
    if (!nested->CreateTwoPanes(nullptr, first, second, sideBySide, number)) {
        delete nested;
        return nullptr;
    }
    if (pane < count()) {
        const QList<int> old = sizes();
        QWidget* previous = replaceWidget(pane, nested);
        // A nested splitter replaced here is gone: the destructor must not delete it again.
        std::erase(m_nested, previous);
        delete previous;
        setSizes(old);
    } else {
        addWidget(nested);
    }
    m_nested.push_back(nested);
    return nested;
}

QString CSplitterWndEx::PanesText() const
{
    int size[2] = {-1, -1};
    const QList<int> current = sizes();
    for (int i = 0; i < 2 && i < current.size(); ++i)
        size[i] = current[i];
    for (int& s : size)
        if (s == -1)
            s = 100;
    return QStringLiteral("%1 %2 %3 %4").arg(m_marker[0]).arg(size[0]).arg(m_marker[1]).arg(size[1]);
}
