#include "TransportHost.h"

#include "AppMessage.h"
#include "CommentsExchange.h"
#include "ExchangeReader.h"
#include "Journal.h"
#include "ModalHook.h"
#include "NsiImport.h"
#include "Settings.h"
#include "UiThread.h"
#include "WorkspaceRefresh.h"
#include "db/DbConnection.h"
#include "tables/Mailings.h"

#include <transport/ITransport.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace HostTexts;

namespace {

// Poll interval while an item waits for the user-interface thread to be free.
constexpr int kRetryMs = 100;

std::atomic<bool> g_stop{false};
std::atomic<bool> g_running{false};
// Set once per run by the stop and never cleared while a thread of that run may still watch it.
std::atomic<int> g_stopEvent{-1};
int g_doneEvent = -1;
// Receive threads still inside a plug-in, and the event the last one to leave sets.
std::atomic<int> g_receivers{0};
int g_receiversDone = -1;
CSessionState* g_session = nullptr;
std::atomic<ForecastFileImport> g_forecastImport{nullptr};

QString TakeHostString(char16_t* text)
{
    if (!text)
        return QString();
    const QString out = QString::fromUtf16(text);
    std::free(text);
    return out;
}

QString Text(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// Waits until the event is set or the host is asked to stop; false on stop or error.
bool WaitOrStop(int event, int timeoutMs = -1)
{
    return TransportEventWait(event, timeoutMs, g_stopEvent) && !g_stop;
}

// Whether the user-interface thread may run an item now: the main window is there and nothing
// else is going on that the item could run inside of (a modal dialog, a transaction, an operation
// that lets events through).
bool UiFree()
{
    const QWidget* window = GetAppMainWindow();
    return WorkspaceRefresh() && window && window->isVisible() && !QApplication::activeModalWidget()
        && QThread::currentThread()->loopLevel() <= 1 && !UiOperationRunning()
        && GetDBConnection().transactionLevel() == 0;
}

// Runs the work on the user-interface thread once it is free; false when the host was asked to stop
// before it ran.
bool RunWhenFree(const std::function<void()>& work)
{
    while (!g_stop) {
        bool ran = false;
        const bool queued = RunOnUiThread([&] {
            if (!UiFree())
                return;
            ran = true;
            try {
                work();
            } catch (const std::exception&) {
                // An import that fails has shown what it could; the plug-in goes on.
            }
        });
        if (!queued)
            return false;
        if (ran)
            return true;
        pollfd stop{g_stopEvent, POLLIN, 0};
        if (::poll(&stop, 1, kRetryMs) != 0)
            return false;
    }
    return false;
}

ImportOutcome StoreInfoMessage(const QString& info)
{
    // A box closed as the program ends stores nothing.
    if (AppMessageBox(kInfoReceived, MB_OK, GetAppMainWindow()) != IDOK || XmlAbortRequested())
        return ImportOutcome::Undecided;
    CMailingRecord mailing;
    mailing.prognoz = g_session ? g_session->currentForecastId : 0;
    mailing.MailingDate = QDateTime(QDate::currentDate(), QTime(0, 0));
    ParseInfoText(info, &mailing.subject, &mailing.text);
    return SaveMailing(mailing) ? ImportOutcome::Taken : ImportOutcome::Undecided;
}

// One request of a plug-in; false when the host was asked to stop meanwhile.
bool Serve(CTransportChannel& channel, const QString& source)
{
    const int code = channel.code;
    auto* item = static_cast<CReceivedItem*>(channel.data);
    bool served = true;
    ImportOutcome outcome = ImportOutcome::Taken;
    switch (code) {
    case TC_INFO:
        if (item && item->from && item->subject && item->infoText) {
            const QString info = Text(item->infoText);
            outcome = ImportOutcome::Undecided; // unless it ran to its end
            served = RunWhenFree([&] { outcome = StoreInfoMessage(info); });
        }
        break;
    case TC_DATA:
    case TC_NSI:
        if (item && item->from && item->subject && item->filePath && g_session) {
            const QString path = Text(item->filePath);
            outcome = ImportOutcome::Undecided;
            served = RunWhenFree([&] {
                QWidget* frame = GetAppMainWindow();
                outcome = code == TC_NSI ? ImportNsiFile(*g_session, frame, path)
                                         : ImportReceivedDataFile(*g_session, frame, path);
            });
            if (served && outcome == ImportOutcome::Declined)
                WriteTransportJournal(kDeclined.arg(path), source);
        }
        break;
    case TC_ERROR:
        if (item && item->from && item->infoText) {
            const QString message = kError.arg(Text(item->from), Text(item->infoText));
            served = RunWhenFree([&] { AppMessageBox(message, MB_OK, GetAppMainWindow()); });
            std::free(item->infoText);
            std::free(item->from);
            std::free(item);
            channel.data = nullptr;
        }
        break;
    case TC_LOG:
        if (const auto* text = static_cast<const char* const*>(channel.data))
            for (const QString& row : TransportLogRows(Text(*text)))
                WriteTransportJournal(row, source);
        break;
    default:
        break;
    }
    if (!served) {
        // An item nobody decided on stays where it came from; the plug-in need not wait to hear it.
        if (code >= TC_INFO && code <= TC_NSI) {
            channel.code = TC_ACK_KEEP;
            TransportEventSet(channel.ack);
        }
        return false;
    }
    channel.code = code == TC_ERROR ? TC_ACK_ERROR : outcome == ImportOutcome::Undecided ? TC_ACK_KEEP : TC_ACK;
    TransportEventSet(channel.ack);
    return true;
}

struct CHostChannel {
    CTransportChannel channel;
    QString source;
};

void RunHost(TransportStartBlock* block)
{
    const CTransportList transports = block->transports ? *block->transports : CTransportList();
    const std::string folder = block->importDir.toUtf8().toStdString();
    const char* folderText = folder.c_str();
    const QString chosen = Settings().Transport;
    TransportEventSet(block->startEvent); // the block is gone from here on

    // The channels live until the process ends: a receive thread may still use its own.
    auto* channels = new std::vector<CHostChannel>();
    channels->reserve(transports.size());
    int skipped = 0;
    for (std::size_t i = 0; i < transports.size() && !g_stop; ++i) {
        ITransport* transport = transports[i].transport;
        if (!transport) {
            WriteTransportJournal(kSkipped.arg(++skipped), QString());
            continue;
        }
        const QString code = TakeHostString(transport->GetCode());
        WriteTransportJournal(kFound.arg(transport->IsReceiveEnabled() ? kOn : kOff), code);
        if (!transport->IsReceiveEnabled() || code != chosen) {
            ++skipped;
            continue;
        }
        CHostChannel& host = channels->emplace_back();
        host.source = code;
        host.channel.notify = TransportEventCreate(true);
        host.channel.ack = TransportEventCreate(false);
        host.channel.code = TC_START;
        host.channel.data = &folderText;
        host.channel.transport = transport;
        host.channel.stop = g_stopEvent;
        WriteTransportJournal(kStarting.arg(i), code);
        ++g_receivers;
        std::thread(&TransportReceiveThread, &host.channel).detach();
        if (!WaitOrStop(host.channel.notify))
            return;
    }
    WriteTransportJournal(kScanDone, QString());
    if (channels->empty() || g_stop)
        return;
    WriteTransportJournal(kWaiting, QString());
    std::vector<pollfd> fds;
    for (const CHostChannel& host : *channels)
        fds.push_back({host.channel.notify, POLLIN, 0});
    fds.push_back({g_stopEvent, POLLIN, 0});
    for (;;) {
        for (pollfd& fd : fds)
            fd.revents = 0;
        const int r = ::poll(fds.data(), nfds_t(fds.size()), -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || (fds.back().revents & POLLIN) || g_stop)
            return;
        // The lowest ready channel first.
        for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN) || !TransportEventWait(fds[i].fd, 0))
                continue;
            if (!Serve((*channels)[i].channel, (*channels)[i].source))
                return;
            break;
        }
    }
}

