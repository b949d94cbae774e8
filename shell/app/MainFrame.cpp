#include "MainFrame.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "ChildMainFrm.h"
#include "CommandIds.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "TableNotices.h"
#include "UsersDlg.h"
#include "WaitCursor.h"
#include "tables/Forecasts.h"
#include "tables/ProductAveragePrices.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"
#include "tables/ReceiverTree.h"
#include "tables/Receivers.h"
#include "tables/SystemUsers.h"
#include "xml/XmlRecord.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include <vector>

using namespace MainFrameTexts;

namespace {

// Forms whose dialogs take the forecast chosen in the forecast bar.
bool FormTakesForecast(int id)
{
    return id == ID_REPORT_FORM1 || id == ID_REPORT_FORM3 || id == ID_REPORT_FORM5 || id == ID_REPORT_FORM6
        || id == ID_REPORT_FORM7 || id == ID_REPORT_FORM8;
}

// Forms 1 to 8 first make the forecast bar's choice the current forecast.
bool FormCopiesSelection(int id)
{
    return FormTakesForecast(id) || id == ID_REPORT_FORM2 || id == ID_REPORT_FORM4;
}

const int kReportCommands[] = {ID_REPORT_FORM1, ID_REPORT_FORM2, ID_REPORT_FORM3, ID_REPORT_FORM4, ID_REPORT_FORM5,
                               ID_REPORT_FORM6, ID_REPORT_FORM7, ID_REPORT_FORM8, ID_REPORT_FORM9, ID_REPORT_BLANK};

struct MenuEntry {
    const char16_t* text; // nullptr: separator
    int id;               // 0 with a text: the start of a submenu, ended by an entry {nullptr, -1}
};

constexpr MenuEntry kFileMenu[] = {{u"Настройки", ID_SETTINGS},
                                   {u"Соединение...", ID_CONNECTION_SETTINGS},
                                   {u"Выгрузить журнал операций...", ID_OPJOURNAL_EXPORT},
                                   {nullptr, 0},
                                   {u"&Выход", ID_APP_EXIT}};
constexpr MenuEntry kViewMenu[] = {{u"&Инструменты", ID_VIEW_TOOLBAR},
                                   {u"&Строка состояния", ID_VIEW_STATUS_BAR},
                                   {u"Панель прогноза", ID_VIEW_FORECAST_BAR}};
constexpr MenuEntry kEditMenu[] = {{u"Копировать\tCtrl+C", ID_EDIT_COPY}, {u"Вырезать\tCtrl+X", ID_EDIT_CUT},
                                   {u"Вставить\tCtrl+V", ID_EDIT_PASTE},  {nullptr, 0},
                                   {u"Поиск\tCtrl+F", ID_SEARCH},         {u"Найти далее\tF3", ID_SEARCH_NEXT}};
constexpr MenuEntry kBookMenu[] = {{u"Добавить &группу...\tCtrl+M", ID_BOOK_ADD_GROUP},
                                   {u"Добавить &элемент...\tCtrl+N", ID_BOOK_ADD_ELEMENT},
                                   {u"&Редактировать...\tF2", ID_BOOK_EDIT},
                                   {u"Просмотреть", ID_BOOK_VIEW},
                                   {nullptr, 0},
                                   {u"Переместить вверх", ID_BOOK_MOVE_UP},
                                   {u"Переместить вниз", ID_BOOK_MOVE_DOWN},
                                   {nullptr, 0},
                                   {u"У&далить\tDelete", ID_BOOK_DELETE},
                                   {nullptr, 0},
                                   {u"Фильтр...", ID_BOOK_FILTER},
                                   {nullptr, 0},
                                   {u"Сортировать по умолчанию...", ID_BOOK_DEFAULT_SORT}};
constexpr MenuEntry kReportMenu[] = {
    {u"Отчет Ф1 и Ф1-а. «Прогноз объемов закупаемой продукции»", ID_REPORT_FORM1},
    {u"Отчет Ф2. «Средние цены закупок товаров»", ID_REPORT_FORM2},
    {u"Отчет Ф3. «Отчет по детализации прогнозных данных с точки зрения методик обоснования»", ID_REPORT_FORM3},
    {u"Отчет Ф4. «Удельный вес объемов продукции»", ID_REPORT_FORM4},
    {u"Отчет Ф5. «Динамика объемов и цен продукции»", ID_REPORT_FORM5},
    {u"Отчет Ф6. «Структура продукции»", ID_REPORT_FORM6},
    {u"Отчет Ф7. «Отчет о количестве участников разработки прогноза»", ID_REPORT_FORM7},
    {u"Отчет Ф8. «Сведения об изменениях стоимостных показателей по видам продукции»", ID_REPORT_FORM8},
    {u"Отчет Ф9. «Внутренняя аналитическая форма сравнения прогнозов»", ID_REPORT_FORM9}};
constexpr MenuEntry kForecastMenu[] = {{u"Управление...", ID_FORECAST_MANAGE},
                                       {u"Копирование", ID_FORECAST_COPY},
                                       {u"Администрирование...", ID_USERS},
                                       {nullptr, 0},
                                       {u"Действия", 0},
                                       {u"Расчет строк \"Всего\" и \"Прочее\"", ID_GROUP_TOTALS},
                                       {nullptr, -1},
                                       {u"Фильтр", 0},
                                       {u"Только с неверными данными", ID_FILTER_WRONG},
                                       {u"Только с комментариями", ID_FILTER_COMMENTED},
                                       {u"Только с заполненными данными", ID_FILTER_FILLED},
                                       {nullptr, -1},
                                       {nullptr, 0},
                                       {u"Отправка НСИ...", ID_NSI_SEND},
                                       {u"Получение НСИ...", ID_NSI_RECEIVE},
                                       {nullptr, 0},
                                       {u"Импорт цен из внешних систем...", ID_PRICE_IMPORT},
                                       {u"Импорт средних цен...", ID_AVERAGE_PRICE_IMPORT},
                                       {u"Расчет средних цен...", ID_AVERAGE_PRICE_CALC},
                                       {nullptr, 0},
                                       {u"Отправка комментариев...", ID_COMMENTS_SEND},
                                       {u"Получение комментариев...", ID_COMMENTS_RECEIVE},
                                       {nullptr, 0},
                                       {u"Отправка прогноза...", ID_FORECAST_SEND},
                                       {u"Получение прогноза...", ID_FORECAST_RECEIVE},
                                       {nullptr, 0},
                                       {u"Генерация сводного прогноза...", ID_TOTAL_GENERATE},
                                       {u"Контроль данных...", ID_FORECAST_CHECK},
                                       {u"Пустографка", ID_REPORT_BLANK}};
constexpr MenuEntry kHelpMenu[] = {{u"&О программе...", ID_APP_ABOUT}};

// Toolbar 128; 0 is a separator.
constexpr int kToolBar[] = {ID_EDIT_CUT,
                            ID_EDIT_COPY,
                            ID_EDIT_PASTE,
                            0,
                            ID_BOOK_ADD_ELEMENT,
                            0,
                            ID_BOOK_ADD_GROUP,
                            ID_BOOK_EDIT,
                            ID_BOOK_VIEW,
                            ID_BOOK_DELETE,
                            ID_BOOK_MOVE_UP,
                            ID_BOOK_MOVE_DOWN,
                            ID_BOOK_FILTER,
                            0,
                            ID_GROUP_TOTALS,
                            ID_FORECAST_CHECK,
                            0,
                            ID_APP_ABOUT};

// The menus' style: a disabled entry may be the current one, and so show its status text.
class CMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        return hint == SH_Menu_AllowActiveAndDisabled ? 1 : QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// A menu entry as the user reads it: no mnemonic, no shortcut.
QString MenuText(QString text)
{
    const qsizetype tab = text.indexOf(u'\t');
    if (tab >= 0)
        text.truncate(tab);
    return text.remove(u'&');
}

// The tooltip of a toolbar button: the menu text without mnemonic, shortcut and ellipsis.
QString ToolTipOf(QString text)
{
    text = MenuText(text);
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text.trimmed();
}

} // namespace

