// The main window's status text while the user waits for a long operation, and the controls that
// stop it. The text names the operation and its step; "Готов к работе" comes back only when the
// operation is over. The stop button and Escape raise the operation's stop request; both serve any
// operation that offers one.
#pragma once

#include "StatusText.h"

#include <QPushButton>
#include <QString>

class CStopRequest;

namespace OperationStatusTexts {
inline const QString kStopping = QStringLiteral("остановка");
inline const QString kStopButton = QStringLiteral("Остановить");
} // namespace OperationStatusTexts

class COperationStatus : public CStatusText {
public:
    // The status text of the main window's first pane, while the object lives.
    COperationStatus()
        : CStatusText(QString())
    {
    }

    // "<operation>: <step>...", painted at once (the user-interface thread may be busy next).
    void Show(const QString& operation, const QString& step) { Step(operation, step); }
};

// "Остановить": raises the request it is given while it is shown, and takes the keyboard focus so
// that Escape in its window reaches the window's own handler.
class CStopButton : public QPushButton {
    Q_OBJECT
public:
    explicit CStopButton(QWidget* parent);
    // Shown over `place` (or in the window's lower right corner) while a request is given; none hides it.
    void Offer(CStopRequest* request, const QWidget* place);

private:
    CStopRequest* m_request = nullptr;
};
