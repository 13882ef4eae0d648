#pragma once
#include <cups/raster.h>
// Writes the page header's fields to standard error as DEBUG lines.
void log_page_header2(const cups_page_header2_t *header);