// ---------------------------------------------------------------------------------------------

CForecastBar::CForecastBar(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);

    auto* caption = new QLabel(QStringLiteral("Текущий прогноз:"), this);
    layout->addWidget(caption);
    m_forecast = new QComboBox(this);
    m_forecast->setObjectName(QStringLiteral("id1018"));
    // As wide as the longest forecast's text.
    m_forecast->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_forecast->setMinimumContentsLength(40);
    caption->setBuddy(m_forecast);
    layout->addWidget(m_forecast);

    const int pictures[3][2] = {{1095, IDB_STATUS_PROJECT}, {1096, IDB_STATUS_NSI}, {1097, IDB_STATUS_CLOSED}};
    for (int i = 0; i < 3; ++i) {
        m_status[i] = new QLabel(this);
        m_status[i]->setObjectName(QStringLiteral("id%1").arg(pictures[i][0]));
        m_status[i]->setPixmap(LoadBitmapRes(pictures[i][1]));
        m_status[i]->hide();
        layout->addWidget(m_status[i]);
    }
    layout->addSpacing(16);

    m_search = new QComboBox(this);
    m_search->setObjectName(QStringLiteral("id1016"));
    m_search->setEditable(true);
    m_search->setInsertPolicy(QComboBox::NoInsert);
    m_search->setMinimumContentsLength(20);
    m_search->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    layout->addWidget(m_search);
    m_searchButton = new QPushButton(QStringLiteral("Искать"), this);
    m_searchButton->setObjectName(QStringLiteral("id1135"));
    layout->addWidget(m_searchButton);
    layout->addStretch(1);
}

