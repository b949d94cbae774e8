#include "ForecastData.h"

#include "db/RowStage.h"
#include "db/TextLimits.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

using R = CForecastDataRecord;

const std::array<XmlField<R>, 22> kXmlFields = ForecastRowXmlFields<R>();
const std::array<XmlField<R>, 3> kCommentFields = ForecastCommentXmlFields<R>();

const QString kSelect = QStringLiteral("select id, prognoz, product, receiver, ") + ForecastFigureColumns()
    + QStringLiteral(", comment, base, baseMethod from tfctprognozdata");

constexpr CRowReader<R> kRows{&ReadForecastDataRow, UnreadableRow::Skip};

// Reads one row; none on a database error (reported) or when there is no row.
std::optional<R> FetchForecastData(const CForecastKey& key)
{
    CSqlQuery q(kSelect + QStringLiteral(" where prognoz = ? and receiver = ? and product = ?"));
    q.bind(key.forecast).bind(key.receiver).bind(key.product);
    return kRows.First(q);
}

// A data row's journal line, made in place: a save of many rows makes one for every row.
struct CDataJournalLine {
    char text[128];
    std::size_t size = 0;
    operator std::string_view() const { return std::string_view(text, size); }
};

// "Insert PrognozData; id=..; prognoz=..; product=..; receiver=.." or the update line without the id.
CDataJournalLine DataJournalLine(int operation, int id, int prognoz, int product, int receiver)
{
    CDataJournalLine line;
    char* const text = line.text;
    char* end = text;
    // At most 98 characters: the bound only keeps the compiler sure of it.
    auto put = [&](std::string_view part) {
        if (part.size() <= std::size_t(text + sizeof line.text - end))
            end = std::copy(part.begin(), part.end(), end);
    };
    auto number = [&](int value) { end = std::to_chars(end, text + sizeof line.text, value).ptr; };
    if (operation == JOURNAL_INSERT) {
        put("Insert PrognozData; id=");
        number(id);
        put("; ");
    } else {
        put("Update PrognozData; ");
    }
    put("prognoz=");
    number(prognoz);
    put("; product=");
    number(product);
    put("; receiver=");
    number(receiver);
    line.size = std::size_t(end - text);
    return line;
}

R NewRecord(const CForecastKey& key)
{
    R rec;
    rec.prognoz = key.forecast;
    rec.receiver = key.receiver;
    rec.product = key.product;
    return rec;
}

} // namespace

template <>
const CXmlFormat<R>& XmlFormatOf<R>()
{
    static const CXmlFormat<R> format{XmlNames::kForecastData, nullptr, kXmlFields, "tfctprognozdata"};
    return format;
}

const QString& ForecastDataSelect()
{
    return kSelect;
}

std::optional<CForecastDataRecord> ReadForecastDataRow(const CSqlQuery& q)
{
    R rec;
    const auto receiver = ReadRowKey(q, "receiver");
    if (!ReadForecastRowColumns(q, rec) || !receiver)
        return std::nullopt;
    rec.receiver = *receiver;
    return rec;
}

void CopyToForecastDataRecord(const CForecastDataRecord& source, CForecastDataRecord& destination)
{
    const QDateTime kept = destination.lastUpdate;
    destination = source;
    destination.lastUpdate = kept;
}

std::optional<CForecastDataRecord> GetForecastData(const CForecastKey& key)
{
    return FetchForecastData(key);
}

CForecastDataRecord GetOrNewForecastData(const CForecastKey& key)
{
    if (auto rec = GetForecastData(key))
        return *rec;
    return NewRecord(key);
}

std::optional<CForecastDataList> LoadForecastData(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect), filter.args);
}

bool DeleteForecastData(int prognoz)
{
    return ExecSql(QStringLiteral("delete from tfctprognozdata where prognoz = ?"), prognoz);
}

bool HasForecastDataForReceiver(int receiver, int prognoz, OnDbError onError)
{
    const QString sql = QStringLiteral("select count(id) from tfctprognozdata where receiver = ? and prognoz = ?");
    if (onError == OnDbError::Report)
        return CountIsNonZero(sql, receiver, prognoz);
    CSqlQuery q(sql);
    q.bind(receiver).bind(prognoz);
    return !q.exec() || !q.next() || q.value(0).toLongLong() != 0;
}

