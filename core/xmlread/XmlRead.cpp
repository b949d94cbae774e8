#include "XmlRead.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

namespace {

// No network, entities left unexpanded, no DTD loaded, no messages on standard error. A stored
// document travels as one base64 text node, which may pass libxml2's default limit of 10 MB: the
// limit is lifted, which is safe as no document with a DTD (and so no entity) is read, and the guard
// below bounds what the limits without it bounded (the nesting). A tree keeps lines beyond 65535 too,
// so that a message names the line of a large document.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE | XML_PARSE_BIG_LINES;

std::atomic<const std::atomic<bool>*> g_abort{nullptr};

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

bool IsBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// The encoding an XML declaration names; empty when it names none.
std::string_view DeclaredEncoding(std::string_view declaration)
{
    const std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return {};
    std::size_t i = at + 8;
    while (i < declaration.size() && IsBlank(static_cast<unsigned char>(declaration[i])))
        ++i;
    if (i >= declaration.size() || declaration[i] != '=')
        return {};
    ++i;
    while (i < declaration.size() && IsBlank(static_cast<unsigned char>(declaration[i])))
        ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
        return {};
    const std::size_t end = declaration.find(declaration[i], i + 1);
    return end == std::string_view::npos ? std::string_view() : declaration.substr(i + 1, end - i - 1);
}

// Follows the markup of the bytes on their way to the parser, as far as it must to refuse what the
// header names: it tells start tags, end tags, attribute values, comments, character data sections
// and processing instructions apart, and nothing more (the parser checks the rest). In UTF-8 every
// byte of markup is ASCII and never part of a longer character.
class CInputGuard {
public:
    // False once the bytes hold what a read refuses; Refusal() tells what.
    bool Feed(const unsigned char* bytes, std::size_t size);
    CXmlReadResult::Status Refusal() const { return m_refusal; }
    const char* Message() const { return m_message; }

private:
    enum class State { Head, Text, Lt, Bang, Comment, CData, Pi, Name, Tag, Value, Slash, EndTag, Opaque };

    bool Refuse(CXmlReadResult::Status status, const char* message = "")
    {
        m_refusal = status;
        m_message = message;
        return false;
    }
    bool Head(unsigned char c);
    bool EndOfPi();

