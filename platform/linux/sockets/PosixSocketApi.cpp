#include "platform/linux/sockets/PosixSocketApi.h"

#include "platform/linux/sockets/HostLookUp.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

using namespace winsock;

namespace {

constexpr int WsaNotInitialised = 10093;
constexpr int WsaVersionNotSupported = 10092;
constexpr int WsaInvalidArgument = 10022;
constexpr int WsaNotSocket = 10038;
constexpr int WsaAddressFamily = 10047;
constexpr int WsaNoBufferSpace = 10055;
constexpr int WsaNoData = 11004;

// Failures of the connection attempt itself, which Winsock reports through FdConnect rather
// than from connect().
bool IsAttemptFailure(int error)
{
    switch (error) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
    case ENETDOWN:
        return true;
    default:
        return false;
    }
}

} // namespace

PosixSocketApi::PosixSocketApi() = default;

PosixSocketApi::~PosixSocketApi()
{
    while (!m_lookups.empty())
        CancelAsyncRequest(m_lookups.begin()->first);
    for (auto& [handle, entry] : m_sockets) {
        entry.readable.reset();
        entry.writable.reset();
        ::close(entry.fd);
    }
}

int PosixSocketApi::WsaErrorFromErrno(int error)
{
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
    case EPIPE:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 10091; // the network subsystem failed in a way Winsock has no word for
    }
}

int PosixSocketApi::WsaErrorFromResolver(int gaiError, int error)
{
    switch (gaiError) {
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return WsaNoData;
    case EAI_MEMORY:
        return WsaNoBufferSpace;
    case EAI_SYSTEM:
        return WsaErrorFromErrno(error);
    default:
        return 11003;
    }
}

int PosixSocketApi::Startup(std::uint16_t version, WsaData& data)
{
    if ((version & 0xFFu) < 1) {
        m_lastError = WsaVersionNotSupported;
        return WsaVersionNotSupported;
    }
    ++m_startups;
    data.version = 0x0101;
    data.description = QStringLiteral("Winsock 1.1 on POSIX sockets");
    data.systemStatus = QStringLiteral("Running");
    data.maxSockets = static_cast<int>(sysconf(_SC_OPEN_MAX));
    data.maxUdpDatagram = 65467;
    return 0;
}

int PosixSocketApi::Cleanup()
{
    if (m_startups == 0)
        return Fail(WsaNotInitialised);
    --m_startups;
    return 0;
}

std::optional<QByteArray> PosixSocketApi::GetProtoByNumber(int number)
{
    protoent entry {};
    protoent* found = nullptr;
    char buffer[1024];
    if (getprotobynumber_r(number, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
        m_lastError = WsaNoData;
        return std::nullopt;
    }
    return QByteArray(found->p_name);
}

std::optional<std::uint16_t> PosixSocketApi::GetServByName(const QByteArray& name, const QByteArray& protocol)
{
    servent entry {};
    servent* found = nullptr;
    char buffer[1024];
    if (name.contains('\0')
        || getservbyname_r(name.constData(), protocol.constData(), &entry, buffer, sizeof buffer, &found) != 0
        || found == nullptr) {
        m_lastError = WsaNoData;
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(found->s_port);
}

std::uint32_t PosixSocketApi::InetAddr(const QByteArray& text)
{
    if (text.contains('\0'))
        return InaddrNone;
    return ::inet_addr(text.constData());
}

std::optional<std::vector<std::uint32_t>> PosixSocketApi::GetHostByName(const QByteArray& name)
{
    HostAnswer answer = LookUpHost(name);
    if (answer.addresses.empty()) {
        m_lastError = answer.error;
        return std::nullopt;
    }
    return std::move(answer.addresses);
}

std::optional<QByteArray> PosixSocketApi::GetHostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        FailErrno();
        return std::nullopt;
    }
    return QByteArray(name);
}

std::uint32_t PosixSocketApi::AsyncGetHostByName(QObject* window, const QByteArray& name)
{
    // Requests answered since the last one need no cancelling any more.
    std::erase_if(m_lookups, [](const auto& request) { return request.second->HasAnswered(); });
    if (++m_lastRequest == 0)
        ++m_lastRequest;
    const std::uint32_t request = m_lastRequest;
    const auto post = [window, request](HostAnswer answer) {
        QCoreApplication::postEvent(window, new HostLookupEvent(request, std::move(answer.addresses), answer.error));
    };
    try {
        m_lookups.emplace(request, BackgroundLookUp::Start(name, post));
    } catch (const std::system_error&) {
        m_lastError = WsaNoBufferSpace;
        return 0;
    }
    return request;
}

void PosixSocketApi::CancelAsyncRequest(std::uint32_t request)
{
    const auto found = m_lookups.find(request);
    if (found == m_lookups.end())
        return;
    found->second->Cancel();
    m_lookups.erase(found);
}

Socket PosixSocketApi::CreateSocket(int family, int type, int protocol)
{
    if (family != AfInet) {
        Fail(WsaAddressFamily);
        return InvalidSocket;
    }
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno();
        return InvalidSocket;
    }
    while (m_nextHandle == InvalidSocket || m_sockets.count(m_nextHandle) != 0)
        ++m_nextHandle;
    const Socket handle = m_nextHandle++;
    Entry& entry = m_sockets[handle];
    entry.fd = fd;
    entry.readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    entry.readable->setEnabled(false);
    QObject::connect(entry.readable.get(), &QSocketNotifier::activated, [this, handle] { OnReadable(handle); });
    entry.writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    entry.writable->setEnabled(false);
    QObject::connect(entry.writable.get(), &QSocketNotifier::activated, [this, handle] { OnWritable(handle); });
    return handle;
}

