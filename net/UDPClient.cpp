#include "net/UDPClient.h"

#include "net/WinsockErrors.h"

#include <utility>

namespace {

// Datagrams read in one notification at most; more wait for the next one.
constexpr int MaxReadsPerNotification = 16;

} // namespace

TUDPClient::TUDPClient(DatagramApi& api, ErrorHandler errorHandler)
    : m_api(api)
    , m_errorHandler(std::move(errorHandler))
{ }

TUDPClient::~TUDPClient()
{
    Close();
}

void TUDPClient::Open(const QString& host, std::uint16_t port)
{
    if (m_active)
        return;
    m_active = true;
    m_server = { 0, port };
    m_lookUp = m_api.LookUp(host.toLatin1(), [this](std::optional<std::uint32_t> address, int error) {
        m_lookUp = 0;
        Guarded([&] { LookedUp(address, error); });
    });
}

void TUDPClient::Close()
{
    if (m_lookUp != 0)
        m_api.CancelLookUp(m_lookUp);
    if (m_socket >= 0)
        m_api.Close(m_socket);
    m_lookUp = 0;
    m_socket = -1;
    m_active = false;
}

void TUDPClient::Send(const QByteArray& data)
{
    if (m_socket < 0)
        return;
    const int error = m_api.SendTo(m_socket, data, m_server);
    if (error != 0)
        ReportError(error);
}

void TUDPClient::LookedUp(std::optional<std::uint32_t> address, int error)
{
    if (!address) {
        ReportError(error);
        return;
    }
    m_server.address = *address;
    m_socket = m_api.Open([this] { Guarded([this] { Readable(); }); }, error);
    if (m_socket < 0) {
        ReportError(error);
        return;
    }
    if (OnConnect)
        OnConnect();
}

void TUDPClient::Readable()
{
    const int socket = m_socket;
    for (int reads = 0; reads < MaxReadsPerNotification && m_socket == socket; ++reads) {
        const std::optional<Datagram> datagram = m_api.ReceiveFrom(socket);
        if (!datagram)
            return;
        if (OnData)
            OnData(*datagram);
    }
}

void TUDPClient::ReportError(int error)
{
    if (OnError)
        OnError(error, WinsockErrorText(error));
}

void TUDPClient::Guarded(const std::function<void()>& call) noexcept
{
    RunGuarded(call, m_errorHandler);
}
