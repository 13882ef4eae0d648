// Print option resolution: the job's options (with the queue's defaults, queue_options.h) into
// the job's print options and switches, and the page-size requests (custom size, margins,
// media name).
#pragma once

#include <cstddef>
#include <cstdint>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/job_settings.h"
#include "common/paper_catalogue.h"

constexpr std::size_t kMediaNameSize = 100; // the job flow's media name buffer

// Updates the print options: the duplex from the page header's Duplex/Tumble when a header is
// given, every catalogued option from the parsed job options. Absent options leave their
// setting unchanged.
void GetFunctionValue(PrintOptions &printOptions, int num_option, cups_option_t *options,
                      const cups_page_header2_t *header);

class QueueOptions;

// Blank-page suppression setting of the job's options with the queue's defaults: 1 printer
// setting, 2 off, 3 on. The form with an option string resolves it against the PPD first.
int isBlankSuppress(const QueueOptions &options);
int isBlankSuppress(const char *parameter, ppd_file_t *ppd);

// 1200-dpi request of the job's options with the queue's defaults (the print quality "high"
// asks for it too): 2 when requested, 1 otherwise.
int is1200dpiprint(const QueueOptions &options);
int is1200dpiprint(const char *parameter, ppd_file_t *ppd);

// The page's media name from the job options ("PageSize", else "Media" up to "("), cut to
// fit `medianameSize` bytes. False when `medianame` or the option string is missing.
bool Getmediasizename(char *argv[], char *medianame, std::size_t medianameSize = kMediaNameSize);

// Custom page size in points from "PageSize=Custom.<w>x<h>"; on Astra Linux the page
// margins are added. Otherwise A4 (595 x 842) and false; no option string: untouched, false.
bool GetCustomSize(const char *parameter, float *width, float *height, bool isastra);

// Sets each margin named by "page-top", "page-bottom", "page-right", "page-left".
void GetPageMargins(const char *parameter, int *pagetop, int *pagebottom, int *pageright,
                    int *pageleft);
