#include "SqlDialect.h"

#include "ErrorSink.h"
#include "SqlQuery.h"

#include <QSqlQuery>

#include <climits>

namespace {

// A key column of a row: none for NULL or anything that is not an integer.
std::optional<int> IdOf(const CSqlQuery& q)
{
    bool ok = false;
    const QVariant v = q.value(0);
    const qlonglong id = v.toLongLong(&ok);
    if (v.isNull() || !ok || id < INT_MIN || id > INT_MAX)
        return std::nullopt;
    return int(id);
}

class CSqliteDialect final : public CSqlDialect {
public:
    QVariant MoneyParam(Money value) const override { return QVariant(qlonglong(value.raw())); }
    QString MoneyAsDouble(const QString& column) const override
    {
        return QStringLiteral("(cast(coalesce(%1, 0) as double precision) / 10000)").arg(column);
    }
    QString IdSetCondition(const QString& column) const override
    {
        return column + QStringLiteral(" in (select value from json_each('[' || ? || ']'))");
    }
    QString InsertReturningId(const QString& insert) const override { return insert; }
    std::optional<int> ReadNewId(CSqlQuery&) const override
    {
        CSqlQuery q(QStringLiteral("select last_insert_rowid()"));
        if (!q.execOrReport() || !q.next())
            return std::nullopt;
        return IdOf(q);
    }
    bool AdvanceIdentity(const QString&, int) const override { return true; }
    bool LockTableForNewId(const QString&) const override { return true; }
    bool HasLogins() const override { return false; }
    bool JournalWritesLogin() const override { return true; }
    bool FailureSpoilsTransaction() const override { return false; }
    // The connection's own like() folds the case of all letters.
    QString CaseInsensitiveLike(const QString& column) const override
    {
        return column + QStringLiteral(" like ? escape '\\'");
    }
};

class CPostgresDialect final : public CSqlDialect {
public:
    QVariant MoneyParam(Money value) const override { return QVariant(value.toXmlText()); }
    QString MoneyAsDouble(const QString& column) const override
    {
        return QStringLiteral("cast(coalesce(%1, 0) as double precision)").arg(column);
    }
    QString IdSetCondition(const QString& column) const override
    {
        return column + QStringLiteral(" = any(string_to_array(?, ',')::int[])");
    }
    QString InsertReturningId(const QString& insert) const override { return insert + QStringLiteral(" returning id"); }
    std::optional<int> ReadNewId(CSqlQuery& insert) const override
    {
        if (!insert.next())
            return std::nullopt;
        return IdOf(insert);
    }
    bool AdvanceIdentity(const QString& table, int id) const override
    {
        CSqlQuery q(QStringLiteral("select setval(s, ?) from (select pg_get_serial_sequence(?, 'id')::regclass as s) q "
                                   "where coalesce(pg_sequence_last_value(s), 0) < ?"));
        q.bind(id).bind(table.toLower()).bind(id);
        return q.execOrReport();
    }
    bool LockTableForNewId(const QString& table) const override
    {
        // Self-conflicting, but readers go on. LOCK cannot be prepared: it runs as plain text.
        QSqlDatabase db = GetDBConnection().GetConnection();
        if (!db.isValid())
            return false;
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("lock table ") + table + QStringLiteral(" in share row exclusive mode"))) {
            ReportComError(q.lastError());
            return false;
        }
        return true;
    }
    bool HasLogins() const override { return true; }
    bool JournalWritesLogin() const override { return false; }
    bool FailureSpoilsTransaction() const override { return true; }
    // Under a "C" collation lower() would fold Latin letters only.
    QString CaseInsensitiveLike(const QString& column) const override
    {
        return QStringLiteral("lower(cast(%1 as text) collate \"und-x-icu\") "
                              "like lower(cast(? as text) collate \"und-x-icu\") escape '\\'")
            .arg(column);
    }
};

} // namespace

const CSqlDialect& DialectOf(SqlDialect dialect)
{
    static const CSqliteDialect sqlite;
    static const CPostgresDialect postgres;
    if (dialect == SqlDialect::PostgreSQL)
        return postgres;
    return sqlite;
}

const CSqlDialect& Dialect()
{
    return DialectOf(GetDBConnection().dialect());
}

QString IdSetArgument(const std::vector<int>& ids)
{
    QString text;
    text.reserve(int(ids.size()) * 6);
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i)
            text += u',';
        text += QString::number(ids[i]);
    }
    return text;
}

QString LikeArgument(const QString& text, LikeMatch match)
{
    QString pattern;
    pattern.reserve(text.size() + 4);
    if (match != LikeMatch::StartsWith)
        pattern += u'%';
    for (QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            pattern += u'\\';
        pattern += c;
    }
    if (match != LikeMatch::EndsWith)
        pattern += u'%';
    return pattern;
}
