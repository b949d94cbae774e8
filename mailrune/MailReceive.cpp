#include "MailReceive.h"

#include "MailFiles.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "Pop3Session.h"
#include "ReceivedMail.h"
#include "ZipBundle.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <list>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using namespace MailReceiveTexts;
using Clock = CPop3Session::Clock;

constexpr int kDefaultPeriod = 30;
constexpr int kLongestPeriod = 86400;
// What a log line may carry of a text from outside, in characters: a poll's account stays a few
// short lines a mail, whatever the mail carries.
constexpr std::size_t kLongestSubject = 200;
constexpr std::size_t kLongestLine = 400;
// The keys of messages remembered across polls: at most those of twice the messages one poll looks at.
constexpr std::size_t kMostKeys = 2 * std::size_t(CPop3Session::kMostMessages);
// After the stop: how long an answer that came with it is waited for, and how long the deletion of
// a mail the host took and the QUIT after it may still take.
constexpr int kAnswerGraceMs = 300;
constexpr unsigned kStopGraceMs = 1000;

enum class Wake { Timer, Ack, Stop, Failed };

// The text on one line (control characters become blanks), cut to `characters` UTF-8 characters.
std::string OneLine(const std::string& text, std::size_t characters)
{
    std::string out;
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && count++ == characters) {
            out += "…";
            break;
        }
        out += c < 0x20 || c == 0x7f ? ' ' : char(c);
    }
    return out;
}

// The server's own words go to the log as printable ASCII, and not too many of them.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char c : text.substr(0, 200))
        out += c >= 0x20 && c < 0x7f ? c : '?';
    return out;
}

// Why a socket call failed, in the user's words.
std::string SocketFault(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return FaultRefused;
    case ECONNRESET:
    case EPIPE:
        return FaultReset;
    case ETIMEDOUT:
        return FaultConnectTimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return FaultUnreachable;
    default:
        return MailFormat(FaultSocket, error);
    }
}

// Keys of messages, each with the time from which its message may be tried again (never, unless
// told), remembered across polls and forgotten once their messages are gone; the oldest go first
// when there are too many.
class CMailKeys {
public:
    bool Contains(const std::string& key) const { return m_where.contains(key); }
    // Only for a key it contains.
    Clock::time_point RetryAt(const std::string& key) const { return m_where.at(key)->retryAt; }
    void Insert(const std::string& key, Clock::time_point retryAt = Clock::time_point::max())
    {
        if (const auto found = m_where.find(key); found != m_where.end()) {
            found->second->retryAt = retryAt;
            return;
        }
        m_order.push_back({key, retryAt});
        m_where.emplace(key, std::prev(m_order.end()));
        if (m_order.size() > kMostKeys)
            Erase(m_order.front().key);
    }
    void Erase(const std::string& key)
    {
        const auto found = m_where.find(key);
        if (found == m_where.end())
            return;
        m_order.erase(found->second);
        m_where.erase(found);
    }
    // Only the keys for which `keep` holds stay.
    template <class Keep>
    void KeepOnly(Keep keep)
    {
        for (auto it = m_order.begin(); it != m_order.end();) {
            if (keep(it->key)) {
                ++it;
                continue;
            }
            m_where.erase(it->key);
            it = m_order.erase(it);
        }
    }

private:
    struct Entry {
        std::string key;
        Clock::time_point retryAt;
    };
    std::list<Entry> m_order;
    std::unordered_map<std::string, std::list<Entry>::iterator> m_where;
};

// A key that tells a message again at the next poll when the server has no UIDL: its Message-ID,
// else its whole header block (what TOP gives does not change while the message lies there).
std::string HeaderKey(const CReceivedMail& headers)
{
    if (const std::string id = headers.GetHeaderValue("Message-ID"); !id.empty())
        return "id " + id;
    return "headers " + std::to_string(std::hash<std::string>()(headers.GetHeaderBlock()));
}

std::string UidlKey(const std::string& id)
{
    return "uidl " + id;
}

// A hand-over record whose texts go with it.
struct OwnedItem : CReceivedItem {
    OwnedItem() = default;
    OwnedItem(const OwnedItem&) = delete;
    OwnedItem& operator=(const OwnedItem&) = delete;
    ~OwnedItem()
    {
        for (char* text : {from, subject, infoText, filePath})
            std::free(text);
    }
    // False when memory ran out: the host ignores an item without its texts.
    static bool Set(char*& field, const std::string& text)
    {
        field = static_cast<char*>(std::malloc(text.size() + 1));
        if (field)
            std::memcpy(field, text.c_str(), text.size() + 1);
        return field != nullptr;
    }
};

