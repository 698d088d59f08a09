#include "platform/linux/sound/WaveData.h"

#include <QByteArray>

#include <cstdint>

namespace {

std::uint32_t Le(const QByteArray& bytes, qsizetype at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

bool ValidFormat(const WaveData& wave)
{
    const int bits = wave.bitsPerSample;
    return wave.channels > 0 && wave.sampleRate > 0 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

} // namespace

std::optional<WaveData> ParseWave(const QByteArray& file)
{
    constexpr qsizetype chunkHeader = 8;
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return std::nullopt;

    std::optional<WaveData> format;
    // Each step moves at least one chunk header forward, so this ends within the file.
    for (qsizetype at = 12; at + chunkHeader <= file.size();) {
        const QByteArray id = file.mid(at, 4);
        const qsizetype size = Le(file, at + 4, 4);
        const qsizetype body = at + chunkHeader;
        if (size > file.size() - body)
            return std::nullopt;
        if (id == "fmt ") {
            constexpr std::uint32_t pcm = 1;
            if (size < 16 || Le(file, body, 2) != pcm)
                return std::nullopt;
            WaveData wave;
            wave.channels = static_cast<int>(Le(file, body + 2, 2));
            wave.sampleRate = Le(file, body + 4, 4);
            wave.bitsPerSample = static_cast<int>(Le(file, body + 14, 2));
            if (!ValidFormat(wave) || Le(file, body + 12, 2) != static_cast<std::uint32_t>(wave.FrameBytes()))
                return std::nullopt;
            format = wave;
        } else if (id == "data") {
            if (!format)
                return std::nullopt;
            format->dataOffset = body;
            format->frameCount = size / format->FrameBytes();
            return format;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}
