#pragma once

#include "platform/DatagramApi.h"

#include <QObject>

#include <map>
#include <memory>

class QSocketNotifier;
struct HostAnswer;

// UDP on non-blocking POSIX sockets, readiness from QSocketNotifier. Names are looked up in the
// background, as the TCP sockets' are.
class PosixDatagramApi final : public DatagramApi
{
public:
    PosixDatagramApi();
    ~PosixDatagramApi() override;
    PosixDatagramApi(const PosixDatagramApi&) = delete;
    PosixDatagramApi& operator=(const PosixDatagramApi&) = delete;

    int LookUp(const QByteArray& host, LookUpDone done) override;
    void CancelLookUp(int lookUp) override;
    int Open(std::function<void()> readable, int& error) override;
    int SendTo(int socket, const QByteArray& data, const DatagramPeer& peer) override;
    std::optional<Datagram> ReceiveFrom(int socket) override;
    void Close(int socket) override;

private:
    struct PendingLookUp;

    void Deliver(int lookUp, const HostAnswer& answer);

    // Receives the finished look-ups on this thread, through its event queue.
    QObject m_receiver;
    std::map<int, PendingLookUp> m_lookUps;
    std::map<int, std::unique_ptr<QSocketNotifier>> m_sockets; // by descriptor
    int m_nextLookUp = 1;
};
