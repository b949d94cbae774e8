#include "BulkStatement.h"

#include "ErrorSink.h"
#include "SqliteStatement.h"

#include <libpq-fe.h>

#include <QSqlDriver>
#include <QSqlQuery>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>

#include <poll.h>

namespace {

// A value of the statement's own as SQLite keeps it (as CSqlQuery::bindVariant binds it).
void BindNative(CSqliteStatement& statement, int index, const QVariant& v)
{
    if (v.typeId() == qMetaTypeId<Money>())
        statement.bind(index, std::int64_t(v.value<Money>().raw()));
    else if (v.typeId() == QMetaType::QDateTime)
        statement.bind(index, DateParam(v.toDateTime()).toString());
    else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
        statement.bind(index, std::int64_t(v.toLongLong()));
    else if (v.isNull())
        statement.bindNull(index);
    else
        statement.bind(index, v.toString());
}

// The statement with its '?' placeholders numbered as the server takes them ($1, $2 ...).
QByteArray NumberedPlaceholders(const QString& sql)
{
    QString text;
    text.reserve(sql.size() + 64);
    int number = 0;
    bool quoted = false;
    for (QChar c : sql) {
        if (c == u'\'')
            quoted = !quoted;
        if (c == u'?' && !quoted)
            text += u'$' + QString::number(++number);
        else
            text += c;
    }
    return text.toUtf8();
}

// A value of the statement's own as the server takes it in text; null stays null.
std::optional<QByteArray> ServerText(const QVariant& v)
{
    if (v.typeId() == qMetaTypeId<Money>())
        return v.value<Money>().toXmlText().toUtf8();
    if (v.typeId() == QMetaType::QDateTime)
        return DateParam(v.toDateTime()).toString().toUtf8();
    if (v.isNull())
        return std::nullopt;
    return v.toString().toUtf8();
}

QSqlError ServerError(const QString& text, const char* message, const char* code)
{
    return QSqlError(QStringLiteral("QPSQL: ") + text, QString::fromUtf8(message).trimmed(), QSqlError::StatementError,
                     QString::fromLatin1(code ? code : ""));
}

// Reads every answer of what the connection was sent: the first error, none when all succeeded.
std::optional<QSqlError> ServerAnswer(PGconn* connection)
{
    std::optional<QSqlError> error;
    while (PGresult* result = PQgetResult(connection)) {
        const ExecStatusType status = PQresultStatus(result);
        if (!error && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            error = ServerError(QStringLiteral("Unable to create query"), PQresultErrorMessage(result),
                                PQresultErrorField(result, PG_DIAG_SQLSTATE));
        PQclear(result);
    }
    if (!error && PQstatus(connection) != CONNECTION_OK)
        error = ServerError(QStringLiteral("Unable to create query"), PQerrorMessage(connection), nullptr);
    return error;
}

// The name under which the connection has prepared `sql`, prepared now when it has not; empty on a
// failure (`failure` set, as it is reported).
QByteArray ServerStatement(PGconn* connection, const QString& sql, int count, QSqlError* failure)
{
    CDBConnection& db = GetDBConnection();
    QByteArray name = db.ServerStatementName(sql);
    if (!name.isEmpty())
        return name;
    static std::atomic<int> counter{0};
    name = "lir_bulk_" + QByteArray::number(++counter);
    // Preparing takes the statement's table locks: it waits as a statement does.
    std::optional<QSqlError> error;
    const bool ok = db.ExecWaitingForLock(LockWaitKind::Statement, [&] {
        PGresult* prepared =
            PQprepare(connection, name.constData(), NumberedPlaceholders(sql).constData(), count, nullptr);
        if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
            error = ServerError(QStringLiteral("Unable to prepare statement"), PQresultErrorMessage(prepared),
                                PQresultErrorField(prepared, PG_DIAG_SQLSTATE));
        PQclear(prepared);
        return error;
    });
    if (!ok) {
        *failure = db.StatementError(error.value_or(QSqlError()));
        return QByteArray();
    }
    db.NoteServerStatement(sql, name);
    return name;
}

} // namespace

QString ArrayElementText(const QString& text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += u'"';
    for (QChar c : text) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

CBulkStatement::CBulkStatement(const QString& sql, const QString& alias, std::vector<BulkColumn> columns,
                               QVariantList before, QVariantList after, BulkRows rows)
    : m_columns(std::move(columns))
    , m_before(std::move(before))
    , m_after(std::move(after))
{
    const CSqlDialect& dialect = Dialect();
    const QString text = sql.arg(dialect.BulkSource(alias, m_columns));
    m_chunk = dialect.BulkChunkRows();
    m_arrays = m_chunk > 1;
    m_send = m_arrays && rows == BulkRows::None;
    m_text = text;
    if (!m_arrays && rows == BulkRows::None) {
        QSqlError error;
        m_native = CSqliteStatement::Prepare(text, &error);
        if (m_native) {
            int index = 1;
            for (const QVariant& v : m_before)
                BindNative(*m_native, index++, v);
            index += int(m_columns.size());
            for (const QVariant& v : m_after)
                BindNative(*m_native, index++, v);
            return;
        }
        if (error.type() != QSqlError::NoError) {
            ReportComError(error);
            m_prepareFailed = true;
            return;
        }
    }
    m_query = std::make_unique<CSqlQuery>(text);
    if (m_arrays)
        m_arrayTexts.resize(m_columns.size());
}

CBulkStatement::~CBulkStatement() = default;

void CBulkStatement::AddValue(const QVariant& value, const QString& arrayElement)
{
    if (m_arrays) {
        QString& text = m_arrayTexts[m_column];
        text += text.isEmpty() ? u'{' : u',';
        text += arrayElement;
    } else if (m_query) {
        if (m_column == 0)
            m_query->bindAll(m_before);
        m_query->bindVariant(value);
    }
    ++m_column;
}

CBulkStatement& CBulkStatement::add(int value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, std::int64_t(value));
    else
        AddValue(value, m_arrays ? QString::number(value) : QString());
    return *this;
}

CBulkStatement& CBulkStatement::add(Money value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, std::int64_t(value.raw()));
    else if (m_query)
        AddValue(QVariant::fromValue(value), m_arrays ? MoneyParam(value, m_query->dialect()).toString() : QString());
    else
        ++m_column;
    return *this;
}

