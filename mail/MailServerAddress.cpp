#include "mail/MailServerAddress.h"

#include <QRegularExpression>

namespace {

const QString PlainPort = QStringLiteral("110");
const QString TlsPort = QStringLiteral("995");
const QString PinPrefix = QStringLiteral("sha256=");

QString Reason(TlsFailure failure, const QString& detail)
{
    switch (failure) {
    case TlsFailure::Expired:
        return QStringLiteral("its certificate has expired or is not valid yet");
    case TlsFailure::WrongName:
        return QStringLiteral("its certificate is made out to another name");
    case TlsFailure::UnknownIssuer:
        return QStringLiteral("its certificate comes from an unknown issuer");
    case TlsFailure::PinMismatch:
        return QStringLiteral("its certificate is not the pinned one");
    case TlsFailure::Rejected:
        return QStringLiteral("its certificate was refused (%1)").arg(detail);
    case TlsFailure::NotOffered:
        return QStringLiteral("it does not offer STLS, so the password was not sent");
    case TlsFailure::Handshake:
    case TlsFailure::None:
        break;
    }
    return QStringLiteral("the TLS handshake failed (%1)").arg(detail);
}

} // namespace

MailServerAddress ParseMailServerAddress(const QString& text)
{
    MailServerAddress address;
    QString rest;
    if (text.startsWith(QLatin1String("pop3s://"), Qt::CaseInsensitive)) {
        address.Security = MailSecurity::Tls;
        rest = text.mid(8);
    } else if (text.startsWith(QLatin1String("pop3://"), Qt::CaseInsensitive)) {
        address.Security = MailSecurity::StartTls;
        rest = text.mid(7);
    } else {
        static const QRegularExpression hostAndPort(QStringLiteral("^([^:]+):([0-9]+)$"));
        const QRegularExpressionMatch match = hostAndPort.match(text);
        address.Host = match.hasMatch() ? match.captured(1) : text;
        address.Port = match.hasMatch() ? match.captured(2) : PlainPort;
        return address;
    }
    const qsizetype fragment = rest.indexOf(QLatin1Char('#'));
    if (fragment >= 0) {
        const QString pin = rest.mid(fragment + 1);
        address.Pin = pin.startsWith(PinPrefix, Qt::CaseInsensitive) ? pin.mid(PinPrefix.size()) : pin;
        // A pin that is no fingerprint (mistyped, or empty) matches no certificate: it must not
        // fall back to trusting the chain.
        if (address.Pin.isEmpty())
            address.Pin = QStringLiteral("#");
        rest.truncate(fragment);
    }
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
    address.Host = colon >= 0 ? rest.left(colon) : rest;
    address.Port = colon >= 0 ? rest.mid(colon + 1) : (address.Security == MailSecurity::Tls ? TlsPort : PlainPort);
    return address;
}

QString TlsWarningText(const MailServerAddress& address, TlsFailure failure, const QString& detail,
                       const QString& fingerprint)
{
    QString text = QStringLiteral("The mail server %1 (port %2) was not checked: %3.")
                       .arg(address.Host, address.Port, Reason(failure, detail));
    if (failure == TlsFailure::UnknownIssuer && !fingerprint.isEmpty())
        text += QStringLiteral("\r\n\r\nThe certificate's SHA-256 fingerprint is\r\n%1\r\n\r\nIf it is your "
                               "server's own certificate, trust exactly this one by ending the server's "
                               "address with #sha256=%1")
                    .arg(fingerprint);
    return text;
}
