// The run frame shared by the report dialogs: "Показать" runs the form's builder on a worker thread
// while the dialog waits, its controls disabled, with the status-bar progress stepping and the status
// text naming the form and the builder's step, and then shows the form's definition with the run's
// report id through the dialog's report job. Meanwhile "Остановить" (over "Закрыть") or Escape stops
// the build. A dialog derives from CReportDialog, makes its controls (objectName "id<n>"; its close
// button "id2"), checks its inputs and calls RunReport.
#pragma once

#include "ReportJob.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CReportProgress;
class CStopButton;
class COperationStatus;
class QComboBox;
class QPushButton;

namespace ReportDialogTexts {
// The "Форма отчета:" list (id1018): the captions in the list's (sorted) order.
inline const QString kFormMunicipal = QStringLiteral("По муниципальным образованиям Российской Федерации");
inline const QString kFormFederal = QStringLiteral("По получателям средств федерального бюджета");
inline const QString kFormRegional = QStringLiteral("По субъектам Российской Федерации");
// Shown before a report on the consolidated forecast (forms 1, 3, 5, 6).
inline const QString kSummaryNotice = QStringLiteral(
    "Будут показаны данные по сводному прогнозу для этого получателя. Сводный прогноз должен быть сгенерирован "
    "заранее.");
inline const QString kSummaryNoticeKey = QStringLiteral("ForecastGeneration");
// The step after the build, in the status text: the rows read and the first page laid out.
inline const QString kPreparingPreview = QStringLiteral("подготовка просмотра");
} // namespace ReportDialogTexts

// Fills the "Форма отчета:" list with its three captions and selects index 0.
void FillReportFormCombo(QComboBox* combo);
// The caption that the list's index gives (any other index: the third).
QString ReportFormCaption(int index);
QString ReportFormCaption(const QComboBox* combo);
// The notice before a report on the consolidated forecast, unless the user switched it off.
void ShowSummaryNotice(QWidget* parent);
// The forecast's name as the report's pages show it; empty when there is none.
QString ReportForecastName(int forecastId);

class CReportDialog : public QDialog {
    Q_OBJECT
public:
    explicit CReportDialog(QWidget* parent = nullptr);
    ~CReportDialog() override;

    CReportJob& job() { return m_job; }
    // "Закрыть" (objectName "id2"), when the dialog has one.
    QPushButton* closeButton() const;
    bool isRunning() const { return m_running; }

    // Runs the builder on a worker thread below normal priority, the wait cursor on, every control of
    // the dialog but "Остановить" disabled ("Закрыть" with them), while the user-interface thread goes
    // on serving its events, steps the status-bar progress once a second and shows the builder's step
    // after the form's title in the status text. Answers the builder's result, or `nothing` when it
    // threw or was stopped. The first error the builder reported (or its exception) is shown
    // afterwards, once; a stopped build shows none.
    int RunDataThread(const std::function<int()>& builder, const QString& title, COperationStatus& status,
                      int nothing = -1);
    // RunDataThread, then, for a report id above 0, the report: `file` beside the program with the
    // title and the parameters made for that id (after the build), on the report database. The preview
    // of an earlier run closes as the run begins. A run that built nothing opens no preview, nor does
    // one whose parameters could not be made (none: the parameter function has told why). The status
    // text names the form until its preview stands. Answers the builder's result.
    int RunReport(const std::function<int()>& builder, const QString& file, const QString& title,
                  const std::function<std::optional<QStringList>(int reportId)>& parameters, int nothing = -1);

protected:
    // Closing is refused while a builder runs ("Закрыть" disabled); Escape then stops the build.
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    bool CloseAllowed() const;

    CReportJob m_job;
    bool m_running = false;
    CReportProgress* m_progress = nullptr; // of the run
    CStopButton* m_stop = nullptr;
};
