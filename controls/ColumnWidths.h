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

private:
    void OnResized(int column, int oldSize, int newSize);

    QHeaderView* m_header;
    QString m_path;
    QHash<QString, int> m_widths;
    bool m_changed = false;
    bool m_applying = false;
};

// Whole numbers of the profile value `path`, written as one line with blanks between them (the
// widths of a grid's columns, by position); none when the value is missing or unreadable.
std::vector<int> ReadProfileNumbers(const QString& path);
void WriteProfileNumbers(const QString& path, const std::vector<int>& numbers);
// The widths of a grid's `count` columns as written last; none unless there are that many, each a
// width a column can have.
std::vector<int> StoredColumnWidths(const QString& path, int count);
