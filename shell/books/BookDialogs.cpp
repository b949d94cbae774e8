#include "BookDialogs.h"

#include "AppMessage.h"
#include "MessageBoxDlg.h"
#include "ModalHook.h"
#include "NumericInput.h"
#include "Session.h"
#include "TableNotices.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using namespace BookDialogTexts;

namespace {

constexpr int kTextLimit = 255;
constexpr int kEventNameLimit = 49;
constexpr int kFieldPadding = 16; // the frame and margins of a line edit
constexpr int kWidestField = 900;

QLineEdit* LimitedEdit(QWidget* parent, const char* name, int limit = kTextLimit)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(limit);
    return edit;
}

} // namespace

bool IsValidEmail(const QString& address)
{
    const QString s = address.trimmed();
    const qsizetype n = s.size();
    qsizetype at = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i].unicode();
        const bool allowed = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
            || c == u'-' || c == u'_' || c == u'.' || c == u'@';
        if (!allowed)
            return false;
        if (c == u'@') {
            if (at >= 0 || i == 1 || i == n - 1)
                return false;
            at = i;
        } else if (c == u'.' && at >= 0 && i > 0 && s[i - 1] == u'.') {
            return false;
        }
    }
    const qsizetype lastDot = s.lastIndexOf(u'.');
    return n >= 7 && lastDot >= 0 && at >= 2 && s[at + 1] != u'.' && lastDot <= n - 2 && lastDot > at + 1;
}

// ---------------------------------------------------------------------------------------------

CBookEntityDlg::CBookEntityDlg(int dialogId, const QString& caption, bool viewOnly, QWidget* parent)
    : QDialog(parent)
    , m_viewOnly(viewOnly)
{
    setObjectName(QStringLiteral("id%1").arg(dialogId));
    setWindowTitle(caption);
}

