#include "ExportWriter.h"

#include "AppMessage.h"
#include "ExchangeTexts.h"
#include "ModalHook.h"
#include "SendDataDlg.h"
#include "Settings.h"
#include "TextUtils.h"
#include "tables/ImportEventTypes.h"
#include "tables/ImportStatus.h"

using namespace ExportTexts;

CExportWriter::CExportWriter(QWidget* parent, Report report)
    : m_parent(parent)
    , m_report(std::move(report))
    , m_fileTransport(Settings().Transport == kFileTransport)
{
}

CExportWriter::~CExportWriter() = default;

bool CExportWriter::Save(xmlDoc* doc, const QString& fileName, const QString& base, CSendEnvelope envelope,
                         const QString& displayName)
{
    return Save([doc](const QString& path) { return SaveExchangeDocument(doc, path); }, fileName, base,
                std::move(envelope), displayName);
}

bool CExportWriter::Save(const DocumentWriter& write, const QString& fileName, const QString& base,
                         CSendEnvelope envelope, const QString& displayName)
{
    const QString exportDir = Settings().ExportDir;
    if (m_fileTransport) {
        if (!DirectoryExists(exportDir)) {
            m_report(kNoExportFolder, MB_ICONEXCLAMATION);
            return false;
        }
        QString path = PathIn(exportDir, fileName);
        if (FileExists(path)) {
            m_report(kFileExists, MB_ICONEXCLAMATION);
            path = ModalHook().getSaveFileName(m_parent, QString(), path, kXmlFilter, QStringLiteral("xml"));
            if (path.isEmpty()) {
                m_report(kNoFileChosen, MB_ICONEXCLAMATION);
                return false;
            }
        }
        if (!write(path)) {
            m_report(kSaveFailed.arg(path), MB_ICONSTOP);
            return false;
        }
        m_report(kSaved.arg(path), 0);
        return true;
    }
    if (!m_folder)
        m_folder = std::make_unique<CSendFolder>();
    const QString path = m_folder->filePath(fileName);
    if (!m_folder->isValid() || !write(path)) {
        m_report(kTempSaveFailed.arg(path), MB_ICONSTOP);
        return false;
    }
    envelope.nameFile = path;
    const QString envelopePath = PathIn(exportDir, SendEnvelopeFileName(base));
    // Without an export folder the description would land in whatever folder the program runs in.
    const XmlDocPtr description = DirectoryExists(exportDir) ? BuildSendEnvelope(envelope) : nullptr;
    if (!description || !SaveExchangeDocument(description.get(), envelopePath)) {
        m_report(kTempSaveFailed.arg(envelopePath), MB_ICONSTOP);
        return false;
    }
    m_files.push_back({displayName, envelopePath});
    return true;
}

bool CExportWriter::Send(const CTransportList& transports)
{
    CSendDataDlg dlg(m_files, transports, m_parent, std::move(m_folder));
    ExecModal(dlg);
    m_files.clear();
    // The send dialog showed them already; a log keeps them.
    for (const QString& line : dlg.failureLines())
        m_report(line, 0);
    return dlg.successFlag() != 0;
}
