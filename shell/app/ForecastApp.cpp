#include "ForecastApp.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "CommandIds.h"
#include "ConnectLoop.h"
#include "FontStatic.h"
#include "MSSqlSetupDlg.h"
#include "MainFrame.h"
#include "ModalHook.h"
#include "ProcessExit.h"
#include "ProgressBar.h"
#include "ReportDatabase.h"
#include "ReportEngine.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "SplashDlg.h"
#include "TextUtils.h"
#include "TransportHost.h"
#include "db/DbSetup.h"
#include "db/DbStatistics.h"
#include "tables/Forecasts.h"
#include "tables/ImportEventTypes.h"
#include "tables/ReceiverMap.h"
#include "tables/ReceiverRoots.h"
#include "tables/SystemUsers.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include <memory>

using namespace AppTexts;

namespace {

// How long a close waits for the transport threads: a close (or a signal) ends the program soon.
constexpr int kHostStopMs = 1500;

// A plug-in's thread that has not ended in time must not run on while the process's objects are
// destroyed under it: the process ends without them, its shut-down steps done.
int EndUnlessHostEnded(bool hostEnded, int code)
{
    if (!hostEnded)
        EndProcess(code);
    return code;
}

} // namespace

CAppAboutDlg::CAppAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id100"));
    setWindowTitle(QStringLiteral("О программе..."));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));

    auto* product = new CFontStatic(this);
    product->setObjectName(QStringLiteral("id1082"));
    product->setText(QStringLiteral("АИС ЛИР"));
    product->SetFont(QStringLiteral("Arial"), 24, QColor(0, 0, 0), 0);
    product->setMinimumSize(220, 30);

    auto* version = new QLabel(QStringLiteral("Версия %1").arg(GetFileVersionString()), this);
    version->setObjectName(QStringLiteral("id1083"));

    auto* purpose = new QLabel(QStringLiteral("Прогноз объемов закупаемой продукции"), this);
    auto* developer = new QLabel(QStringLiteral("Разработка для Linux: Qt 6, SQLite, PostgreSQL"), this);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setText(QStringLiteral("ОК"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    layout->addWidget(product, 0, 1);
    layout->addWidget(version, 1, 1);
    layout->addWidget(purpose, 2, 1);
    layout->addWidget(developer, 3, 1);
    layout->addWidget(buttons, 4, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// ---------------------------------------------------------------------------------------------

CForecastApp::CForecastApp()
{
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    OnCommand(ID_CONNECTION_SETTINGS, [this] { OnConnectionSettings(); });
    OnUpdateCommand(ID_CONNECTION_SETTINGS, [](CCmdUI& ui) { ui.Enable(true); });
    OnCommand(ID_APP_EXIT, [this] {
        if (m_frame)
            m_frame->close();
    });
    connect(&m_instance, &CSingleInstance::activationRequested, this, &CForecastApp::BringToFront);
    // The plug-ins are there from the start, as the settings dialog and the exchange find them.
    m_transports.Load();
    SetAppTransports(&m_transports);
}

CForecastApp::~CForecastApp()
{
    delete m_frame;
    if (AppTransports() == &m_transports)
        SetAppTransports(nullptr);
}

CMainFrame* CForecastApp::CreateMainFrame()
{
    return new CMainFrame(m_session);
}

bool CForecastApp::InitInstance()
{
    m_exitCode = 1;
    const QString running = CSingleInstance::FindRunning();
    if (!running.isEmpty() && AppMessageBox(kAlreadyRunning, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        CSingleInstance::Activate(running);
        m_exitCode = 0;
        return false;
    }
    if (!m_instance.Register())
        return false;

    // Every way out from here closes the splash window.
    auto splash = std::make_unique<CSplashDlg>();
    splash->show();
    QApplication::processEvents();

    if (!LoadReportEngine())
        return false;
    // The rows of earlier report runs go while no other copy of the program uses them.
    CleanReportDatabase();

    QCoreApplication::setOrganizationName(QStringLiteral("LIR"));
    QCoreApplication::setApplicationName(QStringLiteral("Forecast"));

    // Read first: the receiver repair journals what it changes when the journal is on.
    Settings().Load();
    m_loaded.settings = true;
    CreateDefaultFolders(Settings());
    // A close requested while the database work waits (or between its steps) ends the start.
    const auto closing = [this] {
        if (AppCloseRequested())
            m_exitCode = 0;
        return AppCloseRequested();
    };
    // The first use of the database: the connect loop finds it, or the user leaves.
    if (ConnectMainDatabase()) {
        // An unreadable forecasts table shows its error already here.
        static_cast<void>(LoadForecasts());
        static_cast<void>(ReadSessionLogin(m_session));
        if (HasUnplacedReceivers())
            static_cast<void>(RepairReceiverRoots());
    }
    if (closing())
        return false;

    m_session.LoadCfg();
    m_loaded.cfg = true;
    m_transports.StartHostThread(Settings().ImportDir);

    if (!GetDBConnection().isConnected()) {
        AppMessageBox(kConnectFailed, MB_OK);
        // The user chose not to go on: a quiet end, as when leaving the connect loop.
        m_exitCode = 0;
        return false;
    }

    CSessionState& s = m_session;
    if (s.currentForecastId != -1) {
        if (const auto forecast = GetForecast(s.currentForecastId)) {
            s.forecastYear = forecast->year;
        } else {
            s.currentForecastId = -1;
            s.forecastYear = -1;
        }
    }
    if (s.currentForecastId == -1) {
        const int newest = GetNewestForecast();
        s.currentForecastId = newest > 0 ? newest : -1;
    }
    s.ownReceiverId = LoadImportedLeafReceivers(s.currentForecastId);
    SeedImportEventTypes();
    if (closing())
        return false;

    InstallForecastExchange(m_session, m_transports.transports());
    m_frame = CreateMainFrame();
    SetAppMainWindow(m_frame);
    m_frame->SetAppTarget(this);
    if (!m_frame->Create()) {
        delete m_frame;
        SetAppMainWindow(nullptr);
        return false;
    }
    m_frame->UpdateTitle();
    if (closing())
        return false;
    m_frame->showMaximized();
    return true;
}

int CForecastApp::ExitInstance(int code)
{
    UnloadReportEngine();
    // What start-up had not read yet is not written back over what is stored.
    if (m_loaded.settings)
        Settings().Save();
    if (m_loaded.cfg)
        static_cast<void>(m_session.SaveCfg());
    GetDBConnection().Close();
    GetReportDBConnection().Close();
    return code;
}

int CForecastApp::Run()
{
    const bool started = InitInstance();
    // The host thread may have started before the way out was taken; it ends first anyway: it must
    // not start an item in a window that is going away.
    if (!started) {
        const bool hostEnded = StopTransportHost(kHostStopMs);
        delete m_frame;
        SetAppMainWindow(nullptr);
        // A close asked for during start-up ends as a normal close does.
        return EndUnlessHostEnded(hostEnded, AppCloseRequested() ? ExitInstance(m_exitCode) : m_exitCode);
    }
    const int code = AppCloseRequested() ? 0 : QApplication::exec();
    const bool hostEnded = StopTransportHost(kHostStopMs);
    // The framework destroys the main window before the shut-down steps.
    delete m_frame;
    SetAppMainWindow(nullptr);
    // Only a program that started works with its database: a refused start leaves it as it was.
    OptimizeStatisticsBeforeClose();
    return EndUnlessHostEnded(hostEnded, ExitInstance(code));
}

void CForecastApp::OnAppAbout()
{
    CAppAboutDlg dlg(m_frame);
    ExecModal(dlg);
}

void CForecastApp::OnConnectionSettings()
{
    CDbSetupSettings settings;
    CMSSqlSetupDlg dlg(settings, m_frame);
    if (ExecModal(dlg) != QDialog::Accepted)
        return;
    settings.SaveSettings();
    // The open connection stays; the new settings take effect at the next start.
    AppMessageBox(kRestartNeeded, MB_ICONINFORMATION, m_frame);
}

void CForecastApp::BringToFront()
{
    if (!m_frame)
        return;
    if (m_frame->isMinimized())
        m_frame->setWindowState((m_frame->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_frame->show();
    m_frame->raise();
    m_frame->activateWindow();
}
