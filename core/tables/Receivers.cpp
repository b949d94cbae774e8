#include "Receivers.h"

#include "db/Variant.h"

#include <algorithm>
#include <atomic>

namespace {

const std::array<XmlField<CReceiverRecord>, 4> kXmlFields = {{{"name", &CReceiverRecord::name},
                                                              {"email", &CReceiverRecord::email},
                                                              {"importedId", &CReceiverRecord::importedId},
                                                              {"isgroup", &CReceiverRecord::isgroup}}};

std::atomic<bool> g_listsByRights{false};

// r1: the receiver, rm: its map row in the forecast bound first. A list keeps to the receivers the
// login may see. The receivers are found first (by id or group) and their map rows by key: SQLite
// keeps the order of a cross join, and would otherwise read the forecast's whole map for the members
// of each group of a tree walk.
QString ForecastSelect(bool list = false)
{
    return QStringLiteral("select ") + ReceiverColumns(QStringLiteral("r1"))
        + QStringLiteral(" from tclsreceiver r1 cross join tclsreceivermap rm")
        + (list ? ListedReceiversJoin(QStringLiteral("r1.id"), QStringLiteral("rm.prognoz")) : QString())
        + QStringLiteral(" where rm.receiver = r1.id and rm.prognoz = ?");
}

constexpr CRowReader<CReceiverRecord> kRows{&ReadReceiverRow, UnreadableRow::Skip};

} // namespace

template <>
const CXmlFormat<CReceiverRecord>& XmlFormatOf<CReceiverRecord>()
{
    static const CXmlFormat<CReceiverRecord> format{XmlNames::kReceiver, XmlNames::kReceivers, kXmlFields,
                                                    "tclsreceiver"};
    return format;
}

void SetReceiverListsByRights(bool byRights)
{
    g_listsByRights = byRights;
}

bool ReceiverListsByRights()
{
    return g_listsByRights;
}

QString ListedReceiversJoin(const QString& receiverId, const QString& forecast)
{
    if (!g_listsByRights)
        return QString();
    // What V_Receiver grants the login, and the groups of the forecast above each of them.
    return QStringLiteral(" join (with recursive lir_listed (prognoz, id) as ("
                          "select v.prognoz, v.id from v_receiver v"
                          " union "
                          "select u.prognoz, r.category from lir_listed u join tclsreceiver r on r.id = u.id"
                          " join tclsreceivermap m on m.prognoz = u.prognoz and m.receiver = r.category"
                          " where r.category > 0) "
                          "select prognoz, id from lir_listed) listed on listed.id = %1 and listed.prognoz = %2")
        .arg(receiverId, forecast);
}

bool MayWriteReceiverData(int forecast, int receiver)
{
    if (!g_listsByRights)
        return true;
    CSqlQuery q(QStringLiteral("select UserHasRights(?, ?)"));
    q.bind(forecast).bind(receiver);
    return q.execOrReport() && q.next() && q.value(0).toInt() == 1;
}

int FirstGrantedReceiver(int forecast)
{
    CSqlQuery q(QStringLiteral("select v.id from v_receiver v where v.prognoz = ? order by v.position, v.id"));
    q.bind(forecast);
    if (!q.execOrReport() || !q.next())
        return -1;
    return q.value(0).toInt();
}

QString ReceiverColumns(const QString& qualifier)
{
    static const char* const columns[] = {"id",       "category",   "name", "email",
                                          "position", "importedId", "type", "isgroup"};
    QStringList list;
    for (const char* c : columns)
        list << qualifier + u'.' + QLatin1String(c);
    return list.join(QStringLiteral(", "));
}

QString GetReceiverTypeName(int type)
{
    return TextOf(type,
                  {{RT_FEDERAL, u"Федералы"},
                   {RT_REGION, u"Субъекты федерации"},
                   {RT_MUNICIPAL, u"Муниципальные образования"},
                   {RT_OTHER, u"Прочее"}});
}

