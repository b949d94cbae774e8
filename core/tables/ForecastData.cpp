#include "ForecastData.h"

namespace {

using R = CForecastDataRecord;

const std::array<XmlField<R>, 22> kXmlFields = ForecastRowXmlFields<R>();
const std::array<XmlField<R>, 3> kCommentFields = ForecastCommentXmlFields<R>();

const QString kSelect = QStringLiteral("select id, prognoz, product, receiver, ") + ForecastFigureColumns()
    + QStringLiteral(", comment, base, baseMethod from tfctprognozdata");

constexpr CRowReader<R> kRows{&ReadForecastDataRow, UnreadableRow::Skip};

// Reads one row; none on a database error (reported) or when there is no row.
std::optional<R> FetchForecastData(const CForecastKey& key)
{
    CSqlQuery q(kSelect + QStringLiteral(" where prognoz = ? and receiver = ? and product = ?"));
    q.bind(key.forecast).bind(key.receiver).bind(key.product);
    return kRows.First(q);
}

R NewRecord(const CForecastKey& key)
{
    R rec;
    rec.prognoz = key.forecast;
    rec.receiver = key.receiver;
    rec.product = key.product;
    return rec;
}

} // namespace

template <>
const CXmlFormat<R>& XmlFormatOf<R>()
{
    static const CXmlFormat<R> format{XmlNames::kForecastData, nullptr, kXmlFields};
    return format;
}

std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q)
{
    R rec;
    const auto receiver = ReadRowKey(q, "receiver");
    if (!ReadForecastRowColumns(q, rec) || !receiver)
        return std::nullopt;
    rec.receiver = *receiver;
    return rec;
}

void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination)
{
    const QDateTime kept = destination.lastUpdate;
    destination = source;
    destination.lastUpdate = kept;
}

std::optional<CForecastDataRecord> GetForecastData(const CForecastKey& key)
{
    return FetchForecastData(key);
}

CForecastDataRecord GetOrNewForecastData(const CForecastKey& key)
{
    if (auto rec = GetForecastData(key))
        return *rec;
    return NewRecord(key);
}

std::optional<CForecastDataList> LoadForecastData(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect), filter.args);
}

bool DeleteForecastData(int prognoz)
{
    return ExecSql(QStringLiteral("delete from tfctprognozdata where prognoz = ?"), prognoz);
}

bool HasForecastDataForReceiver(int receiver, int prognoz, OnDbError onError)
{
    const QString sql = QStringLiteral("select count(id) from tfctprognozdata where receiver = ? and prognoz = ?");
    if (onError == OnDbError::Report)
        return CountIsNonZero(sql, receiver, prognoz);
    CSqlQuery q(sql);
    q.bind(receiver).bind(prognoz);
    return !q.exec() || !q.next() || q.value(0).toLongLong() != 0;
}

std::optional<QHash<int, QString>> LoadForecastComments(int prognoz, int receiver)
{
    CSqlQuery q(QStringLiteral("select product, comment from tfctprognozdata "
                               "where prognoz = ? and receiver = ? and comment is not null and comment <> ''"));
    q.bind(prognoz).bind(receiver);
    if (!q.execOrReport())
        return std::nullopt;
    QHash<int, QString> comments;
    while (q.next())
        comments.insert(q.intValue("product"), q.text("comment"));
    return comments;
}

bool HasForecastDataForProduct(int product, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfctprognozdata where product = ? and prognoz = ?"),
                          product, prognoz);
}

std::optional<CForecastDataRecord> GetForecastDataTotals(int prognoz, int receiver, const std::vector<int>& products)
{
    auto fetch = [&](int product) { return FetchForecastData({prognoz, receiver, product}); };
    return ForecastRowTotals(products, NewRecord({prognoz, receiver, 0}), fetch, QStringLiteral("tfctprognozdata"),
                             QStringLiteral("d.prognoz = ? and d.receiver = ?"), {prognoz, receiver});
}

std::optional<CForecastDataList> LoadForecastDataSums(const SqlFilter& filter)
{
    QString sql = QStringLiteral("select prognoz, product");
    for (const auto& m : kForecastMoneyColumns)
        sql += QStringLiteral(", sum(%1) as %1").arg(QLatin1String(m.column));
    sql += QStringLiteral(" from tfctprognozdata");
    if (filter.hasCondition())
        sql += QStringLiteral(" where ") + filter.where;
    sql += QStringLiteral(" group by prognoz, product");
    if (!filter.orderBy.isEmpty())
        sql += QStringLiteral(" order by ") + filter.orderBy;
    CSqlQuery q(sql);
    q.bindAll(filter.args);
    if (!q.execOrReport())
        return std::nullopt;
    CForecastDataList list;
    while (q.next()) {
        R rec = NewRecord({q.intValue("prognoz", 0), 0, q.intValue("product", 0)});
        for (const auto& m : kForecastMoneyColumns)
            rec.*m.field = q.money(m.column);
        list.push_back(std::move(rec));
    }
    if (q.readFailed()) {
        ReportComError(q.lastError());
        return std::nullopt;
    }
    return list;
}

bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId)
{
    static const QString upsert =
        QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, ") + ForecastFigureColumns()
        + QStringLiteral(
            ", comment, base, baseMethod) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?, ?, ?) on conflict (prognoz, product, receiver) do update set ")
        + ExcludedAssignments(ForecastFigureColumnList()
                              << QStringLiteral("comment") << QStringLiteral("base") << QStringLiteral("baseMethod"));
    const auto written = UpsertByKey(upsert, [&](CSqlQuery& q) {
        q.bind(rec.prognoz).bind(rec.product).bind(rec.receiver);
        BindForecastFigures(q, rec);
        q.bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
    });
    if (!written)
        return false;
    if (written->inserted && takeNewId)
        rec.id = written->id;
    WriteForecastDataJournal(rec, written->inserted ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

void WriteForecastDataJournal(const CForecastDataRecord& rec, int operation)
{
    const int op = operation == JOURNAL_INSERT ? JOURNAL_INSERT : JOURNAL_UPDATE;
    QueueJournal([&] {
        return JournalHead(op, "PrognozData", rec.id)
            + QStringLiteral("prognoz=%1; product=%2; receiver=%3").arg(rec.prognoz).arg(rec.product).arg(rec.receiver);
    });
}

xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec)
{
    return RecordToXml<R>(parent, XmlNames::kForecastData, rec, kCommentFields);
}

void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list)
{
    for (const auto& rec : list)
        ForecastCommentToXml(parent, rec);
}
