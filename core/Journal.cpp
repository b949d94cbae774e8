#include "Journal.h"

#include "Settings.h"
#include "db/BulkStatement.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "db/SqliteStatement.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <optional>
#include <utility>

#include <pwd.h>
#include <sys/mman.h>
#include <unistd.h>

QString OperatingSystemLogin()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

namespace {

// The local wall time in whole seconds, from the C library: Qt's local-time conversions re-read the
// zone database on every call, which costs more than the line itself. The fields are carried as they
// are (no zone conversion happens when they are bound as text). Not time(): on Linux it reads the
// coarse clock, which runs up to a tick behind, so that a line written just after a second turned
// would carry the second before the operation began.
QDateTime Now()
{
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    const std::time_t now = clock.tv_sec;
    std::tm local{};
    localtime_r(&now, &local);
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec), Qt::UTC);
}

QString Stored(const QString& text)
{
    return text.size() > kLongestJournalText ? text.left(kLongestJournalText - 1) : text;
}

} // namespace

namespace {

// The first block of a list is small: most commits hold a line or two, and a commit holds one list
// after each select it queues. The others are a huge page each where the system gives them on
// request, so that a commit of many lines meets a handful of page faults, not one every 4 KB.
constexpr std::uint32_t kFirstJournalBlockBytes = 4096;
constexpr std::uint32_t kJournalBlockBytes = std::uint32_t(2) << 20;
// What the pool keeps between commits: 16 MB, about 230,000 data lines.
constexpr std::size_t kKeptJournalBlocks = 8;

struct CJournalBlockPool {
    std::mutex mutex;
    std::vector<char*> free;
    ~CJournalBlockPool()
    {
        for (char* block : free)
            std::free(block);
    }
};

CJournalBlockPool& BlockPool()
{
    static CJournalBlockPool pool;
    return pool;
}

char* TakeJournalBlock(std::uint32_t capacity)
{
    if (capacity == kJournalBlockBytes) {
        CJournalBlockPool& pool = BlockPool();
        std::lock_guard lock(pool.mutex);
        if (!pool.free.empty()) {
            char* block = pool.free.back();
            pool.free.pop_back();
            return block;
        }
    }
    void* block = std::aligned_alloc(capacity, capacity);
    if (!block)
        throw std::bad_alloc();
    if (capacity == kJournalBlockBytes)
        madvise(block, capacity, MADV_HUGEPAGE);
    return static_cast<char*>(block);
}

void GiveBackJournalBlock(char* block, std::uint32_t capacity)
{
    if (capacity == kJournalBlockBytes) {
        CJournalBlockPool& pool = BlockPool();
        std::lock_guard lock(pool.mutex);
        if (pool.free.size() < kKeptJournalBlocks) {
            pool.free.push_back(block);
            return;
        }
    }
    std::free(block);
}

} // namespace

CJournalTexts::CJournalTexts(CJournalTexts&& other) noexcept
    : m_blocks(std::exchange(other.m_blocks, {}))
    , m_count(std::exchange(other.m_count, 0))
{
}

CJournalTexts& CJournalTexts::operator=(CJournalTexts&& other) noexcept
{
    if (this != &other) {
        Release();
        m_blocks = std::exchange(other.m_blocks, {});
        m_count = std::exchange(other.m_count, 0);
    }
    return *this;
}

CJournalTexts::~CJournalTexts()
{
    Release();
}

void CJournalTexts::Release()
{
    for (const Block& block : m_blocks)
        GiveBackJournalBlock(block.bytes, block.capacity);
    m_blocks.clear();
    m_count = 0;
}

CJournalTexts::CJournalTexts(const QStringList& texts)
{
    for (const QString& text : texts)
        append(text);
}

void CJournalTexts::append(const QString& text)
{
    appendUtf8(Stored(text).toStdString());
}

