// What dialects C and Z share: the short command frames of the page start, the raster image
// frame in front of the coded page, the job end and the tray patch of a spooled page start.
#pragma once

#include "prnt/prnt.h"

#include <cstdint>

// Page specification, custom paper frame and, on C, the host-use frame.
int StartPageShort(PrntStream &s, const GDI_START_PAGE_PARAM &sp, int platform);
// Sends the raster image frame and the coded bytes.
int SendRasterImage(PrntStream &s, const GDI_SEND_PAGE_PARAM &sp);
// The reset and end-of-job texts that close a job.
int EndDocShort(PrntStream &s);
