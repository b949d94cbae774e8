#include "ErrorSink.h"

#include <cstdio>
#include <mutex>
#include <new>
#include <utility>

namespace {

std::mutex g_sinkMutex;
ErrorSink g_sink;

thread_local CErrorCollector* t_collector = nullptr;

void Deliver(const DbError& error)
{
    ErrorSink sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink)
        sink(error);
    else
        WriteErrorToStderr(error);
}

} // namespace

DbError DbError::fromSql(const QSqlError& error)
{
    DbError e;
    bool ok = false;
    const unsigned code = error.nativeErrorCode().toUInt(&ok);
    e.code = ok ? code : 0;
    e.message = error.driverText();
    e.description = error.databaseText();
    if (e.message.isEmpty() && e.description.isEmpty())
        e.description = error.text();
    return e;
}

QString DbError::text() const
{
    return QStringLiteral("Произошла исключительная ситуация.\nКод: %1\nСообщение: %2\nОписание: %3")
        .arg(code)
        .arg(message, description);
}

DbError ForeignFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return DbError{0, QStringLiteral("Недостаточно памяти."), QString()};
    } catch (...) {
    }
    return DbError{0, QStringLiteral("Неизвестная ошибка."), QString()};
}

ErrorSink SetErrorSink(ErrorSink sink)
{
    std::lock_guard lock(g_sinkMutex);
    ErrorSink old = std::move(g_sink);
    g_sink = std::move(sink);
    return old;
}

void WriteErrorToStderr(const DbError& error)
{
    std::fprintf(stderr, "%s\n", error.text().toUtf8().constData());
    std::fflush(stderr);
}

void ReportComError(const DbError& error)
{
    if (t_collector)
        t_collector->m_errors.push_back(error);
    else
        Deliver(error);
}

void ReportComError(const QSqlError& error)
{
    ReportComError(DbError::fromSql(error));
}

CErrorCollector::CErrorCollector()
    : m_outer(t_collector)
{
    t_collector = this;
}

CErrorCollector::~CErrorCollector()
{
    t_collector = m_outer;
    if (!m_errors.empty())
        ReportComError(m_errors.front());
}

std::vector<DbError> CErrorCollector::take()
{
    return std::exchange(m_errors, {});
}
