#include "OpJournalExport.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "Codepage.h"
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
#include <string>
#include <string_view>

using namespace OpJournalTexts;

namespace {

// "dd-MM-yyyy hh:mm:ss;" as printf's "%02d" writes each field; a field of more digits takes printf.
void AppendStamp(std::string& line, const CDateFields& d)
{
    const auto two = [](int v) { return v >= 0 && v <= 99; };
    if (!two(d.day) || !two(d.month) || d.year < 0 || d.year > 9999 || !two(d.hour) || !two(d.minute)
        || !two(d.second)) {
        char stamp[80];
        const int n = std::snprintf(stamp, sizeof stamp, "%02d-%02d-%04d %02d:%02d:%02d;", d.day, d.month, d.year,
                                    d.hour, d.minute, d.second);
        line.append(stamp, std::size_t(n));
        return;
    }
    char stamp[] = "00-00-0000 00:00:00;";
    const auto put = [&](int at, int v, int digits) {
        for (int i = digits - 1; i >= 0; --i, v /= 10)
            stamp[at + i] = char('0' + v % 10);
    };
    put(0, d.day, 2);
    put(3, d.month, 2);
    put(6, d.year, 4);
    put(11, d.hour, 2);
    put(14, d.minute, 2);
    put(17, d.second, 2);
    line.append(stamp, sizeof stamp - 1);
}

} // namespace

OpJournalExportResult WriteOpJournal(const QDate& start, const QDate& end, const QString& path, bool flushEachLine)
{
    // Written beside the target and renamed over it at the end: a failed export leaves the old file.
    QSaveFile file(path);
    // Each line handed to the system as it is written: unbuffered, one write per line.
    if (!file.open(flushEachLine ? QIODevice::WriteOnly | QIODevice::Unbuffered : QIODevice::WriteOnly))
        return OpJournalExportResult::FileError;
    std::string line;
    const bool read = ReadOpJournalBetween(
        QDateTime(start, QTime(0, 0)), QDateTime(end.addDays(1), QTime(0, 0)), [&](const COpJournalLine& row) {
            const auto date = ReadDateFields(row.date);
            if (!date)
                return false;
            line.clear();
            AppendStamp(line, *date);
            AppendUtf16AsCodepage(
                line,
                std::u16string_view(reinterpret_cast<const char16_t*>(row.text.utf16()), std::size_t(row.text.size())));
            line += "\r\n";
            return file.write(line.data(), qint64(line.size())) == qint64(line.size());
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
