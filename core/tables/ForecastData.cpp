#include "ForecastData.h"

#include "Journal.h"
#include "TableCommon.h"
#include "Settings.h"
#include "xml/XmlRecord.h"

#include <array>
#include <climits>

const ForecastMoneyColumn kForecastMoneyColumns[16] = {
    {"sumLast", &CForecastRowFields::sumLast},         {"sumCurr", &CForecastRowFields::sumCurr},
    {"sumNext", &CForecastRowFields::sumNext},         {"valueLast", &CForecastRowFields::valueLast},
    {"valueCurr", &CForecastRowFields::valueCurr},     {"valueNext", &CForecastRowFields::valueNext},
    {"valueNorm", &CForecastRowFields::valueNorm},     {"valueIndex", &CForecastRowFields::valueIndex},
    {"valuePlan", &CForecastRowFields::valuePlan},     {"valueFormula", &CForecastRowFields::valueFormula},
    {"valueOther", &CForecastRowFields::valueOther},   {"sumNorm", &CForecastRowFields::sumNorm},
    {"sumIndex", &CForecastRowFields::sumIndex},       {"sumPlan", &CForecastRowFields::sumPlan},
    {"sumFormula", &CForecastRowFields::sumFormula},   {"sumOther", &CForecastRowFields::sumOther},
};

QDateTime ZeroRecordDate()
{
    static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0));
    return zero;
}

namespace {

using R = CForecastDataRecord;

const std::array<XmlField<R>, 22> kXmlFields = ForecastRowXmlFields<R>();

const QString kColumns = QStringLiteral(
    "id, prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, "
    "valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther, comment, "
    "base, baseMethod");
const QString kSelect = QStringLiteral("select ") + kColumns + QStringLiteral(" from tfctprognozdata");

// Reads one row; none on a database error (shown only when asked) or when there is no row.
std::optional<R> FetchForecastData(int prognoz, int receiver, int product, bool report, QSqlError* error)
{
    CSqlQuery q(kSelect + QStringLiteral(" where prognoz = ? and receiver = ? and product = ?"));
    q.bind(prognoz).bind(receiver).bind(product);
    const bool ok = report ? q.execOrReport() : q.exec();
    if (!ok) {
        if (error)
            *error = q.lastError();
        return std::nullopt;
    }
    while (q.next()) {
        if (auto rec = ReadForecastDataRow(q))
            return rec;
    }
    return std::nullopt;
}

bool CountIsNonZero(const QString& sql, int first, int second)
{
    CSqlQuery q(sql);
    q.bind(first).bind(second);
    if (!q.execOrReport() || !q.next())
        return true;
    bool ok = false;
    const qlonglong n = q.value(0).toLongLong(&ok);
    return !ok || n != 0;
}

} // namespace

std::optional<int> ReadRowKey(const CSqlQuery& q, const char* column)
{
    const QVariant v = q.value(column);
    if (v.isNull())
        return std::nullopt;
    bool ok = false;
    const qlonglong i = v.toLongLong(&ok);
    if (!ok || i < INT_MIN || i > INT_MAX)
        return std::nullopt;
    return int(i);
}

QString InsertReturningId(const QString& insert)
{
    if (GetDBConnection().dialect() == SqlDialect::PostgreSQL)
        return insert + QStringLiteral(" returning id");
    return insert;
}

std::optional<int> ReadNewId(CSqlQuery& insert)
{
    if (insert.dialect() == SqlDialect::PostgreSQL) {
        if (!insert.next())
            return std::nullopt;
        return ReadRowKey(insert, "id");
    }
    CSqlQuery q(QStringLiteral("select last_insert_rowid() as id"));
    if (!q.execOrReport() || !q.next())
        return std::nullopt;
    return ReadRowKey(q, "id");
}

