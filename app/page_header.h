// The page header the driver core takes, made from the header a page arrived with. Media are
// matched with the paper table by PWG name, never by points: a PWG raster header gives A4 as
// 595 x 841 points where the paper tables (and a CUPS raster header from the PPD) say 595 x 842.
// A page that carries no name (Apple raster, Ghostscript's output) is named by PWG's own
// lookup of its size, which allows for such differences. The page gets the size and PPD
// page-size name of its paper-table row, the job's sides and copies, and the size of its lines
// once converted to the job's resolution.
#pragma once

#include <cups/raster.h>

#include <pappl/pappl.h>

#include <string>

#include "common/paper_catalogue.h"

struct PageDecisions {
    const PAPER_SIZE_INFO *paperTable = nullptr;
    std::string jobMedia; // the job's PWG media name
    unsigned resolution = 600;
    pappl_sides_t sides = PAPPL_SIDES_ONE_SIDED;
    unsigned copies = 1;
};

// The header for the core: `in` with the page's row size and name (by the page's own PWG name,
// or the PWG name of its size when it has none, else by the job's media; a page matching no row
// keeps its size), the job's resolution, sides and copies, and `width` x `height` 8-bit grey
// lines.
cups_page_header2_t CoreHeader(const cups_page_header2_t &in, const PageDecisions &d,
                               unsigned width, unsigned height);

// The header for the core of a page Ghostscript halftoned with the job's screen at the job's
// resolution: as CoreHeader, with the page's own 1-bit lines (white is 1) in the shape the
// core takes as already screened.
cups_page_header2_t ScreenedCoreHeader(const cups_page_header2_t &in, const PageDecisions &d);