QLabel* CForecastBar::statusPicture(int status) const
{
    return status >= 0 && status < 3 ? m_status[status] : nullptr;
}

// ---------------------------------------------------------------------------------------------

CMainFrame::CMainFrame(CSessionState& session, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("CMainFrame"));
    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(0);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
}

CMainFrame::~CMainFrame()
{
    if (WorkspaceRefresh() == this)
        SetWorkspaceRefresh(nullptr);
    qApp->removeEventFilter(this);
    m_progressTimer.stop();
}

QAction* CMainFrame::MakeAction(int id, const QString& text)
{
    auto it = m_actions.find(id);
    QAction* action = it != m_actions.end() ? it->second : nullptr;
    if (!action) {
        action = new QAction(this);
        action->setObjectName(QStringLiteral("id%1").arg(id));
        action->setIcon(CommandIcon(id));
        connect(action, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        addAction(action); // its shortcuts work anywhere in the window
        m_actions[id] = action;
    }
    if (!text.isEmpty() && action->text().isEmpty()) {
        action->setText(text);
        action->setToolTip(ToolTipOf(text));
    }
    return action;
}

QAction* CMainFrame::Action(int id) const
{
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

bool CMainFrame::Create()
{
    ProgressDestroy();
    setWindowIcon(AppIcon());
    setWindowTitle(kTitle);

    CreateMenu();
    CreateToolBar();

    m_forecastBar = new CForecastBar;
    m_forecastBand = new QToolBar(QStringLiteral("Панель прогноза"), this);
    m_forecastBand->setObjectName(QStringLiteral("id32790"));
    m_forecastBand->setAllowedAreas(Qt::TopToolBarArea);
    m_forecastBand->setFloatable(false);
    m_forecastBand->addWidget(m_forecastBar);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, m_forecastBand);
    connect(m_forecastBar->forecastCombo(), &QComboBox::activated, this, [this] { OnForecastSelChange(); });
    connect(m_forecastBar->searchButton(), &QPushButton::clicked, this, [this] { ExecuteCommand(ID_SEARCH_BUTTON); });

    CreateStatusBar();
    AddAccelerators();
    RegisterCommands();
    // Commands without a menu entry, button or accelerator still have their action.
    for (int id : {ID_EVENT_JOURNAL, ID_IMPORT_STATUS_LIST})
        MakeAction(id);

    FillForecastCombo();
    CSessionState& session = m_session;
    QComboBox* combo = m_forecastBar->forecastCombo();
    if (combo->count() > 0 && session.currentForecastId >= 0) {
        const int index = combo->findData(session.currentForecastId);
        if (index >= 0)
            combo->setCurrentIndex(index);
    } else if (combo->count() == 0) {
        session.currentForecastId = -1;
    }

    m_child = CreateChildFrame();
    if (!m_child)
        return false;
    m_child->setObjectName(QStringLiteral("id10000"));
    setCentralWidget(m_child);

    m_progressTimer.setInterval(500);
    connect(&m_progressTimer, &QTimer::timeout, this, [] { ProgressStep(); });
    m_progressTimer.start();

    ProgressCreate();
    OnForecastSelChange();
    ProgressDestroy();
    SetWorkspaceRefresh(this);

    // Entries that no user reaches; their commands stay. A database file has no logins to administer.
    std::vector<int> removed{ID_PRICE_IMPORT, ID_AVERAGE_PRICE_IMPORT};
    if (!IsServerDatabase())
        removed.push_back(ID_USERS);
    for (int id : removed) {
        QAction* action = Action(id);
        for (QMenu* menu : menuBar()->findChildren<QMenu*>())
            menu->removeAction(action);
    }

    qApp->installEventFilter(this);
    UpdateCommandUI();
    return true;
}

CChildFrameBase* CMainFrame::CreateChildFrame()
{
    return new CChildMainFrm(m_session, this);
}

QMenu* CMainFrame::createPopupMenu()
{
    return nullptr;
}

void CMainFrame::CreateMenu()
{
    auto action = [this](int id, const QString& text) { return MakeAction(id, text); };
    QMenuBar* bar = menuBar();
    const struct {
        const char16_t* title;
        const MenuEntry* entries;
        size_t count;
    } menus[] = {
        {u"&Файл", kFileMenu, std::size(kFileMenu)},      {u"&Вид", kViewMenu, std::size(kViewMenu)},
        {u"Правка", kEditMenu, std::size(kEditMenu)},     {u"&Справочник", kBookMenu, std::size(kBookMenu)},
        {u"&Отчет", kReportMenu, std::size(kReportMenu)}, {u"П&рогноз", kForecastMenu, std::size(kForecastMenu)},
        {u"&Помощь", kHelpMenu, std::size(kHelpMenu)},
    };
    for (const auto& m : menus) {
        QMenu* menu = bar->addMenu(QString::fromUtf16(m.title));
        QMenu* target = menu;
        for (size_t i = 0; i < m.count; ++i) {
            const MenuEntry& e = m.entries[i];
            if (!e.text) {
                if (e.id == -1)
                    target = menu;
                else
                    target->addSeparator();
            } else if (e.id == 0) {
                target = menu->addMenu(QString::fromUtf16(e.text));
                connect(target, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
            } else {
                target->addAction(action(e.id, QString::fromUtf16(e.text)));
            }
        }
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    }
    for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_FORECAST_BAR})
        Action(id)->setCheckable(true);
    // A disabled entry is highlighted under the mouse as well, so that its status text shows.
    auto* style = new CMenuStyle;
    style->setParent(this);
    for (QMenu* menu : bar->findChildren<QMenu*>())
        menu->setStyle(style);
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Инструменты"), this);
    m_toolBar->setObjectName(QStringLiteral("id59392"));
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setAllowedAreas(Qt::TopToolBarArea);
    m_toolBar->setFloatable(false);
    for (int id : kToolBar) {
        if (id == 0)
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(MakeAction(id));
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CMainFrame::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("id59393"));
    auto* message = new QLabel(LoadStringRes(57345), bar); // string 57345: the idle text "Готов к работе"
    message->setObjectName(QStringLiteral("pane0"));
    bar->addWidget(message, 1);
    // Room for the progress control.
    auto* progress = new QLabel(QString(72, u' '), bar);
    progress->setObjectName(QStringLiteral("pane1"));
    progress->setMinimumWidth(progress->fontMetrics().horizontalAdvance(QString(72, u' ')));
    bar->addPermanentWidget(progress);
    const char* indicators[] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        auto* pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("pane%1").arg(i + 2));
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QString::fromLatin1(indicators[i])) + 8);
        bar->addPermanentWidget(pane);
    }
}

