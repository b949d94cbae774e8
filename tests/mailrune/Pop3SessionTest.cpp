// The POP3 client against dovecot and, for what dovecot will not do, a scripted fake server.
#include "Pop3Session.h"
#include "MailPeers.h"
#include "ReceivedMail.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <unistd.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

QByteArray Message(const QByteArray& subject, const QByteArray& body)
{
    return "From: org1@example.ru\r\nSubject: " + subject + "\r\n\r\n" + body;
}

} // namespace

TEST(Pop3Dovecot, CountsFetchesDeletesAndRefusesAWrongPassword)
{
    const auto server = Pop3Server::FromEnvironment();
    if (!server)
        GTEST_SKIP() << "no POP3 server: POP3TEST_PORT is not set (scripts/test.sh starts dovecot)";
    const QString user = QStringLiteral("session%1").arg(::getpid());
    const QString maildir = server->AddUser(user, QStringLiteral("secret"));
    // Lines that begin with a dot travel dot-stuffed and must arrive as they were.
    const QList<QByteArray> messages = {Message("one", "body one\r\n"),
                                        Message("two", "first\r\n.x\r\n..y\r\n.\r\nlast\r\n"),
                                        Message("three", "body three\r\n")};
    qint64 total = 0;
    for (const QByteArray& m : messages) {
        DeliverToMaildir(maildir, m);
        total += m.size();
    }

    CPop3Session session;
    ASSERT_TRUE(session.Login("127.0.0.1", user.toStdString(), "secret", server->port))
        << session.LastReplyText() << " " << session.LastError();
    int count = 0;
    std::int64_t size = 0;
    ASSERT_TRUE(session.Stat(count, size));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, total);

    CReceivedMail mail;
    ASSERT_TRUE(session.Top(1, mail));
    EXPECT_EQ(mail.GetSubject(), "one");
    EXPECT_EQ(mail.RawText(), "From: org1@example.ru\r\nSubject: one\r\n");
    ASSERT_TRUE(session.Retr(2, mail));
    EXPECT_EQ(QByteArray::fromStdString(mail.RawText()), messages[1].chopped(2)); // its last CRLF ends the reply
    std::string id;
    EXPECT_TRUE(session.GetMessageId(3, id));
    EXPECT_FALSE(id.empty());
    EXPECT_FALSE(session.Retr(4, mail));
    EXPECT_TRUE(session.Dele(1));
    EXPECT_TRUE(session.Quit());

    CPop3Session again;
    ASSERT_TRUE(again.Login("127.0.0.1", user.toStdString(), "secret", server->port));
    ASSERT_TRUE(again.Stat(count, size));
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(again.Noop());
    EXPECT_TRUE(again.Reset());
    EXPECT_TRUE(again.Quit());
    EXPECT_FALSE(again.Quit()); // no longer connected: nothing is sent

    CPop3Session wrong;
    EXPECT_FALSE(wrong.Login("127.0.0.1", user.toStdString(), "wrong", server->port));
    EXPECT_TRUE(wrong.LastReplyText().starts_with("-ERR")) << wrong.LastReplyText();
    EXPECT_EQ(wrong.LastError(), CPop3Session::kErrorReply);
    EXPECT_FALSE(wrong.IsConnected());
    // The server tells a QUIT after the failed login from a dropped connection.
    const QString quitLine = QStringLiteral("Aborted login by logging out (auth failed");
    for (int i = 0; i < 40 && !server->Log().contains(quitLine); ++i)
        QThread::msleep(50);
    EXPECT_TRUE(server->Log().contains(quitLine));

    CPop3Session never;
    EXPECT_FALSE(never.Quit());
    EXPECT_FALSE(never.Stat(count, size));
}

TEST(Pop3Fake, SilenceSlowRepliesSplitTerminatorsAndClosedPeers)
{
    if (!QFile::exists(kPython))
        GTEST_SKIP() << "/usr/bin/python3 is not installed";
    // A closed peer must give a failed call, never SIGPIPE at its default action.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);

    const struct {
        const char* scenario;
        bool retrieved;
        double fromSeconds, toSeconds;
    } cases[] = {
        {"stall", false, 2.0, 2.75},
        {"trickle", true, 3.5, 6.0},
        {"split", true, 0.25, 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        FakePop3 fake(c.scenario);
        ASSERT_GT(fake.port, 0);
        CPop3Session session;
        ASSERT_TRUE(session.Login("127.0.0.1", "user", "password", fake.port));
        CReceivedMail mail;
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(session.Retr(1, mail), c.retrieved);
        const double seconds = timer.elapsed() / 1000.0;
        EXPECT_GE(seconds, c.fromSeconds);
        EXPECT_LE(seconds, c.toSeconds);
        if (c.retrieved) {
            EXPECT_EQ(mail.GetSubject(), "fake");
            EXPECT_TRUE(mail.RawText().ends_with("a line of the body"));
            EXPECT_TRUE(session.Noop()); // the reply was one reply: the next one is read in step
            EXPECT_TRUE(session.Quit());
        } else {
            EXPECT_EQ(session.LastError(), CPop3Session::kErrorTimedOut);
            EXPECT_TRUE(session.IsBroken());
            EXPECT_FALSE(session.Noop());
            EXPECT_FALSE(session.Quit());
        }
    }

    FakePop3 closing("close");
    ASSERT_GT(closing.port, 0);
    CPop3Session session;
    EXPECT_FALSE(session.Login("127.0.0.1", "user", "password", closing.port));
    int count = 0;
    std::int64_t size = 0;
    EXPECT_FALSE(session.Stat(count, size));
    EXPECT_FALSE(session.Quit());
    CPop3Socket socket;
    ASSERT_TRUE(socket.Create() && socket.Connect("127.0.0.1", closing.port));
    bool readable = false;
    char greeting[64];
    while (socket.IsReadable(readable, 250) && readable && socket.Receive(greeting, sizeof greeting) > 0) { }
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i) {
        failed = !socket.Send("NOOP\r\n", 6);
        QThread::msleep(10);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(socket.LastError(), EPIPE);
    std::signal(SIGPIPE, previous);

    CPop3Session unresolvable;
    EXPECT_FALSE(unresolvable.Login("no-such-host.invalid", "user", "password", 110));
    EXPECT_EQ(unresolvable.LastError(), CPop3Session::kErrorBadHost);
}
