#include "MailSender.h"

#include "Codepage.h"
#include "MailFiles.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>

namespace {

constexpr char kCrlf[] = "\r\n";
constexpr std::size_t kMaxLine = 998; // octets, without the CRLF
constexpr std::size_t kBase64Line = 76;
constexpr char kEncodedWordStart[] = "=?windows-1251?B?";
constexpr char kEncodedWordEnd[] = "?=";
constexpr std::size_t kLongestReply = 300; // of the server's words in a failure's text

std::string Base64(const std::string& bytes, std::size_t lineLength)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    const std::size_t encoded = (bytes.size() + 2) / 3 * 4;
    out.reserve(encoded + (lineLength ? encoded / lineLength * 2 : 0));
    std::size_t column = 0;
    auto put = [&](char c) {
        if (lineLength && column == lineLength) {
            out += kCrlf;
            column = 0;
        }
        out += c;
        ++column;
    };
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = unsigned(in[i]) << 16 | unsigned(in[i + 1]) << 8 | in[i + 2];
        put(alphabet[v >> 18]);
        put(alphabet[(v >> 12) & 63]);
        put(alphabet[(v >> 6) & 63]);
        put(alphabet[v & 63]);
    }
    if (const std::size_t rest = bytes.size() - i) {
        const unsigned v = unsigned(in[i]) << 16 | (rest == 2 ? unsigned(in[i + 1]) << 8 : 0u);
        put(alphabet[v >> 18]);
        put(alphabet[(v >> 12) & 63]);
        put(rest == 2 ? alphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    return out;
}

bool IsPrintableAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// The receiving side decodes only one windows-1251 word in base64 that makes up the whole value,
// so a text is sent so whatever its length.
std::string EncodedWord(const std::string& utf8)
{
    return kEncodedWordStart + Base64(Utf8ToCodepage(utf8, Codepage::Cp1251), 0) + kEncodedWordEnd;
}

std::string HeaderText(const std::string& utf8)
{
    return IsPrintableAscii(utf8) ? utf8 : EncodedWord(utf8);
}

// A parameter value goes between double quotes.
std::string ParameterText(const std::string& utf8)
{
    const bool plain = IsPrintableAscii(utf8) && utf8.find_first_of("\"\\") == std::string::npos;
    return plain ? utf8 : EncodedWord(utf8);
}

// "Name: value" lines; a longer value goes on TAB continuation lines.
void AppendHeader(std::string& out, const char* name, const std::string& value)
{
    out.append(name).append(": ");
    std::size_t room = kMaxLine - std::strlen(name) - 2;
    for (std::size_t at = 0;;) {
        const std::size_t n = std::min(room, value.size() - at);
        out.append(value, at, n).append(kCrlf);
        at += n;
        if (at >= value.size())
            return;
        out += '\t';
        room = kMaxLine - 1;
    }
}

// "Content-Type: type;" and the parameter on a TAB line of its own.
void AppendTyped(std::string& out, const char* header, const char* type, const char* parameter,
                 const std::string& value)
{
    out.append(header).append(": ").append(type).append(";\r\n\t");
    out.append(parameter).append("=\"").append(value).append("\"\r\n");
}

// cp1251 bytes with CRLF line ends; a line longer than 998 octets is broken there.
std::string WireText(const std::string& utf8)
{
    const std::string bytes = Utf8ToCodepage(utf8, Codepage::Cp1251);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16 + 2);
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            out += kCrlf;
            column = 0;
            continue;
        }
        if (column == kMaxLine) {
            out += kCrlf;
            column = 0;
        }
        out += c;
        ++column;
    }
    return out;
}

void AppendTextPart(std::string& out, const char* type, const std::string& text)
{
    AppendTyped(out, "Content-Type", type, "charset", "windows-1251");
    out += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    out += text;
}

