#include "MailUiHook.h"

#include "MAILRUNEPropsDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {
CMailUiHook g_defaultHook;
CMailUiHook* g_hook = nullptr;
} // namespace

CMailUiHook::~CMailUiHook() = default;

int CMailUiHook::execDialog(QDialog& dialog)
{
    return dialog.exec();
}

void CMailUiHook::message(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, parent ? parent->window()->windowTitle() : QString(), text, QMessageBox::Ok,
                    parent);
    execDialog(box);
}

CMailUiHook& MailUiHook()
{
    return g_hook ? *g_hook : g_defaultHook;
}

CMailUiHook* SetMailUiHook(CMailUiHook* hook)
{
    CMailUiHook* old = g_hook;
    g_hook = hook;
    return old;
}

void RunMailSettingsDialog() noexcept
{
    try {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            return;
        CMAILRUNEPropsDlg dialog(nullptr);
        MailUiHook().execDialog(dialog);
    } catch (...) {
    }
}
