#include "ReceivedMail.h"

#include "BigFile.h"
#include "Codepage.h"
#include "MailFiles.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

constexpr std::string_view kEmptyLine = "\r\n\r\n";
constexpr std::string_view kEncodedWordStart = "=?windows-1251?B?";
constexpr std::string_view kAttachment = "Content-Disposition: attachment";
constexpr std::string_view kMixed = "multipart/mixed";

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

std::string AsciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

bool StartsNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i]))
            return false;
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whole lines, each with its line end; the last one may have none.
class LineReader {
public:
    explicit LineReader(std::string_view text, std::size_t at = 0)
        : m_text(text)
        , m_at(at)
    {
    }
    bool Next(std::string_view& line)
    {
        if (m_at >= m_text.size())
            return false;
        const std::size_t end = m_text.find('\n', m_at);
        const std::size_t next = end == std::string_view::npos ? m_text.size() : end + 1;
        line = m_text.substr(m_at, next - m_at);
        m_at = next;
        return true;
    }
    bool AtEnd() const { return m_at >= m_text.size(); }
    std::size_t Position() const { return m_at; }

private:
    std::string_view m_text;
    std::size_t m_at;
};

bool IsEmptyLine(std::string_view line)
{
    return line.empty() || line[0] == '\r' || line[0] == '\n';
}

// A line that opens or closes a part: "--" and the boundary.
bool IsDelimiter(std::string_view line, std::string_view boundary)
{
    return line.size() >= boundary.size() + 2 && line.substr(0, 2) == "--"
        && line.substr(2, boundary.size()) == boundary;
}

// Base64 of RFC 2045 as the old readers took it: other characters are skipped, "=" fills a place
// as padding. A group of four goes on over line ends.
class Base64Decoder {
public:
    void Feed(std::string_view text, std::string& out)
    {
        for (const char c : text) {
            const int v = Value(c);
            if (v < 0 && c != '=')
                continue;
            if (v < 0)
                ++m_pads;
            else
                m_group |= unsigned(v) << (6 * (3 - m_places));
            if (++m_places < 4)
                continue;
            out += char(m_group >> 16);
            if (m_pads < 2)
                out += char((m_group >> 8) & 0xff);
            if (m_pads == 0)
                out += char(m_group & 0xff);
            m_group = 0;
            m_places = 0;
            m_pads = 0;
        }
    }

private:
    static int Value(char c)
    {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    }

    unsigned m_group = 0;
    int m_places = 0;
    int m_pads = 0;
};

// The first part of a multipart body, as GetInfoText and SaveAttachment both read it.
struct FirstPart {
    bool attachment = false;
    std::string text;    // its lines with LF ends
    std::size_t end = 0; // just after the line that closed it
};

FirstPart ReadFirstPart(std::string_view body, std::string_view boundary)
{
    FirstPart part;
    LineReader reader(body);
    std::string_view line;
    if (!boundary.empty()) {
        while (reader.Next(line) && !IsDelimiter(line, boundary)) { }
        while (reader.Next(line) && !IsEmptyLine(line))
            if (line.starts_with(kAttachment))
                part.attachment = true;
    }
    if (!part.attachment) {
        while (reader.Next(line) && !(!boundary.empty() && IsDelimiter(line, boundary))) {
            if (line.size() > 1 && line.ends_with("\r\n")) {
                part.text.append(line.substr(0, line.size() - 2));
                part.text += '\n';
            } else {
                part.text.append(line);
            }
        }
    }
    part.end = reader.Position();
    return part;
}

// What follows "filename=" on a header line: a quoted text, or a token up to ";" or white space.
std::string ParameterValue(std::string_view rest)
{
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r'))
        rest.remove_suffix(1);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    std::size_t end = 0;
    while (end < rest.size() && rest[end] != ';' && !IsSpace(rest[end]))
        ++end;
    return std::string(rest.substr(0, end));
}

