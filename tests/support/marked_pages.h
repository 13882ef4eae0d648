// Raster jobs whose pages carry their own number as a black block, and the printer order read
// back from a job stream: every page of the stream is named by the block it prints, so pages
// can be told apart even after they were spooled, replayed and turned for the back side.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/raster_writer.h"

// Page n carries a solid black block of n * kMarkUnitPixels pixels; a white page none.
constexpr unsigned kMarkWidthPerPage = 32; // block width per page number, pixels
constexpr unsigned kMarkHeight = 64;       // block height, pixels
constexpr int64_t kMarkUnitPixels = int64_t{kMarkWidthPerPage} * kMarkHeight;

// The header of the marked pages: 8-bit grey, 144 x 144 points at 600 dpi, "Custom" size.
cups_page_header2_t MarkedHeader();

// Page `number` with its block in the top-left corner (16 pixels in from both edges).
RasterPage MarkedPage(const cups_page_header2_t &header, unsigned number);

// Writes pages 1..count to `path`; `adjust` may change each page's header first (duplex,
// copies, ...).
void WriteMarkedJob(const std::string &path, unsigned count,
                    const std::function<void(cups_page_header2_t &)> &adjust = {});

// The printer order of a stream report, one token per page or command in stream order: the
// page's mark number ("1", "2", ...), "blank" for a page without toner, "?<toner pixels>" for
// a page whose toner is not a whole mark or that did not decode, and "cmd" for the manual
// duplex command.
std::vector<std::string> PrinterOrder(const Json &report);

// The page-start records in stream order: page specifications (platforms C, Z) or
// START_PAGE_CMD blocks (platform M).
std::vector<const Json *> PageStarts(const Json &report);

// A field of a page-start record by its platform C/Z name ("copies", "tray", "page_num");
// on platform M the matching parameter record (COPIES_PARAM, INPUT_TRAY_PARAM). -1 when
// the record has no such field.
int64_t PageStartField(const Json &pageStart, const std::string &field);

// One filter run taken apart: the run, the inspector's report of its stream, the printer
// order and what the run left in its temporary directory.
struct InspectedJob {
    FilterRun run;
    InspectRun inspect;
    std::vector<std::string> order;
    std::vector<std::string> leftovers; // names left in TMPDIR after the run
};

// Runs the filter with TMPDIR set to a fresh empty directory, then inspects the stream
// (when there is one) and lists the directory.
InspectedJob RunInspected(FilterCall call);

// Inspects a stream already captured and fills `job.inspect` and `job.order`.
void InspectStream(InspectedJob &job);