CBulkStatement& CBulkStatement::add(const QString& value)
{
    if (m_native)
        m_native->bind(int(m_before.size() + m_column++) + 1, value);
    else
        AddValue(value.isNull() ? QStringLiteral("") : value, m_arrays ? ArrayElementText(value) : QString());
    return *this;
}

CBulkStatement& CBulkStatement::add(Decimal6 value)
{
    const bool finite = std::isfinite(value.value);
    if (m_native) {
        const int index = int(m_before.size() + m_column++) + 1;
        if (finite)
            m_native->bind(index, RoundDecimal6(value.value));
        else
            m_native->bindNull(index);
    } else if (m_query) {
        const QVariant v = DialectOf(m_query->dialect()).Decimal6Param(value.value);
        AddValue(v, m_arrays ? (finite ? v.toString() : QStringLiteral("NULL")) : QString());
    } else {
        ++m_column;
    }
    return *this;
}

bool CBulkStatement::endRow()
{
    Q_ASSERT(m_column == m_columns.size());
    m_column = 0;
    ++m_rows;
    return m_rows < m_chunk || run();
}

bool CBulkStatement::finish()
{
    if (m_rows > 0 && !run())
        return false;
    if (m_send)
        if (const auto error = GetDBConnection().CollectPendingAnswer()) {
            ReportComError(*error);
            return false;
        }
    return true;
}

