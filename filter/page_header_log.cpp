#include "filter/page_header_log.h"

#include <cstdio>

void log_page_header2(const cups_page_header2_t *h) {
    std::fprintf(stderr, "DEBUG: Duplex = %d\n", RawHeaderField(h->Duplex));
    std::fprintf(stderr, "DEBUG: HWResolution = [ %d %d ]\n", h->HWResolution[0],
                 h->HWResolution[1]);
    std::fprintf(stderr, "DEBUG: ImagingBoundingBox = [ %d %d %d %d ]\n",
                 h->ImagingBoundingBox[0], h->ImagingBoundingBox[1], h->ImagingBoundingBox[2],
                 h->ImagingBoundingBox[3]);
    std::fprintf(stderr, "DEBUG: Margins = [ %d %d ]\n", h->Margins[0], h->Margins[1]);
    std::fprintf(stderr, "DEBUG: ManualFeed = %d\n", RawHeaderField(h->ManualFeed));
    std::fprintf(stderr, "DEBUG: MediaPosition = %d\n", h->MediaPosition);
    std::fprintf(stderr, "DEBUG: NumCopies = %d\n", h->NumCopies);
    std::fprintf(stderr, "DEBUG: Orientation = %d\n", RawHeaderField(h->Orientation));
    std::fprintf(stderr, "DEBUG: PageSize = [ %d %d ]\n", h->PageSize[0], h->PageSize[1]);
    std::fprintf(stderr, "DEBUG: cupsWidth = %d\n", h->cupsWidth);
    std::fprintf(stderr, "DEBUG: cupsHeight = %d\n", h->cupsHeight);
    std::fprintf(stderr, "DEBUG: cupsMediaType = %d\n", h->cupsMediaType);
    std::fprintf(stderr, "DEBUG: cupsBitsPerColor = %d\n", h->cupsBitsPerColor);
    std::fprintf(stderr, "DEBUG: cupsBitsPerPixel = %d\n", h->cupsBitsPerPixel);
    std::fprintf(stderr, "DEBUG: cupsBytesPerLine = %d\n", h->cupsBytesPerLine);
    std::fprintf(stderr, "DEBUG: cupsColorOrder = %d\n", RawHeaderField(h->cupsColorOrder));
    std::fprintf(stderr, "DEBUG: cupsColorSpace = %d\n", RawHeaderField(h->cupsColorSpace));
    std::fprintf(stderr, "DEBUG: cupsCompression = %d\n", h->cupsCompression);
}
