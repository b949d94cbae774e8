#include "Pop3Session.h"

#include "ReceivedMail.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

namespace {

constexpr int kPollMs = 250;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kMultiLineEnd = "\r\n.\r\n";
// What one reply may take. The standard's status line has 512 octets; some servers write a little
// more. A listing line is far shorter than a status line.
constexpr std::size_t kLongestStatusLine = 1024;
constexpr std::size_t kLongestListingLine = 128;
constexpr std::size_t kLargestHeaders = 1024 * 1024;

bool StartsWithOk(std::string_view text, bool exactCase)
{
    if (text.size() < 3 || text[0] != '+')
        return false;
    if (exactCase)
        return text[1] == 'O' && text[2] == 'K';
    return (text[1] == 'O' || text[1] == 'o') && (text[2] == 'K' || text[2] == 'k');
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The decimal number after the next blank or tab from `at`; `at` moves past it.
bool NumberAfterBlank(std::string_view text, std::size_t& at, std::int64_t& value)
{
    at = text.find_first_of(" \t", at);
    if (at == std::string_view::npos)
        return false;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    // Capped well below the type's end, so that no digit string can overflow it.
    constexpr std::int64_t kCap = std::numeric_limits<std::int64_t>::max() / 100;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), kCap);
    return true;
}

// Each line of a multi-line reply after its status line, without its line end, until `take`
// says no more.
template <class Take>
void ForEachListedLine(std::string_view reply, Take take)
{
    std::size_t at = reply.find('\n');
    while (at != std::string_view::npos && at + 1 < reply.size()) {
        const std::size_t start = at + 1;
        at = reply.find('\n', start);
        std::string_view line = reply.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (!take(line))
            return;
    }
}

// Undoes the server's dot-stuffing: a line that begins with ".." loses its first dot.
void Unstuff(std::string& text)
{
    std::size_t out = 0;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lineStart && text[i] == '.' && i + 1 < text.size() && text[i + 1] == '.')
            ++i;
        lineStart = text[i] == '\n';
        text[out++] = text[i];
    }
    text.resize(out);
}

} // namespace

bool CPop3Socket::Create()
{
    Close();
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        m_error = errno;
    return m_socket >= 0;
}

bool CPop3Socket::Connect(const std::string& host, int port, int timeoutMs)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (port <= 0 || port > 65535 || m_socket < 0) {
        m_error = CPop3Session::kErrorBadHost;
        return false;
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
            m_error = CPop3Session::kErrorBadHost;
            return false;
        }
        address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    // Made without blocking, so that a server that never answers costs the time-out, not the
    // system's minutes; the socket blocks again once connected.
    const int flags = ::fcntl(m_socket, F_GETFL);
    ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK);
    if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        ::fcntl(m_socket, F_SETFL, flags);
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        m_error = errno;
        return false;
    }
    pollfd p{m_socket, POLLOUT, 0};
    int ready;
    while ((ready = ::poll(&p, 1, timeoutMs)) < 0)
        if (errno != EINTR) {
            m_error = errno;
            return false;
        }
    if (ready == 0) {
        m_error = ETIMEDOUT;
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    m_error = error;
    ::fcntl(m_socket, F_SETFL, flags);
    return error == 0;
}

bool CPop3Socket::Send(const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t n = ::send(m_socket, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : EPIPE;
            return false;
        }
        data += n;
        length -= std::size_t(n);
    }
    return true;
}

int CPop3Socket::Receive(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::recv(m_socket, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            m_error = errno;
        return int(n);
    }
}

bool CPop3Socket::IsReadable(bool& readable, int timeoutMs, int stopEvent)
{
    readable = false;
    pollfd waits[] = {{m_socket, POLLIN, 0}, {stopEvent, POLLIN, 0}};
    const pollfd& p = waits[0];
    const int n = ::poll(waits, stopEvent >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno != EINTR) {
        m_error = errno;
        return false;
    }
    if (n > 0 && waits[1].revents) {
        m_error = CPop3Session::kErrorStopped;
        return false;
    }
    // A closed or failed connection is "readable": the receive then tells what happened.
    readable = n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    if (n > 0 && (p.revents & POLLNVAL)) {
        m_error = EBADF;
        return false;
    }
    return true;
}

