#include "Journal.h"

#include "Settings.h"
#include "db/SqlQuery.h"

#include <optional>

#include <pwd.h>
#include <unistd.h>

QString OperatingSystemLogin()
{
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

void WriteOpJournal(const QString& text)
{
    const QDateTime now = QDateTime::currentDateTime();
    WriteOpJournalAt(text, 0, QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second())));
}

void WriteOpJournalAt(const QString& text, int type, const QDateTime& date)
{
    if (!Settings().EnableOpJournal)
        return;
    // 255 characters stay whole; a longer text keeps its first 254.
    const QString stored = text.size() > 255 ? text.left(254) : text;
    CDBConnection& db = GetDBConnection();
    // Inside a caller's transaction the line gets a savepoint: on PostgreSQL a failed line would
    // otherwise spoil the caller's transaction, and the journal must never stop what it records.
    std::optional<CTransaction> tx;
    if (db.transactionLevel() > 0)
        tx.emplace(db);
    bool written;
    if (db.dialect() == SqlDialect::SQLite) {
        CSqlQuery q(QStringLiteral("insert into tFctOpJournal (Text, Date, Type, UserID) values (?, ?, ?, ?)"));
        q.bind(stored).bind(date).bind(type).bind(OperatingSystemLogin());
        written = q.execOrReport();
    } else {
        CSqlQuery q(QStringLiteral("insert into tFctOpJournal (Text, Date, Type) values (?, ?, ?)"));
        q.bind(stored).bind(date).bind(type);
        written = q.execOrReport();
    }
    if (written && tx)
        tx->commit();
}
