// Stages of the colour library behind GDIPrintCMSmain: the tone stage fills a work buffer of ink
// values, the halftone stage screens it into the caller's bitmap. Not exported.
#pragma once

#include "cmslib/cms_api.h"

#include <array>
#include <cstdint>

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

// Tone stage: grey samples of pSrc into ink values in work (stride = width rounded up to 8).
void GDI_sRGB2CMYK(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t *work,
                   const CMS_TRANSFER_DST *pDst);

// Halftone stage: screens work into pDst->ColorDstData and releases work (allocated by malloc).
int GDI_ht(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t *work,
           const CMS_TRANSFER_DST *pDst);

// Tables rewritten by BrightnessLevelLut and ContrastLevelLut.
extern std::array<uint64_t, 256> brightlut;
extern std::array<uint64_t, 256> contrastlut;
