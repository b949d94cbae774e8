// One PDF file from parts that Qt's PDF writer wrote side by side: each part's objects are renumbered
// after the parts before it, the pages of all parts go into one page tree in order, the first part
// gives the document's information and catalog, and a new cross-reference table ends the file. Only
// the shape Qt writes is read (numbered objects, a cross-reference table, a trailer naming the
// information as object 1 and the catalog as object 2, the page tree as object 3); a part of any other
// shape fails the join, and the file is then left as it was.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <cstdint>
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
    // Appends the part, which must hold exactly `pages` pages.
    bool Add(const QString& part, int pages, QString* error);
    bool Commit(QString* error);

private:
    struct Part;
    bool AddPart(const QString& part, int pages, QString* error);
    bool Object(Part& part, int number, QByteArrayView text);
    void Write(QByteArrayView bytes);

    QSaveFile m_file;
    qint64 m_written = 0;
    int m_parts = 0;
    bool m_broken = false;
    int m_next = 4; // the next free object number; 1 to 3 are the information, catalog and page tree
    std::vector<qint64> m_offsets{0, -1, -1, -1};
    std::vector<int> m_kids;
    // The first part's page tree around its list of pages and its count.
    QByteArray m_treeHead;
    QByteArray m_treeMiddle;
    QByteArray m_treeTail;
};
