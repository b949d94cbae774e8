#include "ForecastDialogs.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "CheckDialogs.h"
#include "ColumnWidths.h"
#include "ModalHook.h"
#include "WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

using namespace ForecastDlgTexts;

namespace {

constexpr int kTextLimit = 255;
constexpr int kImageRole = Qt::UserRole + 1;

template <class W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QStringLiteral("id%1").arg(id));
    return widget;
}

// OK (id 1) and "Отмена" (id 2) below the dialog's fields.
QPushButton* AddButtons(QDialog* dlg, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(dlg);
    QPushButton* ok = Named(buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole), 1);
    ok->setDefault(true);
    Named(buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    layout->addWidget(buttons);
    return ok;
}

void Setup(QDialog* dlg, int id, const QString& caption)
{
    dlg->setObjectName(QStringLiteral("id%1").arg(id));
    dlg->setWindowTitle(caption);
}

// Grid lines right of and below each cell, over what the style paints: a style sheet on the items
// would take the selected row's texts away.
class CGridLinesDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        const QRect& r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

// A list of forecasts in report mode with the four columns, one row per forecast written by `write`.
// Each column is as wide as its caption and texts need (at least its usual width), or as the user
// left it in the dialog's profile section.
template <class Write>
QTreeWidget* ForecastList(QDialog* parent, int dialogId, QAbstractItemView::SelectionMode mode, Write write)
{
    auto* list = Named(new QTreeWidget(parent), 1024);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(mode);
    list->setItemDelegate(new CGridLinesDelegate(list));
    QStringList headers;
    for (const QString& c : kColumns)
        headers << c;
    list->setHeaderLabels(headers);
    static constexpr int kWidths[] = {60, 150, 60, 150};
    for (int i = 0; i < 4; ++i)
        list->setColumnWidth(i, kWidths[i]);
    if (const auto forecasts = LoadForecasts())
        for (const CForecastRecord& f : *forecasts)
            write(new QTreeWidgetItem(list), f);
    for (int i = 0; i < 4; ++i) {
        list->resizeColumnToContents(i);
        list->setColumnWidth(i, std::max(kWidths[i], list->columnWidth(i)));
    }
    (new CColumnWidths(list->header(), QString::number(dialogId, 16) + QStringLiteral("/Columns")))->Apply();
    return list;
}

// The dialog is as wide as its list's columns and what stands beside them.
void FitWidthToList(QDialog* dlg, QTreeWidget* list, int height)
{
    int columns = list->frameWidth() * 2 + list->verticalScrollBar()->sizeHint().width();
    for (int i = 0; i < list->columnCount(); ++i)
        columns += list->columnWidth(i);
    const int others = dlg->sizeHint().width() - list->sizeHint().width();
    dlg->resize(std::max(others + columns, dlg->sizeHint().width()), height);
}

// Every forecast except one as "<name> (<year> год)" with its id; none after a (shown) read error.
void FillForecastChoice(QComboBox* box, int except)
{
    const auto forecasts = LoadForecasts();
    if (!forecasts)
        return;
    for (const CForecastRecord& f : *forecasts)
        if (f.id != except)
            box->addItem(ForecastChoiceText(f), f.id);
}

QComboBox* CopyModeBox(QWidget* parent, bool trimmed)
{
    auto* box = Named(new QComboBox(parent), 1088);
    for (const QString& mode : kCopyModes)
        box->addItem(trimmed ? mode.trimmed() : mode);
    return box;
}

} // namespace

int ForecastImageIndex(const CForecastRecord& rec)
{
    return rec.status + (rec.owner == kOwnForecastOwner ? 3 : 0);
}

QString ForecastChoiceText(const CForecastRecord& rec)
{
    return QStringLiteral("%1 (%2 год)").arg(rec.name).arg(rec.year);
}

void FillForecastRow(QTreeWidgetItem* item, const CForecastRecord& rec)
{
    item->setText(0, GetForecastStatusName(rec.status));
    item->setText(1, rec.name);
    item->setText(2, QString::number(rec.year));
    item->setText(3, rec.ownerName);
    item->setData(0, Qt::UserRole, rec.id);
}

// ---------------------------------------------------------------------------------------------

