// The export of the operation journal for a range of days into a text file: one line per row,
// "dd-MM-yyyy HH:mm:ss;text", code page 1251, CRLF.
#pragma once

#include <QDate>
#include <QDialog>

class QDateEdit;
class QLineEdit;

enum class OpJournalExportResult { Done, FileError, ReadError };

// Writes the rows from the start day's midnight up to the midnight after the end day, in id order.
// Each line is flushed on its own (unless told otherwise), so that an interrupted file holds every
// complete line before the failure.
OpJournalExportResult WriteOpJournal(const QDate& start, const QDate& end, const QString& path,
                                     bool flushEachLine = true);

// "Выгрузка журнала операций" (188).
class COpJrnExportParamsDlg : public QDialog {
    Q_OBJECT
public:
    explicit COpJrnExportParamsDlg(QWidget* parent = nullptr);

    QString fileName;
    QDate start;
    QDate end;

    void accept() override;
    QDateEdit* startEdit() const { return m_start; }
    QDateEdit* endEdit() const { return m_end; }
    QLineEdit* fileEdit() const { return m_file; }

private:
    void OnBrowse();

    QDateEdit* m_start;
    QDateEdit* m_end;
    QLineEdit* m_file;
};

// The command: the dialog, then the export with its messages.
void ExportOpJournal(QWidget* parent);

namespace OpJournalTexts {
inline const QString kCaption = QStringLiteral("Выгрузка журнала операций");
inline const QString kFileError = QStringLiteral("Ошибка создания файла!");
inline const QString kNoFileName = QStringLiteral("Не задан файл, в который выгружается журнал операций.");
inline const QString kExportError = QStringLiteral("Ошибка при выгрузке журнала операций!");
} // namespace OpJournalTexts
