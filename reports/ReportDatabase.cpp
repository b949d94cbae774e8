#include "ReportDatabase.h"

#include "ReportProgress.h"
#include "TextUtils.h"
#include "db/DbConnection.h"
#include "db/DbSetup.h"
#include "db/SqlDialect.h"
#include "db/SqlQuery.h"

#include <QFile>
#include <QSqlDriver>
#include <QStringEncoder>
#include <QStringList>

#include <map>
#include <vector>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString ReportDatabasePath()
{
    return GetProgramFolder() + kReportDatabaseFile;
}

CReportFailure::CReportFailure(DbError error)
    : std::runtime_error(error.message.toStdString())
    , m_error(std::move(error))
{
}

CReportFailure::CReportFailure(const QString& text)
    : CReportFailure(DbError{0, text, QString()})
{
}

CReportFailure CReportFailure::Shown(const QString& text)
{
    CReportFailure failure(text);
    failure.m_shown = true;
    return failure;
}

void ReportRunFailure(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const CReportFailure& f) {
        if (!f.shown())
            ReportComError(f.error());
    } catch (...) {
        ReportComError(ForeignFailure(std::current_exception()));
    }
}

namespace {

// Identifiers of the report tables come from the program's constants; quoted, since some are key
// words ("Group").
QString Quoted(const char* name)
{
    return QLatin1Char('"') + QLatin1String(name) + QLatin1Char('"');
}

[[noreturn]] void Fail(const QSqlError& error)
{
    throw CReportFailure(DbError::fromSql(error));
}

} // namespace

int CreateReportHeader()
{
    CSqlQuery q(QStringLiteral("insert into report default values returning id"), GetReportDBConnection());
    if (!q.isPrepared()) {
        // A connection that failed to open has told why already.
        if (GetReportDBConnection().isConnected())
            ReportComError(q.lastError());
        return -1;
    }
    if (!q.execOrReport())
        return -1;
    if (!q.next()) {
        ReportComError(q.lastError());
        return -1;
    }
    return q.value(0).toInt();
}

struct CReportTable::Raw {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    // Each text parameter's UTF-8, bound in place: the file keeps UTF-8, and a text bound as UTF-16
    // is copied and converted again for every row. A buffer lives until its parameter is bound anew.
    std::vector<QByteArray> texts;
    QStringEncoder utf8{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
    ~Raw() { sqlite3_finalize(stmt); }
    void BindText(int parameter, const QString& text)
    {
        if (size_t(parameter) >= texts.size())
            texts.resize(size_t(parameter) + 1);
        QByteArray& buffer = texts[size_t(parameter)];
        buffer.resize(utf8.requiredSpace(text.size()));
        const char* end = utf8.appendToBuffer(buffer.data(), text);
        buffer.truncate(end - buffer.constData());
        // Never NULL, as the generic layer binds texts.
        Check(sqlite3_bind_text(stmt, parameter, buffer.constData(), int(buffer.size()), SQLITE_STATIC));
    }
    DbError Error() const
    {
        return DbError{unsigned(sqlite3_extended_errcode(db)), QString::fromUtf8(sqlite3_errmsg(db)), QString()};
    }
    [[noreturn]] void Fail() const { throw CReportFailure(Error()); }
    void Check(int rc) const
    {
        if (rc != SQLITE_OK)
            Fail();
    }
};

CReportTable::CReportTable(const QString& sql, int reportId, int columns)
    : m_reportId(reportId)
    , m_columns(columns)
{
    const QVariant handle = GetReportDBConnection().GetConnection().driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
        && *static_cast<sqlite3* const*>(handle.data())) {
        m_raw = std::make_unique<Raw>();
        m_raw->db = *static_cast<sqlite3* const*>(handle.data());
        const QByteArray text = sql.toUtf8();
        m_raw->Check(sqlite3_prepare_v2(m_raw->db, text.constData(), int(text.size()), &m_raw->stmt, nullptr));
        return;
    }
    m_insert = std::make_unique<CSqlQuery>(sql, GetReportDBConnection());
    if (!m_insert->isPrepared())
        Fail(m_insert->lastError());
}

CReportTable::~CReportTable() = default;

void CReportTable::Begin()
{
    if (m_set < 0) {
        if (m_raw)
            m_raw->Check(sqlite3_bind_int(m_raw->stmt, 1, m_reportId));
        else
            m_insert->bind(m_reportId);
        m_set = 0;
    }
    ++m_set;
}

CReportTable& CReportTable::operator<<(const QString& text)
{
    Begin();
    if (m_raw)
        m_raw->BindText(m_set + 1, text);
    else
        m_insert->bind(text);
    return *this;
}

CReportTable& CReportTable::operator<<(int value)
{
    Begin();
    if (m_raw)
        m_raw->Check(sqlite3_bind_int(m_raw->stmt, m_set + 1, value));
    else
        m_insert->bind(value);
    return *this;
}

