// In-place turns of an 8-bit page (one byte per pixel, rows of widthBytes bytes, no padding).
#pragma once

#include <cstdint>

// Turns the image by 180 degrees, in place. Returns 1, or 0 (image unchanged) when a size is 0
// or the buffer is null.
int Rotate180(unsigned char *imgBuf, uint32_t widthBytes, uint32_t heightPixels);

// Turns the image clockwise by 90 degrees: afterwards the buffer holds heightPixels bytes per row
// and widthBytes rows (the caller swaps its width and height). Returns 1, or 0 (image unchanged)
// when a size is 0, the buffer is null or the work buffer cannot be allocated.
int Rotate90(unsigned char *imgBuf, uint32_t widthBytes, uint32_t heightPixels);