std::optional<CReceiverRecord> ReadReceiverRow(const CSqlQuery& q)
{
    const auto name = VariantToString(q.value("name"));
    if (!name)
        return std::nullopt;
    CReceiverRecord rec;
    rec.id = q.intValue("id", -1);
    rec.category = q.intValue("category", -1);
    rec.name = *name;
    rec.email = q.text("email");
    rec.position = q.intValue("position", 0);
    rec.importedId = q.intValue("importedId", 0);
    rec.type = q.intValue("type", RT_FEDERAL);
    rec.isgroup = q.intValue("isgroup", 0);
    return rec;
}

std::optional<CReceiverRecord> GetReceiverByImportedId(int importedId)
{
    return kRows.FirstOf(OnDbError::Report,
                         QStringLiteral("select ") + ReceiverColumns(QStringLiteral("r1"))
                             + QStringLiteral(" from tclsreceiver r1 where r1.importedId = ? order by r1.id"),
                         importedId);
}

std::optional<CReceiverRecord> GetForecastReceiverByImportedId(int importedId, int forecast)
{
    return kRows.FirstOf(OnDbError::Report, ForecastSelect() + QStringLiteral(" and r1.importedId = ? order by r1.id"),
                         forecast, importedId);
}

std::optional<CReceiverRecord> GetForecastReceiver(int id, int forecast)
{
    return kRows.FirstOf(OnDbError::Report, ForecastSelect() + QStringLiteral(" and r1.id = ?"), forecast, id);
}

std::optional<CReceiverRecord> GetForecastRootReceiver(int forecast)
{
    return kRows.FirstOf(OnDbError::Report, ForecastSelect() + QStringLiteral(" and r1.category = 0 order by r1.id"),
                         forecast);
}

int FindChildReceiverId(int forecast, int category)
{
    CSqlQuery q(ForecastSelect() + QStringLiteral(" and r1.category = ? order by r1.id"));
    q.bind(forecast).bind(category);
    const auto rec = kRows.First(q);
    return rec ? rec->id : -1;
}

bool IsTopLevelReceiver(int id, int forecast)
{
    const auto rec = GetForecastReceiver(id, forecast);
    return rec && (rec->category == 0 || rec->category == -1);
}

std::optional<CReceiverList> LoadForecastTreeReceivers(int forecast)
{
    CSqlQuery q(ForecastSelect(true) + QStringLiteral(" and r1.category > -1"));
    q.bind(forecast);
    return kRows.List(q);
}

std::optional<CReceiverList> LoadForecastReceivers(int forecast, const SqlFilter& filter)
{
    const QString base = QStringLiteral("select ") + ReceiverColumns(QStringLiteral("tclsreceiver"))
        + QStringLiteral(" from tclsreceiver join tclsreceivermap on tclsreceivermap.receiver = tclsreceiver.id")
        + ListedReceiversJoin(QStringLiteral("tclsreceiver.id"), QStringLiteral("tclsreceivermap.prognoz"))
        + QStringLiteral(" where tclsreceivermap.prognoz = ?");
    CSqlQuery q(filter.applyAnd(base));
    q.bind(forecast).bindAll(filter.args);
    return kRows.List(q);
}

std::optional<CReceiverList> LoadReceiverChildren(int parent, int forecast, const SqlFilter& filter)
{
    const QString base = ForecastSelect(true) + QStringLiteral(" and r1.category = ?");
    CSqlQuery q(filter.applyAnd(base, QStringLiteral("r1.position asc, r1.id asc")));
    q.bind(forecast).bind(parent).bindAll(filter.args);
    return kRows.List(q);
}

