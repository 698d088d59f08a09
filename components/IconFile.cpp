#include "components/IconFile.h"

#include <QtEndian>

#include <cstdint>

namespace {

constexpr qsizetype DirectorySize = 6;
constexpr qsizetype EntrySize = 16;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr int MaxSide = 256;

// Little-endian fields read from a byte range that the caller has checked.
class Bytes
{
public:
    explicit Bytes(const QByteArray& data)
        : m_data(reinterpret_cast<const uchar*>(data.constData()))
        , m_size(data.size())
    { }

    bool Has(qsizetype offset, qsizetype length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_size && length <= m_size - offset;
    }
    std::uint8_t U8(qsizetype offset) const { return m_data[offset]; }
    std::uint16_t U16(qsizetype offset) const { return qFromLittleEndian<std::uint16_t>(m_data + offset); }
    std::uint32_t U32(qsizetype offset) const { return qFromLittleEndian<std::uint32_t>(m_data + offset); }
    std::int32_t I32(qsizetype offset) const { return qFromLittleEndian<std::int32_t>(m_data + offset); }

private:
    const uchar* m_data;
    qsizetype m_size;
};

// Bytes per row of a bottom-up bitmap row: whole 32-bit words.
qsizetype Stride(int width, int bitsPerPixel)
{
    return ((static_cast<qsizetype>(width) * bitsPerPixel + 31) / 32) * 4;
}

} // namespace

QImage ReadIconFile(const QByteArray& data)
{
    const Bytes bytes(data);
    if (!bytes.Has(0, DirectorySize + EntrySize) || bytes.U16(0) != 0 || bytes.U16(2) != 1 || bytes.U16(4) == 0)
        return {};
    const std::uint32_t imageSize = bytes.U32(DirectorySize + 8);
    const std::uint32_t imageOffset = bytes.U32(DirectorySize + 12);
    if (!bytes.Has(imageOffset, imageSize) || imageSize < InfoHeaderSize)
        return {};
    const qsizetype image = imageOffset;
    const std::uint32_t headerSize = bytes.U32(image);
    const std::int32_t width = bytes.I32(image + 4);
    const std::int32_t doubleHeight = bytes.I32(image + 8); // the colour bitmap and the mask
    const int bitsPerPixel = bytes.U16(image + 14);
    const std::uint32_t compression = bytes.U32(image + 16);
    const std::uint32_t coloursUsed = bytes.U32(image + 32);
    if (headerSize < InfoHeaderSize || headerSize > imageSize || width < 1 || width > MaxSide || doubleHeight < 2
        || doubleHeight > 2 * MaxSide || doubleHeight % 2 != 0 || bytes.U16(image + 12) != 1 || compression != 0
        || (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8))
        return {};
    const int height = doubleHeight / 2;
    const std::uint32_t maxColours = 1u << bitsPerPixel;
    if (coloursUsed > maxColours)
        return {};
    const qsizetype colours = coloursUsed == 0 ? maxColours : coloursUsed;
    const qsizetype palette = image + headerSize;
    const qsizetype colourRows = palette + colours * 4;
    const qsizetype colourStride = Stride(width, bitsPerPixel);
    const qsizetype maskRows = colourRows + colourStride * height;
    const qsizetype maskStride = Stride(width, 1);
    if (!bytes.Has(palette, maskRows + maskStride * height - palette)
        || maskRows + maskStride * height > image + imageSize)
        return {};

    QImage picture(width, height, QImage::Format_ARGB32);
    const int mask = static_cast<int>(maxColours - 1);
    for (int y = 0; y < height; ++y) {
        const qsizetype colourRow = colourRows + colourStride * (height - 1 - y);
        const qsizetype maskRow = maskRows + maskStride * (height - 1 - y);
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const qsizetype bit = static_cast<qsizetype>(x) * bitsPerPixel;
            const int shift = 8 - bitsPerPixel - static_cast<int>(bit % 8);
            const int index = (bytes.U8(colourRow + bit / 8) >> shift) & mask;
            const bool transparent = (bytes.U8(maskRow + x / 8) >> (7 - x % 8)) & 1;
            if (index >= colours || transparent) {
                line[x] = qRgba(0, 0, 0, 0);
                continue;
            }
            const qsizetype entry = palette + static_cast<qsizetype>(index) * 4; // blue, green, red, unused
            line[x] = qRgb(bytes.U8(entry + 2), bytes.U8(entry + 1), bytes.U8(entry));
        }
    }
    return picture;
}
