// The page plan's size decisions: the clamp of oversized pages to the printer's largest
// paper, the paper row or computed size, and the custom sizes of the QV models.
#include "core/page_plan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "tests/support/job_fixture.h"

namespace {

// A small paper table with the end row, in the catalogue's row format.
const PAPER_SIZE_INFO kTable[] = {
    {595, 842, 4760, 6736, 1, 0, 0, "A4"},
    {842, 1191, 6736, 9528, 8, 0, 0, "A3"},
    {612, 792, 4896, 6336, 2, 0, 0, "Letter"},
    {-1, 0, 0, 0, 0, 0, 0, ""},
};

cups_page_header2_t Header(unsigned width, unsigned height, const char *name = "") {
    cups_page_header2_t h{};
    h.PageSize[0] = width;
    h.PageSize[1] = height;
    h.HWResolution[0] = h.HWResolution[1] = 600;
    h.NumCopies = 1;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", name);
    return h;
}

// The plan of the first page with the job's own option table.
PagePlan Plan(const JobSettings &job, const cups_page_header2_t &header) {
    JobPosition at;
    at.page = 1;
    at.options = &job.options;
    return PlanPage(job, header, at);
}

// A platform Z job on kTable whose printer takes at most 612 x 1008 points.
JobSettings LimitedJob(const char *pageSize) {
    JobSettings job = TestSettings(PLATFORM_Z);
    job.paperTable = kTable;
    job.maxPageWidth = 612;
    job.maxPageHeight = 1008;
    job.pageSizeGiven = pageSize != nullptr;
    if (pageSize != nullptr) job.pageSizeName = pageSize;
    return job;
}

TEST(PagePlanClamp, OversizedPagesTakeTheNamedRowOrTheLimits) {
    struct Case {
        unsigned w, h;
        const char *pageSize; // nullptr: the options name no PageSize
        const char *mediaName;
        unsigned ew, eh;
        int row; // -1: computed size
    };
    const Case cases[] = {
        {900, 1300, "A3", "", 842, 1191, 1},  // the row wins even beyond the limits
        {900, 1300, "a3", "", 612, 1008, -1}, // row names compare case-sensitively
        {900, 1300, "A", "", 612, 1008, -1},  // whole names only
        {900, 1300, nullptr, "", 612, 1008, -1},   {700, 500, nullptr, "", 612, 500, -1},
        {600, 1100, nullptr, "A3", 600, 1008, -1}, // a media name is not a PageSize
        {612, 792, "A3", "", 612, 792, 2},         // within the limits: untouched
        {612, 1008, "A3", "", 612, 1008, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + " " +
                     (c.pageSize ? c.pageSize : "-"));
        JobSettings job = LimitedJob(c.pageSize);
        job.mediaName = c.mediaName;
        const PagePlan plan = Plan(job, Header(c.w, c.h));
        EXPECT_EQ(plan.header.PageSize[0], c.ew);
        EXPECT_EQ(plan.header.PageSize[1], c.eh);
        EXPECT_EQ(plan.paperRow, c.row);
        if (c.row >= 0) {
            EXPECT_EQ(plan.width, static_cast<unsigned>(kTable[c.row].fwPaperW));
            EXPECT_EQ(plan.height, static_cast<unsigned>(kTable[c.row].fwPaperH));
            EXPECT_EQ(int{plan.startPage.paperSize}, kTable[c.row].fwPaperNum);
        } else {
            // Computed at 600 dpi from the clamped size: width in whole 32 pixels, height in 8.
            EXPECT_EQ(plan.width, (c.ew * 600 / 72 + 31) / 32 * 32);
            EXPECT_EQ(plan.height, (c.eh * 600 / 72 + 7) / 8 * 8);
        }
        // The page start announces the clamped size.
        EXPECT_EQ(unsigned{plan.startPage.userPhyPgW}, c.ew * 600 / 72);
        EXPECT_EQ(unsigned{plan.startPage.userPhyPgH}, c.eh * 600 / 72);
    }
}

TEST(PagePlanClamp, NothingChangesWithoutPageSizeLimits) {
    for (auto [maxW, maxH] : {std::pair{0u, 0u}, std::pair{612u, 0u}, std::pair{0u, 1008u}}) {
        JobSettings job = LimitedJob("A3");
        job.maxPageWidth = maxW;
        job.maxPageHeight = maxH;
        const PagePlan plan = Plan(job, Header(1000, 1400));
        EXPECT_EQ(plan.header.PageSize[0], 1000u) << maxW << "x" << maxH;
        EXPECT_EQ(plan.header.PageSize[1], 1400u) << maxW << "x" << maxH;
        EXPECT_EQ(plan.paperRow, -1);
    }
}

// Uncollated copies on the page start: the header's count, never 0 nor wrapped past 16 bits.
TEST(PagePlanCopies, UncollatedCopiesStayWithinTheField) {
    JobSettings job = LimitedJob("A4");
    job.options.collate = false;
    for (auto [copies, expected] : {std::pair{0u, 1u}, {3u, 3u}, {65536u, 65535u}}) {
        cups_page_header2_t h = Header(595, 842, "A4");
        h.NumCopies = copies;
        EXPECT_EQ(unsigned{Plan(job, h).startPage.copies}, expected) << copies;
    }
}

// A QV job that asks for "PageSize=Custom...": the page is always computed from the header's
// size, while the page start and page end announce the size of the request.
TEST(PagePlanCustomSize, QVCustomRequestIsComputedAndAnnouncesTheRequestedSize) {
    JobSettings job = TestSettings(PLATFORM_Z, ModelGroup::QV);
    job.customPageRequested = true;
    job.customSizeParsed = true;
    job.customWidth = 300;
    job.customHeight = 400;
    const PagePlan plan = Plan(job, Header(310, 400, "Custom"));
    EXPECT_EQ(plan.paperRow, -1);
    EXPECT_TRUE(plan.customFromOptions);
    EXPECT_FALSE(plan.customRotate90);
    EXPECT_EQ(plan.width, 2592u);  // 310 points: 2583 pixels, in whole 32
    EXPECT_EQ(plan.height, 3336u); // 400 points: 3333 pixels, in whole 8
    EXPECT_EQ(plan.startPage.paperSize, 0);
    EXPECT_EQ(plan.startPage.userPhyPgW, 2500); // 300 points of the request
    EXPECT_EQ(plan.startPage.userPhyPgH, 3333);
    EXPECT_EQ(plan.startPage.userPrntAreaW, 2592);
    EXPECT_EQ(plan.endPage.paperWidthE, 105); // 300 points in millimetres

    // A request that could not be read announces the header's size.
    job.customSizeParsed = false;
    const PagePlan unread = Plan(job, Header(310, 400, "Custom"));
    EXPECT_EQ(unread.paperRow, -1);
    EXPECT_FALSE(unread.customFromOptions);
    EXPECT_EQ(unread.startPage.userPhyPgW, 2583);
    EXPECT_EQ(unread.endPage.paperWidthE, 109);

    // A page name without "custom" is an ordinary page of the table.
    job.customSizeParsed = true;
    const PagePlan named = Plan(job, Header(595, 842, "A4"));
    EXPECT_EQ(named.paperRow, 1);
    EXPECT_FALSE(named.customFromOptions);

    // A request far beyond any paper fills the record fields to their limits, never with a
    // wrapped value (found by fuzzing the options).
    job.customWidth = 1e4f;
    job.customHeight = 3e9f;
    const PagePlan huge = Plan(job, Header(595, 842, "Custom"));
    EXPECT_EQ(huge.startPage.userPhyPgW, 65535);
    EXPECT_EQ(huge.startPage.userPhyPgH, 65535);
    EXPECT_EQ(huge.endPage.paperWidthE, 3527); // 10000 points in millimetres
}

// A landscape request printed on a portrait page of a paper-table size is turned by 90 degrees.
TEST(PagePlanCustomSize, QVLandscapeRequestOnAPortraitTableSizeIsTurned) {
    JobSettings job = TestSettings(PLATFORM_Z, ModelGroup::QV);
    job.customPageRequested = true;
    job.customSizeParsed = true;
    job.customWidth = 842;
    job.customHeight = 595;
    const PagePlan plan = Plan(job, Header(595, 842, "Custom"));
    EXPECT_TRUE(plan.customRotate90);
    EXPECT_TRUE(plan.turn90);
    EXPECT_FALSE(plan.banded);
    EXPECT_EQ(plan.width, 4960u);
    EXPECT_EQ(plan.height, 7040u); // a turned page's height comes in whole 32 pixels
    EXPECT_EQ(plan.startPage.userPrntAreaW, 7040); // the print area after the turn
    EXPECT_EQ(plan.startPage.userPrntAreaH, 4960);

    // Not turned: a portrait request, or a page size that is not in the table.
    job.customWidth = 595;
    job.customHeight = 842;
    EXPECT_FALSE(Plan(job, Header(595, 842, "Custom")).customRotate90);
    job.customWidth = 500;
    job.customHeight = 300;
    const PagePlan other = Plan(job, Header(300, 500, "Custom"));
    EXPECT_FALSE(other.customRotate90);
    EXPECT_FALSE(other.turn90);
    EXPECT_EQ(other.height, 4168u); // 4166 pixels in whole 8
}

// A QV page named "custom" without a custom request takes its row by size when the job names
// a document, else by the media name of the options, whose name the page then carries.
TEST(PagePlanCustomSize, QVCustomPageWithoutRequestFindsItsRow) {
    JobSettings job = TestSettings(PLATFORM_Z, ModelGroup::QV);
    job.documentNameSupplied = true;
    job.mediaName = "Letter";
    const PagePlan bySize = Plan(job, Header(595, 842, "Custom.595x842"));
    EXPECT_EQ(bySize.paperRow, 1);
    EXPECT_STREQ(bySize.header.cupsPageSizeName, "Custom.595x842");

    job.documentNameSupplied = false;
    const PagePlan byName = Plan(job, Header(595, 842, "Custom.595x842"));
    EXPECT_EQ(byName.paperRow, 2);
    EXPECT_EQ(byName.width, static_cast<unsigned>(job.paperTable[2].fwPaperW));
    EXPECT_STREQ(byName.header.cupsPageSizeName, "Letter");

    job.mediaName = "NoSuchPaper";
    const PagePlan unknown = Plan(job, Header(300, 400, "custom"));
    EXPECT_EQ(unknown.paperRow, -1);
    EXPECT_EQ(unknown.width, 2528u);
}

// The other models find the row by size whatever the page's name; a size of no row is computed
// from the page less the hardware margins, with the dialect's paper code for custom sizes.
TEST(PagePlanCustomSize, OtherModelsComputeSizesOutsideTheTableLessTheMargins) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        SCOPED_TRACE(platform);
        JobSettings job = TestSettings(platform);
        job.customPageRequested = true;
        const PagePlan a4 = Plan(job, Header(595, 842, "Custom"));
        ASSERT_GE(a4.paperRow, 0);
        EXPECT_STREQ(job.paperTable[a4.paperRow].strPageSize, "A4");

        const float margins[4] = {10, 20, 30, 40}; // left, bottom, right, top
        std::memcpy(job.hwMargins, margins, sizeof margins);
        const PagePlan plan = Plan(job, Header(300, 400, "Custom"));
        EXPECT_EQ(plan.paperRow, -1);
        EXPECT_EQ(plan.width, 2176u);  // 260 points: 2166 pixels, in whole 32
        EXPECT_EQ(plan.height, 2840u); // 340 points: 2833 pixels, in whole 8
        EXPECT_EQ(plan.startPage.paperSize, platform == PLATFORM_C ? 255 : 0);
        EXPECT_EQ(plan.startPage.marginX, 0);
        EXPECT_EQ(plan.startPage.marginY, 0);
    }
}

} // namespace
