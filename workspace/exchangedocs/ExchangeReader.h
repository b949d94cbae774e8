// The one reader of received documents (forecasts, reference data, comments): the schema beside
// the program, one parse without network, outside entities or a DTD, the program's version, the
// schema validation, then the root's attributes and children by name. Refusals come back as
// values with the message to show; nothing is shown here.
#pragma once

#include "xml/XmlRecord.h"

#include <QString>

#include <functional>
#include <vector>

namespace ExchangeTexts {
inline const QString kSchemaCaption = QStringLiteral("Файл проверки XML");
inline const QString kSchemaFilter = QStringLiteral("Файлы XSD (*.xsd)");
// %1 the document's path, %2 the parser's message.
inline const QString kReadFailed = QStringLiteral("Ошибка при чтении файла %1\n%2");
// The first letter is a Latin C, as the program has always shown it.
inline const QString kVersionMismatch = QStringLiteral("Cхема данных не соответствует версии приложения");
inline const QString kValidationFailed = QStringLiteral("Ошибка при проверке файла!");
} // namespace ExchangeTexts

// Asks the user for a schema file; an empty answer cancels.
using SchemaChooser = std::function<QString()>;

// A parsed and validated document.
class CExchangeDocument {
public:
    CExchangeDocument() = default;
    explicit CExchangeDocument(XmlDocPtr doc);

    xmlDoc* doc() const { return m_doc.get(); }
    const xmlNode* root() const { return m_root; }
    // The root attribute's text; empty when it is missing.
    QString attribute(const char* name) const;
    // The root attribute as a decimal integer; `missing` when it is absent.
    int intAttribute(const char* name, int missing = 0) const;
    // Element children of the root whose name equals `name` without regard to case.
    const xmlNode* child(const char* name) const;
    std::vector<const xmlNode*> children(const char* name) const;

private:
    XmlDocPtr m_doc;
    const xmlNode* m_root = nullptr;
};

struct CExchangeRead {
    enum Status { Read, Cancelled, Refused };
    Status status = Refused;
    QString message; // of a refusal, shown with the stop icon
    CExchangeDocument document;

    bool ok() const { return status == Read; }
};

// The schema file: `name` in the program folder, or while no file is there what `choose` answers;
// empty when the user cancels.
QString FindSchemaFile(const QString& name, const SchemaChooser& choose);

// Checks, in this order: the schema (cancel ends silently), the parse, the version, the validation.
CExchangeRead ReadExchangeDocument(const QString& path, const QString& schemaName, const SchemaChooser& choose);

// The parse alone, with the same protections (also for files that plug-ins write): none on failure,
// with the parser's message in *error. A document that declares a DTD is refused.
XmlDocPtr ParseExchangeFile(const QString& path, QString* error = nullptr);
// The text of the root's first element child named `name` without regard to case; empty when the
// file cannot be read or has no such child.
QString ReadRootChildText(const QString& path, const char* name);
