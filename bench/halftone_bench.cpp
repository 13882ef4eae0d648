// Halftoning and page turns on an A4 600-dpi grey page (4960 x 7016), against memcpy of the same
// page as the floor. Run in Release: ./halftone_bench
#include "common/dialect.h"
#include "common/rotate.h"
#include "common/model_catalogue.h"
#include "imaging/halftone.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr uint32_t kW = 4960, kH = 7016;

// A page with text-like content: white, grey ramps and random noise, so no branch is favoured.
const std::vector<unsigned char> &Page() {
    static const std::vector<unsigned char> page = [] {
        std::vector<unsigned char> p(size_t(kW) * kH);
        std::mt19937 rng(1);
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < kW; ++x) {
                unsigned char v = static_cast<unsigned char>(x * 255 / kW);
                if ((y / 512) % 3 == 1) v = static_cast<unsigned char>(rng());
                if ((y / 512) % 3 == 2) v = 255;
                p[size_t(y) * kW + x] = v;
            }
        return p;
    }();
    return page;
}

void SetBytes(benchmark::State &state) {
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}

void BM_Memcpy(benchmark::State &state) {
    const auto &src = Page();
    std::vector<unsigned char> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

// args: platform, 1200-dpi option, new (supercell) screens
void BM_HalftoneDither(benchmark::State &state) {
    const int platform = int(state.range(0)), dpi = int(state.range(1));
    const bool newScreens = state.range(2) != 0;
    const auto &src = Page();
    const bool twoBit = platform == PLATFORM_M && dpi == 1;
    std::vector<unsigned char> out(src.size() / (twoBit ? 4 : 8));
    int64_t dots = 0;
    for (auto _ : state) {
        // the caller hands over a zeroed bitmap each page; clearing it is part of the cost
        std::memset(out.data(), 0, out.size());
        dots = HalftoneDither(src.data(), kW, kH, out.data(), kW,
                              ScreenOf(platform, newScreens, dpi == 1));
        if (dots < 0) state.SkipWithError("HalftoneDither refused the page");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state);
    state.counters["dots"] = double(dots);
}

// What a fresh page-sized work buffer costs before any work: allocation and first touch of
// every page (the kernel maps and clears them). Rotate90 pays this once per call.
void BM_FreshBufferFirstTouch(benchmark::State &state) {
    const size_t n = size_t(kW) * kH;
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> buf(new unsigned char[n]);
        for (size_t i = 0; i < n; i += 4096)
            buf[i] = 1;
        benchmark::DoNotOptimize(buf.get());
    }
    SetBytes(state);
}

void BM_Rotate180(benchmark::State &state) {
    std::vector<unsigned char> img = Page();
    for (auto _ : state) {
        Rotate180(img.data(), kW, kH);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

void BM_Rotate90(benchmark::State &state) {
    std::vector<unsigned char> img = Page();
    uint32_t w = kW, h = kH;
    for (auto _ : state) {
        Rotate90(img.data(), w, h);
        std::swap(w, h);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HalftoneDither)
    ->ArgNames({"platform", "dpi1200", "new"})
    ->Args({PLATFORM_C, 0, 0})
    ->Args({PLATFORM_C, 1, 0})
    ->Args({PLATFORM_Z, 0, 0})
    ->Args({PLATFORM_Z, 1, 0})
    ->Args({PLATFORM_Z, 0, 1})
    ->Args({PLATFORM_M, 0, 0})
    ->Args({PLATFORM_M, 1, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FreshBufferFirstTouch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
