#include "net/WSockets.h"

#include "net/WinsockErrors.h"

#include <QObject>
#include <QtEndian>

#include <utility>

using namespace winsock;

namespace {

constexpr std::uint16_t WinsockVersion = 0x0101;
constexpr int TcpProtocol = 6;
constexpr int ReceiveAreaSize = 1024;
constexpr int MaxWouldBlock = 100;
// A peer that keeps sending must not hold the close up for ever; what is left is discarded
// with the socket.
constexpr int MaxDrainReads = 1024;

QString DottedAddress(std::uint32_t networkOrder)
{
    const std::uint32_t value = qFromBigEndian(networkOrder);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xFFu)
        .arg((value >> 8) & 0xFFu)
        .arg(value & 0xFFu);
}

// The toolkit's integer conversion: decimal, optional sign, nothing else.
int StrToInt(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    return value;
}

} // namespace

TCustomWSocket::TCustomWSocket(SocketApi& api, ErrorHandler errorHandler)
    : m_api(api)
    , m_errorHandler(std::move(errorHandler))
{
    m_lastError = m_api.Startup(WinsockVersion, m_startupInfo);
    if (m_lastError != 0) {
        ReportError(m_lastError);
        return;
    }
    m_state = ssIdle;
}

TCustomWSocket::~TCustomWSocket()
{
    if (m_socket != InvalidSocket)
        m_api.CloseSocket(m_socket);
    if (m_state != ssNoWinsock && m_api.Cleanup() == SocketError)
        Guarded([this] { ReportError(m_api.LastError()); });
}

QString TCustomWSocket::LocalAddress()
{
    const auto name = m_api.GetHostName();
    if (!name) {
        ReportError(m_api.LastError());
        return {};
    }
    const auto addresses = m_api.GetHostByName(*name);
    if (!addresses || addresses->empty())
        return {};
    return DottedAddress(addresses->front());
}

QString TCustomWSocket::ErrorText() const
{
    return WinsockErrorText(m_lastError);
}

void TCustomWSocket::ReportError(int Code)
{
    m_lastError = Code;
    if (OnError)
        OnError(this, Code, ErrorText());
}

void TCustomWSocket::SendText(Socket socket, const QString& Text, int Flags)
{
    SendBuffer(socket, Text.toUtf8(), Flags);
}

void TCustomWSocket::SendBuffer(Socket socket, const QByteArray& bytes, int Flags)
{
    if (bytes.isEmpty())
        return;
    int sent = 0;
    int wouldBlock = 0;
    // Retried at once instead of waiting for room: a short text fits the send buffer, and past
    // the limit the rest is dropped without a report.
    while (sent < bytes.size() && wouldBlock <= MaxWouldBlock) {
        const int count = m_api.Send(socket, bytes.constData() + sent, static_cast<int>(bytes.size()) - sent, Flags);
        if (count == SocketError) {
            ++wouldBlock;
            const int error = m_api.LastError();
            if (error != WSAEWOULDBLOCK) {
                ReportError(error);
                return;
            }
        } else if (count == 0) {
            ++wouldBlock; // no progress counts as blocked, so the loop stays bounded
        } else {
            sent += count;
        }
    }
}

QString TCustomWSocket::ReceiveText(Socket socket, int Flags)
{
    const int count = m_api.Recv(socket, m_receiveArea.data(), ReceiveAreaSize, Flags);
    if (count == SocketError) {
        const int error = m_api.LastError();
        if (error != WSAEWOULDBLOCK)
            ReportError(error);
        return {};
    }
    return QString::fromLatin1(m_receiveArea.data(), count);
}

int TCustomWSocket::ReceiveBuffer(Socket socket, char* Buffer, int Size, int Flags)
{
    const int count = m_api.Recv(socket, Buffer, Size, Flags);
    if (count == SocketError) {
        const int error = m_api.LastError();
        if (error != WSAEWOULDBLOCK)
            ReportError(error);
        return 0;
    }
    return count;
}

void TCustomWSocket::Guarded(const std::function<void()>& call) noexcept
{
    RunGuarded(call, m_errorHandler);
}

// The hidden window: a QObject that receives the posted socket messages.
class TTCPClient::NotifyWindow final : public QObject
{
public:
    explicit NotifyWindow(TTCPClient& client)
        : m_client(client)
    { }

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == HostLookupEvent::Type()) {
            const auto* answer = static_cast<const HostLookupEvent*>(event);
            m_client.Guarded([this, answer] { m_client.HostFound(*answer); });
            return true;
        }
        if (event->type() != SocketMessageEvent::Type())
            return QObject::event(event);
        const auto* message = static_cast<const SocketMessageEvent*>(event);
        if (message->Message() != SocketMessage)
            return QObject::event(event);
        m_client.Guarded([this, message] { m_client.HandleSocketMessage(message->WParam(), message->LParam()); });
        return true;
    }

private:
    TTCPClient& m_client;
};

TTCPClient::TTCPClient(SocketApi& api, ErrorHandler errorHandler)
    : TCustomWSocket(api, std::move(errorHandler))
    , m_notifyWindow(std::make_unique<NotifyWindow>(*this))
{
    m_protocolNumber = TcpProtocol;
    m_socketType = SockStream;
}

TTCPClient::~TTCPClient()
{
    Guarded([this] { Close(); });
    // Messages still queued for the window are discarded with it.
    m_notifyWindow.reset();
}

void TTCPClient::Open()
{
    if (m_state != ssIdle)
        return;
    SockAddrIn address;
    if (!ResolveAddress(m_host, m_port, address))
        return;
    if (address.address != InaddrNone) {
        Connect(address);
        return;
    }
    // A name: the resolver may take its whole time-out, which the user must not sit through.
    // The connection goes on when the answer arrives; until then the client counts as connecting.
    m_lookup = m_api.AsyncGetHostByName(m_notifyWindow.get(), m_host.toLatin1());
    if (m_lookup == 0) {
        ReportError(m_api.LastError());
        return;
    }
    m_lookupAddress = address;
    m_state = ssConnecting;
}

