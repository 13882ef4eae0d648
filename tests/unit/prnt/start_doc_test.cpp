#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <string>

using namespace prnt_test;
using namespace wire;

namespace {
const std::string k00 = kZeroPair;
// The JOBTIME line and date frame of the job time of TestSettings, 2026-01-01 00:00 (UTC).
const std::string kJobTime = "@PJL JOBTIME=00:00:01:01:2026\r\n";
const std::string kDate = Hex("0B 08 1F EA 07 01 01 DB");
const std::string kOwnerLine = "@PJL JOBOWNER=testhost\r\n";

class StartDocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseUtc();
        sd = {};
        sd.jobID = 300;
        sd.saveMode = 0x10;
        sd.DuplexMode = 0x20;
        sd.densityLevel = 3;
        sd.FineMode = 1;
    }
    // Starts the job and returns what the printer received.
    std::string Run(TestJob &job) {
        const int platform = job.settings.platform;
        EXPECT_EQ(Prnt_StartDoc(job.stream, sd), platform >= 1 && platform <= 3 ? 1 : 0);
        return job.Out();
    }
    std::string Run(int platform, ModelGroup group = ModelGroup::Plain,
                    EngineBlock engine = EngineBlock::None) {
        TestJob job(platform, group);
        job.settings.engine = engine;
        return Run(job);
    }
    std::string JobSpecZ() {
        GDI_JOB_SPEC_Z f;
        GetJobSpecCmd_Z(&sd, &f);
        return Str(f);
    }
    std::string Density() {
        GDI_DENSITY_PARAM f;
        GetDensityCmd(&sd, &f);
        return Str(f);
    }
    std::string FineMode() {
        GDI_FINEMODE f;
        GetFineModeCmd(&sd, &f);
        return Str(f);
    }

    GDI_START_DOC_PARAM sd;
};

TEST_F(StartDocTest, PlatformCCleansUpThenOpensTheJob) {
    const std::string out = Run(PLATFORM_C);
    const std::string expected = kUelC + kAbort + kEndOfJob + "versions=3.1.2.1" + k00 +
                                 kPjlHeader + kEnterLanguage + k00 + Hex("0B 06 11 2C 30 82") +
                                 k00 + Hex("0B 05 19 00 D7") + k00 + Hex("0B 05 15 03 D8") + kDate;
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformCOfAQVModelHasNoSeparators) {
    const std::string out = Run(PLATFORM_C, ModelGroup::QV);
    EXPECT_EQ(out.size(), 9u + 4 + 36 + 16 + 15 + 24 + 6 + 5 + 5 + 8);
    EXPECT_EQ(out.find(k00), std::string::npos);
}

TEST_F(StartDocTest, PlatformZOrdinaryModel) {
    const std::string out = Run(PLATFORM_Z);
    const std::string expected = kPjlHeader + kJobTime + kOwnerLine + kEnterLanguage + k00 +
                                 FineMode() + k00 + JobSpecZ() + k00 + Density() + k00;
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformZR18EndsWithTheEngineFrame) {
    const std::string out = Run(PLATFORM_Z, ModelGroup::Plain, EngineBlock::R18);
    GDI_TONER_PARAM_R74 engine;
    GetTonerParamCmdForR18(&sd, &engine);
    const std::string expected = kPjlHeader + "@PJL LANGUAGEVERSION=1.0\r\n" + kJobTime +
                                 kOwnerLine + kEnterLanguage + k00 + FineMode() + k00 + JobSpecZ() +
                                 k00 + Density() + k00 + Str(engine);
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformZV20V22EndsWithItsEngineFrame) {
    const std::string out = Run(PLATFORM_Z, ModelGroup::Plain, EngineBlock::V72);
    GDI_TONER_PARAM_V72 engine;
    GetTonerParamCmdForV72(&sd, &engine);
    ASSERT_GT(out.size(), 40u);
    EXPECT_EQ(ToHex(out.substr(out.size() - 40)), ToHex(Str(engine)));
    EXPECT_EQ(out.find("LANGUAGEVERSION"), std::string::npos);
}

// The owner line names the job's host, cleaned of quotes and control characters and cut to
// 32 bytes at a character boundary; an empty host name leaves the owner empty.
TEST_F(StartDocTest, PlatformZOwnerLineFromTheJobsHost) {
    struct Case {
        std::string host;
        std::string line;
    } cases[] = {
        {"", "@PJL JOBOWNER=\r\n"},
        {"a\"b\r\n@PJL X\x1B", "@PJL JOBOWNER=ab@PJL X\r\n"},
        {std::string(32, 'h') + "tail", "@PJL JOBOWNER=" + std::string(32, 'h') + "\r\n"},
        {std::string(31, 'h') + "\xC3\xBC", "@PJL JOBOWNER=" + std::string(31, 'h') + "\r\n"},
        {std::string(30, 'h') + "\xC3\xBC",
         "@PJL JOBOWNER=" + std::string(30, 'h') + "\xC3\xBC\r\n"},
    };
    for (const auto &c : cases) {
        TestJob job(PLATFORM_Z);
        job.settings.identity.host = c.host;
        const std::string out = Run(job);
        const std::string head = kPjlHeader + kJobTime;
        EXPECT_EQ(out.substr(head.size(), c.line.size()), c.line) << c.host;
        EXPECT_EQ(out.substr(head.size() + c.line.size(), 24), kEnterLanguage);
    }
}

