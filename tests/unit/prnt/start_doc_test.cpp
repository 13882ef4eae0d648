#include "prnt/fixed_commands.h"
#include "prnt/frames.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include <unistd.h>

using namespace prnt_test;

namespace {
const std::string k00 = Hex("00 00");

// Replaces the digits of the JOBTIME value by 'T' after checking its shape, so that the
// stream can be compared whatever the time of the run.
std::string MaskJobTime(std::string s) {
    const std::string tag = "@PJL JOBTIME=";
    const auto at = s.find(tag);
    if (at == std::string::npos) return s;
    const std::string shape = "NN:NN:NN:NN:NNNN\r\n";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        char &c = s[at + tag.size() + i];
        if (shape[i] == 'N') {
            EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << s;
            c = 'T';
        } else {
            EXPECT_EQ(c, shape[i]);
        }
    }
    return s;
}
const std::string kJobTime = "@PJL JOBTIME=TT:TT:TT:TT:TTTT\r\n";

std::string HostName() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return std::string(host).substr(0, 32);
}

template <typename Frame> std::string Str(const Frame &f) {
    return std::string(reinterpret_cast<const char *>(f.bytes), sizeof f.bytes);
}

class StartDocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sd = {};
        sd.jobID = 300;
        sd.saveMode = 0x10;
        sd.DuplexMode = 0x20;
        sd.densityLevel = 3;
        sd.FineMode = 1;
        setenv("PPD", KELVRA_FIXTURES_DIR "/ppd/qv.ppd", 1);
    }
    void TearDown() override { gSinkWrite = ::write; }
    std::string Run(const char *model, int platform, int *result = nullptr) {
        ResetJob(model);
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = Prnt_StartDoc(&sd, platform, argv); });
        if (result != nullptr) *result = r;
        EXPECT_EQ(r, platform >= 1 && platform <= 3 ? 1 : 0);
        return MaskJobTime(captured);
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
    std::string OwnerLine() { return "@PJL JOBOWNER=" + HostName() + "\r\n"; }

    GDI_START_DOC_PARAM sd;
    char arg0[16] = "rastertoKelvra", id[8] = "42", user[16] = "alice", title[32] = "report.pdf",
         copies[4] = "1", options[64] = "";
    char *argv[7] = {arg0, id, user, title, copies, options, nullptr};
};

TEST_F(StartDocTest, PlatformCCleansUpThenOpensTheJob) {
    const std::string out = Run(kPlainModel, PLATFORM_C);
    GDI_SYSTEM_DATE date;
    GetSysTimeCmd(&date);
    const std::string expected =
        Hex("1B FF 2D 31 32 33 34 35 58") + Hex("0B 04 16 DB") + endOfJobCmd + "versions=3.1.2.1" +
        k00 + PJLheader + "@PJL ENTER LANGUAGE=PL\r\n" + k00 + Hex("0B 06 11 2C 30 82") + k00 +
        Hex("0B 05 19 00 D7") + k00 + Hex("0B 05 15 03 D8") + Str(date);
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformCOfAQVModelHasNoSeparators) {
    const std::string out = Run(kQVModel, PLATFORM_C);
    EXPECT_EQ(out.size(), 9u + 4 + 36 + 16 + 15 + 24 + 6 + 5 + 5 + 8);
    EXPECT_EQ(out.find(k00), std::string::npos);
}

TEST_F(StartDocTest, PlatformZOrdinaryModel) {
    const std::string out = Run(kPlainModel, PLATFORM_Z);
    const std::string expected = std::string(PJLheader) + kJobTime + OwnerLine() +
                                 "@PJL ENTER LANGUAGE=PL\r\n" + k00 + FineMode() + k00 +
                                 JobSpecZ() + k00 + Density() + k00;
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformZR18EndsWithTheEngineFrame) {
    const std::string out = Run(kR18Model, PLATFORM_Z);
    GDI_TONER_PARAM_R74 engine;
    GetTonerParamCmdForR18(&sd, &engine);
    const std::string expected = std::string(PJLheader) + "@PJL LANGUAGEVERSION=1.0\r\n" +
                                 kJobTime + OwnerLine() + "@PJL ENTER LANGUAGE=PL\r\n" + k00 +
                                 FineMode() + k00 + JobSpecZ() + k00 + Density() + k00 +
                                 Str(engine);
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, PlatformZV20V22EndsWithItsEngineFrame) {
    const std::string out = Run(kV72Model, PLATFORM_Z);
    GDI_TONER_PARAM_V72 engine;
    GetTonerParamCmdForV72(&sd, &engine);
    ASSERT_GT(out.size(), 40u);
    EXPECT_EQ(ToHex(out.substr(out.size() - 40)), ToHex(Str(engine)));
    EXPECT_EQ(out.find("LANGUAGEVERSION"), std::string::npos);
}

