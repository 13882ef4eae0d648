// Cancellation (SIGTERM) of the real filter at chosen points of a job: the raster stream is
// fed through a pipe piece by piece, and the signal is sent once the filter has reached the
// point under test. Checked: the exit code, a job stream that ends with a proper job end,
// and a temporary directory left empty.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/marked_pages.h"

namespace {

using std::chrono::seconds;

// A raster stream cut into the pieces a test feeds one by one.
struct RasterPieces {
    std::string sync;                 // the sync word
    std::vector<std::string> headers; // one page header each
    std::vector<std::string> lines;   // the page's pixel data, whole
};

// Writes the pages with the raster writer and cuts its uncompressed stream at the page
// headers (4-byte sync word, then per page the header and its lines).
RasterPieces CutRaster(const std::vector<RasterPage> &pages) {
    TempDir dir;
    const std::string path = dir.file("job.ras");
    WriteRasterFile(path, pages);
    const std::string bytes = ReadWholeFile(path);
    RasterPieces pieces;
    pieces.sync = bytes.substr(0, 4);
    size_t at = 4;
    for (const RasterPage &page : pages) {
        pieces.headers.push_back(bytes.substr(at, sizeof(cups_page_header2_t)));
        at += sizeof(cups_page_header2_t);
        pieces.lines.push_back(bytes.substr(at, page.pixels.size()));
        at += page.pixels.size();
    }
    EXPECT_EQ(at, bytes.size()) << "the raster writer's stream is not laid out as expected";
    return pieces;
}

// Marked pages 1..count, each header changed by `adjust`.
std::vector<RasterPage> MarkedPages(unsigned count,
                                    const std::function<void(cups_page_header2_t &)> &adjust = {}) {
    std::vector<RasterPage> pages;
    for (unsigned n = 1; n <= count; ++n) {
        cups_page_header2_t h = MarkedHeader();
        if (adjust) adjust(h);
        pages.push_back(MarkedPage(h, n));
    }
    return pages;
}

FilterCall RasterCall(const std::string &ppd, const TempDir &tmp, const std::string &options = "") {
    FilterCall call;
    call.args = FilterArgs(options);
    call.env["PPD"] = FixturePPD(ppd);
    call.env["TMPDIR"] = tmp.path();
    return call;
}

// Sends SIGTERM once the filter catches it, and waits until its handler has taken it.
void Cancel(FilterProcess &filter) {
    ASSERT_TRUE(filter.WaitUntilCatching(SIGTERM, seconds(10)));
    ASSERT_TRUE(filter.Signal(SIGTERM));
    ASSERT_TRUE(filter.WaitUntilDelivered(SIGTERM, seconds(10)));
}

// Waits until the filter has used up everything fed so far and waits in a read of standard
// input for more: whatever it made of the input before is done.
void WaitUntilAwaitingInput(FilterProcess &filter) {
    ASSERT_TRUE(filter.WaitUntilBlockedIn(SYS_read, STDIN_FILENO, seconds(20)));
}

// Feeds one whole page and waits until the filter has printed it and waits for more.
void FeedPageAndSettle(FilterProcess &filter, const RasterPieces &raster, size_t index) {
    ASSERT_TRUE(filter.Write(raster.headers[index] + raster.lines[index]));
    WaitUntilAwaitingInput(filter);
}

InspectedJob Inspected(const FilterRun &run, const TempDir &tmp) {
    InspectedJob job;
    job.run = run;
    job.leftovers = tmp.entries();
    InspectStream(job);
    return job;
}

void Duplex(cups_page_header2_t &h) {
    h.Duplex = CUPS_TRUE;
    h.Tumble = CUPS_FALSE;
}

} // namespace

