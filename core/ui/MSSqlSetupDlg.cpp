#include "MSSqlSetupDlg.h"

#include "AppMessage.h"
#include "ModalHook.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The login and its password, alike in both dialogs.
void CreateLoginFields(QWidget* dlg, QLineEdit** login, QLineEdit** password)
{
    *login = new QLineEdit(dlg);
    (*login)->setObjectName(QStringLiteral("userName"));
    *password = new QLineEdit(dlg);
    (*password)->setObjectName(QStringLiteral("password"));
    (*password)->setEchoMode(QLineEdit::Password);
}

// "ОК" and "Отмена".
QDialogButtonBox* CreateOkCancel(QDialog* dlg)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return buttons;
}

} // namespace

const QString CMSSqlSetupDlg::kNoFileMessage = QStringLiteral("Укажите файл базы данных.");
const QString CMSSqlSetupDlg::kNoServerMessage = QStringLiteral("Укажите имя сервера базы данных.");
const QString CMSSqlSetupDlg::kNoTemplateMessage = QStringLiteral("Новую базу данных создать нельзя.\n%1");

CMSSqlSetupDlg::CMSSqlSetupDlg(CDbSetupSettings& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("id106"));
    setWindowTitle(QStringLiteral("Соединение"));

    m_file = new QRadioButton(QStringLiteral("Файл базы данных"), this);
    m_file->setObjectName(QStringLiteral("fileChoice"));
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("dbFile"));
    auto* browse = new QToolButton(this);
    browse->setText(QStringLiteral("..."));
    browse->setObjectName(QStringLiteral("browse"));
    // A new database of the user's, made from the template once the dialog is accepted.
    auto* create = new QToolButton(this);
    create->setText(QStringLiteral("Создать..."));
    create->setObjectName(QStringLiteral("create"));

    m_server = new QRadioButton(QStringLiteral("Сервер базы данных"), this);
    m_server->setObjectName(QStringLiteral("serverChoice"));
    m_host = new QLineEdit(this);
    m_host->setObjectName(QStringLiteral("hostName"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_dbName = new QLineEdit(this);
    m_dbName->setObjectName(QStringLiteral("dbName"));
    CreateLoginFields(this, &m_login, &m_password);
    m_osAuth = new QCheckBox(QStringLiteral("Использовать аутентификацию операционной системы"), this);
    m_osAuth->setObjectName(QStringLiteral("useWindowsAuth"));
    m_savePass = new QCheckBox(QStringLiteral("Запомнить пароль"), this);
    m_savePass->setObjectName(QStringLiteral("savePass"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_file);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_path, 1);
    fileRow->addWidget(browse);
    fileRow->addWidget(create);
    layout->addLayout(fileRow);
    layout->addWidget(m_server);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Сервер:"), m_host);
    form->addRow(QStringLiteral("Порт:"), m_port);
    form->addRow(QStringLiteral("База данных:"), m_dbName);
    form->addRow(QStringLiteral("Имя пользователя:"), m_login);
    form->addRow(QStringLiteral("Пароль:"), m_password);
    layout->addLayout(form);
    layout->addWidget(m_osAuth);
    layout->addWidget(m_savePass);
    layout->addWidget(CreateOkCancel(this));

    connect(m_file, &QRadioButton::toggled, this, [this] { UpdateEnabling(); });
    connect(m_osAuth, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString path = ModalHook().getOpenFileName(this, QStringLiteral("Файл базы данных"), m_path->text(),
                                                         QStringLiteral("База данных (*.db);;Все файлы (*)"));
        if (!path.isEmpty())
            m_path->setText(path);
    });
    connect(create, &QToolButton::clicked, this, [this] {
        // Without a template the new file could not be made: say so before a file is chosen.
        DbError missing;
        if (CDbSetupSettings::TemplateFile(&missing).isEmpty()) {
            AppMessageBox(kNoTemplateMessage.arg(missing.message), MB_OK | MB_ICONEXCLAMATION, this);
            return;
        }
        const QString path = ModalHook().getSaveFileName(this, QStringLiteral("Новая база данных"), m_path->text(),
                                                         QStringLiteral("База данных (*.db)"), QStringLiteral("db"));
        if (path.isEmpty())
            return;
        m_path->setText(path);
        m_created = path;
    });
    load();
}

