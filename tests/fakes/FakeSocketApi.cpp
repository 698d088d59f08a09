#include "tests/fakes/FakeSocketApi.h"

#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

using namespace winsock;

namespace {

QString Dotted(std::uint32_t networkOrder)
{
    in_addr address {};
    address.s_addr = networkOrder;
    return QString::fromLatin1(inet_ntoa(address));
}

} // namespace

FakeSocketApi::FakeSocketApi() = default;

long FakeSocketApi::SelectedEvents(Socket s) const
{
    const auto it = m_targets.find(s);
    return it == m_targets.end() ? 0 : it->second.events;
}

bool FakeSocketApi::Post(Socket s, long event, int error)
{
    const auto it = m_targets.find(s);
    if (it == m_targets.end() || it->second.window == nullptr)
        return false;
    QCoreApplication::postEvent(it->second.window,
                                new SocketMessageEvent(it->second.message, s, MakeSelectReply(event, error)));
    return true;
}

bool FakeSocketApi::Deliver(Socket s, long event, int error)
{
    if (!Post(s, event, error))
        return false;
    QCoreApplication::sendPostedEvents(nullptr, SocketMessageEvent::Type());
    return true;
}

int FakeSocketApi::Startup(std::uint16_t version, WsaData& data)
{
    m_calls << QStringLiteral("startup %1").arg(version, 4, 16, QLatin1Char('0'));
    if (startupResult != 0)
        return m_lastError = startupResult;
    ++m_startups;
    data.version = version;
    data.description = QStringLiteral("fake");
    data.systemStatus = QStringLiteral("Running");
    return 0;
}

int FakeSocketApi::Cleanup()
{
    m_calls << QStringLiteral("cleanup");
    if (cleanupError != 0)
        return Fail(cleanupError);
    --m_startups;
    return 0;
}

