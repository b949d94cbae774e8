#include "TransportTestHost.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::optional<std::string> Text(const char* text)
{
    return text ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::string> FileBytes(const std::optional<std::string>& path)
{
    // A folder (what a mail without parts is handed over as) has no bytes.
    std::error_code ec;
    if (!path || std::filesystem::is_directory(*path, ec))
        return std::nullopt;
    std::ifstream in(*path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "\t05/03/2026 09:07:03.045 SMTP text\r\n": the text after the stamp and the code.
std::vector<std::string> LogLines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t stamp = line.find(' ', line.find(' ') + 1); // after date and time
        const std::size_t code = stamp == std::string::npos ? stamp : line.find(' ', stamp + 1);
        lines.push_back(code == std::string::npos ? line : line.substr(code + 1));
    }
    return lines;
}

} // namespace

CTransportTestHost::CTransportTestHost(std::string importFolder)
    : m_folder(std::move(importFolder))
{
    m_folderText = m_folder.c_str();
    channel.notify = TransportEventCreate(true);
    channel.ack = TransportEventCreate(false);
    channel.code = TC_START;
    channel.data = &m_folderText;
    m_stop = TransportEventCreate(false);
    m_quit = TransportEventCreate(false);
}

CTransportTestHost::~CTransportTestHost()
{
    if (m_loopThread.joinable())
        Stop();
    TransportEventSet(m_quit);
    if (m_hostThread.joinable())
        m_hostThread.join();
    for (int event : {channel.notify, channel.ack, m_stop, m_quit})
        TransportEventClose(event);
}

void CTransportTestHost::Start(Loop loop)
{
    {
        std::lock_guard lock(m_mutex);
        m_running = true;
    }
    m_loopThread = std::thread([this, loop = std::move(loop)] {
        const HRESULT result = loop(&channel);
        std::lock_guard lock(m_mutex);
        m_running = false;
        m_result = result;
        m_changed.notify_all();
    });
    // The start record is the one notification the host does not answer.
    pollfd waits[] = {{channel.notify, POLLIN, 0}, {m_quit, POLLIN, 0}};
    while (Running() && ::poll(waits, 1, 50) == 0) { }
    TransportEventWait(channel.notify, 0);
    m_started = Clock::now();
    m_hostThread = std::thread([this] { Serve(); });
}

void CTransportTestHost::AnswerItems(std::int32_t code)
{
    const std::lock_guard lock(m_mutex);
    m_itemAnswer = code;
}

void CTransportTestHost::RecordFiles(bool record)
{
    const std::lock_guard lock(m_mutex);
    m_recordFiles = record;
}

void CTransportTestHost::Serve()
{
    pollfd waits[] = {{channel.notify, POLLIN, 0}, {m_quit, POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (waits[1].revents)
            return;
        if (!(waits[0].revents & POLLIN) || !TransportEventWait(channel.notify, 0))
            continue;
        std::unique_lock lock(m_mutex);
        std::int32_t answer = channel.code == TC_ERROR ? TC_ACK_ERROR : TC_ACK;
        if (channel.code == TC_LOG) {
            const char* text = *static_cast<const char* const*>(channel.data);
            for (std::string& line : LogLines(text ? text : ""))
                m_log.push_back(std::move(line));
            ++m_logHandOvers;
        } else if (channel.code >= TC_INFO && channel.code <= TC_NSI) {
            const auto* item = static_cast<const CReceivedItem*>(channel.data);
            Item copy{channel.code,         Text(item->from),     Text(item->subject),
                      Text(item->infoText), Text(item->filePath), {}};
            if (m_recordFiles)
                copy.file = FileBytes(copy.filePath);
            m_items.push_back(std::move(copy));
            const std::size_t index = m_items.size() - 1;
            if (m_holding) {
                m_held = true;
                m_changed.notify_all();
                const int release = m_releases + 1;
                m_changed.wait(lock, [&] { return m_releases >= release || !m_holding; });
                m_held = false;
            }
            answer = m_items[index].answer = m_itemAnswer;
        }
        channel.code = answer;
        m_changed.notify_all();
        lock.unlock();
        TransportEventSet(channel.ack);
    }
}

HRESULT CTransportTestHost::Stop()
{
    Hold(false);
    TransportEventSet(m_stop);
    if (m_loopThread.joinable())
        m_loopThread.join();
    std::lock_guard lock(m_mutex);
    return m_result.value_or(E_FAIL);
}

std::optional<HRESULT> CTransportTestHost::Join(std::chrono::milliseconds timeout)
{
    if (!WaitUntil([this] { return !m_running; }, timeout))
        return std::nullopt;
    if (m_loopThread.joinable())
        m_loopThread.join();
    std::lock_guard lock(m_mutex);
    return m_result;
}

bool CTransportTestHost::Running() const
{
    std::lock_guard lock(m_mutex);
    return m_running;
}

void CTransportTestHost::Hold(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_holding = hold;
    m_changed.notify_all();
}

void CTransportTestHost::Release()
{
    std::lock_guard lock(m_mutex);
    ++m_releases;
    m_changed.notify_all();
}

bool CTransportTestHost::WaitForHeld(std::chrono::milliseconds timeout)
{
    return WaitUntil([this] { return m_held; }, timeout);
}

std::vector<CTransportTestHost::Item> CTransportTestHost::Items() const
{
    std::lock_guard lock(m_mutex);
    return m_items;
}

std::vector<std::string> CTransportTestHost::LogTexts() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

int CTransportTestHost::LogHandOvers() const
{
    std::lock_guard lock(m_mutex);
    return m_logHandOvers;
}

bool CTransportTestHost::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, condition);
}

int CTransportTestHost::CountLog(const std::string& text) const
{
    return int(std::count(m_log.begin(), m_log.end(), text));
}

bool CTransportTestHost::WaitForLog(const std::string& text, int count, std::chrono::milliseconds timeout)
{
    return WaitUntil([&] { return CountLog(text) >= count; }, timeout);
}

bool CTransportTestHost::WaitForItems(std::size_t count, std::chrono::milliseconds timeout)
{
    return WaitUntil([&] { return m_items.size() >= count; }, timeout);
}
