// The settings dialog of the mail transport: outgoing and incoming mail on two tabs.
#pragma once

#include <QDialog>

struct CMailSettings;
class CPOPFrame;
class CSMTPFrame;
class QTabWidget;

class CMAILRUNEPropsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMAILRUNEPropsDlg(QWidget* parent = nullptr);
    ~CMAILRUNEPropsDlg() override;

    // Fills both pages from the profile, then applies their enabling rules.
    void LoadSettings();
    // False, after the message, when the period is not 1 to 86400; nothing is written then.
    bool SaveSettings();

    CSMTPFrame* smtpPage() const { return m_smtpPage; }
    CPOPFrame* popPage() const { return m_popPage; }

public slots:
    void OnApply();
    void OnOK();

private:
    CMailSettings FromPages() const;
    void ToPages(const CMailSettings& s);

    CSMTPFrame* m_smtpPage;
    CPOPFrame* m_popPage;
    QTabWidget* m_tab;
};
