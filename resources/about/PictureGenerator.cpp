// Paints the About box's picture, a lake below mountains at sunset, and writes it as a JFIF file.
// Everything is computed from fixed numbers, so each build makes the same picture.
//
// Usage: PictureGenerator OUTPUT [WIDTH HEIGHT QUALITY [progressive] [grey]]
// (the defaults make the About box's 160 x 120 picture; the rest serves for test pictures)

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace {

struct Colour
{
    double r;
    double g;
    double b;
};

Colour Mix(Colour a, Colour b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t };
}

Colour Scale(Colour c, double f)
{
    return { c.r * f, c.g * f, c.b * f };
}

// A repeatable pseudo-random value in [0, 1) for a lattice point.
double Hash(int x, int y, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u
        + static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / static_cast<double>(0x1000000);
}

double Smooth(double t)
{
    return t * t * (3 - 2 * t);
}

double ValueNoise(double x, double y, int seed)
{
    const int x0 = static_cast<int>(std::floor(x));
    const int y0 = static_cast<int>(std::floor(y));
    const double fx = Smooth(x - x0);
    const double fy = Smooth(y - y0);
    const double top = Hash(x0, y0, seed) + (Hash(x0 + 1, y0, seed) - Hash(x0, y0, seed)) * fx;
    const double bottom = Hash(x0, y0 + 1, seed) + (Hash(x0 + 1, y0 + 1, seed) - Hash(x0, y0 + 1, seed)) * fx;
    return top + (bottom - top) * fy;
}

// Fractal noise in [0, 1): octaves of value noise, each twice as fine and half as strong.
double Fractal(double x, double y, int seed, int octaves)
{
    double sum = 0;
    double weight = 0.5;
    double total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += weight * ValueNoise(x, y, seed + i * 31);
        total += weight;
        x *= 2;
        y *= 2;
        weight *= 0.5;
    }
    return sum / total;
}

// The scene in unit coordinates: u across, v down, both from 0 to 1.
Colour Scene(double u, double v)
{
    const double horizon = 0.58;
    const double sunU = 0.7;
    const double sunV = 0.43;
    const Colour zenith { 32, 46, 102 };
    const Colour dusk { 232, 122, 62 };
    const Colour glow { 255, 214, 140 };

    const auto sky = [&](double su, double sv) {
        Colour c = Mix(zenith, dusk, std::pow(sv / horizon, 1.6));
        const double sun = std::hypot((su - sunU) * 1.33, sv - sunV);
        c = Mix(c, glow, std::exp(-sun * 9) * 0.9);
        if (sun < 0.055)
            c = Mix(glow, Colour { 255, 246, 220 }, 1 - sun / 0.055);
        // Thin bands of cloud lit from below.
        const double cloud = Fractal(su * 5, sv * 14, 7, 4);
        const double band = std::max(0.0, cloud - 0.55) * 2.6 * (1 - sv / horizon);
        return Mix(c, Colour { 250, 170, 150 }, band);
    };

    const double farRidge = 0.5 - 0.4 * (Fractal(u * 3, 0.5, 11, 5) - 0.25);
    const double nearRidge = 0.6 - 0.3 * (Fractal(u * 2.2 + 4, 1.5, 23, 5) - 0.25) + 0.03 * u;
    if (v < horizon) {
        if (v > nearRidge) {
            const double shade = 0.55 + 0.45 * Fractal(u * 40, v * 40, 41, 3);
            return Scale(Colour { 46, 52, 40 }, shade);
        }
        if (v > farRidge) {
            const double haze = (v - farRidge) / 0.1;
            return Mix(Colour { 104, 82, 118 }, Colour { 150, 96, 110 },
                       haze * 0.5 + 0.2 * Fractal(u * 20, v * 20, 3, 3));
        }
        return sky(u, v);
    }
    // The lake mirrors the sky and the hills, broken by ripples; the shore closes it at the bottom.
    const double shore = 0.9 + 0.04 * Fractal(u * 6, 2.5, 59, 4);
    if (v > shore) {
        const double grass = Fractal(u * 60, v * 30, 67, 3);
        return Mix(Colour { 36, 44, 22 }, Colour { 96, 104, 46 }, grass);
    }
    const double depth = (v - horizon) / (shore - horizon);
    const double ripple = (Fractal(u * 3, v * 60, 83, 3) - 0.5) * 0.03 * (0.3 + depth);
    const double mirroredV = std::max(0.0, 2 * horizon - v + ripple);
    Colour c = mirroredV > nearRidge ? Colour { 30, 34, 28 }
        : mirroredV > farRidge       ? Colour { 84, 66, 96 }
                                     : sky(u + ripple, mirroredV);
    c = Scale(c, 0.78 - 0.25 * depth);
    // A track of sunlight on the water.
    const double track = std::exp(-std::pow((u - sunU) * 14, 2)) * (Fractal(u * 30, v * 90, 97, 2) > 0.55 ? 1 : 0.2);
    return Mix(c, Colour { 255, 210, 150 }, track * (1 - depth) * 0.8);
}

bool Write(const std::string& path, int width, int height, int quality, bool progressive, bool grey)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Four samples per pixel, and film grain.
            Colour sum { 0, 0, 0 };
            for (int s = 0; s < 4; ++s) {
                const Colour c = Scene((x + 0.25 + 0.5 * (s & 1)) / width, (y + 0.25 + 0.5 * (s >> 1)) / height);
                sum = { sum.r + c.r / 4, sum.g + c.g / 4, sum.b + c.b / 4 };
            }
            const double grain = (Hash(x, y, 101) - 0.5) * 10;
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(sum.r + grain, 0.0, 255.0));
            p[1] = static_cast<unsigned char>(std::clamp(sum.g + grain, 0.0, 255.0));
            p[2] = static_cast<unsigned char>(std::clamp(sum.b + grain, 0.0, 255.0));
        }
    }

    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (grey)
        jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    jpeg_set_quality(&info, quality, TRUE);
    info.optimize_coding = TRUE;
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &pixels[static_cast<std::size_t>(info.next_scanline) * width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2 && argc < 5) {
        std::fprintf(stderr, "usage: %s OUTPUT [WIDTH HEIGHT QUALITY [progressive] [grey]]\n", argv[0]);
        return 2;
    }
    int width = 160;
    int height = 120;
    int quality = 90;
    bool progressive = false;
    bool grey = false;
    if (argc >= 5) {
        width = std::atoi(argv[2]);
        height = std::atoi(argv[3]);
        quality = std::atoi(argv[4]);
        for (int i = 5; i < argc; ++i) {
            progressive = progressive || std::strcmp(argv[i], "progressive") == 0;
            grey = grey || std::strcmp(argv[i], "grey") == 0;
        }
    }
    if (width < 1 || height < 1 || width > 4096 || height > 4096 || quality < 1 || quality > 100) {
        std::fprintf(stderr, "%s: size or quality out of range\n", argv[0]);
        return 2;
    }
    if (!Write(argv[1], width, height, quality, progressive, grey)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
