// Whole jobs through the real filter: raster pages of black blocks in, job stream out, read
// back with kelvra-inspect; the frames that describe each page and the decoded page bitmaps
// are checked against what the input asks for.
#include <gtest/gtest.h>

#include "tests/support/job_e2e.h"

namespace {

// A small custom page whose 600-dpi raster line (1600 pixels) is exactly the computed page
// width, so nothing is cut and no padding column is added.
constexpr unsigned kSmallW = 192, kSmallH = 216; // points: 1600 x 1800 pixels

// Marks that make a page's orientation and number visible: a block in the top-left corner,
// a bar along the top edge whose length grows with the page number, and one at the bottom.
std::vector<Block> PageMarks(unsigned pageNumber) {
    return {{0, 0, 100, 150}, {200, 40, 200 + 150 * pageNumber, 90}, {700, 1700, 1500, 1790}};
}

struct ExpectedPage {
    PageModel model;
    int64_t pageNum; // page number announced in the page start
};

// Checks page `index` of the stream: decoded size and depth, and the bitmap against the model.
void ExpectPage(const TempDir &dir, const JobRun &job, int index, const RasterPage &page,
                const std::vector<Block> &blocks, const PageModel &m) {
    SCOPED_TRACE("page " + std::to_string(index));
    const Json &p = job.report.json["pages"][static_cast<size_t>(index - 1)];
    const unsigned outW = m.rotate90 ? m.height : m.width;
    const unsigned outH = m.rotate90 ? m.width : m.height;
    ASSERT_TRUE(p["decoded"].boolean) << job.report.err;
    EXPECT_EQ(p["width"].asInt(), outW);
    EXPECT_EQ(p["height"].asInt(), outH);
    EXPECT_EQ(p["bpp"].asInt(), m.bpp);
    const Bitmap got = DumpPage(dir, job.stream, index);
    const Bitmap want = ExpectedBitmap(page, blocks, m);
    EXPECT_EQ(DescribeDifference(got, want, (static_cast<size_t>(outW) * m.bpp + 7) / 8), "");
}

// The job ran to its end and the stream is well-formed.
void ExpectCleanJob(const JobRun &job) {
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_NE(job.run.err.find("INFO: Ready to print.\n"), std::string::npos);
    EXPECT_TRUE(job.report.jsonOk);
    EXPECT_TRUE(job.report.json["ok"].boolean) << job.report.err;
}

cups_page_header2_t SmallHeader(unsigned duplex = 0, unsigned tumble = 0) {
    cups_page_header2_t h = MakeGreyHeader(kSmallW, kSmallH, 600, 600, "Custom");
    h.Duplex = duplex ? CUPS_TRUE : CUPS_FALSE;
    h.Tumble = tumble ? CUPS_TRUE : CUPS_FALSE;
    return h;
}

} // namespace

