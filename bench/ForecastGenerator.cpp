#include "ForecastGenerator.h"

#include "Settings.h"
#include "db/BulkStatement.h"
#include "db/SqlQuery.h"
#include "tables/ForecastData.h"

#include <QFile>
#include <QVariantList>

#include <cstdio>

namespace {

constexpr int kGroupUnit = 9001;
constexpr int kDirectUnit = 9002;
constexpr int kReverseUnit = 9003;
constexpr int kKinds[3] = {64, 96, 112};

struct Failure {
    QString text;
};

void Run(const QString& sql, const QVariantList& args = {})
{
    CSqlQuery q(sql);
    q.bindAll(args);
    if (!q.exec())
        throw Failure{sql + QStringLiteral(": ") + q.lastError().text()};
}

void RunPrepared(CSqlQuery& q, const char* what)
{
    if (!q.exec())
        throw Failure{QLatin1String(what) + QStringLiteral(": ") + q.lastError().text()};
}

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

std::uint64_t Hash(std::uint64_t seed, int a, int b, int c = 0)
{
    return Mix(seed ^ Mix(std::uint64_t(a) << 32 ^ std::uint64_t(std::uint32_t(b)) ^ Mix(std::uint64_t(c))));
}

// The units and the two pairs; a database that has them already keeps them.
void GenerateUnits()
{
    CSqlQuery exists(QStringLiteral("select count(*) from tclsmeasurement where id = ?"));
    exists.bind(kGroupUnit);
    RunPrepared(exists, "units");
    if (exists.next() && exists.value(0).toInt() > 0)
        return;
    const QString unit = QStringLiteral("insert into tclsmeasurement (id, name, code, oboznachenie, type) "
                                        "values (?, ?, ?, ?, 2)");
    Run(unit, {kGroupUnit, QStringLiteral("руб."), QStringLiteral("383"), QStringLiteral("руб.")});
    Run(unit, {kDirectUnit, QStringLiteral("тыс. руб."), QStringLiteral("384"), QStringLiteral("тыс. руб.")});
    Run(unit, {kReverseUnit, QStringLiteral("коп."), QStringLiteral("382"), QStringLiteral("коп.")});
    const QString pair = QStringLiteral("insert into tclsmconvert (base, produce, koef) values (?, ?, ?)");
    Run(pair, {kDirectUnit, kGroupUnit, 1000.0});
    Run(pair, {kGroupUnit, kReverseUnit, 100.0});
}

struct Products {
    std::vector<int> groups; // in creation order
    std::vector<int> lowest; // where leaves go
    std::vector<int> leaves;
    std::vector<bool> priced; // by index
    int deepGroup = 0;
    int deepLeaf = 0;
};

Products GenerateProducts(const CForecastShape& s)
{
    Products out;
    CSqlQuery q(QStringLiteral("insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, "
                               "name, code, position, type, isgroup, offsetMin, offsetMax, avRep, avCur, avProg, "
                               "priceIdx) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, 0, 0)"));
    int index = 0;
    auto add = [&](int parent, bool group, int unit, int position) {
        const int id = CGeneratedForecast::ProductId(s.forecast, index);
        const int kind = group ? kKinds[out.groups.size() % 3] : 1;
        q.bind(s.forecast).bind(id).bind(parent).bind(unit).bind(unit);
        q.bind(QStringLiteral("%1 %2").arg(group ? QStringLiteral("Группа") : QStringLiteral("Продукт")).arg(index));
        q.bind(QStringLiteral("%1").arg(index, 4, 10, QLatin1Char('0'))).bind(position).bind(kind).bind(group ? 1 : 0);
        RunPrepared(q, "product");
        if (group)
            out.groups.push_back(id);
        out.priced.push_back(group || s.unpricedEvery == 0 || index % s.unpricedEvery != s.unpricedEvery - 1);
        ++index;
        return id;
    };
    const int top = add(0, true, kGroupUnit, 0);
    std::vector<int> level2;
    for (int g = 0; g < s.productGroups; ++g)
        level2.push_back(add(top, true, kGroupUnit, g));
    for (int parent : level2)
        for (int g = 0; g < s.productSubgroups; ++g)
            out.lowest.push_back(add(parent, true, kGroupUnit, g));
    if (out.lowest.empty())
        out.lowest = level2.empty() ? std::vector<int>{top} : level2;
    int deep = out.lowest.front();
    for (int level = 0; level < s.deepLevels; ++level)
        deep = add(deep, true, kGroupUnit, 100 + level);
    out.deepGroup = deep;
    if (s.deepLevels > 0)
        out.lowest.push_back(deep);
    for (int leaf = 0; leaf < s.leafProducts; ++leaf) {
        const int parent = out.lowest[leaf % out.lowest.size()];
        int unit = kGroupUnit;
        if (s.secondUnitEvery > 0 && leaf % s.secondUnitEvery == s.secondUnitEvery - 1)
            unit = (leaf / s.secondUnitEvery) % 2 ? kReverseUnit : kDirectUnit;
        const int id = add(parent, false, unit, 1000 + leaf);
        out.leaves.push_back(id);
        if (parent == deep && !out.deepLeaf)
            out.deepLeaf = id;
    }
    CSqlQuery price(QStringLiteral(
        "insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)"));
    for (int i = 0; i < index; ++i) {
        if (!out.priced[size_t(i)])
            continue;
        const auto base = std::int64_t(Hash(s.seed, i, -1) % 10000000);
        price.bind(s.forecast).bind(CGeneratedForecast::ProductId(s.forecast, i));
        price.bind(Money::fromRaw(base)).bind(Money::fromRaw(base + 1000)).bind(Money::fromRaw(base + 2000));
        RunPrepared(price, "price");
    }
    return out;
}

void GenerateReceivers(const CForecastShape& s, CGeneratedForecast& g)
{
    CSqlQuery q(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                               "values (?, ?, ?, ?, 0, 1, ?)"));
    CSqlQuery map(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (?, ?)"));
    int id = s.firstReceiverId;
    auto add = [&](int parent, bool group, const QString& name, int position) {
        q.bind(id).bind(parent).bind(name).bind(position).bind(group ? 1 : 0);
        RunPrepared(q, "receiver");
        map.bind(s.forecast).bind(id);
        RunPrepared(map, "receiver map");
        return id++;
    };
    g.root = add(0, true, QStringLiteral("Организация %1").arg(s.forecast), 0);
    std::vector<int> groups;
    for (int i = 0; i < s.receiverGroups; ++i)
        groups.push_back(add(g.root, true, QStringLiteral("Группа получателей %1").arg(i), i));
    std::vector<int> lowest;
    for (int parent : groups)
        for (int i = 0; i < s.receiverSubgroups; ++i)
            lowest.push_back(add(parent, true, QStringLiteral("Подгруппа %1.%2").arg(parent).arg(i), i));
    g.receiverGroups = groups;
    g.receiverGroups.insert(g.receiverGroups.end(), lowest.begin(), lowest.end());
    if (lowest.empty())
        lowest = groups.empty() ? std::vector<int>{g.root} : groups;
    for (int i = 0; i < s.leafReceivers; ++i) {
        const bool direct = !groups.empty() && s.receiverSubgroups > 0 && s.directLeafEvery > 0
            && i % s.directLeafEvery == s.directLeafEvery - 1;
        const int parent = direct ? groups[size_t(i) % groups.size()] : lowest[size_t(i) % lowest.size()];
        g.leafReceivers.push_back(add(parent, false, QStringLiteral("Получатель %1").arg(i), 100 + i));
    }
}

void GenerateRows(const CForecastShape& s, CGeneratedForecast& g, const std::vector<int>& receivers, int products)
{
    CBulkStatement q(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, ")
                         + ForecastFigureColumns() + QStringLiteral(", comment, base, baseMethod) select * from %1"),
                     QStringLiteral("v"), ForecastDataBulkColumns());
    for (int receiver : receivers) {
        for (int i = 0; i < products; ++i) {
            const std::uint64_t h = Hash(s.seed, receiver, i);
            if (s.missingRowEvery > 0 && h % std::uint64_t(s.missingRowEvery) == 0)
                continue;
            q.add(s.forecast).add(CGeneratedForecast::ProductId(s.forecast, i)).add(receiver);
            for (int c = 0; c < 16; ++c)
                q.add(Money::fromRaw(std::int64_t(Hash(s.seed, receiver, i, c + 1) % 100000000)));
            q.add(h % 7 == 0 ? QStringLiteral("комментарий %1").arg(i) : QString());
            q.add(h % 11 == 0 ? QStringLiteral("обоснование %1").arg(receiver) : QString());
            q.add(int(h % 5));
            if (!q.endRow())
                throw Failure{QStringLiteral("data rows")};
            ++g.rows;
        }
    }
    if (!q.finish())
        throw Failure{QStringLiteral("data rows")};
}

} // namespace

