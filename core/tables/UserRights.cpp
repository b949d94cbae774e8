#include "UserRights.h"

#include "AppMessage.h" // the flags of the notices

namespace {
const QString kSelect = QStringLiteral("select id, UserID, ForecastID, ReceiverID from v_UserRights");
constexpr CRowReader<CUserRightRecord> kRows{&ReadUserRightRow, UnreadableRow::Skip};
} // namespace

CTableResult CheckUsersSupported()
{
    if (Dialect().HasLogins())
        return true;
    return {false, {kUsersNeedServerText, MB_OK | MB_ICONEXCLAMATION}};
}

std::optional<CUserRightRecord> ReadUserRightRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "UserID", "ForecastID", "ReceiverID"}))
        return std::nullopt;
    return CUserRightRecord{q.intValue("id"), UserIdFromValue(q.longValue("UserID")), q.intValue("ForecastID"),
                            q.intValue("ReceiverID")};
}

std::optional<CUserRightList> LoadUserRights(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect, QStringLiteral("id")), filter.args);
}

std::optional<CUserRightList> LoadUserRightsOfUser(int userId)
{
    return LoadUserRights(SqlFilter(QStringLiteral("UserID = ?"), {UserIdValue(userId)}));
}

CTableResult SaveUserRight(CUserRightRecord& right, bool fetchId)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto stored = RowExists(QStringLiteral("select 1 from v_UserRights where id = ?"), right.id);
    if (!stored)
        return false;
    const bool isNew = !*stored;
    int id = right.id;
    // The login's security id is looked up by the user id now; an unknown user gives NULL, which the
    // table refuses.
    if (isNew) {
        CSqlQuery q(QStringLiteral("insert into tFctUserRights (UserSID, ForecastID, ReceiverID) "
                                   "values (f_UserRightsSid(null, ?), ?, ?) returning id"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID);
        if (!q.execOrReport() || !q.next())
            return false;
        if (fetchId)
            id = q.value(0).toInt();
    } else {
        CSqlQuery q(QStringLiteral("update tFctUserRights set UserSID = f_UserRightsSid(null, ?), ForecastID = ?, "
                                   "ReceiverID = ? where id = ?"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID).bind(right.id);
        if (!q.execOrReport())
            return false;
    }
    return CommitSave(tx, right, id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteUserRightJournal);
}

CTableResult DeleteUserRight(CUserRightRecord& right)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    CSqlQuery q(QStringLiteral("delete from v_UserRights where id = ?"));
    q.bind(right.id);
    if (!q.execOrReport())
        return false;
    WriteUserRightJournal(right, JOURNAL_DELETE);
    right.id = 0;
    return true;
}

CTableResult DeleteUserRightsOfUser(int userId)
{
    if (auto supported = CheckUsersSupported(); !supported)
        return supported;
    CSqlQuery q(QStringLiteral("delete from v_UserRights where UserID = ?"));
    q.bind(UserIdValue(userId));
    return q.execOrReport();
}

void WriteUserRightJournal(const CUserRightRecord& right, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "UserRights", right.id)
            + QStringLiteral("userID=%1; receiverID=%2; forecastID=%3")
                  .arg(right.userID)
                  .arg(right.receiverID)
                  .arg(right.forecastID);
    });
}
