#include "TotalForecasts.h"

#include <span>

namespace {

using R = CTotalForecastRecord;

const std::array<XmlField<R>, 22> kXmlFields = ForecastRowXmlFields<R>();
// Written without the comment's value: the comment does not travel with the forecast.
const std::span<const XmlField<R>> kWrittenFields = std::span(kXmlFields).first(21);

const std::array<XmlField<R>, 3> kCommentXmlFields = ForecastCommentXmlFields<R>();

const QString kSelect = QStringLiteral("select id, prognoz, product, ") + ForecastFigureColumns()
    + QStringLiteral(", lastUpdate, comment, base, baseMethod from tfcttotalprognoz");
const QString kByKey = QStringLiteral(" where product = ? and prognoz = ?");

constexpr CRowReader<R> kRows{&ReadTotalForecastRow, UnreadableRow::Skip};

std::optional<R> FetchByKey(int prognoz, int product)
{
    CSqlQuery q(kSelect + kByKey);
    q.bind(product).bind(prognoz);
    return kRows.First(q);
}

R NewRecord(int prognoz, int product)
{
    R rec;
    rec.prognoz = prognoz;
    rec.product = product;
    return rec;
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

const QString kInsert = QStringLiteral("insert into tfcttotalprognoz (prognoz, product, ") + ForecastFigureColumns()
    + QStringLiteral(", lastUpdate, comment, base, baseMethod) "
                     "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                     "on conflict (prognoz, product) do update set ");

// The row of the record's keys by `upsert` (its values bound by `bind`), the update part of which
// names what a stored row takes. The id only of a new row (a stored row leaves the record's id as it
// was). A failure leaves the caller's transaction usable.
template <class Bind>
bool WriteRow(R& rec, const QString& upsert, Bind bind)
{
    const auto written = WithoutSpoiling([&] { return UpsertByKey(upsert, bind); });
    if (!written)
        return false;
    if (written->inserted)
        rec.id = written->id;
    WriteTotalForecastJournal(rec, written->inserted ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

// The record inserted whole, or the stored row updated by `assignments` (of the stored row and the
// excluded one).
bool WriteRow(R& rec, const QString& assignments)
{
    return WriteRow(rec, kInsert + assignments, [&](CSqlQuery& q) {
        q.bind(rec.prognoz).bind(rec.product);
        BindForecastFigures(q, rec);
        q.bind(rec.lastUpdate).bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
    });
}

} // namespace

CTotalForecastRecord::CTotalForecastRecord()
{
    lastUpdate = CurrentTimeToSecond();
}

const QString& TotalForecastSelect()
{
    return kSelect;
}

std::optional<CTotalForecastRecord> ReadTotalForecastRow(const CSqlQuery& q)
{
    R rec;
    if (!ReadForecastRowColumns(q, rec))
        return std::nullopt;
    // An unreadable time keeps the construction time, which the next save stores.
    const QDateTime stored = q.date("lastUpdate");
    if (stored.isValid())
        rec.lastUpdate = stored;
    return rec;
}

std::optional<CTotalForecastRecord> GetTotalForecastById(int id)
{
    return kRows.FirstOf(OnDbError::Report, kSelect + QStringLiteral(" where id = ?"), id);
}

std::optional<CTotalForecastRecord> GetTotalForecast(int prognoz, int product)
{
    return FetchByKey(prognoz, product);
}

CTotalForecastRecord GetOrCreateTotalForecast(int prognoz, int product)
{
    if (auto rec = GetTotalForecast(prognoz, product))
        return *rec;
    return NewRecord(prognoz, product);
}

std::optional<CTotalForecastList> LoadTotalForecasts(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect), filter.args);
}

bool TotalForecastExists(int product, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfcttotalprognoz where product = ? and prognoz = ?"),
                          product, prognoz);
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

int CountUngeneratedTotals(int prognoz)
{
    CSqlQuery q(QStringLiteral("select count(id) from tfcttotalprognoz where lastUpdate is null and prognoz = ?"));
    q.bind(prognoz);
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.value(0).toInt();
}

bool ResetTotalForecastSums(int prognoz, const QDateTime& now)
{
    return ExecSql(QStringLiteral("update tfcttotalprognoz set ") + ForecastFigureAssignments().replace(u'?', u'0')
                       + QStringLiteral(", lastUpdate = ? where prognoz = ?"),
                   now, prognoz);
}

bool DeleteTotalForecast(CTotalForecastRecord& rec)
{
    bool failed = false;
    const std::optional<R> stored = WatchedRead(failed, [&] {
        CSqlQuery q(kSelect + QStringLiteral(" where id = ?"));
        q.bind(rec.id);
        return kRows.First(q);
    });
    if (failed)
        return false;
    if (!ExecSql(QStringLiteral("delete from tfcttotalprognoz where id = ?"), rec.id))
        return false;
    rec.id = -1;
    // No row under that id: nothing was deleted and nothing is journalled.
    if (stored)
        WriteTotalForecastJournal(*stored, JOURNAL_DELETE);
    return true;
}

bool SaveTotalForecast(CTotalForecastRecord& rec)
{
    CutComment(rec.comment);
    static const QString assignments =
        ExcludedAssignments(ForecastFigureColumnList() << QStringLiteral("lastUpdate") << QStringLiteral("comment")
                                                       << QStringLiteral("base") << QStringLiteral("baseMethod"));
    return WriteRow(rec, assignments);
}

bool SaveTotalForecastComment(CTotalForecastRecord& rec)
{
    CutComment(rec.comment);
    return WriteRow(rec,
                    QStringLiteral("insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, "
                                   "valueLast, valueCurr, valueNext, comment) values (?, ?, 0, 0, 0, 0, 0, 0, ?) on "
                                   "conflict (prognoz, product) do update set comment = excluded.comment"),
                    [&](CSqlQuery& q) { q.bind(rec.prognoz).bind(rec.product).bind(rec.comment); });
}

bool AccumulateTotalForecast(const CForecastDataRecord& data)
{
    // The sums are formed by the database, in the one statement that writes them: writers adding into
    // the same row at the same time lose nothing.
    const CSqlDialect& dialect = Dialect();
    QStringList sums;
    for (const QString& c : ForecastFigureColumnList())
        sums << c + QStringLiteral(" = ")
                + dialect.MoneySum(QStringLiteral("tfcttotalprognoz.") + c, QStringLiteral("excluded.") + c);
    R rec = NewRecord(data.prognoz, data.product);
    rec.lastUpdate = CurrentTimeToSecond();
    for (const auto& m : kForecastMoneyColumns)
        rec.*m.field = data.*m.field;
    return WriteRow(rec, sums.join(QStringLiteral(", ")) + QStringLiteral(", lastUpdate = excluded.lastUpdate"));
}

std::optional<int> AccumulateTotalForecastSums(int prognoz, const SqlFilter& rows, const QDateTime& now)
{
    const CSqlDialect& dialect = Dialect();
    const bool journal = OpJournalEnabled();
    std::set<int> stored;
    if (journal) {
        CSqlQuery q(QStringLiteral("select product from tfcttotalprognoz where prognoz = ?"));
        q.bind(prognoz);
        const auto ids = ReadIdSet(q);
        if (!ids)
            return std::nullopt;
        stored = *ids;
    }
    // A sum over NULLs only is stored as 0, one beyond the money range fails the statement.
    QStringList sums;
    QStringList adds;
    for (const QString& c : ForecastFigureColumnList()) {
        sums << dialect.MoneySum(QStringLiteral("sum(%1)").arg(c), QStringLiteral("0"));
        adds << c + QStringLiteral(" = ")
                + dialect.MoneySum(QStringLiteral("tfcttotalprognoz.") + c, QStringLiteral("excluded.") + c);
    }
    CSqlQuery q(QStringLiteral("insert into tfcttotalprognoz (prognoz, product, %1, lastUpdate, comment, base, "
                               "baseMethod) select prognoz, product, %2, ?, '', '', 0 from tfctprognozdata where "
                               "prognoz = ? and (%3) group by prognoz, product on conflict (prognoz, product) do "
                               "update set %4, lastUpdate = excluded.lastUpdate")
                    .arg(ForecastFigureColumns(), sums.join(QStringLiteral(", ")), rows.where,
                         adds.join(QStringLiteral(", "))));
    q.bind(now).bind(prognoz).bindAll(rows.args);
    if (!q.execOrReport())
        return std::nullopt;
    if (!journal)
        return q.numRowsAffected();
    // The rows written, for their lines: those of the products that the rows summed hold.
    CSqlQuery written(QStringLiteral("select id, product from tfcttotalprognoz where prognoz = ? and product in "
                                     "(select product from tfctprognozdata where prognoz = ? and (%1))")
                          .arg(rows.where));
    written.bind(prognoz).bind(prognoz).bindAll(rows.args);
    if (!written.execOrReport())
        return std::nullopt;
    std::vector<std::pair<int, int>> rowsWritten; // id, product
    while (written.next())
        rowsWritten.emplace_back(written.value(0).toInt(), written.value(1).toInt());
    if (written.readFailed()) {
        ReportComError(written.lastError());
        return std::nullopt;
    }
    // Journalled once read whole: outside a transaction a line is a statement of its own.
    R rec = NewRecord(prognoz, 0);
    for (const auto& [id, product] : rowsWritten) {
        rec.id = id;
        rec.product = product;
        WriteTotalForecastJournal(rec, stored.count(product) ? JOURNAL_UPDATE : JOURNAL_INSERT);
    }
    return int(rowsWritten.size());
}

std::optional<CTotalForecastRecord> GetTotalForecastSums(int prognoz, const std::vector<int>& products)
{
    auto fetch = [&](int product) { return FetchByKey(prognoz, product); };
    return ForecastRowTotals(products, NewRecord(prognoz, 0), fetch, QStringLiteral("tfcttotalprognoz"),
                             QStringLiteral("d.prognoz = ?"), {prognoz});
}

void WriteTotalForecastJournal(const CTotalForecastRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "TotalPrognoz", rec.id)
            + QStringLiteral("prognoz=%1; product=%2").arg(rec.prognoz).arg(rec.product);
    });
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

