// The two pages of the settings dialog. Each keeps its values in fields, moved to and from the
// controls explicitly, so the enabling rules can work on the fields as the dialog always did.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QToolButton;

// Up and down arrows that step a number in a buddy edit, also with the arrow keys in the edit.
class CUpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit CUpDownControl(QWidget* parent = nullptr);

    void setBuddy(QLineEdit* edit);
    void setRange(int minimum, int maximum);
    // Sets the position and writes it into the buddy.
    void setPos(int pos);
    int pos() const { return m_pos; }
    // Steps from the number in the buddy when it holds one, else from the last position.
    void step(int delta);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_buddy = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_min = 0;
    int m_max = 100;
    int m_pos = 0;
};

// Outgoing mail.
class CSMTPFrame : public QWidget {
    Q_OBJECT
public:
    explicit CSMTPFrame(QWidget* parent = nullptr);

    QString server;
    int checkLogin = 0;
    QString login;
    QString password;
    int keepPassword = 0;

    void TakeControls();
    void PutControls();

public slots:
    // Login and password make sense only with authentication; without it they are emptied.
    void OnCheckLogin();

private:
    QLineEdit* m_serverEdit;
    QCheckBox* m_checkLoginBox;
    QLineEdit* m_loginEdit;
    QLineEdit* m_passwordEdit;
    QCheckBox* m_keepPasswordBox;
};

// Incoming mail.
class CPOPFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultPeriod = 30;

    explicit CPOPFrame(QWidget* parent = nullptr);

    int enableReceive = 0;
    QString period;
    QString server;
    QString login;
    QString password;

    void TakeControls();
    void PutControls();
    // At the start and after loading: with receiving off the period is reset to its default.
    void ApplyReceiveRule();

public slots:
    // Only enables or disables the period; a typed period stays until the dialog opens again.
    void OnEnableReceive();

private:
    void EnablePeriod();

    QCheckBox* m_enableCheck;
    QLineEdit* m_periodEdit;
    CUpDownControl* m_periodSpin;
    QLineEdit* m_serverEdit;
    QLineEdit* m_loginEdit;
    QLineEdit* m_passwordEdit;
};
