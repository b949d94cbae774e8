#include "TableCommon.h"

#include "Journal.h"
#include "Settings.h"

#include <climits>
#include <memory>

bool AnyNull(const CSqlQuery& q, std::initializer_list<const char*> columns)
{
    for (const char* column : columns)
        if (q.isNull(column))
            return true;
    return false;
}

std::optional<std::set<int>> ReadIdSet(CSqlQuery& q)
{
    if (!q.execOrReport())
        return std::nullopt;
    std::set<int> ids;
    while (q.next())
        ids.insert(q.value(0).toInt());
    return ids;
}

std::optional<int> ReadRowKey(const CSqlQuery& q, const char* column)
{
    const QVariant v = q.value(column);
    if (v.isNull())
        return std::nullopt;
    bool ok = false;
    const qlonglong i = v.toLongLong(&ok);
    if (!ok || i < INT_MIN || i > INT_MAX)
        return std::nullopt;
    return int(i);
}

DbError KeyedWriteConflict()
{
    return DbError{0, QStringLiteral("Запись не сохранена: другие пользователи одновременно добавляют и удаляют её."),
                   QString()};
}

std::optional<UpsertedRow> RunKeptUpsert(CSqliteStatement& upsert)
{
    // The update of an upsert leaves the connection's last new row id as it was: cleared before, it
    // tells an insert apart.
    upsert.clearLastInsertRowId();
    if (!GetDBConnection().RunKept(upsert))
        return std::nullopt;
    const std::int64_t id = upsert.lastInsertRowId();
    if (id <= 0 || id > INT_MAX)
        return UpsertedRow{};
    return UpsertedRow{true, int(id)};
}

std::optional<UpsertedRow> RunServerUpsert(const QString& upsert, const CServerBinder& values, bool* ran)
{
    const ServerRowAnswer answer = RunServerRow(upsert, values);
    *ran = answer.ran;
    if (!answer.ran)
        return std::nullopt;
    if (answer.error) {
        ReportComError(*answer.error);
        return std::nullopt;
    }
    // "returning id, (xmax = 0)": the id, and whether the row is new.
    bool ok = false;
    const qlonglong id = answer.firstRow && answer.firstRow->size() == 2 ? answer.firstRow->front().toLongLong(&ok) : 0;
    if (!ok || id < INT_MIN || id > INT_MAX) {
        ReportComError(KeyedWriteConflict());
        return std::nullopt;
    }
    const bool inserted = answer.firstRow->back() == "t";
    return UpsertedRow{inserted, inserted ? int(id) : -1};
}

QString ExcludedAssignments(const QStringList& columns)
{
    QStringList sets;
    for (const QString& c : columns)
        sets << c + QStringLiteral(" = excluded.") + c;
    return sets.join(QStringLiteral(", "));
}

bool LockDerivedRows(DerivedRows rows, int forecast, int receiver)
{
    if (GetDBConnection().transactionLevel() == 0) {
        ReportComError(DbError{0, QStringLiteral("Блокировка строк прогноза вне транзакции."), QString()});
        return false;
    }
    return Dialect().LockDerivedRows(rows, forecast, receiver);
}

std::optional<int> NextTableId(const QString& table)
{
    if (GetDBConnection().transactionLevel() > 0 && !Dialect().LockTableForNewId(table))
        return std::nullopt;
    CSqlQuery q(QStringLiteral("select coalesce(max(id), 0) + 1 from ") + table);
    if (!q.execOrReport() || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

QString JournalOperationWord(int operation)
{
    return TextOf(
        operation,
        {{JOURNAL_INSERT, u"Insert "}, {JOURNAL_UPDATE, u"Update "}, {JOURNAL_CHANGE_STATUS, u"Change status "}},
        QStringLiteral("Delete "));
}

QString JournalHead(int operation, const char* table, int id)
{
    QString text = JournalOperationWord(operation) + QLatin1String(table) + QStringLiteral("; ");
    if (operation != JOURNAL_UPDATE)
        text += QStringLiteral("id=%1; ").arg(id);
    return text;
}

bool OpJournalEnabled()
{
    return Settings().EnableOpJournal;
}

namespace {

// The lines of one outermost transaction that reached its commit, written together when the last of
// its segments goes: right after their after-commit actions ran, or (holding nothing) when a rollback
// drops them.
class CJournalBatch {
public:
    CJournalBatch() = default;
    CJournalBatch(const CJournalBatch&) = delete;
    CJournalBatch& operator=(const CJournalBatch&) = delete;
    ~CJournalBatch() { WriteOpJournalParts(m_parts); }
    void Add(std::vector<CJournalPart> parts)
    {
        for (CJournalPart& part : parts)
            m_parts.push_back(std::move(part));
    }

private:
    std::vector<CJournalPart> m_parts;
};

// The lines queued while one level of the transaction stood as it is: one after-commit action holds
// them, so that a rollback of the level drops them all at once.
struct CJournalSegment {
    std::shared_ptr<CJournalBatch> batch;
    std::vector<CJournalPart> parts;
};

struct CJournalQueue {
    std::weak_ptr<CJournalBatch> batch;
    std::weak_ptr<CJournalSegment> segment;
    std::uint64_t epoch = 0;
};
thread_local CJournalQueue t_journal;

// The segment of the calling thread's transaction level now.
CJournalSegment& CurrentSegment(CDBConnection& db)
{
    std::shared_ptr<CJournalSegment> segment = t_journal.segment.lock();
    if (!segment || t_journal.epoch != db.transactionEpoch()) {
        std::shared_ptr<CJournalBatch> batch = t_journal.batch.lock();
        if (!batch) {
            batch = std::make_shared<CJournalBatch>();
            t_journal.batch = batch;
        }
        segment = std::make_shared<CJournalSegment>();
        segment->batch = std::move(batch);
        t_journal.segment = segment;
        t_journal.epoch = db.transactionEpoch();
        db.AfterCommit([segment] { segment->batch->Add(std::move(segment->parts)); });
    }
    return *segment;
}

} // namespace

namespace {

// The plain lines of the segment's last part, a new part after a select.
CJournalTexts* QueuedLines()
{
    CDBConnection& db = GetDBConnection();
    if (db.transactionLevel() == 0)
        return nullptr;
    CJournalSegment& segment = CurrentSegment(db);
    if (segment.parts.empty() || segment.parts.back().select)
        segment.parts.emplace_back();
    return &segment.parts.back().lines;
}

} // namespace

void QueueJournalLine(const QString& text)
{
    if (CJournalTexts* lines = QueuedLines())
        lines->append(text);
    else
        WriteOpJournal(text);
}

void QueueJournalLine(std::string_view utf8)
{
    if (CJournalTexts* lines = QueuedLines())
        lines->appendUtf8(utf8);
    else
        WriteOpJournal(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

void QueueJournalSelect(CJournalSelect select)
{
    if (!OpJournalEnabled())
        return;
    CDBConnection& db = GetDBConnection();
    std::vector<CJournalPart> parts(1);
    parts.front().select = std::move(select);
    if (db.transactionLevel() == 0)
        return WriteOpJournalParts(parts);
    CJournalSegment& segment = CurrentSegment(db);
    segment.parts.push_back(std::move(parts.front()));
}

QDateTime CurrentTimeToSecond()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QTime t = now.time();
    return QDateTime(now.date(), QTime(t.hour(), t.minute(), t.second()));
}

QString TextOf(int value, std::initializer_list<std::pair<int, const char16_t*>> texts, const QString& otherwise)
{
    for (const auto& [key, text] : texts)
        if (key == value)
            return QString::fromUtf16(text);
    return otherwise;
}
