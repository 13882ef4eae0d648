#include "filter/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/option_catalogue.h"
#include "tests/unit/filter/option_test_ppd.h"

namespace {

cups_page_header2_t Header(unsigned duplex, unsigned tumble) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    // Raw numbers as a raster stream may carry them, not only 0 and 1.
    static_assert(sizeof h.Duplex == sizeof duplex && sizeof h.Tumble == sizeof tumble);
    std::memcpy(&h.Duplex, &duplex, sizeof duplex);
    std::memcpy(&h.Tumble, &tumble, sizeof tumble);
    return h;
}

// One job option string applied to fresh options (optionally with the setting preset) and the
// code the setting must end with.
struct SettingCase {
    const char *options;
    Setting setting;
    int preset; // -1: keep the start value
    int expected;
};

TEST(PrintOptions, EachOptionValueMapsToItsSettingsCode) {
    const SettingCase cases[] = {
        {"Density=4", Setting::Density, -1, 4},
        {"Density=abc", Setting::Density, -1, 0},
        {"Density=12abc", Setting::Density, -1, 12},
        {"Density=99999999999999", Setting::Density, -1, INT_MAX},
        {"", Setting::TonerMode, -1, 2},
        {"TonerMode=Standard", Setting::TonerMode, -1, 3},
        {"TonerMode=TRUE", Setting::TonerMode, -1, 1},
        {"TonerMode=false", Setting::TonerMode, -1, 0},
        {"noTonerMode", Setting::TonerMode, -1, 0},
        {"TonerMode", Setting::TonerMode, -1, 1},
        {"", Setting::FeedEdge, -1, 2},
        {"FeedLongEdge", Setting::FeedEdge, -1, 1},
        {"FeedLongEdge=auto", Setting::FeedEdge, 0, 2},
        {"FeedLongEdge=yes", Setting::FeedEdge, 1, 0},
        {"DPI1200=True", Setting::Quality, -1, 1},
        {"DPI1200=FALSE", Setting::Quality, 1, 0},
        {"DPI1200=maybe", Setting::Quality, 1, 1},
        {"DPI1200=maybe", Setting::Quality, 0, 0},
        {"NegativePrint=true", Setting::NegativePrint, -1, 1},
        {"InputSlot=Auto", Setting::Tray, 4, 0},
        {"InputSlot=AutoSelect", Setting::Tray, 4, 0},
        {"InputSlot=ManualFeed", Setting::Tray, -1, 1},
        {"InputSlot=autofeed", Setting::Tray, -1, 2},
        {"InputSlot=Tray1", Setting::Tray, -1, 3},
        {"InputSlot=tray2", Setting::Tray, -1, 4},
        {"InputSlot=Tray3", Setting::Tray, 4, 0},
        {"ImageRotation=True", Setting::Rotate180, -1, 1},
        {"Collate=true", Setting::Collate, -1, 1},
        {"noCollate", Setting::Collate, 1, 0},
        {"FineMode=true", Setting::FineMode, -1, 1},
        {"Booklet", Setting::Booklet, -1, 1},
        {"", Setting::BlankPages, -1, 2},
        {"BlankSuppress=True", Setting::BlankPages, -1, 3},
        {"BlankSuppress=printersetting", Setting::BlankPages, -1, 1},
        {"BlankSuppress=off", Setting::BlankPages, -1, 2},
        {"BlankSuppress=whatever", Setting::BlankPages, -1, 3},
    };
    for (const SettingCase &c : cases) {
        PrintOptions o;
        if (c.preset >= 0) SetSetting(o, c.setting, c.preset);
        ParsedOptions opts(c.options);
        const cups_page_header2_t h = Header(0, 0);
        GetFunctionValue(o, opts.num, opts.options, &h);
        EXPECT_EQ(SettingCode(o, c.setting), c.expected) << c.options;
    }
    // Options the driver does not act on change nothing, even when they name a setting's
    // field ("ManualDuplex" is decided by the job flow alone).
    PrintOptions o;
    ParsedOptions ignored("ManualDuplex=true outputorder=reverse PrintMode=1 MediaType=3 "
                          "PrintByKOnly=false Black=7 Sides=two-sided-long-edge");
    const cups_page_header2_t h = Header(0, 0);
    GetFunctionValue(o, ignored.num, ignored.options, &h);
    EXPECT_EQ(o, PrintOptions{});
}

