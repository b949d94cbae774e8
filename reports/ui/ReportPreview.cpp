#include "ReportPreview.h"

#include "AppMessage.h"
#include "ModalHook.h"
#include "ProgressBar.h"
#include "ReportJob.h"
#include "Settings.h"
#include "TextUtils.h"
#include "WaitCursor.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>

using namespace ReportPreviewTexts;

namespace {

constexpr int kGap = 12; // pixels around the sheets
constexpr double kZoomStep = 1.25;
// How often the pages done are shown, and the windows served, while pages are painted.
constexpr qint64 kServeMs = 200;

// Pages printed or written as a PDF: the wait cursor, and the pages done in the window's status bar
// with "Прервать" beside them, from the first time the work tells how far it is.
class CPagesWait {
public:
    CPagesWait(QMainWindow* window, const QString& text)
        : m_window(window)
        , m_text(text)
        , m_wait(QStringLiteral("output"))
    {
        m_cursor.emplace();
    }

    ReportPagesProgress Progress()
    {
        return [this](int pages, int of) {
            if (m_stopped)
                return false;
            if (m_served.isValid() && m_served.elapsed() < kServeMs && pages < of)
                return true;
            m_served.start();
            const QString text = m_text.arg(pages).arg(of);
            if (m_wait.shown())
                m_wait.SetText(text);
            else
                m_wait.ShowIn(m_window->statusBar(), text, m_window);
            m_wait.SetProgress(pages, of);
            m_stopped = !m_wait.Step();
            return !m_stopped;
        };
    }

    // After the work: a stop is told in `stopped` (not while the program closes), a failure by
    // `failed`; a window whose close box stopped the work goes. Answers `done`.
    bool End(bool done, const QString& stopped, const std::function<void()>& failed)
    {
        const bool closeAsked = m_wait.closeAsked();
        m_wait.Hide();
        m_cursor.reset();
        if (AppCloseRequested())
            return done;
        if (!done && m_stopped)
            AppMessageBox(stopped, MB_OK | MB_ICONINFORMATION, m_window);
        else if (!done)
            failed();
        if (closeAsked)
            m_window->close();
        return done;
    }

private:
    QMainWindow* m_window;
    QString m_text;
    CStopWait m_wait;
    std::optional<CWaitCursor> m_cursor;
    QElapsedTimer m_served;
    bool m_stopped = false;
};

// The file a printer writes: painted under a name of its own beside it and put in its place once
// whole, so that a print stopped or failed leaves the file as it was. The printer names the file
// again afterwards.
class CPrintFile {
public:
    explicit CPrintFile(QPrinter& printer)
        : m_printer(printer)
        , m_name(printer.outputFileName())
    {
        // A link stays, the file it points to is replaced.
        const QFileInfo info(m_name);
        m_target = info.isSymLink() && info.exists() ? info.canonicalFilePath() : m_name;
    }
    ~CPrintFile()
    {
        if (!m_temp.isEmpty()) {
            QFile::remove(m_temp);
            m_printer.setOutputFileName(m_name);
        }
    }
    CPrintFile(const CPrintFile&) = delete;
    CPrintFile& operator=(const CPrintFile&) = delete;

    bool Open(QString* error)
    {
        if (m_name.isEmpty())
            return true;
        const QString tag = QString::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, u'0');
        QFile file(m_target + u'.' + tag);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            *error = file.errorString();
            return false;
        }
        m_temp = file.fileName();
        m_printer.setOutputFileName(m_temp);
        return true;
    }

    bool Commit(QString* error)
    {
        if (m_temp.isEmpty())
            return true;
        if (QFile::exists(m_target))
            QFile::setPermissions(m_temp, QFile::permissions(m_target));
        if (std::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_target).constData()) != 0) {
            *error = qt_error_string(errno);
            return false;
        }
        m_temp.clear();
        m_printer.setOutputFileName(m_name);
        return true;
    }

private:
    QPrinter& m_printer;
    QString m_name;
    QString m_target;
    QString m_temp;
};

} // namespace

CReportPageView::CReportPageView(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(40);
}