int PosixSocketApi::AsyncSelect(Socket s, QObject* window, unsigned message, long events)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    if (events != 0 && window == nullptr)
        return Fail(WsaInvalidArgument);
    entry->window = window;
    entry->message = message;
    entry->events = events;
    // Winsock looks at the socket afresh after a new selection.
    entry->readSignalled = false;
    UpdateNotifiers(*entry);
    return 0;
}

int PosixSocketApi::SetOobInline(Socket s, bool on)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    const int value = on ? 1 : 0;
    if (::setsockopt(entry->fd, SOL_SOCKET, SO_OOBINLINE, &value, sizeof value) != 0)
        return FailErrno();
    return 0;
}

int PosixSocketApi::Connect(Socket s, const SockAddrIn& address)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    if (address.family != AfInet)
        return Fail(WsaAddressFamily);
    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = address.port;
    target.sin_addr.s_addr = address.address;
    if (::connect(entry->fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        entry->connected = true;
        Post(*entry, s, FdConnect, 0);
        UpdateNotifiers(*entry);
        return 0;
    }
    const int error = errno;
    if (error == EINPROGRESS) {
        entry->connecting = true;
        UpdateNotifiers(*entry);
        return Fail(WSAEWOULDBLOCK);
    }
    if (IsAttemptFailure(error) && entry->window != nullptr && (entry->events & FdConnect) != 0) {
        Post(*entry, s, FdConnect, WsaErrorFromErrno(error));
        return Fail(WSAEWOULDBLOCK);
    }
    return Fail(WsaErrorFromErrno(error));
}

int PosixSocketApi::Shutdown(Socket s, int how)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    if (::shutdown(entry->fd, how) != 0)
        return FailErrno();
    return 0;
}

int PosixSocketApi::Recv(Socket s, char* buffer, int length, int flags)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    if (length < 0)
        return Fail(WsaInvalidArgument);
    const ssize_t count = ::recv(entry->fd, buffer, static_cast<size_t>(length), flags | MSG_DONTWAIT);
    const int error = errno;
    // A read re-enables the read notification, whatever it returned.
    entry->readSignalled = false;
    UpdateNotifiers(*entry);
    if (count < 0)
        return Fail(WsaErrorFromErrno(error));
    return static_cast<int>(count);
}

int PosixSocketApi::Send(Socket s, const char* data, int length, int flags)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    if (length < 0)
        return Fail(WsaInvalidArgument);
    const ssize_t count = ::send(entry->fd, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL | MSG_DONTWAIT);
    if (count < 0)
        return FailErrno();
    return static_cast<int>(count);
}

int PosixSocketApi::CloseSocket(Socket s)
{
    const auto it = m_sockets.find(s);
    if (it == m_sockets.end())
        return Fail(WsaNotSocket);
    // Notifiers must go before their descriptor does.
    it->second.readable.reset();
    it->second.writable.reset();
    ::close(it->second.fd); // Linux releases the descriptor even when close reports an error
    m_sockets.erase(it);
    return 0;
}

int PosixSocketApi::GetSockName(Socket s, SockAddrIn& address)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return Fail(WsaNotSocket);
    sockaddr_in local {};
    socklen_t length = sizeof local;
    if (::getsockname(entry->fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return FailErrno();
    address.family = AfInet;
    address.port = local.sin_port;
    address.address = local.sin_addr.s_addr;
    return 0;
}

PosixSocketApi::Entry* PosixSocketApi::Find(Socket s)
{
    const auto it = m_sockets.find(s);
    return it == m_sockets.end() ? nullptr : &it->second;
}

int PosixSocketApi::Fail(int wsaError)
{
    m_lastError = wsaError;
    return SocketError;
}

int PosixSocketApi::FailErrno()
{
    return Fail(WsaErrorFromErrno(errno));
}

void PosixSocketApi::Post(Entry& entry, Socket s, long event, int error)
{
    if (entry.window != nullptr && (entry.events & event) != 0)
        QCoreApplication::postEvent(entry.window,
                                    new SocketMessageEvent(entry.message, s, MakeSelectReply(event, error)));
}

void PosixSocketApi::UpdateNotifiers(Entry& entry)
{
    entry.writable->setEnabled(entry.connecting);
    entry.readable->setEnabled(entry.connected && !entry.readSignalled && !entry.closeSignalled
                               && (entry.events & (FdRead | FdClose)) != 0);
}

void PosixSocketApi::OnReadable(Socket s)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return;
    char probe = 0;
    const ssize_t count = ::recv(entry->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    const int error = errno;
    if (count > 0) {
        // Without FdRead selected nothing is posted, but the notifier still rests until a Recv,
        // so that waiting data cannot keep it firing.
        entry->readSignalled = true;
        Post(*entry, s, FdRead, 0);
    } else if (count == 0) {
        entry->closeSignalled = true;
        Post(*entry, s, FdClose, 0);
    } else if (error != EAGAIN && error != EWOULDBLOCK && error != EINTR) {
        entry->closeSignalled = true;
        Post(*entry, s, FdClose, WsaErrorFromErrno(error));
    }
    UpdateNotifiers(*entry);
}

void PosixSocketApi::OnWritable(Socket s)
{
    Entry* entry = Find(s);
    if (entry == nullptr)
        return;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(entry->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    entry->connecting = false;
    entry->connected = error == 0;
    Post(*entry, s, FdConnect, error == 0 ? 0 : WsaErrorFromErrno(error));
    UpdateNotifiers(*entry);
}
