#pragma once

#include "platform/SocketApi.h"

#include <QPointer>

#include <map>
#include <memory>

class BackgroundLookUp;
class QSocketNotifier;

// Winsock on non-blocking POSIX sockets. Handles are numbers of our own, not descriptors, so a
// closed socket's handle is not handed out again soon and its late notifications cannot be taken
// for a new socket's. Readiness comes from QSocketNotifier on the thread that created the object.
class PosixSocketApi final : public SocketApi
{
public:
    PosixSocketApi();
    ~PosixSocketApi() override;
    PosixSocketApi(const PosixSocketApi&) = delete;
    PosixSocketApi& operator=(const PosixSocketApi&) = delete;

    // The WSA code for an errno value, and for a getaddrinfo result.
    static int WsaErrorFromErrno(int error);
    static int WsaErrorFromResolver(int gaiError, int error);

    int Startup(std::uint16_t version, winsock::WsaData& data) override;
    int Cleanup() override;
    int LastError() const override { return m_lastError; }

    std::optional<QByteArray> GetProtoByNumber(int number) override;
    std::optional<std::uint16_t> GetServByName(const QByteArray& name, const QByteArray& protocol) override;
    std::uint32_t InetAddr(const QByteArray& text) override;
    std::optional<std::vector<std::uint32_t>> GetHostByName(const QByteArray& name) override;
    std::optional<QByteArray> GetHostName() override;
    // Each look-up runs on a thread of its own.
    std::uint32_t AsyncGetHostByName(QObject* window, const QByteArray& name) override;
    void CancelAsyncRequest(std::uint32_t request) override;

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
    struct Entry
    {
        int fd = -1;
        QPointer<QObject> window;
        unsigned message = 0;
        long events = 0;
        bool connecting = false;
        bool connected = false;
        bool readSignalled = false; // FdRead posted, waiting for a Recv
        bool closeSignalled = false;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;
    };

    Entry* Find(winsock::Socket s);
    int Fail(int wsaError);
    int FailErrno();
    void Post(Entry& entry, winsock::Socket s, long event, int error);
    void UpdateNotifiers(Entry& entry);
    void OnReadable(winsock::Socket s);
    void OnWritable(winsock::Socket s);

    std::map<winsock::Socket, Entry> m_sockets;
    // The look-ups that may still be answered.
    std::map<std::uint32_t, std::shared_ptr<BackgroundLookUp>> m_lookups;
    std::uint32_t m_lastRequest = 0;
    winsock::Socket m_nextHandle = 1;
    int m_startups = 0;
    int m_lastError = 0;
};
