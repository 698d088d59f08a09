#pragma once

#include "base/Errors.h"
#include "platform/DatagramApi.h"

#include <QString>

#include <cstdint>
#include <functional>

// A UDP client for one server at a time: Open looks the server up and opens a socket without
// blocking; once both are done, OnConnect lets the owner Send; every datagram that arrives on
// the socket comes through OnData, whoever sent it, until Close. Failures come through OnError
// with a Winsock code and its fixed text.
class TUDPClient final
{
public:
    // `errorHandler` receives exceptions that event handlers throw while the event loop runs them.
    TUDPClient(DatagramApi& api, ErrorHandler errorHandler);
    ~TUDPClient();
    TUDPClient(const TUDPClient&) = delete;
    TUDPClient& operator=(const TUDPClient&) = delete;

    // Starts with `host` and `port` when closed; does nothing otherwise.
    void Open(const QString& host, std::uint16_t port);
    // Forgets the server and closes the socket; harmless when closed.
    void Close();
    bool Active() const { return m_active; }
    // The server's address, once OnConnect has come.
    const DatagramPeer& Server() const { return m_server; }
    // One datagram to the server.
    void Send(const QByteArray& data);

    std::function<void()> OnConnect;
    std::function<void(const Datagram& datagram)> OnData;
    std::function<void(int error, const QString& msg)> OnError;

private:
    void LookedUp(std::optional<std::uint32_t> address, int error);
    void Readable();
    void ReportError(int error);
    void Guarded(const std::function<void()>& call) noexcept;

    DatagramApi& m_api;
    ErrorHandler m_errorHandler;
    bool m_active = false;
    int m_lookUp = 0; // 0: none pending
    int m_socket = -1;
    DatagramPeer m_server;
};