CReportTable& CReportTable::operator<<(Money value)
{
    // A computed value beyond the money range is not written as if it were 0.
    if (!value.isValid())
        throw CReportFailure(DbError::fromSql(MoneyOverflowError()));
    Begin();
    if (m_raw) // ten-thousandths, as SQLite keeps money
        m_raw->Check(sqlite3_bind_int64(m_raw->stmt, m_set + 1, value.raw()));
    else
        m_insert->bind(value);
    return *this;
}

CReportTable& CReportTable::Null()
{
    Begin();
    if (m_raw)
        m_raw->Check(sqlite3_bind_null(m_raw->stmt, m_set + 1));
    else
        m_insert->bindNull();
    return *this;
}

void CReportTable::Write()
{
    CheckReportStop();
    if (m_set < 0) {
        Begin();
        --m_set;
    }
    if (m_set != m_columns)
        throw CReportFailure(DbError{0, QStringLiteral("Строка отчета не заполнена."),
                                     QStringLiteral("%1 из %2 столбцов").arg(m_set).arg(m_columns)});
    m_set = -1;
    Step();
    ++m_rows;
}

void CReportTable::Step()
{
    if (!m_raw) {
        if (!m_insert->exec())
            Fail(m_insert->lastError());
        return;
    }
    if (sqlite3_step(m_raw->stmt) == SQLITE_DONE) {
        sqlite3_reset(m_raw->stmt);
        return;
    }
    const DbError error = m_raw->Error();
    sqlite3_reset(m_raw->stmt);
    throw CReportFailure(error);
}

struct CReportFrame::Tables {
    std::map<QString, std::unique_ptr<CReportTable>> bySql;
};

CReportFrame::CReportFrame(int reportId)
    : m_reportId(reportId)
    , m_result(reportId)
    , m_tables(std::make_unique<Tables>())
{
}

CReportFrame::~CReportFrame() = default;

CReportTable& CReportFrame::Table(const char* table, std::initializer_list<const char*> columns, const char* keyColumn)
{
    QStringList names{Quoted(keyColumn)};
    QStringList marks{QStringLiteral("?")};
    for (const char* column : columns) {
        names << Quoted(column);
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("insert into %1 (%2) values (%3)")
                            .arg(Quoted(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    auto& slot = m_tables->bySql[sql];
    if (!slot)
        slot.reset(new CReportTable(sql, m_reportId, int(columns.size())));
    return *slot;
}

int RunReportFrame(const std::function<void(CReportFrame&)>& write)
{
    const int reportId = CreateReportHeader();
    if (reportId < 0)
        return -1;
    CDBConnection& connection = GetReportDBConnection();
    CTransaction tx(connection);
    if (!tx.isActive())
        return -1;
    try {
        ReportStep(ReportStepTexts::kRows);
        int result = reportId;
        {
            // The prepared inserts go back to the connection before the commit.
            CReportFrame frame(reportId);
            write(frame);
            result = frame.m_result;
        }
        if (!tx.commit())
            return -1;
        return result;
    } catch (...) {
        tx.rollback();
        ReportRunFailure(std::current_exception());
    }
    return -1;
}

namespace {

// Every table that holds rows of report runs, the header table last.
const char* const kReportTables[] = {"reportform1", "reportform2", "reportform3", "reportform4",
                                     "reportform5", "reportform6", "reportform7", "reportform8",
                                     "ReportForm9", "Product",     "report"};

// The running copy's mark on the report database: a shared lock on the file for as long as the
// program runs. The copy that gets it exclusively is the only one.
struct UseMark {
    QString path;
    int fd = -1;
    ~UseMark() { Release(); }
    void Release()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        path.clear();
    }
};

UseMark& Mark()
{
    static UseMark mark;
    return mark;
}

bool DeleteEarlierRuns()
{
    CDBConnection& connection = GetReportDBConnection();
    {
        CTransaction tx(connection);
        if (!tx.isActive())
            return false;
        for (const char* table : kReportTables) {
            CSqlQuery q(QStringLiteral("delete from ") + Quoted(table), connection);
            if (!q.execOrReport())
                return false;
        }
        if (!tx.commit())
            return false;
    }
    // Compacting is done outside the transaction; a copy that started meanwhile only waits.
    CSqlQuery vacuum(QStringLiteral("vacuum"), connection);
    return vacuum.execOrReport();
}

} // namespace

bool CleanReportDatabase()
{
    const QString path = ReportDatabasePath();
    if (Failed(PrepareReportDatabaseFile()))
        return false;
    UseMark& mark = Mark();
    if (mark.path != path) {
        mark.Release();
        mark.fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (mark.fd < 0)
            return false;
        mark.path = path;
    }
    if (::flock(mark.fd, LOCK_EX | LOCK_NB) != 0) {
        // Another copy uses the file: only mark this one's use.
        ::flock(mark.fd, LOCK_SH);
        return false;
    }
    bool cleaned = false;
    {
        // A file that cannot be written is told when a report is run, not at every start.
        CErrorCollector quiet;
        cleaned = DeleteEarlierRuns();
        quiet.take();
    }
    ::flock(mark.fd, LOCK_SH);
    return cleaned;
}
