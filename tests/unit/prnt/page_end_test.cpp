#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace prnt_test;
using namespace wire;

namespace {
const std::string k00 = kZeroPair;

class PageEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ep = {};
        ep.page = 1;
        ep.resolutionE = 600;
        ep.paperWidthE = 210;
        ep.densityE = 2;
    }
    GDI_END_PAGE_PARAM ep;
};

TEST_F(PageEndTest, PlatformCWithChecksumCoverageAndFormFeed) {
    TestJob job(PLATFORM_C);
    job.stream.imageChecksum = 0x9E;
    job.stream.imageCoverage = 1000000;
    ASSERT_EQ(Prnt_EndPage(job.stream, ep), 1);
    EXPECT_EQ(ep.dotCnt, 1000);
    EXPECT_EQ(ToHex(job.Out()), ToHex(kUelC + k00 + wire::ImageChecksum::Frame(0x9E) + k00 +
                                      Hex("0B 06 1E E8 03 E6") + k00 + kFormFeed));
}

// Automatic duplex on platform C: the duplex frame follows odd pages only.
TEST_F(PageEndTest, PlatformCMachineDuplexAfterOddPages) {
    for (int page = 1; page <= 3; ++page) {
        TestJob job(PLATFORM_C);
        ep.page = page;
        ep.bMachDup = 1;
        ASSERT_EQ(Prnt_EndPage(job.stream, ep), 1);
        const std::string &out = job.Out();
        const std::string tail = k00 + kMachineDuplex;
        const bool hasDuplex = out.size() > tail.size() && out.substr(out.size() - 6) == tail;
        EXPECT_EQ(hasDuplex, page % 2 == 1) << "page " << page;
        EXPECT_EQ(out.substr(out.size() - (hasDuplex ? 10 : 4), 4), kFormFeed);
    }
}

// Outside the job end the duplex frame is due after even pages; the QV and Mirodel models
// take it without the separator.
TEST(MachineDuplex, DueAfterEvenPagesOutsideTheJobEnd) {
    struct Case {
        ModelGroup group;
        int page;
        int endDoc;
        std::string expected;
    } cases[] = {{ModelGroup::Plain, 2, 0, k00 + kMachineDuplex},
                 {ModelGroup::Plain, 3, 0, ""},
                 {ModelGroup::Plain, 3, 1, k00 + kMachineDuplex},
                 {ModelGroup::Plain, 4, 1, ""},
                 {ModelGroup::QV, 2, 0, kMachineDuplex},
                 {ModelGroup::Mirodel, 1, 1, kMachineDuplex}};
    for (const auto &c : cases) {
        TestJob job(PLATFORM_C, c.group);
        EXPECT_EQ(SendMachineDuplexCmd(job.stream, c.page, c.endDoc), 1);
        EXPECT_EQ(ToHex(job.Out()), ToHex(c.expected)) << "page " << c.page << " end " << c.endDoc;
    }
}

TEST_F(PageEndTest, PlatformZIsTheFormFeed) {
    struct Case {
        ModelGroup group;
        std::string expected;
    } cases[] = {{ModelGroup::Plain, k00 + kFormFeed},
                 {ModelGroup::QV, kFormFeed},
                 {ModelGroup::Mirodel, kFormFeed}};
    for (const auto &c : cases) {
        TestJob job(PLATFORM_Z, c.group);
        ASSERT_EQ(Prnt_EndPage(job.stream, ep), 1);
        EXPECT_EQ(ToHex(job.Out()), ToHex(c.expected)) << static_cast<int>(c.group);
    }
}

// Every item of a page end goes to the spools with the page.
TEST_F(PageEndTest, EveryItemIsSpooled) {
    const std::string endPage = EmptyBlock(block::kEndPage);
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        TestJob job(platform);
        ASSERT_TRUE(job.OpenCollateSpool());
        ep.bMachDup = 1;
        ASSERT_EQ(Prnt_EndPage(job.stream, ep), 1);
        if (platform == PLATFORM_M) {
            EXPECT_EQ(ToHex(job.Out()), ToHex(endPage));
        }
        EXPECT_FALSE(job.Out().empty());
        EXPECT_EQ(ToHex(job.Spooled()), ToHex(job.Out())) << platform;
    }
}

