#pragma once

#include "base/Errors.h"
#include "platform/SocketApi.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

enum TSocketState : std::uint8_t
{
    ssNoWinsock = 0,
    ssIdle = 1,
    ssConnected = 2,
    ssConnecting = 4,
};

// The window message that carries socket notifications (WM_USER + 1).
inline constexpr unsigned SocketMessage = 0x0400 + 1;

class TCustomWSocket;

using TOnError = std::function<void(TCustomWSocket* Sender, int Error, const QString& Msg)>;
using TOnData = std::function<void(TCustomWSocket* Sender, int Socket)>;
using TOnConnect = std::function<void(TCustomWSocket* Sender, int Socket)>;
using TOnClose = std::function<void(TCustomWSocket* Sender, int Socket)>;

// A socket on Winsock 1.1 that reports every failure as a code with its fixed text.
class TCustomWSocket
{
public:
    // Starts Winsock; when that fails the component stays in ssNoWinsock for its whole life.
    // `errorHandler` receives exceptions that event handlers throw while the event loop runs them.
    TCustomWSocket(SocketApi& api, ErrorHandler errorHandler);
    virtual ~TCustomWSocket();
    TCustomWSocket(const TCustomWSocket&) = delete;
    TCustomWSocket& operator=(const TCustomWSocket&) = delete;

    TSocketState State() const { return m_state; }
    int LastError() const { return m_lastError; }
    int ProtocolNumber() const { return m_protocolNumber; }
    int SocketType() const { return m_socketType; }
    const winsock::WsaData& StartupInfo() const { return m_startupInfo; }

    // This computer's IPv4 address by its host name, dotted; empty on failure.
    QString LocalAddress();
    // The message for LastError().
    QString ErrorText() const;

    TOnError OnError;

protected:
    void ReportError(int Code);
    void SendText(winsock::Socket socket, const QString& Text, int Flags);
    void SendBuffer(winsock::Socket socket, const QByteArray& Data, int Flags);
    QString ReceiveText(winsock::Socket socket, int Flags);
    int ReceiveBuffer(winsock::Socket socket, char* Buffer, int Size, int Flags);

    // Runs `call` so that no exception leaves it: they go to the error handler.
    void Guarded(const std::function<void()>& call) noexcept;

    SocketApi& m_api;
    int m_protocolNumber = 0;
    int m_socketType = winsock::SockRaw;
    std::array<char, 1024> m_receiveArea {};
    winsock::Socket m_socket = winsock::InvalidSocket;
    TSocketState m_state = ssNoWinsock;
    int m_lastError = 0;

private:
    ErrorHandler m_errorHandler;
    winsock::WsaData m_startupInfo;
};

// An event-driven TCP client: Open connects without blocking, the name look-up included, and
// the outcome, incoming data and the peer's close arrive as events on the user-interface thread.
class TTCPClient final : public TCustomWSocket
{
public:
    TTCPClient(SocketApi& api, ErrorHandler errorHandler);
    ~TTCPClient() override;

    const QString& Host() const { return m_host; }
    void SetHost(const QString& value) { m_host = value; }
    const QString& Port() const { return m_port; }
    void SetPort(const QString& value) { m_port = value; }

    // Starts a connection to Host:Port when idle; does nothing otherwise. Throws EConvertError
    // when Port is neither a service name nor a decimal number. A host name is looked up without
    // blocking, the client connecting meanwhile; a name that does not resolve is reported then,
    // the client idle again.
    void Open();
    // Graceful disconnect, which also gives up a look-up under way; harmless in any state.
    void Close();
    // Sends Text encoded as UTF-8, the encoding the settings keep it in.
    void SendText(const QString& Text);
    // Sends the bytes as they are, by the rules of SendText.
    void SendBuffer(const QByteArray& Data);
    // One read of at most 1024 bytes; empty when nothing waits.
    QString ReceiveText();
    // One read of at most Size bytes; the count, 0 on any failure.
    int ReceiveBuffer(char* Buffer, int Size);
    // The dotted local IPv4 address of the current connection; empty when there is none.
    QString ConnectionLocalAddress();

    TOnData OnData;
    TOnConnect OnConnect;
    TOnClose OnClose;

private:
    class NotifyWindow;

    // The service's port, and the host's address when it is dotted (else InaddrNone). False when
    // the protocol is unknown (reported).
    bool ResolveAddress(const QString& host, const QString& port, winsock::SockAddrIn& address);
    void HostFound(const HostLookupEvent& answer);
    // Opens the socket and starts connecting to address.
    void Connect(const winsock::SockAddrIn& address);
    void ShutdownSocket(winsock::Socket& handle);
    void CloseFailedSocket(winsock::Socket socket);
    void HandleSocketMessage(winsock::Socket wParam, std::uint32_t lParam);

    std::unique_ptr<NotifyWindow> m_notifyWindow;
    QString m_host;
    QString m_port;
    // The look-up under way (0: none), and the address it completes.
    std::uint32_t m_lookup = 0;
    winsock::SockAddrIn m_lookupAddress;
};
