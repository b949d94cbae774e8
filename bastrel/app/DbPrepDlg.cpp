#include "DbPrepDlg.h"

#include "DbPrepApp.h"
#include "DbPreparer.h"
#include "MessageBoxDlg.h"
#include "ModalHook.h"
#include "PrepTexts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CDbPrepDlg::CDbPrepDlg(QWidget* parent)
    : QDialog(parent)
    , m_exitCode(PREP_NOTHING)
{
    setObjectName(QStringLiteral("id102"));
    setWindowTitle(PrepTexts::kDialogCaption);

    m_serverEdit = new QLineEdit(this);
    m_serverEdit->setObjectName(QStringLiteral("id1044"));
    m_authCheck = new QCheckBox(PrepTexts::kOsAuth, this);
    m_authCheck->setObjectName(QStringLiteral("id1087"));
    m_loginEdit = new QLineEdit(this);
    m_loginEdit->setObjectName(QStringLiteral("id1045"));
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("id1046"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    auto* warning = new QLabel(PrepTexts::kWarning, this);
    warning->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(PrepTexts::kServerLabel, m_serverEdit);
    form->addRow(m_authCheck);
    form->addRow(PrepTexts::kLoginLabel, m_loginEdit);
    form->addRow(PrepTexts::kPasswordLabel, m_passwordEdit);
    layout->addLayout(form);
    layout->addWidget(warning);
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("status"));
    m_statusLabel->setWordWrap(true);
    layout->addWidget(m_statusLabel);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(PrepTexts::kOk, QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(PrepTexts::kCancel, QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("id2"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDbPrepDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_authCheck, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });

    // In place of the window menu's item, which Qt does not reach.
    auto* about = new QAction(PrepTexts::kAboutItem, this);
    about->setObjectName(QStringLiteral("aboutBastrel"));
    connect(about, &QAction::triggered, this, [this] {
        CAboutDlg dlg(this);
        ExecModal(dlg);
    });
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    UpdateEnabling();
}

void CDbPrepDlg::DoDataExchange(bool save)
{
    if (save) {
        m_server = m_serverEdit->text().trimmed();
        m_login = m_loginEdit->text().trimmed();
        m_password = m_passwordEdit->text();
        m_windowsAuth = m_authCheck->isChecked() ? 1 : 0;
    } else {
        m_serverEdit->setText(m_server);
        m_loginEdit->setText(m_login);
        m_passwordEdit->setText(m_password);
        m_authCheck->setChecked(m_windowsAuth != 0);
    }
}

void CDbPrepDlg::accept()
{
    DoDataExchange(true);
    CDbPreparer preparer;
    preparer.SetPort(CDbPrepApp::ServerPort());
    // The preparation runs on this thread: the text is painted at once, and says why the window waits.
    const auto show = [this](const QString& text) {
        m_statusLabel->setText(text.isEmpty() ? PrepTexts::kPreparing : text);
        m_statusLabel->repaint();
    };
    show(QString());
    preparer.SetStatusHandler(show);
    m_exitCode = preparer.Run(true, m_server, m_login, m_password, m_windowsAuth, QString()) ? PREP_DONE : PREP_FAILED;
    QDialog::accept();
}

void CDbPrepDlg::UpdateEnabling()
{
    const bool withLogin = !m_authCheck->isChecked();
    m_loginEdit->setEnabled(withLogin);
    m_passwordEdit->setEnabled(withLogin);
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id100"));
    setWindowTitle(PrepTexts::kAboutCaption);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(32, 32));
    auto* version = new QLabel(PrepTexts::kAboutVersion, this);
    version->setObjectName(QStringLiteral("version"));
    auto* line = new QLabel(PrepTexts::kAboutLine, this);
    auto* ok = new QPushButton(PrepTexts::kOk, this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(line);
    auto* row = new QHBoxLayout(this);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    row->addWidget(ok, 0, Qt::AlignTop);
}

void InstallPrepMessageBoxUi()
{
    SetMessageBoxHandler([](const QString& text, unsigned flags, QObject* parent) {
        QWidget* owner = qobject_cast<QWidget*>(parent);
        CMessageBoxDlg dlg(owner);
        dlg.setWindowTitle((flags & MB_ICONMASK) == MB_ICONHAND ? PrepTexts::kErrorCaption : PrepTexts::kDialogCaption);
        dlg.SetText(text);
        const MessageBoxLayout layout = MessageBoxButtonsFor(flags);
        for (const auto& b : layout.buttons)
            dlg.AddButton(b.id, b.id == layout.defaultId, b.id == layout.cancelId, int(b.captionId));
        dlg.SetStandardIcon(flags);
        return dlg.DoModal();
    });
}
