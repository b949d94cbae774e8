#include "Form9.h"

#include "AppMessage.h"
#include "FormRows.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "tables/ProductTree.h"

#include <QVariantList>

#include <unordered_map>

namespace {

// One side of the comparison: the consolidated forecast, or the data of chosen receivers.
struct Side {
    int forecast;
    const std::vector<int>& receivers;
    bool data() const { return !receivers.empty(); }
    QString table() const { return data() ? QStringLiteral("tfctprognozdata") : QStringLiteral("tfcttotalprognoz"); }
};

const QString kValues = QStringLiteral("sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext");
const QString kZeros = QStringLiteral("0, 0, 0, 0, 0, 0");

QString Sums(const QString& alias)
{
    QStringList out;
    for (const QString& v : kValues.split(QStringLiteral(", ")))
        out << QStringLiteral("sum(%1.%2) as %2").arg(alias, v);
    return out.join(QStringLiteral(", "));
}

QString Columns(const QString& alias, const QString& suffix = QString())
{
    QStringList out;
    for (const QString& v : kValues.split(QStringLiteral(", ")))
        out << QStringLiteral("%1.%2 as %2%3").arg(alias, v, suffix);
    return out.join(QStringLiteral(", "));
}

// The side's sums per product with the product's code, name, kind and unit symbols. `filter` goes
// into the where clause after the forecast; its values follow the forecast's. The rows are summed
// first and the product read once per sum, not once per row.
QString Aggregate(const Side& side, const QString& filter)
{
    return QStringLiteral("select pd1.code as ProductCode, pd1.name as Product, pd1.id as ProductID, pd1.isgroup,"
                          " pd1.type, m1.oboznachenie as MeasurementNatural1, m2.oboznachenie as MeasurementPrice1, ")
        + Columns(QStringLiteral("tp1")) + QStringLiteral(" from (select tp1.prognoz, tp1.product, ")
        + Sums(QStringLiteral("tp1")) + QStringLiteral(" from ") + side.table()
        + QStringLiteral(" tp1 where tp1.prognoz = ?") + filter
        + QStringLiteral(" group by tp1.prognoz, tp1.product) tp1"
                         " inner join tclsproduct pd1 on tp1.prognoz = pd1.prognoz and tp1.product = pd1.id"
                         " left join tclsmeasurement m1 on m1.id = pd1.measurementNatural"
                         " left join tclsmeasurement m2 on m2.id = pd1.measurementPrice");
}

// The receivers are tested row by row (the unary plus keeps the planner off the receiver index): the
// rows are read in product order through the forecast's index and summed without a sort.
QString ReceiverFilter(const Side& side, const QString& column)
{
    return side.data() ? QStringLiteral(" and ") + Dialect().IdSetCondition(QLatin1Char('+') + column) : QString();
}

// X exceeds Y by at least the threshold in percent of X (X > 0), or the mirror; exact on integer and
// decimal money alike, and no division. Values: the threshold twice per year.
QString DifferenceTest(const QString& a, const QString& b)
{
    QStringList years;
    for (const char* sum : {"sumLast", "sumCurr", "sumNext"}) {
        const QString x = a + QLatin1Char('.') + QLatin1String(sum);
        const QString y = b + QLatin1Char('.') + QLatin1String(sum);
        years << QStringLiteral("(%1 > %2 and %1 > 0 and (%1 - %2) * 100 >= ? * %1)").arg(x, y)
              << QStringLiteral("(%2 > %1 and %2 > 0 and (%2 - %1) * 100 >= ? * %2)").arg(x, y);
    }
    return QLatin1Char('(') + years.join(QStringLiteral(" or ")) + QLatin1Char(')');
}

// The products of the side that the other side lacks, for thresholds up to 100, read from the
// index alone. Values: the side's forecast, the other's forecast, the other's receivers, the side's
// receivers, the threshold.
QString OneSided(const Side& side, const Side& other)
{
    return QStringLiteral("select tp1.product from ") + side.table()
        + QStringLiteral(" tp1 where tp1.prognoz = ? and tp1.product not in (select tp2.product from ") + other.table()
        + QStringLiteral(" tp2 where tp2.prognoz = ? and tp2.product is not null")
        + ReceiverFilter(other, QStringLiteral("tp2.receiver")) + QLatin1Char(')')
        + ReceiverFilter(side, QStringLiteral("tp1.receiver")) + QStringLiteral(" and ? <= 100");
}

struct Statement {
    QString sql;
    QVariantList values;
};

// Each side's sums are made once (pg1, pg2) and serve all three parts.
Statement ReceiverStatement(int t, const Side& first, const Side& second)
{
    const QString a = IdSetArgument(first.receivers);
    const QString b = IdSetArgument(second.receivers);
    const auto ids = [](const Side& s, const QString& text) { return s.data() ? QVariantList{text} : QVariantList{}; };
    const QString head = QStringLiteral(
        "select ProductCode, Product, ProductID, isgroup, type, MeasurementNatural1, MeasurementPrice1, ");
    Statement s;
    s.sql = QStringLiteral("with pg1 as (") + Aggregate(first, ReceiverFilter(first, QStringLiteral("tp1.receiver")))
        + QStringLiteral("), pg2 as (") + Aggregate(second, ReceiverFilter(second, QStringLiteral("tp1.receiver")))
        + QStringLiteral(") select pg1.ProductCode, pg1.Product, pg1.ProductID, pg1.isgroup, pg1.type,"
                         " pg1.MeasurementNatural1, pg1.MeasurementPrice1, ")
        + Columns(QStringLiteral("pg1"), QStringLiteral("1"))
        + QStringLiteral(
                ", pg2.MeasurementNatural1 as MeasurementNatural2, pg2.MeasurementPrice1 as MeasurementPrice2, ")
        + Columns(QStringLiteral("pg2"), QStringLiteral("2"))
        + QStringLiteral(" from pg1 inner join pg2 on pg1.ProductID = pg2.ProductID where ")
        + DifferenceTest(QStringLiteral("pg1"), QStringLiteral("pg2"));
    s.values << first.forecast << ids(first, a) << second.forecast << ids(second, b);
    for (int i = 0; i < 6; ++i)
        s.values << t;
    // Products of side 1 only, then of side 2 only (its figures as side 2's, after zeros).
    s.sql += QStringLiteral(" union all ") + head + kValues + QStringLiteral(", null, null, ") + kZeros
        + QStringLiteral(" from pg1 where ProductID in (") + OneSided(first, second) + QLatin1Char(')');
    s.values << first.forecast << second.forecast << ids(second, b) << ids(first, a) << t;
    s.sql += QStringLiteral(" union all ") + head + kZeros + QStringLiteral(", null, null, ") + kValues
        + QStringLiteral(" from pg2 where ProductID in (") + OneSided(second, first) + QLatin1Char(')');
    s.values << second.forecast << first.forecast << ids(first, a) << ids(second, b) << t;
    return s;
}

const QString kAbsent = QStringLiteral("'отсуствует'");

QString TotalsRows(const QString& tp, const QString& pd, const QString& mn, const QString& mp)
{
    return QStringLiteral(" from tfcttotalprognoz %1 inner join tclsproduct %2 on %2.prognoz = %1.prognoz"
                          " and %2.id = %1.product"
                          " left join tclsmeasurement %3 on %3.id = %2.measurementNatural"
                          " left join tclsmeasurement %4 on %4.id = %2.measurementPrice")
        .arg(tp, pd, mn, mp);
}

Statement TotalsStatement(int t, int f1, int f2)
{
    Statement s;
    s.sql = QStringLiteral("select pd1.code as ProductCode, pd1.name as Product, tp1.product as ProductID,"
                           " pd1.isgroup, pd1.type, m11.oboznachenie as MeasurementNatural1,"
                           " m12.oboznachenie as MeasurementPrice1, ")
        + Columns(QStringLiteral("tp1"), QStringLiteral("1"))
        + QStringLiteral(", m21.oboznachenie as MeasurementNatural2, m22.oboznachenie as MeasurementPrice2, ")
        + Columns(QStringLiteral("tp2"), QStringLiteral("2"))
        + QStringLiteral(" from tfctprognoz p1 inner join tfcttotalprognoz tp1 on tp1.prognoz = p1.id"
                         " inner join tclsproduct pd1 on pd1.prognoz = tp1.prognoz and pd1.id = tp1.product"
                         " inner join tclsproduct pd2 on pd2.id = pd1.id"
                         " inner join tfcttotalprognoz tp2 on tp2.prognoz = pd2.prognoz and tp2.product = pd2.id"
                         " inner join tfctprognoz p2 on p2.id = tp2.prognoz"
                         " left join tclsmeasurement m11 on m11.id = pd1.measurementNatural"
                         " left join tclsmeasurement m12 on m12.id = pd1.measurementPrice"
                         " left join tclsmeasurement m21 on m21.id = pd2.measurementNatural"
                         " left join tclsmeasurement m22 on m22.id = pd2.measurementPrice"
                         " where p1.id = ? and p2.id = ? and ")
        + DifferenceTest(QStringLiteral("tp1"), QStringLiteral("tp2"));
    s.values << f1 << f2;
    for (int i = 0; i < 6; ++i)
        s.values << t;
    s.sql += QStringLiteral(" union select pd1.code, pd1.name, tp1.product, pd1.isgroup, pd1.type, m11.oboznachenie,"
                            " m12.oboznachenie, ")
        + Columns(QStringLiteral("tp1")) + QStringLiteral(", ") + kAbsent + QStringLiteral(", ") + kAbsent
        + QStringLiteral(", ") + kZeros
        + TotalsRows(QStringLiteral("tp1"), QStringLiteral("pd1"), QStringLiteral("m11"), QStringLiteral("m12"))
        + QStringLiteral(" where tp1.prognoz = ? and (select count(*) from tfcttotalprognoz tp2"
                         " where tp2.prognoz = ? and tp2.product = tp1.product) = 0");
    s.values << f1 << f2;
    s.sql += QStringLiteral(" union select pd2.code, pd2.name, tp2.product, pd2.isgroup, pd2.type, ") + kAbsent
        + QStringLiteral(", ") + kAbsent + QStringLiteral(", ") + kZeros
        + QStringLiteral(", m21.oboznachenie, m22.oboznachenie, ") + Columns(QStringLiteral("tp2"))
        + TotalsRows(QStringLiteral("tp2"), QStringLiteral("pd2"), QStringLiteral("m21"), QStringLiteral("m22"))
        + QStringLiteral(" where tp2.prognoz = ? and (select count(*) from tfcttotalprognoz tp1"
                         " where tp1.prognoz = ? and tp1.product = tp2.product) = 0");
    s.values << f2 << f1;
    return s;
}

struct ComparisonRow {
    QString code;
    QString name;
    QString natural;
    QString price;
    int isNatural = 0;
    Money values[12];
};

const char* const kValueColumns[12] = {"sumLast1", "sumCurr1", "sumNext1", "valueLast1", "valueCurr1", "valueNext1",
                                       "sumLast2", "sumCurr2", "sumNext2", "valueLast2", "valueCurr2", "valueNext2"};

} // namespace

