#include "SqlDialect.h"

#include "ErrorSink.h"
#include "SqlQuery.h"

#include <QFile>
#include <QSqlQuery>

#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// lock_not_available: the server's lock_timeout ran out; the program's own error carries it too.
const QString kLockWaitCode = QStringLiteral("55P03");
// The server's code of a cancelled statement.
const QString kWaitStoppedCode = QStringLiteral("57014");
// %1 the folder.
const QString kTempFolderFull =
    QStringLiteral("Недостаточно места во временной папке %1: диск заполнен. Освободите место на диске и повторите "
                   "загрузку. Файл не загружен.");
const QString kServerDiskFull = QStringLiteral(
    "Недостаточно места на диске сервера базы данных для временных таблиц. Обратитесь к администратору сервера. "
    "Файл не загружен.");
const QString kRetryLater = QStringLiteral("Операция не выполнена, повторите ее позже.");

// The primary SQLite result code of a failed statement.
int SqliteCode(const QSqlError& e)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xFF : -1;
}

// The folder where SQLite makes its temporary files, chosen as SQLite chooses it: the folder set in
// the library, else the first writable one of SQLITE_TMPDIR, TMPDIR, /var/tmp, /usr/tmp, /tmp, ".".
QString SqliteTempFolder()
{
    if (sqlite3_temp_directory)
        return QString::fromUtf8(sqlite3_temp_directory);
    const char* const folders[] = {std::getenv("SQLITE_TMPDIR"), std::getenv("TMPDIR"), "/var/tmp", "/usr/tmp", "/tmp"};
    for (const char* folder : folders) {
        struct stat info;
        if (folder && stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && access(folder, W_OK | X_OK) == 0)
            return QFile::decodeName(folder);
    }
    return QStringLiteral(".");
}

// A money value held as a number (a REAL in SQLite, numeric text): the money, or the overflow when
// the number is finite but out of range. `scale` is how many of it make one unit.
Money MoneyFromNumber(double number, double scale, bool* overflow)
{
    if (const auto m = Money::fromDouble(number / scale))
        return *m;
    if (std::isfinite(number) && overflow)
        *overflow = true;
    return Money::invalid();
}

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

// The SQLite connection under a statement; none for another driver.
sqlite3* SqliteHandle(const CSqlQuery& q)
{
    const QVariant v = q.driverHandle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(v.data());
}