std::optional<bool> CBulkStatement::send()
{
    CDBConnection& db = GetDBConnection();
    // The chunk before this one first: a failure stops the work there.
    if (const auto error = db.CollectPendingAnswer()) {
        ReportComError(*error);
        return false;
    }
    PGconn* connection = ServerConnection(m_query->driverHandle());
    if (!connection || !m_query->isPrepared() || PQtransactionStatus(connection) == PQTRANS_ACTIVE)
        return std::nullopt;
    const int count = int(m_before.size() + m_arrayTexts.size() + m_after.size());
    QSqlError failure;
    const QByteArray name = ServerStatement(connection, m_text, count, &failure);
    if (name.isEmpty()) {
        ReportComError(failure);
        return false;
    }
    std::vector<std::optional<QByteArray>> texts;
    texts.reserve(std::size_t(count));
    for (const QVariant& v : m_before)
        texts.push_back(ServerText(v));
    for (QString& text : m_arrayTexts) {
        text += text.isEmpty() ? QStringLiteral("{}") : QStringLiteral("}");
        texts.push_back(text.toUtf8());
        text.clear();
    }
    for (const QVariant& v : m_after)
        texts.push_back(ServerText(v));
    std::vector<const char*> values;
    values.reserve(texts.size());
    for (const auto& text : texts)
        values.push_back(text ? text->constData() : nullptr);
    if (!PQsendQueryPrepared(connection, name.constData(), count, values.data(), nullptr, nullptr, 0)) {
        ReportComError(db.StatementError(
            ServerError(QStringLiteral("Unable to create query"), PQerrorMessage(connection), nullptr)));
        return false;
    }
    db.SetPendingAnswer([connection] { return ServerAnswer(connection); });
    return true;
}

bool CBulkStatement::run()
{
    m_rows = 0;
    if (m_prepareFailed)
        return false;
    if (m_native) {
        if (!m_native->run()) {
            ReportComError(m_native->error());
            return false;
        }
    } else if (const auto sent = m_send ? send() : std::nullopt; sent) {
        if (!*sent)
            return false;
    } else {
        if (m_arrays) {
            m_query->bindAll(m_before);
            for (QString& text : m_arrayTexts) {
                text += text.isEmpty() ? QStringLiteral("{}") : QStringLiteral("}");
                m_query->bind(text);
                text.clear();
            }
        }
        m_query->bindAll(m_after);
        if (!m_query->execOrReport())
            return false;
        if (onRows && !onRows(*m_query))
            return false;
    }
    if (afterRun)
        afterRun();
    return true;
}

CServerCopy::~CServerCopy()
{
    abandon();
}

namespace {

PGconn* ThreadServerConnection()
{
    CDBConnection& db = GetDBConnection();
    if (!db.isConnected())
        return nullptr;
    QSqlDatabase connection = db.GetConnection();
    return connection.isValid() && connection.driver() ? ServerConnection(connection.driver()->handle()) : nullptr;
}

} // namespace

CServerBinder& CServerBinder::bind(int value)
{
    m_values.push_back(QByteArray::number(value));
    return *this;
}

CServerBinder& CServerBinder::bind(Money value)
{
    m_values.push_back(value.toXmlText().toUtf8());
    return *this;
}

CServerBinder& CServerBinder::bind(const QString& value)
{
    m_values.push_back(value.isNull() ? QByteArray("") : value.toUtf8());
    return *this;
}

