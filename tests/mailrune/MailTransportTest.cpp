#include "MailTransport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

QDateTime FixedTime()
{
    return QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3, 45));
}

QDateTime NewYear()
{
    return QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 0));
}

// The host's side of the channel: a thread that answers every notification.
class FakeHost {
public:
    struct Message {
        std::int32_t code;
        std::string text;
    };

    explicit FakeHost(int messages, std::chrono::milliseconds delay = {})
    {
        channel.notify = TransportEventCreate(true);
        channel.ack = TransportEventCreate(false);
        m_thread = std::thread([this, messages, delay] {
            for (int i = 0; i < messages; ++i) {
                if (!TransportEventWait(channel.notify, 5000))
                    return;
                Message m{channel.code, {}};
                if (channel.code == TC_LOG)
                    m.text = *static_cast<const char* const*>(channel.data);
                received.push_back(m);
                std::this_thread::sleep_for(delay);
                acknowledged = true;
                channel.code = TC_ACK;
                TransportEventSet(channel.ack);
            }
        });
    }
    ~FakeHost()
    {
        join();
        TransportEventClose(channel.notify);
        TransportEventClose(channel.ack);
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    CTransportChannel channel;
    std::vector<Message> received;
    std::atomic<bool> acknowledged{false};

private:
    std::thread m_thread;
};

class MailLogTest : public ::testing::Test {
protected:
    void SetUp() override { SetMailLogClock(&FixedTime); }
    void TearDown() override { SetMailLogClock(nullptr); }
    CMailTransport transport;
};

} // namespace

TEST(MailTransportIdentity, NamesCodeAndSettings)
{
    CMailTransport transport;
    char16_t* name = transport.GetDisplayName();
    char16_t* code = transport.GetCode();
    EXPECT_EQ(std::u16string(name), u"Электронная почта (SMTP/POP3)");
    EXPECT_EQ(std::u16string(code), u"SMTP");
    std::free(name);
    std::free(code);
    EXPECT_EQ(transport.HasSettings(), 1);
}

TEST(MailTransportIdentity, ShowSettingsKeepsExceptionsInside)
{
    static int calls = 0;
    CMailTransport transport([] {
        ++calls;
        throw std::runtime_error("dialog failed");
    });
    EXPECT_NO_THROW(transport.ShowSettings());
    EXPECT_EQ(calls, 1);
    CMailTransport withoutDialog;
    EXPECT_NO_THROW(withoutDialog.ShowSettings());
}

TEST_F(MailLogTest, LineFormat)
{
    transport.Log("abc");
    EXPECT_EQ(transport.LogText(), "\t05/03/2026 09:07:03.045 SMTP abc\r\n");

    SetMailLogClock(&NewYear);
    transport.Log("Поток приема");
    transport.Log(nullptr);
    EXPECT_EQ(transport.LogText(),
              "\t05/03/2026 09:07:03.045 SMTP abc\r\n"
              "\t01/01/2027 00:00:00.000 SMTP Поток приема\r\n"
              "\t01/01/2027 00:00:00.000 SMTP \r\n");
}

TEST_F(MailLogTest, FlushHandsTheLogToAWaitingHostAndEmptiesIt)
{
    FakeHost host(2, std::chrono::milliseconds(100));
    transport.Log("abc");
    transport.FlushLog(&host.channel);
    EXPECT_TRUE(host.acknowledged); // returned only after the host's answer
    EXPECT_TRUE(transport.LogText().empty());
    EXPECT_EQ(host.channel.data, nullptr); // no pointer into a dead frame is left behind
    // Even an empty log is handed over.
    transport.FlushLog(&host.channel);
    host.join();
    ASSERT_EQ(host.received.size(), 2u);
    EXPECT_EQ(host.received[0].code, TC_LOG);
    EXPECT_EQ(host.received[0].text, "\t05/03/2026 09:07:03.045 SMTP abc\r\n");
    EXPECT_EQ(host.received[1].code, TC_LOG);
    EXPECT_EQ(host.received[1].text, "");
}

TEST_F(MailLogTest, FlushWithoutEventsDoesNotHang)
{
    transport.Log("abc");
    CTransportChannel none;
    transport.FlushLog(&none);
    transport.FlushLog(nullptr);
    EXPECT_EQ(transport.LogText(), "\t05/03/2026 09:07:03.045 SMTP abc\r\n");
}
