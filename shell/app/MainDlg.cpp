#include "MainDlg.h"

#include "FontStatic.h"
#include "ProgressBar.h"
#include "Session.h"
#include "ShellHooks.h"
#include "tables/ReceiverMap.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QVBoxLayout>

using namespace MainDlgTexts;

namespace {

constexpr int kJournalSlot = BOOK_COUNT + 1; // after the books and the editor

struct FieldRow {
    int slot;
    const char16_t* caption;
    const char* column;
    int kind;
    int width;
    const char* lookupTable;
    const char* lookupField;
};

// The list fields of each frame; the columns are SQL expressions of the frames' list queries.
constexpr FieldRow kFields[] = {
    {kJournalSlot, u"Организация", "r.name", FF_TEXT, 200, nullptr, nullptr},
    {kJournalSlot, u"Событие", "t.name", FF_TEXT, 200, nullptr, nullptr},
    {kJournalSlot, u"Дата отправки", "send", FF_DATE, 100, nullptr, nullptr},
    {kJournalSlot, u"Дата получения", "received", FF_DATE, 100, nullptr, nullptr},
    {kJournalSlot, u"Примечание", "comment", FF_TEXT, 300, nullptr, nullptr},
    {BOOK_RECEIVERS, u"Наименование", "name", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_RECEIVERS, u"E-Mail", "email", FF_TEXT, 100, nullptr, nullptr},
    {BOOK_PRODUCTS, u"Код", "code", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_PRODUCTS, u"Наименование", "name", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_PRODUCTS, u"Комментарии", "comment", FF_TEXT, 100, nullptr, nullptr},
    {BOOK_PRODUCTS, u"Минимальное", "offsetmin", FF_DECIMAL, 90, nullptr, nullptr},
    {BOOK_PRODUCTS, u"Максимальное", "offsetmax", FF_DECIMAL, 90, nullptr, nullptr},
    {BOOK_MEASUREMENTS, u"Код", "code", FF_TEXT, 200, nullptr, nullptr},
    {BOOK_MEASUREMENTS, u"Наименование", "name", FF_TEXT, 200, nullptr, nullptr},
    {BOOK_MEASUREMENTS, u"Обозначение", "oboznachenie", FF_TEXT, 200, nullptr, nullptr},
    {BOOK_CONVERSIONS, u"Единица старая", "base", FF_REFERENCE, 200, "tClsMeasurement", "name"},
    {BOOK_CONVERSIONS, u"Единица новая", "produce", FF_REFERENCE, 200, "tClsMeasurement", "name"},
    {BOOK_CONVERSIONS, u"Коэффициент", "koef", FF_DECIMAL, 100, nullptr, nullptr},
    {BOOK_DOCUMENTATION, u"Наименование", "name", FF_TEXT, 300, nullptr, nullptr},
    {BOOK_DOCUMENTATION, u"Файл", "filename", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_MAILINGS, u"Дата рассылки", "mailingdate", FF_DATE, 300, nullptr, nullptr},
    {BOOK_MAILINGS, u"Тема", "subject", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_MAILINGS, u"Текст", "text", FF_TEXT, 400, nullptr, nullptr},
    {BOOK_EVENT_TYPES, u"Наименование", "name", FF_TEXT, 500, nullptr, nullptr},
};

QString Latin(const char* text)
{
    return text ? QString::fromLatin1(text) : QString();
}

} // namespace

