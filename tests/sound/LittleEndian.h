#pragma once

#include <QByteArray>

#include <cstdint>

// `value` as `size` little-endian bytes, the byte order of WAVE headers.
inline QByteArray Le(std::uint32_t value, int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
    return bytes;
}
