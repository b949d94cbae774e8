// The column widths a user sets in a list come back after a restart: they are kept in the profile
// by column caption ("<width> <caption>" per column) under the value the list's owner names, and
// written when the list goes.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <vector>

class QHeaderView;

class CColumnWidths : public QObject {
    Q_OBJECT
public:
    // Reads the remembered widths of the profile value `path` ("<section>/<key>") and follows the
    // header's changes from now on. Owned by the header.
    CColumnWidths(QHeaderView* header, const QString& path);
    ~CColumnWidths() override;

    // The remembered width of the column with this caption, else the fallback.
    int Width(const QString& caption, int fallback) const;
    // Gives the header's present columns their remembered widths.
    void Apply();
    // A width that the list's owner gives a column: not the user's, so not remembered.
    void Resize(int column, int width);

private:
    void OnResized(int column, int oldSize, int newSize);

    QHeaderView* m_header;
    QString m_path;
    QHash<QString, int> m_widths;
    bool m_changed = false;
    bool m_applying = false;
};

// What a column of a list asks for: at least its caption (least), its widest text (need), and the
// width it has as a rule (usual).
struct CColumnFit {
    int least = 0;
    int need = 0;
    int usual = 0;
};
// The widths of the columns within `room` pixels. Each gets the larger of its need and its usual
// width when they all fit; else what its text needs, with what is left shared out towards the
// usual widths; else the narrow columns keep their whole text and the widest share what is left
// alike (never below their least). Columns whose captions alone overflow the room get those.
std::vector<int> FitColumnWidths(const std::vector<CColumnFit>& columns, int room);

// Whole numbers of the profile value `path`, written as one line with blanks between them (the
// widths of a grid's columns, by position); none when the value is missing or unreadable.
std::vector<int> ReadProfileNumbers(const QString& path);
void WriteProfileNumbers(const QString& path, const std::vector<int>& numbers);
// The widths of a grid's `count` columns as written last, -1 for a column the user did not size;
// none unless there are that many, each a width a column can have or -1.
std::vector<int> StoredColumnWidths(const QString& path, int count);
