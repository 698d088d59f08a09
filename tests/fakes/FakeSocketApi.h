#pragma once

#include "platform/SocketApi.h"

#include <QPointer>
#include <QStringList>

#include <deque>
#include <map>
#include <optional>
#include <set>

// A scripted Winsock. Records every call in Calls() as text ("socket 2 1 0", "select 100 49",
// "connect 100 127.0.0.1:37", "recv 100 1024", "send 100 USER x", "close 100", ...), answers
// from the tables below and fails where a test tells it to. Notifications are delivered only
// when the test asks (Post, Deliver), to the window last selected for the socket; the answer to
// an asynchronous look-up ("gethostbyname", from the host tables) is posted at once.
class FakeSocketApi final : public SocketApi
{
public:
    FakeSocketApi();

    // One step of a scripted Recv or Send: bytes (Recv) or a count (Send), or a WSA error.
    struct Step
    {
        QByteArray data;
        int count = 0;
        int error = 0;
    };

    int startupResult = 0;
    int cleanupError = 0;
    std::map<int, QByteArray> protocols { { 6, "tcp" } };
    std::map<QByteArray, std::uint16_t> services { { "time", 37 }, { "pop3", 110 } }; // host order
    std::map<QByteArray, QByteArray> hosts { { "localhost", "127.0.0.1" } }; // name -> dotted
    std::map<QByteArray, int> hostErrors; // else 11001
    std::optional<QByteArray> hostName = QByteArray("kronvik-host");
    int hostNameError = 10093;
    int socketError = 0;
    std::map<long, int> selectErrors; // by event mask
    int oobError = 0;
    int connectError = winsock::WSAEWOULDBLOCK; // 0: connected at once
    int shutdownError = 0;
    std::deque<int> closeErrors; // one per CloseSocket; empty: success
    std::deque<Step> recvSteps; // empty: would-block
    std::deque<Step> sendSteps; // empty: everything is taken
    QByteArray localAddress = "192.0.2.9";

    const QStringList& Calls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }
    // The handle the next CreateSocket returns.
    winsock::Socket NextHandle() const { return m_nextHandle; }
    bool IsOpen(winsock::Socket s) const { return m_sockets.count(s) != 0; }
    int OpenSockets() const { return static_cast<int>(m_sockets.size()); }
    int Startups() const { return m_startups; }
    long SelectedEvents(winsock::Socket s) const;

    // Queues a notification for the socket's window, as the message loop would see it later.
    // Returns false when the socket never had a window.
    bool Post(winsock::Socket s, long event, int error = 0);
    // Posts and delivers at once.
    bool Deliver(winsock::Socket s, long event, int error = 0);

    int Startup(std::uint16_t version, winsock::WsaData& data) override;
    int Cleanup() override;
    int LastError() const override { return m_lastError; }
    std::optional<QByteArray> GetProtoByNumber(int number) override;
    std::optional<std::uint16_t> GetServByName(const QByteArray& name, const QByteArray& protocol) override;
    std::uint32_t InetAddr(const QByteArray& text) override;
    std::optional<std::vector<std::uint32_t>> GetHostByName(const QByteArray& name) override;
    std::optional<QByteArray> GetHostName() override;
    std::uint32_t AsyncGetHostByName(QObject* window, const QByteArray& name) override;
    void CancelAsyncRequest(std::uint32_t request) override { m_calls << QStringLiteral("cancel %1").arg(request); }
    winsock::Socket CreateSocket(int family, int type, int protocol) override;
    int AsyncSelect(winsock::Socket s, QObject* window, unsigned message, long events) override;
    int SetOobInline(winsock::Socket s, bool on) override;
    int Connect(winsock::Socket s, const winsock::SockAddrIn& address) override;
    int Shutdown(winsock::Socket s, int how) override;
    int Recv(winsock::Socket s, char* buffer, int length, int flags) override;
    int Send(winsock::Socket s, const char* data, int length, int flags) override;
    int CloseSocket(winsock::Socket s) override;
    int GetSockName(winsock::Socket s, winsock::SockAddrIn& address) override;

private:
    struct Target
    {
        QPointer<QObject> window;
        unsigned message = 0;
        long events = 0;
    };

    int Fail(int error);
    bool Known(winsock::Socket s);

    QStringList m_calls;
    std::set<winsock::Socket> m_sockets;
    std::map<winsock::Socket, Target> m_targets; // kept after close, for late notifications
    winsock::Socket m_nextHandle = 100;
    std::uint32_t m_lastRequest = 0;
    int m_startups = 0;
    int m_lastError = 0;
};
