// The report database LIRR.db in the program folder: the header row that gives every report run its
// id, and the frame in which a builder writes the run's rows. The program never creates its tables:
// the file is a copy of the empty one it ships.
#pragma once

#include "ErrorSink.h"
#include "Money.h"

#include <QString>

#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>

class CSqlQuery;

// The program folder + LIRR.db.
QString ReportDatabasePath();

// The texts of the failures that are the builders' own.
namespace ReportFailureTexts {
inline const QString kUnknown = QStringLiteral("Неизвестная ошибка.");
inline const QString kReceiverTree = QStringLiteral("Не удалось построить дерево получателей отчета.");
inline const QString kProductTree = QStringLiteral("Не удалось построить дерево продуктов отчета.");
inline const QString kProducts = QStringLiteral("Не удалось прочитать продукты отчета.");
inline const QString kProductLines = QStringLiteral("Не удалось подсчитать строки продуктов отчета.");
} // namespace ReportFailureTexts

// The one way a report run fails: the error the user is shown, or a failure whose reason the user
// has seen already (a message box on the way), which is not shown again.
class CReportFailure : public std::runtime_error {
public:
    explicit CReportFailure(DbError error);
    // A failure of the builder's own, told by its text.
    explicit CReportFailure(const QString& text);
    static CReportFailure Shown(const QString& text);
    const DbError& error() const { return m_error; }
    bool shown() const { return m_shown; }

private:
    DbError m_error;
    bool m_shown = false;
};

// For a catch of a report run: reports the exception in flight (a CReportFailure's error unless it
// has been shown, anything else as ForeignFailure tells it).
void ReportRunFailure(std::exception_ptr failure);

// Appends a header row and answers its id, outside any transaction, so that it stays when the run's
// rows are rolled back; -1 after a failure, which is reported.
int CreateReportHeader();

// The insert of one form table, prepared once per run and reused for every row. The table sets the
// run's report id into its key column itself; the builder sets the other columns in the order it
// named them, then writes the row.
class CReportTable {
public:
    ~CReportTable();
    CReportTable(const CReportTable&) = delete;
    CReportTable& operator=(const CReportTable&) = delete;

    CReportTable& operator<<(const QString& text);
    CReportTable& operator<<(int value);
    CReportTable& operator<<(Money value);
    // A column left unset.
    CReportTable& Null();
    // Stores the row; throws CReportFailure when the database refuses it, or when the row did not get
    // exactly one value per column.
    void Write();
    int rowsWritten() const { return m_rows; }

private:
    friend class CReportFrame;
    CReportTable(const QString& sql, int reportId, int columns);
    void Begin();

    void Step();

    // LIRR.db is always SQLite: its rows go through the engine's own statement, since binding
    // through the generic layer costs more than the insert itself on large forms.
    struct Raw;
    std::unique_ptr<Raw> m_raw;
    std::unique_ptr<CSqlQuery> m_insert; // a report database of another driver
    int m_reportId;
    int m_columns;
    int m_set = -1; // values bound for the current row, -1 before its key
    int m_rows = 0;
};

// What a builder writes through: the run's report id, one table insert per form table, and the order
// in which rows are begun (for tables whose rows are stored in another order than begun).
class CReportFrame {
public:
    ~CReportFrame();
    int reportId() const { return m_reportId; }
    // The insert of the table with these columns after the key column (program constants), prepared
    // on its first use in the run.
    CReportTable& Table(const char* table, std::initializer_list<const char*> columns,
                        const char* keyColumn = "report");
    int NextSeq() { return ++m_seq; }
    // What the run answers instead of its report id once it has committed (a run with nothing to
    // show answers 0; its header row stays).
    void SetResult(int result) { m_result = result; }

private:
    friend int RunReportFrame(const std::function<void(CReportFrame&)>& write);
    explicit CReportFrame(int reportId);

    int m_reportId;
    int m_result;
    int m_seq = 0;
    struct Tables;
    std::unique_ptr<Tables> m_tables;
};

// The builder frame: a header row, then one transaction on the report connection in which `write`
// stores the run's rows, then the commit. Answers the report id; -1 when anything failed, with the
// run's rows rolled back and the header row kept. The failure is reported once (ReportRunFailure).
int RunReportFrame(const std::function<void(CReportFrame&)>& write);

// Housekeeping at start-up: when no other running copy of the program uses the report database, the
// rows of earlier runs are deleted and the file compacted. A running copy marks the file as in use
// until it ends. True when the file was cleaned; a missing or unwritable file is left to the first
// report to tell.
bool CleanReportDatabase();