// How the host answered an item.
enum class Answer { Taken, Kept, None };

class CReceiveRun {
public:
    CReceiveRun(CMailTransport& transport, CTransportChannel& channel, const CReceiveOptions& options)
        : m_transport(transport)
        , m_channel(channel)
        , m_options(options)
        , m_session(options.replyTimeoutMs)
    {
        m_session.SetStopEvent(options.stopEvent);
        m_session.SetReplyPace(options.replyBaseMs, options.slowestBytesPerSecond);
    }
    ~CReceiveRun()
    {
        if (m_timer >= 0)
            ::close(m_timer);
    }

    HRESULT Run();

private:
    void Log(const std::string& text) { m_transport.Log(OneLine(text, kLongestLine).c_str()); }
    // A line that tells why the connection failed, if it did.
    void LogFault(const std::string& text)
    {
        Log(text);
        m_faultLogged = true;
    }
    Wake Wait();
    void Poll();
    // One connection of a poll; false when the poll has to go on through another.
    bool Connection();
    bool Process(int n, bool retrying = false);
    // Marks a message the host has taken deleted; false when the connection is gone.
    bool DeleteTaken(int n, const std::string& key);
    int Classify(const std::string& subject);
    void Refuse(int n, const std::string& subject, const std::string& key, const std::string& why, bool forGood);
    void SetAside(int n, const std::string& subject, const std::string& key);
    // The folder's part of a path in it.
    std::string NameInFolder(const std::string& path) const;
    Answer HandOver(int code, CReceivedItem& item);
    bool StopRequested() const;
    std::string SessionFault() const;

    CMailTransport& m_transport;
    CTransportChannel& m_channel;
    const CReceiveOptions m_options;
    CWinSockInit m_winsock;
    CPop3Session m_session;
    CReceivedMail m_mail;
    std::string m_folder;
    std::string m_server, m_login, m_password;
    int m_timer = -1;
    // Messages the host has answered whose removal no QUIT has confirmed yet: the server undoes
    // a session's deletions when the session ends without QUIT (the host may hold an item for
    // long), so they are deleted at the next poll without a second hand-over.
    CMailKeys m_answered;
    std::set<std::string> m_deletedNow; // of them, those marked deleted in this connection
    // Messages refused: they stay on the server and are not fetched again in this run, but for those
    // cut for time, which are tried again once their day is over, after the mails behind them.
    CMailKeys m_refused;
    std::vector<int> m_due;       // this connection's messages of them whose day is over
    std::set<std::string> m_seen; // the keys of this poll's messages
    bool m_faultLogged = false;   // a line of this connection told why a command failed
    bool m_cutForTime = false;    // a message cut for time broke this connection
};

HRESULT CReceiveRun::Run()
{
    Log(Started);
    if (m_channel.code == TC_START && m_channel.data)
        if (const char* folder = *static_cast<const char* const*>(m_channel.data))
            m_folder = folder;
    TransportEventSet(m_channel.notify);
    Log(SessionCreated);
    if (!MailSettingsExist())
        return E_FAIL;

    CMailSettings settings;
    settings.Load();
    m_server = settings.pop3Server.trimmed().toStdString();
    m_login = settings.pop3Login.toStdString();
    m_password = settings.pop3Password.toStdString();
    Log(MailFormat(SettingsRead, m_server.c_str(), m_login.c_str()));

    const int period =
        m_options.periodSeconds > 0 ? m_options.periodSeconds : ReceivePeriodSeconds(settings.receiveTime);
    m_timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    itimerspec times{};
    times.it_value.tv_nsec = 1; // at once
    times.it_interval.tv_sec = period;
    if (m_timer >= 0 && ::timerfd_settime(m_timer, 0, &times, nullptr) != 0) {
        ::close(m_timer);
        m_timer = -1;
    }

    Wake wake = Wait();
    m_transport.FlushLog(&m_channel);
    while (wake == Wake::Timer || wake == Wake::Ack) {
        // An answer outside a hand-over wakes the loop too; it is ignored.
        if (wake == Wake::Timer) {
            Poll();
            Log(PollDone);
            m_transport.FlushLog(&m_channel);
        }
        wake = Wait();
    }
    Log(Ending);
    m_transport.FlushLog(&m_channel);
    return S_OK;
}