// The connection's last new row id, read without a statement of its own.
std::optional<int> LastInsertRowId(const CSqlQuery& q)
{
    sqlite3* handle = SqliteHandle(q);
    if (!handle)
        return std::nullopt;
    const sqlite3_int64 id = sqlite3_last_insert_rowid(handle);
    if (id <= 0 || id > INT_MAX)
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
    Money MoneyFromValue(const QVariant& v, bool* overflow) const override
    {
        if (v.isNull() || !v.isValid())
            return Money::invalid();
        bool ok = false;
        const qlonglong raw = v.toLongLong(&ok);
        if (ok && v.typeId() != QMetaType::Double)
            return Money::fromRaw(raw);
        // Not an integer: a REAL (or numeric text) that another writer stored.
        const double d = v.toDouble(&ok);
        return ok ? MoneyFromNumber(d, double(Money::kScale), overflow) : Money::invalid();
    }
    QString MoneySum(const QString& a, const QString& b) const override
    {
        // SQLite would turn an integer sum beyond 64 bits into a REAL; this one fails instead.
        return QStringLiteral("lir_money_add(%1, %2)").arg(a, b);
    }
    QVariant Decimal6Param(double value) const override
    {
        if (!std::isfinite(value))
            return QVariant(QMetaType(QMetaType::Double));
        return QVariant(RoundDecimal6(value));
    }
    bool IsOverflow(const QSqlError& e) const override
    {
        return SqliteCode(e) == 1 && e.databaseText().contains(QLatin1String("integer overflow"));
    }
    bool IsLocked(const QSqlError& e) const override
    {
        return SqliteCode(e) == 5 || e.nativeErrorCode() == kLockWaitCode;
    }
    QString OutOfSpace(const QSqlError& e) const override
    {
        return SqliteCode(e) == 13 ? kTempFolderFull.arg(SqliteTempFolder()) : QString();
    }
    QString IdSetCondition(const QString& column) const override
    {
        return column + QStringLiteral(" in (select value from json_each('[' || ? || ']'))");
    }
    QString FewIdsCondition(const QString& column) const override { return IdSetCondition(column); }
    QString InSelect(const QString& column, const QString& select) const override
    {
        return column + QStringLiteral(" in (") + select + QStringLiteral(")");
    }
    QString IdSetRows(const QString& alias, const QString& column) const override
    {
        return QStringLiteral("(select value as %2 from json_each('[' || ? || ']')) as %1").arg(alias, column);
    }
    QString InsertReturningId(const QString& insert) const override { return insert; }
    std::optional<int> ReadNewId(CSqlQuery& insert) const override
    {
        if (insert.numRowsAffected() <= 0)
            return std::nullopt;
        return LastInsertRowId(insert);
    }
    // The update of an upsert leaves the connection's last new row id as it was: cleared before, it
    // tells an insert apart.
    QString UpsertReportingRow(const QString& upsert) const override { return upsert; }
    void BeforeUpsert(CSqlQuery& upsert) const override
    {
        if (sqlite3* handle = SqliteHandle(upsert))
            sqlite3_set_last_insert_rowid(handle, 0);
    }
    std::optional<UpsertedRow> ReadUpsert(CSqlQuery& upsert) const override
    {
        if (!SqliteHandle(upsert))
            return std::nullopt;
        if (const auto id = LastInsertRowId(upsert))
            return UpsertedRow{true, *id};
        return UpsertedRow{};
    }
    bool AdvanceIdentity(const QString&) const override { return true; }
    bool LockTableForNewId(const QString&) const override { return true; }
    bool LockDerivedRows(DerivedRows, int, int) const override { return true; }
    QString BulkSource(const QString& alias, const std::vector<BulkColumn>& columns) const override
    {
        QStringList values;
        for (const BulkColumn& c : columns)
            values << QStringLiteral("? as ") + QLatin1String(c.name);
        return QStringLiteral("(select %1) as %2").arg(values.join(QStringLiteral(", ")), alias);
    }
    int BulkChunkRows() const override { return 1; }
    QString EmptyTable(const QString& table) const override { return QStringLiteral("delete from ") + table; }
    bool HasLogins() const override { return false; }
    bool JournalWritesStamp() const override { return true; }
    bool FailureSpoilsTransaction() const override { return false; }
    ConnectFailure ClassifyConnectFailure(const QSqlError& e) const override
    {
        switch (SqliteCode(e)) {
        case 26: // SQLITE_NOTADB
            return ConnectFailure::NotADatabase;
        case 11: // SQLITE_CORRUPT
            return ConnectFailure::Damaged;
        case 8:  // SQLITE_READONLY
        case 14: // SQLITE_CANTOPEN
            return ConnectFailure::NoWriteAccess;
        default:
            return ConnectFailure::Unknown;
        }
    }

    // The connection's own like() folds the case of all letters.
    QString CaseInsensitiveLike(const QString& column) const override
    {
        return column + QStringLiteral(" like ? escape '\\'");
    }
    // Texts compare as their bytes unless a column says otherwise, and none does.
    QString ByteOrder(const QString& text) const override { return text; }
    // Stored as "yyyy-MM-dd HH:mm:ss".
    QString ListDateText(const QString& column) const override
    {
        return QStringLiteral("substr(%1, 9, 2) || '.' || substr(%1, 6, 2) || '.' || substr(%1, 1, 4) || ' ' || "
                              "cast(substr(%1, 12, 2) as integer) || substr(%1, 14, 6)")
            .arg(column);
    }
};

