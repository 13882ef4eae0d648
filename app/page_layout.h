// Where a document page lands on the paper: print-scaling and orientation-requested turned into
// a quarter turn, a scale and a position. One answer for every format: the PDF filter hands it
// to Ghostscript as a transformation, the image filter resamples the picture by it.
//
// Sizes are in points; positions are measured from the paper's top left corner. The printable
// area is where the printer puts toner: the paper-table row's bitmap (centred across the page,
// from its top line), or the page less the custom-size margins.
#pragma once

#include <pappl/pappl.h>

#include <array>

#include "common/paper_catalogue.h"

struct PaperArea {
    double width = 0, height = 0;                   // the paper
    double left = 0, top = 0, areaW = 0, areaH = 0; // its printable area
};

// The paper of a paper-table row (null for a custom size: `width` x `height` points less the
// custom margins, left, bottom, right, top).
PaperArea PaperAreaOf(const PAPER_SIZE_INFO *row, double width, double height,
                      const float margins[4]);

// What the job asks for: print-scaling, the page turn (orientation-requested; "none" turns
// each page to the paper's orientation) and whether the document is a picture (a picture of
// unknown resolution has no size of its own and always fits or fills).
struct LayoutRequest {
    pappl_scaling_t scaling = PAPPL_SCALING_AUTO;
    ipp_orient_t orientation = IPP_ORIENT_NONE;
    bool picture = false;
    bool sizeKnown = true;
};

// The page turned counter-clockwise by `quarterTurns` quarters, scaled by `scale`, with the top
// left corner of the turned, scaled page at (left, top).
struct PagePlacement {
    int quarterTurns = 0;
    double scale = 1;
    double left = 0, top = 0;
};

// Places a page of `width` x `height` points.
PagePlacement PlacePage(double width, double height, const PaperArea &paper,
                        const LayoutRequest &request);

// The PostScript matrix [a b c d tx ty] that draws a page of `width` x `height` points, in its
// own default user space, where `placement` puts it on the paper (origin bottom left, y up).
std::array<double, 6> PageMatrix(double width, double height, const PaperArea &paper,
                                 const PagePlacement &placement);
