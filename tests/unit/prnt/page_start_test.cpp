#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace prnt_test;

namespace {
const std::string k00 = Hex("00 00");
const std::string kHostUse = Hex("0B 04 32 BF");

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
    std::string Spec(int platform, bool trayOne = false) {
        GDI_PAGE_SPEC f;
        GetPageSpecCmd(&sp, &f, platform, trayOne);
        return Str(f);
    }
    std::string Custom(int platform) {
        GDI_CUSTOM_PAPER f;
        GetCustomPaperCmd(&sp, &f, platform);
        return Str(f);
    }
    GDI_START_PAGE_PARAM sp;
};

TEST_F(PageStartTest, PlatformCOrdinaryModelA4) {
    uint64_t coverage = 1;
    const std::string out = Run(ModelGroup::Plain, PLATFORM_C, &coverage);
    EXPECT_EQ(ToHex(out), ToHex(k00 + Spec(PLATFORM_C) + k00 +
                                Hex("0B 0C 13 00 00 00 00 00 00 00 00 D6") + k00 + kHostUse + k00));
    EXPECT_EQ(coverage, 0u); // the new page counts its dots from zero
}

TEST_F(PageStartTest, PlatformCQVModel) {
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_C)), ToHex(Spec(PLATFORM_C) + kHostUse));
    sp.paperSize = 255;
    const std::string out = Run(ModelGroup::QV, PLATFORM_C);
    EXPECT_EQ(ToHex(out), ToHex(Spec(PLATFORM_C) + Custom(PLATFORM_C) + kHostUse));
    EXPECT_EQ(ToHex(Custom(PLATFORM_C).substr(3, 8)),
              ToHex(Hex("5E 13 68 1B 80 12 80 1A"))); // the four user dimensions
}

TEST_F(PageStartTest, PlatformZ) {
    uint64_t coverage = 1;
    EXPECT_EQ(ToHex(Run(ModelGroup::Plain, PLATFORM_Z, &coverage)),
              ToHex(k00 + Spec(PLATFORM_Z) + k00 + Custom(PLATFORM_Z) + k00));
    EXPECT_EQ(coverage, 0u);
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_Z)), ToHex(Spec(PLATFORM_Z)));
    sp.paperSize = 0;
    EXPECT_EQ(ToHex(Run(ModelGroup::QV, PLATFORM_Z)), ToHex(Spec(PLATFORM_Z) + Custom(PLATFORM_Z)));
    EXPECT_EQ(ToHex(Run(ModelGroup::Mirodel, PLATFORM_Z)),
              ToHex(Spec(PLATFORM_Z) + Custom(PLATFORM_Z)));
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
            const std::string spec = Spec(platform, c.tray == 1); // with its checksum
            EXPECT_NE(job.Out().find(spec), std::string::npos) << ToHex(job.Out());
        }
    }
}

std::string Record(const char *idHex, uint32_t value) {
    std::string r = Hex("00 00 00 0C") + Hex(idHex) + Hex("01 00");
    for (int s = 24; s >= 0; s -= 8)
        r.push_back(static_cast<char>(value >> s));
    return r;
}

TEST_F(PageStartTest, PlatformMA4Has14Records) {
    sp.resolutionX = sp.resolutionY = 600;
    sp.tray = 2;
    sp.mediaType = 5;
    uint64_t coverage = 0;
    const std::string out = Run(ModelGroup::Plain, PLATFORM_M, &coverage);
    const std::string expected = Hex("00 00 00 B8 00 00 00 02 00 00 00 0E 00 A8 5A 5A") +
                                 Record("00 03", 1) + Record("00 04", 1) + Record("00 05", 2) +
                                 Record("00 06", 5) + Record("00 07", 1) + Record("00 08", 600) +
                                 Record("00 09", 600) + Record("00 16", 0) + Record("00 0C", 4736) +
                                 Record("00 0D", 6784) + Record("00 10", 1) +
                                 Record("00 11", 4736) + Record("00 12", 6784) + Record("FF 00", 4);
    EXPECT_EQ(ToHex(out), ToHex(expected));
    EXPECT_EQ(coverage, 12345u); // not reset on platform M
}

TEST_F(PageStartTest, PlatformMCustom2BitPageHas17Records) {
    sp.paperSize = 0;
    sp.iIs2bit = 1;
    sp.userPrntAreaW = 4960;
    const std::string out = Run(ModelGroup::Mirodel, PLATFORM_M);
    ASSERT_EQ(out.size(), 220u);
    EXPECT_EQ(ToHex(out.substr(0, 16)),
              ToHex(Hex("00 00 00 DC 00 00 00 02 00 00 00 11 00 CC 5A 5A")));
    EXPECT_EQ(ToHex(out.substr(16 + 12, 36)),
              ToHex(Record("00 1A", 0) + Record("00 18", 4958) + Record("00 19", 7016)));
    EXPECT_EQ(ToHex(out.substr(16 + 12 * 11, 12)), ToHex(Record("00 0C", 9920)));
    EXPECT_EQ(ToHex(out.substr(16 + 12 * 13, 24)),
              ToHex(Record("00 10", 2) + Record("00 11", 4960)));
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
