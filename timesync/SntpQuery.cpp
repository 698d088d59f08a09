#include "timesync/SntpQuery.h"

#include "timesync/TimeConversion.h"

#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace {

constexpr int PacketSize = 48;
constexpr std::uint8_t ClientRequest = 0 << 6 | 4 << 3 | 3; // no leap warning, version 4, client mode
constexpr int ServerMode = 4;
constexpr int LeapUnsynchronised = 3;
constexpr int ReferenceIdAt = 12;
constexpr int OriginAt = 24;
constexpr int ReceiveAt = 32;
constexpr int TransmitAt = 40;

std::uint64_t Timestamp(const QByteArray& packet, int at)
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | static_cast<std::uint8_t>(packet[at + i]);
    return value;
}

QString Dotted(std::uint32_t address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFFu)
        .arg((address >> 8) & 0xFFu)
        .arg(address & 0xFFu);
}

QString Endpoint(const DatagramPeer& peer)
{
    return QStringLiteral("%1:%2").arg(Dotted(peer.address)).arg(peer.port);
}

// The four characters of a kiss-o'-death, unprintable ones as '?'.
QString KissCode(const QByteArray& packet)
{
    QString code;
    for (int i = ReferenceIdAt; i < ReferenceIdAt + 4; ++i) {
        const char c = packet[i];
        code += c >= 0x20 && c < 0x7F ? QChar::fromLatin1(c) : QChar(u'?');
    }
    return code;
}

// Kiss codes that tell a client to stop asking that server.
bool MeansStop(const QString& code)
{
    return code == u"RATE" || code == u"DENY" || code == u"RSTR";
}

} // namespace

SntpQuery::SntpQuery(DatagramApi& api, const TickSource& ticks, ErrorHandler errorHandler)
    : m_client(api, std::move(errorHandler))
    , m_ticks(ticks)
{
    m_client.OnConnect = [this] { Connected(); };
    m_client.OnData = [this](const Datagram& datagram) { Received(datagram); };
    m_client.OnError = [this](int error, const QString& msg) {
        Close();
        if (OnError)
            OnError(error, msg);
    };
}

void SntpQuery::Ask(const QString& host, std::uint16_t port)
{
    m_client.Open(host, port);
}

void SntpQuery::Close()
{
    m_client.Close();
}

void SntpQuery::Connected()
{
    const DatagramPeer server = m_client.Server();
    const auto silenced = m_silenced.find({ server.address, server.port });
    if (silenced != m_silenced.end()) {
        Close();
        if (OnRefused)
            OnRefused(QStringLiteral("The time server %1 has asked not to be queried again (kiss code %2).\r\n"
                                     "Kronvik leaves it alone until it is started again.")
                          .arg(Endpoint(server), silenced->second));
        return;
    }
    // The transmit time only has to come back as the answer's origin: a random one tells
    // nothing about this computer's clock, which is the one in doubt.
    do
        m_transmit = QRandomGenerator::system()->generate64();
    while (m_transmit == 0);
    QByteArray request(PacketSize, '\0');
    request[0] = static_cast<char>(ClientRequest);
    for (int i = 0; i < 8; ++i)
        request[TransmitAt + i] = static_cast<char>(m_transmit >> (56 - 8 * i));
    m_sentAt = m_ticks.TickCount();
    m_client.Send(request);
}

void SntpQuery::Received(const Datagram& datagram)
{
    const std::uint32_t arrivedAt = m_ticks.TickCount();
    const QString refusal = Refusal(datagram);
    Close();
    if (!refusal.isEmpty()) {
        if (OnRefused)
            OnRefused(QStringLiteral("The time server's answer cannot be used:\r\n\r\n") + refusal);
        return;
    }
    const std::int64_t received = NtpMicroseconds(Timestamp(datagram.data, ReceiveAt));
    const std::int64_t transmitted = NtpMicroseconds(Timestamp(datagram.data, TransmitAt));
    const std::int64_t roundTrip = std::int64_t { arrivedAt - m_sentAt } * 1000;
    const std::int64_t onTheWire = std::max<std::int64_t>(0, roundTrip - (transmitted - received));
    const std::int64_t now = transmitted + onTheWire / 2;
    if (OnTime)
        OnTime((now + 500) / 1000, datagram.to != 0 ? Dotted(datagram.to) : QString());
}

QString SntpQuery::Refusal(const Datagram& datagram)
{
    const DatagramPeer server = m_client.Server();
    const QByteArray& packet = datagram.data;
    if (datagram.from != server)
        return QStringLiteral("It came from %1, not from the server asked (%2).")
            .arg(Endpoint(datagram.from), Endpoint(server));
    if (packet.size() < PacketSize)
        return QStringLiteral("It is too short for an NTP message (%1 bytes).").arg(packet.size());
    if (Timestamp(packet, OriginAt) != m_transmit)
        return QStringLiteral("It does not answer Kronvik's request.");
    const auto first = static_cast<std::uint8_t>(packet[0]);
    if ((first & 7) != ServerMode)
        return QStringLiteral("It is not a server's answer (mode %1).").arg(first & 7);
    const int version = first >> 3 & 7;
    if (version == 0 || version > 4)
        return QStringLiteral("Its NTP version %1 is not supported.").arg(version);
    if (packet[1] == 0) {
        const QString code = KissCode(packet);
        if (!MeansStop(code))
            return QStringLiteral("The server sent the kiss code %1.").arg(code);
        m_silenced[{ server.address, server.port }] = code;
        return QStringLiteral("The server sent the kiss code %1: Kronvik leaves it alone until it is started again.")
            .arg(code);
    }
    if (first >> 6 == LeapUnsynchronised)
        return QStringLiteral("The server's clock is not synchronised.");
    if (Timestamp(packet, TransmitAt) == 0)
        return QStringLiteral("It carries no time.");
    return {};
}
