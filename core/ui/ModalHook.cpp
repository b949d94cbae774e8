#include "ModalHook.h"

#include "Settings.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QLayout>
#include <QMainWindow>
#include <QMimeDatabase>
#include <QPointer>
#include <QScreen>

#include <algorithm>

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

// What a window manager's title bar takes beside the title: the icon and three buttons.
constexpr int kTitleBarExtra = 140;
constexpr int kPrintDialogWidth = 620;

// The folder of the last file chosen in a save dialog: the next one starts there.
QString g_lastSaveFolder;

// The nearest folder that exists, from the path up; empty when none does.
QString ExistingFolder(QString path)
{
    path = QDir::cleanPath(path);
    while (!path.isEmpty()) {
        if (QFileInfo(path).isDir())
            return path;
        const QString up = QFileInfo(path).path();
        if (up == path || up == QStringLiteral("."))
            break;
        path = up;
    }
    return QString();
}

// Made before its folder is set, so that no listing starts without the provider.
class CGuardedFileDialog : public QFileDialog {
public:
    CGuardedFileDialog(QWidget* parent, const QString& caption, const QString& dir, const QString& filter, bool save)
        : QFileDialog(parent, caption)
        , m_save(save)
    {
        setOption(QFileDialog::DontUseNativeDialog);
        setIconProvider(&NameOnlyIcons());
        setNameFilter(filter);
        const CFileDialogStart start = FileDialogStart(dir, save);
        setDirectory(start.folder);
        if (!start.fileName.isEmpty())
            selectFile(start.fileName);
    }
    QStringList run()
    {
        if (exec() != QDialog::Accepted)
            return {};
        const QStringList files = selectedFiles();
        if (m_save && !files.isEmpty())
            g_lastSaveFolder = QFileInfo(files.front()).absolutePath();
        return files;
    }

private:
    bool m_save;
};

QString First(const QStringList& files)
{
    return files.isEmpty() ? QString() : files.front();
}

} // namespace

CFileDialogStart FileDialogStart(const QString& path, bool save)
{
    const QString fallback =
        save && !g_lastSaveFolder.isEmpty() ? g_lastSaveFolder : (save ? Settings().ExportDir : Settings().ImportDir);
    CFileDialogStart start;
    if (path.isEmpty()) {
        start.folder = fallback;
    } else {
        const QFileInfo info(path);
        if (info.isDir()) {
            start.folder = path;
        } else if (info.isFile() || save) {
            // A bare name goes into the usual folder; a folder that is gone gives way to the nearest one.
            start.folder = path.contains(u'/') ? info.absolutePath() : fallback;
            start.fileName = info.fileName();
        } else {
            // Nothing to open there: the folder the path names, or the nearest one that exists.
            start.folder = path;
        }
    }
    QString existing = ExistingFolder(start.folder);
    if (existing.isEmpty())
        existing = ExistingFolder(fallback);
    start.folder = existing.isEmpty() ? QDir::homePath() : existing;
    return start;
}

void GuardFileDialogs()
{
    // A native dialog of the desktop would read file contents itself.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    static CFileModelGuard guard;
    if (qApp)
        qApp->installEventFilter(&guard);
}

CModalHook::~CModalHook() = default;

void FitDialogToContents(QDialog& dialog)
{
    QLayout* layout = dialog.layout();
    if (!layout || qobject_cast<QFileDialog*>(&dialog))
        return;
    layout->activate();
    // Never smaller than its contents need; as wide as its title (the title bar's buttons beside it).
    const QSize least = dialog.minimumSizeHint().expandedTo(dialog.minimumSize());
    QFont titleFont = dialog.font();
    titleFont.setBold(true);
    const int titleWidth = QFontMetrics(titleFont).horizontalAdvance(dialog.windowTitle()) + kTitleBarExtra;
    // Qt's print dialog asks for less than its printer's name and its file path need.
    const int own = dialog.inherits("QPrintDialog") ? kPrintDialogWidth : 0;
    int width = std::max({dialog.width(), least.width(), dialog.sizeHint().width(), titleWidth, own});
    int height = std::max(dialog.height(), least.height());
    if (const QScreen* screen = dialog.screen()) {
        const QRect room = screen->availableGeometry();
        width = std::min(width, room.width());
    }
    height =
        std::max(height, layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : dialog.sizeHint().height());
    if (const QScreen* screen = dialog.screen())
        height = std::min(height, screen->availableGeometry().height());
    dialog.setMinimumSize(least.boundedTo(QSize(width, height)));
    if (QSize(width, height) != dialog.size())
        dialog.resize(width, height);
}

int CModalHook::execDialog(QDialog& dialog)
{
    GuardFileModels(&dialog);
    FitDialogToContents(dialog);
    return dialog.exec();
}

QString CModalHook::getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter, false);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return First(dialog.run());
}

QStringList CModalHook::getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter, false);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return dialog.run();
}

QString CModalHook::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                    const QString& defaultSuffix)
{
    CGuardedFileDialog dialog(parent, caption, dir, filter, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    return First(dialog.run());
}

QString CModalHook::getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    CGuardedFileDialog dialog(parent, caption, dir, QString(), false);
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
