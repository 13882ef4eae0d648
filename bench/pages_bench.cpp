// The page components on real pages, side by side with their references: the JBIG encoder
// against JBIG-KIT's single-layer encoder on the bitmaps the filter made (PBM), and halftoning,
// the page turns and the colour library against a memcpy of the same grey page (CUPS raster,
// one page). The pages are named on the command line:
//   pages_bench [benchmark flags] --pbm=NAME=FILE ... --raster=NAME=FILE ... [--cmslib=SO]
// bench/run.sh renders the pages, runs this with JSON output and puts the results in its table.
#include <benchmark/benchmark.h>
#include <cups/raster.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" { // JBIG-KIT's headers carry no C++ linkage of their own
#include <jbig85.h>
}

#include "cmslib/cms_records.h"
#include "common/dialect.h"
#include "common/rotate.h"
#include "common/model_catalogue.h"
#include "imaging/halftone.h"
#include "jbig/kelvra_compress.h"

namespace {

constexpr uint32_t kStripe = 256; // stripe height of both encoders (pbmtojbg85 -s 256)

struct Bitmap {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> data;
};

struct Grey {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> data;
};

PFN_GDIPrintCMSmain gCms = nullptr;

// Reads a P4 PBM (no comments); false on any other file.
bool ReadPbm(const std::string &path, Bitmap &bm) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> bm.width >> bm.height;
    if (!in || magic != "P4" || bm.width % 8 != 0) return false;
    in.get();
    bm.data.resize(size_t{bm.width} / 8 * bm.height);
    in.read(reinterpret_cast<char *>(bm.data.data()), static_cast<std::streamsize>(bm.data.size()));
    return static_cast<size_t>(in.gcount()) == bm.data.size();
}

// Reads the first page of an 8-bit grey CUPS raster file.
bool ReadRaster(const std::string &path, Grey &g) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    bool ok = ras && cupsRasterReadHeader2(ras, &h) && h.cupsBitsPerPixel == 8 &&
              h.cupsBytesPerLine == h.cupsWidth;
    if (ok) {
        g.width = h.cupsWidth;
        g.height = h.cupsHeight;
        g.data.resize(size_t{g.width} * g.height);
        for (uint32_t y = 0; y < g.height && ok; ++y)
            ok = cupsRasterReadPixels(ras, g.data.data() + size_t{y} * g.width, g.width) == g.width;
    }
    if (ras) cupsRasterClose(ras);
    close(fd);
    return ok;
}

void Collect(const unsigned char *buffer, size_t len, void *file) {
    auto *out = static_cast<std::vector<uint8_t> *>(file);
    out->insert(out->end(), buffer, buffer + len);
}

void CollectJbg(unsigned char *buffer, size_t len, void *file) {
    Collect(buffer, len, file);
}

