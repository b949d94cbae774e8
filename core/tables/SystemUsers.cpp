#include "SystemUsers.h"

#include "AppMessage.h"
#include "Journal.h"
#include "TableCommon.h"

#include <QHash>

namespace {

const QString kSelect = QStringLiteral("select id, userID, userRoles from v_SystemUser");

bool HasLogins()
{
    return GetDBConnection().dialect() == SqlDialect::PostgreSQL;
}

std::optional<CSystemUserRecord> ReadSystemUserRow(const CSqlQuery& q)
{
    for (const char* column : {"id", "userID", "userRoles"})
        if (q.isNull(column))
            return std::nullopt;
    CSystemUserRecord r;
    r.id = UserIdFromValue(q.longValue("id"));
    r.userID = q.text("userID");
    r.userRoles = q.intValue("userRoles");
    return r;
}

// The user's row without its rights; nothing is shown on failure.
std::optional<CSystemUserRecord> UserRowById(int id)
{
    if (!HasLogins())
        return std::nullopt;
    CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
    q.bind(UserIdValue(id));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadSystemUserRow(q);
}

std::optional<CSystemUserRecord> UserRowByLogin(const QString& login)
{
    if (!HasLogins())
        return std::nullopt;
    // Under the "C" collation of role names lower() folds Latin letters only; the schema's folding does
    // Cyrillic too.
    CSqlQuery q(kSelect + QStringLiteral(" where f_LoginLower(userID) = f_LoginLower(?) order by (userID = ?) desc, id limit 1"));
    q.bind(login).bind(login);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadSystemUserRow(q);
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
    if (!q.execOrReport())
        return std::nullopt;
    while (q.next())
        if (auto user = ReadSystemUserRow(q))
            list.push_back(std::move(*user));
    if (list.empty())
        return list;

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

bool RunUserScript(const QString& login, int roles, bool create, const QString& password)
{
    if (!CheckUsersSupported())
        return false;
    // Refused rather than cut: the server would shorten a longer name without a word.
    if (login.size() > kMaxLoginLength || login.toUtf8().size() > kMaxLoginBytes) {
        AppMessageBox(kLoginTooLongText, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (create && password.size() > kMaxPasswordLength) {
        AppMessageBox(kPasswordTooLongText, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
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

bool SaveSystemUser(CSystemUserRecord& user, const QString& password)
{
    if (!CheckUsersSupported())
        return false;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    if (!RunUserScript(user.userID, user.userRoles, true, password))
        return false;
    int id = user.id;
    if (id == 0) {
        // Without a role bit the login is no user: there is nothing to tie the rights to.
        const auto saved = UserRowByLogin(user.userID);
        if (!saved) {
            AppMessageBox(kSavedUserNotFoundText.arg(user.userID), MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
        id = saved->id;
    }
    if (!DeleteUserRightsOfUser(id))
        return false;
    for (CUserRightRecord& right : user.rights) {
        right.userID = id;
        if (!SaveUserRight(right, false))
            return false;
    }
    const int previousId = user.id;
    user.id = id;
    // Every save journals as an insert.
    JournalSystemUser(user, JOURNAL_INSERT);
    if (!tx.commit()) {
        user.id = previousId;
        return false;
    }
    return true;
}

bool DeleteSystemUser(CSystemUserRecord& user)
{
    if (!CheckUsersSupported())
        return false;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto stored = UserRowById(user.id);
    // A login that keeps its access is no deleted user: stop before the rights go.
    if (!RunUserScript(user.userID, user.userRoles, false, QString()))
        return false;
    for (CUserRightRecord& right : user.rights)
        if (!DeleteUserRight(right))
            return false;
    if (stored)
        JournalSystemUser(*stored, JOURNAL_DELETE);
    if (!tx.commit())
        return false;
    user.id = 0;
    return true;
}

void JournalSystemUser(const CSystemUserRecord& user, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("SystemUser; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(user.id);
    text += QStringLiteral("userID=") + user.userID;
    WriteOpJournal(text);
}
