#include "ModalHook.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMainWindow>
#include <QMimeDatabase>
#include <QPointer>

namespace {
CModalHook g_defaultHook;
CModalHook* g_hook = nullptr;
QPointer<QWidget> g_mainWindow;
ReceiverChooser g_receiverChooser;

// Icons and type names from the file name alone. Qt's own provider reads the first bytes of files
// whose names say nothing (LIR.db, LIR.db-wal ...), and the close of that descriptor releases every
// POSIX lock this process holds on the file: SQLite's locks among them.
class CNameOnlyIcons : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QAbstractFileIconProvider::type(info);
        return m_mime.mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
    }

private:
    QMimeDatabase m_mime;
};

CNameOnlyIcons& NameOnlyIcons()
{
    static CNameOnlyIcons icons;
    return icons;
}

void GuardFileModels(QObject* root)
{
    if (auto* dialog = qobject_cast<QFileDialog*>(root)) {
        if (dialog->iconProvider() != &NameOnlyIcons())
            dialog->setIconProvider(&NameOnlyIcons());
    }
    for (QFileSystemModel* model : root->findChildren<QFileSystemModel*>()) {
        if (model->iconProvider() != &NameOnlyIcons())
            model->setIconProvider(&NameOnlyIcons());
    }
}

// Dialogs that Qt opens by itself (the print dialog's file field and its browse button) get the
// same provider before they are shown.
class CFileModelGuard : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Polish && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            GuardFileModels(watched);
        return false;
    }
};

// Made before its folder is set, so that no listing starts without the provider.
class CGuardedFileDialog : public QFileDialog {
public:
    CGuardedFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
        : QFileDialog(parent, caption)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setIconProvider(&NameOnlyIcons());
        setNameFilter(filter);
        const QFileInfo info(dir);
        if (!dir.isEmpty() && !info.isDir()) {
            setDirectory(info.absolutePath());
            selectFile(info.fileName());
        } else {
            setDirectory(dir);
        }
    }
    QStringList run()
    {
        if (exec() != QDialog::Accepted)
            return {};
        return selectedFiles();
    }
};

QString First(const QStringList& files)
{
    return files.isEmpty() ? QString() : files.front();
}

} // namespace

void GuardFileDialogs()
{
    // A native dialog of the desktop would read file contents itself.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    static CFileModelGuard guard;
    if (qApp)
        qApp->installEventFilter(&guard);
}

CModalHook::~CModalHook() = default;

int CModalHook::execDialog(QDialog& dialog)
{
    GuardFileModels(&dialog);
    return dialog.exec();
}

QString CModalHook::getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return First(dialog.run());
}

QStringList CModalHook::getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return dialog.run();
}

QString CModalHook::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                    const QString& defaultSuffix)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    return First(dialog.run());
}

QString CModalHook::getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    CGuardedFileDialog dialog(parent, caption, dir, QString());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    return First(dialog.run());
}

std::optional<std::vector<int>> CModalHook::chooseReceivers(QWidget* parent, const CReceiverChoice& choice)
{
    if (!g_receiverChooser)
        return std::nullopt;
    return g_receiverChooser(parent, choice);
}

void SetReceiverChooser(ReceiverChooser chooser)
{
    g_receiverChooser = std::move(chooser);
}

CModalHook& ModalHook()
{
    return g_hook ? *g_hook : g_defaultHook;
}

CModalHook* SetModalHook(CModalHook* hook)
{
    CModalHook* old = g_hook;
    g_hook = hook;
    return old;
}

void SetAppMainWindow(QWidget* window)
{
    g_mainWindow = window;
}

QWidget* GetAppMainWindow()
{
    if (g_mainWindow)
        return g_mainWindow;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w))
            return w;
    return nullptr;
}