QString ProductSetCondition(const QString& column)
{
    if (GetDBConnection().dialect() == SqlDialect::PostgreSQL)
        return column + QStringLiteral(" = any(string_to_array(?, ',')::int[])");
    return column + QStringLiteral(" in (select value from json_each('[' || ? || ']'))");
}

QString ProductSetArgument(const std::vector<int>& products)
{
    QString text;
    text.reserve(int(products.size()) * 6);
    for (size_t i = 0; i < products.size(); ++i) {
        if (i)
            text += u',';
        text += QString::number(products[i]);
    }
    return text;
}

std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q)
{
    R rec;
    const auto id = ReadRowKey(q, "id");
    const auto prognoz = ReadRowKey(q, "prognoz");
    const auto product = ReadRowKey(q, "product");
    const auto receiver = ReadRowKey(q, "receiver");
    if (!id || !prognoz || !product || !receiver)
        return std::nullopt;
    rec.id = *id;
    rec.prognoz = *prognoz;
    rec.product = *product;
    rec.receiver = *receiver;
    for (const auto& m : kForecastMoneyColumns)
        rec.*m.field = q.money(m.column);
    rec.comment = q.text("comment");
    rec.baseMethod = q.intValue("baseMethod", 0);
    rec.base = q.text("base");
    return rec;
}

void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination)
{
    const QDateTime kept = destination.lastUpdate;
    destination = source;
    destination.lastUpdate = kept;
}

std::optional<CForecastDataRecord> GetForecastData(int prognoz, int receiver, int product)
{
    return FetchForecastData(prognoz, receiver, product, true, nullptr);
}

CForecastDataRecord GetOrNewForecastData(int prognoz, int receiver, int product)
{
    if (auto rec = GetForecastData(prognoz, receiver, product))
        return *rec;
    R rec;
    rec.prognoz = prognoz;
    rec.receiver = receiver;
    rec.product = product;
    return rec;
}

std::optional<CForecastDataList> LoadForecastData(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    return ReadRows(q, ReadForecastDataRow);
}

bool DeleteForecastData(int prognoz)
{
    return ExecSql(QStringLiteral("delete from tfctprognozdata where prognoz = ?"), prognoz);
}

bool HasForecastDataForReceiver(int receiver, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfctprognozdata where receiver = ? and prognoz = ?"),
                          receiver, prognoz);
}

bool HasForecastDataForProduct(int product, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfctprognozdata where product = ? and prognoz = ?"),
                          product, prognoz);
}

std::optional<CForecastDataRecord> GetForecastDataTotals(int prognoz, int receiver, const std::vector<int>& products,
                                                         QSqlError* error)
{
    if (products.empty())
        return std::nullopt;
    if (products.size() == 1) {
        QSqlError failure;
        if (auto rec = FetchForecastData(prognoz, receiver, products.front(), false, &failure))
            return rec;
        if (failure.type() != QSqlError::NoError) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        R rec;
        rec.prognoz = prognoz;
        rec.receiver = receiver;
        rec.product = products.front();
        return rec;
    }
    // Over a group the year's figure is its quantity, over a leaf its sum.
    CSqlQuery q(QStringLiteral(
                    "select coalesce(sum(case when p.isgroup = 0 then d.sumLast else d.valueLast end), 0) as sumLast, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumCurr else d.valueCurr end), 0) as sumCurr, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumNext else d.valueNext end), 0) as sumNext "
                    "from tfctprognozdata d join tclsproduct p on d.product = p.id and d.prognoz = p.prognoz "
                    "where d.prognoz = ? and d.receiver = ? and ")
                + ProductSetCondition(QStringLiteral("d.product")));
    q.bind(prognoz).bind(receiver).bind(ProductSetArgument(products));
    if (!q.exec()) {
        if (error)
            *error = q.lastError();
        return std::nullopt;
    }
    R rec;
    rec.prognoz = prognoz;
    rec.receiver = receiver;
    if (q.next()) {
        rec.id = 0;
        rec.product = 0;
        rec.sumLast = q.money("sumLast");
        rec.sumCurr = q.money("sumCurr");
        rec.sumNext = q.money("sumNext");
    }
    return rec;
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
        R rec;
        rec.prognoz = q.intValue("prognoz", 0);
        rec.product = q.intValue("product", 0);
        for (const auto& m : kForecastMoneyColumns)
            rec.*m.field = q.money(m.column);
        list.push_back(std::move(rec));
    }
    return list;
}

bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId)
{
    std::optional<int> storedId;
    {
        CSqlQuery q(QStringLiteral("select id from tfctprognozdata where prognoz = ? and product = ? and receiver = ?"));
        q.bind(rec.prognoz).bind(rec.product).bind(rec.receiver);
        if (!q.execOrReport())
            return false;
        if (q.next())
            storedId = q.intValue("id");
    }
    if (storedId) {
        CSqlQuery q(QStringLiteral(
            "update tfctprognozdata set sumLast = ?, sumCurr = ?, sumNext = ?, valueLast = ?, valueCurr = ?, "
            "valueNext = ?, valueNorm = ?, valueIndex = ?, valuePlan = ?, valueFormula = ?, valueOther = ?, "
            "sumNorm = ?, sumIndex = ?, sumPlan = ?, sumFormula = ?, sumOther = ?, comment = ?, base = ?, "
            "baseMethod = ? where id = ?"));
        for (const auto& m : kForecastMoneyColumns)
            q.bind(rec.*m.field);
        q.bind(rec.comment).bind(rec.base).bind(rec.baseMethod).bind(*storedId);
        if (!q.execOrReport())
            return false;
        FormatForecastDataJournal(rec, FDJ_UPDATE);
        return true;
    }
    const QString insert = QStringLiteral(
        "insert into tfctprognozdata (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
        "valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, "
        "sumFormula, sumOther, comment, base, baseMethod) "
        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    CSqlQuery q(takeNewId ? InsertReturningId(insert) : insert);
    q.bind(rec.prognoz).bind(rec.product).bind(rec.receiver);
    for (const auto& m : kForecastMoneyColumns)
        q.bind(rec.*m.field);
    q.bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
    if (!q.execOrReport())
        return false;
    if (takeNewId) {
        const auto id = ReadNewId(q);
        if (!id)
            return false;
        rec.id = *id;
    }
    FormatForecastDataJournal(rec, FDJ_INSERT);
    return true;
}

void FormatForecastDataJournal(const CForecastDataRecord& rec, int kind)
{
    // Bulk saves run with the journal off: nothing to format then.
    if (!Settings().EnableOpJournal)
        return;
    QString text = JournalOperationWord(kind == FDJ_INSERT ? JOURNAL_INSERT : JOURNAL_UPDATE)
        + QStringLiteral("PrognozData; ");
    if (kind == FDJ_INSERT)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("prognoz=%1; product=%2; receiver=%3").arg(rec.prognoz).arg(rec.product).arg(rec.receiver);
    WriteOpJournal(text);
}

std::optional<CForecastDataRecord> ReadForecastDataXml(const xmlNode* node)
{
    return ReadRecordXml<R>(node, XmlNames::kForecastData, kXmlFields);
}

std::optional<CForecastDataList> ReadForecastDataListXml(const xmlNode* node)
{
    std::optional<CForecastDataList> list;
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (auto rec = ReadForecastDataXml(node)) {
            if (!list)
                list.emplace();
            list->push_back(std::move(*rec));
        }
    }
    return list;
}

xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec)
{
    xmlNodePtr node = xmlNewChild(parent, nullptr, BAD_CAST XmlNames::kForecastData, nullptr);
    XmlAddText(node, "id", XmlInt(rec.id));
    XmlAddText(node, "product", XmlInt(rec.product));
    XmlAddText(node, "comment", rec.comment);
    return node;
}

void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list)
{
    for (const auto& rec : list)
        ForecastCommentToXml(parent, rec);
}
