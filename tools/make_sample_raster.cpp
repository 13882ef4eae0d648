// make-sample-raster: writes a small multi-page 8-bit grey CUPS raster document (A4, 600 dpi)
// with text-like blocks and a grey ramp, for trying the filter without a RIP.
#include <cups/raster.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// Pixel of a page: rows of "words" (dark blocks) and, on page 2, a horizontal grey ramp.
unsigned char SamplePixel(unsigned page, unsigned x, unsigned y, unsigned width) {
    const unsigned margin = 600;
    if (page == 2 && y > 1500 && y < 3500 && x >= margin && x < width - margin)
        return static_cast<unsigned char>(255 * (x - margin) / (width - 2 * margin));
    if (y < margin || x < margin || x >= width - margin) return 0xFF;
    const unsigned lineY = (y - margin) % 100, word = ((x - margin) / 40 + (y - margin) / 100 * 7) % 9;
    if (lineY >= 60 || word == 0) return 0xFF;
    return ((x / 6 + y / 6 + page) % 3 == 0) ? 0xFF : 0x10;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-raster OUTPUT.ras\n");
        return 2;
    }
    int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    const unsigned pages = 3;
    for (unsigned page = 1; page <= pages; ++page) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.HWResolution[0] = h.HWResolution[1] = 600;
        h.PageSize[0] = 595;
        h.PageSize[1] = 842;
        h.NumCopies = 1;
        h.cupsWidth = 4958;
        h.cupsHeight = 7016;
        h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
        h.cupsBytesPerLine = h.cupsWidth;
        h.cupsColorSpace = CUPS_CSPACE_W;
        h.cupsNumColors = 1;
        std::strcpy(h.cupsPageSizeName, "A4");
        cupsRasterWriteHeader2(ras, &h);
        std::vector<unsigned char> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            for (unsigned x = 0; x < h.cupsWidth; ++x) line[x] = SamplePixel(page, x, y, h.cupsWidth);
            cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(ras);
    close(fd);
    return 0;
}
