// The fast route of the filter's PDF input: Ghostscript halftones the pages with the job's own
// screen and the filter receives them at 1 bit, where that gives the bitmaps the 8-bit route gives.
#pragma once

#include <cups/ppd.h>

#include <optional>

#include "common/job_settings.h"

// How Ghostscript halftones a fast-route job: the job's screen, moved right by `shift` columns
// so that it has the phase the driver dithers the job's page size with.
struct FastRoute {
    ScreenSpec screen;
    unsigned shift = 0;
};

// The fast route of a job, or nothing for the 8-bit route: the job must be dithered by the
// driver's own 1-bit screens, its pages (of the job's page size) must be banded, neither turned
// nor laid out otherwise by the filter (no two-sided printing, image rotation, long-edge feed or
// custom size), and `enabled` (KELVRA_FAST_ROUTE=1) must allow it. `options` are the job's
// options; the PPD gives the Duplex and page size defaults and the page sizes.
std::optional<FastRoute> FastRouteOf(const JobSettings &s, const char *options, ppd_file_t *ppd,
                                     bool enabled);

// Whether Ghostscript finds transparency on a page of the PDF `file`: Ghostscript composites such
// a page before it halftones it, with grey levels the 8-bit route does not give, so the job keeps
// the 8-bit route. A file Ghostscript cannot report on counts as using it.
bool UsesTransparency(const char *file);

// Whether KELVRA_FAST_ROUTE lets the fast route be taken: "1" does, "0" (or nothing) keeps the
// 8-bit route.
bool FastRouteEnabled();
