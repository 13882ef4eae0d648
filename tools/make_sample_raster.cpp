// make-sample-raster: writes a multi-page 8-bit grey CUPS raster document (A4) for trying and
// timing the filter without a RIP. By default three 600-dpi pages of text-like blocks, the
// second with a grey ramp; options choose the page count, the resolution and photo-like pages
// (smooth grey shading over the whole page), and the compressed raster that Ghostscript's
// raster filter sends.
#include <cups/raster.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Pixel of a page: rows of "words" (dark blocks) and, on page 2, a horizontal grey ramp.
unsigned char SamplePixel(unsigned page, unsigned x, unsigned y, unsigned width) {
    const unsigned margin = 600;
    if (page == 2 && y > 1500 && y < 3500 && x >= margin && x < width - margin)
        return static_cast<unsigned char>(255 * (x - margin) / (width - 2 * margin));
    if (y < margin || x < margin || x >= width - margin) return 0xFF;
    const unsigned lineY = (y - margin) % 100,
                   word = ((x - margin) / 40 + (y - margin) / 100 * 7) % 9;
    if (lineY >= 60 || word == 0) return 0xFF;
    return ((x / 6 + y / 6 + page) % 3 == 0) ? 0xFF : 0x10;
}

// Pixel of a photo-like page: overlapping soft discs and waves, every grey level in use.
unsigned char PhotoPixel(unsigned page, unsigned x, unsigned y, unsigned width, unsigned height) {
    const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
    double g = 0.5 + 0.25 * std::sin(12.0 * u + 3.0 * page) * std::cos(9.0 * v);
    const double dx = u - 0.5, dy = v - 0.4;
    g -= 0.35 * std::exp(-(dx * dx + dy * dy) * 20.0);
    g += 0.2 * (u - v);
    if (g < 0) g = 0;
    if (g > 1) g = 1;
    return static_cast<unsigned char>(g * 255.0);
}

int Usage() {
    std::fprintf(stderr, "usage: make-sample-raster [--pages N] [--dpi 600|1200] [--photo] "
                         "[--compressed] OUTPUT.ras\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    unsigned pages = 3, dpi = 600;
    bool photo = false, compressed = false;
    const char *output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pages" && i + 1 < argc) {
            pages = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (pages == 0 || pages > 1000) return Usage();
        } else if (arg == "--dpi" && i + 1 < argc) {
            dpi = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
            if (dpi != 600 && dpi != 1200) return Usage();
        } else if (arg == "--photo") {
            photo = true;
        } else if (arg == "--compressed") {
            compressed = true;
        } else if (output == nullptr && !arg.empty() && arg[0] != '-') {
            output = argv[i];
        } else {
            return Usage();
        }
    }
    if (output == nullptr) return Usage();
    int fd = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(output);
        return 1;
    }
    cups_raster_t *ras =
        cupsRasterOpen(fd, compressed ? CUPS_RASTER_WRITE_COMPRESSED : CUPS_RASTER_WRITE);
    if (ras == nullptr) {
        std::fprintf(stderr, "make-sample-raster: cannot start the raster stream\n");
        close(fd);
        return 1;
    }
    const unsigned scale = dpi / 600; // the text layout is drawn in 600-dpi units
    for (unsigned page = 1; page <= pages; ++page) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.HWResolution[0] = h.HWResolution[1] = dpi;
        h.PageSize[0] = 595;
        h.PageSize[1] = 842;
        h.NumCopies = 1;
        h.cupsWidth = 595 * dpi / 72;
        h.cupsHeight = 842 * dpi / 72;
        h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
        h.cupsBytesPerLine = h.cupsWidth;
        h.cupsColorSpace = CUPS_CSPACE_W;
        h.cupsNumColors = 1;
        std::strcpy(h.cupsPageSizeName, "A4");
        cupsRasterWriteHeader2(ras, &h);
        std::vector<unsigned char> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            for (unsigned x = 0; x < h.cupsWidth; ++x)
                line[x] = photo ? PhotoPixel(page, x, y, h.cupsWidth, h.cupsHeight)
                                : SamplePixel(page, x / scale, y / scale, h.cupsWidth / scale);
            if (cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine) == 0) {
                std::fprintf(stderr, "make-sample-raster: write failed\n");
                cupsRasterClose(ras);
                close(fd);
                return 1;
            }
        }
    }
    cupsRasterClose(ras);
    close(fd);
    return 0;
}
