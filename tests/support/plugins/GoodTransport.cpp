// A transport plug-in for the loader tests: answers its name and code, does nothing else.
#include "StubTransport.h"

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

class TestTransport final : public CStubTransport {
public:
    char16_t* GetDisplayName() override { return Dup(u"Тестовый транспорт"); }
    char16_t* GetCode() override { return Dup(u"TEST"); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) ITransport* get_transport()
{
    static TestTransport transport;
    return &transport;
}
