// The About box's picture may arrive damaged: whatever the bytes, decoding must neither crash nor
// end the program, and what it gives is either no picture or a whole one in the format promised.
#include "components/JpegDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QImage image = DecodeJpeg(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (!image.isNull()
        && (image.width() < 1 || image.height() < 1 || image.format() != QImage::Format_RGB888
            || image.sizeInBytes() < qsizetype(image.width()) * image.height() * 3))
        std::abort();
    return 0;
}
