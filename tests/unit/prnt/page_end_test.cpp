#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace prnt_test;

namespace {
const std::string k00 = Hex("00 00");
const std::string kFormFeed = Hex("0B 04 18 D9");
const std::string kMachineDuplex = Hex("0B 04 40 B1");
const std::string kUelC = Hex("1B FF 2D 31 32 33 34 35 58");

template <typename Frame> std::string Str(const Frame &f) {
    return std::string(reinterpret_cast<const char *>(f.bytes), sizeof f.bytes);
}

// A temporary spool file standing in for the collate spool.
struct Spool {
    int fd;
    Spool() {
        char path[] = "/tmp/kelvra_spool_XXXXXX";
        fd = mkstemp(path);
        unlink(path);
        gCollateFile = fd;
    }
    ~Spool() {
        gCollateFile = 0;
        close(fd);
    }
    std::string Bytes() const {
        char buf[1024];
        const ssize_t n = pread(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
    }
};

class PageEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ep = {};
        ep.page = 1;
        ep.resolutionE = 600;
        ep.paperWidthE = 210;
        ep.densityE = 2;
    }
    void TearDown() override { gSinkWrite = ::write; }
    GDI_END_PAGE_PARAM ep;
};

TEST_F(PageEndTest, PlatformCWithChecksumCoverageAndFormFeed) {
    ResetJob(kPlainModel);
    gImageChecksum = 0x9E;
    gImageCoverage = 1000000;
    int r = -1;
    const std::string captured = CaptureStdout([&] { r = Prnt_EndPage(&ep, PLATFORM_C); });
    ASSERT_EQ(r, 1);
    EXPECT_EQ(ep.dotCnt, 1000);
    EXPECT_EQ(ToHex(captured), ToHex(kUelC + k00 + Hex("0B 06 1A 9E 00 37") + k00 +
                                     Hex("0B 06 1E E8 03 E6") + k00 + kFormFeed));
}

// Automatic duplex on platform C: the duplex frame follows odd pages only.
TEST_F(PageEndTest, PlatformCMachineDuplexAfterOddPages) {
    for (int page = 1; page <= 3; ++page) {
        ResetJob(kPlainModel);
        ep.page = page;
        ep.bMachDup = 1;
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = Prnt_EndPage(&ep, PLATFORM_C); });
        ASSERT_EQ(r, 1);
        const std::string out = captured;
        const std::string tail = k00 + kMachineDuplex;
        const bool hasDuplex = out.size() > tail.size() && out.substr(out.size() - 6) == tail;
        EXPECT_EQ(hasDuplex, page % 2 == 1) << "page " << page;
        EXPECT_EQ(out.substr(out.size() - (hasDuplex ? 10 : 4), 4), kFormFeed);
    }
}

TEST_F(PageEndTest, PlatformZIsTheFormFeed) {
    struct Case {
        const char *model;
        std::string expected;
    } cases[] = {{kPlainModel, k00 + kFormFeed}, {kQVModel, kFormFeed}, {kMirodelModel, kFormFeed}};
    for (const auto &c : cases) {
        ResetJob(c.model);
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = Prnt_EndPage(&ep, PLATFORM_Z); });
        ASSERT_EQ(r, 1);
        EXPECT_EQ(ToHex(captured), ToHex(c.expected)) << c.model;
    }
}

TEST_F(PageEndTest, PlatformMBlockIsSpooled) {
    ResetJob(kPlainModel);
    Spool spool;
    int r = -1;
    const std::string captured = CaptureStdout([&] { r = Prnt_EndPage(&ep, PLATFORM_M); });
    ASSERT_EQ(r, 1);
    const std::string block = Hex("00 00 00 10 00 00 00 03 00 00 00 00 00 00 5A 5A");
    EXPECT_EQ(ToHex(captured), ToHex(block));
    EXPECT_EQ(ToHex(spool.Bytes()), ToHex(block));
}

struct JobEndCase {
    const char *model;
    int platform;
    int pages;
    int machDup;
    std::string expected;
};

TEST(JobEnd, ClosesTheJobForEachDialect) {
    const std::string query = Hex("0B 05 31 80 3F"), reset = Hex("0B 04 17 DA");
    const std::string eoj = endOfJobCmd, eojR82 = endOfJobCmdR82;
    const JobEndCase cases[] = {
        {kPlainModel, PLATFORM_C, 2, 0, k00 + query + k00 + reset + eoj},
        {kPlainModel, PLATFORM_C, 3, 1, k00 + kMachineDuplex + k00 + query + k00 + reset + eoj},
        {kPlainModel, PLATFORM_C, 4, 1, k00 + query + k00 + reset + eoj},
        {kQVModel, PLATFORM_Z, 1, 0, reset + eojR82},
        {kMirodelModel, PLATFORM_Z, 1, 0, reset + eoj},
        {kQVModel, PLATFORM_C, 1, 0, query + reset + eojR82},
        {kPlainModel, PLATFORM_M, 1, 0,
         Hex("00 00 00 10 00 00 00 01 00 00 00 00 00 00 5A 5A") + "\x1B%-12345X"},
    };
    for (const auto &c : cases) {
        ResetJob(c.model);
        GDI_END_DOC_PARAM ed{c.pages, c.machDup};
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = Prnt_EndDoc(&ed, c.platform); });
        ASSERT_EQ(r, 1);
        EXPECT_EQ(ToHex(captured), ToHex(c.expected))
            << c.model << " platform " << c.platform << " pages " << c.pages;
    }
    gSinkWrite = ::write;
}

TEST(JobEnd, PlatformMJobEndIsNotSpooled) {
    ResetJob(kPlainModel);
    Spool spool;
    GDI_END_DOC_PARAM ed{1, 0};
    int r = -1;
    const std::string captured = CaptureStdout([&] { r = Prnt_EndDoc(&ed, PLATFORM_M); });
    ASSERT_EQ(r, 1);
    EXPECT_EQ(captured.size(), 25u);
    EXPECT_EQ(spool.Bytes(), "");
    gSinkWrite = ::write;
}

TEST(ManualDuplex, CommandPerDialectNotSpooled) {
    struct Case {
        int platform;
        std::string expected;
    } cases[] = {{PLATFORM_C, Hex("0B 04 30 C1")},
                 {PLATFORM_Z, Hex("0B 04 1B D6")},
                 {PLATFORM_M, Hex("00 00 00 10 00 00 00 0B 00 00 00 00 00 00 5A 5A")}};
    for (const auto &c : cases) {
        ResetJob(kPlainModel);
        Spool spool;
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = SendManualDuplexCmd(c.platform); });
        ASSERT_EQ(r, 1);
        EXPECT_EQ(ToHex(captured), ToHex(c.expected));
        EXPECT_EQ(spool.Bytes(), "");
    }
    gSinkWrite = ::write;
}

TEST(UnknownPlatform, EveryClosingOperationSendsNothing) {
    ResetJob(kPlainModel);
    SetLastError("untouched");
    GDI_END_PAGE_PARAM ep{};
    GDI_END_DOC_PARAM ed{};
    int results = 0;
    const std::string captured = CaptureStdout([&] {
        for (int platform : {0, 4})
            results += Prnt_EndPage(&ep, platform) + Prnt_EndDoc(&ed, platform) +
                       SendManualDuplexCmd(platform);
    });
    EXPECT_EQ(results, 0);
    EXPECT_EQ(captured, "");
    EXPECT_STREQ(prntLastError, "untouched");
    gSinkWrite = ::write;
}
} // namespace
