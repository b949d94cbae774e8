// The one way into an XML file, shared by the program and the mail plug-in: a regular file only (a
// pipe or a device would never end), nothing from the network, entities left unexpanded, messages as
// values. The system's documents never carry a document type declaration: one is refused at
// "<!DOCTYPE name", before the declarations inside it are read (their entities could expand a small
// file without bound). No Qt: the plug-in has its own strings.
//
// Every read takes its bytes through a guard that refuses, before libxml2 parses them, what no
// document of the system holds and what would cost libxml2 more than linear time: an encoding other
// than UTF-8, a NUL byte, an element with more than kXmlMostAttributes attributes (libxml2 compares
// each attribute with all before it) and elements nested deeper than kXmlMostDepth.
#pragma once

#include <libxml/tree.h>

#include <atomic>
#include <cstddef>
#include <string>

// The system's schemas give an element at most a handful of attributes and nest a few levels deep.
inline constexpr int kXmlMostAttributes = 64;
inline constexpr int kXmlMostDepth = 256;

// How a read ended.
struct CXmlReadResult {
    enum Status {
        Read,
        NotOpened,
        NoMemory,
        Doctype,
        Malformed,
        Encoding,          // not UTF-8 (a declaration of another encoding, UTF-16 or UTF-32)
        TooManyAttributes, // an element with more than kXmlMostAttributes
        TooDeep,           // elements nested deeper than kXmlMostDepth
        Stopped,           // the reader of the events asked to stop
        Aborted,           // the abort flag was set meanwhile
        NoSchema,          // the schema file could not be read as a schema
    };
    Status status = Read;
    int openError = 0;    // errno of NotOpened
    std::string message;  // the parser's message of Malformed; may be empty
    bool invalid = false; // a streamed read: the document does not hold to the schema
};

// For the whole process: whatever libxml2 loads (a schema the user picks and what it includes) never
// goes to the network.
void XmlUseNoNetworkLoader();

// For the whole process: a flag that, once set, ends every read of a file at its next few kilobytes
// with Aborted (the program sets it when it is asked to end). None by default.
void XmlSetAbortFlag(const std::atomic<bool>* flag);
bool XmlAbortRequested();

// The tree of a file with a root element; null unless the result is Read. The caller frees it.
xmlDocPtr XmlReadFileTree(const char* path, CXmlReadResult& result);
// The tree of a well-formed document in memory; null unless the result is Read.
xmlDocPtr XmlReadMemoryTree(const char* bytes, int size, CXmlReadResult& result);

// What a streamed read hands its reader, in document order, each call after the schema (when there
// is one) has seen it. A call that returns false stops the read. After the first fault against the
// schema the rest is only parsed, without further calls.
class CXmlStreamEvents {
public:
    // Attributes as libxml2 gives them: five pointers each (local name, prefix, namespace, value,
    // end of the value). The start of an element comes before the schema has seen it, so that the
    // reader may refuse the root before its other faults count.
    virtual bool StartElement(const xmlChar* name, int attributeCount, const xmlChar** attributes);
    virtual bool EndElement(const xmlChar* name);
    // One run of character data between two tags (comments and processing instructions inside it
    // neither end nor split it), whole: `text` is NUL-terminated, allocated with xmlMalloc, and the
    // reader may keep it (setting it to null), else it is freed. Only for readers that want text.
    virtual bool WantsText() const { return false; }
    virtual bool Text(xmlChar*& text, std::size_t length);
    // Whether the text of the element that StartElement has just taken is base64 that the schema
    // types as xs:base64Binary and that may be large: it then comes to Base64Text in the pieces the
    // parser hands over, never whole, and the schema is given a text of a few characters that its
    // check of the type judges as it would judge the whole. Text is not called for it.
    virtual bool TakesBase64() const { return false; }
    virtual bool Base64Text(const xmlChar* piece, std::size_t length);
    // After StartElement: the most characters of the element's own text that the reader takes (0:
    // any). A longer text is kept to one character more and no further, however long it runs, so
    // that it still reads as too long; the schema is given the same cut text, which its check of
    // xs:string judges as it would judge the whole.
    virtual std::size_t TextLimit() const { return 0; }

    // During a call: the line of the file the parser has reached (in StartElement the line where the
    // start tag ends, which libxml2's trees give the element); 0 outside a read.
    long Line() const;

protected:
    ~CXmlStreamEvents() = default;

private:
    friend CXmlReadResult XmlStreamFile(const char* path, const char* schemaPath, CXmlStreamEvents& events);
    xmlParserCtxt* m_parser = nullptr;
};

// Reads the file as a stream, never as a whole tree, validating it against the schema file at
// `schemaPath` as the parser goes (none: not validated); its cost grows with the file's size alone,
// whatever its text nodes. The result is Read for a well-formed document, also when it does not hold
// to the schema (then `invalid` is set).
CXmlReadResult XmlStreamFile(const char* path, const char* schemaPath, CXmlStreamEvents& events);
// Whether the file is a well-formed document, read as a stream.
bool XmlIsWellFormedFile(const char* path);
