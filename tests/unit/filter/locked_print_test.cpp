// Whether a job is a locked print job, and its PIN, from the job's options with the queue's
// PPD defaults for what the options leave out.
#include "filter/locked_print.h"
#include "tests/support/filter_runner.h"

#include <gtest/gtest.h>

#include <cups/ppd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

// CUPS's PPD interface is deprecated but is what the filter reads the queue's PPD with.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

struct PpdClose {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdClose>;

// The QV fixture with its locked-print default set to `locked` and the PIN digit options
// PinNum1..4 (choices 0-9) defaulting to 0, 1, 2, 3, opened as the filter opens the queue's PPD.
Ppd OpenQvPpd(const TempDir &dir, bool locked) {
    std::ifstream in(FixturePPD("qv.ppd"));
    std::stringstream ss;
    ss << in.rdbuf();
    std::string ppd = ss.str();
    const std::string from = "*DefaultLockedPinPrint: False";
    const auto at = ppd.find(from);
    EXPECT_NE(at, std::string::npos);
    if (locked && at != std::string::npos)
        ppd.replace(at, from.size(), "*DefaultLockedPinPrint: True");
    for (int i = 2; i <= 4; ++i) {
        const std::string n = "PinNum" + std::to_string(i);
        const std::string d = std::to_string(i - 1);
        ppd += "*OpenUI *" + n + "/PIN digit: PickOne\n*Default" + n + ": " + d + "\n";
        for (char digit = '0'; digit <= '9'; ++digit)
            ppd += "*" + n + " " + digit + "/" + digit + ": \"\"\n";
        ppd += "*CloseUI: *" + n + "\n";
    }
    const std::string path = dir.file(locked ? "locked.ppd" : "unlocked.ppd");
    std::ofstream(path) << ppd;
    Ppd opened(ppdOpenFile(path.c_str()));
    EXPECT_NE(opened, nullptr) << path;
    return opened;
}

class LockedPrintTest : public ::testing::Test {
  protected:
    // The PIN of a job with `options` (empty when not locked); `locked` receives the decision.
    std::string Pin(const char *options, ppd_file_t *ppd) {
        char pin[256] = {};
        CaptureStderr();
        locked = ispinPrint(options, pin, sizeof pin, ppd);
        GetCapturedStderr();
        if (!locked) {
            EXPECT_STREQ(pin, "") << options;
        }
        return pin;
    }
    TempDir dir;
    Ppd unlockedPpd = OpenQvPpd(dir, false);
    Ppd lockedPpd = OpenQvPpd(dir, true);
    bool locked = false;
};

TEST_F(LockedPrintTest, OptionLocksTheJobWithPinDigitsFromOptionsOrPpdDefaults) {
    ppd_file_t *ppd = unlockedPpd.get();
    EXPECT_EQ(Pin("LockedPinPrint", ppd), "0123");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("LockedPinPrint PinNum2=9", ppd), "0923");
    EXPECT_EQ(Pin("PinNum4=4 LockedPinPrint PinNum1=1 pinnum2=2 PinNum3=3", ppd), "1234");
    EXPECT_TRUE(locked);
    // A value that is not one digit is not one of the queue's choices: its default is used.
    EXPECT_EQ(Pin("LockedPinPrint PinNum3=34", ppd), "0123");
    EXPECT_EQ(Pin("LockedPinPrint PinNum3", ppd), "0123");
    EXPECT_EQ(Pin("LockedPinPrint=True PinNum1=5", ppd), "5123");
    EXPECT_TRUE(locked);
}

TEST_F(LockedPrintTest, NotLockedWithoutTheOptionUnlessThePpdDefaultIsLocked) {
    EXPECT_EQ(Pin("", unlockedPpd.get()), "");
    EXPECT_FALSE(locked);
    EXPECT_EQ(Pin("PinNum1=5", unlockedPpd.get()), "");
    EXPECT_FALSE(locked);
    EXPECT_EQ(Pin("Collate", lockedPpd.get()), "0123");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("nolockedpinprint", lockedPpd.get()), "");
    EXPECT_FALSE(locked);
    // As CUPS reads the options, the later of two mentions counts.
    EXPECT_EQ(Pin("LockedPinPrint PinNum1=5 noLockedPinPrint", unlockedPpd.get()), "");
    EXPECT_FALSE(locked);
    EXPECT_EQ(Pin("noLockedPinPrint LockedPinPrint PinNum1=5", unlockedPpd.get()), "5123");
    EXPECT_TRUE(locked);
}

// An explicit "off" value is no lock, whatever the PIN options or the PPD default say.
TEST_F(LockedPrintTest, ExplicitOffValueIsNoLock) {
    for (ppd_file_t *ppd : {unlockedPpd.get(), lockedPpd.get()}) {
        for (const char *off : {"LockedPinPrint=False PinNum1=5", "Collate lockedpinprint=no",
                                "LockedPinPrint=Off", "LockedPinPrint=0"}) {
            EXPECT_EQ(Pin(off, ppd), "") << off;
            EXPECT_FALSE(locked) << off;
        }
    }
}

// Digits from the options cannot carry characters that would end the PJL line: the queue
// offers digits only, and without the PPD's digit options the characters are dropped.
TEST_F(LockedPrintTest, PinDigitsAreCleaned) {
    EXPECT_EQ(Pin("LockedPinPrint PinNum1=\x1b PinNum2=\x7f PinNum3=5 PinNum4=6",
                  unlockedPpd.get()),
              "0156");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("LockedPinPrint PinNum1=\x1b PinNum2=\x7f PinNum3=5 PinNum4=6", nullptr), "56");
}

// Without a PPD nothing comes from defaults: the option alone decides and gives its digits.
TEST_F(LockedPrintTest, WithoutAPpdOnlyTheOptionsCount) {
    EXPECT_EQ(Pin("LockedPinPrint PinNum2=7", nullptr), "7");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("Collate", nullptr), "");
    EXPECT_FALSE(locked);
}

// The PIN is appended within its buffer, whatever the options hold.
TEST_F(LockedPrintTest, PinStaysWithinItsBuffer) {
    char pin[3] = {};
    CaptureStderr();
    EXPECT_TRUE(ispinPrint("LockedPinPrint PinNum1=1 PinNum2=2 PinNum3=3 PinNum4=4", pin,
                           sizeof pin, unlockedPpd.get()));
    GetCapturedStderr();
    EXPECT_STREQ(pin, "12");
}

TEST_F(LockedPrintTest, MissingArgumentsAreRefused) {
    char pin[8] = {};
    CaptureStderr();
    EXPECT_FALSE(ispinPrint(nullptr, pin, sizeof pin, unlockedPpd.get()));
    EXPECT_FALSE(ispinPrint("LockedPinPrint", nullptr, sizeof pin, unlockedPpd.get()));
    EXPECT_FALSE(ispinPrint("LockedPinPrint", pin, 0, unlockedPpd.get()));
    EXPECT_EQ(GetCapturedStderr(), "-->invalid parameter!\n-->invalid parameter!\n"
                                   "-->invalid parameter!\n");
}
} // namespace
