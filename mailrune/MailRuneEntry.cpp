// The module's one export. Everything else is hidden: see the version script.
#include "MailTransport.h"
#include "MailUiHook.h"

#include <new>

extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    // The host asks from one thread while it loads its plug-ins; the object is never freed.
    static ITransport* transport = nullptr;
    if (!transport)
        transport = new (std::nothrow) CMailTransport(&RunMailSettingsDialog);
    return transport;
}
