#include "filter/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/unit/filter/option_test_ppd.h"

namespace {

std::vector<PRINT_FUNC_INFO> FreshTable() {
    return {gDefaultPrntFuncInfo, gDefaultPrntFuncInfo + kPrntFuncInfoCount};
}

cups_page_header2_t Header(unsigned duplex, unsigned tumble) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    // Raw numbers as a raster stream may carry them, not only 0 and 1.
    static_assert(sizeof h.Duplex == sizeof duplex && sizeof h.Tumble == sizeof tumble);
    std::memcpy(&h.Duplex, &duplex, sizeof duplex);
    std::memcpy(&h.Tumble, &tumble, sizeof tumble);
    return h;
}

// One job option string applied to a fresh table (optionally with a slot preset) and the
// value the slot must end with.
struct SlotCase {
    const char *options;
    int slot;
    int preset; // -1: keep the default
    int expected;
};

TEST(OptionTable, EachOptionValueMapsToItsSlotValue) {
    const SlotCase cases[] = {
        {"Sides=two-sided-short-edge", AUTODUPLONGEDGE, -1, 2},
        {"Sides=DuplexTumble", AUTODUPLONGEDGE, -1, 2},
        {"Sides=two-sided-long-edge", AUTODUPLONGEDGE, -1, 1},
        {"Sides=duplexnotumble", AUTODUPLONGEDGE, -1, 1},
        {"Sides=one-sided", AUTODUPLONGEDGE, 2, 0},
        {"Density=4", DENSITY, -1, 4},
        {"Density=abc", DENSITY, -1, 0},
        {"Density=12abc", DENSITY, -1, 12},
        {"Density=99999999999999", DENSITY, -1, INT_MAX},
        {"", TONERMODE, -1, 2},
        {"TonerMode=Standard", TONERMODE, -1, 3},
        {"TonerMode=TRUE", TONERMODE, -1, 1},
        {"TonerMode=false", TONERMODE, -1, 0},
        {"noTonerMode", TONERMODE, -1, 0},
        {"TonerMode", TONERMODE, -1, 1},
        {"FeedLongEdge", LONGEDGEFEED, -1, 1},
        {"FeedLongEdge=yes", LONGEDGEFEED, 1, 0},
        {"DPI1200=True", DPI1200, -1, 1},
        {"DPI1200=FALSE", DPI1200, 1, 0},
        {"DPI1200=maybe", DPI1200, 1, 1},
        {"DPI1200=maybe", DPI1200, 0, 0},
        {"NegativePrint=true", NEGATIVEPRINT, -1, 1},
        {"InputSlot=Auto", INPUTSLOT, 4, 0},
        {"InputSlot=AutoSelect", INPUTSLOT, 4, 0},
        {"InputSlot=ManualFeed", INPUTSLOT, -1, 1},
        {"InputSlot=autofeed", INPUTSLOT, -1, 2},
        {"InputSlot=Tray1", INPUTSLOT, -1, 3},
        {"InputSlot=tray2", INPUTSLOT, -1, 4},
        {"InputSlot=Tray3", INPUTSLOT, 4, 0},
        {"ImageRotation=True", IMAGEROTATION, -1, 1},
        {"Collate=true", COLLATE, -1, 1},
        {"noCollate", COLLATE, 1, 0},
        {"FineMode=true", FINEMODE, -1, 1},
        {"Booklet", Booklet, -1, 1},
        {"BlankSuppress=True", BlankSuppress, -1, 1},
        {"LockedPinPrint=true", LockedPinPrint, -1, 1},
        // Slots that options never set keep their value even when the option is present.
        {"ManualDuplex=true", MANUALDUPLEX, -1, 0},
        {"outputorder=reverse", REVERSE, -1, 0},
        {"PrintMode=1 MediaType=3 Contrast=5", MediaType, -1, 0},
        {"PrintByKOnly=false", PrintByKOnly, -1, 1},
        {"Black=7", Black, -1, 0},
    };
    for (const SlotCase &c : cases) {
        auto table = FreshTable();
        if (c.preset >= 0) table[c.slot].value = c.preset;
        ParsedOptions opts(c.options);
        const cups_page_header2_t h = Header(0, 0);
        GetFunctionValue(table.data(), opts.num, opts.options, &h);
        EXPECT_EQ(table[c.slot].value, c.expected) << c.options << " -> " << table[c.slot].name;
    }
}

TEST(OptionTable, DuplexSlotFollowsThePageHeaderNotTheOption) {
    struct Case {
        unsigned duplex, tumble;
        const char *options;
        int expected;
    };
    const Case cases[] = {
        {1, 0, "", 1}, {1, 1, "", 2}, {1, 5, "", 0}, {0, 1, "Duplex=true", 0}, {2, 0, "", 0},
    };
    for (const Case &c : cases) {
        auto table = FreshTable();
        table[AUTODUPLEX].value = 7;
        ParsedOptions opts(c.options);
        const cups_page_header2_t h = Header(c.duplex, c.tumble);
        testing::internal::CaptureStderr();
        GetFunctionValue(table.data(), opts.num, opts.options, &h);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(table[AUTODUPLEX].value, c.expected) << c.duplex << "/" << c.tumble;
        EXPECT_NE(err.find("DEBUG: ##Duplex = " + std::to_string(c.expected) + "\n"),
                  std::string::npos)
            << err;
    }
}

TEST(OptionTable, ValuesPersistFromPageToPageUntilAnOptionChangesThem) {
    auto table = FreshTable();
    const cups_page_header2_t h = Header(0, 0);
    {
        ParsedOptions first("Density=4 InputSlot=Tray1 Collate");
        GetFunctionValue(table.data(), first.num, first.options, &h);
    }
    {
        ParsedOptions second("InputSlot=Tray2");
        GetFunctionValue(table.data(), second.num, second.options, &h);
    }
    EXPECT_EQ(table[DENSITY].value, 4);
    EXPECT_EQ(table[INPUTSLOT].value, 4);
    EXPECT_EQ(table[COLLATE].value, 1);
    EXPECT_EQ(table[TONERMODE].value, 2);
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
