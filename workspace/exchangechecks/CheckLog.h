// Where the data checks and the consolidation write their lines: the log of a dialog of the check and
// export family, or, in a program without a window, any other sink. A line may hold "\r\n", which
// breaks it; a line ending in "\r\n" is followed by an empty line.
#pragma once

#include <QString>
#include <QStringList>

class CCheckLog {
public:
    virtual ~CCheckLog() = default;

    // Appends the text as a line of the log.
    virtual void AppendLine(const QString& text) = 0;
    // Called often during long work: a window shows what was logged and repaints.
    virtual void KeepAlive() { }

    // The findings of one product, collected before they are logged: "\r\n" joins them.
    void AddLogLine(const QString& text);
    QString GetCheckText() const { return m_checkText; }
    void ClearCheckText() { m_checkText.clear(); }

private:
    QString m_checkText;
};

// A log that keeps its lines, "\r\n" broken as a log window breaks them.
class CLinesLog : public CCheckLog {
public:
    void AppendLine(const QString& text) override;
    const QStringList& lines() const { return m_lines; }

private:
    QStringList m_lines;
};
