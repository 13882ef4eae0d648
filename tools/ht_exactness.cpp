// Compares Ghostscript's 1-bit halftoning with the driver's own: reads an 8-bit and a 1-bit CUPS
// raster of the same pages (white 1 or 255), dithers the 8-bit pages with a screen and prints,
// per page, the pixels that differ and the grey levels they had.
#include <cups/raster.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "imaging/gs_screen.h"
#include "imaging/halftone.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// The screen named on the command line.
bool ParseScreen(const std::string &name, ScreenSpec &spec) {
    static const std::map<std::string, ScreenMatrix> kNames = {
        {"600", ScreenMatrix::Classic600},          {"1200c", ScreenMatrix::Classic1200C},
        {"1200z", ScreenMatrix::Classic1200Z},      {"super600", ScreenMatrix::Supercell600},
        {"super1200", ScreenMatrix::Supercell1200},
    };
    const auto it = kNames.find(name);
    if (it == kNames.end()) return false;
    spec = {it->second, 1, true};
    return true;
}

// One page of a raster stream: its header and all its lines.
bool ReadPage(cups_raster_t *ras, cups_page_header2_t &h, std::vector<unsigned char> &data) {
    if (!cupsRasterReadHeader2(ras, &h)) return false;
    data.assign(static_cast<size_t>(h.cupsBytesPerLine) * h.cupsHeight, 0);
    for (unsigned y = 0; y < h.cupsHeight; ++y)
        if (cupsRasterReadPixels(ras, data.data() + static_cast<size_t>(y) * h.cupsBytesPerLine,
                                 h.cupsBytesPerLine) == 0)
            return false;
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    ScreenSpec spec;
    if (argc == 3 && std::strcmp(argv[1], "--setup") == 0 && ParseScreen(argv[2], spec)) {
        for (const std::string &statement : GhostscriptScreenSetup(spec))
            std::printf("%s\n", statement.c_str());
        return 0;
    }
    if (argc < 4 || !ParseScreen(argv[1], spec)) {
        std::fputs("usage: kelvra-ht-exactness SCREEN grey.ras mono.ras\n"
                   "       kelvra-ht-exactness --setup SCREEN\n"
                   "SCREEN: 600, 1200c, 1200z, super600 or super1200\n",
                   stderr);
        return 2;
    }
    const int fdGrey = open(argv[2], O_RDONLY), fdMono = open(argv[3], O_RDONLY);
    if (fdGrey < 0 || fdMono < 0) {
        std::perror("open");
        return 2;
    }
    cups_raster_t *grey = cupsRasterOpen(fdGrey, CUPS_RASTER_READ);
    cups_raster_t *mono = cupsRasterOpen(fdMono, CUPS_RASTER_READ);
    cups_page_header2_t hg, hm;
    std::vector<unsigned char> g, m;
    uint64_t total = 0;
    // KELVRA_HT_PAIRS: also list the (grey level, threshold) pairs that differ
    std::map<std::pair<int, int>, uint64_t> pairMap,
        *pairs = std::getenv("KELVRA_HT_PAIRS") ? &pairMap : nullptr;
    for (int page = 1; ReadPage(grey, hg, g) && ReadPage(mono, hm, m); ++page) {
        if (hg.cupsWidth != hm.cupsWidth || hg.cupsHeight != hm.cupsHeight ||
            hg.cupsBitsPerPixel != 8 || hm.cupsBitsPerPixel != 1) {
            std::fprintf(stderr, "page %d: the rasters do not match\n", page);
            return 2;
        }
        // lines padded white to whole bytes, so that each starts a byte of the bitmap
        const unsigned W = (hg.cupsWidth + 7) / 8 * 8, H = hg.cupsHeight;
        std::vector<unsigned char> padded(static_cast<size_t>(W) * H, 255);
        for (unsigned y = 0; y < H; ++y)
            std::memcpy(&padded[static_cast<size_t>(y) * W],
                        &g[static_cast<size_t>(y) * hg.cupsWidth], hg.cupsWidth);
        g.swap(padded);
        std::vector<unsigned char> bits(static_cast<size_t>(W) * H / 8);
        HalftoneDither(g.data(), W, H, bits.data(), W, spec);
        uint64_t differ = 0;
        std::map<int, uint64_t> levels;
        for (unsigned y = 0; y < H; ++y)
            for (unsigned x = 0; x < hg.cupsWidth; ++x) {
                const size_t i = static_cast<size_t>(y) * W + x;
                const bool ours = bits[i / 8] >> (7 - i % 8) & 1;
                const bool theirs = !(m[y * hm.cupsBytesPerLine + x / 8] >> (7 - x % 8) & 1);
                if (ours != theirs) {
                    if (pairs && differ < 5) std::printf("differs at x %u y %u\n", x, y);
                    ++differ;
                    ++levels[g[i]];
                    if (pairs) {
                        const HT_SCREEN t = SelectHalftoneScreen(spec.matrix);
                        ++(*pairs)[{g[i], t.table[(y % t.period) * t.stride + x % t.period]}];
                    }
                }
            }
        total += differ;
        std::printf("page %d: %u x %u, %llu pixels differ", page, W, H,
                    static_cast<unsigned long long>(differ));
        int shown = 0;
        for (const auto &[level, n] : levels)
            if (shown++ < 12) std::printf(" %d:%llu", level, static_cast<unsigned long long>(n));
        std::printf("%s\n", levels.size() > 12 ? " ..." : "");
    }
    for (const auto &[st, n] : pairMap)
        std::printf("level %d threshold %d: %llu\n", st.first, st.second,
                    static_cast<unsigned long long>(n));
    cupsRasterClose(grey);
    cupsRasterClose(mono);
    close(fdGrey);
    close(fdMono);
    return total == 0 ? 0 : 1;
}
