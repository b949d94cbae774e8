#include "TransportRegistry.h"

#include "TextUtils.h"
#include "TransportStart.h"

#include <transport/ITransport.h>

#include <QDir>
#include <QFile>

#include <dlfcn.h>

#include <cstdlib>
#include <set>

namespace {

const CTransportRegistry* g_appTransports = nullptr;

QString TakeHostString(char16_t* s)
{
    if (!s)
        return QString();
    QString out = QString::fromUtf16(s);
    std::free(s);
    return out;
}

} // namespace

void CTransportRegistry::Load()
{
    m_transports.clear();
    m_transports.push_back({QStringLiteral("Файл"), QStringLiteral("File"), nullptr});

    // The plug-ins of both places by name; one in the program folder stands for the shipped one.
    const QString folder = QStringLiteral("transport/");
    std::set<QString> names;
    for (const QString& place : ProgramFilePlaces(folder))
        for (const QString& name :
             QDir(place).entryList({QStringLiteral("*.so")}, QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
            names.insert(name);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(ProgramFile(folder + name));
        void* lib = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            continue;
        auto get = reinterpret_cast<GetTransportFunc>(dlsym(lib, "get_transport"));
        ITransport* transport = get ? get() : nullptr;
        if (!transport) {
            // Without an object there is nothing to call: unload and skip.
            dlclose(lib);
            continue;
        }
        CTransportEntry entry;
        entry.displayName = TakeHostString(transport->GetDisplayName());
        entry.code = TakeHostString(transport->GetCode());
        entry.transport = transport;
        m_transports.push_back(std::move(entry));
    }
}

std::thread::id CTransportRegistry::StartHostThread(const QString& importDir)
{
    return StartTransportThread(m_transports, importDir);
}

const CTransportRegistry* AppTransports()
{
    return g_appTransports;
}

void SetAppTransports(const CTransportRegistry* registry)
{
    g_appTransports = registry;
}
