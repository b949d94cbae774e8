#include "SqlQuery.h"

#include "ErrorSink.h"
#include "SqlDialect.h"

#include <QSqlDriver>

#include <array>
#include <charconv>

QString SqlFilter::apply(const QString& base, const QString& defaultOrder) const
{
    QString sql = base;
    if (hasCondition())
        sql += QStringLiteral(" where ") + where;
    const QString order = orderBy.isEmpty() ? defaultOrder : orderBy;
    if (!order.isEmpty())
        sql += QStringLiteral(" order by ") + order;
    return sql;
}

QString SqlFilter::applyAnd(const QString& base, const QString& defaultOrder) const
{
    QString sql = base;
    if (hasCondition())
        sql += QStringLiteral(" and (") + where + QStringLiteral(")");
    const QString order = orderBy.isEmpty() ? defaultOrder : orderBy;
    if (!order.isEmpty())
        sql += QStringLiteral(" order by ") + order;
    return sql;
}

QVariant MoneyParam(Money m, SqlDialect dialect)
{
    return DialectOf(dialect).MoneyParam(m);
}

QVariant DateParam(const QDateTime& d)
{
    if (!d.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    return QVariant(d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QDateTime DateFromValue(const QVariant& v)
{
    if (v.isNull() || !v.isValid())
        return QDateTime();
    if (v.typeId() == QMetaType::QDateTime) {
        const QDateTime d = v.toDateTime();
        // Wall time as stored: drop any zone the driver attached.
        return QDateTime(d.date(), d.time());
    }
    QString s = v.toString().trimmed();
    QDateTime d = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!d.isValid())
        d = QDateTime::fromString(s, Qt::ISODate);
    if (!d.isValid()) {
        const QDate day = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            d = QDateTime(day, QTime(0, 0));
    }
    return d;
}

CSqlQuery::CSqlQuery(const QString& sql, CDBConnection& connection)
    : m_connection(connection)
    , m_sql(sql)
    , m_dialect(connection.dialect())
{
    m_query = m_connection.AcquireStatement(sql, &m_prepared);
    m_dialect = m_connection.dialect();
    // Not prepared without an error: no connection, or the transaction of a wait the user ended.
    if (!m_prepared)
        m_error = m_connection.StatementError(m_query.lastError());
}

CSqlQuery::~CSqlQuery()
{
    // A statement left with values bound but not run, or whose last run failed, may carry stale
    // values: it is not handed to the next caller.
    if (!m_prepared)
        return;
    if (m_pendingBinds == 0 && m_error.type() == QSqlError::NoError)
        m_connection.ReleaseStatement(m_sql, std::move(m_query));
    else
        m_connection.DiscardStatement(std::move(m_query));
}

CSqlQuery& CSqlQuery::bind(int v)
{
    ++m_pendingBinds;
    m_query.addBindValue(v);
    return *this;
}

CSqlQuery& CSqlQuery::bind(qlonglong v)
{
    ++m_pendingBinds;
    m_query.addBindValue(v);
    return *this;
}

CSqlQuery& CSqlQuery::bind(const QString& v)
{
    // A null QString would be bound as NULL; texts are never NULL here.
    ++m_pendingBinds;
    m_query.addBindValue(v.isNull() ? QStringLiteral("") : v);
    return *this;
}

CSqlQuery& CSqlQuery::bind(Money v)
{
    ++m_pendingBinds;
    m_query.addBindValue(MoneyParam(v, m_dialect));
    return *this;
}

CSqlQuery& CSqlQuery::bind(double v)
{
    ++m_pendingBinds;
    m_query.addBindValue(v);
    return *this;
}

CSqlQuery& CSqlQuery::bind(Decimal6 v)
{
    ++m_pendingBinds;
    m_query.addBindValue(DialectOf(m_dialect).Decimal6Param(v.value));
    return *this;
}

CSqlQuery& CSqlQuery::bind(const QDateTime& v)
{
    ++m_pendingBinds;
    m_query.addBindValue(DateParam(v));
    return *this;
}

CSqlQuery& CSqlQuery::bind(const QByteArray& v)
{
    ++m_pendingBinds;
    m_query.addBindValue(v.isNull() ? QByteArray("") : v);
    return *this;
}

CSqlQuery& CSqlQuery::bindNull()
{
    ++m_pendingBinds;
    m_query.addBindValue(QVariant(QMetaType(QMetaType::Int)));
    return *this;
}

CSqlQuery& CSqlQuery::bindId(int id)
{
    return id > 0 ? bind(id) : bindNull();
}

CSqlQuery& CSqlQuery::bindVariant(const QVariant& v)
{
    if (v.typeId() == qMetaTypeId<Money>())
        return bind(v.value<Money>());
    if (v.typeId() == QMetaType::QDateTime)
        return bind(v.toDateTime());
    ++m_pendingBinds;
    m_query.addBindValue(v);
    return *this;
}

CSqlQuery& CSqlQuery::bindAll(const QVariantList& values)
{
    for (const QVariant& v : values)
        bindVariant(v);
    return *this;
}

bool CSqlQuery::exec()
{
    m_recordRead = false;
    m_index.clear();
    if (!m_prepared) {
        if (m_error.type() == QSqlError::NoError)
            m_error =
                QSqlError(QStringLiteral("Нет соединения с базой данных."), QString(), QSqlError::ConnectionError);
        return false;
    }
    m_pendingBinds = 0;
    m_readFailed = false;
    m_connection.BeforeStatement();
    m_executed = m_connection.ExecWaitingForLock(LockWaitKind::Statement, [this]() -> std::optional<QSqlError> {
        if (m_query.exec())
            return std::nullopt;
        return m_query.lastError();
    });
    m_error = m_executed ? QSqlError() : m_query.lastError();
    if (m_executed)
        m_connection.StatementSucceeded();
    else if (DialectOf(m_dialect).IsOverflow(m_error))
        m_error = MoneyOverflowError();
    else
        m_error = m_connection.StatementError(m_error);
    return m_executed;
}

bool CSqlQuery::execOrReport()
{
    if (exec())
        return true;
    ReportComError(m_error);
    return false;
}

bool CSqlQuery::next()
{
    if (!m_executed)
        return false;
    if (m_query.next())
        return true;
    // A server that sends the rows one by one reports a failure of the statement on the way.
    if (const QSqlError error = m_query.lastError(); error.type() != QSqlError::NoError) {
        m_error = DialectOf(m_dialect).IsOverflow(error) ? MoneyOverflowError() : error;
        m_readFailed = true;
    }
    return false;
}

QSqlError CSqlQuery::lastError() const
{
    if (m_readFailed && m_error.type() == QSqlError::NoError)
        return MoneyOverflowError();
    return m_error;
}

int CSqlQuery::numRowsAffected() const
{
    return m_query.numRowsAffected();
}

QVariant CSqlQuery::driverHandle() const
{
    const QSqlDriver* driver = m_query.driver();
    return driver ? driver->handle() : QVariant();
}

int CSqlQuery::indexOf(const char* column) const
{
    // Column names compare without regard to case (PostgreSQL folds them to lower case): the fields
    // go in under their lower-case names once a run, the first of a name winning, and each name
    // asked for is kept as asked.
    if (!m_recordRead) {
        const QSqlRecord record = m_query.record();
        for (int i = record.count() - 1; i >= 0; --i)
            m_index.insert(record.fieldName(i).toLower().toLatin1(), i);
        m_recordRead = true;
    }
    const QByteArray name = QByteArray::fromRawData(column, qstrlen(column));
    if (const auto it = m_index.constFind(name); it != m_index.constEnd())
        return *it;
    const int found = m_index.value(name.toLower(), -1);
    m_index.insert(QByteArray(column), found);
    return found;
}

QVariant CSqlQuery::value(int index) const
{
    return m_query.value(index);
}

QVariant CSqlQuery::value(const char* column) const
{
    const int i = indexOf(column);
    return i < 0 ? QVariant() : m_query.value(i);
}

bool CSqlQuery::isNull(const char* column) const
{
    return value(column).isNull();
}

int CSqlQuery::intValue(const char* column, int nullValue) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return nullValue;
    bool ok = false;
    int i = v.toInt(&ok);
    if (!ok)
        i = int(v.toDouble(&ok)); // numeric text of an integral value
    return ok ? i : nullValue;
}

qlonglong CSqlQuery::longValue(const char* column, qlonglong nullValue) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return nullValue;
    bool ok = false;
    const qlonglong i = v.toLongLong(&ok);
    return ok ? i : nullValue;
}

