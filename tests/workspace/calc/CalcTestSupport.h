// Storage tests of the recalculation: the database's own command-line client (sqlite3, psql) as the
// independent calculator, and snapshots of the forecast rows to compare runs.
#pragma once

#include "DbTest.h"

#include <optional>

class CalcDbTest : public DbTest {
protected:
    // Rows of the query through sqlite3 or psql on the test's database, columns joined by '|'; none
    // when the client is missing (the reason is in peerMissing).
    std::optional<QStringList> Peer(const QString& sql);
    // A money column in ten-thousandths, as the client computes it (SQLite keeps them so already).
    QString Raw(const QString& column) const;

    // Every row of the forecast data and the consolidated table (without ids and times), in key order.
    QStringList DumpRows();
    // The journal's lines since the last call, without the ids of inserted rows, sorted.
    QStringList TakeJournal();
    void SaveSnapshot();
    // A statement PostgreSQL does not prepare (DDL), as plain text.
    void ExecText(const QString& sql);
    void RestoreSnapshot();

    QString peerMissing;
};

#define PEER_ROWS(var, sql)                                                                                            \
    const auto var = Peer(sql);                                                                                        \
    if (!var)                                                                                                          \
    GTEST_SKIP() << peerMissing.toStdString()
