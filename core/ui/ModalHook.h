// Every modal interaction of the program goes through one replaceable hook object, so that tests
// can run headless and script the answers.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QWidget;

// A choice of receivers of one forecast, for code that has no window of its own (the exchange).
struct CReceiverChoice {
    int forecastId = -1;
    int ownReceiverId = -1;    // the tree starts at its level; below 1: at the forecast's top receiver
    bool multiple = false;     // check boxes, else one receiver or group
    bool ownSelectable = true; // the own receiver may be chosen (never for what is sent down)
    std::vector<int> preset;   // shown checked
};
// The chosen ids in tree order, or none when the user cancelled.
using ReceiverChooser = std::function<std::optional<std::vector<int>>(QWidget* parent, const CReceiverChoice&)>;

class CModalHook {
public:
    virtual ~CModalHook();
    // Runs a modal dialog (message boxes included) and returns its result.
    virtual int execDialog(QDialog& dialog);
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // Several existing files; none when cancelled.
    virtual QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter);
    // A name without an extension gets defaultSuffix (when given); an existing file is confirmed first.
    virtual QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                    const QString& defaultSuffix = QString());
    virtual QString getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir);
    // Runs the chooser the application installed (SetReceiverChooser); none without one.
    virtual std::optional<std::vector<int>> chooseReceivers(QWidget* parent, const CReceiverChoice& choice);
};

CModalHook& ModalHook();

// Where the program's file dialogs start: an existing folder and the file name to offer (empty for
// none). An empty path starts open dialogs in the import folder and save dialogs in the folder last
// saved to, else the export folder; a bare file name goes there too. A save dialog offers the path's
// name; an open dialog offers only a file that exists. A folder that is gone gives way to the
// nearest one above it.
struct CFileDialogStart {
    QString folder;
    QString fileName;
};
CFileDialogStart FileDialogStart(const QString& path, bool save);
// Every file dialog and file model of the process, also those Qt opens by itself, names files by
// their names only and never opens them (which would release SQLite's locks on the database files).
// Called once the application object exists.
void GuardFileDialogs();
// Installs a hook (not owned); nullptr restores the default one. Returns the previous hook.
CModalHook* SetModalHook(CModalHook* hook);

// The application's receiver selection dialog; an empty chooser removes it.
void SetReceiverChooser(ReceiverChooser chooser);

inline std::optional<std::vector<int>> ChooseReceivers(QWidget* parent, const CReceiverChoice& choice)
{
    return ModalHook().chooseReceivers(parent, choice);
}

// A dialog about to be shown becomes as large as its contents and its title need (within the screen),
// and never smaller than its contents: nothing in it is cut. ExecModal does it for every dialog.
void FitDialogToContents(QDialog& dialog);

inline int ExecModal(QDialog& dialog)
{
    return ModalHook().execDialog(dialog);
}

// The main window of the program, as the message box and the status-bar progress find it.
void SetAppMainWindow(QWidget* window);
QWidget* GetAppMainWindow();
