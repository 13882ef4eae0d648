// A white page with the job's page settings: the blank back side of an odd-length
// two-sided job, and the filler that keeps manual-duplex passes paired.
#pragma once

#include <cups/raster.h>

#include "prnt/prnt_params.h"

void InsertBlankPage(cups_page_header2_t header, GDI_START_PAGE_PARAM *pStartPageParam,
                     int platform);