void CMainFrame::AddAccelerators()
{
    const struct {
        int id;
        std::initializer_list<QKeySequence> keys;
    } table[] = {
        {ID_BOOK_ADD_ELEMENT, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {ID_BOOK_ADD_GROUP, {QKeySequence(Qt::CTRL | Qt::Key_M)}},
        {ID_GROUP_UP, {QKeySequence(Qt::CTRL | Qt::Key_Backspace)}},
        {ID_BOOK_DELETE, {QKeySequence(Qt::CTRL | Qt::Key_Delete)}},
        {ID_BOOK_EDIT, {QKeySequence(Qt::Key_F2)}},
        {ID_OPEN_ROW, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}},
        {ID_EDIT_COPY, {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {ID_EDIT_CUT, {QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_X)}},
        {ID_EDIT_PASTE, {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {ID_EDIT_UNDO, {QKeySequence(Qt::ALT | Qt::Key_Backspace), QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {ID_NEXT_PANE, {QKeySequence(Qt::Key_F6)}},
        {ID_PREV_PANE, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
        {ID_SEARCH, {QKeySequence(Qt::CTRL | Qt::Key_F)}},
        {ID_SEARCH_NEXT, {QKeySequence(Qt::Key_F3)}},
    };
    for (const auto& a : table)
        MakeAction(a.id)->setShortcuts(QList<QKeySequence>(a.keys));
}

void CMainFrame::RegisterCommands()
{
    CShellHooks& hooks = ShellHooks();
    const CSessionState& session = m_session;
    auto forecastRights = [&session](CCmdUI& ui, int roles) {
        return ui.HasRights(session, roles) && session.IsForecastSet();
    };

    // View.
    auto toggle = [this](int id, auto widget) {
        OnCommand(id, [widget] {
            if (widget())
                widget()->setVisible(widget()->isHidden());
        });
        OnUpdateCommand(id, [widget](CCmdUI& ui) {
            if (widget())
                ui.SetCheck(!widget()->isHidden());
        });
    };
    toggle(ID_VIEW_TOOLBAR, [this]() -> QWidget* { return m_toolBar; });
    toggle(ID_VIEW_STATUS_BAR, [this]() -> QWidget* { return statusBar(); });
    toggle(ID_VIEW_FORECAST_BAR, [this]() -> QWidget* { return m_forecastBand; });

    // Forecast management and copy.
    OnCommand(ID_FORECAST_MANAGE, [this] { OnForecastManager(); });
    OnUpdateCommand(ID_FORECAST_MANAGE, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.forecastManager)); });
    OnCommand(ID_FORECAST_COPY, [this] { OnForecastCopy(); });
    // The combo holds the forecast list already: no database round trip (nor error box) per update.
    // The copy writes the receivers of the current forecast: administrators and experts.
    OnUpdateCommand(ID_FORECAST_COPY, [this, &hooks](CCmdUI& ui) {
        ui.Enable(hooks.selectForecastCopy && ui.HasRights(m_session, ROLE_ADMIN | ROLE_EXPERT)
                  && m_session.IsForecastSet() && m_forecastBar->forecastCombo()->count() > 1);
    });

    // Exchange.
    OnCommand(ID_FORECAST_SEND, [this, &hooks] {
        hooks.sendForecast(this, m_session.currentForecastId);
        m_child->NotifyEventJournal(1);
    });
    OnUpdateCommand(ID_FORECAST_SEND, [&hooks, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.sendForecast && forecastRights(ui, ROLE_EXPERT));
    });
    OnCommand(ID_FORECAST_RECEIVE, [this, &hooks] { hooks.receiveForecast(this); });
    OnUpdateCommand(ID_FORECAST_RECEIVE, [&hooks, &session](CCmdUI& ui) {
        ui.Enable(hooks.receiveForecast && ui.HasRights(session, ROLE_EXPERT) && session.currentForecastStatus == 1);
    });
    OnCommand(ID_NSI_SEND, [this] { OnSendReferenceData(); });
    OnUpdateCommand(ID_NSI_SEND, [&hooks, &session, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.sendReferenceData && forecastRights(ui, ROLE_EXPERT) && session.currentForecastStatus == 1);
    });
    OnCommand(ID_NSI_RECEIVE, [this, &hooks] { hooks.receiveReferenceData(this); });
    OnUpdateCommand(ID_NSI_RECEIVE, [&hooks, &session](CCmdUI& ui) {
        ui.Enable(hooks.receiveReferenceData && ui.HasRights(session, ROLE_EXPERT));
    });
    OnCommand(ID_COMMENTS_SEND, [this, &hooks] { hooks.sendComments(this); });
    OnUpdateCommand(ID_COMMENTS_SEND,
                    [&hooks, &session](CCmdUI& ui) { ui.Enable(hooks.sendComments && session.IsForecastSet()); });
    OnCommand(ID_COMMENTS_RECEIVE, [this, &hooks] { hooks.receiveComments(this); });
    OnUpdateCommand(ID_COMMENTS_RECEIVE,
                    [&hooks, &session](CCmdUI& ui) { ui.Enable(hooks.receiveComments && session.IsForecastSet()); });

    // Reports.
    for (int id : kReportCommands) {
        OnCommand(id, [this, id] { OnReport(id); });
        OnUpdateCommand(id, [&hooks, forecastRights, id](CCmdUI& ui) {
            ui.Enable(hooks.report && hooks.reportAvailable && hooks.reportAvailable(id)
                      && forecastRights(ui, ROLE_EXPERT | ROLE_USER));
        });
    }
    // The search of the forecast bar is run by the active frame.
    for (int id : {ID_SEARCH_BUTTON, ID_SEARCH_TEXT})
        OnUpdateCommand(id, [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(ui, ROLE_EXPERT | ROLE_USER)); });

    // The exchange journal list is not shown.
    OnCommand(ID_IMPORT_STATUS_LIST, [] {});
    OnUpdateCommand(ID_IMPORT_STATUS_LIST, [&session](CCmdUI& ui) { ui.Enable(session.currentForecastId > 0); });
    OnUpdateCommand(ID_EVENT_JOURNAL, [&session](CCmdUI& ui) { ui.Enable(session.currentForecastId > 0); });

    // Prices.
    OnCommand(ID_PRICE_IMPORT, [this] { OnImportProducts(); });
    OnUpdateCommand(ID_PRICE_IMPORT, [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(ui, ROLE_EXPERT)); });
    OnCommand(ID_AVERAGE_PRICE_IMPORT, [this, &hooks] { hooks.averagePriceImport(this, m_session); });
    OnUpdateCommand(ID_AVERAGE_PRICE_IMPORT, [&hooks, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.averagePriceImport && forecastRights(ui, ROLE_EXPERT));
    });
    OnCommand(ID_AVERAGE_PRICE_CALC, [this] { OnAveragePrices(); });
    OnUpdateCommand(ID_AVERAGE_PRICE_CALC,
                    [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(ui, ROLE_EXPERT)); });

    // Settings, journal export, users.
    OnCommand(ID_SETTINGS, [this] { OnSettings(); });
    OnUpdateCommand(ID_SETTINGS, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.preferences)); });
    OnCommand(ID_USERS, [this, &hooks] {
        if (hooks.users)
            hooks.users(this, m_session);
    });
    OnUpdateCommand(ID_USERS, [this, &hooks](CCmdUI& ui) {
        ui.Enable(hooks.users && IsServerDatabase() && ui.HasRights(m_session, ROLE_ADMIN));
    });
    OnCommand(ID_OPJOURNAL_EXPORT, [this, &hooks] { hooks.exportOpJournal(this); });
    OnUpdateCommand(ID_OPJOURNAL_EXPORT, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.exportOpJournal)); });

    // Search.
    OnCommand(ID_SEARCH, [this] { m_forecastBar->searchCombo()->setFocus(); });
    OnCommand(ID_SEARCH_NEXT, [] {});
}

