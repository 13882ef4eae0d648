// End-to-end job helpers: raster pages made of black blocks on white, a reference model of
// where the filter must put those blocks in the printed bitmap, and one call that runs the
// real filter on the pages and reads the job stream back with the inspector.
//
// Black (0) and white (0xFF) samples are the only ones used: every screen prints black as
// toner (level 3 on 2-bit pages) and white as no toner, so the expected bitmap is exact
// whatever the threshold tables hold.
#pragma once

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/raster_writer.h"

using Bitmap = std::vector<uint8_t>;

// A black rectangle in raster pixels of the input page, end coordinates exclusive.
struct Block {
    unsigned x0, y0, x1, y1;
};

// A white page with the blocks in black; only the first `lines` lines are kept (a truncated
// page when fewer than cupsHeight).
RasterPage BlockPage(const cups_page_header2_t &header, const std::vector<Block> &blocks,
                     unsigned lines = UINT_MAX);

// Where the filter puts the raster lines: a page of width x height printer pixels, filled
// from the top-left with the raster lines (a line wider than the page is cut by equal
// amounts on each side), then turned by 180 degrees and/or clockwise by 90 degrees,
// screened at 1 or 2 bits per pixel, and inverted for a negative print.
struct PageModel {
    unsigned width = 0;
    unsigned height = 0;
    bool rotate180 = false;
    bool rotate90 = false;
    unsigned bpp = 1;
    bool negative = false;
};

// The bitmap the inspector's --dump-page must give for the page: rows of
// ceil(turned width x bpp / 8) bytes, most significant bits first.
Bitmap ExpectedBitmap(const RasterPage &page, const std::vector<Block> &blocks,
                      const PageModel &model);

// "" when the bitmaps are equal, else the number of differing bytes and the first one
// (row and byte in the row).
std::string DescribeDifference(const Bitmap &got, const Bitmap &want, size_t rowBytes);

// Value of the pixel (x, y) of a dumped bitmap: 0 or 1 (1 bpp), 0-3 (2 bpp).
unsigned PixelAt(const Bitmap &bitmap, size_t rowBytes, unsigned bpp, unsigned x, unsigned y);

struct JobRun {
    FilterRun run;      // exit code and standard error of the filter
    std::string stream; // path of the job stream it wrote
    InspectRun report;  // kelvra-inspect --json of the stream
};

// Writes the pages to a raster file in `dir`, runs the filter on it with the PPD fixture and
// options, saves the stream and inspects it. `tag` names the files.
JobRun RunJob(const TempDir &dir, const std::string &ppdFixture, const std::string &options,
              const std::vector<RasterPage> &pages, const std::string &tag = "job",
              const std::map<std::string, std::string> &env = {});

// The decoded bitmap of page `index` (1-based, stream order) of a stream; empty on failure.
Bitmap DumpPage(const TempDir &dir, const std::string &stream, int index);

// A field of the item's "fields" object as an integer.
int64_t Field(const Json *item, const char *name);

// A parameter of a platform M block by record name (-1 when absent).
int64_t BlockParam(const Json *block, const char *name);

// The items named `name` that belong to page `page` (1-based stream index).
std::vector<const Json *> PageItems(const Json &report, const std::string &name, int64_t page);