QString CSqlQuery::text(const char* column) const
{
    const QVariant v = value(column);
    return v.isNull() ? QStringLiteral("") : v.toString();
}

Money CSqlQuery::money(const char* column) const
{
    return MoneyOf(value(column));
}

Money CSqlQuery::money(int index) const
{
    return MoneyOf(value(index));
}

Money CSqlQuery::MoneyOf(const QVariant& v) const
{
    bool overflow = false;
    const Money m = DialectOf(m_dialect).MoneyFromValue(v, &overflow);
    if (overflow)
        m_readFailed = true;
    return m;
}

double CSqlQuery::decimal(const char* column, double nullValue) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return nullValue;
    // A server's numeric comes as text; in its plain form it is read without QString::toDouble's
    // locale machinery, to the same nearest double.
    if (v.typeId() == QMetaType::QString) {
        const QString text = v.toString();
        std::array<char, 48> digits;
        const auto n = std::size_t(text.size());
        bool plain = n > 0 && n <= digits.size();
        for (std::size_t i = 0; plain && i < n; ++i) {
            const char16_t c = text[qsizetype(i)].unicode();
            plain = (c >= u'0' && c <= u'9') || c == u'.' || (c == u'-' && i == 0);
            digits[i] = char(c);
        }
        double d = 0;
        if (plain) {
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + n, d);
            if (error == std::errc() && end == digits.data() + n)
                return d;
        }
    }
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : nullValue;
}

QDateTime CSqlQuery::date(const char* column) const
{
    return DateFromValue(value(column));
}

QByteArray CSqlQuery::bytes(const char* column) const
{
    return value(column).toByteArray();
}

CTransaction::CTransaction(CDBConnection& connection)
    : m_connection(connection)
{
    m_level = m_connection.BeginTrans();
}

CTransaction::~CTransaction()
{
    if (m_level > 0)
        rollback();
}

bool CTransaction::commit()
{
    if (m_level <= 0)
        return false;
    m_level = 0;
    return m_connection.CommitTrans();
}

void CTransaction::rollback()
{
    if (m_level <= 0)
        return;
    m_level = 0;
    m_connection.RollbackTrans();
}
