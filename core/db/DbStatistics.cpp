#include "DbStatistics.h"

#include "ErrorSink.h"
#include "db/SqlQuery.h"

#include <QStringList>

#include <optional>

namespace {

// The rows the table's statistics counted (the first figure of any of its rows in sqlite_stat1);
// none when it was never analysed with rows in it.
std::optional<qlonglong> AnalysedRows(const QString& table)
{
    CSqlQuery q(QStringLiteral("select stat from sqlite_stat1 where lower(tbl) = lower(?) limit 1"));
    q.bind(table);
    // No statistics table yet: nothing was ever analysed.
    if (!q.exec() || !q.next())
        return std::nullopt;
    bool ok = false;
    const qlonglong rows = q.value(0).toString().section(u' ', 0, 0).toLongLong(&ok);
    return ok ? std::optional<qlonglong>(rows) : std::nullopt;
}

void RefreshSqlite(const QStringList& tables)
{
    for (const QString& table : tables) {
        CSqlQuery count(QStringLiteral("select count(*) from ") + table);
        if (!count.exec() || !count.next())
            continue;
        const qlonglong rows = count.value(0).toLongLong();
        const auto analysed = AnalysedRows(table);
        const bool stale = analysed ? rows > 2 * *analysed || 2 * rows < *analysed : rows > 0;
        if (!stale)
            continue;
        CSqlQuery analyse(QStringLiteral("analyze ") + table);
        static_cast<void>(analyse.exec());
    }
}

void RefreshNow(const QStringList& tables)
{
    CDBConnection& connection = GetDBConnection();
    if (!connection.isConnected())
        return;
    // What goes wrong here is no failure of the work before it: nothing is shown.
    CErrorCollector quiet;
    // Among the actions after a commit, in their transaction: a savepoint, so that a failure here
    // leaves their journal lines to be written.
    std::optional<CTransaction> savepoint;
    if (connection.transactionLevel() > 0) {
        savepoint.emplace(connection);
        if (!savepoint->isActive())
            return;
    }
    bool done = true;
    if (connection.dialect() == SqlDialect::SQLite) {
        RefreshSqlite(tables);
    } else {
        CSqlQuery q(QStringLiteral("select lir_refresh_statistics(?)"));
        q.bind(tables.join(u','));
        done = q.exec();
    }
    // Rolled back when it failed.
    if (savepoint && done)
        static_cast<void>(savepoint->commit());
}

} // namespace

void RefreshStatistics(std::span<const char* const> tables)
{
    QStringList names;
    for (const char* table : tables)
        names << QString::fromLatin1(table);
    CDBConnection& connection = GetDBConnection();
    if (connection.isConnected())
        connection.AfterCommit([names] { RefreshNow(names); });
}

void RefreshStatistics(std::initializer_list<const char*> tables)
{
    RefreshStatistics(std::span<const char* const>(tables.begin(), tables.size()));
}

void OptimizeStatisticsBeforeClose()
{
    CDBConnection& connection = GetDBConnection();
    if (!connection.isConnected() || connection.dialect() != SqlDialect::SQLite || connection.transactionLevel() > 0)
        return;
    CErrorCollector quiet;
    CSqlQuery q(QStringLiteral("PRAGMA optimize"));
    static_cast<void>(q.exec());
}
