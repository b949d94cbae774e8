#include "Journal.h"

#include "Settings.h"
#include "db/BulkStatement.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"
#include "db/SqliteStatement.h"

#include <optional>

#include <ctime>
#include <pwd.h>
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
// are (no zone conversion happens when they are bound as text).
QDateTime Now()
{
    const std::time_t now = std::time(nullptr);
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
    m_bytes.append(text);
    m_ends.push_back(std::uint32_t(m_bytes.size()));
}

QString CJournalTexts::text(qsizetype i) const
{
    const std::string_view bytes = utf8(i);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
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
    for (qsizetype i = 0; i < texts.size();) {
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
            insert->bindUtf8(3 + r, texts.utf8(i++));
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
    for (qsizetype i = 0; i < texts.size(); ++i)
        if (!insert.add(texts.text(i)).endRow())
            return false;
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
    WriteOpJournalParts({CJournalPart{CJournalTexts(texts), std::nullopt}});
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
