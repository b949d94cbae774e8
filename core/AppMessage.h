// User messages of the main program. The core only formats and routes them; the user-interface
// layer installs the handler that shows the dialog. LIR_MSGBOX=auto|yes|no|cancel answers without
// showing anything and prints "MSGBOX <flags> <text>" to standard error.
#pragma once

#include "ErrorSink.h"

#include <QString>

#include <functional>
#include <vector>

class QObject;

enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_ABORTRETRYIGNORE = 0x02,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_RETRYCANCEL = 0x05,
    MB_TYPEMASK = 0x0F,
    MB_ICONHAND = 0x10,
    MB_ICONSTOP = 0x10,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDABORT = 3,
    IDRETRY = 4,
    IDIGNORE = 5,
    IDYES = 6,
    IDNO = 7,
};

// One button of a message box: its id and the string-table id of its caption.
struct MessageBoxButton {
    int id;
    unsigned captionId;
};

struct MessageBoxLayout {
    std::vector<MessageBoxButton> buttons;
    int defaultId = -1;
    int cancelId = -1;
};

// The buttons, default and cancel button of a message-box type (flags & 0x0F).
MessageBoxLayout MessageBoxButtonsFor(unsigned flags);

using MessageBoxHandler = std::function<int(const QString& text, unsigned flags, QObject* parent)>;

// Installs the handler that shows messages; returns the previous one. A handler that shows windows
// runs on the user-interface thread (calls from other threads wait for it there); one that is safe on
// any thread (anyThread, e.g. one that only records) is called directly.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler, bool anyThread = false);

int AppMessageBox(const QString& text, unsigned flags = MB_OK, QObject* parent = nullptr);
// The same under a caption of its own instead of the program's name.
int AppMessageBoxCaption(const QString& text, const QString& caption, unsigned flags = MB_OK,
                         QObject* parent = nullptr);
// The caption of the message the handler is showing now; empty for the program's name.
QString MessageBoxCaption();
int AppMessageBoxId(unsigned stringId, unsigned flags = MB_OK, QObject* parent = nullptr);

// The string table of the main program.
QString LoadStringRes(unsigned id);

// The application's error sink: shows the error as "Произошла исключительная ситуация..." with the
// stop icon.
void ShowComError(const DbError& error);

// Whether LIR_MSGBOX scripts the answers (nothing can be shown to a user then).
bool MessageBoxScripted();