void CReportPageView::SetLayout(const CReportLayout* layout)
{
    m_layout = layout;
    m_highlight.reset();
    m_painted = 0;
    m_current = std::clamp(m_current, 1, std::max(1, pageCount()));
    UpdateScrollBars();
    setCurrentPage(m_current);
    viewport()->update();
}

double CReportPageView::scale() const
{
    if (!m_layout)
        return 1;
    const QSizeF sheet = m_layout->sheetSize();
    const double width = std::max(1, viewport()->width() - 2 * kGap);
    const double height = std::max(1, viewport()->height() - 2 * kGap);
    switch (m_zoom) {
    case Zoom::FitWidth:
        return width / sheet.width();
    case Zoom::FitPage:
        return std::min(width / sheet.width(), height / sheet.height());
    case Zoom::Custom:
        break;
    }
    return m_custom;
}

double CReportPageView::Step() const
{
    return m_layout ? m_layout->sheetSize().height() * scale() + kGap : 0;
}

void CReportPageView::UpdateScrollBars()
{
    if (!m_layout) {
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }
    const double total = Step() * pageCount() + kGap;
    const double width = m_layout->sheetSize().width() * scale() + 2 * kGap;
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(total)) - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(width)) - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void CReportPageView::setCurrentPage(int page)
{
    if (!m_layout)
        return;
    m_current = std::clamp(page, 1, std::max(1, pageCount()));
    m_placing = true;
    verticalScrollBar()->setValue(int(std::lround(Step() * (m_current - 1))));
    m_placing = false;
    emit currentPageChanged();
}

void CReportPageView::SetHighlight(const std::optional<CReportLayout::Hit>& hit)
{
    m_highlight = hit;
    viewport()->update();
}

void CReportPageView::Rezoom(Zoom mode, double custom)
{
    const int page = m_current;
    m_zoom = mode;
    m_custom = custom;
    UpdateScrollBars();
    setCurrentPage(page);
    viewport()->update();
}

void CReportPageView::ZoomIn()
{
    Rezoom(Zoom::Custom, scale() * kZoomStep);
}

void CReportPageView::ZoomOut()
{
    Rezoom(Zoom::Custom, scale() / kZoomStep);
}

void CReportPageView::FitToWidth()
{
    Rezoom(Zoom::FitWidth);
}

void CReportPageView::FitInView()
{
    Rezoom(Zoom::FitPage);
}

void CReportPageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const int page = m_current;
    UpdateScrollBars();
    if (m_zoom != Zoom::Custom)
        setCurrentPage(page);
}

void CReportPageView::scrollContentsBy(int, int)
{
    // The page at the upper third of the view is the current one once the user scrolls.
    if (!m_placing && m_layout && Step() > 0) {
        const double y = verticalScrollBar()->value() + viewport()->height() / 3.0;
        const int page = std::clamp(int(y / Step()) + 1, 1, std::max(1, pageCount()));
        if (page != m_current) {
            m_current = page;
            emit currentPageChanged();
        }
    }
    viewport()->update();
}

void CReportPageView::paintEvent(QPaintEvent* event)
{
    if (!m_layout)
        return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double s = scale();
    const QSizeF sheet = m_layout->sheetSize() * s;
    const double step = Step();
    const double top = verticalScrollBar()->value();
    const double left =
        std::max(double(kGap), (viewport()->width() - sheet.width()) / 2) - horizontalScrollBar()->value();
    const QRect dirty = event->rect();
    const int first = std::max(0, int((top + dirty.top() - kGap) / step));
    for (int page = first; page < pageCount(); ++page) {
        const double y = kGap + page * step - top;
        if (y > dirty.bottom())
            break;
        const QRectF paper(left, y, sheet.width(), sheet.height());
        painter.fillRect(paper, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(paper);
        painter.save();
        painter.setClipRect(paper);
        painter.translate(paper.topLeft() + m_layout->area().topLeft() * s);
        painter.scale(s, s);
        m_layout->Paint(painter, page, m_highlight);
        painter.restore();
        ++m_painted;
    }
}

CReportPreview::CReportPreview(ReportContent content, QWidget* owner)
    : QMainWindow(owner, Qt::Window)
    , m_content(std::move(content))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("reportPreview"));
    setWindowTitle(m_content.title);

    m_view = new CReportPageView(this);
    m_view->setObjectName(QStringLiteral("reportPages"));
    setCentralWidget(m_view);
    connect(m_view, &CReportPageView::currentPageChanged, this, &CReportPreview::UpdatePageLabel);

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
    add("zoomIn", kZoomIn, QStringLiteral("+"), [this] { m_view->ZoomIn(); });
    add("zoomOut", kZoomOut, QStringLiteral("-"), [this] { m_view->ZoomOut(); });
    add("fitWidth", kFitWidth, QString(), [this] { m_view->FitToWidth(); });
    add("fitPage", kFitPage, QString(), [this] { m_view->FitInView(); });
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
    statusBar(); // where the saving of a PDF tells how far it is

    LayOut(DefaultReportPageLayout(m_content));
}

