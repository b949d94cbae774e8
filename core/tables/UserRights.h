// Rights of the program's users on the receivers of a forecast (tFctUserRights). The table keys a
// right by the login's security id; the program works with user ids (v_SystemUser.id) and lets the
// database translate them.
#pragma once

#include "tables/TableCommon.h"
#include "tables/TableResult.h"

#include <optional>
#include <vector>

struct CUserRightRecord {
    int id = -1; // -1: not stored yet; 0 after a delete
    int userID = 0;
    int forecastID = 0;
    int receiverID = 0;
};

using CUserRightList = std::vector<CUserRightRecord>;

// User ids are the server's unsigned 32-bit role ids, kept in an int.
inline int UserIdFromValue(qlonglong v)
{
    return int(quint32(v));
}
inline qlonglong UserIdValue(int id)
{
    return qlonglong(quint32(id));
}

// None when a column is NULL: the row is left out.
std::optional<CUserRightRecord> ReadUserRightRow(const CSqlQuery& q);
// Rights of existing logins only; none on a database error.
std::optional<CUserRightList> LoadUserRights(const SqlFilter& filter = {});
std::optional<CUserRightList> LoadUserRightsOfUser(int userId);
// Updates the row named by the right's id, else inserts one; the new id is taken only with fetchId.
CTableResult SaveUserRight(CUserRightRecord& right, bool fetchId);
// Journals the deleted right, then sets its id to 0.
CTableResult DeleteUserRight(CUserRightRecord& right);
CTableResult DeleteUserRightsOfUser(int userId);
void WriteUserRightJournal(const CUserRightRecord& right, int operation);

// Shown when users or rights are to be changed in a file database, which has no logins.
inline const QString kUsersNeedServerText =
    QStringLiteral("Пользователи и права доступа ведутся только в базе данных на сервере PostgreSQL.");

// Not done, with kUsersNeedServerText to show, when the main database has no logins. The operations
// on users and rights answer the same first.
CTableResult CheckUsersSupported();
