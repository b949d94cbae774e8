// The users of a server database and their rights: "Управление доступом" (180) lists the logins
// with their roles, "Пользователь" (181) creates or changes one, the password dialog (193) sets a
// password, and the rights dialog (215) chooses the receivers a user may see in each forecast.
#pragma once

#include "Session.h"
#include "tables/SystemUsers.h"

#include <QDialog>

#include <set>
#include <utility>

class CTreeCtrlX;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CUserPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUserPasswordDlg(QWidget* parent = nullptr);

    QString password;
    void accept() override;
    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* confirmEdit() const { return m_confirm; }

private:
    void UpdateOk();

    QLineEdit* m_password;
    QLineEdit* m_confirm;
    QPushButton* m_ok;
};

class CUserEditDlg : public QDialog {
    Q_OBJECT
public:
    CUserEditDlg(const CSystemUserRecord& user, QWidget* parent = nullptr);

    QString login;
    int roles = 0;
    QString password; // empty: unchanged (an existing user) or none (an external account)

    void accept() override;
    QLineEdit* loginEdit() const { return m_login; }
    QCheckBox* roleBox(int role) const;
    QPushButton* passwordButton() const { return m_passwordButton; }

private:
    void UpdateStates();
    void OnPassword();

    bool m_isNew;
    QLineEdit* m_name;
    QLineEdit* m_login;
    QCheckBox* m_admin;
    QCheckBox* m_expert;
    QCheckBox* m_user;
    QPushButton* m_passwordButton;
};

// The receivers of each forecast that a user may see, as (receiver, forecast) pairs.
class UserRightsSelectDlg : public QDialog {
    Q_OBJECT
public:
    using Pair = std::pair<int, int>;

    UserRightsSelectDlg(int currentForecast, int startReceiver, QWidget* parent = nullptr);

    std::set<Pair> pairs;

    int DoModal();
    QComboBox* forecastBox() const { return m_forecasts; }
    CTreeCtrlX* tree() const { return m_tree; }

private:
    void FillTree();
    void OnItemChanged(QTreeWidgetItem* item);
    int SelectedForecast() const;

    int m_currentForecast;
    int m_startReceiver;
    bool m_filling = false;
    QComboBox* m_forecasts;
    CTreeCtrlX* m_tree;
};

class CUsersDlg : public QDialog {
    Q_OBJECT
public:
    CUsersDlg(const CSessionState& session, QWidget* parent = nullptr);

    // Refuses on a database without logins; else runs the dialog.
    int DoModal();
    QTreeWidget* list() const { return m_list; }
    QPushButton* button(int id) const;

private:
    void Fill();
    void UpdateButtons();
    void OnEdit(bool isNew);
    void OnDelete();
    void OnPassword();
    void OnRights();
    std::optional<CSystemUserRecord> SelectedUser() const;
    void WriteRow(QTreeWidgetItem* item, const CSystemUserRecord& user);

    const CSessionState& m_session;
    QTreeWidget* m_list;
};

// "Администратор, Ведущий специалист, Пользователь" as the bits say.
QString UserRolesText(int roles);
// Any one of the roles the bits say: "«Ведущий специалист» или «Пользователь»".
QString RoleChoiceText(int roles);

namespace UserTexts {
inline const QString kUsersCaption = QStringLiteral("Управление доступом");
inline const QString kUserCaption = QStringLiteral("Пользователь");
inline const QString kDeleteQuestion = QStringLiteral("Вы действительно хотите удалить пользователя?");
inline const QString kDeleteFailed = QStringLiteral("Произошла ошибка при выполнении операции удаления!");
inline const QString kNoLogin = QStringLiteral("Необходимо задать учетную запись пользователя");
inline const QString kNoRole = QStringLiteral("Необходимо указать роль пользователя");
inline const QString kNoPassword = QStringLiteral("Необходимо указать пароль пользователя");
inline const QString kRestartNotice =
    QStringLiteral("Изменения прав доступа активного пользователя вступят в силу после перезапуска приложения");
} // namespace UserTexts