void CPop3Socket::Close()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

CPop3Session::CPop3Session(unsigned replyTimeoutMs)
    : m_replyTimeout(replyTimeoutMs)
{
}

void CPop3Session::SetReplyPace(unsigned baseMs, unsigned bytesPerSecond)
{
    m_replyBaseMs = baseMs;
    m_slowestBytesPerSecond = std::max(bytesPerSecond, 1u);
}

bool CPop3Session::Command(const std::string& text)
{
    // A line end inside a login or password would smuggle in a command of its own.
    if (!m_connected || m_broken || text.find_first_of("\r\n") != std::string::npos)
        return false;
    const std::string line = text + std::string(kLineEnd);
    if (m_socket.Send(line.data(), line.size()))
        return true;
    m_lastError = m_socket.LastError();
    m_broken = true;
    return false;
}

bool CPop3Session::Login(const std::string& host, const std::string& user, const std::string& password, int port)
{
    m_broken = false;
    m_listFetched = m_statFetched = m_uidlFetched = m_uidlRefused = false;
    m_stopSeen = Clock::time_point::max();
    // As long as a reply may take, and never past the deadline.
    auto timeout = std::chrono::milliseconds(m_replyBaseMs);
    if (m_deadline != Clock::time_point::max())
        timeout = std::min(timeout,
                           std::max(std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()),
                                    std::chrono::milliseconds(0)));
    if (!m_socket.Create() || !m_socket.Connect(host, port, int(timeout.count()))) {
        m_lastError = m_socket.LastError();
        return false;
    }
    m_connected = true;
    if (ReadStatusReply() && Command("USER " + user) && ReadStatusReply() && Command("PASS " + password)
        && ReadStatusReply())
        return true;
    Quit();
    return false;
}

bool CPop3Session::Quit()
{
    bool confirmed = false;
    if (m_connected && m_socket.IsValid()) {
        // Sent even on a broken connection: the server then still removes what was deleted.
        static constexpr char quit[] = "QUIT\r\n";
        if (!m_socket.Send(quit, sizeof quit - 1)) {
            m_lastError = m_socket.LastError();
            m_broken = true;
        }
        confirmed = !m_broken && ReadStatusReply();
    }
    m_connected = false;
    m_listFetched = m_statFetched = m_uidlFetched = m_uidlRefused = false;
    m_socket.Close();
    return confirmed;
}

bool CPop3Session::Stat(int& count, std::int64_t& size)
{
    return Command("STAT") && ReadStatReply(count, size);
}

bool CPop3Session::RunStat()
{
    if (m_statFetched)
        return true;
    int count = 0;
    std::int64_t size = 0;
    m_statFetched = Stat(count, size);
    return m_statFetched;
}

bool CPop3Session::List()
{
    if (!RunStat() || !Command("LIST"))
        return false;
    m_listFetched = ReadListReply();
    return m_listFetched;
}

bool CPop3Session::Uidl()
{
    if (!RunStat() || !Command("UIDL"))
        return false;
    m_uidlFetched = ReadUidlReply();
    return m_uidlFetched;
}

int CPop3Session::ListedCount()
{
    if (!m_listFetched && !List())
        return 0;
    return int(m_messageSizes.size());
}

bool CPop3Session::GetMessageSize(int n, std::uint32_t& size)
{
    if (!m_listFetched && !List())
        return false;
    if (n < 1 || std::size_t(n) > m_messageSizes.size())
        return false;
    size = m_messageSizes[std::size_t(n) - 1];
    return true;
}

