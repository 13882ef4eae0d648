// Jobs that cannot be printed as sent: raster headers the printers cannot take, and a reader
// of the job stream that goes away early.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/job_e2e.h"

namespace {

// A header whose fields are then changed by `edit`, on a single page without pixel data.
RasterPage RefusedPage(void (*edit)(cups_page_header2_t &)) {
    RasterPage page;
    page.header = MakeGreyHeader(595, 842, 600, 600, "A4");
    edit(page.header);
    return page;
}

struct PipeRun {
    FilterRun run;
    size_t bytesRead = 0;
};

// Runs the filter with standard output on a small pipe whose reader takes `readBefore` bytes
// and then closes it (0: closed before the filter starts), and waits at most 60 s.
PipeRun RunWithClosingReader(const std::string &raster, const std::string &ppd, size_t readBefore) {
    FilterCall call;
    call.args = FilterArgs("", raster);
    call.env["PPD"] = FixturePPD(ppd);
    FilterProcess filter(
        call, {.output = readBefore == 0 ? ProcessStreams::ClosedPipe : ProcessStreams::Pipe,
               .outputPipeSize = 4096});
    PipeRun r;
    r.bytesRead = filter.ReadOut(readBefore, std::chrono::seconds(60));
    filter.CloseOut();
    r.run = filter.Finish(std::chrono::seconds(60));
    return r;
}

} // namespace

// Headers the printers cannot take are refused before any buffer is sized from them: an
// "ERROR:" line, no job start, and exit 1 since no page was printed.
TEST(JobInputErrors, RefusedRasterHeadersEndTheJobBeforeAnyOutput) {
    struct Case {
        const char *name;
        void (*edit)(cups_page_header2_t &);
    };
    const Case cases[] = {
        {"1-bit raster with black as 1",
         [](cups_page_header2_t &h) {
             h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
             h.cupsColorSpace = CUPS_CSPACE_K;
             h.cupsBytesPerLine = (h.cupsWidth + 7) / 8;
         }},
        {"RGB raster",
         [](cups_page_header2_t &h) {
             h.cupsBitsPerPixel = 24;
             h.cupsColorSpace = CUPS_CSPACE_RGB;
             h.cupsNumColors = 3;
             h.cupsBytesPerLine = 3 * h.cupsWidth;
         }},
        {"2400 dpi",
         [](cups_page_header2_t &h) {
             h.HWResolution[0] = h.HWResolution[1] = 2400;
             h.cupsWidth = h.cupsBytesPerLine = 595 * 2400 / 72;
             h.cupsHeight = 842 * 2400 / 72;
         }},
        {"absurd raster size",
         [](cups_page_header2_t &h) { h.cupsWidth = h.cupsBytesPerLine = h.cupsHeight = 4000000; }},
        {"absurd page size",
         [](cups_page_header2_t &h) { h.PageSize[0] = h.PageSize[1] = 100000; }},
        {"zero page size", [](cups_page_header2_t &h) { h.PageSize[0] = 0; }},
        {"line length not the width", [](cups_page_header2_t &h) { h.cupsBytesPerLine = 100; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        JobRun job = RunJob(dir, "platform_c.ppd", "", {RefusedPage(c.edit)});
        EXPECT_EQ(job.run.exitCode, 1);
        EXPECT_NE(job.run.err.find("ERROR: Unsupported raster page"), std::string::npos)
            << job.run.err;
        EXPECT_NE(job.run.err.find("ERROR: No pages found!\n"), std::string::npos);
        EXPECT_EQ(job.run.err.find("Malloc"), std::string::npos);
        EXPECT_TRUE(job.run.out.empty()) << "nothing may reach the printer";
    }
}

// A refused header after a printed page ends the job there: the printed page is closed with
// its job end and the filter reports success for what it printed.
TEST(JobInputErrors, RefusedHeaderAfterAPrintedPageEndsTheJobCleanly) {
    TempDir dir;
    const cups_page_header2_t good = MakeGreyHeader(192, 216, 600, 600, "Custom");
    const std::vector<Block> blocks = {{0, 0, 800, 100}};
    RasterPage bad = RefusedPage([](cups_page_header2_t &h) { h.HWResolution[0] = 4800; });
    const RasterPage first = BlockPage(good, blocks);
    JobRun job = RunJob(dir, "platform_c.ppd", "", {first, bad, first});
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_NE(job.run.err.find("ERROR: Unsupported raster page"), std::string::npos);
    EXPECT_TRUE(job.report.json["ok"].boolean) << job.report.err;
    ASSERT_EQ(job.report.json["pages"].size(), 1u);
    const Bitmap got = DumpPage(dir, job.stream, 1);
    EXPECT_EQ(DescribeDifference(got, ExpectedBitmap(first, blocks, {1600, 1800}), 200), "");
}

// The reader of the job stream is gone before the first byte: the filter says so with an
// "ERROR:" line and exits 1 without rendering the pages.
TEST(JobInputErrors, OutputClosedBeforeTheJobStopsTheFilter) {
    TempDir dir;
    const std::string raster = dir.file("in.ras");
    const cups_page_header2_t h = MakeGreyHeader(192, 216, 600, 600, "Custom");
    WriteRasterFile(raster, {MakeGreyPage(h), MakeGreyPage(h), MakeGreyPage(h)});
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        PipeRun r = RunWithClosingReader(raster, ppd, 0);
        EXPECT_FALSE(r.run.timedOut);
        EXPECT_EQ(r.run.exitCode, 1) << r.run.err;
        EXPECT_NE(r.run.err.find("ERROR: "), std::string::npos) << r.run.err;
        EXPECT_EQ(r.run.err.find("INFO: Printing page"), std::string::npos) << "no page rendered";
        EXPECT_EQ(r.run.err.find("INFO: Ready to print."), std::string::npos);
    }
}

// The reader closes the stream in the middle of the first page: the filter stops there.
TEST(JobInputErrors, OutputClosedMidPageStopsTheFilter) {
    TempDir dir;
    const std::string raster = dir.file("in.ras");
    const cups_page_header2_t h = MakeGreyHeader(595, 842, 600, 600, "A4");
    // Scattered black and white dots do not compress, so one page is far more than the pipe
    // holds and the bytes read before the close.
    const RasterPage busy = MakeGreyPage(h, [](unsigned x, unsigned y) -> uint8_t {
        uint32_t v = x * 0x9E3779B1u ^ y * 0x85EBCA77u;
        v ^= v >> 15;
        v *= 0x2C1B3C6Du;
        return (v >> 28) & 1 ? 0 : 0xFF;
    });
    WriteRasterFile(raster, {busy, busy, busy});
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        PipeRun r = RunWithClosingReader(raster, ppd, 16384);
        EXPECT_GE(r.bytesRead, 16384u) << "the stream ended before the reader closed it";
        EXPECT_FALSE(r.run.timedOut);
        EXPECT_EQ(r.run.exitCode, 1) << r.run.err;
        EXPECT_NE(r.run.err.find("ERROR: "), std::string::npos) << r.run.err;
        EXPECT_EQ(r.run.err.find("PAGE: 2 "), std::string::npos) << "the filter went on rendering";
        EXPECT_EQ(r.run.err.find("INFO: Ready to print."), std::string::npos);
    }
}
