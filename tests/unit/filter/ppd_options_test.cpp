// Reading one option default from the queue's open PPD.
#include "filter/ppd_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/unit/filter/option_test_ppd.h"

// CUPS's PPD interface is deprecated but remains the only way to read a queue's PPD.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct PpdCloser {
    void operator()(ppd_file_t *p) const { ppdClose(p); }
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

// Opens a PPD with one pick-one option `name` whose default choice is `def`.
PpdHandle OpenPpd(TempPpd &file, const std::string &name, const std::string &def) {
    PpdHandle ppd(ppdOpenFile(file.Write({{name, def}}).c_str()));
    EXPECT_NE(ppd, nullptr);
    return ppd;
}

TEST(PpdDefaults, CopiesTheDefaultChoiceOfAnOptionWhateverIsMarked) {
    TempPpd file;
    PpdHandle ppd = OpenPpd(file, "BlankSuppress", "PrinterSetting");
    ASSERT_NE(ppd, nullptr);
    char value[kSelectOptionValueSize] = {};
    EXPECT_TRUE(GetSelectOption(ppd.get(), "BlankSuppress", value));
    EXPECT_STREQ(value, "PrinterSetting");
    // the job's marked choice is not the queue's default
    ppdMarkDefaults(ppd.get());
    ppdMarkOption(ppd.get(), "BlankSuppress", "True");
    std::strcpy(value, "keep");
    EXPECT_TRUE(GetSelectOption(ppd.get(), "BlankSuppress", value));
    EXPECT_STREQ(value, "PrinterSetting");
}

TEST(PpdDefaults, LeavesTheBufferAloneWhenNothingCanBeRead) {
    TempPpd file;
    PpdHandle ppd = OpenPpd(file, "BlankSuppress", "True");
    ASSERT_NE(ppd, nullptr);
    struct Case {
        const char *what;
        ppd_file_t *ppd;
        const char *option;
    };
    const Case cases[] = {
        {"option not in the PPD", ppd.get(), "DPI1200"},
        {"no PPD", nullptr, "BlankSuppress"},
    };
    for (const Case &c : cases) {
        char value[kSelectOptionValueSize] = "keep";
        EXPECT_FALSE(GetSelectOption(c.ppd, c.option, value)) << c.what;
        EXPECT_STREQ(value, "keep") << c.what;
    }
}

TEST(PpdDefaults, RefusesMissingArguments) {
    TempPpd file;
    PpdHandle ppd = OpenPpd(file, "BlankSuppress", "True");
    ASSERT_NE(ppd, nullptr);
    char value[kSelectOptionValueSize] = "keep";
    EXPECT_FALSE(GetSelectOption(ppd.get(), nullptr, value));
    EXPECT_FALSE(GetSelectOption(ppd.get(), "BlankSuppress", nullptr));
    EXPECT_STREQ(value, "keep");
}

TEST(PpdDefaults, FortyCharacterDefaultFillsTheBufferExactly) {
    // CUPS allows choice names of up to 40 characters; the copy never writes more.
    const std::string longName(40, 'L');
    TempPpd file;
    PpdHandle ppd = OpenPpd(file, "MediaType", longName);
    ASSERT_NE(ppd, nullptr);
    char value[kSelectOptionValueSize + 8];
    std::memset(value, 'x', sizeof value);
    EXPECT_TRUE(GetSelectOption(ppd.get(), "MediaType", value));
    EXPECT_EQ(std::string(value), longName);
    EXPECT_EQ(value[kSelectOptionValueSize], 'x'); // nothing written past 41 bytes
}

} // namespace
