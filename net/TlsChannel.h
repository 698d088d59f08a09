#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class TTCPClient;

// Why a secured connection was given up.
enum class TlsFailure
{
    None,
    Expired, // the certificate is outside its validity period
    WrongName, // the certificate is not made out to the name asked for
    UnknownIssuer, // the chain does not end at a trusted certificate (self-signed ones too)
    PinMismatch, // the certificate is not the pinned one
    Rejected, // the chain fails for another reason; Detail() says which
    Handshake, // the peer does not speak TLS, or broke the protocol; Detail() says how
    NotOffered, // the server offers no way into TLS (decided by the protocol above)
};

// TLS on the connection of a TCP client, through OpenSSL's memory buffers: the client carries
// the encrypted bytes, so everything stays on the user-interface thread, event-driven and
// non-blocking. The server's certificate is always verified: the chain against the system's
// trust store (OpenSSL's default paths, which SSL_CERT_FILE and SSL_CERT_DIR may replace) and
// the name asked for (sent as SNI unless it is an address), or, with a pin, exactly the
// certificate whose SHA-256 the pin names. Nothing is readable before verification passed.
class TlsChannel final
{
public:
    explicit TlsChannel(TTCPClient& client);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Starts the handshake on the client's established connection. `pin`: empty, or the
    // certificate's SHA-256 in hexadecimal (either case, colons allowed).
    void Start(const QString& host, const QString& pin);
    // Forgets the session: the client's next connection is plain.
    void Reset();

    // Started and not reset since.
    bool Active() const { return m_phase != Phase::Off; }
    bool Handshaking() const { return m_phase == Phase::Handshaking; }
    bool Established() const { return m_phase == Phase::Established; }
    bool Failed() const { return m_phase == Phase::Failed; }
    TlsFailure Failure() const { return m_failure; }
    // OpenSSL's words for a Rejected or Handshake failure.
    const QString& Detail() const { return m_detail; }
    // The server certificate's SHA-256 in lower-case hexadecimal, once it has shown one.
    const QString& Fingerprint() const { return m_fingerprint; }

    // Takes what the connection brought (call it when the client has data): advances the
    // handshake, then decrypts.
    void Receive();
    // At most 1024 bytes of what the server sent, empty when nothing waits.
    QString ReceiveText();
    // Encrypts and sends the text (UTF-8); nothing unless established.
    void SendText(const QString& text);

private:
    enum class Phase
    {
        Off,
        Handshaking,
        Established,
        Failed,
    };
    struct Session;

    void Handshake();
    void Verify();
    void Decrypt();
    void Flush();
    void Fail(TlsFailure failure, const QString& detail = QString());

    TTCPClient& m_client;
    std::unique_ptr<Session> m_session;
    Phase m_phase = Phase::Off;
    TlsFailure m_failure = TlsFailure::None;
    QString m_detail;
    QString m_fingerprint;
    QString m_pin;
    QByteArray m_plain;
};
