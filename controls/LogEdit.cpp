#include "LogEdit.h"

#include <QScrollBar>
#include <QTextCursor>

CLogEdit::CLogEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void CLogEdit::AppendLine(const QString& text)
{
    setUpdatesEnabled(false);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // A "\r\n" of the system's texts is one line break.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cursor.insertText(lines + QLatin1Char('\n'));
    setTextCursor(cursor);
    setUpdatesEnabled(true);
    ensureCursorVisible();
}
