// The dialog "Подготовка БД" for the server kind, and the About box.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

class CDbPrepDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDbPrepDlg(QWidget* parent = nullptr);

    QString m_server;
    QString m_login;
    QString m_password;
    int m_windowsAuth = 0;

    // Members to controls (save false) or back.
    void DoDataExchange(bool save);
    // Exit code of the program: one preparation's result after OK, nothing done otherwise.
    int exitCode() const { return m_exitCode; }

protected:
    // OK: one preparation with what the controls hold; the dialog closes whatever its outcome.
    void accept() override;

private:
    void UpdateEnabling();

    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_loginEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QCheckBox* m_authCheck = nullptr;
    int m_exitCode;
    QLabel* m_statusLabel = nullptr;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Messages in the program's message box, captioned "Ошибка" for errors.
void InstallPrepMessageBoxUi();