CMainDlg::CMainDlg(CSessionState& session, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("id148"));
    CreateControls();
    CreateFrames();

    m_bookName->SetFont(QStringLiteral("MS Sans Serif"), 20, QColor(255, 255, 255),
                        CFontStatic::Bold | CFontStatic::AlignCentre);
    m_bookName->SetBackgroundColour(QColor(100, 100, 100));

    OnBookSelChange();
    FillSections();
    m_private->setChecked(true);
    OnPrivateForecast();
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::CreateControls()
{
    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("id1039"));
    m_tabs->setExpanding(false);
    m_settingTab = true;
    for (const QString& tab : kTabs)
        m_tabs->addTab(tab);
    m_settingTab = false;
    // Clicks and keys switch the tab; the panel's own changes of it do not count as a switch.
    connect(m_tabs, &QTabBar::currentChanged, this, [this] {
        if (!m_settingTab)
            OnTabSelChange();
    });

    auto* pane = new QFrame(this);
    pane->setFrameShape(QFrame::StyledPanel);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(4, 4, 4, 4);

    auto* header = new QWidget(pane);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto named = [](QWidget* w, int id) {
        w->setObjectName(QStringLiteral("id%1").arg(id));
        return w;
    };
    m_bookCaption = new QLabel(kCurrentBook, header);
    row->addWidget(named(m_bookCaption, 1040));
    m_books = new QComboBox(header);
    for (const QString& book : kBooks)
        m_books->addItem(book);
    m_books->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    row->addWidget(named(m_books, 1018));
    m_bookCaption->setBuddy(m_books);
    m_bookName = new CFontStatic(header);
    m_bookName->setMinimumHeight(24);
    row->addWidget(named(m_bookName, 1042), 1);

    m_organisationCaption = new QLabel(kCurrentOrganisation, header);
    row->addWidget(named(m_organisationCaption, 1038));
    m_organisation = new QLabel(header);
    m_organisation->setMinimumWidth(200);
    row->addWidget(named(m_organisation, 1104));
    m_choose = new QPushButton(QStringLiteral("..."), header);
    m_choose->setFixedWidth(m_choose->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    row->addWidget(named(m_choose, 1103));
    m_consolidated = new QRadioButton(kConsolidatedRadio, header);
    row->addWidget(named(m_consolidated, 1105));
    m_private = new QRadioButton(kPrivateRadio, header);
    row->addWidget(named(m_private, 1106));
    row->addStretch(0);
    // The row keeps its height when the journal tab hides every control in it.
    header->setMinimumHeight(std::max(m_books->sizeHint().height(), m_bookName->minimumHeight()));
    paneLayout->addWidget(header);

    m_page = new QWidget(pane);
    m_pageLayout = new QGridLayout(m_page);
    m_pageLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->addWidget(m_page, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);
    layout->addWidget(m_tabs);
    layout->addWidget(pane, 1);

    connect(m_books, &QComboBox::activated, this, [this] { OnBookSelChange(); });
    connect(m_consolidated, &QRadioButton::clicked, this, [this] { OnConsolidatedForecast(); });
    connect(m_private, &QRadioButton::clicked, this, [this] { OnPrivateForecast(); });
    connect(m_choose, &QPushButton::clicked, this, [this] { OnChooseOrganisation(); });
}

void CMainDlg::CreateFrames()
{
    const CPanelFrameFactories& factories = PanelFrameFactories();
    // Every frame shares the one cell of the page; only the shown one takes it.
    auto place = [this](auto* frame) {
        if (frame) {
            frame->hide();
            m_pageLayout->addWidget(frame, 0, 0);
        }
        return frame;
    };
    for (int i = 0; i < BOOK_COUNT; ++i) {
        const auto& factory = factories.books[size_t(i)];
        m_bookFrames[size_t(i)] = place(factory ? factory(m_page, m_session) : new CPanelFrame(m_page));
    }
    if (CPanelFrame* first = m_bookFrames[BOOK_RECEIVERS])
        first->show();
    m_books->setCurrentIndex(0);
    m_chosenBook = 0;

    m_forecast = place(factories.forecast ? factories.forecast(m_page, m_session) : new CForecastFrameBase(m_page));
    m_journal = place(factories.journal ? factories.journal(m_page, m_session) : new CPanelFrame(m_page));
    SetupFilterFields(m_journal, kJournalSlot);
}

void CMainDlg::SetupFilterFields(CPanelFrame* frame, int slot)
{
    if (!frame || frame->HasFilterFields())
        return;
    for (const FieldRow& f : kFields) {
        if (f.slot == slot)
            frame->AddFilterField(QString::fromUtf16(f.caption), Latin(f.column), f.kind, true, f.width,
                                  Latin(f.lookupTable), Latin(f.lookupField));
    }
    frame->InitListColumns();
}

