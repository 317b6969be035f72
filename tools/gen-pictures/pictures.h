// The program's pictures, drawn from code: the keyboard strip, the note and marker sprites, the
// application icon and the background pictures of media/images. Each picture comes out as the
// bytes of a finished .bmp or .ico file so that the generator and its test share one path.
//
// Everything here is deterministic: no clock, no library random numbers, only a fixed integer
// hash for sparkle and grain, so the same source always gives the same files.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace pictures {

using Bytes = std::vector<uint8_t>;

struct Rgb {
    uint8_t r, g, b;
};

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

// Palette-indexed picture, rows top-down (the encoders turn them bottom-up).
struct Indexed {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> index;
    Indexed(int w, int h, uint8_t fill) : width(w), height(h), index(static_cast<size_t>(w * h), fill) {}
    uint8_t& at(int x, int y) { return index[static_cast<size_t>(y * width + x)]; }
    uint8_t at(int x, int y) const { return index[static_cast<size_t>(y * width + x)]; }
};

// Full-colour picture with straight alpha, channels 0..1, rows top-down.
struct Color {
    double r = 0, g = 0, b = 0, a = 1;
};

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<Color> px;
    Canvas(int w, int h, Color fill) : width(w), height(h), px(static_cast<size_t>(w * h), fill) {}
    Color& at(int x, int y) { return px[static_cast<size_t>(y * width + x)]; }
    const Color& at(int x, int y) const { return px[static_cast<size_t>(y * width + x)]; }
};

// ---------------------------------------------------------------------------------------------
// Little-endian writing and the two file formats.

inline void put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

inline void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// Bytes of one row of `bits`-per-pixel pixels, padded to a whole number of 32-bit words.
inline uint32_t rowStride(int width, int bits) {
    return static_cast<uint32_t>(((width * bits + 31) / 32) * 4);
}

inline void putInfoHeader(Bytes& out, int width, int height, int bits, uint32_t imageBytes, uint32_t paletteSize) {
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));  // positive: rows stored bottom-up
    put16(out, 1);                              // planes
    put16(out, static_cast<uint32_t>(bits));
    put32(out, 0);  // no compression
    put32(out, imageBytes);
    put32(out, 2835);  // 72 dots per inch, in dots per metre
    put32(out, 2835);
    put32(out, paletteSize);
    put32(out, 0);
}

inline void putPalette(Bytes& out, const std::vector<Rgb>& palette) {
    for (const Rgb& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
}

// Packs palette indices into bottom-up rows of 1, 4 or 8 bits per pixel.
inline Bytes packIndexed(const Indexed& pic, int bits) {
    const uint32_t stride = rowStride(pic.width, bits);
    Bytes out(stride * static_cast<uint32_t>(pic.height), 0);
    const int perByte = 8 / bits;
    for (int row = 0; row < pic.height; ++row) {
        const int y = pic.height - 1 - row;
        uint8_t* dst = out.data() + stride * static_cast<uint32_t>(row);
        for (int x = 0; x < pic.width; ++x) {
            const int shift = 8 - bits * (x % perByte + 1);
            const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1u);
            dst[x / perByte] = static_cast<uint8_t>(dst[x / perByte] | ((pic.at(x, y) & mask) << shift));
        }
    }
    return out;
}

inline Bytes encodeBmpIndexed(const Indexed& pic, int bits, const std::vector<Rgb>& palette) {
    const Bytes pixels = packIndexed(pic, bits);
    const uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(palette.size());
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + static_cast<uint32_t>(pixels.size()));
    put32(out, 0);
    put32(out, offset);
    putInfoHeader(out, pic.width, pic.height, bits, static_cast<uint32_t>(pixels.size()),
                  static_cast<uint32_t>(palette.size()));
    putPalette(out, palette);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

inline uint8_t toByte(double v) {
    const double scaled = std::floor(v * 255.0 + 0.5);
    return static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0));
}

