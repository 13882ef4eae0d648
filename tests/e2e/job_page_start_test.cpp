// The page-start rules seen in the job stream, one row per case across the three dialects:
// paper code, tray, long-edge feed, copies and resolution as the page-start frames (or the
// platform M START_PAGE_CMD block) carry them, and the size and depth of the page that the
// printer receives.
#include <gtest/gtest.h>

#include "tests/support/job_e2e.h"

namespace {

struct PageStartCase {
    const char *name;
    const char *ppd;
    unsigned widthPt, heightPt;
    const char *pageName;
    unsigned dpiX, dpiY;
    unsigned mediaType;
    unsigned copies;
    const char *options;
    // Expected:
    int paper;
    int tray;
    int longEdgeFlag; // page-spec mode flag (platform C only; -1 = not checked)
    int announcedCopies;
    int resX, resY;
    unsigned width, height, bpp; // the page as decoded
};

const PageStartCase kCases[] = {
    // Platform C ("Kelvra R10 Series", TK76 table).
    {"C A4", "platform_c.ppd", 595, 842, "A4", 600, 600, 0, 1, "", 1, 0, 0, 1, 60, 60, 4800, 6780,
     1},
    {"C A6 1200x600", "platform_c.ppd", 298, 420, "A6", 1200, 600, 0, 1, "", 24, 0, 0, 1, 120, 60,
     4608, 3260, 1},
    {"C A5 long edge", "platform_c.ppd", 420, 595, "A5", 600, 600, 0, 1, "FeedLongEdge=true", 6, 0,
     1, 1, 60, 60, 4736, 3328, 1},
    {"C A4 long edge: no row for it", "platform_c.ppd", 595, 842, "A4", 600, 600, 0, 1,
     "FeedLongEdge=true", 1, 0, 0, 1, 60, 60, 4800, 6780, 1},
    {"C Tray1 plain paper", "platform_c.ppd", 595, 842, "A4", 600, 600, 0, 1, "InputSlot=Tray1", 1,
     3, 0, 1, 60, 60, 4800, 6780, 1},
    {"C Tray2 other media", "platform_c.ppd", 595, 842, "A4", 600, 600, 2, 1, "InputSlot=Tray2", 1,
     1, 0, 1, 60, 60, 4800, 6780, 1},
    {"C AutoFeed media 5", "platform_c.ppd", 595, 842, "A4", 600, 600, 5, 1, "InputSlot=AutoFeed",
     1, 2, 0, 1, 60, 60, 4800, 6780, 1},
    {"C uncollated copies", "platform_c.ppd", 595, 842, "A4", 600, 600, 0, 4, "", 1, 0, 0, 4, 60,
     60, 4800, 6780, 1},
    {"C collated copies", "platform_c.ppd", 595, 842, "A4", 600, 600, 0, 4, "Collate=true", 1, 0, 0,
     1, 60, 60, 4800, 6780, 1},
    {"C MFP postcard", "platform_c_mfp.ppd", 283, 420, "Postcard", 600, 600, 0, 1, "", 8, 0, 0, 1,
     60, 60, 1896, 3024, 1},
    {"C custom size", "platform_c.ppd", 300, 400, "Custom", 600, 600, 0, 1, "", 255, 0, 0, 1, 60,
     60, 2528, 3336, 1},
    // Platform Z ("Kelvra R18 Series" and friends, RT74 table).
    {"Z A5", "platform_z.ppd", 420, 595, "A5", 600, 600, 0, 1, "", 11, 0, -1, 1, 60, 60, 3264, 4736,
     1},
    {"Z A5 long edge", "platform_z.ppd", 420, 595, "A5", 600, 600, 0, 1, "FeedLongEdge=true", 18, 0,
     -1, 1, 60, 60, 4736, 3264, 1},
    {"Z Letter at 1200 stays 600", "platform_z.ppd", 612, 792, "Letter", 1200, 1200, 0, 1, "", 2, 0,
     -1, 1, 60, 60, 4864, 6368, 1},
    {"Z Plus A4", "platform_z_plus.ppd", 595, 842, "A4", 600, 600, 0, 2, "", 1, 0, -1, 2, 60, 60,
     4736, 6784, 1},
    {"Z unlisted model by keyword", "unlisted_z.ppd", 595, 842, "A4", 600, 600, 0, 1,
     "InputSlot=ManualFeed", 1, 1, -1, 1, 60, 60, 4736, 6784, 1},
    {"QV Legal", "qv.ppd", 612, 1008, "Legal", 600, 600, 0, 1, "", 4, 0, -1, 1, 60, 60, 4864, 8176,
     2},
    {"QV A4 long edge by name", "qv.ppd", 595, 842, "A4", 600, 600, 0, 1, "", 36, 0, -1, 1, 60, 60,
     6784, 4736, 2},
    {"QV Letter long edge by name", "qv.ppd", 612, 792, "Letter", 600, 600, 0, 1, "", 60, 0, -1, 1,
     60, 60, 6368, 4864, 2},
    {"QV A4 FeedLongEdge off", "qv.ppd", 595, 842, "A4", 600, 600, 0, 1, "FeedLongEdge=false", 1, 0,
     -1, 1, 60, 60, 4736, 6784, 2},
    {"QV tray with any media", "qv.ppd", 612, 1008, "Legal", 600, 600, 3, 1, "InputSlot=Tray2", 4,
     4, -1, 1, 60, 60, 4864, 8176, 2},
    // Platform M ("Kelvra R40 Series", RT40 table; the Mirodel model by its keyword).
    {"M A4", "platform_m.ppd", 595, 842, "A4", 600, 600, 0, 1, "", 9, 0, -1, 1, 600, 600, 4736,
     6784, 1},
    {"M A4 2-bit", "platform_m.ppd", 595, 842, "A4", 600, 600, 0, 1, "DPI1200=true", 9, 0, -1, 1,
     600, 600, 4736, 6784, 2},
    {"M A5 long edge", "platform_m.ppd", 420, 595, "A5", 600, 600, 0, 1, "FeedLongEdge=true", 61, 0,
     -1, 1, 600, 600, 4736, 3264, 1},
    {"M A4 long edge: not turned", "platform_m.ppd", 595, 842, "A4", 600, 600, 0, 1,
     "FeedLongEdge=true", 9, 0, -1, 1, 600, 600, 4736, 6784, 1},
    {"M Tray1 media 1", "platform_m.ppd", 595, 842, "A4", 600, 600, 1, 3, "InputSlot=Tray1", 9, 3,
     -1, 3, 600, 600, 4736, 6784, 1},
    {"M Tray1 media 2", "platform_m.ppd", 595, 842, "A4", 600, 600, 2, 1, "InputSlot=Tray1", 9, 1,
     -1, 1, 600, 600, 4736, 6784, 1},
    {"Mirodel A4", "mirodel.ppd", 595, 842, "A4", 600, 600, 0, 1, "", 9, 0, -1, 1, 600, 600, 4736,
     6784, 1},
    {"Mirodel A4 2-bit", "mirodel.ppd", 595, 842, "A4", 600, 600, 0, 1, "DPI1200=true", 9, 0, -1, 1,
     600, 600, 4736, 6784, 2},
};

} // namespace

