#include "UserRights.h"

#include "AppMessage.h"
#include "Journal.h"
#include "TableCommon.h"

namespace {
const QString kSelect = QStringLiteral("select id, UserID, ForecastID, ReceiverID from v_UserRights");
}

bool CheckUsersSupported()
{
    if (GetDBConnection().dialect() == SqlDialect::PostgreSQL)
        return true;
    AppMessageBox(kUsersNeedServerText, MB_OK | MB_ICONEXCLAMATION);
    return false;
}

std::optional<CUserRightRecord> ReadUserRightRow(const CSqlQuery& q)
{
    for (const char* column : {"id", "UserID", "ForecastID", "ReceiverID"})
        if (q.isNull(column))
            return std::nullopt;
    CUserRightRecord r;
    r.id = q.intValue("id");
    r.userID = UserIdFromValue(q.longValue("UserID"));
    r.forecastID = q.intValue("ForecastID");
    r.receiverID = q.intValue("ReceiverID");
    return r;
}

std::optional<CUserRightList> LoadUserRights(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect, QStringLiteral("id")));
    q.bindAll(filter.args);
    if (!q.execOrReport())
        return std::nullopt;
    CUserRightList list;
    while (q.next())
        if (auto r = ReadUserRightRow(q))
            list.push_back(*r);
    return list;
}

std::optional<CUserRightList> LoadUserRightsOfUser(int userId)
{
    return LoadUserRights(SqlFilter(QStringLiteral("UserID = ?"), {UserIdValue(userId)}));
}

bool SaveUserRight(CUserRightRecord& right, bool fetchId)
{
    if (!CheckUsersSupported())
        return false;
    CSqlQuery find(QStringLiteral("select id from v_UserRights where id = ?"));
    find.bind(right.id);
    if (!find.execOrReport())
        return false;
    const bool isNew = !find.next();
    // The login's security id is looked up by the user id now; an unknown user gives NULL, which the
    // table refuses.
    if (isNew) {
        CSqlQuery q(QStringLiteral("insert into tFctUserRights (UserSID, ForecastID, ReceiverID) "
                                   "values (f_UserRightsSid(null, ?), ?, ?) returning id"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID);
        if (!q.execOrReport() || !q.next())
            return false;
        if (fetchId)
            right.id = q.value(0).toInt();
    } else {
        CSqlQuery q(QStringLiteral("update tFctUserRights set UserSID = f_UserRightsSid(null, ?), ForecastID = ?, "
                                   "ReceiverID = ? where id = ?"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID).bind(right.id);
        if (!q.execOrReport())
            return false;
    }
    JournalUserRight(right, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

bool DeleteUserRight(CUserRightRecord& right)
{
    if (!CheckUsersSupported())
        return false;
    CSqlQuery q(QStringLiteral("delete from v_UserRights where id = ?"));
    q.bind(right.id);
    if (!q.execOrReport())
        return false;
    JournalUserRight(right, JOURNAL_DELETE);
    right.id = 0;
    return true;
}

bool DeleteUserRightsOfUser(int userId)
{
    if (!CheckUsersSupported())
        return false;
    CSqlQuery q(QStringLiteral("delete from v_UserRights where UserID = ?"));
    q.bind(UserIdValue(userId));
    return q.execOrReport();
}

void JournalUserRight(const CUserRightRecord& right, int operation)
{
    QString text = JournalOperationWord(operation) + QStringLiteral("UserRights; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(right.id);
    text += QStringLiteral("userID=%1; receiverID=%2; forecastID=%3").arg(right.userID).arg(right.receiverID).arg(right.forecastID);
    WriteOpJournal(text);
}