ServerRowAnswer RunServerRow(const QString& sql, const CServerBinder& values)
{
    ServerRowAnswer answer;
    CDBConnection& db = GetDBConnection();
    db.BeforeStatement();
    PGconn* connection = ThreadServerConnection();
    if (!connection || !db.ServerConnectionFree(connection))
        return answer;
    answer.ran = true;
    const int count = int(values.values().size());
    QSqlError failure;
    const QByteArray name = ServerStatement(connection, sql, count, &failure);
    if (name.isEmpty()) {
        answer.error = failure;
        return answer;
    }
    std::vector<const char*> texts;
    texts.reserve(values.values().size());
    for (const QByteArray& v : values.values())
        texts.push_back(v.constData());
    std::optional<QSqlError> error;
    const bool ok = db.ExecServerCommand(
        connection,
        [&] {
            return PQsendQueryPrepared(connection, name.constData(), count, texts.data(), nullptr, nullptr, 0) == 1;
        },
        [&] {
            PGresult* result = PQgetResult(connection);
            // One command, one result: whatever follows it is read to the end.
            while (PGresult* rest = result ? PQgetResult(connection) : nullptr)
                PQclear(rest);
            const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
            if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
                std::vector<QByteArray> row;
                for (int c = 0; c < PQnfields(result); ++c)
                    row.push_back(PQgetisnull(result, 0, c) ? QByteArray() : QByteArray(PQgetvalue(result, 0, c)));
                answer.firstRow = std::move(row);
            } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
                error = result
                    ? ServerError(QStringLiteral("Unable to create query"), PQresultErrorMessage(result),
                                  PQresultErrorField(result, PG_DIAG_SQLSTATE))
                    : ServerError(QStringLiteral("Unable to create query"), PQerrorMessage(connection), nullptr);
            }
            PQclear(result);
            return error;
        });
    if (ok) {
        db.StatementSucceeded();
        return answer;
    }
    const QSqlError e = error.value_or(QSqlError());
    answer.error = Dialect().IsOverflow(e) ? MoneyOverflowError() : db.StatementError(e);
    return answer;
}

int ServerSessionId()
{
    PGconn* connection = ThreadServerConnection();
    return connection ? PQbackendPID(connection) : 0;
}

bool CServerCopy::start(const QString& table, const std::vector<BulkColumn>& columns)
{
    if (!GetDBConnection().isConnected())
        return false;
    GetDBConnection().BeforeStatement();
    PGconn* server = ThreadServerConnection();
    if (!server)
        return false;
    QStringList names;
    for (const BulkColumn& c : columns)
        names << QLatin1String(c.name);
    const QByteArray sql =
        QStringLiteral("copy %1 (%2) from stdin").arg(table, names.join(QStringLiteral(", "))).toUtf8();
    // The copy takes its table's lock as it begins.
    bool copying = false;
    GetDBConnection().ExecWaitingForLock(LockWaitKind::Statement, [&]() -> std::optional<QSqlError> {
        PGresult* result = PQexec(server, sql.constData());
        copying = PQresultStatus(result) == PGRES_COPY_IN;
        PQclear(result);
        if (!copying)
            ServerAnswer(server);
        return std::nullopt;
    });
    if (!copying)
        return false;
    if (PQsetnonblocking(server, 1) != 0) {
        PQputCopyEnd(server, "abandoned");
        ServerAnswer(server);
        return false;
    }
    m_connection = server;
    m_buffer.reserve(1 << 18);
    return true;
}

void CServerCopy::separate()
{
    if (!m_firstField)
        m_buffer += '\t';
    m_firstField = false;
}

CServerCopy& CServerCopy::add(int value)
{
    separate();
    char text[16];
    m_buffer.append(text, std::to_chars(text, text + sizeof text, value).ptr - text);
    return *this;
}

CServerCopy& CServerCopy::add(Money value)
{
    // Four decimals, as the server's numeric reads them; an invalid value is its zero.
    separate();
    const std::int64_t units = value.raw();
    const std::uint64_t magnitude = units < 0 ? std::uint64_t(0) - std::uint64_t(units) : std::uint64_t(units);
    char text[32];
    char* end = text;
    if (units < 0)
        *end++ = '-';
    end = std::to_chars(end, text + sizeof text, magnitude / std::uint64_t(Money::kScale)).ptr;
    *end++ = '.';
    for (std::uint64_t frac = magnitude % std::uint64_t(Money::kScale), place = 1000; place; place /= 10) {
        *end++ = char('0' + frac / place);
        frac %= place;
    }
    m_buffer.append(text, end - text);
    return *this;
}

CServerCopy& CServerCopy::add(const QString& value)
{
    // COPY's text form: a backslash and the separators escaped.
    separate();
    for (char c : value.toUtf8()) {
        switch (c) {
        case '\\':
            m_buffer += "\\\\";
            break;
        case '\t':
            m_buffer += "\\t";
            break;
        case '\n':
            m_buffer += "\\n";
            break;
        case '\r':
            m_buffer += "\\r";
            break;
        default:
            m_buffer += c;
        }
    }
    return *this;
}