// Whether the file is a well-formed document whose root is "comment", read as a stream: a forecast,
// which may be large, is parsed without a tree here and once more by its import.
class CCommentRoot final : public CXmlStreamEvents {
public:
    bool StartElement(const xmlChar* name, int, const xmlChar**) override
    {
        if (!m_rootSeen)
            comment = xmlStrEqual(name, BAD_CAST "comment");
        m_rootSeen = true;
        return true;
    }

    bool comment = false;

private:
    bool m_rootSeen = false;
};

bool IsCommentDocument(const QString& path)
{
    CCommentRoot root;
    const CXmlReadResult read = XmlStreamFile(QFile::encodeName(path).constData(), nullptr, root);
    // A comment document that is not well-formed goes to the forecast import, as it always has.
    return read.status == CXmlReadResult::Read && root.comment;
}

} // namespace

void WriteTransportJournal(const QString& text, const QString&)
{
    try {
        WriteOpJournalAt(text, 1, QDateTime::currentDateTime());
    } catch (const std::exception&) {
        AppMessageBox(kJournalFailed, MB_OK | MB_ICONSTOP);
    }
}

QStringList TransportLogRows(const QString& log)
{
    const qsizetype room = kLongestJournalText - kLog.arg(QString()).size();
    QStringList rows;
    qsizetype at = 0;
    do {
        qsizetype end = at;
        // Whole lines while they fit.
        for (qsizetype next; end < log.size(); end = next) {
            next = log.indexOf(u'\n', end);
            next = next < 0 ? log.size() : next + 1;
            if (next - at > room)
                break;
        }
        if (end == at) {
            // A line longer than a row: cut it, but never inside a surrogate pair.
            end = std::min(log.size(), at + room);
            if (end < log.size() && log.at(end - 1).isHighSurrogate())
                --end;
        }
        rows << kLog.arg(log.mid(at, end - at));
        at = end;
    } while (at < log.size());
    return rows;
}

