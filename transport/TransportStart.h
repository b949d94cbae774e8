// Start of the transport host thread. The registry starts the thread and waits until it has taken
// its arguments; the body is installed by the exchange layer.
#pragma once

#include "TransportRegistry.h"

#include <thread>

struct TransportStartBlock {
    const CTransportList* transports = nullptr;
    QString importDir;
    int startEvent = -1; // signalled by the body once it has copied what it needs
};

using TransportHostThreadFunc = void (*)(TransportStartBlock* block);

// Installs the host thread's body; the default takes its arguments and ends.
void SetTransportHostThread(TransportHostThreadFunc body);

std::thread::id StartTransportThread(const CTransportList& transports, const QString& importDir);
