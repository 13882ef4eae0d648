#include "core/page_plan.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "common/model_catalogue.h"
#include "prnt/prnt.h"

namespace {

bool Contains(const char *haystack, const char *needle) {
    return haystack && strcasestr(haystack, needle) != nullptr;
}

// A dot count as the 16-bit field of a page record takes it: out-of-range values (a custom size
// the job asked for is not bounded by the raster) are clamped, never converted undefined.
uint16_t Dots16(double dots) {
    if (!(dots > 0)) return 0;
    return dots >= 65535.0 ? 65535 : static_cast<uint16_t>(dots);
}

// Rounds a computed page dimension up to a multiple of `unit`; never below one unit.
unsigned RoundUpTo(double pixels, unsigned unit) {
    unsigned v = pixels > 0 ? static_cast<unsigned>(pixels) : 0;
    v = (v + unit - 1) / unit * unit;
    return std::max(v, unit);
}

// A page larger than the printer's largest size takes the size of the table row the job named,
// or else is clamped to the limits dimension by dimension.
void ClampToLargestPaper(const JobSettings &job, cups_page_header2_t &h) {
    if (job.maxPageWidth == 0 || job.maxPageHeight == 0) return;
    if (h.PageSize[0] <= job.maxPageWidth && h.PageSize[1] <= job.maxPageHeight) return;
    if (job.pageSizeGiven && job.paperTable != nullptr) {
        for (const PAPER_SIZE_INFO *row = job.paperTable; row->cupsPaperW != -1; ++row) {
            if (job.pageSizeName ==
                std::string_view(row->strPageSize,
                                 strnlen(row->strPageSize, sizeof row->strPageSize))) {
                h.PageSize[0] = static_cast<unsigned int>(row->cupsPaperW);
                h.PageSize[1] = static_cast<unsigned int>(row->cupsPaperH);
                return;
            }
        }
    }
    h.PageSize[0] = std::min(h.PageSize[0], job.maxPageWidth);
    h.PageSize[1] = std::min(h.PageSize[1], job.maxPageHeight);
}

// Chooses the catalogue row of the page (where the group's pages follow the job's options, also
// by name and for custom sizes), or leaves the row at -1 for a computed size.
void FindPaperRow(const JobSettings &job, PagePlan &plan) {
    cups_page_header2_t &h = plan.header;
    if (job.paperTable == nullptr) return;
    ClampToLargestPaper(job, h);
    const bool byJob = TraitsOf(job.group).pageFromJobOptions;
    const bool customName = Contains(h.cupsPageSizeName, "custom");
    if (byJob && customName && job.customPageRequested) {
        plan.customFromOptions = job.customSizeParsed;
        if (job.customWidth > job.customHeight && h.PageSize[0] < h.PageSize[1] &&
            GetPaperArrayIndex(h.PageSize, job.paperTable, nullptr) != -1)
            plan.customRotate90 = true;
        return; // such a custom size is always computed
    }
    if (byJob && customName) {
        if (job.documentNameSupplied) {
            plan.paperRow = GetPaperArrayIndex(h.PageSize, job.paperTable, nullptr);
        } else {
            plan.paperRow = GetPaperArrayIndexbyPaperName(job.paperTable, job.mediaName.c_str());
            std::memset(h.cupsPageSizeName, 0, sizeof h.cupsPageSizeName);
            std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s",
                          job.mediaName.c_str());
        }
    } else {
        plan.paperRow = GetPaperArrayIndex(h.PageSize, job.paperTable, nullptr);
    }
    if (plan.paperRow < 0) return;
    const PAPER_SIZE_INFO &row = job.paperTable[plan.paperRow];
    plan.width = static_cast<unsigned>(row.fwPaperW);
    plan.height = static_cast<unsigned>(row.fwPaperH);
    plan.startPage.paperSize = static_cast<uint16_t>(row.fwPaperNum);
    plan.startPage.marginX = row.fwPaperMarginX;
    plan.startPage.marginY = row.fwPaperMarginY;
}

