#pragma once

#include "net/TlsChannel.h"

#include <QString>

// How the mail check reaches the server, as the user writes it in the server field:
//   host, host:port              plain POP3 (port 110)
//   pop3s://host[:port]          TLS from the first byte (port 995)
//   pop3://host[:port]           POP3 that moves to TLS with STLS, and ends without it
// Either TLS form may end in #sha256=<hex>: then exactly the certificate with that SHA-256 is
// accepted, whatever its chain.
enum class MailSecurity
{
    Plain,
    Tls,
    StartTls,
};

struct MailServerAddress
{
    MailSecurity Security = MailSecurity::Plain;
    QString Host;
    QString Port;
    QString Pin; // the fingerprint's text as written after "sha256=", empty when not pinned
};

// Never fails: a text without a scheme is a host (with a port when it ends in ":digits"), kept
// as it is, and what no server answers to fails later at the look-up or the connect.
MailServerAddress ParseMailServerAddress(const QString& text);

// The warning for a check that gave up on the server's security.
QString TlsWarningText(const MailServerAddress& address, TlsFailure failure, const QString& detail,
                       const QString& fingerprint);
