// The navigation panel (dialog 148) that fills the child frame: the tabs "Справочники", "Прогноз"
// and "Журнал событий", a header row of the chosen tab, and the page area holding the seven
// reference-book frames, the forecast editor and the event journal, of which exactly one is shown.
// On the forecast tab it chooses the consolidated forecast or the private forecast of one
// organisation.
#pragma once

#include "PanelFrame.h"

#include <QWidget>

#include <array>
#include <vector>

class CFontStatic;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabBar;
struct CSessionState;

class CMainDlg : public QWidget {
    Q_OBJECT
public:
    enum Tab { TAB_BOOKS, TAB_FORECAST, TAB_JOURNAL };

    explicit CMainDlg(CSessionState& session, QWidget* parent = nullptr);
    ~CMainDlg() override;

    // The user switched the tab: the section is shown under the status-bar progress.
    void OnTabSelChange();
    // Shows the book chosen in the combo and registers its filter fields once.
    void OnBookSelChange();
    // Shows the frame and the header controls of the current tab.
    void FillSections();
    void OnConsolidatedForecast();
    void OnPrivateForecast();
    void OnChooseOrganisation();
    // Forgets the organisation shown and lets the editor reload.
    void ResetConsolidatedSelection();

    // The frames that exist, in the order they hear of commands and forecast changes: the books in
    // combo order, the editor, the journal.
    std::vector<CPanelFrame*> Frames() const;
    CPanelFrame* bookFrame(int book) const;
    CForecastFrameBase* forecastFrame() const { return m_forecast; }
    CPanelFrame* journalFrame() const { return m_journal; }
    int chosenBook() const { return m_chosenBook; }
    int rememberedReceiver() const { return m_rememberedReceiver; }
    bool privateForecastChecked() const;
    QTabBar* tabBar() const { return m_tabs; }

private:
    void CreateControls();
    void CreateFrames();
    void SetupFilterFields(CPanelFrame* frame, int slot);
    // Shows a receiver of the current forecast as the organisation; false when it holds none such.
    bool ShowReceiver(int receiverId);

    CSessionState& m_session;
    QTabBar* m_tabs = nullptr;
    QComboBox* m_books = nullptr;
    QLabel* m_bookCaption = nullptr;
    QLabel* m_organisationCaption = nullptr;
    CFontStatic* m_bookName = nullptr;
    QLabel* m_organisation = nullptr;
    QPushButton* m_choose = nullptr;
    QRadioButton* m_consolidated = nullptr;
    QRadioButton* m_private = nullptr;
    QWidget* m_page = nullptr;
    QGridLayout* m_pageLayout = nullptr;

    std::array<CPanelFrame*, BOOK_COUNT> m_bookFrames = {};
    CForecastFrameBase* m_forecast = nullptr;
    CPanelFrame* m_journal = nullptr;
    int m_chosenBook = -1;
    int m_rememberedReceiver = -1;
    bool m_settingTab = false;
};

namespace MainDlgTexts {
inline const QString kTabs[] = {QStringLiteral("Справочники"), QStringLiteral("Прогноз"),
                                QStringLiteral("Журнал событий")};
inline const QString kBooks[BOOK_COUNT] = {QStringLiteral("Категории и получатели"),
                                           QStringLiteral("Виды продукции"),
                                           QStringLiteral("Единицы измерения"),
                                           QStringLiteral("Коэффициенты пересчета"),
                                           QStringLiteral("Документация"),
                                           QStringLiteral("Рассылки"),
                                           QStringLiteral("Типы событий отправки/получения")};
inline const QString kCurrentBook = QStringLiteral("Текущий справочник:");
inline const QString kCurrentOrganisation = QStringLiteral("Текущая организация:");
inline const QString kConsolidatedRadio = QStringLiteral("сводный прогноз");
inline const QString kPrivateRadio = QStringLiteral("Частный прогноз");
inline const QString kConsolidated = QStringLiteral("Сводный прогноз");
} // namespace MainDlgTexts
