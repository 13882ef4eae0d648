// Writes CUPS raster files for tests through libcupsimage's own raster writer.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One page: a header (filled by MakeGreyHeader and adjusted by the test) and its pixels,
// cupsBytesPerLine bytes per line, cupsHeight lines (fewer lines gives a truncated page).
struct RasterPage {
    cups_page_header2_t header{};
    std::vector<uint8_t> pixels;
};

// An 8-bit grey header for a page of widthPt x heightPt points at the given resolution.
cups_page_header2_t MakeGreyHeader(unsigned widthPt, unsigned heightPt, unsigned dpiX = 600,
                                   unsigned dpiY = 600, const char *pageSizeName = "A4");

// A page whose pixel at (x, y) is pixel(x, y); white (0xFF) when pixel is empty.
RasterPage MakeGreyPage(const cups_page_header2_t &header,
                        const std::function<uint8_t(unsigned, unsigned)> &pixel = {});

// Writes the pages as a CUPS raster stream (sync word and version 3) to path.
void WriteRasterFile(const std::string &path, const std::vector<RasterPage> &pages,
                     cups_mode_t mode = CUPS_RASTER_WRITE);