void CJournalTexts::appendUtf8(std::string_view text)
{
    // A kept line is at most 255 characters, 765 bytes; the bound only keeps a block from overflowing.
    const auto size = std::uint16_t(std::min<std::size_t>(text.size(), 4 * kLongestJournalText));
    const std::uint32_t need = sizeof size + size;
    if (m_blocks.empty() || m_blocks.back().used + need > m_blocks.back().capacity) {
        const std::uint32_t capacity = m_blocks.empty() ? kFirstJournalBlockBytes : kJournalBlockBytes;
        m_blocks.push_back(Block{TakeJournalBlock(capacity), 0, capacity});
    }
    Block& block = m_blocks.back();
    std::memcpy(block.bytes + block.used, &size, sizeof size);
    std::memcpy(block.bytes + block.used + sizeof size, text.data(), size);
    block.used += need;
    ++m_count;
}

std::string_view CJournalTexts::Reader::next()
{
    if (m_offset == m_texts.m_blocks[m_block].used) {
        ++m_block;
        m_offset = 0;
    }
    const char* at = m_texts.m_blocks[m_block].bytes + m_offset;
    std::uint16_t size;
    std::memcpy(&size, at, sizeof size);
    m_offset += sizeof size + size;
    return std::string_view(at + sizeof size, size);
}

namespace {

// Looked up once: the lookup reads the password database on every call.
const QString& Login()
{
    static const QString login = OperatingSystemLogin();
    return login;
}

constexpr int kKeptJournalRows = 64;

// "insert into tFctOpJournal (Text, Date, Type, UserID) values (?3, ?1, 0, ?2), (?4, ?1, 0, ?2) ...":
// the date and the login, then the texts of `rows` lines, stored in that order.
const QString& KeptJournalInsert(int rows)
{
    static const auto make = [](int n) {
        QString sql = QStringLiteral("insert into tFctOpJournal (Text, Date, Type, UserID) values ");
        for (int i = 0; i < n; ++i)
            sql += QStringLiteral("%1(?%2, ?1, 0, ?2)").arg(i ? QStringLiteral(", ") : QString()).arg(i + 3);
        return sql;
    };
    static const QString one = make(1);
    static const QString many = make(kKeptJournalRows);
    return rows == 1 ? one : many;
}

// The lines through the statements the SQLite connection keeps, many lines a statement: none on
// another dialect, else whether they were written (a failure was reported).
std::optional<bool> WriteKeptLines(CDBConnection& db, const CJournalTexts& texts)
{
    QSqlError error;
    CSqliteStatement* insert = db.KeptSqliteStatement(KeptJournalInsert(kKeptJournalRows), &error);
    if (!insert && error.type() == QSqlError::NoError)
        return std::nullopt;
    const QString date = DateParam(Now()).toString();
    int rows = kKeptJournalRows;
    CJournalTexts::Reader lines(texts);
    for (qsizetype i = 0; i < texts.size(); i += rows) {
        if (texts.size() - i < rows) {
            rows = 1;
            insert = db.KeptSqliteStatement(KeptJournalInsert(rows), &error);
        }
        if (!insert) {
            ReportComError(error);
            return false;
        }
        if (i == 0 || rows == 1) {
            insert->bind(1, date);
            insert->bind(2, Login());
        }
        for (int r = 0; r < rows; ++r)
            insert->bindUtf8Held(3 + r, lines.next());
        if (!db.RunKept(*insert))
            return false;
    }
    return true;
}

// The lines by a bulk statement; false after a reported failure.
bool WriteBulkLines(const CJournalTexts& texts)
{
    const bool stamp = Dialect().JournalWritesStamp();
    CBulkStatement insert(stamp ? QStringLiteral("insert into tFctOpJournal (Text, Date, Type, UserID) "
                                                 "select v.text, ?, 0, ? from %1")
                                : QStringLiteral("insert into tFctOpJournal (Text, Type) select v.text, 0 from %1"),
                          QStringLiteral("v"), {{"text", BulkType::Text}},
                          stamp ? QVariantList{Now(), Login()} : QVariantList{});
    CJournalTexts::Reader lines(texts);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const std::string_view line = lines.next();
        if (!insert.add(QString::fromUtf8(line.data(), qsizetype(line.size()))).endRow())
            return false;
    }
    return insert.finish();
}

} // namespace