    State m_state = State::Head;
    CXmlReadResult::Status m_refusal = CXmlReadResult::Read;
    const char* m_message = "";
    std::size_t m_offset = 0; // bytes seen
    int m_bom = 0;            // bytes of a UTF-8 byte order mark seen at the start
    int m_depth = 0;
    int m_attributes = 0;
    int m_run = 0; // dashes, brackets or a question mark just seen
    unsigned char m_quote = 0;
    std::string m_bang;         // what follows "<!" while it may still open a comment or a section
    bool m_declaration = false; // the processing instruction at the very start
    std::string m_pi;           // its text
};

constexpr std::size_t kLongestDeclaration = 1024;

bool CInputGuard::Head(unsigned char c)
{
    // A byte order mark of UTF-16 or UTF-32, or a first character written in such units.
    if (m_offset == 0 && (c == 0xFE || c == 0xFF || c == 0))
        return Refuse(CXmlReadResult::Encoding);
    if (m_offset == 0 && c == 0xEF) {
        m_bom = 1;
        return true;
    }
    if (m_bom > 0 && m_bom < 3 && c == (m_bom == 1 ? 0xBB : 0xBF)) {
        ++m_bom;
        return true;
    }
    m_state = c == '<' ? State::Lt : State::Text;
    // A declaration stands at the very start, after a whole byte order mark at most.
    m_declaration = c == '<' && (m_bom == 0 || m_bom == 3);
    return true;
}

bool CInputGuard::EndOfPi()
{
    if (!m_declaration)
        return true;
    m_declaration = false;
    // "<?xml" and a blank: the XML declaration. The system's documents are UTF-8, which takes ASCII.
    if (m_pi.size() < 4 || m_pi.compare(0, 3, "xml") != 0 || !IsBlank(static_cast<unsigned char>(m_pi[3])))
        return true;
    const std::string_view encoding = DeclaredEncoding(m_pi);
    for (const char* accepted : {"UTF-8", "UTF8", "US-ASCII", "ASCII"})
        if (EqualsNoCase(encoding, accepted))
            return true;
    return encoding.empty() || Refuse(CXmlReadResult::Encoding);
}

bool CInputGuard::Feed(const unsigned char* bytes, std::size_t size)
{
    if (m_refusal != CXmlReadResult::Read)
        return false;
    // A NUL among the first bytes: a document in units of two or four bytes.
    if (const void* nul = std::memchr(bytes, 0, size))
        return Refuse(m_offset + std::size_t(static_cast<const unsigned char*>(nul) - bytes) < 4
                          ? CXmlReadResult::Encoding
                          : CXmlReadResult::Malformed,
                      "Char 0x0 out of allowed range"); // libxml2's words for a NUL
    const unsigned char* const end = bytes + size;
    for (const unsigned char* p = bytes; p < end; ++p, ++m_offset) {
        const unsigned char c = *p;
        switch (m_state) {
        case State::Head:
            if (!Head(c))
                return false;
            break;
        case State::Text: {
            // Character data makes up most of a document: skipped in one search.
            const auto* lt = static_cast<const unsigned char*>(std::memchr(p, '<', std::size_t(end - p)));
            const unsigned char* stop = lt ? lt : end;
            m_offset += std::size_t(stop - p);
            p = stop;
            if (!lt) {
                --p; // the loop's step takes it to the end
                --m_offset;
                break;
            }
            m_state = State::Lt;
            break;
        }
        case State::Lt:
            if (c == '!') {
                m_state = State::Bang;
                m_bang.clear();
            } else if (c == '?') {
                m_state = State::Pi;
                m_run = 0;
                m_pi.clear();
            } else if (c == '/') {
                m_state = State::EndTag;
                m_declaration = false;
            } else {
                m_declaration = false;
                if (++m_depth > kXmlMostDepth)
                    return Refuse(CXmlReadResult::TooDeep);
                m_attributes = 0;
                m_state = State::Name;
            }
            break;
        case State::Bang:
            m_declaration = false;
            m_bang += char(c);
            if (m_bang == "--") {
                m_state = State::Comment;
                m_run = 0;
            } else if (m_bang == "[CDATA[") {
                m_state = State::CData;
                m_run = 0;
            } else if (std::string_view("--").substr(0, m_bang.size()) != m_bang
                       && std::string_view("[CDATA[").substr(0, m_bang.size()) != m_bang) {
                // A document type declaration, refused by the parser as soon as it sees it; any other
                // is no XML.
                m_state = State::Opaque;
            }
            break;
        case State::Comment:
            if (c == '>' && m_run >= 2)
                m_state = State::Text;
            else
                m_run = c == '-' ? m_run + 1 : 0;
            break;
        case State::CData:
            if (c == '>' && m_run >= 2)
                m_state = State::Text;
            else
                m_run = c == ']' ? m_run + 1 : 0;
            break;
        case State::Pi:
            if (c == '>' && m_run == 1) {
                m_state = State::Text;
                if (!m_pi.empty())
                    m_pi.pop_back(); // the question mark
                if (!EndOfPi())
                    return false;
                break;
            }
            m_run = c == '?' ? 1 : 0;
            if (m_declaration) {
                if (m_pi.size() >= kLongestDeclaration)
                    return Refuse(CXmlReadResult::Malformed, "XML declaration too long");
                m_pi += char(c);
            }
            break;
        case State::Name:
            if (c == '>')
                m_state = State::Text;
            else if (c == '/')
                m_state = State::Slash;
            else if (IsBlank(c))
                m_state = State::Tag;
            break;
        case State::Tag:
            if (c == '"' || c == '\'') {
                if (++m_attributes > kXmlMostAttributes)
                    return Refuse(CXmlReadResult::TooManyAttributes);
                m_quote = c;
                m_state = State::Value;
            } else if (c == '>') {
                m_state = State::Text;
            } else if (c == '/') {
                m_state = State::Slash;
            }
            break;
        case State::Value: {
            const auto* q = static_cast<const unsigned char*>(std::memchr(p, m_quote, std::size_t(end - p)));
            const unsigned char* stop = q ? q : end - 1;
            m_offset += std::size_t(stop - p);
            p = stop;
            if (q)
                m_state = State::Tag;
            break;
        }
        case State::Slash:
            if (c == '>') {
                --m_depth; // an empty element
                m_state = State::Text;
            } else {
                m_state = State::Tag;
            }
            break;
        case State::EndTag:
            if (c == '>') {
                m_depth = m_depth > 0 ? m_depth - 1 : 0;
                m_state = State::Text;
            }
            break;
        case State::Opaque:
            return true;
        }
    }
    return true;
}

// The file under a parser, through the guard.
struct GuardedInput {
    int fd = -1;
    CInputGuard guard;
    bool aborted = false;
};

int ReadGuarded(void* context, char* buffer, int length)
{
    auto* input = static_cast<GuardedInput*>(context);
    if (XmlAbortRequested()) {
        input->aborted = true;
        return -1;
    }
    ssize_t n;
    do
        n = ::read(input->fd, buffer, std::size_t(length));
    while (n < 0 && errno == EINTR);
    if (n > 0 && !input->guard.Feed(reinterpret_cast<const unsigned char*>(buffer), std::size_t(n)))
        return -1;
    return int(n);
}

int CloseGuarded(void* context)
{
    auto* input = static_cast<GuardedInput*>(context);
    const int closed = input->fd >= 0 ? ::close(input->fd) : 0;
    input->fd = -1;
    return closed;
}

// What the guard (or the abort flag) made of a read that did not end: Read when neither stopped it.
CXmlReadResult::Status GuardStatus(const GuardedInput& input, std::string* message)
{
    if (input.aborted)
        return CXmlReadResult::Aborted;
    if (input.guard.Refusal() != CXmlReadResult::Read)
        *message = input.guard.Message();
    return input.guard.Refusal();
}

struct DoctypeGuard {
    bool doctype = false;
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

// How a parse with the guards armed ended: the guard's refusal first, then a document type, then the
// parser's own fault.
void Conclude(xmlParserCtxtPtr parser, CXmlReadResult::Status guarded, const DoctypeGuard& doctype, bool read,
              CXmlReadResult& result)
{
    if (guarded != CXmlReadResult::Read)
        result.status = guarded;
    else if (doctype.doctype)
        result.status = CXmlReadResult::Doctype;
    else if (!read) {
        result.status = CXmlReadResult::Malformed;
        result.message = ParserMessage(parser);
    }
}

xmlDocPtr Concluded(xmlParserCtxtPtr parser, xmlDocPtr doc, CXmlReadResult& result)
{
    xmlFreeParserCtxt(parser);
    if (result.status == CXmlReadResult::Read)
        return doc;
    xmlFreeDoc(doc);
    return nullptr;
}

enum Base64Kind : unsigned char { Other, Letter, Pad };

constexpr std::array<Base64Kind, 256> kBase64Kinds = [] {
    std::array<Base64Kind, 256> kinds{};
    for (int c = 0; c < 256; ++c) {
        const bool letter =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        kinds[std::size_t(c)] = letter ? Letter : c == '=' ? Pad : Other;
    }
    return kinds;
}();

// What libxml2's check of xs:base64Binary looks at in a text, gathered as the text goes by: other
// characters than the 64 letters and "=" count for nothing; what counts is how many letters come
// before the first "=" (modulo 4) and the last of them, how many "=" follow, and whether a letter
// follows them.
class CBase64Shape {
public:
    void Feed(const unsigned char* text, std::size_t length);
    // The shortest text of the same shape: the check judges it as it would judge the whole.
    std::string Sample() const;

private:
    std::size_t m_letters = 0; // before the first "="
    char m_last = 'A';
    int m_pads = 0;
    bool m_letterAfterPad = false;
};

void CBase64Shape::Feed(const unsigned char* text, std::size_t length)
{
    const unsigned char* const end = text + length;
    const unsigned char* p = text;
    if (m_pads == 0) {
        const unsigned char* last = nullptr;
        std::size_t letters = 0;
        for (; p < end; ++p) {
            const Base64Kind kind = kBase64Kinds[*p];
            if (kind == Pad)
                break;
            if (kind == Letter) {
                ++letters;
                last = p;
            }
        }
        m_letters += letters;
        if (last)
            m_last = char(*last);
    }
    for (; p < end && !m_letterAfterPad; ++p) {
        const Base64Kind kind = kBase64Kinds[*p];
        if (kind == Pad)
            m_pads = std::min(m_pads + 1, 3); // more than two are refused however many
        else if (kind == Letter)
            m_letterAfterPad = true;
    }
}

std::string CBase64Shape::Sample() const
{
    std::string sample;
    if (m_letters >= 4)
        sample = "AAAA";
    if (const std::size_t open = m_letters % 4) {
        sample.append(open - 1, 'A');
        sample += m_last;
    }
    sample.append(std::size_t(m_pads), '=');
    if (m_letterAfterPad)
        sample += 'A';
    return sample;
}

// The streamed read: the parser's events through one text buffer to the schema's validator and then
// to the reader. libxml2 hands character data over in pieces of a few hundred bytes, and its
// validator joins each piece to the text before it by measuring that text again: so the pieces of a
// run are joined here first, and the validator sees each run once. A base64 text that the reader
// takes in pieces passes the buffer by: the validator sees its shape alone, so neither holds it.
class CStreamRun {
public:
    explicit CStreamRun(CXmlStreamEvents& events)
        : m_events(events)
        , m_wantsText(events.WantsText())
    {
    }
    ~CStreamRun() { xmlFree(m_text); }

