#include "ReceiverMap.h"

#include <unordered_set>

bool MapReceiverToForecast(int receiver, int forecast, int count)
{
    if (count < 0)
        return ExecSql(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (?, ?) "
                                      "on conflict (prognoz, receiver) do nothing"),
                       forecast, receiver);
    return ExecSql(
        QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (?, ?, ?) "
                       "on conflict (prognoz, receiver) do update set subReceiverCount = excluded.subReceiverCount"),
        forecast, receiver, count);
}

namespace {

std::optional<int> MapCount(int receiver)
{
    CSqlQuery q(QStringLiteral("select count(receiver) from tclsreceivermap where receiver = ?"));
    q.bind(receiver);
    if (!q.execOrReport() || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

struct MappedReceiver {
    int id;
    int category;
    int isgroup;
    int subReceiverCount;
};

const QString kMappedColumns =
    QStringLiteral("select r.id, r.category, r.isgroup, m.subReceiverCount from tclsreceiver r "
                   "join tclsreceivermap m on m.receiver = r.id where m.prognoz = ?");

MappedReceiver ReadMapped(const CSqlQuery& q)
{
    return {q.intValue("id"), q.intValue("category", -1), q.intValue("isgroup", 0), q.intValue("subReceiverCount", 0)};
}

// Final children count themselves and what they stand for; child groups count what is below them
// unless only the direct final children are wanted (the top group).
int SumChildren(int forecast, int parent, bool descend, std::unordered_set<int>& seen)
{
    std::vector<MappedReceiver> children;
    {
        CSqlQuery q(kMappedColumns + QStringLiteral(" and r.category = ? order by r.position, r.id"));
        q.bind(forecast).bind(parent);
        if (!q.execOrReport())
            return 0;
        while (q.next())
            children.push_back(ReadMapped(q));
    }
    int sum = 0;
    for (const MappedReceiver& child : children) {
        if (child.isgroup == 0)
            sum += 1 + child.subReceiverCount;
        else if (descend && seen.insert(child.id).second)
            sum += SumChildren(forecast, child.id, true, seen);
    }
    return sum;
}

} // namespace

int GetReceiverMapCount(int receiver)
{
    return MapCount(receiver).value_or(0);
}

int IsForecastReceiverGroup(int receiver, int forecast)
{
    CSqlQuery q(QStringLiteral("select r.isgroup from tclsreceiver r join tclsreceivermap rm on rm.receiver = r.id "
                               "where r.id = ? and rm.prognoz = ?"));
    q.bind(receiver).bind(forecast);
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.intValue("isgroup", 0);
}

int GetLeafReceiverCount(int forecast)
{
    CSqlQuery q(QStringLiteral("select count(*) + coalesce(sum(m.subReceiverCount), 0) from tclsreceiver r "
                               "join tclsreceivermap m on m.receiver = r.id where m.prognoz = ? and r.isgroup = 0"));
    q.bind(forecast);
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.value(0).toInt();
}

int GetSubReceiverCount(int forecast, int receiver)
{
    std::optional<MappedReceiver> self;
    {
        CSqlQuery q(kMappedColumns + QStringLiteral(" and r.id = ?"));
        q.bind(forecast).bind(receiver);
        if (!q.execOrReport())
            return 0;
        if (q.next())
            self = ReadMapped(q);
    }
    if (!self)
        return 0;
    if (self->isgroup == 0)
        return 1 + self->subReceiverCount;
    std::unordered_set<int> seen{self->id};
    if (self->category == 0)
        return 1 + SumChildren(forecast, self->id, false, seen);
    return SumChildren(forecast, self->id, true, seen);
}

bool UnmapReceiverFromForecast(int receiver, int forecast)
{
    if (IsTopLevelReceiver(receiver, forecast))
        return true;
    return ExecSql(QStringLiteral("delete from tclsreceivermap where prognoz = ? and receiver = ?"), forecast,
                   receiver);
}

bool RemoveReceiverFromForecast(int receiver, int forecast)
{
    std::optional<CReceiverRecord> before;
    {
        CSqlQuery q(QStringLiteral("select ") + ReceiverColumns(QStringLiteral("r1"))
                    + QStringLiteral(" from tclsreceiver r1 where r1.id = ?"));
        q.bind(receiver);
        if (!q.execOrReport())
            return false;
        if (q.next())
            before = ReadReceiverRow(q);
    }
    CTransaction tx;
    if (!tx.isActive() || !UnmapReceiverFromForecast(receiver, forecast))
        return false;
    // A count that cannot be read must not pass for "mapped nowhere": the row would go, and with it
    // the receiver's data in every other forecast.
    const auto count = MapCount(receiver);
    if (!count)
        return false;
    bool deleted = false;
    if (*count == 0) {
        CSqlQuery q(QStringLiteral("delete from tclsreceiver where id = ? and category <> 0"));
        q.bind(receiver);
        if (!q.execOrReport())
            return false;
        deleted = q.numRowsAffected() > 0;
    }
    if (deleted && before)
        WriteReceiverJournal(*before, JOURNAL_DELETE);
    return tx.commit();
}

std::optional<CReceiverList> LoadReceiversHeldByRights(int forecast)
{
    static constexpr CRowReader<CReceiverRecord> rows{&ReadReceiverRow, UnreadableRow::Skip};
    return rows.ListOf(OnDbError::Report,
                       QStringLiteral("select ") + ReceiverColumns(QStringLiteral("r"))
                           + QStringLiteral(" from tclsreceiver r join tclsreceivermap m on m.receiver = r.id "
                                            "where m.prognoz = ? and r.category <> 0 "
                                            "and not exists (select 1 from tclsreceivermap o "
                                            "where o.receiver = r.id and o.prognoz <> ?) "
                                            "and exists (select 1 from tFctUserRights u where u.ReceiverID = r.id) "
                                            "order by r.id"),
                       {forecast, forecast});
}

bool RemoveReceiverFromForecast(CReceiverRecord& rec, int forecast)
{
    if (!RemoveReceiverFromForecast(rec.id, forecast))
        return false;
    rec.id = -1;
    return true;
}

int GetOwnReceiverId(int forecast)
{
    // not exists rather than "not in": a NULL parent among the imported receivers would make
    // "not in" match nothing. The organisation above (category -1) is imported too, but never our own.
    CSqlQuery q(QStringLiteral("select r.id from tclsreceiver r join tclsreceivermap rm on rm.receiver = r.id "
                               "where rm.prognoz = ? and r.importedId <> 0 and coalesce(r.category, 0) <> -1 "
                               "and not exists ("
                               "select 1 from tclsreceiver r1 join tclsreceivermap rm1 on rm1.receiver = r1.id "
                               "where rm1.prognoz = ? and r1.importedId <> 0 and r1.category = r.id) "
                               "order by r.id"));
    q.bind(forecast).bind(forecast);
    if (!q.execOrReport() || !q.next())
        return -1;
    return q.value(0).toInt();
}

int GetEditedReceiverId(int forecast)
{
    const int own = GetOwnReceiverId(forecast);
    if (!ReceiverListsByRights() || (own > 0 && MayWriteReceiverData(forecast, own)))
        return own;
    const int granted = FirstGrantedReceiver(forecast);
    return granted > 0 ? granted : own;
}
