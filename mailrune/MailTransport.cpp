#include "MailTransport.h"

#include "Codepage.h"
#include "MailReceive.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "MailTexts.h"

#include <libxml/parser.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

QDateTime LocalNow()
{
    return QDateTime::currentDateTime();
}

std::atomic<MailLogClock> g_clock{&LocalNow};

} // namespace

void SetMailLogClock(MailLogClock clock)
{
    g_clock = clock ? clock : &LocalNow;
}

char16_t* DupHostString(const char16_t* text)
{
    const std::size_t size = (std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t);
    auto* out = static_cast<char16_t*>(std::malloc(size));
    if (out)
        std::memcpy(out, text, size);
    return out;
}

std::string MailFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out(size > 0 ? std::size_t(size) : 0, '\0');
    if (size > 0)
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    va_end(again);
    return out;
}

CMailTransport::CMailTransport(void (*showSettings)())
    : m_showSettings(showSettings)
{
    // The host makes its transports before it starts a thread; curl and libxml2 set up here.
    MailCurlGlobalInit();
    xmlInitParser();
}

char16_t* CMailTransport::GetDisplayName()
{
    return DupHostString(MailTexts::DisplayName);
}

char16_t* CMailTransport::GetCode()
{
    return DupHostString(MailTexts::Code);
}

std::int32_t CMailTransport::HasSettings()
{
    return 1;
}

void CMailTransport::ShowSettings()
{
    try {
        if (m_showSettings)
            m_showSettings();
    } catch (...) {
    }
}

std::int32_t CMailTransport::IsReceiveEnabled()
{
    try {
        return ReadReceiveEnabled();
    } catch (...) {
        return 0;
    }
}

HRESULT CMailTransport::ReceiveLoop(CTransportChannel* channel)
{
    try {
        CReceiveOptions options;
        // Users always reach port 110; tests reach their own server on a high loopback port.
        bool ok = false;
        const int port = qEnvironmentVariableIntValue("LIR_POP3_PORT", &ok);
        if (ok && port > 0 && port < 65536)
            options.port = port;
        if (channel)
            options.stopEvent = channel->stop;
        return RunReceiveLoop(*this, channel, options);
    } catch (...) {
        return E_FAIL; // nothing crosses the boundary
    }
}

void CMailTransport::Log(const char* text)
{
    try {
        const QDateTime now = g_clock.load()();
        const QDate d = now.date();
        const QTime t = now.time();
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "\t%02i/%02i/%04i %02i:%02i:%02i.%03i ", d.day(), d.month(), d.year(),
                      t.hour(), t.minute(), t.second(), t.msec());
        m_log += stamp;
        m_log += Utf16ToUtf8(MailTexts::Code);
        m_log += ' ';
        if (text)
            m_log += text;
        m_log += "\r\n";
    } catch (...) {
    }
}

void CMailTransport::FlushLog(CTransportChannel* channel)
{
    // Without both events the host could not answer, and waiting would never end.
    if (!channel || channel->notify < 0 || channel->ack < 0)
        return;
    // The host reads the text through this variable and must copy it before it acknowledges.
    const char* text = m_log.c_str();
    channel->code = TC_LOG;
    channel->data = &text;
    TransportEventSet(channel->notify);
    TransportEventWait(channel->ack, -1, channel->stop);
    channel->data = nullptr; // the variable dies with this frame
    m_log.clear();
}
