#pragma once

#include <QtGlobal>

#include <optional>

class QByteArray;

// Where the samples of a PCM RIFF/WAVE file lie, and their format.
struct WaveData
{
    int channels = 0;
    unsigned sampleRate = 0;
    int bitsPerSample = 0;
    qsizetype dataOffset = 0;
    qsizetype frameCount = 0;

    int FrameBytes() const { return channels * bitsPerSample / 8; }
};

// Reads the chunks of a complete RIFF/WAVE file. Anything but integer PCM with 8, 16, 24 or
// 32 bits per sample, or a file whose chunks run past its end, gives nothing.
std::optional<WaveData> ParseWave(const QByteArray& file);
