#include "app/page_header.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/model_catalogue.h"

namespace {

// The row of the page's own media name; for a page without one (Apple raster, Ghostscript's
// output), the row of the PWG name of its size; else the row of the job's media.
int PageRow(const cups_page_header2_t &in, const PageDecisions &d) {
    const std::string_view own(in.cupsPageSizeName,
                               strnlen(in.cupsPageSizeName, sizeof in.cupsPageSizeName));
    int row = -1;
    if (!own.empty()) {
        row = PaperRowOfPwgMedia(d.paperTable, own);
    } else if (const pwg_media_t *pwg =
                   pwgMediaForSize(static_cast<int>(in.PageSize[0] * 2540 / 72),
                                   static_cast<int>(in.PageSize[1] * 2540 / 72))) {
        if (pwg->pwg != nullptr) row = PaperRowOfPwgMedia(d.paperTable, pwg->pwg);
    }
    if (row < 0) row = PaperRowOfPwgMedia(d.paperTable, d.jobMedia);
    return row;
}

} // namespace

cups_page_header2_t CoreHeader(const cups_page_header2_t &in, const PageDecisions &d,
                               unsigned width, unsigned height) {
    cups_page_header2_t h = in;
    const int row = d.paperTable != nullptr ? PageRow(in, d) : -1;
    if (row >= 0) {
        const PAPER_SIZE_INFO &r = d.paperTable[row];
        h.PageSize[0] = static_cast<unsigned>(r.cupsPaperW);
        h.PageSize[1] = static_cast<unsigned>(r.cupsPaperH);
        std::memset(h.cupsPageSizeName, 0, sizeof h.cupsPageSizeName);
        if (const PaperMedia *m = MediaOfRow(r))
            std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", m->ppdName);
    }
    h.HWResolution[0] = h.HWResolution[1] = d.resolution;
    h.cupsWidth = width;
    h.cupsHeight = height;
    h.cupsBytesPerLine = width;
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = 8;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED;
    h.cupsColorSpace = CUPS_CSPACE_SW;
    h.cupsNumColors = 1;
    h.cupsMediaType = 0;
    h.Duplex = d.sides != PAPPL_SIDES_ONE_SIDED ? CUPS_TRUE : CUPS_FALSE;
    h.Tumble = d.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE ? CUPS_TRUE : CUPS_FALSE;
    h.NumCopies = d.copies;
    return h;
}

cups_page_header2_t ScreenedCoreHeader(const cups_page_header2_t &in, const PageDecisions &d) {
    cups_page_header2_t h = CoreHeader(in, d, in.cupsWidth, in.cupsHeight);
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
    h.cupsBytesPerLine = (in.cupsWidth + 7) / 8;
    h.cupsColorSpace = CUPS_CSPACE_W;
    return h;
}
