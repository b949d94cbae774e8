#include "Form8.h"

#include "FormRows.h"
#include "db/SqlQuery.h"
#include "tables/ReceiverTree.h"

#include <cmath>
#include <stdexcept>
#include <unordered_map>

namespace {

Money Change(Money forecast, Money estimate)
{
    if (estimate.isZero())
        return Money::fromInt(0);
    const auto change = Money::fromDouble(std::fabs(forecast.toDouble() / estimate.toDouble() * 100.0 - 100.0));
    if (!change)
        throw CReportFailure(DbError::fromSql(MoneyOverflowError()));
    return *change;
}

Form8Row FromLine(const ReportProductRow& line)
{
    Form8Row row;
    row.productId = line.id;
    row.parentId = line.parent;
    row.name = line.name;
    row.code = line.code;
    row.isGroup = line.isGroup;
    row.level = line.level;
    row.measurementNaturalId = line.measurementNaturalId;
    row.measurementPriceId = line.measurementPriceId;
    row.measurementNatural = line.measurementNatural;
    row.measurementPrice = line.measurementPrice;
    row.isMeasurementNatural = line.isMeasurementNatural;
    row.sumReport = line.sumLast;
    row.sumEstimate = line.sumCurr;
    row.sumForecast = line.sumNext;
    row.valueReport = line.valueLast;
    row.valueEstimate = line.valueCurr;
    row.valueForecast = line.valueNext;
    row.change = Change(line.sumNext, line.sumCurr);
    return row;
}

// Groups with nothing below them go, from the end, until a pass removes nothing: a group that held
// only such groups goes too.
void PruneEmptyGroups(Form8RowList& rows)
{
    bool removed = true;
    while (removed && !rows.empty()) {
        removed = false;
        for (size_t i = rows.size(); i-- > 0;) {
            if (!rows[i].isGroup)
                continue;
            if (i + 1 == rows.size() || rows[i + 1].level <= rows[i].level) {
                rows.erase(rows.begin() + std::ptrdiff_t(i));
                removed = true;
            }
        }
    }
}

} // namespace

struct CForm8Lines::State {
    int forecastId;
    CProductTotalsLoader skeletonLoader;
    std::optional<ReportProductList> skeleton;
    std::unique_ptr<CSqlQuery> sums;

    State(int forecast, const std::vector<int>& productIds, CProductDepthMap& depthMap)
        : forecastId(forecast)
        , skeletonLoader(forecast, productIds, depthMap)
    {
    }
};

CForm8Lines::CForm8Lines(int forecastId, const std::vector<int>& productIds, CProductDepthMap& depthMap)
    : m(std::make_unique<State>(forecastId, productIds, depthMap))
{
}

CForm8Lines::~CForm8Lines() = default;

std::optional<ReportProductList> CForm8Lines::Load(int receiverId)
{
    if (!m->skeleton) {
        // No receiver has the id -1: every line with zero sums, footers in place.
        m->skeleton = m->skeletonLoader.Load({-1});
        if (!m->skeleton)
            return std::nullopt;
        m->sums = std::make_unique<CSqlQuery>(
            QStringLiteral("select product, sum(sumLast) as sumLast, sum(sumCurr) as sumCurr, sum(sumNext) as sumNext,"
                           " sum(valueLast) as valueLast, sum(valueCurr) as valueCurr, sum(valueNext) as valueNext"
                           " from tfctprognozdata where prognoz = ? and receiver = ? group by product"));
    }
    CSqlQuery& q = *m->sums;
    q.bind(m->forecastId).bind(receiverId);
    if (!q.exec()) {
        ReportComError(q.lastError());
        return std::nullopt;
    }
    struct Sums {
        Money values[6];
    };
    std::unordered_map<int, Sums> byProduct;
    static const char* const kColumns[6] = {"sumLast", "sumCurr", "sumNext", "valueLast", "valueCurr", "valueNext"};
    while (q.next()) {
        Sums s;
        for (int i = 0; i < 6; ++i)
            s.values[i] = Money::fromRaw(q.money(kColumns[i]).raw());
        byProduct[q.intValue("product")] = s;
    }
    if (q.readFailed() || q.lastError().isValid()) {
        ReportComError(DbError::fromSql(q.lastError().isValid() ? q.lastError() : MoneyOverflowError()));
        return std::nullopt;
    }
    ReportProductList lines = *m->skeleton;
    std::unordered_map<int, const ReportProductRow*> groups;
    for (ReportProductRow& line : lines) {
        if (line.isFooter) {
            // A footer line stands for its group's balancing line: the group's quantities as sums.
            const auto group = groups.find(line.id);
            if (group != groups.end()) {
                const ReportProductRow footer = MakeFooterRow(*group->second);
                line.sumLast = footer.sumLast;
                line.sumCurr = footer.sumCurr;
                line.sumNext = footer.sumNext;
                line.valueLast = footer.valueLast;
                line.valueCurr = footer.valueCurr;
                line.valueNext = footer.valueNext;
            }
            continue;
        }
        const auto found = byProduct.find(line.id);
        const Sums s = found == byProduct.end() ? Sums{} : found->second;
        line.sumLast = s.values[0];
        line.sumCurr = s.values[1];
        line.sumNext = s.values[2];
        line.valueLast = s.values[3];
        line.valueCurr = s.values[4];
        line.valueNext = s.values[5];
        if (line.isGroup)
            groups[line.id] = &line;
    }
    return lines;
}

