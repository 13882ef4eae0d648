// A send that fails stops the operation at that step: the operation returns 0, nothing
// after the step is sent, and prntLastError starts with the step's message followed by
// the sink's explanation and the older text.
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace prnt_test;

namespace {
struct Op {
    const char *name;
    const char *model;
    std::function<int()> run;
};

struct FailCase {
    const Op *op;
    int failWrite;       // number of the write to standard output that fails
    const char *message; // expected first message
    const char *second;  // expected message behind it (null: the sink's own)
};

GDI_START_DOC_PARAM gStartDoc{};
GDI_START_PAGE_PARAM gStartPage{};
GDI_END_PAGE_PARAM gEndPageDup{3, 1, 600, 210, 2, 0};
GDI_END_PAGE_PARAM gEndPage{2, 0, 600, 210, 2, 0};
GDI_END_DOC_PARAM gEndDocDup{3, 1};
char kArg0[] = "rastertoKelvra", kId[] = "7", kUser[] = "bob", kTitle[] = "t", kCopies[] = "1",
     kOpts[] = "";
char *gArgv[] = {kArg0, kId, kUser, kTitle, kCopies, kOpts, nullptr};

const Op kStartDocC{"StartDoc C", kPlainModel, [] { return Prnt_StartDoc(&gStartDoc, 1, gArgv); }};
const Op kStartDocZ{"StartDoc Z", kPlainModel, [] { return Prnt_StartDoc(&gStartDoc, 2, gArgv); }};
const Op kStartDocM{"StartDoc M", kPlainModel, [] { return Prnt_StartDoc(&gStartDoc, 3, gArgv); }};
const Op kStartPageC{"StartPage C", kPlainModel, [] { return Prnt_StartPage(&gStartPage, 1); }};
const Op kStartPageM{"StartPage M", kPlainModel, [] { return Prnt_StartPage(&gStartPage, 3); }};
const Op kEndPageC{"EndPage C", kPlainModel, [] { return Prnt_EndPage(&gEndPageDup, 1); }};
const Op kEndPageZ{"EndPage Z", kPlainModel, [] { return Prnt_EndPage(&gEndPage, 2); }};
const Op kEndPageM{"EndPage M", kPlainModel, [] { return Prnt_EndPage(&gEndPage, 3); }};
const Op kEndDocC{"EndDoc C", kPlainModel, [] { return Prnt_EndDoc(&gEndDocDup, 1); }};
const Op kEndDocZ{"EndDoc Z", kQVModel, [] { return Prnt_EndDoc(&gEndDocDup, 2); }};
const Op kEndDocM{"EndDoc M", kPlainModel, [] { return Prnt_EndDoc(&gEndDocDup, 3); }};
const Op kManualM{"ManualDuplex M", kPlainModel, [] { return SendManualDuplexCmd(3); }};
const Op kManualZ{"ManualDuplex Z", kPlainModel, [] { return SendManualDuplexCmd(2); }};

const FailCase kCases[] = {
    {&kStartDocC, 1, "Prnt_StartDoc() :: send UEL_CMD_C Fail 0 ==  \n", nullptr},
    {&kStartDocC, 6, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n", nullptr},
    {&kStartDocC, 9, "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \n", nullptr},
    {&kStartDocC, 14, "Prnt_StartDoc() :: send cmdSysTime Fail 0 ==  \n", nullptr},
    {&kStartDocZ, 1, "Prnt_StartDoc() :: send PJLheader Fail 0 ==  \n", nullptr},
    {&kStartDocZ, 2, "Prnt_StartDoc() :: send pjlSendTime Fail 0 ==  \n", nullptr},
    {&kStartDocZ, 4, "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n", nullptr},
    {&kStartDocZ, 9, "Prnt_StartDoc() :: send cmdFineMode Fail 0 ==  \n", nullptr},
    {&kStartDocM, 1, "Prnt_StartDoc() :: send UEL_CMD Fail 0 ==  \n", nullptr},
    {&kStartDocM, 3, "Prnt_StartDoc() :: send TONER_PARAM Fail 0 ==  \n", nullptr},
    {&kStartDocM, 6, "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n", nullptr},
    {&kStartPageC, 2, "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n", nullptr},
    {&kStartPageC, 4, "Prnt_StartPage() :: send cmdCustomPaper Fail 0 ==  \n", nullptr},
    {&kStartPageC, 6, "Prnt_StartPage() :: send hostUseCmd Fail 0 ==  \n", nullptr},
    {&kStartPageM, 1, "Prnt_StartPage() :: send START_PAGE_CMD Fail 0 ==  \n", nullptr},
    {&kStartPageM, 10, "Prnt_StartPage() :: send IMG_WIDTH_PARAM Fail 0 ==  \n", nullptr},
    {&kStartPageM, 15, "Prnt_StartPage() :: send DENSITY_PARAM Fail 0 ==  \n", nullptr},
    {&kEndPageC, 1, "Prnt_EndPage() :: send UEL_CMD_C Fail 0 ==  \n", nullptr},
    {&kEndPageC, 5, "Prnt_EndPage() :: send cmdCoverage Fail 0 ==  \n", nullptr},
    {&kEndPageC, 9, "Prnt_EndPage() :: MachineDuplexCmd Fail .\n",
     "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n"},
    {&kEndPageZ, 2, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n", nullptr},
    {&kEndPageM, 1, "Prnt_EndPage() :: send END_PAGE_CMD Fail 0 ==  \n", nullptr},
    {&kEndDocC, 2, "Prnt_EndDoc() :: MachineDuplexCmd Fail .\n",
     "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n"},
    {&kEndDocC, 4, "Prnt_EndDoc() :: send queryStatusCmd Fail 0 ==  \n", nullptr},
    {&kEndDocZ, 1, "Prnt_EndDoc() :: send resetCmd Fail 0 ==  \n", nullptr},
    {&kEndDocZ, 2, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n", nullptr},
    {&kEndDocM, 1, "Prnt_EndDoc() :: send END_DOC_CMD Fail 0 ==  \n", nullptr},
    {&kEndDocM, 2, "Prnt_EndDoc() :: send UEL_CMD Fail 0 ==  \n", nullptr},
    {&kManualM, 1, "SendManualDuplexCmd() :: send MANUAL_DUPLEX_CMD Fail 0 ==  \n", nullptr},
    {&kManualZ, 1, "SendManualDuplexCmd() :: send manualDuplexCmd_Z Fail 0 ==  \n", nullptr},
};

class SendFailure : public ::testing::TestWithParam<FailCase> {
  protected:
    void SetUp() override {
        gStartDoc = {};
        gStartDoc.jobID = 7;
        gStartPage = {};
        gStartPage.paperSize = 1;
    }
    void TearDown() override { gSinkWrite = ::write; }
};

TEST_P(SendFailure, StopsAtTheFailingStepWithItsMessageFirst) {
    const FailCase &c = GetParam();
    // A clean run gives the full stream and the size of every write.
    ResetJob(c.op->model);
    int ok = -1;
    const std::string full = CaptureStdout([&] { ok = c.op->run(); });
    const std::vector<std::size_t> sizes = gStdoutWrites;
    ASSERT_EQ(ok, 1);
    ASSERT_GE(sizes.size(), static_cast<std::size_t>(c.failWrite));

    ResetJob(c.op->model);
    SetLastError("older text\n");
    gFailWriteNumber = c.failWrite;
    int result = -1;
    const std::string out = CaptureStdout([&] { result = c.op->run(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ToHex(out), ToHex(FirstWrites(full, sizes, c.failWrite - 1)));
    EXPECT_EQ(gStdoutWrites.size(), static_cast<std::size_t>(c.failWrite)); // nothing after

    std::string expected = c.message;
    if (c.second != nullptr) expected += c.second;
    const std::string text = prntLastError;
    EXPECT_EQ(text.rfind(expected + "SendDataToFile() :: write to standard output Fail", 0), 0u)
        << text;
    EXPECT_EQ(text.substr(text.size() - 11), "older text\n");
}

INSTANTIATE_TEST_SUITE_P(Operations, SendFailure, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailCase> &info) {
                             std::string n = info.param.op->name;
                             for (char &ch : n)
                                 if (ch == ' ') ch = '_';
                             return n + "_write" + std::to_string(info.param.failWrite);
                         });

// A failing separator is recorded but does not stop the operation.
TEST(SeparatorFailure, IsRecordedAndTheOperationGoesOn) {
    ResetJob(kPlainModel);
    GDI_START_DOC_PARAM sd{};
    SetLastError("older text\n");
    gFailWriteNumber = 5; // the 00 00 after the firmware version
    int result = -1;
    CaptureStdout([&] { result = Prnt_StartDoc(&sd, 1, gArgv); });
    gSinkWrite = ::write;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::string(prntLastError).rfind("Insert00() :: Send 00 00 to file Fail0 ==  \n", 0),
              0u);
    EXPECT_EQ(gStdoutWrites.size(), 14u);
}
} // namespace