std::optional<std::vector<std::pair<int, int>>> LoadReceiversOfCategories(const std::vector<int>& categories)
{
    std::vector<std::pair<int, int>> out;
    if (categories.empty())
        return out;
    CSqlQuery q(QStringLiteral("select id, category from tclsreceiver where ")
                + Dialect().IdSetCondition(QStringLiteral("category")));
    q.bind(IdSetArgument(categories));
    if (!q.execOrReport())
        return std::nullopt;
    while (q.next())
        out.emplace_back(q.value(0).toInt(), q.value(1).toInt());
    return out;
}

std::optional<CReceiverList> LoadReceiverAncestors(int forecast, int id)
{
    CReceiverList list;
    if (id == 0)
        return list;
    // Up the categories while the forecast maps the receiver; the depth bound only stops a cycle, which
    // is cut below where it comes round.
    CSqlQuery q(QStringLiteral("with recursive chain(id, depth) as (select cast(? as integer), 0 union all "
                               "select r.category, chain.depth + 1 from chain join tclsreceiver r on r.id = chain.id "
                               "join tclsreceivermap m on m.receiver = r.id and m.prognoz = ? "
                               "where r.category <> 0 and chain.depth < 1000) select ")
                + ReceiverColumns(QStringLiteral("r1"))
                + QStringLiteral(" from chain join tclsreceiver r1 on r1.id = chain.id join tclsreceivermap rm on "
                                 "rm.receiver = r1.id and rm.prognoz = ? order by chain.depth"));
    q.bind(id).bind(forecast).bind(forecast);
    if (!q.execOrReport())
        return std::nullopt;
    while (q.next()) {
        const auto rec = ReadReceiverRow(q);
        // A receiver without a name ends the chain, as its single read would.
        if (!rec || rec->id != (list.empty() ? id : list.back().category))
            break;
        if (std::any_of(list.begin(), list.end(), [&](const CReceiverRecord& r) { return r.id == rec->id; }))
            break;
        list.push_back(*rec);
    }
    return list;
}

bool SaveReceiver(CReceiverRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = true;
    if (rec.id != -1) {
        CSqlQuery q(QStringLiteral("select count(*) from tclsreceiver where id = ?"));
        q.bind(rec.id);
        if (!q.execOrReport() || !q.next())
            return false;
        isNew = q.value(0).toInt() == 0;
    }
    int id = rec.id;
    if (id == -1) {
        const auto next = NextTableId(QStringLiteral("tclsreceiver"));
        if (!next)
            return false;
        id = *next;
    }
    CSqlQuery q(isNew ? QStringLiteral("insert into tclsreceiver (category, name, email, position, importedId, type, "
                                       "isgroup, id) values (?, ?, ?, ?, ?, ?, ?, ?)")
                      : QStringLiteral("update tclsreceiver set category = ?, name = ?, email = ?, position = ?, "
                                       "importedId = ?, type = ?, isgroup = ? where id = ?"));
    q.bind(rec.category).bind(rec.name).bind(rec.email).bind(rec.position).bind(rec.importedId).bind(rec.type);
    q.bind(rec.isgroup).bind(id);
    if (!q.execOrReport())
        return false;
    return CommitSave(tx, rec, id, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE, &WriteReceiverJournal);
}

bool DeleteReceiver(int id, int forecast)
{
    const auto stored = GetForecastReceiver(id, forecast);
    if (!stored)
        return false;
    // The top group of a forecast stays.
    CSqlQuery q(QStringLiteral("delete from tclsreceiver where id = ? and category <> 0"));
    q.bind(id);
    if (!q.execOrReport() || q.numRowsAffected() <= 0)
        return false;
    WriteReceiverJournal(*stored, JOURNAL_DELETE);
    return true;
}

bool DeleteReceiver(CReceiverRecord& rec, int forecast)
{
    if (!DeleteReceiver(rec.id, forecast))
        return false;
    rec.id = -1;
    return true;
}

void WriteReceiverJournal(const CReceiverRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "Receiver", rec.id) + QStringLiteral("Name=") + rec.name
            + QStringLiteral("; EMail=") + rec.email;
    });
}
