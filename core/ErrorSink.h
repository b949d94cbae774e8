// Database (and other service) failures as the system's error value, and where they go.
//
// A failure is reported with ReportComError on the thread where it happened. While a CErrorCollector
// scope is open on that thread, the innermost scope collects it; otherwise it goes to the process's
// sink. The application installs a sink that shows the error (ShowComError in AppMessage.h); a program
// without a window keeps the default, which writes the message to standard error. Core never shows
// anything itself and never ends the process.
#pragma once

#include <QSqlError>
#include <QString>

#include <exception>
#include <functional>
#include <vector>

struct DbError {
    unsigned code = 0;
    QString message;
    QString description;

    static DbError fromSql(const QSqlError& error);
    // "Произошла исключительная ситуация.\nКод: ...", as the program shows it.
    QString text() const;
};

// Whether the value holds a failure: code 0 with empty texts is success.
inline bool Failed(const DbError& e)
{
    return e.code != 0 || !e.message.isEmpty() || !e.description.isEmpty();
}

// The error for an exception that is none of the program's own (a lack of memory, say), in the
// program's words: the foreign exception's own text is never shown.
DbError ForeignFailure(std::exception_ptr failure);

using ErrorSink = std::function<void(const DbError&)>;

// Installs the process's sink (safe to call from any thread) and answers the previous one; an empty
// sink restores the default.
ErrorSink SetErrorSink(ErrorSink sink);
// The default sink: the error's text on standard error.
void WriteErrorToStderr(const DbError& error);

void ReportComError(const DbError& error);
void ReportComError(const QSqlError& error);

// Collects the errors reported on the calling thread while it lives, for batch work (imports,
// recalculation, report builders) that shows one message at its end. Scopes nest; the innermost
// one collects. When the scope ends with errors nobody took, the first of them goes on to what
// is outside the scope (an enclosing scope or the sink), so that nothing is lost silently.
class CErrorCollector {
public:
    CErrorCollector();
    ~CErrorCollector();
    CErrorCollector(const CErrorCollector&) = delete;
    CErrorCollector& operator=(const CErrorCollector&) = delete;

    bool empty() const { return m_errors.empty(); }
    const std::vector<DbError>& errors() const { return m_errors; }
    // Hands the collected errors to the caller; the scope then ends quietly.
    std::vector<DbError> take();

private:
    friend void ReportComError(const DbError& error);
    std::vector<DbError> m_errors;
    CErrorCollector* m_outer;
};