TEST(PrintOptions, DuplexFollowsThePageHeaderNotTheOption) {
    struct Case {
        unsigned duplex, tumble;
        const char *options;
        int expected;
    };
    const Case cases[] = {
        {1, 0, "", 1}, {1, 1, "", 2}, {1, 5, "", 0}, {0, 1, "Duplex=true", 0}, {2, 0, "", 0},
    };
    for (const Case &c : cases) {
        PrintOptions o;
        o.duplex = Duplex::ShortEdge;
        ParsedOptions opts(c.options);
        const cups_page_header2_t h = Header(c.duplex, c.tumble);
        testing::internal::CaptureStderr();
        GetFunctionValue(o, opts.num, opts.options, &h);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(static_cast<int>(o.duplex), c.expected) << c.duplex << "/" << c.tumble;
        EXPECT_NE(err.find("DEBUG: ##Duplex = " + std::to_string(c.expected) + "\n"),
                  std::string::npos)
            << err;
    }
}

TEST(PrintOptions, ValuesPersistFromPageToPageUntilAnOptionChangesThem) {
    PrintOptions o;
    const cups_page_header2_t h = Header(0, 0);
    {
        ParsedOptions first("Density=4 InputSlot=Tray1 Collate");
        GetFunctionValue(o, first.num, first.options, &h);
    }
    {
        ParsedOptions second("InputSlot=Tray2");
        GetFunctionValue(o, second.num, second.options, &h);
    }
    EXPECT_EQ(o.density, 4);
    EXPECT_EQ(o.tray, Tray::Tray2);
    EXPECT_TRUE(o.collate);
    EXPECT_EQ(o.toner, TonerMode::Unnamed);
}

// The switches read from the raw option string, with the queue PPD's default as the fallback.
struct SwitchCase {
    const char *options;    // nullptr: no option string
    const char *ppdDefault; // nullptr: no PPD at all; "": a PPD without the option
    int expected;
};

// Runs `fn(options, ppd)` for each case with a PPD holding the case's default for `option`;
// without an option string the switch writes `nullMessage` to standard error.
template <typename Fn>
void CheckSwitch(const char *option, const char *nullMessage, const std::vector<SwitchCase> &cases,
                 Fn fn) {
    for (const SwitchCase &c : cases) {
        TempPpd file;
        PpdHandle ppd;
        if (c.ppdDefault != nullptr) {
            if (*c.ppdDefault != '\0')
                file.Write({{option, c.ppdDefault}});
            else
                file.Write({{"Collate", "True"}});
            ppd = file.Open();
            ASSERT_NE(ppd, nullptr);
        }
        testing::internal::CaptureStderr();
        EXPECT_EQ(fn(c.options, ppd.get()), c.expected)
            << (c.options ? c.options : "(null)") << " / " << (c.ppdDefault ? c.ppdDefault : "-");
        const std::string err = testing::internal::GetCapturedStderr();
        if (c.options == nullptr) {
            EXPECT_EQ(err, nullMessage);
        }
    }
}

// The PPD of these cases offers True, False and its default; a value it does not offer falls
// back to the default.
TEST(JobSwitches, BlankSuppressFromTheOptionsOrTheQueueDefault) {
    CheckSwitch("BlankSuppress", "-->parameter is NULL!\n",
                {
                    {nullptr, "True", 2},
                    {"noBlankSuppress", "True", 2},
                    {"BlankSuppress=PrinterSetting", "PrinterSetting", 1},
                    {"BlankSuppress=PrinterSetting", "False", 2}, // not offered: the default
                    {"BlankSuppress=True", "False", 3},
                    {"Collate BlankSuppress", "False", 3},
                    {"BlankSuppress=Maybe", "True", 3},
                    {"BlankSuppress=False", "True", 2},
                    {"BlankSuppress=false Collate", "True", 2},
                    {"blanksuppress=True", "False", 3}, // names ignore case, as CUPS reads them
                    {"Collate", "True", 3},
                    {"Collate", "printersetting", 1},
                    {"Collate", "False", 2},
                    {"Collate", "", 2},
                    {"BlankSuppress=Maybe", "", 3}, // a PPD without the option takes any value
                    {"Collate", nullptr, 2},
                },
                [](const char *o, ppd_file_t *p) { return isBlankSuppress(o, p); });
}

TEST(JobSwitches, Dpi1200FromTheOptionsOrTheQueueDefault) {
    CheckSwitch("DPI1200", "-->invalid parameter!\n",
                {
                    {nullptr, "True", 1},
                    {"noDPI1200", "True", 1},
                    {"DPI1200", "False", 2},
                    {"DPI1200=True", "False", 2},
                    {"DPI1200=on", "False", 2},
                    {"DPI1200=maybe", "False", 1},
                    {"DPI1200=FALSE", "True", 1},
                    {"Collate", "True", 2},
                    {"Collate", "False", 1},
                    {"Collate", "", 1},
                    {"print-quality=5", "False", 2},
                    {"print-quality=4", "True", 1},
                    {"print-quality=5 DPI1200=False", "False", 1}, // the driver's own option wins
                    {"Collate", nullptr, 1},
                },
                [](const char *o, ppd_file_t *p) { return is1200dpiprint(o, p); });
}

} // namespace
