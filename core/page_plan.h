// The page plan: everything decided about one page before its lines arrive. From the job's
// settings, the page header and where the job stands, one function computes the paper row or
// custom size, the print area, the turns, the banding and the page-start and page-end
// records; the page-data record is built from the plan in one place, for real pages and the
// blank back side alike.
#pragma once

#include <cups/raster.h>

#include <cstdint>

#include "common/job_settings.h"
#include "prnt/dialect.h"
#include "prnt/prnt_params.h"

// What the job has decided so far that a page's plan depends on.
struct JobPosition {
    int page = 0;                          // number of this page (1-based)
    bool manualDuplex = false;             // the two sides print in separate passes
    int manualDuplexType = 0;              // 1: a short-edge job turned into manual duplex
    bool libraryReduces = false;           // the colour library halftones the pages
    const PrintOptions *options = nullptr; // the page's options
};

struct PagePlan {
    cups_page_header2_t header{}; // the page header as the job uses it (size clamped, QV names)
    int paperRow = -1;            // catalogue row, -1 for a computed size
    unsigned width = 0;           // page bitmap before the turns, pixels
    unsigned height = 0;
    bool customFromOptions = false; // a custom size taken from the options, not the header
    bool customRotate90 = false;    // such a custom size wider than high, turned by 90 degrees
    int backSideTurn = 0;           // 1 when the back side of a duplex sheet is turned by 180
    bool turn180 = false;           // the grey page is turned by 180 degrees
    bool turn90 = false;            // the grey page is turned by 90 degrees (once or twice)
    bool banded = false;            // dithered band by band while the lines arrive
    unsigned windowRows = 0;        // rows of the grey page held at a time
    uint64_t bitmapBytes = 0;       // size of the page bitmap
    GDI_START_PAGE_PARAM startPage{};
    GDI_END_PAGE_PARAM endPage{};
};

// Rows of a grey band when the page is dithered while it is read.
constexpr unsigned kBandRows = 128;

// Plans one page for the job's dialect.
PagePlan PlanPage(const Dialect &dialect, const JobSettings &job, const cups_page_header2_t &header,
                  const JobPosition &at);
// Plans one page for the dialect of the job's platform.
PagePlan PlanPage(const JobSettings &job, const cups_page_header2_t &header, const JobPosition &at);

// The page-data record of a page whose bitmap is `width` x `height` pixels (after its turns),
// printed at `resolutionX` dpi with the bit depth of the job.
GDI_SEND_PAGE_PARAM PageDataRecord(const Dialect &dialect, const JobSettings &job, unsigned width,
                                   unsigned height, unsigned resolutionX);
GDI_SEND_PAGE_PARAM PageDataRecord(const JobSettings &job, unsigned width, unsigned height,
                                   unsigned resolutionX);
