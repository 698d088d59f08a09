#include "components/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <memory>

namespace {

constexpr unsigned long MaxDataSize = 64ul << 20;
constexpr unsigned long long MaxPixels = 16ull << 20;
// Memory for progressive pictures, which keep every coefficient until the last scan.
constexpr long MaxMemory = 256l << 20;
// Progressive pictures of a few dozen scans are normal; thousands only burn time.
constexpr int MaxScans = 100;

// Everything the decoding touches after setjmp lives here, on the heap, so that nothing of it
// is lost or left half-changed when an error jumps back.
struct Decoder
{
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    jpeg_progress_mgr progress {};
    std::jmp_buf failed {};
    QImage image;
};

// libjpeg's own error handler ends the process; this one returns to DecodeJpeg instead.
[[noreturn]] void Fail(j_common_ptr info)
{
    std::longjmp(static_cast<Decoder*>(info->client_data)->failed, 1);
}

// Warnings mean corrupt data (libjpeg would go on with a grey or garbled picture): fail too.
void Message(j_common_ptr info, int level)
{
    if (level < 0)
        Fail(info);
}

void Progress(j_common_ptr info)
{
    if (static_cast<Decoder*>(info->client_data)->info.input_scan_number > MaxScans)
        Fail(info);
}

} // namespace

QImage DecodeJpeg(const QByteArray& data)
{
    if (data.isEmpty() || static_cast<unsigned long>(data.size()) > MaxDataSize)
        return {};
    const auto decoder = std::make_unique<Decoder>();
    Decoder* const d = decoder.get();
    d->info.err = jpeg_std_error(&d->errors);
    d->errors.error_exit = Fail;
    d->errors.emit_message = Message;
    d->info.client_data = d;
    if (setjmp(d->failed) != 0) {
        jpeg_destroy_decompress(&d->info);
        return {};
    }
    jpeg_create_decompress(&d->info);
    d->info.client_data = d;
    d->info.mem->max_memory_to_use = MaxMemory;
    d->progress.progress_monitor = Progress;
    d->info.progress = &d->progress;
    jpeg_mem_src(&d->info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&d->info, TRUE);
    const J_COLOR_SPACE model = d->info.jpeg_color_space;
    if ((model != JCS_GRAYSCALE && model != JCS_RGB && model != JCS_YCbCr)
        || static_cast<unsigned long long>(d->info.image_width) * d->info.image_height > MaxPixels)
        Fail(reinterpret_cast<j_common_ptr>(&d->info));
    d->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d->info);
    d->image = QImage(static_cast<int>(d->info.output_width), static_cast<int>(d->info.output_height),
                      QImage::Format_RGB888);
    if (d->image.isNull() || d->info.output_components != 3)
        Fail(reinterpret_cast<j_common_ptr>(&d->info));
    while (d->info.output_scanline < d->info.output_height) {
        JSAMPROW row = d->image.scanLine(static_cast<int>(d->info.output_scanline));
        if (jpeg_read_scanlines(&d->info, &row, 1) != 1)
            Fail(reinterpret_cast<j_common_ptr>(&d->info));
    }
    jpeg_finish_decompress(&d->info);
    jpeg_destroy_decompress(&d->info);
    return d->image;
}