inline Bytes encodeBmp24(const Canvas& pic) {
    const uint32_t stride = rowStride(pic.width, 24);
    const uint32_t imageBytes = stride * static_cast<uint32_t>(pic.height);
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + imageBytes);
    put32(out, 0);
    put32(out, 54);
    putInfoHeader(out, pic.width, pic.height, 24, imageBytes, 0);
    for (int row = 0; row < pic.height; ++row) {
        const int y = pic.height - 1 - row;
        for (int x = 0; x < pic.width; ++x) {
            const Color& c = pic.at(x, y);
            out.push_back(toByte(c.b));
            out.push_back(toByte(c.g));
            out.push_back(toByte(c.r));
        }
        for (uint32_t pad = static_cast<uint32_t>(pic.width) * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

// One image of an icon file: either palette indices (4 or 8 bits) or 32-bit colour with alpha.
// `transparent` marks the pixels of the AND mask.
struct IconImage {
    int size = 0;
    int bits = 0;
    Bytes dib;  // BITMAPINFOHEADER, palette, colour rows, mask rows
};

inline Bytes packMask(int size, const std::vector<bool>& transparent) {
    const uint32_t stride = rowStride(size, 1);
    Bytes out(stride * static_cast<uint32_t>(size), 0);
    for (int row = 0; row < size; ++row) {
        const int y = size - 1 - row;
        for (int x = 0; x < size; ++x)
            if (transparent[static_cast<size_t>(y * size + x)])
                out[stride * static_cast<uint32_t>(row) + static_cast<uint32_t>(x / 8)] |=
                    static_cast<uint8_t>(0x80u >> (x % 8));
    }
    return out;
}

inline IconImage iconFromIndexed(const Indexed& pic, int bits, const std::vector<Rgb>& palette,
                                 const std::vector<bool>& transparent) {
    IconImage image{pic.width, bits, {}};
    const Bytes colour = packIndexed(pic, bits);
    const Bytes mask = packMask(pic.width, transparent);
    putInfoHeader(image.dib, pic.width, pic.height * 2, bits, static_cast<uint32_t>(colour.size() + mask.size()),
                  static_cast<uint32_t>(palette.size()));
    putPalette(image.dib, palette);
    image.dib.insert(image.dib.end(), colour.begin(), colour.end());
    image.dib.insert(image.dib.end(), mask.begin(), mask.end());
    return image;
}

inline IconImage iconFromCanvas(const Canvas& pic) {
    IconImage image{pic.width, 32, {}};
    Bytes colour;
    std::vector<bool> transparent(static_cast<size_t>(pic.width * pic.height));
    for (int row = 0; row < pic.height; ++row) {
        const int y = pic.height - 1 - row;
        for (int x = 0; x < pic.width; ++x) {
            const Color& c = pic.at(x, y);
            const uint8_t alpha = toByte(c.a);
            colour.push_back(alpha ? toByte(c.b) : 0);
            colour.push_back(alpha ? toByte(c.g) : 0);
            colour.push_back(alpha ? toByte(c.r) : 0);
            colour.push_back(alpha);
        }
    }
    for (int i = 0; i < pic.width * pic.height; ++i)
        transparent[static_cast<size_t>(i)] = toByte(pic.px[static_cast<size_t>(i)].a) == 0;
    const Bytes mask = packMask(pic.width, transparent);
    putInfoHeader(image.dib, pic.width, pic.height * 2, 32, static_cast<uint32_t>(colour.size() + mask.size()), 0);
    image.dib.insert(image.dib.end(), colour.begin(), colour.end());
    image.dib.insert(image.dib.end(), mask.begin(), mask.end());
    return image;
}

inline Bytes encodeIco(const std::vector<IconImage>& images) {
    Bytes out;
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const IconImage& image : images) {
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(static_cast<uint8_t>(image.size));
        out.push_back(image.bits == 4 ? 16 : 0);  // colours in the palette, 0 for 256 or more
        out.push_back(0);
        put16(out, 1);
        put16(out, static_cast<uint32_t>(image.bits));
        put32(out, static_cast<uint32_t>(image.dib.size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(image.dib.size());
    }
    for (const IconImage& image : images) out.insert(out.end(), image.dib.begin(), image.dib.end());
    return out;
}

// ---------------------------------------------------------------------------------------------
// Palettes.

inline std::vector<Rgb> blackWhitePalette() { return {{0, 0, 0}, {255, 255, 255}}; }

// The standard 16-colour palette in the system's order.
inline std::vector<Rgb> standardPalette16() {
    return {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
            {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
            {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
}

enum Colour16 : uint8_t {
    Black = 0,
    DarkRed = 1,
    DarkGreen = 2,
    Olive = 3,
    Navy = 4,
    Purple = 5,
    Teal = 6,
    Silver = 7,
    Grey = 8,
    Red = 9,
    Green = 10,
    Yellow = 11,
    Blue = 12,
    Magenta = 13,
    Cyan = 14,
    White = 15
};

// ---------------------------------------------------------------------------------------------
// Small drawing helpers.

inline double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

inline double smoothstep(double edge0, double edge1, double v) {
    const double t = clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

inline double mix(double a, double b, double t) { return a + (b - a) * t; }

inline Color mix(const Color& a, const Color& b, double t) {
    return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}

inline Color rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0, 1.0}; }

// Lays `c` over `base` with coverage `t`.
inline void blend(Color& base, const Color& c, double t) {
    t = clamp01(t);
    base.r = mix(base.r, c.r, t);
    base.g = mix(base.g, c.g, t);
    base.b = mix(base.b, c.b, t);
}

// Adds light (screen-like, but simply additive and clamped at the end).
inline void addLight(Color& base, const Color& c, double t) {
    base.r += c.r * t;
    base.g += c.g * t;
    base.b += c.b * t;
}

// Integer hash giving a repeatable value in [0, 1) for a pair of coordinates and a seed.
inline double hash01(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return static_cast<double>(h >> 8) / 16777216.0;
}

// Smooth value noise on a lattice of `cell` pixels.
inline double valueNoise(double x, double y, double cell, uint32_t seed) {
    const double fx = x / cell;
    const double fy = y / cell;
    const double ix = std::floor(fx);
    const double iy = std::floor(fy);
    const double tx = smoothstep(0.0, 1.0, fx - ix);
    const double ty = smoothstep(0.0, 1.0, fy - iy);
    const auto corner = [&](double dx, double dy) {
        return hash01(static_cast<uint32_t>(static_cast<int32_t>(ix + dx)),
                      static_cast<uint32_t>(static_cast<int32_t>(iy + dy)), seed);
    };
    return mix(mix(corner(0, 0), corner(1, 0), tx), mix(corner(0, 1), corner(1, 1), tx), ty);
}

// Several octaves of value noise, in [0, 1).
inline double fractalNoise(double x, double y, double cell, int octaves, uint32_t seed) {
    double sum = 0, weight = 0, amplitude = 1;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, cell, seed + static_cast<uint32_t>(i) * 101u);
        weight += amplitude;
        amplitude *= 0.5;
        cell *= 0.5;
    }
    return sum / weight;
}

// Fine film grain so that long gradients don't band once cut to 8 bits per channel.
inline void addGrain(Canvas& pic, double amount, uint32_t seed) {
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            const double n = (hash01(static_cast<uint32_t>(x), static_cast<uint32_t>(y), seed) - 0.5) * amount;
            Color& c = pic.at(x, y);
            c.r += n;
            c.g += n;
            c.b += n;
        }
}

// Fills pixels by a shape function sampled n × n times per pixel (coverage in 0..1).
template <typename Inside>
double coverage(int x, int y, int n, Inside inside) {
    int hits = 0;
    for (int sy = 0; sy < n; ++sy)
        for (int sx = 0; sx < n; ++sx)
            if (inside(x + (sx + 0.5) / n, y + (sy + 0.5) / n)) ++hits;
    return static_cast<double>(hits) / (n * n);
}

// ---------------------------------------------------------------------------------------------
// Bitmap 129: the keyboard strip.

constexpr int keyboardWidth = 640;
constexpr int keyboardHeight = 64;
constexpr int whiteKeyWidth = 32;
constexpr int separatorWidth = 2;
constexpr int blackKeyWidth = 18;
constexpr int blackKeyHeight = 36;

// A white key (counted from 0 at the left, the keyboard starting with C) has a black key at its
// right when it is a C, D, F, G or A.
inline bool hasBlackKeyAfter(int whiteKey) {
    const int degree = whiteKey % 7;  // 0 C, 1 D, 2 E, 3 F, 4 G, 5 A, 6 B
    return degree != 2 && degree != 6;
}

inline Indexed drawKeyboard() {
    Indexed pic(keyboardWidth, keyboardHeight, 1);  // white paper
    for (int key = 0; key < keyboardWidth / whiteKeyWidth; ++key) {
        const int left = key * whiteKeyWidth;
        for (int y = 0; y < keyboardHeight; ++y)
            for (int x = left; x < left + separatorWidth; ++x) pic.at(x, y) = 0;
        if (!hasBlackKeyAfter(key)) continue;
        // Centred on the separator that follows the key; the last one runs off the right edge.
        const int centre2 = 2 * (left + whiteKeyWidth) + separatorWidth;  // twice the centre
        const int blackLeft = (centre2 - blackKeyWidth) / 2;
        for (int y = 0; y < blackKeyHeight; ++y)
            for (int x = blackLeft; x < blackLeft + blackKeyWidth && x < keyboardWidth; ++x) pic.at(x, y) = 0;
    }
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Bitmap 130: the falling note, black ink on white paper.

inline Indexed drawNote() {
    Indexed pic(32, 64, 1);
    const double tilt = -0.38;  // radians: the head leans up to the right
    const double ct = std::cos(tilt), st = std::sin(tilt);
    const auto inHead = [&](double x, double y) {
        const double dx = x - 14.0, dy = y - 53.0;
        const double u = dx * ct + dy * st;
        const double v = -dx * st + dy * ct;
        return (u * u) / (13.6 * 13.6) + (v * v) / (8.4 * 8.4) <= 1.0;
    };
    // The stem leaves the head's right side and climbs to the top right corner, leaning right.
    const auto inStem = [](double x, double y) {
        if (y < 0.0 || y > 51.0) return false;
        const double left = 23.6 + (51.0 - y) / 51.0 * 4.4;
        return x >= left && x <= left + 4.0;
    };
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            if (coverage(x, y, 4, [&](double px, double py) { return inHead(px, py) || inStem(px, py); }) >= 0.5)
                pic.at(x, y) = 0;
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Bitmap 131: the pitch marker, a woven basket on black.

inline Indexed drawMarker() {
    Indexed pic(32, 32, Black);
    const int rim = 14;  // top row of the basket's body
    // Handles: two lines from the middle of the rim up to the top corners, two pixels thick.
    for (int y = 0; y < rim; ++y) {
        const double t = static_cast<double>(y) / rim;  // 0 at the top corners, 1 at the rim
        const int leftX = static_cast<int>(std::lround(t * 15.0));
        const int rightX = 31 - leftX;
        for (int dx = 0; dx < 2; ++dx) {
            pic.at(std::min(leftX + dx, 31), y) = Yellow;
            pic.at(std::max(rightX - dx, 0), y) = Yellow;
        }
    }
    // Body: a trapezoid 32 wide at the rim and 16 wide at the bottom, woven in bands of two rows:
    // blue bands checked with red, yellow bands checked with green, the checks offset band to band.
    for (int y = rim; y < 32; ++y) {
        const int inset = (y - rim) * 8 / (31 - rim);
        const int band = (y - rim) / 2;
        const bool blueBand = band % 2 == 0;
        for (int x = inset; x < 32 - inset; ++x) {
            const bool check = ((x / 2) + band) % 2 == 0;
            pic.at(x, y) = blueBand ? (check ? Red : Blue) : (check ? Green : Yellow);
        }
    }
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Icons 107 and 108: the plain application window.

struct WindowLayout {
    int left, top, right, bottom;  // outer edge, inclusive
    int frame;                     // grey frame thickness inside the outer edge
    int title;                     // title bar height
    int box;                       // caption box size
};

inline WindowLayout windowLayout(int size) {
    if (size == 16) return {0, 1, 15, 14, 2, 4, 2};
    if (size == 32) return {1, 3, 30, 28, 2, 7, 4};
    return {2, 5, 45, 42, 3, 10, 6};
}

// Draws the window picture. `rich` gives the title bar a gradient and the window a soft shadow
// (32-bit colour); otherwise only flat colours of the standard palette are used.
inline Canvas drawAppWindow(int size, bool rich) {
    Canvas pic(size, size, Color{0, 0, 0, 0});
    const WindowLayout w = windowLayout(size);
    const Color white = rgb(255, 255, 255), silver = rgb(192, 192, 192), grey = rgb(128, 128, 128),
                black = rgb(0, 0, 0), navy = rgb(0, 0, 128), sky = rgb(16, 132, 208);
    if (rich) {
        // Soft shadow below and to the right of the window.
        const double offset = size / 16.0 + 0.5;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const double dx = std::max({w.left + offset - (x + 0.5), (x + 0.5) - (w.right + 1 + offset), 0.0});
                const double dy = std::max({w.top + offset - (y + 0.5), (y + 0.5) - (w.bottom + 1 + offset), 0.0});
                const double d = std::sqrt(dx * dx + dy * dy);
                const double a = 0.38 * (1.0 - smoothstep(-0.5, offset - 0.5, d));
                if (a > 0.004) pic.at(x, y) = Color{0, 0, 0, a};
            }
    }
    for (int y = w.top; y <= w.bottom; ++y)
        for (int x = w.left; x <= w.right; ++x) {
            Color c = silver;
            // Raised edge: light at the top left, dark at the bottom right.
            if (x == w.right || y == w.bottom)
                c = black;
            else if (x == w.left || y == w.top)
                c = white;
            else if (size > 16 && (x == w.right - 1 || y == w.bottom - 1))
                c = grey;
            const int innerLeft = w.left + w.frame, innerRight = w.right - w.frame;
            const int innerTop = w.top + w.frame, innerBottom = w.bottom - w.frame;
            if (x >= innerLeft && x <= innerRight && y >= innerTop && y <= innerBottom) {
                if (y < innerTop + w.title) {
                    const double t = static_cast<double>(x - innerLeft) / std::max(1, innerRight - innerLeft);
                    c = rich ? mix(navy, sky, t) : navy;
                } else {
                    c = white;
                    // A sunken edge around the client area at the larger sizes.
                    if (size > 16 && (x == innerLeft || y == innerTop + w.title)) c = grey;
                }
            }
            pic.at(x, y) = c;
        }
    // Three caption boxes at the right of the title bar, one pixel from its edges.
    const int innerRight = w.right - w.frame, innerTop = w.top + w.frame;
    const int boxTop = innerTop + (w.title - w.box) / 2;
    for (int i = 0; i < 3; ++i) {
        const int boxRight = innerRight - 1 - i * (w.box + 1);
        const int boxLeft = boxRight - w.box + 1;
        for (int y = boxTop; y < boxTop + w.box; ++y)
            for (int x = boxLeft; x <= boxRight; ++x) {
                Color c = silver;
                if (w.box >= 4) {
                    if (x == boxRight || y == boxTop + w.box - 1)
                        c = black;
                    else if (x == boxLeft || y == boxTop)
                        c = white;
                }
                pic.at(x, y) = c;
            }
    }
    return pic;
}

// Maps a flat-coloured picture onto the nearest entries of a palette.
inline Indexed toIndexed(const Canvas& pic, const std::vector<Rgb>& palette, std::vector<bool>& transparent) {
    Indexed out(pic.width, pic.height, 0);
    transparent.assign(static_cast<size_t>(pic.width * pic.height), false);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            const Color& c = pic.at(x, y);
            if (c.a < 0.5) {
                transparent[static_cast<size_t>(y * pic.width + x)] = true;
                continue;
            }
            int best = 0;
            int bestDistance = 1 << 30;
            for (size_t i = 0; i < palette.size(); ++i) {
                const int dr = toByte(c.r) - palette[i].r, dg = toByte(c.g) - palette[i].g, db = toByte(c.b) - palette[i].b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    best = static_cast<int>(i);
                }
            }
            out.at(x, y) = static_cast<uint8_t>(best);
        }
    return out;
}

// 256 colours: the standard sixteen, then a ramp from navy to sky blue for the title bar.
inline std::vector<Rgb> iconPalette256() {
    std::vector<Rgb> palette = standardPalette16();
    for (int i = 0; i < 64; ++i) {
        const double t = i / 63.0;
        palette.push_back({toByte(mix(0.0, 16 / 255.0, t)), toByte(mix(0.0, 132 / 255.0, t)),
                           toByte(mix(128 / 255.0, 208 / 255.0, t))});
    }
    palette.resize(256, Rgb{0, 0, 0});
    return palette;
}

inline Bytes drawIcon() {
    std::vector<IconImage> images;
    std::vector<bool> transparent;
    for (int size : {32, 16}) {
        const Indexed pic = toIndexed(drawAppWindow(size, false), standardPalette16(), transparent);
        images.push_back(iconFromIndexed(pic, 4, standardPalette16(), transparent));
    }
    for (int size : {48, 32, 16}) {
        Canvas flat = drawAppWindow(size, true);
        for (Color& c : flat.px) c.a = c.a >= 0.99 ? 1.0 : 0.0;  // no half-transparent shadow here
        const Indexed pic = toIndexed(flat, iconPalette256(), transparent);
        images.push_back(iconFromIndexed(pic, 8, iconPalette256(), transparent));
    }
    for (int size : {48, 32, 16}) images.push_back(iconFromCanvas(drawAppWindow(size, true)));
    return encodeIco(images);
}

// ---------------------------------------------------------------------------------------------
// Background pictures.

constexpr int backgroundWidth = 640;
constexpr int backgroundHeight = 480;

// A calm night: deep blue sky, a faint band of stars, a glowing moon over dark hills.
inline Canvas drawNightSky() {
    const int W = backgroundWidth, H = backgroundHeight;
    Canvas pic(W, H, Color{});
    const Color top = rgb(4, 6, 24), middle = rgb(16, 22, 64), horizon = rgb(58, 44, 92);
    const double moonX = 486, moonY = 118, moonR = 38;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double t = static_cast<double>(y) / H;
            Color c = t < 0.55 ? mix(top, middle, smoothstep(0.0, 0.55, t)) : mix(middle, horizon, smoothstep(0.55, 1.0, t));
            // A faint diagonal band of milky light.
            const double across = (x * 0.45 + y * 0.9 - 300.0) / 120.0;
            const double band = std::exp(-across * across) * (0.35 + 0.65 * fractalNoise(x, y, 90, 4, 11));
            addLight(c, rgb(70, 70, 120), 0.28 * band);
            // The moon's halo.
            const double d = std::hypot(x - moonX, y - moonY);
            addLight(c, rgb(120, 130, 170), 0.55 * std::exp(-std::max(0.0, d - moonR) / 55.0));
            addLight(c, rgb(200, 200, 230), 0.25 * std::exp(-std::max(0.0, d - moonR) / 12.0));
            pic.at(x, y) = c;
        }
    // Stars: many faint ones, a few bright ones with a small cross of light, denser in the band.
    for (int i = 0; i < 900; ++i) {
        const double sx = hash01(static_cast<uint32_t>(i), 1, 21) * W;
        const double sy = hash01(static_cast<uint32_t>(i), 2, 21) * H * 0.78;
        const double across = (sx * 0.45 + sy * 0.9 - 300.0) / 120.0;
        if (hash01(static_cast<uint32_t>(i), 3, 21) > 0.35 + 0.65 * std::exp(-across * across)) continue;
        if (std::hypot(sx - moonX, sy - moonY) < moonR + 14) continue;
        const double pick = hash01(static_cast<uint32_t>(i), 4, 21);
        const double brightness = 0.25 + 0.75 * pick * pick * pick;
        const double radius = 0.55 + 1.1 * brightness;
        const double warm = hash01(static_cast<uint32_t>(i), 5, 21);
        const Color tint = warm < 0.2 ? rgb(255, 225, 190) : (warm > 0.8 ? rgb(190, 210, 255) : rgb(240, 240, 255));
        const bool bright = pick > 0.93;
        const int reach = bright ? 7 : 3;
        for (int y = static_cast<int>(sy) - reach; y <= static_cast<int>(sy) + reach; ++y)
            for (int x = static_cast<int>(sx) - reach; x <= static_cast<int>(sx) + reach; ++x) {
                if (x < 0 || y < 0 || x >= W || y >= H) continue;
                const double dx = x + 0.5 - sx, dy = y + 0.5 - sy;
                double light = std::exp(-(dx * dx + dy * dy) / (radius * radius)) * brightness;
                if (bright)
                    light += 0.35 * brightness *
                             (std::exp(-dy * dy * 4.0) * std::exp(-std::fabs(dx) / 2.2) +
                              std::exp(-dx * dx * 4.0) * std::exp(-std::fabs(dy) / 2.2));
                addLight(pic.at(x, y), tint, light);
            }
    }
    // The moon: a pale disc with soft grey maria and a gently shaded limb.
    for (int y = static_cast<int>(moonY - moonR) - 2; y <= static_cast<int>(moonY + moonR) + 2; ++y)
        for (int x = static_cast<int>(moonX - moonR) - 2; x <= static_cast<int>(moonX + moonR) + 2; ++x) {
            const double d = std::hypot(x + 0.5 - moonX, y + 0.5 - moonY);
            const double inside = clamp01(moonR + 0.5 - d);
            if (inside <= 0) continue;
            const double maria = smoothstep(0.45, 0.75, fractalNoise(x * 1.3, y, 18, 4, 31));
            const double limb = std::sqrt(std::max(0.0, 1.0 - (d * d) / (moonR * moonR)));
            Color surface = mix(rgb(250, 248, 232), rgb(206, 204, 194), 0.5 * maria);
            surface = mix(rgb(176, 176, 170), surface, 0.55 + 0.45 * limb);
            blend(pic.at(x, y), surface, inside);
        }
    // Two layers of hills, the far one hazy blue, the near one almost black.
    for (int x = 0; x < W; ++x) {
        const double far = H - 118 + 26 * std::sin(x / 97.0 + 1.3) + 14 * std::sin(x / 41.0 + 0.2) +
                           8 * (fractalNoise(x, 0, 60, 3, 41) - 0.5);
        const double near = H - 62 + 30 * std::sin(x / 131.0 - 0.6) + 10 * std::sin(x / 53.0 + 2.0) +
                            6 * (fractalNoise(x, 0, 40, 3, 43) - 0.5);
        for (int y = 0; y < H; ++y) {
            Color& c = pic.at(x, y);
            const double yf = y + 0.5;
            const double farCover = clamp01(yf - far + 0.5);
            if (farCover > 0) {
                const double depth = clamp01((yf - far) / 120.0);
                blend(c, mix(rgb(34, 36, 76), rgb(20, 20, 48), depth), farCover);
            }
            const double nearCover = clamp01(yf - near + 0.5);
            if (nearCover > 0) blend(c, mix(rgb(12, 12, 28), rgb(5, 5, 12), clamp01((yf - near) / 60.0)), nearCover);
        }
    }
    addGrain(pic, 2.2 / 255.0, 51);
    return pic;
}

// A theatre stage: red velvet curtains drawn aside, a scalloped pelmet with gold trim, a
// wooden floor and a warm spotlight pooling at centre stage.
inline Canvas drawStage() {
    const int W = backgroundWidth, H = backgroundHeight;
    Canvas pic(W, H, Color{});
    const double floorTop = 352;
    const double spotX = 320, spotY = 420;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            Color c;
            if (y < floorTop) {
                // Back wall: dark plum, a little lighter towards the middle.
                const double glow = std::exp(-std::pow((x - 320.0) / 260.0, 2) - std::pow((y - 300.0) / 220.0, 2));
                c = mix(rgb(14, 8, 16), rgb(40, 22, 36), glow);
                c = mix(c, rgb(10, 6, 12), 0.3 * fractalNoise(x, y, 70, 3, 61));
            } else {
                // Floor boards running towards the back, lit less with depth.
                const double depth = (y - floorTop) / (H - floorTop);  // 0 at the back, 1 at the front
                const double spread = 0.35 + 0.65 * depth;
                const double u = (x - 320.0) / spread;                  // board coordinate
                const double board = std::fmod(u + 10000.0, 46.0);
                const double seam = 1.0 - smoothstep(0.0, 1.4 / spread + 0.4, std::min(board, 46.0 - board));
                const double grain = fractalNoise(u * 0.6, y * 6.0, 40, 3, 63);
                const double tone = hash01(static_cast<uint32_t>(static_cast<int>(std::floor((u + 10000.0) / 46.0))), 0, 65);
                c = mix(rgb(70, 40, 22), rgb(108, 66, 36), 0.4 * grain + 0.35 * tone);
                c = mix(c, rgb(30, 16, 10), 0.7 * seam);
                c = mix(rgb(22, 12, 10), c, 0.35 + 0.65 * depth);
            }
            // Spotlight: a cone from above and a bright pool on the floor.
            const double coneHalf = 40.0 + (y / spotY) * 110.0;
            const double inCone = 1.0 - smoothstep(coneHalf * 0.7, coneHalf * 1.15, std::fabs(x - spotX));
            const double haze = 0.10 + 0.08 * fractalNoise(x, y, 50, 3, 67);
            addLight(c, rgb(255, 226, 170), inCone * haze * smoothstep(0.0, 200.0, y));
            const double pdx = (x - spotX) / 150.0, pdy = (y - spotY) / 42.0;
            const double pool = pdx * pdx + pdy * pdy;
            addLight(c, rgb(255, 220, 160), 0.32 * (1.0 - smoothstep(0.3, 1.1, pool)) + 0.3 * std::exp(-pool * 2.2));
            pic.at(x, y) = c;
        }
    // Side curtains: vertical folds, gathered towards the outside lower down.
    const auto curtain = [&](int x, int y, bool left) {
        const double xf = x + 0.5, yf = y + 0.5;
        const double edgeTop = 150.0, edgeBottom = 86.0;  // curtain width from the side
        const double t = clamp01((yf - 60.0) / (H - 60.0));
        const double tie = std::exp(-std::pow((yf - 300.0) / 70.0, 2));  // pulled in where it is tied back
        const double width = mix(edgeTop, edgeBottom, t) - 30.0 * tie;
        const double fromSide = left ? xf : W - xf;
        const double cover = clamp01(width - fromSide + 0.5);
        if (cover <= 0) return;
        const double u = fromSide / width;  // 0 at the side, 1 at the inner edge
        const double folds = 0.5 + 0.5 * std::cos(u * 7.5 * 3.14159265358979 + (left ? 0.0 : 1.1));
        const double sheen = std::pow(folds, 3.0);
        Color cloth = mix(rgb(70, 4, 12), rgb(168, 18, 30), folds);
        addLight(cloth, rgb(255, 120, 110), 0.18 * sheen);
        cloth = mix(cloth, rgb(30, 2, 6), 0.45 * smoothstep(0.75, 1.0, u));  // shaded inner edge
        cloth = mix(cloth, rgb(20, 0, 4), 0.25 * (1.0 - t));                  // darker up high
        blend(pic.at(x, y), cloth, cover);
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            curtain(x, y, true);
            curtain(x, y, false);
        }
    // Pelmet: a swagged valance across the top with a gold trim along its lower edge.
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < W; ++x) {
            const double xf = x + 0.5, yf = y + 0.5;
            const double swag = std::fabs(std::sin(xf / W * 5.0 * 3.14159265358979));
            const double edge = 62.0 + 22.0 * swag;
            const double cover = clamp01(edge - yf + 0.5);
            const double trim = clamp01(edge + 6.0 - yf + 0.5) - cover;
            if (cover > 0) {
                const double folds = 0.5 + 0.5 * std::cos(yf / 9.0 + swag * 4.0);
                Color cloth = mix(rgb(80, 6, 14), rgb(150, 16, 28), 0.3 + 0.7 * folds * swag);
                cloth = mix(cloth, rgb(30, 2, 6), 0.35 * (1.0 - yf / edge));
                blend(pic.at(x, y), cloth, cover);
            }
            if (trim > 0) {
                const double shine = 0.5 + 0.5 * std::sin(xf * 0.9 + yf * 0.7);
                blend(pic.at(x, y), mix(rgb(150, 110, 30), rgb(240, 200, 90), shine), trim);
            }
        }
    addGrain(pic, 2.0 / 255.0, 69);
    return pic;
}

