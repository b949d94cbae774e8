// Every modal interaction of the program goes through one replaceable hook object, so that tests
// can run headless and script the answers.
#pragma once

#include <QString>

class QDialog;
class QWidget;

class CModalHook {
public:
    virtual ~CModalHook();
    // Runs a modal dialog (message boxes included) and returns its result.
    virtual int execDialog(QDialog& dialog);
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // A name without an extension gets defaultSuffix (when given); an existing file is confirmed first.
    virtual QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                    const QString& defaultSuffix = QString());
    virtual QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);
};

CModalHook& ModalHook();
// Installs a hook (not owned); nullptr restores the default one. Returns the previous hook.
CModalHook* SetModalHook(CModalHook* hook);

inline int ExecModal(QDialog& dialog)
{
    return ModalHook().execDialog(dialog);
}

// The main window of the program, as the message box and the status-bar progress find it.
void SetAppMainWindow(QWidget* window);
QWidget* GetAppMainWindow();
