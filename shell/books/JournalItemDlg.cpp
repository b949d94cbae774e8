#include "JournalItemDlg.h"

#include "DirectoryDialogs.h"
#include "ModalHook.h"
#include "Session.h"
#include "tables/ImportEventTypes.h"
#include "tables/Receivers.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include <set>

using namespace JournalItemTexts;

namespace {

// A picker whose lowest value stands for "no date" and shows nothing.
QDateTimeEdit* DatePicker(QWidget* parent, int id)
{
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QStringLiteral("id%1").arg(id));
    edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy H:mm:ss"));
    edit->setMinimumDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    edit->setSpecialValueText(QStringLiteral(" "));
    return edit;
}

void SetPicker(QDateTimeEdit* edit, const QDateTime& value)
{
    edit->setDateTime(value.isValid() ? value : edit->minimumDateTime());
}

QDateTime PickerValue(const QDateTimeEdit* edit)
{
    return edit->dateTime() == edit->minimumDateTime() ? QDateTime() : edit->dateTime();
}

} // namespace

CJournalItemDlg::CJournalItemDlg(const CImportStatusRecord& rec, bool readOnly, CSessionState& session, QWidget* parent)
    : CBookEntityDlg(161, kCaption, readOnly, parent)
    , receiver(rec.receiver)
    , event(rec.event)
    , send(rec.send)
    , received(rec.received)
    , comment(rec.comment)
    , m_session(session)
{
    auto* form = new QFormLayout;
    auto* orgRow = new QHBoxLayout;
    m_organisation = new QLineEdit(this);
    m_organisation->setObjectName(QStringLiteral("id1076"));
    m_organisation->setReadOnly(true);
    m_choose = new QPushButton(QStringLiteral("Выбрать"), this);
    m_choose->setObjectName(QStringLiteral("id1037"));
    orgRow->addWidget(m_organisation, 1);
    orgRow->addWidget(m_choose);
    form->addRow(QStringLiteral("Организация:"), orgRow);
    m_send = DatePicker(this, 1004);
    form->addRow(QStringLiteral("Дата отправки данных:"), m_send);
    m_received = DatePicker(this, 1003);
    form->addRow(QStringLiteral("Дата получения данных:"), m_received);
    auto* eventRow = new QHBoxLayout;
    m_event = new QComboBox(this);
    m_event->setObjectName(QStringLiteral("id1077"));
    m_addEvent = new QPushButton(QStringLiteral("Добавить"), this);
    m_addEvent->setObjectName(QStringLiteral("id1078"));
    eventRow->addWidget(m_event, 1);
    eventRow->addWidget(m_addEvent);
    form->addRow(QStringLiteral("Событие:"), eventRow);
    m_comment = new QLineEdit(this);
    m_comment->setObjectName(QStringLiteral("id1010"));
    m_comment->setMaxLength(255);
    form->addRow(QStringLiteral("Примечание"), m_comment);
    FinishLayout(form);
    connect(m_choose, &QPushButton::clicked, this, &CJournalItemDlg::OnChooseReceiver);
    connect(m_addEvent, &QPushButton::clicked, this, &CJournalItemDlg::OnAddEvent);
}

QString CJournalItemDlg::OrganisationPath(int receiverId) const
{
    QStringList names;
    std::set<int> seen;
    // A receiver met twice means damaged categories: the path stops there.
    for (int id = receiverId; id != 0 && seen.insert(id).second;) {
        const auto rec = GetForecastReceiver(id, m_session.currentForecastId);
        if (!rec)
            break;
        names.prepend(rec->name);
        id = rec->category;
    }
    return names.join(u'\\');
}

void CJournalItemDlg::OnInitDialog()
{
    SetPicker(m_send, send);
    SetPicker(m_received, received);
    m_event->clear();
    if (const auto types = LoadImportEventTypes())
        for (const CImportEventType& t : *types)
            m_event->addItem(t.name, t.id);
    m_event->setCurrentIndex(m_event->findData(event));
    m_comment->setText(comment);
    m_organisation->setText(OrganisationPath(receiver));
    for (QWidget* w : {static_cast<QWidget*>(m_event), static_cast<QWidget*>(m_send), static_cast<QWidget*>(m_received),
                       static_cast<QWidget*>(m_choose), static_cast<QWidget*>(m_addEvent)})
        w->setEnabled(!m_viewOnly);
    m_comment->setReadOnly(m_viewOnly);
}

void CJournalItemDlg::OnChooseReceiver()
{
    CReceiverDirectoryDlg dlg(m_session, this);
    if (dlg.DoModal() != QDialog::Accepted || dlg.result.empty())
        return;
    receiver = dlg.result.front();
    m_organisation->setText(OrganisationPath(receiver));
}

void CJournalItemDlg::OnAddEvent()
{
    CEventPropDlg dlg(false, this);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    CImportEventType type;
    type.name = dlg.name;
    if (CountImportEventTypesByName(type) != 0 || !SaveImportEventType(type, true))
        return;
    m_event->addItem(type.name, type.id);
    m_event->setCurrentIndex(m_event->count() - 1);
}

bool CJournalItemDlg::Validate()
{
    if (m_organisation->text().isEmpty()) {
        Refuse(kNoOrganisation, m_choose);
        return false;
    }
    if (m_event->currentIndex() < 0) {
        Refuse(kNoEvent, m_event);
        return false;
    }
    event = m_event->currentData().toInt();
    send = PickerValue(m_send);
    received = PickerValue(m_received);
    comment = m_comment->text();
    return true;
}
