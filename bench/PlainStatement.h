// The benchmarks' floors: a statement through the database library's own interface on the main
// connection's handle, with none of the program's or Qt's layers between. On SQLite its C interface
// (prepared once, then bind, step, reset for every run); on a server libpq, the statement prepared
// once and run by PQexecPrepared with its values as text. Placeholders are written $1, $2 ..., which
// both take. It runs inside the connection's transaction when one is open.
#pragma once

#include "db/DbConnection.h"
#include "tables/ForecastRow.h"
#include "tables/TableCommon.h"

#include <QSqlDriver>
#include <QString>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// The main connection's SQLite handle, null when it is no SQLite connection.
inline sqlite3* MainSqliteHandle()
{
    const QSqlDatabase db = GetDBConnection().GetConnection();
    const QVariant v = db.isValid() && db.driver() ? db.driver()->handle() : QVariant();
    return v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0 ? *static_cast<sqlite3* const*>(v.data()) : nullptr;
}

// The main connection's libpq connection, null when it is no server's.
inline PGconn* MainServerHandle()
{
    const QSqlDatabase db = GetDBConnection().GetConnection();
    return db.isValid() && db.driver() ? ServerConnection(db.driver()->handle()) : nullptr;
}

class CPlainStatement {
public:
    explicit CPlainStatement(const char* sql)
        : m_sqlite(MainSqliteHandle())
        , m_server(m_sqlite ? nullptr : MainServerHandle())
    {
        // Answers of the program's statements sent without waiting come first.
        GetDBConnection().CollectPendingAnswer();
        if (m_sqlite) {
            if (sqlite3_prepare_v2(m_sqlite, sql, -1, &m_statement, nullptr) != SQLITE_OK)
                Fail(sqlite3_errmsg(m_sqlite));
        } else if (m_server) {
            static std::atomic<int> counter{0};
            m_name = "bench_plain_" + std::to_string(++counter);
            PGresult* r = PQprepare(m_server, m_name.c_str(), sql, 0, nullptr);
            if (PQresultStatus(r) != PGRES_COMMAND_OK)
                Fail(PQresultErrorMessage(r));
            PQclear(r);
        } else {
            Fail("no SQLite or PostgreSQL connection");
        }
    }
    ~CPlainStatement()
    {
        if (m_statement)
            sqlite3_finalize(m_statement);
        if (m_server && !m_name.empty() && PQtransactionStatus(m_server) != PQTRANS_INERROR)
            PQclear(PQexec(m_server, ("deallocate " + m_name).c_str()));
    }
    CPlainStatement(const CPlainStatement&) = delete;
    CPlainStatement& operator=(const CPlainStatement&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }

    CPlainStatement& bind(std::int64_t v)
    {
        if (m_statement) {
            sqlite3_bind_int64(m_statement, ++m_bound, v);
        } else {
            char text[24];
            SetText(text, std::to_chars(text, text + sizeof text, v).ptr);
        }
        return *this;
    }
    CPlainStatement& bind(int v) { return bind(std::int64_t(v)); }
    // A money value as each stores it: SQLite its units, the server a numeric of four decimals.
    CPlainStatement& bindMoney(std::int64_t units)
    {
        if (m_statement)
            return bind(units);
        const std::uint64_t magnitude = units < 0 ? std::uint64_t(0) - std::uint64_t(units) : std::uint64_t(units);
        char text[32];
        char* end = text;
        if (units < 0)
            *end++ = '-';
        end = std::to_chars(end, text + sizeof text, magnitude / 10000).ptr;
        *end++ = '.';
        for (std::uint64_t frac = magnitude % 10000, place = 1000; place; place /= 10) {
            *end++ = char('0' + frac / place);
            frac %= place;
        }
        SetText(text, end);
        return *this;
    }
    CPlainStatement& bind(const QString& v)
    {
        if (m_statement)
            sqlite3_bind_text16(m_statement, ++m_bound, v.utf16(), int(v.size() * 2), SQLITE_TRANSIENT);
        else {
            const QByteArray utf8 = v.toUtf8();
            SetText(utf8.constData(), utf8.constData() + utf8.size());
        }
        return *this;
    }

