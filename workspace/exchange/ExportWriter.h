// The last part of every export: the data document goes to the export folder with the file
// transport, or to a private folder with a send description beside it for any other transport,
// and the prepared send descriptions then go to the send dialog.
#pragma once

#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "TableNotices.h" // the session guards every export passes first
#include "TransportRegistry.h"
#include "TransportSend.h"
#include "tables/ImportStatus.h"

#include <functional>
#include <memory>

class QWidget;

class CExportWriter {
public:
    // How a line of the export reaches the user: logged, or shown with the icon.
    using Report = std::function<void(const QString& text, unsigned icon)>;

    CExportWriter(QWidget* parent, Report report);
    ~CExportWriter();

    bool fileTransport() const { return m_fileTransport; }

    // Writes the data document to the path it is given; false when it could not.
    using DocumentWriter = std::function<bool(const QString& path)>;

    // Saves the document under `fileName`; for a transport, also its send description (named after
    // `base`) with the parties of `envelope` and adds it to the send list under `displayName`.
    // False after a reported failure or when the user chose no file.
    bool Save(const DocumentWriter& write, const QString& fileName, const QString& base, CSendEnvelope envelope,
              const QString& displayName);
    bool Save(xmlDoc* doc, const QString& fileName, const QString& base, CSendEnvelope envelope,
              const QString& displayName);

    bool hasFiles() const { return !m_files.empty(); }
    // The send dialog over the prepared descriptions; true when every one went through. What did
    // not go is reported without an icon, with its cause.
    bool Send(const CTransportList& transports);

private:
    QWidget* m_parent;
    Report m_report;
    bool m_fileTransport;
    std::unique_ptr<CSendFolder> m_folder;
    CStringPairList m_files;
};