    xmlSAXHandler Handler();
    void Validate(xmlSAXHandlerPtr sax, void* context)
    {
        m_schema = sax;
        m_schemaContext = context;
    }
    void SetParser(xmlParserCtxtPtr parser) { m_parser = parser; }
    bool Invalid() const { return m_invalid; }
    bool Stopped() const { return m_stopped; }
    bool Doctype() const { return m_doctype; }
    bool OutOfMemory() const { return m_noMemory; }
    void MarkInvalid() { m_invalid = true; }

private:
    bool Validating() const { return m_schema && !m_invalid; }
    void Stop()
    {
        m_stopped = true;
        xmlStopParser(m_parser);
    }
    void Append(const xmlChar* text, int length);
    int Kept(const xmlChar* text, int length);
    void Flush();
    void EndBase64();

    static CStreamRun* Of(void* ctx) { return static_cast<CStreamRun*>(ctx); }
    static void OnStart(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri, int namespaces,
                        const xmlChar** declared, int attributes, int defaulted, const xmlChar** values);
    static void OnEnd(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri);
    static void OnText(void* ctx, const xmlChar* text, int length) { Of(ctx)->Append(text, length); }
    static void OnDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        Of(ctx)->m_doctype = true;
        xmlStopParser(Of(ctx)->m_parser);
    }

