#!/bin/sh
# usage: tls-certs.sh DIR
# Makes a test CA and the server certificates the TLS tests use, all on one key, in DIR:
#   ca.crt        the CA that tests trust through SSL_CERT_FILE
# All but expired.crt are valid from 2020 to 2033, so that a program whose clock a test has set
# (the end-to-end runs' virtual clock) still finds them valid.
#   good.crt      from the CA for localhost and 127.0.0.1
#   wrong.crt     from the CA for wrong.test only
#   expired.crt   from the CA for 127.0.0.3, valid for a month in 2001
#   self.crt      self-signed for 127.0.0.4; self.sha256 holds its SHA-256 in lower-case hex
#   server.key    the key of all four
set -eu
DIR=$1
valid() { faketime '2020-01-01 00:00:00' "$@"; }
mkdir -p "$DIR"
cd "$DIR"
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ca.key 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out server.key 2>/dev/null
valid openssl req -x509 -key ca.key -subj /CN=Kronvik-test-CA -days 5000 -out ca.crt
openssl req -new -key server.key -subj /CN=kronvik-test-server -out server.csr

# issue NAME SUBJECTALTNAME DAYS FROM: a certificate from the CA.
issue() {
    printf 'subjectAltName=%s\n' "$2" >"$1.ext"
    faketime "$4" openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days "$3" \
        -extfile "$1.ext" -out "$1.crt" 2>/dev/null
}
issue good DNS:localhost,IP:127.0.0.1 5000 '2020-01-01 00:00:00'
issue wrong DNS:wrong.test 5000 '2020-01-01 00:00:00'
issue expired IP:127.0.0.3 30 '2001-01-01 00:00:00'
valid openssl req -x509 -key server.key -subj /CN=kronvik-self-signed -addext subjectAltName=IP:127.0.0.4 \
    -days 5000 -out self.crt
openssl x509 -in self.crt -noout -fingerprint -sha256 | cut -d= -f2 | tr -d : | tr A-F a-f >self.sha256
# dovecot's unprivileged processes read the key and the certificates.
chmod 644 ./*.crt server.key