// Page size from the header's PageSize less the hardware margins, at 600 dpi.
void ComputePageSize(const Dialect &dialect, const JobSettings &job, PagePlan &plan) {
    const float *m = job.hwMargins; // left, bottom, right, top
    const float w = static_cast<float>(plan.header.PageSize[0]) - m[0] - m[2];
    const float h = static_cast<float>(plan.header.PageSize[1]) - m[1] - m[3];
    plan.width = RoundUpTo(static_cast<double>(w) / 72.0 * 600.0, 32);
    plan.height = RoundUpTo(static_cast<double>(h) / 72.0 * 600.0, plan.customRotate90 ? 32 : 8);
    plan.paperRow = -1;
    plan.startPage.paperSize = dialect.rules.customPaperCode;
    plan.startPage.marginX = plan.startPage.marginY = 0;
}

// Fills the page-start record: resolution, tray, feed edge, copies and page sizes.
void FillStartPage(const Dialect &dialect, const JobSettings &job, const JobPosition &at,
                   PagePlan &plan) {
    const cups_page_header2_t &h = plan.header;
    GDI_START_PAGE_PARAM &sp = plan.startPage;
    const PrintOptions &opt = *at.options;
    const DialectRules &rules = dialect.rules;
    const GroupTraits &group = TraitsOf(job.group);

    unsigned resX = 600, resY = 600;
    if (rules.prints1200Raster || group.libraryHalftones) {
        if (h.HWResolution[0] == 1200) {
            plan.width *= 2;
            resX = 1200;
        }
        if (h.HWResolution[1] == 1200) {
            plan.height *= 2;
            resY = 1200;
        }
    }
    resX /= rules.resolutionUnit;
    resY /= rules.resolutionUnit;
    sp.resolutionX = static_cast<uint16_t>(resX);
    sp.resolutionY = static_cast<uint16_t>(resY);
    sp.iIs2bit = job.twoBitPages ? 1 : 0;
    sp.mediaType = static_cast<uint16_t>(h.cupsMediaType);
    sp.densityLevel = opt.DensityLevel();
    if (group.trayForEveryMedia || h.cupsMediaType == 0 || h.cupsMediaType == 5 ||
        (h.cupsMediaType == 1 && rules.anyTrayForMediaType1))
        sp.tray = static_cast<uint16_t>(opt.tray);
    else
        sp.tray = 1;
    const bool longEdge = opt.feed == FeedEdge::Long;
    sp.feedEdge =
        (longEdge && (group.longEdgeEverySize || sp.paperSize == rules.longEdgePaper)) ? 0x40 : 0;
    sp.colorMode = 0;
    sp.marginUnit = 0;
    // Uncollated copies are the printer's: the header's count, at least one and at most what the
    // field holds (a header may say 0, and 65536 must not wrap to 0).
    sp.copies =
        opt.collate ? 1 : static_cast<uint16_t>(std::clamp(h.NumCopies, 1u, unsigned{UINT16_MAX}));
    sp.pageNum = static_cast<uint16_t>(at.page);
    double pageW = h.PageSize[0], pageH = h.PageSize[1];
    if (plan.customFromOptions) {
        pageW = std::floor(job.customWidth + 0.5f);
        pageH = std::floor(job.customHeight + 0.5f);
    }
    sp.userPhyPgW = Dots16(h.HWResolution[0] * (pageW / 72.0));
    sp.userPhyPgH = Dots16(h.HWResolution[1] * (pageH / 72.0));
    sp.userPrntAreaW = static_cast<uint16_t>(plan.width);
    sp.userPrntAreaH = static_cast<uint16_t>(plan.height);

    if (longEdge) {
        sp.paperSize = dialect.LongEdgePaperCode(sp.paperSize, group.longEdgePaperCodes);
        // The sizes follow the bitmap: exchanged only when the page is turned for the long
        // edge, else the page start would announce a width the page data does not have.
        if (sp.feedEdge == 0x40) {
            SwapUSHORT(&sp.userPhyPgW, &sp.userPhyPgH);
            SwapUSHORT(&sp.userPrntAreaW, &sp.userPrntAreaH);
        }
    }
    if (plan.customRotate90) SwapUSHORT(&sp.userPrntAreaW, &sp.userPrntAreaH);
}

// Whether the back side of a duplex sheet is turned by 180 degrees (before ImageRotation):
// printer duplex by the binding edge, manual duplex by the way the stack comes back.
int BackSideTurn(const Dialect &dialect, const JobSettings &job, const JobPosition &at,
                 const PagePlan &plan) {
    const PrintOptions &opt = *at.options;
    const bool even = at.page % 2 == 0, longFeed = plan.startPage.feedEdge == 0x40;
    const bool manual = opt.manualDuplex;
    const bool evenFirst = TraitsOf(job.group).evenSidesFirst;
    switch (opt.duplex) {
    case Duplex::LongEdge:
        return !longFeed && even;
    case Duplex::ShortEdge:
        return longFeed && even;
    case Duplex::OneSided:
        if (dialect.rules.twoSided != TwoSided::ByHand) return 0;
        if (at.manualDuplexType == 0) return !evenFirst && manual && !longFeed && even;
        if (at.manualDuplexType == 1) return manual && even && (evenFirst || longFeed);
        return 0;
    }
    return 0;
}

