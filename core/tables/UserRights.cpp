#include "UserRights.h"

#include "AppMessage.h"

namespace {
const QString kSelect = QStringLiteral("select id, UserID, ForecastID, ReceiverID from v_UserRights");
constexpr CRowReader<CUserRightRecord> kRows{&ReadUserRightRow, UnreadableRow::Skip};
} // namespace

bool CheckUsersSupported()
{
    if (Dialect().HasLogins())
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
    return kRows.List(q);
}

std::optional<CUserRightList> LoadUserRightsOfUser(int userId)
{
    return LoadUserRights(SqlFilter(QStringLiteral("UserID = ?"), {UserIdValue(userId)}));
}

bool SaveUserRight(CUserRightRecord& right, bool fetchId)
{
    if (!CheckUsersSupported())
        return false;
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto stored = RowExists(QStringLiteral("select 1 from v_UserRights where id = ?"), right.id);
    if (!stored)
        return false;
    const bool isNew = !*stored;
    CUserRightRecord saved = right;
    // The login's security id is looked up by the user id now; an unknown user gives NULL, which the
    // table refuses.
    if (isNew) {
        CSqlQuery q(QStringLiteral("insert into tFctUserRights (UserSID, ForecastID, ReceiverID) "
                                   "values (f_UserRightsSid(null, ?), ?, ?) returning id"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID);
        if (!q.execOrReport() || !q.next())
            return false;
        if (fetchId)
            saved.id = q.value(0).toInt();
    } else {
        CSqlQuery q(QStringLiteral("update tFctUserRights set UserSID = f_UserRightsSid(null, ?), ForecastID = ?, "
                                   "ReceiverID = ? where id = ?"));
        q.bind(UserIdValue(right.userID)).bind(right.forecastID).bind(right.receiverID).bind(right.id);
        if (!q.execOrReport())
            return false;
    }
    WriteUserRightJournal(saved, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    if (!tx.commit())
        return false;
    right.id = saved.id;
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
    WriteUserRightJournal(right, JOURNAL_DELETE);
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