// Platform C, A4 at 600 dpi: catalogue row 4800 x 6780, paper code 1, resolution frames 60.
// The 4958-pixel raster lines lose 79 pixels on each side; lines past 6780 are dropped.
TEST(JobStream, PlatformCA4At600CutsLongLinesEquallyOnBothSides) {
    TempDir dir;
    const cups_page_header2_t h = MakeGreyHeader(595, 842, 600, 600, "A4");
    ASSERT_EQ(h.cupsBytesPerLine, 4958u);
    const std::vector<Block> blocks = {
        {0, 0, 79, 100},         // left of the cut: never printed
        {79, 0, 179, 100},       // first printed columns
        {4879, 200, 4958, 300},  // right of the cut: never printed
        {4779, 200, 4879, 300},  // last printed columns
        {1000, 6700, 1100, 7016} // runs past the last printed line
    };
    const RasterPage page = BlockPage(h, blocks);
    JobRun job = RunJob(dir, "platform_c.ppd", "", {page});
    ExpectCleanJob(job);
    const Json *spec = ItemsNamed(job.report.json, "page-spec").at(0);
    EXPECT_EQ(Field(spec, "paper_size"), 1);
    EXPECT_EQ(Field(spec, "resolution_x"), 60);
    EXPECT_EQ(Field(spec, "resolution_y"), 60);
    const Json *raster = ItemsNamed(job.report.json, "raster-image").at(0);
    EXPECT_EQ(Field(raster, "whole_width"), 4800);
    EXPECT_EQ(Field(raster, "whole_height"), 6780);
    EXPECT_EQ(Field(raster, "raster_width"), 4800);
    EXPECT_EQ(Field(raster, "raster_height"), 768);
    ExpectPage(dir, job, 1, page, blocks, {4800, 6780});

    // The same cut seen directly: ink from the first and to the last printed column, none
    // from the columns that were cut away.
    const Bitmap got = DumpPage(dir, job.stream, 1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(PixelAt(got, 600, 1, 0, 50), 1u);
    EXPECT_EQ(PixelAt(got, 600, 1, 100, 50), 0u);
    EXPECT_EQ(PixelAt(got, 600, 1, 4799, 250), 1u);
    EXPECT_EQ(PixelAt(got, 600, 1, 4699, 250), 0u);
    EXPECT_EQ(PixelAt(got, 600, 1, 960, 6779), 1u);
}

// Platform C at 1200 x 1200 dpi: both catalogue dimensions double (A5: 6656 x 9472),
// resolution frames say 120 and the stripe height is 384.
TEST(JobStream, PlatformCA5At1200DoublesBothDimensions) {
    TempDir dir;
    const cups_page_header2_t h = MakeGreyHeader(420, 595, 1200, 1200, "A5");
    ASSERT_EQ(h.cupsBytesPerLine, 7000u);
    const std::vector<Block> blocks = {{172, 0, 400, 300}, {6600, 9000, 6828, 9916}};
    const RasterPage page = BlockPage(h, blocks);
    JobRun job = RunJob(dir, "platform_c.ppd", "", {page});
    ExpectCleanJob(job);
    const Json *spec = ItemsNamed(job.report.json, "page-spec").at(0);
    EXPECT_EQ(Field(spec, "paper_size"), 6);
    EXPECT_EQ(Field(spec, "resolution_x"), 120);
    EXPECT_EQ(Field(spec, "resolution_y"), 120);
    const Json *raster = ItemsNamed(job.report.json, "raster-image").at(0);
    EXPECT_EQ(Field(raster, "raster_height"), 384);
    ExpectPage(dir, job, 1, page, blocks, {6656, 9472});
}

// Platform Z, A4 and Letter from the catalogue, and a size without a row computed from the
// page size: 300 x 400 pt gives 2528 x 3336, paper code 0, with its custom-paper frame. The
// 2500-pixel raster lines sit at the left edge; the missing columns and lines stay white.
TEST(JobStream, PlatformZCatalogueAndComputedSizes) {
    TempDir dir;
    const cups_page_header2_t a4 = MakeGreyHeader(595, 842, 600, 600, "A4");
    const cups_page_header2_t letter = MakeGreyHeader(612, 792, 600, 600, "Letter");
    const cups_page_header2_t custom = MakeGreyHeader(300, 400, 600, 600, "Custom");
    const std::vector<Block> a4Blocks = {{111, 0, 300, 200}, {4700, 6700, 4958, 7016}};
    const std::vector<Block> letterBlocks = {{118, 10, 400, 60}, {2000, 3000, 3000, 3100}};
    const std::vector<Block> customBlocks = {{0, 0, 64, 64}, {2400, 3300, 2500, 3333}};
    const std::vector<RasterPage> pages = {BlockPage(a4, a4Blocks), BlockPage(letter, letterBlocks),
                                           BlockPage(custom, customBlocks)};
    JobRun job = RunJob(dir, "platform_z.ppd", "", pages);
    ExpectCleanJob(job);
    const auto specs = ItemsNamed(job.report.json, "page-spec");
    ASSERT_EQ(specs.size(), 3u);
    EXPECT_EQ(Field(specs[0], "paper_size"), 1);
    EXPECT_EQ(Field(specs[1], "paper_size"), 2);
    EXPECT_EQ(Field(specs[2], "paper_size"), 0);
    for (const Json *s : specs) {
        EXPECT_EQ(Field(s, "resolution_x"), 60);
        EXPECT_EQ(Field(s, "long_edge_feed"), 0);
    }
    const auto customFrames = PageItems(job.report.json, "custom-paper", 3);
    ASSERT_EQ(customFrames.size(), 1u);
    EXPECT_EQ(Field(customFrames[0], "physical_width"), 2500);
    EXPECT_EQ(Field(customFrames[0], "physical_height"), 3333);
    EXPECT_EQ(Field(customFrames[0], "printable_width"), 2528);
    EXPECT_EQ(Field(customFrames[0], "printable_height"), 3336);
    ExpectPage(dir, job, 1, pages[0], a4Blocks, {4736, 6784});
    ExpectPage(dir, job, 2, pages[1], letterBlocks, {4864, 6368});
    ExpectPage(dir, job, 3, pages[2], customBlocks, {2528, 3336});
}

// The QV model without the colour library, A5: the page name makes it feed long edge first,
// so the page is announced with code 18 (A5 long edge first), turned clockwise by 90 degrees,
// and sent as the 2-bit page the raster-image frame announces (levels 0 and 3 only).
TEST(JobStream, QVA5FeedsLongEdgeAsTurnedTwoBitPage) {
    TempDir dir;
    const cups_page_header2_t h = MakeGreyHeader(420, 595, 600, 600, "A5");
    ASSERT_EQ(h.cupsBytesPerLine, 3500u);
    const std::vector<Block> blocks = {{118, 0, 318, 100}, {1500, 2000, 1800, 4958}};
    const RasterPage page = BlockPage(h, blocks);
    JobRun job = RunJob(dir, "qv.ppd", "", {page});
    ExpectCleanJob(job);
    const Json *spec = ItemsNamed(job.report.json, "page-spec").at(0);
    EXPECT_EQ(Field(spec, "paper_size"), 18);
    EXPECT_EQ(Field(spec, "long_edge_feed"), 0); // platform Z says it by the paper code alone
    EXPECT_TRUE(PageItems(job.report.json, "custom-paper", 1).empty());
    const Json *raster = ItemsNamed(job.report.json, "raster-image").at(0);
    EXPECT_EQ(Field(raster, "bpp"), 2);
    EXPECT_EQ(Field(raster, "packing"), 1);
    EXPECT_EQ(Field(raster, "whole_width"), 4736); // exchanged: the page runs long edge first
    EXPECT_EQ(Field(raster, "whole_height"), 3264);
    const PageModel model{3264, 4736, false, true, 2};
    ExpectPage(dir, job, 1, page, blocks, model);

    const Bitmap got = DumpPage(dir, job.stream, 1);
    ASSERT_FALSE(got.empty());
    const size_t rowBytes = 4736 * 2 / 8;
    size_t levels[4] = {};
    for (unsigned y = 0; y < 3264; ++y)
        for (unsigned x = 0; x < 4736; ++x)
            ++levels[PixelAt(got, rowBytes, 2, x, y)];
    EXPECT_EQ(levels[1], 0u);
    EXPECT_EQ(levels[2], 0u);
    EXPECT_GT(levels[3], 0u);
    // Clockwise: the block at the top-left of the input lands at the top-right.
    EXPECT_EQ(PixelAt(got, rowBytes, 2, 4735, 0), 3u);
    EXPECT_EQ(PixelAt(got, rowBytes, 2, 0, 0), 0u);
}

// Platform M, 1-bit and 2-bit (DPI1200 option) pages of A4 (code 9): the page-start block
// announces the depth and widths the JBIG image really has.
TEST(JobStream, PlatformMOneAndTwoBitPages) {
    const cups_page_header2_t h = MakeGreyHeader(595, 842, 600, 600, "A4");
    const std::vector<Block> blocks = {{111, 0, 311, 100}, {3000, 6000, 4958, 7016}};
    const RasterPage page = BlockPage(h, blocks);
    for (unsigned bpp : {1u, 2u}) {
        SCOPED_TRACE("bpp " + std::to_string(bpp));
        TempDir dir;
        JobRun job = RunJob(dir, "platform_m.ppd", bpp == 2 ? "DPI1200=true" : "", {page});
        ExpectCleanJob(job);
        const Json *start = ItemsNamed(job.report.json, "START_PAGE_CMD").at(0);
        EXPECT_EQ(BlockParam(start, "PAPER_SIZE_PARAM"), 9);
        EXPECT_EQ(BlockParam(start, "H_RESOLUTION_PARAM"), 600);
        EXPECT_EQ(BlockParam(start, "VIDEO_DEPTH_PARAM"), bpp);
        EXPECT_EQ(BlockParam(start, "IMG_WIDTH_PARAM"), 4736 * bpp);
        EXPECT_EQ(BlockParam(start, "VIDEO_WIDTH_PARAM"), 4736);
        EXPECT_EQ(BlockParam(start, "IMG_HEIGHT_PARAM"), 6784);
        ExpectPage(dir, job, 1, page, blocks, {4736, 6784, false, false, bpp});
    }
}

// Automatic long-edge duplex turns the back sides (pages 2 and 4) by 180 degrees; the
// ImageRotation option turns the front sides instead; short-edge duplex with normal feed
// turns nothing. The job-start frame asks the printer for duplex.
TEST(JobStream, AutomaticDuplexTurnsTheBackSides) {
    struct Case {
        const char *name;
        unsigned tumble;
        const char *options;
        bool turned[4];
    };
    const Case cases[] = {
        {"long edge", 0, "", {false, true, false, true}},
        {"long edge + ImageRotation", 0, "ImageRotation", {true, false, true, false}},
        {"short edge", 1, "", {false, false, false, false}},
        {"short edge + ImageRotation", 1, "ImageRotation=true", {true, true, true, true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<RasterPage> pages;
        for (unsigned n = 1; n <= 4; ++n)
            pages.push_back(BlockPage(SmallHeader(1, c.tumble), PageMarks(n)));
        JobRun job = RunJob(dir, "platform_c.ppd", c.options, pages);
        ExpectCleanJob(job);
        EXPECT_EQ(Field(ItemsNamed(job.report.json, "job-spec").at(0), "duplex"), 1);
        ASSERT_EQ(job.report.json["pages"].size(), 4u) << "an even job needs no blank page";
        for (unsigned n = 1; n <= 4; ++n)
            ExpectPage(dir, job, static_cast<int>(n), pages[n - 1], PageMarks(n),
                       {1600, 1800, c.turned[n - 1]});
    }
}

// Platform Z printer duplex (a model without manual duplex) turns the back sides as well.
TEST(JobStream, PlatformZPrinterDuplexTurnsEvenPages) {
    TempDir dir;
    std::vector<RasterPage> pages;
    for (unsigned n = 1; n <= 2; ++n)
        pages.push_back(BlockPage(SmallHeader(1, 0), PageMarks(n)));
    JobRun job = RunJob(dir, "platform_z_duplex.ppd", "", pages);
    ExpectCleanJob(job);
    EXPECT_EQ(CountOf(job.run.err, "ManualDuplex = 1"), 0u);
    EXPECT_EQ(Field(ItemsNamed(job.report.json, "job-spec").at(0), "duplex"), 1);
    ExpectPage(dir, job, 1, pages[0], PageMarks(1), {1600, 1800, false});
    ExpectPage(dir, job, 2, pages[1], PageMarks(2), {1600, 1800, true});
}

// Short-edge duplex with A5 fed long edge first on platform C: every page turns by 90
// degrees, and the back side also by 180 before that.
TEST(JobStream, ShortEdgeDuplexWithLongEdgeFeedTurnsBackSides) {
    TempDir dir;
    cups_page_header2_t h = MakeGreyHeader(420, 595, 600, 600, "A5");
    h.Duplex = CUPS_TRUE;
    h.Tumble = CUPS_TRUE;
    const std::vector<Block> blocks = {{86, 0, 300, 100}, {1000, 4000, 1200, 4958}};
    const std::vector<RasterPage> pages = {BlockPage(h, blocks), BlockPage(h, blocks)};
    JobRun job = RunJob(dir, "platform_c.ppd", "FeedLongEdge=true", pages);
    ExpectCleanJob(job);
    for (const Json *spec : ItemsNamed(job.report.json, "page-spec")) {
        EXPECT_EQ(Field(spec, "paper_size"), 6);
        EXPECT_EQ(Field(spec, "long_edge_feed"), 1);
    }
    ExpectPage(dir, job, 1, pages[0], blocks, {3328, 4736, false, true});
    ExpectPage(dir, job, 2, pages[1], blocks, {3328, 4736, true, true});
}

// An odd-length two-sided job gets a blank back side after its last page: the same size and
// depth as the pages, numbered after them, without toner. Platform M has no duplex command:
// the same job prints one-sided there, every page upright and no blank page, with a warning.
TEST(JobStream, OddDuplexJobGetsABlankBackSide) {
    struct Case {
        const char *ppd;
        const char *options;
        unsigned bpp;
        bool duplex; // the printer turns the sheet
    };
    for (const Case &c :
         {Case{"platform_c.ppd", "", 1, true}, Case{"platform_m.ppd", "DPI1200=true", 2, false},
          Case{"mirodel.ppd", "DPI1200=true", 2, false}}) {
        SCOPED_TRACE(c.ppd);
        TempDir dir;
        std::vector<RasterPage> pages;
        for (unsigned n = 1; n <= 3; ++n)
            pages.push_back(BlockPage(SmallHeader(1, 0), PageMarks(n)));
        JobRun job = RunJob(dir, c.ppd, c.options, pages);
        ExpectCleanJob(job);
        const Json &reportPages = job.report.json["pages"];
        ASSERT_EQ(reportPages.size(), c.duplex ? 4u : 3u);
        for (unsigned n = 1; n <= 3; ++n)
            ExpectPage(dir, job, static_cast<int>(n), pages[n - 1], PageMarks(n),
                       {1600, 1800, c.duplex && n == 2, false, c.bpp});
        EXPECT_EQ(job.run.err.find("WARNING: This printer prints one-sided only") !=
                      std::string::npos,
                  !c.duplex);
        if (!c.duplex) continue;
        const Json &blank = reportPages[3];
        EXPECT_EQ(blank["page_num"].asInt(), 4);
        EXPECT_EQ(blank["width"].asInt(), 1600);
        EXPECT_EQ(blank["height"].asInt(), 1800);
        EXPECT_EQ(blank["bpp"].asInt(), c.bpp);
        EXPECT_TRUE(blank["decoded"].boolean);
        EXPECT_EQ(blank["toner_pixels"].asInt(), 0);
    }
}

// A one-sided job of three pages gets no extra page.
TEST(JobStream, SimplexJobGetsNoBlankPage) {
    TempDir dir;
    std::vector<RasterPage> pages;
    for (unsigned n = 1; n <= 3; ++n)
        pages.push_back(BlockPage(SmallHeader(), PageMarks(n)));
    JobRun job = RunJob(dir, "platform_c.ppd", "", pages);
    ExpectCleanJob(job);
    EXPECT_EQ(job.report.json["pages"].size(), 3u);
}

// A negative print inverts the whole page, on the filter's screens of platforms C and M.
TEST(JobStream, NegativePrintInvertsThePage) {
    for (const char *ppd : {"platform_c.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        TempDir dir;
        const RasterPage page = BlockPage(SmallHeader(), PageMarks(1));
        JobRun job = RunJob(dir, ppd, "NegativePrint=true", {page});
        ExpectCleanJob(job);
        ExpectPage(dir, job, 1, page, PageMarks(1), {1600, 1800, false, false, 1, true});
    }
}

// Collated copies: the printer is told to print each page once and the filter sends the
// pages again for the other copies; uncollated copies are left to the printer.
TEST(JobStream, CollatedCopiesAreAnnouncedAsOneCopy) {
    for (bool collate : {true, false}) {
        SCOPED_TRACE(collate ? "collated" : "uncollated");
        TempDir dir;
        std::vector<RasterPage> pages;
        for (unsigned n = 1; n <= 2; ++n) {
            cups_page_header2_t h = SmallHeader();
            h.NumCopies = 3;
            pages.push_back(BlockPage(h, PageMarks(n)));
        }
        JobRun job = RunJob(dir, "platform_c.ppd", collate ? "Collate=true" : "", pages);
        ExpectCleanJob(job);
        const auto specs = ItemsNamed(job.report.json, "page-spec");
        ASSERT_EQ(specs.size(), collate ? 6u : 2u);
        for (const Json *s : specs)
            EXPECT_EQ(Field(s, "copies"), collate ? 1 : 3);
        // The copies repeat the pages in order: 1 2 1 2 1 2.
        for (size_t i = 0; i < specs.size(); ++i)
            ExpectPage(dir, job, static_cast<int>(i + 1), pages[i % 2], PageMarks(i % 2 + 1),
                       {1600, 1800});
    }
}

// A raster stream that ends inside a page: the lines read are printed, the rest is white,
// and the job ends normally.
TEST(JobStream, TruncatedPagePrintsWhatWasRead) {
    TempDir dir;
    const std::vector<Block> blocks = {{0, 0, 1600, 10}, {300, 900, 600, 1500}};
    const RasterPage page = BlockPage(SmallHeader(), blocks, 1000);
    JobRun job = RunJob(dir, "platform_c.ppd", "", {page});
    ExpectCleanJob(job);
    ExpectPage(dir, job, 1, page, blocks, {1600, 1800});
    const Bitmap got = DumpPage(dir, job.stream, 1);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(PixelAt(got, 200, 1, 400, 999), 1u);
    EXPECT_EQ(PixelAt(got, 200, 1, 400, 1000), 0u);
}
