// What a forecast data row (tfctprognozdata) and a consolidated row (tfcttotalprognoz) share: the
// fields, the sixteen money columns, the row element of the forecast document, the reading and
// binding of the common columns and the totals over a set of products.
#pragma once

#include "tables/TableCommon.h"
#include "xml/XmlRecord.h"

#include <array>

// The time value of a record that has none: the zero of the old date type (1899-12-30 00:00).
QDateTime ZeroRecordDate();

// The key of a forecast data row: the forecast (its prognoz column), the receiver (0: the consolidated
// row) and the product.
struct CForecastKey {
    int forecast = 0;
    int receiver = 0;
    int product = 0;
    friend auto operator<=>(const CForecastKey&, const CForecastKey&) = default;
};

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

// The next year of a row follows from its parts: formula + index + norm + other + plan, for the sums
// and for the quantities alike. Fills sumNext and valueNext; false when either total is not a valid
// figure (a part is missing, or the total is beyond the program's range).
[[nodiscard]] bool ApplyNextYearRule(CForecastRowFields& rec);

// The sixteen money figures in field order, with their column names.
struct ForecastMoneyColumn {
    const char* column;
    Money CForecastRowFields::*field;
};
extern const ForecastMoneyColumn kForecastMoneyColumns[16];

// The children of a "prognozdata" element in their order: id, prognoz, product, the sixteen figures,
// base, baseMethod, then comment.
template <class R>
std::array<XmlField<R>, 22> ForecastRowXmlFields()
{
    using F = CForecastRowFields;
    return {{
        {"id", &F::id},
        {"prognoz", &F::prognoz},
        {"product", &F::product},
        {"sumlast", &F::sumLast},
        {"sumcurr", &F::sumCurr},
        {"sumnext", &F::sumNext},
        {"valuelast", &F::valueLast},
        {"valuecurr", &F::valueCurr},
        {"valuenext", &F::valueNext},
        {"valueNorm", &F::valueNorm},
        {"valueIndex", &F::valueIndex},
        {"valuePlan", &F::valuePlan},
        {"valueFormula", &F::valueFormula},
        {"valueOther", &F::valueOther},
        {"sumNorm", &F::sumNorm},
        {"sumIndex", &F::sumIndex},
        {"sumPlan", &F::sumPlan},
        {"sumFormula", &F::sumFormula},
        {"sumOther", &F::sumOther},
        {"base", &F::base},
        {"baseMethod", &F::baseMethod},
        {"comment", &F::comment},
    }};
}

// The element of a row's comment: id, product and comment.
template <class R>
std::array<XmlField<R>, 3> ForecastCommentXmlFields()
{
    return {{
        {"id", &CForecastRowFields::id},
        {"product", &CForecastRowFields::product},
        {"comment", &CForecastRowFields::comment},
    }};
}

// "sumLast, sumCurr, ..." and "sumLast = ?, sumCurr = ?, ..." over the sixteen figures.
QString ForecastFigureColumns();
QStringList ForecastFigureColumnList();
QString ForecastFigureAssignments();
// Into a CSqlQuery or a CSqliteBinder.
template <class Binder>
void BindForecastFigures(Binder& q, const CForecastRowFields& rec)
{
    for (const auto& m : kForecastMoneyColumns)
        q.bind(rec.*m.field);
}

// Reads id, prognoz and product (false when one of them is no integer), the sixteen figures (NULL
// gives an invalid zero), comment, baseMethod and base.
bool ReadForecastRowColumns(const CSqlQuery& q, CForecastRowFields& rec);

// Totals over a set of products in the rows of `table` that `keys` selects (a condition on the alias d
// with its values): a leaf adds its sums, a group its quantities. `rec` gets the three year figures,
// id 0 and product 0. False after a database error, which is reported.
bool SumForecastRowsOverProducts(const QString& table, const QString& keys, const QVariantList& keyArgs,
                                 const std::vector<int>& products, CForecastRowFields& rec);

// Totals over a set of products: none for an empty set; one product gives its stored row (`fetch`,
// which reports its errors) or `fresh` with that product; several the sums of
// SumForecastRowsOverProducts into `fresh`. None after a database error, which is reported.
template <class R, class Fetch>
std::optional<R> ForecastRowTotals(const std::vector<int>& products, R fresh, Fetch fetch, const QString& table,
                                   const QString& keys, const QVariantList& keyArgs)
{
    if (products.empty())
        return std::nullopt;
    if (products.size() > 1) {
        if (!SumForecastRowsOverProducts(table, keys, keyArgs, products, fresh))
            return std::nullopt;
        return fresh;
    }
    bool failed = false;
    if (auto rec = WatchedRead(failed, [&] { return fetch(products.front()); }))
        return rec;
    if (failed)
        return std::nullopt;
    fresh.product = products.front();
    return fresh;
}
