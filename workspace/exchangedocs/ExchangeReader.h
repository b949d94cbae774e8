// The one reader of received documents (forecasts, reference data, comments): the schema beside
// the program, one streamed parse without network, outside entities or a DTD, the program's version,
// the schema validation, and the records one at a time. Refusals come back as values with the message
// to show; nothing is shown here. Small files of plug-ins (their send results) are read as trees.
#pragma once

#include "xml/XmlRecord.h"

#include <QString>

#include <cstddef>
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

// A parsed document.
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

// A document read whole (as a tree): small ones, and checks against the streamed reader.
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

// As a tree, checked in this order: the schema (cancel ends silently), the parse, the version, the
// validation; with the streamed reader's messages.
CExchangeRead ReadExchangeDocument(const QString& path, const QString& schemaName, const SchemaChooser& choose);

// The parse alone, with the same protections (also for files that plug-ins write): none on failure,
// with the parser's message in *error. A document that declares a DTD is refused.
XmlDocPtr ParseExchangeFile(const QString& path, QString* error = nullptr);
// The text of the root's first element child named `name` without regard to case; empty when the
// file cannot be read or has no such child.
QString ReadRootChildText(const QString& path, const char* name);

// The root element of a streamed document, while its start is read.
class CStreamRoot {
public:
    // Attributes as a streamed read hands them over (XmlRead.h).
    CStreamRoot(int count, const xmlChar** attributes)
        : m_count(count)
        , m_attributes(attributes)
    {
    }
    // The attribute's text; empty when it is missing.
    QString attribute(const char* name) const;
    bool hasAttribute(const char* name) const;

private:
    const xmlChar* const* Find(const char* name) const;

    int m_count;
    const xmlChar** m_attributes;
};

// What a streamed document's handler does with an element below the root: `section` is the name of
// the element around it (empty for the root's children).
enum class StreamStep { Skip, Enter, Read };

// How the reading of one expanded element ended.
struct CStreamRead {
    enum Status { Read, Invalid, Refused };
    Status status = Read;
    QString message; // of Refused: a field that does not fit, reported as a read failure
};

// Where the text of a large base64 element goes, a piece at a time; false stops the read.
using StreamPieces = std::function<bool(const char* text, std::size_t length)>;

struct CStreamHandler {
    std::function<void(const CStreamRoot&)> root;
    std::function<StreamStep(const char* section, const char* name)> step;
    // The element that `step` asked for, expanded alone.
    std::function<CStreamRead(const char* section, const xmlNode* node)> read;
    // Instead of `read`, for elements whose children are the fields of a record and nothing more: the
    // element comes as its children's names and texts, with no tree built for it.
    std::function<CStreamRead(const char* section, CXmlFlatRecord record)> readFields = nullptr;
    // For a child of the element being expanded whose type in the schema is xs:base64Binary: where
    // its text goes, so that it is never held whole (none: it stays in the element). The child then
    // reaches `read` without its text.
    std::function<StreamPieces(const char* section, const char* name)> base64 = nullptr;
    // The table whose columns the children of an element that `step` asked for fill, by their names
    // (none: no limits): a child's text longer than its column's limit (db/TextLimits.h) reaches
    // `read` cut to one character more, so that it is refused without ever being held whole.
    std::function<const char*(const char* section, const char* name)> table = nullptr;
};

// A document read as a stream, so that it is never held as a tree: the program's version on the root
// (checked before anything else of it is read), the schema validation as the parser goes, and the
// elements the handler asks for built one at a time, each once the schema has seen it whole. Its time
// grows with the file's size alone. Empty when read; otherwise the message of the refusal: read failure
// (also a document cut short, or one that the XML entry refuses), version, validation, in the order of
// the whole-tree reader.
QString StreamExchangeFile(const QString& path, const QString& schemaPath, const CStreamHandler& handler);
