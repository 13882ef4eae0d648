// Stages of the colour library behind GDIPrintCMSmain: the tone stage fills a work buffer of ink
// values, the halftone stage screens it into the caller's bitmap. Not exported.
#pragma once

#include "cmslib/cms_api.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Where one call's messages go: the caller's function with its context, or standard error for
// the plain entry point. Held per call, so calls on two threads keep their messages apart.
struct CmsMessages {
    CMS_MESSAGE_FN fn;
    void *context;
    void Put(const char *text) const;
    void Printf(const char *format, ...) const __attribute__((format(printf, 2, 3)));
};

// Descriptor of the threshold matrix chosen for one page.
struct CMS_DITHER_THRESH {
    const uint8_t *pThresh; // first threshold, or null when no matrix fits
    uint64_t width;
    uint64_t height;
    uint8_t bitsPerPixel;
    uint8_t reserved[7];
};

// Chooses the threshold matrix for a resolution (dpi) and output depth; 0 x 0 when none fits.
CMS_DITHER_THRESH *GDI1getditherthresh(CMS_DITHER_THRESH *pThresh, int resolution, int unused,
                                       int bitsPerPixel);

// Lines of the work buffer: the page is toned and screened in bands of this many lines, so the
// work buffer stays in cache; 16 is one period of the 600-dpi screens.
constexpr size_t kWorkBandLines = 16;

// Tone stage, setup: the page's table from grey sample to ink value (inversion, density curve,
// linearisation curve), built through one pixel record. Writes the stage's diagnostics to
// `messages`. When the record cannot be allocated the table maps everything to 0, so the page
// gets no toner.
void GDI_toneTable(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t ink[256],
                   const CmsMessages &messages);

// Tone stage: source lines [first, first + count) through the table into work rows 0..count-1.
void GDI_sRGB2CMYK(const CMS_TRANSFER_SRC *pSrc, const uint8_t ink[256], size_t first, size_t count,
                   uint8_t *work, size_t stride);

// The screen prepared for one page: matrix, depth and phase, and the refusal text for depths
// that have no matrix (empty when the page can be screened).
struct CMS_SCREEN {
    const uint8_t *thresh; // matrix rows of width cells of levels thresholds
    size_t width;
    size_t height;
    unsigned bits;   // bits per output pixel
    unsigned levels; // thresholds per cell, 2^bits - 1
    size_t phaseX;   // page position of the area
    size_t phaseY;
    // Row r, threshold k, lane c: the threshold for columns j with (j + phaseX) mod 16 = c of
    // the 16 x 16 matrices, raised to at least 1.
    alignas(16) uint8_t rows[16][3][16];
    char refusal[96];
};

// Halftone stage, setup: selects the matrix for the depth in pDst; false with the refusal text
// set when the depth has none (8 bits, 4 bits or an unknown code).
bool GDI_htPrepare(const CMS_SETTINGS *pSettings, const CMS_TRANSFER_DST *pDst, CMS_SCREEN *screen);

// Halftone stage: screens work rows 0..count-1, which hold page lines [first, first + count), into
// those lines of pDst->ColorDstData.
void GDI_ht(const CMS_SCREEN &screen, const CMS_TRANSFER_SRC *pSrc, const CMS_TRANSFER_DST *pDst,
            const uint8_t *work, size_t stride, size_t first, size_t count);

// Tables rewritten by BrightnessLevelLut and ContrastLevelLut.
extern std::array<uint64_t, 256> brightlut;
extern std::array<uint64_t, 256> contrastlut;