CServerCopy& CServerCopy::add(Decimal6 value)
{
    separate();
    if (!std::isfinite(value.value)) {
        m_buffer += "\\N";
        return *this;
    }
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, RoundDecimal6(value.value), std::chars_format::fixed);
    m_buffer.append(text, r.ptr - text);
    return *this;
}

bool CServerCopy::endRow()
{
    m_buffer += '\n';
    m_firstField = true;
    return m_buffer.size() < (1 << 18) || flush();
}

bool CServerCopy::flush()
{
    if (!m_connection)
        return false;
    // Without waiting: what the socket does not take now stays in the connection's buffer and goes
    // with the next part, so that the rows are made while the server stores the earlier ones.
    if ((!m_buffer.isEmpty() && PQputCopyData(m_connection, m_buffer.constData(), int(m_buffer.size())) != 1)
        || PQflush(m_connection) < 0) {
        abandon();
        return false;
    }
    m_buffer.clear();
    return true;
}

namespace {

// Sends what the connection still holds, waiting for the socket, and turns it back to waiting mode.
bool SendRest(PGconn* connection)
{
    int left;
    while ((left = PQflush(connection)) == 1) {
        pollfd socket{PQsocket(connection), POLLOUT, 0};
        if (poll(&socket, 1, -1) < 0 && errno != EINTR)
            return false;
    }
    return left == 0 && PQsetnonblocking(connection, 0) == 0;
}

} // namespace

std::optional<QSqlError> CServerCopy::finish()
{
    if (!m_connection)
        return ServerError(QStringLiteral("Unable to copy"), "", nullptr);
    PGconn* connection = m_connection;
    CDBConnection& db = GetDBConnection();
    if (!flush())
        return db.StatementError(ServerError(QStringLiteral("Unable to copy"), PQerrorMessage(connection), nullptr));
    m_connection = nullptr;
    // The rows' checks may wait for other sessions' locks, and the server then stops reading.
    std::optional<QSqlError> error;
    db.ExecWaitingForLock(LockWaitKind::Answer, [&] {
        if (!SendRest(connection) || PQputCopyEnd(connection, nullptr) != 1) {
            error = ServerError(QStringLiteral("Unable to copy"), PQerrorMessage(connection), nullptr);
            ServerAnswer(connection);
        } else {
            error = ServerAnswer(connection);
        }
        return error;
    });
    if (!error)
        return std::nullopt;
    return db.StatementError(*error);
}

void CServerCopy::abandon()
{
    if (!m_connection)
        return;
    PGconn* connection = m_connection;
    m_connection = nullptr;
    GetDBConnection().ExecWaitingForLock(LockWaitKind::Answer, [connection]() -> std::optional<QSqlError> {
        SendRest(connection);
        PQputCopyEnd(connection, "abandoned");
        ServerAnswer(connection);
        return std::nullopt;
    });
}

namespace {

// A statement of the connection without values, through SQLite's own interface.
bool RunNative(const char* sql)
{
    const auto statement = CSqliteStatement::Prepare(QString::fromLatin1(sql), nullptr);
    return statement && statement->run();
}

} // namespace

CTempTableCopy::CTempTableCopy() = default;

CTempTableCopy::~CTempTableCopy()
{
    abandon();
}

bool CTempTableCopy::start(const QString& table, const std::vector<BulkColumn>& columns)
{
    CDBConnection& db = GetDBConnection();
    if (!db.isConnected())
        return false;
    QStringList names;
    QStringList marks;
    for (const BulkColumn& c : columns) {
        names << QLatin1String(c.name);
        marks << QStringLiteral("?");
    }
    m_native =
        CSqliteStatement::Prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                                      .arg(table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                                  nullptr);
    if (!m_native) {
        auto server = std::make_unique<CServerCopy>();
        if (!server->start(table, columns))
            return false;
        m_server = std::move(server);
        return true;
    }
    // A deferred transaction takes the lock of no database it has not touched: only the temporary one.
    m_ownTransaction = db.transactionLevel() == 0;
    if (m_ownTransaction && !RunNative("begin")) {
        m_native.reset();
        return false;
    }
    return true;
}

