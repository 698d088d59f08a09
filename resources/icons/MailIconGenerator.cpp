// Draws the three animation frames of the new-mail icon (a mailbox with its flag up, a closed
// envelope, an opened envelope with its letter) as 32 × 32 sixteen-colour icon files and writes
// them in the form data's format of an icon list: a 32-bit little-endian count, then per frame a
// 32-bit little-endian size and the icon file. Everything is drawn from fixed numbers, so each
// build makes the same bytes.
//
// Usage: MailIconGenerator OUTPUT_FILE

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int Side = 32;
constexpr int Transparent = -1;

// The standard sixteen colours, by index, as red, green, blue.
constexpr std::array<std::array<std::uint8_t, 3>, 16> Palette { {
    { 0x00, 0x00, 0x00 },
    { 0x80, 0x00, 0x00 },
    { 0x00, 0x80, 0x00 },
    { 0x80, 0x80, 0x00 },
    { 0x00, 0x00, 0x80 },
    { 0x80, 0x00, 0x80 },
    { 0x00, 0x80, 0x80 },
    { 0xC0, 0xC0, 0xC0 },
    { 0x80, 0x80, 0x80 },
    { 0xFF, 0x00, 0x00 },
    { 0x00, 0xFF, 0x00 },
    { 0xFF, 0xFF, 0x00 },
    { 0x00, 0x00, 0xFF },
    { 0xFF, 0x00, 0xFF },
    { 0x00, 0xFF, 0xFF },
    { 0xFF, 0xFF, 0xFF },
} };

enum Colour
{
    Black = 0,
    Maroon = 1,
    Olive = 3,
    Navy = 4,
    Silver = 7,
    Grey = 8,
    Red = 9,
    Yellow = 11,
    Blue = 12,
    White = 15,
};

class Canvas
{
public:
    Canvas() { m_pixels.fill(Transparent); }

    void Set(int x, int y, int colour)
    {
        if (x >= 0 && x < Side && y >= 0 && y < Side)
            m_pixels[static_cast<std::size_t>(y) * Side + static_cast<std::size_t>(x)] = colour;
    }
    int At(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * Side + static_cast<std::size_t>(x)]; }

    // Both corners included.
    void Fill(int x0, int y0, int x1, int y1, int colour)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                Set(x, y, colour);
    }
    void Frame(int x0, int y0, int x1, int y1, int colour)
    {
        Line(x0, y0, x1, y0, colour);
        Line(x0, y1, x1, y1, colour);
        Line(x0, y0, x0, y1, colour);
        Line(x1, y0, x1, y1, colour);
    }
    void Box(int x0, int y0, int x1, int y1, int fill, int outline)
    {
        Fill(x0, y0, x1, y1, fill);
        Frame(x0, y0, x1, y1, outline);
    }
    void Line(int x0, int y0, int x1, int y1, int colour)
    {
        const int dx = x1 > x0 ? x1 - x0 : x0 - x1;
        const int dy = y1 > y0 ? y0 - y1 : y1 - y0;
        const int sx = x0 < x1 ? 1 : -1;
        const int sy = y0 < y1 ? 1 : -1;
        int error = dx + dy;
        for (;;) {
            Set(x0, y0, colour);
            if (x0 == x1 && y0 == y1)
                return;
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x0 += sx;
            }
            if (twice <= dx) {
                error += dx;
                y0 += sy;
            }
        }
    }
    // Every pixel whose centre lies inside the polygon.
    void Polygon(const std::vector<std::pair<int, int>>& corners, int colour)
    {
        for (int y = 0; y < Side; ++y) {
            for (int x = 0; x < Side; ++x) {
                const double px = x + 0.5;
                const double py = y + 0.5;
                bool inside = false;
                for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
                    const auto [xi, yi] = corners[i];
                    const auto [xj, yj] = corners[j];
                    if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / static_cast<double>(yj - yi) + xi)
                        inside = !inside;
                }
                if (inside)
                    Set(x, y, colour);
            }
        }
    }
    // The upper half of an ellipse around (cx, cy), filled, with an outline.
    void Dome(int cx, int cy, int rx, int ry, int fill, int outline)
    {
        for (int y = cy - ry; y <= cy; ++y) {
            for (int x = cx - rx; x <= cx + rx; ++x) {
                const double nx = (x - cx) / static_cast<double>(rx);
                const double ny = (y - cy) / static_cast<double>(ry);
                const double distance = nx * nx + ny * ny;
                if (distance <= 1.0)
                    Set(x, y, distance > 0.72 ? outline : fill);
            }
        }
    }

private:
    std::array<int, std::size_t { Side } * Side> m_pixels {};
};

