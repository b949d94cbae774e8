// The window of the long operations of the exchange: a read-only log, OK and "Сохранить отчет". The
// caller creates one on the heap with its parent, shows it and runs the operation on it; the log grows
// while the operation runs on the user-interface thread (events other than user input are processed
// meanwhile). The dialog stays open afterwards and deletes itself when the user closes it. While OK is
// disabled, or an operation runs, neither Escape nor the close box closes it.
#pragma once

#include "CheckLog.h"
#include "TransportRegistry.h"

#include <QDialog>
#include <QElapsedTimer>

struct CSessionState;
class CLogEdit;
class QPushButton;

class CExportNSIDlg : public QDialog, public CCheckLog {
    Q_OBJECT
public:
    enum { IDD = 114 };

    explicit CExportNSIDlg(QWidget* parent = nullptr);
    ~CExportNSIDlg() override;

    // The reference-data check of the forecast (the status change of a forecast runs it here).
    bool CheckNSI(int forecast);
    // The rows of one receiver of the forecast.
    bool CheckForecastData(int forecast, int receiver);
    // Sends the reference data of the current forecast to the receivers the user chooses, each in a
    // document of its own, through the transport of the settings.
    void SendNSI(const CSessionState& session, const CTransportList& transports);

    void AppendLine(const QString& text) override;
    void KeepAlive() override;

    // The log's lines as the edit holds them.
    QStringList LogLines();
    // Asks for a file (*.txt) and writes the log into it in cp1251, each line ended by CRLF, whole or
    // not at all; a file that cannot be written is skipped without a message.
    void OnSaveReport();
    // Writes the log to the file as OnSaveReport does; false when it could not be written.
    bool SaveReport(const QString& path);

    CLogEdit* logEdit() const { return m_log; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* saveButton() const { return m_save; }

    void accept() override; // OnOK
    void reject() override; // OnCancel

protected:
    // Runs an operation with the wait cursor; the dialog cannot be closed meanwhile and shows the
    // whole log afterwards.
    template <class Work>
    bool RunOperation(Work work)
    {
        struct Running {
            CExportNSIDlg& dlg;
            explicit Running(CExportNSIDlg& d)
                : dlg(d)
            {
                dlg.BeginOperation();
            }
            ~Running() { dlg.EndOperation(); }
        } running(*this);
        return work();
    }
    void closeEvent(QCloseEvent* event) override; // OnClose
    // A message box over the window during an operation, once the log shows every line so far: a
    // question is asked about what the user can read.
    int Ask(const QString& text, unsigned flags);

private:
    void BeginOperation();
    void EndOperation();
    void Flush();
    bool CanClose() const;

    CLogEdit* m_log = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_save = nullptr;
    QStringList m_pending; // logged lines not in the edit yet (an empty one is a blank line)
    QElapsedTimer m_sinceEvents;
    int m_running = 0;
};

class CExportDataDlg : public CExportNSIDlg {
    Q_OBJECT
public:
    explicit CExportDataDlg(QWidget* parent = nullptr);

    // Checks the forecast, builds its consolidated forecast when the user asks for it, and writes it
    // for the upper organisation: into the export folder, or through the chosen transport. The
    // exchange journal records the outcome. True when the forecast went out.
    bool SendForecast(int forecast, int ownReceiverId, const CTransportList& transports);
};

class CCheckForecastDlg : public CExportDataDlg {
    Q_OBJECT
public:
    explicit CCheckForecastDlg(QWidget* parent = nullptr);
    // Every receiver's rows of the forecast.
    bool CheckForecast(int forecast);
};

class CCalculateForecastDlg : public CExportDataDlg {
    Q_OBJECT
public:
    explicit CCalculateForecastDlg(QWidget* parent = nullptr);
    // BuildTotalForecast under the wait cursor.
    bool Run(int forecast);
    bool BuildTotalForecast(int forecast);
};
