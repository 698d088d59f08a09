// One time query's worth of socket work, many times over: connect on loopback, read the
// server's 4 bytes, close. Once through TTCPClient driven by the event loop, once through a
// plain blocking socket, against the same in-process server. Prints microseconds per round and
// the ratio. Rounds: the first argument (default 2000).
#include "benchmarks/BlockingQuery.h"
#include "net/WSockets.h"
#include "platform/linux/sockets/PosixSocketApi.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Answers every connection with 4 bytes and closes it, on its own thread, until stopped.
class TimeLikeServer final
{
public:
    TimeLikeServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_listener, 64) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("server");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~TimeLikeServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }

    unsigned short Port() const { return m_port; }

private:
    void Serve()
    {
        while (!m_stop) {
            pollfd waiting { m_listener, POLLIN, 0 };
            if (::poll(&waiting, 1, 100) <= 0)
                continue;
            const int peer = ::accept(m_listener, nullptr, nullptr);
            if (peer < 0)
                continue;
            const char seconds[4] = { '\xe8', '\x1b', '\x2c', '\x00' };
            [[maybe_unused]] const ssize_t sent = ::send(peer, seconds, sizeof seconds, MSG_NOSIGNAL);
            ::close(peer);
        }
    }

    int m_listener = -1;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    TimeLikeServer server;

    PosixSocketApi api;
    TTCPClient client(api, [](const std::exception& e) { std::fprintf(stderr, "handler: %s\n", e.what()); });
    client.SetHost(QStringLiteral("127.0.0.1"));
    client.SetPort(QString::number(server.Port()));
    bool done = false;
    int failures = 0;
    client.OnData = [&](TCustomWSocket*, int) {
        char buffer[4];
        if (client.ReceiveBuffer(buffer, 4) != 4)
            ++failures;
        client.Close();
        done = true;
    };
    client.OnError = [&](TCustomWSocket*, int, const QString&) {
        ++failures;
        client.Close();
        done = true;
    };

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) {
        done = false;
        client.Open();
        QElapsedTimer round;
        round.start();
        while (!done && round.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        if (!done) {
            ++failures;
            client.Close();
        }
    }
    const double componentUs = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / rounds;

    int blockingFailures = 0;
    timer.restart();
    for (int i = 0; i < rounds; ++i)
        blockingFailures += BlockingFourByteQuery(server.Port()) ? 0 : 1;
    const double blockingUs = static_cast<double>(timer.nsecsElapsed()) / 1000.0 / rounds;

    std::printf("rounds: %d (connect, read 4 bytes, close on 127.0.0.1)\n", rounds);
    std::printf("TTCPClient, event loop: %8.1f us per round (%d failed)\n", componentUs, failures);
    std::printf("blocking socket:        %8.1f us per round (%d failed)\n", blockingUs, blockingFailures);
    std::printf("ratio component/blocking: %.2f\n", componentUs / blockingUs);
    return 0;
}