// Cancelled before the first page: no job start, no job end, exit 1.
TEST(Cancel, BeforeTheFirstPageNothingIsPrinted) {
    TempDir tmp;
    const RasterPieces raster = CutRaster(MarkedPages(2));
    FilterProcess filter(RasterCall("platform_c.ppd", tmp), {.pipeInput = true});
    Cancel(filter);
    // The pages arrive after the signal; the filter must not start the job.
    filter.Write(raster.sync + raster.headers[0] + raster.lines[0]);
    const FilterRun run = filter.Finish();
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("ERROR: No pages found!\n"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(tmp.entries().empty()) << Joined(tmp.entries());
}

// Cancelled between two pages on platform C: the printed page stays, the next one is not
// started, the job end follows, exit 0.
TEST(Cancel, BetweenPagesThePrintedPageIsFollowedByTheJobEnd) {
    TempDir tmp;
    const RasterPieces raster = CutRaster(MarkedPages(3));
    FilterProcess filter(RasterCall("platform_c.ppd", tmp), {.pipeInput = true});
    ASSERT_TRUE(filter.Write(raster.sync));
    FeedPageAndSettle(filter, raster, 0);
    Cancel(filter);
    filter.Write(raster.headers[1] + raster.lines[1]); // refused once the filter stops reading
    const InspectedJob job = Inspected(filter.Finish(), tmp);
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_NE(job.run.err.find("INFO: Ready to print.\n"), std::string::npos);
    EXPECT_EQ(CountOf(job.run.err, "PAGE: "), 1u);
    EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
    EXPECT_EQ(Joined(job.order), "1");
    EXPECT_TRUE(job.leftovers.empty()) << Joined(job.leftovers);
}

// Cancelled while the second page's lines arrive, on platforms C and M: the lines read so far
// print, the rest of the page is white, the page and the job are closed properly (on M too:
// page end, job end and the universal exit), exit 0.
TEST(Cancel, DuringAPageTheRestOfThePageIsWhite) {
    for (const char *ppd : {"platform_c.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        TempDir tmp;
        cups_page_header2_t h = MarkedHeader();
        std::vector<RasterPage> pages = {MarkedPage(h, 1), MakeGreyPage(h, [](unsigned, unsigned) {
                                             return uint8_t{0}; // all black
                                         })};
        const RasterPieces raster = CutRaster(pages);
        const size_t sentLines = h.cupsHeight / 2;
        FilterProcess filter(RasterCall(ppd, tmp), {.pipeInput = true});
        ASSERT_TRUE(filter.Write(raster.sync));
        FeedPageAndSettle(filter, raster, 0);
        ASSERT_TRUE(filter.Write(raster.headers[1] +
                                 raster.lines[1].substr(0, sentLines * h.cupsBytesPerLine)));
        WaitUntilAwaitingInput(filter); // every line sent is on the page
        Cancel(filter);
        const InspectedJob job = Inspected(filter.Finish(), tmp);
        EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
        EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
        ASSERT_EQ(job.order.size(), 2u) << Joined(job.order);
        EXPECT_EQ(job.order[0], "1");
        EXPECT_EQ(job.inspect.json["pages"][1]["toner_pixels"].asInt(),
                  static_cast<int64_t>(sentLines) * h.cupsWidth)
            << "exactly the lines that arrived carry toner";
        EXPECT_TRUE(job.leftovers.empty()) << Joined(job.leftovers);
    }
}

// Cancelled during the first pass of a manual-duplex job, after page 2 went into the spool:
// the odd page printed stays, nothing is replayed (no command, no back sides), the job end
// follows and the spool files are gone.
TEST(Cancel, ManualDuplexFirstPassSkipsTheReplays) {
    TempDir tmp;
    const RasterPieces raster = CutRaster(MarkedPages(3, Duplex));
    FilterProcess filter(RasterCall("platform_z.ppd", tmp), {.pipeInput = true});
    ASSERT_TRUE(filter.Write(raster.sync));
    FeedPageAndSettle(filter, raster, 0);
    FeedPageAndSettle(filter, raster, 1);
    ASSERT_NE(filter.Err().find("PAGE: 2 1"), std::string::npos) << filter.Err();
    // The two spool files exist while the pass runs: TMPDIR is where the filter spools.
    EXPECT_EQ(tmp.entries().size(), 2u) << Joined(tmp.entries());
    Cancel(filter);
    filter.Write(raster.headers[2] + raster.lines[2]);
    const InspectedJob job = Inspected(filter.Finish(), tmp);
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
    EXPECT_EQ(Joined(job.order), "1");
    EXPECT_EQ(job.run.err.find("INFO:Turn"), std::string::npos) << "no second pass was asked for";
    EXPECT_TRUE(job.leftovers.empty()) << Joined(job.leftovers);
}

// SIGTERM while a PDF arrives on standard input, and while the converter runs: the job ends
// without pages, the converter is not left behind, and neither the copy of the PDF nor the
// converted raster remains.
TEST(Cancel, PdfJobCancelledBeforeItsFirstPage) {
    const std::string pdf = ReadWholeFile(std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf");
    for (bool duringConversion : {false, true}) {
        SCOPED_TRACE(duringConversion ? "during the conversion" : "while the PDF arrives");
        TempDir tmp;
        FilterCall call = RasterCall("platform_c.ppd", tmp);
        call.env["FINAL_CONTENT_TYPE"] = "application/vnd.cups-pdf";
        FilterProcess filter(call, {.pipeInput = true});
        std::vector<pid_t> converters;
        if (duringConversion) {
            ASSERT_TRUE(filter.Write(pdf));
            filter.CloseStdin();
            // Signal as soon as the converter is running (it may also finish first: the
            // outcome must be the same).
            WaitUntil(seconds(10), [&] { return !(converters = filter.Children()).empty(); });
            Cancel(filter);
        } else {
            ASSERT_TRUE(filter.Write(pdf.substr(0, pdf.size() / 2)));
            WaitUntilAwaitingInput(filter); // the first half is copied, the rest awaited
            Cancel(filter);
            filter.Write(pdf.substr(pdf.size() / 2));
        }
        const FilterRun run = filter.Finish();
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(tmp.entries().empty()) << Joined(tmp.entries());
        if (!converters.empty()) {
            EXPECT_NE(run.err.find("ERROR: The PDF conversion was stopped"), std::string::npos)
                << run.err;
        }
        for (pid_t converter : converters)
            EXPECT_TRUE(WaitUntilGone(converter, seconds(10))) << "converter " << converter;
    }
}

// Cancelled while the collate spool is replayed to a printer that takes data slowly: the copy
// being sent is finished, so the printer gets whole pages and then the job end; no further
// copy follows.
TEST(Cancel, DuringACollateReplayTheCopyInProgressIsFinished) {
    TempDir input, tmp;
    // Pages of noise compress badly: the replayed copy is much larger than a pipe buffer.
    cups_page_header2_t h = MakeGreyHeader(300, 300, 600, 600, "Custom");
    h.NumCopies = 3;
    std::vector<RasterPage> pages;
    for (unsigned n = 1; n <= 3; ++n)
        pages.push_back(MakeGreyPage(h, [n](unsigned x, unsigned y) {
            uint32_t v = (x * 2654435761u) ^ (y * 40503u + n * 97u);
            v ^= v >> 13;
            v *= 0x5bd1e995u;
            return static_cast<uint8_t>((v >> 15) & 1 ? 0x00 : 0xFF);
        }));
    const std::string raster = input.file("noise.ras");
    WriteRasterFile(raster, pages);

    FilterCall call = RasterCall("platform_c.ppd", tmp, "Collate=True");
    call.args = FilterArgs("Collate=True", raster);
    const FilterRun whole = RunFilterProcess(call);
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const size_t copyBytes = whole.out.size() / 3; // about one copy of the document
    ASSERT_GT(copyBytes, size_t{1} << 20);

    FilterProcess filter(call, {.output = ProcessStreams::Pipe});
    // The first copy (printed during the pass) and a third of the replayed second one.
    ASSERT_EQ(filter.ReadOut(copyBytes + copyBytes / 3, seconds(60)), copyBytes + copyBytes / 3);
    // The printer takes no more: the filter waits in a write to the full pipe.
    ASSERT_TRUE(filter.WaitUntilBlockedIn(SYS_write, STDOUT_FILENO, seconds(20)));
    Cancel(filter);
    const InspectedJob job = Inspected(filter.Finish(), tmp);
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
    const Json &printed = job.inspect.json["pages"];
    ASSERT_EQ(printed.size(), 6u) << "two whole copies, not three";
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(printed[i + 3]["hash"].str, printed[i]["hash"].str);
    EXPECT_TRUE(job.leftovers.empty()) << Joined(job.leftovers);
}
