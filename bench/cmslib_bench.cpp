// Throughput of the colour library on an A4 page at 600 dpi (4960 x 7016 grey samples), at 1 and 2
// bits per pixel, beside a plain memcpy of the grey page. The library is loaded with dlopen as the
// filter loads it; its diagnostics go to /dev/null while the benchmarks run. After the runs the
// time of each page is printed as a multiple of the memcpy time.
#include "cmslib/cms_records.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef KELVRA_CMSLIB_BIN
#error "the colour library benchmark needs KELVRA_CMSLIB_BIN"
#endif

namespace {

constexpr uint16_t kWidth = 4960;
constexpr uint16_t kHeight = 7016;

PFN_GDIPrintCMSmain gPrint = nullptr;

// A page of mixed content: white margins, a horizontal grey ramp and a band of black text-like
// stripes, so that every ink value and both screens' levels occur.
const std::vector<uint8_t> &GreyPage() {
    static const std::vector<uint8_t> page = [] {
        std::vector<uint8_t> p(size_t{kWidth} * kHeight, 0xFF);
        for (size_t i = 200; i + 200 < kHeight; ++i)
            for (size_t j = 200; j + 200 < kWidth; ++j) {
                if (i < kHeight / 2)
                    p[i * kWidth + j] = static_cast<uint8_t>(j * 255 / kWidth);
                else if ((i / 24) % 3 != 0 && (j / 7) % 5 != 0)
                    p[i * kWidth + j] = 0x00;
            }
        return p;
    }();
    return page;
}

void BM_MemcpyGreyPage(benchmark::State &state) {
    const std::vector<uint8_t> &grey = GreyPage();
    std::vector<uint8_t> copy(grey.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), grey.data(), grey.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * grey.size()));
}

// One page through GDIPrintCMSmain at the depth given by the argument (0: 1 bit, 1: 2 bits).
void BM_CmsPage(benchmark::State &state) {
    const std::vector<uint8_t> &grey = GreyPage();
    const auto bitMode = static_cast<uint8_t>(state.range(0));
    std::vector<uint8_t> bitmap(size_t{kWidth} * (1u << bitMode) / 8 * kHeight);
    CMS_TRANSFER_SRC src{};
    CMS_SETTINGS settings{};
    CMS_TRANSFER_DST dst{};
    src.cbStructSize = 36;
    src.ColorSrcData = const_cast<uint8_t *>(grey.data());
    src.cbSize = static_cast<int32_t>(grey.size());
    src.InputDataWidth = kWidth;
    src.InputDataHeight = kHeight;
    src.InputDataLineByte = kWidth;
    settings.cbStructSize = 18;
    settings.BitMode = bitMode;
    settings.TonerDensityLevel = 3;
    dst.cbStructSize = 35;
    dst.ColorDstData = bitmap.data();
    for (auto _ : state) {
        dst.cbSize = static_cast<int32_t>(bitmap.size());
        if (gPrint(&src, &settings, &dst) != 0) state.SkipWithError("GDIPrintCMSmain failed");
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * grey.size()));
}

BENCHMARK(BM_MemcpyGreyPage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CmsPage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Console output plus the real time of every run, kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] =
                    run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv) {
    void *lib = dlopen(KELVRA_CMSLIB_BIN, RTLD_LAZY);
    if (lib == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", KELVRA_CMSLIB_BIN, dlerror());
        return 1;
    }
    gPrint = reinterpret_cast<PFN_GDIPrintCMSmain>(dlsym(lib, "GDIPrintCMSmain"));
    if (gPrint == nullptr) {
        std::fprintf(stderr, "GDIPrintCMSmain not found\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    GreyPage();

    const int savedStderr = dup(STDERR_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    dup2(savedStderr, STDERR_FILENO);
    close(devNull);
    close(savedStderr);

    const auto memcpyTime = reporter.times.find("BM_MemcpyGreyPage/real_time");
    if (memcpyTime != reporter.times.end() && memcpyTime->second > 0)
        for (const auto &[name, seconds] : reporter.times)
            std::printf("%-32s %8.2f ms  %5.2f x memcpy\n", name.c_str(), seconds * 1e3,
                        seconds / memcpyTime->second);
    benchmark::Shutdown();
    dlclose(lib);
    return 0;
}