void SetPageBytes(benchmark::State &state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void Encoder(benchmark::State &state, const Bitmap *bm) {
    std::vector<uint8_t> out;
    out.reserve(bm->data.size());
    for (auto _ : state) {
        out.clear();
        if (!kelvra_compress(bm->width, bm->height, kStripe, bm->data.data(), &out, Collect))
            state.SkipWithError("kelvra_compress failed");
        benchmark::DoNotOptimize(out.data());
    }
    SetPageBytes(state, bm->data.size());
    state.counters["out_bytes"] = static_cast<double>(out.size());
}

void Jbg85(benchmark::State &state, const Bitmap *bm) {
    std::vector<uint8_t> out;
    out.reserve(bm->data.size());
    auto *data = const_cast<unsigned char *>(bm->data.data());
    const size_t bpl = bm->width / 8;
    for (auto _ : state) {
        out.clear();
        jbg85_enc_state s;
        jbg85_enc_init(&s, bm->width, bm->height, CollectJbg, &out);
        jbg85_enc_options(&s, JBG_TPBON | JBG_LRLTWO, kStripe, 0);
        for (uint32_t y = 0; y < bm->height; ++y) {
            unsigned char *line = data + size_t{y} * bpl;
            jbg85_enc_lineout(&s, line, y > 0 ? line - bpl : nullptr,
                              y > 1 ? line - 2 * bpl : nullptr);
        }
        benchmark::DoNotOptimize(out.data());
    }
    SetPageBytes(state, bm->data.size());
    state.counters["out_bytes"] = static_cast<double>(out.size() - 20); // less the 20-byte header
}

void Memcpy(benchmark::State &state, const Grey *g) {
    std::vector<uint8_t> dst(g->data.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), g->data.data(), g->data.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetPageBytes(state, g->data.size());
}

// The filter's own screen, platform C at 600 dpi, 1 bit, into a bitmap cleared per page as the
// filter hands it over.
void Halftone(benchmark::State &state, const Grey *g) {
    std::vector<uint8_t> out(g->data.size() / 8);
    for (auto _ : state) {
        std::memset(out.data(), 0, out.size());
        if (HalftoneDither(g->data.data(), g->width, g->height, out.data(), g->width,
                           ScreenOf(PLATFORM_C, false, false)) < 0)
            state.SkipWithError("HalftoneDither refused the page");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetPageBytes(state, g->data.size());
}

void Turn180(benchmark::State &state, const Grey *g) {
    std::vector<uint8_t> img = g->data;
    for (auto _ : state) {
        Rotate180(img.data(), g->width, g->height);
        benchmark::ClobberMemory();
    }
    SetPageBytes(state, g->data.size());
}

void Turn90(benchmark::State &state, const Grey *g) {
    std::vector<uint8_t> img = g->data;
    uint32_t w = g->width, h = g->height;
    for (auto _ : state) {
        Rotate90(img.data(), w, h);
        std::swap(w, h);
        benchmark::ClobberMemory();
    }
    SetPageBytes(state, g->data.size());
}

// The colour library on the grey page at 1 bit (range 0) or 2 bits (range 1) per pixel. The
// library takes widths that are multiples of 8: the lines keep their length, the area is cut
// to the last whole byte of pixels (at most 7 pixels less than the page).
void Cms(benchmark::State &state, const Grey *g) {
    const auto bitMode = static_cast<uint8_t>(state.range(0));
    const uint32_t width = g->width / 8 * 8;
    if (width == 0 || width > 0xFFFF || g->height > 0xFFFF) {
        state.SkipWithError("page size outside the library's records");
        return;
    }
    std::vector<uint8_t> bitmap(size_t{width} * (1u << bitMode) / 8 * g->height + 64);
    CMS_TRANSFER_SRC src{};
    CMS_SETTINGS settings{};
    CMS_TRANSFER_DST dst{};
    src.cbStructSize = 36;
    src.ColorSrcData = const_cast<uint8_t *>(g->data.data());
    src.cbSize = static_cast<int32_t>(g->data.size());
    src.InputDataWidth = static_cast<uint16_t>(width);
    src.InputDataHeight = static_cast<uint16_t>(g->height);
    src.InputDataLineByte = static_cast<uint16_t>(g->width);
    settings.cbStructSize = 18;
    settings.BitMode = bitMode;
    settings.TonerDensityLevel = 3;
    dst.cbStructSize = 35;
    dst.ColorDstData = bitmap.data();
    for (auto _ : state) {
        dst.cbSize = static_cast<int32_t>(bitmap.size());
        if (gCms(&src, &settings, &dst) != 0) state.SkipWithError("GDIPrintCMSmain failed");
        benchmark::DoNotOptimize(bitmap.data());
        benchmark::ClobberMemory();
    }
    SetPageBytes(state, g->data.size());
}

// Splits "NAME=FILE" after the prefix.
bool NamedFile(const char *arg, const char *prefix, std::string &name, std::string &file) {
    const size_t n = std::strlen(prefix);
    if (std::strncmp(arg, prefix, n) != 0) return false;
    const std::string rest = arg + n;
    const size_t eq = rest.find('=');
    if (eq == std::string::npos) return false;
    name = rest.substr(0, eq);
    file = rest.substr(eq + 1);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    static std::vector<std::pair<std::string, Bitmap>> bitmaps;
    static std::vector<std::pair<std::string, Grey>> greys;
    bitmaps.reserve(static_cast<size_t>(argc));
    greys.reserve(static_cast<size_t>(argc));
    void *lib = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string name, file;
        if (NamedFile(argv[i], "--pbm=", name, file)) {
            Bitmap bm;
            if (!ReadPbm(file, bm)) {
                std::fprintf(stderr, "pages_bench: cannot read PBM %s\n", file.c_str());
                return 2;
            }
            bitmaps.emplace_back(name, std::move(bm));
        } else if (NamedFile(argv[i], "--raster=", name, file)) {
            Grey g;
            if (!ReadRaster(file, g)) {
                std::fprintf(stderr, "pages_bench: cannot read raster %s\n", file.c_str());
                return 2;
            }
            greys.emplace_back(name, std::move(g));
        } else if (std::strncmp(argv[i], "--cmslib=", 9) == 0) {
            lib = dlopen(argv[i] + 9, RTLD_NOW);
            if (lib) gCms = reinterpret_cast<PFN_GDIPrintCMSmain>(dlsym(lib, "GDIPrintCMSmain"));
            if (!gCms) {
                std::fprintf(stderr, "pages_bench: cannot load %s\n", argv[i] + 9);
                return 2;
            }
        } else {
            std::fprintf(stderr, "pages_bench: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    for (auto &[name, bm] : bitmaps) {
        benchmark::RegisterBenchmark(("encoder/" + name).c_str(), Encoder, &bm)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("jbg85/" + name).c_str(), Jbg85, &bm)
            ->Unit(benchmark::kMillisecond);
    }
    for (auto &[name, g] : greys) {
        const Grey *pg = &g;
        benchmark::RegisterBenchmark(("memcpy/" + name).c_str(), Memcpy, pg)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("halftone/" + name).c_str(), Halftone, pg)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("rotate180/" + name).c_str(), Turn180, pg)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("rotate90/" + name).c_str(), Turn90, pg)
            ->Unit(benchmark::kMillisecond);
        if (gCms)
            benchmark::RegisterBenchmark(("cmslib/" + name).c_str(), Cms, pg)
                ->Arg(0)
                ->Arg(1)
                ->Unit(benchmark::kMillisecond);
    }
    // the colour library writes diagnostic lines per page
    const int savedErr = dup(STDERR_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    benchmark::RunSpecifiedBenchmarks();
    if (savedErr >= 0) dup2(savedErr, STDERR_FILENO);
    benchmark::Shutdown();
    if (lib) dlclose(lib);
    return 0;
}
