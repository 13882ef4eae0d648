// PDF and PostScript jobs: PAPPL hands the document to this MIME filter, which runs
// Ghostscript's cups raster device on it at the job's media size and resolution and streams its
// raster output through a pipe into the job page by page: pages reach the printer while later
// pages are still being rendered, and no file ever holds the rendered document. Copies, sides
// and the rest of the ticket apply as for raster jobs; page-ranges select the pages Ghostscript
// renders.
#pragma once

#include <pappl/pappl.h>

// pappl_mime_filter_cb_t for "application/pdf" and "application/postscript"; `data` is the
// server's AppContext.
bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *data);
