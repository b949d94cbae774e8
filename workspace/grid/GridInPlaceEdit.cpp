#include "GridInPlaceEdit.h"

#include "GridView.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QStyle>
#include <QValidator>

namespace {

CGridView* GridOf(const QWidget* editor)
{
    for (QWidget* w = editor->parentWidget(); w; w = w->parentWidget())
        if (auto* grid = qobject_cast<CGridView*>(w))
            return grid;
    return nullptr;
}

// Page up, page down and the arrow keys by their key numbers; 0 for any other key.
unsigned NavigationKey(int key)
{
    switch (key) {
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    default:
        return 0;
    }
}

// Tab, Enter and Escape end an edit with their key numbers; 0 for any other key.
unsigned EndingKey(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    default:
        return 0;
    }
}

Qt::KeyboardModifiers ModifiersOf(const QKeyEvent* event)
{
    // Shift+Tab arrives as Backtab; the grid moves back on Tab with Shift.
    return event->key() == Qt::Key_Backtab ? event->modifiers() | Qt::ShiftModifier : event->modifiers();
}

// Digits, comma, point and percent sign, with at most one comma or point. A change is judged on
// the whole text after it (typing over a selection, pasting), and is refused only when it adds
// a character outside the set or a second separator, so that a text that was not a number can
// still be shortened.
class NumericValidator : public QValidator {
public:
    NumericValidator(QObject* parent, const QString& accepted)
        : QValidator(parent)
        , m_accepted(accepted)
    {
    }

    State validate(QString& input, int&) const override
    {
        const auto count = [](const QString& text, int& separators) {
            int bad = 0;
            separators = 0;
            for (const QChar ch : text) {
                if (ch == QLatin1Char(',') || ch == QLatin1Char('.'))
                    ++separators;
                else if ((ch < QLatin1Char('0') || ch > QLatin1Char('9')) && ch != QLatin1Char('%'))
                    ++bad;
            }
            return bad;
        };
        int oldSeparators = 0, newSeparators = 0;
        const int oldBad = count(m_accepted, oldSeparators);
        const int newBad = count(input, newSeparators);
        if (newBad > oldBad || (newSeparators > 1 && newSeparators > oldSeparators))
            return Invalid;
        return Acceptable;
    }

private:
    const QString& m_accepted;
};

} // namespace

// ---- the end of an edit

bool CInPlaceEditorEnd::EndsEdit(const QFocusEvent* event)
{
    return event->reason() != Qt::PopupFocusReason;
}

void CInPlaceEditorEnd::EndWithKey(QWidget* self, unsigned key, Qt::KeyboardModifiers modifiers)
{
    m_lastKey = key;
    m_modifiers = modifiers;
    if (CGridView* grid = GridOf(self); grid && self->hasFocus())
        grid->setFocus(Qt::OtherFocusReason); // its focus loss ends the edit
    EndNow();                                 // when the window had no focus to move
}

void CInPlaceEditorEnd::Finish(QWidget* self, const QString& text, unsigned mask, quint32 data2)
{
    if (m_ended)
        return;
    m_ended = true;
    CGridView* grid = GridOf(self);
    if (grid && self->hasFocus())
        grid->setFocus(Qt::OtherFocusReason);
    GridDispInfo info;
    info.idFrom = m_id;
    info.item.row = m_row;
    info.item.col = m_col;
    info.item.mask = mask;
    info.item.text = text;
    info.item.data1 = m_lastKey;
    info.item.data2 = data2;
    info.modifiers = m_modifiers;
    self->hide();
    self->deleteLater();
    if (grid)
        grid->OnEndInPlaceEdit(info);
}

// ---- edit box

GridInPlaceEdit::GridInPlaceEdit(QWidget* parent, const QRect& rect, Qt::Alignment style, int id, int row, int col,
                                 const QString& initialText, unsigned firstKey, bool numericOnly)
    : QLineEdit(parent)
    , CInPlaceEditorEnd(id, row, col)
    , m_initialText(initialText)
    , m_exitOnArrows(firstKey != VK_LBUTTON)
{
    setObjectName(QStringLiteral("id%1").arg(id));
    setAlignment(style | Qt::AlignVCenter);
    setGeometry(rect);
    if (col == 5)
        setMaxLength(255);
    setText(initialText);
    m_accepted = initialText;
    if (numericOnly)
        setValidator(new NumericValidator(this, m_accepted));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_accepted = text;
        Grow();
    });
    show();
    setFocus(Qt::OtherFocusReason);

    const unsigned key = firstKey & ~kTypedChar;
    if (firstKey & kTypedChar) {
        selectAll();
        insert(QString(QChar(char16_t(key))));
    } else if (key == VK_LBUTTON || key == VK_RETURN) {
        end(false);
    } else if (key == VK_BACK) {
        end(false);
        backspace();
    } else if (key == VK_TAB || key == VK_SPACE || (key >= VK_PRIOR && key <= VK_DOWN)) {
        selectAll();
    } else {
        selectAll();
        const char32_t ch = key;
        insert(QString::fromUcs4(&ch, 1));
    }
}

