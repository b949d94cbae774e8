#include "ReceiverRoots.h"

#include "ErrorSink.h"
#include "db/SqlQuery.h"
#include "tables/Receivers.h"

namespace {

constexpr CRowReader<CReceiverRecord> kRows{&ReadReceiverRow, UnreadableRow::Skip};

// The children of receivers of category -1 when nothing is at the top level; none after an error.
std::optional<CReceiverList> OldRoots()
{
    CSqlQuery top(QStringLiteral("select count(*) from tclsreceiver where category = 0"));
    if (!top.exec() || !top.next())
        return std::nullopt;
    if (top.value(0).toLongLong() != 0)
        return CReceiverList();
    CSqlQuery q(QStringLiteral("select ") + ReceiverColumns(QStringLiteral("c"))
                + QStringLiteral(" from tclsreceiver c join tclsreceiver p on p.id = c.category "
                                 "where p.category = -1 order by c.id"));
    return kRows.List(q, OnDbError::Silent);
}

bool Repair()
{
    auto roots = OldRoots();
    if (!roots)
        return false;
    if (roots->empty())
        return true;
    CTransaction transaction;
    if (!transaction.isActive())
        return false;
    for (CReceiverRecord& rec : *roots) {
        rec.category = 0;
        if (!SaveReceiver(rec))
            return false;
    }
    return transaction.commit();
}

} // namespace

bool HasUnplacedReceivers()
{
    CSqlQuery q(QStringLiteral("select count(*) from tclsreceiver where category = -1"));
    if (!q.exec() || !q.next())
        return false;
    return q.value(0).toLongLong() != 0;
}

bool RepairReceiverRoots()
{
    // Nothing of the repair is shown: a failure leaves the tree as it was for the next start.
    CErrorCollector quiet;
    const bool repaired = Repair();
    static_cast<void>(quiet.take());
    return repaired;
}
