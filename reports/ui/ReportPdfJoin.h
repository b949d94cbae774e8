// One PDF file from parts that PDF writers wrote side by side, joined by libqpdf: the pages of all
// parts in order in one page tree, the document information and catalog entries of the first part,
// and each part's font subsets named apart from the others'. A part that qpdf cannot read whole and
// without a warning, or that holds other pages than were painted into it, fails the join, and the
// file is then left as it was.
#pragma once

#include <QSaveFile>
#include <QString>

#include <functional>
#include <memory>

namespace ReportPdfTexts {
inline const QString kPartUnreadable = QStringLiteral("Не удалось прочитать часть PDF-файла \"%1\".");
inline const QString kPartShape = QStringLiteral("Часть PDF-файла \"%1\" записана не в том виде, который ожидался.");
} // namespace ReportPdfTexts

class CPdfJoin {
public:
    explicit CPdfJoin(const QString& path);
    ~CPdfJoin();
    CPdfJoin(const CPdfJoin&) = delete;
    CPdfJoin& operator=(const CPdfJoin&) = delete;

    // Each call false with the reason; the file is replaced only by Commit, and never after a part
    // failed.
    bool Open(QString* error);
    // Takes the part's pages, which must be exactly `pages`. The part's file is read again when the
    // joined file is written: it may be removed from its folder meanwhile, not changed.
    bool Add(const QString& part, int pages, QString* error);
    // Writes the joined file. `going` is asked now and then while it is written: false stops the
    // writing, leaves the file as it was and answers false without a reason.
    bool Commit(QString* error, const std::function<bool()>& going = {});

private:
    struct Parts;
    bool AddPart(const QString& part, int pages, QString* error);

    QSaveFile m_file;
    std::unique_ptr<Parts> m_parts;
    bool m_broken = false;
};