// The same text as plain and as HTML body.
void AppendAlternative(std::string& out, const std::string& boundary, const std::string& text)
{
    AppendTyped(out, "Content-Type", "multipart/alternative", "boundary", boundary);
    out.append(kCrlf).append("--").append(boundary).append(kCrlf);
    AppendTextPart(out, "text/plain", text);
    out.append(kCrlf).append("--").append(boundary).append(kCrlf);
    AppendTextPart(out, "text/html", text);
    out.append(kCrlf).append("--").append(boundary).append("--").append(kCrlf);
}

std::string WithoutControls(const std::string& text)
{
    std::string out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out),
                 [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f; });
    return out;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

CCurlError CurlError(CURLcode code, const std::string& description)
{
    CCurlError error;
    error.code = unsigned(code);
    error.message = curl_easy_strerror(code);
    error.description = description;
    return error;
}

[[noreturn]] void ThrowCurl(CURLcode code, const std::string& description)
{
    throw CurlError(code, description);
}

std::string ReadWholeFile(const std::string& path)
{
    auto fail = [&path](int error) { ThrowCurl(CURLE_READ_ERROR, path + ": " + std::strerror(error)); };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(errno);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, std::size_t(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            fail(error);
        }
    }
    ::close(fd);
    return bytes;
}

