#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>

// An IPv4 address and a port, both in host byte order.
struct DatagramPeer
{
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    bool operator==(const DatagramPeer&) const = default;
};

// One datagram as it arrived: its bytes, its sender and the local address it was sent to.
struct Datagram
{
    QByteArray data;
    DatagramPeer from;
    std::uint32_t to = 0;
};

// UDP over IPv4 and the name look-up in front of it, for a client that sends a request and waits
// for the answer on the user-interface thread. No call blocks that thread. Failures are WSA codes,
// as the TCP client reports them (10004–10093 for sockets, 11001–11004 for look-ups).
class DatagramApi
{
public:
    using LookUpDone = std::function<void(std::optional<std::uint32_t> address, int error)>;

    virtual ~DatagramApi() = default;

    // Looks up `host`, a name or a dotted address. `done` runs later on this thread, with the
    // host's first IPv4 address, or with nothing and 11001 (unknown name), 11002 (temporary
    // failure), 11003 (resolver failure) or 11004 (no IPv4 record). Returns the look-up's number.
    virtual int LookUp(const QByteArray& host, LookUpDone done) = 0;
    // `done` of that look-up never runs after this. Harmless for a finished one.
    virtual void CancelLookUp(int lookUp) = 0;

    // A new socket on an address of the system's choice; `readable` runs on this thread each time
    // datagrams wait for ReceiveFrom. Its number, or -1 with the WSA code in `error`.
    virtual int Open(std::function<void()> readable, int& error) = 0;
    // Sends `data` to `peer` in one datagram. 0, or a WSA code.
    virtual int SendTo(int socket, const QByteArray& data, const DatagramPeer& peer) = 0;
    // The next waiting datagram, whoever sent it; nothing when none waits.
    virtual std::optional<Datagram> ReceiveFrom(int socket) = 0;
    virtual void Close(int socket) = 0;
};
