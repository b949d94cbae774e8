#include "OpJournalExport.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "DateFields.h"
#include "ModalHook.h"
#include "TextUtils.h"
#include "tables/OpJournal.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include <cstdio>

using namespace OpJournalTexts;

OpJournalExportResult WriteOpJournal(const QDate& start, const QDate& end, const QString& path, bool flushEachLine)
{
    // Written beside the target and renamed over it at the end: a failed export leaves the old file.
    QSaveFile file(path);
    // Each line handed to the system as it is written: unbuffered, one write per line.
    if (!file.open(flushEachLine ? QIODevice::WriteOnly | QIODevice::Unbuffered : QIODevice::WriteOnly))
        return OpJournalExportResult::FileError;
    QByteArray line;
    const bool read = ReadOpJournalBetween(
        QDateTime(start, QTime(0, 0)), QDateTime(end.addDays(1), QTime(0, 0)), [&](const COpJournalLine& row) {
            const auto date = ReadDateFields(row.date);
            if (!date)
                return false;
            char stamp[40];
            const int n = std::snprintf(stamp, sizeof stamp, "%02d-%02d-%04d %02d:%02d:%02d;", date->day, date->month,
                                        date->year, date->hour, date->minute, date->second);
            line.clear();
            line.append(stamp, n);
            line += UnicodeToAnsi(row.text);
            line += "\r\n";
            return file.write(line) == line.size();
        });
    if (!read || !file.commit())
        return OpJournalExportResult::ReadError;
    return OpJournalExportResult::Done;
}

COpJrnExportParamsDlg::COpJrnExportParamsDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id188"));
    setWindowTitle(kCaption);
    const QDate today = QDate::currentDate();
    m_start = new QDateEdit(today, this);
    m_start->setObjectName(QStringLiteral("id1130"));
    m_start->setCalendarPopup(true);
    m_end = new QDateEdit(today, this);
    m_end->setObjectName(QStringLiteral("id1131"));
    m_end->setCalendarPopup(true);
    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("id1086"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setObjectName(QStringLiteral("id1037"));
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Дата начала:"), m_start);
    form->addRow(QStringLiteral("Дата окончания:"), m_end);
    form->addRow(QStringLiteral("Файл:"), fileRow);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    connect(browse, &QPushButton::clicked, this, &COpJrnExportParamsDlg::OnBrowse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void COpJrnExportParamsDlg::OnBrowse()
{
    const QString chosen = ModalHook().getSaveFileName(this, QString(), m_file->text(),
                                                       QStringLiteral("All (*.*);;Text (*.TXT);;CSV (*.csv)"));
    if (!chosen.isEmpty())
        m_file->setText(chosen);
}

void COpJrnExportParamsDlg::accept()
{
    if (m_file->text().trimmed().isEmpty()) {
        AppMessageBox(kNoFileName, MB_ICONEXCLAMATION, this);
        m_file->setFocus();
        return;
    }
    start = m_start->date();
    end = m_end->date();
    fileName = m_file->text().trimmed();
    QDialog::accept();
}

void ExportOpJournal(QWidget* parent)
{
    COpJrnExportParamsDlg dlg(parent);
    if (ExecModal(dlg) != QDialog::Accepted)
        return;
    switch (WriteOpJournal(dlg.start, dlg.end, dlg.fileName)) {
    case OpJournalExportResult::FileError:
        // Which file could not be made.
        AppMessageBox(kFileError + u'\n' + dlg.fileName, MB_ICONSTOP, parent);
        break;
    case OpJournalExportResult::ReadError:
        AppMessageBox(kExportError, MB_ICONSTOP, parent);
        break;
    case OpJournalExportResult::Done:
        break;
    }
}