class CPostgresDialect final : public CSqlDialect {
public:
    QVariant MoneyParam(Money value) const override { return QVariant(value.toXmlText()); }
    QString MoneyAsDouble(const QString& column) const override
    {
        return QStringLiteral("cast(coalesce(%1, 0) as double precision)").arg(column);
    }
    Money MoneyFromValue(const QVariant& v, bool* overflow) const override
    {
        if (v.isNull() || !v.isValid())
            return Money::invalid();
        // numeric(19,4) as text holds up to 10^15, beyond the 64 bits of ten-thousandths.
        const QString text = v.toString();
        const Money m = Money::fromXmlText(text);
        if (m.isValid())
            return m;
        bool ok = false;
        const double d = text.toDouble(&ok);
        return ok ? MoneyFromNumber(d, 1.0, overflow) : Money::invalid();
    }
    QString MoneySum(const QString& a, const QString& b) const override
    {
        // Through bigint ten-thousandths: a sum beyond them fails with 22003 like the money reads.
        return QStringLiteral("cast(cast((coalesce(%1, 0) + coalesce(%2, 0)) * 10000 as bigint) as numeric) / 10000")
            .arg(a, b);
    }
    QVariant Decimal6Param(double value) const override
    {
        if (!std::isfinite(value))
            return QVariant(QMetaType(QMetaType::QString));
        // Bound as the rounded decimal text: numeric(20,6) then holds exactly what SQLite holds.
        return QVariant(Decimal6Text(value));
    }
    bool IsOverflow(const QSqlError& e) const override { return e.nativeErrorCode() == QLatin1String("22003"); }
    bool IsLocked(const QSqlError& e) const override { return e.nativeErrorCode() == kLockWaitCode; }
    QString OutOfSpace(const QSqlError& e) const override
    {
        return e.nativeErrorCode() == QLatin1String("53100") ? kServerDiskFull : QString();
    }
    QString IdSetCondition(const QString& column) const override
    {
        return column + QStringLiteral(" = any(string_to_array(?, ',')::int[])");
    }
    // Behind a subquery the planner sees no number of ids, in a plan for the values bound neither.
    QString FewIdsCondition(const QString& column) const override
    {
        return InSelect(column, QStringLiteral("select unnest(string_to_array(?, ',')::int[])"));
    }
    QString InSelect(const QString& column, const QString& select) const override
    {
        return column + QStringLiteral(" = any(array(") + select + QStringLiteral("))");
    }
    QString IdSetRows(const QString& alias, const QString& column) const override
    {
        return QStringLiteral("unnest(string_to_array(?, ',')::int[]) as %1(%2)").arg(alias, column);
    }
    QString InsertReturningId(const QString& insert) const override { return insert + QStringLiteral(" returning id"); }
    std::optional<int> ReadNewId(CSqlQuery& insert) const override
    {
        if (!insert.next())
            return std::nullopt;
        return IdOf(insert);
    }
    // A row version that the statement inserted has no xmax; an updated one carries the lock of the
    // update.
    QString UpsertReportingRow(const QString& upsert) const override
    {
        return upsert + QStringLiteral(" returning id, (xmax = 0)");
    }
    void BeforeUpsert(CSqlQuery&) const override { }
    std::optional<UpsertedRow> ReadUpsert(CSqlQuery& upsert) const override
    {
        if (!upsert.next())
            return std::nullopt;
        const auto id = IdOf(upsert);
        if (!id)
            return std::nullopt;
        const bool inserted = upsert.value(1).toBool();
        return UpsertedRow{inserted, inserted ? *id : -1};
    }
    // No group may set a sequence: the server's function moves it, for the tables it knows.
    bool AdvanceIdentity(const QString& table) const override
    {
        CSqlQuery q(QStringLiteral("select lir_advance_identity(?)"));
        q.bind(table.toLower());
        return q.execOrReport();
    }
    bool LockTableForNewId(const QString& table) const override
    {
        // An advisory lock held to the end of the transaction (a table lock would conflict with the
        // transaction's own earlier writes and deadlock two of them), taken by the server's function:
        // nobody takes advisory locks there directly.
        CSqlQuery q(QStringLiteral("select lir_lock_new_id(?)"));
        q.bind(table.toLower());
        return q.execOrReport();
    }
    bool LockDerivedRows(DerivedRows rows, int forecast, int receiver) const override
    {
        const int kind = rows == DerivedRows::ReceiverGroups ? 1 : rows == DerivedRows::WholeForecast ? 2 : 3;
        CSqlQuery q(QStringLiteral("select lir_lock_derived_rows(?, ?, ?)"));
        q.bind(kind).bind(forecast);
        if (rows == DerivedRows::ReceiverGroups)
            q.bind(receiver);
        else
            q.bindNull();
        return q.execOrReport();
    }
    QString BulkSource(const QString& alias, const std::vector<BulkColumn>& columns) const override
    {
        QStringList arrays;
        QStringList names;
        for (const BulkColumn& c : columns) {
            const char* type = c.type == BulkType::Int ? "integer" : c.type == BulkType::Text ? "text" : "numeric";
            arrays << QStringLiteral("cast(? as %1[])").arg(QLatin1String(type));
            names << QLatin1String(c.name);
        }
        return QStringLiteral("unnest(%1) as %2(%3)")
            .arg(arrays.join(QStringLiteral(", ")), alias, names.join(QStringLiteral(", ")));
    }
    // A chunk's arrays stay well below a megabyte a column.
    int BulkChunkRows() const override { return 5000; }
    QString EmptyTable(const QString& table) const override { return QStringLiteral("truncate ") + table; }
    bool HasLogins() const override { return true; }
    bool JournalWritesStamp() const override { return false; }
    bool FailureSpoilsTransaction() const override { return true; }
    ConnectFailure ClassifyConnectFailure(const QSqlError& e) const override
    {
        // The driver passes on libpq's words only, in English where neither the server nor the
        // locale translate them; the connect loop's test open asks libpq itself.
        const QString text = e.databaseText().toLower();
        auto has = [&](const char* s) { return text.contains(QLatin1String(s)); };
        if (has("no password supplied"))
            return ConnectFailure::NoPassword;
        if (has("password authentication failed") || (has("role \"") && has("does not exist")))
            return ConnectFailure::BadLogin;
        if (has("pg_hba.conf") || has("permission denied for database"))
            return ConnectFailure::NotPermitted;
        if (has("database \"") && has("does not exist"))
            return ConnectFailure::NoDatabase;
        if (has("could not translate host name"))
            return ConnectFailure::HostNotFound;
        if (has("timeout expired"))
            return ConnectFailure::TimedOut;
        if (has("connection refused") || has("could not connect") || has("no such file or directory")
            || has("the database system is") || has("server closed the connection"))
            return ConnectFailure::Unreachable;
        return ConnectFailure::Unknown;
    }

