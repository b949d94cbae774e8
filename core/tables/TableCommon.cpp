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

QString ExcludedAssignments(const QStringList& columns)
{
    QStringList sets;
    for (const QString& c : columns)
        sets << c + QStringLiteral(" = excluded.") + c;
    return sets.join(QStringLiteral(", "));
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

// The lines of one outermost transaction that reached its commit. Each line's after-commit action
// adds it here; the actions hold the batch, which writes what it holds when the last of them goes:
// right after they ran at the commit, or (holding nothing) when a rollback drops them.
class CJournalBatch {
public:
    CJournalBatch() = default;
    CJournalBatch(const CJournalBatch&) = delete;
    CJournalBatch& operator=(const CJournalBatch&) = delete;
    ~CJournalBatch() { WriteOpJournalLines(m_lines); }
    void Add(const QString& text) { m_lines << text; }

private:
    QStringList m_lines;
};

// The batch of the calling thread's open transaction.
thread_local std::weak_ptr<CJournalBatch> t_batch;

} // namespace

void QueueJournalLine(const QString& text)
{
    CDBConnection& db = GetDBConnection();
    if (db.transactionLevel() == 0)
        return WriteOpJournal(text);
    std::shared_ptr<CJournalBatch> batch = t_batch.lock();
    if (!batch) {
        batch = std::make_shared<CJournalBatch>();
        t_batch = batch;
    }
    db.AfterCommit([batch, text] { batch->Add(text); });
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
