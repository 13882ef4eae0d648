#include "common/checksum.h"
#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt/send_time.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

using prnt_test::ByteSum;
using prnt_test::Hex;
using prnt_test::Str;
using prnt_test::ToHex;

namespace {
TEST(Checksum, CompleteFramesAddUpToZero) {
    EXPECT_EQ(CalcChecksum(reinterpret_cast<const uint8_t *>("\x0B\x04\x16"), 3), 0xDB);
    EXPECT_EQ(CalcChecksum(nullptr, 3), 0);
    const uint8_t b[2] = {1, 2};
    EXPECT_EQ(CalcChecksum(b, 0), 0);
    EXPECT_EQ(CalcChecksum(b, -1), 0);
}

TEST(FixedCommands, FramesAndTextsHaveTheirWireBytes) {
    struct Case {
        const char *text;
        std::string bytes;
    } cases[] = {
        {abortCmd, wire::kAbort},
        {resetCmd, wire::kReset},
        {formFeedCmd, wire::kFormFeed},
        {queryStatusCmd, wire::kQueryStatus},
        {hostUseCmd, wire::kHostUse},
        {machineDuplexCmd, wire::kMachineDuplex},
        {manualDuplexCmd_C, wire::kManualDuplexC},
        {manualDuplexCmd_Z, wire::kManualDuplexZ},
        {UEL_CMD, wire::kUel},
        {UEL_CMD_C, wire::kUelC},
        {PJLheader, wire::kPjlHeader},
        {endOfJobCmd, wire::kEndOfJob},
        {endOfJobCmdR82, wire::kEndOfJobQV},
        {pjlJZJZ_R80, wire::kJZJZ},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ToHex(c.text), ToHex(c.bytes));
    EXPECT_EQ(std::strlen(endOfJobCmd), 36u);
    EXPECT_EQ(std::strlen(endOfJobCmdR82), 34u);
    for (const char *f : {abortCmd, resetCmd, formFeedCmd, queryStatusCmd, hostUseCmd,
                          machineDuplexCmd, manualDuplexCmd_C, manualDuplexCmd_Z})
        EXPECT_EQ(ByteSum(f) % 256, 0u);
}

TEST(JobSpec, PlatformCCarriesTheLowByteOfTheJobIdAndTheFlags) {
    GDI_START_DOC_PARAM sd{};
    sd.jobID = 300;
    sd.DuplexMode = 0x20;
    sd.saveMode = 0x10;
    GDI_JOB_SPEC_C f;
    ASSERT_EQ(GetJobSpecCmd_C(&sd, &f), 1);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 06 11 2C 30 82")));
}

TEST(JobSpec, PlatformZCarriesTheJobIdLittleEndianAndEveryFlagBit) {
    GDI_START_DOC_PARAM sd{};
    sd.jobID = 0x01020304;
    sd.watermarkEnable = 5;
    sd.saveMode = 0x10;
    sd.bookletEnable = sd.posterEnable = sd.nupEnable = sd.overlapEnable = 1;
    GDI_JOB_SPEC_Z f;
    ASSERT_EQ(GetJobSpecCmd_Z(&sd, &f), 1);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 09 11 9F 04 03 02 01 32")));
}

TEST(JobFrames, OneByteSettingFrames) {
    GDI_START_DOC_PARAM sd{};
    sd.densityLevel = 3;
    sd.tonerSaveEnable = 0x100; // only the low byte is sent
    sd.FineMode = 1;
    GDI_DENSITY_PARAM d;
    GDI_TONER_SAVE t;
    GDI_FINEMODE m;
    GetDensityCmd(&sd, &d);
    GetTonerSaveCmd(&sd, &t);
    GetFineModeCmd(&sd, &m);
    EXPECT_EQ(ToHex(Str(d)), ToHex(Hex("0B 05 15 03 D8")));
    EXPECT_EQ(ToHex(Str(t)), ToHex(Hex("0B 05 19 00 D7")));
    EXPECT_EQ(ToHex(Str(m)), ToHex(Hex("0B 05 1F 01 D0")));
}

TEST(JobFrames, DateFrameAndJobTimeOfSevenMarch2026) {
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 7;
    when.tm_hour = 9;
    when.tm_min = 5;
    GDI_SYSTEM_DATE f;
    ASSERT_EQ(FillSysTimeCmd(when, &f), 1);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 08 1F EA 07 03 07 D3")));
    char text[kSendTimeSize];
    FormatSendTimePJL(when, text, sizeof text);
    EXPECT_STREQ(text, "05:09:07:03:2026\r\n");
}

// A job time given to the builders is the job's (its local date); 0 is the time of the call.
TEST(JobFrames, DateAndJobTimeOfTheJobTime) {
    prnt_test::UseUtc();
    const std::time_t newYear2026 = 1767225600, lastMinuteOf2025 = newYear2026 - 60;
    GDI_SYSTEM_DATE f;
    ASSERT_EQ(GetSysTimeCmd(&f, newYear2026), 1);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 08 1F EA 07 01 01 DB")));
    ASSERT_EQ(GetSysTimeCmd(&f, lastMinuteOf2025), 1);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 08 1F E9 07 0C 1F B3")));
    EXPECT_EQ(GetSysTimeCmd(nullptr, newYear2026), 0);
    char text[kSendTimeSize];
    GetSendTimePJL(text, newYear2026);
    EXPECT_STREQ(text, "00:00:01:01:2026\r\n");
    GetSendTimePJL(text, lastMinuteOf2025);
    EXPECT_STREQ(text, "59:23:31:12:2025\r\n");

    // Now: the frame and the text carry the current year.
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(GetSysTimeCmd(&f), 1);
    GetSendTimePJL(text);
    const std::time_t after = std::time(nullptr);
    std::tm b{}, a{};
    gmtime_r(&before, &b);
    gmtime_r(&after, &a);
    const int year = f.bytes[3] | f.bytes[4] << 8;
    EXPECT_TRUE(year == b.tm_year + 1900 || year == a.tm_year + 1900) << year;
    EXPECT_EQ(std::strlen(text), 18u);
    EXPECT_TRUE(std::atoi(text + 12) == b.tm_year + 1900 ||
                std::atoi(text + 12) == a.tm_year + 1900)
        << text;
}

class PageSpecTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sp = {};
        sp.paperSize = 1;
        sp.resolutionX = sp.resolutionY = 60;
        sp.tray = 2;
        sp.feedEdge = 0x40;
        sp.copies = 2;
        sp.marginX = 0x78;
        sp.marginY = 0x64;
        sp.pageNum = 3;
    }
    GDI_START_PAGE_PARAM sp;
};