    CXmlStreamEvents& m_events;
    const bool m_wantsText;
    xmlParserCtxtPtr m_parser = nullptr;
    xmlSAXHandlerPtr m_schema = nullptr;
    void* m_schemaContext = nullptr;
    bool m_invalid = false;
    bool m_stopped = false;
    bool m_doctype = false;
    bool m_noMemory = false;
    xmlChar* m_text = nullptr;
    std::size_t m_length = 0;
    std::size_t m_capacity = 0;
    // The element whose base64 text goes to the reader in pieces, not through the buffer.
    bool m_base64 = false;
    CBase64Shape m_shape;
    // The text limit of the element that started last, and the characters of its text seen so far.
    std::size_t m_limit = 0;
    std::size_t m_characters = 0;
};

xmlSAXHandler CStreamRun::Handler()
{
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &OnStart;
    sax.endElementNs = &OnEnd;
    sax.characters = &OnText;
    sax.ignorableWhitespace = &OnText;
    sax.cdataBlock = &OnText;
    sax.internalSubset = &OnDoctype;
    return sax;
}

void CStreamRun::Append(const xmlChar* text, int length)
{
    if (length <= 0 || m_stopped || (m_invalid && m_schema))
        return;
    if (m_base64) {
        if (Validating())
            m_shape.Feed(text, std::size_t(length));
        if (!m_events.Base64Text(text, std::size_t(length)))
            Stop();
        return;
    }
    if (!Validating() && !m_wantsText)
        return;
    if (m_limit && (length = Kept(text, length)) == 0)
        return;
    const std::size_t needed = m_length + std::size_t(length) + 1;
    // libxml2 measures a text in an int: a run beyond it is more than any reader takes.
    if (needed > std::size_t(INT32_MAX)) {
        m_noMemory = true;
        Stop();
        return;
    }
    if (needed > m_capacity) {
        // Grown by half again: a large run moves a few times, not once per piece.
        const std::size_t capacity = std::max<std::size_t>(needed + needed / 2, 256);
        auto* grown = static_cast<xmlChar*>(xmlRealloc(m_text, capacity));
        if (!grown) {
            m_noMemory = true;
            Stop();
            return;
        }
        m_text = grown;
        m_capacity = capacity;
    }
    std::memcpy(m_text + m_length, text, std::size_t(length));
    m_length += std::size_t(length);
}

// The bytes of the piece that fall within the limit's characters and one more; the characters are
// counted by the bytes that do not continue another, as the databases count them.
int CStreamRun::Kept(const xmlChar* text, int length)
{
    const std::size_t most = m_limit + 1;
    if (m_characters > most)
        return 0;
    for (int i = 0; i < length; ++i)
        if ((text[i] & 0xC0) != 0x80 && ++m_characters > most)
            return i;
    return length;
}

void CStreamRun::EndBase64()
{
    m_base64 = false;
    const std::string sample = m_shape.Sample();
    m_shape = {};
    if (Validating() && !sample.empty())
        m_schema->characters(m_schemaContext, BAD_CAST sample.c_str(), int(sample.size()));
}

void CStreamRun::Flush()
{
    if (m_base64)
        EndBase64();
    if (m_length == 0)
        return;
    m_text[m_length] = 0;
    if (Validating())
        m_schema->characters(m_schemaContext, m_text, int(m_length));
    const std::size_t length = m_length;
    m_length = 0;
    if (m_wantsText && !m_invalid && !m_stopped) {
        xmlChar* text = m_text;
        const bool go = m_events.Text(text, length);
        if (!text) {
            m_text = nullptr; // the reader keeps it
            m_capacity = 0;
        }
        if (!go)
            Stop();
    }
    // A large buffer is not kept for the small runs that follow.
    if (m_capacity > (1u << 20)) {
        xmlFree(m_text);
        m_text = nullptr;
        m_capacity = 0;
    }
}

void CStreamRun::OnStart(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri, int namespaces,
                         const xmlChar** declared, int attributes, int defaulted, const xmlChar** values)
{
    CStreamRun* run = Of(ctx);
    run->Flush();
    if (run->m_stopped || (run->m_invalid && run->m_schema))
        return;
    if (!run->m_events.StartElement(name, attributes, values)) {
        run->Stop();
        return;
    }
    if (run->Validating())
        run->m_schema->startElementNs(run->m_schemaContext, name, prefix, uri, namespaces, declared, attributes,
                                      defaulted, values);
    run->m_base64 = run->m_events.TakesBase64();
    run->m_limit = run->m_events.TextLimit();
    run->m_characters = 0;
}

void CStreamRun::OnEnd(void* ctx, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri)
{
    CStreamRun* run = Of(ctx);
    run->Flush();
    run->m_limit = 0; // the text around the element is not its own
    if (run->m_stopped)
        return;
    if (run->Validating())
        run->m_schema->endElementNs(run->m_schemaContext, name, prefix, uri);
    if (run->m_invalid && run->m_schema)
        return;
    if (!run->m_events.EndElement(name))
        run->Stop();
}

void MarkInvalid(void* ctx, xmlErrorPtr error)
{
    if (error && error->level != XML_ERR_WARNING)
        static_cast<CStreamRun*>(ctx)->MarkInvalid();
}

void IgnoreSchemaMessage(void*, xmlErrorPtr)
{
}

struct SchemaDeleter {
    void operator()(xmlSchema* s) const { xmlSchemaFree(s); }
    void operator()(xmlSchemaValidCtxt* c) const { xmlSchemaFreeValidCtxt(c); }
};

std::unique_ptr<xmlSchema, SchemaDeleter> LoadSchema(const char* path)
{
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path);
    if (!parser)
        return nullptr;
    xmlSchemaSetParserStructuredErrors(parser, &IgnoreSchemaMessage, nullptr);
    std::unique_ptr<xmlSchema, SchemaDeleter> schema(xmlSchemaParse(parser));
    xmlSchemaFreeParserCtxt(parser);
    return schema;
}

} // namespace

