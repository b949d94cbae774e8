#include "ReceiverRoots.h"

#include "db/SqlQuery.h"

bool HasUnplacedReceivers()
{
    CSqlQuery q(QStringLiteral("select count(*) from tclsreceiver where category = -1"));
    if (!q.exec() || !q.next())
        return false;
    return q.value(0).toLongLong() != 0;
}

bool RepairReceiverRoots()
{
    CTransaction transaction;
    if (!transaction.isActive())
        return false;
    CSqlQuery down(QStringLiteral("update tclsreceiver set category = -1 where category = 0"));
    if (!down.exec())
        return false;
    CSqlQuery up(QStringLiteral(
        "update tclsreceiver set category = 0 where category in (select id from tclsreceiver where category = -1)"));
    if (!up.exec())
        return false;
    int placeholder = -1;
    {
        CSqlQuery first(QStringLiteral("select id from tclsreceiver where category = -1 order by id"));
        if (!first.exec())
            return false;
        if (first.next())
            placeholder = first.intValue("id");
    }
    if (placeholder != -1) {
        CSqlQuery remove(QStringLiteral("delete from tclsreceiver where id = ?"));
        remove.bind(placeholder);
        if (!remove.exec())
            return false;
    }
    // The placeholder is not stored again: a placeholder back at category -1 would make every
    // start flatten the tree by one more level.
    return transaction.commit();
}
