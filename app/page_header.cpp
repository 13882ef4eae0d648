#include "app/page_header.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "common/model_catalogue.h"

namespace {

// The row of the page's own media name, else of the job's.
int PageRow(const cups_page_header2_t &in, const PageDecisions &d) {
    const std::string_view own(in.cupsPageSizeName,
                               strnlen(in.cupsPageSizeName, sizeof in.cupsPageSizeName));
    int row = own.empty() ? -1 : PaperRowOfPwgMedia(d.paperTable, own);
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