bool HasForecastDataForProduct(int product, int prognoz)
{
    return CountIsNonZero(QStringLiteral("select count(id) from tfctprognozdata where product = ? and prognoz = ?"),
                          product, prognoz);
}

std::optional<CForecastDataRecord> GetForecastDataTotals(int prognoz, int receiver, const std::vector<int>& products)
{
    auto fetch = [&](int product) { return FetchForecastData({prognoz, receiver, product}); };
    return ForecastRowTotals(products, NewRecord({prognoz, receiver, 0}), fetch, QStringLiteral("tfctprognozdata"),
                             QStringLiteral("d.prognoz = ? and d.receiver = ?"), {prognoz, receiver});
}

std::optional<CForecastDataList> LoadForecastDataSums(const SqlFilter& filter)
{
    QString sql = QStringLiteral("select prognoz, product");
    for (const auto& m : kForecastMoneyColumns)
        sql += QStringLiteral(", sum(%1) as %1").arg(QLatin1String(m.column));
    sql += QStringLiteral(" from tfctprognozdata");
    if (filter.hasCondition())
        sql += QStringLiteral(" where ") + filter.where;
    sql += QStringLiteral(" group by prognoz, product");
    if (!filter.orderBy.isEmpty())
        sql += QStringLiteral(" order by ") + filter.orderBy;
    CSqlQuery q(sql);
    q.bindAll(filter.args);
    if (!q.execOrReport())
        return std::nullopt;
    CForecastDataList list;
    while (q.next()) {
        R rec = NewRecord({q.intValue("prognoz", 0), 0, q.intValue("product", 0)});
        for (const auto& m : kForecastMoneyColumns)
            rec.*m.field = q.money(m.column);
        list.push_back(std::move(rec));
    }
    if (q.readFailed()) {
        ReportComError(q.lastError());
        return std::nullopt;
    }
    return list;
}