bool CMainFrame::OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui)
{
    if (m_child && m_child->OnCmdMsg(id, msg, ui))
        return true;
    if (CCmdTarget::OnCmdMsg(id, msg, ui))
        return true;
    return m_app && m_app->OnCmdMsg(id, msg, ui);
}

void CMainFrame::UpdateCommandUI()
{
    // A modal dialog or message box of a command is running: its state is not ours to touch.
    if (m_updating || QApplication::activeModalWidget())
        return;
    m_updating = true;
    for (const auto& [id, action] : m_actions) {
        const CCmdUI ui = UpdateCommand(*this, id);
        action->setEnabled(ui.enabled());
        // Hovered in its menu or on its button, a command that the login's roles keep disabled says so.
        action->setStatusTip(ui.enabled() || !ui.lackingRoles() ? QString()
                                                                : kNeedsRole.arg(RoleChoiceText(ui.lackingRoles())));
        if (ui.checkChanged()) {
            action->setCheckable(true);
            action->setChecked(ui.checked());
        }
        if (id == ID_NSI_RECEIVE && m_child)
            m_child->SetFirstStepNote(FirstStepNote(ui));
    }
    if (m_forecastBar) {
        // A button without a handler is disabled; the boxes change only when someone says so.
        m_forecastBar->searchButton()->setEnabled(UpdateCommand(*this, ID_SEARCH_BUTTON).enabled());
        for (QComboBox* combo : {m_forecastBar->searchCombo(), m_forecastBar->forecastCombo()}) {
            CCmdUI ui(combo == m_forecastBar->searchCombo() ? ID_SEARCH_TEXT : ID_FORECAST_COMBO);
            if (OnCmdMsg(ui.id(), CmdMsg::Update, &ui) && ui.enableChanged())
                combo->setEnabled(ui.enabled());
        }
    }
    m_updating = false;
}

