// A transport plug-in for the loader tests: answers its name and code, does nothing else.
#include <transport/ITransport.h>

#include <cstdlib>
#include <cstring>

namespace {

char16_t* Dup(const char16_t* s)
{
    std::size_t n = 0;
    while (s[n])
        ++n;
    auto* out = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
    std::memcpy(out, s, (n + 1) * sizeof(char16_t));
    return out;
}

class TestTransport final : public ITransport {
public:
    char16_t* GetDisplayName() override { return Dup(u"Тестовый транспорт"); }
    char16_t* GetCode() override { return Dup(u"TEST"); }
    std::int32_t HasSettings() override { return 0; }
    void ShowSettings() override { }
    HRESULT Send(const char16_t*, char16_t**) override { return E_FAIL; }
    std::int32_t IsReceiveEnabled() override { return 0; }
    HRESULT ReceiveLoop(CTransportChannel*) override { return S_OK; }
    void Log(const char*) override { }
    void FlushLog(CTransportChannel*) override { }
};

} // namespace

extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    static TestTransport transport;
    return &transport;
}