QDialogButtonBox* OkCancelButtons(QDialog* dialog, QPushButton** ok)
{
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* okButton = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    okButton->setObjectName(QStringLiteral("id1"));
    okButton->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("id2"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    if (ok)
        *ok = okButton;
    return buttons;
}

void CBookEntityDlg::FinishLayout(QLayout* fields)
{
    QDialogButtonBox* buttons = OkCancelButtons(this, &m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

int CBookEntityDlg::DoModal()
{
    OnInitDialog();
    // Each field shows its whole text, up to a width that still fits a small screen.
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        const int wanted = edit->fontMetrics().horizontalAdvance(edit->text()) + kFieldPadding;
        edit->setMinimumWidth(std::max(edit->minimumWidth(), std::min(wanted, kWidestField)));
    }
    return ExecModal(*this);
}

void CBookEntityDlg::accept()
{
    if (m_viewOnly || Validate())
        QDialog::accept();
}

void CBookEntityDlg::Refuse(const QString& text, QWidget* field)
{
    AppMessageBox(text, MB_ICONEXCLAMATION, this);
    if (field)
        field->setFocus();
}

// ---------------------------------------------------------------------------------------------

CReceiverDlg::CReceiverDlg(const CReceiverRecord& rec, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(103, kReceiverCaption, viewOnly, parent)
    , name(rec.name)
    , email(rec.email)
    , type(rec.type)
    , isgroup(rec.isgroup)
{
    auto* form = new QFormLayout;
    m_name = LimitedEdit(this, "name");
    m_email = LimitedEdit(this, "email");
    m_emailLabel = new QLabel(QStringLiteral("E-Mail:"), this);
    form->addRow(QStringLiteral("Наименование:"), m_name);
    form->addRow(m_emailLabel, m_email);
    FinishLayout(form);
}

void CReceiverDlg::OnInitDialog()
{
    m_name->setText(name);
    m_email->setText(email);
    m_name->setEnabled(!m_viewOnly);
    m_email->setEnabled(!m_viewOnly);
    const bool groupLayout = isgroup != 0 && !showAsReceiver;
    m_email->setVisible(!groupLayout);
    m_emailLabel->setVisible(!groupLayout);
    setWindowTitle(groupLayout ? kReceiverGroupCaption : kReceiverCaption);
    adjustSize();
}

bool CReceiverDlg::Validate()
{
    if (m_name->text().isEmpty()) {
        Refuse(isgroup != 0 ? kGroupNameEmpty : kReceiverNameEmpty, m_name);
        return false;
    }
    const QString address = m_email->text().trimmed();
    if (!address.isEmpty() && !IsValidEmail(address)) {
        Refuse(kBadEmail, m_email);
        return false;
    }
    name = m_name->text();
    email = address;
    return true;
}

// ---------------------------------------------------------------------------------------------

CMeasurementDlg::CMeasurementDlg(const CMeasurementRecord& rec, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(133, QStringLiteral("Единица измерения"), viewOnly, parent)
    , id(rec.id)
    , name(rec.name)
    , code(rec.code)
    , designation(rec.oboznachenie)
{
    auto* form = new QFormLayout;
    m_name = LimitedEdit(this, "name");
    m_code = LimitedEdit(this, "code");
    m_designation = LimitedEdit(this, "designation");
    form->addRow(QStringLiteral("Наименование:"), m_name);
    form->addRow(QStringLiteral("Код"), m_code);
    form->addRow(QStringLiteral("Обозначение"), m_designation);
    FinishLayout(form);
}

void CMeasurementDlg::OnInitDialog()
{
    m_name->setText(name);
    m_code->setText(code);
    m_designation->setText(designation);
    for (QLineEdit* e : {m_name, m_code, m_designation})
        e->setEnabled(!m_viewOnly);
}

bool CMeasurementDlg::Validate()
{
    const QString newName = m_name->text();
    if (newName.isEmpty()) {
        Refuse(kNameEmpty, m_name);
        return false;
    }
    if (newName.size() > kTextLimit) {
        Refuse(kNameTooLong.arg(kTextLimit), m_name);
        return false;
    }
    if (m_code->text().size() > kTextLimit) {
        Refuse(kCodeTooLong.arg(kTextLimit), m_code);
        return false;
    }
    if (m_designation->text().size() > kTextLimit) {
        Refuse(kDesignationTooLong.arg(kTextLimit), m_designation);
        return false;
    }
    if (const auto stored = FindMeasurementByName(newName); stored && stored->id != id) {
        Refuse(kUnitExists, m_name);
        return false;
    }
    name = newName;
    code = m_code->text();
    designation = m_designation->text();
    return true;
}

// ---------------------------------------------------------------------------------------------

MConvertDlg::MConvertDlg(const CMConvertRecord& rec, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(105, QStringLiteral("Коэффициенты"), viewOnly, parent)
    , baseUnit(rec.base)
    , resultUnit(rec.produce)
    , koef(rec.koef)
    , m_rec(rec)
{
    auto* form = new QFormLayout;
    m_base = new QComboBox(this);
    m_base->setObjectName(QStringLiteral("base"));
    m_koef = new QLineEdit(this);
    m_koef->setObjectName(QStringLiteral("koef"));
    m_result = new QComboBox(this);
    m_result->setObjectName(QStringLiteral("result"));
    form->addRow(QStringLiteral("Исходная единица измерения:"), m_base);
    form->addRow(QStringLiteral("Коэффициент:"), m_koef);
    form->addRow(QStringLiteral("Результирующая единица измерения:"), m_result);
    FinishLayout(form);
}

void MConvertDlg::OnInitDialog()
{
    m_pairExisted = MConvertExists(m_rec.base, m_rec.produce);
    for (QComboBox* box : {m_base, m_result}) {
        box->clear();
        // Each unit goes on top: the lists show them in the reverse order of loading.
        for (const CMeasurementRecord& unit : LoadMeasurementsByType(unitType).value_or(CMeasurementList()))
            box->insertItem(0, unit.name, unit.id);
    }
    m_base->setCurrentIndex(m_base->findData(baseUnit));
    m_result->setCurrentIndex(m_result->findData(resultUnit));
    DDX_TextDecimal(false, m_koef, koef);
    for (QWidget* w : std::initializer_list<QWidget*>{m_base, m_result, m_koef})
        w->setEnabled(!m_viewOnly);
}

bool MConvertDlg::Validate()
{
    if (m_base->currentIndex() < 0 || m_result->currentIndex() < 0) {
        Refuse(kIncomplete, m_base->currentIndex() < 0 ? m_base : m_result);
        return false;
    }
    double value = 0.0;
    if (!DDX_TextDecimal(true, m_koef, value))
        return false;
    if (!(value > 0.0)) {
        Refuse(kKoefNotPositive, m_koef);
        return false;
    }
    const int base = m_base->currentData().toInt();
    const int result = m_result->currentData().toInt();
    if (base == result) {
        Refuse(kSameUnits, m_result);
        return false;
    }
    bool conflict;
    if (m_pairExisted) {
        const auto stored = FindMConvert(base, result);
        conflict = stored && stored->id != m_rec.id;
    } else {
        conflict = MConvertExists(base, result);
    }
    if (conflict) {
        Refuse(kConvertExists, m_base);
        return false;
    }
    baseUnit = base;
    resultUnit = result;
    koef = value;
    return true;
}

// ---------------------------------------------------------------------------------------------

CDocumentationDlg::CDocumentationDlg(const CDocumentationRecord& rec, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(141, QStringLiteral("Документ НСИ"), viewOnly, parent)
    , name(rec.name)
    , path(rec.filename)
    , m_rec(rec)
{
    auto* fields = new QVBoxLayout;
    auto* form = new QFormLayout;
    m_name = LimitedEdit(this, "name");
    form->addRow(QStringLiteral("Наименование:"), m_name);
    fields->addLayout(form);
    auto* box = new QGroupBox(QStringLiteral("Путь к файлу документа"), this);
    auto* row = new QHBoxLayout(box);
    m_path = new QLineEdit(box);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->setReadOnly(true);
    m_browse = new QPushButton(QStringLiteral("..."), box);
    m_browse->setObjectName(QStringLiteral("browse"));
    row->addWidget(m_path, 1);
    row->addWidget(m_browse);
    fields->addWidget(box);
    m_save = new QPushButton(QStringLiteral("Сохранить"), this);
    m_save->setObjectName(QStringLiteral("save"));
    fields->addWidget(m_save, 0, Qt::AlignLeft);
    FinishLayout(fields);
    connect(m_browse, &QPushButton::clicked, this, &CDocumentationDlg::OnBrowse);
    connect(m_save, &QPushButton::clicked, this, &CDocumentationDlg::OnSave);
}

void CDocumentationDlg::OnInitDialog()
{
    m_name->setText(name);
    m_path->setText(path);
    m_save->setEnabled(!path.isEmpty());
    m_name->setEnabled(!m_viewOnly);
    m_path->setEnabled(!m_viewOnly);
    m_browse->setEnabled(!m_viewOnly);
}

void CDocumentationDlg::OnBrowse()
{
    // Starts in the current file's folder with the file chosen.
    const QString chosen = ModalHook().getOpenFileName(this, QString(), m_path->text(), QString());
    if (!chosen.isEmpty())
        m_path->setText(chosen);
}

void CDocumentationDlg::OnSave()
{
    const QString target = ModalHook().getSaveFileName(this, QString(), m_rec.filename, QString());
    ShowResult(SaveDocumentAs(m_rec, target));
}

bool CDocumentationDlg::Validate()
{
    const QString newName = m_name->text();
    if (newName.isEmpty()) {
        Refuse(kDocumentNameEmpty, m_name);
        return false;
    }
    if (newName.size() > kTextLimit) {
        Refuse(kNameTooLong.arg(kTextLimit), m_name);
        return false;
    }
    const QString file = m_path->text();
    if (!QFileInfo(file).isFile()) {
        CMessageBoxDlg box(this);
        box.SetText(kFileNotFound.arg(file));
        box.SetStandardIcon(MB_ICONSTOP);
        box.AddButton(IDOK, true, true, 10); // string 10: "ОК"
        box.DoModal();
        return false;
    }
    name = newName;
    path = file;
    return true;
}

// ---------------------------------------------------------------------------------------------

CEventPropDlg::CEventPropDlg(bool viewOnly, QWidget* parent)
    : CBookEntityDlg(162, QStringLiteral("Событие"), viewOnly, parent)
{
    auto* form = new QFormLayout;
    m_name = LimitedEdit(this, "name", kEventNameLimit);
    form->addRow(m_name);
    FinishLayout(form);
}

void CEventPropDlg::OnInitDialog()
{
    m_name->setText(name);
    m_name->setEnabled(!m_viewOnly);
}

bool CEventPropDlg::Validate()
{
    name = m_name->text();
    return true;
}

// ---------------------------------------------------------------------------------------------

CMailingDlg::CMailingDlg(const CMailingRecord& rec, bool viewOnly, const CSessionState& session, QWidget* parent)
    : CBookEntityDlg(178, QStringLiteral("Рассылка"), viewOnly || rec.id > 0, parent)
    , m_rec(rec)
    , m_forecastId(session.currentForecastId)
    , m_ownReceiverId(session.ownReceiverId)
{
    // A new mailing belongs to the current forecast, whose receivers it names.
    if (m_rec.prognoz <= 0)
        m_rec.prognoz = m_forecastId;
    auto* form = new QFormLayout;
    m_subject = LimitedEdit(this, "subject");
    auto* receivers = new QHBoxLayout;
    m_receivers = new QLineEdit(this);
    m_receivers->setObjectName(QStringLiteral("receivers"));
    m_receivers->setReadOnly(true);
    m_choose = new QPushButton(QStringLiteral("..."), this);
    m_choose->setObjectName(QStringLiteral("choose"));
    receivers->addWidget(m_receivers, 1);
    receivers->addWidget(m_choose);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("text"));
    form->addRow(QStringLiteral("Тема:"), m_subject);
    form->addRow(QStringLiteral("Получатели:"), receivers);
    form->addRow(QStringLiteral("Текст:"), m_text);
    FinishLayout(form);
    connect(m_choose, &QPushButton::clicked, this, &CMailingDlg::OnChooseReceivers);
}

void CMailingDlg::OnInitDialog()
{
    m_subject->setText(m_rec.subject);
    m_text->setPlainText(m_rec.text);
    m_receivers->setText(m_rec.GetReceiverNames());
    m_subject->setEnabled(!m_viewOnly);
    m_text->setReadOnly(m_viewOnly);
    m_text->setEnabled(!m_viewOnly);
    m_choose->setEnabled(!m_viewOnly);
}

void CMailingDlg::OnChooseReceivers()
{
    CReceiverChoice choice;
    choice.forecastId = m_forecastId;
    choice.ownReceiverId = m_ownReceiverId;
    choice.multiple = true;
    for (const CMailingReceiverRecord& r : m_rec.receivers)
        choice.preset.push_back(r.receiverID);
    const auto chosen = ChooseReceivers(this, choice);
    if (!chosen)
        return;
    m_rec.receivers.clear();
    for (int id : *chosen)
        m_rec.receivers.push_back(CMailingReceiverRecord{-1, m_rec.id, id});
    m_receivers->setText(m_rec.GetReceiverNames());
}

bool CMailingDlg::Validate()
{
    m_rec.subject = m_subject->text();
    m_rec.text = m_text->toPlainText();
    return true;
}