    // Runs the statement with the values bound since the last run: the rows it gave, -1 on an error.
    long long run()
    {
        long long rows = 0;
        if (m_statement) {
            int rc;
            while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW) {
                ++rows;
                ReadValues();
            }
            if (rc != SQLITE_DONE) {
                Fail(sqlite3_errmsg(m_sqlite));
                rows = -1;
            }
            sqlite3_reset(m_statement);
        } else if (m_server && ok()) {
            std::vector<const char*> values;
            values.reserve(m_bound);
            for (int i = 0; i < m_bound; ++i)
                values.push_back(m_texts[std::size_t(i)].c_str());
            PGresult* r = PQexecPrepared(m_server, m_name.c_str(), m_bound, values.data(), nullptr, nullptr, 0);
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_TUPLES_OK)
                rows = PQntuples(r);
            else if (status != PGRES_COMMAND_OK) {
                Fail(PQresultErrorMessage(r));
                rows = -1;
            }
            PQclear(r);
        } else {
            rows = -1;
        }
        m_bound = 0;
        return rows;
    }

    // What the rows held, read so that their values were taken as a reader takes them.
    std::int64_t checksum() const { return m_checksum; }

private:
    void ReadValues()
    {
        for (int c = 0, n = sqlite3_column_count(m_statement); c < n; ++c)
            switch (sqlite3_column_type(m_statement, c)) {
            case SQLITE_INTEGER:
                m_checksum += sqlite3_column_int64(m_statement, c);
                break;
            case SQLITE_FLOAT:
                m_checksum += std::int64_t(sqlite3_column_double(m_statement, c));
                break;
            case SQLITE_TEXT:
                m_checksum += sqlite3_column_bytes(m_statement, c);
                break;
            default:
                break;
            }
    }
    std::string& Text()
    {
        if (std::size_t(m_bound) >= m_texts.size())
            m_texts.resize(std::size_t(m_bound) + 1);
        return m_texts[std::size_t(m_bound++)];
    }
    void SetText(const char* begin, const char* end)
    {
        std::string& text = Text();
        text.resize(std::size_t(end - begin));
        std::memcpy(text.data(), begin, text.size());
    }
    void Fail(const char* message)
    {
        if (m_error.empty())
            m_error = message ? message : "failed";
    }

    sqlite3* m_sqlite;
    PGconn* m_server;
    sqlite3_stmt* m_statement = nullptr;
    std::string m_name;
    std::vector<std::string> m_texts;
    int m_bound = 0;
    std::int64_t m_checksum = 0;
    std::string m_error;
};

// The consolidation's floor: the forecast's consolidated rows made anew from the sums of its data
// rows by one delete and one insert ... select ... group by, in the caller's transaction. Empty, or
// the library's error.
inline std::string ConsolidateByOneStatement(int forecast)
{
    QStringList sums;
    for (const QString& c : ForecastFigureColumnList())
        sums << QStringLiteral("sum(%1)").arg(c);
    const QByteArray insert = QStringLiteral("insert into tfcttotalprognoz (prognoz, product, %1, lastUpdate, comment, "
                                             "base, baseMethod) select prognoz, product, %2, $1, '', '', 0 "
                                             "from tfctprognozdata where prognoz = $2 group by prognoz, product")
                                  .arg(ForecastFigureColumns(), sums.join(QStringLiteral(", ")))
                                  .toUtf8();
    const QString now = CurrentTimeToSecond().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    CPlainStatement clear("delete from tfcttotalprognoz where prognoz = $1");
    CPlainStatement sum(insert.constData());
    if (clear.bind(forecast).run() < 0 || sum.bind(now).bind(forecast).run() < 0)
        return clear.error() + sum.error();
    return std::string();
}
