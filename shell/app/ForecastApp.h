// The application object of forecast: start-up, shut-down and its own two commands.
#pragma once

#include "CmdTarget.h"
#include "MainFrame.h"
#include "Session.h"
#include "SingleInstance.h"
#include "TransportRegistry.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

// The About box (dialog 100).
class CAppAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAppAboutDlg(QWidget* parent = nullptr);
};

class CForecastApp : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    CForecastApp();
    ~CForecastApp() override;

    // The start-up sequence; true when the main frame is shown. On false, exitCode() tells how the
    // process ends.
    bool InitInstance();
    // The shut-down sequence; answers the process exit code.
    int ExitInstance(int code);
    // Start-up, the event loop and shut-down.
    int Run();

    int exitCode() const { return m_exitCode; }
    CMainFrame* mainFrame() const { return m_frame; }
    CSingleInstance& instanceSocket() { return m_instance; }
    // The state of this run; the frames work on it.
    CSessionState& session() { return m_session; }
    const CTransportRegistry& transports() const { return m_transports; }

    void OnAppAbout();
    void OnConnectionSettings();

protected:
    // The main frame of the program; tests build it the same way.
    virtual CMainFrame* CreateMainFrame();

private:
    void BringToFront();

    CSingleInstance m_instance;
    CSessionState m_session;
    CTransportRegistry m_transports;
    QPointer<CMainFrame> m_frame;
    int m_exitCode = 1;
    // What start-up has read, and the shut-down writes back.
    struct {
        bool settings = false;
        bool cfg = false;
    } m_loaded;
};

namespace AppTexts {
inline const QString kAlreadyRunning =
    QStringLiteral("Данное приложение уже запущено. Продолжить повторный запуск приложения?");
inline const QString kConnectFailed = QStringLiteral("Ошибка при подключении к базе данных!");
inline const QString kRestartNeeded = QStringLiteral("Изменения вступят в действяи после перезапуска программы.");
} // namespace AppTexts
