#include "AppMessage.h"
#include "BookFrames.h"
#include "ConnectLoop.h"
#include "ForecastApp.h"
#include "ForecastFrame.h"
#include "MessageBoxDlg.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "QtTranslations.h"
#include "ShellHooks.h"
#include "XmlRead.h"

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>

#include <atomic>
#include <clocale>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};
// Set by a signal: a long read of a received file ends at once, so that the program ends soon after.
std::atomic<bool> g_ending{false};

void OnSignal(int)
{
    g_ending = true;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// The end of the session (or an interrupt) closes the program as the user would, so that the
// settings are written back; also while it waits for a database lock or starts up.
void EndSessionOnSignals()
{
    SetAppCloseHandler([](bool duringWait) {
        // The windows that a wait runs in go only once it has ended and the event loop is back.
        if (!duringWait)
            QApplication::closeAllWindows();
        // Not quit(): a message box without a cancel button refuses to close, and quit() gives
        // way to it. exit() ends every event loop, the box's included, and any later one at once.
        QCoreApplication::exit(0);
    });
    // Not inherited by started programs; a full pipe must not block the signal handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        RequestAppClose();
    });
    XmlSetAbortFlag(&g_ending);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    InstallQtTranslations();
    GuardFileDialogs();
    InstallAppMessageBoxUi();
    InstallSelectionDialogs();
    InstallForecastDialogs();
    InstallReportDialogs();
    InstallShellDialogs();
    SetErrorSink(&ShowComError);
    InstallLockWaitStatus();
    // With scripted answers nobody could fill in the dialog "Соединение": the loop goes without it.
    if (!MessageBoxScripted())
        InstallConnectDialogUi();
    EndSessionOnSignals();
    RegisterForecastEditor();
    RegisterBookFrames();

    CForecastApp forecast;
    InstallExchangeCommands(forecast.session(), forecast.transports().transports());
    return forecast.Run();
}
