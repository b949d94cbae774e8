#include "DirectoryFilterDlg.h"

#include "AppMessage.h"
#include "ModalHook.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace FilterTexts;

namespace {

constexpr int kTextLimit = 255;
constexpr int kDateLimit = 21;
constexpr int kNumberLimit = 16;

struct OperatorEntry {
    int op;
    const char16_t* text;
};
constexpr OperatorEntry kTextOperators[] = {
    {FO_CONTAINS, u"содержит"}, {FO_STARTS_WITH, u"начинается с"}, {FO_ENDS_WITH, u"заканчивается"}};
constexpr OperatorEntry kComparisons[] = {{FO_EQUAL, u"="},          {FO_GREATER, u">"},     {FO_LESS, u"<"},
                                          {FO_GREATER_EQUAL, u">="}, {FO_LESS_EQUAL, u"<="}, {FO_NOT_EQUAL, u"<>"}};
constexpr OperatorEntry kYesNo[] = {{0, u""}, {FO_YES, u"Да"}, {FO_NO, u"Нет"}};

// The message for a value that a field of this kind refuses; empty when it passes.
QString CheckValue(const CFilterField& field)
{
    const QString value = field.value.trimmed();
    if (value.isEmpty())
        return QString();
    switch (field.kind) {
    case FF_TEXT:
        if (value.size() > kTextLimit)
            return kTextTooLong.arg(kTextLimit);
        break;
    case FF_INTEGER:
    case FF_DECIMAL:
        if (field.kind == FF_INTEGER ? !ParseFilterInteger(value) : !ParseFilterNumber(value))
            return kNotNumber;
        if (value.size() > kNumberLimit)
            return kValueTooLong.arg(kNumberLimit);
        break;
    case FF_DATE:
        if (!ParseFilterDate(value))
            return kNotDate;
        if (value.size() > kDateLimit)
            return kDateTooLong.arg(kDateLimit);
        break;
    default:
        break;
    }
    return QString();
}

} // namespace

