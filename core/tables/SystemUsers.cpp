#include "SystemUsers.h"

#include "AppMessage.h" // the flags of the notices
#include "tables/Receivers.h"

#include <QHash>

namespace {

const QString kSelect = QStringLiteral("select id, userID, userRoles from v_SystemUser");

bool HasLogins()
{
    return Dialect().HasLogins();
}

std::optional<CSystemUserRecord> ReadSystemUserRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "userID", "userRoles"}))
        return std::nullopt;
    return CSystemUserRecord{UserIdFromValue(q.longValue("id")), q.text("userID"), q.intValue("userRoles"), {}};
}

constexpr CRowReader<CSystemUserRecord> kRows{&ReadSystemUserRow, UnreadableRow::Skip};

// The user's row without its rights; nothing is shown on failure.
std::optional<CSystemUserRecord> UserRowById(int id)
{
    if (!HasLogins())
        return std::nullopt;
    return kRows.FirstOf(OnDbError::Silent, kSelect + QStringLiteral(" where id = ?"), UserIdValue(id));
}

std::optional<CSystemUserRecord> UserRowByLogin(const QString& login)
{
    if (!HasLogins())
        return std::nullopt;
    // Under the "C" collation of role names lower() folds Latin letters only; the schema's folding does
    // Cyrillic too.
    return kRows.FirstOf(
        OnDbError::Silent,
        kSelect
            + QStringLiteral(" where f_LoginLower(userID) = f_LoginLower(?) order by (userID = ?) desc, id limit 1"),
        login, login);
}

std::optional<CSystemUserRecord> WithRights(std::optional<CSystemUserRecord> user)
{
    if (user)
        if (auto rights = LoadUserRightsOfUser(user->id))
            user->rights = std::move(*rights);
    return user;
}

} // namespace

std::optional<CSystemUserRecord> GetSystemUser(int id)
{
    return WithRights(UserRowById(id));
}

std::optional<CSystemUserRecord> GetSystemUserByLogin(const QString& login)
{
    return WithRights(UserRowByLogin(login));
}

std::optional<CSystemUserList> LoadSystemUsers(const SqlFilter& filter)
{
    CSystemUserList list;
    if (!HasLogins())
        return list;
    CSqlQuery q(filter.apply(kSelect, QStringLiteral("userID")));
    q.bindAll(filter.args);
    auto users = kRows.List(q);
    if (!users || users->empty())
        return users;
    list = std::move(*users);

    // The rights of all these users in one statement.
    SqlFilter rightsFilter;
    if (filter.hasCondition())
        rightsFilter = SqlFilter(QStringLiteral("UserID in (select id from v_SystemUser where ") + filter.where
                                     + QStringLiteral(")"),
                                 filter.args);
    auto rights = LoadUserRights(rightsFilter);
    if (!rights)
        return std::nullopt;
    QHash<int, CUserRightList> byUser;
    for (const CUserRightRecord& r : *rights)
        byUser[r.userID].push_back(r);
    for (CSystemUserRecord& user : list)
        user.rights = byUser.value(user.id);
    return list;
}

CTableResult RunUserScript(const QString& login, int roles, bool create, const QString& password)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    // Refused rather than cut: the server would shorten a longer name without a word.
    if (login.size() > kMaxLoginLength || login.toUtf8().size() > kMaxLoginBytes)
        return {false, {kLoginTooLongText, MB_OK | MB_ICONEXCLAMATION}};
    if (create && password.size() > kMaxPasswordLength)
        return {false, {kPasswordTooLongText, MB_OK | MB_ICONEXCLAMATION}};
    // The server quotes the name and the password itself.
    if (create) {
        CSqlQuery q(QStringLiteral("select lir_user_save(?, ?, ?)"));
        q.bind(login).bind(password).bind(roles);
        return q.execOrReport();
    }
    CSqlQuery q(QStringLiteral("select lir_user_revoke(?)"));
    q.bind(login);
    return q.execOrReport();
}

CTableResult SaveSystemUser(CSystemUserRecord& user, const QString& password)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    if (auto script = RunUserScript(user.userID, user.userRoles, true, password); !script)
        return script;
    int id = user.id;
    if (id == 0) {
        // Without a role bit the login is no user: there is nothing to tie the rights to.
        const auto saved = UserRowByLogin(user.userID);
        if (!saved)
            return {false, {kSavedUserNotFoundText.arg(user.userID), MB_OK | MB_ICONEXCLAMATION}};
        id = saved->id;
    }
    if (auto deleted = DeleteUserRightsOfUser(id); !deleted)
        return deleted;
    for (CUserRightRecord& right : user.rights) {
        right.userID = id;
        if (auto saved = SaveUserRight(right, false); !saved)
            return saved;
    }
    // Every save journals as an insert.
    return CommitSave(tx, user, id, JOURNAL_INSERT, &WriteSystemUserJournal);
}

CTableResult DeleteSystemUser(CSystemUserRecord& user)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto stored = UserRowById(user.id);
    // A login that keeps its access is no deleted user: stop before the rights go.
    if (auto script = RunUserScript(user.userID, user.userRoles, false, QString()); !script)
        return script;
    for (CUserRightRecord& right : user.rights)
        if (auto deleted = DeleteUserRight(right); !deleted)
            return deleted;
    if (stored)
        WriteSystemUserJournal(*stored, JOURNAL_DELETE);
    if (!tx.commit())
        return false;
    user.id = 0;
    return true;
}

void WriteSystemUserJournal(const CSystemUserRecord& user, int operation)
{
    QueueJournal(
        [&] { return JournalHead(operation, "SystemUser", user.id) + QStringLiteral("userID=") + user.userID; });
}

bool ReadSessionLogin(CSessionState& session)
{
    SetReceiverListsByRights(false);
    if (!HasLogins())
        return true;
    // The catalog views are readable by every login.
    CSqlQuery q(QStringLiteral(
        "select session_user::text as login, GetUserRoles(session_user) as roles, "
        "(select r.rolsuper or r.oid = (select d.datdba from pg_database d where d.datname = current_database()) "
        "from pg_roles r where r.rolname = session_user) as owner"));
    if (!q.execOrReport() || !q.next())
        return false;
    session.userName = q.text("login");
    session.userRoles = q.value("owner").toBool() ? (ROLE_ADMIN | ROLE_EXPERT | ROLE_USER) : q.intValue("roles", 0);
    SetReceiverListsByRights((session.userRoles & (ROLE_ADMIN | ROLE_EXPERT)) == 0);
    return true;
}
