// Writes the program's four alert sounds as RIFF/WAVE files: PCM, one channel, 11 025 Hz,
// 8 bits unsigned. Everything is computed from fixed numbers, so each build makes the same bytes.
//
// Usage: SoundGenerator OUTPUT_FOLDER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int SampleRate = 11025;
constexpr std::size_t HeaderSize = 44;
constexpr double TwoPi = 2.0 * std::numbers::pi;

using Samples = std::vector<double>;

// Adds a note whose partials (frequency ratio, amplitude) decay exponentially; a short attack
// keeps the start from clicking.
void AddNote(Samples& out, double start, double frequency, double decay, double gain,
             const std::vector<std::pair<double, double>>& partials)
{
    constexpr double attack = 0.008;
    const auto first = static_cast<std::size_t>(start * SampleRate);
    for (std::size_t i = first; i < out.size(); ++i) {
        const double t = static_cast<double>(i - first) / SampleRate;
        const double envelope = std::min(1.0, t / attack) * std::exp(-t / decay);
        double value = 0.0;
        for (const auto& [ratio, amplitude] : partials)
            value += amplitude * std::sin(TwoPi * frequency * ratio * t);
        out[i] += gain * envelope * value;
    }
}

// Adds a steady tone with a flat envelope and soft edges, between start and end seconds.
void AddTone(Samples& out, double start, double end, const std::function<double(double)>& wave)
{
    constexpr double edge = 0.015;
    const auto first = static_cast<std::size_t>(start * SampleRate);
    const auto last = std::min(out.size(), static_cast<std::size_t>(end * SampleRate));
    const double length = end - start;
    for (std::size_t i = first; i < last; ++i) {
        const double t = static_cast<double>(i - first) / SampleRate;
        const double envelope = std::min({ 1.0, t / edge, (length - t) / edge });
        out[i] += std::max(0.0, envelope) * wave(t);
    }
}

// Error: two low, buzzing tones, the second lower, like a short "uh-uh".
Samples Error(std::size_t count)
{
    Samples out(count);
    const auto buzz = [](double frequency) {
        return [frequency](double t) {
            const double phase = TwoPi * frequency * t;
            return 0.6 * std::sin(phase) + 0.25 * std::sin(3 * phase) + 0.12 * std::sin(5 * phase)
                + 0.06 * std::sin(7 * phase);
        };
    };
    AddTone(out, 0.02, 0.31, buzz(196.0));
    AddTone(out, 0.37, 0.69, buzz(147.0));
    return out;
}

// Clock set: a rising major arpeggio (C E G C) with a soft chime timbre.
Samples ClockSet(std::size_t count)
{
    Samples out(count);
    const std::vector<std::pair<double, double>> chime { { 1.0, 1.0 }, { 2.0, 0.3 }, { 3.0, 0.1 } };
    const double notes[] = { 523.25, 659.25, 783.99, 1046.5 };
    for (int n = 0; n < 4; ++n)
        AddNote(out, 0.01 + 0.13 * n, notes[n], n == 3 ? 0.32 : 0.22, 0.5, chime);
    return out;
}

// New mail: a bell arpeggio up and back, with the inharmonic partials of a small bell.
Samples NewMail(std::size_t count)
{
    Samples out(count);
    const std::vector<std::pair<double, double>> bell {
        { 1.0, 1.0 }, { 2.0, 0.5 }, { 2.76, 0.35 }, { 5.4, 0.15 }, { 8.93, 0.06 }
    };
    const double notes[] = { 783.99, 987.77, 1174.66, 1567.98, 1174.66, 1567.98 };
    const double starts[] = { 0.01, 0.19, 0.37, 0.55, 0.95, 1.13 };
    for (int n = 0; n < 6; ++n)
        AddNote(out, starts[n], notes[n], n == 5 ? 0.45 : 0.3, 0.4, bell);
    return out;
}

// The About box's icon: a playful sweep up with a wobble, then a bounce back down.
Samples AboutClick(std::size_t count)
{
    Samples out(count);
    double phase = 0.0;
    const double duration = static_cast<double>(count) / SampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double rise = 0.9;
        const double frequency = t < rise ? 300.0 * std::pow(4.0, t / rise)
                                          : 1200.0 - 700.0 * std::fabs(std::sin(TwoPi * 2.2 * (t - rise)));
        phase += TwoPi * (frequency + 25.0 * std::sin(TwoPi * 7.0 * t)) / SampleRate;
        const double envelope = std::min({ 1.0, t / 0.02, (duration - t) / 0.4 });
        out[i] = std::max(0.0, envelope) * (0.8 * std::sin(phase) + 0.2 * std::sin(2 * phase));
    }
    return out;
}

void PutLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// Scales to a common peak, fades the last samples to silence and writes an 8-bit file.
std::string Encode(Samples samples)
{
    double peak = 1e-9;
    for (double s : samples)
        peak = std::max(peak, std::fabs(s));
    const std::size_t fade = SampleRate / 50;
    for (std::size_t i = 0; i < fade && i < samples.size(); ++i)
        samples[samples.size() - 1 - i] *= static_cast<double>(i) / fade;

    const auto dataSize = static_cast<std::uint32_t>(samples.size());
    std::string file = "RIFF";
    PutLe(file, dataSize + HeaderSize - 8, 4);
    file += "WAVEfmt ";
    PutLe(file, 16, 4); // size of the format chunk
    PutLe(file, 1, 2); // PCM
    PutLe(file, 1, 2); // channels
    PutLe(file, SampleRate, 4);
    PutLe(file, SampleRate, 4); // bytes per second
    PutLe(file, 1, 2); // bytes per frame
    PutLe(file, 8, 2); // bits per sample
    file += "data";
    PutLe(file, dataSize, 4);
    for (double s : samples)
        file.push_back(static_cast<char>(128 + std::lround(s / peak * 0.8 * 127.0)));
    return file;
}

struct Sound
{
    const char* name;
    std::size_t fileSize;
    Samples (*make)(std::size_t);
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const Sound sounds[] = {
        { "WAV_ERR", 7832, Error },
        { "WAV_OK", 14524, ClockSet },
        { "WAV_MAIL", 28808, NewMail },
        { "WAV_ZOLB", 18986, AboutClick },
    };
    for (const Sound& sound : sounds) {
        const std::string bytes = Encode(sound.make(sound.fileSize - HeaderSize));
        const std::string path = std::string(argv[1]) + "/" + sound.name + ".wav";
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!file.flush()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
