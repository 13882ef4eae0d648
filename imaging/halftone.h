// Filter-side halftoning: 8-bit grey page (0 black, 255 white) to the printer's 1- or 2-bit
// bitmap by ordered dithering against fixed threshold matrices.
#pragma once

#include <cstdint>

// A threshold matrix as the dithering walks it: entry (y mod period, x mod period) at
// table[row * stride + column].
struct HT_SCREEN {
    const unsigned char *table;
    int stride;
    int period;
};

// The matrix for a job: by platform (1 C, 2 Z, 3 M), the 1200-dpi option (1 = set) and, on
// platform Z, whether the model dithers with the 96 x 96 supercells (`newScreens`). Platform M
// always dithers with the 600-dpi matrix.
HT_SCREEN SelectHalftoneScreen(int platform, int b1200dpi, bool newScreens);

// Dithers srcImgWbytes x srcImgHpixels grey samples into pTarImgData as one continuous bit stream
// (MSB first; 2 bits per pixel on platform M with b1200dpi 1, else 1). pTarImgData must hold
// srcImgWbytes * srcImgHpixels * bpp / 8 zero bytes; pixels of a last, incomplete byte are dropped.
// Columns from realImgWByte on are padding, kept positive in a negative print on platforms C and Z.
// Returns the number of toner dots printed (counted on platforms C and Z, 0 on M), or -1 for a
// null buffer or a platform other than 1-3.
int64_t HalftoneDither(const unsigned char *pSrcImgData, uint32_t srcImgWbytes,
                       uint32_t srcImgHpixels, unsigned char *pTarImgData, uint32_t realImgWByte,
                       int bNegative, int b1200dpi, int platform, bool newScreens);

// Dithers `rows` lines that are rows firstRow.. of a page exactly as HalftoneDither dithers them
// within the whole page: pSrcRows points at row firstRow, pTarRows at the bitmap byte where that
// row starts. The rows must start on whole bytes of the bitmap (srcImgWbytes * bits per pixel a
// multiple of 8); returns -1 otherwise, and as HalftoneDither.
int64_t HalftoneDitherRows(const unsigned char *pSrcRows, uint32_t srcImgWbytes, uint32_t rows,
                           uint32_t firstRow, unsigned char *pTarRows, uint32_t realImgWByte,
                           int bNegative, int b1200dpi, int platform, bool newScreens);