CTempTableCopy& CTempTableCopy::add(int value)
{
    if (m_server)
        m_server->add(value);
    else if (m_native)
        m_native->bind(++m_column, std::int64_t(value));
    return *this;
}

CTempTableCopy& CTempTableCopy::add(Money value)
{
    if (m_server)
        m_server->add(value);
    else if (m_native)
        m_native->bind(++m_column, std::int64_t(value.raw()));
    return *this;
}

CTempTableCopy& CTempTableCopy::add(const QString& value)
{
    if (m_server)
        m_server->add(value);
    else if (m_native)
        m_native->bind(++m_column, value);
    return *this;
}

CTempTableCopy& CTempTableCopy::add(Decimal6 value)
{
    if (m_server) {
        m_server->add(value);
    } else if (m_native) {
        if (std::isfinite(value.value))
            m_native->bind(++m_column, RoundDecimal6(value.value));
        else
            m_native->bindNull(++m_column);
    }
    return *this;
}

bool CTempTableCopy::endRow()
{
    m_column = 0;
    if (m_server) {
        if (m_server->endRow())
            return true;
        m_server.reset();
        return false;
    }
    if (m_native && m_native->run())
        return true;
    if (m_native)
        m_error = m_native->error();
    abandon();
    return false;
}

bool CTempTableCopy::finish()
{
    if (m_server) {
        const auto error = m_server->finish();
        m_server.reset();
        if (error)
            m_error = *error;
        return !error;
    }
    if (!m_native)
        return false;
    m_native.reset();
    bool stored = !m_ownTransaction;
    if (!stored) {
        // The commit writes what the temporary database's cache still holds: the folder may fill then.
        const auto commit = CSqliteStatement::Prepare(QStringLiteral("commit"), nullptr);
        stored = commit && commit->run();
        if (commit && !stored)
            m_error = commit->error();
    }
    if (!stored)
        RunNative("rollback");
    m_ownTransaction = false;
    return stored;
}

void CTempTableCopy::abandon()
{
    m_server.reset();
    if (!m_native)
        return;
    m_native.reset();
    if (m_ownTransaction)
        RunNative("rollback");
    m_ownTransaction = false;
}

bool RunOnStage(const QString& sql, qlonglong* value)
{
    GetDBConnection().BeforeStatement();
    QSqlDatabase db = GetDBConnection().GetConnection();
    QSqlQuery q(db);
    if (!db.isValid() || !q.exec(sql))
        return false;
    if (value) {
        if (!q.next())
            return false;
        *value = q.value(0).toLongLong();
    }
    return true;
}

CRowStream::CRowStream(const QString& sql, const QVariantList& args)
    : m_sql(sql)
    , m_args(args)
{
}

CRowStream::~CRowStream() = default;

bool CRowStream::start()
{
    QSqlError error;
    m_native = CSqliteStatement::Prepare(m_sql, &error);
    if (m_native) {
        int index = 1;
        for (const QVariant& v : m_args)
            BindNative(*m_native, index++, v);
        return true;
    }
    if (error.type() != QSqlError::NoError) {
        ReportComError(error);
        return false;
    }
    m_query = std::make_unique<CSqlQuery>(m_sql);
    m_query->bindAll(m_args);
    return m_query->execOrReport();
}

bool CRowStream::next()
{
    return m_native ? m_native->step() : m_query->next();
}

bool CRowStream::finish()
{
    QSqlError error;
    if (m_native)
        error = m_overflow ? MoneyOverflowError() : m_native->error();
    else if (m_query->readFailed())
        error = m_query->lastError();
    if (error.type() == QSqlError::NoError)
        return true;
    ReportComError(error);
    return false;
}

int CRowStream::intAt(int column) const
{
    return m_native ? int(m_native->int64(column)) : m_query->value(column).toInt();
}

Money CRowStream::moneyAt(int column)
{
    return m_native ? m_native->money(column, &m_overflow) : m_query->money(column);
}
