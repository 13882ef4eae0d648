// Synthetic 1-bit pages for the JBIG tests: white, black, noise, text-like and halftone-like,
// deterministic for a given seed. Lines are width / 8 bytes, leftmost pixel in the MSB, 1 = black.
// Also a node allocator for the encoder that runs out.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

struct TestBitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> data;

    size_t bpl() const { return width / 8; }
    void set(uint32_t x, uint32_t y) { data[y * bpl() + x / 8] |= uint8_t(0x80 >> (x % 8)); }
    // Blackens the rectangle [x0, x1) x [y0, y1), clipped to the page.
    void fill(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
        for (uint32_t y = y0; y < y1 && y < height; ++y)
            for (uint32_t x = x0; x < x1 && x < width; ++x)
                set(x, y);
    }
};

enum class PageKind { White, Black, Noise, SparseNoise, Text, Halftone, Bars };

inline const char *PageKindName(PageKind kind) {
    switch (kind) {
    case PageKind::White:
        return "white";
    case PageKind::Black:
        return "black";
    case PageKind::Noise:
        return "noise";
    case PageKind::SparseNoise:
        return "sparse";
    case PageKind::Text:
        return "text";
    case PageKind::Halftone:
        return "halftone";
    case PageKind::Bars:
        return "bars";
    }
    return "?";
}

// Lines of glyph-like strokes between white gaps, words separated by spaces.
inline void DrawText(TestBitmap &b, std::mt19937 &rng, uint32_t scale) {
    const uint32_t lineH = 12 * scale, gap = 8 * scale, margin = 4 * scale;
    std::uniform_int_distribution<uint32_t> glyphW(4 * scale, 9 * scale), strokes(2, 4),
        wordLen(2, 8), coin(0, 99);
    const uint32_t right = b.width > 2 * margin + 10 * scale ? b.width - margin - 10 * scale : 0;
    for (uint32_t top = margin; top + lineH < b.height; top += lineH + gap) {
        uint32_t x = margin;
        while (x < right) {
            const uint32_t n = wordLen(rng);
            for (uint32_t g = 0; g < n && x < right; ++g) {
                const uint32_t w = glyphW(rng);
                const uint32_t asc = coin(rng) < 30 ? 0 : lineH / 3;
                for (uint32_t s = strokes(rng); s > 0; --s) {
                    const uint32_t t = std::max<uint32_t>(1, scale);
                    if (coin(rng) < 50) { // vertical stem
                        const uint32_t sx = x + rng() % w;
                        b.fill(sx, top + asc, sx + t, top + lineH);
                    } else { // horizontal bar
                        const uint32_t sy = top + asc + rng() % (lineH - asc);
                        b.fill(x, sy, x + w, sy + t);
                    }
                }
                x += w + scale;
            }
            x += 4 * scale;
        }
    }
}

// A smooth grey image screened with an 8 x 8 clustered dot.
inline void DrawHalftone(TestBitmap &b, uint32_t seed) {
    const double fx = 0.011 + 0.001 * (seed % 7), fy = 0.017 + 0.001 * (seed % 5);
    for (uint32_t y = 0; y < b.height; ++y)
        for (uint32_t x = 0; x < b.width; ++x) {
            const double grey = 0.5 + 0.45 * std::sin(x * fx) * std::cos(y * fy);
            const double spot = 0.5 + 0.25 * (std::cos(2 * M_PI * (x % 8) / 8.0) +
                                              std::cos(2 * M_PI * (y % 8) / 8.0));
            if (spot < grey) b.set(x, y);
        }
}

// Builds a page of the given kind; scale sizes the glyphs of text pages.
inline TestBitmap MakePage(PageKind kind, uint32_t width, uint32_t height, uint32_t seed,
                           uint32_t scale = 2) {
    TestBitmap b;
    b.width = width;
    b.height = height;
    b.data.assign(b.bpl() * height, 0);
    std::mt19937 rng(seed);
    switch (kind) {
    case PageKind::White:
        break;
    case PageKind::Black:
        std::fill(b.data.begin(), b.data.end(), 0xFF);
        break;
    case PageKind::Noise:
        for (auto &byte : b.data)
            byte = uint8_t(rng());
        break;
    case PageKind::SparseNoise:
        for (uint32_t i = 0; i < width * height / 50; ++i)
            b.set(rng() % width, rng() % height);
        break;
    case PageKind::Text:
        DrawText(b, rng, scale);
        break;
    case PageKind::Halftone:
        DrawHalftone(b, seed);
        break;
    case PageKind::Bars: // repeated lines, black blocks touching both edges
        for (uint32_t y = 0; y < height; y += 16)
            b.fill(0, y, width, y + 3 + y % 5);
        b.fill(width - std::min<uint32_t>(width, 13), 0, width, height / 2);
        b.fill(0, height / 3, std::min<uint32_t>(width, 21), height);
        break;
    }
    return b;
}

// Node allocator for the encoder: gives gNodeAllocsLeft blocks, then none.
inline int gNodeAllocsLeft = 0;
inline void *LimitedNodeAlloc(size_t size) {
    return gNodeAllocsLeft-- > 0 ? std::malloc(size) : nullptr;
}