bool TotalForecastToXmlStream(xmlTextWriterPtr writer, const CTotalForecastRecord& rec)
{
    if (xmlTextWriterStartElement(writer, BAD_CAST XmlNames::kTotalForecastData) < 0)
        return false;
    for (const auto& f : kWrittenFields)
        if (!XmlStreamText(writer, f.name, XmlFieldText(rec, f)))
            return false;
    return XmlStreamText(writer, "comment", QString()) && xmlTextWriterEndElement(writer) >= 0;
}

std::optional<CTotalForecastRecord> ReadTotalForecastCommentXml(const xmlNode* node, const CTotalForecastRecord& blank,
                                                                QString* invalid)
{
    static const std::span<const CTextLimit> limits = TextLimitsOf("tfcttotalprognoz");
    if (invalid && XmlTextTooLong(node, XmlNames::kTotalForecastData, limits, invalid))
        return std::nullopt;
    return ReadRecordXml<R>(node, XmlNames::kTotalForecastData, kCommentXmlFields, blank);
}

std::optional<CTotalForecastList> ReadTotalForecastCommentsXml(const xmlNode* node)
{
    const R blank;
    std::optional<CTotalForecastList> list;
    for (; node; node = node->next) {
        if (auto rec = ReadTotalForecastCommentXml(node, blank)) {
            if (!list)
                list.emplace();
            list->push_back(std::move(*rec));
        }
    }
    return list;
}
