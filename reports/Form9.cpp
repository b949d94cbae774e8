#include "Form9.h"

#include "AppMessage.h"
#include "FormRows.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "tables/ProductTree.h"

#include <QVariantList>

#include <exception>
#include <thread>
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

// One side's products: the sums of its rows per product with the product's record of the side's
// forecast (unknown when its classifier lacks the product). NULL sums stay apart: they pass no test.
struct SideProduct {
    bool known = false;
    bool group = false;
    QString code;
    QString name;
    QString natural;
    QString price;
    Money values[6]; // kValues; NULL: invalid
};
using SideProducts = std::unordered_map<int, SideProduct>;

// The side's rows summed per product, then the product read once per sum. Values: the forecast, the
// receivers (data), the forecast.
QString SideStatement(const Side& side)
{
    return QStringLiteral("select tp1.product, pd1.id as known, pd1.code, pd1.name, pd1.isgroup,"
                          " m1.oboznachenie as natural, m2.oboznachenie as price, ")
        + Columns(QStringLiteral("tp1")) + QStringLiteral(" from (select tp1.prognoz, tp1.product, ")
        + Sums(QStringLiteral("tp1")) + QStringLiteral(" from ") + side.table()
        + QStringLiteral(" tp1 where tp1.prognoz = ?") + ReceiverFilter(side, QStringLiteral("tp1.receiver"))
        + QStringLiteral(" and tp1.product is not null group by tp1.prognoz, tp1.product) tp1"
                         " left join tclsproduct pd1 on pd1.prognoz = tp1.prognoz and pd1.id = tp1.product"
                         " left join tclsmeasurement m1 on m1.id = pd1.measurementNatural"
                         " left join tclsmeasurement m2 on m2.id = pd1.measurementPrice");
}

// Reads one side through the calling thread's connection; throws when the database fails.
SideProducts ReadSide(const Side& side)
{
    CSqlQuery q(SideStatement(side));
    q.bind(side.forecast);
    if (side.data())
        q.bind(IdSetArgument(side.receivers));
    if (!q.exec())
        throw CReportFailure(DbError::fromSql(q.lastError()));
    SideProducts products;
    static const char* const values[6] = {"sumLast", "sumCurr", "sumNext", "valueLast", "valueCurr", "valueNext"};
    while (q.next()) {
        SideProduct p;
        p.known = !q.isNull("known");
        p.group = q.intValue("isgroup", 0) != 0;
        p.code = q.text("code");
        p.name = q.text("name");
        p.natural = q.text("natural");
        p.price = q.text("price");
        for (int i = 0; i < 6; ++i)
            p.values[i] = q.money(values[i]);
        if (q.readFailed())
            throw CReportFailure(DbError::fromSql(q.lastError()));
        products.emplace(q.intValue("product"), std::move(p));
    }
    if (q.lastError().isValid())
        throw CReportFailure(DbError::fromSql(q.lastError()));
    return products;
}

// X exceeds Y by at least the threshold in percent of X (X > 0), or the mirror, in some year; exact,
// as DifferenceTest.
bool Differs(int threshold, const SideProduct& a, const SideProduct& b)
{
    const auto exceeds = [threshold](Money x, Money y) {
        const __int128 rx = x.raw();
        const __int128 ry = y.raw();
        return rx > ry && rx > 0 && (rx - ry) * 100 >= __int128(threshold) * rx;
    };
    for (int year = 0; year < 3; ++year) {
        const Money x = a.values[year];
        const Money y = b.values[year];
        if (x.isValid() && y.isValid() && (exceeds(x, y) || exceeds(y, x)))
            return true;
    }
    return false;
}

struct Statement {
    QString sql;
    QVariantList values;
};

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

// A row of the products the sides hold: the product's record from `shown`, its figures from each side.
ComparisonRow RowOf(const SideProduct& shown, const SideProduct* first, const SideProduct* second)
{
    ComparisonRow row;
    row.code = shown.code;
    row.name = shown.name;
    row.natural = shown.group ? QString() : shown.natural;
    row.price = shown.price;
    row.isNatural = shown.group ? 0 : 1;
    for (int i = 0; i < 6; ++i) {
        row.values[i] = first ? first->values[i] : Money::fromInt(0);
        row.values[6 + i] = second ? second->values[i] : Money::fromInt(0);
    }
    return row;
}

// The products whose sums differ by the threshold, and for thresholds up to 100 those only one side
// holds. The two sides are read side by side, each through a connection of its own thread.
std::unordered_map<int, ComparisonRow> CompareSides(int threshold, const Side& first, const Side& second)
{
    SideProducts b;
    std::exception_ptr failure;
    std::thread other([&] {
        try {
            b = ReadSide(second);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    SideProducts a;
    try {
        a = ReadSide(first);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failure)
        std::rethrow_exception(failure);
    std::unordered_map<int, ComparisonRow> rows;
    for (const auto& [id, x] : a) {
        if (!x.known)
            continue;
        const auto y = b.find(id);
        if (y == b.end()) {
            if (threshold <= 100)
                rows.emplace(id, RowOf(x, &x, nullptr));
        } else if (y->second.known && Differs(threshold, x, y->second)) {
            rows.emplace(id, RowOf(x, &x, &y->second));
        }
    }
    for (const auto& [id, y] : b)
        if (y.known && !a.count(id) && threshold <= 100)
            rows.emplace(id, RowOf(y, nullptr, &y));
    return rows;
}

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
        std::unordered_map<int, ComparisonRow> rows; // the first row of each product
        if (first.data() || second.data()) {
            rows = CompareSides(threshold, first, second);
        } else {
            const Statement statement = TotalsStatement(threshold, firstForecast, secondForecast);
            CSqlQuery q(statement.sql);
            q.bindAll(statement.values);
            if (!q.exec())
                throw CReportFailure(DbError::fromSql(q.lastError()));
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
        }

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