TEST_F(PageSpecTest, PlatformCOrsTheFeedEdgeIntoByte8) {
    GDI_PAGE_SPEC f;
    GetPageSpecCmd(&sp, &f, PLATFORM_C);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 12 12 01 00 3C 3C 02 40 02 00 78 00 64 00 03 00 35")));
}

TEST_F(PageSpecTest, PlatformZSendsZeroInByte8) {
    sp.colorMode = 1;
    sp.marginUnit = 2;
    GDI_PAGE_SPEC f;
    GetPageSpecCmd(&sp, &f, PLATFORM_Z);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 12 12 01 00 3C 3C 02 00 02 00 78 00 64 00 03 00 75")));
}

// A page fed from tray 1 names tray 1 whatever the page asked for.
TEST_F(PageSpecTest, TrayOneReplacesTheTrayOfThePage) {
    for (int platform : {PLATFORM_C, PLATFORM_Z}) {
        GDI_PAGE_SPEC f;
        GetPageSpecCmd(&sp, &f, platform, true);
        EXPECT_EQ(f.bytes[7], 1) << platform;
        EXPECT_EQ(ByteSum(Str(f)) % 256, 0u);
        GDI_PAGE_SPEC asked;
        GetPageSpecCmd(&sp, &asked, platform, false);
        EXPECT_EQ(asked.bytes[7], 2) << platform;
        EXPECT_EQ(ToHex(Str(f).substr(8, 9)), ToHex(Str(asked).substr(8, 9)));
    }
}

