// The one interface shared by the host program and every transport plug-in.
// No Qt here: a plug-in may be built against nothing but the C++ library.
//
// Rules of the boundary:
//  - a plug-in exports exactly one symbol, `get_transport` (extern "C");
//  - strings returned to the host are char16_t arrays allocated with malloc, freed by the host with free;
//  - texts in CReceivedItem and the log hand-over are UTF-8;
//  - no C++ exception crosses the boundary;
//  - the host never destroys the plug-in object.
#pragma once

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

// Message codes of the receive channel.
enum TransportCode : std::int32_t {
    TC_INFO = 1,      // plug-in: information message (data = CReceivedItem*)
    TC_DATA = 2,      // plug-in: data file received (data = CReceivedItem*)
    TC_NSI = 3,       // plug-in: reference-data file received (data = CReceivedItem*)
    TC_ERROR = 4,     // plug-in: error report
    TC_START = 5,     // host: start; data = address of a `const char*` holding the import folder
    TC_ACK = 6,       // host: answered
    TC_ACK_ERROR = 7, // host: answered an error report
    TC_LOG = 8,       // plug-in: log; data = address of a `const char*` holding the log text
    TC_ACK_KEEP = 9,  // host: answered an item (codes 1 to 3) without taking it: the plug-in leaves it where
                      // it came from (nothing was decided, as when the program ends during its question)
};

class ITransport;

// An event is an eventfd descriptor; -1 means none.
struct CTransportChannel {
    int notify = -1; // set by the plug-in, waited on by the host
    int ack = -1;    // set by the host, waited on by the plug-in
    std::int32_t code = 0;
    void* data = nullptr;
    ITransport* transport = nullptr;
    // Set by the host when it ends and never cleared: the plug-in's waits watch it, and its receive
    // loop returns, so that the process does not end under a thread still inside the plug-in.
    int stop = -1;
};

// Handed over with codes 1 to 3; allocated (malloc) and freed by the plug-in.
struct CReceivedItem {
    char* from = nullptr;
    char* subject = nullptr;
    char* infoText = nullptr;
    char* filePath = nullptr;
};

class ITransport {
public:
    virtual char16_t* GetDisplayName() = 0;
    virtual char16_t* GetCode() = 0;
    virtual std::int32_t HasSettings() = 0;
    virtual void ShowSettings() = 0;
    // descriptionPath: the send description; *resultPath receives a malloc'ed path of the result file.
    virtual HRESULT Send(const char16_t* descriptionPath, char16_t** resultPath) = 0;
    virtual std::int32_t IsReceiveEnabled() = 0;
    virtual HRESULT ReceiveLoop(CTransportChannel* channel) = 0;
    virtual void Log(const char* text) = 0;
    virtual void FlushLog(CTransportChannel* channel) = 0;

protected:
    ~ITransport() = default;
};

extern "C" {
using GetTransportFunc = ITransport* (*)();
}

// Event helpers shared by both sides. The notification event runs in semaphore mode so that
// two signals before one wait are two wake-ups.
inline int TransportEventCreate(bool semaphore)
{
    return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | (semaphore ? EFD_SEMAPHORE : 0));
}

inline void TransportEventSet(int event)
{
    std::uint64_t one = 1;
    while (write(event, &one, sizeof one) < 0 && errno == EINTR) { }
}

// Waits until the event is set and consumes it. timeoutMs < 0 waits without limit. Returns false on
// time-out or error, when the stop event (if any) is set, and at once for no event (poll would
// ignore it and wait on).
inline bool TransportEventWait(int event, int timeoutMs = -1, int stop = -1)
{
    if (event < 0)
        return false;
    pollfd p[2] = {{event, POLLIN, 0}, {stop, POLLIN, 0}};
    for (;;) {
        int r = poll(p, stop >= 0 ? 2 : 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || (stop >= 0 && p[1].revents))
            return false;
        std::uint64_t value = 0;
        ssize_t n = read(event, &value, sizeof value);
        if (n == sizeof value)
            return true;
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return false;
    }
}

inline void TransportEventClose(int event)
{
    if (event >= 0)
        close(event);
}
