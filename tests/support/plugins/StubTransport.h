// A transport that does nothing: the test plug-ins and the tests that need a transport object start
// from it and answer only what they are about.
#pragma once

#include <transport/ITransport.h>

class CStubTransport : public ITransport {
public:
    explicit CStubTransport(std::int32_t hasSettings = 0)
        : m_hasSettings(hasSettings)
    {
    }
    char16_t* GetDisplayName() override { return nullptr; }
    char16_t* GetCode() override { return nullptr; }
    std::int32_t HasSettings() override { return m_hasSettings; }
    void ShowSettings() override { }
    HRESULT Send(const char16_t*, char16_t**) override { return E_FAIL; }
    std::int32_t IsReceiveEnabled() override { return 0; }
    HRESULT ReceiveLoop(CTransportChannel*) override { return S_OK; }
    void Log(const char*) override { }
    void FlushLog(CTransportChannel*) override { }

private:
    std::int32_t m_hasSettings;
};