void WriteOpJournal(const QString& text)
{
    if (!Settings().EnableOpJournal)
        return;
    WriteOpJournalAt(text, 0, Now());
}

void WriteOpJournalLines(const QStringList& texts)
{
    if (texts.isEmpty())
        return;
    if (texts.size() == 1)
        return WriteOpJournal(texts.front());
    std::vector<CJournalPart> parts(1);
    parts.front().lines = CJournalTexts(texts);
    WriteOpJournalParts(parts);
}

namespace {

// Plain lines: through the SQLite connection's kept statements, else by a bulk statement.
bool WriteLines(CDBConnection& db, const CJournalTexts& texts)
{
    if (texts.isEmpty())
        return true;
    const auto kept = WriteKeptLines(db, texts);
    return kept ? *kept : WriteBulkLines(texts);
}

bool WriteSelected(const CJournalSelect& select, bool stamp)
{
    CSqlQuery q(QStringLiteral("insert into tFctOpJournal (Text, Type%1) select %2, 0%3 from %4 order by %5")
                    .arg(stamp ? QStringLiteral(", Date, UserID") : QString(), select.text,
                         stamp ? QStringLiteral(", ?, ?") : QString(), select.from, select.orderBy));
    q.bindAll(select.textArgs);
    if (stamp)
        q.bind(Now()).bind(Login());
    q.bindAll(select.fromArgs);
    return q.execOrReport();
}

} // namespace

void WriteOpJournalParts(const std::vector<CJournalPart>& parts)
{
    if (!Settings().EnableOpJournal || parts.empty())
        return;
    CDBConnection& db = GetDBConnection();
    // As one line: with the other lines of the commit, or else in a transaction of their own; all or
    // none either way.
    const bool together = db.InAfterCommit();
    if (together && db.AfterCommitFailed())
        return;
    std::optional<CTransaction> tx;
    if (!together && !tx.emplace(db).isActive())
        return;
    const bool stamp = Dialect().JournalWritesStamp();
    bool written = true;
    for (const CJournalPart& part : parts) {
        written = WriteLines(db, part.lines) && (!part.select || WriteSelected(*part.select, stamp));
        if (!written)
            break;
    }
    if (!written && together)
        db.FailAfterCommit();
    // A failed commit was reported; the journal never stops its caller.
    if (written && tx)
        static_cast<void>(tx->commit());
}

void WriteOpJournalAt(const QString& text, int type, const QDateTime& date)
{
    if (!Settings().EnableOpJournal)
        return;
    const QString stored = Stored(text);
    CDBConnection& db = GetDBConnection();
    const CSqlDialect& dialect = Dialect();
    // The lines of one operation are written together after its commit, all or none: after one
    // failed, the others are not tried.
    const bool together = db.InAfterCommit();
    if (together && db.AfterCommitFailed())
        return;
    // Where a failed statement spoils the whole transaction, the line gets a savepoint inside a
    // caller's transaction: the journal must never stop what it records.
    std::optional<CTransaction> tx;
    if (!together && dialect.FailureSpoilsTransaction() && db.transactionLevel() > 0)
        tx.emplace(db);
    bool written;
    if (dialect.JournalWritesStamp()) {
        CSqlQuery q(QStringLiteral("insert into tFctOpJournal (Text, Date, Type, UserID) values (?, ?, ?, ?)"));
        q.bind(stored).bind(date).bind(type).bind(Login());
        written = q.execOrReport();
    } else {
        CSqlQuery q(QStringLiteral("insert into tFctOpJournal (Text, Type) values (?, ?)"));
        q.bind(stored).bind(type);
        written = q.execOrReport();
    }
    // A failed release was reported; the journal never stops its caller.
    if (written && tx)
        static_cast<void>(tx->commit());
    if (!written && together)
        db.FailAfterCommit();
}
