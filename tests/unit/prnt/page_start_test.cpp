#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace prnt_test;

namespace {
using wire::kHostUse;
const std::string k00 = wire::kZeroPair;

class PageStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sp = {};
        sp.paperSize = 1; // A4
        sp.resolutionX = sp.resolutionY = 60;
        sp.tray = 1;
        sp.copies = 1;
        sp.pageNum = 1;
        sp.userPhyPgW = 4958;
        sp.userPhyPgH = 7016;
        sp.userPrntAreaW = 4736;
        sp.userPrntAreaH = 6784;
        sp.densityLevel = 4;
    }
    // Starts the page on a job of `group` and returns what the printer received; the page's
    // coverage count stands at 12345 before.
    std::string Run(ModelGroup group, int platform, uint64_t *coverageAfter = nullptr) {
        TestJob job(platform, group);
        job.stream.imageCoverage = 12345;
        EXPECT_EQ(Prnt_StartPage(job.stream, sp), 1);
        if (coverageAfter != nullptr) *coverageAfter = job.stream.imageCoverage;
        return job.Out();
    }
    // The page specification of the page (no feed-edge flags) from `tray`.
    std::string Spec(uint8_t tray = 1) const {
        return wire::PageSpec{uint8_t(sp.paperSize),
                              uint8_t(sp.mediaType),
                              uint8_t(sp.resolutionX),
                              uint8_t(sp.resolutionY),
                              tray,
                              0,
                              uint16_t(sp.copies),
                              uint16_t(sp.marginX),
                              uint16_t(sp.marginY),
                              uint16_t(sp.pageNum)}
            .Frame();
    }
    // The custom paper frame with the page's four user dimensions, or with zeros.
    std::string Custom(bool withSize) const {
        return withSize ? wire::CustomPaper(sp.userPhyPgW, sp.userPhyPgH, sp.userPrntAreaW,
                                            sp.userPrntAreaH)
                        : wire::CustomPaper(0, 0, 0, 0);
    }
    GDI_START_PAGE_PARAM sp;
};

TEST_F(PageStartTest, PlatformCOrdinaryModelA4) {
    uint64_t coverage = 1;
    const std::string out = Run(ModelGroup::Plain, PLATFORM_C, &coverage);
    EXPECT_EQ(ToHex(out), ToHex(k00 + Spec() + k00 + Custom(false) + k00 + kHostUse + k00));
    EXPECT_EQ(coverage, 0u); // the new page counts its dots from zero
}

TEST_F(PageStartTest, PlatformCQVModel) {
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_C)), ToHex(Spec() + kHostUse));
    sp.paperSize = 255;
    const std::string out = Run(ModelGroup::QV, PLATFORM_C);
    EXPECT_EQ(ToHex(out), ToHex(Spec() + Custom(true) + kHostUse));
    EXPECT_EQ(ToHex(Custom(true).substr(3, 8)),
              ToHex(Hex("5E 13 68 1B 80 12 80 1A"))); // the four user dimensions
}

TEST_F(PageStartTest, PlatformZ) {
    uint64_t coverage = 1;
    EXPECT_EQ(ToHex(Run(ModelGroup::Plain, PLATFORM_Z, &coverage)),
              ToHex(k00 + Spec() + k00 + Custom(false) + k00));
    EXPECT_EQ(coverage, 0u);
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_Z)), ToHex(Spec()));
    sp.paperSize = 0;
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_Z)), ToHex(Spec() + Custom(true)));
    EXPECT_EQ(ToHex(Run(ModelGroup::Mirodel, PLATFORM_Z)), ToHex(Spec() + Custom(true)));
}

