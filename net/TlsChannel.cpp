#include "net/TlsChannel.h"

#include "net/WSockets.h"

#include <array>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

constexpr int ReceiveAreaSize = 1024;
constexpr int ChunkSize = 16384;
// A notification's reads stop here; the rest waits for the next one.
constexpr int MaxReadsPerNotice = 64;
// What the server may have sent ahead of the dialogue; more is no POP3 server.
constexpr qsizetype MaxUnread = qsizetype(1024) * 1024;

struct ContextFree
{
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

QString ErrorQueueText()
{
    const unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    const char* reason = error != 0 ? ERR_reason_error_string(error) : nullptr;
    return reason ? QString::fromLatin1(reason) : QStringLiteral("the connection broke off");
}

TlsFailure VerifyFailure(long result)
{
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return TlsFailure::Expired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return TlsFailure::WrongName;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return TlsFailure::UnknownIssuer;
    default:
        return TlsFailure::Rejected;
    }
}

// SSL_set_tlsext_host_name without the macro's cast.
long SetServerName(SSL* ssl, const QByteArray& name)
{
    return SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(name.constData()));
}

QString NormalisedPin(const QString& pin)
{
    return pin.toLower().remove(QLatin1Char(':'));
}

} // namespace

struct TlsChannel::Session
{
    std::unique_ptr<SSL_CTX, ContextFree> context;
    std::unique_ptr<SSL, SslFree> ssl;
    BIO* in = nullptr; // owned by ssl
    BIO* out = nullptr; // owned by ssl
};

TlsChannel::TlsChannel(TTCPClient& client)
    : m_client(client)
    , m_session(std::make_unique<Session>())
{ }

TlsChannel::~TlsChannel() = default;

void TlsChannel::Start(const QString& host, const QString& pin)
{
    Reset();
    m_phase = Phase::Handshaking;
    m_pin = NormalisedPin(pin);
    ERR_clear_error();
    Session& session = *m_session;
    // The trust store is read once and kept for the later checks.
    if (!session.context) {
        session.context.reset(SSL_CTX_new(TLS_client_method()));
        if (!session.context || SSL_CTX_set_min_proto_version(session.context.get(), TLS1_2_VERSION) != 1
            || SSL_CTX_set_default_verify_paths(session.context.get()) != 1) {
            session.context.reset();
            return Fail(TlsFailure::Handshake, ErrorQueueText());
        }
        // The chain is judged after the handshake, so that a pin can stand in for it.
        SSL_CTX_set_verify(session.context.get(), SSL_VERIFY_NONE, nullptr);
    }
    session.ssl.reset(SSL_new(session.context.get()));
    session.in = BIO_new(BIO_s_mem());
    session.out = BIO_new(BIO_s_mem());
    if (!session.ssl || !session.in || !session.out) {
        BIO_free(session.in);
        BIO_free(session.out);
        session.in = session.out = nullptr;
        return Fail(TlsFailure::Handshake, ErrorQueueText());
    }
    SSL_set_bio(session.ssl.get(), session.in, session.out);
    SSL* ssl = session.ssl.get();
    const QByteArray name = host.toLatin1();
    // An address is checked as one and sent without SNI, which carries names only.
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData()) == 1
        || (SSL_set1_host(ssl, name.constData()) == 1 && SetServerName(ssl, name) == 1);
    if (!named)
        return Fail(TlsFailure::WrongName);
    SSL_set_connect_state(ssl);
    Handshake();
}

void TlsChannel::Reset()
{
    m_session->ssl.reset();
    m_session->in = m_session->out = nullptr;
    m_phase = Phase::Off;
    m_failure = TlsFailure::None;
    m_detail.clear();
    m_fingerprint.clear();
    m_pin.clear();
    m_plain.clear();
}

void TlsChannel::Receive()
{
    if (m_phase != Phase::Handshaking && m_phase != Phase::Established)
        return;
    std::array<char, ChunkSize> chunk {};
    for (int reads = 0; reads < MaxReadsPerNotice; ++reads) {
        const int count = m_client.ReceiveBuffer(chunk.data(), ChunkSize);
        if (count <= 0)
            break;
        BIO_write(m_session->in, chunk.data(), count);
        if (count < ChunkSize)
            break;
    }
    if (static_cast<qsizetype>(BIO_ctrl_pending(m_session->in)) + m_plain.size() > MaxUnread)
        return Fail(TlsFailure::Handshake, QStringLiteral("too much data"));
    if (m_phase == Phase::Handshaking)
        Handshake();
    else
        Decrypt();
}

QString TlsChannel::ReceiveText()
{
    const QByteArray text = m_plain.left(ReceiveAreaSize);
    m_plain.remove(0, text.size());
    return QString::fromLatin1(text);
}

void TlsChannel::SendText(const QString& text)
{
    if (m_phase != Phase::Established || text.isEmpty())
        return;
    const QByteArray bytes = text.toUtf8();
    ERR_clear_error();
    // The memory buffer takes everything at once.
    if (SSL_write(m_session->ssl.get(), bytes.constData(), static_cast<int>(bytes.size())) <= 0)
        return Fail(TlsFailure::Handshake, ErrorQueueText());
    Flush();
}

void TlsChannel::Handshake()
{
    ERR_clear_error();
    const int result = SSL_do_handshake(m_session->ssl.get());
    Flush();
    if (result == 1) {
        Verify();
        if (m_phase == Phase::Established)
            Decrypt(); // what came with the handshake's last flight
        return;
    }
    if (SSL_get_error(m_session->ssl.get(), result) != SSL_ERROR_WANT_READ)
        Fail(TlsFailure::Handshake, ErrorQueueText());
}

void TlsChannel::Verify()
{
    SSL* ssl = m_session->ssl.get();
    X509* certificate = SSL_get0_peer_certificate(ssl);
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest {};
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1)
        return Fail(TlsFailure::Handshake, QStringLiteral("no certificate"));
    m_fingerprint = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest.data()), static_cast<qsizetype>(length)).toHex());
    if (!m_pin.isEmpty()) {
        if (m_pin != m_fingerprint)
            return Fail(TlsFailure::PinMismatch);
    } else if (const long result = SSL_get_verify_result(ssl); result != X509_V_OK) {
        return Fail(VerifyFailure(result), QString::fromLatin1(X509_verify_cert_error_string(result)));
    }
    m_phase = Phase::Established;
}

void TlsChannel::Decrypt()
{
    std::array<char, ChunkSize> chunk {};
    ERR_clear_error();
    // Ends when the received records are used up; Receive bounds them.
    int count = 0;
    while ((count = SSL_read(m_session->ssl.get(), chunk.data(), ChunkSize)) > 0)
        m_plain.append(chunk.data(), count);
    const int error = SSL_get_error(m_session->ssl.get(), count);
    Flush();
    // Needs more from the network, or the server said it is done: its close follows.
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_ZERO_RETURN)
        Fail(TlsFailure::Handshake, ErrorQueueText());
}

void TlsChannel::Flush()
{
    std::array<char, ChunkSize> chunk {};
    while (BIO_ctrl_pending(m_session->out) > 0) {
        const int count = BIO_read(m_session->out, chunk.data(), ChunkSize);
        if (count <= 0)
            return;
        m_client.SendBuffer(QByteArray(chunk.data(), count));
    }
}

void TlsChannel::Fail(TlsFailure failure, const QString& detail)
{
    m_phase = Phase::Failed;
    m_failure = failure;
    m_detail = detail;
    m_plain.clear();
}