// Fills the page-end record.
void FillEndPage(const JobSettings &job, const JobPosition &at, PagePlan &plan) {
    GDI_END_PAGE_PARAM &e = plan.endPage;
    e.page = at.page;
    e.bMachDup = at.options->duplex != Duplex::OneSided ? 1 : 0;
    e.resolutionE = static_cast<int>(plan.header.HWResolution[0]);
    const float widthPt =
        plan.customFromOptions ? job.customWidth : static_cast<float>(plan.header.PageSize[0]);
    const double widthMm = (widthPt / 72.0f) * 25.4;
    e.paperWidthE = widthMm >= INT_MAX ? INT_MAX : widthMm > 0 ? static_cast<int>(widthMm) : 0;
    e.densityE = at.options->density;
}

} // namespace

PagePlan PlanPage(const Dialect &dialect, const JobSettings &job, const cups_page_header2_t &header,
                  const JobPosition &at) {
    PagePlan plan;
    plan.header = header;
    FindPaperRow(job, plan);
    if (plan.paperRow < 0) ComputePageSize(dialect, job, plan);
    FillStartPage(dialect, job, at, plan);
    FillEndPage(job, at, plan);

    plan.backSideTurn = BackSideTurn(dialect, job, at, plan);
    plan.turn180 = (plan.backSideTurn == 1) != at.options->rotate180;
    plan.turn90 = plan.startPage.feedEdge == 0x40 || plan.customRotate90;
    // A page that is not turned and is reduced by the driver's own screens, with rows that
    // start on whole bytes of the bitmap, is dithered while it is read: the grey page is then
    // never held whole.
    plan.banded = !plan.turn180 && !plan.turn90 && !at.libraryReduces &&
                  static_cast<uint64_t>(plan.width) * job.screenBits % 8 == 0;
    plan.windowRows = plan.banded ? std::min(kBandRows, plan.height) : plan.height;
    const uint64_t pixels = uint64_t{plan.width} * plan.height;
    plan.bitmapBytes = (pixels * (job.twoBitPages ? 2 : 1) + 7) / 8;
    return plan;
}

PagePlan PlanPage(const JobSettings &job, const cups_page_header2_t &header,
                  const JobPosition &at) {
    return PlanPage(*JobDialect(job.platform), job, header, at);
}

GDI_SEND_PAGE_PARAM PageDataRecord(const Dialect &dialect, const JobSettings &job, unsigned width,
                                   unsigned height, unsigned resolutionX) {
    const GroupTraits &group = TraitsOf(job.group);
    GDI_SEND_PAGE_PARAM p{};
    p.colorPlane = 0;
    p.compression = 0x20;
    if (group.quality1200Raster) {
        // the depth flag says whether the page is the 1200-dpi raster (1 bit) or not (2 bits)
        p.colorDepth = job.is1200dpi ? 0 : 1;
        p.dataPacking = 4;
    } else if (group.libraryHalftones && job.colorBits == 2) {
        p.colorDepth = 1;
        p.dataPacking = 4;
    }
    // Where the colour library halftones, the width is given in pixels and each pixel's bits
    // are coded as that many pixels; else it is the coded width, doubled for 2-bit pages.
    if (group.libraryHalftones)
        p.whlImgW = static_cast<uint16_t>(width);
    else
        p.whlImgW = static_cast<uint16_t>(job.twoBitPages ? 2 * width : width);
    p.whlImgH = static_cast<uint16_t>(height);
    if (dialect.rules.stripedImage) {
        p.rasImgW = static_cast<uint16_t>(width);
        p.rasImgH = resolutionX == 600 ? 768 : 384;
        p.cmpImgBytes = 853;
    }
    return p;
}

GDI_SEND_PAGE_PARAM PageDataRecord(const JobSettings &job, unsigned width, unsigned height,
                                   unsigned resolutionX) {
    return PageDataRecord(*JobDialect(job.platform), job, width, height, resolutionX);
}