void GridInPlaceEdit::Grow()
{
    const QFontMetrics fm(font());
    const int need =
        fm.horizontalAdvance(text() + QStringLiteral("  ")) + 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    if (need <= width() || !parentWidget())
        return;
    resize(std::max(width(), std::min(need, parentWidget()->width() - x())), height());
}

bool GridInPlaceEdit::event(QEvent* event)
{
    // Every key is the box's own: Tab must not move the focus on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void GridInPlaceEdit::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (const unsigned nav = NavigationKey(event->key()); nav && (m_exitOnArrows || ctrl)) {
        EndWithKey(this, nav, event->modifiers());
        return;
    }
    if (const unsigned key = EndingKey(event->key())) {
        if (key == VK_ESCAPE)
            setText(m_initialText);
        EndWithKey(this, key, ModifiersOf(event));
        return;
    }
    if ((event->modifiers() & Qt::AltModifier) && !ctrl) {
        event->accept(); // system characters are swallowed
        return;
    }
    QLineEdit::keyPressEvent(event);
    event->accept(); // nothing reaches the grid behind the box
}

void GridInPlaceEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (EndsEdit(event))
        EndNow();
}

void GridInPlaceEdit::EndNow()
{
    Finish(this, text(), GVIF_TEXT | GVIF_PARAM, 0);
}

// ---- list of choices

GridInPlaceList::GridInPlaceList(QWidget* parent, const QRect& rect, int id, int row, int col, const QStringList& items,
                                 const QString& initialText, const QList<quint32>& data, unsigned)
    : QComboBox(parent)
    , CInPlaceEditorEnd(id, row, col)
{
    setObjectName(QStringLiteral("id%1").arg(id));
    setMaxVisibleItems(4);
    const QFontMetrics fm(parent ? parent->font() : font());
    int widest = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        addItem(items[i], QVariant::fromValue(i < data.size() ? data[i] : quint32(0)));
        widest = std::max(widest, fm.horizontalAdvance(items[i]));
    }
    const int width =
        widest + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * fm.horizontalAdvance(QLatin1Char(' '));
    QRect place = rect;
    if (width > place.width())
        place.setWidth(width);
    setGeometry(place);
    view()->setMinimumWidth(width);
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].startsWith(initialText)) {
            m_initialIndex = int(i);
            break;
        }
    setCurrentIndex(m_initialIndex);
    show();
    setFocus(Qt::OtherFocusReason);
}

bool GridInPlaceList::event(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QComboBox::event(event);
}

void GridInPlaceList::keyPressEvent(QKeyEvent* event)
{
    if (const unsigned nav = NavigationKey(event->key())) {
        if (event->modifiers() & Qt::ControlModifier) {
            EndWithKey(this, nav, event->modifiers());
            return;
        }
        // Without Ctrl the keys move in the list.
        int index = currentIndex();
        if (nav == VK_LEFT || nav == VK_UP)
            index -= 1;
        else if (nav == VK_RIGHT || nav == VK_DOWN)
            index += 1;
        else
            index += nav == VK_PRIOR ? -maxVisibleItems() : maxVisibleItems();
        setCurrentIndex(std::clamp(index, 0, count() - 1));
        event->accept();
        return;
    }
    if (const unsigned key = EndingKey(event->key())) {
        if (key == VK_ESCAPE)
            setCurrentIndex(m_initialIndex);
        EndWithKey(this, key, ModifiersOf(event));
        return;
    }
    QComboBox::keyPressEvent(event);
    event->accept();
}

void GridInPlaceList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    if (EndsEdit(event))
        EndNow();
}

void GridInPlaceList::EndNow()
{
    Finish(this, currentText(), GVIF_TEXT | GVIF_PARAM | GVIF_PARAM2,
           currentIndex() >= 0 ? currentData().value<quint32>() : 0);
}
