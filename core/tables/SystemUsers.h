// The program's users: logins of the PostgreSQL server that may connect to this database and belong to
// at least one of the groups lir_admins, lir_experts and lir_users (v_SystemUser), each with its rights
// on receivers. A file database has no users.
#pragma once

#include "Session.h"
#include "UserRights.h"

#include <optional>
#include <vector>

enum UserRole : int {
    ROLE_ADMIN = 1,  // lir_admins
    ROLE_EXPERT = 2, // lir_experts
    ROLE_USER = 4,   // lir_users
};

struct CSystemUserRecord {
    int id = 0;        // the login's role id; 0 while it is not a user
    QString userID;    // the login
    int userRoles = 0; // UserRole bits
    CUserRightList rights;
};

using CSystemUserList = std::vector<CSystemUserRecord>;

// Limits of a login and a password; a login is also a server identifier of at most 63 bytes.
constexpr int kMaxLoginLength = 100;
constexpr int kMaxLoginBytes = 63;
constexpr int kMaxPasswordLength = 100;

// None when there is no such user (nothing is shown).
std::optional<CSystemUserRecord> GetSystemUser(int id);
// The login is matched without regard to case; an exact match wins.
std::optional<CSystemUserRecord> GetSystemUserByLogin(const QString& login);
// Each user with its rights; an empty list on a file database. None on a database error.
std::optional<CSystemUserList> LoadSystemUsers(const SqlFilter& filter = {});
// Creates or changes the login (create) or revokes its access to the database. A new login gets the
// password unless it holds a backslash (external authentication); an existing one gets a non-empty
// password. The role memberships end equal to the bits. The server refuses logins that are not
// ordinary logins of this database (privileged ones, those of another database).
CTableResult RunUserScript(const QString& login, int roles, bool create, const QString& password);
// Login, access, roles and the user's rights in one transaction; a new user takes its id from its
// login. An empty password keeps the login's password.
CTableResult SaveSystemUser(CSystemUserRecord& user, const QString& password);
// Revokes the login's access (the login stays) and deletes the rights of the user's list.
CTableResult DeleteSystemUser(CSystemUserRecord& user);
void WriteSystemUserJournal(const CSystemUserRecord& user, int operation);

// The session's login: on a server database the connection's login and its role bits (a superuser
// or the database's owner holds every bit: it administers the database with full rights); on the file
// database both stay empty, so that no rights test applies. False after a reported error (then the
// session is left as it was).
[[nodiscard]] bool ReadSessionLogin(CSessionState& session);

inline const QString kLoginTooLongText = QStringLiteral("Слишком длинная учетная запись пользователя.");
inline const QString kPasswordTooLongText = QStringLiteral("Слишком длинный пароль пользователя.");
// %1: the login.
inline const QString kSavedUserNotFoundText =
    QStringLiteral("Учетная запись «%1» не найдена среди пользователей базы данных. Пользователь не сохранен.");