TEST_F(StartDocTest, PlatformZQVManualDuplexWithBlankSuppression) {
    ResetJob(kQVModel);
    BlankSuppressflag = 3;
    IsManDuplex = 1;
    int r = -1;
    const std::string captured = CaptureStdout([&] { r = Prnt_StartDoc(&sd, PLATFORM_Z, argv); });
    ASSERT_EQ(r, 1);
    const std::string out = MaskJobTime(captured);
    const std::string ticket = "@PJL SET JOBOWNER=\"kv" + HostName() + "\"\n" +
                               "@PJL SET USERNAME=\"alice\"\n" +
                               "@PJL SET JOBNAME=\"report.pdf\"\n";
    const std::string expected = std::string(PJLheader) + "@PJL LANGUAGEVERSION=1.0\r\n" +
                                 kJobTime + ticket + "@PJL SET BLANKSUPPRESS=ENABLE\n" +
                                 "@PJL SET MANUALFEED=ON\n" + "@PJL ENTER LANGUAGE=PL\r\n" +
                                 JobSpecZ() + Density();
    EXPECT_EQ(out, expected);
}

TEST_F(StartDocTest, PlatformZBlankPageLineFollowsTheFlag) {
    struct Case {
        const char *model;
        int flag;
        const char *line; // null: none
    } cases[] = {{kMirodelModel, 1, nullptr},
                 {kMirodelModel, 0, "@PJL SET BLANKSUPPRESS=DISABLE\n"},
                 {kMirodelModel, 2, "@PJL SET BLANKSUPPRESS=DISABLE\n"},
                 {kQVModel, 3, "@PJL SET BLANKSUPPRESS=ENABLE\n"},
                 {kPlainModel, 3, nullptr}};
    for (const auto &c : cases) {
        ResetJob(c.model);
        BlankSuppressflag = c.flag;
        int r = -1;
        const std::string captured =
            CaptureStdout([&] { r = Prnt_StartDoc(&sd, PLATFORM_Z, argv); });
        ASSERT_EQ(r, 1);
        const std::string out = captured;
        SCOPED_TRACE(std::string(c.model) + " flag " + std::to_string(c.flag));
        EXPECT_EQ(out.find("BLANKSUPPRESS") != std::string::npos, c.line != nullptr);
        if (c.line != nullptr) {
            EXPECT_NE(out.find(c.line), std::string::npos);
        }
        EXPECT_EQ(out.find("MANUALFEED"), std::string::npos);
    }
    // The Mirodel model keeps the host-name owner line and the fine-mode frame.
    ResetJob(kMirodelModel);
    BlankSuppressflag = 1;
    int r = -1;
    const std::string captured = CaptureStdout([&] { r = Prnt_StartDoc(&sd, PLATFORM_Z, argv); });
    ASSERT_EQ(r, 1);
    const std::string expected = std::string(PJLheader) + kJobTime + OwnerLine() +
                                 "@PJL ENTER LANGUAGE=PL\r\n" + FineMode() + JobSpecZ() + Density();
    EXPECT_EQ(ToHex(MaskJobTime(captured)), ToHex(expected));
}

// Only the line end of the owner line, the fine-mode frame and the separators of the
// platform Z job start carry the cache flag.
TEST_F(StartDocTest, PlatformZSpoolsOnlyTheItemsMarkedForIt) {
    char path[] = "/tmp/kelvra_spool_XXXXXX";
    const int spool = mkstemp(path);
    unlink(path);
    ResetJob(kPlainModel);
    gCollateFile = spool;
    {
        int r = -1;
        const std::string captured =
            CaptureStdout([&] { r = Prnt_StartDoc(&sd, PLATFORM_Z, argv); });
        ASSERT_EQ(r, 1);
    }
    gCollateFile = 0;
    char buf[256];
    const ssize_t n = pread(spool, buf, sizeof buf, 0);
    close(spool);
    ASSERT_GE(n, 0);
    EXPECT_EQ(ToHex(std::string(buf, static_cast<std::size_t>(n))),
              ToHex("\r\n" + k00 + FineMode() + k00 + k00 + k00));
}

TEST_F(StartDocTest, PlatformMIsAFixed153BytePreamble) {
    const std::string out = Run(kPlainModel, PLATFORM_M);
    ASSERT_EQ(out.size(), 153u);
    GDI_TONER_PARAM_PLATFORM_M engine;
    GetTonerParamCmdForPlatformM(&engine, 88, TONER_PARAM, 0, 0, kCmdSignature);
    const std::string expected = std::string("\x1B%-12345X") + "JZJZ" + Str(engine) +
                                 Hex("00 00 00 34 00 00 00 00 00 00 00 03 00 24 5A 5A") +
                                 Hex("00 00 00 0C 00 00 01 00 00 00 00 00") +
                                 Hex("00 00 00 0C 00 01 01 00 00 00 00 00") +
                                 Hex("00 00 00 0C 00 02 01 00 00 00 00 01");
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

TEST_F(StartDocTest, UnknownPlatformSendsNothingAndKeepsTheErrorText) {
    for (int platform : {0, 4, -1}) {
        ResetJob(kPlainModel);
        SetLastError("untouched");
        int r = -1;
        const std::string captured = CaptureStdout([&] { r = Prnt_StartDoc(&sd, platform, argv); });
        EXPECT_EQ(r, 0);
        EXPECT_EQ(captured, "");
        EXPECT_STREQ(prntLastError, "untouched");
    }
}
} // namespace