std::optional<QByteArray> FakeSocketApi::GetProtoByNumber(int number)
{
    m_calls << QStringLiteral("getprotobynumber %1").arg(number);
    const auto it = protocols.find(number);
    if (it == protocols.end()) {
        Fail(11004);
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::uint16_t> FakeSocketApi::GetServByName(const QByteArray& name, const QByteArray& protocol)
{
    m_calls << QStringLiteral("getservbyname %1 %2").arg(QString::fromLatin1(name), QString::fromLatin1(protocol));
    const auto it = services.find(name);
    if (it == services.end()) {
        Fail(11004);
        return std::nullopt;
    }
    return qToBigEndian(it->second);
}

std::uint32_t FakeSocketApi::InetAddr(const QByteArray& text)
{
    in_addr address {};
    if (text.contains('\0') || inet_aton(text.constData(), &address) == 0)
        return InaddrNone;
    return address.s_addr;
}

std::optional<std::vector<std::uint32_t>> FakeSocketApi::GetHostByName(const QByteArray& name)
{
    m_calls << QStringLiteral("gethostbyname %1").arg(QString::fromLatin1(name));
    const auto it = hosts.find(name);
    if (it == hosts.end()) {
        const auto error = hostErrors.find(name);
        Fail(error == hostErrors.end() ? 11001 : error->second);
        return std::nullopt;
    }
    return std::vector<std::uint32_t> { inet_addr(it->second.constData()) };
}

std::optional<QByteArray> FakeSocketApi::GetHostName()
{
    m_calls << QStringLiteral("gethostname");
    if (!hostName)
        Fail(hostNameError);
    return hostName;
}

std::uint32_t FakeSocketApi::AsyncGetHostByName(QObject* window, const QByteArray& name)
{
    const auto addresses = GetHostByName(name);
    QCoreApplication::postEvent(window,
                                new HostLookupEvent(++m_lastRequest, addresses.value_or(std::vector<std::uint32_t> {}),
                                                    addresses ? 0 : m_lastError));
    return m_lastRequest;
}

Socket FakeSocketApi::CreateSocket(int family, int type, int protocol)
{
    m_calls << QStringLiteral("socket %1 %2 %3").arg(family).arg(type).arg(protocol);
    if (socketError != 0) {
        Fail(socketError);
        return InvalidSocket;
    }
    m_sockets.insert(m_nextHandle);
    return m_nextHandle++;
}

int FakeSocketApi::AsyncSelect(Socket s, QObject* window, unsigned message, long events)
{
    m_calls << QStringLiteral("select %1 %2").arg(s).arg(events);
    if (!Known(s))
        return SocketError;
    const auto error = selectErrors.find(events);
    if (error != selectErrors.end())
        return Fail(error->second);
    m_targets[s] = Target { window, message, events };
    return 0;
}

int FakeSocketApi::SetOobInline(Socket s, bool on)
{
    m_calls << QStringLiteral("oobinline %1 %2").arg(s).arg(on ? 1 : 0);
    if (!Known(s))
        return SocketError;
    return oobError != 0 ? Fail(oobError) : 0;
}

int FakeSocketApi::Connect(Socket s, const SockAddrIn& address)
{
    m_calls << QStringLiteral("connect %1 %2:%3").arg(s).arg(Dotted(address.address)).arg(qFromBigEndian(address.port));
    if (!Known(s))
        return SocketError;
    return connectError != 0 ? Fail(connectError) : 0;
}

int FakeSocketApi::Shutdown(Socket s, int how)
{
    m_calls << QStringLiteral("shutdown %1 %2").arg(s).arg(how);
    if (!Known(s))
        return SocketError;
    return shutdownError != 0 ? Fail(shutdownError) : 0;
}

int FakeSocketApi::Recv(Socket s, char* buffer, int length, int flags)
{
    m_calls << QStringLiteral("recv %1 %2%3")
                   .arg(s)
                   .arg(length)
                   .arg(flags != 0 ? QStringLiteral(" %1").arg(flags) : QString());
    if (!Known(s))
        return SocketError;
    if (recvSteps.empty())
        return Fail(WSAEWOULDBLOCK);
    Step& step = recvSteps.front();
    if (step.error != 0) {
        const int error = step.error;
        recvSteps.pop_front();
        return Fail(error);
    }
    const int count = std::min(length, static_cast<int>(step.data.size()));
    std::memcpy(buffer, step.data.constData(), static_cast<size_t>(count));
    step.data.remove(0, count);
    if (step.data.isEmpty())
        recvSteps.pop_front();
    return count;
}

int FakeSocketApi::Send(Socket s, const char* data, int length, int flags)
{
    m_calls << QStringLiteral("send %1 %2%3")
                   .arg(s)
                   .arg(QString::fromLatin1(data, length))
                   .arg(flags != 0 ? QStringLiteral(" %1").arg(flags) : QString());
    if (!Known(s))
        return SocketError;
    if (sendSteps.empty())
        return length;
    const Step step = sendSteps.front();
    sendSteps.pop_front();
    if (step.error != 0)
        return Fail(step.error);
    return std::min(length, step.count);
}

int FakeSocketApi::CloseSocket(Socket s)
{
    m_calls << QStringLiteral("close %1").arg(s);
    if (!Known(s))
        return SocketError;
    if (!closeErrors.empty()) {
        const int error = closeErrors.front();
        closeErrors.pop_front();
        if (error != 0)
            return Fail(error);
    }
    m_sockets.erase(s);
    return 0;
}

int FakeSocketApi::GetSockName(Socket s, SockAddrIn& address)
{
    m_calls << QStringLiteral("getsockname %1").arg(s);
    if (!Known(s))
        return SocketError;
    address.address = inet_addr(localAddress.constData());
    return 0;
}

int FakeSocketApi::Fail(int error)
{
    m_lastError = error;
    return SocketError;
}

bool FakeSocketApi::Known(Socket s)
{
    if (m_sockets.count(s) != 0)
        return true;
    Fail(10038);
    return false;
}
