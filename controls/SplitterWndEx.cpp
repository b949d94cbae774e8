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
    // A splitter never shown has not the user's sizes: it leaves those of an earlier run, or none.
    if (!m_shown)
        return;
    CProfileSettings profile;
    profile.setValue(ProfilePath(QStringLiteral("Panes")), text);
}

void CSplitterWndEx::showEvent(QShowEvent* event)
{
    m_shown = true;
    QSplitter::showEvent(event);
}

QString CSplitterWndEx::ProfilePath(const QString& name) const
{
    return QStringLiteral("SplitterWnd/%1_%2").arg(name).arg(m_number);
}

std::optional<std::pair<int, int>> CSplitterWndEx::StoredSizes() const
{
    CProfileSettings profile;
    const QStringList parts = profile.value(ProfilePath(QStringLiteral("Panes"))).toString().split(u' ');
    if (parts.size() != 4)
        return std::nullopt;
    bool ok1 = false, ok2 = false;
    const int first = parts[1].toInt(&ok1);
    const int second = parts[3].toInt(&ok2);
    if (!ok1 || !ok2 || first <= 0 || second <= 0)
        return std::nullopt;
    return std::pair{first, second};
}

bool CSplitterWndEx::RestoreSizes()
{
    const auto stored = StoredSizes();
    if (!stored || count() < 2)
        return false;
    setSizes({stored->first, stored->second});
    return true;
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
    // A splitter without a parent yet shows with the one it goes into, never as a window of its own.
    if (parentWidget())
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
