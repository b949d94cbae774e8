// The dialog "Соединение": where the main database is (a file, or a server with its login); and the
// password of a server login, asked at start-up when it is not kept.
#pragma once

#include "db/DbSetup.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

class CMSSqlSetupDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMSSqlSetupDlg(CDbSetupSettings& settings, QWidget* parent = nullptr);

    // Copies the settings into the controls and back.
    void load();
    void store();

    QRadioButton* fileChoice() const { return m_file; }
    QRadioButton* serverChoice() const { return m_server; }

    // Refuses an empty file path or server name with a message.
    void accept() override;

    static const QString kNoFileMessage;
    static const QString kNoServerMessage;
    static const QString kNoTemplateMessage; // %1: where the template was looked for

private:
    void UpdateEnabling();

    CDbSetupSettings& m_settings;
    QRadioButton* m_file = nullptr;
    QRadioButton* m_server = nullptr;
    QLineEdit* m_path = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_dbName = nullptr;
    QLineEdit* m_login = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_osAuth = nullptr;
    QCheckBox* m_savePass = nullptr;
    QString m_created; // the path chosen for a new database
};

// Under the program's title, as its messages: the server and database it is for, the login and
// its password (where the cursor stands), and whether to keep the password.
class CDbPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDbPasswordDlg(CDbSetupSettings& settings, QWidget* parent = nullptr);

    // Takes the login and the password into the settings.
    void accept() override;

private:
    CDbSetupSettings& m_settings;
    QLineEdit* m_login = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_savePass = nullptr;
};
