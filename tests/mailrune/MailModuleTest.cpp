// The built module as the host sees it: loaded with dlopen, reached only through get_transport.
#include "TestSupport.h"
#include "TransportRegistry.h"

#include <transport/ITransport.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace {

std::u16string Take(char16_t* s)
{
    std::u16string out = s ? std::u16string(s) : std::u16string();
    std::free(s); // the host frees with free: the strings must come from malloc
    return out;
}

ITransport* LoadModule()
{
    void* lib = dlopen(MAILRUNE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return nullptr;
    auto get = reinterpret_cast<GetTransportFunc>(dlsym(lib, "get_transport"));
    return get ? get() : nullptr;
}

} // namespace

TEST(MailModule, ExportsOnlyGetTransport)
{
    const auto lines = ExportedSymbols(QStringLiteral(MAILRUNE_MODULE_PATH));
    if (!lines)
        GTEST_SKIP() << "nm (binutils) is not installed";
    ASSERT_EQ(lines->size(), 1) << lines->join(u'\n').toStdString();
    EXPECT_TRUE(lines->at(0).endsWith(QStringLiteral(" T get_transport"))) << lines->at(0).toStdString();
}

TEST(MailModule, OneObjectWithItsIdentity)
{
    ITransport* first = LoadModule();
    ASSERT_NE(first, nullptr) << dlerror();
    EXPECT_EQ(LoadModule(), first);
    EXPECT_EQ(Take(first->GetDisplayName()), u"Электронная почта (SMTP/POP3)");
    EXPECT_EQ(Take(first->GetCode()), u"SMTP");
    EXPECT_EQ(first->HasSettings(), 1);
    // Without a QApplication the dialog cannot exist; the call must come back quietly.
    first->ShowSettings();
}

class MailModuleHostTest : public TempHomeTest { };

TEST_F(MailModuleHostTest, TheHostListsTheMailTransportAfterTheFileTransport)
{
    QDir().mkpath(home() + "transport");
    ASSERT_TRUE(QFile::copy(QStringLiteral(MAILRUNE_MODULE_PATH), home() + "transport/mailrune.so"));

    CTransportRegistry registry;
    registry.Load();
    const CTransportList& transports = registry.transports();
    ASSERT_EQ(transports.size(), 2u);
    EXPECT_EQ(transports[0].displayName, "Файл");
    EXPECT_EQ(transports[1].displayName, "Электронная почта (SMTP/POP3)");
    EXPECT_EQ(transports[1].code, "SMTP");

    // The module reads the same profile as the host.
    ITransport* mail = transports[1].transport;
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->IsReceiveEnabled(), 0);
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue("Transport/MAILRUNE/EnableReceive", "1");
    }
    EXPECT_EQ(mail->IsReceiveEnabled(), 1);
}
