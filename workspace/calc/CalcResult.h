// What the steps of the group sums and the recalculation answer instead of throwing: success, or why
// the step failed. Only a cancel travels as an exception (CRecalcCancelled).
#pragma once

#include <QString>

#include <optional>
#include <utility>

class CCalcStatus {
public:
    CCalcStatus() = default; // success

    // A failure with the message the user is shown.
    static CCalcStatus Failed(QString message) { return CCalcStatus(Kind::Message, std::move(message)); }
    // A database failure that was reported on the way (ReportComError): it has no text of its own.
    static CCalcStatus DbFailed() { return CCalcStatus(Kind::Db, QString()); }

    bool ok() const { return m_kind == Kind::Ok; }
    explicit operator bool() const { return ok(); }
    bool dbFailure() const { return m_kind == Kind::Db; }
    const QString& message() const { return m_message; }

private:
    enum class Kind { Ok, Message, Db };
    CCalcStatus(Kind kind, QString message)
        : m_kind(kind)
        , m_message(std::move(message))
    {
    }
    Kind m_kind = Kind::Ok;
    QString m_message;
};

// A value, or the failure that stands in for it.
template <class T, class E = CCalcStatus>
class CCalcResult {
public:
    CCalcResult(T value)
        : m_value(std::move(value))
    {
    }
    CCalcResult(E failure)
        : m_failure(std::move(failure))
    {
    }

    bool has_value() const { return m_value.has_value(); }
    explicit operator bool() const { return has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    const E& failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    E m_failure{};
};
