#pragma once
#include <cups/raster.h>

#include <cstring>

// The number a page-header field carried in the stream. The enumerated fields (Duplex,
// cupsColorSpace, ...) hold whatever 32 bits the raster stream had, which need not be a
// value of their enumeration; reading them as the enumeration type is undefined.
template <typename T> int RawHeaderField(const T &field) {
    static_assert(sizeof(T) == sizeof(int));
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

// Writes the page header's fields to standard error as DEBUG lines.
void log_page_header2(const cups_page_header2_t *header);