// Dusk colours with soft floating lights and two gentle ribbons of light.
inline Canvas drawSoftLights() {
    const int W = backgroundWidth, H = backgroundHeight;
    Canvas pic(W, H, Color{});
    const Color a = rgb(22, 16, 58), b = rgb(78, 28, 92), d = rgb(10, 52, 78), e = rgb(150, 64, 70);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double u = static_cast<double>(x) / W, v = static_cast<double>(y) / H;
            Color c = mix(mix(a, b, smoothstep(0.0, 1.0, u)), mix(d, e, smoothstep(0.0, 1.0, u)), smoothstep(0.0, 1.0, v));
            // Two flowing ribbons of light.
            for (int k = 0; k < 2; ++k) {
                const double centre = H * (0.52 + 0.16 * k) + 46.0 * std::sin(x / (150.0 + 40.0 * k) + 1.7 * k) +
                                      18.0 * std::sin(x / 61.0 + 0.4 + k);
                const double dist = (y - centre) / (26.0 + 10.0 * k);
                addLight(c, k == 0 ? rgb(120, 160, 230) : rgb(230, 150, 170), 0.16 * std::exp(-dist * dist));
                addLight(c, rgb(255, 255, 255), 0.05 * std::exp(-dist * dist * 16.0));
            }
            pic.at(x, y) = c;
        }
    // Floating lights: out-of-focus discs with soft rims and a faint brighter edge.
    for (int i = 0; i < 42; ++i) {
        const double cx = hash01(static_cast<uint32_t>(i), 1, 71) * W;
        const double cy = hash01(static_cast<uint32_t>(i), 2, 71) * H;
        const double size = hash01(static_cast<uint32_t>(i), 3, 71);
        const double r = 8.0 + 54.0 * size * size;
        const double strength = 0.10 + 0.16 * hash01(static_cast<uint32_t>(i), 4, 71) * (1.2 - 0.6 * size);
        const double hue = hash01(static_cast<uint32_t>(i), 5, 71);
        const Color tint = hue < 0.33 ? rgb(255, 190, 150) : (hue < 0.66 ? rgb(170, 200, 255) : rgb(240, 170, 230));
        const double softness = 1.5 + r * 0.08;
        for (int y = std::max(0, static_cast<int>(cy - r - 4)); y <= std::min(H - 1, static_cast<int>(cy + r + 4)); ++y)
            for (int x = std::max(0, static_cast<int>(cx - r - 4)); x <= std::min(W - 1, static_cast<int>(cx + r + 4)); ++x) {
                const double dist = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
                const double disc = 1.0 - smoothstep(r - softness, r + softness, dist);
                if (disc <= 0) continue;
                const double rimLight = std::exp(-std::pow((dist - r + softness) / (softness + 1.0), 2));
                addLight(pic.at(x, y), tint, strength * disc * (0.75 + 0.35 * rimLight));
            }
    }
    // A faint vignette keeps the corners quiet.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double dx = (x - W / 2.0) / (W / 2.0), dy = (y - H / 2.0) / (H / 2.0);
            const double fade = 1.0 - 0.35 * smoothstep(0.5, 1.5, dx * dx + dy * dy);
            Color& c = pic.at(x, y);
            c.r *= fade;
            c.g *= fade;
            c.b *= fade;
        }
    addGrain(pic, 2.0 / 255.0, 73);
    return pic;
}

// ---------------------------------------------------------------------------------------------
// Every file the generator writes, with its place: "resources/..." or "images/...".

struct OutputFile {
    std::string folder;  // "resources" or "images"
    std::string name;
    Bytes bytes;
};

inline std::vector<OutputFile> allPictures() {
    std::vector<OutputFile> files;
    files.push_back({"resources", "keyboard.bmp", encodeBmpIndexed(drawKeyboard(), 1, blackWhitePalette())});
    files.push_back({"resources", "note.bmp", encodeBmpIndexed(drawNote(), 1, blackWhitePalette())});
    files.push_back({"resources", "marker.bmp", encodeBmpIndexed(drawMarker(), 4, standardPalette16())});
    files.push_back({"resources", "lyrivox.ico", drawIcon()});
    files.push_back({"images", "night_sky.bmp", encodeBmp24(drawNightSky())});
    files.push_back({"images", "stage_curtains.bmp", encodeBmp24(drawStage())});
    files.push_back({"images", "soft_lights.bmp", encodeBmp24(drawSoftLights())});
    return files;
}

}  // namespace pictures