std::vector<CPanelFrame*> CMainDlg::Frames() const
{
    std::vector<CPanelFrame*> out;
    for (CPanelFrame* frame : m_bookFrames) {
        if (frame)
            out.push_back(frame);
    }
    for (CPanelFrame* frame : {static_cast<CPanelFrame*>(m_forecast), m_journal}) {
        if (frame)
            out.push_back(frame);
    }
    return out;
}

CPanelFrame* CMainDlg::bookFrame(int book) const
{
    return book >= 0 && book < BOOK_COUNT ? m_bookFrames[size_t(book)] : nullptr;
}

bool CMainDlg::privateForecastChecked() const
{
    return m_private->isChecked();
}

// ---------------------------------------------------------------------------------------------

void CMainDlg::OnTabSelChange()
{
    ProgressCreate();
    try {
        FillSections();
    } catch (...) {
        // A frame that failed to show itself leaves the panel usable.
    }
    ProgressDestroy();
}

void CMainDlg::OnBookSelChange()
{
    if (CPanelFrame* previous = bookFrame(m_chosenBook))
        previous->hide();
    m_chosenBook = m_books->currentIndex();
    if (CPanelFrame* chosen = bookFrame(m_chosenBook)) {
        chosen->show();
        SetupFilterFields(chosen, m_chosenBook);
    }
    m_bookName->setText(m_books->currentText());
    m_bookName->update();
}

void CMainDlg::FillSections()
{
    const int tab = m_tabs->currentIndex();
    const bool books = tab == TAB_BOOKS;
    const bool forecast = tab == TAB_FORECAST;
    const bool journal = tab == TAB_JOURNAL;
    auto setShown = [](QWidget* w, bool on) {
        if (w)
            w->setVisible(on);
    };
    // The other sections go before the tab's own frame shows.
    if (!books)
        setShown(bookFrame(m_chosenBook), false);
    if (!forecast)
        setShown(m_forecast, false);
    if (!journal)
        setShown(m_journal, false);
    if (books) {
        setShown(bookFrame(m_chosenBook), true);
        OnBookSelChange();
    }
    if (forecast) {
        setShown(m_forecast, true);
        m_session.changeFlags &= ~CHANGE_RECEIVERS;
    }
    if (journal) {
        setShown(m_journal, true);
        // A forecast change empties a hidden frame's fields; the journal takes them back here.
        SetupFilterFields(m_journal, kJournalSlot);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_books, m_bookCaption, m_bookName})
        w->setVisible(books);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_choose, m_consolidated, m_private, m_organisation, m_organisationCaption})
        w->setVisible(forecast);
}

void CMainDlg::OnConsolidatedForecast()
{
    m_choose->setEnabled(false);
    m_organisation->setText(kConsolidated);
    // A second click finds the consolidated forecast shown: the organisation is kept.
    if (m_forecast && m_forecast->receiverId() != 0)
        m_rememberedReceiver = m_forecast->receiverId();
    if (m_forecast)
        m_forecast->SetReceiver(0);
}

void CMainDlg::OnPrivateForecast()
{
    m_choose->setEnabled(bool(ShellHooks().chooseOrganisation));
    m_organisation->clear();
    const int receiver =
        m_rememberedReceiver >= 1 ? m_rememberedReceiver : GetEditedReceiverId(m_session.currentForecastId);
    if (ShowReceiver(receiver))
        return;
    m_rememberedReceiver = -1;
    if (m_forecast)
        m_forecast->SetReceiver(-1);
}

bool CMainDlg::ShowReceiver(int receiverId)
{
    const auto found = receiverId >= 1 ? GetForecastReceiver(receiverId, m_session.currentForecastId) : std::nullopt;
    if (!found)
        return false;
    m_organisation->setText(found->name);
    m_rememberedReceiver = found->id;
    if (m_forecast)
        m_forecast->SetReceiver(found->id);
    return true;
}

void CMainDlg::ResetConsolidatedSelection()
{
    m_rememberedReceiver = -1;
    if (m_forecast)
        m_forecast->Refresh(false, false);
}

void CMainDlg::OnChooseOrganisation()
{
    const auto& choose = ShellHooks().chooseOrganisation;
    if (!choose)
        return;
    // A receiver that the current forecast does not hold changes nothing.
    if (const std::optional<int> chosen = choose(this, m_session.currentForecastId))
        ShowReceiver(*chosen);
}
