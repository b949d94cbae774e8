#include "TotalForecasts.h"

#include "Journal.h"
#include "TableCommon.h"
#include "Settings.h"
#include "xml/XmlRecord.h"

#include <array>
#include <span>

namespace {

using R = CTotalForecastRecord;


const std::array<XmlField<R>, 22> kXmlFields = ForecastRowXmlFields<R>();
// Written without the comment's value: the comment does not travel with the forecast.
const std::span<const XmlField<R>> kWrittenFields = std::span(kXmlFields).first(21);

const std::array<XmlField<R>, 3> kCommentXmlFields = {{
    XmlField<R>::integer("id", &R::id),
    XmlField<R>::integer("product", &R::product),
    XmlField<R>::text("comment", &R::comment),
}};

const QString kSelect = QStringLiteral(
    "select id, prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, valueNorm, "
    "valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther, "
    "lastUpdate, comment, base, baseMethod from tfcttotalprognoz");
const QString kByKey = QStringLiteral(" where product = ? and prognoz = ?");

// The first readable row of a select; none also on a database error, which is shown only when asked.
std::optional<R> FetchOne(CSqlQuery& q, bool report, QSqlError* error)
{
    const bool ok = report ? q.execOrReport() : q.exec();
    if (!ok) {
        if (error)
            *error = q.lastError();
        return std::nullopt;
    }
    while (q.next()) {
        if (auto rec = ReadTotalForecastRow(q))
            return rec;
    }
    return std::nullopt;
}

std::optional<R> FetchByKey(int prognoz, int product, bool report, QSqlError* error)
{
    CSqlQuery q(kSelect + kByKey);
    q.bind(product).bind(prognoz);
    return FetchOne(q, report, error);
}

// The first 255 characters; a surrogate pair counts as one.
void CutComment(QString& comment)
{
    qsizetype i = 0;
    int count = 0;
    while (i < comment.size() && count < kTotalForecastCommentLength) {
        const bool pair = comment[i].isHighSurrogate() && i + 1 < comment.size() && comment[i + 1].isLowSurrogate();
        i += pair ? 2 : 1;
        ++count;
    }
    if (i < comment.size())
        comment.truncate(i);
}

// A figure read from NULL counts as 0; false on overflow.
bool AddFigure(Money& into, Money add)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(into.isValid() ? into.raw() : 0, add.isValid() ? add.raw() : 0, &sum))
        return false;
    into = Money::fromRaw(sum);
    return true;
}

void BindFigures(CSqlQuery& q, const R& rec)
{
    for (const auto& m : kForecastMoneyColumns)
        q.bind(rec.*m.field);
    q.bind(rec.lastUpdate).bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
}

} // namespace

CTotalForecastRecord::CTotalForecastRecord()
{
    lastUpdate = CurrentTimeToSecond();
}

std::optional<CTotalForecastRecord> ReadTotalForecastRow(const CSqlQuery& q)
{
    R rec;
    const auto id = ReadRowKey(q, "id");
    const auto prognoz = ReadRowKey(q, "prognoz");
    const auto product = ReadRowKey(q, "product");
    if (!id || !prognoz || !product)
        return std::nullopt;
    rec.id = *id;
    rec.prognoz = *prognoz;
    rec.product = *product;
    for (const auto& m : kForecastMoneyColumns)
        rec.*m.field = q.money(m.column);
    // An unreadable time keeps the construction time, which the next save stores.
    const QDateTime stored = q.date("lastUpdate");
    if (stored.isValid())
        rec.lastUpdate = stored;
    rec.comment = q.text("comment");
    rec.baseMethod = q.intValue("baseMethod", 0);
    rec.base = q.text("base");
    return rec;
}

std::optional<CTotalForecastRecord> GetTotalForecastById(int id)
{
    CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
    q.bind(id);
    return FetchOne(q, true, nullptr);
}

std::optional<CTotalForecastRecord> GetTotalForecast(int prognoz, int product)
{
    return FetchByKey(prognoz, product, true, nullptr);
}

