#include "common/ppd_options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Writes a minimal PPD with one pick-one option per (name, default) pair into a fresh
// temporary directory and points the PPD environment variable at it.
class PpdDefaults : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ppdopt.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/test.ppd";
    }
    void TearDown() override {
        unlink(path_.c_str());
        rmdir(dir_.c_str());
        unsetenv("PPD");
    }
    void WritePpd(const std::string &name, const std::string &def) {
        std::ofstream f(path_);
        f << "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n"
          << "*LanguageEncoding: ISOLatin1\n*ModelName: \"Test Model\"\n"
          << "*OpenUI *" << name << ": PickOne\n*Default" << name << ": " << def << "\n"
          << "*" << name << " " << def << ": \"\"\n*" << name << " Other: \"\"\n"
          << "*CloseUI: *" << name << "\n";
        f.close();
        setenv("PPD", path_.c_str(), 1);
    }
    std::string dir_, path_;
};

TEST_F(PpdDefaults, CopiesTheDefaultChoiceOfAnOption) {
    WritePpd("BlankSuppress", "PrinterSetting");
    char value[64] = {};
    EXPECT_TRUE(GetSelectOption("BlankSuppress", value));
    EXPECT_STREQ(value, "PrinterSetting");
}

TEST_F(PpdDefaults, LeavesTheBufferAloneWhenNothingCanBeRead) {
    WritePpd("BlankSuppress", "True");
    struct Case {
        const char *what;
        const char *option;
        bool ppdSet;
    };
    const Case cases[] = {
        {"option not in the PPD", "DPI1200", true},
        {"PPD variable unset", "BlankSuppress", false},
    };
    for (const Case &c : cases) {
        if (!c.ppdSet) unsetenv("PPD");
        char value[kSelectOptionValueSize];
        std::strcpy(value, "keep");
        EXPECT_FALSE(GetSelectOption(c.option, value)) << c.what;
        EXPECT_STREQ(value, "keep") << c.what;
    }
    setenv("PPD", (dir_ + "/missing.ppd").c_str(), 1);
    char value[kSelectOptionValueSize] = "keep";
    EXPECT_FALSE(GetSelectOption("BlankSuppress", value));
    EXPECT_STREQ(value, "keep");
}

TEST_F(PpdDefaults, RefusesMissingArguments) {
    WritePpd("BlankSuppress", "True");
    char value[kSelectOptionValueSize] = "keep";
    EXPECT_FALSE(GetSelectOption(nullptr, value));
    EXPECT_FALSE(GetSelectOption("BlankSuppress", nullptr));
    EXPECT_STREQ(value, "keep");
}

TEST_F(PpdDefaults, FortyCharacterDefaultFillsTheBufferExactly) {
    // CUPS allows choice names of up to 40 characters; the copy never writes more.
    const std::string longName(40, 'L');
    WritePpd("MediaType", longName);
    char value[kSelectOptionValueSize + 8];
    std::memset(value, 'x', sizeof value);
    EXPECT_TRUE(GetSelectOption("MediaType", value));
    EXPECT_EQ(std::string(value), longName);
    EXPECT_EQ(value[kSelectOptionValueSize], 'x'); // nothing written past 41 bytes
}

} // namespace
