// The order in which the printer receives pages for collated copies, manual duplex and the
// blank back side of two-sided jobs, read back from the real filter's stream. Every page
// prints its own number as a black block, so replayed and turned pages are recognised.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/marked_pages.h"

namespace {

const char kTurnTheStack[] = "INFO:Turn the printed sheets over and put them back in the tray\n";

// Runs a job of `pages` marked pages, each header changed by `adjust`, on a PPD fixture.
InspectedJob RunMarked(const std::string &ppd, unsigned pages, const std::string &options,
                       const std::function<void(cups_page_header2_t &)> &adjust = {}) {
    TempDir input;
    const std::string raster = input.file("job.ras");
    WriteMarkedJob(raster, pages, adjust);
    FilterCall call;
    call.args = FilterArgs(options, raster);
    call.env["PPD"] = FixturePPD(ppd);
    return RunInspected(call);
}

// The job ended normally, its stream is well-formed and no temporary file is left.
void ExpectCleanJob(const InspectedJob &job) {
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_NE(job.run.err.find("INFO: Ready to print.\n"), std::string::npos);
    EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
    EXPECT_TRUE(job.leftovers.empty()) << "left in TMPDIR: " << Joined(job.leftovers);
}

std::vector<int64_t> PageStartValues(const InspectedJob &job, const std::string &field) {
    std::vector<int64_t> values;
    for (const Json *start : PageStarts(job.inspect.json))
        values.push_back(PageStartField(*start, field));
    return values;
}

void Duplex(cups_page_header2_t &h) {
    h.Duplex = CUPS_TRUE;
    h.Tumble = CUPS_FALSE;
}

// Where the black block of one printed page lies: true when it is in the top half of the
// bitmap (the page as drawn), false when the page was turned by 180 degrees.
bool MarkInTopHalf(const InspectedJob &job, size_t index) {
    TempDir dir;
    const std::string stream = dir.file("stream.bin"), dump = dir.file("page.bin");
    WriteWholeFile(stream, job.run.out);
    InspectRun r = RunInspector({"--dump-page", std::to_string(index), dump, stream});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string bits = ReadWholeFile(dump);
    const Json &page = job.inspect.json["pages"][index - 1];
    const size_t rowBytes = static_cast<size_t>(page["coded_width"].asInt() + 7) / 8;
    const size_t height = static_cast<size_t>(page["height"].asInt());
    EXPECT_EQ(bits.size(), rowBytes * height);
    for (size_t y = 0; y < height && (y + 1) * rowBytes <= bits.size(); ++y)
        for (size_t x = 0; x < rowBytes; ++x)
            if (bits[y * rowBytes + x] != 0) return y < height / 2;
    ADD_FAILURE() << "page " << index << " has no toner";
    return false;
}

} // namespace

// Copies without a duplex request: the collate spool replays the whole document, each page
// announced with one copy; without collation the printer repeats each page itself.
TEST(SpoolOrder, CollatedCopiesAndCopyCounts) {
    struct Case {
        const char *ppd;
        unsigned copies;
        const char *options;
        const char *order;
        int64_t copiesPerPage;
    };
    const Case cases[] = {
        {"platform_c.ppd", 2, "Collate=True", "1 2 3 1 2 3", 1},
        {"platform_z.ppd", 2, "Collate=True", "1 2 3 1 2 3", 1},
        {"platform_m.ppd", 2, "Collate=True", "1 2 3 1 2 3", 1},
        {"platform_z.ppd", 3, "Collate=True", "1 2 3 1 2 3 1 2 3", 1},
        {"platform_c.ppd", 1, "Collate=True", "1 2 3", 1},  // nothing to replay
        {"platform_z.ppd", 2, "Collate=False", "1 2 3", 2}, // the printer makes the copies
        {"platform_m.ppd", 2, "", "1 2 3", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ppd) + " copies " + std::to_string(c.copies) + " " + c.options);
        InspectedJob job =
            RunMarked(c.ppd, 3, c.options, [&](cups_page_header2_t &h) { h.NumCopies = c.copies; });
        ExpectCleanJob(job);
        EXPECT_EQ(Joined(job.order), c.order);
        const std::vector<int64_t> copies = PageStartValues(job, "copies");
        EXPECT_EQ(copies.size(), job.order.size());
        for (int64_t n : copies)
            EXPECT_EQ(n, c.copiesPerPage);
        if (std::string(c.ppd) != "platform_m.ppd") {
            // Replayed pages keep the page numbers they were spooled with.
            std::vector<int64_t> numbers = PageStartValues(job, "page_num"), expected;
            for (const std::string &t : job.order)
                expected.push_back(std::stoi(t));
            EXPECT_EQ(numbers, expected);
        }
    }
}