bool CXmlStreamEvents::StartElement(const xmlChar*, int, const xmlChar**)
{
    return true;
}

bool CXmlStreamEvents::EndElement(const xmlChar*)
{
    return true;
}

bool CXmlStreamEvents::Text(xmlChar*&, std::size_t)
{
    return true;
}

bool CXmlStreamEvents::Base64Text(const xmlChar*, std::size_t)
{
    return true;
}

long CXmlStreamEvents::Line() const
{
    return m_parser && m_parser->input ? m_parser->input->line : 0;
}

void XmlUseNoNetworkLoader()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader); });
}

void XmlSetAbortFlag(const std::atomic<bool>* flag)
{
    g_abort = flag;
}

bool XmlAbortRequested()
{
    const std::atomic<bool>* flag = g_abort.load();
    return flag && flag->load();
}

xmlDocPtr XmlReadFileTree(const char* path, CXmlReadResult& result)
{
    GuardedInput input;
    input.fd = OpenRegularFile(path, result);
    if (input.fd < 0)
        return nullptr;
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser) {
        CloseGuarded(&input);
        result.status = CXmlReadResult::NoMemory;
        return nullptr;
    }
    DoctypeGuard doctype;
    ArmDoctypeRefusal(parser, doctype);
    // The input stays the caller's: the parser closes it, when it is freed, through CloseGuarded.
    xmlDocPtr doc = xmlCtxtReadIO(parser, &ReadGuarded, &CloseGuarded, &input, nullptr, nullptr, kParseOptions);
    Conclude(parser, GuardStatus(input, &result.message), doctype, doc && xmlDocGetRootElement(doc), result);
    return Concluded(parser, doc, result);
}