// The QV models take odd pages of a manual duplex job from tray 1, whatever was asked.
TEST_F(PageStartTest, TrayOneForOddManualDuplexPagesOfQVModels) {
    struct Case {
        ModelGroup group;
        int page;
        bool manualDuplex;
        uint8_t tray;
    } cases[] = {{ModelGroup::QV, 3, true, 1},    {ModelGroup::QV, 1, true, 1},
                 {ModelGroup::QV, 4, true, 2},    {ModelGroup::QV, 3, false, 2},
                 {ModelGroup::Plain, 3, true, 2}, {ModelGroup::Mirodel, 3, true, 2}};
    sp.tray = 2;
    for (int platform : {PLATFORM_C, PLATFORM_Z}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "group " << static_cast<int>(c.group) << " page " << c.page
                         << " manual " << c.manualDuplex << " platform " << platform);
            TestJob job(platform, c.group);
            job.stream.page = c.page;
            job.stream.manualDuplex = c.manualDuplex;
            ASSERT_EQ(Prnt_StartPage(job.stream, sp), 1);
            const std::string spec = Spec(c.tray); // with its checksum
            EXPECT_NE(job.Out().find(spec), std::string::npos) << ToHex(job.Out());
        }
    }
}

TEST_F(PageStartTest, PlatformMA4Has14Records) {
    sp.resolutionX = sp.resolutionY = 600;
    sp.tray = 2;
    sp.mediaType = 5;
    uint64_t coverage = 0;
    const std::string out = Run(ModelGroup::Plain, PLATFORM_M, &coverage);
    const std::pair<uint16_t, uint32_t> records[] = {
        {0x03, 1}, {0x04, 1},    {0x05, 2},    {0x06, 5}, {0x07, 1},    {0x08, 600},  {0x09, 600},
        {0x16, 0}, {0x0C, 4736}, {0x0D, 6784}, {0x10, 1}, {0x11, 4736}, {0x12, 6784}, {0xFF00, 4}};
    EXPECT_EQ(ToHex(out), ToHex(wire::RecordBlock(wire::block::kStartPage, records)));
    EXPECT_EQ(coverage, 12345u); // not reset on platform M
}

TEST_F(PageStartTest, PlatformMCustom2BitPageHas17Records) {
    sp.paperSize = 0;
    sp.iIs2bit = 1;
    sp.userPrntAreaW = 4960;
    const std::string out = Run(ModelGroup::Mirodel, PLATFORM_M);
    ASSERT_EQ(out.size(), 220u);
    using wire::ParamRecord;
    EXPECT_EQ(ToHex(out.substr(0, 16)), ToHex(wire::BlockHeader(220, wire::block::kStartPage, 17)));
    EXPECT_EQ(ToHex(out.substr(16 + 12, 36)),
              ToHex(ParamRecord(0x1A, 0) + ParamRecord(0x18, 4958) + ParamRecord(0x19, 7016)));
    EXPECT_EQ(ToHex(out.substr(16 + 12 * 11, 12)), ToHex(ParamRecord(0x0C, 9920)));
    EXPECT_EQ(ToHex(out.substr(16 + 12 * 13, 24)),
              ToHex(ParamRecord(0x10, 2) + ParamRecord(0x11, 4960)));
}

// Every item of the page start goes to the spools with the page.
TEST_F(PageStartTest, EveryItemIsSpooled) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        TestJob job(platform);
        ASSERT_TRUE(job.OpenCollateSpool());
        ASSERT_EQ(Prnt_StartPage(job.stream, sp), 1);
        EXPECT_FALSE(job.Out().empty());
        EXPECT_EQ(ToHex(job.Spooled()), ToHex(job.Out())) << platform;
    }
}

TEST_F(PageStartTest, UnknownPlatformSendsNothing) {
    for (int platform : {int{PLATFORM_NONE}, 4}) {
        TestJob job(platform);
        job.error.Set("untouched");
        EXPECT_EQ(Prnt_StartPage(job.stream, sp), 0);
        EXPECT_EQ(job.Out(), "");
        EXPECT_STREQ(job.error.c_str(), "untouched");
    }
}
} // namespace
