// The fast route of the filter's PDF input: Ghostscript halftones the pages with the job's own
// screen and the filter receives them at 1 bit, where that gives the bitmaps the 8-bit route gives.
#pragma once

#include <cups/ppd.h>

#include <optional>

#include "common/job_settings.h"
#include "core/fast_route.h"

// The fast route of a job, or nothing for the 8-bit route: the job must be dithered by the
// driver's own 1-bit screens, its pages (of the job's page size) must be banded, neither turned
// nor laid out otherwise by the filter (no two-sided printing, image rotation, long-edge feed or
// custom size), and `enabled` must allow it. `options` are the job's
// options; the PPD gives the Duplex and page size defaults and the page sizes.
std::optional<FastRoute> FastRouteOf(const JobSettings &s, const char *options, ppd_file_t *ppd,
                                     bool enabled);

// Whether the fast route may be taken: KELVRA_FAST_ROUTE=0 keeps every job on the 8-bit route.
bool FastRouteEnabled();
