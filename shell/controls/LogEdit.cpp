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
    cursor.insertText(text + QLatin1Char('\n'));
    setTextCursor(cursor);
    setUpdatesEnabled(true);
    ensureCursorVisible();
}