std::optional<CGeneratedForecast> GenerateForecast(const CForecastShape& shape, QString* error)
{
    CGeneratedForecast g;
    g.forecast = shape.forecast;
    g.groupUnit = kGroupUnit;
    g.directUnit = kDirectUnit;
    g.reverseUnit = kReverseUnit;
    try {
        CTransaction tx;
        if (!tx.isActive())
            throw Failure{QStringLiteral("no transaction")};
        Run(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (?, ?, 2026, 0)"),
            {shape.forecast, QStringLiteral("Прогноз %1").arg(shape.forecast)});
        GenerateUnits();
        const Products products = GenerateProducts(shape);
        g.topProduct = products.groups.front();
        g.productGroups = products.groups;
        g.leafProducts = products.leaves;
        g.deepGroup = products.deepGroup;
        g.deepLeaf = products.deepLeaf;
        GenerateReceivers(shape, g);
        std::vector<int> receivers{g.root};
        receivers.insert(receivers.end(), g.receiverGroups.begin(), g.receiverGroups.end());
        receivers.insert(receivers.end(), g.leafReceivers.begin(), g.leafReceivers.end());
        if (shape.dataRows)
            GenerateRows(shape, g, receivers, int(products.priced.size()));
        if (!tx.commit())
            throw Failure{QStringLiteral("commit")};
    } catch (const Failure& f) {
        if (error)
            *error = f.text;
        return std::nullopt;
    }
    return g;
}

bool CScratchDatabase::Open(const QString& templateFile, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (!m_home.isValid())
        return fail(QStringLiteral("no temporary folder"));
    qputenv("LIR_HOME", m_home.path().toLocal8Bit());
    m_file = m_home.path() + QStringLiteral("/LIR.db");
    if (!QFile::copy(templateFile, m_file))
        return fail(QStringLiteral("cannot copy ") + templateFile);
    QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner);
    Settings().EnableOpJournal = false;
    DbConnectParams params;
    params.dialect = SqlDialect::SQLite;
    params.file = m_file;
    if (!GetDBConnection().ConnectWith(params))
        return fail(QStringLiteral("cannot open the database"));
    return true;
}

std::optional<CGeneratedForecast> GenerateBenchmarkForecast(CScratchDatabase& db, const QString& templateFile,
                                                            QString* error)
{
    if (!db.Open(templateFile, error))
        return std::nullopt;
    std::printf("Generating 1,000 receivers x 1,000 products on SQLite...\n");
    std::fflush(stdout);
    return GenerateForecast(CForecastShape::Benchmark(), error);
}
