// Throughput of the JBIG encoder against JBIG-KIT's single-layer encoder (jbg85_enc, same
// options: two-line template, typical prediction, no AT moves, same stripe height) on A4 pages:
// text, a halftoned photo and a nearly white page at 600 dpi, and text at 1200 dpi.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" { // JBIG-KIT's headers carry no C++ linkage of their own
#include <jbig85.h>
}

#include "jbig/kelvra_compress.h"

namespace {

struct Page {
    uint32_t width, height, l0;
    std::vector<uint8_t> data;
    size_t bpl() const { return width / 8; }
    void fill(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
        for (uint32_t y = y0; y < std::min(y1, height); ++y)
            for (uint32_t x = x0; x < std::min(x1, width); ++x)
                data[y * bpl() + x / 8] |= uint8_t(0x80 >> (x % 8));
    }
};

// Lines of text between top and bottom: glyphs of strokes, words, paragraph gaps; scale 1 is
// about 10 pt at 300 dpi.
void DrawText(Page &p, uint32_t top, uint32_t bottom, uint32_t scale, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t lineH = 30 * scale, gap = 12 * scale, margin = 150 * scale;
    const uint32_t stroke = 3 * scale;
    for (uint32_t y = top, n = 0; y + lineH < bottom; y += lineH + gap, ++n) {
        if (n % 9 == 8) continue; // paragraph break
        const uint32_t right = p.width - margin - (rng() % 4 == 0 ? p.width / 3 : 0);
        for (uint32_t x = margin; x + 25 * scale < right;) {
            for (uint32_t g = 2 + rng() % 7; g > 0; --g) {
                const uint32_t w = (12 + rng() % 10) * scale;
                const uint32_t asc = rng() % 3 == 0 ? 0 : lineH / 3;
                const uint32_t desc = rng() % 6 == 0 ? lineH : lineH * 4 / 5;
                for (uint32_t s = 2 + rng() % 3; s > 0; --s) {
                    if (rng() % 2) {
                        const uint32_t sx = x + rng() % (w - stroke);
                        p.fill(sx, y + asc, sx + stroke, y + desc);
                    } else {
                        const uint32_t sy = y + asc + rng() % (desc - asc - stroke);
                        p.fill(x, sy, x + w, sy + stroke);
                    }
                }
                x += w + 3 * scale;
            }
            x += 10 * scale;
        }
    }
}

// A smooth photo-like grey field with fine detail, screened with a 45-degree clustered dot.
void DrawPhoto(Page &p) {
    constexpr int kCell = 12;
    double screen[kCell][kCell];
    for (int j = 0; j < kCell; ++j)
        for (int i = 0; i < kCell; ++i) {
            const double u = 2 * M_PI * (i + j) / kCell, v = 2 * M_PI * (i - j) / kCell;
            screen[j][i] = 0.5 + 0.25 * (std::cos(u) + std::cos(v));
        }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-0.04, 0.04);
    std::vector<double> cx(p.width), fx(p.width);
    for (uint32_t x = 0; x < p.width; ++x) {
        cx[x] = std::sin(x * 0.0021);
        fx[x] = std::sin(x * 0.031);
    }
    for (uint32_t y = 0; y < p.height; ++y) {
        const double cy = std::cos(y * 0.0017), fy = std::cos(y * 0.023);
        uint8_t *line = &p.data[y * p.bpl()];
        for (uint32_t x = 0; x < p.width; ++x) {
            const double grey = 0.5 + 0.35 * cx[x] * cy + 0.1 * fx[x] * fy + noise(rng);
            if (screen[y % kCell][x % kCell] < grey) line[x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    }
}

enum PageId { kText600, kPhoto600, kWhite600, kText1200 };

// Builds each page once.
const Page &GetPage(PageId id) {
    static std::map<PageId, Page> pages;
    auto it = pages.find(id);
    if (it != pages.end()) return it->second;
    const bool hi = id == kText1200;
    Page p{hi ? 9920u : 4960u, hi ? 14032u : 7016u, hi ? 384u : 768u, {}};
    p.data.assign(p.bpl() * p.height, 0);
    switch (id) {
    case kText600:
        DrawText(p, 300, p.height - 300, 2, 1);
        break;
    case kPhoto600:
        DrawPhoto(p);
        break;
    case kWhite600: // a header line and a page number
        DrawText(p, 300, 380, 2, 2);
        DrawText(p, p.height - 380, p.height - 300, 2, 3);
        break;
    case kText1200:
        DrawText(p, 600, p.height - 600, 4, 4);
        break;
    }
    return pages.emplace(id, std::move(p)).first->second;
}

void Collect(const unsigned char *buffer, size_t len, void *file) {
    auto *out = static_cast<std::vector<uint8_t> *>(file);
    out->insert(out->end(), buffer, buffer + len);
}

void CollectJbg(unsigned char *buffer, size_t len, void *file) {
    Collect(buffer, len, file);
}

void BM_Kelvra(benchmark::State &state, PageId id) {
    const Page &p = GetPage(id);
    std::vector<uint8_t> out;
    out.reserve(p.data.size());
    for (auto _ : state) {
        out.clear();
        if (!kelvra_compress(p.width, p.height, p.l0, p.data.data(), &out, Collect))
            state.SkipWithError("kelvra_compress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.data.size()));
    state.counters["out_bytes"] = double(out.size());
}

void BM_Jbg85(benchmark::State &state, PageId id) {
    const Page &p = GetPage(id);
    std::vector<uint8_t> out;
    out.reserve(p.data.size());
    auto *data = const_cast<unsigned char *>(p.data.data());
    for (auto _ : state) {
        out.clear();
        jbg85_enc_state s;
        jbg85_enc_init(&s, p.width, p.height, CollectJbg, &out);
        jbg85_enc_options(&s, JBG_TPBON | JBG_LRLTWO, p.l0, 0);
        for (uint32_t y = 0; y < p.height; ++y) {
            unsigned char *line = data + size_t{y} * p.bpl();
            jbg85_enc_lineout(&s, line, y > 0 ? line - p.bpl() : nullptr,
                              y > 1 ? line - 2 * p.bpl() : nullptr);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.data.size()));
    state.counters["out_bytes"] = double(out.size() - 20); // without the 20-byte header
}

BENCHMARK_CAPTURE(BM_Kelvra, text600, kText600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Jbg85, text600, kText600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Kelvra, photo600, kPhoto600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Jbg85, photo600, kPhoto600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Kelvra, white600, kWhite600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Jbg85, white600, kWhite600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Kelvra, text1200, kText1200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Jbg85, text1200, kText1200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