void TTCPClient::HostFound(const HostLookupEvent& answer)
{
    // The answer to a look-up that Close has given up.
    if (answer.Request() != m_lookup)
        return;
    m_lookup = 0;
    m_state = ssIdle;
    if (answer.Addresses().empty()) {
        ReportError(answer.Error());
        return;
    }
    m_lookupAddress.address = answer.Addresses().front();
    Connect(m_lookupAddress);
}

void TTCPClient::Connect(const SockAddrIn& address)
{
    const Socket socket = m_api.CreateSocket(AfInet, m_socketType, 0);
    if (socket == InvalidSocket) {
        ReportError(m_api.LastError());
        return;
    }
    m_socket = socket;
    if (m_api.AsyncSelect(socket, m_notifyWindow.get(), SocketMessage, FdRead | FdConnect | FdClose) == SocketError
        || m_api.SetOobInline(socket, true) == SocketError
        || (m_api.Connect(socket, address) == SocketError && m_api.LastError() != WSAEWOULDBLOCK)) {
        const int error = m_api.LastError();
        try {
            ReportError(error);
        } catch (...) {
            CloseFailedSocket(socket);
            throw;
        }
        CloseFailedSocket(socket);
        return;
    }
    m_state = ssConnecting;
}

void TTCPClient::Close()
{
    if (m_state == ssNoWinsock || m_state == ssIdle)
        return;
    if (m_lookup != 0) {
        m_api.CancelAsyncRequest(m_lookup);
        m_lookup = 0;
    }
    ShutdownSocket(m_socket);
    if (m_socket == InvalidSocket)
        m_state = ssIdle;
}

void TTCPClient::SendText(const QString& Text)
{
    TCustomWSocket::SendText(m_socket, Text, 0);
}

void TTCPClient::SendBuffer(const QByteArray& Data)
{
    TCustomWSocket::SendBuffer(m_socket, Data, 0);
}

QString TTCPClient::ReceiveText()
{
    return TCustomWSocket::ReceiveText(m_socket, 0);
}

int TTCPClient::ReceiveBuffer(char* Buffer, int Size)
{
    return TCustomWSocket::ReceiveBuffer(m_socket, Buffer, Size, 0);
}

QString TTCPClient::ConnectionLocalAddress()
{
    SockAddrIn local;
    if (m_socket == InvalidSocket || m_api.GetSockName(m_socket, local) == SocketError || local.address == 0)
        return {};
    return DottedAddress(local.address);
}

bool TTCPClient::ResolveAddress(const QString& host, const QString& port, SockAddrIn& address)
{
    address.family = AfInet;
    const auto protocol = m_api.GetProtoByNumber(m_protocolNumber);
    if (!protocol) {
        ReportError(m_api.LastError());
        return false;
    }
    const auto service = m_api.GetServByName(port.toLatin1(), *protocol);
    // Like htons of a 16-bit value: a larger number keeps its low 16 bits.
    address.port = service ? *service : qToBigEndian(static_cast<std::uint16_t>(StrToInt(port)));
    address.address = m_api.InetAddr(host.toLatin1());
    return true;
}

void TTCPClient::ShutdownSocket(Socket& handle)
{
    if (handle == InvalidSocket)
        return;
    if (m_api.AsyncSelect(handle, m_notifyWindow.get(), SocketMessage, 0) == SocketError) {
        ReportError(m_api.LastError());
        return;
    }
    if (m_api.Shutdown(handle, SdSend) == SocketError && m_api.LastError() != WSAENOTCONN) {
        ReportError(m_api.LastError());
        return;
    }
    for (int reads = 0; reads < MaxDrainReads; ++reads) {
        const int count = m_api.Recv(handle, m_receiveArea.data(), ReceiveAreaSize, 0);
        if (count == 0 || count == SocketError)
            break;
    }
    if (m_api.CloseSocket(handle) == SocketError) {
        ReportError(m_api.LastError());
        return;
    }
    handle = InvalidSocket;
}

void TTCPClient::CloseFailedSocket(Socket socket)
{
    m_api.CloseSocket(socket);
    if (m_socket == socket)
        m_socket = InvalidSocket;
}

void TTCPClient::HandleSocketMessage(Socket wParam, std::uint32_t lParam)
{
    // Late notifications of a closed socket, also of one closed before the current Open.
    if (m_state == ssIdle || wParam != m_socket)
        return;
    const long event = SelectEvent(lParam);
    const int error = SelectError(lParam);
    const int socket = static_cast<int>(wParam);
    switch (event) {
    case FdRead:
        if (error != 0)
            ReportError(error);
        else if (OnData)
            OnData(this, socket);
        break;
    case FdConnect:
        if (error != 0) {
            ReportError(error); // stays connecting until the owner closes
            break;
        }
        if (m_api.AsyncSelect(m_socket, m_notifyWindow.get(), SocketMessage, FdRead | FdClose) == SocketError) {
            ReportError(m_api.LastError());
            break;
        }
        if (OnConnect)
            OnConnect(this, socket);
        // OnConnect may have closed the connection (and even opened another).
        if (m_state == ssConnecting && m_socket == wParam)
            m_state = ssConnected;
        break;
    case FdClose:
        if (error == WSAENETDOWN) {
            ReportError(error);
            break;
        }
        if (OnClose)
            OnClose(this, socket);
        if (m_socket == wParam)
            Close();
        break;
    default:
        if (error != 0)
            ReportError(error);
        break;
    }
}