bool CPop3Session::GetMessageId(int n, std::string& id)
{
    if (m_uidlRefused)
        return false;
    if (!m_uidlFetched && !Uidl()) {
        m_uidlRefused = !m_broken && m_lastError == kErrorReply;
        return false;
    }
    if (n < 1 || std::size_t(n) > m_messageIds.size())
        return false;
    id = m_messageIds[std::size_t(n) - 1];
    return true;
}

bool CPop3Session::FetchMessage(const char* command, int n, CReceivedMail& mail)
{
    std::uint32_t size = 0;
    const bool top = command[0] == 'T';
    return GetMessageSize(n, size) && Command(command + std::to_string(n) + (top ? " 0" : ""))
        && ReadMessageReply(mail, size, top);
}

bool CPop3Session::Retr(int n, CReceivedMail& mail)
{
    return FetchMessage("RETR ", n, mail);
}

bool CPop3Session::Top(int n, CReceivedMail& mail)
{
    return FetchMessage("TOP ", n, mail);
}

bool CPop3Session::Dele(int n)
{
    if (!m_listFetched && !List())
        return false;
    return Command("DELE " + std::to_string(n)) && ReadStatusReply();
}

bool CPop3Session::Reset()
{
    return Command("RSET") && ReadStatusReply();
}

bool CPop3Session::Noop()
{
    return Command("NOOP") && ReadStatusReply();
}

bool CPop3Session::ReadStatusReply()
{
    std::string reply;
    return ReadReply(reply, kLongestStatusLine, kLineEnd);
}

bool CPop3Session::ReadStatReply(int& count, std::int64_t& size)
{
    std::string reply;
    if (!ReadReply(reply, kLongestStatusLine, kLineEnd) || !StartsWithOk(reply, true))
        return false;
    std::size_t at = 0;
    std::int64_t messages = 0;
    if (!NumberAfterBlank(reply, at, messages) || !NumberAfterBlank(reply, at, size))
        return false;
    count = int(std::min<std::int64_t>(messages, std::numeric_limits<int>::max()));
    m_messageCount = std::min(count, kMostMessages);
    return true;
}

std::size_t CPop3Session::ListingLimit() const
{
    return kLongestStatusLine + std::size_t(std::max(m_messageCount, 0)) * kLongestListingLine;
}

// A listing line of a message is a few octets.
constexpr std::size_t kListedLine = 16;

bool CPop3Session::ReadListReply()
{
    std::string reply;
    if (!ReadReply(reply, ListingLimit(), kMultiLineEnd, std::size_t(std::max(m_messageCount, 0)) * kListedLine))
        return false;
    m_messageSizes.clear();
    ForEachListedLine(reply, [this](std::string_view line) {
        std::size_t at = 0;
        std::int64_t size = 0;
        if (NumberAfterBlank(line, at, size))
            m_messageSizes.push_back(
                std::uint32_t(std::min<std::int64_t>(size, std::numeric_limits<std::uint32_t>::max())));
        return m_messageSizes.size() < std::size_t(kMostMessages);
    });
    return true;
}

bool CPop3Session::ReadUidlReply()
{
    std::string reply;
    if (!ReadReply(reply, ListingLimit(), kMultiLineEnd, std::size_t(std::max(m_messageCount, 0)) * 4 * kListedLine))
        return false;
    m_messageIds.clear();
    ForEachListedLine(reply, [this](std::string_view line) {
        const std::size_t gap = line.find_first_of(" \t");
        const std::size_t start = gap == std::string_view::npos ? gap : line.find_first_not_of(" \t", gap);
        if (start != std::string_view::npos) {
            const std::size_t end = line.find_first_of(" \t", start);
            m_messageIds.emplace_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        }
        return m_messageIds.size() < std::size_t(kMostMessages);
    });
    return true;
}