CTotalForecastRecord GetOrCreateTotalForecast(int prognoz, int product)
{
    if (auto rec = GetTotalForecast(prognoz, product))
        return *rec;
    R rec;
    rec.prognoz = prognoz;
    rec.product = product;
    return rec;
}

std::optional<CTotalForecastList> LoadTotalForecasts(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    return ReadRows(q, ReadTotalForecastRow);
}

bool TotalForecastExists(int product, int prognoz)
{
    CSqlQuery q(QStringLiteral("select count(id) from tfcttotalprognoz where product = ? and prognoz = ?"));
    q.bind(product).bind(prognoz);
    if (!q.execOrReport() || !q.next())
        return true;
    bool ok = false;
    const qlonglong n = q.value(0).toLongLong(&ok);
    return !ok || n != 0;
}

int CountCommentedTotals(int prognoz)
{
    CSqlQuery q(QStringLiteral("select count(id) from tfcttotalprognoz where comment <> '' and prognoz = ?"));
    q.bind(prognoz);
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.value(0).toInt();
}

bool DeleteTotalForecastsOf(int prognoz)
{
    return ExecSql(QStringLiteral("delete from tfcttotalprognoz where prognoz = ?"), prognoz);
}

bool ResetTotalForecastSums(int prognoz)
{
    return ExecSql(QStringLiteral("update tfcttotalprognoz set sumLast = 0, sumCurr = 0, sumNext = 0, valueLast = 0, "
                                  "valueCurr = 0, valueNext = 0, valueNorm = 0, valueIndex = 0, valuePlan = 0, "
                                  "valueFormula = 0, valueOther = 0, sumNorm = 0, sumIndex = 0, sumPlan = 0, "
                                  "sumFormula = 0, sumOther = 0 where prognoz = ?"),
                   prognoz);
}

bool DeleteTotalForecast(CTotalForecastRecord& rec)
{
    QSqlError error;
    std::optional<R> stored;
    {
        CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
        q.bind(rec.id);
        stored = FetchOne(q, true, &error);
    }
    if (error.type() != QSqlError::NoError)
        return false;
    if (!ExecSql(QStringLiteral("delete from tfcttotalprognoz where id = ?"), rec.id))
        return false;
    rec.id = -1;
    // No row under that id: nothing was deleted and nothing is journalled.
    if (stored)
        FormatTotalForecastJournal(*stored, TFJ_DELETE);
    return true;
}

bool SaveTotalForecast(CTotalForecastRecord& rec)
{
    CutComment(rec.comment);
    CTransaction tx;
    if (!tx.isActive())
        return false;
    std::optional<int> storedId;
    {
        CSqlQuery q(QStringLiteral("select id from tfcttotalprognoz") + kByKey);
        q.bind(rec.product).bind(rec.prognoz);
        if (!q.execOrReport())
            return false;
        if (q.next())
            storedId = q.intValue("id");
    }
    int newId = -1;
    if (storedId) {
        CSqlQuery q(QStringLiteral(
            "update tfcttotalprognoz set sumLast = ?, sumCurr = ?, sumNext = ?, valueLast = ?, valueCurr = ?, "
            "valueNext = ?, valueNorm = ?, valueIndex = ?, valuePlan = ?, valueFormula = ?, valueOther = ?, "
            "sumNorm = ?, sumIndex = ?, sumPlan = ?, sumFormula = ?, sumOther = ?, lastUpdate = ?, comment = ?, "
            "base = ?, baseMethod = ? where id = ?"));
        BindFigures(q, rec);
        q.bind(*storedId);
        if (!q.execOrReport())
            return false;
    } else {
        CSqlQuery q(InsertReturningId(QStringLiteral(
            "insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
            "valueNext, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, "
            "sumFormula, sumOther, lastUpdate, comment, base, baseMethod) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")));
        q.bind(rec.prognoz).bind(rec.product);
        BindFigures(q, rec);
        if (!q.execOrReport())
            return false;
        const auto id = ReadNewId(q);
        if (!id)
            return false;
        newId = *id;
    }
    if (!tx.commit())
        return false;
    // The id only once the row is there to stay.
    if (!storedId)
        rec.id = newId;
    FormatTotalForecastJournal(rec, storedId ? TFJ_UPDATE : TFJ_INSERT);
    return true;
}

