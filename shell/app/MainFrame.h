// The program's one top-level window: menu, toolbar, forecast bar, status bar and the child frame.
// It owns the choice of the current forecast and routes every command: child frame first, then
// the frame itself, then the application.
#pragma once

#include "CmdTarget.h"
#include "Session.h"
#include "WorkspaceRefresh.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QToolBar>

#include <map>

class CChildFrameBase;
class QComboBox;
class QLabel;
class QPushButton;

// The bar above the child frame: the current forecast, the search box and the status pictures.
class CForecastBar : public QWidget {
    Q_OBJECT
public:
    explicit CForecastBar(QWidget* parent = nullptr);

    QComboBox* forecastCombo() const { return m_forecast; }
    QComboBox* searchCombo() const { return m_search; }
    QPushButton* searchButton() const { return m_searchButton; }
    // The status pictures 1095 (draft), 1096 (reference data closed), 1097 (closed).
    QLabel* statusPicture(int status) const;

private:
    QComboBox* m_forecast = nullptr;
    QComboBox* m_search = nullptr;
    QPushButton* m_searchButton = nullptr;
    QLabel* m_status[3] = {};
};

class CMainFrame : public QMainWindow, public CCmdTarget, public IWorkspaceRefresh {
    Q_OBJECT
public:
    // The frame works on the application's session: the current forecast it chooses, the login's
    // rights it tests.
    explicit CMainFrame(CSessionState& session, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the bars, the child frame and the menu, and establishes the current forecast's state.
    bool Create();
    // The application, the last target of the command routing.
    void SetAppTarget(CCmdTarget* app) { m_app = app; }

    void FillForecastCombo() override;
    void OnForecastSelChange();
    void UpdateTitle() override;
    void UpdateStatusIcons();

    // Sets the state of every command's action and of the bar controls.
    void UpdateCommandUI();
    // Runs a command when it is enabled; false when it is disabled or nobody handled it.
    bool ExecuteCommand(int id);

    bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui) override;

    // What imports and book changes ask of the window.
    void SelectForecast(int forecastId) override;
    void ReloadForecastReceiver() override;
    void ResetConsolidatedSelection() override;
    void NotifyChildren(int wParam) override;
    void NotifyForecastFrame(int wParam) override;
    void NotifyEventJournal(int wParam) override;

    QAction* Action(int id) const;
    // The way to a command through the menus ("Прогноз > Администрирование..."); empty without an entry.
    QString MenuPath(int id) const;
    // Logins and rights live on a server database only.
    bool IsServerDatabase() const;
    CChildFrameBase* childFrame() const { return m_child; }
    CForecastBar* forecastBar() const { return m_forecastBar; }
    QToolBar* toolBar() const { return m_toolBar; }
    CSessionState& session() const { return m_session; }

protected:
    // The child frame; the navigation panel's frame replaces the empty default.
    virtual CChildFrameBase* CreateChildFrame();
    QMenu* createPopupMenu() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* MakeAction(int id, const QString& text = QString());
    void CreateMenu();
    void CreateToolBar();
    void CreateStatusBar();
    void AddAccelerators();
    void RegisterCommands();
    void ScheduleCommandUpdate();

    // What the window adds to the first step when the login's roles keep that command disabled.
    QString FirstStepNote(const CCmdUI& step);
    int SelectedForecastId() const;
    void OnForecastManager();
    void OnForecastCopy();
    void OnSendReferenceData();
    void OnReport(int id);
    void OnSettings();
    void OnAveragePrices();
    void OnImportProducts();

    CSessionState& m_session;
    std::map<int, QAction*> m_actions;
    QPointer<QToolBar> m_toolBar;
    QPointer<QToolBar> m_forecastBand;
    CForecastBar* m_forecastBar = nullptr;
    CChildFrameBase* m_child = nullptr;
    CCmdTarget* m_app = nullptr;
    QTimer m_progressTimer;
    QTimer m_updateTimer;
    bool m_updating = false;
};

// The texts of the main frame's messages.
namespace MainFrameTexts {
inline const QString kTitle = QStringLiteral("Прогноз");
inline const QString kUnknownOrganisation = QStringLiteral(" (Неизвестная организация)");
inline const QString kCopyQuestion =
    QStringLiteral("ВНИМАНИЕ! При копировании все данные текущего прогноза будут удалены. Продолжить?");
inline const QString kReceiversCopied = QStringLiteral("Получатели успешно скопированы!");
inline const QString kAveragePriceQuestion = QStringLiteral("Пересчитать средние цены по введенным прогнозным данным?");
inline const QString kReadError = QStringLiteral("Ошибка при чтении файла %1\n%2");
// %1: the roles, «Ведущий специалист» or «Ведущий специалист» или «Пользователь».
inline const QString kNeedsRole = QStringLiteral("Команда недоступна: нужна роль %1.");
// %1: the roles, %2: the login.
inline const QString kStepNeedsRole = QStringLiteral("Для этой команды нужна роль %1, а у пользователя «%2» ее нет.");
inline const QString kStepAskAdministrator = QStringLiteral("Роли назначает администратор.");
// %1: the way through the menus to the users dialog.
inline const QString kStepAdministratorGives =
    QStringLiteral("Назначьте эту роль себе или другому пользователю командой \"%1\"; роль начнет действовать "
                   "после перезапуска программы.");
} // namespace MainFrameTexts
