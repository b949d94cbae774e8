// "Запись журнала" (161): one record of the exchange journal, shown or edited: the organisation
// with its groups, the event, the send and receive dates and the comment.
#pragma once

#include "BookDialogs.h"
#include "tables/ImportStatus.h"

class QDateTimeEdit;

class CJournalItemDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CJournalItemDlg(const CImportStatusRecord& rec, bool readOnly, CSessionState& session, QWidget* parent = nullptr);

    // The values after OK; the caller copies them into its record and saves it.
    int receiver;
    int event;
    QDateTime send;
    QDateTime received;
    QString comment;

    // The names from the top group down to the receiver, separated by '\'.
    QString OrganisationPath(int receiverId) const;

    QLineEdit* organisationEdit() const { return m_organisation; }
    QComboBox* eventBox() const { return m_event; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    void OnChooseReceiver();
    void OnAddEvent();

    CSessionState& m_session;
    QLineEdit* m_organisation;
    QPushButton* m_choose;
    QDateTimeEdit* m_send;
    QDateTimeEdit* m_received;
    QComboBox* m_event;
    QPushButton* m_addEvent;
    QLineEdit* m_comment;
};

namespace JournalItemTexts {
inline const QString kCaption = QStringLiteral("Запись журнала");
inline const QString kNoOrganisation = QStringLiteral("Не задана организация.");
inline const QString kNoEvent = QStringLiteral("Не выбрано событие.");
} // namespace JournalItemTexts
