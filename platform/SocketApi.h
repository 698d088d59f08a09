#pragma once

#include <QByteArray>
#include <QEvent>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QObject;

// Windows Sockets 1.1 as the TCP client knows it: handles, codes and masks keep Winsock's values,
// so that the error table and the notification words read the same on every platform.
namespace winsock {

using Socket = std::uint32_t;
inline constexpr Socket InvalidSocket = 0xFFFFFFFFu;
inline constexpr int SocketError = -1;
inline constexpr std::uint32_t InaddrNone = 0xFFFFFFFFu;

inline constexpr int AfInet = 2;
inline constexpr int SockStream = 1;
inline constexpr int SockRaw = 3;
inline constexpr int SdSend = 1;

// Notification events; a notification's lParam carries one of them in its low word.
inline constexpr long FdRead = 1;
inline constexpr long FdConnect = 16;
inline constexpr long FdClose = 32;

inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENOTCONN = 10057;

// The notification word: event in the low word, error code in the high word.
constexpr std::uint32_t MakeSelectReply(long event, int error)
{
    return (static_cast<std::uint32_t>(error) << 16) | (static_cast<std::uint32_t>(event) & 0xFFFFu);
}
constexpr long SelectEvent(std::uint32_t lParam)
{
    return static_cast<long>(lParam & 0xFFFFu);
}
constexpr int SelectError(std::uint32_t lParam)
{
    return static_cast<int>(lParam >> 16);
}

// An IPv4 socket address; port and address in network byte order.
struct SockAddrIn
{
    std::uint16_t family = AfInet;
    std::uint16_t port = 0;
    std::uint32_t address = 0;
};

// What the start-up call tells about the implementation.
struct WsaData
{
    std::uint16_t version = 0;
    QString description;
    QString systemStatus;
    int maxSockets = 0;
    int maxUdpDatagram = 0;
};

} // namespace winsock

// A window message posted to a hidden notification window (a QObject) on the user-interface
// thread: message number, wParam (the socket) and lParam (event and error, see MakeSelectReply).
class SocketMessageEvent final : public QEvent
{
public:
    SocketMessageEvent(unsigned message, winsock::Socket wParam, std::uint32_t lParam)
        : QEvent(Type())
        , m_message(message)
        , m_wParam(wParam)
        , m_lParam(lParam)
    { }

    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    unsigned Message() const { return m_message; }
    winsock::Socket WParam() const { return m_wParam; }
    std::uint32_t LParam() const { return m_lParam; }

private:
    unsigned m_message;
    winsock::Socket m_wParam;
    std::uint32_t m_lParam;
};

// The answer to an asynchronous host look-up, posted to the window that asked: the host's IPv4
// addresses (network byte order), or when there are none the code the look-up failed with.
class HostLookupEvent final : public QEvent
{
public:
    HostLookupEvent(std::uint32_t request, std::vector<std::uint32_t> addresses, int error)
        : QEvent(Type())
        , m_request(request)
        , m_addresses(std::move(addresses))
        , m_error(error)
    { }

    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    std::uint32_t Request() const { return m_request; }
    const std::vector<std::uint32_t>& Addresses() const { return m_addresses; }
    int Error() const { return m_error; }

private:
    std::uint32_t m_request;
    std::vector<std::uint32_t> m_addresses;
    int m_error;
};

// Windows Sockets 1.1, the part the TCP client uses. Every call that fails sets the code that
// LastError() returns afterwards (a WSA code 10004–10093, or a resolver code 11001–11004).
// Only the name look-ups may block, except the asynchronous one; socket operations never do.
class SocketApi
{
public:
    virtual ~SocketApi() = default;

    // 0 and `data` filled, or a WSA code (then `data` is untouched). Pair each success with Cleanup.
    virtual int Startup(std::uint16_t version, winsock::WsaData& data) = 0;
    // 0, or SocketError (10093 when there was no matching Startup).
    virtual int Cleanup() = 0;
    // The code of the last failed call.
    virtual int LastError() const = 0;

    // The protocol's name ("tcp" for 6), or nothing when unknown.
    virtual std::optional<QByteArray> GetProtoByNumber(int number) = 0;
    // The service's port in network byte order, or nothing when `name` is no service of `protocol`.
    virtual std::optional<std::uint16_t> GetServByName(const QByteArray& name, const QByteArray& protocol) = 0;
    // The address of a numeric IPv4 text in network byte order, or InaddrNone.
    virtual std::uint32_t InetAddr(const QByteArray& text) = 0;
    // The host's IPv4 addresses (network byte order), never an empty list; or nothing with
    // 11001 (unknown name), 11002 (temporary failure), 11003 (resolver failure) or 11004 (no IPv4 record).
    virtual std::optional<std::vector<std::uint32_t>> GetHostByName(const QByteArray& name) = 0;
    // This computer's name, or nothing.
    virtual std::optional<QByteArray> GetHostName() = 0;
    // Looks `name` up as GetHostByName does, without blocking this thread however long the
    // look-up takes: its answer arrives later as a HostLookupEvent posted to `window` on this
    // thread. The request's number (never 0), or 0 with 10055 when no look-up could be started.
    virtual std::uint32_t AsyncGetHostByName(QObject* window, const QByteArray& name) = 0;
    // No answer to `request` is posted any more (one posted already may still arrive); call it
    // before the window goes. Harmless for a request that was answered or is unknown.
    virtual void CancelAsyncRequest(std::uint32_t request) = 0;

    // A new socket, already non-blocking, or InvalidSocket.
    virtual winsock::Socket CreateSocket(int family, int type, int protocol) = 0;
    // Posts SocketMessageEvent(message, s, event | error << 16) to `window` for each event of
    // `events` (FdRead | FdConnect | FdClose) as it happens, on this thread, by Winsock's rules:
    // FdConnect once when the connect completes (error from the attempt); FdRead once, again only
    // after a Recv on the socket; FdClose once, when the peer has closed and pending data was
    // signalled. A new call replaces the previous one; events 0 stops all notifications (already
    // posted ones may still arrive). 0, or SocketError.
    virtual int AsyncSelect(winsock::Socket s, QObject* window, unsigned message, long events) = 0;
    // Urgent data inline (SO_OOBINLINE) when `on`. 0, or SocketError.
    virtual int SetOobInline(winsock::Socket s, bool on) = 0;
    // 0 when connected at once; SocketError with 10035 while the connect goes on (its outcome
    // arrives as FdConnect); SocketError with another code for a hard failure.
    virtual int Connect(winsock::Socket s, const winsock::SockAddrIn& address) = 0;
    // 0, or SocketError (10057 when not connected).
    virtual int Shutdown(winsock::Socket s, int how) = 0;
    // Bytes read (0: the peer closed), or SocketError (10035: nothing waiting).
    virtual int Recv(winsock::Socket s, char* buffer, int length, int flags) = 0;
    // Bytes accepted, or SocketError (10035: no room now).
    virtual int Send(winsock::Socket s, const char* data, int length, int flags) = 0;
    // 0 and the handle is gone, or SocketError and the socket stays open.
    virtual int CloseSocket(winsock::Socket s) = 0;
    // 0 and the socket's local address, or SocketError.
    virtual int GetSockName(winsock::Socket s, winsock::SockAddrIn& address) = 0;
};