CForecastPropDlg::CForecastPropDlg(const CForecastRecord& rec, QWidget* parent)
    : QDialog(parent)
    , name(rec.name)
    , year(rec.year)
    , ownerName(rec.ownerName)
{
    Setup(this, IDD, QStringLiteral("Свойства прогноза"));
    m_name = Named(new QLineEdit(rec.name, this), 1004);
    m_name->setMaxLength(kTextLimit);
    m_year = Named(new QLineEdit(this), 1006);
    m_year->setMaxLength(4);
    m_year->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,4}")), m_year));
    m_spin = Named(new QSpinBox(this), 1029);
    m_spin->setRange(1000, 9000);
    m_spin->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    if (rec.year >= 1000 && rec.year <= 9000)
        m_spin->setValue(rec.year);
    m_year->setText(QString::number(rec.year));
    connect(m_spin, &QSpinBox::valueChanged, this, [this](int v) { m_year->setText(QString::number(v)); });
    m_owner = Named(new QLineEdit(rec.ownerName, this), 1086);
    m_owner->setMaxLength(kTextLimit);
    m_owner->setEnabled(false);
    m_copy = Named(new QCheckBox(QStringLiteral("Копировать данные из прошлых прогнозов"), this), 1087);
    m_mode = CopyModeBox(this, false);
    m_source = Named(new QComboBox(this), 1016);
    FillForecastChoice(m_source, -1);

    auto* yearRow = new QHBoxLayout;
    yearRow->addWidget(m_year);
    yearRow->addWidget(m_spin);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Наименование:"), m_name);
    form->addRow(QStringLiteral("Год:"), yearRow);
    form->addRow(QStringLiteral("Владелец:"), m_owner);
    form->addRow(m_copy);
    form->addRow(QStringLiteral("Режим:"), m_mode);
    form->addRow(QStringLiteral("Прогноз:"), m_source);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    m_ok = AddButtons(this, layout);

    m_copy->setEnabled(rec.id == -1 && m_source->count() > 0);
    m_mode->setEnabled(false);
    m_source->setEnabled(false);
    connect(m_copy, &QCheckBox::clicked, this, &CForecastPropDlg::OnCopyClicked);
}

int CForecastPropDlg::DoModal()
{
    return ExecModal(*this);
}

void CForecastPropDlg::OnCopyClicked()
{
    const bool on = m_copy->isChecked();
    m_mode->setEnabled(on);
    m_source->setEnabled(on);
    m_ok->setEnabled(!on || m_source->count() > 0);
}