// Two-sided printing on a printer that turns the sheet itself: an odd page count gets a
// blank back side numbered after the last page; an even one gets none. Platform M prints the
// pages one-sided.
TEST(SpoolOrder, AutomaticDuplexGetsABlankBackSideForAnOddPageCount) {
    struct Case {
        const char *ppd;
        unsigned pages;
        const char *order;
    };
    const Case cases[] = {
        {"platform_c.ppd", 3, "1 2 3 blank"}, {"platform_c.ppd", 1, "1 blank"},
        {"platform_c.ppd", 2, "1 2"},         {"platform_m.ppd", 3, "1 2 3"},
        {"platform_m.ppd", 4, "1 2 3 4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ppd) + " " + std::to_string(c.pages) + " pages");
        InspectedJob job = RunMarked(c.ppd, c.pages, "", Duplex);
        ExpectCleanJob(job);
        EXPECT_EQ(Joined(job.order), c.order);
        EXPECT_EQ(job.run.err.find("INFO:Turn"), std::string::npos) << "not a manual duplex job";
        const std::vector<const Json *> jobSpec = ItemsNamed(job.inspect.json, "job-spec");
        if (!jobSpec.empty()) {
            EXPECT_EQ((*jobSpec[0])["fields"]["flags"].asInt() & 0x20, 0x20) << "printer duplex";
        }
        if (std::string(c.ppd) == "platform_c.ppd" && c.pages % 2 == 1) {
            const std::vector<int64_t> numbers = PageStartValues(job, "page_num");
            ASSERT_FALSE(numbers.empty());
            EXPECT_EQ(numbers.back(), c.pages + 1);
        }
    }
}

// Manual duplex on an ordinary platform Z model: odd pages during the pass, the command
// that makes the printer wait for the turned stack, then the even pages last to first,
// turned by 180 degrees for the back side.
TEST(SpoolOrder, ManualDuplexFourPages) {
    InspectedJob job = RunMarked("platform_z.ppd", 4, "", Duplex);
    ExpectCleanJob(job);
    EXPECT_EQ(Joined(job.order), "1 3 cmd 4 2");
    EXPECT_EQ(PageStartValues(job, "page_num"), (std::vector<int64_t>{1, 3, 4, 2}));
    EXPECT_NE(job.run.err.find(kTurnTheStack), std::string::npos);
    const std::vector<const Json *> jobSpec = ItemsNamed(job.inspect.json, "job-spec");
    ASSERT_FALSE(jobSpec.empty());
    EXPECT_EQ((*jobSpec[0])["fields"]["flags"].asInt() & 0x20, 0)
        << "the printer does not turn pages";
    // Stream pages 1 and 2 are the front sides as drawn; 3 and 4 (pages 4 and 2) are turned.
    EXPECT_TRUE(MarkInTopHalf(job, 1));
    EXPECT_TRUE(MarkInTopHalf(job, 2));
    EXPECT_FALSE(MarkInTopHalf(job, 3));
    EXPECT_FALSE(MarkInTopHalf(job, 4));
}

// Manual duplex with two collated copies of three pages: the odd pages of both copies, the
// command, then per copy a blank back for page 3 and page 2.
TEST(SpoolOrder, ManualDuplexThreePagesTwoCollatedCopies) {
    InspectedJob job = RunMarked("platform_z.ppd", 3, "Collate=True", [](cups_page_header2_t &h) {
        Duplex(h);
        h.NumCopies = 2;
    });
    ExpectCleanJob(job);
    EXPECT_EQ(Joined(job.order), "1 3 1 3 cmd blank 2 blank 2");
    for (int64_t n : PageStartValues(job, "copies"))
        EXPECT_EQ(n, 1);
    EXPECT_EQ(PageStartValues(job, "page_num"), (std::vector<int64_t>{1, 3, 1, 3, 4, 2, 4, 2}));
    EXPECT_EQ(CountOf(job.run.err, kTurnTheStack), 1u);
}

// The QV models print the even pages during the pass, with a blank page that pairs the last
// odd page, then the odd pages from tray 1 after the command.
TEST(SpoolOrder, QVManualDuplexFivePages) {
    InspectedJob job = RunMarked("qv.ppd", 5, "InputSlot=Tray2", Duplex);
    ExpectCleanJob(job);
    EXPECT_EQ(Joined(job.order), "2 4 blank cmd 1 3 5");
    EXPECT_EQ(PageStartValues(job, "page_num"), (std::vector<int64_t>{2, 4, 6, 1, 3, 5}));
    // "Tray2" is tray 4; the odd sides are fed from tray 1.
    EXPECT_EQ(PageStartValues(job, "tray"), (std::vector<int64_t>{4, 4, 4, 1, 1, 1}));
    for (const Json &page : job.inspect.json["pages"].arr)
        EXPECT_EQ(page["bpp"].asInt(), 2);
}

// A single-page QV manual-duplex job prints only at job end, without the command, from the
// requested tray written into the spooled page specification (whose checksum the inspector
// verifies).
TEST(SpoolOrder, QVManualDuplexSinglePageGetsItsTrayBack) {
    InspectedJob job = RunMarked("qv.ppd", 1, "InputSlot=Tray2", Duplex);
    ExpectCleanJob(job);
    EXPECT_EQ(Joined(job.order), "1");
    EXPECT_EQ(PageStartValues(job, "tray"), (std::vector<int64_t>{4}));
    EXPECT_TRUE(job.inspect.json["ok"].boolean);
}

// Jobs that end early with spool files open: a page the filter cannot print ends the job
// (the copies of what was printed still follow), a cut raster stream finishes its page white,
// and a job without a printable page writes nothing. No run leaves a temporary file.
TEST(SpoolOrder, JobsEndingEarlyLeaveNoTemporaryFiles) {
    struct Case {
        const char *what;
        unsigned badPage; // 1-based page whose header is unprintable, 0 for none
        bool cut;         // the stream ends inside page 2, after its mark
        int exitCode;
        const char *order;
        const char *errLine;
    };
    const Case cases[] = {
        {"unprintable page 2", 2, false, 0, "1 1", "ERROR: Unsupported raster page"},
        {"unprintable page 1", 1, false, 1, "", "ERROR: No pages found!\n"},
        {"stream cut in page 2", 0, true, 0, "1 2 1 2", "INFO: Ready to print.\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir input;
        const std::string raster = input.file("job.ras");
        std::vector<RasterPage> pages;
        for (unsigned n = 1; n <= 3; ++n) {
            cups_page_header2_t h = MarkedHeader();
            h.NumCopies = 2;
            pages.push_back(MarkedPage(h, n));
            if (n == c.badPage) {
                pages.back().header.cupsBitsPerPixel = 16;
                pages.back().header.cupsBitsPerColor = 16;
            }
        }
        WriteRasterFile(raster, pages);
        if (c.cut) {
            // Page 2 stops after 200 of its lines: its mark (lines 16 to 79) is complete.
            const size_t pageBytes = pages[0].pixels.size();
            const size_t keep = 4 + 2 * sizeof(cups_page_header2_t) + pageBytes +
                                200 * size_t{pages[1].header.cupsBytesPerLine};
            ASSERT_EQ(truncate(raster.c_str(), static_cast<off_t>(keep)), 0);
        }
        FilterCall call;
        call.args = FilterArgs("Collate=True", raster);
        call.env["PPD"] = FixturePPD("platform_z.ppd");
        InspectedJob job = RunInspected(call);
        EXPECT_EQ(job.run.exitCode, c.exitCode) << job.run.err;
        EXPECT_NE(job.run.err.find(c.errLine), std::string::npos) << job.run.err;
        EXPECT_EQ(Joined(job.order), c.order);
        if (!job.run.out.empty()) {
            EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
        }
        EXPECT_TRUE(job.leftovers.empty()) << "left in TMPDIR: " << Joined(job.leftovers);
    }
}