bool AccumulateTotalForecast(const CForecastDataRecord& data)
{
    QSqlError error;
    std::optional<R> stored = FetchByKey(data.prognoz, data.product, true, &error);
    if (error.type() != QSqlError::NoError)
        return false;
    R rec = stored ? *stored : R();
    rec.prognoz = data.prognoz;
    rec.product = data.product;
    for (const auto& m : kForecastMoneyColumns) {
        if (!AddFigure(rec.*m.field, data.*m.field))
            return false;
    }
    rec.lastUpdate = CurrentTimeToSecond();
    return SaveTotalForecast(rec);
}

std::optional<CTotalForecastRecord> GetTotalForecastSums(int prognoz, const std::vector<int>& products, QSqlError* error)
{
    if (products.empty())
        return std::nullopt;
    if (products.size() == 1) {
        QSqlError failure;
        if (auto rec = FetchByKey(prognoz, products.front(), false, &failure))
            return rec;
        if (failure.type() != QSqlError::NoError) {
            if (error)
                *error = failure;
            return std::nullopt;
        }
        R rec;
        rec.prognoz = prognoz;
        rec.product = products.front();
        return rec;
    }
    // Over a group the year's figure is its quantity, over a leaf its sum.
    CSqlQuery q(QStringLiteral(
                    "select coalesce(sum(case when p.isgroup = 0 then d.sumLast else d.valueLast end), 0) as sumLast, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumCurr else d.valueCurr end), 0) as sumCurr, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumNext else d.valueNext end), 0) as sumNext "
                    "from tfcttotalprognoz d join tclsproduct p on d.product = p.id and p.prognoz = d.prognoz "
                    "where d.prognoz = ? and ")
                + ProductSetCondition(QStringLiteral("d.product")));
    q.bind(prognoz).bind(ProductSetArgument(products));
    if (!q.exec()) {
        if (error)
            *error = q.lastError();
        return std::nullopt;
    }
    R rec;
    rec.prognoz = prognoz;
    if (q.next()) {
        rec.id = 0;
        rec.product = 0;
        rec.sumLast = q.money("sumLast");
        rec.sumCurr = q.money("sumCurr");
        rec.sumNext = q.money("sumNext");
    }
    return rec;
}

void FormatTotalForecastJournal(const CTotalForecastRecord& rec, int operation)
{
    // Bulk saves run with the journal off: nothing to format then.
    if (!Settings().EnableOpJournal)
        return;
    QString text = JournalOperationWord(operation) + QStringLiteral("TotalPrognoz; ");
    if (operation != TFJ_UPDATE)
        text += QStringLiteral("id=%1; ").arg(rec.id);
    text += QStringLiteral("prognoz=%1; product=%2").arg(rec.prognoz).arg(rec.product);
    WriteOpJournal(text);
}

xmlNodePtr TotalForecastToXml(xmlNodePtr parent, const CTotalForecastRecord& rec)
{
    xmlNodePtr node = RecordToXml<R>(parent, XmlNames::kTotalForecastData, rec, kWrittenFields);
    XmlAddText(node, "comment", QString()); // the element keeps its place, empty
    return node;
}

void TotalForecastsToXml(xmlNodePtr parent, const CTotalForecastList& list)
{
    for (const auto& rec : list)
        TotalForecastToXml(parent, rec);
}

std::optional<CTotalForecastRecord> ReadTotalForecastCommentXml(const xmlNode* node)
{
    return ReadRecordXml<R>(node, XmlNames::kTotalForecastData, kCommentXmlFields);
}

std::optional<CTotalForecastList> ReadTotalForecastCommentsXml(const xmlNode* node)
{
    std::optional<CTotalForecastList> list;
    for (; node; node = node->next) {
        if (auto rec = ReadTotalForecastCommentXml(node)) {
            if (!list)
                list.emplace();
            list->push_back(std::move(*rec));
        }
    }
    return list;
}