xmlDocPtr XmlReadMemoryTree(const char* bytes, int size, CXmlReadResult& result)
{
    result = {};
    XmlUseNoNetworkLoader();
    CInputGuard guard;
    if (size > 0 && !guard.Feed(reinterpret_cast<const unsigned char*>(bytes), std::size_t(size))) {
        result.status = guard.Refusal();
        result.message = guard.Message();
        return nullptr;
    }
    xmlParserCtxtPtr parser = xmlCreateMemoryParserCtxt(bytes, size);
    if (!parser) {
        result.status = CXmlReadResult::NoMemory;
        return nullptr;
    }
    xmlCtxtUseOptions(parser, kParseOptions);
    DoctypeGuard doctype;
    ArmDoctypeRefusal(parser, doctype);
    xmlParseDocument(parser);
    xmlDocPtr doc = parser->myDoc;
    parser->myDoc = nullptr;
    Conclude(parser, CXmlReadResult::Read, doctype, parser->wellFormed, result);
    if (result.status == CXmlReadResult::Read && StoppedBeforeTheEnd(parser)) {
        result.status = CXmlReadResult::Malformed;
        result.message = "Extra content at the end of the document"; // libxml2's words for such bytes
    }
    return Concluded(parser, doc, result);
}

CXmlReadResult XmlStreamFile(const char* path, const char* schemaPath, CXmlStreamEvents& events)
{
    CXmlReadResult result;
    GuardedInput input;
    input.fd = OpenRegularFile(path, result);
    if (input.fd < 0)
        return result;
    std::unique_ptr<xmlSchema, SchemaDeleter> schema;
    std::unique_ptr<xmlSchemaValidCtxt, SchemaDeleter> validator;
    if (schemaPath) {
        schema = LoadSchema(schemaPath);
        validator.reset(schema ? xmlSchemaNewValidCtxt(schema.get()) : nullptr);
        if (!validator) {
            CloseGuarded(&input);
            result.status = CXmlReadResult::NoSchema;
            return result;
        }
    }
    CStreamRun run(events);
    xmlSchemaSAXPlugPtr plug = nullptr;
    // Without a handler of the reader's the plug hands out the validator's own; it writes these two
    // back when it is unplugged.
    xmlSAXHandlerPtr schemaSax = nullptr;
    void* schemaContext = nullptr;
    if (validator) {
        xmlSchemaSetValidStructuredErrors(validator.get(), &MarkInvalid, &run);
        plug = xmlSchemaSAXPlug(validator.get(), &schemaSax, &schemaContext);
        if (!plug) {
            CloseGuarded(&input);
            result.status = CXmlReadResult::NoMemory;
            return result;
        }
        run.Validate(schemaSax, schemaContext);
    }
    xmlSAXHandler sax = run.Handler();
    xmlParserCtxtPtr parser =
        xmlCreateIOParserCtxt(&sax, &run, &ReadGuarded, &CloseGuarded, &input, XML_CHAR_ENCODING_NONE);
    if (!parser) {
        if (plug)
            xmlSchemaSAXUnplug(plug);
        result.status = CXmlReadResult::NoMemory;
        return result;
    }
    xmlCtxtUseOptions(parser, kParseOptions);
    run.SetParser(parser);
    events.m_parser = parser;
    xmlParseDocument(parser);
    events.m_parser = nullptr;
    const bool wellFormed = parser->wellFormed && !run.Stopped();
    result.invalid = run.Invalid() || (validator && xmlSchemaIsValid(validator.get()) != 1);
    if (plug)
        xmlSchemaSAXUnplug(plug);
    const CXmlReadResult::Status guarded = GuardStatus(input, &result.message);
    if (guarded != CXmlReadResult::Read)
        result.status = guarded;
    else if (run.Doctype())
        result.status = CXmlReadResult::Doctype;
    else if (run.OutOfMemory())
        result.status = CXmlReadResult::NoMemory;
    else if (run.Stopped())
        result.status = CXmlReadResult::Stopped;
    else if (!wellFormed) {
        result.status = CXmlReadResult::Malformed;
        result.message = ParserMessage(parser);
    }
    // After a fault libxml2 goes on through an internal subset without calling us, and keeps its
    // entities in a document of its own that the context does not free.
    xmlFreeDoc(parser->myDoc);
    parser->myDoc = nullptr;
    xmlFreeParserCtxt(parser);
    return result;
}

bool XmlIsWellFormedFile(const char* path)
{
    struct : CXmlStreamEvents {
    } nothing;
    return XmlStreamFile(path, nullptr, nothing).status == CXmlReadResult::Read;
}