CReportPreview::~CReportPreview() = default;

QPrinter& CReportPreview::Printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setDocName(m_content.title);
    }
    m_printer->setPageLayout(m_layout->pageLayout());
    return *m_printer;
}

void CReportPreview::LayOut(const QPageLayout& page)
{
    m_found.reset();
    m_view->SetLayout(nullptr);
    m_layout = std::make_unique<CReportLayout>(m_content, page);
    m_view->SetLayout(m_layout.get());
    UpdatePageLabel();
}

int CReportPreview::pageCount() const
{
    return m_view->pageCount();
}

int CReportPreview::currentPage() const
{
    return m_view->currentPage();
}

void CReportPreview::ShowPage(int page)
{
    m_view->setCurrentPage(page);
    UpdatePageLabel();
}

void CReportPreview::UpdatePageLabel()
{
    m_pageLabel->setText(QStringLiteral(" %1 / %2 ").arg(currentPage()).arg(pageCount()));
}

bool CReportPreview::Print()
{
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, this);
    if (ExecModal(dialog) != QDialog::Accepted)
        return false;
    // A sheet chosen in the dialog lays the report out anew, the preview with it.
    if (!printer.pageLayout().isEquivalentTo(m_layout->pageLayout()))
        LayOut(printer.pageLayout());
    const bool range = printer.printRange() == QPrinter::PageRange;
    CPagesWait wait(this, kPrinting);
    const ReportPagesProgress progress = wait.Progress();
    QString failure = printer.printerName();
    CPrintFile file(printer);
    const bool printed = file.Open(&failure)
        && PaintReportPages(*m_layout, &printer, range ? printer.fromPage() : 1, range ? printer.toPage() : 0,
                            [&](int pages, int of) {
                                if (progress(pages, of))
                                    return true;
                                // Where the printer can, nothing of a stopped print is printed.
                                printer.abort();
                                return false;
                            })
        && file.Commit(&failure);
    return wait.End(printed, kPrintStopped, [&] { ShowReportError(ReportError{REPORT_ERROR_OUTPUT, failure}, this); });
}

void CReportPreview::PrintSetup()
{
    QPrinter& printer = Printer();
    QPageSetupDialog dialog(&printer, this);
    if (ExecModal(dialog) == QDialog::Accepted && !printer.pageLayout().isEquivalentTo(m_layout->pageLayout()))
        LayOut(printer.pageLayout());
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
    CPagesWait wait(this, kExporting);
    QString message;
    const bool written = WriteReportPdf(*m_layout, path, &message, 0, wait.Progress());
    return wait.End(written, kReportPdfStopped, [&] {
        ShowReportError(ReportError{REPORT_ERROR_OUTPUT, message}, this);
    });
}

bool CReportPreview::FindNext(const QString& text)
{
    if (text != m_lastSearch)
        m_found.reset();
    m_lastSearch = text;
    m_found = m_layout->Find(text, m_found);
    m_view->SetHighlight(m_found);
    if (!m_found) {
        AppMessageBox(kNotFound.arg(text), MB_OK | MB_ICONASTERISK, this);
        return false;
    }
    ShowPage(m_found->page + 1);
    return true;
}
