#include "Form8.h"

#include "FormRows.h"
#include "ReportProgress.h"
#include "db/BulkStatement.h"
#include "db/SqlQuery.h"
#include "tables/ReceiverTree.h"

#include <algorithm>
#include <cmath>
#include <optional>
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

// Groups with nothing below them go: a group that held only such groups goes too. From the end each
// row's fate is known from the rows kept after it, so one pass decides and one moves.
void PruneEmptyGroups(Form8RowList& rows)
{
    std::vector<bool> keep(rows.size());
    std::optional<int> nextLevel; // of the nearest kept row below
    for (size_t i = rows.size(); i-- > 0;) {
        keep[i] = !rows[i].isGroup || (nextLevel && *nextLevel > rows[i].level);
        if (keep[i])
            nextLevel = rows[i].level;
    }
    size_t kept = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        if (keep[i]) {
            if (kept != i)
                rows[kept] = std::move(rows[i]);
            ++kept;
        }
    rows.erase(rows.begin() + std::ptrdiff_t(kept), rows.end());
}

} // namespace

struct CForm8Lines::State {
    int forecastId;
    CProductTotalsLoader skeletonLoader;
    bool loaded = false;
    std::vector<std::pair<int, size_t>> lineOf;     // (product, its non-footer line) by product
    std::vector<std::pair<size_t, size_t>> footers; // footer line -> its group's line
    ReportProductList lines;                        // the skeleton with the last receiver's sums

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

const ReportProductList* CForm8Lines::Load(int receiverId)
{
    ReportProductList& lines = m->lines;
    if (!m->loaded) {
        // No receiver has the id -1: every line with zero sums, footers in place.
        std::optional<ReportProductList> skeleton = m->skeletonLoader.Load({-1});
        if (!skeleton)
            return nullptr;
        lines = std::move(*skeleton);
        m->loaded = true;
        std::unordered_map<int, size_t> groups;
        for (size_t i = 0; i < lines.size(); ++i) {
            const ReportProductRow& line = lines[i];
            if (line.isFooter) {
                if (const auto group = groups.find(line.id); group != groups.end())
                    m->footers.emplace_back(i, group->second);
                continue;
            }
            m->lineOf.emplace_back(line.id, i);
            if (line.isGroup)
                groups[line.id] = i;
        }
        std::sort(m->lineOf.begin(), m->lineOf.end());
    }
    // One receiver's rows read through the database's own interface; a figure the rows leave empty
    // counts as a valid 0, as in every product line.
    CRowStream q(QStringLiteral("select product, sum(sumLast), sum(sumCurr), sum(sumNext),"
                                " sum(valueLast), sum(valueCurr), sum(valueNext)"
                                " from tfctprognozdata where prognoz = ? and receiver = ? group by product"
                                " order by product"),
                 {m->forecastId, receiverId});
    if (!q.start())
        return nullptr;
    // Back to the skeleton's zero sums; only the products the receiver has rows of change.
    const Money zero = Money::fromInt(0);
    for (ReportProductRow& line : lines)
        line.sumLast = line.sumCurr = line.sumNext = line.valueLast = line.valueCurr = line.valueNext = zero;
    const auto figure = [&q](int column) { return Money::fromRaw(q.moneyAt(column).raw()); };
    // The sums come in the products' order, the lines' places too: one walk matches them.
    auto at = m->lineOf.cbegin();
    while (q.next()) {
        const int product = q.intAt(0);
        while (at != m->lineOf.cend() && at->first < product)
            ++at;
        if (at == m->lineOf.cend() || at->first != product)
            continue;
        ReportProductRow& line = lines[at->second];
        line.sumLast = figure(1);
        line.sumCurr = figure(2);
        line.sumNext = figure(3);
        line.valueLast = figure(4);
        line.valueCurr = figure(5);
        line.valueNext = figure(6);
    }
    if (!q.finish())
        return nullptr;
    // A footer line stands for its group's balancing line: the group's quantities as sums.
    for (const auto& [footerAt, groupAt] : m->footers) {
        ReportProductRow& footer = lines[footerAt];
        const ReportProductRow& group = lines[groupAt];
        footer.sumLast = group.valueLast;
        footer.sumCurr = group.valueCurr;
        footer.sumNext = group.valueNext;
        footer.valueLast = group.valueLast;
        footer.valueCurr = group.valueCurr;
        footer.valueNext = group.valueNext;
    }
    return &lines;
}

bool BuildReportForm8Rows(CForm8Lines& lines, int receiverId, Money limit, Form8RowList& rows)
{
    rows.clear();
    const ReportProductList* loaded = lines.Load(receiverId);
    if (!loaded)
        return false;
    for (const ReportProductRow& line : *loaded)
        if (line.isGroup || Change(line.sumNext, line.sumCurr) >= limit)
            rows.push_back(FromLine(line));
    PruneEmptyGroups(rows);
    return true;
}

std::optional<Form8RowList> BuildReportForm8Rows(CForm8Lines& lines, int receiverId, Money limit)
{
    Form8RowList rows;
    if (!BuildReportForm8Rows(lines, receiverId, limit, rows))
        return std::nullopt;
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
        ReportStep(ReportStepTexts::kReceiverTree);
        if (!CheckedRead([&] { return CollectReceiverTree(forecastId, receiverDepths, nullptr, &receivers); }))
            throw CReportFailure(ReportFailureTexts::kReceiverTree);
        ReportStep(ReportStepTexts::kProductTree);
        if (!CheckedRead([&] { return CollectProductTree(forecastId, productDepths, &productIds, nullptr); }))
            throw CReportFailure(ReportFailureTexts::kProductTree);
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
        Form8RowList rows;
        int done = 0;
        for (const CReceiverRecord& r : receivers) {
            ReportStep(ReportStepTexts::kReceiverSums.arg(++done).arg(receivers.size()));
            if (r.isgroup && r.category > 0) {
                writeReceiver(r);
                continue;
            }
            // Lines that cannot be loaded fail the run rather than leave the receiver out unseen.
            if (!CheckedRead([&] { return BuildReportForm8Rows(lines, r.id, limit, rows); }))
                throw CReportFailure(ReportFailureTexts::kProductLines);
            if (rows.empty())
                continue;
            writeReceiver(r);
            for (const Form8Row& p : rows) {
                table << r.id << p.name;
                table.Null().Null();
                table << p.code << p.measurementNatural << p.measurementNaturalId << p.measurementPrice
                      << p.measurementPriceId << p.isMeasurementNatural << p.sumReport << p.sumEstimate << p.sumForecast
                      << p.valueReport << p.valueEstimate << p.valueForecast << p.productId << p.parentId;
                table.Write();
            }
        }
        // Group rows with nothing below them go, once; a group with product rows of its own stays. Those
        // receivers are read once for the statement, not looked for in the run's rows for each group.
        CSqlQuery prune(QStringLiteral("delete from reportform8 where report = ? and ReceiverIsGroup = 1"
                                       " and not exists (select 1 from reportform8 r2 where r2.report = ?"
                                       " and r2.ReceiverPId = reportform8.receiverId)"
                                       " and receiverId not in (select r3.receiverId from reportform8 r3"
                                       " where r3.report = ? and r3.ProductId is not null)"),
                        GetReportDBConnection());
        prune.bind(frame.reportId()).bind(frame.reportId()).bind(frame.reportId());
        if (!prune.exec())
            throw CReportFailure(DbError::fromSql(prune.lastError()));
    });
}