TEST(CustomPaper, DimensionsOnlyForTheCustomCodeOfTheDialect) {
    GDI_START_PAGE_PARAM sp{};
    sp.userPhyPgW = 0x135E;
    sp.userPhyPgH = 0x1B68;
    sp.userPrntAreaW = 0x1280;
    sp.userPrntAreaH = 0x1A80;
    const std::string withSize = Hex("0B 0C 13 5E 13 68 1B 80 12 80 1A B6");
    const std::string zeros = Hex("0B 0C 13 00 00 00 00 00 00 00 00 D6");
    struct Case {
        uint16_t paper;
        int platform;
        const std::string &expected;
    } cases[] = {{255, PLATFORM_C, withSize}, {0, PLATFORM_C, zeros}, {0, PLATFORM_Z, withSize},
                 {255, PLATFORM_Z, zeros},    {0, PLATFORM_M, zeros}, {0, 7, zeros}};
    for (const auto &c : cases) {
        sp.paperSize = c.paper;
        GDI_CUSTOM_PAPER f;
        GetCustomPaperCmd(&sp, &f, c.platform);
        EXPECT_EQ(ToHex(Str(f)), ToHex(c.expected)) << c.paper << " on " << c.platform;
    }
}

TEST(RasterImage, FlagsOredAndStripeHeightCutTo16Bits) {
    GDI_SEND_PAGE_PARAM s{};
    s.colorDepth = 1;
    s.dataPacking = 4;
    s.compression = 0x20;
    s.whlImgW = 4704;
    s.whlImgH = 6784;
    s.rasImgW = 2352;
    s.rasImgH = 0x10300;
    s.cmpImgBytes = 0x1234;
    GDI_RASTER_IMAGE f;
    GetRasterImageCmd(&s, &f);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 12 0C 00 25 60 12 80 1A 30 09 00 03 34 12 00 00 24")));
}

TEST(ImageChecksumFrame, CarriesTheLowByteOfTheChecksumAndZero) {
    GDI_IMAGE_DATA_CHECKSUM f;
    GetImageDataChenksumCmd(&f, 0x9E);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 06 1A 9E 00 37")));
    GetImageDataChenksumCmd(&f, 0x37);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 06 1A 37 00 9E")));
}

// Dot count of platform C: width, resolution and density factors, truncated, low 16 bits.
TEST(CoverageC, FactorsByWidthResolutionAndDensity) {
    struct Case {
        uint64_t coverage;
        int resolution, width, density;
        int expected;
    } cases[] = {
        {1000000, 600, 124, 2, 2000},
        {1000000, 600, 125, 2, 2000}, // 125 mm: narrow factor
        {1000000, 600, 126, 2, 1500},
        {1000000, 600, 174, 2, 1500},
        {1000000, 600, 175, 2, 1000},
        {1000000, 1200, 210, 2, 250},
        {1000000, 600, 210, 0, 700},
        {1000000, 600, 210, 1, 700},
        {1000000, 600, 210, 3, 1200},
        {1000000, 600, 210, 4, 1200},
        {1000000, 600, 210, 5, 1000},
        {1000000, 600, 210, -1, 1000},
        {100000000, 600, 100, 3, 240000 & 0xFFFF},
        {999, 600, 210, 2, 0},
    };
    for (const auto &c : cases) {
        GDI_END_PAGE_PARAM e{};
        e.resolutionE = c.resolution;
        e.paperWidthE = c.width;
        e.densityE = c.density;
        GDI_COVERAGE_C f;
        ASSERT_EQ(GetCoverageCmd_C(&e, &f, c.coverage), 1);
        SCOPED_TRACE(c.width);
        EXPECT_EQ(e.dotCnt, c.expected);
        EXPECT_EQ(f.bytes[3] | f.bytes[4] << 8, c.expected);
        EXPECT_EQ(ToHex(Str(f).substr(0, 3)), ToHex(Hex("0B 06 1E")));
        EXPECT_EQ(ByteSum(Str(f)) % 256, 0u);
    }
}