QString Form9ErrorText(const DbError& error)
{
    if (error.code == 0 && error.description.isEmpty())
        return QStringLiteral("Произошла исключительная ситуация.");
    return QStringLiteral("Произошла исключительная ситуация.\r\n\tКод: %1\r\n\tСообщение: %2\r\n\tОписание: %3")
        .arg(error.code & 0xFFFFu)
        .arg(error.message, error.description);
}

int BuildReportForm9(int threshold, int firstForecast, int secondForecast, const std::vector<int>& firstReceivers,
                     const std::vector<int>& secondReceivers)
{
    CErrorCollector collector;
    const int reportId = RunReportFrame([&](CReportFrame& frame) {
        const Side first{firstForecast, firstReceivers};
        const Side second{secondForecast, secondReceivers};
        const Statement statement = first.data() || second.data()
            ? ReceiverStatement(threshold, first, second)
            : TotalsStatement(threshold, firstForecast, secondForecast);
        CSqlQuery q(statement.sql);
        q.bindAll(statement.values);
        if (!q.exec())
            throw CReportFailure(DbError::fromSql(q.lastError()));
        std::unordered_map<int, ComparisonRow> rows; // the first row of each product
        while (q.next()) {
            const int id = q.intValue("ProductID");
            if (rows.count(id))
                continue;
            ComparisonRow row;
            const bool group = q.intValue("isgroup", 0) != 0;
            row.code = q.text("ProductCode");
            row.name = q.text("Product");
            row.natural = group ? QString() : q.text("MeasurementNatural1");
            row.price = q.text("MeasurementPrice1");
            row.isNatural = group ? 0 : 1;
            for (int i = 0; i < 12; ++i)
                row.values[i] = q.money(kValueColumns[i]);
            if (q.readFailed())
                throw CReportFailure(DbError::fromSql(q.lastError()));
            rows.emplace(id, std::move(row));
        }
        if (q.lastError().isValid())
            throw CReportFailure(DbError::fromSql(q.lastError()));

        CProductDepthMap depths;
        std::vector<int> order;
        if (!CheckedRead([&] { return CollectProductTree(firstForecast, depths, &order, nullptr); }))
            throw CReportFailure(ReportFailureTexts::kProductTree);
        CReportTable& table = frame.Table(
            "ReportForm9",
            {"group", "Name", "measurementNatural", "measurementPrice", "isMeasurementNatural", "sumReport1",
             "sumEstimate1", "sumForecast1", "valueReport1", "valueEstimate1", "valueForecast1", "sumReport2",
             "sumEstimate2", "sumForecast2", "valueReport2", "valueEstimate2", "valueForecast2"});
        for (int id : order) {
            const auto it = rows.find(id);
            if (it == rows.end())
                continue;
            const ComparisonRow& r = it->second;
            table << r.code << IndentedReportName(depths[id], r.name) << r.natural << r.price << r.isNatural;
            for (const Money& v : r.values)
                table << Money::fromRaw(v.raw());
            table.Write();
        }
    });
    const auto errors = collector.take();
    if (!errors.empty())
        AppMessageBox(Form9ErrorText(errors.front()), MB_ICONHAND);
    return reportId;
}
