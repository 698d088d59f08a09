#include "platform/linux/sockets/PosixDatagramApi.h"

#include "platform/linux/sockets/PosixSocketApi.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int WsaNoData = 11004;
constexpr int WsaResolverFailure = 11003;
// Larger than any NTP message with extension fields; a longer datagram arrives cut short.
constexpr std::size_t ReceiveSize = 2048;

struct Resolved
{
    std::optional<std::uint32_t> address;
    int error = 0;
};

Resolved Resolve(const QByteArray& host)
{
    if (host.contains('\0'))
        return { std::nullopt, 11001 };
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    const int result = ::getaddrinfo(host.constData(), nullptr, &hints, &list);
    if (result != 0)
        return { std::nullopt, PosixSocketApi::WsaErrorFromResolver(result, errno) };
    Resolved resolved { std::nullopt, WsaNoData };
    for (const addrinfo* item = list; item != nullptr && !resolved.address; item = item->ai_next) {
        if (item->ai_family != AF_INET)
            continue;
        sockaddr_in address {};
        std::memcpy(&address, item->ai_addr, sizeof address);
        resolved = { ntohl(address.sin_addr.s_addr), 0 };
    }
    ::freeaddrinfo(list);
    return resolved;
}

} // namespace

// What a look-up's thread shares with the binding: where to post the answer, or nowhere once
// the binding has gone or no longer wants it.
struct PosixDatagramApi::Answer
{
    std::mutex lock;
    QObject* receiver = nullptr;
};

struct PosixDatagramApi::PendingLookUp
{
    std::shared_ptr<Answer> answer;
    LookUpDone done;
};

PosixDatagramApi::PosixDatagramApi() = default;

PosixDatagramApi::~PosixDatagramApi()
{
    for (auto& [id, pending] : m_lookUps) {
        const std::lock_guard guard(pending.answer->lock);
        pending.answer->receiver = nullptr;
    }
    for (auto& [fd, notifier] : m_sockets) {
        notifier.reset();
        ::close(fd);
    }
}

int PosixDatagramApi::LookUp(const QByteArray& host, LookUpDone done)
{
    const int id = m_nextLookUp++;
    auto answer = std::make_shared<Answer>();
    answer->receiver = &m_receiver;
    m_lookUps[id] = { answer, std::move(done) };
    try {
        std::thread([this, id, host, answer] {
            const Resolved resolved = Resolve(host);
            const std::lock_guard guard(answer->lock);
            if (answer->receiver)
                QMetaObject::invokeMethod(
                    answer->receiver, [this, id, resolved] { Deliver(id, resolved.address, resolved.error); },
                    Qt::QueuedConnection);
        }).detach();
    } catch (const std::system_error&) {
        QMetaObject::invokeMethod(
            &m_receiver, [this, id] { Deliver(id, std::nullopt, WsaResolverFailure); }, Qt::QueuedConnection);
    }
    return id;
}

void PosixDatagramApi::CancelLookUp(int lookUp)
{
    const auto pending = m_lookUps.find(lookUp);
    if (pending == m_lookUps.end())
        return;
    {
        const std::lock_guard guard(pending->second.answer->lock);
        pending->second.answer->receiver = nullptr;
    }
    m_lookUps.erase(pending);
}

void PosixDatagramApi::Deliver(int lookUp, std::optional<std::uint32_t> address, int error)
{
    const auto pending = m_lookUps.find(lookUp);
    if (pending == m_lookUps.end())
        return;
    const LookUpDone done = std::move(pending->second.done);
    m_lookUps.erase(pending);
    done(address, error);
}

int PosixDatagramApi::Open(std::function<void()> readable, int& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = PosixSocketApi::WsaErrorFromErrno(errno);
        return -1;
    }
    // The reply's destination is this computer's address on the path to the server.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &m_receiver, [readable] { readable(); });
    m_sockets[fd] = std::move(notifier);
    return fd;
}

int PosixDatagramApi::SendTo(int socket, const QByteArray& data, const DatagramPeer& peer)
{
    if (m_sockets.count(socket) == 0)
        return 10038;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(peer.port);
    address.sin_addr.s_addr = htonl(peer.address);
    const ssize_t sent = ::sendto(socket, data.constData(), static_cast<std::size_t>(data.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent < 0 ? PosixSocketApi::WsaErrorFromErrno(errno) : 0;
}

std::optional<Datagram> PosixDatagramApi::ReceiveFrom(int socket)
{
    if (m_sockets.count(socket) == 0)
        return std::nullopt;
    std::array<char, ReceiveSize> buffer {};
    iovec part { buffer.data(), buffer.size() };
    sockaddr_in from {};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control {};
    msghdr message {};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const ssize_t count = ::recvmsg(socket, &message, MSG_DONTWAIT);
    if (count < 0)
        return std::nullopt;
    Datagram datagram { QByteArray(buffer.data(), static_cast<qsizetype>(count)),
                        { ntohl(from.sin_addr.s_addr), ntohs(from.sin_port) },
                        0 };
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_PKTINFO) {
            in_pktinfo info {};
            std::memcpy(&info, CMSG_DATA(item), sizeof info);
            datagram.to = ntohl(info.ipi_addr.s_addr);
        }
    }
    return datagram;
}

void PosixDatagramApi::Close(int socket)
{
    const auto entry = m_sockets.find(socket);
    if (entry == m_sockets.end())
        return;
    // Closing may happen inside the notifier's own signal: it goes once that has returned.
    entry->second->setEnabled(false);
    entry->second.release()->deleteLater();
    m_sockets.erase(entry);
    ::close(socket);
}
