#include "MessageBoxDlg.h"

#include "ModalHook.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

CMessageBoxDlg::CMessageBoxDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(LoadStringRes(57344));
    setModal(true);
}

CMessageBoxDlg::~CMessageBoxDlg() = default;

void CMessageBoxDlg::SetText(const QString& text)
{
    m_text = text;
    if (m_textLabel)
        m_textLabel->setText(text);
}

void CMessageBoxDlg::SetStandardIcon(unsigned iconFlags)
{
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxWarning;
    switch (iconFlags & MB_ICONMASK) {
    case MB_ICONHAND:
        pixmap = QStyle::SP_MessageBoxCritical;
        break;
    case MB_ICONQUESTION:
        pixmap = QStyle::SP_MessageBoxQuestion;
        break;
    case MB_ICONASTERISK:
        pixmap = QStyle::SP_MessageBoxInformation;
        break;
    default:
        iconFlags = MB_ICONEXCLAMATION;
        break;
    }
    m_iconFlags = iconFlags & MB_ICONMASK;
    SetIcon(style()->standardIcon(pixmap, nullptr, this));
}

void CMessageBoxDlg::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    m_hasIcon = !icon.isNull();
}

void CMessageBoxDlg::AddButton(int id, bool isDefault, bool isCancel, int captionId)
{
    m_buttons.push_back({id, LoadStringRes(captionId < 0 ? unsigned(id) : unsigned(captionId)), nullptr});
    if (isDefault)
        m_defaultId = id;
    if (isCancel)
        m_cancelId = id;
}

std::vector<int> CMessageBoxDlg::buttonIds() const
{
    std::vector<int> ids;
    for (const auto& b : m_buttons)
        ids.push_back(b.id);
    return ids;
}

QPushButton* CMessageBoxDlg::button(int id) const
{
    for (const auto& b : m_buttons)
        if (b.id == id)
            return b.widget;
    return nullptr;
}

int CMessageBoxDlg::TextWidth() const
{
    // The narrowest width that keeps the text as low as it is at half the screen width: short
    // texts stay on one line, long ones wrap into a dialog narrower than the screen.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int maxWidth = qMax(200, (screen ? screen->availableGeometry().width() : 1024) / 2);
    const QFontMetrics fm(m_textLabel->font());
    int natural = 0;
    for (const QString& line : m_text.split(u'\n'))
        natural = qMax(natural, fm.horizontalAdvance(line));
    natural += 2;
    if (natural <= maxWidth)
        return natural;
    const int target = m_textLabel->heightForWidth(maxWidth);
    int lo = 1, hi = maxWidth;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (m_textLabel->heightForWidth(mid) > target)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void CMessageBoxDlg::CreateControls()
{
    if (m_created)
        return;
    m_created = true;

    auto* outer = new QVBoxLayout(this);
    const int margin = fontMetrics().averageCharWidth() * 5 / 2;
    outer->setContentsMargins(margin, margin, margin, margin * 7 / 10);
    outer->setSpacing(margin * 7 / 10);

    auto* content = new QHBoxLayout;
    content->setSpacing(margin);
    if (m_hasIcon) {
        m_iconLabel = new QLabel(this);
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        m_iconLabel->setPixmap(m_icon.pixmap(side, side));
        m_iconLabel->setAlignment(Qt::AlignTop);
        content->addWidget(m_iconLabel, 0, Qt::AlignTop);
    }
    m_textLabel = new QLabel(m_text, this);
    m_textLabel->setObjectName(QStringLiteral("id65535"));
    m_textLabel->setTextFormat(Qt::PlainText);
    m_textLabel->setWordWrap(true);
    m_textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_textLabel->setFixedWidth(TextWidth());
    m_textLabel->setMinimumHeight(m_textLabel->heightForWidth(m_textLabel->width()));
    content->addWidget(m_textLabel, 1);
    outer->addLayout(content);

    auto* row = new QHBoxLayout;
    row->addStretch();
    const int minWidth = fontMetrics().averageCharWidth() * 10;
    for (auto& b : m_buttons) {
        auto* button = new QPushButton(b.caption, this);
        button->setObjectName(QStringLiteral("id%1").arg(b.id));
        button->setAutoDefault(true);
        button->setMinimumWidth(minWidth);
        const int id = b.id;
        connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
        b.widget = button;
        row->addWidget(button);
    }
    row->addStretch();
    outer->addLayout(row);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    // Without a cancel button there is nothing for the close box to answer.
    if (m_cancelId < 0)
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    if (QPushButton* def = button(m_defaultId)) {
        def->setDefault(true);
        def->setFocus();
    }
}

int CMessageBoxDlg::DoModal()
{
    CreateControls();
    return ExecModal(*this);
}

void CMessageBoxDlg::showEvent(QShowEvent* event)
{
    CreateControls();
    QDialog::showEvent(event);
    if (QPushButton* def = button(m_defaultId))
        def->setFocus();
}

void CMessageBoxDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            for (const auto& b : m_buttons)
                if (b.widget == focused) {
                    done(b.id);
                    return;
                }
        }
        done(m_defaultId);
        return;
    }
    case Qt::Key_Escape:
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CMessageBoxDlg::reject()
{
    // Escape and the close box answer the cancel button; without one they do nothing.
    if (m_cancelId >= 0)
        done(m_cancelId);
}

void InstallAppMessageBoxUi()
{
    SetMessageBoxHandler([](const QString& text, unsigned flags, QObject* parent) {
        QWidget* owner = qobject_cast<QWidget*>(parent);
        if (!owner)
            owner = QApplication::activeWindow();
        CMessageBoxDlg dlg(owner);
        dlg.SetText(text);
        const MessageBoxLayout layout = MessageBoxButtonsFor(flags);
        for (const auto& b : layout.buttons)
            dlg.AddButton(b.id, b.id == layout.defaultId, b.id == layout.cancelId, int(b.captionId));
        dlg.SetStandardIcon(flags);
        if (const QString caption = MessageBoxCaption(); !caption.isEmpty())
            dlg.setWindowTitle(caption);
        return dlg.DoModal();
    });
}
