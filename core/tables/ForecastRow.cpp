#include "ForecastRow.h"

const ForecastMoneyColumn kForecastMoneyColumns[16] = {
    {"sumLast", &CForecastRowFields::sumLast},       {"sumCurr", &CForecastRowFields::sumCurr},
    {"sumNext", &CForecastRowFields::sumNext},       {"valueLast", &CForecastRowFields::valueLast},
    {"valueCurr", &CForecastRowFields::valueCurr},   {"valueNext", &CForecastRowFields::valueNext},
    {"valueNorm", &CForecastRowFields::valueNorm},   {"valueIndex", &CForecastRowFields::valueIndex},
    {"valuePlan", &CForecastRowFields::valuePlan},   {"valueFormula", &CForecastRowFields::valueFormula},
    {"valueOther", &CForecastRowFields::valueOther}, {"sumNorm", &CForecastRowFields::sumNorm},
    {"sumIndex", &CForecastRowFields::sumIndex},     {"sumPlan", &CForecastRowFields::sumPlan},
    {"sumFormula", &CForecastRowFields::sumFormula}, {"sumOther", &CForecastRowFields::sumOther},
};

QDateTime ZeroRecordDate()
{
    static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0));
    return zero;
}

bool ApplyNextYearRule(CForecastRowFields& rec)
{
    rec.sumNext = rec.sumFormula + rec.sumIndex + rec.sumNorm + rec.sumOther + rec.sumPlan;
    rec.valueNext = rec.valueFormula + rec.valueIndex + rec.valueNorm + rec.valueOther + rec.valuePlan;
    return rec.sumNext.isValid() && rec.valueNext.isValid();
}

QStringList ForecastFigureColumnList()
{
    QStringList columns;
    for (const auto& m : kForecastMoneyColumns)
        columns << QLatin1String(m.column);
    return columns;
}

QString ForecastFigureColumns()
{
    return ForecastFigureColumnList().join(QStringLiteral(", "));
}

QString ForecastFigureAssignments()
{
    QStringList sets;
    for (const auto& m : kForecastMoneyColumns)
        sets << QLatin1String(m.column) + QStringLiteral(" = ?");
    return sets.join(QStringLiteral(", "));
}

bool ReadForecastRowColumns(const CSqlQuery& q, CForecastRowFields& rec)
{
    const auto id = ReadRowKey(q, "id");
    const auto prognoz = ReadRowKey(q, "prognoz");
    const auto product = ReadRowKey(q, "product");
    if (!id || !prognoz || !product)
        return false;
    rec.id = *id;
    rec.prognoz = *prognoz;
    rec.product = *product;
    for (const auto& m : kForecastMoneyColumns)
        rec.*m.field = q.money(m.column);
    rec.comment = q.text("comment");
    rec.baseMethod = q.intValue("baseMethod", 0);
    rec.base = q.text("base");
    return true;
}

bool SumForecastRowsOverProducts(const QString& table, const QString& keys, const QVariantList& keyArgs,
                                 const std::vector<int>& products, CForecastRowFields& rec)
{
    // Over a group the year's figure is its quantity, over a leaf its sum.
    CSqlQuery q(QStringLiteral(
                    "select coalesce(sum(case when p.isgroup = 0 then d.sumLast else d.valueLast end), 0) as sumLast, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumCurr else d.valueCurr end), 0) as sumCurr, "
                    "coalesce(sum(case when p.isgroup = 0 then d.sumNext else d.valueNext end), 0) as sumNext "
                    "from %1 d join tclsproduct p on d.product = p.id and d.prognoz = p.prognoz where ")
                    .arg(table)
                + keys + QStringLiteral(" and ") + Dialect().IdSetCondition(QStringLiteral("d.product")));
    q.bindAll(keyArgs).bind(IdSetArgument(products));
    if (!q.execOrReport())
        return false;
    if (q.next()) {
        rec.id = 0;
        rec.product = 0;
        rec.sumLast = q.money("sumLast");
        rec.sumCurr = q.money("sumCurr");
        rec.sumNext = q.money("sumNext");
    }
    if (q.readFailed()) {
        ReportComError(q.lastError());
        return false;
    }
    return true;
}
