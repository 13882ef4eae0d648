// Print option resolution: the job-level switches read from the option string into the
// 27-slot option table, the platform Z defaults taken from the PPD, and the page-size
// requests (custom size, margins, media name).
#pragma once

#include <cstddef>
#include <cstdint>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/option_table.h"
#include "common/paper_catalogue.h"

constexpr std::size_t kOptionParametersSize = 8192; // the platform Z option string buffer
constexpr std::size_t kMediaNameSize = 100;         // the job flow's media name buffer

// Updates the option table: slot 0 from the page header's Duplex/Tumble when a header is
// given, the others from the parsed job options. Absent options leave their slot unchanged.
void GetFunctionValue(PRINT_FUNC_INFO *pPrntFuncInfo, int num_option, cups_option_t *options,
                      const cups_page_header2_t *header);

// Platform Z: appends to `parameters` (kOptionParametersSize bytes, holding a NUL-terminated
// copy of the option string) the PPD defaults of the options that `argv5` does not mention.
void checkOptionKey(char *parameters, const char *argv5, ppd_file_t *ppd);

// Blank-page suppression setting for the job from its options, else the PPD default: 1
// printer setting, 2 off, 3 on.
int isBlankSuppress(const char *parameter, ppd_file_t *ppd);

// 1200-dpi request of the job from its options, else the PPD default: 2 when requested, 1
// otherwise.
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