void TransportReceiveThread(CTransportChannel* channel)
{
    if (channel && channel->transport)
        channel->transport->ReceiveLoop(channel);
    if (--g_receivers == 0)
        TransportEventSet(g_receiversDone);
}

void TransportHostThread(TransportStartBlock* block)
{
    g_running = true;
    SetThreadStopFlag(&g_stop);
    RunHost(block);
    SetThreadStopFlag(nullptr);
    g_running = false;
    TransportEventSet(g_doneEvent);
}

void InstallTransportHost(CSessionState& session, ForecastFileImport forecastImport)
{
    g_session = &session;
    g_forecastImport = forecastImport;
    g_stop = false;
    // A stop of an earlier run must not end the next one; while a receive thread of that run is
    // still there, its stop stays set and this run has one of its own.
    if (g_stopEvent < 0 || g_receivers > 0)
        g_stopEvent = TransportEventCreate(false);
    if (g_doneEvent < 0)
        g_doneEvent = TransportEventCreate(false);
    if (g_receiversDone < 0)
        g_receiversDone = TransportEventCreate(false);
    TransportEventWait(g_stopEvent, 0);
    TransportEventWait(g_doneEvent, 0);
    TransportEventWait(g_receiversDone, 0);
    SetTransportHostThread(&TransportHostThread);
}

bool StopTransportHost(int timeoutMs)
{
    if (g_stopEvent < 0)
        return true;
    g_stop = true;
    TransportEventSet(g_stopEvent);
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return timeoutMs < 0 ? -1 : int(std::max<qint64>(0, timeoutMs - clock.elapsed())); };
    if (g_running && !TransportEventWait(g_doneEvent, left()))
        return false;
    // The host thread has started all its receive threads by now; each ends at its next wait.
    while (g_receivers > 0)
        if (!TransportEventWait(g_receiversDone, left()) && g_receivers > 0)
            return false;
    return true;
}

void ParseInfoText(const QString& info, QString* subject, QString* text)
{
    subject->clear();
    text->clear();
    qsizetype pos = 0;
    while (pos < info.size() && info.at(pos) == u'[') {
        qsizetype end = info.indexOf(u'\n', pos);
        if (end < 0)
            end = info.size();
        if (QStringView(info).sliced(pos, end - pos).startsWith(kSubjectTag)) {
            QString line = info.mid(pos + kSubjectTag.size(), end - pos - kSubjectTag.size());
            if (line.endsWith(u'\r'))
                line.chop(1);
            *subject = line;
        }
        pos = end + 1;
    }
    if (pos >= info.size())
        return;
    *text = info.mid(pos);
    if (text->endsWith(u'\n'))
        text->chop(1);
    if (text->endsWith(u'\r'))
        text->chop(1);
}

ImportOutcome ImportReceivedDataFile(CSessionState& session, QWidget* frame, const QString& path)
{
    if (IsCommentDocument(path))
        return ImportCommentFile(session, frame, path);
    if (const ForecastFileImport import = g_forecastImport)
        return import(session, frame, path);
    return ImportOutcome::Undecided;
}
