#include "ModalHook.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>

namespace {
CModalHook g_defaultHook;
CModalHook* g_hook = nullptr;
QPointer<QWidget> g_mainWindow;
ReceiverChooser g_receiverChooser;
} // namespace

CModalHook::~CModalHook() = default;

int CModalHook::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

QString CModalHook::getOpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList CModalHook::getOpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                                         const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString CModalHook::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                    const QString& defaultSuffix)
{
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().front();
}

QString CModalHook::getExistingDirectory(QWidget* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir);
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
