// Print option resolution: the 27-slot option table, the job-level switches read from
// the option string, the platform Z defaults taken from the PPD, the page-size decisions
// (clamp, custom size, margins, media name) and the tray edit of a manual-duplex spool.
#pragma once

#include <cstddef>
#include <cstdint>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/paper_catalogue.h"

// One slot of the option table: the job option it is read from and its current value.
struct PRINT_FUNC_INFO {
    const char *name;
    int32_t value;
};

// Slot indices of the option table.
enum FuncName : int {
    AUTODUPLEX = 0,
    AUTODUPLONGEDGE,
    MANUALDUPLEX,
    DENSITY,
    TONERMODE,
    LONGEDGEFEED,
    REVERSE,
    DPI1200,
    NEGATIVEPRINT,
    INPUTSLOT,
    IMAGEROTATION,
    COLLATE,
    FINEMODE,
    PrintModel,
    MediaType,
    Contrast,
    Saturations,
    Lightness,
    ZeroMargin,
    Magenta,
    Black,
    Yellow,
    Cyan,
    PrintByKOnly,
    Booklet,
    BlankSuppress,
    LockedPinPrint,
    FUNC_NAME_COUNT
};

constexpr int kPrntFuncInfoCount = FUNC_NAME_COUNT; // 27
static_assert(kPrntFuncInfoCount == 27);

// The initial option table; every job starts with a copy of it.
extern const PRINT_FUNC_INFO gDefaultPrntFuncInfo[kPrntFuncInfoCount];

constexpr std::size_t kOptionParametersSize = 8192; // the platform Z option string buffer
constexpr std::size_t kMediaNameSize = 100;         // the job flow's media name buffer

// Updates the option table for one page: slot 0 from the page header's Duplex/Tumble,
// the others from the parsed job options. Absent options leave their slot unchanged.
void GetFunctionValue(PRINT_FUNC_INFO *pPrntFuncInfo, int num_option, cups_option_t *options,
                      const cups_page_header2_t *header);

// Platform Z: appends to `parameters` (kOptionParametersSize bytes, holding a NUL-terminated
// copy of the option string) the PPD defaults of the options that `argv5` does not mention.
void checkOptionKey(char *parameters, const char *argv5, ppd_file_t *ppd);

// Blank-page suppression setting for the job: 1 printer setting, 2 off, 3 on.
int isBlankSuppress(const char *parameter);

// 1200-dpi request of the job: 2 when requested, 1 otherwise.
int is1200dpiprint(const char *parameter);

// Clamps the header's PageSize to the PPD's largest page size, preferring the size of the
// table row named by the job's "PageSize" option.
void isCutThePaper(cups_page_header2_t *header, const PAPER_SIZE_INFO *paperSizeArray,
                   int num_option, cups_option_t *options, ppd_file_t *ppd);

// The page's media name from the job options ("PageSize", else "Media" up to "("), cut to
// fit `medianameSize` bytes. False when `medianame` or the option string is missing.
bool Getmediasizename(char *argv[], char *medianame, std::size_t medianameSize = kMediaNameSize);

// Custom page size in points from "PageSize=Custom.<w>x<h>"; on Astra Linux the page
// margins are added. Otherwise A4 (595 x 842) and false; no option string: untouched, false.
bool GetCustomSize(const char *parameter, float *width, float *height, bool isastra);

// Sets each margin named by "page-top", "page-bottom", "page-right", "page-left".
void GetPageMargins(const char *parameter, int *pagetop, int *pagebottom, int *pageright,
                    int *pageleft);

// Sets the tray byte of the first page specification frame in a spool file's first
// 1024 bytes to the low byte of `mediasource`, keeping the frame's checksum valid.
// Returns true when the frame was found and the file was rewritten.
bool EditMediaSource(const char *filename, uint16_t mediasource);
