#include "MAILRUNEPropsDlg.h"

#include "MailQtText.h"
#include "MailSettings.h"
#include "MailSettingsPages.h"
#include "MailTexts.h"
#include "MailUiHook.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPushButton* Button(const char16_t* text, int id, QWidget* parent)
{
    auto* button = new QPushButton(Text(text), parent);
    button->setObjectName(QStringLiteral("id%1").arg(id));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CMAILRUNEPropsDlg::CMAILRUNEPropsDlg(QWidget* parent)
    : QDialog(parent)
    , m_smtpPage(new CSMTPFrame)
    , m_popPage(new CPOPFrame)
    , m_tab(new QTabWidget(this))
{
    setWindowTitle(Text(MailTexts::DialogCaption));
    m_tab->setObjectName(QStringLiteral("id1011"));
    m_tab->addTab(m_smtpPage, Text(MailTexts::TabOutgoing));
    m_tab->addTab(m_popPage, Text(MailTexts::TabIncoming));
    m_smtpPage->setObjectName(QStringLiteral("smtpPage"));
    m_popPage->setObjectName(QStringLiteral("popPage"));

    QPushButton* apply = Button(MailTexts::ButtonApply, 3, this);
    QPushButton* ok = Button(MailTexts::ButtonOk, 1, this);
    QPushButton* cancel = Button(MailTexts::ButtonCancel, 2, this);
    ok->setDefault(true);
    connect(apply, &QPushButton::clicked, this, &CMAILRUNEPropsDlg::OnApply);
    connect(ok, &QPushButton::clicked, this, &CMAILRUNEPropsDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tab);
    layout->addLayout(buttons);

    LoadSettings();
    m_tab->setCurrentIndex(0);
    m_smtpPage->setFocus();
}

CMAILRUNEPropsDlg::~CMAILRUNEPropsDlg() = default;

CMailSettings CMAILRUNEPropsDlg::FromPages() const
{
    CMailSettings s;
    s.smtpPassword = m_smtpPage->password;
    s.smtpLogin = m_smtpPage->login;
    s.smtpServer = m_smtpPage->server;
    s.smtpCheckLogin = m_smtpPage->checkLogin;
    s.smtpKeepPassword = m_smtpPage->keepPassword;
    s.pop3Password = m_popPage->password;
    s.pop3Login = m_popPage->login;
    s.pop3Server = m_popPage->server;
    s.receiveTime = m_popPage->period;
    s.enableReceive = m_popPage->enableReceive;
    return s;
}

void CMAILRUNEPropsDlg::ToPages(const CMailSettings& s)
{
    m_smtpPage->password = s.smtpPassword;
    m_smtpPage->login = s.smtpLogin;
    m_smtpPage->server = s.smtpServer;
    m_smtpPage->checkLogin = s.smtpCheckLogin;
    m_smtpPage->keepPassword = s.smtpKeepPassword;
    m_popPage->password = s.pop3Password;
    m_popPage->login = s.pop3Login;
    m_popPage->server = s.pop3Server;
    m_popPage->period = s.receiveTime;
    m_popPage->enableReceive = s.enableReceive;
}

void CMAILRUNEPropsDlg::LoadSettings()
{
    // Values missing from the profile leave the pages' fields as they are.
    CMailSettings s = FromPages();
    s.Load();
    ToPages(s);

    m_smtpPage->PutControls();
    m_popPage->PutControls();
    m_smtpPage->OnCheckLogin();
    m_popPage->ApplyReceiveRule();
}

bool CMAILRUNEPropsDlg::SaveSettings()
{
    m_smtpPage->TakeControls();
    m_popPage->TakeControls();

    const long long period = DecimalValue(m_popPage->period);
    if (period < 1 || period > 86400) {
        MailUiHook().message(this, Text(MailTexts::BadPeriod));
        return false;
    }

    CMailSettings s = FromPages();
    s.Save();
    return true;
}

void CMAILRUNEPropsDlg::OnApply()
{
    SaveSettings();
}

void CMAILRUNEPropsDlg::OnOK()
{
    if (SaveSettings())
        accept();
}