bool CPop3Session::ReadMessageReply(CReceivedMail& mail, std::uint32_t size, bool headersOnly)
{
    // Dot-stuffing adds at most one octet to a line of at least one: twice the size always holds it.
    // Headers take no more than their message, and may always take a megabyte.
    std::size_t limit = kLongestStatusLine + 2 * std::size_t(size) + 16;
    if (headersOnly)
        limit = std::max(limit, kLargestHeaders);
    limit = std::min<std::size_t>(limit, kLargestMessage);
    // Room for the listed size: an honest server's message never moves while it arrives.
    const std::size_t expected = std::min<std::size_t>(kLongestStatusLine + size + size / 64 + 16, limit);
    std::string reply;
    if (!ReadReply(reply, limit, kMultiLineEnd, expected))
        return false;
    const std::size_t status = reply.find('\n');
    reply.erase(0, status == std::string::npos ? reply.size() : status + 1);
    Unstuff(reply);
    mail.SetRawText(std::move(reply));
    return true;
}

bool CPop3Session::ReadReply(std::string& text, std::size_t limit, std::string_view terminator, std::size_t expected)
{
    text.clear();
    auto fail = [this, &text](int error) {
        if (error)
            m_lastError = error;
        m_lastReplyText = text.substr(0, kLongestStatusLine);
        m_broken = true;
        return false;
    };
    if (!m_connected || m_broken)
        return fail(0);
    if (expected > 0)
        text.reserve(std::min(expected, limit + 1));
    const Clock::time_point start = Clock::now();
    const Clock::time_point paced = start + std::chrono::milliseconds(m_replyBaseMs)
        + std::chrono::milliseconds(std::uint64_t(expected) * 1000 / m_slowestBytesPerSecond);
    const Clock::time_point deadline = std::min(paced, m_deadline);
    Clock::time_point lastActivity = start;
    char chunk[64 * 1024];
    bool statusRead = false;
    std::size_t scanned = 0; // where the search for the status line's end goes on
    for (;;) {
        if (!statusRead) {
            const std::size_t firstLine = text.find(kLineEnd, scanned);
            statusRead = firstLine != std::string::npos;
            if (statusRead && !StartsWithOk(text, false)) {
                text.resize(firstLine);
                m_lastError = kErrorReply;
                m_lastReplyText = text;
                return false;
            }
            if (!statusRead && text.size() > kLongestStatusLine)
                return fail(kErrorTooLong);
            // A line end may be split between two receives.
            scanned = text.empty() ? 0 : text.size() - 1;
        }
        if (statusRead && text.size() >= terminator.size() && text.ends_with(terminator)) {
            text.resize(text.size() - terminator.size());
            return true;
        }
        if (text.size() > limit)
            return fail(kErrorTooLong);
        const Clock::time_point now = Clock::now();
        if (now - lastActivity > std::chrono::milliseconds(m_replyTimeout))
            return fail(kErrorTimedOut);
        if (now >= deadline)
            return fail(deadline == m_deadline && deadline < paced ? kErrorDeadline : kErrorTooSlow);
        const bool graced = m_stopSeen != Clock::time_point::max() && m_stopGraceMs > 0;
        if (graced && now - m_stopSeen >= std::chrono::milliseconds(m_stopGraceMs))
            return fail(kErrorStopped);
        bool readable = false;
        if (!m_socket.IsReadable(readable, kPollMs, graced ? -1 : m_stopEvent)) {
            if (m_socket.LastError() == kErrorStopped && m_stopGraceMs > 0 && m_stopSeen == Clock::time_point::max()) {
                m_stopSeen = now;
                continue;
            }
            return fail(m_socket.LastError());
        }
        if (!readable)
            continue;
        // Never more than the limit allows, so that a flood costs at most one chunk beyond it.
        const std::size_t room = limit + 1 - std::min(text.size(), limit);
        const int n = m_socket.Receive(chunk, std::min(sizeof chunk, room));
        if (n <= 0)
            return fail(n < 0 ? m_socket.LastError() : kErrorClosed);
        lastActivity = Clock::now();
        text.append(chunk, std::size_t(n));
    }
}
