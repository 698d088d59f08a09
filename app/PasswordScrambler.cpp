#include "app/PasswordScrambler.h"

namespace {

QByteArray Shift(QByteArray bytes, int direction)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto step = static_cast<unsigned>(i + 1 + PasswordScrambleOffset);
        bytes[i] = static_cast<char>(static_cast<unsigned char>(bytes[i]) + static_cast<unsigned>(direction) * step);
    }
    return bytes;
}

} // namespace

QByteArray ScramblePassword(const QByteArray& password)
{
    return Shift(password, 1);
}

QByteArray UnscramblePassword(const QByteArray& scrambled)
{
    return Shift(scrambled, -1);
}