bool SaveForecastData(CForecastDataRecord& rec, bool takeNewId)
{
    static const QString upsert =
        QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, ") + ForecastFigureColumns()
        + QStringLiteral(
            ", comment, base, baseMethod) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?, ?, ?) on conflict (prognoz, product, receiver) do update set ")
        + ExcludedAssignments(ForecastFigureColumnList()
                              << QStringLiteral("comment") << QStringLiteral("base") << QStringLiteral("baseMethod"));
    const auto written = UpsertByKey(upsert, [&](auto& q) {
        q.bind(rec.prognoz).bind(rec.product).bind(rec.receiver);
        BindForecastFigures(q, rec);
        q.bind(rec.comment).bind(rec.base).bind(rec.baseMethod);
    });
    if (!written)
        return false;
    if (written->inserted && takeNewId)
        rec.id = written->id;
    WriteForecastDataJournal(rec, written->inserted ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

namespace {

QStringList ColumnNames(const std::vector<BulkColumn>& columns)
{
    QStringList names;
    for (const BulkColumn& c : columns)
        names << QLatin1String(c.name);
    return names;
}

// The upsert of data rows from a bulk source `v` of ForecastDataBulkColumns.
QString BulkForecastDataUpsert()
{
    const QStringList names = ColumnNames(ForecastDataBulkColumns());
    return QStringLiteral("insert into tfctprognozdata (%1) select %2 from %3 where true "
                          "on conflict (prognoz, product, receiver) do update set %4")
        .arg(names.join(QStringLiteral(", ")), QStringLiteral("v.") + names.join(QStringLiteral(", v.")),
             QStringLiteral("%1"), ExcludedAssignments(names.mid(3)));
}

} // namespace

bool SaveForecastDataRows(const std::vector<CForecastDataRecord*>& rows)
{
    const CSqlDialect& dialect = Dialect();
    // Where a bulk statement runs once a row anyway, each row is saved alone.
    if (dialect.BulkChunkRows() == 1 || rows.size() < 2) {
        for (CForecastDataRecord* rec : rows)
            if (!SaveForecastData(*rec, true))
                return false;
        return true;
    }
    CBulkStatement write(dialect.UpsertReportingRow(BulkForecastDataUpsert()) + QStringLiteral(", product"),
                         QStringLiteral("v"), ForecastDataBulkColumns(), {}, {}, BulkRows::Read);
    std::unordered_map<int, UpsertedRow> written;
    write.onRows = [&](CSqlQuery& q) {
        while (const auto row = dialect.ReadUpsert(q))
            written[q.value(2).toInt()] = *row;
        if (q.readFailed())
            ReportComError(q.lastError());
        return !q.readFailed();
    };
    for (const CForecastDataRecord* rec : rows) {
        write.add(rec->prognoz).add(rec->product).add(rec->receiver);
        for (const auto& m : kForecastMoneyColumns)
            write.add(rec->*m.field);
        write.add(rec->comment).add(rec->base).add(rec->baseMethod);
        if (!write.endRow())
            return false;
    }
    if (!write.finish())
        return false;
    if (written.size() != rows.size()) {
        ReportComError(KeyedWriteConflict());
        return false;
    }
    for (CForecastDataRecord* rec : rows) {
        const UpsertedRow& row = written[rec->product];
        if (row.inserted)
            rec->id = row.id;
        WriteForecastDataJournal(*rec, row.inserted ? JOURNAL_INSERT : JOURNAL_UPDATE);
    }
    return true;
}

void WriteForecastDataJournal(const CForecastDataRecord& rec, int operation)
{
    QueueJournal([&] { return DataJournalLine(operation, rec.id, rec.prognoz, rec.product, rec.receiver); });
}

std::vector<BulkColumn> ForecastDataBulkColumns()
{
    std::vector<BulkColumn> columns{
        {"prognoz", BulkType::Int}, {"product", BulkType::Int}, {"receiver", BulkType::Int}};
    for (const auto& m : kForecastMoneyColumns)
        columns.push_back({m.column, BulkType::Money});
    columns.insert(columns.end(),
                   {{"comment", BulkType::Text}, {"base", BulkType::Text}, {"baseMethod", BulkType::Int}});
    return columns;
}

namespace {

// The staged columns after the row's place in the document: its id there, then the data row's own
// but its keys.
std::vector<BulkColumn> StageColumns()
{
    std::vector<BulkColumn> columns = ForecastDataBulkColumns();
    columns.erase(columns.begin(), columns.begin() + 3);
    columns.insert(columns.begin(), {{"id", BulkType::Int}, {"product", BulkType::Int}});
    return columns;
}

} // namespace

CForecastRowStage::CForecastRowStage() = default;

CForecastRowStage::~CForecastRowStage() = default;

bool CForecastRowStage::Start()
{
    m_products.clear();
    m_repeats = false;
    auto stage = std::make_unique<CRowStage>(QStringLiteral("forecast"), StageColumns(), QStringLiteral("ord"));
    if (!stage->Start())
        return false;
    m_stage = std::move(stage);
    return true;
}

bool CForecastRowStage::Add(const CForecastDataRecord& rec)
{
    if (!m_stage)
        return false;
    m_stage->add(rec.id).add(rec.product);
    for (const auto& m : kForecastMoneyColumns)
        m_stage->add(rec.*m.field);
    m_stage->add(rec.comment).add(rec.base).add(rec.baseMethod);
    m_products.push_back(rec.product);
    return m_stage->endRow();
}

bool CForecastRowStage::Finish()
{
    // The products are known here: asking the database costs a pass over the stage.
    std::sort(m_products.begin(), m_products.end());
    m_repeats = std::adjacent_find(m_products.begin(), m_products.end()) != m_products.end();
    std::vector<int>().swap(m_products);
    // The journal line of each row is marked once the rows are in.
    m_ready = m_stage && m_stage->Finish()
        && m_stage->AddTable(QStringLiteral("op"), QStringLiteral("ord integer primary key"));
    return m_ready;
}

QString CForecastRowStage::shortage() const
{
    return m_stage ? m_stage->shortage() : QString();
}

bool CForecastRowStage::ready() const
{
    return m_ready && m_stage->ready();
}

const QString& CForecastRowStage::table() const
{
    static const QString none;
    return m_stage ? m_stage->table() : none;
}

namespace {

// Of the staged rows with the same product the last one in the document, as saves one after the other
// leave it.
QString LastOfEachProduct(const QString& stage, const QString& alias)
{
    return QStringLiteral("%1.ord in (select max(m.ord) from %2 m group by m.product)").arg(alias, stage);
}

// Marks each staged row with the journal line that a save one after the other would write: an update
// line for a product stored before or staged before, else an insert line.
bool MarkStagedLines(const QString& stage, int prognoz, int receiver, bool storedRows, bool repeats)
{
    QStringList update;
    if (storedRows)
        update << QStringLiteral("exists (select 1 from tfctprognozdata d where d.prognoz = ? and d.receiver = ? and "
                                 "d.product = %1.product)")
                      .arg(stage);
    if (repeats)
        update << QStringLiteral("ord not in (select min(m.ord) from %1 m group by m.product)").arg(stage);
    const QString stored = update.join(QStringLiteral(" or "));
    // The places of the update lines go into a table of their own: an update of the stage would
    // copy every page of it into the temporary database's journal.
    if (!ExecSql(QStringLiteral("delete from %1_op").arg(stage)))
        return false;
    CSqlQuery q(QStringLiteral("insert into %1_op (ord) select ord from %1 where %2").arg(stage, stored));
    if (storedRows)
        q.bind(prognoz).bind(receiver);
    return q.execOrReport();
}

// The receiver's rows from the stage, each received comment appended to the stored one. Without stored
// rows no comment is appended, without repeated products none is left out: the statement then skips
// that work.
bool StoreStagedRows(const QString& stage, int prognoz, int receiver, bool storedRows, bool repeats)
{
    const QStringList names = ColumnNames(ForecastDataBulkColumns());
    QStringList values;
    for (const QString& name : names.mid(3, names.size() - 6))
        values << QStringLiteral("s.") + name;
    QString sql =
        QStringLiteral("insert into tfctprognozdata (%1) select ?, s.product, ?, %2, %3, s.base, s.baseMethod "
                       "from %4 s")
            .arg(names.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")),
                 storedRows ? QStringLiteral("coalesce(d.comment, '') || s.comment") : QStringLiteral("s.comment"),
                 stage);
    if (storedRows)
        sql += QStringLiteral(
            " left join tfctprognozdata d on d.prognoz = ? and d.receiver = ? and d.product = s.product");
    sql +=
        QStringLiteral(" where ") + (repeats ? LastOfEachProduct(stage, QStringLiteral("s")) : QStringLiteral("true"));
    sql += QStringLiteral(" order by s.ord");
    // The receiver's rows are written by one import at a time (the caller holds their lock): without
    // stored rows none is there to overwrite, and a plain insert costs the server less.
    if (storedRows)
        sql += QStringLiteral(" on conflict (prognoz, product, receiver) do update set ")
            + ExcludedAssignments(names.mid(3));
    CSqlQuery q(sql);
    q.bind(prognoz).bind(receiver);
    if (storedRows)
        q.bind(prognoz).bind(receiver);
    return q.execOrReport();
}

// The receiver's stored rows of products that the stage does not carry: a document received again
// replaces what the receiver sent before, whole.
bool DeleteRowsNotStaged(const QString& stage, int prognoz, int receiver)
{
    const bool journal = OpJournalEnabled();
    CSqlQuery q(QStringLiteral("delete from tfctprognozdata where prognoz = ? and receiver = ? and product not in "
                               "(select product from %1)%2")
                    .arg(stage, journal ? QStringLiteral(" returning id, product") : QString()));
    q.bind(prognoz).bind(receiver);
    if (!q.execOrReport())
        return false;
    while (journal && q.next())
        QueueJournalLine(
            JournalHead(JOURNAL_DELETE, "PrognozData", q.value(0).toInt())
            + QStringLiteral("prognoz=%1; product=%2; receiver=%3").arg(prognoz).arg(q.value(1).toInt()).arg(receiver));
    return true;
}

// The journal lines of the staged rows, made by the database once the rows are committed; unmarked
// rows are all new.
void JournalStagedRows(int prognoz, int receiver, bool marked, const std::shared_ptr<const CForecastRowStage>& stage)
{
    const auto head = [](int operation) { return JournalHead(operation, "PrognozData", 0).section(u';', 0, 0); };
    QueueJournalSelect(
        {QStringLiteral("case when %1 then cast(? as varchar) || s.id || '; ' else cast(? as varchar) end || "
                        "cast(? as varchar) || s.product || cast(? as varchar)")
             .arg(marked ? QStringLiteral("not exists (select 1 from %1_op u where u.ord = s.ord)").arg(stage->table())
                         : QStringLiteral("1 = 1")),
         {head(JOURNAL_INSERT) + QStringLiteral("; id="), head(JOURNAL_UPDATE) + QStringLiteral("; "),
          QStringLiteral("prognoz=%1; product=").arg(prognoz), QStringLiteral("; receiver=%1").arg(receiver)},
         stage->table() + QStringLiteral(" s"),
         {},
         QStringLiteral("s.ord"),
         stage});
}

} // namespace

std::optional<QString> CommentTooLongWhenJoined(int prognoz, int receiver,
                                                const std::shared_ptr<const CForecastRowStage>& stage)
{
    const bool repeats = stage->repeatsProducts();
    // length() counts characters in both dialects, as the column's limit does.
    CSqlQuery q(QStringLiteral("select p.name from %1 s join tfctprognozdata d on d.prognoz = ? and d.receiver = ? and "
                               "d.product = s.product left join tclsproduct p on p.id = s.product where %2 and "
                               "length(coalesce(d.comment, '') || coalesce(s.comment, '')) > ? order by s.ord")
                    .arg(stage->table(),
                         repeats ? LastOfEachProduct(stage->table(), QStringLiteral("s")) : QStringLiteral("1 = 1")));
    q.bind(prognoz).bind(receiver).bind(TextLimitOf("tfctprognozdata", "comment"));
    if (!q.execOrReport())
        return std::nullopt;
    return q.next() ? q.value(0).toString() : QString();
}

bool SaveReceiverForecastData(int prognoz, int receiver, const std::shared_ptr<const CForecastRowStage>& stage)
{
    const bool storedRows = HasForecastDataForReceiver(receiver, prognoz, OnDbError::Report);
    const bool repeats = stage->repeatsProducts();
    const bool journal = OpJournalEnabled();
    const bool marked = journal && (storedRows || repeats);
    if (storedRows && !DeleteRowsNotStaged(stage->table(), prognoz, receiver))
        return false;
    if (marked && !MarkStagedLines(stage->table(), prognoz, receiver, storedRows, repeats))
        return false;
    if (!StoreStagedRows(stage->table(), prognoz, receiver, storedRows, repeats))
        return false;
    if (journal)
        JournalStagedRows(prognoz, receiver, marked, stage);
    return true;
}

bool ReadForecastYearFigures(int prognoz, const std::function<void(const CYearFiguresRow&)>& each)
{
    // In the order the rows are stored: the forecast's key index would visit the table in the order of
    // the products, a page for nearly every row.
    CRowStream rows(QStringLiteral("select receiver, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, "
                                   "valueNext from tfctprognozdata where +prognoz = ?"),
                    {prognoz});
    if (!rows.start())
        return false;
    CYearFiguresRow row;
    while (rows.next()) {
        row.receiver = rows.intAt(0);
        row.product = rows.intAt(1);
        for (int i = 0; i < 6; ++i)
            row.figures[std::size_t(i)] = rows.moneyAt(2 + i);
        each(row);
    }
    return rows.finish();
}

namespace {

const std::vector<BulkColumn> kYearColumns{{"receiver", BulkType::Int},    {"product", BulkType::Int},
                                           {"sumLast", BulkType::Money},   {"sumCurr", BulkType::Money},
                                           {"sumNext", BulkType::Money},   {"valueLast", BulkType::Money},
                                           {"valueCurr", BulkType::Money}, {"valueNext", BulkType::Money}};

// The upsert of rows' year figures from `select`, which gives prognoz, receiver, product, the six year
// figures and a new row's other values: a stored row keeps its other figures (NULL as 0), comment and
// base (NULL as empty) and method (NULL as 0), as the save of the row read does.
QString UpsertYearFigures(const QString& select)
{
    QStringList sets;
    for (const auto field : kYearFigures)
        for (const auto& m : kForecastMoneyColumns)
            if (m.field == field)
                sets << QStringLiteral("%1 = excluded.%1").arg(QLatin1String(m.column));
    for (const QString& c : ForecastFigureColumnList().mid(6))
        sets << QStringLiteral("%1 = coalesce(tfctprognozdata.%1, 0)").arg(c);
    return QStringLiteral("insert into tfctprognozdata (prognoz, receiver, product, %1, comment, base, baseMethod) "
                          "%2 on conflict (prognoz, product, receiver) do update set %3, "
                          "comment = coalesce(tfctprognozdata.comment, ''), base = coalesce(tfctprognozdata.base, ''), "
                          "baseMethod = coalesce(tfctprognozdata.baseMethod, 0)")
        .arg(ForecastFigureColumns(), select, sets.join(QStringLiteral(", ")));
}

// The values of a new row after its six year figures: the other figures 0, comment and base empty.
QString NewRowRest()
{
    return QStringLiteral("0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '', '', 0");
}

bool Send(CBulkStatement& statement, const CYearFiguresRow& row)
{
    statement.add(row.receiver).add(row.product);
    for (const Money& m : row.figures)
        statement.add(Money::fromRaw(m.raw())); // an invalid figure is stored as 0
    return statement.endRow();
}

} // namespace

struct CYearFiguresWriter::Statements {
    explicit Statements(int prognoz)
        : upsert(UpsertYearFigures(QStringLiteral("select ?, v.receiver, v.product, v.sumLast, v.sumCurr, v.sumNext, "
                                                  "v.valueLast, v.valueCurr, v.valueNext, ")
                                   + NewRowRest() + QStringLiteral(" from %1 where true")),
                 QStringLiteral("v"), kYearColumns, {prognoz})
    {
    }
    CBulkStatement upsert;
};

CYearFiguresWriter::CYearFiguresWriter(int prognoz)
    : m_prognoz(prognoz)
    , m_statements(std::make_unique<Statements>(prognoz))
{
    m_statements->upsert.afterRun = [this] {
        for (const auto& row : m_updated)
            QueueJournal([&] { return DataJournalLine(JOURNAL_UPDATE, -1, m_prognoz, row.second, row.first); });
        m_updated.clear();
    };
}

CYearFiguresWriter::~CYearFiguresWriter() = default;

bool CYearFiguresWriter::Write(const CYearFiguresRow& row, bool stored)
{
    (stored ? m_updated : m_added).emplace_back(row.receiver, row.product);
    return Send(m_statements->upsert, row);
}

bool CYearFiguresWriter::Finish()
{
    if (!m_statements->upsert.finish())
        return false;
    if (m_added.empty() || !OpJournalEnabled())
        return true;
    // The new ids, for the insert lines.
    CBulkStatement ids(QStringLiteral("select d.id, v.receiver, v.product from %1 join tfctprognozdata d on "
                                      "d.prognoz = ? and d.receiver = v.receiver and d.product = v.product"),
                       QStringLiteral("v"), {kYearColumns[0], kYearColumns[1]}, {}, {m_prognoz}, BulkRows::Read);
    struct Added {
        int id, receiver, product;
    };
    std::vector<Added> added;
    ids.onRows = [&](CSqlQuery& q) {
        while (q.next())
            added.push_back({q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt()});
        if (q.readFailed())
            ReportComError(q.lastError());
        return !q.readFailed();
    };
    for (const auto& [receiver, product] : m_added)
        if (!ids.add(receiver).add(product).endRow())
            return false;
    if (!ids.finish())
        return false;
    // Journalled once read whole: outside a transaction a line is a statement of its own.
    for (const Added& a : added)
        QueueJournal([&] { return DataJournalLine(JOURNAL_INSERT, a.id, m_prognoz, a.product, a.receiver); });
    return true;
}

bool WriteCategorySums(int prognoz, int group, const std::vector<int>& products, QSqlError* failure)
{
    const CSqlDialect& dialect = Dialect();
    const QString ids = IdSetArgument(products);
    std::unordered_set<int> stored;
    if (OpJournalEnabled()) {
        CSqlQuery q(QStringLiteral("select product from tfctprognozdata where prognoz = ? and receiver = ? and ")
                    + dialect.IdSetCondition(QStringLiteral("product")));
        q.bind(prognoz).bind(group).bind(ids);
        if (!q.exec()) {
            *failure = q.lastError();
            return false;
        }
        while (q.next())
            stored.insert(q.value(0).toInt());
    }
    CSqlQuery q(UpsertYearFigures(
        QStringLiteral("select ?, ?, p.id, coalesce(s.sumLast, 0), coalesce(s.sumCurr, 0), coalesce(s.sumNext, 0), "
                       "coalesce(s.valueLast, 0), coalesce(s.valueCurr, 0), coalesce(s.valueNext, 0), ")
        + NewRowRest() + QStringLiteral(" from ") + dialect.IdSetRows(QStringLiteral("p"), QStringLiteral("id"))
        + QStringLiteral(" left join (select pd.product, sum(pd.sumLast) as sumLast, sum(pd.sumCurr) as sumCurr, "
                         "sum(pd.sumNext) as sumNext, sum(pd.valueLast) as valueLast, sum(pd.valueCurr) as valueCurr, "
                         "sum(pd.valueNext) as valueNext from tfctprognozdata pd where pd.prognoz = ? and pd.receiver "
                         "in (select r.id from tclsreceiver r where r.category = ?) and ")
        + dialect.IdSetCondition(QStringLiteral("pd.product"))
        + QStringLiteral(" group by pd.product) s on s.product = p.id where true")));
    q.bind(prognoz).bind(group).bind(ids).bind(prognoz).bind(group).bind(ids);
    if (!q.exec()) {
        *failure = q.lastError();
        return false;
    }
    for (int product : products)
        QueueJournal([&] {
            const bool update = stored.count(product) != 0;
            return DataJournalLine(update ? JOURNAL_UPDATE : JOURNAL_INSERT, -1, prognoz, product, group);
        });
    return true;
}

bool WriteReceiverGroupSums(int forecast, int receiver, const std::vector<int>& products)
{
    CSqlQuery q(QStringLiteral("select dataId, dataReceiver, dataProduct, isNew "
                               "from lir_recalc_receiver_groups(?, ?, string_to_array(?, ',')::int[])"));
    q.bind(forecast).bind(receiver).bind(IdSetArgument(products));
    if (!q.execOrReport())
        return false;
    std::vector<std::pair<CForecastDataRecord, bool>> written; // the row, whether it is new
    while (q.next()) {
        CForecastDataRecord rec;
        const bool inserted = q.value("isNew").toBool();
        rec.id = inserted ? -1 : q.intValue("dataId");
        rec.prognoz = forecast;
        rec.product = q.intValue("dataProduct");
        rec.receiver = q.intValue("dataReceiver");
        written.emplace_back(std::move(rec), inserted);
    }
    if (q.readFailed()) {
        ReportComError(q.lastError());
        return false;
    }
    // Journalled once read whole: outside a transaction a line is a statement of its own.
    for (const auto& [rec, inserted] : written)
        WriteForecastDataJournal(rec, inserted ? JOURNAL_INSERT : JOURNAL_UPDATE);
    return true;
}

xmlNodePtr ForecastCommentToXml(xmlNodePtr parent, const CForecastDataRecord& rec)
{
    return RecordToXml<R>(parent, XmlNames::kForecastData, rec, kCommentFields);
}

void ForecastCommentsToXml(xmlNodePtr parent, const CForecastDataList& list)
{
    for (const auto& rec : list)
        ForecastCommentToXml(parent, rec);
}