void CMainFrame::ScheduleCommandUpdate()
{
    if (!m_updateTimer.isActive())
        m_updateTimer.start();
}

namespace {

// Return typed into a text box (the search box, the grid's in-place editor) is the box's own, not
// the frames' Enter command.
bool KeepsReturn(QObject* watched, QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if (const auto* edit = qobject_cast<QLineEdit*>(watched))
        return !edit->isReadOnly();
    return qobject_cast<QComboBox*>(watched) != nullptr;
}

} // namespace

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && KeepsReturn(watched, event)
        && static_cast<QWidget*>(watched)->window() == this) {
        event->accept();
        return true;
    }
    // Commands are updated when the program goes idle after input, as the frames' states change.
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
        ScheduleCommandUpdate();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

QString CMainFrame::FirstStepNote(const CCmdUI& step)
{
    if (step.enabled() || !step.lackingRoles())
        return QString();
    QString note = kStepNeedsRole.arg(RoleChoiceText(step.lackingRoles()), m_session.userName);
    if (!m_session.HasRights(ROLE_ADMIN))
        return note + u' ' + kStepAskAdministrator;
    // An administrator gives roles in the users dialog, where the menu offers it.
    const QString users = MenuPath(ID_USERS);
    if (!users.isEmpty() && UpdateCommand(*this, ID_USERS).enabled())
        note += u' ' + kStepAdministratorGives.arg(users);
    return note;
}

