// Modal interaction of the plug-in's dialogs. The host's own hook lives in the host and cannot be
// reached from a plug-in, so the plug-in keeps one of its own for headless tests.
#pragma once

class QDialog;
class QString;
class QWidget;

class CMailUiHook {
public:
    virtual ~CMailUiHook();
    virtual int execDialog(QDialog& dialog);
    // A message with an OK button only.
    virtual void message(QWidget* parent, const QString& text);
};

CMailUiHook& MailUiHook();
// Installs a hook (not owned); nullptr restores the default. Returns the previous hook.
CMailUiHook* SetMailUiHook(CMailUiHook* hook);

// Runs the settings dialog modally on the host's user-interface thread. Does nothing without a
// QApplication or on another thread: widgets would abort the host there.
void RunMailSettingsDialog() noexcept;
