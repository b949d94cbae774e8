// The loaded transports and the start of the transport host thread over them. It lives outside core:
// the plug-ins it loads bring their own user interface. The application owns the one registry; the
// plug-in objects and their libraries stay loaded until the process ends.
#pragma once

#include <QString>

#include <thread>
#include <vector>

class ITransport;

struct CTransportEntry {
    QString displayName;
    QString code;
    ITransport* transport = nullptr; // none for the built-in file transport; never freed
};

using CTransportList = std::vector<CTransportEntry>;

class CTransportRegistry {
public:
    // Rebuilds the list: "Файл"/"File" first, then every plug-in of transport/*.so in file-name
    // order; a library that does not load or gives no object is skipped.
    void Load();
    const CTransportList& transports() const { return m_transports; }
    // Starts the transport host thread over this list (the registry outlives it) and returns once the
    // thread has taken its arguments; a default id when it could not start.
    std::thread::id StartHostThread(const QString& importDir);

private:
    CTransportList m_transports;
};

// The application's registry, for the dialogs that send through a transport or configure one;
// null until the application has loaded it.
const CTransportRegistry* AppTransports();
void SetAppTransports(const CTransportRegistry* registry);
