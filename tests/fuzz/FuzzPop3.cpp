// A POP3 server's replies: the input is everything the server sends before it closes, while the
// client logs in, counts, lists and fetches as a poll of the receive loop does.
#include "Pop3Session.h"
#include "ReceivedMail.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace {

// One listening socket on a loopback port for the whole run.
int Listener(int& port)
{
    static int fd = -1;
    static int bound = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 4) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ::abort();
        bound = ntohs(address.sin_port);
    }
    port = bound;
    return fd;
}

// Sends the input, ends its side, and reads what the client sends until it closes, so that nothing
// unread turns the close into a reset.
void Serve(int listener, const uint8_t* data, size_t size)
{
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(client, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    ::shutdown(client, SHUT_WR);
    char sink[4096];
    while (::recv(client, sink, sizeof sink, 0) > 0) { }
    ::close(client);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int port = 0;
    const int listener = Listener(port);
    std::thread server(Serve, listener, data, size);
    {
        CPop3Session session(200);
        if (session.Login("127.0.0.1", "user", "password", port)) {
            int count = 0;
            std::int64_t total = 0;
            session.Stat(count, total);
            const int listed = std::min(session.ListedCount(), 3);
            for (int n = 1; n <= listed; ++n) {
                std::string id;
                session.GetMessageId(n, id);
                CReceivedMail mail;
                if (session.Top(n, mail))
                    static_cast<void>(mail.GetSubject());
                if (session.Retr(n, mail))
                    session.Dele(n);
            }
        }
        session.Quit();
    }
    server.join();
    return 0;
}