// The file name a mail gives, reduced to its last component; empty when that is no usable name.
std::string UsableFileName(std::string name)
{
    CReceivedMail::DecodeEncodedWord(name);
    const std::string utf8 = CodepageToUtf8(name);
    const std::size_t sep = utf8.find_last_of("/\\");
    std::string last = sep == std::string::npos ? utf8 : utf8.substr(sep + 1);
    if (last.empty() || last == "." || last == "..")
        return {};
    for (const char c : last)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return {};
    return last;
}

// What decoded bytes gather before they go to the file: a large attachment is never held whole.
constexpr std::size_t kWriteChunk = 1 << 20;

// Decodes the part's lines up to its end into a new file, which appears only when it is complete:
// under the target's name, or a numbered one when that is taken. The name taken; empty on failure.
std::string WriteDecoded(const std::string& target, LineReader& reader, std::string_view boundary)
{
    CBigFile out;
    try {
        out.CreateBeside(target);
        std::string bytes;
        Base64Decoder decoder;
        std::uint64_t written = 0;
        std::string_view line;
        bool more = true;
        while (more) {
            more = reader.Next(line) && !IsDelimiter(line, boundary);
            if (more)
                decoder.Feed(line, bytes);
            if (bytes.size() >= kWriteChunk || (!more && !bytes.empty())) {
                out.WriteAt(bytes.data(), bytes.size(), written);
                written += bytes.size();
                bytes.clear();
            }
        }
        out.Close();
        if (std::string placed = RenameWithoutReplacing(out.Path(), target); !placed.empty())
            return placed;
    } catch (...) {
        out.Abandon();
    }
    if (!out.Path().empty() && out.Path() != target)
        std::remove(out.Path().c_str());
    return {};
}

} // namespace

const std::string& CReceivedMail::RawText() const
{
    static const std::string none;
    return m_rawText ? *m_rawText : none;
}

std::string CReceivedMail::GetHeaderBlock() const
{
    if (!m_rawText)
        return {};
    return m_rawText->substr(0, m_rawText->find(kEmptyLine));
}

const char* CReceivedMail::GetBody() const
{
    if (!m_rawText)
        return nullptr;
    const std::size_t at = m_rawText->find(kEmptyLine);
    return at == std::string::npos ? nullptr : m_rawText->c_str() + at + kEmptyLine.size();
}

std::string CReceivedMail::HeaderBytes(const std::string& name, int index) const
{
    const std::string text = "\r\n" + GetHeaderBlock();
    const std::string upper = AsciiUpper(text);
    const std::string pattern = "\r\n" + AsciiUpper(name) + ":";
    std::size_t at = upper.find(pattern);
    for (int k = 0; k < index && at != std::string::npos; ++k)
        at = upper.find(pattern, at + pattern.size());
    if (at == std::string::npos || index < 0)
        return {};
    const std::size_t start = at + pattern.size();
    std::size_t end = start;
    for (;; end += 2) {
        end = text.find("\r\n", end);
        if (end == std::string::npos || end + 2 >= text.size() || (text[end + 2] != ' ' && text[end + 2] != '\t'))
            break;
    }
    std::string value;
    const std::string_view raw =
        std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            ++i;
        else
            value += raw[i] == '\t' ? ' ' : raw[i];
    }
    std::size_t first = 0, last = value.size();
    while (first < last && IsSpace(value[first]))
        ++first;
    while (last > first && IsSpace(value[last - 1]))
        --last;
    value = value.substr(first, last - first);
    DecodeEncodedWord(value);
    return value;
}

std::string CReceivedMail::GetHeaderValue(const std::string& name, int index) const
{
    return CodepageToUtf8(HeaderBytes(name, index));
}

std::string CReceivedMail::GetReplyAddress() const
{
    for (const char* name : {"Reply-To", "From", "Sender", "Return-Path"})
        if (std::string value = GetHeaderValue(name); !value.empty())
            return value;
    return {};
}

std::string CReceivedMail::ContentTypeBytes() const
{
    const std::string value = HeaderBytes("Content-Type", 0);
    return value.substr(0, value.find(';'));
}

std::string CReceivedMail::GetContentType() const
{
    return CodepageToUtf8(ContentTypeBytes());
}