namespace {

QString PathIn(const QList<QAction*>& actions, const QAction* target)
{
    for (QAction* a : actions) {
        if (a == target)
            return MenuText(a->text());
        if (a->menu())
            if (const QString rest = PathIn(a->menu()->actions(), target); !rest.isEmpty())
                return MenuText(a->text()) + QStringLiteral(" > ") + rest;
    }
    return QString();
}

} // namespace

QString CMainFrame::MenuPath(int id) const
{
    const QAction* action = Action(id);
    return action ? PathIn(menuBar()->actions(), action) : QString();
}

bool CMainFrame::ExecuteCommand(int id)
{
    // A command may have become disabled since its button or menu entry was last updated.
    if (!UpdateCommand(*this, id).enabled())
        return false;
    const bool handled = OnCmdMsg(id, CmdMsg::Execute, nullptr);
    ScheduleCommandUpdate();
    return handled;
}

// ---------------------------------------------------------------------------------------------

void CMainFrame::FillForecastCombo()
{
    QComboBox* combo = m_forecastBar->forecastCombo();
    combo->clear();
    const int current = m_session.currentForecastId;
    const auto list = LoadForecasts(SqlFilter(QString(), {}, QStringLiteral("year desc")));
    if (!list)
        return;
    int selected = -1;
    for (const CForecastRecord& f : *list) {
        combo->addItem(QStringLiteral("%1 (%2 год) %3").arg(f.name).arg(f.year).arg(f.ownerName), f.id);
        if (current >= 1 && current == f.id)
            selected = combo->count() - 1;
    }
    // The combo would select its first entry by itself; only the current forecast is selected.
    combo->setCurrentIndex(selected);
}

void CMainFrame::SelectForecast(int forecastId)
{
    QComboBox* combo = m_forecastBar->forecastCombo();
    combo->setCurrentIndex(combo->findData(forecastId));
    OnForecastSelChange();
}

void CMainFrame::ReloadForecastReceiver()
{
    if (m_child)
        m_child->ReloadForecastReceiver();
}

void CMainFrame::ResetConsolidatedSelection()
{
    if (m_child)
        m_child->ResetConsolidatedSelection();
}

void CMainFrame::NotifyChildren(int wParam)
{
    if (m_child)
        m_child->OnUpdateChildren(wParam);
}

void CMainFrame::NotifyForecastFrame(int wParam)
{
    if (m_child)
        m_child->NotifyForecastFrame(wParam);
}

void CMainFrame::NotifyEventJournal(int wParam)
{
    if (m_child)
        m_child->NotifyEventJournal(wParam);
}

int CMainFrame::SelectedForecastId() const
{
    const QComboBox* combo = m_forecastBar->forecastCombo();
    return combo->currentIndex() >= 0 ? combo->currentData().toInt() : -1;
}