// A mailbox on its post, seen from the side, its red flag raised and a letter in its door.
Canvas Mailbox()
{
    Canvas c;
    c.Box(13, 20, 17, 31, Olive, Black); // post
    c.Dome(14, 11, 11, 7, Blue, Black);
    c.Box(3, 11, 25, 21, Blue, Black);
    c.Fill(4, 11, 24, 12, Blue); // the dome runs into the body without a seam
    c.Box(3, 8, 7, 21, Navy, Black); // the door at the front
    c.Box(0, 13, 6, 17, White, Grey); // a letter in the door
    c.Line(1, 15, 5, 15, Silver);
    c.Line(26, 2, 26, 17, Black); // flag pole
    c.Line(27, 2, 27, 17, Grey);
    c.Box(28, 2, 31, 7, Red, Maroon); // the raised flag
    return c;
}

// A closed envelope.
Canvas Envelope()
{
    Canvas c;
    c.Box(1, 7, 30, 25, White, Black);
    c.Line(2, 24, 12, 16, Silver);
    c.Line(29, 24, 19, 16, Silver);
    c.Line(1, 7, 15, 18, Black); // the flap
    c.Line(30, 7, 16, 18, Black);
    c.Box(24, 9, 28, 13, Red, Maroon); // the stamp, clear of the flap's edge
    c.Line(16, 18, 15, 18, Black);
    return c;
}

// An opened envelope with its letter halfway out.
Canvas OpenEnvelope()
{
    Canvas c;
    c.Polygon({ { 1, 14 }, { 15, 3 }, { 16, 3 }, { 31, 14 } }, Yellow); // the opened flap
    c.Line(1, 14, 15, 3, Black);
    c.Line(30, 14, 16, 3, Black);
    c.Box(6, 5, 25, 22, White, Black); // the letter
    for (int y = 8; y <= 17; y += 3)
        c.Line(9, y, y == 17 ? 16 : 22, y, Blue);
    c.Polygon({ { 1, 14 }, { 15, 23 }, { 16, 23 }, { 31, 14 }, { 31, 29 }, { 1, 29 } }, Yellow); // the pocket
    c.Frame(1, 14, 30, 28, Black);
    c.Line(1, 14, 15, 23, Black);
    c.Line(30, 14, 16, 23, Black);
    c.Line(2, 27, 11, 21, Olive);
    c.Line(29, 27, 20, 21, Olive);
    return c;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFFu));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFFu));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFFu);
    Put16(out, value >> 16);
}

// One icon file: header, one directory entry, then the image (information header, colour table,
// 4-bit colour rows and the 1-bit transparency mask, both bottom-up). 766 bytes.
std::vector<std::uint8_t> IconFile(const Canvas& c)
{
    constexpr std::uint32_t colourRow = Side / 2;
    constexpr std::uint32_t maskRow = 4;
    constexpr std::uint32_t imageSize = 40 + 16 * 4 + colourRow * Side + maskRow * Side;
    std::vector<std::uint8_t> out;
    Put16(out, 0); // reserved
    Put16(out, 1); // an icon
    Put16(out, 1); // one picture
    out.insert(out.end(), { Side, Side, 16, 0 }); // width, height, colours, reserved
    Put16(out, 1); // planes
    Put16(out, 4); // bits per pixel
    Put32(out, imageSize);
    Put32(out, 22); // where the image starts
    Put32(out, 40);
    Put32(out, Side);
    Put32(out, Side * 2); // colour rows and mask rows
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0); // no compression
    Put32(out, colourRow * Side + maskRow * Side);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 16);
    Put32(out, 0);
    for (const auto& [red, green, blue] : Palette)
        out.insert(out.end(), { blue, green, red, 0 });
    for (int y = Side - 1; y >= 0; --y) {
        for (int x = 0; x < Side; x += 2) {
            const int left = c.At(x, y) == Transparent ? 0 : c.At(x, y);
            const int right = c.At(x + 1, y) == Transparent ? 0 : c.At(x + 1, y);
            out.push_back(static_cast<std::uint8_t>((left << 4) | right));
        }
    }
    for (int y = Side - 1; y >= 0; --y) {
        std::uint32_t bits = 0;
        for (int x = 0; x < Side; ++x)
            if (c.At(x, y) == Transparent)
                bits |= 0x80000000u >> x;
        out.insert(out.end(),
                   { static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
                     static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits) });
    }
    return out;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const std::array<Canvas, 3> frames { Mailbox(), Envelope(), OpenEnvelope() };
    std::vector<std::uint8_t> out;
    Put32(out, static_cast<std::uint32_t>(frames.size()));
    for (const Canvas& frame : frames) {
        const std::vector<std::uint8_t> icon = IconFile(frame);
        Put32(out, static_cast<std::uint32_t>(icon.size()));
        out.insert(out.end(), icon.begin(), icon.end());
    }
    std::ofstream file(argv[1], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
