#include "PrefDialog.h"

#include "AppMessage.h"
#include "BookDialogs.h"
#include "ModalHook.h"
#include "Settings.h"

#include <transport/ITransport.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace PrefTexts;

namespace {

const char16_t* const kFormats[] = {u"Без округления", u"nnnnnnn,nn", u"nnnnnnn,n", u"nnnnnnn", u"nnnnnn0",
                                    u"nnnnn00",        u"nnnn000",    u"nnn0000",   u"nn00000", u"n000000"};

template <class W>
W* Named(W* widget, int id)
{
    widget->setObjectName(QStringLiteral("id%1").arg(id));
    return widget;
}

} // namespace

CGeneralPrefFrame::CGeneralPrefFrame(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("id184"));
    format = Named(new QComboBox(this), 1094);
    for (const char16_t* f : kFormats)
        format->addItem(QString::fromUtf16(f));
    autoRecalc = Named(new QCheckBox(QStringLiteral("Автоматический пересчет данных прогноза"), this), 1109);
    opJournal = Named(new QCheckBox(QStringLiteral("Включить запись в журнал операций"), this), 1087);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Формат данных в отчетных формах:"), format);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(autoRecalc);
    layout->addWidget(opJournal);
    layout->addStretch(1);

    const CSettings& s = Settings();
    format->setCurrentIndex(s.ReportFormat);
    autoRecalc->setChecked(s.EnableAutoRecalc);
    opJournal->setChecked(s.EnableOpJournal);
}

CTransPrefFrame::CTransPrefFrame(const CTransportList& transports, QWidget* parent)
    : QWidget(parent)
    , m_transports(transports)
{
    setObjectName(QStringLiteral("id185"));
    auto* layout = new QVBoxLayout(this);
    const auto folderRow = [this, layout](const QString& title, int editId, int buttonId) {
        auto* box = new QGroupBox(title, this);
        auto* row = new QHBoxLayout(box);
        auto* edit = Named(new QLineEdit(box), editId);
        auto* browse = Named(new QPushButton(QStringLiteral("..."), box), buttonId);
        row->addWidget(edit, 1);
        row->addWidget(browse);
        layout->addWidget(box);
        connect(browse, &QPushButton::clicked, this, [this, edit] { Browse(edit); });
        return edit;
    };
    exportDir = folderRow(QStringLiteral("Путь для отправки"), 1020, 1021);
    importDir = folderRow(QStringLiteral("Путь для получения"), 1022, 1023);
    auto* box = new QGroupBox(QStringLiteral("Транспортный модуль"), this);
    auto* row = new QHBoxLayout(box);
    transportList = Named(new QListWidget(box), 1093);
    properties = Named(new QPushButton(QStringLiteral("Свойства"), box), 1116);
    row->addWidget(transportList, 1);
    row->addWidget(properties, 0, Qt::AlignTop);
    layout->addWidget(box);

    const CSettings& s = Settings();
    exportDir->setText(s.ExportDir);
    importDir->setText(s.ImportDir);
    for (const CTransportEntry& t : m_transports) {
        transportList->addItem(t.displayName);
        if (t.code == s.Transport)
            transportList->setCurrentRow(transportList->count() - 1);
    }
    OnSelChange();
    connect(transportList, &QListWidget::currentRowChanged, this, [this] { OnSelChange(); });
    connect(properties, &QPushButton::clicked, this, [this] { OnProperties(); });
}

const CTransportEntry* CTransPrefFrame::SelectedTransport() const
{
    const int row = transportList->currentItem() ? transportList->currentRow() : -1;
    return row >= 0 && row < int(m_transports.size()) ? &m_transports[size_t(row)] : nullptr;
}

void CTransPrefFrame::Browse(QLineEdit* edit)
{
    const QString current = edit->text();
    const QString start = !current.isEmpty() && QFileInfo(current).isDir() ? current : QString();
    const QString chosen = ModalHook().getExistingDirectory(this, kSelectDirectory, start);
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void CTransPrefFrame::OnSelChange()
{
    // The built-in file transport has nothing to set.
    const CTransportEntry* t = SelectedTransport();
    properties->setEnabled(t && t->transport && t->transport->HasSettings() != 0);
}

void CTransPrefFrame::OnProperties()
{
    if (const CTransportEntry* t = SelectedTransport(); t && t->transport)
        t->transport->ShowSettings();
}

CPrefDialog::CPrefDialog(QWidget* parent, const CTransportList* transports)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("id115"));
    setWindowTitle(kCaption);
    const CTransportRegistry* registry = AppTransports();
    const CTransportList none;
    if (!transports)
        transports = registry ? &registry->transports() : &none;
    m_tabs = Named(new QTabWidget(this), 1039);
    m_general = new CGeneralPrefFrame(m_tabs);
    m_transport = new CTransPrefFrame(*transports, m_tabs);
    m_tabs->addTab(m_general, QStringLiteral("Общие"));
    m_tabs->addTab(m_transport, QStringLiteral("Транспорт"));

    QDialogButtonBox* buttons = OkCancelButtons(this);
    QPushButton* apply = buttons->addButton(QStringLiteral("Применить"), QDialogButtonBox::ApplyRole);
    apply->setObjectName(QStringLiteral("id1037"));
    connect(apply, &QPushButton::clicked, this, [this] { Apply(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
}

bool CPrefDialog::Apply()
{
    const QString exportDir = m_transport->exportDir->text();
    const QString importDir = m_transport->importDir->text();
    if (exportDir.isEmpty() || importDir.isEmpty()) {
        AppMessageBox(kEmptyFolders, MB_ICONEXCLAMATION, this);
        return false;
    }
    CSettings& s = Settings();
    s.ExportDir = exportDir;
    s.ImportDir = importDir;
    s.ReportFormat = m_general->format->currentIndex();
    s.EnableAutoRecalc = m_general->autoRecalc->isChecked();
    s.EnableOpJournal = m_general->opJournal->isChecked();
    if (const CTransportEntry* t = m_transport->SelectedTransport())
        s.Transport = t->code;
    return true;
}

void CPrefDialog::accept()
{
    // OK closes even when the folders were refused.
    Apply();
    QDialog::accept();
}