std::optional<Form8RowList> BuildReportForm8Rows(CForm8Lines& lines, int receiverId, Money limit)
{
    const auto loaded = lines.Load(receiverId);
    if (!loaded)
        return std::nullopt;
    Form8RowList rows;
    for (const ReportProductRow& line : *loaded) {
        Form8Row row = FromLine(line);
        if (row.isGroup || row.change >= limit)
            rows.push_back(std::move(row));
    }
    PruneEmptyGroups(rows);
    return rows;
}

std::optional<Form8RowList> BuildReportForm8Rows(int forecastId, int receiverId, Money limit,
                                                 const std::vector<int>& productIds, CProductDepthMap& depthMap)
{
    CForm8Lines lines(forecastId, productIds, depthMap);
    return BuildReportForm8Rows(lines, receiverId, limit);
}

int BuildReportForm8(int forecastId, Money limit)
{
    return RunReportFrame([&](CReportFrame& frame) {
        CDepthMap receiverDepths;
        CReceiverList receivers;
        CProductDepthMap productDepths;
        std::vector<int> productIds;
        CheckedRead([&] {
            if (!CollectReceiverTree(forecastId, receiverDepths, nullptr, &receivers)
                || !CollectProductTree(forecastId, productDepths, &productIds, nullptr))
                throw std::runtime_error("tree");
            return true;
        });
        CReportTable& table = frame.Table(
            "reportform8",
            {"receiverId", "Name", "ReceiverPId", "ReceiverIsGroup", "Group", "measurementNatural",
             "measurementNaturalId", "measurementPrice", "measurementPriceId", "isMeasurementNatural", "sumReport",
             "sumEstimate", "sumForecast", "valueReport", "valueEstimate", "valueForecast", "ProductId", "ProductPId"});
        const auto writeReceiver = [&](const CReceiverRecord& r) {
            table << r.id << IndentedReportName(receiverDepths[r.id], r.name) << (r.category > 0 ? r.category : 0)
                  << (r.isgroup ? 1 : 0);
            table.Null() << QString() << -1 << QString() << -1 << 0;
            for (int i = 0; i < 6; ++i)
                table.Null();
            table.Null().Null();
            table.Write();
        };
        CForm8Lines lines(forecastId, productIds, productDepths);
        for (const CReceiverRecord& r : receivers) {
            if (r.isgroup && r.category > 0) {
                writeReceiver(r);
                continue;
            }
            // Lines that cannot be loaded fail the run rather than leave the receiver out unseen.
            const auto rows = CheckedRead([&] { return BuildReportForm8Rows(lines, r.id, limit); });
            if (!rows)
                throw std::runtime_error("product lines");
            if (rows->empty())
                continue;
            writeReceiver(r);
            for (const Form8Row& p : *rows) {
                table << r.id << p.name;
                table.Null().Null();
                table << p.code << p.measurementNatural << p.measurementNaturalId << p.measurementPrice
                      << p.measurementPriceId << p.isMeasurementNatural << p.sumReport << p.sumEstimate << p.sumForecast
                      << p.valueReport << p.valueEstimate << p.valueForecast << p.productId << p.parentId;
                table.Write();
            }
        }
        // Group rows with nothing below them go, once; a group with product rows of its own stays.
        CSqlQuery prune(QStringLiteral("delete from reportform8 where report = ? and ReceiverIsGroup = 1"
                                       " and not exists (select 1 from reportform8 r2 where r2.report = ?"
                                       " and r2.ReceiverPId = reportform8.receiverId)"
                                       " and not exists (select 1 from reportform8 r3 where r3.report = ?"
                                       " and r3.receiverId = reportform8.receiverId and r3.ProductId is not null)"),
                        GetReportDBConnection());
        prune.bind(frame.reportId()).bind(frame.reportId()).bind(frame.reportId());
        if (!prune.exec())
            throw CReportFailure(DbError::fromSql(prune.lastError()));
    });
}
