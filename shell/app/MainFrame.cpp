#include "MainFrame.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "ChildFrameBase.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "Rights.h"
#include "Settings.h"
#include "ShellHooks.h"
#include "WaitCursor.h"
#include "db/SqlQuery.h"
#include "tables/Forecasts.h"
#include "tables/PriceChecks.h"
#include "tables/ProductAveragePrices.h"
#include "tables/Products.h"
#include "tables/ReceiverMap.h"
#include "tables/ReceiverTree.h"
#include "tables/Receivers.h"
#include "xml/XmlRecord.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include <vector>

using namespace MainFrameTexts;

namespace {

constexpr int kRoleExpert = 2;
constexpr int kRoleUser = 4;

// Forms whose dialogs take the forecast chosen in the forecast bar.
bool FormTakesForecast(int id)
{
    return id == 32805 || id == 32912 || id == 32827 || id == 32828 || id == 32845 || id == 32848;
}

// Forms 1 to 8 first make the forecast bar's choice the current forecast.
bool FormCopiesSelection(int id)
{
    return FormTakesForecast(id) || id == 32817 || id == 32826;
}

const int kReportCommands[] = {32805, 32817, 32912, 32826, 32827, 32828, 32845, 32848, 32910, 32850};

struct MenuEntry {
    const char16_t* text; // nullptr: separator
    int id;               // 0 with a text: the start of a submenu, ended by an entry {nullptr, -1}
};

constexpr MenuEntry kFileMenu[] = {
    {u"Настройки", 32868}, {u"Выгрузить журнал операций...", 32890}, {nullptr, 0}, {u"&Выход", 57665}};
constexpr MenuEntry kViewMenu[] = {{u"&Инструменты", 59392}, {u"&Строка состояния", 59393}, {u"Панель прогноза", 32790}};
constexpr MenuEntry kEditMenu[] = {{u"Копировать\tCtrl+C", 57634}, {u"Вырезать\tCtrl+X", 57635},
                                   {u"Вставить\tCtrl+V", 57637},   {nullptr, 0},
                                   {u"Поиск\tCtrl+F", 32896},      {u"Найти далее\tF3", 32897}};
constexpr MenuEntry kBookMenu[] = {{u"Добавить &группу...\tCtrl+M", 32771},
                                   {u"Добавить &элемент...\tCtrl+N", 32772},
                                   {u"&Редактировать...\tF2", 32785},
                                   {u"Просмотреть", 32879},
                                   {nullptr, 0},
                                   {u"Переместить вверх", 32843},
                                   {u"Переместить вниз", 32844},
                                   {nullptr, 0},
                                   {u"У&далить\tDelete", 32773},
                                   {nullptr, 0},
                                   {u"Фильтр...", 32778},
                                   {nullptr, 0},
                                   {u"Сортировать по умолчанию...", 32874}};
constexpr MenuEntry kReportMenu[] = {
    {u"Отчет Ф1 и Ф1-а. «Прогноз объемов закупаемой продукции»", 32805},
    {u"Отчет Ф2. «Средние цены закупок товаров»", 32817},
    {u"Отчет Ф3. «Отчет по детализации прогнозных данных с точки зрения методик обоснования»", 32912},
    {u"Отчет Ф4. «Удельный вес объемов продукции»", 32826},
    {u"Отчет Ф5. «Динамика объемов и цен продукции»", 32827},
    {u"Отчет Ф6. «Структура продукции»", 32828},
    {u"Отчет Ф7. «Отчет о количестве участников разработки прогноза»", 32845},
    {u"Отчет Ф8. «Сведения об изменениях стоимостных показателей по видам продукции»", 32848},
    {u"Отчет Ф9. «Внутренняя аналитическая форма сравнения прогнозов»", 32910}};
constexpr MenuEntry kForecastMenu[] = {{u"Управление...", 32792},
                                       {u"Копирование", 32806},
                                       {u"Администрирование...", 32888},
                                       {nullptr, 0},
                                       {u"Действия", 0},
                                       {u"Расчет строк \"Всего\" и \"Прочее\"", 32815},
                                       {nullptr, -1},
                                       {u"Фильтр", 0},
                                       {u"Только с неверными данными", 32856},
                                       {u"Только с комментариями", 32858},
                                       {u"Только с заполненными данными", 32892},
                                       {nullptr, -1},
                                       {nullptr, 0},
                                       {u"Отправка НСИ...", 32807},
                                       {u"Получение НСИ...", 32808},
                                       {nullptr, 0},
                                       {u"Импорт цен из внешних систем...", 32902},
                                       {u"Импорт средних цен...", 32904},
                                       {u"Расчет средних цен...", 32906},
                                       {nullptr, 0},
                                       {u"Отправка комментариев...", 32861},
                                       {u"Получение комментариев...", 32862},
                                       {nullptr, 0},
                                       {u"Отправка прогноза...", 32794},
                                       {u"Получение прогноза...", 32796},
                                       {nullptr, 0},
                                       {u"Генерация сводного прогноза...", 32811},
                                       {u"Контроль данных...", 32821},
                                       {u"Пустографка", 32850}};
constexpr MenuEntry kHelpMenu[] = {{u"&О программе...", 57664}};

// Toolbar 128; 0 is a separator.
constexpr int kToolBar[] = {57635, 57634, 57637, 0,     32772, 0,     32771, 32785, 32879,
                            32773, 32843, 32844, 32778, 0,     32815, 32821, 0,     57664};

// The tooltip of a toolbar button: the menu text without mnemonic, shortcut and ellipsis.
QString ToolTipOf(QString text)
{
    const qsizetype tab = text.indexOf(u'\t');
    if (tab >= 0)
        text.truncate(tab);
    text.remove(u'&');
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
    m_forecast->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
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

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("CMainFrame"));
    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(0);
    connect(&m_updateTimer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
}

CMainFrame::~CMainFrame()
{
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
    connect(m_forecastBar->searchButton(), &QPushButton::clicked, this, [this] { ExecuteCommand(1135); });

    CreateStatusBar();
    AddAccelerators();
    RegisterCommands();
    // Commands without a menu entry, button or accelerator still have their action.
    for (int id : {32800, 32835, 32870})
        MakeAction(id);

    FillForecastCombo();
    CSettings& settings = Settings();
    QComboBox* combo = m_forecastBar->forecastCombo();
    if (combo->count() > 0 && settings.currentForecastId >= 0) {
        const int index = combo->findData(settings.currentForecastId);
        if (index >= 0)
            combo->setCurrentIndex(index);
    } else if (combo->count() == 0) {
        settings.currentForecastId = -1;
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

    // Entries that no user reaches; their commands stay.
    for (int id : {32888, 32902, 32904}) {
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
    return new CChildFrameBase(this);
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
        {u"&Файл", kFileMenu, std::size(kFileMenu)},          {u"&Вид", kViewMenu, std::size(kViewMenu)},
        {u"Правка", kEditMenu, std::size(kEditMenu)},         {u"&Справочник", kBookMenu, std::size(kBookMenu)},
        {u"&Отчет", kReportMenu, std::size(kReportMenu)},     {u"П&рогноз", kForecastMenu, std::size(kForecastMenu)},
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
    for (int id : {59392, 59393, 32790})
        Action(id)->setCheckable(true);
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
    auto* message = new QLabel(LoadStringRes(57345), bar);
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
        {32772, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {32771, {QKeySequence(Qt::CTRL | Qt::Key_M)}},
        {32883, {QKeySequence(Qt::CTRL | Qt::Key_Backspace)}},
        {32773, {QKeySequence(Qt::CTRL | Qt::Key_Delete)}},
        {32785, {QKeySequence(Qt::Key_F2)}},
        {117, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}},
        {57634, {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {57635, {QKeySequence(Qt::SHIFT | Qt::Key_Delete), QKeySequence(Qt::CTRL | Qt::Key_X)}},
        {57637, {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {57643, {QKeySequence(Qt::ALT | Qt::Key_Backspace), QKeySequence(Qt::CTRL | Qt::Key_Z)}},
        {57680, {QKeySequence(Qt::Key_F6)}},
        {57681, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
        {32896, {QKeySequence(Qt::CTRL | Qt::Key_F)}},
        {32897, {QKeySequence(Qt::Key_F3)}},
    };
    for (const auto& a : table)
        MakeAction(a.id)->setShortcuts(QList<QKeySequence>(a.keys));
}

void CMainFrame::RegisterCommands()
{
    CShellHooks& hooks = ShellHooks();
    auto forecastRights = [](int roles) { return HasRights(roles) && IsForecastSet(); };

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
    toggle(59392, [this]() -> QWidget* { return m_toolBar; });
    toggle(59393, [this]() -> QWidget* { return statusBar(); });
    toggle(32790, [this]() -> QWidget* { return m_forecastBand; });

    // Forecast management and copy.
    OnCommand(32792, [this] { OnForecastManager(); });
    OnUpdateCommand(32792, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.forecastManager)); });
    OnCommand(32806, [this] { OnForecastCopy(); });
    // The combo holds the forecast list already: no database round trip (nor error box) per update.
    OnUpdateCommand(32806, [this, &hooks](CCmdUI& ui) {
        ui.Enable(hooks.selectForecastCopy && IsForecastSet() && m_forecastBar->forecastCombo()->count() > 1);
    });

    // Exchange.
    OnCommand(32794, [this, &hooks] {
        hooks.sendForecast(this, Settings().currentForecastId);
        m_child->NotifyEventJournal(1);
    });
    OnUpdateCommand(32794, [&hooks, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.sendForecast && forecastRights(kRoleExpert));
    });
    OnCommand(32796, [this, &hooks] { hooks.receiveForecast(this); });
    OnUpdateCommand(32796, [&hooks](CCmdUI& ui) {
        ui.Enable(hooks.receiveForecast && Settings().currentForecastStatus == 1 && HasRights(kRoleExpert));
    });
    OnCommand(32807, [this] { OnSendReferenceData(); });
    OnUpdateCommand(32807, [&hooks, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.sendReferenceData && Settings().currentForecastStatus == 1 && forecastRights(kRoleExpert));
    });
    OnCommand(32808, [this, &hooks] { hooks.receiveReferenceData(this); });
    OnUpdateCommand(32808, [&hooks](CCmdUI& ui) { ui.Enable(hooks.receiveReferenceData && HasRights(kRoleExpert)); });
    OnCommand(32861, [this, &hooks] { hooks.sendComments(this); });
    OnUpdateCommand(32861, [&hooks](CCmdUI& ui) { ui.Enable(hooks.sendComments && IsForecastSet()); });
    OnCommand(32862, [this, &hooks] { hooks.receiveComments(this); });
    OnUpdateCommand(32862, [&hooks](CCmdUI& ui) { ui.Enable(hooks.receiveComments && IsForecastSet()); });

    // Reports.
    for (int id : kReportCommands) {
        OnCommand(id, [this, id] { OnReport(id); });
        OnUpdateCommand(id, [&hooks, forecastRights](CCmdUI& ui) {
            ui.Enable(hooks.report && forecastRights(kRoleExpert | kRoleUser));
        });
    }
    // The search of the forecast bar is run by the active frame.
    for (int id : {1135, 1016})
        OnUpdateCommand(id, [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(kRoleExpert | kRoleUser)); });

    // The exchange journal list is not shown.
    OnCommand(32835, [] {});
    OnUpdateCommand(32835, [](CCmdUI& ui) { ui.Enable(Settings().currentForecastId > 0); });
    OnUpdateCommand(32800, [](CCmdUI& ui) { ui.Enable(Settings().currentForecastId > 0); });

    // Prices.
    OnCommand(32902, [this] { OnImportProducts(); });
    OnUpdateCommand(32902, [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(kRoleExpert)); });
    OnCommand(32904, [this, &hooks] { hooks.averagePriceImport(this); });
    OnUpdateCommand(32904, [&hooks, forecastRights](CCmdUI& ui) {
        ui.Enable(hooks.averagePriceImport && forecastRights(kRoleExpert));
    });
    OnCommand(32906, [this] { OnAveragePrices(); });
    OnUpdateCommand(32906, [forecastRights](CCmdUI& ui) { ui.Enable(forecastRights(kRoleExpert)); });