void CMSSqlSetupDlg::load()
{
    (m_settings.sql == 1 ? m_server : m_file)->setChecked(true);
    m_path->setText(m_settings.dbFile);
    m_host->setText(m_settings.hostName);
    m_port->setValue(m_settings.port > 0 ? m_settings.port : 5432);
    m_dbName->setText(m_settings.dbName);
    m_login->setText(m_settings.userName);
    m_password->setText(m_settings.password);
    m_osAuth->setChecked(m_settings.useWindowsAuth);
    m_savePass->setChecked(m_settings.savePass && !m_settings.password.isEmpty());
    UpdateEnabling();
}

void CMSSqlSetupDlg::store()
{
    m_settings.sql = m_server->isChecked() ? 1 : 0;
    m_settings.dbFile = m_path->text().trimmed();
    m_settings.hostName = m_host->text().trimmed();
    m_settings.port = m_port->value();
    m_settings.dbName = m_dbName->text().trimmed();
    m_settings.userName = m_login->text().trimmed();
    m_settings.password = m_password->text();
    m_settings.useWindowsAuth = m_osAuth->isChecked();
    m_settings.savePass = m_savePass->isChecked();
    m_settings.passwordEntered = true;
    m_settings.createFile = !m_created.isEmpty() && m_settings.sql == 0 && m_settings.dbFile == m_created;
}

void CMSSqlSetupDlg::accept()
{
    // Nothing empty is stored: the connect loop would only fail on it.
    QLineEdit* missing = nullptr;
    QString text;
    if (m_file->isChecked() && m_path->text().trimmed().isEmpty()) {
        missing = m_path;
        text = kNoFileMessage;
    } else if (m_server->isChecked() && m_host->text().trimmed().isEmpty()) {
        missing = m_host;
        text = kNoServerMessage;
    }
    if (missing) {
        AppMessageBox(text, MB_OK | MB_ICONEXCLAMATION, this);
        missing->setFocus();
        return;
    }
    store();
    QDialog::accept();
}

void CMSSqlSetupDlg::UpdateEnabling()
{
    const bool server = m_server->isChecked();
    const bool withLogin = server && !m_osAuth->isChecked();
    m_path->setEnabled(!server);
    findChild<QToolButton*>(QStringLiteral("browse"))->setEnabled(!server);
    findChild<QToolButton*>(QStringLiteral("create"))->setEnabled(!server);
    for (QWidget* w : {static_cast<QWidget*>(m_host), static_cast<QWidget*>(m_port), static_cast<QWidget*>(m_dbName),
                       static_cast<QWidget*>(m_osAuth)})
        w->setEnabled(server);
    for (QWidget* w :
         {static_cast<QWidget*>(m_login), static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_savePass)})
        w->setEnabled(withLogin);
}

CDbPasswordDlg::CDbPasswordDlg(CDbSetupSettings& settings, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("dbPassword"));
    setWindowTitle(LoadStringRes(57344));
    auto* where = new QLabel(
        QStringLiteral("Подключение к базе данных «%1» на сервере «%2».")
            .arg(settings.dbName, settings.hostName.isEmpty() ? QStringLiteral("localhost") : settings.hostName),
        this);
    CreateLoginFields(this, &m_login, &m_password);
    m_login->setText(settings.userName);
    m_savePass = new QCheckBox(QStringLiteral("Запомнить пароль"), this);
    m_savePass->setObjectName(QStringLiteral("savePass"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Имя пользователя:"), m_login);
    form->addRow(QStringLiteral("Пароль:"), m_password);
    layout->addLayout(form);
    layout->addWidget(m_savePass);
    layout->addWidget(CreateOkCancel(this));
    (settings.userName.isEmpty() ? m_login : m_password)->setFocus();
}

void CDbPasswordDlg::accept()
{
    m_settings.userName = m_login->text().trimmed();
    m_settings.password = m_password->text();
    m_settings.savePass = m_savePass->isChecked();
    m_settings.passwordEntered = true;
    QDialog::accept();
}
