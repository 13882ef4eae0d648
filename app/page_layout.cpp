#include "app/page_layout.h"

#include <algorithm>
#include <cmath>

namespace {

// A page this much larger than the printable area still fits it (sizes rounded to points).
constexpr double kSlackPoints = 1.0;

// Quarter turns counter-clockwise: landscape turns the page's top to the paper's left edge;
// "none" turns a page whose orientation differs from the paper's.
int QuarterTurns(double width, double height, const PaperArea &paper, ipp_orient_t orientation) {
    switch (orientation) {
    case IPP_ORIENT_PORTRAIT:
        return 0;
    case IPP_ORIENT_LANDSCAPE:
        return 1;
    case IPP_ORIENT_REVERSE_PORTRAIT:
        return 2;
    case IPP_ORIENT_REVERSE_LANDSCAPE:
        return 3;
    default:
        if (width == height || paper.width == paper.height) return 0;
        return (width > height) != (paper.width > paper.height) ? 1 : 0;
    }
}

} // namespace

// A paper-table row prints its bitmap (dots at 600 dpi) centred across the page from the top
// line; the core keeps a custom page less its margins, centred alike.
PaperArea PaperAreaOf(const PAPER_SIZE_INFO *row, double width, double height,
                      const float margins[4]) {
    PaperArea p;
    if (row != nullptr) {
        p.width = row->cupsPaperW;
        p.height = row->cupsPaperH;
        p.areaW = row->fwPaperW * 72.0 / 600.0;
        p.areaH = row->fwPaperH * 72.0 / 600.0;
        p.left = (p.width - p.areaW) / 2;
        return p;
    }
    p.width = width;
    p.height = height;
    p.left = margins[0];
    p.top = margins[3];
    p.areaW = std::max(1.0, width - margins[0] - margins[2]);
    p.areaH = std::max(1.0, height - margins[1] - margins[3]);
    return p;
}

// auto and auto-fit fit a page that does not fit the printable area and print any other at its
// size, centred in that area; auto prints a page of the paper's own size as it is (the margins
// cut its edges, as the CUPS filter prints it) and fills paper without margins with a picture.
// fit scales to the printable area, fill covers the whole paper (the rest is cut), none keeps
// the size and centres the page on the paper.
PagePlacement PlacePage(double width, double height, const PaperArea &paper,
                        const LayoutRequest &request) {
    PagePlacement p;
    p.quarterTurns = QuarterTurns(width, height, paper, request.orientation);
    const double w = p.quarterTurns % 2 ? height : width;
    const double h = p.quarterTurns % 2 ? width : height;
    if (!(w > 0 && h > 0)) return p;

    pappl_scaling_t mode = request.scaling;
    const bool borderless = paper.areaW >= paper.width && paper.areaH >= paper.height;
    const bool paperSize = std::abs(w - paper.width) <= 2 * kSlackPoints &&
                           std::abs(h - paper.height) <= 2 * kSlackPoints;
    if (mode == PAPPL_SCALING_AUTO && request.picture && borderless) mode = PAPPL_SCALING_FILL;
    if (mode == PAPPL_SCALING_AUTO && paperSize && request.sizeKnown) mode = PAPPL_SCALING_NONE;
    bool inArea = false;
    if (mode != PAPPL_SCALING_FILL && mode != PAPPL_SCALING_FIT && mode != PAPPL_SCALING_NONE) {
        const bool fits =
            request.sizeKnown && w <= paper.areaW + kSlackPoints && h <= paper.areaH + kSlackPoints;
        mode = fits ? PAPPL_SCALING_NONE : PAPPL_SCALING_FIT;
        inArea = fits;
    }
    double boxLeft = 0, boxTop = 0, boxW = paper.width, boxH = paper.height;
    switch (mode) {
    case PAPPL_SCALING_FIT:
        p.scale = std::min(paper.areaW / w, paper.areaH / h);
        inArea = true;
        break;
    case PAPPL_SCALING_FILL:
        p.scale = std::max(paper.width / w, paper.height / h);
        break;
    default:
        p.scale = 1;
        break;
    }
    if (inArea) {
        boxLeft = paper.left;
        boxTop = paper.top;
        boxW = paper.areaW;
        boxH = paper.areaH;
    }
    p.left = boxLeft + (boxW - w * p.scale) / 2;
    p.top = boxTop + (boxH - h * p.scale) / 2;
    return p;
}

// The page's point (u, v) goes to the turned page, is scaled and moved to the placement; the
// turned page's bottom left corner lies `top` plus its height below the paper's top edge.
std::array<double, 6> PageMatrix(double width, double height, const PaperArea &paper,
                                 const PagePlacement &placement) {
    const double s = placement.scale;
    const double turnedH = (placement.quarterTurns % 2 ? width : height) * s;
    const double x = placement.left, y = paper.height - placement.top - turnedH;
    switch (placement.quarterTurns) {
    case 1: // (u, v) -> (height - v, u)
        return {0, s, -s, 0, x + s * height, y};
    case 2: // (u, v) -> (width - u, height - v)
        return {-s, 0, 0, -s, x + s * width, y + s * height};
    case 3: // (u, v) -> (v, width - u)
        return {0, -s, s, 0, x, y + s * width};
    default:
        return {s, 0, 0, s, x, y};
    }
}