TEST(JobPageStart, PaperFeedCopiesTrayAndResolutionPerPlatform) {
    for (const PageStartCase &c : kCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        cups_page_header2_t h = MakeGreyHeader(c.widthPt, c.heightPt, c.dpiX, c.dpiY, c.pageName);
        h.cupsMediaType = c.mediaType;
        h.NumCopies = c.copies;
        // Half a page of raster is enough: the rest of the page is white either way. The block
        // sits in the middle of the lines, which every cut keeps.
        const unsigned mid = h.cupsWidth / 2;
        const RasterPage page = BlockPage(h, {{mid - 32, 100, mid + 32, 164}}, h.cupsHeight / 2);
        JobRun job = RunJob(dir, c.ppd, c.options, {page});
        ASSERT_EQ(job.run.exitCode, 0) << job.run.err;
        ASSERT_TRUE(job.report.json["ok"].boolean) << job.report.err;

        const auto specs = ItemsNamed(job.report.json, "page-spec");
        const auto blocks = ItemsNamed(job.report.json, "START_PAGE_CMD");
        if (!specs.empty()) {
            const Json *s = specs[0];
            EXPECT_EQ(Field(s, "paper_size"), c.paper);
            EXPECT_EQ(Field(s, "tray"), c.tray);
            EXPECT_EQ(Field(s, "copies"), c.announcedCopies);
            EXPECT_EQ(Field(s, "resolution_x"), c.resX);
            EXPECT_EQ(Field(s, "resolution_y"), c.resY);
            if (c.longEdgeFlag >= 0) {
                EXPECT_EQ(Field(s, "long_edge_feed"), c.longEdgeFlag);
            }
        } else {
            ASSERT_FALSE(blocks.empty()) << "no page start in the stream";
            const Json *b = blocks[0];
            EXPECT_EQ(BlockParam(b, "PAPER_SIZE_PARAM"), c.paper);
            EXPECT_EQ(BlockParam(b, "INPUT_TRAY_PARAM"), c.tray);
            EXPECT_EQ(BlockParam(b, "COPIES_PARAM"), c.announcedCopies);
            EXPECT_EQ(BlockParam(b, "H_RESOLUTION_PARAM"), c.resX);
            EXPECT_EQ(BlockParam(b, "V_RESOLUTION_PARAM"), c.resY);
            // The announced image is the image sent.
            EXPECT_EQ(BlockParam(b, "VIDEO_WIDTH_PARAM"), c.width);
            EXPECT_EQ(BlockParam(b, "IMG_HEIGHT_PARAM"), c.height);
            EXPECT_EQ(BlockParam(b, "VIDEO_DEPTH_PARAM"), c.bpp);
        }
        const Json &p = job.report.json["pages"][0];
        EXPECT_EQ(p["width"].asInt(), c.width);
        EXPECT_EQ(p["height"].asInt(), c.height);
        EXPECT_EQ(p["bpp"].asInt(), c.bpp);
        EXPECT_GT(p["toner_pixels"].asInt(), 0) << "the block is printed";
    }
}

