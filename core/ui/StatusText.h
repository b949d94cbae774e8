// The main window's status text while the user waits for a long operation of the user-interface
// thread (an import, a report run): the operation and its step, painted at once, as the thread may
// be busy until the step ends. The text before it, "Готов к работе" outside any operation, comes back
// when the operation ends. Off the user-interface thread, or without a main window, it shows nothing.
#pragma once

#include <QPointer>
#include <QString>

class QLabel;

namespace StatusTexts {
// %1 the operation (the command's name), %2 its step.
inline const QString kStep = QStringLiteral("%1: %2...");
} // namespace StatusTexts

class CStatusText {
public:
    explicit CStatusText(const QString& operation);
    ~CStatusText();
    CStatusText(const CStatusText&) = delete;
    CStatusText& operator=(const CStatusText&) = delete;

    // "<operation>: <step>..." in the first pane of the status bar (the operation named at the
    // construction, or another one).
    void Step(const QString& step);
    void Step(const QString& operation, const QString& step);
    // The text before comes back: the work is done and the operation only shows its outcome (a
    // later step shows the operation again).
    void End();

private:
    QString m_operation;
    QString m_previous;
    QPointer<QLabel> m_pane;
};