CDirectoryFilterDlg::CDirectoryFilterDlg(const CFilterFieldList& fields, QWidget* parent)
    : QDialog(parent)
    , m_fields(fields)
{
    setObjectName(QStringLiteral("id%1").arg(IDD));
    setWindowTitle(kCaption);

    auto* fieldsBox = new QGroupBox(QStringLiteral("Реквизиты справочника"), this);
    m_list = new QListWidget(fieldsBox);
    m_list->setObjectName(QStringLiteral("id1000"));
    (new QVBoxLayout(fieldsBox))->addWidget(m_list);

    auto* conditionBox = new QGroupBox(QStringLiteral("Условие фильтра"), this);
    m_operator = new QComboBox(conditionBox);
    m_operator->setObjectName(QStringLiteral("id1002"));
    // Each field kind brings its own operators: the box is as wide as the longest.
    m_operator->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_value = new QLineEdit(conditionBox);
    m_value->setObjectName(QStringLiteral("id1001"));
    m_date = new QDateEdit(conditionBox);
    m_date->setObjectName(QStringLiteral("id1003"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setDate(QDate::currentDate());
    m_operator->setEnabled(false);
    m_date->setEnabled(false);
    m_conditionLayout = new QGridLayout(conditionBox);
    m_conditionLayout->addWidget(m_operator, 0, 0);
    m_conditionLayout->addWidget(m_value, 0, 1);
    m_conditionLayout->addWidget(m_date, 1, 1);
    m_conditionLayout->setColumnStretch(1, 1);
    m_conditionLayout->setRowStretch(2, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* clear = buttons->addButton(QStringLiteral("Очистить"), QDialogButtonBox::ResetRole);
    clear->setObjectName(QStringLiteral("id1132"));
    auto* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("id2"));

    auto* top = new QHBoxLayout;
    top->addWidget(fieldsBox, 1);
    top->addWidget(conditionBox, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &CDirectoryFilterDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDirectoryFilterDlg::reject);
    connect(clear, &QPushButton::clicked, this, &CDirectoryFilterDlg::OnClear);
    connect(m_list, &QListWidget::currentRowChanged, this, &CDirectoryFilterDlg::OnFieldChanged);
    connect(m_operator, &QComboBox::activated, this, &CDirectoryFilterDlg::OnOperatorChosen);
    // A click on the day already shown counts as a choice too.
    auto pickDate = [this](const QDate& d) {
        if (!m_showing)
            m_value->setText(FilterDateText(d));
    };
    connect(m_date, &QDateEdit::dateChanged, this, pickDate);
    connect(m_date->calendarWidget(), &QCalendarWidget::clicked, this, pickDate);

    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (!m_fields[i].visible)
            continue;
        auto* entry = new QListWidgetItem(m_fields[i].caption, m_list);
        entry->setData(Qt::UserRole, int(i));
    }
    m_list->setCurrentRow(-1);
    resize(488, 234);
}

CDirectoryFilterDlg::~CDirectoryFilterDlg() = default;

int CDirectoryFilterDlg::DoModal()
{
    return ExecModal(*this);
}

void CDirectoryFilterDlg::OnFieldChanged(int entry)
{
    StoreCondition();
    QListWidgetItem* item = m_list->item(entry);
    ShowField(item ? item->data(Qt::UserRole).toInt() : -1);
}

void CDirectoryFilterDlg::StoreCondition()
{
    if (m_current < 0)
        return;
    CFilterField& field = m_fields[size_t(m_current)];
    field.value = m_value->text();
    if (field.kind == FF_REFERENCE)
        field.op = field.value.isEmpty() ? FO_NONE : FO_EQUAL;
    else if (m_operator->currentIndex() >= 0)
        field.op = m_operator->currentData().toInt();
}

void CDirectoryFilterDlg::ShowField(int index)
{
    m_current = index;
    m_showing = true;
    if (index < 0) {
        m_value->clear();
        m_operator->clear();
        m_operator->setEnabled(false);
        m_date->setEnabled(false);
        m_showing = false;
        return;
    }
    const CFilterField& field = m_fields[size_t(index)];
    m_value->setText(field.value);
    const bool date = field.kind == FF_DATE;
    m_date->setEnabled(date);
    m_value->setReadOnly(date);
    m_value->setEnabled(field.kind <= FF_DATE);
    if (date) {
        if (const auto day = ParseFilterDate(field.value))
            m_date->setDate(*day);
    }
    // A reference's values take the whole width of the condition.
    m_conditionLayout->removeWidget(m_operator);
    if (field.kind == FF_REFERENCE) {
        m_value->hide();
        m_conditionLayout->addWidget(m_operator, 0, 0, 1, 2);
    } else {
        m_value->show();
        m_conditionLayout->addWidget(m_operator, 0, 0);
    }
    FillOperators(field);
    m_operator->setEnabled(true);
    const int wanted = field.kind == FF_REFERENCE ? int(ParseFilterInteger(field.value).value_or(0)) : field.op;
    const int at = m_operator->findData(wanted);
    m_operator->setCurrentIndex(at >= 0 ? at : 0);
    m_showing = false;
}

void CDirectoryFilterDlg::FillOperators(const CFilterField& field)
{
    m_operator->clear();
    auto add = [this](const auto& entries) {
        for (const OperatorEntry& e : entries)
            m_operator->addItem(QString::fromUtf16(e.text), e.op);
    };
    switch (field.kind) {
    case FF_TEXT:
        add(kTextOperators);
        break;
    case FF_INTEGER:
    case FF_DECIMAL:
    case FF_DATE:
        add(kComparisons);
        break;
    case FF_YESNO:
        add(kYesNo);
        break;
    case FF_REFERENCE:
        m_operator->addItem(QString(), 0);
        for (const auto& [id, text] : FilterLookupEntries(field.lookupTable, field.lookupField))
            m_operator->addItem(text, id);
        break;
    default:
        break;
    }
}

void CDirectoryFilterDlg::OnOperatorChosen()
{
    if (m_current < 0)
        return;
    const int kind = m_fields[size_t(m_current)].kind;
    if (kind == FF_YESNO) {
        m_value->setText(m_operator->currentText());
    } else if (kind == FF_REFERENCE) {
        const int id = m_operator->currentData().toInt();
        m_value->setText(id != 0 ? QString::number(id) : QString());
    }
}

void CDirectoryFilterDlg::OnClear()
{
    for (CFilterField& field : m_fields) {
        if (field.visible)
            field.value.clear();
    }
    ShowField(m_current);
}

int CDirectoryFilterDlg::FirstInvalidField(const CFilterFieldList& fields, QString* message)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (!fields[i].visible)
            continue;
        const QString text = CheckValue(fields[i]);
        if (!text.isEmpty()) {
            if (message)
                *message = text;
            return int(i);
        }
    }
    return -1;
}

void CDirectoryFilterDlg::accept()
{
    StoreCondition();
    QString message;
    const int invalid = FirstInvalidField(m_fields, &message);
    if (invalid < 0) {
        QDialog::accept();
        return;
    }
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->data(Qt::UserRole).toInt() == invalid) {
            m_list->setCurrentRow(row);
            break;
        }
    }
    m_value->setFocus();
    AppMessageBox(message, MB_ICONEXCLAMATION, this);
}