// A long-edge request on a size without a long-edge paper code leaves the page as it is:
// no turn, and on platforms C and Z a custom page keeps its sizes in the custom-paper frame.
TEST(JobPageStart, LongEdgeRequestWithoutLongEdgeCodeKeepsTheCustomSizes) {
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd"}) {
        SCOPED_TRACE(ppd);
        TempDir dir;
        const cups_page_header2_t h = MakeGreyHeader(300, 400, 600, 600, "Custom");
        const std::vector<Block> blocks = {{0, 0, 100, 100}};
        const RasterPage page = BlockPage(h, blocks);
        JobRun job = RunJob(dir, ppd, "FeedLongEdge=true", {page});
        ASSERT_EQ(job.run.exitCode, 0) << job.run.err;
        const auto frames = ItemsNamed(job.report.json, "custom-paper");
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(Field(frames[0], "physical_width"), 2500);
        EXPECT_EQ(Field(frames[0], "physical_height"), 3333);
        EXPECT_EQ(Field(frames[0], "printable_width"), 2528);
        EXPECT_EQ(Field(frames[0], "printable_height"), 3336);
        const Bitmap got = DumpPage(dir, job.stream, 1);
        EXPECT_EQ(DescribeDifference(got, ExpectedBitmap(page, blocks, {2528, 3336}), 2528 / 8),
                  "");
    }
}
