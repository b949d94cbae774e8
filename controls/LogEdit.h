// The append-only log of the long-running dialogs.
#pragma once

#include <QPlainTextEdit>

class CLogEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CLogEdit(QWidget* parent = nullptr);

    // Appends the text as a line at the end and scrolls it into view. A "\r\n" inside the text
    // breaks the line, as it does in the system's texts.
    void AppendLine(const QString& text);
};
