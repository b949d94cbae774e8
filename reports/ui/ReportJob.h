// The report job of a report dialog: which definition to show, with which title, on which report
// database and with which parameter values; Show renders it into a preview window beside the dialog.
// The job keeps that window until the next Show or its own end.
#pragma once

#include "ReportContent.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class CReportPreview;
class QWidget;

inline const QString kReportShowErrorText =
    QStringLiteral("Ошибка при отображении отчета (%1: %2). Пожалуйста сообщите код разработчику.");
inline const QString kReportSchemaFile = QStringLiteral("reportdef.xsd");

// Shows the error of a report that cannot be shown, with the stop icon.
void ShowReportError(const ReportError& error, QWidget* parent);

class CReportJob {
public:
    // The preview windows belong to the owner (the dialog): they go with it.
    explicit CReportJob(QWidget* owner = nullptr);
    ~CReportJob();
    CReportJob(const CReportJob&) = delete;
    CReportJob& operator=(const CReportJob&) = delete;

    void SetReportFile(const QString& path) { m_file = path; }
    void SetTitle(const QString& title) { m_title = title; }
    // The forecast's name, which the report's pages may show ({forecast}).
    void SetForecast(const QString& forecast) { m_forecast = forecast; }
    // The report database the definition's table is read from.
    void SetLogOnInfo(const QString& databasePath) { m_database = databasePath; }
    // One value per parameter of the definition, in its order; values beyond them are ignored.
    void SetParameterValues(const QStringList& values) { m_values = values; }

    // Closes the previous preview, then reads the definition (checked against reportdef.xsd beside
    // the program), binds the values, reads the run's rows and opens the preview, maximised. False
    // after an error, which has been shown.
    bool Show();
    // The same report written into a PDF file, without a window. False after an error (shown).
    bool ExportPdf(const QString& path);
    // Closes the preview, so that no earlier report stands as the answer to a run that failed.
    void Close();

    const QString& reportFile() const { return m_file; }
    const QString& title() const { return m_title; }
    const QString& forecast() const { return m_forecast; }
    const QString& logOnInfo() const { return m_database; }
    const QStringList& parameterValues() const { return m_values; }
    CReportPreview* preview() const;
    // The error of the last Show or ExportPdf (code 0: none).
    const ReportError& lastError() const { return m_error; }

private:
    std::optional<ReportContent> Prepare();
    void Fail(const ReportError& error);

    QWidget* m_owner;
    QString m_file;
    QString m_title;
    QString m_forecast;
    QString m_database;
    QStringList m_values;
    QPointer<CReportPreview> m_preview;
    ReportError m_error;
};
