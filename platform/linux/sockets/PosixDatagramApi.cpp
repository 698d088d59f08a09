#include "platform/linux/sockets/PosixDatagramApi.h"

#include "platform/linux/sockets/HostLookUp.h"
#include "platform/linux/sockets/PosixSocketApi.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int WsaResolverFailure = 11003;
// Larger than any NTP message with extension fields; a longer datagram arrives cut short.
constexpr std::size_t ReceiveSize = 2048;

} // namespace

struct PosixDatagramApi::PendingLookUp
{
    std::shared_ptr<BackgroundLookUp> lookUp; // none when no thread could be started
    LookUpDone done;
};

PosixDatagramApi::PosixDatagramApi() = default;

PosixDatagramApi::~PosixDatagramApi()
{
    for (auto& [id, pending] : m_lookUps)
        if (pending.lookUp)
            pending.lookUp->Cancel();
    for (auto& [fd, notifier] : m_sockets) {
        notifier.reset();
        ::close(fd);
    }
}

int PosixDatagramApi::LookUp(const QByteArray& host, LookUpDone done)
{
    const int id = m_nextLookUp++;
    QObject* receiver = &m_receiver;
    const auto deliverLater = [this, receiver, id](const HostAnswer& answer) {
        QMetaObject::invokeMethod(
            receiver, [this, id, answer] { Deliver(id, answer); }, Qt::QueuedConnection);
    };
    std::shared_ptr<BackgroundLookUp> lookUp;
    try {
        lookUp = BackgroundLookUp::Start(host, deliverLater);
    } catch (const std::system_error&) {
        deliverLater({ {}, WsaResolverFailure });
    }
    m_lookUps[id] = { std::move(lookUp), std::move(done) };
    return id;
}

void PosixDatagramApi::CancelLookUp(int lookUp)
{
    const auto pending = m_lookUps.find(lookUp);
    if (pending == m_lookUps.end())
        return;
    if (pending->second.lookUp)
        pending->second.lookUp->Cancel();
    m_lookUps.erase(pending);
}

void PosixDatagramApi::Deliver(int lookUp, const HostAnswer& answer)
{
    const auto pending = m_lookUps.find(lookUp);
    if (pending == m_lookUps.end())
        return;
    const LookUpDone done = std::move(pending->second.done);
    m_lookUps.erase(pending);
    if (answer.addresses.empty())
        done(std::nullopt, answer.error);
    else
        done(ntohl(answer.addresses.front()), 0);
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