TEST(CoverageZ, ThousandsInThreeFieldsAndFixedForBlankPages) {
    const uint64_t coverage = 1000ull * (5 + 7 * 64 + 3 * 4096 + 16 * 4096) + 999;
    GDI_COVERAGE_Z f;
    GetCoverageCmd_Z(&f, 0, coverage);
    EXPECT_EQ(ToHex(Str(f).substr(0, 6)), ToHex(Hex("0B 07 19 05 07 03")));
    EXPECT_EQ(ByteSum(Str(f)) % 256, 0u);
    GetCoverageCmd_Z(&f, 4, coverage);
    EXPECT_EQ(ToHex(Str(f)), ToHex(Hex("0B 07 19 01 00 00 D4")));
}

TEST(PlatformMBlocks, HeaderAndRecordsAreBigEndian) {
    GDI_JOB_SPEC_M h;
    SetCmdType(&h, 52, START_DOC_CMD, 3, 36, kCmdSignature);
    EXPECT_EQ(ToHex(Str(h)), ToHex(Hex("00 00 00 34 00 00 00 00 00 00 00 03 00 24 5A 5A")));
    SetCmdType(&h, 65552, JBIG_DATA_CMD, 0, 0, kCmdSignature);
    EXPECT_EQ(ToHex(Str(h)), ToHex(Hex("00 01 00 10 00 00 00 05 00 00 00 00 00 00 5A 5A")));
    GDI_SET_PARAM p;
    SetCmdParam(&p, DENSITY_PARAM, 1, 3);
    EXPECT_EQ(ToHex(Str(p)), ToHex(Hex("00 00 00 0C FF 00 01 00 00 00 00 03")));
    SetCmdParam(&p, IMG_WIDTH_PARAM, 1, 9920);
    EXPECT_EQ(ToHex(Str(p)), ToHex(Hex("00 00 00 0C 00 0C 01 00 00 00 26 C0")));
}

TEST(EngineBlocks, R18FrameByteForByte) {
    GDI_TONER_PARAM_R74 f;
    GDI_START_DOC_PARAM sd{};
    sd.densityLevel = 9; // not read
    ASSERT_EQ(GetTonerParamCmdForR18(&sd, &f), 1);
    std::string expected = Hex("0B 24 1E 00 1E 24 26 2F 50 06 20 20 20 28 2C");
    expected += std::string(18, '\x20') + Hex("0A 00 C8");
    EXPECT_EQ(ToHex(Str(f)), ToHex(expected));
    EXPECT_EQ(ByteSum(Str(f)) % 256, 0u);
}

TEST(EngineBlocks, V20V22FrameByteForByte) {
    GDI_TONER_PARAM_V72 f;
    ASSERT_EQ(GetTonerParamCmdForV72(nullptr, &f), 1);
    std::string expected = Hex("0B 28 1E 00 17 26 00 30 40 20 17 20 20 00 00");
    expected += std::string(17, '\x20') + Hex("08 0A 00 00 00 00 00 59");
    EXPECT_EQ(ToHex(Str(f)), ToHex(expected));
    EXPECT_EQ(ByteSum(Str(f)) % 256, 0u);
}

TEST(EngineBlocks, PlatformMBlockByteForByte) {
    GDI_TONER_PARAM_PLATFORM_M f;
    ASSERT_EQ(GetTonerParamCmdForPlatformM(&f, 88, TONER_PARAM, 0, 0, kCmdSignature), 1);
    const std::string expected = Hex("00 00 00 58 00 00 00 11 00 00 00 00 00 00 5A 5A "
                                     "00 00 00 51 00 73 00 6E 00 96 00 7A 00 64 00 96 00 C8 "
                                     "00 64 00 51 00 64 00 64 00 64 "
                                     "00 64 00 64 00 64 00 64 00 64 00 64 00 64 "
                                     "00 64 00 64 00 64 "
                                     "00 78 00 87 00 96 00 B4 00 C8 "
                                     "00 78 00 96 00 BE 01 5E 01 90 "
                                     "00 64 00 64");
    EXPECT_EQ(ToHex(Str(f)), ToHex(expected));
}

TEST(Swap, ExchangesWithoutChangingByteOrder) {
    uint32_t a = 0x01020304, b = 7;
    SwapUINT(&a, &b);
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, 0x01020304u);
    uint16_t c = 0x0102, d = 9;
    SwapUSHORT(&c, &d);
    EXPECT_EQ(c, 9);
    EXPECT_EQ(d, 0x0102);
}
} // namespace
