// A plug-in whose entry point answers no object.
class ITransport;
extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    return nullptr;
}
