#include "tests/support/raster_writer.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

cups_page_header2_t MakeGreyHeader(unsigned widthPt, unsigned heightPt, unsigned dpiX,
                                   unsigned dpiY, const char *pageSizeName) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    std::snprintf(h.MediaClass, sizeof h.MediaClass, "PwgRaster");
    h.HWResolution[0] = dpiX;
    h.HWResolution[1] = dpiY;
    h.PageSize[0] = widthPt;
    h.PageSize[1] = heightPt;
    h.ImagingBoundingBox[2] = widthPt;
    h.ImagingBoundingBox[3] = heightPt;
    h.NumCopies = 1;
    h.cupsWidth = widthPt * dpiX / 72;
    h.cupsHeight = heightPt * dpiY / 72;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 8;
    h.cupsBytesPerLine = h.cupsWidth;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_W;
    h.cupsNumColors = 1;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", pageSizeName);
    return h;
}

RasterPage MakeGreyPage(const cups_page_header2_t &header,
                        const std::function<uint8_t(unsigned, unsigned)> &pixel) {
    RasterPage page;
    page.header = header;
    page.pixels.assign(static_cast<size_t>(header.cupsBytesPerLine) * header.cupsHeight, 0xFF);
    if (pixel)
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            for (unsigned x = 0; x < header.cupsBytesPerLine; ++x)
                page.pixels[static_cast<size_t>(y) * header.cupsBytesPerLine + x] = pixel(x, y);
    return page;
}

void WriteRasterFile(const std::string &path, const std::vector<RasterPage> &pages,
                     cups_mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    cups_raster_t *ras = cupsRasterOpen(fd, mode);
    if (ras == nullptr) {
        close(fd);
        throw std::runtime_error("cupsRasterOpen failed for " + path);
    }
    for (const RasterPage &page : pages) {
        cups_page_header2_t h = page.header;
        if (!cupsRasterWriteHeader2(ras, &h)) throw std::runtime_error("header write failed");
        if (!page.pixels.empty() &&
            cupsRasterWritePixels(ras, const_cast<unsigned char *>(page.pixels.data()),
                                  static_cast<unsigned>(page.pixels.size())) == 0)
            throw std::runtime_error("pixel write failed");
    }
    cupsRasterClose(ras);
    close(fd);
}