TEST_F(StartDocTest, PlatformZQVManualDuplexWithBlankSuppression) {
    TestJob job(PLATFORM_Z, ModelGroup::QV);
    job.settings.options.blankPages = BlankPages::Skip;
    job.stream.manualDuplex = true;
    const std::string out = Run(job);
    const std::string ticket = "@PJL SET JOBOWNER=\"kvtesthost\"\n"
                               "@PJL SET USERNAME=\"tester\"\n"
                               "@PJL SET JOBNAME=\"test job\"\n";
    const std::string expected = kPjlHeader + "@PJL LANGUAGEVERSION=1.0\r\n" + kJobTime + ticket +
                                 "@PJL SET BLANKSUPPRESS=ENABLE\n" + "@PJL SET MANUALFEED=ON\n" +
                                 kEnterLanguage + JobSpecZ() + Density();
    EXPECT_EQ(out, expected);
}

// A locked job of a QV model carries its PIN in the ticket.
TEST_F(StartDocTest, PlatformZQVLockedJobTicket) {
    TestJob job(PLATFORM_Z, ModelGroup::QV);
    job.settings.identity.title = "/home/tester/report.pdf";
    job.settings.lockedPrint = true;
    job.settings.pin = "4711";
    const std::string out = Run(job);
    const std::string ticket = "@PJL SET JOBOWNER=\"kvtesthost\"\n"
                               "@PJL SET USERNAME=\"tester\"\n"
                               "@PJL SET JOBNAME=\"report.pdf\"\n"
                               "@PJL SET PINJOBNAME=\"tester\"\n"
                               "@PJL SET JOBPASSWORD=\"4711\"\n";
    const std::string head = kPjlHeader + "@PJL LANGUAGEVERSION=1.0\r\n" + kJobTime;
    EXPECT_EQ(out.substr(0, head.size() + ticket.size()), head + ticket);
}

TEST_F(StartDocTest, PlatformZBlankPageLineFollowsTheFlag) {
    struct Case {
        ModelGroup group;
        BlankPages flag;
        const char *line; // null: none
    } cases[] = {{ModelGroup::Mirodel, BlankPages::PrinterSetting, nullptr},
                 {ModelGroup::Mirodel, BlankPages::Print, "@PJL SET BLANKSUPPRESS=DISABLE\n"},
                 {ModelGroup::QV, BlankPages::Skip, "@PJL SET BLANKSUPPRESS=ENABLE\n"},
                 {ModelGroup::Plain, BlankPages::Skip, nullptr}};
    for (const auto &c : cases) {
        TestJob job(PLATFORM_Z, c.group);
        job.settings.options.blankPages = c.flag;
        const std::string out = Run(job);
        SCOPED_TRACE(::testing::Message() << "group " << static_cast<int>(c.group) << " flag "
                                          << static_cast<int>(c.flag));
        EXPECT_EQ(out.find("BLANKSUPPRESS") != std::string::npos, c.line != nullptr);
        if (c.line != nullptr) {
            EXPECT_NE(out.find(c.line), std::string::npos);
        }
        EXPECT_EQ(out.find("MANUALFEED"), std::string::npos);
    }
    // The Mirodel model keeps the host-name owner line and the fine-mode frame.
    TestJob job(PLATFORM_Z, ModelGroup::Mirodel);
    job.settings.options.blankPages = BlankPages::PrinterSetting;
    const std::string expected =
        kPjlHeader + kJobTime + kOwnerLine + kEnterLanguage + FineMode() + JobSpecZ() + Density();
    EXPECT_EQ(ToHex(Run(job)), ToHex(expected));
}

// Only the line end of the owner line, the fine-mode frame and the separators of the
// platform Z job start carry the cache flag.
TEST_F(StartDocTest, PlatformZSpoolsOnlyTheItemsMarkedForIt) {
    TestJob job(PLATFORM_Z);
    ASSERT_TRUE(job.OpenCollateSpool());
    Run(job);
    EXPECT_EQ(ToHex(job.Spooled()), ToHex("\r\n" + k00 + FineMode() + k00 + k00 + k00));
}

// Platforms C and M spool every item of the job start.
TEST_F(StartDocTest, PlatformsCAndMSpoolEveryItem) {
    for (int platform : {PLATFORM_C, PLATFORM_M}) {
        TestJob job(platform);
        ASSERT_TRUE(job.OpenCollateSpool());
        const std::string out = Run(job);
        EXPECT_EQ(ToHex(job.Spooled()), ToHex(out)) << platform;
    }
}

TEST_F(StartDocTest, PlatformMIsAFixed153BytePreamble) {
    const std::string out = Run(PLATFORM_M);
    ASSERT_EQ(out.size(), 153u);
    GDI_TONER_PARAM_PLATFORM_M engine;
    GetTonerParamCmdForPlatformM(&engine, 88, TONER_PARAM, 0, 0, kCmdSignature);
    const std::pair<uint16_t, uint32_t> records[] = {{0, 0}, {1, 0}, {2, 1}};
    const std::string expected =
        kUel + kJZJZ + Str(engine) + RecordBlock(block::kStartDoc, records);
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, UnknownPlatformSendsNothingAndKeepsTheErrorText) {
    for (int platform : {int{PLATFORM_NONE}, 4, -1}) {
        TestJob job(platform);
        job.error.Set("untouched");
        EXPECT_EQ(Run(job), "");
        EXPECT_STREQ(job.error.c_str(), "untouched");
    }
}
} // namespace
