// Ghostscript's side of the fast route: the PostScript that makes Ghostscript halftone a page to
// 1 bit with one of the driver's own threshold screens, giving the bitmap the driver's dithering
// makes of Ghostscript's 8-bit render of the same page.
#pragma once

#include <string>
#include <vector>

#include "common/dialect.h"

// True when Ghostscript can halftone pages with `screen` exactly as HalftoneDither would.
bool GhostscriptHalftonesExactly(const ScreenSpec &screen);

// PostScript for Ghostscript's command line, one argument after -c per statement (each shorter
// than the 2048 bytes Ghostscript takes in one argument), that installs the screen and its
// transfer function through the page device, so that every page keeps them; empty for a screen
// GhostscriptHalftonesExactly rejects. The page comes out positive: a negative print is inverted
// by the driver, which knows which columns are padding. With a `shift`, the screen is moved right
// by that many columns (the driver's phase of lines it centres on a narrower page).
std::vector<std::string> GhostscriptScreenSetup(const ScreenSpec &screen, unsigned shift = 0);
