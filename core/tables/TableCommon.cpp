#include "TableCommon.h"

#include "AppMessage.h"

#include <QSqlQuery>

QString JournalOperationWord(int operation)
{
    switch (operation) {
    case JOURNAL_INSERT:
        return QStringLiteral("Insert ");
    case JOURNAL_UPDATE:
        return QStringLiteral("Update ");
    default:
        return QStringLiteral("Delete ");
    }
}

QString AppendCondition(const QString& base, const SqlFilter& filter, const QString& defaultOrder)
{
    QString sql = base;
    if (filter.hasCondition())
        sql += QStringLiteral(" and (") + filter.where + QStringLiteral(")");
    const QString order = filter.orderBy.isEmpty() ? defaultOrder : filter.orderBy;
    if (!order.isEmpty())
        sql += QStringLiteral(" order by ") + order;
    return sql;
}

bool LockTableForNewId(const QString& table)
{
    if (GetDBConnection().dialect() != SqlDialect::PostgreSQL)
        return true;
    // Self-conflicting, but readers go on. LOCK cannot be prepared: it runs as plain text.
    QSqlDatabase db = GetDBConnection().GetConnection();
    if (!db.isValid())
        return false;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("lock table ") + table + QStringLiteral(" in share row exclusive mode"))) {
        ReportComError(q.lastError());
        return false;
    }
    return true;
}
