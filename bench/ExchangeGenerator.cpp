#include "ExchangeGenerator.h"

#include "db/SqlQuery.h"
#include "tables/TableCommon.h"

using namespace ExchangeIds;

namespace {

CForecastShape ProductShape(const CExchangeShape& s, int firstReceiver)
{
    CForecastShape shape;
    shape.forecast = s.forecast;
    shape.firstReceiverId = firstReceiver;
    shape.receiverGroups = 0;
    shape.leafReceivers = 0;
    shape.leafProducts = s.products - 102; // the top group, 9 groups, 90 subgroups and the deep branch
    shape.dataRows = false;
    shape.seed = s.seed;
    return shape;
}

bool Exec(const QString& sql, const QVariantList& args)
{
    CSqlQuery q(sql);
    q.bindAll(args);
    return q.exec();
}

bool AddReceiver(int forecast, int id, int category, const QString& name, const QString& email, int importedId)
{
    return Exec(QStringLiteral("insert into tclsreceiver (id, category, name, email, position, importedId, type, "
                               "isgroup) values (?, ?, ?, ?, ?, ?, 1, 0)"),
                {id, category, name, email, id, importedId})
        && Exec(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (?, ?)"), {forecast, id});
}

template <class Work>
std::optional<CGeneratedForecast> Generate(const CExchangeShape& s, int firstReceiver, QString* error, Work work)
{
    auto g = GenerateForecast(ProductShape(s, firstReceiver), error);
    if (!g)
        return std::nullopt;
    CTransaction tx;
    if (!tx.isActive() || !work(*g) || !tx.commit()) {
        if (error)
            *error = QStringLiteral("the organisation's receivers or rows could not be written");
        return std::nullopt;
    }
    return g;
}

bool InsertRows(const QString& head, const CTotalForecastList& rows, int receiver)
{
    const QString sql = head + ForecastFigureColumns() + QStringLiteral(", comment, base, baseMethod) values (?, ?, ")
        + (receiver > 0 ? QStringLiteral("?, ") : QString())
        + QStringLiteral("?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    CSqlQuery q(sql);
    for (const CTotalForecastRecord& rec : rows) {
        q.bind(rec.prognoz).bind(rec.product);
        if (receiver > 0)
            q.bind(receiver);
        BindForecastFigures(q, rec);
        q.bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
        if (!q.exec())
            return false;
    }
    return true;
}

} // namespace

CTotalForecastList ExchangeTotals(const CExchangeShape& shape, const CGeneratedForecast& forecast)
{
    std::vector<int> products = forecast.productGroups;
    products.insert(products.end(), forecast.leafProducts.begin(), forecast.leafProducts.end());
    CTotalForecastList rows;
    rows.reserve(products.size());
    std::uint64_t x = shape.seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < products.size(); ++i) {
        CTotalForecastRecord rec;
        rec.prognoz = shape.forecast;
        rec.product = products[i];
        for (const ForecastMoneyColumn& c : kForecastMoneyColumns) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            rec.*c.field = Money::fromRaw(std::int64_t(x % 1000000000));
        }
        rec.base = i % 13 == 0 ? QStringLiteral("обоснование \"%1\" & <%2>").arg(i).arg(i + 1) : QString();
        rec.baseMethod = int(i % 5);
        rows.push_back(std::move(rec));
    }
    if (!rows.empty())
        rows.front().sumNext = Money::fromRaw(12345678);
    return rows;
}

std::optional<CGeneratedForecast> GenerateLowerOrganisation(const CExchangeShape& shape, QString* error)
{
    return Generate(shape, kLowerInB, error, [&](CGeneratedForecast& g) {
        // The generated root is B's own receiver, as the upper organisation's reference data made it.
        if (!Exec(QStringLiteral("update tclsreceiver set importedId = ?, name = ?, email = ? where id = ?"),
                  {kLowerInA, QStringLiteral("Управление образования"), QStringLiteral("lower@example.org"), g.root}))
            return false;
        if (!AddReceiver(shape.forecast, kUpperInB, -1, QStringLiteral("Министерство финансов"),
                         QStringLiteral("upper@example.org"), kUpperInA))
            return false;
        for (int i = 1; i <= kSubReceivers; ++i)
            if (!AddReceiver(shape.forecast, kLowerInB + i, g.root, QStringLiteral("Школа %1").arg(i), QString(), 0))
                return false;
        return InsertTotalRows(ExchangeTotals(shape, g));
    });
}

std::optional<CGeneratedForecast> GenerateUpperOrganisation(const CExchangeShape& shape, QString* error)
{
    return Generate(shape, kUpperInA, error, [&](CGeneratedForecast& g) {
        return Exec(QStringLiteral("update tclsreceiver set name = ? where id = ?"),
                    {QStringLiteral("Министерство финансов"), g.root})
            && AddReceiver(shape.forecast, kLowerInA, g.root, QStringLiteral("Управление образования"),
                           QStringLiteral("lower@example.org"), 0);
    });
}

bool InsertTotalRows(const CTotalForecastList& rows)
{
    // Rows a consolidation wrote: they carry its time.
    return InsertRows(QStringLiteral("insert into tfcttotalprognoz (prognoz, product, "), rows, 0)
        && Exec(QStringLiteral("update tfcttotalprognoz set lastUpdate = ? where lastUpdate is null"),
                {CurrentTimeToSecond()});
}

bool InsertDataRows(const CTotalForecastList& rows, int receiver)
{
    return InsertRows(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, "), rows, receiver);
}
