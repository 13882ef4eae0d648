// The fast route of PDF and PostScript input: Ghostscript halftones the pages with the job's own
// screen and the job receives them at 1 bit, where that gives the bitmaps the 8-bit route gives.
// Both front ends ask here whether a job takes it.
#pragma once

#include <cups/raster.h>

#include <optional>
#include <string>

#include "common/job_settings.h"

// How Ghostscript halftones a fast-route job: the job's screen, moved right by `shift` columns
// so that it has the phase the driver dithers the job's page size with.
struct FastRoute {
    ScreenSpec screen;
    unsigned shift = 0;
};

// The fast route of a job whose pages the converter renders as `page` (the 8-bit grey header
// of its first page), or nothing for the 8-bit route: the job must be dithered by the driver's
// own 1-bit screens, and its pages banded, neither turned nor laid out otherwise by the driver
// (no two-sided printing, image rotation, long-edge feed or custom size).
std::optional<FastRoute> FastRouteFor(const JobSettings &s, const cups_page_header2_t &page,
                                      bool twoSided);

// Whether Ghostscript finds transparency on a page of the PDF `file` (its own temporary files go
// under `tmpRoot`): Ghostscript composites such a page before it halftones it, with grey levels
// the 8-bit route does not give, so the job keeps the 8-bit route. A file Ghostscript cannot
// report on counts as using it.
bool UsesTransparency(const char *file, const std::string &tmpRoot);

// Whether the PDF `file` sets its own transfer function or halftone (/TR, /TR2, /HT or /HTP in
// a dictionary, compressed object streams included): Ghostscript would use it in place of the
// job's screen, so the job keeps the 8-bit route. A file that cannot be read counts as one.
bool SetsTransferOrHalftone(const char *file);

// Why the PDF `file` keeps the 8-bit route ("uses transparency", "sets a transfer function or
// halftone"), or nullptr: the cheap scan of its dictionaries first, then Ghostscript's report.
const char *PdfKeepsEightBitRoute(const char *file, const std::string &tmpRoot);
