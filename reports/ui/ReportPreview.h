// The preview window of a report: its pages with navigation, printing, the page set-up, export to
// PDF, zoom, search and close on a tool bar. A window of its own that belongs to the report dialog,
// so that it stays usable while the dialog is modal and goes when the dialog goes.
#pragma once

#include "ReportContent.h"
#include "ReportLayout.h"

#include <QMainWindow>
#include <QPrinter>

#include <optional>

class QLabel;
class QLineEdit;
class QPrintPreviewWidget;

namespace ReportPreviewTexts {
inline const QString kFirstPage = QStringLiteral("Первая страница");
inline const QString kPreviousPage = QStringLiteral("Предыдущая страница");
inline const QString kNextPage = QStringLiteral("Следующая страница");
inline const QString kLastPage = QStringLiteral("Последняя страница");
inline const QString kPrint = QStringLiteral("Печать...");
inline const QString kPrintSetup = QStringLiteral("Параметры страницы...");
inline const QString kExport = QStringLiteral("Сохранить в PDF...");
inline const QString kZoomIn = QStringLiteral("Увеличить");
inline const QString kZoomOut = QStringLiteral("Уменьшить");
inline const QString kFitWidth = QStringLiteral("По ширине страницы");
inline const QString kFitPage = QStringLiteral("Страница целиком");
inline const QString kFind = QStringLiteral("Найти далее");
inline const QString kClose = QStringLiteral("Закрыть");
inline const QString kNotFound = QStringLiteral("Текст \"%1\" не найден.");
inline const QString kExportFilter = QStringLiteral("PDF (*.pdf)");
} // namespace ReportPreviewTexts

class CReportPreview : public QMainWindow {
    Q_OBJECT
public:
    CReportPreview(ReportContent content, QWidget* owner);
    ~CReportPreview() override;

    QPrintPreviewWidget* view() const { return m_view; }
    int pageCount() const;
    int currentPage() const; // from 1

    // Asks for the file through the modal hook and writes the PDF; false when cancelled or failed
    // (the failure shown).
    bool Export();
    bool ExportTo(const QString& path);
    // The next place that holds the text, from the last one found; false at the end (said so).
    bool FindNext(const QString& text);

private:
    void PaintPages(QPrinter* printer);
    void Print();
    void PrintSetup();
    void ShowPage(int page);
    void UpdatePageLabel();

    ReportContent m_content;
    QPrinter m_printer;
    QPrintPreviewWidget* m_view = nullptr;
    QLabel* m_pageLabel = nullptr;
    QLineEdit* m_search = nullptr;
    QString m_lastSearch;
    std::optional<CReportPages::Hit> m_found;
};
