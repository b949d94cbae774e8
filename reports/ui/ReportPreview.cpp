#include "ReportPreview.h"

#include "AppMessage.h"
#include "ModalHook.h"
#include "ReportJob.h"
#include "Settings.h"
#include "TextUtils.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QToolBar>

using namespace ReportPreviewTexts;

CReportPreview::CReportPreview(ReportContent content, QWidget* owner)
    : QMainWindow(owner, Qt::Window)
    , m_content(std::move(content))
    , m_printer(QPrinter::HighResolution)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("reportPreview"));
    setWindowTitle(m_content.title);
    SetUpReportPage(m_content, &m_printer);
    m_printer.setDocName(m_content.title);

    m_view = new QPrintPreviewWidget(&m_printer, this);
    m_view->setObjectName(QStringLiteral("reportPages"));
    setCentralWidget(m_view);
    connect(m_view, &QPrintPreviewWidget::paintRequested, this, &CReportPreview::PaintPages);
    connect(m_view, &QPrintPreviewWidget::previewChanged, this, &CReportPreview::UpdatePageLabel);

    QToolBar* bar = addToolBar(QStringLiteral("report"));
    bar->setObjectName(QStringLiteral("reportToolBar"));
    bar->setMovable(false);
    const auto add = [this, bar](const char* name, const QString& text, const QString& label, auto slot) {
        QAction* action = bar->addAction(label.isEmpty() ? text : label);
        action->setObjectName(QLatin1String(name));
        action->setToolTip(text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add("firstPage", kFirstPage, QStringLiteral("|<"), [this] { ShowPage(1); });
    add("previousPage", kPreviousPage, QStringLiteral("<"), [this] { ShowPage(currentPage() - 1); });
    m_pageLabel = new QLabel(bar);
    m_pageLabel->setObjectName(QStringLiteral("pageNumber"));
    bar->addWidget(m_pageLabel);
    add("nextPage", kNextPage, QStringLiteral(">"), [this] { ShowPage(currentPage() + 1); });
    add("lastPage", kLastPage, QStringLiteral(">|"), [this] { ShowPage(pageCount()); });
    bar->addSeparator();
    add("print", kPrint, QString(), [this] { Print(); });
    add("printSetup", kPrintSetup, QString(), [this] { PrintSetup(); });
    add("export", kExport, QString(), [this] { Export(); });
    bar->addSeparator();
    add("zoomIn", kZoomIn, QStringLiteral("+"), [this] { m_view->zoomIn(); });
    add("zoomOut", kZoomOut, QStringLiteral("-"), [this] { m_view->zoomOut(); });
    add("fitWidth", kFitWidth, QString(), [this] { m_view->fitToWidth(); });
    add("fitPage", kFitPage, QString(), [this] { m_view->fitInView(); });
    bar->addSeparator();
    m_search = new QLineEdit(bar);
    m_search->setObjectName(QStringLiteral("searchText"));
    m_search->setMaximumWidth(200);
    bar->addWidget(m_search);
    const auto find = [this] { FindNext(m_search->text()); };
    add("findNext", kFind, QString(), find);
    connect(m_search, &QLineEdit::returnPressed, this, find);
    bar->addSeparator();
    add("closePreview", kClose, QString(), [this] { close(); });

    m_view->updatePreview();
}

CReportPreview::~CReportPreview() = default;

int CReportPreview::pageCount() const
{
    return m_view->pageCount();
}

int CReportPreview::currentPage() const
{
    return m_view->currentPage();
}

void CReportPreview::PaintPages(QPrinter* printer)
{
    PaintReport(m_content, printer, m_found);
}

void CReportPreview::ShowPage(int page)
{
    m_view->setCurrentPage(std::clamp(page, 1, std::max(1, pageCount())));
    UpdatePageLabel();
}

void CReportPreview::UpdatePageLabel()
{
    m_pageLabel->setText(QStringLiteral(" %1 / %2 ").arg(currentPage()).arg(pageCount()));
}

void CReportPreview::Print()
{
    QPrintDialog dialog(&m_printer, this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return;
    if (!PaintReport(m_content, &m_printer))
        ShowReportError(ReportError{REPORT_ERROR_OUTPUT, m_printer.printerName()}, this);
}

void CReportPreview::PrintSetup()
{
    QPageSetupDialog dialog(&m_printer, this);
    if (ExecModal(dialog) == QDialog::Accepted)
        m_view->updatePreview();
}

bool CReportPreview::Export()
{
    const QString suggested = QDir(Settings().ExportDir.isEmpty() ? QDir::homePath() : Settings().ExportDir)
                                  .filePath(MakeValidFileName(m_content.title) + QStringLiteral(".pdf"));
    QString path = ModalHook().getSaveFileName(this, kExport, suggested, kExportFilter);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    return ExportTo(path);
}

bool CReportPreview::ExportTo(const QString& path)
{
    QString message;
    if (WriteReportPdf(m_content, path, &message))
        return true;
    ShowReportError(ReportError{REPORT_ERROR_OUTPUT, message}, this);
    return false;
}

bool CReportPreview::FindNext(const QString& text)
{
    if (text != m_lastSearch)
        m_found.reset();
    m_lastSearch = text;
    const CReportPages pages(m_content, &m_printer);
    m_found = pages.Find(text, m_found);
    m_view->updatePreview();
    if (!m_found) {
        AppMessageBox(kNotFound.arg(text), MB_OK | MB_ICONASTERISK, this);
        return false;
    }
    ShowPage(m_found->page + 1);
    return true;
}