    // Under a "C" collation lower() would fold Latin letters only.
    QString CaseInsensitiveLike(const QString& column) const override
    {
        return QStringLiteral("lower(cast(%1 as text) collate \"und-x-icu\") "
                              "like lower(cast(? as text) collate \"und-x-icu\") escape '\\'")
            .arg(column);
    }
    QString ByteOrder(const QString& text) const override { return text + QStringLiteral(" collate \"C\""); }
    QString ListDateText(const QString& column) const override
    {
        return QStringLiteral("to_char(%1, 'DD.MM.YYYY FMHH24:MI:SS')").arg(column);
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

QSqlError MoneyOverflowError()
{
    return QSqlError(QStringLiteral("Переполнение денежной величины."),
                     QStringLiteral("Сумма или значение выходит за пределы допустимого диапазона "
                                    "(±922 337 203 685 477,5807)."),
                     QSqlError::StatementError, QStringLiteral("22003"));
}

QSqlError LockWaitError()
{
    return QSqlError(QStringLiteral("База данных занята другой программой."),
                     QStringLiteral("Другая программа не освободила данные за %1 мин. ").arg(kLockWaitMs / 60000)
                         + kRetryLater,
                     QSqlError::StatementError, kLockWaitCode);
}

QSqlError WaitStoppedError()
{
    return QSqlError(QStringLiteral("Ожидание прервано."), kRetryLater, QSqlError::StatementError, kWaitStoppedCode);
}

QSqlError ConnectionLostError()
{
    return QSqlError(QStringLiteral("Соединение с сервером базы данных потеряно."),
                     QStringLiteral("Операция не выполнена. При следующей операции программа соединится с сервером "
                                    "снова."),
                     QSqlError::ConnectionError);
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
