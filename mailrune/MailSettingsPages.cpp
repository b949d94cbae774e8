#include "MailSettingsPages.h"

#include "MailQtText.h"
#include "MailTexts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

template <typename W>
W* Control(W* widget, int id)
{
    widget->setObjectName(QStringLiteral("id%1").arg(id));
    return widget;
}

QLineEdit* PasswordEdit(QWidget* parent, int id)
{
    auto* edit = Control(new QLineEdit(parent), id);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* Label(const char16_t* text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(Text(text), parent);
    label->setBuddy(buddy);
    return label;
}

// Login and password in two rows, labels in the grid's first column: the same on both pages as
// long as nothing else of a page puts a label in that column.
void AddLoginRows(QGridLayout* grid, int row, QLineEdit* login, QLineEdit* password, QWidget* page)
{
    grid->addWidget(Label(MailTexts::LoginLabel, login, page), row, 0);
    grid->addWidget(login, row, 1);
    grid->addWidget(Label(MailTexts::PasswordLabel, password, page), row + 1, 0);
    grid->addWidget(password, row + 1, 1);
    grid->setColumnStretch(1, 1); // rows spanning both columns widen the fields, not the labels
}

} // namespace

CUpDownControl::CUpDownControl(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void CUpDownControl::setBuddy(QLineEdit* edit)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = edit;
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

void CUpDownControl::setRange(int minimum, int maximum)
{
    m_min = minimum;
    m_max = maximum;
    m_pos = qBound(m_min, m_pos, m_max);
}

void CUpDownControl::setPos(int pos)
{
    m_pos = qBound(m_min, pos, m_max);
    if (m_buddy)
        m_buddy->setText(QString::number(m_pos));
}

void CUpDownControl::step(int delta)
{
    if (m_buddy) {
        bool ok = false;
        const qlonglong typed = m_buddy->text().toLongLong(&ok);
        if (ok)
            m_pos = int(std::clamp<qlonglong>(typed, m_min, m_max));
    }
    setPos(m_pos + delta);
}

bool CUpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

CSMTPFrame::CSMTPFrame(QWidget* parent)
    : QWidget(parent)
    , m_serverEdit(Control(new QLineEdit(this), 1001))
    , m_checkLoginBox(Control(new QCheckBox(Text(MailTexts::CheckLogin), this), 1014))
    , m_loginEdit(Control(new QLineEdit(this), 1004))
    , m_passwordEdit(PasswordEdit(this, 1005))
    , m_keepPasswordBox(Control(new QCheckBox(Text(MailTexts::KeepPassword), this), 1015))
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(Label(MailTexts::SmtpServerLabel, m_serverEdit, this), 0, 0, 1, 2);
    grid->addWidget(m_serverEdit, 1, 0, 1, 2);
    grid->addWidget(m_checkLoginBox, 2, 0, 1, 2);
    AddLoginRows(grid, 3, m_loginEdit, m_passwordEdit, this);
    grid->addWidget(m_keepPasswordBox, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
    // The dialog opens with the focus here: the first field of its first page.
    setFocusProxy(m_serverEdit);

    connect(m_checkLoginBox, &QCheckBox::clicked, this, &CSMTPFrame::OnCheckLogin);
    OnCheckLogin();
}

void CSMTPFrame::TakeControls()
{
    server = m_serverEdit->text().trimmed();
    checkLogin = m_checkLoginBox->isChecked() ? 1 : 0;
    login = m_loginEdit->text();
    password = m_passwordEdit->text();
    keepPassword = m_keepPasswordBox->isChecked() ? 1 : 0;
}

void CSMTPFrame::PutControls()
{
    m_serverEdit->setText(server);
    m_checkLoginBox->setChecked(checkLogin != 0);
    m_loginEdit->setText(login);
    m_passwordEdit->setText(password);
    m_keepPasswordBox->setChecked(keepPassword != 0);
}

void CSMTPFrame::OnCheckLogin()
{
    TakeControls();
    m_loginEdit->setEnabled(checkLogin != 0);
    m_passwordEdit->setEnabled(checkLogin != 0);
    if (!checkLogin) {
        login.clear();
        password.clear();
    }
    PutControls();
}

CPOPFrame::CPOPFrame(QWidget* parent)
    : QWidget(parent)
    , m_enableCheck(Control(new QCheckBox(Text(MailTexts::EnableReceive), this), 1007))
    , m_periodEdit(Control(new QLineEdit(this), 1010))
    , m_periodSpin(Control(new CUpDownControl(this), 1009))
    , m_serverEdit(Control(new QLineEdit(this), 1000))
    , m_loginEdit(Control(new QLineEdit(this), 1002))
    , m_passwordEdit(PasswordEdit(this, 1003))
{
    m_periodEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_periodEdit));
    m_periodSpin->setBuddy(m_periodEdit);
    m_periodSpin->setRange(1, 86400);

    // The long period label has a row of its own, so it does not widen the login labels' column.
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(Label(MailTexts::PeriodLabel, m_periodEdit, this));
    auto* periodField = new QHBoxLayout;
    periodField->setSpacing(0);
    periodField->addWidget(m_periodEdit);
    periodField->addWidget(m_periodSpin);
    periodRow->addLayout(periodField, 1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_enableCheck, 0, 0, 1, 2);
    grid->addLayout(periodRow, 1, 0, 1, 2);
    grid->addWidget(Label(MailTexts::Pop3ServerLabel, m_serverEdit, this), 2, 0, 1, 2);
    grid->addWidget(m_serverEdit, 3, 0, 1, 2);
    AddLoginRows(grid, 4, m_loginEdit, m_passwordEdit, this);
    grid->setRowStretch(6, 1);

    connect(m_enableCheck, &QCheckBox::clicked, this, &CPOPFrame::OnEnableReceive);
    ApplyReceiveRule();
}

void CPOPFrame::TakeControls()
{
    enableReceive = m_enableCheck->isChecked() ? 1 : 0;
    period = m_periodEdit->text();
    server = m_serverEdit->text().trimmed();
    login = m_loginEdit->text();
    password = m_passwordEdit->text();
}

void CPOPFrame::PutControls()
{
    m_enableCheck->setChecked(enableReceive != 0);
    m_periodEdit->setText(period);
    m_serverEdit->setText(server);
    m_loginEdit->setText(login);
    m_passwordEdit->setText(password);
}

void CPOPFrame::EnablePeriod()
{
    m_periodEdit->setEnabled(enableReceive != 0);
    m_periodSpin->setEnabled(enableReceive != 0);
}

void CPOPFrame::ApplyReceiveRule()
{
    TakeControls();
    EnablePeriod();
    if (!enableReceive) {
        m_periodSpin->setPos(DefaultPeriod);
        period = QString::number(DefaultPeriod);
    }
    PutControls();
}

void CPOPFrame::OnEnableReceive()
{
    TakeControls();
    EnablePeriod();
}