void CMainFrame::OnForecastSelChange()
{
    CWaitCursor wait;
    CSessionState& s = m_session;
    s.currentForecastId = SelectedForecastId();
    if (const auto f = GetForecast(s.currentForecastId)) {
        s.forecastYear = f->year;
        s.currentForecastOwner = f->owner;
        s.currentForecastStatus = f->status;
    } else {
        s.currentForecastId = s.currentForecastOwner = s.currentForecastStatus = s.forecastYear = -1;
    }
    UpdateStatusIcons();
    s.ownReceiverId = LoadImportedLeafReceivers(s.currentForecastId);
    UpdateTitle();
    if (m_child)
        m_child->OnUpdateChildren(0);
    s.changeFlags |= CHANGE_RECEIVERS | CHANGE_PRODUCTS;
    if (m_child)
        m_child->FillSections();
    ScheduleCommandUpdate();
}

void CMainFrame::UpdateTitle()
{
    const CSessionState& s = m_session;
    QString title = kTitle;
    if (s.ownReceiverId != -1 && s.currentForecastId != -1) {
        if (const auto r = GetForecastReceiver(s.ownReceiverId, s.currentForecastId))
            title += QStringLiteral(" (") + r->name + u')';
    } else {
        title += kUnknownOrganisation;
    }
    setWindowTitle(title);
}

void CMainFrame::UpdateStatusIcons()
{
    const int status = m_session.currentForecastStatus;
    for (int i = 0; i < 3; ++i)
        m_forecastBar->statusPicture(i)->setVisible(i == status);
}

// ---------------------------------------------------------------------------------------------

void CMainFrame::OnForecastManager()
{
    ShellHooks().forecastManager(this);
    CSessionState& s = m_session;
    FillForecastCombo();
    QComboBox* combo = m_forecastBar->forecastCombo();
    const int index = combo->findData(s.currentForecastId);
    combo->setCurrentIndex(index);
    if (index >= 0) {
        if (const auto f = GetForecast(s.currentForecastId)) {
            s.currentForecastStatus = f->status;
            s.forecastYear = f->year;
        }
    } else {
        s.currentForecastId = -1;
        s.forecastYear = -1;
    }
    if (s.currentForecastId != -1)
        m_child->NotifyForecastFrame(0);
    else
        m_child->OnUpdateChildren(0);
    UpdateStatusIcons();
}

void CMainFrame::OnForecastCopy()
{
    int source = -1, mode = 0;
    if (!ShellHooks().selectForecastCopy(this, &source, &mode))
        return;
    {
        CWaitCursor wait;
        if (AppMessageBox(kCopyQuestion, MB_YESNO | MB_ICONEXCLAMATION, this) != IDYES)
            return;
        // Every mode copies the receiver tree only, so every mode reports just that.
        if (CopyReceiverTree(source, m_session.currentForecastId))
            AppMessageBox(kReceiversCopied, MB_ICONINFORMATION, this);
    }
    OnForecastSelChange();
}

void CMainFrame::OnSendReferenceData()
{
    CSessionState& s = m_session;
    if (s.ownReceiverId == -1)
        s.ownReceiverId = LoadImportedLeafReceivers(s.currentForecastId);
    if (!CheckCurrentForecast(s) || !CheckSelfReceiver(s))
        return;
    ShellHooks().sendReferenceData(this);
    m_child->NotifyEventJournal(1);
}

void CMainFrame::OnReport(int id)
{
    std::optional<CForecastRecord> forecast;
    if (FormCopiesSelection(id))
        m_session.currentForecastId = SelectedForecastId();
    if (FormTakesForecast(id))
        forecast = GetForecast(m_session.currentForecastId);
    ShellHooks().report(this, id, m_session, forecast);
}

bool CMainFrame::IsServerDatabase() const
{
    return Dialect().HasLogins();
}

void CMainFrame::OnSettings()
{
    if (!ShellHooks().preferences(this))
        return;
    CWaitCursor wait;
    FillForecastCombo();
    OnForecastSelChange();
}

void CMainFrame::OnAveragePrices()
{
    if (AppMessageBox(kAveragePriceQuestion, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return;
    CWaitCursor wait;
    static_cast<void>(RecalculateAveragePrices(m_session.currentForecastId));
}

void CMainFrame::OnImportProducts()
{
    const QString path =
        ModalHook().getOpenFileName(this, QString(), Settings().ImportDir, QStringLiteral("Файлы XML (*.xml)"));
    if (path.isEmpty())
        return;
    QString reason;
    const XmlDocPtr doc = XmlParseFile(path, &reason);
    if (!doc) {
        AppMessageBox(kReadError.arg(path, reason), MB_ICONSTOP, this);
        return;
    }
    static_cast<void>(ImportAveragePricesDocument(doc.get(), m_session.currentForecastId));
}