void CForecastPropDlg::accept()
{
    auto refuse = [this](const QString& text, QWidget* field) {
        AppMessageBox(text, MB_ICONINFORMATION, this);
        field->setFocus();
    };
    if (m_year->text().isEmpty())
        return refuse(kYearEmpty, m_year);
    if (m_name->text().isEmpty())
        return refuse(kNameEmpty, m_name);
    // The owner's edit is never enabled: a stored forecast without an owner name must stay editable.
    if (m_owner->isEnabled() && m_owner->text().isEmpty())
        return refuse(kOwnerEmpty, m_owner);
    name = m_name->text();
    year = m_year->text().toInt();
    ownerName = m_owner->text();
    copy = m_copy->isChecked();
    copyMode = m_mode->currentIndex();
    sourceForecast = m_source->currentIndex() >= 0 ? m_source->currentData().toInt() : -1;
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

CForecastStatusDlg::CForecastStatusDlg(const CForecastRecord& rec, QWidget* parent)
    : QDialog(parent)
    , status(rec.status)
{
    Setup(this, IDD, QStringLiteral("Статус прогноза"));
    m_status = Named(new QComboBox(this), 1018);
    for (int s = 0; s < 3; ++s)
        m_status->addItem(GetForecastStatusName(s));
    m_status->setCurrentIndex(rec.status);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Новый статус:"), m_status);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    AddButtons(this, layout);
}

int CForecastStatusDlg::DoModal()
{
    return ExecModal(*this);
}

void CForecastStatusDlg::accept()
{
    status = m_status->currentIndex();
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

CSelectForecastDlg::CSelectForecastDlg(int currentForecast, QWidget* parent)
    : QDialog(parent)
{
    Setup(this, IDD, QStringLiteral("Копирование прогноза"));
    m_forecasts = Named(new QComboBox(this), 1018);
    FillForecastChoice(m_forecasts, currentForecast);
    QComboBox* mode = CopyModeBox(this, true);
    mode->setEnabled(false);
    auto* receiver = Named(new QLineEdit(this), 1006);
    receiver->setEnabled(false);
    auto* browse = Named(new QPushButton(QStringLiteral("..."), this), 1118);
    browse->setEnabled(false);
    auto* receiverRow = new QHBoxLayout;
    receiverRow->addWidget(receiver);
    receiverRow->addWidget(browse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Прогноз:"), m_forecasts);
    form->addRow(QStringLiteral("Режим:"), mode);
    form->addRow(QStringLiteral("Получатель:"), receiverRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    m_ok = AddButtons(this, layout);
    m_ok->setEnabled(m_forecasts->count() > 0);
}

int CSelectForecastDlg::DoModal()
{
    return ExecModal(*this);
}

void CSelectForecastDlg::accept()
{
    if (m_forecasts->currentIndex() < 0)
        return;
    sourceForecast = m_forecasts->currentData().toInt();
    copyMode = 0;
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

CSelectMultiForecast::CSelectMultiForecast(QWidget* parent)
    : QDialog(parent)
{
    Setup(this, IDD, QStringLiteral("Выберите прогнозы"));
    m_list = ForecastList(this, IDD, QAbstractItemView::ExtendedSelection, &FillForecastRow);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    AddButtons(this, layout);
    FitWidthToList(this, m_list, 300);
}

int CSelectMultiForecast::DoModal()
{
    return ExecModal(*this);
}

void CSelectMultiForecast::accept()
{
    std::vector<int> ids;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (QTreeWidgetItem* item = m_list->topLevelItem(i); item->isSelected())
            ids.push_back(item->data(0, Qt::UserRole).toInt());
    if (ids.empty()) {
        AppMessageBox(kSelectOne, MB_ICONEXCLAMATION, this);
        return;
    }
    selectedIds = std::move(ids);
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

CForecastMngrDlg::CForecastMngrDlg(QWidget* parent, bool mayChange)
    : QDialog(parent)
    , m_mayChange(mayChange)
{
    Setup(this, IDD, QStringLiteral("Прогноз"));
    m_list = ForecastList(this, IDD, QAbstractItemView::SingleSelection,
                          [this](QTreeWidgetItem* item, const CForecastRecord& f) { WriteRow(item, f); });
    auto* buttons = new QVBoxLayout;
    const std::pair<int, const char16_t*> kButtons[] = {
        {1025, u"Добавить"}, {1026, u"Редактировать"}, {1027, u"Удалить"}, {1028, u"Статус"}, {1, u"Закрыть"}};
    for (const auto& [id, caption] : kButtons) {
        auto* b = Named(new QPushButton(QString::fromUtf16(caption), this), id);
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    FitWidthToList(this, m_list, 320);

    connect(button(1025), &QPushButton::clicked, this, &CForecastMngrDlg::OnAdd);
    connect(button(1026), &QPushButton::clicked, this, &CForecastMngrDlg::OnEdit);
    connect(button(1027), &QPushButton::clicked, this, &CForecastMngrDlg::OnDelete);
    connect(button(1028), &QPushButton::clicked, this, &CForecastMngrDlg::OnStatus);
    connect(button(1), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CForecastMngrDlg::OnSelectionChanged);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_mayChange)
            OnEdit();
    });

    const bool any = m_mayChange && m_list->topLevelItemCount() > 0;
    for (int id : {1026, 1027, 1028})
        button(id)->setEnabled(any);
    // Forecasts arrive with the reference data of the organisation above.
    button(1025)->setEnabled(false);
}

int CForecastMngrDlg::DoModal()
{
    return ExecModal(*this);
}

QPushButton* CForecastMngrDlg::button(int id) const
{
    return findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
}

void CForecastMngrDlg::WriteRow(QTreeWidgetItem* item, const CForecastRecord& rec)
{
    FillForecastRow(item, rec);
    const int image = ForecastImageIndex(rec);
    item->setData(0, kImageRole, image);
    item->setIcon(0, ForecastStatusIcon(rec.status, image >= 3));
}

QTreeWidgetItem* CForecastMngrDlg::Selected() const
{
    const auto items = m_list->selectedItems();
    return items.isEmpty() ? nullptr : items.front();
}

void CForecastMngrDlg::OnSelectionChanged()
{
    const bool any = m_mayChange && Selected() != nullptr;
    for (int id : {1026, 1027, 1028})
        button(id)->setEnabled(any);
}

// The properties of the record; on OK it takes what was entered and is saved under the wait cursor, a
// new one created with the copy chosen (an existing one cannot choose any).
bool CForecastMngrDlg::EditProperties(CForecastRecord& rec)
{
    CForecastPropDlg dlg(rec, this);
    if (dlg.DoModal() != QDialog::Accepted)
        return false;
    rec.name = dlg.name;
    rec.year = dlg.year;
    rec.ownerName = dlg.ownerName;
    const int mode = dlg.copy ? dlg.copyMode : -1;
    CWaitCursor wait;
    return CreateForecast(rec, dlg.copy ? dlg.sourceForecast : -1, mode >= 1, mode == 0, mode == 2);
}

void CForecastMngrDlg::OnAdd()
{
    CForecastRecord rec;
    rec.year = QDate::currentDate().year();
    if (EditProperties(rec))
        WriteRow(new QTreeWidgetItem(m_list), rec);
}

std::optional<CForecastRecord> CForecastMngrDlg::SelectedForecast(QTreeWidgetItem*& item) const
{
    item = Selected();
    if (!item)
        return std::nullopt;
    return GetForecast(item->data(0, Qt::UserRole).toInt());
}

void CForecastMngrDlg::OnEdit()
{
    QTreeWidgetItem* item;
    auto rec = SelectedForecast(item);
    if (!rec)
        return;
    if (rec->year == 0)
        rec->year = QDate::currentDate().year();
    if (EditProperties(*rec))
        WriteRow(item, *rec);
}

void CForecastMngrDlg::OnDelete()
{
    QTreeWidgetItem* item = Selected();
    if (!item)
        return;
    if (AppMessageBox(kDeleteQuestion, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return;
    bool deleted = false;
    try {
        CWaitCursor wait;
        // A database error is shown where it happens and leaves everything in place.
        deleted = DeleteForecastWithData(item->data(0, Qt::UserRole).toInt());
    } catch (const std::exception&) {
        AppMessageBox(kDeleteFailed, MB_ICONSTOP, this);
        return;
    }
    if (deleted)
        delete item;
}

void CForecastMngrDlg::OnStatus()
{
    QTreeWidgetItem* item;
    auto rec = SelectedForecast(item);
    if (!rec)
        return;
    CForecastStatusDlg dlg(*rec, this);
    if (dlg.DoModal() != QDialog::Accepted || dlg.status == rec->status)
        return;
    QString question;
    switch (dlg.status) {
    case 0:
        if (rec->owner != kOwnForecastOwner) {
            AppMessageBox(kOnlyOwnToProject, MB_ICONINFORMATION, this);
            return;
        }
        question = kToProject;
        break;
    case 1:
        question = rec->status == 0 ? kNsiDone : kBackToEditing;
        break;
    default:
        question = kCloseForecast;
        break;
    }
    if (AppMessageBox(question, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
        return;
    if (rec->status == 0 && AppMessageBox(kCheckFirst, MB_YESNO | MB_ICONQUESTION, this) == IDYES) {
        // The window closes itself when the user closes it meanwhile.
        QPointer<CExportNSIDlg> check = new CExportNSIDlg(this);
        check->setWindowTitle(kCheckTitle);
        check->show();
        const bool clean = check->CheckNSI(rec->id);
        const bool go = clean || AppMessageBox(kCheckFound, MB_YESNO | MB_ICONQUESTION, this) == IDYES;
        if (check) {
            check->hide();
            delete check.data();
        }
        if (!go)
            return;
    }
    rec->status = dlg.status;
    if (SaveForecast(*rec))
        WriteRow(item, *rec);
}
