// A raster page header as the job receives it: the checks that it can be printed, and its
// fields in the job's log.
#pragma once

#include <cups/raster.h>

#include <cstdio>
#include <cstring>

// Largest page the driver accepts, in points per axis (more than the largest paper of the
// catalogue, 11x17 inches, with a generous margin), and the largest resolution.
constexpr unsigned kMaxPagePoints = 1400;
constexpr unsigned kMaxResolution = 1200;

// The number a page-header field carried in the stream. The enumerated fields (Duplex,
// cupsColorSpace, ...) hold whatever 32 bits the raster stream had, which need not be a
// value of their enumeration; reading them as the enumeration type is undefined.
template <typename T> int RawHeaderField(const T &field) {
    static_assert(sizeof(T) == sizeof(int));
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// Checks a page header before anything is allocated for it; writes an "ERROR:" line to `log`
// and returns false for a page the driver cannot print.
bool IsPrintableRasterHeader(const cups_page_header2_t &header, std::FILE *log);

// Writes the page header's fields to `log` as DEBUG lines.
void log_page_header2(const cups_page_header2_t *header, std::FILE *log);

// A page Ghostscript halftoned already (1-bit white-is-1 grey) is taken as the 8-bit page it
// stands for: the header gets 8 bits per pixel and one byte per pixel, and the result is true.
// Any other header is left as it is (false).
bool TakeScreenedHeader(cups_page_header2_t &h);
