// PDF and PostScript jobs: PAPPL hands the document to this MIME filter, which runs
// Ghostscript's cups raster device on it at the job's paper size and resolution and streams its
// raster output through a pipe into the job page by page: pages reach the printer while later
// pages are still being rendered, and no file ever holds the rendered document. A first, quick
// run of Ghostscript lists the pages' sizes; each page is then turned, scaled and placed on the
// paper as print-scaling and orientation-requested say (app/page_layout.h). Copies, sides and
// the rest of the ticket apply as for raster jobs; page-ranges select the pages Ghostscript
// renders.
#pragma once

#include <pappl/pappl.h>

#include <cups/raster.h>

struct AppContext;
class AppJob;

// How reading a raster stream into a job ended: every page, the job stopped (its message says
// why), or the stream ended inside a page (that page was completed white).
enum class RasterEnd { Whole, Stopped, CutShort };

// Reads the pages of the stream into the job until it ends, the job stops or is cancelled;
// pages outside first..last are read and dropped.
RasterEnd PrintRasterPages(pappl_job_t *job, AppJob &appJob, cups_raster_t *ras, unsigned first,
                           unsigned last);

// Prints the job's PDF (`pdf`) or PostScript file; false when the job did not print whole.
bool PrintPdfOrPostScript(pappl_job_t *job, pappl_device_t *device, const AppContext &app,
                          bool pdf);

// pappl_mime_filter_cb_t for "application/pdf" and "application/postscript"; `data` is the
// server's AppContext.
bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *data);