bool EndsWithNoCase(const std::string& text, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && std::equal(text.end() - std::ptrdiff_t(n), text.end(), tail, [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

std::string RandomText(std::size_t length)
{
    static constexpr char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof chars - 2);
    std::string out(length, ' ');
    for (char& c : out)
        c = chars[pick(device)];
    return out;
}

struct Upload {
    const std::string* bytes;
    std::size_t at;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* user)
{
    auto* upload = static_cast<Upload*>(user);
    const std::size_t n = std::min(size * count, upload->bytes->size() - upload->at);
    std::memcpy(buffer, upload->bytes->data() + upload->at, n);
    upload->at += n;
    return n;
}

void Check(CURLcode code, const char* errors)
{
    if (code != CURLE_OK)
        ThrowCurl(code, errors);
}

// The server's side of the dialogue, as far as a failure needs it: the verb of the last command
// (a line that starts with no verb, such as a password sent after AUTH LOGIN, is never kept) and
// the last reply before the QUIT that curl sends after a refusal.
struct Dialogue {
    std::string command;
    std::string reply;
    bool replyDone = true;
    bool quitting = false;
};

std::string FirstWord(const char* data, std::size_t size)
{
    std::string word;
    for (std::size_t i = 0; i < size && std::isalpha(static_cast<unsigned char>(data[i])); ++i)
        word += char(std::toupper(static_cast<unsigned char>(data[i])));
    return word;
}

int TraceDialogue(CURL*, curl_infotype type, char* data, std::size_t size, void* user)
{
    static constexpr const char* verbs[] = {"EHLO", "HELO", "AUTH", "MAIL", "RCPT", "DATA", "RSET", "NOOP"};
    auto* dialogue = static_cast<Dialogue*>(user);
    if (dialogue->quitting)
        return 0;
    if (type == CURLINFO_HEADER_OUT) {
        const std::string word = FirstWord(data, size);
        dialogue->quitting = word == "QUIT";
        if (!dialogue->quitting && std::find(std::begin(verbs), std::end(verbs), word) != std::end(verbs))
            dialogue->command = word;
    } else if (type == CURLINFO_HEADER_IN) {
        // "250-..." lines continue a reply, "250 ..." ends it; the reply is kept as "250 a b".
        for (std::size_t at = 0; at < size;) {
            const std::size_t end = std::min(size, std::size_t(std::find(data + at, data + size, '\n') - data) + 1);
            std::string line(data + at, end - at);
            at = end;
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            const bool continues = line.size() >= 4 && line[3] == '-';
            if (dialogue->replyDone) {
                dialogue->reply.clear();
                if (continues)
                    line[3] = ' ';
            } else {
                line = ' ' + line.substr(std::min<std::size_t>(4, line.size()));
            }
            dialogue->replyDone = !continues;
            for (const char c : line)
                if (dialogue->reply.size() < kLongestReply)
                    dialogue->reply += c >= 0x20 && c < 0x7f ? c : '?';
        }
    }
    return 0;
}

// smtp://host:port; the host is checked by curl's URL parser, not pasted into a URL text.
std::unique_ptr<CURLU, void (*)(CURLU*)> SmtpUrl(const std::string& server, long port)
{
    std::unique_ptr<CURLU, void (*)(CURLU*)> url(curl_url(), &curl_url_cleanup);
    if (!url)
        ThrowCurl(CURLE_OUT_OF_MEMORY, {});
    std::string host = Trimmed(server);
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = '[' + host + ']'; // an IPv6 address
    const std::string portText = std::to_string(port ? port : 25);
    for (const auto& [part, value] : {std::pair{CURLUPART_SCHEME, std::string("smtp")}, std::pair{CURLUPART_HOST, host},
                                      std::pair{CURLUPART_PORT, portText}}) {
        if (const CURLUcode code = curl_url_set(url.get(), part, value.c_str(), 0))
            ThrowCurl(CURLE_URL_MALFORMAT, std::string(curl_url_strerror(code)) + ": " + value);
    }
    return url;
}

} // namespace

std::string MailDate(std::time_t when)
{
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    localtime_r(&when, &t);
    const long offset = t.tm_gmtoff / 60;
    const long absolute = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[t.tm_wday], t.tm_mday,
                  months[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, offset < 0 ? '-' : '+',
                  absolute / 60, absolute % 60);
    return text;
}

CMailStamp NewMailStamp(const std::string& fromAddress)
{
    std::string domain;
    if (const auto at = fromAddress.rfind('@'); at != std::string::npos)
        std::copy_if(fromAddress.begin() + std::ptrdiff_t(at) + 1, fromAddress.end(), std::back_inserter(domain),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-'; });
    if (domain.empty())
        domain = "localhost";
    const std::time_t now = std::time(nullptr);
    return {MailDate(now), '<' + std::to_string(now) + '.' + RandomText(20) + '@' + domain + '>',
            "----=_RuneMixed_" + RandomText(24), "----=_RuneAlt_" + RandomText(24)};
}

void MailCurlGlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void CCdoMailSender::AddFrom(const std::string& address, const std::string& name)
{
    m_from.clear();
    m_from[address] = name;
}

void CCdoMailSender::AddTo(const std::string& address, const std::string& name)
{
    m_to.clear();
    m_to[address] = name;
}

void CCdoMailSender::AddAttachment(const std::string& path, const std::string& name)
{
    m_attachments[path] = name;
}

std::vector<std::string> CCdoMailSender::SplitAddresses(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(",;", start), text.size());
        std::string address = Trimmed(WithoutControls(text.substr(start, end - start)));
        if (!address.empty())
            out.push_back(std::move(address));
        start = end + 1;
    }
    return out;
}

std::string CCdoMailSender::FromAddress() const
{
    return m_from.empty() ? std::string() : Trimmed(WithoutControls(m_from.begin()->first));
}

std::string CCdoMailSender::ToText() const
{
    std::string out;
    if (!m_to.empty())
        for (const std::string& address : SplitAddresses(m_to.begin()->first))
            out += (out.empty() ? "" : ", ") + address;
    return out;
}

