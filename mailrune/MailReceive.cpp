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

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

using namespace MailReceiveTexts;

constexpr int kDefaultPeriod = 30;
constexpr int kLongestPeriod = 86400;

enum class Wake { Timer, Ack, Stop, Failed };

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

class CReceiveRun {
public:
    CReceiveRun(CMailTransport& transport, CTransportChannel& channel, const CReceiveOptions& options)
        : m_transport(transport)
        , m_channel(channel)
        , m_options(options)
        , m_session(options.replyTimeoutMs)
    {
    }
    ~CReceiveRun()
    {
        if (m_timer >= 0)
            ::close(m_timer);
    }

    HRESULT Run();

private:
    void Log(const std::string& text) { m_transport.Log(text.c_str()); }
    Wake Wait();
    void Poll();
    bool Process(int n);
    int Classify(const std::string& subject);
    std::string Unpack(const std::string& archive);
    bool HandOver(int code, CReceivedItem& item);

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
    std::set<std::string> m_answered;
    std::set<std::string> m_deletedNow; // of them, those marked deleted in this connection
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

    const int period = m_options.periodSeconds > 0 ? m_options.periodSeconds : ReceivePeriodSeconds(settings.receiveTime);
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

void CReceiveRun::Poll()
{
    Log(TimerFired);
    if (!m_session.Login(m_server, m_login, m_password, m_options.port)) {
        // The next period tries again: an outage must not end receiving for the whole session.
        Log(CannotConnect);
        return;
    }
    Log(Connected);
    int count = 0;
    std::int64_t size = 0;
    if (m_session.Stat(count, size)) {
        Log(MailFormat(Mailbox, count, static_cast<long long>(size)));
        for (int n = 1; n <= count && Process(n); ++n) {
        }
    }
    // What the server no longer lists has been removed.
    if (const std::vector<std::string>* ids = m_session.MessageIds()) {
        const std::set<std::string> listed(ids->begin(), ids->end());
        std::erase_if(m_answered, [&listed](const std::string& id) { return !listed.contains(id); });
    }
    if (m_session.Quit()) {
        for (const std::string& id : m_deletedNow)
            m_answered.erase(id);
    } else {
        Log(QuitFailed);
    }
    m_deletedNow.clear();
    Log(Disconnected);
}

// False when the connection can carry no more commands.
bool CReceiveRun::Process(int n)
{
    m_mail.Clear();
    if (!m_session.Top(n, m_mail))
        return !m_session.IsBroken();
    const std::string subject = m_mail.GetSubject();
    Log(MailFormat(Received, subject.c_str()));
    const int kind = Classify(subject);
    if (kind == 0)
        return true; // not ours: it stays on the server

    std::string id;
    const bool known = m_session.GetMessageId(n, id);
    if (m_session.IsBroken())
        return false;
    if (known && m_answered.contains(id)) {
        if (m_session.Dele(n))
            m_deletedNow.insert(id);
        return !m_session.IsBroken();
    }

    // A message that cannot be read or unpacked is neither handed over nor deleted.
    m_mail.Clear();
    if (!m_session.Retr(n, m_mail))
        return !m_session.IsBroken();
    OwnedItem item;
    bool complete = OwnedItem::Set(item.from, m_mail.GetFrom()) && OwnedItem::Set(item.subject, m_mail.GetSubject());
    if (kind == TC_INFO) {
        complete = complete && OwnedItem::Set(item.infoText, m_mail.GetInfoText());
    } else {
        std::string saved;
        if (m_mail.SaveAttachment(m_folder, saved) != S_OK)
            return true;
        complete = complete && OwnedItem::Set(item.filePath, Unpack(saved));
    }
    m_mail.Clear();
    if (!complete || !HandOver(kind, item))
        return true;

    if (known)
        m_answered.insert(id);
    if (m_session.Dele(n) && known)
        m_deletedNow.insert(id);
    return !m_session.IsBroken();
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

// The path to hand over: the archive's first entry once it is extracted (the archive goes),
// else the saved attachment itself.
std::string CReceiveRun::Unpack(const std::string& archive)
{
    try {
        CZipBundle zip;
        zip.SetStoreNameOnly(1);
        if (!zip.OpenArchive(archive, CZipBundle::ModeOpen))
            return archive;
        CZipEntryInfo info;
        const bool extracted = zip.ReadEntryInfo(info, 0) && !info.IsDirectory() && zip.ExtractEntry(0, m_folder, 65535);
        zip.CloseArchive();
        if (!extracted)
            return archive;
        const std::string path = WithSlash(m_folder) + info.m_name;
        if (path != archive)
            ::unlink(archive.c_str());
        return path;
    } catch (...) {
        return archive;
    }
}

bool CReceiveRun::HandOver(int code, CReceivedItem& item)
{
    if (m_channel.notify < 0 || m_channel.ack < 0)
        return false;
    m_channel.code = code;
    m_channel.data = &item;
    TransportEventSet(m_channel.notify);
    const bool answered = TransportEventWait(m_channel.ack);
    m_channel.data = nullptr;
    return answered;
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
