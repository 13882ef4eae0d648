#include "core/raster_page.h"

#include <cstdio>

void log_page_header2(const cups_page_header2_t *h, std::FILE *log) {
    std::fprintf(log, "DEBUG: Duplex = %d\n", RawHeaderField(h->Duplex));
    std::fprintf(log, "DEBUG: HWResolution = [ %d %d ]\n", h->HWResolution[0], h->HWResolution[1]);
    std::fprintf(log, "DEBUG: ImagingBoundingBox = [ %d %d %d %d ]\n", h->ImagingBoundingBox[0],
                 h->ImagingBoundingBox[1], h->ImagingBoundingBox[2], h->ImagingBoundingBox[3]);
    std::fprintf(log, "DEBUG: Margins = [ %d %d ]\n", h->Margins[0], h->Margins[1]);
    std::fprintf(log, "DEBUG: ManualFeed = %d\n", RawHeaderField(h->ManualFeed));
    std::fprintf(log, "DEBUG: MediaPosition = %d\n", h->MediaPosition);
    std::fprintf(log, "DEBUG: NumCopies = %d\n", h->NumCopies);
    std::fprintf(log, "DEBUG: Orientation = %d\n", RawHeaderField(h->Orientation));
    std::fprintf(log, "DEBUG: PageSize = [ %d %d ]\n", h->PageSize[0], h->PageSize[1]);
    std::fprintf(log, "DEBUG: cupsWidth = %d\n", h->cupsWidth);
    std::fprintf(log, "DEBUG: cupsHeight = %d\n", h->cupsHeight);
    std::fprintf(log, "DEBUG: cupsMediaType = %d\n", h->cupsMediaType);
    std::fprintf(log, "DEBUG: cupsBitsPerColor = %d\n", h->cupsBitsPerColor);
    std::fprintf(log, "DEBUG: cupsBitsPerPixel = %d\n", h->cupsBitsPerPixel);
    std::fprintf(log, "DEBUG: cupsBytesPerLine = %d\n", h->cupsBytesPerLine);
    std::fprintf(log, "DEBUG: cupsColorOrder = %d\n", RawHeaderField(h->cupsColorOrder));
    std::fprintf(log, "DEBUG: cupsColorSpace = %d\n", RawHeaderField(h->cupsColorSpace));
    std::fprintf(log, "DEBUG: cupsCompression = %d\n", h->cupsCompression);
}

// Refuses anything but 8-bit grey within the resolution and size the printers take, with a
// raster no larger than its page.
bool IsPrintableRasterHeader(const cups_page_header2_t &h, std::FILE *log) {
    const char *problem = nullptr;
    const int space = RawHeaderField(h.cupsColorSpace); // any 32 bits from the stream
    if (h.cupsBitsPerPixel != 8 || h.cupsBitsPerColor != 8)
        problem = "only 8-bit grey raster can be printed";
    else if (space != CUPS_CSPACE_W && space != CUPS_CSPACE_SW && space != CUPS_CSPACE_K &&
             space != CUPS_CSPACE_SRGB && space != CUPS_CSPACE_RGB)
        problem = "the colour space is not grey";
    else if (space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_RGB)
        problem = "colour raster is not supported, only grey";
    else if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0 ||
             h.HWResolution[0] > kMaxResolution || h.HWResolution[1] > kMaxResolution)
        problem = "the resolution is outside 1-1200 dpi";
    else if (h.PageSize[0] == 0 || h.PageSize[1] == 0 || h.PageSize[0] > kMaxPagePoints ||
             h.PageSize[1] > kMaxPagePoints)
        problem = "the page size is outside what the printers take";
    else if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsBytesPerLine != h.cupsWidth ||
             static_cast<uint64_t>(h.cupsWidth) * 72 > uint64_t{kMaxPagePoints} * kMaxResolution ||
             static_cast<uint64_t>(h.cupsHeight) * 72 > uint64_t{kMaxPagePoints} * kMaxResolution)
        problem = "the raster dimensions are inconsistent or too large";
    if (problem == nullptr) return true;
    std::fprintf(log,
                 "ERROR: Unsupported raster page (%s): %ux%u pixels, %u bytes per line, "
                 "%u bits per pixel, colour space %u, %ux%u dpi, %ux%u points\n",
                 problem, h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsBitsPerPixel,
                 static_cast<unsigned>(space), h.HWResolution[0], h.HWResolution[1], h.PageSize[0],
                 h.PageSize[1]);
    return false;
}

// Only the exact shape the fast route asks Ghostscript for; anything else goes to the usual
// checks unchanged.
bool TakeScreenedHeader(cups_page_header2_t &h) {
    if (h.cupsBitsPerPixel != 1 || h.cupsBitsPerColor != 1 ||
        RawHeaderField(h.cupsColorSpace) != CUPS_CSPACE_W || h.cupsWidth == 0 ||
        h.cupsBytesPerLine != (h.cupsWidth + 7) / 8)
        return false;
    h.cupsBitsPerPixel = h.cupsBitsPerColor = 8;
    h.cupsBytesPerLine = h.cupsWidth;
    return true;
}
