// Ghostscript's side of the fast route: the PostScript that makes Ghostscript halftone a page to
// 1 bit with one of the driver's own threshold screens, giving the bitmap the driver's dithering
// makes of Ghostscript's 8-bit render of the same page.
//
// Colours here are Ghostscript's fractions, 0 (black) to 32760 (white). Ghostscript maps a
// colour through the transfer function (256 samples, linear between them), takes its level
// among the halftone's levels and blackens the cells whose threshold is above the level; the
// cups device instead rounds the colour to a byte that the driver compares with its thresholds.
// Each screen gets a transfer function and a renumbering of its thresholds under which the two
// blacken the same cells for every colour, and under which white stays white rather than a
// halftone: Ghostscript fills pure colours far faster.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/dialect.h"

// A screen's transfer function as Ghostscript samples it, with the number of halftone levels
// its renumbered thresholds give (the largest threshold + 1).
struct GhostscriptTransfer {
    int levels;
    int samples[256];
};

// The transfer of a 1-bit screen's matrix (written by tools/gen_gs_transfer.cpp).
const GhostscriptTransfer &TransferOf(ScreenMatrix matrix);

// The byte the cups device writes for colour c (to 16 bits, then rounded to 8).
int CupsDeviceByte(int c);

// The first colour whose byte is at least `grey`.
int FirstColourOfByte(int grey);

// The halftone level Ghostscript gives colour c through the transfer (t.levels: pure white).
int HalftoneLevelOf(const GhostscriptTransfer &t, int c);

// Which of the thresholds 1-255 the screen's matrix holds ([0] false).
std::vector<bool> PresentThresholds(ScreenMatrix matrix);

// The renumbered threshold of each driver threshold 1-255 ([0] unused): the level the transfer
// reaches at the first colour whose byte is no longer below that threshold.
std::vector<int> RenumberedThresholds(const GhostscriptTransfer &t);

// True when Ghostscript can halftone pages with `screen` exactly as HalftoneDither would.
bool GhostscriptHalftonesExactly(const ScreenSpec &screen);

// PostScript for Ghostscript's command line, one argument after -c per statement (each shorter
// than the 2048 bytes Ghostscript takes in one argument), that installs the screen and its
// transfer function through the page device, so that every page keeps them; empty for a screen
// GhostscriptHalftonesExactly rejects. The page comes out positive: a negative print is inverted
// by the driver, which knows which columns are padding. With a `shift`, the screen is moved right
// by that many columns (the driver's phase of lines it centres on a narrower page).
std::vector<std::string> GhostscriptScreenSetup(const ScreenSpec &screen, unsigned shift = 0);
