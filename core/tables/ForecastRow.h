// What a forecast data row (tfctprognozdata) and a consolidated row (tfcttotalprognoz) share: the
// fields, the sixteen money columns, the row element of the forecast document, the reading and
// binding of the common columns and the totals over a set of products.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <array>

// The time value of a record that has none: the zero of the old date type (1899-12-30 00:00).
QDateTime ZeroRecordDate();

// The fields that a forecast data row and a consolidated row share, in this order.
struct CForecastRowFields {
    int id = -1;
    int prognoz = 0;
    int product = 0;
    Money sumLast;
    Money sumCurr;
    Money sumNext;
    Money valueLast;
    Money valueCurr;
    Money valueNext;
    Money valueNorm;
    Money valueIndex;
    Money valuePlan;
    Money valueFormula;
    Money valueOther;
    Money sumNorm;
    Money sumIndex;
    Money sumPlan;
    Money sumFormula;
    Money sumOther;
    QDateTime lastUpdate = ZeroRecordDate();
    QString comment;
    QString base;
    int baseMethod = 0;
};

// The sixteen money figures in field order, with their column names.
struct ForecastMoneyColumn {
    const char* column;
    Money CForecastRowFields::*field;
};
extern const ForecastMoneyColumn kForecastMoneyColumns[16];

// The children of a "prognozdata" element in their order: id, prognoz, product, the sixteen figures,
// base, baseMethod, then comment.
template <class R> std::array<XmlField<R>, 22> ForecastRowXmlFields()
{
    using F = CForecastRowFields;
    return {{
        XmlField<R>::integer("id", &F::id),
        XmlField<R>::integer("prognoz", &F::prognoz),
        XmlField<R>::integer("product", &F::product),
        XmlField<R>::money("sumlast", &F::sumLast),
        XmlField<R>::money("sumcurr", &F::sumCurr),
        XmlField<R>::money("sumnext", &F::sumNext),
        XmlField<R>::money("valuelast", &F::valueLast),
        XmlField<R>::money("valuecurr", &F::valueCurr),
        XmlField<R>::money("valuenext", &F::valueNext),
        XmlField<R>::money("valueNorm", &F::valueNorm),
        XmlField<R>::money("valueIndex", &F::valueIndex),
        XmlField<R>::money("valuePlan", &F::valuePlan),
        XmlField<R>::money("valueFormula", &F::valueFormula),
        XmlField<R>::money("valueOther", &F::valueOther),
        XmlField<R>::money("sumNorm", &F::sumNorm),
        XmlField<R>::money("sumIndex", &F::sumIndex),
        XmlField<R>::money("sumPlan", &F::sumPlan),
        XmlField<R>::money("sumFormula", &F::sumFormula),
        XmlField<R>::money("sumOther", &F::sumOther),
        XmlField<R>::text("base", &F::base),
        XmlField<R>::integer("baseMethod", &F::baseMethod),
        XmlField<R>::text("comment", &F::comment),
    }};
}

// The element of a row's comment: id, product and comment.
template <class R> std::array<XmlField<R>, 3> ForecastCommentXmlFields()
{
    return {{
        XmlField<R>::integer("id", &CForecastRowFields::id),
        XmlField<R>::integer("product", &CForecastRowFields::product),
        XmlField<R>::text("comment", &CForecastRowFields::comment),
    }};
}

// "sumLast, sumCurr, ..." and "sumLast = ?, sumCurr = ?, ..." over the sixteen figures.
QString ForecastFigureColumns();
QString ForecastFigureAssignments();
void BindForecastFigures(CSqlQuery& q, const CForecastRowFields& rec);

// Reads id, prognoz and product (false when one of them is no integer), the sixteen figures (NULL
// gives an invalid zero), comment, baseMethod and base.
bool ReadForecastRowColumns(const CSqlQuery& q, CForecastRowFields& rec);

// Totals over a set of products in the rows of `table` that `keys` selects (a condition on the alias d
// with its values): a leaf adds its sums, a group its quantities. `rec` gets the three year figures,
// id 0 and product 0. The error is handed to the caller, not reported.
bool SumForecastRowsOverProducts(const QString& table, const QString& keys, const QVariantList& keyArgs,
                                 const std::vector<int>& products, CForecastRowFields& rec, QSqlError* error);

// Totals over a set of products: none for an empty set; one product gives its stored row (`fetch`)
// or `fresh` with that product; several the sums of SumForecastRowsOverProducts into `fresh`.
template <class R, class Fetch>
std::optional<R> ForecastRowTotals(const std::vector<int>& products, R fresh, Fetch fetch, const QString& table,
                                   const QString& keys, const QVariantList& keyArgs, QSqlError* error)
{
    if (products.empty())
        return std::nullopt;
    QSqlError failure;
    if (products.size() == 1) {
        if (auto rec = fetch(products.front(), &failure))
            return rec;
        fresh.product = products.front();
    } else {
        SumForecastRowsOverProducts(table, keys, keyArgs, products, fresh, &failure);
    }
    if (failure.type() != QSqlError::NoError) {
        if (error)
            *error = failure;
        return std::nullopt;
    }
    return fresh;
}