    // Settings, journal export, users.
    OnCommand(32868, [this] { OnSettings(); });
    OnUpdateCommand(32868, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.preferences)); });
    OnCommand(32888, [this, &hooks] {
        if (hooks.users)
            hooks.users(this);
    });
    OnUpdateCommand(32888, [](CCmdUI& ui) { ui.Enable(false); });
    OnCommand(32890, [this, &hooks] { hooks.exportOpJournal(this); });
    OnUpdateCommand(32890, [&hooks](CCmdUI& ui) { ui.Enable(bool(hooks.exportOpJournal)); });

    // Search.
    OnCommand(32896, [this] { m_forecastBar->searchCombo()->setFocus(); });
    OnCommand(32897, [] {});
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
        if (ui.checkChanged()) {
            action->setCheckable(true);
            action->setChecked(ui.checked());
        }
    }
    if (m_forecastBar) {
        // A button without a handler is disabled; the boxes change only when someone says so.
        m_forecastBar->searchButton()->setEnabled(UpdateCommand(*this, 1135).enabled());
        for (QComboBox* combo : {m_forecastBar->searchCombo(), m_forecastBar->forecastCombo()}) {
            CCmdUI ui(combo == m_forecastBar->searchCombo() ? 1016 : 1018);
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

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
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
    const int current = Settings().currentForecastId;
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

int CMainFrame::SelectedForecastId() const
{
    const QComboBox* combo = m_forecastBar->forecastCombo();
    return combo->currentIndex() >= 0 ? combo->currentData().toInt() : -1;
}

void CMainFrame::OnForecastSelChange()
{
    CWaitCursor wait;
    CSettings& s = Settings();
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
    const CSettings& s = Settings();
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
    const int status = Settings().currentForecastStatus;
    for (int i = 0; i < 3; ++i)
        m_forecastBar->statusPicture(i)->setVisible(i == status);
}

// ---------------------------------------------------------------------------------------------

void CMainFrame::OnForecastManager()
{
    ShellHooks().forecastManager(this);
    CSettings& s = Settings();
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
        if (CopyReceiverTree(source, Settings().currentForecastId))
            AppMessageBox(kReceiversCopied, MB_ICONINFORMATION, this);
    }
    OnForecastSelChange();
}

void CMainFrame::OnSendReferenceData()
{
    CSettings& s = Settings();
    if (s.ownReceiverId == -1)
        s.ownReceiverId = LoadImportedLeafReceivers(s.currentForecastId);
    if (!CheckCurrentForecast() || !CheckSelfReceiver())
        return;
    ShellHooks().sendReferenceData(this);
    m_child->NotifyEventJournal(1);
}

void CMainFrame::OnReport(int id)
{
    std::optional<CForecastRecord> forecast;
    if (FormCopiesSelection(id))
        Settings().currentForecastId = SelectedForecastId();
    if (FormTakesForecast(id))
        forecast = GetForecast(Settings().currentForecastId);
    ShellHooks().report(this, id, forecast);
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
    const int forecast = Settings().currentForecastId;
    // All products or none: a failure part-way leaves the stored averages as they were. Only the
    // three averages are written, so that what others changed meanwhile stays, and a product
    // deleted meanwhile stays deleted.
    CTransaction transaction;
    if (!transaction.isActive())
        return;
    std::vector<int> products;
    {
        CSqlQuery q(QStringLiteral("select p.id from tclsproduct p where p.prognoz = ? and p.isgroup = 0 and exists "
                                   "(select 1 from tfctprice pr where pr.prognoz = p.prognoz and pr.product = p.id)"));
        q.bind(forecast);
        if (!q.execOrReport())
            return;
        while (q.next())
            products.push_back(q.intValue("id"));
    }
    CSqlQuery update(QStringLiteral("update tclsproduct set avRep = ?, avCur = ?, avProg = ? where id = ? and prognoz = ?"));
    for (int id : products) {
        double last = 0, curr = 0, next = 0;
        // Zeros from a failed read are no averages: keep the stored ones.
        if (!ComputeDataAveragePrices(id, last, curr, next))
            return;
        update.bind(last).bind(curr).bind(next).bind(id).bind(forecast);
        if (!update.execOrReport())
            return;
    }
    transaction.commit();
}

void CMainFrame::OnImportProducts()
{
    const QString path = ModalHook().getOpenFileName(this, QString(), Settings().ImportDir,
                                                     QStringLiteral("Файлы XML (*.xml)"));
    if (path.isEmpty())
        return;
    QString reason;
    const XmlDocPtr doc = XmlParseFile(path, &reason);
    if (!doc) {
        AppMessageBox(kReadError.arg(path, reason), MB_ICONSTOP, this);
        return;
    }
    // Every section or none: a failing one undoes those before it.
    CTransaction transaction;
    if (!transaction.isActive())
        return;
    if (xmlNodePtr root = xmlDocGetRootElement(doc.get())) {
        for (xmlNodePtr child = root->children; child; child = child->next) {
            if (child->type == XML_ELEMENT_NODE
                && QString::fromUtf8(reinterpret_cast<const char*>(child->name)).compare(u"products", Qt::CaseInsensitive) == 0
                && !ImportAveragePricesXml(child))
                return;
        }
    }
    transaction.commit();
}
