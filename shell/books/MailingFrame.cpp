// The mailings book: the forecast's mailings in date order; a new mailing is written, sent as an
// information description through the chosen transport and journalled for each of its receivers.
#include "BookFrames.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "CommandIds.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ModalHook.h"
#include "ReportView.h"
#include "SendDataDlg.h"
#include "Session.h"
#include "Settings.h"
#include "TableNotices.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"
#include "tables/Receivers.h"

#include <QDir>
#include <QFile>

#include <memory>

using namespace BookTexts;

CMailingFrame::CMailingFrame(CSessionState& session, QWidget* parent)
    : CDirectoryFrame(session, BookFlags::kMailings, parent)
{
    // The book is read-only, but a new mailing can be made while reference data may change.
    OnUpdateCommand(ID_BOOK_ADD_ELEMENT, [this](CCmdUI& ui) {
        ui.Enable(m_session.currentForecastId > 0 && HasEditRights(&ui)
                  && (IsCurrentForecastOpen() || m_session.currentForecastStatus == 1));
    });
}

void CMailingFrame::FillList(CReportView* list, int, const SqlFilter& filter)
{
    // Any number of rows: the list reads the screen it shows.
    CPagedSource source = MailingLines(m_session.currentForecastId);
    source.cells = [](const QVariantList& v) {
        return QStringList{DateFromValue(v[MC_DATE]).toString(QStringLiteral("dd.MM.yyyy")), v[MC_SUBJECT].toString(),
                           v[MC_TEXT].toString()};
    };
    list->SetRowSource(std::make_unique<CPagedRows>(std::move(source), filter));
}

void CMailingFrame::ViewItem(int id, int, bool, QString*)
{
    const auto mailing = GetMailing(id);
    if (!mailing)
        return;
    CMailingDlg dlg(*mailing, true, m_session, this);
    dlg.DoModal();
}

void CMailingFrame::EditItem(int id, int, bool, QString*, int* newId)
{
    // The description names the organisation as sender: without it nothing is written.
    if (!CheckSelfReceiver(m_session))
        return;
    CMailingRecord mailing;
    if (id >= 0) {
        auto stored = GetMailing(id);
        if (!stored)
            return;
        mailing = *stored;
    }
    CMailingDlg dlg(mailing, false, m_session, this);
    if (dlg.DoModal() != QDialog::Accepted)
        return;
    mailing.subject = dlg.record().subject;
    mailing.text = dlg.record().text;
    mailing.receivers = dlg.record().receivers;
    mailing.prognoz = m_session.currentForecastId;
    mailing.MailingDate = QDateTime(QDate::currentDate(), QTime(0, 0));
    if (!SaveMailing(mailing))
        return;
    if (newId)
        *newId = mailing.id;

    CImportStatusRecord status;
    status.prognoz = m_session.currentForecastId;
    status.send = CurrentTimeToSecond();
    status.received = QDateTime();
    status.event = Resend(mailing) ? IEK_SENT : IEK_SEND_FAILED;
    if (const auto stored = GetMailing(mailing.id)) {
        std::vector<int> receivers;
        for (const CMailingReceiverRecord& r : stored->receivers)
            receivers.push_back(r.receiverID);
        // A failure was reported; the list shows what is stored either way.
        static_cast<void>(SaveImportStatusOfReceivers(status, receivers));
    }
    Refresh();
}

bool CMailingFrame::Resend(const CMailingRecord& mailing)
{
    const auto own = GetForecastReceiver(m_session.ownReceiverId, m_session.currentForecastId);
    if (!own) {
        CheckSelfReceiver(m_session);
        return false;
    }
    CInfoEnvelope envelope;
    envelope.toName = mailing.GetReceiverNames();
    envelope.toEmail = mailing.GetReceiverAddresses(MailingAddressSeparator(Settings().Transport));
    envelope.fromName = own->name;
    envelope.fromEmail = own->email;
    envelope.message = mailing.text;
    envelope.subject = mailing.subject;
    const XmlDocPtr doc = BuildInfoEnvelope(envelope);
    if (!doc) {
        AppMessageBox(kXmlCreateFailed, MB_ICONSTOP, this);
        return false;
    }
    const QString path = PathIn(Settings().ExportDir, InfoEnvelopeFileName(own->id));
    QDir().mkpath(Settings().ExportDir);
    if (!SaveExchangeDocument(doc.get(), path)) {
        AppMessageBox(kFileSaveFailed, MB_ICONSTOP, this);
        return false;
    }
    const CTransportRegistry* registry = AppTransports();
    CSendDataDlg send({{kMailingName, path}}, registry ? registry->transports() : CTransportList{}, this);
    ExecModal(send);
    return send.successFlag() != 0;
}
