// The POP3 client of the receive loop: plain TCP, USER and PASS, no TLS. No Qt.
//
// Every call blocks its thread; a reply is awaited while the server keeps sending, and given up
// after a silence longer than the reply time-out, once it takes longer than its size allows at the
// slowest pace a server may keep, or at the session's deadline. Failures are results, never
// exceptions; the session's LastError tells the cause: 10022 for a host name that does not resolve,
// 10060 for a reply that stalled, 11060 for one that came too slowly, 11061 for the deadline, 10054
// for a server that closed the connection, 10043 for an error status line, 10040 for a reply longer
// than it may be, 10004 when the stop event was set, else the errno of the failed socket call.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CReceivedMail;

// The socket library needs no start-up here; kept so that a receive run has one object to own it.
class CWinSockInit {
public:
    CWinSockInit() { Startup(); }
    ~CWinSockInit() { Cleanup(); }
    CWinSockInit(const CWinSockInit&) = delete;
    CWinSockInit& operator=(const CWinSockInit&) = delete;

    bool Startup()
    {
        m_started = true;
        return true;
    }
    bool Cleanup()
    {
        m_started = false;
        return true;
    }

private:
    bool m_started = false;
};

// One IPv4 stream socket.
class CPop3Socket {
public:
    CPop3Socket() = default;
    ~CPop3Socket() { Close(); }
    CPop3Socket(const CPop3Socket&) = delete;
    CPop3Socket& operator=(const CPop3Socket&) = delete;

    // A new socket; one that was open is closed first.
    bool Create();
    // host: a dotted IPv4 address, else a name whose first IPv4 address is taken. A connection that
    // is not made within timeoutMs (negative: no limit) fails with ETIMEDOUT.
    bool Connect(const std::string& host, int port, int timeoutMs = -1);
    // Sends the whole buffer. A closed peer gives false, never SIGPIPE.
    bool Send(const char* data, std::size_t length);
    // One receive: the bytes received, 0 when the peer closed, negative on error.
    int Receive(char* buffer, std::size_t size);
    // Waits up to timeoutMs for data (or the peer's close); false when the wait itself fails or
    // stopEvent (when given) is set.
    bool IsReadable(bool& readable, int timeoutMs = 0, int stopEvent = -1);
    void Close();
    bool IsValid() const { return m_socket >= 0; }
    int LastError() const { return m_error; }

private:
    int m_socket = -1;
    int m_error = 0;
};

class CPop3Session {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr unsigned kReplyTimeoutMs = 2000;
    // Any reply may take this long, and a longer one its expected size at the slowest pace on top.
    static constexpr unsigned kReplyBaseMs = 15000;
    static constexpr unsigned kSlowestBytesPerSecond = 32 * 1024;
    static constexpr int kErrorBadHost = 10022;
    static constexpr int kErrorTimedOut = 10060;
    static constexpr int kErrorTooSlow = 11060;
    static constexpr int kErrorDeadline = 11061;
    static constexpr int kErrorClosed = 10054;
    static constexpr int kErrorReply = 10043;
    static constexpr int kErrorTooLong = 10040;
    static constexpr int kErrorStopped = 10004;
    // The messages one connection looks at, whatever count the server gives.
    static constexpr int kMostMessages = 50000;
    // A message listed larger is not fetched; one may grow by its dot-stuffing to twice its listed
    // size, never past this.
    static constexpr std::uint32_t kLargestMessage = 128 * 1024 * 1024;

    explicit CPop3Session(unsigned replyTimeoutMs = kReplyTimeoutMs);
    virtual ~CPop3Session() = default;
    CPop3Session(const CPop3Session&) = delete;
    CPop3Session& operator=(const CPop3Session&) = delete;

