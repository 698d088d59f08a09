#pragma once

#include "net/UDPClient.h"
#include "platform/TickSource.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

// One SNTP request (version 4, client mode) to a server, and the checks on its answer. The time
// reported is the server's, moved on by half the round trip that was not spent inside the server.
class SntpQuery final
{
public:
    SntpQuery(DatagramApi& api, const TickSource& ticks, ErrorHandler errorHandler);

    // Asks host:port. Exactly one of OnTime, OnRefused and OnError follows, unless Close comes first.
    void Ask(const QString& host, std::uint16_t port);
    void Close();

    // The server's time now, in milliseconds since 1900-01-01 00:00:00 UTC, and this computer's
    // address on the way to the server (empty when unknown).
    std::function<void(std::int64_t instant, const QString& localAddress)> OnTime;
    // An answer that must not set the clock, or a server that asked to be left alone; the text
    // says why.
    std::function<void(const QString& reason)> OnRefused;
    // The look-up or the socket failed: a Winsock code and its text.
    std::function<void(int error, const QString& msg)> OnError;

private:
    void Connected();
    void Received(const Datagram& datagram);
    // Empty when the answer may set the clock.
    QString Refusal(const Datagram& datagram);

    TUDPClient m_client;
    const TickSource& m_ticks;
    std::uint64_t m_transmit = 0;
    std::uint32_t m_sentAt = 0;
    // Servers that answered with a kiss code that means "stop", with that code, for this run.
    std::map<std::pair<std::uint32_t, std::uint16_t>, QString> m_silenced;
};
