// Storage tests on both dialects: each test gets a fresh database, a SQLite file in its own program
// folder or a new database of the PostgreSQL test cluster (named by PGHOST/PGPORT/PGUSER; the tests
// are skipped with the reason when no cluster is running).
#pragma once

#include "PgScratch.h"
#include "TestSupport.h"
#include "db/DbConnection.h"

#include <QSqlDatabase>
#include <QVariantList>

#include <optional>

class DbTest : public TempHomeTest, public ::testing::WithParamInterface<SqlDialect> {
protected:
    void SetUp() override;
    void TearDown() override;

    SqlDialect dialect() const { return GetParam(); }
    bool isPg() const { return GetParam() == SqlDialect::PostgreSQL; }
    const DbConnectParams& params() const { return m_params; }

    // Direct access for arranging and checking, bypassing the code under test.
    void Exec(const QString& sql, const QVariantList& args = {});
    QVariant Scalar(const QString& sql, const QVariantList& args = {});
    qlonglong Count(const QString& table, const QString& where = QString(), const QVariantList& args = {});
    // PostgreSQL: one plain statement (a role, a grant) as the cluster's administrator in the test's
    // database, on a connection of its own.
    void ExecAsAdmin(const QString& sql);
    // Another user's connection to the test's database, named `name`, not yet open.
    QSqlDatabase AddPeerConnection(const QString& name) const;
    // Turns the operation journal on or off (off by default).
    void SetJournal(bool on);
    // The journal's texts, oldest first.
    QStringList JournalTexts();

private:
    DbConnectParams m_params;
    QString m_pgDatabase;
};

std::string DialectName(const ::testing::TestParamInfo<SqlDialect>& info);

#define LIR_INSTANTIATE_DB_TEST(Suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(Dialects, Suite, ::testing::Values(SqlDialect::SQLite, SqlDialect::PostgreSQL),           \
                             DialectName)