    // Connects, reads the greeting and logs in; after a failure past the connection, quits.
    bool Login(const std::string& host, const std::string& user, const std::string& password, int port);
    // Sends QUIT when connected and reads its answer; always closes the socket. False when the
    // session was not connected or the server did not confirm.
    bool Quit();
    // An event that, once set, ends every wait for a reply as a failure.
    void SetStopEvent(int event) { m_stopEvent = event; }
    // While set (0: not), replies still go on for this long after the stop event was first seen in
    // this connection: a deletion the host asked for, and the QUIT that makes it happen, are not cut
    // by a stop that comes with them.
    void SetStopGrace(unsigned ms) { m_stopGraceMs = ms; }
    // The pace a reply must keep (see kReplyBaseMs).
    void SetReplyPace(unsigned baseMs, unsigned bytesPerSecond);
    // No reply, and no connection, goes on past this (none by default).
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    Clock::time_point Deadline() const { return m_deadline; }
    // count is the server's, up to INT_MAX; the session itself reads at most kMostMessages.
    bool Stat(int& count, std::int64_t& size);
    bool List();
    bool Uidl();
    // Message numbers count from 1; the lists are read once per connection.
    // The messages that LIST gives (at most kMostMessages), 0 when it fails.
    int ListedCount();
    bool GetMessageSize(int n, std::uint32_t& size);
    bool GetMessageId(int n, std::string& id);
    // The whole message, or (Top) its headers only, into `mail`.
    bool Retr(int n, CReceivedMail& mail);
    bool Top(int n, CReceivedMail& mail);
    bool Dele(int n);
    bool Reset();
    bool Noop();

    int LastError() const { return m_lastError; }
    // The last reply that was bad, stalled or cut off, without its line end.
    const std::string& LastReplyText() const { return m_lastReplyText; }
    // The connection can carry no more commands: it was closed, failed, or a reply stalled and
    // its rest could be taken for the next one.
    bool IsBroken() const { return m_broken; }
    bool IsConnected() const { return m_connected; }
    // The unique ids of this connection's messages, when UIDL has been read.
    const std::vector<std::string>* MessageIds() const { return m_uidlFetched ? &m_messageIds : nullptr; }

protected:
    virtual bool ReadStatReply(int& count, std::int64_t& size);
    virtual bool ReadStatusReply();
    virtual bool ReadListReply();
    virtual bool ReadUidlReply();
    // size: what the server listed for the message.
    virtual bool ReadMessageReply(CReceivedMail& mail, std::uint32_t size, bool headersOnly);
    // Collects one reply up to its terminator, which is cut off; a reply longer than `limit`, or a
    // status line longer than the standard's with some slack, breaks the connection, and so does one
    // that takes longer than `expected` bytes (its room is kept for them) may take. A first line that
    // is not "+OK" ends the reply there: errors are one line.
    virtual bool ReadReply(std::string& text, std::size_t limit, std::string_view terminator, std::size_t expected = 0);

private:
    bool Command(const std::string& text);
    bool RunStat();
    bool FetchMessage(const char* command, int n, CReceivedMail& mail);
    // What a LIST or UIDL reply of the counted messages may take.
    std::size_t ListingLimit() const;

    CPop3Socket m_socket;
    int m_messageCount = 0;
    bool m_listFetched = false;
    bool m_statFetched = false;
    bool m_uidlFetched = false;
    bool m_uidlRefused = false; // the server answered UIDL with an error: not asked again
    std::vector<std::uint32_t> m_messageSizes;
    std::vector<std::string> m_messageIds;
    bool m_connected = false;
    bool m_broken = false;
    std::string m_lastReplyText;
    int m_lastError = 0;
    unsigned m_replyTimeout;
    unsigned m_replyBaseMs = kReplyBaseMs;
    unsigned m_slowestBytesPerSecond = kSlowestBytesPerSecond;
    Clock::time_point m_deadline = Clock::time_point::max();
    int m_stopEvent = -1;
    unsigned m_stopGraceMs = 0;
    Clock::time_point m_stopSeen = Clock::time_point::max(); // in this connection
};