std::string CReceivedMail::BoundaryBytes() const
{
    const std::string value = HeaderBytes("Content-Type", 0);
    const std::size_t open = value.find('"');
    const std::size_t close = open == std::string::npos ? open : value.find('"', open + 1);
    return close == std::string::npos ? std::string() : value.substr(open + 1, close - open - 1);
}

std::string CReceivedMail::GetBoundary() const
{
    return CodepageToUtf8(BoundaryBytes());
}

std::string CReceivedMail::GetInfoText() const
{
    try {
        const char* body = GetBody();
        const FirstPart part = ReadFirstPart(body ? body : "", BoundaryBytes());
        if (ContentTypeBytes() == kMixed)
            return "Error";
        return CodepageToUtf8(part.text);
    } catch (...) {
        return "Error";
    }
}

HRESULT CReceivedMail::SaveAttachment(const std::string& folder, std::string& path, SaveFault* fault) const
{
    path.clear();
    auto refuse = [&path, fault](SaveFault why) {
        path.clear();
        if (fault)
            *fault = why;
        return E_FAIL;
    };
    if (fault)
        *fault = SaveFault::None;
    try {
        if (folder.empty())
            return refuse(SaveFault::NoFolder);
        if (!m_rawText)
            return refuse(SaveFault::NoAttachment);
        if (ContentTypeBytes() != kMixed) {
            path = WithSlash(folder);
            return S_OK;
        }
        const std::string boundary = BoundaryBytes();
        if (boundary.empty())
            return refuse(SaveFault::NoAttachment);
        const std::string_view body = GetBody() ? std::string_view(GetBody()) : std::string_view();
        const FirstPart first = ReadFirstPart(body, boundary);

        LineReader reader(body, first.attachment ? 0 : first.end);
        std::string_view line;
        std::optional<std::string> name;
        while (!name && !reader.AtEnd()) {
            bool pending = false; // "attachment;" seen, the name may follow on a TAB line
            while (reader.Next(line)) {
                std::optional<std::string_view> value;
                if (pending) {
                    pending = false;
                    if (StartsNoCase(line, "filename=")) {
                        value = line.substr(9);
                    } else if (StartsNoCase(line, "\tfilename=")) {
                        value = line.substr(10);
                    } else {
                        while (reader.Next(line) && !IsDelimiter(line, boundary)) { }
                        break;
                    }
                } else if (IsEmptyLine(line)) {
                    break;
                } else if (StartsNoCase(line, "Content-Disposition: attachment; filename=")) {
                    value = line.substr(42);
                } else if (StartsNoCase(line, "Content-Disposition: attachment;")) {
                    pending = true;
                }
                if (value && !name)
                    name = ParameterValue(*value);
            }
        }
        if (!name)
            return refuse(SaveFault::NoAttachment);
        const std::string fileName = UsableFileName(*name);
        if (fileName.empty())
            return refuse(SaveFault::BadName);

        const std::string placed = WriteDecoded(WithSlash(folder) + fileName, reader, boundary);
        if (placed.empty())
            return refuse(SaveFault::WriteFailed);
        path = placed;
        return S_OK;
    } catch (...) {
        return refuse(SaveFault::WriteFailed);
    }
}

const char* CReceivedMail::Describe(SaveFault fault)
{
    switch (fault) {
    case SaveFault::None:
        return "";
    case SaveFault::NoFolder:
        return "не задана папка для принятых файлов";
    case SaveFault::NoAttachment:
        return "в сообщении нет вложения";
    case SaveFault::BadName:
        return "недопустимое имя файла вложения";
    case SaveFault::WriteFailed:
        return "не удалось записать файл вложения";
    }
    return "";
}

bool CReceivedMail::DecodeEncodedWord(std::string& text)
{
    if (!text.starts_with(kEncodedWordStart))
        return false;
    const std::size_t close = text.find("?=", kEncodedWordStart.size());
    std::string decoded;
    Base64Decoder decoder;
    const std::string_view encoded = std::string_view(text).substr(
        kEncodedWordStart.size(), close == std::string::npos ? std::string::npos : close - kEncodedWordStart.size());
    decoder.Feed(encoded, decoded);
    if (close != std::string::npos)
        decoded.append(text, close + 2);
    text = std::move(decoded);
    return true;
}
