// A send that fails stops the operation at that step: the operation returns 0, nothing
// after the step is sent, and the job's error text starts with the step's message followed
// by the sink's explanation and the older text.
#include "prnt/prnt.h"
#include "prnt_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace prnt_test;

namespace {
struct Op {
    const char *name;
    int platform;
    ModelGroup group;
    std::function<int(PrntStream &)> run;
};

struct FailCase {
    const Op *op;
    int failWrite;       // number of the write to the printer stream that fails
    const char *message; // expected first message
    const char *second;  // expected message behind it (null: the sink's own)
};

GDI_START_DOC_PARAM StartDoc() {
    GDI_START_DOC_PARAM sd{};
    sd.jobID = 7;
    return sd;
}
GDI_START_PAGE_PARAM StartPage() {
    GDI_START_PAGE_PARAM sp{};
    sp.paperSize = 1;
    return sp;
}
int RunStartDoc(PrntStream &s) {
    return Prnt_StartDoc(s, StartDoc());
}
int RunStartPage(PrntStream &s) {
    return Prnt_StartPage(s, StartPage());
}
int RunEndPage(PrntStream &s) {
    GDI_END_PAGE_PARAM ep{2, 0, 600, 210, 2, 0};
    return Prnt_EndPage(s, ep);
}
int RunEndPageDuplex(PrntStream &s) {
    GDI_END_PAGE_PARAM ep{3, 1, 600, 210, 2, 0};
    return Prnt_EndPage(s, ep);
}
int RunEndDocDuplex(PrntStream &s) {
    return Prnt_EndDoc(s, GDI_END_DOC_PARAM{3, 1});
}

const Op kStartDocC{"StartDoc C", PLATFORM_C, ModelGroup::Plain, RunStartDoc};
const Op kStartDocZ{"StartDoc Z", PLATFORM_Z, ModelGroup::Plain, RunStartDoc};
const Op kStartDocM{"StartDoc M", PLATFORM_M, ModelGroup::Plain, RunStartDoc};
const Op kStartPageC{"StartPage C", PLATFORM_C, ModelGroup::Plain, RunStartPage};
const Op kStartPageM{"StartPage M", PLATFORM_M, ModelGroup::Plain, RunStartPage};
const Op kEndPageC{"EndPage C", PLATFORM_C, ModelGroup::Plain, RunEndPageDuplex};
const Op kEndPageZ{"EndPage Z", PLATFORM_Z, ModelGroup::Plain, RunEndPage};
const Op kEndPageM{"EndPage M", PLATFORM_M, ModelGroup::Plain, RunEndPage};
const Op kEndDocC{"EndDoc C", PLATFORM_C, ModelGroup::Plain, RunEndDocDuplex};
const Op kEndDocZ{"EndDoc Z", PLATFORM_Z, ModelGroup::QV, RunEndDocDuplex};
const Op kEndDocM{"EndDoc M", PLATFORM_M, ModelGroup::Plain, RunEndDocDuplex};
const Op kManualM{"ManualDuplex M", PLATFORM_M, ModelGroup::Plain, SendManualDuplexCmd};
const Op kManualZ{"ManualDuplex Z", PLATFORM_Z, ModelGroup::Plain, SendManualDuplexCmd};

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

class SendFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(SendFailure, StopsAtTheFailingStepWithItsMessageFirst) {
    const FailCase &c = GetParam();
    // A clean run gives the full stream and the size of every write.
    TestJob clean(c.op->platform, c.op->group);
    ASSERT_EQ(c.op->run(clean.stream), 1);
    ASSERT_GE(clean.writer.writes.size(), static_cast<std::size_t>(c.failWrite));

    TestJob job(c.op->platform, c.op->group);
    job.error.Set("older text\n");
    job.writer.failAt = c.failWrite;
    EXPECT_EQ(c.op->run(job.stream), 0);
    EXPECT_EQ(ToHex(job.Out()),
              ToHex(FirstWrites(clean.Out(), clean.writer.writes, c.failWrite - 1)));
    EXPECT_EQ(job.writer.writes.size(), static_cast<std::size_t>(c.failWrite)); // nothing after

    std::string expected = c.message;
    if (c.second != nullptr) expected += c.second;
    const std::string text = job.error.c_str();
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
    TestJob job(PLATFORM_C);
    job.error.Set("older text\n");
    job.writer.failAt = 5; // the 00 00 after the firmware version
    EXPECT_EQ(Prnt_StartDoc(job.stream, GDI_START_DOC_PARAM{}), 1);
    EXPECT_EQ(
        std::string(job.error.c_str()).rfind("Insert00() :: Send 00 00 to file Fail0 ==  \n", 0),
        0u);
    EXPECT_EQ(job.writer.writes.size(), 14u);
    EXPECT_EQ(job.writer.writes[4], 0u);
}
} // namespace