struct JobEndCase {
    ModelGroup group;
    int platform;
    int pages;
    int machDup;
    std::string expected;
};

TEST(JobEnd, ClosesTheJobForEachDialect) {
    const std::string &query = kQueryStatus, &reset = kReset;
    const std::string &eoj = kEndOfJob, &eojR82 = kEndOfJobQV;
    const JobEndCase cases[] = {
        {ModelGroup::Plain, PLATFORM_C, 2, 0, k00 + query + k00 + reset + eoj},
        {ModelGroup::Plain, PLATFORM_C, 3, 1,
         k00 + kMachineDuplex + k00 + query + k00 + reset + eoj},
        {ModelGroup::Plain, PLATFORM_C, 4, 1, k00 + query + k00 + reset + eoj},
        {ModelGroup::QV, PLATFORM_Z, 1, 0, reset + eojR82},
        {ModelGroup::Mirodel, PLATFORM_Z, 1, 0, reset + eoj},
        {ModelGroup::Plain, PLATFORM_Z, 1, 1, reset + eoj},
        {ModelGroup::QV, PLATFORM_C, 1, 0, query + reset + eojR82},
        {ModelGroup::Plain, PLATFORM_M, 1, 0, EmptyBlock(block::kEndDoc) + kUel},
    };
    for (const auto &c : cases) {
        TestJob job(c.platform, c.group);
        ASSERT_EQ(Prnt_EndDoc(job.stream, GDI_END_DOC_PARAM{c.pages, c.machDup}), 1);
        EXPECT_EQ(ToHex(job.Out()), ToHex(c.expected))
            << static_cast<int>(c.group) << " platform " << c.platform << " pages " << c.pages;
    }
}

// The job end goes to the spools on platforms C and Z, never on M.
TEST(JobEnd, SpooledExceptOnPlatformM) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        TestJob job(platform);
        ASSERT_TRUE(job.OpenCollateSpool());
        ASSERT_EQ(Prnt_EndDoc(job.stream, GDI_END_DOC_PARAM{1, 0}), 1);
        EXPECT_EQ(ToHex(job.Spooled()), ToHex(platform == PLATFORM_M ? "" : job.Out())) << platform;
        if (platform == PLATFORM_M) {
            EXPECT_EQ(job.Out().size(), 25u);
        }
    }
}

TEST(ManualDuplex, CommandPerDialectNotSpooled) {
    struct Case {
        int platform;
        std::string expected;
    } cases[] = {{PLATFORM_C, kManualDuplexC},
                 {PLATFORM_Z, kManualDuplexZ},
                 {PLATFORM_M, EmptyBlock(block::kManualDuplex)}};
    for (const auto &c : cases) {
        TestJob job(c.platform);
        ASSERT_TRUE(job.OpenCollateSpool());
        ASSERT_EQ(SendManualDuplexCmd(job.stream), 1);
        EXPECT_EQ(ToHex(job.Out()), ToHex(c.expected));
        EXPECT_EQ(job.Spooled(), "");
    }
}

TEST(UnknownPlatform, EveryClosingOperationSendsNothing) {
    for (int platform : {int{PLATFORM_NONE}, 4}) {
        TestJob job(platform);
        job.error.Set("untouched");
        GDI_END_PAGE_PARAM ep{};
        EXPECT_EQ(Prnt_EndPage(job.stream, ep), 0);
        EXPECT_EQ(Prnt_EndDoc(job.stream, GDI_END_DOC_PARAM{}), 0);
        EXPECT_EQ(SendManualDuplexCmd(job.stream), 0);
        EXPECT_EQ(job.Out(), "");
        EXPECT_STREQ(job.error.c_str(), "untouched");
    }
}
} // namespace