Wake CReceiveRun::Wait()
{
    if (m_timer < 0)
        return Wake::Failed;
    pollfd waits[] = {{m_timer, POLLIN, 0}, {m_channel.ack, POLLIN, 0}, {m_options.stopEvent, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(waits, m_options.stopEvent >= 0 ? 3 : 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Wake::Failed;
        if (waits[2].revents)
            return Wake::Stop;
        if (waits[0].revents & POLLIN) {
            std::uint64_t expirations = 0;
            if (::read(m_timer, &expirations, sizeof expirations) == sizeof expirations)
                return Wake::Timer;
            continue; // taken by nobody else, but a read may be interrupted
        }
        if (waits[1].revents & POLLIN) {
            if (TransportEventWait(m_channel.ack, 0))
                return Wake::Ack;
            continue;
        }
        if ((waits[0].revents | waits[1].revents) & (POLLERR | POLLNVAL))
            return Wake::Failed;
    }
}

// Why the last command of the session failed, for the log.
std::string CReceiveRun::SessionFault() const
{
    switch (m_session.LastError()) {
    case CPop3Session::kErrorTimedOut:
        return FaultTimedOut;
    case CPop3Session::kErrorTooSlow:
        return FaultTooSlow;
    case CPop3Session::kErrorDeadline:
        return MailFormat(FaultDeadline, m_options.pollDeadlineMs / 1000);
    case CPop3Session::kErrorClosed:
        return FaultClosed;
    case CPop3Session::kErrorTooLong:
        return FaultTooLong;
    case CPop3Session::kErrorReply:
        return MailFormat(FaultReply, Printable(m_session.LastReplyText()).c_str());
    case CPop3Session::kErrorStopped:
        return FaultStopped;
    case CPop3Session::kErrorBadHost:
        return FaultBadHost;
    default:
        return SocketFault(m_session.LastError());
    }
}

void CReceiveRun::Poll()
{
    Log(TimerFired);
    m_seen.clear();
    m_session.SetDeadline(Clock::now() + std::chrono::milliseconds(m_options.pollDeadlineMs));
    // A message cut for time breaks its connection: the mails behind it come through the next one.
    while (!Connection() && !StopRequested() && Clock::now() < m_session.Deadline()) { }
}

bool CReceiveRun::Connection()
{
    m_faultLogged = false;
    m_cutForTime = false;
    m_due.clear();
    m_session.SetStopGrace(0);
    if (!m_session.Login(m_server, m_login, m_password, m_options.port)) {
        // The next period tries again: an outage must not end receiving for the whole session.
        Log(CannotConnect);
        if (m_session.LastError() != 0)
            Log(MailFormat(Pop3Fault, SessionFault().c_str()));
        return true;
    }
    Log(Connected);
    int count = 0;
    std::int64_t size = 0;
    bool complete = false;
    if (m_session.Stat(count, size)) {
        Log(MailFormat(Mailbox, count, static_cast<long long>(size)));
        if (count > CPop3Session::kMostMessages)
            Log(MailFormat(FirstMessagesOnly, CPop3Session::kMostMessages));
        // A server's count sizes nothing: only what it lists is looked at.
        const int listed = count > 0 ? m_session.ListedCount() : 0;
        int n = 1;
        for (; n <= listed && !StopRequested() && Process(n); ++n) { }
        complete = n > listed && count <= CPop3Session::kMostMessages && !m_session.IsBroken();
        // Those set aside whose day is over come last.
        for (std::size_t i = 0; complete && i < m_due.size() && !StopRequested(); ++i)
            complete = Process(m_due[i], true);
        // A command that broke the connection (a deletion, a listing) tells why, unless its message did.
        if (m_session.IsBroken() && !m_faultLogged)
            Log(MailFormat(Pop3Fault, SessionFault().c_str()));
    } else {
        Log(MailFormat(Pop3Fault, SessionFault().c_str()));
    }
    // What the server no longer lists has been removed.
    if (const std::vector<std::string>* ids = m_session.MessageIds()) {
        std::set<std::string> listed;
        for (const std::string& id : *ids)
            listed.insert(UidlKey(id));
        for (CMailKeys* known : {&m_answered, &m_refused})
            known->KeepOnly(
                [&listed](const std::string& id) { return !id.starts_with("uidl ") || listed.contains(id); });
    }
    // Without unique ids a message is told by its headers: after a poll that looked at every message,
    // what it did not see is gone.
    if (complete)
        for (CMailKeys* known : {&m_answered, &m_refused})
            known->KeepOnly([this](const std::string& id) { return m_seen.contains(id); });
    // Deletions happen at QUIT: a stop meanwhile does not undo them.
    m_session.SetStopGrace(kStopGraceMs);
    if (m_session.Quit()) {
        for (const std::string& id : m_deletedNow)
            m_answered.Erase(id);
    } else {
        Log(QuitFailed);
    }
    m_deletedNow.clear();
    Log(Disconnected);
    return !m_cutForTime;
}

// False when the connection can carry no more commands.
bool CReceiveRun::Process(int n, bool retrying)
{
    m_mail.Clear();
    std::string key;
    if (m_session.GetMessageId(n, key))
        key = UidlKey(key);
    if (m_session.IsBroken())
        return false;
    if (!key.empty())
        m_seen.insert(key);
    // Logged when it was refused; one whose day is over waits for the mails behind it.
    const auto refused = [&] {
        if (retrying || !m_refused.Contains(key))
            return false;
        if (Clock::now() >= m_refused.RetryAt(key))
            m_due.push_back(n);
        return true;
    };
    if (refused())
        return true;
    if (!m_session.Top(n, m_mail)) {
        // Headers longer than the message may be are never asked for again: told by what came of them.
        if (m_session.LastError() == CPop3Session::kErrorTooLong) {
            std::uint32_t listed = 0;
            m_session.GetMessageSize(n, listed);
            if (key.empty())
                key = "top " + std::to_string(listed) + ' '
                    + std::to_string(std::hash<std::string>()(m_session.LastReplyText()));
            Refuse(n, std::string(), key, SessionFault(), true);
        } else if (m_session.IsBroken()) {
            LogFault(MailFormat(RetrFailed, n, "", SessionFault().c_str()));
        }
        return !m_session.IsBroken();
    }
    if (key.empty()) {
        key = HeaderKey(m_mail);
        m_seen.insert(key);
        if (refused())
            return true;
    }
    const std::string subject = OneLine(m_mail.GetSubject(), kLongestSubject);
    Log(MailFormat(Received, subject.c_str()));
    const int kind = Classify(m_mail.GetSubject());
    if (kind == 0)
        return true; // not ours: it stays on the server

    if (m_answered.Contains(key))
        return DeleteTaken(n, key);

    // A message that cannot be read or unpacked is neither handed over nor deleted.
    std::uint32_t listed = 0;
    if (m_session.GetMessageSize(n, listed) && listed > CPop3Session::kLargestMessage) {
        Refuse(n, subject, key, MailFormat(TooLarge, unsigned(CPop3Session::kLargestMessage >> 20)), true);
        return true;
    }
    m_mail.Clear();
    if (!m_session.Retr(n, m_mail)) {
        // Longer than it may be for its listed size: never fetched again; cut for time: tried again
        // after a day. The connection is gone either way.
        const int error = m_session.LastError();
        if (error == CPop3Session::kErrorTooLong)
            Refuse(n, subject, key, SessionFault(), true);
        else if (error == CPop3Session::kErrorTooSlow || error == CPop3Session::kErrorTimedOut
                 || error == CPop3Session::kErrorDeadline)
            SetAside(n, subject, key);
        else
            LogFault(MailFormat(RetrFailed, n, subject.c_str(), SessionFault().c_str()));
        return !m_session.IsBroken();
    }
    OwnedItem item;
    bool complete = OwnedItem::Set(item.from, m_mail.GetFrom()) && OwnedItem::Set(item.subject, m_mail.GetSubject());
    std::string stored; // the file written for the host
    if (kind == TC_INFO) {
        complete = complete && OwnedItem::Set(item.infoText, m_mail.GetInfoText());
    } else {
        std::string saved;
        CReceivedMail::SaveFault fault = CReceivedMail::SaveFault::None;
        if (m_mail.SaveAttachment(m_folder, saved, &fault) != S_OK) {
            // A file that could not be written may be written at the next poll.
            Refuse(n, subject, key, CReceivedMail::Describe(fault), fault != CReceivedMail::SaveFault::WriteFailed);
            return true;
        }
        // A message without parts is handed over as the folder itself.
        std::string refusal;
        const std::string path = saved.ends_with('/') ? saved : UnpackAttachment(saved, m_folder, refusal);
        if (path.empty()) {
            Refuse(n, subject, key, refusal, true);
            return true;
        }
        complete = complete && OwnedItem::Set(item.filePath, path);
        if (!saved.ends_with('/')) {
            stored = path;
            Log(MailFormat(Stored, NameInFolder(path).c_str()));
        }
    }
    m_mail.Clear();
    // A file the host did not take goes: its mail stays on the server and brings it again.
    const auto dropFile = [&stored] {
        if (!stored.empty())
            ::unlink(stored.c_str());
    };
    if (!complete) {
        dropFile();
        return true;
    }
    // The time the host holds the item is not the server's: the poll's deadline moves on by it.
    const Clock::time_point handedOver = Clock::now();
    const Answer answer = HandOver(kind, item);
    m_session.SetDeadline(m_session.Deadline() + (Clock::now() - handedOver));
    if (answer == Answer::Kept)
        Log(MailFormat(Kept, n, subject.c_str()));
    if (answer != Answer::Taken) {
        dropFile();
        return true;
    }

    m_answered.Insert(key);
    return DeleteTaken(n, key);
}

bool CReceiveRun::DeleteTaken(int n, const std::string& key)
{
    // What the host has taken goes from the server even when the stop came with its answer.
    m_session.SetStopGrace(kStopGraceMs);
    if (m_session.Dele(n))
        m_deletedNow.insert(key);
    m_session.SetStopGrace(0);
    return !m_session.IsBroken();
}

void CReceiveRun::Refuse(int n, const std::string& subject, const std::string& key, const std::string& why,
                         bool forGood)
{
    LogFault(MailFormat(Refused, n, subject.c_str(), why.c_str()));
    if (forGood)
        m_refused.Insert(key);
}

// A message cut for time would cost every poll its time and keep the mails behind it waiting.
void CReceiveRun::SetAside(int n, const std::string& subject, const std::string& key)
{
    LogFault(MailFormat(SetAsideFor, n, subject.c_str(), SessionFault().c_str()));
    m_refused.Insert(key, Clock::now() + std::chrono::seconds(m_options.setAsideSeconds));
    m_cutForTime = true;
}

std::string CReceiveRun::NameInFolder(const std::string& path) const
{
    const std::string folder = WithSlash(m_folder);
    return path.starts_with(folder) ? path.substr(folder.size()) : FileNameOf(path);
}

bool CReceiveRun::StopRequested() const
{
    pollfd stop{m_options.stopEvent, POLLIN, 0};
    return m_options.stopEvent >= 0 && ::poll(&stop, 1, 0) > 0;
}

int CReceiveRun::Classify(const std::string& subject)
{
    using MailSendTexts::DataSubject;
    using MailSendTexts::InfoSubject;
    int kind = 0;
    if (subject.find(InfoSubject) != std::string::npos) {
        kind = TC_INFO;
        Log(KindInfo);
    }
    if (subject.find(std::string(DataSubject) + NsiWord) != std::string::npos) {
        kind = TC_NSI;
        Log(KindNsi);
    } else if (subject.find(DataSubject) != std::string::npos) {
        kind = TC_DATA;
        Log(KindData);
    }
    return kind;
}

Answer CReceiveRun::HandOver(int code, CReceivedItem& item)
{
    if (m_channel.notify < 0 || m_channel.ack < 0)
        return Answer::None;
    m_channel.code = code;
    m_channel.data = &item;
    TransportEventSet(m_channel.notify);
    // An answer that comes with the stop counts: a document stored as the program closes is not
    // offered again at its next start.
    const bool answered = TransportEventWait(m_channel.ack, -1, m_options.stopEvent)
        || (StopRequested() && TransportEventWait(m_channel.ack, kAnswerGraceMs));
    m_channel.data = nullptr;
    if (!answered)
        return Answer::None;
    return m_channel.code == TC_ACK_KEEP ? Answer::Kept : Answer::Taken;
}

} // namespace

int ReceivePeriodSeconds(const QString& stored)
{
    bool number = false;
    const int seconds = stored.trimmed().toInt(&number);
    return number && seconds >= 1 && seconds <= kLongestPeriod ? seconds : kDefaultPeriod;
}

HRESULT RunReceiveLoop(CMailTransport& transport, CTransportChannel* channel, const CReceiveOptions& options)
{
    if (!channel)
        return E_FAIL;
    CReceiveRun run(transport, *channel, options);
    return run.Run();
}
