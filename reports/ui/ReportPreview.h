// The preview window of a report: its pages with navigation, printing, the page set-up, export to
// PDF, zoom, search and close on a tool bar. A window of its own that belongs to the report dialog,
// so that it stays usable while the dialog is modal and goes when the dialog goes. The pages are the
// same layout that printing and the PDF use; only the pages in view are painted.
#pragma once

#include "ReportContent.h"
#include "ReportLayout.h"

#include <QAbstractScrollArea>
#include <QMainWindow>
#include <QPageLayout>

#include <memory>
#include <optional>

class QLabel;
class QLineEdit;
class QPrinter;

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
inline const QString kExporting = QStringLiteral("Сохранение в PDF: страница %1 из %2");
inline const QString kPrinting = QStringLiteral("Печать: страница %1 из %2");
inline const QString kPrintStopped = QStringLiteral("Печать прервана.");
} // namespace ReportPreviewTexts

// The sheets of a layout one under the other, each painted when it comes into view.
class CReportPageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CReportPageView(QWidget* parent = nullptr);

    void SetLayout(const CReportLayout* layout);
    int pageCount() const { return m_layout ? m_layout->count() : 0; }
    int currentPage() const { return m_current; } // from 1
    void setCurrentPage(int page);
    void SetHighlight(const std::optional<CReportLayout::Hit>& hit);

    void ZoomIn();
    void ZoomOut();
    void FitToWidth();
    void FitInView();
    // Screen pixels per layout unit.
    double scale() const;
    // How often a page was painted since the layout was set (each page at most once per paint).
    int paintedPages() const { return m_painted; }

signals:
    void currentPageChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class Zoom { FitWidth, FitPage, Custom };
    double Step() const; // one sheet and the gap below it, in pixels
    void UpdateScrollBars();
    void Rezoom(Zoom mode, double custom = 0);

    const CReportLayout* m_layout = nullptr;
    Zoom m_zoom = Zoom::FitWidth;
    double m_custom = 0.1;
    int m_current = 1;
    bool m_placing = false; // scrolling to a page chosen, not by the user
    int m_painted = 0;
    std::optional<CReportLayout::Hit> m_highlight;
};

class CReportPreview : public QMainWindow {
    Q_OBJECT
public:
    CReportPreview(ReportContent content, QWidget* owner);
    ~CReportPreview() override;

    CReportPageView* view() const { return m_view; }
    const CReportLayout& layout() const { return *m_layout; }
    int pageCount() const;
    int currentPage() const; // from 1

    // Asks for the file through the modal hook and writes the PDF; false when cancelled, stopped or
    // failed (the failure or the stop told). While the PDF is written, or the pages printed, the
    // status bar tells the pages done with "Прервать" beside them; that button, Escape or the window's
    // close box stops the work (the window then closes), as does a request to close the program. A
    // file is written whole or not at all, and nothing of the work stays in the temporary folder.
    bool Export();
    bool ExportTo(const QString& path);
    // Asks for the printer through the modal hook and prints; false when cancelled, stopped or failed.
    bool Print();
    // The next place that holds the text, from the last one found; false at the end (said so).
    bool FindNext(const QString& text);

private:
    QPrinter& Printer();
    void LayOut(const QPageLayout& page);
    void PrintSetup();
    void ShowPage(int page);
    void UpdatePageLabel();

    ReportContent m_content;
    std::unique_ptr<CReportLayout> m_layout;
    std::unique_ptr<QPrinter> m_printer;
    CReportPageView* m_view = nullptr;
    QLabel* m_pageLabel = nullptr;
    QLineEdit* m_search = nullptr;
    QString m_lastSearch;
    std::optional<CReportLayout::Hit> m_found;
};
