// One PDF file from parts that PDF writers wrote side by side. libqpdf reads each part, whatever its
// shape (a cross-reference table or streams, objects in streams, linearized); its pages and what they
// use are written out as the part comes, renumbered after the parts before it, so that the join holds
// one part at a time; the pages of all parts go into one page tree in order, the first part gives the
// document's information and catalog, each part's font subsets are named apart from the others', and
// a cross-reference table ends the file. A part that qpdf cannot read whole and without a warning, or
// that holds other pages than were painted into it, fails the join, and the file is then left as it
// was.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

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
    // Appends the part, which must hold exactly `pages` pages, asking `going` now and then whether to
    // go on: false stops the join, which then fails without a reason of its own.
    bool Add(const QString& part, int pages, QString* error, const std::function<bool()>& going = {});
    bool Commit(QString* error);

private:
    class Part;
    bool AddPart(const QString& part, int pages, QString* error, const std::function<bool()>& going);
    // The number of the next object, written where the file stands now.
    int Begin();
    void Write(const QByteArray& bytes);
    bool Flush();

    QSaveFile m_file;
    QByteArray m_buffer;
    qint64 m_written = 0;
    bool m_broken = false;
    int m_parts = 0;
    int m_subsets = 0;
    std::string m_version;
    std::vector<qint64> m_offsets{0, -1, -1, -1}; // 1 to 3: the information, the catalog, the page tree
    std::vector<int> m_kids;
};
