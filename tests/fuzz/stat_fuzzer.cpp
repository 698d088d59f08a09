// Whatever a mail server sends as its STAT reply, reading it must not crash; and figures written
// the way a server writes them must read back unchanged, whatever follows them.
#include "mail/StatReply.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<StatFigures> figures = ParseStatReply(QString::fromLatin1(bytes));
    if (figures && (figures->MessageCount < 0 || figures->MessageOctets < 0))
        std::abort();

    if (size < 8)
        return 0;
    const std::int32_t count = qFromLittleEndian<std::int32_t>(data) & 0x7FFFFFFF;
    const std::int32_t octets = qFromLittleEndian<std::int32_t>(data + 4) & 0x7FFFFFFF;
    QByteArray rest = bytes.mid(8);
    if (!rest.isEmpty() && rest[0] >= '0' && rest[0] <= '9')
        rest[0] = '\r';
    const QByteArray reply = "+OK " + QByteArray::number(count) + ' ' + QByteArray::number(octets)
        + (rest.isEmpty() ? QByteArray("\r\n") : rest);
    const std::optional<StatFigures> read = ParseStatReply(QString::fromLatin1(reply));
    if (!read || read->MessageCount != count || read->MessageOctets != octets)
        std::abort();
    return 0;
}
