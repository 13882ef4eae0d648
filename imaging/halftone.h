// Filter-side halftoning: 8-bit grey page (0 black, 255 white) to the printer's 1- or 2-bit
// bitmap by ordered dithering against fixed threshold matrices.
#pragma once

#include <cstdint>

#include "common/dialect.h"

// A threshold matrix as the dithering walks it: entry (y mod period, x mod period) at
// table[row * stride + column].
struct HT_SCREEN {
    const unsigned char *table;
    int stride;
    int period;
};

// The threshold matrix of a screen description (ScreenMatrix::None: the 600-dpi matrix).
HT_SCREEN SelectHalftoneScreen(ScreenMatrix matrix);

// Dithers srcImgWbytes x srcImgHpixels grey samples into pTarImgData as one continuous bit stream
// (MSB first; screen.bits bits per pixel) with the screen's matrix, reversed for a negative print.
// pTarImgData must hold srcImgWbytes * srcImgHpixels * bpp / 8 zero bytes; pixels of a last,
// incomplete byte are dropped. Columns from realImgWByte on are padding, kept positive in a
// negative print where the screen counts dots. Returns the number of toner dots printed (0 where
// the screen counts none), or -1 for a null buffer or a screen without a matrix.
int64_t HalftoneDither(const unsigned char *pSrcImgData, uint32_t srcImgWbytes,
                       uint32_t srcImgHpixels, unsigned char *pTarImgData, uint32_t realImgWByte,
                       const ScreenSpec &screen);

// Dithers `rows` lines that are rows firstRow.. of a page exactly as HalftoneDither dithers them
// within the whole page: pSrcRows points at row firstRow, pTarRows at the bitmap byte where that
// row starts. The rows must start on whole bytes of the bitmap (srcImgWbytes * bits per pixel a
// multiple of 8); returns -1 otherwise, and as HalftoneDither.
int64_t HalftoneDitherRows(const unsigned char *pSrcRows, uint32_t srcImgWbytes, uint32_t rows,
                           uint32_t firstRow, unsigned char *pTarRows, uint32_t realImgWByte,
                           const ScreenSpec &screen);

// Places one row that Ghostscript already halftoned with `screen` (MSB first, a set bit white)
// as the row of a page `width` pixels wide (a multiple of 8) that starts a byte of the bitmap at
// pTarRow: `pixels` pixels (at most `width`) from pixel `firstPixel` of the row on, the rest of the
// page row white. Gives exactly the bytes and dot count HalftoneDitherRows gives for the grey row
// they were made from (reversed for a negative print). Only for 1-bit screens; -1 otherwise.
int64_t PlaceScreenedRow(const unsigned char *pWhiteBits, uint32_t firstPixel, uint32_t pixels,
                         uint32_t width, unsigned char *pTarRow, uint32_t realImgWByte,
                         const ScreenSpec &screen);
