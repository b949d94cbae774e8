#include "XmlRead.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {

// No network, entities left unexpanded, no DTD loaded, no messages on standard error. A stored
// document travels as one base64 text node, which may pass libxml2's default limit of 10 MB: the
// limit is lifted, which is safe as no document with a DTD (and so no entity) is read.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE;

// Starts a read of a file: a fresh result, and no network for whatever the parser loads.
int OpenRegularFile(const char* path, CXmlReadResult& result)
{
    result = {};
    XmlUseNoNetworkLoader();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st { };
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        result.status = CXmlReadResult::NotOpened;
        result.openError = errno;
        return -1;
    }
    if (fd < 0) {
        result.status = CXmlReadResult::NotOpened;
        result.openError = errno;
    }
    return fd;
}

struct DoctypeGuard {
    bool doctype = false;
    bool rootSeen = false;
};

// Called at "<!DOCTYPE name", before the declarations inside it are read. The parser's user data is
// the parser itself, its _private the guard.
void RefuseDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
    static_cast<DoctypeGuard*>(parser->_private)->doctype = true;
    xmlStopParser(parser);
}

void ArmDoctypeRefusal(xmlParserCtxtPtr parser, DoctypeGuard& guard)
{
    parser->_private = &guard;
    parser->sax->internalSubset = &RefuseDoctype;
}

std::string ParserMessage(xmlParserCtxtPtr parser)
{
    const xmlError* e = xmlCtxtGetLastError(parser);
    std::string text = e && e->message ? e->message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.pop_back();
    const auto first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : text.substr(first);
}

// libxml2 takes a NUL for the end of its input, so whatever follows one after the root would pass.
bool StoppedBeforeTheEnd(xmlParserCtxtPtr parser)
{
    const xmlParserInputPtr input = parser->input;
    return input && input->cur && input->end && input->cur < input->end;
}

// What follows a parse with the guard armed: the tree when it was read, else none and why. The parser
// is freed.
xmlDocPtr Conclude(xmlParserCtxtPtr parser, const DoctypeGuard& guard, xmlDocPtr doc, bool read, CXmlReadResult& result)
{
    if (guard.doctype)
        result.status = CXmlReadResult::Doctype;
    else if (!read) {
        result.status = CXmlReadResult::Malformed;
        result.message = ParserMessage(parser);
    } else if (StoppedBeforeTheEnd(parser)) {
        result.status = CXmlReadResult::Malformed;
        result.message = "Extra content at the end of the document"; // libxml2's words for such bytes
    }
    xmlFreeParserCtxt(parser);
    if (result.status == CXmlReadResult::Read)
        return doc;
    xmlFreeDoc(doc);
    return nullptr;
}

// The start of the root element ends the look at the prolog.
void StopAtRoot(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int,
                const xmlChar**)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
    static_cast<DoctypeGuard*>(parser->_private)->rootSeen = true;
    xmlStopParser(parser);
}

// The streaming reader keeps its parser to itself, so the prolog is parsed first with the guard armed
// and without a tree, as far as the root's start tag; then the file is read again from its start.
// False only for a document type declaration; any other fault is left to the reader to report.
bool PrologHasNoDoctype(int fd)
{
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &StopAtRoot;
    xmlParserCtxtPtr parser = xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr);
    if (!parser)
        return true;
    xmlCtxtUseOptions(parser, kParseOptions);
    DoctypeGuard guard;
    ArmDoctypeRefusal(parser, guard);
    char chunk[4096];
    while (!guard.doctype && !guard.rootSeen && parser->wellFormed) {
        ssize_t n;
        do
            n = ::read(fd, chunk, sizeof chunk);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            break;
        xmlParseChunk(parser, chunk, int(n), n == 0);
        if (n == 0)
            break;
    }
    xmlFreeParserCtxt(parser);
    return !guard.doctype;
}

// The file under a streaming reader. libxml2 takes a NUL for the end of its input, so in a document
// of one-byte units whatever followed one would pass: a NUL fails the read there. A document in two-
// or four-byte units (its first bytes tell) holds NULs as a matter of course and is left to the
// parser.
struct ReaderInput {
    int fd = -1;
    bool wideUnits = false;
};

bool StartsInWideUnits(int fd)
{
    unsigned char head[4] = {};
    ssize_t n;
    do
        n = ::pread(fd, head, sizeof head, 0);
    while (n < 0 && errno == EINTR);
    if (n < 2)
        return false;
    // A byte order mark of UTF-16 or UTF-32, or "<" written in such units.
    return (head[0] == 0xFE && head[1] == 0xFF) || (head[0] == 0xFF && head[1] == 0xFE) || head[0] == 0
        || (head[0] == '<' && head[1] == 0);
}

int ReadFd(void* context, char* buffer, int length)
{
    const auto* input = static_cast<const ReaderInput*>(context);
    ssize_t n;
    do
        n = ::read(input->fd, buffer, std::size_t(length));
    while (n < 0 && errno == EINTR);
    if (n > 0 && !input->wideUnits && std::memchr(buffer, 0, std::size_t(n)))
        return -1;
    return int(n);
}

int CloseFd(void* context)
{
    const auto* input = static_cast<const ReaderInput*>(context);
    const int closed = ::close(input->fd);
    delete input;
    return closed;
}

} // namespace

void XmlUseNoNetworkLoader()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader); });
}

xmlDocPtr XmlReadFileTree(const char* path, CXmlReadResult& result)
{
    const int fd = OpenRegularFile(path, result);
    if (fd < 0)
        return nullptr;
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser) {
        ::close(fd);
        result.status = CXmlReadResult::NoMemory;
        return nullptr;
    }
    DoctypeGuard guard;
    ArmDoctypeRefusal(parser, guard);
    xmlDocPtr doc = xmlCtxtReadFd(parser, fd, nullptr, nullptr, kParseOptions);
    ::close(fd);
    return Conclude(parser, guard, doc, doc && xmlDocGetRootElement(doc), result);
}

xmlDocPtr XmlReadMemoryTree(const char* bytes, int size, CXmlReadResult& result)
{
    result = {};
    XmlUseNoNetworkLoader();
    xmlParserCtxtPtr parser = xmlCreateMemoryParserCtxt(bytes, size);
    if (!parser) {
        result.status = CXmlReadResult::NoMemory;
        return nullptr;
    }
    xmlCtxtUseOptions(parser, kParseOptions);
    DoctypeGuard guard;
    ArmDoctypeRefusal(parser, guard);
    xmlParseDocument(parser);
    xmlDocPtr doc = parser->myDoc;
    parser->myDoc = nullptr;
    return Conclude(parser, guard, doc, parser->wellFormed, result);
}

xmlTextReaderPtr XmlOpenFileReader(const char* path, CXmlReadResult& result)
{
    const int fd = OpenRegularFile(path, result);
    if (fd < 0)
        return nullptr;
    if (!PrologHasNoDoctype(fd)) {
        ::close(fd);
        result.status = CXmlReadResult::Doctype;
        return nullptr;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        result.status = CXmlReadResult::NotOpened;
        result.openError = errno;
        ::close(fd);
        return nullptr;
    }
    // From here the reader owns the file, also when it cannot be made.
    auto* input = new ReaderInput{fd, StartsInWideUnits(fd)};
    xmlTextReaderPtr reader = xmlReaderForIO(&ReadFd, &CloseFd, input, nullptr, nullptr, kParseOptions);
    if (!reader)
        result.status = CXmlReadResult::NoMemory;
    return reader;
}
