#include "TransportStart.h"

#include <transport/ITransport.h>

#include <atomic>

namespace {

void DefaultHostThread(TransportStartBlock* block)
{
    TransportEventSet(block->startEvent);
}

std::atomic<TransportHostThreadFunc> g_body{&DefaultHostThread};

} // namespace

void SetTransportHostThread(TransportHostThreadFunc body)
{
    g_body = body ? body : &DefaultHostThread;
}

std::thread::id StartTransportThread(const CTransportList& transports, const QString& importDir)
{
    TransportStartBlock block;
    block.transports = &transports;
    block.importDir = importDir;
    block.startEvent = TransportEventCreate(false);
    // Without the event nothing could tell when the block may go out of scope.
    if (block.startEvent < 0)
        return std::thread::id();
    TransportHostThreadFunc body = g_body;
    std::thread thread(body, &block);
    const std::thread::id id = thread.get_id();
    thread.detach();
    // The block lives in this frame: wait until the thread has taken its arguments.
    TransportEventWait(block.startEvent);
    TransportEventClose(block.startEvent);
    return id;
}