std::string CCdoMailSender::Compose(const CMailStamp& stamp) const
{
    std::vector<std::pair<std::string, std::string>> files; // name, base64 lines
    std::size_t size = 2048;
    for (const auto& attachment : m_attachments) {
        files.emplace_back(FileNameOf(attachment.first), Base64(ReadWholeFile(attachment.first), kBase64Line));
        size += files.back().second.size() + 512;
    }
    const std::string text = WireText(m_body);

    std::string out;
    out.reserve(size + 2 * text.size());
    AppendHeader(out, "Date", stamp.date);
    AppendHeader(out, "From", FromAddress());
    AppendHeader(out, "To", ToText());
    AppendHeader(out, "Subject", HeaderText(m_subject));
    AppendHeader(out, "Message-ID", stamp.messageId);
    AppendHeader(out, "MIME-Version", "1.0");
    if (files.empty()) {
        AppendAlternative(out, stamp.alternativeBoundary, text);
        return out;
    }
    const std::string delimiter = "--" + stamp.mixedBoundary;
    AppendTyped(out, "Content-Type", "multipart/mixed", "boundary", stamp.mixedBoundary);
    out.append(kCrlf).append(delimiter).append(kCrlf);
    AppendAlternative(out, stamp.alternativeBoundary, text);
    for (const auto& [name, lines] : files) {
        const std::string parameter = ParameterText(name);
        out.append(kCrlf).append(delimiter).append(kCrlf);
        AppendTyped(out, "Content-Type", EndsWithNoCase(name, ".zip") ? "application/zip" : "application/octet-stream",
                    "name", parameter);
        out += "Content-Transfer-Encoding: base64\r\n";
        AppendTyped(out, "Content-Disposition", "attachment", "filename", parameter);
        out += kCrlf;
        out += lines;
    }
    out.append(kCrlf).append(delimiter).append("--").append(kCrlf);
    return out;
}

int CCdoMailSender::Send() const
{
    MailCurlGlobalInit();
    const std::string from = FromAddress();
    const std::string message = Compose(NewMailStamp(from));

    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl)
        ThrowCurl(CURLE_FAILED_INIT, {});
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> recipients(nullptr, &curl_slist_free_all);
    if (!m_to.empty())
        for (const std::string& address : SplitAddresses(m_to.begin()->first)) {
            curl_slist* list = curl_slist_append(recipients.get(), address.c_str());
            if (!list)
                ThrowCurl(CURLE_OUT_OF_MEMORY, {});
            recipients.release();
            recipients.reset(list);
        }
    const auto url = SmtpUrl(m_server, m_port);

    char errors[CURL_ERROR_SIZE] = {};
    Upload upload{&message, 0};
    Dialogue dialogue;
    CURL* c = curl.get();
    Check(curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errors), errors);
    Check(curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L), errors);
    Check(curl_easy_setopt(c, CURLOPT_CURLU, url.get()), errors);
    Check(curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp"), errors);
    // The connect time covers the greeting and the login too; a stalled answer later gets twice it.
    Check(curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, m_timeout), errors);
    Check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L), errors);
    Check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 2 * m_timeout), errors);
    Check(curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &TraceDialogue), errors);
    Check(curl_easy_setopt(c, CURLOPT_DEBUGDATA, &dialogue), errors);
    Check(curl_easy_setopt(c, CURLOPT_VERBOSE, 1L), errors);
    Check(curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str()), errors);
    Check(curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get()), errors);
    if (m_useLogin) {
        Check(curl_easy_setopt(c, CURLOPT_USERNAME, m_login.c_str()), errors);
        Check(curl_easy_setopt(c, CURLOPT_PASSWORD, m_password.c_str()), errors);
    }
    Check(curl_easy_setopt(c, CURLOPT_UPLOAD, 1L), errors);
    Check(curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size())), errors);
    Check(curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload), errors);
    Check(curl_easy_setopt(c, CURLOPT_READDATA, &upload), errors);
    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK)
        return 0;
    CCurlError error = CurlError(code, errors);
    long osError = 0;
    curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError);
    error.osError = int(osError);
    curl_off_t connected = 0;
    if (code == CURLE_OPERATION_TIMEDOUT && curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connected) == CURLE_OK
        && connected == 0)
        error.osError = ETIMEDOUT;
    error.command = dialogue.command;
    error.reply = dialogue.reply;
    throw error;
}
