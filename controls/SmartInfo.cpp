#include "SmartInfo.h"

#include "ModalHook.h"
#include "ProfileSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QString ProfileKey(const QString& key)
{
    return QStringLiteral("Smart/") + key;
}
} // namespace

CSmartInfoDialog::CSmartInfoDialog(const QString& text, const QString& key, QWidget* parent)
    : QDialog(parent)
    , m_key(key)
{
    setObjectName(QStringLiteral("id174"));
    setWindowTitle(QStringLiteral("Прогноз"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("id1099"));
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);

    m_message = new QLabel(text, this);
    m_message->setObjectName(QStringLiteral("id1098"));
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setMinimumWidth(300);

    m_check = new QCheckBox(QStringLiteral("Не показывать более это сообщение"), this);
    m_check->setObjectName(QStringLiteral("id1087"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("id1"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(m_message, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_check);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool IsSmartInfoSuppressed(const QString& key)
{
    CProfileSettings profile;
    return profile.intValue(ProfileKey(key), 0) != 0;
}

void ShowSmartInfo(QWidget* parent, const QString& text, const QString& key)
{
    if (IsSmartInfoSuppressed(key))
        return;
    CSmartInfoDialog dlg(text, key, parent);
    if (ExecModal(dlg) == QDialog::Accepted && dlg.dontShowAgain()->isChecked()) {
        CProfileSettings profile;
        profile.setValue(ProfileKey(key), 1);
    }
}
