// One page's road: size and paper code, page start, raster lines into an 8-bit grey page,
// turns, halftoning, page data and page end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "filter/job.h"

enum PageResult {
    PAGE_DONE,      // the page was sent (or reported as failed) and the job goes on
    PAGE_JOB_END,   // a buffer could not be allocated: go to job end
    PAGE_CLEANUP,   // cancelled while reading on platform M: straight to cleanup
};

// Largest page the filter accepts, in points per axis (more than the largest paper of the
// catalogue, 11x17 inches, with a generous margin), and the largest resolution.
constexpr unsigned kMaxPagePoints = 1400;
constexpr unsigned kMaxResolution = 1200;

// Checks a page header from the input before anything is allocated for it; writes an
// "ERROR:" line and returns false for a page the filter cannot print.
bool IsPrintableRasterHeader(const cups_page_header2_t &header);

// Widens a 1-bit page to 2 bits per pixel in place: each toner pixel becomes level 3, each
// white pixel level 0. buf holds pixels/8 bytes of 1-bit data and has room for pixels/4.
void Expand1BitTo2Bit(uint8_t *buf, size_t pixels);

PageResult ProcessPage(JOB_STATE &job);
